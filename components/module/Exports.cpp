// The four exports and the library entry point, common to both component libraries.
#include <windows.h>
#include <ole2.h>

#include "components/module/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    orv::ModuleAttach(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    orv::ModuleDetach();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) { return orv::ModuleGetClassObject(clsid, riid, ppv); }
STDAPI DllCanUnloadNow() { return orv::ModuleCanUnloadNow(); }
STDAPI DllRegisterServer() { return orv::ModuleRegisterServer(); }
STDAPI DllUnregisterServer() { return orv::ModuleUnregisterServer(); }
