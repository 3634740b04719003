// Index classification and case-insensitive name matching.
#include "components/module/IndexRule.h"

#include "common/TextUtil.h"
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

// The toolkit's one folding (common/TextUtil), so that dictionaries and configuration
// trees agree on which names are equal.
wchar_t FoldChar(wchar_t c) noexcept { return static_cast<wchar_t>(orvanta::foldCase(static_cast<char16_t>(c))); }

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
