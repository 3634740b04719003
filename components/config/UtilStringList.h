// UtilStringList (and its free-threaded twin): an ordered list of strings addressed by
// 1-based position; values are converted to text when added. Clonable.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class UtilStringList final : public ComObject<UtilStringList, Dual<IUtilStringList>, IDollyTheSheep,
                                              ErrorSupport<IUtilStringList>> {
 public:
  // IUtilStringList, in interface order
  STDMETHODIMP get_Item(VARIANT varIndex, VARIANT* pVal) noexcept override;
  STDMETHODIMP get_Count(LONG* pVal) noexcept override;
  STDMETHODIMP Add(VARIANT varItem, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP Remove(LONG lIndex) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP get_Missing(VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Missing(VARIANT newVal) noexcept override;
  STDMETHODIMP get__NewEnum(IUnknown** ppUnk) noexcept override;
  STDMETHODIMP get_classVersion(LONG* pVal) noexcept override;

  // IDollyTheSheep
  STDMETHODIMP NewClone(IUnknown** ppUnk) noexcept override;

 private:
  CriticalSection lock_;
  std::vector<Variant> items_;  // each a BSTR
  Variant missing_;
};

}  // namespace orv
