// COMScriptThread: a second script on a thread of its own, in its own script manager.
// The thread runs the script's global code as its first job and then calls the script's
// routines by name, one at a time, in the background. Owner and script share one
// VarDictionary: `Value` for the owner, the named item "Context" for the script; the
// script may also get an object creator as "Creator". Most failures are not raised: the
// methods answer false and leave a text in lastError.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "components/threads/ThreadLaunch.h"

namespace orv {

// What the owner and one launch of the script thread share. The owner writes the job
// before posting it and reads the outcome while the done event is set; `data` guards
// the short copies of both.
class ScriptBlock final : public ThreadBlock {
 public:
  HRESULT Init(HANDLE done) noexcept;

  // Set by Start before the launch, read by the thread.
  std::wstring language, scriptText;
  bool multiThreaded = true, addCreator = true;
  LONG priority = THREAD_PRIORITY_LOWEST;
  ComPtr<IDispatch> context;

  CriticalSection data;
  std::wstring member;
  HRESULT status = S_OK;
  Variant result;
  std::wstring lastError;

  void SetError(UINT id) noexcept;
  // After the thread was killed: the manager it left behind is cleared and released.
  void DropManager() noexcept;

 private:
  ~ScriptBlock() override = default;
  void Run() noexcept override;
  // Steps of the thread's set-up; each fails with the text for lastError.
  bool PrepareManager() noexcept;
  void RunJob() noexcept;
  void RunGlobalCode() noexcept;
  void CallRoutine(const std::wstring& name) noexcept;
  std::wstring ManagerError() noexcept;
  void SetOutcome(HRESULT hr, SHORT value, const std::wstring* error) noexcept;
  void FailInit(const std::wstring& error) noexcept;

  UniqueHandle done_;  // the owner's done event, duplicated for this launch
 public:
  // Set once the thread has finished its set-up (the engine loaded and the script added,
  // or the set-up failed). A thread is killed only after this: killed while it loads the
  // engine, it could leave the process's loader or heap lock held for good.
  UniqueHandle settled;
  ComPtr<IScpMan> manager_;
  ComPtr<IDispatch> script_;
};

// The value a routine returned with objects reduced to plain values (each replaced by
// its default property, DISPID 0, until none is left).
HRESULT ReduceToPlainValue(VARIANT* value) noexcept;

class COMScriptThread final
    : public ComObject<COMScriptThread, Dual<ICOMScriptThread>, ErrorSupport<ICOMScriptThread>> {
 public:
  HRESULT FinalConstruct() noexcept;
  ~COMScriptThread() override;

  // ICOMScriptThread, in interface order
  STDMETHODIMP get_Value(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_Busy(LONG* pVal) noexcept override;
  STDMETHODIMP get_Timeout(LONG* pVal) noexcept override;
  STDMETHODIMP put_Timeout(LONG newVal) noexcept override;
  STDMETHODIMP get_MultiThreaded(LONG* pVal) noexcept override;
  STDMETHODIMP put_MultiThreaded(LONG newVal) noexcept override;
  STDMETHODIMP get_Priority(LONG* pVal) noexcept override;
  STDMETHODIMP put_Priority(LONG newVal) noexcept override;
  STDMETHODIMP get_Success(LONG* pVal) noexcept override;
  STDMETHODIMP get_lastError(BSTR* pVal) noexcept override;
  STDMETHODIMP Start(BSTR bstrLang, BSTR bstrScript, LONG lWait, LONG* pVal) noexcept override;
  STDMETHODIMP Execute(BSTR bstrMember, LONG lWait, LONG* pVal) noexcept override;
  STDMETHODIMP Stop() noexcept override;
  STDMETHODIMP Wait(LONG lWait, LONG* pVal) noexcept override;
  STDMETHODIMP get_Result(VARIANT* pVal) noexcept override;
  STDMETHODIMP get_AddCreator(LONG* pVal) noexcept override;
  STDMETHODIMP put_AddCreator(LONG newVal) noexcept override;
  STDMETHODIMP get_Active(LONG* pVal) noexcept override;

 private:
  // Lock held.
  bool Running() noexcept;
  HRESULT NewBlock(ScriptBlock** out) noexcept;
  void KillScriptThread() noexcept;
  void StopThread() noexcept;

  CriticalSection lock_;
  UniqueHandle done_;        // set whenever no job runs; Busy and Wait read it without the lock
  ScriptBlock* block_ = nullptr;
  UniqueHandle thread_;
  ComPtr<IDispatch> context_;
  LONG timeout_ = static_cast<LONG>(kDefaultThreadTimeout);
  SHORT multiThreaded_ = 1;
  SHORT addCreator_ = 1;
  LONG priority_ = THREAD_PRIORITY_LOWEST;
};

}  // namespace orv
