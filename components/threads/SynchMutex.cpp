// SynchMutex: every member but Create goes straight to the platform without a lock.
#include "components/threads/SynchMutex.h"

namespace orv {

STDMETHODIMP SynchMutex::Create(LONG bOwned, BSTR bstrName) noexcept {
  return mutex_.Create([&] { return CreateMutexW(nullptr, bOwned != 0, KernelName(bstrName)); });
}

STDMETHODIMP SynchMutex::ReleaseMutex() noexcept {
  return mutex_.Check(mutex_.get() && ::ReleaseMutex(mutex_.get()));
}

STDMETHODIMP SynchMutex::Wait(LONG lTimeout, LONG* pVal) noexcept { return mutex_.Wait(lTimeout, pVal); }

// Success leaves the caller with one more ownership, to be given back with ReleaseMutex.
STDMETHODIMP SynchMutex::get_IsOwned(LONG* pVal) noexcept { return mutex_.Wait(0, pVal); }

STDMETHODIMP SynchMutex::get_valid(LONG* pVal) noexcept { return mutex_.Valid(pVal); }

}  // namespace orv
