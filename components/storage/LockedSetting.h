// Reads and writes of one plain setting of an object under that object's lock, for the
// many properties that only store what they are given.
#pragma once
#include <windows.h>

#include "components/module/Raii.h"

namespace orv {

template <class T>
HRESULT GetLocked(CriticalSection& lock, const T& setting, T* out) noexcept {
  if (!out) return E_POINTER;
  LockGuard guard(lock);
  *out = setting;
  return S_OK;
}

template <class T>
HRESULT PutLocked(CriticalSection& lock, T& setting, T value) noexcept {
  LockGuard guard(lock);
  setting = value;
  return S_OK;
}

}  // namespace orv
