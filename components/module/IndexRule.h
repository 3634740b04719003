// The position-or-name index shared by every collection: a numeric index (VT_I2, VT_I4,
// VT_R4, VT_R8, VT_CY, VT_BOOL, VT_I1, VT_UI1, VT_UI2, VT_UI4, VT_INT, VT_UINT, also by
// reference) is a position counted from 1; anything else is converted to text and
// matched against names ignoring case, first match winning.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace orv {

struct IndexKey {
  bool isPosition = false;
  LONG position = 0;  // 1-based as given; range checks are the caller's
  std::wstring name;
};

// DISP_E_TYPEMISMATCH when a name index cannot be converted to text.
HRESULT ClassifyIndex(const VARIANT* index, IndexKey& key) noexcept;

bool IsPositionType(VARTYPE vt) noexcept;

// Case folding used for every name comparison (and for hashing names consistently).
wchar_t FoldChar(wchar_t c) noexcept;
std::wstring FoldName(std::wstring_view name);
bool NamesEqual(std::wstring_view a, std::wstring_view b) noexcept;

}  // namespace orv
