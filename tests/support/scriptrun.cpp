// scriptrun: runs one JScript (.js) or VBScript (.vbs) test file in the platform's engine
// with a named item `Test`:
//   Test.Echo(text)          prints a line
//   Test.Check(cond, text)   counts a passed or failed check; a failure prints its text
// Prints "N passed, M failed" at the end. Exit code 0 only when no check failed and the
// script raised no uncaught error.
#include <windows.h>
#include <ole2.h>
#include <initguid.h>
#include <activscp.h>

#include <cstdio>
#include <string>

#include "components/module/Raii.h"

namespace {

int g_passed = 0, g_failed = 0;
bool g_scriptError = false;

void PrintLine(const std::wstring& text) {
  const int len = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(len, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), len, nullptr, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::wstring ToText(VARIANT* v) {
  orv::Variant copy;
  if (FAILED(VariantChangeType(copy.put(), v, VARIANT_ALPHABOOL, VT_BSTR))) return L"<not text>";
  return V_BSTR(copy.get()) ? V_BSTR(copy.get()) : L"";
}

// The `Test` object: a fixed two-member IDispatch.
class TestObject final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
      *ppv = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      if (_wcsicmp(names[i], L"Echo") == 0) ids[i] = 1;
      else if (_wcsicmp(names[i], L"Check") == 0) ids[i] = 2;
      else ids[i] = DISPID_UNKNOWN, hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (result) VariantInit(result);
    // Arguments arrive in reverse order.
    if (id == 1 && p->cArgs == 1) {
      PrintLine(ToText(&p->rgvarg[0]));
      return S_OK;
    }
    if (id == 2 && (p->cArgs == 1 || p->cArgs == 2)) {
      orv::Variant cond;
      const bool ok = SUCCEEDED(VariantChangeType(cond.put(), &p->rgvarg[p->cArgs - 1], 0, VT_BOOL)) &&
                      V_BOOL(cond.get()) != VARIANT_FALSE;
      if (ok) {
        ++g_passed;
      } else {
        ++g_failed;
        PrintLine(L"FAILED: " + (p->cArgs == 2 ? ToText(&p->rgvarg[0]) : std::wstring(L"check")));
      }
      return S_OK;
    }
    return id == 1 || id == 2 ? DISP_E_BADPARAMCOUNT : DISP_E_MEMBERNOTFOUND;
  }
};

TestObject g_test;

class Site final : public IActiveScriptSite {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IActiveScriptSite)) {
      *ppv = static_cast<IActiveScriptSite*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetLCID(LCID* lcid) override {
    *lcid = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unk, ITypeInfo** ti) override {
    if (ti) *ti = nullptr;
    if (unk) *unk = nullptr;
    if (_wcsicmp(name, L"Test") != 0) return TYPE_E_ELEMENTNOTFOUND;
    if ((mask & SCRIPTINFO_IUNKNOWN) && unk) *unk = &g_test;
    return S_OK;
  }
  STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* err) override {
    g_scriptError = true;
    EXCEPINFO info = {};
    err->GetExceptionInfo(&info);
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    err->GetSourcePosition(&context, &line, &column);
    wchar_t code[16];
    swprintf(code, 16, L"%08lX", static_cast<unsigned long>(info.scode));
    PrintLine(L"SCRIPT ERROR line " + std::to_wstring(line + 1) + L": 0x" + code + L" " +
              (info.bstrDescription ? info.bstrDescription : L"(no description)"));
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return S_OK;
  }
  STDMETHODIMP OnEnterScript() override { return S_OK; }
  STDMETHODIMP OnLeaveScript() override { return S_OK; }
};

bool ReadScript(const wchar_t* path, std::wstring& text) {
  orv::UniqueHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    return true;
  }
  UINT cp = CP_ACP;
  size_t skip = 0;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) cp = CP_UTF8, skip = 3;
  const int len = MultiByteToWideChar(cp, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), nullptr, 0);
  text.assign(len, L'\0');
  MultiByteToWideChar(cp, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), text.data(), len);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: scriptrun file.js|file.vbs\n", stderr);
    return 2;
  }
  std::wstring path = argv[1], code;
  if (!ReadScript(path.c_str(), code)) {
    PrintLine(L"cannot read " + path);
    return 2;
  }
  const bool vbs = path.size() > 4 && _wcsicmp(path.c_str() + path.size() - 4, L".vbs") == 0;
  orv::ComInit com(COINIT_APARTMENTTHREADED);
  CLSID engineId;
  orv::ComPtr<IActiveScript> engine;
  orv::ComPtr<IActiveScriptParse64> parse;
  Site site;
  if (FAILED(CLSIDFromProgID(vbs ? L"VBScript" : L"JScript", &engineId)) ||
      FAILED(CoCreateInstance(engineId, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, engine.put_void())) ||
      FAILED(engine.query(parse)) || FAILED(parse->InitNew()) || FAILED(engine->SetScriptSite(&site)) ||
      FAILED(engine->AddNamedItem(L"Test", SCRIPTITEM_ISVISIBLE)) ||
      FAILED(engine->SetScriptState(SCRIPTSTATE_STARTED))) {
    PrintLine(L"cannot start the script engine");
    return 2;
  }
  EXCEPINFO excep = {};
  const HRESULT hr = parse->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr, &excep);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  if (FAILED(hr) && !g_scriptError) {
    g_scriptError = true;
    PrintLine(L"SCRIPT ERROR: the script did not run");
  }
  engine->Close();
  PrintLine(std::to_wstring(g_passed) + L" passed, " + std::to_wstring(g_failed) + L" failed");
  return (g_failed || g_scriptError) ? 1 : 0;
}
