// The string list: items are BSTR VARIANTs in insertion order; positions that do not
// exist answer a copy of Missing.
#include "components/config/UtilStringList.h"

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/module/VariantEnum.h"

namespace orv {

namespace {

constexpr LONG kClassVersion = 65537;
constexpr wchar_t kTextAddFailed[] = L"Failed to add item to the string list";

bool IsMissingArgument(const VARIANT* v) noexcept {
  return V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND;
}

}  // namespace

STDMETHODIMP UtilStringList::get_Item(VARIANT varIndex, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  LONG index = 1;
  Variant in;
  RETURN_IF_FAILED(in.copy_from(&varIndex));
  if (!IsMissingArgument(in.get())) {
    RETURN_IF_FAILED(VariantChangeType(in.get(), in.get(), 0, VT_I4));
    index = V_I4(in.get());
  }
  if (index >= 1 && static_cast<size_t>(index) <= items_.size())
    return VariantCopy(pVal, items_[static_cast<size_t>(index) - 1].get());
  return VariantCopy(pVal, missing_.get());
}

STDMETHODIMP UtilStringList::get_Count(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = static_cast<LONG>(items_.size());
  return S_OK;
}

STDMETHODIMP UtilStringList::Add(VARIANT varItem, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  VariantInit(pvarResult);
  LockGuard guard(lock_);
  Variant text;
  RETURN_IF_FAILED(text.copy_from(&varItem));
  RETURN_IF_FAILED(VariantChangeType(text.get(), text.get(), 0, VT_BSTR));
  try {
    items_.push_back(std::move(text));
  } catch (...) {
    return ReportError(CLSID_UtilStringList, kTextAddFailed);
  }
  return S_OK;
}

STDMETHODIMP UtilStringList::Remove(LONG lIndex) noexcept {
  Variant removed;  // released after the lock is left
  LockGuard guard(lock_);
  if (lIndex < 1 || static_cast<size_t>(lIndex) > items_.size()) return S_FALSE;
  removed = std::move(items_[static_cast<size_t>(lIndex) - 1]);
  items_.erase(items_.begin() + (lIndex - 1));
  return S_OK;
}

STDMETHODIMP UtilStringList::Clear() noexcept {
  std::vector<Variant> removed;
  LockGuard guard(lock_);
  removed.swap(items_);
  return S_OK;
}

STDMETHODIMP UtilStringList::get_Missing(VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  return VariantCopy(pVal, missing_.get());
}

STDMETHODIMP UtilStringList::put_Missing(VARIANT newVal) noexcept {
  Variant value;
  RETURN_IF_FAILED(value.copy_from(&newVal));
  LockGuard guard(lock_);
  std::swap(value, missing_);
  return S_OK;
}

STDMETHODIMP UtilStringList::get__NewEnum(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  VariantSnapshot copy;
  try {
    copy.resize(items_.size());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  for (size_t i = 0; i < items_.size(); ++i) RETURN_IF_FAILED(VariantCopy(copy[i].get(), items_[i].get()));
  guard.unlock();
  return CreateVariantEnumerator(std::move(copy), ppUnk);
}

STDMETHODIMP UtilStringList::get_classVersion(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = kClassVersion;
  return S_OK;
}

STDMETHODIMP UtilStringList::NewClone(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  UtilStringList* copy = nullptr;
  RETURN_IF_FAILED(CreateObject(&copy));
  ComPtr<IUtilStringList> owner(copy, false);
  {
    LockGuard guard(lock_);
    try {
      copy->items_.resize(items_.size());
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < items_.size(); ++i) RETURN_IF_FAILED(VariantCopy(copy->items_[i].get(), items_[i].get()));
    RETURN_IF_FAILED(VariantCopy(copy->missing_.get(), missing_.get()));
  }
  *ppUnk = copy->Identity();
  (*ppUnk)->AddRef();
  return S_OK;
}

}  // namespace orv
