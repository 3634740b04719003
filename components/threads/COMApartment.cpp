// COMApartment: the apartment's start and stop sequences (60000 ms each, then the thread
// is killed). The creator is made on the apartment thread; calls to it run on the
// caller's thread like any call inside the multithreaded apartment.
#include "components/threads/COMApartment.h"

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VessaCreator.h"

namespace orv {

HRESULT ApartmentBlock::Init(bool multiThreaded) noexcept {
  multiThreaded_ = multiThreaded;
  return CreateManualEvent(signal);
}

void ApartmentBlock::Run() noexcept {
  // Without the multithreaded flag the apartment never starts.
  if (!multiThreaded_ || FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    clearThreadId();
    startStatus = E_FAIL;
    SetEvent(signal.get());
    return;
  }
  ComPtr<IDispatch> creator;
  if (FAILED(VessaCreator::Create(nullptr, IID_IDispatch, creator.put_void())) || !creator) {
    BeginTeardown();
    clearThreadId();
    startStatus = E_FAIL;
    SetEvent(signal.get());
    CoUninitialize();
    return;
  }
  creatorForOwner = creator;
  startStatus = S_OK;
  CreateMessageQueue();
  SetEvent(signal.get());
  RunMessageLoop([] {});
  BeginTeardown();
  clearThreadId();
  startStatus = S_OK;
  creator.reset();
  CoUninitialize();
  SetEvent(signal.get());
}

HRESULT COMApartment::FinalConstruct() noexcept {
  LockGuard guard(lock_);
  return Start();
}

COMApartment::~COMApartment() {
  Stop();
  if (block_) block_->Release();
}

bool COMApartment::Running() noexcept {
  if (!thread_) return false;
  if (block_->threadId() != 0) return true;
  thread_.reset();
  return false;
}

HRESULT COMApartment::Start() noexcept {
  Stop();
  auto* block = new (std::nothrow) ApartmentBlock();
  RETURN_IF_NULL_ALLOC(block);
  if (FAILED(block->Init(multiThreaded_ != 0))) {
    block->Release();
    return E_FAIL;
  }
  if (block_) block_->Release();
  block_ = block;
  RETURN_IF_FAILED(LaunchThread(block_, thread_));
  if (!WaitSignalled(block_->signal.get(), static_cast<LONG>(kDefaultThreadTimeout))) {
    KillThread(block_, thread_);
    return E_FAIL;
  }
  if (FAILED(block_->startStatus.load())) {
    WaitForSingleObject(thread_.get(), 5000);
    thread_.reset();
    return E_FAIL;
  }
  creator_ = std::move(block_->creatorForOwner);
  return S_OK;
}

// The creator goes first; then the thread is asked to end and, if it does not answer
// within 60000 ms, killed.
void COMApartment::Stop() noexcept {
  creator_.reset();
  if (Running()) StopThread(block_, thread_, block_->signal.get(), static_cast<LONG>(kDefaultThreadTimeout));
}

STDMETHODIMP COMApartment::get_Creator(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!Running()) return ReportError(CLSID_COMApartment, 10155);
  if (!creator_) return E_FAIL;
  return creator_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP COMApartment::Destroy() noexcept {
  LockGuard guard(lock_);
  Stop();
  return S_OK;
}

STDMETHODIMP COMApartment::get_IsAlive(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  return SetSuccessFlag(pVal, Running() && creator_);
}

STDMETHODIMP COMApartment::get_MultiThreaded(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = multiThreaded_;
  return S_OK;
}

STDMETHODIMP COMApartment::get_Priority(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  LockGuard guard(lock_);
  if (!Running()) return ReportError(CLSID_COMApartment, 10155);
  *pVal = GetThreadPriority(thread_.get());
  return S_OK;
}

STDMETHODIMP COMApartment::put_Priority(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (!Running()) return ReportError(CLSID_COMApartment, 10155);
  SetThreadPriority(thread_.get(), newVal);
  return S_OK;
}

STDMETHODIMP COMApartment::BinRestart(LONG bMultiThreaded) noexcept {
  LockGuard guard(lock_);
  multiThreaded_ = bMultiThreaded ? 1 : 0;
  return Start();
}

}  // namespace orv
