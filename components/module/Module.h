// The module frame shared by both component libraries: the module's instance handle and
// lock count, its class table, and the four exports built over them. Each library
// defines its own table and description (VessaModule.cpp, VantorModule.cpp).
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

namespace orv {

// Creates an instance: (outer unknown, requested IID, out pointer).
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

struct ClassEntry {
  const CLSID* clsid;         // null: registered, never served
  const CLSID* reportClsid;   // the apartment-model CLSID errors are reported under
  UINT registryScript;        // "REGISTRY" resource id; 0: written by another entry's script
  InstanceCreator creator;    // null: class not available in this build
  bool aggregatable;
  IUnknown* cachedFactory;    // filled on first request under the class-object lock
};

// Extra lookup for CLSIDs outside the table (composite classes registered at run time).
using FallbackClassLookup = HRESULT (*)(REFCLSID clsid, REFIID riid, void** ppv);

struct ModuleDescription {
  ClassEntry* classes;
  size_t classCount;
  FallbackClassLookup fallback;  // null: the table is all there is
};

// Provided by each library.
ModuleDescription& ThisModule();

HINSTANCE ModuleInstance() noexcept;
// Full path of the module file (empty when it cannot be read).
std::wstring ModulePath();

// Live objects and LockServer(TRUE) calls.
void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
LONG ModuleLockCount() noexcept;

// Called from DllMain.
void ModuleAttach(HINSTANCE instance) noexcept;
void ModuleDetach() noexcept;

// Export bodies.
HRESULT ModuleGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
HRESULT ModuleCanUnloadNow() noexcept;
HRESULT ModuleRegisterServer() noexcept;
HRESULT ModuleUnregisterServer() noexcept;

// Registers the type library embedded in the module file (or the .tlb beside it).
HRESULT RegisterModuleTypeLib(const std::wstring& modulePath) noexcept;
// Replaces the extension (from the last '.') with ".tlb", or appends it.
std::wstring TypeLibFallbackPath(const std::wstring& modulePath);

}  // namespace orv
