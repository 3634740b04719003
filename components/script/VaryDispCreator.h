// VaryDispCreator: builds composites from definitions (files, registry branches,
// streams) and registers definition files as COM classes; plus the class factory the
// module serves for such a registered class.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/VessaClasses.h"

namespace orv {

class VaryDispCreator final
    : public ComObject<VaryDispCreator, Dual<IVaryDispCreator>, ErrorSupport<IVaryDispCreator>> {
 public:
  // IVaryDispCreator, in interface order
  STDMETHODIMP CreateObject(VARIANT vDef, LONG bCtl, LONG lDefType, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP RegisterClass(VARIANT vDef, LONG bCtl, LONG lDefType) noexcept override;
  STDMETHODIMP UnRegisterClass(VARIANT vDef, LONG bCtl, LONG lDefType) noexcept override;
};

// The class factory of a composite class registered from a definition file.
HRESULT ServeCompositeClass(const CompositeRegistration& reg, REFIID riid, void** ppv) noexcept;

}  // namespace orv
