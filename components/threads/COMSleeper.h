// COMSleeper: suspends the calling thread. No state; ThreadingModel "Free".
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"

namespace orv {

class COMSleeper final : public ComObject<COMSleeper, Dual<ICOMSleeper>, ErrorSupport<ICOMSleeper>> {
 public:
  // ICOMSleeper
  STDMETHODIMP Sleep(LONG lMS) noexcept override;
};

}  // namespace orv
