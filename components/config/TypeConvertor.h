// TypeConvertor (and its free-threaded twin): explicit variant type conversions through
// the platform's conversion rules and 32-bit bit operations for scripts. Stateless.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"

namespace orv {

class TypeConvertor final
    : public ComObject<TypeConvertor, Dual<ITypeConvertor>, ErrorSupport<ITypeConvertor>> {
 public:
  // ITypeConvertor, in interface order
  STDMETHODIMP Conv(LONG lType, VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CBool(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CByte(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CCur(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CDate(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CDbl(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CInt(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CLng(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CSng(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP CStr(VARIANT varIn, VARIANT* pvarOut) noexcept override;
  STDMETHODIMP BitOr(LONG x, LONG y, LONG* pVal) noexcept override;
  STDMETHODIMP BitAnd(LONG x, LONG y, LONG* pVal) noexcept override;
  STDMETHODIMP BitXor(LONG x, LONG y, LONG* pVal) noexcept override;
  STDMETHODIMP BitNeg(LONG x, LONG* pVal) noexcept override;
  STDMETHODIMP BitLeft(LONG x, LONG pos, LONG* pVal) noexcept override;
  STDMETHODIMP BitRight(LONG x, LONG pos, LONG* pVal) noexcept override;
  STDMETHODIMP VariantType(VARIANT v, LONG* pVal) noexcept override;
};

}  // namespace orv
