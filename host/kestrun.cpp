// kestrun: the windowed script host. One resizable dialog with an output pane, an input
// box with its submit button and a menu bar; scripts run on the window's thread.
#include <windows.h>
#include <commdlg.h>

#include <string>

#include "host/HostCore.h"
#include "host/Layout.h"
#include "host/Registration.h"
#include "kestrun.h"

namespace {

using namespace orvanta::host;

constexpr size_t kOutputLimit = 8192;
constexpr int kInputBuffer = 2048;

HINSTANCE g_instance;

class WindowHost final : public HostUi {
 public:
  HostCore core{*this};
  HWND hwnd = nullptr;

  BOOL Init(HWND dialog);
  void OnCommand(WORD id, WORD code);
  void Layout();
  void ShowInput(bool show);
  void AppendOutput(std::wstring_view text);

  // HostUi
  void Write(std::wstring_view text) override { AppendOutput(text); }
  void ClearOutput() override { SetDlgItemTextW(hwnd, IDC_OUTPUT, L""); }
  void ShowMessage(std::wstring_view text) override { MessageBoxW(hwnd, std::wstring(text).c_str(), L"", MB_OK); }
  bool Ask(std::wstring_view text) override {
    return MessageBoxW(hwnd, std::wstring(text).c_str(), L"", MB_YESNO) == IDYES;
  }
  void ShowError(std::wstring_view text) override {
    MessageBoxW(hwnd, std::wstring(text).c_str(), L"Error", MB_OK);
  }
  void RequestInput(std::wstring_view label) override {
    SetDlgItemTextW(hwnd, IDC_SUBMIT, std::wstring(label).c_str());
    Layout();
    PostMessageW(hwnd, WM_COMMAND, IDM_SHOW_INPUT, 0);
  }
  void SetInput(std::wstring_view text) override { SetDlgItemTextW(hwnd, IDC_INPUT, std::wstring(text).c_str()); }
  void Exit() override { PostMessageW(hwnd, WM_CLOSE, 0, 0); }

 private:
  bool inputVisible_ = false;
  void RunFromDialog();
  void RegisterFromDialog(RegistrationMode mode);
};

WindowHost g_app;

BOOL WindowHost::Init(HWND dialog) {
  hwnd = dialog;
  HMENU menu = LoadMenuW(g_instance, MAKEINTRESOURCEW(IDR_KESTRUN_MENU));
  if (!menu || !SetMenu(hwnd, menu)) {
    if (menu) DestroyMenu(menu);
    MessageBoxW(hwnd, L"Error", L"", MB_OK);
    DestroyWindow(hwnd);
    return FALSE;
  }
  // The four buttons of the bar take their labels from the string table.
  for (UINT i = 0; i < 4; ++i) {
    wchar_t label[64];
    if (LoadStringW(g_instance, IDS_MENU_EDIT + i, label, 64) <= 0) continue;
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = label;
    SetMenuItemInfoW(menu, i, TRUE, &info);
  }
  DrawMenuBar(hwnd);
  if (FAILED(core.CreateHostObject())) {
    MessageBoxW(hwnd, L"Error creating host", L"Error", MB_OK);
    DestroyWindow(hwnd);
    return FALSE;
  }
  if (!core.params().Has(ParamSection::Host, L"nohelp")) core.WriteHelp();
  ShowInput(false);
  if (core.params().Has(ParamSection::Host, L"RUN")) PostMessageW(hwnd, WM_COMMAND, IDM_RUN_COMMAND_LINE, 0);
  return TRUE;
}

void WindowHost::Layout() {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const WindowLayout l = ComputeLayout(rc.right - rc.left, rc.bottom - rc.top, GetSystemMetrics(SM_CYMENU), inputVisible_);
  auto place = [this](int id, const Box& b) { MoveWindow(GetDlgItem(hwnd, id), b.x, b.y, b.width, b.height, TRUE); };
  place(IDC_OUTPUT, l.output);
  if (inputVisible_) {
    place(IDC_INPUT, l.input);
    place(IDC_SUBMIT, l.submit);
  }
}

void WindowHost::ShowInput(bool show) {
  inputVisible_ = show;
  ShowWindow(GetDlgItem(hwnd, IDC_INPUT), show ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(hwnd, IDC_SUBMIT), show ? SW_SHOW : SW_HIDE);
  Layout();
  if (show) SetFocus(GetDlgItem(hwnd, IDC_INPUT));
}

void WindowHost::AppendOutput(std::wstring_view text) {
  HWND pane = GetDlgItem(hwnd, IDC_OUTPUT);
  if (!pane) return;
  const int length = GetWindowTextLengthW(pane);
  std::wstring all(static_cast<size_t>(length) + 1, L'\0');
  all.resize(static_cast<size_t>(GetWindowTextW(pane, all.data(), length + 1)));
  all.append(text);
  if (all.size() > kOutputLimit) all.erase(0, all.size() - kOutputLimit);
  SetWindowTextW(pane, all.c_str());
  SendMessageW(pane, EM_SETSEL, all.size(), all.size());
  SendMessageW(pane, EM_SCROLLCARET, 0, 0);
}

void WindowHost::RunFromDialog() {
  wchar_t path[260] = L"";
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd;
  ofn.lpstrFilter = L"JScript\0*.js\0VBScript\0*.vbs\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = 260;
  ofn.lpstrTitle = L"Open script";
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  // A cancelled dialog still starts: the empty path leaves no script to run, which is
  // reported like an empty file.
  if (!GetOpenFileNameW(&ofn)) path[0] = L'\0';
  core.LoadScriptFile(path, ofn.nFilterIndex == 2 ? L"VBScript" : L"JScript");
  core.StartScript();
}

// Tools menu: a library chosen in the open dialog; cancelling does nothing.
void WindowHost::RegisterFromDialog(RegistrationMode mode) {
  wchar_t path[260] = L"";
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd;
  ofn.lpstrFilter = L"DLL\0*.DLL\0ALL\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = 260;
  ofn.lpstrTitle = L"Select the DLL";
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (GetOpenFileNameW(&ofn)) RegisterLibrary(path, mode, *this);
}

void WindowHost::OnCommand(WORD id, WORD code) {
  HWND focus = GetFocus();
  HWND output = GetDlgItem(hwnd, IDC_OUTPUT);
  HWND input = GetDlgItem(hwnd, IDC_INPUT);
  switch (id) {
    case IDOK:
    case IDCANCEL:
    case IDM_EXIT:
      DestroyWindow(hwnd);
      break;
    case IDM_RUN_COMMAND_LINE: {
      ShowInput(false);
      const std::u16string* run = core.params().Find(ParamSection::Host, L"RUN");
      core.LoadScriptFile(run ? ToWide(*run) : std::wstring(), nullptr);
      core.StartScript();
      break;
    }
    case IDM_RUN:
      ShowInput(false);
      RunFromDialog();
      break;
    case IDM_ABOUT:
      core.WriteHelp();
      break;
    case IDM_CUT:
    case IDM_COPY:
      if (focus == output || focus == input) SendMessageW(focus, id == IDM_CUT ? WM_CUT : WM_COPY, 0, 0);
      break;
    case IDM_PASTE:
      if (focus == input) SendMessageW(input, WM_PASTE, 0, 0);
      break;
    case IDM_CLEAR:
      if (focus == output || focus == input) SetWindowTextW(focus, L"");
      break;
    case IDM_SELECT_INPUT:
      SetFocus(input);
      break;
    case IDM_SELECT_OUTPUT:
      SetFocus(output);
      break;
    case IDC_SUBMIT:
      if (code != BN_CLICKED) break;
      [[fallthrough]];
    case IDM_SUBMIT_INPUT:
      if (core.HasScriptManager()) {
        wchar_t text[kInputBuffer] = L"";
        GetDlgItemTextW(hwnd, IDC_INPUT, text, kInputBuffer);
        core.CallOnInput(text);
      }
      ShowInput(false);
      break;
    case IDM_SHOW_INPUT:
      ShowInput(true);
      break;
    case IDM_REPAIR_REGISTRATIONS:
      RepairEngineRegistrations(*this);
      break;
    case IDM_REGISTER_DLL:
      RegisterFromDialog(RegistrationMode::Register);
      break;
    case IDM_UNREGISTER_DLL:
      RegisterFromDialog(RegistrationMode::Unregister);
      break;
  }
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      return g_app.Init(hwnd);
    case WM_SIZE:
      if (g_app.hwnd) g_app.Layout();
      return TRUE;
    case WM_COMMAND:
      g_app.OnCommand(LOWORD(wp), HIWORD(wp));
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return TRUE;
    case WM_DESTROY:
      g_app.core.Shutdown();
      g_app.hwnd = nullptr;
      PostQuitMessage(0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  g_instance = instance;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(com)) {
    MessageBoxW(nullptr, L"Co Init failed.", L"", MB_OK);
    return com;
  }
  g_app.core.params().ParseCommandLine(commandLine ? commandLine : L"");
  HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_KESTRUN), nullptr, DialogProc, 0);
  if (!dialog) {
    g_app.core.Shutdown();
    CoUninitialize();
    MessageBoxW(nullptr, L"DLG Create failed.", L"", MB_OK);
    return 0;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  g_app.core.Shutdown();
  CoUninitialize();
  return 0;
}
