// kestrun as a user meets it, headless: the test starts the program, finds its dialog,
// reads the output pane, runs menu commands, submits input and answers message boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kestrun.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr DWORD kWaitMs = 30000;

std::wstring WindowText(HWND h) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &length)) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, kWaitMs, &got);
  text.resize(got);
  return text;
}

// A control's rectangle in its dialog's client coordinates.
std::wstring Describe(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L" " + std::to_wstring(r.right - r.left) + L"x" +
         std::to_wstring(r.bottom - r.top);
}
std::wstring ChildRect(HWND dialog, int id) {
  RECT r;
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
  return Describe(r);
}

std::wstring ClassOf(HWND h) {
  wchar_t name[64] = L"";
  GetClassNameW(h, name, 64);
  return name;
}

// A script file in the prefix's temporary folder, removed again at the end.
class ScriptFile {
 public:
  ScriptFile(const wchar_t* name, const std::string& text) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    path_ = std::wstring(dir) + name;
    std::ofstream(std::filesystem::path(path_), std::ios::binary) << text;
  }
  ~ScriptFile() { DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

class Kestrun {
 public:
  explicit Kestrun(const std::wstring& args) {
    std::wstring line = L"\"" + orvtest::BinPath(L"kestrun.exe") + L"\" " + args;
    STARTUPINFOW si = {sizeof si};
    started_ = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
  }
  ~Kestrun() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool started() const { return started_; }

  // The main dialog, once it is up.
  HWND Main() {
    if (!main_) main_ = WaitWindow([](HWND h) { return GetDlgItem(h, IDC_OUTPUT) != nullptr; });
    return main_;
  }
  HWND Item(int id) { return GetDlgItem(Main(), id); }
  std::wstring Output() { return WindowText(Item(IDC_OUTPUT)); }
  // The pane once it shows `expected`, or what it shows when the wait runs out: a command
  // that loads libraries may pump messages, so a round trip can overtake it.
  // Whether a control is shown once the window has handled what it posted itself (the
  // input controls appear through a command the window posts), within the bound.
  bool ShownOnce(int id) {
    for (DWORD waited = 0; !IsWindowVisible(Item(id)) && waited < kWaitMs; waited += 50) Sleep(50);
    return IsWindowVisible(Item(id)) != FALSE;
  }
  std::wstring OutputOnce(const std::wstring& expected) {
    std::wstring text = Output();
    for (DWORD waited = 0; text != expected && waited < kWaitMs; waited += 50) {
      Sleep(50);
      text = Output();
    }
    return text;
  }

  // Posts a command and waits until the window has handled it. A message sent from
  // another thread is handled before posted ones, so the first round trip may overtake
  // the command; the second is handled only after the window has taken the command.
  void Command(WORD id) {
    PostMessageW(Main(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    Settle();
    Settle();
  }
  void Settle() {
    DWORD_PTR ignored;
    SendMessageTimeoutW(Main(), WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &ignored);
  }

  // The next message box: its caption and text; answered with the button given.
  struct Box {
    std::wstring caption, text;
  };
  Box Answer(int button = IDOK) {
    HWND box = WaitWindow([this](HWND h) { return h != main_ && GetDlgItem(h, IDC_OUTPUT) == nullptr; });
    Box result;
    if (!box) return {L"<none>", L"<no message box>"};
    wchar_t caption[256] = L"";
    GetWindowTextW(box, caption, 256);
    result.caption = caption;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
      if (ClassOf(child) == L"Static") result.text += WindowText(child);
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    for (DWORD waited = 0; IsWindow(box) && waited < kWaitMs; waited += 20) Sleep(20);
    return result;
  }

  // Answers the open-file dialog with a path (OK) or cancels it (empty path); returns the
  // dialog's caption and the names of its file types.
  Box ChooseFile(const std::wstring& path) {
    HWND box = WaitWindow([this](HWND h) { return h != main_ && GetDlgItem(h, IDC_OUTPUT) == nullptr; });
    if (!box) return {L"<none>", L""};
    Box result;
    wchar_t text[256] = L"";
    GetWindowTextW(box, text, 256);
    result.caption = text;
    HWND types = GetDlgItem(box, 0x470);  // cmb1, the file types
    const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      result.text += std::wstring(i ? L"," : L"") + text;
    }
    if (SendMessageW(types, CB_GETCURSEL, 0, 0) != 0) result.text += L" (second type preselected)";
    const int button = path.empty() ? IDCANCEL : IDOK;
    // The name box is cmb13 in the explorer-style dialog, edt1 in the older one.
    if (!path.empty() && !SetDlgItemTextW(box, 0x47c, path.c_str())) SetDlgItemTextW(box, 0x480, path.c_str());
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    for (DWORD waited = 0; IsWindow(box) && waited < kWaitMs; waited += 20) Sleep(20);
    Settle();
    Settle();
    return result;
  }

  // Exit code once the program has ended, STILL_ACTIVE when it does not.
  DWORD ExitCode() {
    WaitForSingleObject(pi_.hProcess, kWaitMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }

 private:
  template <class Match>
  HWND WaitWindow(Match match) {
    struct Search {
      DWORD pid;
      Match* match;
      HWND found;
    } search{pi_.dwProcessId, &match, nullptr};
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
      EnumWindows(
          [](HWND h, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            if (pid != s->pid || !IsWindowVisible(h) || ClassOf(h) != L"#32770" || !(*s->match)(h)) return TRUE;
            s->found = h;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (search.found) return search.found;
      if (WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
  }

  PROCESS_INFORMATION pi_ = {};
  bool started_ = false;
  HWND main_ = nullptr;
};

TEST(KestrunWindow, StartsWithHelpAndRunsTheEditAndAboutCommands) {
  Kestrun k(L"");
  ASSERT_TRUE(k.started());
  ASSERT_NE(k.Main(), nullptr);
  wchar_t caption[64] = L"";
  GetWindowTextW(k.Main(), caption, 64);
  EXPECT_STREQ(caption, L"Script host");
  const std::wstring help = k.Output();
  EXPECT_EQ(help.rfind(L"\r\nOrvanta Kestrun 2.4\r\n================================\r\nSupported methods:\r\n", 0), 0u);
  EXPECT_NE(help.find(L"\r\n\tScriptPath - the directory containing the running script\r\n\r\nCOMMAND LINE:\r\n"),
            std::wstring::npos);
  const std::wstring tail = L"\r\n    Enclose paremter in \"\" if there are spaces in it\r\n\r\n";
  EXPECT_EQ(help.substr(help.size() - tail.size()), tail);
  // Input controls start hidden; the output pane fills the client area.
  EXPECT_FALSE(IsWindowVisible(k.Item(IDC_INPUT)));
  EXPECT_FALSE(IsWindowVisible(k.Item(IDC_SUBMIT)));
  RECT client;
  GetClientRect(k.Main(), &client);
  EXPECT_EQ(ChildRect(k.Main(), IDC_OUTPUT), Describe(client));

  k.Command(IDM_ABOUT);
  EXPECT_EQ(k.OutputOnce(help + help), help + help);
  k.Command(IDM_SELECT_INPUT);
  k.Command(IDM_CLEAR);  // the hidden input box has the focus: the pane keeps its text
  EXPECT_EQ(k.OutputOnce(help + help), help + help);
  k.Command(IDM_SELECT_OUTPUT);
  k.Command(IDM_CLEAR);
  EXPECT_EQ(k.OutputOnce(L""), L"");
  k.Command(IDM_ABOUT);
  EXPECT_EQ(k.OutputOnce(help), help);
  k.Command(IDM_EXIT);
  EXPECT_EQ(k.ExitCode(), 0u);
}

TEST(KestrunWindow, NoHelpOptionInAnyCaseAndEndOfHostPart) {
  for (const wchar_t* args : {L"-nohelp", L"/NOHELP -END x"}) {
    Kestrun k(args);
    ASSERT_NE(k.Main(), nullptr) << args;
    k.Settle();
    EXPECT_EQ(k.OutputOnce(L""), L"") << args;
    PostMessageW(k.Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(k.ExitCode(), 0u) << args;
  }
}

TEST(KestrunWindow, MenuBarHoldsEveryCommandAndSeparator) {
  HMODULE exe = LoadLibraryExW(orvtest::BinPath(L"kestrun.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr);
  HMENU menu = LoadMenuW(exe, MAKEINTRESOURCEW(IDR_KESTRUN_MENU));
  ASSERT_NE(menu, nullptr);
  auto describe = [](HMENU m) {
    std::vector<std::wstring> items;
    for (int i = 0; i < GetMenuItemCount(m); ++i) {
      wchar_t text[64] = L"";
      GetMenuStringW(m, i, text, 64, MF_BYPOSITION);
      const UINT id = GetMenuItemID(m, i);
      items.push_back(text[0] ? std::wstring(text) + L"=" + std::to_wstring(static_cast<int>(id)) : L"-");
    }
    return items;
  };
  EXPECT_EQ(describe(menu), (std::vector<std::wstring>{L"Edit=-1", L"Tools=-1", L"Run=40001", L"About=40004"}));
  EXPECT_EQ(describe(GetSubMenu(menu, 0)),
            (std::vector<std::wstring>{L"Cut=40013", L"-", L"Copy=40014", L"Paste=40015", L"-", L"Clear=40016", L"-",
                                       L"Select intput=40021", L"Select output=40022", L"Submit input=40023"}));
  EXPECT_EQ(describe(GetSubMenu(menu, 1)),
            (std::vector<std::wstring>{L"Repair DLL registrations=40020", L"-", L"Unregister COM DLL ...=40025",
                                       L"Register COM DLL ...=40024", L"-", L"Exit=40007"}));
  wchar_t label[16];
  EXPECT_GT(LoadStringW(exe, IDS_MENU_TOOLS, label, 16), 0);
  EXPECT_STREQ(label, L"Tools");
  DestroyMenu(menu);
  FreeLibrary(exe);
}

TEST(KestrunWindow, ScriptWritesAsksForInputAndGetsItThroughOnInput) {
  ScriptFile script(L"window input.js",
                    "Host.WriteLine('started ' + Host.Parameter(1));\n"
                    "Host.SetInput('suggested');\n"
                    "Host.RequestInput('Send');\n"
                    "function OnInput(text) {\n"
                    "  Host.WriteLine('got [' + text + ']');\n"
                    "  if (text == 'again') Host.RequestInput('More');\n"
                    "  if (text == 'bye') Host.Exit();\n"
                    "}\n");
  Kestrun k(L"-nohelp \"" + script.path() + L"\" \"first one\"");
  ASSERT_NE(k.Main(), nullptr);
  k.Settle();
  k.Settle();
  EXPECT_EQ(k.OutputOnce(L"started first one\r\n"), L"started first one\r\n");
  EXPECT_TRUE(k.ShownOnce(IDC_INPUT));
  EXPECT_TRUE(k.ShownOnce(IDC_SUBMIT));
  EXPECT_EQ(WindowText(k.Item(IDC_SUBMIT)), L"Send");
  EXPECT_EQ(WindowText(k.Item(IDC_INPUT)), L"suggested");
  // Input shown: input box on top, the button below it, the pane in the lower half.
  RECT client;
  GetClientRect(k.Main(), &client);
  const int half = client.bottom / 2, bar = GetSystemMetrics(SM_CYMENU);
  RECT expected = {0, 0, client.right, half - bar};
  EXPECT_EQ(ChildRect(k.Main(), IDC_INPUT), Describe(expected));
  expected = {0, half - bar, client.right, half};
  EXPECT_EQ(ChildRect(k.Main(), IDC_SUBMIT), Describe(expected));
  expected = {0, half, client.right, half + half};
  EXPECT_EQ(ChildRect(k.Main(), IDC_OUTPUT), Describe(expected));

  // The submit button sends the box's text and hides the controls.
  SendMessageW(k.Item(IDC_INPUT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"again"));
  PostMessageW(k.Main(), WM_COMMAND, MAKEWPARAM(IDC_SUBMIT, BN_CLICKED), 0);
  k.Settle();
  k.Settle();
  EXPECT_EQ(k.OutputOnce(L"started first one\r\ngot [again]\r\n"), L"started first one\r\ngot [again]\r\n");
  EXPECT_EQ(WindowText(k.Item(IDC_SUBMIT)), L"More");
  EXPECT_TRUE(k.ShownOnce(IDC_INPUT));
  // The menu's Submit input does the same; OnInput may end the program.
  SendMessageW(k.Item(IDC_INPUT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"bye"));
  PostMessageW(k.Main(), WM_COMMAND, IDM_SUBMIT_INPUT, 0);
  EXPECT_EQ(k.ExitCode(), 0u);
}

TEST(KestrunWindow, MessageBoxesOfHostMembersAndScriptErrors) {
  ScriptFile script(L"window boxes.vbs",
                    "Host.Msg \"plain message\"\n"
                    "If Host.Ask(\"Yes?\") Then Host.WriteLine \"yes\" Else Host.WriteLine \"no\"\n"
                    "If Host.Ask(\"Again?\") Then Host.WriteLine \"yes\" Else Host.WriteLine \"no\"\n"
                    "Host.WriteLine String(10000, \"x\") & \"end\"\n"
                    "x = Host.Parameter(\"a\")\n");
  Kestrun k(L"-nohelp \"" + script.path() + L"\"");
  ASSERT_NE(k.Main(), nullptr);
  Kestrun::Box box = k.Answer();
  EXPECT_EQ(box.caption, L"");
  EXPECT_EQ(box.text, L"plain message");
  box = k.Answer(IDYES);
  EXPECT_EQ(box.text, L"Yes?");
  box = k.Answer(IDNO);
  EXPECT_EQ(box.text, L"Again?");
  box = k.Answer();
  EXPECT_EQ(box.caption, L"Error");
  EXPECT_EQ(box.text, L"Command line parameter can be refered only by index");
  // The script fails there: its error comes next.
  box = k.Answer();
  EXPECT_EQ(box.caption, L"Error");
  EXPECT_NE(box.text.find(L"(Line:4, Char:"), std::wstring::npos) << box.text;
  const std::wstring runError = box.text;
  // The pane keeps the last 8192 characters.
  const std::wstring out = k.Output();
  EXPECT_EQ(out.size(), 8192u);
  EXPECT_EQ(out.substr(out.size() - 5), L"end\r\n");
  EXPECT_EQ(out.find(L"yes"), std::wstring::npos);
  // The window stays; without an OnInput function a submit shows the script manager's
  // last error, still the one of the failed run.
  PostMessageW(k.Main(), WM_COMMAND, IDM_SUBMIT_INPUT, 0);
  box = k.Answer();
  EXPECT_EQ(box.caption, L"Error");
  EXPECT_EQ(box.text, runError);
  PostMessageW(k.Main(), WM_CLOSE, 0, 0);
  EXPECT_EQ(k.ExitCode(), 0u);
}

TEST(KestrunWindow, EmptyFileAndCancelledRunReportNoScript) {
  ScriptFile empty(L"window empty.js", "");
  Kestrun k(L"-nohelp \"" + empty.path() + L"\"");
  ASSERT_NE(k.Main(), nullptr);
  Kestrun::Box box = k.Answer();
  EXPECT_EQ(box.caption, L"Error");
  EXPECT_EQ(box.text, L"Error - empty file or incorrect script language");
  // Run, then cancel the open dialog: the same message.
  PostMessageW(k.Main(), WM_COMMAND, IDM_RUN, 0);
  box = k.Answer(IDCANCEL);
  EXPECT_EQ(box.caption, L"Open script");
  box = k.Answer();
  EXPECT_EQ(box.text, L"Error - empty file or incorrect script language");
  k.Command(IDM_EXIT);
  EXPECT_EQ(k.ExitCode(), 0u);
}

// The Tools menu: a library chosen in "Select the DLL" is registered or unregistered and
// the outcome is one line in the pane; a plain library lacks the entry point; a cancelled
// choice writes nothing; Repair registers the system's two engines.
TEST(KestrunWindow, ToolsMenuRegistersLibrariesIntoThePane) {
  Kestrun k(L"-nohelp");
  ASSERT_NE(k.Main(), nullptr);
  const std::wstring probe = orvtest::BinPath(L"regprobe.dll");
  const std::wstring plain = L"C:\\windows\\system32\\version.dll";
  struct Step {
    WORD command;
    std::wstring path, line;
  } steps[] = {
      {IDM_REGISTER_DLL, probe, probe + L" SUCCEEDED\r\n"},
      {IDM_UNREGISTER_DLL, probe, probe + L" FAILED\r\n"},
      {IDM_REGISTER_DLL, plain, L"DllRegisterServer not found in " + plain + L"\r\n"},
      {IDM_UNREGISTER_DLL, plain, L"DllUnregisterServer not found in " + plain + L"\r\n"},
      {IDM_REGISTER_DLL, L"", L""},
  };
  std::wstring expected;
  for (const Step& step : steps) {
    PostMessageW(k.Main(), WM_COMMAND, step.command, 0);
    const Kestrun::Box dialog = k.ChooseFile(step.path);
    EXPECT_EQ(dialog.caption, L"Select the DLL");
    EXPECT_EQ(dialog.text, L"DLL,ALL");
    expected += step.line;
    EXPECT_EQ(k.OutputOnce(expected), expected) << std::string(step.path.begin(), step.path.end());
  }
  k.Command(IDM_REPAIR_REGISTRATIONS);
  expected += L"C:\\windows\\system32\\jscript.dll SUCCEEDED\r\nC:\\windows\\system32\\vbscript.dll SUCCEEDED\r\n";
  EXPECT_EQ(k.OutputOnce(expected), expected);
  k.Command(IDM_EXIT);
  EXPECT_EQ(k.ExitCode(), 0u);
}

}  // namespace
