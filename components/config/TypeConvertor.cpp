// Conversions go through VariantChangeType with default flags and hand its HRESULT back
// unchanged; shift counts take the low 8 bits of the position.
#include "components/config/TypeConvertor.h"

#include "components/module/Raii.h"

namespace orv {

namespace {

const VARIANT* Deref(const VARIANT* v) noexcept {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  return v;
}

HRESULT SetValue(LONG value, LONG* out) noexcept {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

}  // namespace

STDMETHODIMP TypeConvertor::Conv(LONG lType, VARIANT varIn, VARIANT* pvarOut) noexcept {
  if (!pvarOut) return E_POINTER;
  VariantInit(pvarOut);
  Variant in;
  HRESULT hr = in.copy_from(&varIn);
  if (SUCCEEDED(hr)) hr = VariantChangeType(pvarOut, in.get(), 0, static_cast<VARTYPE>(lType & 0xFFFF));
  // A failed conversion carries no text: no earlier record may be taken for it.
  if (FAILED(hr)) SetErrorInfo(0, nullptr);
  return hr;
}

STDMETHODIMP TypeConvertor::CBool(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_BOOL, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CByte(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_UI1, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CCur(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_CY, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CDate(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_DATE, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CDbl(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_R8, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CInt(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_I2, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CLng(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_I4, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CSng(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_R4, varIn, pvarOut); }
STDMETHODIMP TypeConvertor::CStr(VARIANT varIn, VARIANT* pvarOut) noexcept { return Conv(VT_BSTR, varIn, pvarOut); }

STDMETHODIMP TypeConvertor::BitOr(LONG x, LONG y, LONG* pVal) noexcept { return SetValue(x | y, pVal); }
STDMETHODIMP TypeConvertor::BitAnd(LONG x, LONG y, LONG* pVal) noexcept { return SetValue(x & y, pVal); }
STDMETHODIMP TypeConvertor::BitXor(LONG x, LONG y, LONG* pVal) noexcept { return SetValue(x ^ y, pVal); }
STDMETHODIMP TypeConvertor::BitNeg(LONG x, LONG* pVal) noexcept { return SetValue(~x, pVal); }

STDMETHODIMP TypeConvertor::BitLeft(LONG x, LONG pos, LONG* pVal) noexcept {
  const unsigned n = static_cast<unsigned>(pos) & 0xFF;
  return SetValue(n < 32 ? static_cast<LONG>(static_cast<ULONG>(x) << n) : 0, pVal);
}

// Arithmetic: the sign bit is copied in; 32 and more shift by 31 (0 or -1).
STDMETHODIMP TypeConvertor::BitRight(LONG x, LONG pos, LONG* pVal) noexcept {
  const unsigned n = static_cast<unsigned>(pos) & 0xFF;
  return SetValue(x >> (n < 32 ? n : 31), pVal);
}

// The by-reference and reserved bits are cleared, the array bit stays. A script variable
// passed by reference (VT_BYREF | VT_VARIANT) answers for the value it holds.
STDMETHODIMP TypeConvertor::VariantType(VARIANT v, LONG* pVal) noexcept {
  return SetValue(V_VT(Deref(&v)) & 0x3FFF, pVal);
}

}  // namespace orv
