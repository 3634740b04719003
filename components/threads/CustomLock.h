// CustomLock: an in-process lock over a critical section, re-entrant for the thread that
// holds it. ThreadingModel "Free": one object is shared by every thread directly.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <atomic>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class CustomLock final : public ComObject<CustomLock, Dual<ICustomLock>, ErrorSupport<ICustomLock>> {
 public:
  // ICustomLock, in interface order
  STDMETHODIMP Lock() noexcept override;
  STDMETHODIMP Unlock() noexcept override;

 private:
  CriticalSection lock_;
  // The holder and its depth, written only by the holder: an Unlock by a thread that does
  // not hold the lock is refused instead of corrupting the section.
  std::atomic<DWORD> owner_{0};
  LONG depth_ = 0;
};

}  // namespace orv
