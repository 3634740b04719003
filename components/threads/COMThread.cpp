// COMThread: the start, hand-over and stop sequences of the worker, ordered by the
// acknowledge and idle events. Every interface method holds the object lock for its
// whole run, waits included; the worker never takes it.
#include "components/threads/COMThread.h"

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"

namespace orv {

// ---------------------------------------------------------------------------------------
// The worker

HRESULT WorkerBlock::Init(bool multiThreaded) noexcept {
  multiThreaded_ = multiThreaded;
  RETURN_IF_FAILED(CreateManualEvent(ack));
  return CreateManualEvent(idle);
}

WorkerBlock::~WorkerBlock() { DropTarget(); }

HRESULT WorkerBlock::Status() noexcept {
  LockGuard guard(data);
  return status;
}

void WorkerBlock::SetStatus(HRESULT hr) noexcept {
  LockGuard guard(data);
  status = hr;
}

void WorkerBlock::DropTarget() noexcept {
  if (IDispatch* old = target.exchange(nullptr)) old->Release();
}

void WorkerBlock::Run() noexcept {
  const HRESULT init = multiThreaded_ ? CoInitializeEx(nullptr, COINIT_MULTITHREADED) : E_FAIL;
  if (FAILED(init)) {
    clearThreadId();
    SetStatus(E_FAIL);
    SetEvent(ack.get());
    return;
  }
  SetStatus(S_OK);
  CreateMessageQueue();
  SetEvent(idle.get());
  SetEvent(ack.get());
  RunMessageLoop([this] { RunCall(); });
  BeginTeardown();
  clearThreadId();
  SetStatus(S_OK);
  CoUninitialize();
  SetEvent(ack.get());
}

HRESULT WorkerBlock::ResolveMember(DISPID* id, Bstr& name) noexcept {
  Variant copy;
  {
    LockGuard guard(data);
    RETURN_IF_FAILED(copy.copy_from(member.get()));
  }
  switch (copy.vt()) {
    case VT_I2: case VT_I4: case VT_DISPATCH: case VT_UNKNOWN:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: {
      Variant number;
      RETURN_IF_FAILED(VariantChangeType(number.get(), copy.get(), 0, VT_I4));
      *id = V_I4(number.get());
      return S_OK;
    }
    default: {
      Variant text;
      RETURN_IF_FAILED(VariantChangeType(text.get(), copy.get(), 0, VT_BSTR));
      name.reset(V_BSTR(text.get()));
      V_VT(text.get()) = VT_EMPTY;  // the text now belongs to `name`
      *id = DISPID_UNKNOWN;
      return S_OK;
    }
  }
}

void WorkerBlock::RunCall() noexcept {
  ResetEvent(idle.get());
  ComPtr<IDispatch> callee;
  callee.attach(target.exchange(nullptr));
  if (!callee) {
    SetStatus(E_FAIL);
    SetEvent(idle.get());
    SetEvent(ack.get());
    return;
  }
  DISPID id = DISPID_UNKNOWN;
  Bstr name;
  const HRESULT converted = ResolveMember(&id, name);
  if (FAILED(converted)) {
    SetStatus(converted);
    SetEvent(idle.get());
    SetEvent(ack.get());
    return;
  }
  SetEvent(ack.get());  // the owner's Execute returns now

  HRESULT hr = S_OK;
  if (name.get()) {
    LPOLESTR names[] = {name.get()};
    hr = callee->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  }
  Variant returned;
  if (SUCCEEDED(hr)) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXCEPINFO excep = {};
    hr = callee->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &none, returned.get(), &excep, nullptr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  if (SUCCEEDED(hr) && returned.vt() == VT_ERROR) hr = V_ERROR(returned.get());
  {
    LockGuard guard(data);
    result.reset();
    if (FAILED(hr)) {
      status = hr;
    } else {
      status = S_OK;
      const HRESULT copied = VariantCopy(result.get(), returned.get());
      if (FAILED(copied)) {
        V_VT(result.get()) = VT_ERROR;
        V_ERROR(result.get()) = copied;
      }
    }
  }
  callee.reset();  // the target is released on the worker, where it was called
  SetEvent(idle.get());
}

// ---------------------------------------------------------------------------------------
// The connection point

ThreadEventsPoint::~ThreadEventsPoint() {
  for (auto& sink : sinks_) sink.second->Release();
}

STDMETHODIMP ThreadEventsPoint::QueryInterface(REFIID riid, void** ppv) noexcept {
  RETURN_POINTER_IF_NULL(ppv);
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
  *ppv = static_cast<IConnectionPoint*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP ThreadEventsPoint::GetConnectionInterface(IID* pIID) noexcept {
  RETURN_POINTER_IF_NULL(pIID);
  *pIID = DIID__ICOMThreadEvents;
  return S_OK;
}

STDMETHODIMP ThreadEventsPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept {
  RETURN_POINTER_IF_NULL(ppCPC);
  *ppCPC = owner_;
  owner_->AddRef();
  return S_OK;
}

STDMETHODIMP ThreadEventsPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) noexcept {
  RETURN_POINTER_IF_NULL(pdwCookie);
  *pdwCookie = 0;
  RETURN_POINTER_IF_NULL(pUnkSink);
  // A sink answers the outgoing interface, or IDispatch as script sinks do.
  IUnknown* sink = nullptr;
  if (FAILED(pUnkSink->QueryInterface(DIID__ICOMThreadEvents, reinterpret_cast<void**>(&sink))) &&
      FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink))))
    return CONNECT_E_CANNOTCONNECT;
  LockGuard guard(lock_);
  try {
    sinks_.emplace_back(nextCookie_, sink);
  } catch (...) {
    sink->Release();
    return E_OUTOFMEMORY;
  }
  *pdwCookie = nextCookie_++;
  return S_OK;
}

STDMETHODIMP ThreadEventsPoint::Unadvise(DWORD dwCookie) noexcept {
  IUnknown* sink = nullptr;
  {
    LockGuard guard(lock_);
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (it->first != dwCookie) continue;
      sink = it->second;
      sinks_.erase(it);
      break;
    }
  }
  if (!sink) return CONNECT_E_NOCONNECTION;
  sink->Release();  // outside the lock: the sink may call back
  return S_OK;
}

STDMETHODIMP ThreadEventsPoint::EnumConnections(IEnumConnections** ppEnum) noexcept {
  RETURN_POINTER_IF_NULL(ppEnum);
  *ppEnum = nullptr;
  return E_NOTIMPL;
}

namespace {

// The container's list of its one connection point.
class OnePointEnum final : public ComObject<OnePointEnum, IEnumConnectionPoints> {
 public:
  void Init(IConnectionPoint* point, ULONG at) noexcept {
    point_.reset(point);
    at_ = at;
  }
  STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) noexcept override {
    RETURN_POINTER_IF_NULL(points);
    if (count != 1 && !fetched) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && at_ == 0) {
      point_.copy_to(&points[0]);
      at_ = 1;
      n = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) noexcept override {
    const ULONG left = 1 - at_;
    at_ = count >= left ? 1 : at_ + count;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() noexcept override {
    at_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumConnectionPoints** ppEnum) noexcept override {
    RETURN_POINTER_IF_NULL(ppEnum);
    *ppEnum = nullptr;
    OnePointEnum* copy = nullptr;
    RETURN_IF_FAILED(CreateObject(&copy));
    copy->Init(point_.get(), at_);
    *ppEnum = copy;
    return S_OK;
  }

 private:
  ComPtr<IConnectionPoint> point_;
  ULONG at_ = 0;
};

}  // namespace

STDMETHODIMP COMThread::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept {
  RETURN_POINTER_IF_NULL(ppEnum);
  *ppEnum = nullptr;
  OnePointEnum* list = nullptr;
  RETURN_IF_FAILED(OnePointEnum::CreateObject(&list));
  list->Init(&events_, 0);
  *ppEnum = list;
  return S_OK;
}

STDMETHODIMP COMThread::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept {
  RETURN_POINTER_IF_NULL(ppCP);
  *ppCP = nullptr;
  if (!IsEqualIID(riid, DIID__ICOMThreadEvents)) return CONNECT_E_NOCONNECTION;
  *ppCP = &events_;
  events_.AddRef();
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// The owner

COMThread::~COMThread() {
  // Final release stops a running worker with the timeout, then kills it; the block
  // outlives this object while the worker still holds it.
  if (Running()) StopThread(block_, thread_, block_->ack.get(), timeout_);
  if (block_) block_->Release();
}

HRESULT COMThread::Fail(UINT id) noexcept { return ReportError(CLSID_COMThread, id); }

bool COMThread::Running() noexcept {
  if (!thread_) return false;
  if (block_->threadId() != 0) return true;
  thread_.reset();
  return false;
}

bool COMThread::Busy() noexcept { return !block_ || !IsSignalled(block_->idle.get()); }

STDMETHODIMP COMThread::Activate() noexcept {
  LockGuard guard(lock_);
  if (Running()) return Fail(10158);
  auto* block = new (std::nothrow) WorkerBlock();
  RETURN_IF_NULL_ALLOC(block);
  const HRESULT init = block->Init(multiThreaded_ != 0);
  if (FAILED(init)) {
    block->Release();
    return init;
  }
  if (block_) block_->Release();
  block_ = block;
  RETURN_IF_FAILED(LaunchThread(block_, thread_));
  if (!WaitSignalled(block_->ack.get(), timeout_)) {
    KillThread(block_, thread_);
    return E_FAIL;
  }
  if (FAILED(block_->Status())) {
    WaitForSingleObject(thread_.get(), 5000);
    thread_.reset();
    return E_FAIL;
  }
  SetThreadPriority(thread_.get(), priority_);  // not checked
  ResetEvent(block_->ack.get());
  return S_OK;
}

STDMETHODIMP COMThread::Deactivate() noexcept {
  LockGuard guard(lock_);
  if (!Running()) return Fail(10157);
  if (Busy()) return Fail(10156);
  StopThread(block_, thread_, block_->ack.get(), timeout_);
  return S_OK;
}

STDMETHODIMP COMThread::get_Active(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  return SetSuccessFlag(pVal, Running());
}

STDMETHODIMP COMThread::Terminate() noexcept {
  LockGuard guard(lock_);
  if (!Running()) return Fail(10157);
  KillThread(block_, thread_);
  return S_OK;
}

STDMETHODIMP COMThread::Execute(IDispatch* pObj, VARIANT vMethod) noexcept {
  LockGuard guard(lock_);
  if (!Running()) return Fail(10157);
  if (Busy()) return Fail(10156);
  RETURN_POINTER_IF_NULL(pObj);
  Variant method;
  RETURN_IF_FAILED(method.copy_from(&vMethod));
  {
    LockGuard data(block_->data);
    block_->status = S_OK;
    block_->result.reset();
    block_->member = std::move(method);
  }
  pObj->AddRef();
  if (IDispatch* old = block_->target.exchange(pObj)) old->Release();
  ResetEvent(block_->ack.get());
  if (PostThreadMessageW(block_->threadId(), kRunJobMessage, 0, 0) && WaitSignalled(block_->ack.get(), timeout_))
    return S_OK;
  // Not taken in time: the call is abandoned.
  block_->DropTarget();
  ResetEvent(block_->ack.get());
  {
    LockGuard data(block_->data);
    block_->member.reset();
    block_->result.reset();
    block_->status = E_FAIL;
  }
  SetEvent(block_->idle.get());
  return E_FAIL;
}

STDMETHODIMP COMThread::Wait(LONG lTimeout, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  LockGuard guard(lock_);
  if (!Running()) return Fail(10157);
  return SetSuccessFlag(pVal, WaitSignalled(block_->idle.get(), lTimeout));
}

STDMETHODIMP COMThread::get_Busy(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  return SetSuccessFlag(pVal, Busy());
}

STDMETHODIMP COMThread::get_Success(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  LockGuard guard(lock_);
  if (Busy()) return Fail(10156);
  return SetSuccessFlag(pVal, block_->Status() >= 0);
}

STDMETHODIMP COMThread::get_Result(VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  if (Busy()) return Fail(10156);
  LockGuard data(block_->data);
  return VariantCopy(pVal, block_->result.get());
}

STDMETHODIMP COMThread::get_MultiThreaded(LONG* pVal) noexcept { return ReadLocked(lock_, multiThreaded_, pVal); }

// Any value is stored (as the 16-bit flag it is); it takes effect at the next Activate.
STDMETHODIMP COMThread::put_MultiThreaded(LONG newVal) noexcept { return WriteLocked(lock_, multiThreaded_, newVal); }

STDMETHODIMP COMThread::get_Timeout(LONG* pVal) noexcept { return ReadLocked(lock_, timeout_, pVal); }

STDMETHODIMP COMThread::put_Timeout(LONG newVal) noexcept { return WriteLocked(lock_, timeout_, newVal); }

STDMETHODIMP COMThread::get_Priority(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = Running() ? GetThreadPriority(thread_.get()) : priority_;
  return S_OK;
}

STDMETHODIMP COMThread::put_Priority(LONG newVal) noexcept {
  LockGuard guard(lock_);
  priority_ = newVal;
  if (Running()) SetThreadPriority(thread_.get(), newVal);
  return S_OK;
}

}  // namespace orv
