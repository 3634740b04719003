// SFBinaryData (and its free-threaded twin): a resizable block of bytes in memory that a
// script reads and writes at any offset as bytes, bits, typed units, code-page and
// UTF-16 strings and byte-array slices. A failed call leaves the bytes as they were.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class SFBinaryData final
    : public ComObject<SFBinaryData, Dual<ISFBinaryData>, ErrorSupport<ISFBinaryData>> {
 public:
  // ISFBinaryData, in interface order
  STDMETHODIMP get_Byte(LONG lIndex, BYTE* pVal) noexcept override;
  STDMETHODIMP put_Byte(LONG lIndex, BYTE newVal) noexcept override;
  STDMETHODIMP get_Size(LONG* pVal) noexcept override;
  STDMETHODIMP put_Size(LONG newVal) noexcept override;
  STDMETHODIMP get_Value(VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Value(VARIANT newVal) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP Empty() noexcept override;
  STDMETHODIMP get_Bit(LONG lIndex, LONG lBit, LONG hBytes, LONG* pVal) noexcept override;
  STDMETHODIMP put_Bit(LONG lIndex, LONG lBit, LONG hBytes, LONG newVal) noexcept override;
  STDMETHODIMP get_Unit(LONG lIndex, LONG lType, VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Unit(LONG lIndex, LONG lType, VARIANT newVal) noexcept override;
  STDMETHODIMP get_String(LONG lIndex, LONG lLength, LONG lCP, BSTR* pVal) noexcept override;
  STDMETHODIMP put_String(LONG lIndex, LONG lLength, LONG lCP, BSTR newVal) noexcept override;
  STDMETHODIMP get_UnicodeString(LONG lIndex, LONG lLength, BSTR* pVal) noexcept override;
  STDMETHODIMP put_UnicodeString(LONG lIndex, LONG lLength, BSTR newVal) noexcept override;
  STDMETHODIMP get_ByteOrder(LONG* pVal) noexcept override;
  STDMETHODIMP put_ByteOrder(LONG newVal) noexcept override;
  STDMETHODIMP get_UnicodeByteOrder(LONG* pVal) noexcept override;
  STDMETHODIMP put_UnicodeByteOrder(LONG newVal) noexcept override;
  STDMETHODIMP get_Data(LONG lBegin, LONG lEnd, VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Data(LONG lBegin, LONG lEnd, VARIANT newVal) noexcept override;

 private:
  LONGLONG size() const noexcept { return static_cast<LONGLONG>(data_.size()); }
  // The byte holding bit lBit of the group at lIndex, after the range checks.
  HRESULT LocateBit(LONG lIndex, LONG lBit, LONG hBytes, BYTE** byte, BYTE* mask) noexcept;

  CriticalSection lock_;
  std::vector<BYTE> data_;  // empty: no data
  LONG byteOrder_ = 4;
  LONG unicodeByteOrder_ = 4;
};

}  // namespace orv
