// Deep copy of values through IDollyTheSheep.
#include "components/module/Cloning.h"

#include "OrvantaVessa.h"
#include "components/module/Raii.h"

namespace orv {

HRESULT CloneValue(VARIANT* dest, const VARIANT* src) noexcept {
  if (!dest || !src) return E_POINTER;
  VariantInit(dest);
  Variant value;
  HRESULT hr = value.copy_from(src);
  if (FAILED(hr)) return hr;
  const VARTYPE vt = value.vt();
  if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && V_UNKNOWN(value.get())) {
    ComPtr<IDollyTheSheep> dolly;
    if (SUCCEEDED(V_UNKNOWN(value.get())->QueryInterface(__uuidof(IDollyTheSheep), dolly.put_void())) && dolly) {
      ComPtr<IUnknown> copy;
      hr = dolly->NewClone(copy.put());
      if (FAILED(hr)) return hr;
      if (!copy) return E_UNEXPECTED;
      if (vt == VT_DISPATCH) {
        ComPtr<IDispatch> disp;
        hr = copy.query(disp);
        if (FAILED(hr)) return hr;
        V_VT(dest) = VT_DISPATCH;
        V_DISPATCH(dest) = disp.release();
      } else {
        V_VT(dest) = VT_UNKNOWN;
        V_UNKNOWN(dest) = copy.release();
      }
      return S_OK;
    }
  }
  value.release_to(dest);
  return S_OK;
}

}  // namespace orv
