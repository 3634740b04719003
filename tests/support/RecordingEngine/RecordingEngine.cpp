// recengine.dll: a recording Active Scripting engine for the script manager's tests. It
// supports what the platform's engines lack here (Clone, AddScriptlet) and makes the
// engine contract visible: every call with its arguments, injected failures, and
// callbacks into the site on request. See RecordingEngine.h for the command language.
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <activscp.h>

#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "components/module/ComObject.h"
#include "components/module/Module.h"
#include "components/module/Raii.h"
#include "tests/support/RecordingEngine/RecordingEngine.h"

using orv::Bstr;
using orv::ComPtr;
using orv::CriticalSection;
using orv::LockGuard;
using orv::Variant;

namespace {

HINSTANCE g_module = nullptr;

// Process-wide recording state, shared by every engine instance.
struct Recorder {
  CriticalSection lock;
  std::wstring log;
  std::vector<std::pair<std::wstring, HRESULT>> failures;
  std::wstring probePrefix;
  ComPtr<IDispatch> probeTarget;
  int engines = 0;
};

Recorder& Rec() {
  static Recorder* rec = new Recorder;  // lives as long as the process
  return *rec;
}

std::wstring Hex(unsigned long v) {
  wchar_t b[16];
  swprintf(b, 16, L"0x%08lX", v);
  return b;
}

std::wstring Text(const wchar_t* s) { return s ? s : L"(null)"; }

void Append(const std::wstring& line) {
  Recorder& r = Rec();
  LockGuard guard(r.lock);
  r.log += line;
  r.log += L'\n';
}

DWORD WINAPI ProbeThread(void* param) {
  IDispatch* target = static_cast<IDispatch*>(param);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  target->Invoke(3, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
  VariantClear(&result);
  target->Release();
  CoUninitialize();
  return 0;
}

// Whether the manager's lock can be taken from another thread right now.
void RunProbe(const std::wstring& call) {
  ComPtr<IDispatch> target;
  {
    Recorder& r = Rec();
    LockGuard guard(r.lock);
    if (!r.probeTarget || r.probePrefix.empty() || call.compare(0, r.probePrefix.size(), r.probePrefix) != 0) return;
    target = r.probeTarget;
  }
  IDispatch* raw = target.get();
  raw->AddRef();
  orv::UniqueHandle thread(CreateThread(nullptr, 0, ProbeThread, raw, 0, nullptr));
  if (!thread) {
    raw->Release();
    Append(L"probe:failed");
    return;
  }
  // A thread that stays blocked finishes once the lock is free; it owns its reference.
  Append(WaitForSingleObject(thread.get(), 1000) == WAIT_OBJECT_0 ? L"probe:free" : L"probe:held");
}

// Logs a call and answers an injected failure for it (S_OK: go on).
HRESULT Enter(int engine, const std::wstring& call) {
  RunProbe(call);
  HRESULT fail = S_OK;
  {
    Recorder& r = Rec();
    LockGuard guard(r.lock);
    for (const auto& [prefix, hr] : r.failures)
      if (call.compare(0, prefix.size(), prefix) == 0) fail = hr;
  }
  std::wstring line = std::to_wstring(engine) + L":" + call;
  if (FAILED(fail)) line += L" => " + Hex(static_cast<unsigned long>(fail));
  Append(line);
  return fail;
}

// --- the error object handed to OnScriptError -------------------------------------------

struct PendingDeferred {
  SCODE scode = 0;
  std::wstring description;
};
PendingDeferred g_deferred;

HRESULT STDAPICALLTYPE DeferredFillIn(EXCEPINFO* info) {
  info->scode = g_deferred.scode;
  info->bstrDescription = SysAllocString(g_deferred.description.c_str());
  info->pfnDeferredFillIn = nullptr;
  return S_OK;
}

class FakeScriptError final : public orv::ComObject<FakeScriptError, IActiveScriptError> {
 public:
  SCODE scode = 0;
  bool deferred = false;
  Bstr source, description, sourceLine;
  DWORD context = 0;
  ULONG line = 0;
  LONG position = 0;

  STDMETHODIMP GetExceptionInfo(EXCEPINFO* info) noexcept override {
    if (!info) return E_POINTER;
    *info = EXCEPINFO{};
    if (deferred) {
      info->pfnDeferredFillIn = DeferredFillIn;
      return S_OK;
    }
    info->scode = scode;
    if (source.get()) info->bstrSource = SysAllocString(source.get());
    if (description.get()) info->bstrDescription = SysAllocString(description.get());
    return S_OK;
  }
  STDMETHODIMP GetSourcePosition(DWORD* ctx, ULONG* ln, LONG* pos) noexcept override {
    if (ctx) *ctx = context;
    if (ln) *ln = line;
    if (pos) *pos = position;
    return S_OK;
  }
  STDMETHODIMP GetSourceLineText(BSTR* text) noexcept override {
    if (!text) return E_POINTER;
    *text = nullptr;
    if (!sourceLine.get()) return E_FAIL;
    *text = SysAllocString(sourceLine.get());
    return S_OK;
  }
};

// --- the script's global object -----------------------------------------------------------

class GlobalObject final : public orv::ComObject<GlobalObject, IDispatch> {
 public:
  std::vector<std::wstring> names;

  STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override {
    if (!n) return E_POINTER;
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ti) noexcept override {
    if (ti) *ti = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* req, UINT count, LCID, DISPID* ids) noexcept override {
    if (!req || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      for (size_t n = 0; n < names.size(); ++n)
        if (req[i] && _wcsicmp(req[i], names[n].c_str()) == 0) ids[i] = static_cast<DISPID>(n + 1);
      if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) noexcept override {
    if (id < 1 || static_cast<size_t>(id) > names.size()) return DISP_E_MEMBERNOTFOUND;
    if (result) {
      VariantInit(result);
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocString(names[id - 1].c_str());
    }
    return S_OK;
  }
};

// --- the engine ---------------------------------------------------------------------------

struct Code {
  std::wstring text;
  DWORD cookie = 0;
  ULONG line = 0;
};

std::vector<std::wstring> Split(const std::wstring& s, const wchar_t* seps) {
  std::vector<std::wstring> out;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find_first_of(seps, start);
    out.push_back(s.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
    if (at == std::wstring::npos) break;
    start = at + 1;
  }
  return out;
}

// Logs an engine call, and returns an injected failure.
#define RETURN_ENTER(call)                        \
  do {                                            \
    const HRESULT fail_ = Enter(id_, (call));     \
    if (FAILED(fail_)) return fail_;              \
  } while (0)

class Engine final : public orv::ComObject<Engine, IActiveScript, IActiveScriptParse64> {
 public:
  Engine() noexcept {
    LockGuard guard(Rec().lock);
    id_ = ++Rec().engines;
  }
  HRESULT FinalConstruct() noexcept {
    GlobalObject* g = nullptr;
    const HRESULT hr = GlobalObject::CreateObject(&g);
    if (SUCCEEDED(hr)) global_.attach(g);
    return hr;
  }

  // IActiveScript
  STDMETHODIMP SetScriptSite(IActiveScriptSite* site) noexcept override {
    RETURN_ENTER(L"SetScriptSite(" + std::wstring(site ? L"site" : L"null") + L")");
    if (!site) return E_POINTER;
    site_.reset(site);
    if (initialized_ && state_ == SCRIPTSTATE_UNINITIALIZED) state_ = SCRIPTSTATE_INITIALIZED;
    return S_OK;
  }
  STDMETHODIMP GetScriptSite(REFIID riid, void** ppv) noexcept override {
    RETURN_ENTER(L"GetScriptSite");
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    return site_ ? site_->QueryInterface(riid, ppv) : S_FALSE;
  }
  STDMETHODIMP SetScriptState(SCRIPTSTATE ss) noexcept override {
    RETURN_ENTER(L"SetScriptState(" + std::to_wstring(ss) + L")");
    if (state_ == SCRIPTSTATE_CLOSED || state_ == SCRIPTSTATE_UNINITIALIZED) return E_UNEXPECTED;
    state_ = ss;
    if (ss == SCRIPTSTATE_STARTED || ss == SCRIPTSTATE_CONNECTED) {
      std::vector<Code> pending;
      pending.swap(pending_);
      for (const Code& c : pending) Execute(c, nullptr, nullptr);
    }
    return S_OK;
  }
  STDMETHODIMP GetScriptState(SCRIPTSTATE* ss) noexcept override {
    RETURN_ENTER(L"GetScriptState");
    if (!ss) return E_POINTER;
    *ss = state_;
    return S_OK;
  }
  STDMETHODIMP Close() noexcept override {
    RETURN_ENTER(L"Close");
    state_ = SCRIPTSTATE_CLOSED;
    pending_.clear();
    items_.clear();
    site_.reset();
    return S_OK;
  }
  STDMETHODIMP AddNamedItem(LPCOLESTR name, DWORD flags) noexcept override {
    RETURN_ENTER(L"AddNamedItem(" + Text(name) + L"," + Hex(flags) + L")");
    if (!name) return E_POINTER;
    items_.push_back(name);
    return S_OK;
  }
  STDMETHODIMP AddTypeLib(REFGUID, DWORD, DWORD, DWORD) noexcept override {
    RETURN_ENTER(L"AddTypeLib");
    return E_NOTIMPL;
  }
  STDMETHODIMP GetScriptDispatch(LPCOLESTR item, IDispatch** disp) noexcept override {
    RETURN_ENTER(L"GetScriptDispatch(" + Text(item) + L")");
    if (!disp) return E_POINTER;
    *disp = global_.get();
    (*disp)->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetCurrentScriptThreadID(SCRIPTTHREADID* id) noexcept override {
    RETURN_ENTER(L"GetCurrentScriptThreadID");
    if (!id) return E_POINTER;
    *id = GetCurrentThreadId();
    return S_OK;
  }
  STDMETHODIMP GetScriptThreadID(DWORD tid, SCRIPTTHREADID* id) noexcept override {
    RETURN_ENTER(L"GetScriptThreadID");
    if (!id) return E_POINTER;
    *id = tid;
    return S_OK;
  }
  STDMETHODIMP GetScriptThreadState(SCRIPTTHREADID, SCRIPTTHREADSTATE* st) noexcept override {
    RETURN_ENTER(L"GetScriptThreadState");
    if (!st) return E_POINTER;
    *st = SCRIPTTHREADSTATE_NOTINSCRIPT;
    return S_OK;
  }
  STDMETHODIMP InterruptScriptThread(SCRIPTTHREADID tid, const EXCEPINFO* excep, DWORD flags) noexcept override {
    RETURN_ENTER(L"InterruptScriptThread(" + std::to_wstring(static_cast<long>(tid)) + L"," +
                 std::wstring(excep ? L"excep" : L"null") + L"," + Hex(flags) + L")");
    return S_OK;
  }
  STDMETHODIMP Clone(IActiveScript** copy) noexcept override {
    RETURN_ENTER(L"Clone");
    if (!copy) return E_POINTER;
    *copy = nullptr;
    Engine* e = nullptr;
    const HRESULT hr = CreateObject(&e);
    if (FAILED(hr)) return hr;
    e->initialized_ = true;
    e->pending_ = pending_;
    e->global_->names = global_->names;
    *copy = e;
    Enter(e->id_, L"ClonedFrom(" + std::to_wstring(id_) + L")");
    return S_OK;
  }

  // IActiveScriptParse64
  STDMETHODIMP InitNew() noexcept override {
    RETURN_ENTER(L"InitNew");
    initialized_ = true;
    if (site_ && state_ == SCRIPTSTATE_UNINITIALIZED) state_ = SCRIPTSTATE_INITIALIZED;
    return S_OK;
  }
  STDMETHODIMP AddScriptlet(LPCOLESTR defaultName, LPCOLESTR code, LPCOLESTR item, LPCOLESTR subItem,
                            LPCOLESTR event, LPCOLESTR delimiter, DWORDLONG cookie, ULONG line, DWORD flags,
                            BSTR* name, EXCEPINFO* excep) noexcept override {
    RETURN_ENTER(L"AddScriptlet(" + Text(defaultName) + L"|" + Text(code) + L"|" + Text(item) + L"|" +
                 Text(subItem) + L"|" + Text(event) + L"|" + Text(delimiter) + L"|" +
                 std::to_wstring(cookie) + L"|" + std::to_wstring(line) + L"|" + Hex(flags) + L"|" +
                 (excep ? L"excep" : L"null") + L")");
    if (name) *name = SysAllocString(L"scriptlet");
    return S_OK;
  }
  STDMETHODIMP ParseScriptText(LPCOLESTR code, LPCOLESTR item, IUnknown* context, LPCOLESTR delimiter,
                               DWORDLONG cookie, ULONG line, DWORD flags, VARIANT* result,
                               EXCEPINFO* excep) noexcept override {
    RETURN_ENTER(L"ParseScriptText(" + Text(code) + L"|" + Text(item) + L"|" +
                 std::wstring(context ? L"ctx" : L"null") + L"|" + Text(delimiter) + L"|" +
                 std::to_wstring(cookie) + L"|" + std::to_wstring(line) + L"|" + Hex(flags) + L"|" +
                 (result ? L"result" : L"null") + L"|" + (excep ? L"excep" : L"null") + L")");
    if (!code) return E_POINTER;
    if (result) VariantInit(result);
    const Code c{code, static_cast<DWORD>(cookie), line};
    const bool now = (flags & SCRIPTTEXT_ISEXPRESSION) || state_ == SCRIPTSTATE_STARTED ||
                     state_ == SCRIPTSTATE_CONNECTED || state_ == SCRIPTSTATE_DISCONNECTED;
    if (!now) {
      try {
        pending_.push_back(c);
      } catch (...) {
        return E_OUTOFMEMORY;
      }
      return S_OK;
    }
    const HRESULT hr = Execute(c, excep, (flags & SCRIPTTEXT_ISEXPRESSION) ? result : nullptr);
    return hr;
  }

 private:
  HRESULT Execute(const Code& code, EXCEPINFO* excep, VARIANT* result) noexcept {
    try {
      std::wstring value = code.text;
      for (const std::wstring& command : Split(code.text, L";\n")) {
        const std::vector<std::wstring> w = Split(command, L" ");
        if (w.empty() || w[0].empty()) continue;
        const std::wstring& op = w[0];
        const std::wstring rest = command.size() > op.size() ? command.substr(op.size() + 1) : L"";
        if (op == L"later") {
          pending_.push_back(Code{rest, code.cookie, code.line});
        } else if (op == L"define" && w.size() >= 2) {
          global_->names.push_back(w[1]);
        } else if (op == L"result") {
          value = rest;
        } else if ((op == L"error" && w.size() >= 4) || (op == L"deferred" && w.size() >= 2)) {
          FakeScriptError* raw = nullptr;
          if (FAILED(FakeScriptError::CreateObject(&raw))) return E_OUTOFMEMORY;
          ComPtr<IActiveScriptError> err;
          err.attach(raw);
          raw->context = code.cookie;
          if (op == L"deferred") {
            raw->deferred = true;
            g_deferred.scode = static_cast<SCODE>(wcstoul(w[1].c_str(), nullptr, 16));
            g_deferred.description = w.size() > 2 ? rest.substr(w[1].size() + 1) : L"";
          } else {
            raw->scode = static_cast<SCODE>(wcstoul(w[1].c_str(), nullptr, 16));
            raw->line = wcstoul(w[2].c_str(), nullptr, 10);
            raw->position = wcstol(w[3].c_str(), nullptr, 10);
            const size_t skip = w[1].size() + w[2].size() + w[3].size() + 3;
            const std::vector<std::wstring> parts = Split(rest.size() > skip ? rest.substr(skip) : L"", L"|");
            auto part = [&parts](size_t i, Bstr& out) {
              if (i < parts.size() && !parts[i].empty()) out.reset(SysAllocString(parts[i].c_str()));
            };
            part(0, raw->source);
            part(1, raw->description);
            part(2, raw->sourceLine);
          }
          if (site_) {
            const HRESULT hr = site_->OnScriptError(err.get());
            Append(std::to_wstring(id_) + L":OnScriptError=" + Hex(static_cast<unsigned long>(hr)));
          }
        } else if (op == L"throw" && w.size() >= 2) {
          if (excep) {
            *excep = EXCEPINFO{};
            excep->scode = static_cast<SCODE>(wcstoul(w[1].c_str(), nullptr, 16));
            excep->bstrSource = SysAllocString(L"RecEngine");
            if (w.size() > 2) excep->bstrDescription = SysAllocString(rest.substr(w[1].size() + 1).c_str());
          }
          return DISP_E_EXCEPTION;
        } else if (op == L"item" && w.size() >= 3) {
          ComPtr<IUnknown> unk;
          ComPtr<ITypeInfo> ti;
          const DWORD mask = wcstoul(w[2].c_str(), nullptr, 0);
          const HRESULT hr = site_ ? site_->GetItemInfo(w[1].c_str(), mask, (mask & 1) ? unk.put() : nullptr,
                                                        (mask & 2) ? ti.put() : nullptr)
                                   : E_UNEXPECTED;
          Append(std::to_wstring(id_) + L":item(" + w[1] + L"," + w[2] + L")=" + Hex(static_cast<unsigned long>(hr)) +
                 L" unk=" + (unk ? L"1" : L"0") + L" ti=" + (ti ? L"1" : L"0"));
        } else if (op == L"call" && w.size() >= 3) {
          Append(std::to_wstring(id_) + L":call(" + w[1] + L"." + w[2] + L")=" +
                 CallItem(w[1], w[2], w.size() > 3 ? rest.substr(w[1].size() + w[2].size() + 2) : L"", w.size() > 3));
        }
      }
      if (result) {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocString(value.c_str());
      }
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

  std::wstring CallItem(const std::wstring& item, const std::wstring& member, const std::wstring& arg, bool hasArg) {
    ComPtr<IUnknown> unk;
    HRESULT hr = site_ ? site_->GetItemInfo(item.c_str(), SCRIPTINFO_IUNKNOWN, unk.put(), nullptr) : E_UNEXPECTED;
    ComPtr<IDispatch> disp;
    if (SUCCEEDED(hr)) hr = unk.query(disp);
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(member.c_str());
    if (SUCCEEDED(hr)) hr = disp->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
    Variant result;
    if (SUCCEEDED(hr)) {
      Variant argument;
      V_VT(argument.get()) = VT_BSTR;
      V_BSTR(argument.get()) = SysAllocString(arg.c_str());
      DISPPARAMS params = {argument.get(), nullptr, hasArg ? 1u : 0u, 0};
      EXCEPINFO excep = {};
      hr = disp->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, result.put(), &excep, nullptr);
      SysFreeString(excep.bstrSource);
      SysFreeString(excep.bstrDescription);
      SysFreeString(excep.bstrHelpFile);
    }
    std::wstring out = Hex(static_cast<unsigned long>(hr));
    Variant text;
    if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(text.put(), result.get(), VARIANT_ALPHABOOL, VT_BSTR)))
      out += L" " + Text(V_BSTR(text.get()));
    return out;
  }

  int id_ = 0;
  SCRIPTSTATE state_ = SCRIPTSTATE_UNINITIALIZED;
  bool initialized_ = false;
  ComPtr<IActiveScriptSite> site_;
  ComPtr<GlobalObject> global_;
  std::vector<std::wstring> items_;
  std::vector<Code> pending_;
};

class Factory final : public orv::ComObject<Factory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
    return Engine::Create(outer, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL) noexcept override { return S_OK; }
};

std::wstring ClsidText() {
  wchar_t text[40] = {};
  StringFromGUID2(CLSID_RecordingEngine, text, 40);
  return text;
}

LONG SetKey(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  orv::UniqueRegKey key;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

// The module frame's lock count is the only part of it this library uses.
namespace orv {
ModuleDescription& ThisModule() {
  static ModuleDescription none{nullptr, 0, nullptr};
  return none;
}
}  // namespace orv

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_RecordingEngine)) return CLASS_E_CLASSNOTAVAILABLE;
  return Factory::Create(nullptr, riid, ppv);
}

// The recording state must outlive every engine: the library stays loaded.
STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(g_module, path, MAX_PATH);
  const std::wstring clsid = ClsidText();
  const std::wstring key = L"CLSID\\" + clsid;
  LONG rc = SetKey(ORVANTA_RECENGINE_PROGID L"\\CLSID", nullptr, clsid);
  if (rc == ERROR_SUCCESS) rc = SetKey(key, nullptr, L"Orvanta recording test engine");
  if (rc == ERROR_SUCCESS) rc = SetKey(key + L"\\ProgID", nullptr, ORVANTA_RECENGINE_PROGID);
  if (rc == ERROR_SUCCESS) rc = SetKey(key + L"\\InprocServer32", nullptr, path);
  if (rc == ERROR_SUCCESS) rc = SetKey(key + L"\\InprocServer32", L"ThreadingModel", L"Both");
  return HRESULT_FROM_WIN32(rc);
}

STDAPI DllUnregisterServer() {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, ORVANTA_RECENGINE_PROGID);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + ClsidText()).c_str());
  return S_OK;
}

extern "C" void WINAPI RecEngineReset() {
  Recorder& r = Rec();
  LockGuard guard(r.lock);
  r.log.clear();
  r.failures.clear();
  r.probePrefix.clear();
  r.probeTarget.reset();
  r.engines = 0;
}

extern "C" void WINAPI RecEngineClearLog() {
  Recorder& r = Rec();
  LockGuard guard(r.lock);
  r.log.clear();
}

extern "C" HRESULT WINAPI RecEngineLog(BSTR* log) {
  if (!log) return E_POINTER;
  Recorder& r = Rec();
  LockGuard guard(r.lock);
  *log = SysAllocStringLen(r.log.data(), static_cast<UINT>(r.log.size()));
  return *log ? S_OK : E_OUTOFMEMORY;
}

extern "C" void WINAPI RecEngineFail(LPCWSTR prefix, HRESULT hr) {
  if (!prefix) return;
  Recorder& r = Rec();
  LockGuard guard(r.lock);
  for (size_t i = 0; i < r.failures.size(); ++i)
    if (r.failures[i].first == prefix) r.failures.erase(r.failures.begin() + static_cast<ptrdiff_t>(i--));
  if (hr != 0) r.failures.emplace_back(prefix, hr);
}

extern "C" void WINAPI RecEngineProbe(LPCWSTR prefix, IDispatch* manager) {
  Recorder& r = Rec();
  LockGuard guard(r.lock);
  r.probePrefix = prefix ? prefix : L"";
  r.probeTarget.reset(manager);
}
