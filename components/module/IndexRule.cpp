// Index classification and case-insensitive name matching.
#include "components/module/IndexRule.h"

#include <memory>

#include "components/module/Raii.h"

namespace orv {

bool IsPositionType(VARTYPE vt) noexcept {
  switch (vt & VT_TYPEMASK) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_BOOL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT: case VT_UINT:
      return !(vt & VT_ARRAY);
    default:
      return false;
  }
}

HRESULT ClassifyIndex(const VARIANT* index, IndexKey& key) noexcept {
  if (!index) return E_POINTER;
  try {
    Variant value;
    HRESULT hr = value.copy_from(index);
    if (FAILED(hr)) return hr;
    if (IsPositionType(value.vt())) {
      hr = VariantChangeType(value.get(), value.get(), 0, VT_I4);
      if (FAILED(hr)) return DISP_E_TYPEMISMATCH;  // out of range
      key.isPosition = true;
      key.position = V_I4(value.get());
      key.name.clear();
      return S_OK;
    }
    hr = VariantChangeType(value.get(), value.get(), VARIANT_ALPHABOOL, VT_BSTR);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    key.isPosition = false;
    key.position = 0;
    key.name.assign(V_BSTR(value.get()) ? V_BSTR(value.get()) : L"", SysStringLen(V_BSTR(value.get())));
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

namespace {

// Upper-case map of the whole UTF-16 range, built once from the platform's mapping.
const wchar_t* FoldTable() {
  static const std::unique_ptr<wchar_t[]> table = [] {
    std::unique_ptr<wchar_t[]> t(new wchar_t[0x10000]);
    for (unsigned i = 0; i < 0x10000; ++i) t[i] = static_cast<wchar_t>(i);
    // Surrogates are left alone; the rest is mapped in one call.
    CharUpperBuffW(t.get(), 0xD800);
    CharUpperBuffW(t.get() + 0xE000, 0x2000);
    return t;
  }();
  return table.get();
}

}  // namespace

wchar_t FoldChar(wchar_t c) noexcept {
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  return FoldTable()[static_cast<unsigned short>(c)];
}

std::wstring FoldName(std::wstring_view name) {
  std::wstring out(name);
  for (wchar_t& c : out) c = FoldChar(c);
  return out;
}

bool NamesEqual(std::wstring_view a, std::wstring_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

}  // namespace orv
