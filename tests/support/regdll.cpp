// regdll: calls DllRegisterServer (or, with -u, DllUnregisterServer) of each library
// given; the exit code is the first failing HRESULT's low byte, 0 when all succeed.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  bool unregister = false;
  int rc = 0;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"-u") == 0) {
      unregister = true;
      continue;
    }
    HMODULE dll = LoadLibraryW(argv[i]);
    if (!dll) {
      fwprintf(stderr, L"regdll: cannot load %ls (error %lu)\n", argv[i], GetLastError());
      rc = rc ? rc : 2;
      continue;
    }
    auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        GetProcAddress(dll, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
    const HRESULT hr = entry ? entry() : E_FAIL;
    if (FAILED(hr)) {
      fwprintf(stderr, L"regdll: %ls failed with 0x%08lx\n", argv[i], static_cast<unsigned long>(hr));
      rc = rc ? rc : 3;
    }
  }
  CoUninitialize();
  return rc;
}
