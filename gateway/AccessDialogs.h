// The gateway's two dialogs: the user's confirmation of a profile (dialog 201) and the
// notice that a profile was refused (dialog 203). Both are modal, have no owner window
// and run on the calling thread.
#pragma once
#include <windows.h>

#include <string_view>

namespace orv::gateway {

// True exactly when the user pressed Allow; a dialog that cannot be shown is a refusal.
bool Confirm(std::wstring_view pageAddress, std::wstring_view displayName, std::wstring_view description) noexcept;

// Returns once the user has closed the notice.
void ShowDenied(std::wstring_view pageAddress, std::wstring_view displayName) noexcept;

// A text as a control shows it: a NUL would end the shown text early and hide the rest
// (a page address "http://good.example<NUL>.evil.test" would look like the good one),
// so each NUL is shown as U+FFFD.
std::wstring ShownText(std::wstring_view text);

}  // namespace orv::gateway
