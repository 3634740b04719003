// The last-error record of a script manager and its one-line text form.
#include "components/script/ScriptError.h"

#include <cwchar>
#include <string>

namespace orv {

ScriptErrorRecord::ScriptErrorRecord() noexcept { excep_ = EXCEPINFO{}; }

ScriptErrorRecord::~ScriptErrorRecord() { Clear(); }

void ScriptErrorRecord::ClearException() noexcept {
  SysFreeString(excep_.bstrSource);
  SysFreeString(excep_.bstrDescription);
  SysFreeString(excep_.bstrHelpFile);
  excep_ = EXCEPINFO{};
}

void ScriptErrorRecord::Clear() noexcept {
  ClearException();
  charPosition_ = 0;
  line_ = 0;
  context_ = 0;
  sourceLine_.reset();
}

void ScriptErrorRecord::Record(IActiveScriptError* error) noexcept {
  Clear();
  if (!error) return;
  EXCEPINFO info = {};
  if (SUCCEEDED(error->GetExceptionInfo(&info))) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    excep_ = info;
  } else {
    // A failing engine may still have written part of it.
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  Bstr line;
  if (SUCCEEDED(error->GetSourceLineText(line.put()))) sourceLine_ = std::move(line);
  DWORD context = 0;
  ULONG lineNumber = 0;
  LONG position = 0;
  if (SUCCEEDED(error->GetSourcePosition(&context, &lineNumber, &position))) {
    context_ = context;
    line_ = lineNumber;
    charPosition_ = position;
  }
}

void ScriptErrorRecord::Absorb(EXCEPINFO& excep) noexcept {
  const bool written = excep.scode || excep.wCode || excep.bstrSource || excep.bstrDescription ||
                       excep.bstrHelpFile || excep.pfnDeferredFillIn;
  if (!written) return;
  if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
  ClearException();
  excep_ = excep;
  excep = EXCEPINFO{};
}

HRESULT ScriptErrorRecord::FormatText(BSTR* out) const noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    std::wstring text;
    if (excep_.bstrSource) {
      text += L"Source:";
      text.append(excep_.bstrSource, SysStringLen(excep_.bstrSource));
    } else {
      text += L"(no source reported)";
    }
    text += L',';
    if (excep_.bstrDescription) text.append(excep_.bstrDescription, SysStringLen(excep_.bstrDescription));
    wchar_t position[256];
    swprintf(position, 256, L",(Line:%u, Char:%d, Context:%u),", static_cast<unsigned>(line_),
             static_cast<int>(charPosition_), static_cast<unsigned>(context_));
    text += position;
    if (sourceLine_.get()) text.append(sourceLine_.get(), sourceLine_.length());
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orv
