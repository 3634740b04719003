// VaryDispImp: the composite object. Its members are borrowed from components (plain
// dispatch objects, script managers and script aggregates); a call to a member is
// forwarded to the component that implements it, under the member's inner name.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Raii.h"
#include "components/script/VaryDispCtx.h"

namespace orv {

// The flag word of a component: the low byte is its kind.
enum CompositeFlags : SHORT {
  kComponentDispatch = 1,
  kComponentScpMan = 2,
  kComponentAggregate = 3,
  kComponentKindMask = 0xFF,
  kResolveAtCallTime = 0x100,
  kConnectToContext = 0x200,
};

// Invoke kinds a member allows.
enum MemberKinds : SHORT { kMemberPut = 1, kMemberGet = 2, kMemberMethod = 4, kMemberAll = 7 };

class VaryDispImp final : public ComObject<VaryDispImp, IVaryDispImp, IDispatch, ISupportErrorInfo> {
 public:
  HRESULT FinalConstruct() noexcept;
  ~VaryDispImp() override;

  // IVaryDispImp, in interface order
  STDMETHODIMP ObjectCount(LONG* pCount) noexcept override;
  STDMETHODIMP MemberCount(LONG* pCount) noexcept override;
  STDMETHODIMP AddObject(BSTR bstrName, IUnknown* pObject, SHORT sFlags, LONG* plID) noexcept override;
  STDMETHODIMP RemoveObject(VARIANT vObject) noexcept override;
  STDMETHODIMP FindObject(VARIANT vObject, IUnknown** ppUnk) noexcept override;
  STDMETHODIMP AddMember(BSTR bstrName, VARIANT vObject, VARIANT vInnerNameOrID, SHORT sFlags, LONG lReqID,
                         LONG* plDispID) noexcept override;
  STDMETHODIMP RemoveMember(VARIANT vMember) noexcept override;
  STDMETHODIMP GetObjectID(VARIANT vObjectIndexOrName, LONG* plID) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP GetContextName(BSTR* pbstrName) noexcept override;
  STDMETHODIMP SetContextName(BSTR bstrName) noexcept override;
  STDMETHODIMP CreateObject(BSTR bstrName, BSTR bstrID, SHORT sFlags, IDispatch** ppDisp) noexcept override;

  // IDispatch: what clients of the composite call.
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) noexcept override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) noexcept override;

 private:
  struct Component {
    std::wstring name;
    ComPtr<IUnknown> object;  // IDispatch, IScpMan or IScpAggregate, by kind
    LONG id = 0;
    SHORT flags = 0;
    SHORT kind() const noexcept { return static_cast<SHORT>(flags & kComponentKindMask); }
  };
  struct Member {
    std::wstring name;
    DISPID dispid = 0;
    LONG component = 0;  // the component's identifier
    SHORT kinds = kMemberAll;
    std::wstring innerName;
    DISPID innerId = DISPID_UNKNOWN;
  };
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  size_t FindComponent(const VARIANT* which) const noexcept;
  size_t FindComponentByName(std::wstring_view name) const noexcept;
  size_t FindComponentById(LONG id) const noexcept;
  size_t FindMember(const VARIANT* which) const noexcept;
  size_t FindMemberByName(std::wstring_view name) const noexcept;
  size_t FindMemberByDispid(DISPID id) const noexcept;
  HRESULT NextComponentId(LONG& id) noexcept;
  HRESULT NextDispid(DISPID& id) noexcept;
  HRESULT Connect(const Component& component) noexcept;
  HRESULT ResolveInnerReference(const Component& component, const VARIANT* inner, Member& member) noexcept;
  HRESULT InvokeScript(const Component& component, const Member& member, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept;
  // The running script of a manager or aggregate component that defines `name`.
  HRESULT ScriptOf(const Component& component, const std::wstring& name, ComPtr<IDispatch>& script) noexcept;

  CriticalSection lock_;
  std::wstring contextName_;
  ComPtr<VaryDispCtx> context_;
  std::vector<Component> components_;
  std::vector<Member> members_;
  LONG lastComponentId_ = 0;
  DISPID lastDispid_ = 0;
};

}  // namespace orv
