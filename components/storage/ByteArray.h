// Byte arrays (one-dimensional SAFEARRAYs of VT_UI1) handed to and taken from scripts by
// the binary block and the record filter.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstddef>

namespace orv {

// A new byte array holding a copy of `size` bytes; `out` is overwritten.
// E_OUTOFMEMORY when the array cannot be made.
HRESULT MakeByteArray(const BYTE* data, size_t size, VARIANT* out) noexcept;

// The bytes of a byte-array value (by reference too). S_OK with data and count;
// DISP_E_TYPEMISMATCH when the value is not a byte array or has no array descriptor.
// The view holds the array's data locked until it is destroyed.
class ByteArrayView {
 public:
  explicit ByteArrayView(const VARIANT* value) noexcept;
  ByteArrayView(const ByteArrayView&) = delete;
  ByteArrayView& operator=(const ByteArrayView&) = delete;
  ~ByteArrayView();
  // DISP_E_TYPEMISMATCH: not a byte array; E_POINTER: a byte array without descriptor.
  HRESULT status() const noexcept { return hr_; }
  const BYTE* data() const noexcept { return data_; }
  size_t size() const noexcept { return size_; }

 private:
  SAFEARRAY* array_ = nullptr;
  const BYTE* data_ = nullptr;
  size_t size_ = 0;
  bool locked_ = false;
  HRESULT hr_ = DISP_E_TYPEMISMATCH;
};

}  // namespace orv
