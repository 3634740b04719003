// kestrunc: the console script host. The same command line, parameters, script manager
// and `Host` object as kestrun, with the output on standard output and input read from
// standard input. Exit code 0; 1 when the script could not be created, loaded, compiled
// or run, or an OnInput call failed; 2 for a command line without a script file.
// `-sta` runs the script in a single-threaded apartment. `-register FILE`, `-unregister
// FILE` and `-repair` run the registration tools instead of a script (exit code 0 when
// the registration succeeded, else 1).
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "common/TextUtil.h"
#include "host/HostCore.h"
#include "host/Registration.h"

namespace {

using namespace orvanta::host;

// Writes text to a standard handle: the console's own call for a console, UTF-8 bytes
// for a file or pipe.
void WriteTo(DWORD which, std::wstring_view text) {
  HANDLE h = GetStdHandle(which);
  if (!h || h == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0, done = 0;
  if (GetConsoleMode(h, &mode)) {
    WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    return;
  }
  const std::string bytes = orvanta::toUtf8(std::u16string(text.begin(), text.end()));
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  FlushFileBuffers(h);
}

// One line from standard input without its line end; false at end of input.
bool ReadLine(std::wstring& line) {
  line.clear();
  HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  if (!h || h == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (GetConsoleMode(h, &mode)) {
    wchar_t c;
    DWORD got = 0;
    bool any = false;
    while (ReadConsoleW(h, &c, 1, &got, nullptr) && got == 1) {
      any = true;
      if (c == L'\n') break;
      if (c != L'\r') line.push_back(c);
    }
    return any;
  }
  std::string bytes;
  char c;
  DWORD got = 0;
  bool any = false;
  while (ReadFile(h, &c, 1, &got, nullptr) && got == 1) {
    any = true;
    if (c == '\n') break;
    bytes.push_back(c);
  }
  if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  std::u16string text;
  orvanta::appendUtf8Decoded(text, bytes);
  line.assign(text.begin(), text.end());
  return any;
}

bool IsYes(std::wstring_view answer) {
  const std::u16string a(answer.begin(), answer.end());
  return orvanta::equalsIgnoreCase(a, u"y") || orvanta::equalsIgnoreCase(a, u"yes");
}

class ConsoleHost final : public HostUi {
 public:
  HostCore core{*this};
  bool exitRequested = false;
  bool inputPending = false;
  std::wstring inputLabel;
  std::wstring defaultInput;

  void Write(std::wstring_view text) override { WriteTo(STD_OUTPUT_HANDLE, text); }
  void ClearOutput() override {}
  void ShowMessage(std::wstring_view text) override { WriteTo(STD_OUTPUT_HANDLE, std::wstring(text) + L"\r\n"); }
  bool Ask(std::wstring_view text) override {
    WriteTo(STD_OUTPUT_HANDLE, std::wstring(text) + L" (y/n) ");
    std::wstring answer;
    if (ReadLine(answer)) return IsYes(answer);
    Write(L"\r\n");  // end of input: the answer is No, and the question gets its line end
    return false;
  }
  void ShowError(std::wstring_view text) override {
    WriteTo(STD_ERROR_HANDLE, L"Error: " + std::wstring(text) + L"\r\n");
  }
  void RequestInput(std::wstring_view label) override {
    inputLabel = label;
    inputPending = true;
  }
  void SetInput(std::wstring_view text) override { defaultInput = text; }
  void Exit() override { exitRequested = true; }

  int Run();
};

int ConsoleHost::Run() {
  // The registration tools as options: -register FILE, -unregister FILE, -repair.
  const Parameters& params = core.params();
  const std::u16string* file = params.Find(ParamSection::Host, L"RUN");
  for (auto [option, mode] : {std::pair{L"register", RegistrationMode::Register},
                              std::pair{L"unregister", RegistrationMode::Unregister}}) {
    if (!params.Has(ParamSection::Host, option)) continue;
    if (!file) {
      ShowError(std::wstring(L"-") + option + L" needs a library file");
      return 1;
    }
    return RegisterLibrary(orvanta::host::ToWide(*file), mode, *this) ? 0 : 1;
  }
  if (params.Has(ParamSection::Host, L"repair")) return RepairEngineRegistrations(*this) ? 0 : 1;
  if (!core.params().Has(ParamSection::Host, L"RUN")) {
    if (!core.params().Has(ParamSection::Host, L"nohelp"))
      for (const wchar_t* part : kHelpText) Write(part);
    return 2;
  }
  if (FAILED(core.CreateHostObject())) {
    ShowError(L"Error creating host");
    return 1;
  }
  core.LoadScriptFile(orvanta::host::ToWide(*core.params().Find(ParamSection::Host, L"RUN")), nullptr);
  if (!core.StartScript()) return 1;
  while (inputPending && !exitRequested) {
    Write(inputLabel + L"> ");
    std::wstring line;
    if (!ReadLine(line)) break;
    inputPending = false;
    if (!core.CallOnInput(line.empty() ? defaultInput : line)) return 1;
  }
  return 0;
}

}  // namespace

// The thread joins the multithreaded apartment, as kestrun's does; with -sta it is a
// single-threaded apartment instead, so that apartment-model classes of the platform live
// on it and are called without a proxy (the free-threaded twins are then the ones
// reached through one).
int wmain() {
  int code;
  {
    ConsoleHost host;
    host.core.params().ParseCommandLine(SkipProgramName(GetCommandLineW()));
    const bool singleThreaded = host.core.params().Has(ParamSection::Host, L"sta");
    const HRESULT com = CoInitializeEx(nullptr, singleThreaded ? COINIT_APARTMENTTHREADED : COINIT_MULTITHREADED);
    if (FAILED(com)) {
      WriteTo(STD_ERROR_HANDLE, L"Co Init failed.\r\n");
      return com;
    }
    code = host.Run();
    host.core.Shutdown();
  }
  CoUninitialize();
  return code;
}
