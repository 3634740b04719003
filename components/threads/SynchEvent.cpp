// SynchEvent: every member but Create goes straight to the platform without a lock.
#include "components/threads/SynchEvent.h"

#include "components/module/SuccessFlag.h"

namespace orv {

STDMETHODIMP SynchEvent::Create(LONG bManualReset, LONG bInitState, BSTR bstrName) noexcept {
  return event_.Create([&] { return CreateEventW(nullptr, bManualReset != 0, bInitState != 0, KernelName(bstrName)); });
}

STDMETHODIMP SynchEvent::Reset() noexcept { return event_.Check(event_.get() && ResetEvent(event_.get())); }

STDMETHODIMP SynchEvent::Pulse() noexcept { return event_.Check(event_.get() && PulseEvent(event_.get())); }

STDMETHODIMP SynchEvent::Set() noexcept { return event_.Check(event_.get() && SetEvent(event_.get())); }

STDMETHODIMP SynchEvent::Wait(LONG lTimeout, LONG* pVal) noexcept { return event_.Wait(lTimeout, pVal); }

// On an auto-reset event the test consumes the signal.
STDMETHODIMP SynchEvent::get_IsSet(LONG* pVal) noexcept { return event_.Wait(0, pVal); }

STDMETHODIMP SynchEvent::CheckAndReset(LONG* pVal) noexcept {
  const HRESULT hr = event_.Wait(0, pVal);
  if (hr != S_OK) return hr;
  if (!ResetEvent(event_.get())) {
    *pVal = 0;
    return event_.Fail();
  }
  return S_OK;
}

STDMETHODIMP SynchEvent::get_valid(LONG* pVal) noexcept { return event_.Valid(pVal); }

}  // namespace orv
