// The answering thread of the page host.
#include "samples/pagehost/DialogAnswerer.h"

#include <cstdlib>
#include <cwchar>
#include <utility>

#include "VantorDialogs.h"

namespace pagehost {

namespace {

constexpr UINT kSendTimeoutMs = 10000;
constexpr DWORD kPollMs = 5;

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                      kSendTimeoutMs, &got);
  text.resize(got);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

// Chooses an entry of the list as a user would, with the notification the dialog acts on.
void Choose(HWND dialog, int entry) {
  HWND list = GetDlgItem(dialog, IDC_CONFIRM_CHOICE);
  Send(list, CB_SETCURSEL, entry);
  Send(dialog, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM_CHOICE, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

struct Search {
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM lParam) {
  wchar_t caption[64] = L"";
  GetWindowTextW(window, caption, 64);
  if (ClassOf(window) == L"#32770" && IsWindowVisible(window) &&
      (wcscmp(caption, kConfirmCaption) == 0 || wcscmp(caption, kDeniedCaption) == 0))
    reinterpret_cast<Search*>(lParam)->found.push_back(window);
  return TRUE;
}

void ReadControls(HWND dialog, SeenDialog& seen) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SeenControl control;
    control.id = GetDlgCtrlID(child);
    control.className = ClassOf(child);
    control.text = TextOf(child);
    GetWindowRect(child, &control.place);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&control.place), 2);
    control.style = GetWindowLongW(child, GWL_STYLE);
    control.visible = IsWindowVisible(child) != FALSE;
    seen.controls.push_back(std::move(control));
  }
}

void ReadChoices(HWND dialog, SeenDialog& seen) {
  HWND list = GetDlgItem(dialog, IDC_CONFIRM_CHOICE);
  const LRESULT count = Send(list, CB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t entry[256] = L"";
    Send(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
    seen.choices.push_back(entry);
  }
  seen.chosen = static_cast<int>(Send(list, CB_GETCURSEL));
  Choose(dialog, 1);
  seen.pageShownForSecondChoice = Visible(dialog, IDC_CONFIRM_PAGE);
  seen.descriptionShownForSecondChoice = Visible(dialog, IDC_CONFIRM_DESCRIPTION);
  Choose(dialog, 0);
  seen.descriptionShownForFirstChoice = Visible(dialog, IDC_CONFIRM_DESCRIPTION);
  seen.pageShownForFirstChoice = Visible(dialog, IDC_CONFIRM_PAGE);
}

void Press(HWND dialog, int button) { Send(GetDlgItem(dialog, button), BM_CLICK); }

}  // namespace

const SeenControl* SeenDialog::Control(int id) const {
  for (const SeenControl& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

RECT SeenDialog::Pixels(int x, int y, int cx, int cy) const {
  // Place and size are each mapped on their own, as dialog templates are.
  const int left = MulDiv(x, baseX, 4), top = MulDiv(y, baseY, 8);
  return {left, top, left + MulDiv(cx, baseX, 4), top + MulDiv(cy, baseY, 8)};
}

DialogAnswerer::DialogAnswerer(DWORD thread)
    : thread_(thread ? thread : GetCurrentThreadId()), watcher_([this] { Watch(); }) {}

DialogAnswerer::~DialogAnswerer() {
  stop_ = true;
  watcher_.join();
}

std::vector<SeenDialog> DialogAnswerer::Take() {
  std::lock_guard<std::mutex> guard(seenLock_);
  return std::exchange(seen_, {});
}

void DialogAnswerer::Watch() {
  while (!stop_) {
    Search search;
    EnumThreadWindows(thread_, CollectDialog, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.found) Handle(dialog);
    Sleep(kPollMs);
  }
}

void DialogAnswerer::Handle(HWND dialog) {
  SeenDialog seen;
  wchar_t caption[64] = L"";
  GetWindowTextW(dialog, caption, 64);
  seen.caption = caption;
  seen.confirmation = seen.caption == kConfirmCaption;
  RECT client = {};
  GetClientRect(dialog, &client);
  seen.client = {client.right, client.bottom};
  RECT units = {0, 0, 4, 8};
  MapDialogRect(dialog, &units);
  seen.baseX = units.right;
  seen.baseY = units.bottom;
  seen.topLevel = GetWindow(dialog, GW_OWNER) == nullptr && GetParent(dialog) == nullptr;
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  seen.modalFrame = (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) != 0 && (style & WS_CAPTION) == WS_CAPTION &&
                    (style & WS_SYSMENU) != 0 && (style & WS_POPUP) != 0;
  RECT window = {};
  GetWindowRect(dialog, &window);
  const int screenX = GetSystemMetrics(SM_CXSCREEN), screenY = GetSystemMetrics(SM_CYSCREEN);
  seen.centred = std::abs((window.left + window.right) / 2 - screenX / 2) <= 2 &&
                 std::abs((window.top + window.bottom) / 2 - screenY / 2) <= 2;
  ReadControls(dialog, seen);
  if (seen.confirmation) ReadChoices(dialog, seen);

  // Recorded before the answer: the watched thread may look as soon as the dialog ends.
  const bool confirmation = seen.confirmation;
  std::function<void(HWND)> hook;
  {
    std::lock_guard<std::mutex> guard(seenLock_);
    seen_.push_back(std::move(seen));
    hook = hook_;
  }
  if (hook) hook(dialog);
  const Answer answer = confirmation ? answer_.load() : Answer::Allow;
  switch (answer) {
    case Answer::Allow: Press(dialog, IDOK); break;
    case Answer::Deny: Press(dialog, IDCANCEL); break;
    case Answer::Close: PostMessageW(dialog, WM_CLOSE, 0, 0); break;
  }
  for (int waited = 0; IsWindow(dialog) && waited < 30000; waited += kPollMs) Sleep(kPollMs);
}

}  // namespace pagehost
