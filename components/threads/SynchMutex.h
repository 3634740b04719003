// SynchMutex: the platform's mutex kernel object, optionally named. Ownership is the
// platform's: per thread, counted, released by the owning thread only.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/threads/KernelObject.h"

namespace orv {

class SynchMutex final : public ComObject<SynchMutex, Dual<ISynchMutex>, ErrorSupport<ISynchMutex>> {
 public:
  // The instance creator (the interface's own Create hides the generated one).
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return ComObject::Create(outer, riid, ppv);
  }

  // ISynchMutex, in interface order
  STDMETHODIMP Create(LONG bOwned, BSTR bstrName) noexcept override;
  STDMETHODIMP ReleaseMutex() noexcept override;
  STDMETHODIMP Wait(LONG lTimeout, LONG* pVal) noexcept override;
  STDMETHODIMP get_IsOwned(LONG* pVal) noexcept override;
  STDMETHODIMP get_valid(LONG* pVal) noexcept override;

 private:
  KernelObject mutex_{CLSID_SynchMutex};
};

}  // namespace orv
