// IEnumVARIANT over a snapshot: the values are copied when the enumerator is made, so a
// collection may change while a script walks it. Clones share the snapshot.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <vector>

#include "components/module/Raii.h"

namespace orv {

using VariantSnapshot = std::vector<Variant>;

// Takes the snapshot over; `out` receives the enumerator.
HRESULT CreateVariantEnumerator(VariantSnapshot&& items, IEnumVARIANT** out) noexcept;
// For a `_NewEnum` member: the enumerator as a VT_UNKNOWN-compatible IUnknown.
HRESULT CreateVariantEnumerator(VariantSnapshot&& items, IUnknown** out) noexcept;

}  // namespace orv
