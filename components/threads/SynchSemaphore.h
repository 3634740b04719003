// SynchSemaphore: the platform's semaphore kernel object, optionally named.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/threads/KernelObject.h"

namespace orv {

class SynchSemaphore final
    : public ComObject<SynchSemaphore, Dual<ISynchSemaphore>, ErrorSupport<ISynchSemaphore>> {
 public:
  // The instance creator (the interface's own Create hides the generated one).
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return ComObject::Create(outer, riid, ppv);
  }

  // ISynchSemaphore, in interface order
  STDMETHODIMP Create(LONG lMax, LONG lInitial, BSTR bstrName) noexcept override;
  STDMETHODIMP ReleaseSemaphore(LONG lInc, LONG* pVal) noexcept override;
  STDMETHODIMP Wait(LONG lTimeout, LONG* pVal) noexcept override;
  STDMETHODIMP get_IsActive(LONG* pVal) noexcept override;

 private:
  KernelObject semaphore_{CLSID_SynchSemaphore};
};

}  // namespace orv
