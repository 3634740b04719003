// The class factories of OrvantaVessa.dll beside the benchmark program, reached through
// its DllGetClassObject without registration.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <cstdio>

namespace bench {

// The factory of `clsid` with one reference, or null after a message naming `program`.
inline IClassFactory* LibraryFactory(REFCLSID clsid, const char* program) {
  static HMODULE lib = LoadLibraryW(L"OrvantaVessa.dll");
  auto getClass = lib ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
                            GetProcAddress(lib, "DllGetClassObject"))
                      : nullptr;
  IClassFactory* factory = nullptr;
  if (!getClass || FAILED(getClass(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    std::fprintf(stderr, "%s: cannot load OrvantaVessa.dll\n", program);
    return nullptr;
  }
  return factory;
}

}  // namespace bench
