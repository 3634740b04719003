// Waits and failures shared by the kernel-object wrappers.
#include "components/threads/KernelObject.h"

#include "components/module/ErrorReport.h"
#include "components/module/SuccessFlag.h"

namespace orv {

KernelObject::~KernelObject() {
  if (HANDLE h = handle_.exchange(nullptr)) CloseHandle(h);
}

HRESULT KernelObject::Fail() const noexcept { return ReportError(clsid_, 10106); }

HRESULT KernelObject::Wait(LONG lTimeout, LONG* pVal) const noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  const HANDLE h = get();
  if (!h) return Fail();
  // An abandoned mutex is owned by the waiter now, like a signalled one.
  const DWORD got = WaitForSingleObject(h, lTimeout < 0 ? INFINITE : static_cast<DWORD>(lTimeout));
  return SetSuccessFlag(pVal, got == WAIT_OBJECT_0 || got == WAIT_ABANDONED);
}

HRESULT KernelObject::Valid(LONG* pVal) const noexcept {
  if (!pVal) return E_POINTER;
  return SetSuccessFlag(pVal, get() != nullptr);
}

}  // namespace orv
