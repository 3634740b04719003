// IDispatch through the module's embedded type library, and ISupportErrorInfo.
//
// Script engines are loose about METHOD versus PROPERTYGET: Wine's JScript calls
// `obj.Count()` and `_NewEnum` with DISPATCH_METHOD alone, VBScript calls property gets
// with METHOD|PROPERTYGET. A call that is not a put is therefore offered to both kinds,
// and a put to both PROPERTYPUT and PROPERTYPUTREF members.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

namespace orv {

// Type information of one interface of this module's type library (cached per IID).
HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info) noexcept;

// Shared IDispatch bodies for an interface described by the module's type library.
HRESULT DispatchGetTypeInfo(REFIID iid, UINT index, ITypeInfo** info) noexcept;
HRESULT DispatchGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;
HRESULT DispatchInvoke(REFIID iid, IDispatch* self, DISPID id, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept;

// Implements the IDispatch part of a dual interface.
template <class IFace>
class Dual : public IFace {
 public:
  using Interface = IFace;

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
    return DispatchGetTypeInfo(__uuidof(IFace), index, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
    return DispatchGetIDsOfNames(__uuidof(IFace), names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) noexcept override {
    return DispatchInvoke(__uuidof(IFace), static_cast<IDispatch*>(this), id, flags, params, result,
                          excep, argErr);
  }
};

// ISupportErrorInfo: S_OK for the class's own dispatch interface only.
template <class IFace>
class ErrorSupport : public ISupportErrorInfo {
 public:
  using Interface = ISupportErrorInfo;
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) noexcept override {
    return IsEqualIID(riid, __uuidof(IFace)) ? S_OK : S_FALSE;
  }
};

}  // namespace orv
