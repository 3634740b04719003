// The last script error a manager has seen: the engine's exception fields, the position
// and the source line, as `OnScriptError` or an EXCEPINFO out-parameter delivered them.
// Not locked by itself: its owner guards it with its object lock.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <activscp.h>

#include "components/module/Raii.h"

namespace orv {

class ScriptErrorRecord {
 public:
  ScriptErrorRecord() noexcept;
  ~ScriptErrorRecord();
  ScriptErrorRecord(const ScriptErrorRecord&) = delete;
  ScriptErrorRecord& operator=(const ScriptErrorRecord&) = delete;

  // Frees the texts and sets every field to zero or none.
  void Clear() noexcept;
  // Replaces the record with what the engine's error object reports; calls that fail
  // leave their fields empty.
  void Record(IActiveScriptError* error) noexcept;
  // Takes over the exception fields an engine wrote into an EXCEPINFO out-parameter
  // (which is left empty); an untouched one changes nothing. The position stays.
  void Absorb(EXCEPINFO& excep) noexcept;

  // An error counts as recorded when scode or wCode is non-zero.
  bool IsRecorded() const noexcept { return excep_.scode != 0 || excep_.wCode != 0; }

  // "Source:S,D,(Line:2, Char:7, Context:0),L" with the absent parts left out.
  HRESULT FormatText(BSTR* out) const noexcept;

  const wchar_t* Source() const noexcept { return excep_.bstrSource; }
  const wchar_t* Description() const noexcept { return excep_.bstrDescription; }
  const wchar_t* SourceLine() const noexcept { return sourceLine_.get(); }
  ULONG Line() const noexcept { return line_; }
  LONG CharPosition() const noexcept { return charPosition_; }
  DWORD Context() const noexcept { return context_; }
  SCODE Scode() const noexcept { return excep_.scode; }

 private:
  void ClearException() noexcept;

  EXCEPINFO excep_;
  LONG charPosition_ = 0;
  ULONG line_ = 0;
  DWORD context_ = 0;
  Bstr sourceLine_;
};

}  // namespace orv
