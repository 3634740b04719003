// Snapshot enumerator.
#include "components/module/VariantEnum.h"

#include "components/module/ComObject.h"

namespace orv {
namespace {

class VariantEnumerator final : public ComObject<VariantEnumerator, IEnumVARIANT> {
 public:
  void Init(std::shared_ptr<const VariantSnapshot> items, size_t position) noexcept {
    items_ = std::move(items);
    position_ = position;
  }

  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) noexcept override {
    if (!out && count) return E_POINTER;
    if (fetched) *fetched = 0;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG done = 0;
    for (; done < count && position_ < items_->size(); ++done, ++position_) {
      VariantInit(&out[done]);
      const HRESULT hr = VariantCopy(&out[done], const_cast<VARIANT*>((*items_)[position_].get()));
      if (FAILED(hr)) {
        for (ULONG i = 0; i < done; ++i) VariantClear(&out[i]);
        return hr;
      }
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) noexcept override {
    const size_t left = items_->size() - position_;
    if (count > left) {
      position_ = items_->size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  STDMETHODIMP Reset() noexcept override {
    position_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    VariantEnumerator* copy = nullptr;
    const HRESULT hr = CreateObject(&copy);
    if (FAILED(hr)) return hr;
    copy->Init(items_, position_);
    *out = copy;
    return S_OK;
  }

 private:
  std::shared_ptr<const VariantSnapshot> items_;
  size_t position_ = 0;
};

}  // namespace

HRESULT CreateVariantEnumerator(VariantSnapshot&& items, IEnumVARIANT** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::shared_ptr<const VariantSnapshot> shared;
  try {
    shared = std::make_shared<const VariantSnapshot>(std::move(items));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  VariantEnumerator* e = nullptr;
  const HRESULT hr = VariantEnumerator::CreateObject(&e);
  if (FAILED(hr)) return hr;
  e->Init(std::move(shared), 0);
  *out = e;
  return S_OK;
}

HRESULT CreateVariantEnumerator(VariantSnapshot&& items, IUnknown** out) noexcept {
  if (!out) return E_POINTER;
  IEnumVARIANT* e = nullptr;
  const HRESULT hr = CreateVariantEnumerator(std::move(items), &e);
  *out = e;
  return hr;
}

}  // namespace orv
