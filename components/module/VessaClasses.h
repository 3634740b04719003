// Instance creators of the OrvantaVessa classes, as the class table and the object
// creator use them. A class that is not built yet has none.
#pragma once
#include <windows.h>

#include <string>

namespace orv {

// Composite class registered at run time: its definition file and format, read from
// HKCU\SOFTWARE\Classes\CLSID\{clsid}\InprocServer32 (else HKCR\CLSID\...).
struct CompositeRegistration {
  std::wstring definitionFile;
  DWORD format = 0;
};
HRESULT ReadCompositeRegistration(REFCLSID clsid, CompositeRegistration& out) noexcept;

// Creates a composite from a registered definition; set when composites are built.
using CompositeCreator = HRESULT (*)(const CompositeRegistration& reg, REFIID riid, void** ppv);
extern CompositeCreator g_compositeCreator;

}  // namespace orv
