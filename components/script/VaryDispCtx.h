// VaryDispCtx: the context of one composite, through which its components reach their
// siblings. It refers to its composite without holding it; the composite detaches it
// when it goes away, after which it answers E_UNEXPECTED.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class VaryDispImp;

class VaryDispCtx final : public ComObject<VaryDispCtx, Dual<IVaryDispCtx>, ErrorSupport<IVaryDispCtx>> {
 public:
  // Links the context to its composite (weak: the composite holds the context).
  void Attach(VaryDispImp* composite) noexcept;

  // IVaryDispCtx, in interface order
  STDMETHODIMP get_Item(VARIANT vObject, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_Count(LONG* pVal) noexcept override;
  STDMETHODIMP get_Id(VARIANT vIndexOrName, LONG* pVal) noexcept override;
  STDMETHODIMP DetachContext() noexcept override;
  STDMETHODIMP CreateObject(VARIANT vID, LONG lFlags, IDispatch** ppDisp) noexcept override;

 private:
  // The composite with a reference added, or null once detached.
  HRESULT Composite(ComPtr<IVaryDispImp>& out) noexcept;

  CriticalSection lock_;
  VaryDispImp* composite_ = nullptr;
};

}  // namespace orv
