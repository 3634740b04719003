// Dialogs 201 and 203 of the module's resources.
#include "gateway/AccessDialogs.h"

#include <string>

#include "VantorDialogs.h"
#include "components/module/Module.h"

namespace orv::gateway {

namespace {

struct ConfirmTexts {
  std::wstring page, name, description;
};

void SetItemText(HWND dialog, int id, const std::wstring& text) noexcept {
  SetDlgItemTextW(dialog, id, text.c_str());
}

void AddChoice(HWND list, UINT stringId) noexcept {
  wchar_t text[256] = L"";
  LoadStringW(ModuleInstance(), stringId, text, 256);
  SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Entry 0 shows the description, any other entry the page address, in one place.
void ShowChosenText(HWND dialog) noexcept {
  const LRESULT chosen = SendDlgItemMessageW(dialog, IDC_CONFIRM_CHOICE, CB_GETCURSEL, 0, 0);
  ShowWindow(GetDlgItem(dialog, IDC_CONFIRM_DESCRIPTION), chosen == 0 ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(dialog, IDC_CONFIRM_PAGE), chosen == 0 ? SW_HIDE : SW_SHOW);
}

INT_PTR CALLBACK ConfirmProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* texts = reinterpret_cast<const ConfirmTexts*>(lParam);
      HWND list = GetDlgItem(dialog, IDC_CONFIRM_CHOICE);
      AddChoice(list, IDS_CHOICE_DESCRIPTION);
      AddChoice(list, IDS_CHOICE_PAGE);
      ShowWindow(GetDlgItem(dialog, IDC_CONFIRM_PAGE), SW_HIDE);
      SendMessageW(list, CB_SETCURSEL, 0, 0);
      SetItemText(dialog, IDC_CONFIRM_PROFILE, texts->name);
      SetItemText(dialog, IDC_CONFIRM_DESCRIPTION, texts->description);
      SetItemText(dialog, IDC_CONFIRM_PAGE, texts->page);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: EndDialog(dialog, IDOK); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;  // Deny, Escape, close box
        case IDC_CONFIRM_CHOICE:
          if (HIWORD(wParam) == CBN_SELCHANGE) ShowChosenText(dialog);
          return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

INT_PTR CALLBACK DeniedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetItemText(dialog, IDC_DENIED_PROFILE, *reinterpret_cast<const std::wstring*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace

std::wstring ShownText(std::wstring_view text) {
  std::wstring shown(text);
  for (wchar_t& c : shown)
    if (c == L'\0') c = 0xFFFD;
  return shown;
}

bool Confirm(std::wstring_view pageAddress, std::wstring_view displayName, std::wstring_view description) noexcept {
  try {
    const ConfirmTexts texts{ShownText(pageAddress), ShownText(displayName), ShownText(description)};
    return DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_VANTOR_CONFIRM), nullptr, ConfirmProc,
                           reinterpret_cast<LPARAM>(&texts)) == IDOK;
  } catch (...) {
    return false;
  }
}

void ShowDenied(std::wstring_view, std::wstring_view displayName) noexcept {
  try {
    const std::wstring name = ShownText(displayName);
    DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_VANTOR_DENIED), nullptr, DeniedProc,
                    reinterpret_cast<LPARAM>(&name));
  } catch (...) {
  }
}

}  // namespace orv::gateway
