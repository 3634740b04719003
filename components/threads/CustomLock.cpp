// CustomLock: Lock blocks while another thread holds the lock; Unlock gives back one Lock.
#include "components/threads/CustomLock.h"

#include "components/module/ErrorReport.h"

namespace orv {

STDMETHODIMP CustomLock::Lock() noexcept {
  lock_.lock();
  owner_.store(GetCurrentThreadId());
  ++depth_;
  return S_OK;
}

// Leaving a critical section the caller does not hold would break it for every thread
// (the next Lock would block for ever): such an Unlock fails with 10106.
STDMETHODIMP CustomLock::Unlock() noexcept {
  if (owner_.load() != GetCurrentThreadId()) return ReportError(CLSID_CustomLock, 10106);
  if (--depth_ == 0) owner_.store(0);
  lock_.unlock();
  return S_OK;
}

}  // namespace orv
