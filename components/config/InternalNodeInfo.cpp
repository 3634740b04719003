// Node information of configuration sections and records.
#include "components/config/InternalNodeInfo.h"

#include "components/config/VarDictionary.h"
#include "components/module/ResultMacros.h"

namespace orv {

HRESULT InternalNodeInfo::Init(LONG type, const wchar_t* className) noexcept {
  LockGuard guard(lock_);
  Bstr name;
  if (className && *className) {
    name.reset(SysAllocString(className));
    RETURN_IF_NULL_ALLOC(name.get());
  }
  type_ = type;
  class_ = std::move(name);
  return S_OK;
}

STDMETHODIMP InternalNodeInfo::get_Type(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = type_;
  return S_OK;
}

STDMETHODIMP InternalNodeInfo::put_Type(LONG newVal) noexcept {
  LockGuard guard(lock_);
  type_ = newVal;
  return S_OK;
}

STDMETHODIMP InternalNodeInfo::get_TypeName(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  *pVal = SysAllocString(type_ ? L"Section" : L"Record");
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP InternalNodeInfo::get_Class(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  *pVal = SysAllocStringLen(class_.c_str(), class_.length());
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP InternalNodeInfo::put_Class(BSTR newVal) noexcept {
  Bstr copy(newVal ? newVal : L"", SysStringLen(newVal));
  RETURN_IF_NULL_ALLOC(copy.get());
  LockGuard guard(lock_);
  class_ = std::move(copy);
  return S_OK;
}

STDMETHODIMP InternalNodeInfo::NewClone(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  InternalNodeInfo* copy = nullptr;
  RETURN_IF_FAILED(CreateObject(&copy));
  ComPtr<InternalNodeInfo> owner(copy, false);
  copy->type_ = type_;
  if (class_.get()) {
    copy->class_.reset(SysAllocStringLen(class_.get(), class_.length()));
    RETURN_IF_NULL_ALLOC(copy->class_.get());
  }
  *ppUnk = owner.release()->Identity();
  return S_OK;
}

HRESULT CreateInternalNodeInfo(bool isSection, const wchar_t* className, IInternalNodeInfo** out) noexcept {
  RETURN_POINTER_IF_NULL(out);
  *out = nullptr;
  InternalNodeInfo* info = nullptr;
  RETURN_IF_FAILED(InternalNodeInfo::CreateObject(&info));
  ComPtr<InternalNodeInfo> owner(info, false);
  RETURN_IF_FAILED(info->Init(isSection ? 1 : 0, className));
  *out = owner.release();
  return S_OK;
}

}  // namespace orv
