// The script manager: named items, engine life cycle, code and expressions, the last
// error, cloning, and the site the engine calls back.
#include "components/script/ScpMan.h"

#include <utility>

#include "components/module/Cloning.h"
#include "components/module/ErrorReport.h"
#include "components/module/IndexRule.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VariantEnum.h"
#include "components/config/VarDictionary.h"

namespace orv {
namespace {

constexpr wchar_t kVersion[] = L"1.3, Orvanta ScriptHost";
constexpr DWORD kEngineFlagMask = 0x0FFFFFFF;

// `AddEx` options to the stored flag word, and back for `Option`.
DWORD StoredWord(LONG option) noexcept {
  switch (option) {
    case 1: return SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE;
    case 2: return SCRIPTITEM_GLOBALMEMBERS;
    case 3: return SCPITEM_SCRIPTMANAGER | SCRIPTITEM_GLOBALMEMBERS;
    case 4: return SCPITEM_SCRIPTMANAGER | SCRIPTITEM_ISVISIBLE;
    default: return SCRIPTITEM_ISVISIBLE;
  }
}

LONG OptionOf(DWORD word) noexcept {
  switch (word) {
    case SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISSOURCE: return 1;
    case SCRIPTITEM_GLOBALMEMBERS: return 2;
    case SCPITEM_SCRIPTMANAGER | SCRIPTITEM_GLOBALMEMBERS: return 3;
    case SCPITEM_SCRIPTMANAGER | SCRIPTITEM_ISVISIBLE: return 4;
    default: return 0;
  }
}

void SetPosition(VARIANT* out, LONG position) noexcept {
  V_VT(out) = VT_I4;
  V_I4(out) = position;
}

// The item-context name of AddTextEx and Eval: a non-empty string, else none.
const wchar_t* ItemContextName(const VARIANT* ctx, Variant& holder) noexcept {
  if (!ctx || FAILED(holder.copy_from(ctx))) return nullptr;
  if (holder.vt() != VT_BSTR || SysStringLen(V_BSTR(holder.get())) == 0) return nullptr;
  return V_BSTR(holder.get());
}

// The running script of another manager held as an item value.
HRESULT OtherManagerScript(const Variant& value, IDispatch** script) noexcept {
  Variant unk;
  if (FAILED(VariantChangeType(unk.put(), const_cast<VARIANT*>(value.get()), 0, VT_UNKNOWN)) ||
      !V_UNKNOWN(unk.get()))
    return TYPE_E_ELEMENTNOTFOUND;
  ComPtr<IScpMan> other;
  if (FAILED(V_UNKNOWN(unk.get())->QueryInterface(__uuidof(IScpMan), other.put_void())) || !other)
    return TYPE_E_ELEMENTNOTFOUND;
  return other->get_script(script);
}

bool IsObjectType(VARTYPE vt) noexcept {
  return vt == VT_DISPATCH || vt == VT_UNKNOWN || vt == VT_VARIANT;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// ScpManSite

void ScpManSite::Attach(ScpMan* owner) noexcept {
  LockGuard guard(lock_);
  owner_ = owner;
}

void ScpManSite::Detach() noexcept {
  LockGuard guard(lock_);
  owner_ = nullptr;
}

ScpMan* ScpManSite::Acquire() noexcept {
  LockGuard guard(lock_);
  // The owner detaches in its destructor, which starts only once its count is zero, so
  // a pointer still attached here is valid memory.
  if (owner_ && owner_->InternalTryAddRef()) return owner_;
  return nullptr;
}

namespace {
// Runs `call` on the site's manager, or returns `gone` when the manager no longer exists.
template <class F>
HRESULT WithOwner(ScpMan* owner, HRESULT gone, F call) noexcept {
  if (!owner) return gone;
  const HRESULT hr = call(owner);
  owner->InternalRelease();
  return hr;
}
}  // namespace

STDMETHODIMP ScpManSite::GetLCID(LCID* plcid) noexcept {
  return WithOwner(Acquire(), plcid ? E_NOTIMPL : E_POINTER, [&](ScpMan* m) { return m->GetLCID(plcid); });
}

STDMETHODIMP ScpManSite::GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem,
                                     ITypeInfo** ppti) noexcept {
  if (ppiunkItem) *ppiunkItem = nullptr;
  if (ppti) *ppti = nullptr;
  return WithOwner(Acquire(), TYPE_E_ELEMENTNOTFOUND,
                   [&](ScpMan* m) { return m->GetItemInfo(pstrName, dwReturnMask, ppiunkItem, ppti); });
}

STDMETHODIMP ScpManSite::GetDocVersionString(BSTR* pbstrVersion) noexcept {
  if (pbstrVersion) *pbstrVersion = nullptr;
  return pbstrVersion ? E_NOTIMPL : E_POINTER;
}

STDMETHODIMP ScpManSite::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept { return S_OK; }
STDMETHODIMP ScpManSite::OnStateChange(SCRIPTSTATE) noexcept { return S_OK; }
STDMETHODIMP ScpManSite::OnEnterScript() noexcept { return S_OK; }
STDMETHODIMP ScpManSite::OnLeaveScript() noexcept { return S_OK; }

STDMETHODIMP ScpManSite::OnScriptError(IActiveScriptError* pscripterror) noexcept {
  return WithOwner(Acquire(), S_OK, [&](ScpMan* m) { return m->OnScriptError(pscripterror); });
}

// ---------------------------------------------------------------------------------------
// ScpMan: life cycle and collection helpers

HRESULT ScpMan::FinalConstruct() noexcept {
  ScpManSite* site = nullptr;
  RETURN_IF_FAILED(ScpManSite::CreateObject(&site));
  site->Attach(this);
  site_.attach(site);
  return S_OK;
}

ScpMan::~ScpMan() {
  if (site_) site_->Detach();
  if (engine_) {
    // Nobody else can reach this object any more: close without the lock.
    if (FAILED(engine_->Close())) {
      EXCEPINFO excep = {};
      engine_->InterruptScriptThread(SCRIPTTHREADID_ALL, &excep, 0);
      lastError_.Absorb(excep);
    }
    engine_.reset();
  }
  items_.clear();
  lastError_.Clear();
}

size_t ScpMan::FindName(const wchar_t* name, UINT length) const noexcept {
  const std::wstring_view wanted(name ? name : L"", name ? length : 0);
  for (size_t i = 0; i < items_.size(); ++i) {
    const BSTR have = V_BSTR(items_[i].name.get());
    if (NamesEqual(std::wstring_view(have ? have : L"", SysStringLen(have)), wanted)) return i;
  }
  return kNotFound;
}

size_t ScpMan::FindIndex(const VARIANT* index) const noexcept {
  IndexKey key;
  try {
    if (SUCCEEDED(ClassifyIndex(index, key))) {
      if (key.isPosition) {
        if (key.position < 1 || static_cast<size_t>(key.position) > items_.size()) return kNotFound;
        return static_cast<size_t>(key.position) - 1;
      }
      return FindName(key.name.c_str(), static_cast<UINT>(key.name.size()));
    }
  } catch (...) {
    return kNotFound;
  }
  // A number outside the position range is looked up as a name.
  Variant text;
  if (FAILED(text.copy_from(index)) ||
      FAILED(VariantChangeType(text.get(), text.get(), VARIANT_ALPHABOOL, VT_BSTR)))
    return kNotFound;
  return FindName(V_BSTR(text.get()), SysStringLen(V_BSTR(text.get())));
}

ScpMan::EngineCall::EngineCall(ScpMan* owner) noexcept : owner_(owner) {
  LockGuard guard(owner_->lock_);
  if (owner_->callDepth_++ == 0) owner_->callThread_ = GetCurrentThreadId();
}

ScpMan::EngineCall::~EngineCall() {
  LockGuard guard(owner_->lock_);
  if (--owner_->callDepth_ != 0 || !owner_->closeDeferred_) return;
  owner_->closeDeferred_ = false;
  guard.unlock();
  owner_->Close();
}

bool ScpMan::Append(Variant&& name, Variant&& value, DWORD options) noexcept {
  try {
    items_.push_back(NamedItem{std::move(name), std::move(value), options});
    return true;
  } catch (...) {
    return false;
  }
}

bool ScpMan::LookupItem(LPCOLESTR name, Variant& value, DWORD& options) noexcept {
  if (!name) return false;
  LockGuard guard(lock_);
  const size_t at = FindName(name, static_cast<UINT>(wcslen(name)));
  if (at == kNotFound) return false;
  if (FAILED(VariantCopy(value.put(), items_[at].value.get()))) return false;
  options = items_[at].options;
  return true;
}

// ---------------------------------------------------------------------------------------
// IScpMan: the collection

STDMETHODIMP ScpMan::get_versionString(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = SysAllocString(kVersion);
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ScpMan::Add(VARIANT varKey, VARIANT varItem, VARIANT* pvarResult) noexcept {
  return AddEx(varKey, varItem, 0, pvarResult);
}

STDMETHODIMP ScpMan::AddEx(VARIANT varKey, VARIANT varItem, LONG lOptions, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetPosition(pvarResult, 0);
  Variant name;
  if (FAILED(name.copy_from(&varKey)) ||
      FAILED(VariantChangeType(name.get(), name.get(), VARIANT_ALPHABOOL, VT_BSTR)))
    return DISP_E_TYPEMISMATCH;
  const BSTR text = V_BSTR(name.get());
  const UINT length = SysStringLen(text);
  const DWORD options = StoredWord(lOptions);

  LockGuard guard(lock_);
  if (length == 0 || FindName(text, length) != kNotFound) return S_FALSE;
  Variant value;
  RETURN_IF_FAILED(value.copy_from(&varItem));
  Bstr engineName(text, length);
  RETURN_IF_NULL_ALLOC(engineName.get());
  if (!Append(std::move(name), std::move(value), options)) return S_FALSE;
  const LONG position = static_cast<LONG>(items_.size());
  ComPtr<IActiveScript> engine = locked_ ? engine_ : ComPtr<IActiveScript>();
  guard.unlock();

  if (engine && FAILED(engine->AddNamedItem(engineName.get(), options & kEngineFlagMask))) {
    LockGuard again(lock_);
    const size_t at = FindName(engineName.get(), engineName.length());
    if (at != kNotFound) items_.erase(items_.begin() + static_cast<ptrdiff_t>(at));
    return S_FALSE;
  }
  SetPosition(pvarResult, position);
  return S_OK;
}

STDMETHODIMP ScpMan::get_Count(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = static_cast<LONG>(items_.size());
  return S_OK;
}

STDMETHODIMP ScpMan::get_Item(VARIANT varIndex, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  const size_t at = FindIndex(&varIndex);
  if (at == kNotFound) return S_FALSE;
  return VariantCopy(pVal, items_[at].value.get());
}

STDMETHODIMP ScpMan::get_Key(VARIANT varKey, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  const size_t at = FindIndex(&varKey);
  if (at == kNotFound) {
    V_VT(pVal) = VT_BSTR;
    V_BSTR(pVal) = SysAllocString(L"");
    return V_BSTR(pVal) ? S_FALSE : E_OUTOFMEMORY;
  }
  return VariantCopy(pVal, items_[at].name.get());
}

STDMETHODIMP ScpMan::get__NewEnum(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  VariantSnapshot names;
  try {
    names.resize(items_.size());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  for (size_t i = 0; i < items_.size(); ++i)
    RETURN_IF_FAILED(VariantCopy(names[i].get(), items_[i].name.get()));
  return CreateVariantEnumerator(std::move(names), ppUnk);
}

STDMETHODIMP ScpMan::Clear() noexcept {
  LockGuard guard(lock_);
  if (locked_) return S_FALSE;
  items_.clear();
  return S_OK;
}

STDMETHODIMP ScpMan::Remove(VARIANT varIndex, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  LockGuard guard(lock_);
  if (locked_) return S_FALSE;
  const size_t at = FindIndex(&varIndex);
  if (at == kNotFound) return S_FALSE;
  items_.erase(items_.begin() + static_cast<ptrdiff_t>(at));
  return SetSuccessFlag(pvarResult, true);
}

STDMETHODIMP ScpMan::get_locked(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = locked_;
  return S_OK;
}

STDMETHODIMP ScpMan::get_Option(VARIANT varIndex, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  LockGuard guard(lock_);
  const size_t at = FindIndex(&varIndex);
  if (at == kNotFound) return S_FALSE;
  *pVal = OptionOf(items_[at].options);
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// IScpMan: the engine

STDMETHODIMP ScpMan::LoadEngine(BSTR bstrEngine, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  if (locked_) return S_FALSE;
  LockGuard guard(lock_);
  if (engine_) return S_FALSE;  // the client closes the current engine first
  locked_ = 0;
  if (!bstrEngine || !*bstrEngine) return S_FALSE;
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(bstrEngine, &clsid))) return S_FALSE;
  ComPtr<IActiveScript> engine;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript), engine.put_void())) ||
      !engine)
    return S_FALSE;
  if (FAILED(engine->SetScriptSite(site_.get()))) return S_FALSE;
  ComPtr<IActiveScriptParse> parse;
  if (FAILED(engine.query(parse)) || !parse || FAILED(parse->InitNew())) {
    engine->Close();  // lets the engine drop its site
    return S_FALSE;
  }
  engine_ = std::move(engine);
  return SetSuccessFlag(pvarResult, true);
}

HRESULT ScpMan::ParseText(BSTR text, const VARIANT* itemCtx, DWORD context, ULONG line, DWORD flags,
                          VARIANT* result) noexcept {
  ComPtr<IActiveScriptParse> parse;
  const HRESULT qi = engine_.query(parse);
  if (FAILED(qi) || !parse) return FAILED(qi) ? qi : E_NOINTERFACE;
  Variant ctxHolder;
  const wchar_t* itemName = ItemContextName(itemCtx, ctxHolder);
  lastError_.Clear();
  EXCEPINFO excep = {};
  HRESULT hr;
  {
    EngineCall call(this);
    hr = parse->ParseScriptText(text, itemName, nullptr, nullptr, context, line, flags, result, &excep);
  }
  lastError_.Absorb(excep);
  return hr;
}

HRESULT ScpMan::AddTextCommon(BSTR text, const VARIANT* itemCtx, DWORD context, ULONG line, bool* ok) noexcept {
  *ok = false;
  if (!text) return S_FALSE;
  LockGuard guard(lock_);
  if (!engine_) return S_FALSE;
  SCRIPTSTATE state;
  RETURN_IF_FAILED(engine_->GetScriptState(&state));
  *ok = SUCCEEDED(ParseText(text, itemCtx, context, line, 0, nullptr));
  return *ok ? S_OK : S_FALSE;
}

STDMETHODIMP ScpMan::AddText(BSTR bstrText, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  bool ok = false;
  const HRESULT hr = AddTextCommon(bstrText, nullptr, 0, 0, &ok);
  if (FAILED(hr)) return hr;
  return SetSuccessFlag(pvarResult, ok);
}

STDMETHODIMP ScpMan::AddTextEx(BSTR bstrText, LONG lLineNumber, LONG lContext, VARIANT varItemCtx,
                               VARIANT_BOOL* pbResult) noexcept {
  RETURN_POINTER_IF_NULL(pbResult);
  SetSuccessFlag(pbResult, false);
  bool ok = false;
  const HRESULT hr =
      AddTextCommon(bstrText, &varItemCtx, static_cast<DWORD>(lContext), static_cast<ULONG>(lLineNumber), &ok);
  if (FAILED(hr)) return hr;
  return SetSuccessFlag(pbResult, ok);
}

STDMETHODIMP ScpMan::Eval(BSTR bstrText, VARIANT vItemCtx, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  VariantInit(pvarResult);
  LockGuard guard(lock_);
  if (!bstrText) return ReportError(CLSID_ScpMan, "Not text");
  if (!engine_) return ReportError(CLSID_ScpMan, "No script engine");
  return ParseText(bstrText, &vItemCtx, 0, 0, SCRIPTTEXT_ISEXPRESSION, pvarResult);
}

STDMETHODIMP ScpMan::AddEventHandler(BSTR bstrItem, BSTR bstrSubItem, BSTR bstrEvent, BSTR bstrCode,
                                     VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  if (!bstrItem || !bstrEvent || !bstrCode) return S_FALSE;
  LockGuard guard(lock_);
  if (!engine_) return S_FALSE;
  SCRIPTSTATE state;
  RETURN_IF_FAILED(engine_->GetScriptState(&state));
  ComPtr<IActiveScriptParse> parse;
  if (FAILED(engine_.query(parse)) || !parse) return S_FALSE;
  lastError_.Clear();
  EXCEPINFO excep = {};
  Bstr scriptletName;
  HRESULT hr;
  {
    EngineCall call(this);
    hr = parse->AddScriptlet(nullptr, bstrCode, bstrItem, SysStringLen(bstrSubItem) ? bstrSubItem : nullptr,
                             bstrEvent, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, scriptletName.put(), &excep);
  }
  lastError_.Absorb(excep);
  return SetSuccessFlag(pvarResult, SUCCEEDED(hr));
}

STDMETHODIMP ScpMan::Run(VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  LockGuard guard(lock_);
  ComPtr<IActiveScript> engine = engine_;
  if (!engine) return E_UNEXPECTED;
  SCRIPTSTATE state;
  const HRESULT stateHr = engine->GetScriptState(&state);
  if (!locked_) {
    if (FAILED(stateHr)) return stateHr;
    locked_ = 1;
    // By position: an engine calling back may add items meanwhile.
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].name.vt() != VT_BSTR) continue;
      Bstr name(V_BSTR(items_[i].name.get()), SysStringLen(V_BSTR(items_[i].name.get())));
      if (!name.get()) continue;
      engine->AddNamedItem(name.get(), items_[i].options & kEngineFlagMask);  // a refused item is skipped
    }
  }
  lastError_.Clear();
  guard.unlock();

  // The global code runs now and may call back into this object from the named items.
  HRESULT hr;
  {
    EngineCall call(this);
    hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
  }
  RETURN_IF_FAILED(hr);
  LockGuard again(lock_);
  return SetSuccessFlag(pvarResult, !lastError_.IsRecorded());
}

STDMETHODIMP ScpMan::Connect(VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  SetSuccessFlag(pvarResult, false);
  LockGuard guard(lock_);
  if (!engine_) return E_UNEXPECTED;
  SCRIPTSTATE state;
  RETURN_IF_FAILED(engine_->GetScriptState(&state));
  if (state != SCRIPTSTATE_STARTED && state != SCRIPTSTATE_DISCONNECTED) return S_FALSE;
  lastError_.Clear();
  HRESULT hr;
  {
    EngineCall call(this);
    hr = engine_->SetScriptState(SCRIPTSTATE_CONNECTED);
  }
  return SetSuccessFlag(pvarResult, SUCCEEDED(hr) && !lastError_.IsRecorded());
}

STDMETHODIMP ScpMan::Stop() noexcept {
  LockGuard guard(lock_);
  if (!engine_) return E_UNEXPECTED;
  SCRIPTSTATE state;
  RETURN_IF_FAILED(engine_->GetScriptState(&state));
  if (state == SCRIPTSTATE_CLOSED || state == SCRIPTSTATE_INITIALIZED) {
    locked_ = 0;
    return S_FALSE;
  }
  if (state == SCRIPTSTATE_CONNECTED) RETURN_IF_FAILED(engine_->SetScriptState(SCRIPTSTATE_DISCONNECTED));
  RETURN_IF_FAILED(engine_->SetScriptState(SCRIPTSTATE_INITIALIZED));
  return S_OK;
}

STDMETHODIMP ScpMan::Close() noexcept {
  LockGuard guard(lock_);
  locked_ = 0;
  ComPtr<IActiveScript> engine = engine_;
  if (!engine) return S_FALSE;
  if (callDepth_ > 0 && callThread_ == GetCurrentThreadId()) {
    closeDeferred_ = true;  // called from this engine's own script code
    return S_OK;
  }
  guard.unlock();

  const HRESULT hr = engine->Close();
  if (FAILED(hr)) {
    EXCEPINFO excep = {};
    {
      LockGuard clearing(lock_);
      lastError_.Clear();
    }
    engine->InterruptScriptThread(SCRIPTTHREADID_ALL, &excep, 0);
    LockGuard recording(lock_);
    lastError_.Absorb(excep);
  }
  LockGuard again(lock_);
  if (FAILED(hr)) return hr;
  // Another caller may have closed and loaded a new engine meanwhile; that one stays.
  if (engine_.get() == engine.get()) engine_.reset();
  locked_ = 0;
  return S_OK;
}

STDMETHODIMP ScpMan::get_script(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!engine_) return E_UNEXPECTED;
  SCRIPTSTATE state;
  RETURN_IF_FAILED(engine_->GetScriptState(&state));
  if (state != SCRIPTSTATE_STARTED && state != SCRIPTSTATE_CONNECTED && state != SCRIPTSTATE_DISCONNECTED)
    return E_UNEXPECTED;
  return engine_->GetScriptDispatch(nullptr, ppDisp);
}

STDMETHODIMP ScpMan::IsDefined(BSTR bstrName, VARIANT_BOOL* pbResult) noexcept {
  RETURN_POINTER_IF_NULL(pbResult);
  *pbResult = 0;
  LockGuard guard(lock_);
  ComPtr<IDispatch> script;
  RETURN_IF_FAILED(get_script(script.put()));
  if (!script) return E_UNEXPECTED;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(bstrName ? bstrName : L"")};
  DISPID id = DISPID_UNKNOWN;
  return SetSuccessFlag(pbResult, SUCCEEDED(script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id)));
}

STDMETHODIMP ScpMan::get_scriptObject(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

// ---------------------------------------------------------------------------------------
// The last error

STDMETHODIMP ScpMan::get_lastError(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  return lastError_.FormatText(pVal);
}

STDMETHODIMP ScpMan::get_lastErrorEx(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IVarDictionary> details;
  RETURN_IF_FAILED(CreateVarDictionaryObject(details.put()));
  ComPtr<IDispatch> result;
  RETURN_IF_FAILED(details.query(result));

  LockGuard guard(lock_);
  auto add = [&details](const wchar_t* name, const VARIANT& value) noexcept {
    Variant key;
    V_VT(key.get()) = VT_BSTR;
    V_BSTR(key.get()) = SysAllocString(name);
    if (!V_BSTR(key.get())) return E_OUTOFMEMORY;
    LONG place = 0;
    return details->Add(*key.get(), value, &place);
  };
  auto text = [&add](const wchar_t* name, const wchar_t* value) noexcept {
    Variant v;  // VT_EMPTY when the field is absent
    if (value) {
      V_VT(v.get()) = VT_BSTR;
      V_BSTR(v.get()) = SysAllocStringLen(value, SysStringLen(const_cast<BSTR>(value)));
      if (!V_BSTR(v.get())) return E_OUTOFMEMORY;
    }
    return add(name, *v.get());
  };
  auto number = [&add](const wchar_t* name, LONG value) noexcept {
    Variant v;
    V_VT(v.get()) = VT_I4;
    V_I4(v.get()) = value;
    return add(name, *v.get());
  };
  RETURN_IF_FAILED(text(L"Source", lastError_.Source()));
  RETURN_IF_FAILED(text(L"Description", lastError_.Description()));
  RETURN_IF_FAILED(text(L"SourceLine", lastError_.SourceLine()));
  RETURN_IF_FAILED(number(L"Line", static_cast<LONG>(lastError_.Line())));
  RETURN_IF_FAILED(number(L"Char", lastError_.CharPosition()));
  RETURN_IF_FAILED(number(L"Context", static_cast<LONG>(lastError_.Context())));
  *ppDisp = result.release();
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// Cloning

STDMETHODIMP ScpMan::Clone(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IUnknown> copy;
  RETURN_IF_FAILED(NewClone(copy.put()));
  return copy->QueryInterface(__uuidof(IDispatch), reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP ScpMan::NewClone(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  if (cloneInProgress_) {
    // An item leads back here while this manager is being copied: it becomes the copy.
    *ppUnk = cloneInProgress_->Identity();
    (*ppUnk)->AddRef();
    return S_OK;
  }
  ScpMan* raw = nullptr;
  RETURN_IF_FAILED(CreateObject(&raw));
  ComPtr<IUnknown> keep(raw->Identity(), false);
  cloneInProgress_ = raw;
  struct Reset {
    ScpMan*& slot;
    ~Reset() { slot = nullptr; }
  } reset{cloneInProgress_};

  for (size_t i = 0; i < items_.size(); ++i) {
    Variant value, name;
    if (FAILED(CloneValue(value.get(), items_[i].value.get())) ||
        FAILED(CloneValue(name.get(), items_[i].name.get())) ||
        !raw->Append(std::move(name), std::move(value), items_[i].options))
      return ReportError(CLSID_ScpMan, "Failed to clone ScriptManager");
  }
  if (engine_) {
    ComPtr<IActiveScript> engine;
    RETURN_IF_FAILED(engine_->Clone(engine.put()));
    if (!engine) return E_UNEXPECTED;
    if (!raw->site_) return ReportError(CLSID_ScpMan, "Failed to get the script site of the clone");
    if (FAILED(engine->SetScriptSite(raw->site_.get())))
      return ReportError(CLSID_ScpMan, "Failed to set the script site of the clone");
    raw->engine_ = std::move(engine);
  }
  *ppUnk = keep.release();
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// IActiveScriptSite

STDMETHODIMP ScpMan::GetLCID(LCID* plcid) noexcept {
  RETURN_POINTER_IF_NULL(plcid);
  return E_NOTIMPL;
}

STDMETHODIMP ScpMan::GetDocVersionString(BSTR* pbstrVersion) noexcept {
  RETURN_POINTER_IF_NULL(pbstrVersion);
  *pbstrVersion = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP ScpMan::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept { return S_OK; }
STDMETHODIMP ScpMan::OnStateChange(SCRIPTSTATE) noexcept { return S_OK; }
STDMETHODIMP ScpMan::OnEnterScript() noexcept { return S_OK; }
STDMETHODIMP ScpMan::OnLeaveScript() noexcept { return S_OK; }

STDMETHODIMP ScpMan::OnScriptError(IActiveScriptError* pscripterror) noexcept {
  LockGuard guard(lock_);
  lastError_.Record(pscripterror);
  return S_OK;
}

STDMETHODIMP ScpMan::GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem,
                                 ITypeInfo** ppti) noexcept {
  if (ppiunkItem) *ppiunkItem = nullptr;
  if (ppti) *ppti = nullptr;
  if ((dwReturnMask & SCRIPTINFO_IUNKNOWN) && !ppiunkItem) return E_POINTER;
  if ((dwReturnMask & SCRIPTINFO_ITYPEINFO) && !ppti) return E_POINTER;
  if (!(dwReturnMask & (SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO))) return S_OK;

  // The item is copied out under the lock; everything after runs without it, since it
  // may call into other managers.
  Variant value;
  DWORD options = 0;
  if (!LookupItem(pstrName, value, options)) return TYPE_E_ELEMENTNOTFOUND;
  const bool manager = (options & SCPITEM_SCRIPTMANAGER) != 0;
  if (manager && !IsObjectType(value.vt())) return TYPE_E_ELEMENTNOTFOUND;

  ComPtr<IDispatch> managerScript;
  if (manager) RETURN_IF_FAILED(OtherManagerScript(value, managerScript.put()));

  ComPtr<IUnknown> unknown;
  if (dwReturnMask & SCRIPTINFO_IUNKNOWN) {
    if (manager) {
      if (!managerScript) return TYPE_E_ELEMENTNOTFOUND;
      RETURN_IF_FAILED(managerScript->QueryInterface(__uuidof(IUnknown), unknown.put_void()));
    } else {
      if (!IsObjectType(value.vt())) return TYPE_E_ELEMENTNOTFOUND;
      Variant converted;
      if (FAILED(VariantChangeType(converted.put(), value.get(), 0, VT_UNKNOWN)) || !V_UNKNOWN(converted.get()))
        return TYPE_E_ELEMENTNOTFOUND;
      unknown.reset(V_UNKNOWN(converted.get()));
    }
  }
  if (dwReturnMask & SCRIPTINFO_ITYPEINFO) {
    ComPtr<IDispatch> disp = managerScript;
    if (!manager) {
      if (value.vt() == VT_DISPATCH) {
        disp.reset(V_DISPATCH(value.get()));
      } else if (value.vt() == VT_VARIANT) {
        Variant converted;
        if (SUCCEEDED(VariantChangeType(converted.put(), value.get(), 0, VT_DISPATCH)))
          disp.reset(V_DISPATCH(converted.get()));
      } else if (value.vt() != VT_UNKNOWN) {
        return TYPE_E_ELEMENTNOTFOUND;
      }
    }
    // An object without dispatch answers with success and no type information.
    if (disp) RETURN_IF_FAILED(disp->GetTypeInfo(0, 0, ppti));
  }
  if (ppiunkItem) *ppiunkItem = unknown.release();
  return S_OK;
}

}  // namespace orv
