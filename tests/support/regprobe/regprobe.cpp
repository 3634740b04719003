// A library with registration entry points and nothing to register: DllRegisterServer
// succeeds and DllUnregisterServer fails, so the hosts' registration tools can be tested
// without touching the registry.
#include <windows.h>

extern "C" HRESULT __stdcall DllRegisterServer() { return S_OK; }
extern "C" HRESULT __stdcall DllUnregisterServer() { return E_FAIL; }
