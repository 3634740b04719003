// StartScript, OnInput and the program's end, shared by kestrun and kestrunc.
#include "host/HostCore.h"

#include "host/ScriptFile.h"

namespace orvanta::host {

const wchar_t* const kHelpText[3] = {
    L"\r\n"
    L"Orvanta Kestrun 2.4\r\n"
    L"================================\r\n"
    L"Supported methods:\r\n"
    L"\r\n"
    L"Host.Msg(string)\r\n"
    L"    Shows message box with the text given\r\n"
    L"boolVar = Host.Ask(string)\r\n"
    L"    Shows Yes/No message box with the text given\r\n"
    L"Host.Write(string)\r\n"
    L"    Writes the string to the output\r\n"
    L"Host.WriteLine(string)\r\n"
    L"    Writes the string to the output and adds new line\r\n"
    L"Host.Clear\r\n"
    L"    Clears the output pane.\r\n"
    L"Host.RequestInput(string)\r\n"
    L"    Puts the host in wait for input state. The string\r\n"
    L"    parameter is used as button label. Actual input will be\r\n"
    L"    passed to the script through OnInput(string) function which\r\n"
    L"    which must be implemented in the script file.\r\n"
    L"strVar = Host.Parameter(n)\r\n"
    L"    Returns the n-th script's command line parameter. n must be\r\n"
    L"    integer\r\n",

    L"strVar = Host.SysParameter(n)\r\n"
    L"    Returns the n-th host's command line parameter. n must be\r\n"
    L"    integer\r\n"
    L"intVar = Host.ParameterCount(boolParam)\r\n"
    L"    returns the count of the parameters. If boolParam is false\r\n"
    L"    the number of the script's parameters is returned if it is\r\n"
    L"    true the count of the host's parameters is returned.\r\n"
    L"Host.Exit\r\n"
    L"    Exits program.\r\n"
    L"Set o = Host.CreateObject(objSpec)\r\n"
    L"    Creates COM object by ProgID or ClassID.\r\n"
    L"    Ex: Set o = Host.CreateObject(\"Orvanta.utilctls.SFMain\")\r\n"
    L"Host.SetInput(string)\r\n"
    L"    Sets the text (default text) in the input box.\r\n"
    L"Host.RuntimeParameter(string)\r\n"
    L"\tGets a runtime parameter. Currently available are:\r\n"
    L"\tScriptFile - the script currently running\r\n"
    L"\tScriptPath - the directory containing the running script\r\n"
    L"\r\n",

    L"COMMAND LINE:\r\n"
    L"kestrun.exe [-nohelp] [scriptfile | -END] [script parameters]\r\n"
    L"    All the parameters before the script file (or -END option if\r\n"
    L"    no script file passed) are SysParameter-s for the host's usage\r\n"
    L"    The parameters after that point are script's parameters\r\n"
    L"    Enclose paremter in \"\" if there are spaces in it\r\n"
    L"\r\n",
};

HRESULT HostCore::CreateHostObject() noexcept {
  HostObject* host = nullptr;
  const HRESULT hr = HostObject::New(&host);
  if (FAILED(hr)) return hr;
  host_.attach(host);
  host_->Attach(&ui_, &params_);
  return S_OK;
}

void HostCore::WriteHelp() {
  for (const wchar_t* part : kHelpText) ui_.Write(part);
}

void HostCore::LoadScriptFile(const std::wstring& path, const wchar_t* language) {
  std::string bytes;
  text_.clear();
  if (path.empty() || !ReadFileBytes(path, bytes)) return;
  params_.Set(ParamSection::Runtime, L"ScriptFile", path);
  params_.Set(ParamSection::Runtime, L"ScriptPath", ScriptFolder(path, ProgramFolder()));
  language_ = language ? language : LanguageForPath(path);
  text_ = DecodeScriptBytes(bytes);
}

void HostCore::ShowLastError() {
  orv::Bstr text;
  if (FAILED(manager_->get_lastError(text.put()))) text.reset();
  ui_.ShowError(text.c_str());
}

bool HostCore::StartScript() {
  manager_.reset();
  const HRESULT created = CoCreateInstance(CLSID_ScpMan, nullptr, CLSCTX_INPROC_SERVER, IID_IScpMan, manager_.put_void());
  if (FAILED(created) || !manager_) {
    manager_.reset();
    ui_.ShowError(L"Error creating script host");
    return false;
  }
  if (language_.empty() || text_.empty()) {
    ui_.ShowError(L"Error - empty file or incorrect script language");
    return false;
  }
  orv::Variant key, item, result;
  V_VT(key.get()) = VT_BSTR;
  V_BSTR(key.get()) = SysAllocString(L"Host");
  if (host_) {
    V_VT(item.get()) = VT_DISPATCH;
    V_DISPATCH(item.get()) = host_.get();
    host_->AddRef();
  }
  manager_->Add(*key.get(), *item.get(), result.put());

  orv::Bstr language(language_.c_str());
  if (manager_->LoadEngine(language.get(), result.put()) != S_OK) {
    ui_.ShowError(L"Error loading the script engine");
    return false;
  }
  orv::Bstr text(text_.c_str(), static_cast<UINT>(text_.size()));
  if (manager_->AddText(text.get(), result.put()) != S_OK) {
    ShowLastError();
    return false;
  }
  if (manager_->Run(result.put()) != S_OK) {
    ShowLastError();
    return false;
  }
  return true;
}

bool HostCore::CallOnInput(const std::wstring& input) {
  if (!manager_) return false;
  orv::ComPtr<IDispatch> script;
  if (FAILED(manager_->get_script(script.put())) || !script) {
    ui_.ShowError(L"Can't get script");
    return false;
  }
  wchar_t name[] = L"OnInput";
  LPOLESTR names[] = {name};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (SUCCEEDED(hr)) {
    orv::Variant arg, result;
    V_VT(arg.get()) = VT_BSTR;
    V_BSTR(arg.get()) = SysAllocStringLen(input.data(), static_cast<UINT>(input.size()));
    DISPPARAMS params = {arg.get(), nullptr, 1, 0};
    hr = script->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, result.put(), nullptr, nullptr);
  }
  if (FAILED(hr)) {
    ShowLastError();
    return false;
  }
  return true;
}

void HostCore::Shutdown() noexcept {
  if (host_) host_->Attach(nullptr, nullptr);
  host_.reset();
  if (manager_) {
    manager_->Close();
    manager_->Clear();
    manager_.reset();
  }
}

}  // namespace orvanta::host
