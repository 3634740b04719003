// COMThread (and its free-threaded twin COMThreadFree): a worker thread in the
// multithreaded apartment to which the owner hands one call at a time (an object and a
// member name or DISPID). The call runs in the background; the owner polls Busy, waits
// and reads Success and Result. The class offers a connection point for
// _ICOMThreadEvents, which has no events.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "components/threads/ThreadLaunch.h"

namespace orv {

// What the owner and one worker launch share: the events, the handed-over call and its
// outcome. The worker never takes the owner's lock; `data` guards only short copies.
class WorkerBlock final : public ThreadBlock {
 public:
  HRESULT Init(bool multiThreaded) noexcept;

  UniqueHandle ack, idle;
  std::atomic<IDispatch*> target{nullptr};  // held from Execute until the worker takes it
  CriticalSection data;
  Variant member;
  HRESULT status = S_OK;
  Variant result;

  HRESULT Status() noexcept;
  void SetStatus(HRESULT hr) noexcept;
  // Drops a target the worker has not taken.
  void DropTarget() noexcept;

 private:
  ~WorkerBlock() override;
  void Run() noexcept override;
  void RunCall() noexcept;
  // The DISPID the member names: numbers (and objects) convert to it, other values are
  // looked up by their text.
  HRESULT ResolveMember(DISPID* id, Bstr& name) noexcept;

  bool multiThreaded_ = true;
};

// The one connection point of COMThread; it lives inside its object (its references are
// the object's) and keeps the sinks until they unadvise.
class ThreadEventsPoint final : public IConnectionPoint {
 public:
  explicit ThreadEventsPoint(IConnectionPointContainer* owner) noexcept : owner_(owner) {}
  ~ThreadEventsPoint();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() noexcept override { return owner_->Release(); }
  STDMETHODIMP GetConnectionInterface(IID* pIID) noexcept override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept override;
  STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept override;
  STDMETHODIMP Unadvise(DWORD dwCookie) noexcept override;
  STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) noexcept override;

 private:
  IConnectionPointContainer* owner_;
  CriticalSection lock_;
  std::vector<std::pair<DWORD, IUnknown*>> sinks_;
  DWORD nextCookie_ = 1;
};

class COMThread final
    : public ComObject<COMThread, Dual<ICOMThread>, ErrorSupport<ICOMThread>, IConnectionPointContainer> {
 public:
  ~COMThread() override;

  // ICOMThread, in interface order
  STDMETHODIMP Activate() noexcept override;
  STDMETHODIMP Deactivate() noexcept override;
  STDMETHODIMP get_Active(LONG* pVal) noexcept override;
  STDMETHODIMP Terminate() noexcept override;
  STDMETHODIMP Execute(IDispatch* pObj, VARIANT vMethod) noexcept override;
  STDMETHODIMP Wait(LONG lTimeout, LONG* pVal) noexcept override;
  STDMETHODIMP get_Busy(LONG* pVal) noexcept override;
  STDMETHODIMP get_Success(LONG* pVal) noexcept override;
  STDMETHODIMP get_Result(VARIANT* pVal) noexcept override;
  STDMETHODIMP get_MultiThreaded(LONG* pVal) noexcept override;
  STDMETHODIMP put_MultiThreaded(LONG newVal) noexcept override;
  STDMETHODIMP get_Timeout(LONG* pVal) noexcept override;
  STDMETHODIMP put_Timeout(LONG newVal) noexcept override;
  STDMETHODIMP get_Priority(LONG* pVal) noexcept override;
  STDMETHODIMP put_Priority(LONG newVal) noexcept override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept override;

 private:
  // Lock held: a thread runs (a handle whose thread has ended is closed here).
  bool Running() noexcept;
  bool Busy() noexcept;
  HRESULT Fail(UINT id) noexcept;

  CriticalSection lock_;
  WorkerBlock* block_ = nullptr;  // the latest launch; none before the first Activate
  UniqueHandle thread_;
  LONG timeout_ = static_cast<LONG>(kDefaultThreadTimeout);
  SHORT multiThreaded_ = 1;
  LONG priority_ = THREAD_PRIORITY_LOWEST;
  ThreadEventsPoint events_{this};
};

}  // namespace orv
