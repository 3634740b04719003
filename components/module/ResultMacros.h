// Flow macros for HRESULT-returning code. Each evaluates its argument once.
#pragma once
#include <windows.h>

#define RETURN_IF_FAILED(expr)                     \
  do {                                             \
    const HRESULT hr_ = (expr);                    \
    if (FAILED(hr_)) return hr_;                   \
  } while (0)

#define RETURN_HR_IF(hr, cond)                     \
  do {                                             \
    if (cond) return (hr);                         \
  } while (0)

#define RETURN_IF_NULL_ALLOC(p)                    \
  do {                                             \
    if ((p) == nullptr) return E_OUTOFMEMORY;      \
  } while (0)

#define RETURN_POINTER_IF_NULL(p)                  \
  do {                                             \
    if ((p) == nullptr) return E_POINTER;          \
  } while (0)
