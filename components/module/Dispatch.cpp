// Type information cache over the module's embedded type library and the shared
// IDispatch bodies of every dual interface.
#include "components/module/Dispatch.h"

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "components/module/Module.h"
#include "components/module/Raii.h"

namespace orv {
namespace {

// Member names of one interface, folded to lower case and sorted, for the one-name
// lookups script engines make before every call (Wine's JScript asks again on each call,
// and the type information compares names through the locale, one member at a time).
using NameTable = std::vector<std::pair<std::wstring, DISPID>>;

struct CachedInterface {
  IID iid;
  ITypeInfo* info;  // kept for the life of the process
  NameTable* names = nullptr;  // built on the first name lookup
};

struct TypeInfoCache {
  CriticalSection lock;
  ITypeLib* library = nullptr;  // kept for the life of the process
  std::vector<CachedInterface> infos;
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

// Longest name the table answers; longer ones go to the type information.
constexpr size_t kMaxTableName = 64;

// Folds an ASCII name to lower case; false for names the table does not hold (non-ASCII
// or too long), which the type information answers with its own comparison rules.
bool FoldName(const wchar_t* name, wchar_t (&out)[kMaxTableName + 1], size_t& length) noexcept {
  length = 0;
  for (; name[length]; ++length) {
    const wchar_t c = name[length];
    if (length == kMaxTableName || c >= 0x80) return false;
    out[length] = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
  }
  out[length] = 0;
  return length > 0;
}

// The names of the functions and variables the interface declares itself; a name that
// appears twice (a property's get and put) keeps its first member id.
NameTable* BuildNameTable(ITypeInfo* info) noexcept {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
  std::vector<MEMBERID> ids;
  try {
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* func = nullptr;
      if (FAILED(info->GetFuncDesc(i, &func))) continue;
      ids.push_back(func->memid);
      info->ReleaseFuncDesc(func);
    }
    for (UINT i = 0; i < attr->cVars; ++i) {
      VARDESC* var = nullptr;
      if (FAILED(info->GetVarDesc(i, &var))) continue;
      ids.push_back(var->memid);
      info->ReleaseVarDesc(var);
    }
  } catch (...) {
    info->ReleaseTypeAttr(attr);
    return nullptr;
  }
  info->ReleaseTypeAttr(attr);
  auto* table = new (std::nothrow) NameTable();
  if (!table) return nullptr;
  try {
    for (MEMBERID id : ids) {
      Bstr name;
      UINT got = 0;
      if (FAILED(info->GetNames(id, name.put(), 1, &got)) || got == 0 || !name.get()) continue;
      wchar_t folded[kMaxTableName + 1];
      size_t length = 0;
      if (!FoldName(name.get(), folded, length)) continue;
      const std::wstring_view key(folded, length);
      if (std::none_of(table->begin(), table->end(), [&](const auto& e) { return e.first == key; }))
        table->emplace_back(std::wstring(key), id);
    }
    std::sort(table->begin(), table->end());
  } catch (...) {
    delete table;
    return nullptr;
  }
  return table;
}

// JScript has no `Nothing`: its `null` (VT_NULL) and `undefined` (VT_EMPTY) given for an
// object parameter mean "no object", as `Nothing` does in VBScript. The type information
// would refuse VT_NULL for an interface pointer, so such arguments become null pointers
// of the parameter's kind before the call.
bool IsNoObject(const VARIANT& v) noexcept {
  const VARIANT* p = &v;
  if (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p)) p = V_VARIANTREF(p);
  return V_VT(p) == VT_NULL || V_VT(p) == VT_EMPTY;
}

// The object kind of a parameter: VT_DISPATCH or VT_UNKNOWN, or VT_EMPTY for any other.
VARTYPE ObjectKind(ITypeInfo* info, const TYPEDESC& type) noexcept {
  if (type.vt == VT_DISPATCH || type.vt == VT_UNKNOWN) return type.vt;
  if (type.vt != VT_PTR || !type.lptdesc) return VT_EMPTY;
  if (type.lptdesc->vt == VT_DISPATCH || type.lptdesc->vt == VT_UNKNOWN) return type.lptdesc->vt;
  if (type.lptdesc->vt != VT_USERDEFINED) return VT_EMPTY;
  ComPtr<ITypeInfo> referred;
  if (FAILED(info->GetRefTypeInfo(type.lptdesc->hreftype, referred.put()))) return VT_EMPTY;
  TYPEATTR* attr = nullptr;
  if (FAILED(referred->GetTypeAttr(&attr))) return VT_EMPTY;
  const TYPEKIND kind = attr->typekind;
  referred->ReleaseTypeAttr(attr);
  if (kind == TKIND_DISPATCH) return VT_DISPATCH;
  return kind == TKIND_INTERFACE ? VT_UNKNOWN : VT_EMPTY;
}

// The description of the member the call reaches, tried in the order Invoke tries kinds.
// (Searched by walking the functions: Wine's GetFuncIndexOfMemId counts a dual
// interface's own functions while GetFuncDesc counts the inherited ones too.)
FUNCDESC* FindFunction(ITypeInfo* info, DISPID id, WORD flags) noexcept {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return nullptr;
  const UINT count = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  static constexpr INVOKEKIND kKinds[] = {INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT,
                                          INVOKE_PROPERTYPUTREF};
  for (INVOKEKIND kind : kKinds) {
    if (!(flags & kind)) continue;
    for (UINT i = 0; i < count; ++i) {
      FUNCDESC* func = nullptr;
      if (FAILED(info->GetFuncDesc(i, &func))) continue;
      if (func->memid == id && func->invkind == kind) return func;
      info->ReleaseFuncDesc(func);
    }
  }
  return nullptr;
}

// Copies the arguments into `args` with every "no object" argument of an object
// parameter made a null pointer; false when there is nothing to change.
bool NullObjectArguments(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS& params,
                         std::vector<VARIANT>& args) noexcept {
  if (std::none_of(params.rgvarg, params.rgvarg + params.cArgs, IsNoObject)) return false;
  FUNCDESC* func = FindFunction(info, id, flags);
  if (!func) return false;
  bool changed = false;
  try {
    args.assign(params.rgvarg, params.rgvarg + params.cArgs);
    for (UINT i = 0; i < params.cArgs; ++i) {
      if (!IsNoObject(args[i])) continue;
      // Positional arguments come last to first; a put's value is its last parameter.
      LONG at = static_cast<LONG>(params.cArgs - 1 - i);
      if (i < params.cNamedArgs) {
        const DISPID named = params.rgdispidNamedArgs[i];
        at = named == DISPID_PROPERTYPUT ? func->cParams - 1 : named;
      }
      if (at < 0 || at >= func->cParams) continue;
      const VARTYPE kind = ObjectKind(info, func->lprgelemdescParam[at].tdesc);
      if (kind == VT_EMPTY) continue;
      V_VT(&args[i]) = kind;
      V_UNKNOWN(&args[i]) = nullptr;
      changed = true;
    }
  } catch (...) {
    changed = false;
  }
  info->ReleaseFuncDesc(func);
  return changed;
}

}  // namespace

HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  TypeInfoCache& cache = Cache();
  LockGuard guard(cache.lock);
  for (auto& cached : cache.infos) {
    if (IsEqualIID(cached.iid, iid)) {
      cached.info->AddRef();
      *info = cached.info;
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
    cache.infos.push_back(CachedInterface{iid, found});
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
  // A member name alone is answered from the table; named arguments, unknown names and
  // names the table does not hold go to the type information, which also sets the errors.
  wchar_t folded[kMaxTableName + 1];
  size_t length = 0;
  if (count == 1 && names[0] && FoldName(names[0], folded, length)) {
    TypeInfoCache& cache = Cache();
    LockGuard guard(cache.lock);
    for (auto& cached : cache.infos) {
      if (!IsEqualIID(cached.iid, iid)) continue;
      if (!cached.names) cached.names = BuildNameTable(cached.info);
      if (!cached.names) break;
      const std::wstring_view key(folded, length);
      const auto at = std::lower_bound(cached.names->begin(), cached.names->end(), key,
                                       [](const auto& e, std::wstring_view k) { return e.first < k; });
      if (at != cached.names->end() && at->first == key) {
        ids[0] = at->second;
        return S_OK;
      }
      break;
    }
  }
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
  // The copies share what the caller's arguments hold and are not cleared.
  std::vector<VARIANT> args;
  DISPPARAMS adjusted;
  if (NullObjectArguments(info.get(), id, flags, *params, args)) {
    adjusted = *params;
    adjusted.rgvarg = args.data();
    params = &adjusted;
  }
  HRESULT ihr = info->Invoke(self, id, flags, params, result, excep, argErr);
  // JScript assigns objects with PROPERTYPUT, VBScript `Set` uses PROPERTYPUTREF: a put
  // that finds no member of its own kind is offered to the other kind.
  constexpr WORD kPuts = DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF;
  if (ihr == DISP_E_MEMBERNOTFOUND && (flags & kPuts) && (flags & kPuts) != kPuts)
    ihr = info->Invoke(self, id, static_cast<WORD>(flags ^ kPuts), params, result, excep, argErr);
  return ihr;
}

}  // namespace orv
