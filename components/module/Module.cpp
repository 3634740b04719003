// Module frame: lock count, cached class factories, and the bodies of the four exports.
#include "components/module/Module.h"

#include <oleauto.h>

#include "components/module/ComObject.h"
#include "components/module/Raii.h"
#include "components/module/Registrar.h"

namespace orv {
namespace {

HINSTANCE g_instance = nullptr;
LONG g_lockCount = 0;
CRITICAL_SECTION g_classObjectLock;

// The class factory of one table entry.
class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
 public:
  void Bind(const ClassEntry* entry) noexcept { entry_ = entry; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !entry_->aggregatable) return CLASS_E_NOAGGREGATION;
    return entry_->creator(outer, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) noexcept override {
    if (lock) ModuleLock();
    else ModuleUnlock();
    return S_OK;
  }

 private:
  const ClassEntry* entry_ = nullptr;
};

}  // namespace

HINSTANCE ModuleInstance() noexcept { return g_instance; }

std::wstring ModulePath() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD len = GetModuleFileNameW(g_instance, path, MAX_PATH);
  return std::wstring(path, len);
}

void ModuleLock() noexcept { InterlockedIncrement(&g_lockCount); }
void ModuleUnlock() noexcept { InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() noexcept { return InterlockedCompareExchange(&g_lockCount, 0, 0); }

void ModuleAttach(HINSTANCE instance) noexcept {
  g_instance = instance;
  InitializeCriticalSection(&g_classObjectLock);
}

void ModuleDetach() noexcept {
  ModuleDescription& mod = ThisModule();
  for (size_t i = 0; i < mod.classCount; ++i) {
    if (IUnknown* factory = mod.classes[i].cachedFactory) {
      mod.classes[i].cachedFactory = nullptr;
      factory->Release();
    }
  }
  DeleteCriticalSection(&g_classObjectLock);
}

HRESULT ModuleGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ModuleDescription& mod = ThisModule();
  for (size_t i = 0; i < mod.classCount; ++i) {
    ClassEntry& entry = mod.classes[i];
    if (!entry.creator || !entry.clsid || !IsEqualCLSID(*entry.clsid, clsid)) continue;
    if (!entry.cachedFactory) {
      EnterCriticalSection(&g_classObjectLock);
      HRESULT hr = S_OK;
      if (!entry.cachedFactory) {
        ClassFactory* factory = nullptr;
        hr = ClassFactory::CreateObject(&factory);
        if (SUCCEEDED(hr)) {
          factory->Bind(&entry);
          // A cached factory does not keep the module loaded.
          ModuleUnlock();
          entry.cachedFactory = factory->Identity();
        }
      }
      LeaveCriticalSection(&g_classObjectLock);
      if (FAILED(hr)) return hr;
    }
    const HRESULT hr = entry.cachedFactory->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) && !*ppv) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
  }
  if (mod.fallback) return mod.fallback(clsid, riid, ppv);
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ModuleCanUnloadNow() noexcept { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

HRESULT ModuleRegisterServer() noexcept {
  ModuleDescription& mod = ThisModule();
  for (size_t i = 0; i < mod.classCount; ++i) {
    if (!mod.classes[i].registryScript) continue;
    const HRESULT hr = RunRegistryResource(g_instance, mod.classes[i].registryScript, true);
    if (FAILED(hr)) return hr;
  }
  try {
    return RegisterModuleTypeLib(ModulePath());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ModuleUnregisterServer() noexcept {
  ModuleDescription& mod = ThisModule();
  for (size_t i = 0; i < mod.classCount; ++i)
    if (mod.classes[i].registryScript) RunRegistryResource(g_instance, mod.classes[i].registryScript, false);
  return S_OK;
}

std::wstring TypeLibFallbackPath(const std::wstring& modulePath) {
  // Only a dot in the file name starts the extension; a dot in a folder name does not.
  const size_t slash = modulePath.find_last_of(L"\\/:");
  const size_t dot = modulePath.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return modulePath + L".tlb";
  return modulePath.substr(0, dot) + L".tlb";
}

HRESULT RegisterModuleTypeLib(const std::wstring& modulePath) noexcept {
  try {
    std::wstring path = modulePath;
    ComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLib(path.c_str(), lib.put());
    if (FAILED(hr)) {
      path = TypeLibFallbackPath(modulePath);
      hr = LoadTypeLib(path.c_str(), lib.put());
      if (FAILED(hr)) return hr;
    }
    const size_t cut = path.find_last_of(L"\\/:");
    std::wstring helpDir = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
    return RegisterTypeLib(lib.get(), path.data(), helpDir.data());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orv
