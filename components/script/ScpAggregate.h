// ScpAggregate (and its free-threaded twin ScpAggregateFree): several scripts in
// different languages run as one program. One script manager per language, plus one
// without engine that keeps the named items common to all; once running, every
// language's script sees every other language's globals by bare name.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class ScpAggregate final : public ComObject<ScpAggregate, Dual<IScpAggregate>, ErrorSupport<IScpAggregate>> {
 public:
  HRESULT FinalConstruct() noexcept;
  ~ScpAggregate() override;

  // IScpAggregate, in interface order
  STDMETHODIMP get_Item(VARIANT varIndex, VARIANT* pVal) noexcept override;
  STDMETHODIMP get_versionString(BSTR* pVal) noexcept override;
  STDMETHODIMP AddEx(VARIANT varKey, VARIANT varItem, LONG lOptions, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_Count(LONG* pVal) noexcept override;
  STDMETHODIMP get_Key(VARIANT varKey, VARIANT* pVal) noexcept override;
  STDMETHODIMP get__NewEnum(IUnknown** ppUnk) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP Remove(VARIANT varIndex, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP AddEngine(BSTR bstrEngine, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP AddTextEx(BSTR bstrLanguage, BSTR bstrText, LONG lLineNumber, LONG lContext, VARIANT varItemCtx,
                         VARIANT_BOOL* pbResult) noexcept override;
  STDMETHODIMP Run(LONG lOrder, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP Stop() noexcept override;
  STDMETHODIMP Close() noexcept override;
  STDMETHODIMP get_script(VARIANT varLanguage, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_lastError(BSTR* pVal) noexcept override;
  STDMETHODIMP AddEventHandler(BSTR bstrItem, BSTR bstrSubItem, BSTR bstrEvent, BSTR bstrCode, BSTR bstrLanguage,
                               VARIANT* pvarResult) noexcept override;
  STDMETHODIMP Connect(VARIANT* pvarResult) noexcept override;
  STDMETHODIMP IsDefined(BSTR bstrName, VARIANT_BOOL* pbResult) noexcept override;
  STDMETHODIMP Add(VARIANT vKey, VARIANT vItem, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP AddText(BSTR bstrLanguage, BSTR bstrText, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_Option(VARIANT varIndex, LONG* pVal) noexcept override;
  STDMETHODIMP get_lastErrorEx(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP WhereIsDefined(VARIANT varMember, LONG lType, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_scriptObject(VARIANT varLanguage, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_errorHost(LONG* pVal) noexcept override;
  STDMETHODIMP put_errorHost(LONG newVal) noexcept override;

 private:
  struct Engine {
    std::wstring language;
    ComPtr<IScpMan> manager;
  };
  // Error sources besides an engine position.
  static constexpr LONG kNoErrorSource = -1;
  static constexpr LONG kItemManager = -2;
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  size_t FindLanguage(std::wstring_view language) const noexcept;
  // The engine a `script` argument names: missing means the first, a number a position.
  size_t FindScriptLanguage(const VARIANT* language) const noexcept;
  // The language code is added to (lock held): S_FALSE when unknown, E_INVALIDARG
  // without code; otherwise it becomes the error source.
  HRESULT SelectLanguage(BSTR language, BSTR code, size_t& at) noexcept;
  HRESULT CopyCommonItems(IScpMan* target) noexcept;
  // Makes `other`'s globals global members of `target`, under the next binding name.
  HRESULT Bind(IScpMan* target, IScpMan* other) noexcept;
  void BindEveryPair() noexcept;
  HRESULT RunEngine(size_t position) noexcept;
  HRESULT ScriptOf(const VARIANT* language, bool object, IDispatch** ppDisp) noexcept;

  CriticalSection lock_;
  ComPtr<IScpMan> items_;
  std::vector<Engine> engines_;
  bool active_ = false;
  bool bindingPending_ = false;
  LONG errorSource_ = kNoErrorSource;
  ULONG bindingCounter_ = 0;
  LONG runOrder_ = 0;
  LONG runState_ = 0;  // 0 stopped, 1 run, 2 connected
};

}  // namespace orv
