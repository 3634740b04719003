// Byte arrays in and out of VARIANTs.
#include "components/storage/ByteArray.h"

#include <cstring>

namespace orv {

HRESULT MakeByteArray(const BYTE* data, size_t size, VARIANT* out) noexcept {
  VariantInit(out);
  if (size > 0xFFFFFFFFu) return E_OUTOFMEMORY;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (!array) return E_OUTOFMEMORY;
  if (size) {
    void* p = nullptr;
    if (FAILED(SafeArrayAccessData(array, &p))) {
      SafeArrayDestroy(array);
      return E_OUTOFMEMORY;
    }
    std::memcpy(p, data, size);
    SafeArrayUnaccessData(array);
  }
  V_VT(out) = VT_ARRAY | VT_UI1;
  V_ARRAY(out) = array;
  return S_OK;
}

ByteArrayView::ByteArrayView(const VARIANT* value) noexcept {
  while (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  if (V_VT(value) == (VT_ARRAY | VT_UI1)) {
    array_ = V_ARRAY(value);
  } else if (V_VT(value) == (VT_BYREF | VT_ARRAY | VT_UI1)) {
    array_ = V_ARRAYREF(value) ? *V_ARRAYREF(value) : nullptr;
  } else {
    return;
  }
  if (!array_) {
    hr_ = E_POINTER;
    return;
  }
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array_, 1, &lower)) || FAILED(SafeArrayGetUBound(array_, 1, &upper))) {
    hr_ = DISP_E_TYPEMISMATCH;
    return;
  }
  void* p = nullptr;
  if (upper >= lower) {
    if (FAILED(SafeArrayAccessData(array_, &p))) {
      hr_ = DISP_E_TYPEMISMATCH;
      return;
    }
    locked_ = true;
    size_ = static_cast<size_t>(static_cast<LONGLONG>(upper) - lower + 1);
  }
  data_ = static_cast<const BYTE*>(p);
  hr_ = S_OK;
}

ByteArrayView::~ByteArrayView() {
  if (locked_) SafeArrayUnaccessData(array_);
}

}  // namespace orv
