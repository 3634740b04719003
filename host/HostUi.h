// What a host program's front end does for the core and for the `Host` object: the
// window shows a pane, message boxes and input controls; the console uses its streams.
#pragma once

#include <string_view>

namespace orvanta::host {

class HostUi {
 public:
  virtual ~HostUi() = default;

  // Output pane.
  virtual void Write(std::wstring_view text) = 0;
  virtual void ClearOutput() = 0;
  // A message with an empty caption and an OK button.
  virtual void ShowMessage(std::wstring_view text) = 0;
  // Yes or No, empty caption.
  virtual bool Ask(std::wstring_view text) = 0;
  // A message with the caption "Error".
  virtual void ShowError(std::wstring_view text) = 0;
  // Asks for a line of input, delivered later through the script's OnInput.
  virtual void RequestInput(std::wstring_view label) = 0;
  virtual void SetInput(std::wstring_view text) = 0;
  // Ends the program once the running script call has returned.
  virtual void Exit() = 0;
};

}  // namespace orvanta::host
