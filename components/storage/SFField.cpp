// The field: a value kept in its field's type, text cut to the field's size.
#include "components/storage/SFField.h"

#include "components/module/ErrorReport.h"
#include "components/module/IndexRule.h"
#include "components/module/ResultMacros.h"
#include "components/storage/LockedSetting.h"
#include "components/storage/UnitCodec.h"

namespace orv {

namespace {

constexpr UINT kMsgFieldNotSet = 10120;

}  // namespace

SFField* SFField::FromUnknown(IUnknown* p) noexcept {
  if (!p) return nullptr;
  ISFFieldSelf* self = nullptr;
  if (FAILED(p->QueryInterface(__uuidof(ISFFieldSelf), reinterpret_cast<void**>(&self))) || !self) return nullptr;
  self->Release();  // the caller holds the object
  return static_cast<SFField*>(self);
}

SFField::Layout SFField::GetLayout() noexcept {
  LockGuard guard(lock_);
  return Layout{type_, size_, exclude_ != 0};
}

HRESULT SFField::CopyValue(VARIANT* out) noexcept {
  LockGuard guard(lock_);
  return VariantCopy(out, value_.get());
}

void SFField::TakeDecoded(Variant&& value) noexcept {
  LockGuard guard(lock_);
  std::swap(value_, value);
}

bool SFField::NameIs(const wchar_t* name, size_t length) noexcept {
  LockGuard guard(lock_);
  return NamesEqual(std::wstring_view(name_.c_str(), name_.length()), std::wstring_view(name, length));
}

STDMETHODIMP SFField::get_Value(VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  if (type_ != 0 && value_.vt() != type_) return ReportError(CLSID_SFField, kMsgFieldNotSet);
  return VariantCopy(pVal, value_.get());
}

STDMETHODIMP SFField::put_Value(VARIANT newVal) noexcept {
  LockGuard guard(lock_);
  const units::UnitType* type = units::FindUnitType(type_);
  if (!type) return E_FAIL;
  Variant value;
  RETURN_IF_FAILED(units::ToUnitValue(&newVal, type->code, value.get()));
  if (type->code == VT_BSTR && SysStringLen(V_BSTR(value.get())) > static_cast<UINT>(size_)) {
    BSTR cut = SysAllocStringLen(V_BSTR(value.get()), static_cast<UINT>(size_));
    RETURN_IF_NULL_ALLOC(cut);
    SysFreeString(V_BSTR(value.get()));
    V_BSTR(value.get()) = cut;
  }
  std::swap(value_, value);
  return S_OK;
}

STDMETHODIMP SFField::get_name(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  return ReturnText(std::wstring_view(name_.c_str(), name_.length()), pVal);
}

STDMETHODIMP SFField::put_name(BSTR newVal) noexcept {
  Bstr copy(newVal, SysStringLen(newVal));
  if (!copy.get()) return E_OUTOFMEMORY;
  LockGuard guard(lock_);
  std::swap(name_, copy);
  return S_OK;
}

STDMETHODIMP SFField::get_Type(LONG* pVal) noexcept { return GetLocked(lock_, type_, pVal); }

// A new type clears the field and gives it the type's default size.
STDMETHODIMP SFField::put_Type(LONG newVal) noexcept {
  const units::UnitType* type = units::FindUnitType(newVal);
  if (!type) return E_INVALIDARG;
  Variant old;  // released after the lock
  LockGuard guard(lock_);
  std::swap(old, value_);
  exclude_ = 0;
  type_ = newVal;
  size_ = type->defaultSize;
  return S_OK;
}

STDMETHODIMP SFField::Clear() noexcept {
  Variant old;
  LockGuard guard(lock_);
  std::swap(old, value_);
  size_ = 0;
  type_ = 0;
  exclude_ = 0;
  return S_OK;
}

STDMETHODIMP SFField::get_Exclude(VARIANT_BOOL* pVal) noexcept { return GetLocked(lock_, exclude_, pVal); }

STDMETHODIMP SFField::put_Exclude(VARIANT_BOOL newVal) noexcept { return PutLocked(lock_, exclude_, newVal); }

STDMETHODIMP SFField::get_Size(LONG* pVal) noexcept { return GetLocked(lock_, size_, pVal); }

// Only the text type takes a size; fixed types keep theirs.
STDMETHODIMP SFField::put_Size(LONG newVal) noexcept {
  LockGuard guard(lock_);
  const units::UnitType* type = units::FindUnitType(type_);
  if (!type) return E_INVALIDARG;
  if (!(type->flags & units::kVariableSize)) return S_OK;
  if (newVal < 0) return E_INVALIDARG;
  size_ = newVal;
  return S_OK;
}

}  // namespace orv
