// The kernel-object handle behind SynchEvent, SynchMutex and SynchSemaphore: set once by
// Create (under the wrapper's lock, the only lock these classes take), then used from any
// thread without a lock. Every failure is message 10106 under the class's CLSID.
#pragma once
#include <windows.h>

#include <atomic>

#include "components/module/Raii.h"

namespace orv {

class KernelObject {
 public:
  explicit KernelObject(const CLSID& clsid) noexcept : clsid_(clsid) {}
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  ~KernelObject();

  // Keeps the handle a Create made; a second Create, or a null handle, fails with 10106.
  template <class MakeHandle>
  HRESULT Create(MakeHandle&& make) noexcept {
    LockGuard guard(lock_);
    if (handle_.load()) return Fail();
    HANDLE h = make();
    if (!h) return Fail();
    handle_.store(h);
    return S_OK;
  }

  HANDLE get() const noexcept { return handle_.load(); }
  HRESULT Fail() const noexcept;
  // 10106 unless a handle exists and `ok` holds.
  HRESULT Check(bool ok) const noexcept { return get() && ok ? S_OK : Fail(); }
  // Waits up to lTimeout ms (negative: no limit): 1 and S_OK when signalled, else 0 and
  // S_FALSE; no handle: 10106.
  HRESULT Wait(LONG lTimeout, LONG* pVal) const noexcept;
  // 1 and S_OK when a handle exists, else 0 and S_FALSE.
  HRESULT Valid(LONG* pVal) const noexcept;

 private:
  const CLSID& clsid_;
  CriticalSection lock_;
  std::atomic<HANDLE> handle_{nullptr};
};

// A kernel object's name for the platform: null for the empty (unnamed) name.
inline const wchar_t* KernelName(BSTR name) noexcept { return name && *name ? name : nullptr; }

}  // namespace orv
