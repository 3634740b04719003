// Vantorway: the object a web page embeds. It reads "Vantor.cfg" beside the module once
// at creation, lets the page choose a profile (authorised by the user, a pass code and
// the page's protocol or address) and creates exactly what the active profile lists.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>

#include "Vantor.h"
#include "common/ConfigTree.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "gateway/ObjectSafety.h"

namespace orv {

class Vantorway final
    : public ComObject<Vantorway, Dual<IVantorway>, ErrorSupport<IVantorway>, IObjectSafety, IObjectWithSite> {
 public:
  // The options the gateway supports and starts with: safe for untrusted callers and data.
  static constexpr DWORD kSafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

  HRESULT FinalConstruct() noexcept;

  // IVantorway, in interface order
  STDMETHODIMP get_Profile(BSTR* pVal) noexcept override;
  STDMETHODIMP put_Profile(BSTR newVal) noexcept override;
  STDMETHODIMP put_PassCode(BSTR newVal) noexcept override;
  STDMETHODIMP CreateObject(BSTR bstrID, IDispatch** ppDisp) noexcept override;

  // IObjectSafety
  STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) noexcept override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) noexcept override;

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) noexcept override;
  STDMETHODIMP GetSite(REFIID riid, void** ppv) noexcept override;

 private:
  using Section = orvanta::config::Section;

  HRESULT Authorise(const Section& profile, BSTR name);
  HRESULT CreateListedClass(std::wstring_view id, IDispatch** out) noexcept;
  HRESULT CreateFileSystemObject(const Section& entry, IDispatch** out);

  CriticalSection lock_;
  Section config_;                   // "Vantor.cfg", unchanged after creation
  std::wstring passCode_;
  const Section* active_ = nullptr;  // a profile section inside config_
  std::wstring activeName_;
  ComPtr<IUnknown> site_;
  DWORD safety_ = kSafetyOptions;
};

}  // namespace orv
