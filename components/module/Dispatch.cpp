// Type information cache over the module's embedded type library and the shared
// IDispatch bodies of every dual interface.
#include "components/module/Dispatch.h"

#include <vector>

#include "components/module/Module.h"
#include "components/module/Raii.h"

namespace orv {
namespace {

struct TypeInfoCache {
  CriticalSection lock;
  ITypeLib* library = nullptr;  // kept for the life of the process
  std::vector<std::pair<IID, ITypeInfo*>> infos;
};

TypeInfoCache& Cache() {
  static TypeInfoCache cache;
  return cache;
}

HRESULT LoadModuleTypeLib(ITypeLib** lib) noexcept {
  const std::wstring path = ModulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
  if (FAILED(hr)) hr = LoadTypeLibEx(TypeLibFallbackPath(path).c_str(), REGKIND_NONE, lib);
  return hr;
}

constexpr WORD kGetOrCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

}  // namespace

HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  TypeInfoCache& cache = Cache();
  LockGuard guard(cache.lock);
  for (auto& [cachedIid, cached] : cache.infos) {
    if (IsEqualIID(cachedIid, iid)) {
      cached->AddRef();
      *info = cached;
      return S_OK;
    }
  }
  if (!cache.library) {
    const HRESULT hr = LoadModuleTypeLib(&cache.library);
    if (FAILED(hr)) return hr;
  }
  ITypeInfo* found = nullptr;
  const HRESULT hr = cache.library->GetTypeInfoOfGuid(iid, &found);
  if (FAILED(hr)) return hr;
  try {
    cache.infos.emplace_back(iid, found);
  } catch (...) {
    found->Release();
    return E_OUTOFMEMORY;
  }
  found->AddRef();
  *info = found;
  return S_OK;
}

HRESULT DispatchGetTypeInfo(REFIID iid, UINT index, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return GetModuleTypeInfo(iid, info);
}

HRESULT DispatchGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
  if (!names || !ids) return E_POINTER;
  ComPtr<ITypeInfo> info;
  const HRESULT hr = GetModuleTypeInfo(iid, info.put());
  if (FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT DispatchInvoke(REFIID iid, IDispatch* self, DISPID id, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
  ComPtr<ITypeInfo> info;
  const HRESULT hr = GetModuleTypeInfo(iid, info.put());
  if (FAILED(hr)) return hr;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  if (flags & kGetOrCall) flags |= kGetOrCall;
  HRESULT ihr = info->Invoke(self, id, flags, params, result, excep, argErr);
  // JScript assigns objects with PROPERTYPUT, VBScript `Set` uses PROPERTYPUTREF: a put
  // that finds no member of its own kind is offered to the other kind.
  constexpr WORD kPuts = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  if (ihr == DISP_E_MEMBERNOTFOUND && (flags & kPuts) && (flags & kPuts) != kPuts)
    ihr = info->Invoke(self, id, static_cast<WORD>(flags ^ kPuts), params, result, excep, argErr);
  return ihr;
}

}  // namespace orv
