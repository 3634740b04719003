// The configuration tree as dictionaries and back: child sections become section
// dictionaries and records become record dictionaries, in tree order; values map to
// VARIANTs by kind (int64 travels as the 64 bits of a currency value).
#pragma once
#include <windows.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "common/ConfigTree.h"

namespace orv {

// The value options in effect for one read or write.
struct ConfigValueOptions {
  bool preserveUnsignedInt = false;  // uint as VT_UI4 on reading; unsigned types as uint on writing
  bool preserveStringsWide = false;  // strings written as wide strings
};

// Sections nest at most this deep in dictionaries (either way); deeper trees, and
// dictionaries that contain themselves, are refused.
constexpr int kMaxConfigDepth = 256;

// Fills the section dictionary `dict` with the children of `section`. The failure code
// of a creation or an Add that failed; E_FAIL for a tree nested too deep.
HRESULT TreeToDictionary(const orvanta::config::Section& section, IVarDictionary* dict,
                         const ConfigValueOptions& options) noexcept;

// Converts the section dictionary `dict` into `section`. A failure has been reported
// (with ConfigFile's texts) and its HRESULT is returned.
HRESULT DictionaryToTree(IVarDictionary* dict, orvanta::config::Section& section,
                         const ConfigValueOptions& options) noexcept;

}  // namespace orv
