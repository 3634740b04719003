// COMScriptThread: the script thread's set-up, its jobs and the owner's Start, Execute
// and Stop. The script runs entirely on its thread; the owner never calls the engine.
#include "components/threads/COMScriptThread.h"

#include "components/config/VarDictionary.h"
#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VessaCreator.h"
#include "components/script/ScpMan.h"

namespace orv {

namespace {

// How long a Start that timed out lets the thread finish its set-up before it kills it.
constexpr LONG kSettleGraceMs = 10000;

// Default values are followed this many times; an object whose default value is always
// another object (itself, say) fails instead of looping for ever.
constexpr int kMaxReductions = 16;

bool IsTrue(const VARIANT& flag) noexcept {
  return (V_VT(&flag) == VT_BOOL && V_BOOL(&flag) != 0) || (V_VT(&flag) == VT_I4 && V_I4(&flag) != 0);
}

void SetI2(Variant& v, SHORT value) noexcept {
  v.reset();
  V_VT(v.get()) = VT_I2;
  V_I2(v.get()) = value;
}

}  // namespace

HRESULT ReduceToPlainValue(VARIANT* value) noexcept {
  for (int step = 0; V_VT(value) == VT_DISPATCH || V_VT(value) == VT_UNKNOWN; ++step) {
    if (step == kMaxReductions) return E_FAIL;
    ComPtr<IDispatch> object;
    IUnknown* unk = V_VT(value) == VT_DISPATCH ? V_DISPATCH(value) : V_UNKNOWN(value);
    if (!unk) return E_POINTER;
    RETURN_IF_FAILED(unk->QueryInterface(IID_IDispatch, object.put_void()));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Variant inner;
    RETURN_IF_FAILED(object->Invoke(DISPID_VALUE, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                    inner.get(), nullptr, nullptr));
    VariantClear(value);
    inner.release_to(value);
  }
  return S_OK;
}

// ---------------------------------------------------------------------------------------
// The script thread

HRESULT ScriptBlock::Init(HANDLE done) noexcept {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), done, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return HRESULT_FROM_WIN32(GetLastError());
  done_.reset(copy);
  settled.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  return settled ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void ScriptBlock::SetError(UINT id) noexcept {
  LockGuard guard(data);
  try {
    lastError = MessageText(id);
  } catch (...) {
  }
}

std::wstring ScriptBlock::ManagerError() noexcept {
  Bstr text;
  if (!manager_ || FAILED(manager_->get_lastError(text.put()))) return {};
  return text.c_str();
}

void ScriptBlock::SetOutcome(HRESULT hr, SHORT value, const std::wstring* error) noexcept {
  LockGuard guard(data);
  status = hr;
  SetI2(result, value);
  try {
    if (error) lastError = *error;
  } catch (...) {
  }
}

void ScriptBlock::FailInit(const std::wstring& error) noexcept {
  LockGuard guard(data);
  status = E_FAIL;
  try {
    lastError = error;
  } catch (...) {
  }
}

bool ScriptBlock::PrepareManager() noexcept {
  try {
    if (FAILED(ScpMan::Create(nullptr, __uuidof(IScpMan), manager_.put_void())) || !manager_) {
      FailInit(MessageText(10168));
      return false;
    }
    Variant added;
    Variant name;
    V_VT(name.get()) = VT_BSTR;
    V_BSTR(name.get()) = SysAllocString(L"Context");
    Variant item;
    V_VT(item.get()) = VT_DISPATCH;
    V_DISPATCH(item.get()) = context.get();
    context->AddRef();
    if (FAILED(manager_->Add(*name.get(), *item.get(), added.get())) || !IsTrue(*added.get())) {
      FailInit(MessageText(10169));
      return false;
    }
    if (addCreator) {
      ComPtr<IDispatch> creator;
      Variant creatorName, creatorItem;
      V_VT(creatorName.get()) = VT_BSTR;
      V_BSTR(creatorName.get()) = SysAllocString(L"Creator");
      if (FAILED(VessaCreator::Create(nullptr, IID_IDispatch, creator.put_void())) || !creator) {
        FailInit(MessageText(10169));
        return false;
      }
      V_VT(creatorItem.get()) = VT_DISPATCH;
      V_DISPATCH(creatorItem.get()) = creator.release();
      if (FAILED(manager_->Add(*creatorName.get(), *creatorItem.get(), added.put())) || !IsTrue(*added.get())) {
        FailInit(MessageText(10169));
        return false;
      }
    }
    Bstr lang(language.c_str());
    if (FAILED(manager_->LoadEngine(lang.get(), added.put())) || !IsTrue(*added.get())) {
      FailInit(ManagerError());
      return false;
    }
    Bstr text(scriptText.c_str(), static_cast<UINT>(scriptText.size()));
    if (FAILED(manager_->AddText(text.get(), added.put())) || !IsTrue(*added.get())) {
      std::wstring error = ManagerError();
      FailInit(error.empty() ? MessageText(10170) : error);
      return false;
    }
    return true;
  } catch (...) {
    FailInit(std::wstring());
    return false;
  }
}

void ScriptBlock::Run() noexcept {
  const bool com = multiThreaded && SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  SetThreadPriority(GetCurrentThread(), priority);
  const bool prepared = com ? PrepareManager() : (FailInit(MessageText(10167)), false);
  SetEvent(settled.get());
  if (!prepared) {
    BeginTeardown();
    // The engine is closed here, on its own thread; the manager stays with the block.
    if (manager_) manager_->Close();
    clearThreadId();
    if (com) CoUninitialize();
    SetEvent(done_.get());
    return;
  }
  CreateMessageQueue();
  {
    LockGuard guard(data);
    status = S_OK;
    member.clear();
    lastError.clear();
    result.reset();
  }
  PostThreadMessageW(GetCurrentThreadId(), kRunJobMessage, 0, 0);  // the global code
  RunMessageLoop([this] { RunJob(); });
  BeginTeardown();
  script_.reset();
  if (manager_) manager_->Close();
  manager_.reset();
  clearThreadId();
  CoUninitialize();
  SetEvent(done_.get());
}

void ScriptBlock::RunJob() noexcept {
  std::wstring name;
  try {
    LockGuard guard(data);
    lastError.clear();
    name = member;
  } catch (...) {
    SetOutcome(E_OUTOFMEMORY, 0, nullptr);
    SetEvent(done_.get());
    return;
  }
  if (name.empty()) {
    RunGlobalCode();
    return;
  }
  if (script_) {
    CallRoutine(name);
  } else {
    SetOutcome(E_FAIL, 0, nullptr);
  }
  SetEvent(done_.get());
}

// A failed global code ends the thread; the done event is set when it has ended.
void ScriptBlock::RunGlobalCode() noexcept {
  Variant ran;
  if (SUCCEEDED(manager_->Run(ran.get())) && IsTrue(*ran.get()) && SUCCEEDED(manager_->get_script(script_.put())) &&
      script_) {
    SetOutcome(S_OK, 1, nullptr);
    SetEvent(done_.get());
    return;
  }
  script_.reset();
  const std::wstring error = ManagerError();
  SetOutcome(E_FAIL, 0, &error);
  PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 0, 0);
}

void ScriptBlock::CallRoutine(const std::wstring& name) noexcept {
  Bstr routine(name.c_str(), static_cast<UINT>(name.size()));
  LPOLESTR names[] = {routine.get()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = script_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
  if (FAILED(hr)) {
    // No script error happened: the manager's last error would be empty or an older one.
    try {
      const std::wstring error = L"The script defines no routine " + name + L".";
      SetOutcome(hr, 0, &error);
    } catch (...) {
      SetOutcome(hr, 0, nullptr);
    }
    return;
  }
  Variant returned;
  {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXCEPINFO excep = {};
    hr = script_->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &none, returned.get(), &excep, nullptr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  if (FAILED(hr)) {
    const std::wstring error = ManagerError();
    SetOutcome(hr, 0, &error);
    return;
  }
  const HRESULT reduced = ReduceToPlainValue(returned.get());
  if (FAILED(reduced)) {
    const std::wstring error = MessageText(10173);
    SetOutcome(reduced, 0, &error);
    return;
  }
  LockGuard guard(data);
  status = S_OK;
  result = std::move(returned);
}

void ScriptBlock::DropManager() noexcept {
  script_.reset();
  if (manager_) manager_->Clear();
  manager_.reset();
}

// ---------------------------------------------------------------------------------------
// The owner

HRESULT COMScriptThread::FinalConstruct() noexcept {
  RETURN_IF_FAILED(CreateManualEvent(done_, true));
  ComPtr<IVarDictionary> dict;
  RETURN_IF_FAILED(CreateVarDictionaryObject(dict.put()));
  RETURN_IF_FAILED(dict->put_firstItemAsRoot(0));
  RETURN_IF_FAILED(dict->put_itemsAssignmentAllowed(1));
  RETURN_IF_FAILED(dict->put_enumItems(1));
  RETURN_IF_FAILED(dict->put_allowUnnamedValues(1));
  RETURN_IF_FAILED(dict->put_allowDuplicateNames(1));
  RETURN_IF_FAILED(dict->put_extractValues(1));
  RETURN_IF_FAILED(dict.query(context_));
  return NewBlock(&block_);
}

COMScriptThread::~COMScriptThread() {
  StopThread();
  if (block_) block_->Release();
}

HRESULT COMScriptThread::NewBlock(ScriptBlock** out) noexcept {
  auto* block = new (std::nothrow) ScriptBlock();
  RETURN_IF_NULL_ALLOC(block);
  const HRESULT hr = block->Init(done_.get());
  if (FAILED(hr)) {
    block->Release();
    return hr;
  }
  *out = block;
  return S_OK;
}

bool COMScriptThread::Running() noexcept {
  if (!thread_) return false;
  if (block_->threadId() != 0) return true;
  thread_.reset();
  return false;
}

// The manager left behind by a killed thread is released with it; nothing runs any more.
void COMScriptThread::KillScriptThread() noexcept {
  if (KillThread(block_, thread_)) block_->DropManager();
  SetEvent(done_.get());
}

void COMScriptThread::StopThread() noexcept {
  if (!Running()) return;
  if (orv::StopThread(block_, thread_, nullptr, timeout_)) return;
  // Killed: the thread left its manager behind.
  block_->DropManager();
  SetEvent(done_.get());
  LockGuard data(block_->data);
  block_->lastError.clear();
}

STDMETHODIMP COMScriptThread::get_Value(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  return context_.copy_to(ppDisp);
}

STDMETHODIMP COMScriptThread::get_Busy(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = IsSignalled(done_.get()) ? 0 : 1;
  return S_OK;
}

STDMETHODIMP COMScriptThread::get_Timeout(LONG* pVal) noexcept { return ReadLocked(lock_, timeout_, pVal); }

STDMETHODIMP COMScriptThread::put_Timeout(LONG newVal) noexcept { return WriteLocked(lock_, timeout_, newVal); }

STDMETHODIMP COMScriptThread::get_MultiThreaded(LONG* pVal) noexcept { return ReadLocked(lock_, multiThreaded_, pVal); }

STDMETHODIMP COMScriptThread::put_MultiThreaded(LONG newVal) noexcept { return WriteLocked(lock_, multiThreaded_, newVal); }

STDMETHODIMP COMScriptThread::get_Priority(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  if (Running()) {
    const int now = GetThreadPriority(thread_.get());
    if (now != THREAD_PRIORITY_ERROR_RETURN) priority_ = now;
  }
  *pVal = priority_;
  return S_OK;
}

STDMETHODIMP COMScriptThread::put_Priority(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (newVal < -15 || newVal > 15) return ReportError(CLSID_COMScriptThread, 10172);
  priority_ = newVal;
  if (Running()) SetThreadPriority(thread_.get(), newVal);
  return S_OK;
}

STDMETHODIMP COMScriptThread::get_Success(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  LockGuard data(block_->data);
  *pVal = block_->status == S_OK ? 1 : 0;
  return S_OK;
}

STDMETHODIMP COMScriptThread::get_lastError(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  LockGuard data(block_->data);
  return ReturnText(block_->lastError, pVal);
}

STDMETHODIMP COMScriptThread::Start(BSTR bstrLang, BSTR bstrScript, LONG lWait, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  RETURN_POINTER_IF_NULL(bstrLang);
  RETURN_POINTER_IF_NULL(bstrScript);
  LockGuard guard(lock_);
  try {
    if (Running()) {
      block_->SetError(10165);
      return S_FALSE;
    }
    ScriptBlock* block = nullptr;
    RETURN_IF_FAILED(NewBlock(&block));
    block_->Release();
    block_ = block;
    block_->language = bstrLang;
    block_->scriptText.assign(bstrScript, SysStringLen(bstrScript));
    block_->multiThreaded = multiThreaded_ != 0;
    block_->addCreator = addCreator_ != 0;
    block_->priority = priority_;
    block_->context = context_;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ResetEvent(done_.get());
  if (FAILED(LaunchThread(block_, thread_))) {
    block_->SetError(10166);
    SetEvent(done_.get());  // no job runs
    return E_FAIL;
  }
  if (lWait < 1) return SetSuccessFlag(pVal, true);
  if (WaitSignalled(done_.get(), lWait)) {
    LockGuard data(block_->data);
    if (block_->status >= 0) return SetSuccessFlag(pVal, true);
    data.unlock();
    block_->SetError(10166);
    return S_FALSE;
  }
  block_->SetError(10166);
  WaitSignalled(block_->settled.get(), kSettleGraceMs);
  KillScriptThread();
  return S_FALSE;
}

STDMETHODIMP COMScriptThread::Execute(BSTR bstrMember, LONG lWait, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  RETURN_POINTER_IF_NULL(bstrMember);
  LockGuard guard(lock_);
  try {
    if (!Running()) {
      block_->SetError(10157);
      return S_FALSE;
    }
    if (!IsSignalled(done_.get()) && (lWait <= 0 || !WaitSignalled(done_.get(), lWait))) {
      block_->SetError(10156);
      return S_FALSE;
    }
    if (SysStringLen(bstrMember) == 0) return ReportError(CLSID_COMScriptThread, 10171);
    LockGuard data(block_->data);
    block_->member.assign(bstrMember, SysStringLen(bstrMember));
    block_->lastError.clear();
    block_->result.reset();
    block_->status = S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ResetEvent(done_.get());
  if (!PostThreadMessageW(block_->threadId(), kRunJobMessage, 0, 0)) {
    SetEvent(done_.get());
    block_->SetError(10157);
    return S_FALSE;
  }
  return SetSuccessFlag(pVal, true);
}

STDMETHODIMP COMScriptThread::Stop() noexcept {
  LockGuard guard(lock_);
  StopThread();
  return S_OK;
}

STDMETHODIMP COMScriptThread::Wait(LONG lWait, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  return SetSuccessFlag(pVal, WaitSignalled(done_.get(), lWait > 0 ? lWait : 0));
}

STDMETHODIMP COMScriptThread::get_Result(VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  if (!IsSignalled(done_.get())) {
    V_VT(pVal) = VT_NULL;
    return S_OK;
  }
  LockGuard data(block_->data);
  return VariantCopyInd(pVal, block_->result.get());
}

STDMETHODIMP COMScriptThread::get_AddCreator(LONG* pVal) noexcept { return ReadLocked(lock_, addCreator_, pVal); }

STDMETHODIMP COMScriptThread::put_AddCreator(LONG newVal) noexcept { return WriteLocked(lock_, addCreator_, newVal); }

STDMETHODIMP COMScriptThread::get_Active(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = Running() ? 1 : 0;
  return S_OK;
}

}  // namespace orv
