// Success flags: a boolean answered as 1 or 0 (not the automation -1), with S_OK for
// true and S_FALSE for false.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace orv {

inline HRESULT SetSuccessFlag(VARIANT* out, bool ok) noexcept {
  if (out) {
    // An [out] VARIANT arrives uninitialised: overwrite, never clear.
    V_VT(out) = VT_BOOL;
    V_BOOL(out) = ok ? 1 : 0;
  }
  return ok ? S_OK : S_FALSE;
}

inline HRESULT SetSuccessFlag(VARIANT_BOOL* out, bool ok) noexcept {
  if (out) *out = ok ? 1 : 0;
  return ok ? S_OK : S_FALSE;
}

inline HRESULT SetSuccessFlag(LONG* out, bool ok) noexcept {
  if (out) *out = ok ? 1 : 0;
  return ok ? S_OK : S_FALSE;
}

inline HRESULT SetSuccessFlag(BOOL* out, bool ok) noexcept {
  if (out) *out = ok ? 1 : 0;
  return ok ? S_OK : S_FALSE;
}

}  // namespace orv
