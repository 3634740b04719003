// The part both script hosts share: the parameter tree, the loaded script, the `Host`
// object and the script manager it runs in (ScpMan of OrvantaVessa, created at run time
// through COM), and the call of the script's OnInput function.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "components/module/Raii.h"
#include "host/HostObject.h"
#include "host/HostUi.h"
#include "host/Parameters.h"

namespace orvanta::host {

// The help text: three parts written one after another, shown at start and by About.
extern const wchar_t* const kHelpText[3];

class HostCore {
 public:
  explicit HostCore(HostUi& ui) noexcept : ui_(ui) {}
  HostCore(const HostCore&) = delete;
  HostCore& operator=(const HostCore&) = delete;
  ~HostCore() { Shutdown(); }

  Parameters& params() noexcept { return params_; }

  // Creates the `Host` object and gives it the front end.
  HRESULT CreateHostObject() noexcept;
  orv::ComPtr<IDispatch> hostObject() const noexcept { return orv::ComPtr<IDispatch>(host_.get()); }
  void WriteHelp();

  // Reads the file and sets the RUNTIME values, the language and the script text. A
  // file that cannot be read, or is empty, leaves the text empty and changes nothing
  // else. language null: taken from the file name.
  void LoadScriptFile(const std::wstring& path, const wchar_t* language);
  const std::wstring& language() const noexcept { return language_; }
  const std::wstring& scriptText() const noexcept { return text_; }

  // Runs the loaded script in a new script manager; every failure is shown as an error.
  // True when the global code ran.
  bool StartScript();
  bool HasScriptManager() const noexcept { return static_cast<bool>(manager_); }

  // Calls the script's OnInput(text); failures are shown as errors. True when it ran.
  bool CallOnInput(const std::wstring& text);

  // End of the program: releases the `Host` object, closes, clears and releases the
  // script manager.
  void Shutdown() noexcept;

 private:
  void ShowLastError();

  HostUi& ui_;
  Parameters params_;
  std::wstring language_;
  std::wstring text_;
  orv::ComPtr<HostObject> host_;
  orv::ComPtr<IScpMan> manager_;
};

}  // namespace orvanta::host
