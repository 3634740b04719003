// ScpMan (and its free-threaded twin ScpManFree): hosts one Active Scripting engine with
// an ordered collection of named items, runs and evaluates code, attaches event
// handlers, clones itself and keeps the last script error.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <activscp.h>

#include <atomic>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "components/script/ScriptError.h"

namespace orv {

// The manager's own item flag: the item is another manager whose running script stands
// in for it. Never passed to an engine (the top four bits of the word are cleared).
constexpr DWORD SCPITEM_SCRIPTMANAGER = 0x10000000;

class ScpMan;

// The site given to engines. It reaches its manager through a weak pointer, so an engine
// that holds its site does not keep the manager alive: the manager's final Release closes
// the engine, which then lets the site go.
class ScpManSite final : public ComObject<ScpManSite, IActiveScriptSite> {
 public:
  void Attach(ScpMan* owner) noexcept;
  void Detach() noexcept;

  STDMETHODIMP GetLCID(LCID* plcid) noexcept override;
  STDMETHODIMP GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem,
                           ITypeInfo** ppti) noexcept override;
  STDMETHODIMP GetDocVersionString(BSTR* pbstrVersion) noexcept override;
  STDMETHODIMP OnScriptTerminate(const VARIANT* pvarResult, const EXCEPINFO* pexcepinfo) noexcept override;
  STDMETHODIMP OnStateChange(SCRIPTSTATE ssScriptState) noexcept override;
  STDMETHODIMP OnScriptError(IActiveScriptError* pscripterror) noexcept override;
  STDMETHODIMP OnEnterScript() noexcept override;
  STDMETHODIMP OnLeaveScript() noexcept override;

 private:
  // The manager with a reference added, or null once it is gone.
  ScpMan* Acquire() noexcept;

  CriticalSection lock_;
  ScpMan* owner_ = nullptr;
};

class ScpMan final
    : public ComObject<ScpMan, Dual<IScpMan>, IDollyTheSheep, ErrorSupport<IScpMan>, IActiveScriptSite> {
 public:
  HRESULT FinalConstruct() noexcept;
  ~ScpMan() override;

  // IScpMan
  STDMETHODIMP get_versionString(BSTR* pVal) noexcept override;
  STDMETHODIMP Add(VARIANT varKey, VARIANT varItem, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_Count(LONG* pVal) noexcept override;
  STDMETHODIMP get_Item(VARIANT varIndex, VARIANT* pVal) noexcept override;
  STDMETHODIMP get_Key(VARIANT varKey, VARIANT* pVal) noexcept override;
  STDMETHODIMP get__NewEnum(IUnknown** ppUnk) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP Remove(VARIANT varIndex, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_locked(LONG* pVal) noexcept override;
  STDMETHODIMP LoadEngine(BSTR bstrEngine, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP AddText(BSTR bstrText, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP Run(VARIANT* pvarResult) noexcept override;
  STDMETHODIMP Stop() noexcept override;
  STDMETHODIMP Close() noexcept override;
  STDMETHODIMP get_script(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_lastError(BSTR* pVal) noexcept override;
  STDMETHODIMP AddEventHandler(BSTR bstrItem, BSTR bstrSubItem, BSTR bstrEvent, BSTR bstrCode,
                               VARIANT* pvarResult) noexcept override;
  STDMETHODIMP Connect(VARIANT* pvarResult) noexcept override;
  STDMETHODIMP AddEx(VARIANT varKey, VARIANT varItem, LONG lOptions, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP IsDefined(BSTR bstrName, VARIANT_BOOL* pbResult) noexcept override;
  STDMETHODIMP AddTextEx(BSTR bstrText, LONG lLineNumber, LONG lContext, VARIANT varItemCtx,
                         VARIANT_BOOL* pbResult) noexcept override;
  STDMETHODIMP get_lastErrorEx(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP Eval(BSTR bstrText, VARIANT vItemCtx, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_Option(VARIANT varIndex, LONG* pVal) noexcept override;
  STDMETHODIMP Clone(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_scriptObject(IDispatch** ppDisp) noexcept override;

  // IDollyTheSheep
  STDMETHODIMP NewClone(IUnknown** ppUnk) noexcept override;

  // IActiveScriptSite
  STDMETHODIMP GetLCID(LCID* plcid) noexcept override;
  STDMETHODIMP GetItemInfo(LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem,
                           ITypeInfo** ppti) noexcept override;
  STDMETHODIMP GetDocVersionString(BSTR* pbstrVersion) noexcept override;
  STDMETHODIMP OnScriptTerminate(const VARIANT* pvarResult, const EXCEPINFO* pexcepinfo) noexcept override;
  STDMETHODIMP OnStateChange(SCRIPTSTATE ssScriptState) noexcept override;
  STDMETHODIMP OnScriptError(IActiveScriptError* pscripterror) noexcept override;
  STDMETHODIMP OnEnterScript() noexcept override;
  STDMETHODIMP OnLeaveScript() noexcept override;

 private:
  struct NamedItem {
    Variant name;  // VT_BSTR, never empty
    Variant value;
    DWORD options = 0;
  };
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  size_t FindName(const wchar_t* name, UINT length) const noexcept;
  size_t FindIndex(const VARIANT* index) const noexcept;
  // Appends under the lock; false when the name is taken or memory runs out.
  bool Append(Variant&& name, Variant&& value, DWORD options) noexcept;
  // Parses code for AddText, AddTextEx and Eval (lock held, engine loaded).
  HRESULT ParseText(BSTR text, const VARIANT* itemCtx, DWORD context, ULONG line, DWORD flags,
                    VARIANT* result) noexcept;
  HRESULT AddTextCommon(BSTR text, const VARIANT* itemCtx, DWORD context, ULONG line, bool* ok) noexcept;
  // The value and flag word of a named item, copied under the lock.
  bool LookupItem(LPCOLESTR name, Variant& value, DWORD& options) noexcept;

  // Marks an engine call that may run script code. A script that closes its own manager
  // meanwhile (on the same thread) would pull the engine from under itself: that Close is
  // carried out when the outermost such call returns.
  class EngineCall {
   public:
    explicit EngineCall(ScpMan* owner) noexcept;
    ~EngineCall();
    EngineCall(const EngineCall&) = delete;
    EngineCall& operator=(const EngineCall&) = delete;

   private:
    ScpMan* owner_;
  };

  CriticalSection lock_;
  DWORD callThread_ = 0;   // the thread inside EngineCall, with its depth
  LONG callDepth_ = 0;
  bool closeDeferred_ = false;
  std::vector<NamedItem> items_;
  ComPtr<IActiveScript> engine_;
  std::atomic<LONG> locked_{0};
  ScriptErrorRecord lastError_;
  ComPtr<ScpManSite> site_;
  // The copy NewClone is building, so that an item referring back to this manager
  // (directly or through others) maps to the copy instead of recursing without end.
  ScpMan* cloneInProgress_ = nullptr;
};

}  // namespace orv
