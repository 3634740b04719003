// SFInfo: stat record snapshot with its times as automation dates.
#include "components/storage/SFInfo.h"

#include "components/module/ErrorReport.h"

namespace orv {

HRESULT SFInfo::Fill(const STATSTG& stat) noexcept {
  Bstr name(stat.pwcsName ? stat.pwcsName : L"");
  if (!name.get()) return E_OUTOFMEMORY;
  stat_ = stat;
  stat_.pwcsName = nullptr;
  name_ = std::move(name);
  valid_ = 1;
  return S_OK;
}

HRESULT SFInfo::TimeToDate(const FILETIME& time, DATE* out) noexcept {
  SYSTEMTIME calendar;
  if (!FileTimeToSystemTime(&time, &calendar) || !SystemTimeToVariantTime(&calendar, out)) {
    *out = 0;
    return ReportError(CLSID_SFInfo, 10117);
  }
  return S_OK;
}

STDMETHODIMP SFInfo::get_name(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  return ReturnText(name_.c_str(), pVal);
}

STDMETHODIMP SFInfo::get_Type(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<LONG>(stat_.type);
  return S_OK;
}

STDMETHODIMP SFInfo::get_Size(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<LONG>(stat_.cbSize.LowPart);
  return S_OK;
}

STDMETHODIMP SFInfo::get_Modified(DATE* pVal) noexcept {
  if (!pVal) return E_POINTER;
  return TimeToDate(stat_.mtime, pVal);
}

STDMETHODIMP SFInfo::get_Created(DATE* pVal) noexcept {
  if (!pVal) return E_POINTER;
  return TimeToDate(stat_.ctime, pVal);
}

STDMETHODIMP SFInfo::get_Accessed(DATE* pVal) noexcept {
  if (!pVal) return E_POINTER;
  return TimeToDate(stat_.atime, pVal);
}

STDMETHODIMP SFInfo::get_Mode(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = static_cast<LONG>(stat_.grfMode);
  return S_OK;
}

STDMETHODIMP SFInfo::get_valid(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = valid_;
  return S_OK;
}

}  // namespace orv
