// VessaCreator (and its free-threaded twin VessaCreatorFree): the library's object
// factory for scripts. It creates a class of this library by its short name straight
// from the class table (so it works with the library unregistered), any class by CLSID
// or ProgID through COM, a class from a DLL path joined to a CLSID, or a composite from a
// definition (by name or as an object).
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"

namespace orv {

// lFlags bits of CreateObject.
enum VessaCreatorFlags : LONG {
  kCreateComFirst = 0x01,       // COM creation by CLSID or ProgID before everything else
  kSkipShortNames = 0x10,
  kSkipCompositeNames = 0x20,
  kNeverCom = 0x40,
  kSkipDllForm = 0x80,
};

// Which attempts CreateObject makes for a text identifier, in order (for its tests).
enum class CreateAttempt { ComFirst, DllForm, CompositeName, ShortName, ComLate, OwnModule };
// The attempts for `id` under `flags`, written to `out` (at most 6); returns the count.
size_t PlanCreateAttempts(const std::wstring& id, LONG flags, CreateAttempt* out) noexcept;

// Composite definitions: creates a VaryDispCreator through the class table and calls its
// CreateObject(definition, bCtl false, lDefType) by name. While the library serves no
// VaryDispCreator this answers CLASS_E_CLASSNOTAVAILABLE, which the object creator counts
// as "no success"; once the class table holds its creator, composites are made here with
// no change to the object creator.
HRESULT CreateFromCompositeDefinition(const VARIANT& definition, LONG defType, IDispatch** out) noexcept;

// Creates a class of this library through its class-table entry (no registry).
HRESULT CreateLibraryClass(REFCLSID clsid, REFIID riid, void** ppv) noexcept;

class VessaCreator final : public ComObject<VessaCreator, Dual<IVessaCreator>, ErrorSupport<IVessaCreator>> {
 public:
  // IVessaCreator, in interface order
  STDMETHODIMP CreateObject(VARIANT vID, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateObjectFromDLL(BSTR bstrDLL, BSTR bstrID, IUnknown** ppUnk) noexcept override;
};

}  // namespace orv
