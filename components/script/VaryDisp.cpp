// The composite builder: every member forwards to its composite.
#include "components/script/VaryDisp.h"

#include "components/module/ResultMacros.h"
#include "components/script/VaryDispImp.h"

namespace orv {

HRESULT VaryDisp::FinalConstruct() noexcept {
  return VaryDispImp::Create(nullptr, __uuidof(IVaryDispImp), composite_.put_void());
}

STDMETHODIMP VaryDisp::get_theObject(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  return composite_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP VaryDisp::AddObject(BSTR bstrName, IUnknown* pObject, SHORT sFlags, LONG* plID) noexcept {
  return composite_->AddObject(bstrName, pObject, sFlags, plID);
}

STDMETHODIMP VaryDisp::get_ObjectCount(LONG* pVal) noexcept { return composite_->ObjectCount(pVal); }

STDMETHODIMP VaryDisp::RemoveObject(VARIANT vObject) noexcept { return composite_->RemoveObject(vObject); }

STDMETHODIMP VaryDisp::get_objects(VARIANT vObject, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IUnknown> component;
  RETURN_IF_FAILED(composite_->FindObject(vObject, component.put()));
  return component->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP VaryDisp::AddMember(BSTR bstrName, VARIANT vObject, VARIANT vInnerNameOrID, SHORT sFlags,
                                 LONG lReqID, LONG* plDispID) noexcept {
  return composite_->AddMember(bstrName, vObject, vInnerNameOrID, sFlags, lReqID, plDispID);
}

STDMETHODIMP VaryDisp::RemoveMember(VARIANT vMember) noexcept { return composite_->RemoveMember(vMember); }

STDMETHODIMP VaryDisp::get_MemberCount(LONG* pVal) noexcept { return composite_->MemberCount(pVal); }

STDMETHODIMP VaryDisp::get_ObjectID(VARIANT vObjectIndexOrName, LONG* pVal) noexcept {
  return composite_->GetObjectID(vObjectIndexOrName, pVal);
}

STDMETHODIMP VaryDisp::Clear() noexcept { return composite_->Clear(); }

STDMETHODIMP VaryDisp::get_ContextName(BSTR* pVal) noexcept { return composite_->GetContextName(pVal); }

STDMETHODIMP VaryDisp::put_ContextName(BSTR newVal) noexcept { return composite_->SetContextName(newVal); }

}  // namespace orv
