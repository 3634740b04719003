// The composite: its components and members, and the forwarding of calls.
//
// The composite is called on one thread, but the lists are guarded by a lock anyway, so
// that a composite handed to another thread by mistake cannot corrupt them; forwarded
// calls run outside the lock on copies of what they need.
#include "components/script/VaryDispImp.h"

#include <climits>
#include <utility>

#include "components/module/IndexRule.h"
#include "components/module/ResultMacros.h"
#include "components/script/VaryDispCtx.h"

namespace orv {
namespace {

constexpr LCID kUserLocale = 0x400;
constexpr wchar_t kErrorSourcePrefix[] = L"Composite VaryDisp error in component ";

std::wstring_view TextOf(BSTR b) noexcept { return std::wstring_view(b ? b : L"", SysStringLen(b)); }

// A position counted from 1, or a name, from a VARIANT index.
template <class List, class ByName>
size_t FindByIndex(const VARIANT* which, const List& list, ByName byName) noexcept {
  IndexKey key;
  try {
    if (FAILED(ClassifyIndex(which, key))) return static_cast<size_t>(-1);
    if (!key.isPosition) return byName(key.name);
  } catch (...) {
    return static_cast<size_t>(-1);
  }
  if (key.position < 1 || static_cast<size_t>(key.position) > list.size()) return static_cast<size_t>(-1);
  return static_cast<size_t>(key.position) - 1;
}

// The next number after `last` that `inUse` does not claim; false when the numbers run out.
template <class InUse>
bool NextFreeNumber(LONG& last, InUse inUse, LONG& out) noexcept {
  while (last < LONG_MAX) {
    ++last;
    if (!inUse(last)) {
      out = last;
      return true;
    }
  }
  return false;
}

// Whether the exact invoke kind of a call is one the member allows; combined kinds pass.
bool KindAllowed(WORD flags, SHORT kinds) noexcept {
  switch (flags) {
    case DISPATCH_METHOD: return (kinds & kMemberMethod) != 0;
    case DISPATCH_PROPERTYGET: return (kinds & kMemberGet) != 0;
    case DISPATCH_PROPERTYPUT:
    case DISPATCH_PROPERTYPUTREF: return (kinds & kMemberPut) != 0;
    default: return true;
  }
}

HRESULT ResolveName(IDispatch* target, const std::wstring& name, DISPID& id) noexcept {
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name.c_str())};
  return target->GetIDsOfNames(IID_NULL, names, 1, kUserLocale, &id);
}

void FreeExcepInfo(EXCEPINFO& excep) noexcept {
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  excep = EXCEPINFO{};
}

// The component's last script error text.
Bstr LastErrorOf(IUnknown* component, SHORT kind) noexcept {
  Bstr text;
  if (kind == kComponentScpMan)
    static_cast<IScpMan*>(component)->get_lastError(text.put());
  else
    static_cast<IScpAggregate*>(component)->get_lastError(text.put());
  return text;
}

}  // namespace

HRESULT VaryDispImp::FinalConstruct() noexcept {
  // (The class's own CreateObject member hides the generic one.)
  IVaryDispCtx* context = nullptr;
  RETURN_IF_FAILED(VaryDispCtx::Create(nullptr, __uuidof(IVaryDispCtx), reinterpret_cast<void**>(&context)));
  context_.attach(static_cast<VaryDispCtx*>(context));
  context_->Attach(this);
  return S_OK;
}

VaryDispImp::~VaryDispImp() {
  if (context_) {
    context_->DetachContext();
    context_.reset();
  }
  members_.clear();
  components_.clear();
}

size_t VaryDispImp::FindComponentByName(std::wstring_view name) const noexcept {
  for (size_t i = 0; i < components_.size(); ++i)
    if (NamesEqual(components_[i].name, name)) return i;
  return kNotFound;
}

size_t VaryDispImp::FindComponentById(LONG id) const noexcept {
  for (size_t i = 0; i < components_.size(); ++i)
    if (components_[i].id == id) return i;
  return kNotFound;
}

size_t VaryDispImp::FindComponent(const VARIANT* which) const noexcept {
  return FindByIndex(which, components_, [this](const std::wstring& n) { return FindComponentByName(n); });
}

size_t VaryDispImp::FindMemberByName(std::wstring_view name) const noexcept {
  for (size_t i = 0; i < members_.size(); ++i)
    if (NamesEqual(members_[i].name, name)) return i;
  return kNotFound;
}

size_t VaryDispImp::FindMemberByDispid(DISPID id) const noexcept {
  for (size_t i = 0; i < members_.size(); ++i)
    if (members_[i].dispid == id) return i;
  return kNotFound;
}

size_t VaryDispImp::FindMember(const VARIANT* which) const noexcept {
  return FindByIndex(which, members_, [this](const std::wstring& n) { return FindMemberByName(n); });
}

HRESULT VaryDispImp::NextComponentId(LONG& id) noexcept {
  return NextFreeNumber(lastComponentId_, [this](LONG n) { return FindComponentById(n) != kNotFound; }, id)
             ? S_OK
             : E_FAIL;
}

HRESULT VaryDispImp::NextDispid(DISPID& id) noexcept {
  return NextFreeNumber(lastDispid_, [this](LONG n) { return FindMemberByDispid(n) != kNotFound; }, id) ? S_OK
                                                                                                        : E_FAIL;
}

STDMETHODIMP VaryDispImp::ObjectCount(LONG* pCount) noexcept {
  RETURN_POINTER_IF_NULL(pCount);
  LockGuard guard(lock_);
  *pCount = static_cast<LONG>(components_.size());
  return S_OK;
}

STDMETHODIMP VaryDispImp::MemberCount(LONG* pCount) noexcept {
  RETURN_POINTER_IF_NULL(pCount);
  LockGuard guard(lock_);
  *pCount = static_cast<LONG>(members_.size());
  return S_OK;
}

STDMETHODIMP VaryDispImp::AddObject(BSTR bstrName, IUnknown* pObject, SHORT sFlags, LONG* plID) noexcept {
  if (!pObject || !plID) return E_POINTER;
  *plID = 0;
  Component entry;
  try {
    entry.name.assign(TextOf(bstrName));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  // The kind: detected (which fixes the whole flag word), or the one the caller names.
  switch (sFlags & kComponentKindMask) {
    case 0:
      if (SUCCEEDED(pObject->QueryInterface(__uuidof(IScpMan), entry.object.put_void())))
        entry.flags = kConnectToContext | kResolveAtCallTime | kComponentScpMan;
      else if (SUCCEEDED(pObject->QueryInterface(__uuidof(IScpAggregate), entry.object.put_void())))
        entry.flags = kConnectToContext | kResolveAtCallTime | kComponentAggregate;
      else if (SUCCEEDED(pObject->QueryInterface(IID_IDispatch, entry.object.put_void())))
        entry.flags = kComponentDispatch;
      else
        return E_INVALIDARG;
      break;
    case kComponentDispatch:
      RETURN_IF_FAILED(pObject->QueryInterface(IID_IDispatch, entry.object.put_void()));
      entry.flags = sFlags;
      break;
    case kComponentScpMan:
      RETURN_IF_FAILED(pObject->QueryInterface(__uuidof(IScpMan), entry.object.put_void()));
      entry.flags = static_cast<SHORT>(sFlags | kResolveAtCallTime);
      break;
    case kComponentAggregate:
      RETURN_IF_FAILED(pObject->QueryInterface(__uuidof(IScpAggregate), entry.object.put_void()));
      entry.flags = static_cast<SHORT>(sFlags | kResolveAtCallTime);
      break;
    default:
      return E_INVALIDARG;
  }
  {
    LockGuard guard(lock_);
    if (FindComponentByName(entry.name) != kNotFound) return E_INVALIDARG;
    RETURN_IF_FAILED(NextComponentId(entry.id));
    try {
      components_.push_back(entry);
    } catch (...) {
      return E_FAIL;
    }
  }
  *plID = entry.id;
  // The component stays in the list when connecting fails.
  if (entry.flags & kConnectToContext) RETURN_IF_FAILED(Connect(entry));
  return S_OK;
}

// Hands the context to a component: a plain object through its method named like the
// context, a script manager or aggregate as a named item of that name.
HRESULT VaryDispImp::Connect(const Component& component) noexcept {
  ComPtr<IDispatch> context;
  Bstr name;
  {
    LockGuard guard(lock_);
    if (FAILED(context_.query(context))) return E_FAIL;
    name.reset(SysAllocStringLen(contextName_.data(), static_cast<UINT>(contextName_.size())));
    RETURN_IF_NULL_ALLOC(name.get());
  }
  VARIANT arg;
  V_VT(&arg) = VT_DISPATCH;
  V_DISPATCH(&arg) = context.get();
  switch (component.kind()) {
    case kComponentDispatch: {
      auto* target = static_cast<IDispatch*>(component.object.get());
      DISPID id = DISPID_UNKNOWN;
      RETURN_IF_FAILED(ResolveName(target, std::wstring(TextOf(name.get())), id));
      DISPPARAMS params{&arg, nullptr, 1, 0};
      return target->Invoke(id, IID_NULL, kUserLocale, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
    case kComponentScpMan:
    case kComponentAggregate: {
      VARIANT key;
      V_VT(&key) = VT_BSTR;
      V_BSTR(&key) = name.get();
      Variant added;
      return component.kind() == kComponentScpMan
                 ? static_cast<IScpMan*>(component.object.get())->Add(key, arg, added.put())
                 : static_cast<IScpAggregate*>(component.object.get())->Add(key, arg, added.put());
    }
    default:
      return E_FAIL;
  }
}

STDMETHODIMP VaryDispImp::RemoveObject(VARIANT vObject) noexcept {
  std::vector<Component> removed;  // released after the lock
  LockGuard guard(lock_);
  const size_t at = FindComponent(&vObject);
  if (at == kNotFound) return S_FALSE;
  const LONG id = components_[at].id;
  std::erase_if(members_, [id](const Member& m) { return m.component == id; });
  try {
    removed.push_back(std::move(components_[at]));
  } catch (...) {
  }
  components_.erase(components_.begin() + static_cast<ptrdiff_t>(at));
  guard.unlock();
  return S_OK;
}

STDMETHODIMP VaryDispImp::FindObject(VARIANT vObject, IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  const size_t at = FindComponent(&vObject);
  if (at == kNotFound) return DISP_E_BADINDEX;
  return components_[at].object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(ppUnk));
}

HRESULT VaryDispImp::ResolveInnerReference(const Component& component, const VARIANT* inner,
                                           Member& member) noexcept {
  Variant value;
  RETURN_IF_FAILED(value.copy_from(inner));
  const bool numeric = IsPositionType(value.vt());
  RETURN_IF_FAILED(VariantChangeType(value.get(), value.get(), 0, numeric ? VT_I4 : VT_BSTR));
  if (component.kind() != kComponentDispatch || (component.flags & kResolveAtCallTime)) {
    if (numeric) return E_INVALIDARG;
    member.innerName.assign(TextOf(V_BSTR(value.get())));
    return S_OK;
  }
  if (numeric) {
    member.innerId = V_I4(value.get());
    return S_OK;
  }
  member.innerName.assign(TextOf(V_BSTR(value.get())));
  return ResolveName(static_cast<IDispatch*>(component.object.get()), member.innerName, member.innerId);
}

STDMETHODIMP VaryDispImp::AddMember(BSTR bstrName, VARIANT vObject, VARIANT vInnerNameOrID, SHORT sFlags,
                                    LONG lReqID, LONG* plDispID) noexcept {
  RETURN_POINTER_IF_NULL(plDispID);
  *plDispID = 0;
  try {
    Member member;
    member.name.assign(TextOf(bstrName));
    member.kinds = sFlags;
    Component component;
    {
      LockGuard guard(lock_);
      if (FindMemberByName(member.name) != kNotFound) return E_INVALIDARG;
      const size_t at = FindComponent(&vObject);
      if (at == kNotFound) return E_INVALIDARG;
      component = components_[at];
      member.component = component.id;
    }
    // Resolving a name may call into the component: done outside the lock.
    RETURN_IF_FAILED(ResolveInnerReference(component, &vInnerNameOrID, member));
    LockGuard guard(lock_);
    if (FindMemberByName(member.name) != kNotFound || FindComponentById(member.component) == kNotFound)
      return E_INVALIDARG;
    if (lReqID == -1) {
      RETURN_IF_FAILED(NextDispid(member.dispid));
    } else {
      if (FindMemberByDispid(lReqID) != kNotFound) return E_INVALIDARG;
      member.dispid = lReqID;
    }
    members_.push_back(std::move(member));
    *plDispID = members_.back().dispid;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP VaryDispImp::RemoveMember(VARIANT vMember) noexcept {
  LockGuard guard(lock_);
  const size_t at = FindMember(&vMember);
  if (at == kNotFound) return S_FALSE;
  members_.erase(members_.begin() + static_cast<ptrdiff_t>(at));
  return S_OK;
}

STDMETHODIMP VaryDispImp::GetObjectID(VARIANT vObjectIndexOrName, LONG* plID) noexcept {
  RETURN_POINTER_IF_NULL(plID);
  *plID = 0;
  LockGuard guard(lock_);
  const size_t at = FindComponent(&vObjectIndexOrName);
  if (at == kNotFound) return E_INVALIDARG;
  *plID = components_[at].id;
  return S_OK;
}

STDMETHODIMP VaryDispImp::Clear() noexcept {
  std::vector<Component> removed;  // released after the lock
  LockGuard guard(lock_);
  members_.clear();
  removed.swap(components_);
  guard.unlock();
  return S_OK;
}

STDMETHODIMP VaryDispImp::GetContextName(BSTR* pbstrName) noexcept {
  RETURN_POINTER_IF_NULL(pbstrName);
  LockGuard guard(lock_);
  return ReturnText(contextName_, pbstrName);
}

STDMETHODIMP VaryDispImp::SetContextName(BSTR bstrName) noexcept {
  LockGuard guard(lock_);
  if (!components_.empty()) return E_UNEXPECTED;
  try {
    contextName_.assign(TextOf(bstrName));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP VaryDispImp::CreateObject(BSTR bstrName, BSTR bstrID, SHORT sFlags, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  const wchar_t* id = bstrID ? bstrID : L"";
  CLSID clsid;
  if (FAILED(CLSIDFromString(id, &clsid))) RETURN_IF_FAILED(CLSIDFromProgID(id, &clsid));
  ComPtr<IUnknown> object;
  RETURN_IF_FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                    IID_IUnknown, object.put_void()));
  LONG added = 0;
  RETURN_IF_FAILED(AddObject(bstrName, object.get(), sFlags, &added));
  return object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP VaryDispImp::GetTypeInfoCount(UINT* count) noexcept {
  if (count) *count = 0;
  return E_NOTIMPL;
}

STDMETHODIMP VaryDispImp::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP VaryDispImp::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  LockGuard guard(lock_);
  const size_t at = names[0] ? FindMemberByName(names[0]) : kNotFound;
  ids[0] = at == kNotFound ? DISPID_UNKNOWN : members_[at].dispid;
  return at != kNotFound && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

STDMETHODIMP VaryDispImp::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excep, UINT* argErr) noexcept {
  Component component;
  Member member;
  try {
    LockGuard guard(lock_);
    const size_t m = FindMemberByDispid(id);
    if (m == kNotFound) return DISP_E_MEMBERNOTFOUND;
    const size_t c = FindComponentById(members_[m].component);
    if (c == kNotFound || !KindAllowed(flags, members_[m].kinds)) return DISP_E_MEMBERNOTFOUND;
    component = components_[c];
    member = members_[m];
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  switch (component.kind()) {
    case kComponentDispatch: {
      auto* target = static_cast<IDispatch*>(component.object.get());
      DISPID inner = member.innerId;
      if ((component.flags & kResolveAtCallTime) && FAILED(ResolveName(target, member.innerName, inner)))
        return DISP_E_MEMBERNOTFOUND;
      return target->Invoke(inner, IID_NULL, kUserLocale, flags, params, result, excep, argErr);
    }
    case kComponentScpMan:
    case kComponentAggregate:
      return InvokeScript(component, member, flags, params, result, excep, argErr);
    default:
      return E_FAIL;
  }
}

HRESULT VaryDispImp::ScriptOf(const Component& component, const std::wstring& name,
                              ComPtr<IDispatch>& script) noexcept {
  if (component.kind() == kComponentScpMan)
    return static_cast<IScpMan*>(component.object.get())->get_script(script.put());
  auto* aggregate = static_cast<IScpAggregate*>(component.object.get());
  Bstr member(name.c_str());
  RETURN_IF_NULL_ALLOC(member.get());
  VARIANT which;
  V_VT(&which) = VT_BSTR;
  V_BSTR(&which) = member.get();
  Variant language;
  if (aggregate->WhereIsDefined(which, 0, language.put()) != S_OK) return DISP_E_MEMBERNOTFOUND;
  return aggregate->get_script(*language.get(), script.put());
}

HRESULT VaryDispImp::InvokeScript(const Component& component, const Member& member, WORD flags,
                                  DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
  ComPtr<IDispatch> script;
  RETURN_IF_FAILED(ScriptOf(component, member.innerName, script));
  if (!script) return E_UNEXPECTED;
  DISPID inner = DISPID_UNKNOWN;
  if (FAILED(ResolveName(script.get(), member.innerName, inner))) return DISP_E_MEMBERNOTFOUND;
  EXCEPINFO engineExcep{};
  const HRESULT hr = script->Invoke(inner, IID_NULL, kUserLocale, flags, params, result, &engineExcep, argErr);
  if (SUCCEEDED(hr)) {
    FreeExcepInfo(engineExcep);
    return hr;
  }
  if (excep) {
    // The manager records errors the engine reports to its site; an error a script raises
    // in a call from outside reaches only this call's exception record (so under Wine),
    // and then its text is the one that describes this failure.
    if (engineExcep.pfnDeferredFillIn) engineExcep.pfnDeferredFillIn(&engineExcep);
    Bstr description;
    if (engineExcep.bstrDescription && SysStringLen(engineExcep.bstrDescription) != 0)
      description.reset(std::exchange(engineExcep.bstrDescription, nullptr));
    else
      description = LastErrorOf(component.object.get(), component.kind());
    FreeExcepInfo(*excep);
    std::wstring source;
    try {
      source.assign(kErrorSourcePrefix).append(component.name);
    } catch (...) {
    }
    excep->bstrSource = SysAllocStringLen(source.data(), static_cast<UINT>(source.size()));
    excep->bstrDescription = description.release();
    excep->scode = DISP_E_EXCEPTION;
  }
  FreeExcepInfo(engineExcep);
  return DISP_E_EXCEPTION;
}

STDMETHODIMP VaryDispImp::InterfaceSupportsErrorInfo(REFIID riid) noexcept {
  return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, __uuidof(IVaryDispImp)) ? S_OK : S_FALSE;
}

}  // namespace orv
