// ComObject<Derived, Interfaces...>: QueryInterface, AddRef and Release generated from an
// interface list, with the module lock count and optional aggregation. Dual<IFace> adds
// IDispatch over the module's type library (see Dispatch.h).
//
//   class Foo final : public ComObject<Foo, Dual<IFoo>, IDollyTheSheep, ErrorSupport<Foo>>
#pragma once
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <new>
#include <type_traits>

#include "components/module/Module.h"

namespace orv {

// The IID an interface-list entry answers: wrappers name it through `Interface`.
template <class T, class = void>
struct InterfaceOf {
  using type = T;
};
template <class T>
struct InterfaceOf<T, std::void_t<typename T::Interface>> {
  using type = typename T::Interface;
};

template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  // IUnknown (delegates to the outer object when aggregated).
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
    if (outer_) return outer_->QueryInterface(riid, ppv);
    return InternalQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override {
    if (outer_) return outer_->AddRef();
    return InternalAddRef();
  }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    if (outer_) return outer_->Release();
    return InternalRelease();
  }

  // Creates an object and returns it queried for riid. With an outer object only
  // IID_IUnknown may be asked for; the inner, non-delegating unknown is returned.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    Derived* obj = new (std::nothrow) Derived();
    if (!obj) return E_OUTOFMEMORY;
    obj->InternalAddRef();
    HRESULT hr = obj->FinalConstruct();
    if (SUCCEEDED(hr)) {
      if (outer) {
        obj->outer_ = outer;
        *ppv = static_cast<IUnknown*>(&obj->inner_);
        obj->InternalAddRef();
      } else {
        hr = obj->InternalQueryInterface(riid, ppv);
      }
    }
    obj->InternalRelease();
    return hr;
  }

  // Creates an unaggregated object and hands out its Derived pointer with one reference.
  static HRESULT CreateObject(Derived** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    Derived* obj = new (std::nothrow) Derived();
    if (!obj) return E_OUTOFMEMORY;
    obj->InternalAddRef();
    const HRESULT hr = obj->FinalConstruct();
    if (FAILED(hr)) {
      obj->InternalRelease();
      return hr;
    }
    *out = obj;
    return S_OK;
  }

  IUnknown* ControllingUnknown() noexcept {
    return outer_ ? outer_ : static_cast<IUnknown*>(static_cast<First*>(this));
  }
  IUnknown* Identity() noexcept { return static_cast<IUnknown*>(static_cast<First*>(this)); }

 protected:
  ComObject() noexcept { ModuleLock(); }
  virtual ~ComObject() { ModuleUnlock(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // Second-phase construction; a failure destroys the object.
  HRESULT FinalConstruct() noexcept { return S_OK; }

 private:
  template <class T>
  bool TryInterface(REFIID riid, void** ppv) noexcept {
    using I = typename InterfaceOf<T>::type;
    if (IsEqualIID(riid, __uuidof(I))) {
      *ppv = static_cast<I*>(static_cast<T*>(static_cast<Derived*>(this)));
      return true;
    }
    if constexpr (std::is_base_of_v<IDispatch, I>) {
      if (IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(static_cast<T*>(static_cast<Derived*>(this)));
        return true;
      }
    }
    return false;
  }

 public:
  HRESULT InternalQueryInterface(REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = Identity();
    } else if (!(TryInterface<First>(riid, ppv) || (TryInterface<Rest>(riid, ppv) || ...))) {
      return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
  }
  ULONG InternalAddRef() noexcept { return ++refs_; }
  // For weak back-pointers: adds a reference unless the count has already reached zero
  // (the object is being destroyed). The caller must know the memory is still valid.
  bool InternalTryAddRef() noexcept {
    ULONG n = refs_.load();
    while (n != 0)
      if (refs_.compare_exchange_weak(n, n + 1)) return true;
    return false;
  }
  ULONG InternalRelease() noexcept {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 private:
  // The non-delegating unknown an aggregating outer object holds.
  struct InnerUnknown final : IUnknown {
    explicit InnerUnknown(ComObject* o) noexcept : self(o) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
      if (!ppv) return E_POINTER;
      if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      return self->InternalQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return self->InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return self->InternalRelease(); }
    ComObject* self;
  };

  std::atomic<ULONG> refs_{0};
  IUnknown* outer_ = nullptr;
  InnerUnknown inner_{this};
};

}  // namespace orv
