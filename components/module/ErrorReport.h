// ReportError: the one way a method of either library fails visibly. Builds an error
// record (description from the module's string table or a given text, the class's
// registered description as source) bound to the calling thread, and returns the
// HRESULT the method hands back.
#pragma once
#include <windows.h>

#include <string>

namespace orv {

// By message id: hr 0 means 0x80040000 | id. The id is looked up in `module`'s string
// table ("Unknown Error" when absent).
HRESULT ReportError(REFCLSID clsid, UINT id, REFIID iid = GUID_NULL, HRESULT hr = 0,
                    HINSTANCE module = nullptr) noexcept;
// By text: hr is returned unchanged; 0 means DISP_E_EXCEPTION.
HRESULT ReportError(REFCLSID clsid, const wchar_t* text, REFIID iid = GUID_NULL, HRESULT hr = 0) noexcept;
// By narrow text, converted with the ANSI code page.
HRESULT ReportError(REFCLSID clsid, const char* text, REFIID iid = GUID_NULL, HRESULT hr = 0) noexcept;

// A message of the module's string table as text ("" when absent).
std::wstring MessageText(UINT id);

// The HRESULT an id reports when none is given.
constexpr HRESULT MessageHResult(UINT id) noexcept {
  return static_cast<HRESULT>(0x80040000u | (id & 0xFFFFu));
}

}  // namespace orv
