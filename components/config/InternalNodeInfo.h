// InternalNodeInfo: what configuration sections and records carry in Info (section or
// record, and the class name of a section). Made only by the library, never by clients.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class InternalNodeInfo final
    : public ComObject<InternalNodeInfo, Dual<IInternalNodeInfo>, IDollyTheSheep, ErrorSupport<IInternalNodeInfo>> {
 public:
  // Sets both fields of a new object (null className: no class).
  HRESULT Init(LONG type, const wchar_t* className) noexcept;

  // IInternalNodeInfo
  STDMETHODIMP get_Type(LONG* pVal) noexcept override;
  STDMETHODIMP put_Type(LONG newVal) noexcept override;
  STDMETHODIMP get_TypeName(BSTR* pVal) noexcept override;
  STDMETHODIMP get_Class(BSTR* pVal) noexcept override;
  STDMETHODIMP put_Class(BSTR newVal) noexcept override;

  // IDollyTheSheep
  STDMETHODIMP NewClone(IUnknown** ppUnk) noexcept override;

 private:
  CriticalSection lock_;
  LONG type_ = 0;
  Bstr class_;
};

}  // namespace orv
