// VaryDisp: the scriptable builder of one composite. It creates its composite when it is
// created, keeps it alive, and forwards each member to the composite's operation of the
// same name.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class VaryDispImp;

class VaryDisp final : public ComObject<VaryDisp, Dual<IVaryDisp>, ErrorSupport<IVaryDisp>> {
 public:
  HRESULT FinalConstruct() noexcept;

  // IVaryDisp, in interface order
  STDMETHODIMP get_theObject(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP AddObject(BSTR bstrName, IUnknown* pObject, SHORT sFlags, LONG* plID) noexcept override;
  STDMETHODIMP get_ObjectCount(LONG* pVal) noexcept override;
  STDMETHODIMP RemoveObject(VARIANT vObject) noexcept override;
  STDMETHODIMP get_objects(VARIANT vObject, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP AddMember(BSTR bstrName, VARIANT vObject, VARIANT vInnerNameOrID, SHORT sFlags, LONG lReqID,
                         LONG* plDispID) noexcept override;
  STDMETHODIMP RemoveMember(VARIANT vMember) noexcept override;
  STDMETHODIMP get_MemberCount(LONG* pVal) noexcept override;
  STDMETHODIMP get_ObjectID(VARIANT vObjectIndexOrName, LONG* pVal) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP get_ContextName(BSTR* pVal) noexcept override;
  STDMETHODIMP put_ContextName(BSTR newVal) noexcept override;

 private:
  ComPtr<IVaryDispImp> composite_;  // set once, before the object is handed out
};

}  // namespace orv
