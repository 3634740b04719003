// SynchEvent: the platform's event kernel object, optionally named so that other code
// shares it by name. ThreadingModel "Free": one object is used from every thread directly.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/threads/KernelObject.h"

namespace orv {

class SynchEvent final : public ComObject<SynchEvent, Dual<ISynchEvent>, ErrorSupport<ISynchEvent>> {
 public:
  // The instance creator (the interface's own Create hides the generated one).
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return ComObject::Create(outer, riid, ppv);
  }

  // ISynchEvent, in interface order
  STDMETHODIMP Create(LONG bManualReset, LONG bInitState, BSTR bstrName) noexcept override;
  STDMETHODIMP Reset() noexcept override;
  STDMETHODIMP Pulse() noexcept override;
  STDMETHODIMP Set() noexcept override;
  STDMETHODIMP Wait(LONG lTimeout, LONG* pVal) noexcept override;
  STDMETHODIMP get_IsSet(LONG* pVal) noexcept override;
  STDMETHODIMP CheckAndReset(LONG* pVal) noexcept override;
  STDMETHODIMP get_valid(LONG* pVal) noexcept override;

 private:
  KernelObject event_{CLSID_SynchEvent};
};

}  // namespace orv
