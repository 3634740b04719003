// The composite's context: sibling lookup by position or name, and object creation.
#include "components/script/VaryDispCtx.h"

#include "components/module/ResultMacros.h"
#include "components/module/VessaCreator.h"
#include "components/script/VaryDispImp.h"

namespace orv {

void VaryDispCtx::Attach(VaryDispImp* composite) noexcept {
  LockGuard guard(lock_);
  composite_ = composite;
}

HRESULT VaryDispCtx::Composite(ComPtr<IVaryDispImp>& out) noexcept {
  LockGuard guard(lock_);
  // The composite detaches the context in its destructor, so a composite still linked
  // here is valid memory while the lock is held; one already on its way out is detached.
  if (!composite_ || !composite_->InternalTryAddRef()) return E_UNEXPECTED;
  out.attach(static_cast<IVaryDispImp*>(composite_));
  return S_OK;
}

STDMETHODIMP VaryDispCtx::get_Item(VARIANT vObject, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IVaryDispImp> composite;
  RETURN_IF_FAILED(Composite(composite));
  ComPtr<IUnknown> component;
  if (FAILED(composite->FindObject(vObject, component.put()))) return E_INVALIDARG;
  return component->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP VaryDispCtx::get_Count(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  ComPtr<IVaryDispImp> composite;
  RETURN_IF_FAILED(Composite(composite));
  return composite->ObjectCount(pVal);
}

STDMETHODIMP VaryDispCtx::get_Id(VARIANT vIndexOrName, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  ComPtr<IVaryDispImp> composite;
  RETURN_IF_FAILED(Composite(composite));
  return composite->GetObjectID(vIndexOrName, pVal);
}

STDMETHODIMP VaryDispCtx::DetachContext() noexcept {
  LockGuard guard(lock_);
  composite_ = nullptr;
  return S_OK;
}

STDMETHODIMP VaryDispCtx::CreateObject(VARIANT vID, LONG lFlags, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IVessaCreator> creator;
  RETURN_IF_FAILED(VessaCreator::Create(nullptr, __uuidof(IVessaCreator), creator.put_void()));
  return creator->CreateObject(vID, lFlags, ppDisp);
}

}  // namespace orv
