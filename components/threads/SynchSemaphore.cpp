// SynchSemaphore: every member but Create goes straight to the platform without a lock.
#include "components/threads/SynchSemaphore.h"

namespace orv {

STDMETHODIMP SynchSemaphore::Create(LONG lMax, LONG lInitial, BSTR bstrName) noexcept {
  return semaphore_.Create([&] { return CreateSemaphoreW(nullptr, lInitial, lMax, KernelName(bstrName)); });
}

// A release past the maximum fails and leaves the count as it was.
STDMETHODIMP SynchSemaphore::ReleaseSemaphore(LONG lInc, LONG* pVal) noexcept {
  if (semaphore_.get() && !pVal) return E_POINTER;
  LONG before = 0;
  const HRESULT hr = semaphore_.Check(semaphore_.get() && ::ReleaseSemaphore(semaphore_.get(), lInc, &before));
  if (pVal) *pVal = SUCCEEDED(hr) ? before : 0;
  return hr;
}

STDMETHODIMP SynchSemaphore::Wait(LONG lTimeout, LONG* pVal) noexcept { return semaphore_.Wait(lTimeout, pVal); }

// Success takes one unit of the count.
STDMETHODIMP SynchSemaphore::get_IsActive(LONG* pVal) noexcept { return semaphore_.Wait(0, pVal); }

}  // namespace orv
