// SFInfo: a read-only snapshot of one storage element's stat record (name, type, size,
// times, mode), handed out by streams and storages; never created by scripts.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class SFInfo final : public ComObject<SFInfo, Dual<ISFInfo>, ErrorSupport<ISFInfo>> {
 public:
  // Copies the record and its name; the caller keeps (and frees) the record's name.
  HRESULT Fill(const STATSTG& stat) noexcept;

  // ISFInfo, in interface order
  STDMETHODIMP get_name(BSTR* pVal) noexcept override;
  STDMETHODIMP get_Type(LONG* pVal) noexcept override;
  STDMETHODIMP get_Size(LONG* pVal) noexcept override;
  STDMETHODIMP get_Modified(DATE* pVal) noexcept override;
  STDMETHODIMP get_Created(DATE* pVal) noexcept override;
  STDMETHODIMP get_Accessed(DATE* pVal) noexcept override;
  STDMETHODIMP get_Mode(LONG* pVal) noexcept override;
  STDMETHODIMP get_valid(LONG* pVal) noexcept override;

 private:
  HRESULT TimeToDate(const FILETIME& time, DATE* out) noexcept;

  // Filled once, before the object is handed out; read without a lock afterwards.
  STATSTG stat_ = {};
  Bstr name_;
  LONG valid_ = 0;
};

}  // namespace orv
