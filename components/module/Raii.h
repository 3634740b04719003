// Owners for platform resources, all with one vocabulary: get(), put() (receive into an
// empty owner), reset(), release(); copying is deleted, moving transfers ownership.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string_view>
#include <utility>

namespace orv {

// Interface pointer.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  explicit ComPtr(T* p, bool addRef = true) noexcept : p_(p) {
    if (p_ && addRef) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.release()) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
  void reset(T* p = nullptr) noexcept {
    if (p) p->AddRef();
    T* old = p_;
    p_ = p;
    if (old) old->Release();
  }
  // Takes over a reference the caller already owns.
  void attach(T* p) noexcept {
    reset();
    p_ = p;
  }
  [[nodiscard]] T* release() noexcept { return std::exchange(p_, nullptr); }
  // Hands out a new reference.
  HRESULT copy_to(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  template <class U>
  HRESULT query(ComPtr<U>& out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(__uuidof(U), out.put_void());
  }

 private:
  T* p_ = nullptr;
};

// BSTR.
// Hands a text out as a new BSTR; E_OUTOFMEMORY when it cannot be allocated.
inline HRESULT ReturnText(std::wstring_view text, BSTR* out) noexcept {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

class Bstr {
 public:
  Bstr() noexcept = default;
  explicit Bstr(const wchar_t* s) noexcept : s_(s ? SysAllocString(s) : nullptr) {}
  Bstr(const wchar_t* s, UINT len) noexcept : s_(SysAllocStringLen(s, len)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : s_(o.release()) {}
  Bstr& operator=(Bstr&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~Bstr() { reset(); }

  BSTR get() const noexcept { return s_; }
  // Text for reading: never null.
  const wchar_t* c_str() const noexcept { return s_ ? s_ : L""; }
  UINT length() const noexcept { return SysStringLen(s_); }
  BSTR* put() noexcept {
    reset();
    return &s_;
  }
  void reset(BSTR s = nullptr) noexcept {
    if (s_ && s_ != s) SysFreeString(s_);
    s_ = s;
  }
  [[nodiscard]] BSTR release() noexcept { return std::exchange(s_, nullptr); }

 private:
  BSTR s_ = nullptr;
};

// VARIANT.
class Variant {
 public:
  Variant() noexcept { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  Variant(Variant&& o) noexcept : Variant() { std::swap(v_, o.v_); }
  Variant& operator=(Variant&& o) noexcept {
    reset();
    std::swap(v_, o.v_);
    return *this;
  }
  ~Variant() { reset(); }

  VARIANT* get() noexcept { return &v_; }
  const VARIANT* get() const noexcept { return &v_; }
  VARIANT* put() noexcept {
    reset();
    return &v_;
  }
  VARTYPE vt() const noexcept { return V_VT(&v_); }
  void reset() noexcept { VariantClear(&v_); }
  // Moves the value out into a caller-owned VARIANT (which must be empty or initialised).
  void release_to(VARIANT* out) noexcept {
    *out = v_;
    VariantInit(&v_);
  }
  // Copies src with references resolved.
  HRESULT copy_from(const VARIANT* src) noexcept {
    reset();
    return VariantCopyInd(&v_, const_cast<VARIANT*>(src));
  }

 private:
  VARIANT v_;
};

// SAFEARRAY and a lock on its data.
class SafeArray {
 public:
  SafeArray() noexcept = default;
  explicit SafeArray(SAFEARRAY* sa) noexcept : sa_(sa) {}
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  SafeArray(SafeArray&& o) noexcept : sa_(o.release()) {}
  ~SafeArray() { reset(); }

  SAFEARRAY* get() const noexcept { return sa_; }
  SAFEARRAY** put() noexcept {
    reset();
    return &sa_;
  }
  void reset(SAFEARRAY* sa = nullptr) noexcept {
    if (sa_ && sa_ != sa) SafeArrayDestroy(sa_);
    sa_ = sa;
  }
  [[nodiscard]] SAFEARRAY* release() noexcept { return std::exchange(sa_, nullptr); }

 private:
  SAFEARRAY* sa_ = nullptr;
};

class SafeArrayDataLock {
 public:
  explicit SafeArrayDataLock(SAFEARRAY* sa) noexcept : sa_(sa) {
    hr_ = sa_ ? SafeArrayAccessData(sa_, &data_) : E_POINTER;
  }
  SafeArrayDataLock(const SafeArrayDataLock&) = delete;
  SafeArrayDataLock& operator=(const SafeArrayDataLock&) = delete;
  ~SafeArrayDataLock() {
    if (SUCCEEDED(hr_)) SafeArrayUnaccessData(sa_);
  }
  HRESULT status() const noexcept { return hr_; }
  void* data() const noexcept { return data_; }

 private:
  SAFEARRAY* sa_;
  void* data_ = nullptr;
  HRESULT hr_;
};

// Kernel handle (null and INVALID_HANDLE_VALUE both mean none).
template <class Traits>
class UniqueHandleT {
 public:
  using handle_type = typename Traits::type;
  UniqueHandleT() noexcept = default;
  explicit UniqueHandleT(handle_type h) noexcept : h_(h) {}
  UniqueHandleT(const UniqueHandleT&) = delete;
  UniqueHandleT& operator=(const UniqueHandleT&) = delete;
  UniqueHandleT(UniqueHandleT&& o) noexcept : h_(o.release()) {}
  UniqueHandleT& operator=(UniqueHandleT&& o) noexcept {
    reset(o.release());
    return *this;
  }
  ~UniqueHandleT() { reset(); }

  handle_type get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return Traits::valid(h_); }
  handle_type* put() noexcept {
    reset();
    return &h_;
  }
  void reset(handle_type h = Traits::none()) noexcept {
    if (Traits::valid(h_) && h_ != h) Traits::close(h_);
    h_ = h;
  }
  [[nodiscard]] handle_type release() noexcept { return std::exchange(h_, Traits::none()); }

 private:
  handle_type h_ = Traits::none();
};

struct KernelHandleTraits {
  using type = HANDLE;
  static HANDLE none() noexcept { return nullptr; }
  static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { CloseHandle(h); }
};
struct FindHandleTraits {
  using type = HANDLE;
  static HANDLE none() noexcept { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) noexcept { FindClose(h); }
};
struct RegKeyTraits {
  using type = HKEY;
  static HKEY none() noexcept { return nullptr; }
  static bool valid(HKEY h) noexcept { return h != nullptr; }
  static void close(HKEY h) noexcept { RegCloseKey(h); }
};
using UniqueHandle = UniqueHandleT<KernelHandleTraits>;
using UniqueFindHandle = UniqueHandleT<FindHandleTraits>;
using UniqueRegKey = UniqueHandleT<RegKeyTraits>;

// Re-entrant critical section and its scoped guard.
class CriticalSection {
 public:
  CriticalSection() noexcept { InitializeCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { DeleteCriticalSection(&cs_); }
  void lock() noexcept { EnterCriticalSection(&cs_); }
  void unlock() noexcept { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

class LockGuard {
 public:
  explicit LockGuard(CriticalSection& cs) noexcept : cs_(&cs) { cs_->lock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;
  ~LockGuard() {
    if (cs_) cs_->unlock();
  }
  // Leaves the section early (around calls that must not run under the lock).
  void unlock() noexcept {
    if (cs_) cs_->unlock();
    cs_ = nullptr;
  }

 private:
  CriticalSection* cs_;
};

// COM initialisation of the calling thread.
class ComInit {
 public:
  explicit ComInit(DWORD model = COINIT_MULTITHREADED) noexcept : hr_(CoInitializeEx(nullptr, model)) {}
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  ~ComInit() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT status() const noexcept { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace orv
