// The script aggregate: the common items, one manager per language, activation, run
// orders, and which manager's error is current.
//
// Cross-language bindings. Both platform engines ask for a global-members item
// (GetItemInfo) inside AddNamedItem and refuse it when that fails, and a manager's
// running script exists only once that manager runs. A binding made to a manager that
// has not started yet is therefore refused by the engine that receives it. So the
// bindings of an activation are made right after the managers have started (each
// manager is running, so the item reaches its engine at once), and a language added
// while the aggregate runs starts before the others are bound to it; one added before
// the first Run is bound only by that Run's activation. Global code of one
// language cannot call another language while the aggregate starts; functions can, in
// both directions, once Run has returned.
#include "components/script/ScpAggregate.h"

#include <string>
#include <utility>

#include "components/config/VarDictionary.h"
#include "components/module/ErrorReport.h"
#include "components/module/IndexRule.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VessaCreator.h"

namespace orv {
namespace {

constexpr wchar_t kVersion[] = L"1.3, Orvanta ScriptAggregate";
constexpr wchar_t kBindingPrefix[] = L"ScpAggregateInternalBindItem";
constexpr LONG kGlobalMembersOfManager = 3;  // the AddEx option of a cross-language binding

HRESULT NewManager(ComPtr<IScpMan>& out) noexcept {
  return CreateLibraryClass(CLSID_ScpMan, __uuidof(IScpMan), out.put_void());
}

VARIANT Position(LONG n) noexcept {
  VARIANT v;
  V_VT(&v) = VT_I4;
  V_I4(&v) = n;
  return v;
}

}  // namespace

HRESULT ScpAggregate::FinalConstruct() noexcept { return NewManager(items_); }

ScpAggregate::~ScpAggregate() {
  // Bindings make the managers hold each other: closing and clearing them breaks that.
  for (Engine& e : engines_) {
    e.manager->Close();
    e.manager->Clear();
  }
}

size_t ScpAggregate::FindLanguage(std::wstring_view language) const noexcept {
  for (size_t i = 0; i < engines_.size(); ++i)
    if (NamesEqual(engines_[i].language, language)) return i;
  return kNotFound;
}

size_t ScpAggregate::FindScriptLanguage(const VARIANT* language) const noexcept {
  if (V_VT(language) == VT_ERROR && V_ERROR(language) == DISP_E_PARAMNOTFOUND)
    return engines_.empty() ? kNotFound : 0;
  IndexKey key;
  try {
    if (FAILED(ClassifyIndex(language, key))) return kNotFound;
    if (!key.isPosition) return FindLanguage(key.name);
  } catch (...) {
    return kNotFound;
  }
  if (key.position < 1 || static_cast<size_t>(key.position) > engines_.size()) return kNotFound;
  return static_cast<size_t>(key.position) - 1;
}

HRESULT ScpAggregate::SelectLanguage(BSTR language, BSTR code, size_t& at) noexcept {
  at = FindLanguage(std::wstring_view(language, SysStringLen(language)));
  if (at == kNotFound) {
    errorSource_ = kNoErrorSource;
    return S_FALSE;
  }
  if (!code) return E_INVALIDARG;
  errorSource_ = static_cast<LONG>(at);
  return S_OK;
}

HRESULT ScpAggregate::CopyCommonItems(IScpMan* target) noexcept {
  LONG count = 0;
  RETURN_IF_FAILED(items_->get_Count(&count));
  for (LONG j = 1; j <= count; ++j) {
    const VARIANT index = Position(j);
    Variant item, key, added;
    LONG option = 0;
    items_->get_Item(index, item.put());
    items_->get_Key(index, key.put());
    if (FAILED(items_->get_Option(index, &option))) option = 0;
    target->AddEx(*key.get(), *item.get(), option, added.put());
  }
  return S_OK;
}

HRESULT ScpAggregate::Bind(IScpMan* target, IScpMan* other) noexcept {
  const std::wstring name = kBindingPrefix + std::to_wstring(bindingCounter_++);
  Variant key, item, added;
  V_VT(key.get()) = VT_BSTR;
  V_BSTR(key.get()) = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
  RETURN_IF_NULL_ALLOC(V_BSTR(key.get()));
  V_VT(item.get()) = VT_DISPATCH;
  V_DISPATCH(item.get()) = other;
  other->AddRef();
  return target->AddEx(*key.get(), *item.get(), kGlobalMembersOfManager, added.put());
}

void ScpAggregate::BindEveryPair() noexcept {
  for (size_t i = 0; i < engines_.size(); ++i)
    for (size_t j = 0; j < engines_.size(); ++j)
      if (i != j) Bind(engines_[i].manager.get(), engines_[j].manager.get());
}

STDMETHODIMP ScpAggregate::get_Item(VARIANT varIndex, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  errorSource_ = kItemManager;
  return items_->get_Item(varIndex, pVal);
}

STDMETHODIMP ScpAggregate::get_versionString(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  return ReturnText(kVersion, pVal);
}

STDMETHODIMP ScpAggregate::AddEx(VARIANT varKey, VARIANT varItem, LONG lOptions, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  LockGuard guard(lock_);
  errorSource_ = kNoErrorSource;
  if (!items_) return E_FAIL;
  const HRESULT hr = items_->AddEx(varKey, varItem, lOptions, pvarResult);
  if (hr != S_OK) {
    errorSource_ = kItemManager;
    return hr;
  }
  if (active_) {
    for (size_t i = 0; i < engines_.size(); ++i) {
      Variant added;
      if (engines_[i].manager->AddEx(varKey, varItem, lOptions, added.put()) == S_OK) continue;
      if (errorSource_ == kNoErrorSource) errorSource_ = static_cast<LONG>(i);
      *pvarResult = Position(0);
    }
  }
  return V_VT(pvarResult) == VT_I4 && V_I4(pvarResult) == 0 ? S_FALSE : S_OK;
}

STDMETHODIMP ScpAggregate::get_Count(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  return items_->get_Count(pVal);
}

STDMETHODIMP ScpAggregate::get_Key(VARIANT varKey, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  errorSource_ = kItemManager;
  return items_->get_Key(varKey, pVal);
}

STDMETHODIMP ScpAggregate::get__NewEnum(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  LockGuard guard(lock_);
  errorSource_ = kItemManager;
  return items_->get__NewEnum(ppUnk);
}

// Clearing empties the common items too: what Count and Item show is what Clear removes.
STDMETHODIMP ScpAggregate::Clear() noexcept {
  LockGuard guard(lock_);
  if (active_) {
    errorSource_ = kNoErrorSource;
    return S_FALSE;
  }
  for (Engine& e : engines_) e.manager->Clear();
  return items_->Clear();
}

STDMETHODIMP ScpAggregate::Remove(VARIANT varIndex, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  LockGuard guard(lock_);
  if (active_) {
    errorSource_ = kNoErrorSource;
    return S_FALSE;
  }
  errorSource_ = kItemManager;
  return items_->Remove(varIndex, pvarResult);
}

STDMETHODIMP ScpAggregate::AddEngine(BSTR bstrEngine, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  if (!bstrEngine) return E_INVALIDARG;
  LockGuard guard(lock_);
  errorSource_ = kNoErrorSource;
  const std::wstring_view language(bstrEngine, SysStringLen(bstrEngine));
  if (FindLanguage(language) != kNotFound) return SetSuccessFlag(pvarResult, true);
  ComPtr<IScpMan> manager;
  if (FAILED(NewManager(manager))) return S_FALSE;
  Variant loaded;
  if (const HRESULT hr = manager->LoadEngine(bstrEngine, loaded.put()); hr != S_OK) return hr;
  if (active_) {
    CopyCommonItems(manager.get());
    for (Engine& e : engines_) Bind(manager.get(), e.manager.get());
  }
  try {
    engines_.push_back(Engine{std::wstring(language), manager});
  } catch (...) {
    return S_FALSE;
  }
  const size_t position = engines_.size() - 1;
  // While the aggregate runs, the new language starts before the others are bound to it.
  HRESULT started = S_OK;
  if (runState_ == 1 || runState_ == 2) {
    Variant ok;
    started = manager->Run(ok.put());
    if (started == S_OK && runState_ == 2) started = manager->Connect(ok.put());
  }
  // Before the first Run there is nothing to bind yet: activation binds every pair.
  if (active_)
    for (size_t i = 0; i < position; ++i) Bind(engines_[i].manager.get(), manager.get());
  if (started != S_OK) {
    errorSource_ = static_cast<LONG>(position);
    return S_FALSE;
  }
  return SetSuccessFlag(pvarResult, true);
}

STDMETHODIMP ScpAggregate::AddTextEx(BSTR bstrLanguage, BSTR bstrText, LONG lLineNumber, LONG lContext,
                                     VARIANT varItemCtx, VARIANT_BOOL* pbResult) noexcept {
  RETURN_POINTER_IF_NULL(pbResult);
  *pbResult = 0;
  if (!bstrLanguage) return E_INVALIDARG;
  LockGuard guard(lock_);
  size_t at = kNotFound;
  if (const HRESULT hr = SelectLanguage(bstrLanguage, bstrText, at); hr != S_OK) return hr;
  return engines_[at].manager->AddTextEx(bstrText, lLineNumber, lContext, varItemCtx, pbResult);
}

STDMETHODIMP ScpAggregate::Run(LONG lOrder, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  std::vector<ComPtr<IScpMan>> snapshot;
  {
    LockGuard guard(lock_);
    errorSource_ = kNoErrorSource;
    if (!active_) {
      active_ = true;
      for (Engine& e : engines_) CopyCommonItems(e.manager.get());
      bindingPending_ = true;
    }
    runOrder_ = lOrder;
    try {
      for (const Engine& e : engines_) snapshot.push_back(e.manager);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  // The engines start without the lock: their global code may call back.
  bool ok = lOrder == 0 || lOrder == -1;
  LONG firstFailure = kNoErrorSource;
  for (size_t n = 0; ok && n < snapshot.size(); ++n) {
    const size_t i = lOrder == 0 ? n : snapshot.size() - 1 - n;
    Variant started;
    if (snapshot[i]->Run(started.put()) == S_OK) continue;
    if (firstFailure == kNoErrorSource) firstFailure = static_cast<LONG>(i);
  }
  if (firstFailure != kNoErrorSource) ok = false;
  LockGuard guard(lock_);
  if (errorSource_ == kNoErrorSource) errorSource_ = firstFailure;
  if (bindingPending_) {
    bindingPending_ = false;
    BindEveryPair();
  }
  runState_ = 1;
  return SetSuccessFlag(pvarResult, ok);
}

STDMETHODIMP ScpAggregate::Stop() noexcept {
  LockGuard guard(lock_);
  errorSource_ = kNoErrorSource;
  // The reverse of the order Run started them in.
  for (size_t n = 0; n < engines_.size(); ++n)
    engines_[runOrder_ == 0 ? engines_.size() - 1 - n : n].manager->Stop();
  runState_ = 0;
  return S_OK;
}

STDMETHODIMP ScpAggregate::Close() noexcept {
  std::vector<Engine> closed;  // released after the lock
  LockGuard guard(lock_);
  active_ = false;
  bindingPending_ = false;
  errorSource_ = kNoErrorSource;
  for (Engine& e : engines_) {
    e.manager->Close();
    e.manager->Clear();
  }
  closed.swap(engines_);
  runState_ = 0;
  guard.unlock();
  return S_OK;
}

HRESULT ScpAggregate::ScriptOf(const VARIANT* language, bool object, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!active_) return E_UNEXPECTED;
  const size_t at = FindScriptLanguage(language);
  if (at == kNotFound) return ReportError(CLSID_ScpAggregate, 10109u);
  IScpMan* manager = engines_[at].manager.get();
  return object ? manager->get_scriptObject(ppDisp) : manager->get_script(ppDisp);
}

STDMETHODIMP ScpAggregate::get_script(VARIANT varLanguage, IDispatch** ppDisp) noexcept {
  return ScriptOf(&varLanguage, false, ppDisp);
}

STDMETHODIMP ScpAggregate::get_scriptObject(VARIANT varLanguage, IDispatch** ppDisp) noexcept {
  return ScriptOf(&varLanguage, true, ppDisp);
}

STDMETHODIMP ScpAggregate::get_lastError(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  if (errorSource_ == kItemManager) return items_->get_lastError(pVal);
  if (errorSource_ == kNoErrorSource) return ReturnText(L"ERROR INFORMATION NOT AVAILABLE", pVal);
  if (errorSource_ >= 0 && static_cast<size_t>(errorSource_) < engines_.size())
    return engines_[static_cast<size_t>(errorSource_)].manager->get_lastError(pVal);
  return ReturnText(L"INVALID ERROR INFORMATION", pVal);
}

STDMETHODIMP ScpAggregate::get_lastErrorEx(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (errorSource_ == kItemManager) return items_->get_lastErrorEx(ppDisp);
  if (errorSource_ >= 0 && static_cast<size_t>(errorSource_) < engines_.size())
    return engines_[static_cast<size_t>(errorSource_)].manager->get_lastErrorEx(ppDisp);
  ComPtr<IVarDictionary> empty;
  RETURN_IF_FAILED(CreateVarDictionaryObject(empty.put()));
  return empty->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP ScpAggregate::AddEventHandler(BSTR bstrItem, BSTR bstrSubItem, BSTR bstrEvent, BSTR bstrCode,
                                           BSTR bstrLanguage, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  if (!bstrLanguage) return E_INVALIDARG;
  LockGuard guard(lock_);
  size_t at = kNotFound;
  if (const HRESULT hr = SelectLanguage(bstrLanguage, bstrCode, at); hr != S_OK) return hr;
  return engines_[at].manager->AddEventHandler(bstrItem, bstrSubItem, bstrEvent, bstrCode, pvarResult);
}

STDMETHODIMP ScpAggregate::Connect(VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  LockGuard guard(lock_);
  errorSource_ = kNoErrorSource;
  if (!active_) return S_FALSE;
  for (size_t n = 0; n < engines_.size(); ++n) {
    const size_t i = runOrder_ != 0 ? engines_.size() - 1 - n : n;
    Variant connected;
    if (engines_[i].manager->Connect(connected.put()) != S_OK && errorSource_ == kNoErrorSource)
      errorSource_ = static_cast<LONG>(i);
  }
  runState_ = 2;
  return SetSuccessFlag(pvarResult, errorSource_ == kNoErrorSource);
}

STDMETHODIMP ScpAggregate::IsDefined(BSTR bstrName, VARIANT_BOOL* pbResult) noexcept {
  RETURN_POINTER_IF_NULL(pbResult);
  *pbResult = 0;
  LockGuard guard(lock_);
  if (!active_) return S_FALSE;
  for (Engine& e : engines_) {
    VARIANT_BOOL defined = 0;
    if (e.manager->IsDefined(bstrName, &defined) == S_OK) return SetSuccessFlag(pbResult, true);
  }
  return S_FALSE;
}

STDMETHODIMP ScpAggregate::Add(VARIANT vKey, VARIANT vItem, VARIANT* pvarResult) noexcept {
  return AddEx(vKey, vItem, 0, pvarResult);
}

STDMETHODIMP ScpAggregate::AddText(BSTR bstrLanguage, BSTR bstrText, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  VARIANT_BOOL added = 0;
  VARIANT noContext;
  V_VT(&noContext) = VT_ERROR;
  V_ERROR(&noContext) = DISP_E_PARAMNOTFOUND;
  const HRESULT hr = AddTextEx(bstrLanguage, bstrText, 0, 0, noContext, &added);
  SetSuccessFlag(pvarResult, added != 0);
  return hr;
}

STDMETHODIMP ScpAggregate::get_Option(VARIANT varIndex, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  errorSource_ = kItemManager;
  return items_->get_Option(varIndex, pVal);
}

STDMETHODIMP ScpAggregate::WhereIsDefined(VARIANT varMember, LONG lType, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  VariantInit(pvarResult);
  Variant name;
  RETURN_IF_FAILED(name.copy_from(&varMember));
  RETURN_IF_FAILED(VariantChangeType(name.get(), name.get(), 0, VT_BSTR));
  LockGuard guard(lock_);
  if (!active_) return S_FALSE;
  for (size_t i = 0; i < engines_.size(); ++i) {
    VARIANT_BOOL defined = 0;
    if (engines_[i].manager->IsDefined(V_BSTR(name.get()), &defined) != S_OK) continue;
    if (lType == 1) {
      V_VT(pvarResult) = VT_BSTR;
      return ReturnText(engines_[i].language, &V_BSTR(pvarResult));
    }
    *pvarResult = Position(static_cast<LONG>(i) + 1);
    return S_OK;
  }
  return S_FALSE;
}

STDMETHODIMP ScpAggregate::get_errorHost(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = errorSource_ + 1;
  return S_OK;
}

STDMETHODIMP ScpAggregate::put_errorHost(LONG newVal) noexcept {
  LockGuard guard(lock_);
  errorSource_ = newVal - 1;
  return S_OK;
}

}  // namespace orv
