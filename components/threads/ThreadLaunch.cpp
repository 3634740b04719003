// Thread launch and forced termination shared by the thread classes.
#include "components/threads/ThreadLaunch.h"

#include "components/module/Module.h"

namespace orv {

namespace {

// Gives back the module lock and the thread's block reference; the loader reference goes
// with the thread's exit, so no code of this library runs after the module lock is gone.
[[noreturn]] void LeaveThread(std::atomic<bool>& holdsModule, HMODULE module) noexcept {
  const bool unlock = holdsModule.exchange(false);
  if (unlock) {
    ModuleUnlock();
    if (module) FreeLibraryAndExitThread(module, 0);
  }
  ExitThread(0);
}

}  // namespace

DWORD WINAPI ThreadEntry(void* param) noexcept {
  auto* block = static_cast<ThreadBlock*>(param);
  int starting = ThreadBlock::kStarting;
  block->phase_.compare_exchange_strong(starting, ThreadBlock::kInBody);
  block->Run();
  block->BeginTeardown();
  // The module flag and handle are read before the block may go away with its release.
  std::atomic<bool> holdsModule{block->threadHoldsModule_.exchange(false)};
  const HMODULE module = block->module_;
  if (block->threadHoldsBlock_.exchange(false)) block->Release();
  LeaveThread(holdsModule, module);
}

HRESULT LaunchThread(ThreadBlock* block, UniqueHandle& thread) noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadEntry), &module);
  block->module_ = module;
  block->AddRef();
  block->threadHoldsBlock_.store(true);
  ModuleLock();
  block->threadHoldsModule_.store(true);
  // Created suspended only until its id is stored: a thread that ends at once clears it,
  // and that must not be undone by the owner's late write.
  DWORD id = 0;
  HANDLE h = CreateThread(nullptr, 0, &ThreadEntry, block, CREATE_SUSPENDED, &id);
  if (!h) {
    block->threadHoldsModule_.store(false);
    ModuleUnlock();
    if (module) FreeLibrary(module);
    block->threadHoldsBlock_.store(false);
    block->Release();
    return E_FAIL;
  }
  block->threadId_.store(id);
  thread.reset(h);
  ResumeThread(h);
  return S_OK;
}

void ThreadBlock::BeginTeardown() noexcept {
  int inBody = kInBody;
  if (phase_.compare_exchange_strong(inBody, kTearingDown) || inBody == kTearingDown) return;
  for (;;) Sleep(INFINITE);  // the owner is killing this thread
}

bool KillThread(ThreadBlock* block, UniqueHandle& thread) noexcept {
  if (!thread) return true;
  for (int waited = 0; block->phase_.load() == ThreadBlock::kStarting && waited < 5000; waited += 10)
    if (WaitForSingleObject(thread.get(), 10) == WAIT_OBJECT_0) break;
  int inBody = ThreadBlock::kInBody;
  const bool killing = block->phase_.compare_exchange_strong(inBody, ThreadBlock::kBeingKilled) ||
                       inBody == ThreadBlock::kStarting;
  if (killing) TerminateThread(thread.get(), 1);
  // Termination is asynchronous: what the thread held is given back only once it is gone.
  // A thread tearing down gives it back itself.
  const bool gone = WaitForSingleObject(thread.get(), killing ? 5000 : 30000) == WAIT_OBJECT_0;
  thread.reset();
  block->clearThreadId();
  if (!gone) return false;
  if (block->threadHoldsModule_.exchange(false)) {
    ModuleUnlock();
    if (block->module_) FreeLibrary(block->module_);
  }
  if (block->threadHoldsBlock_.exchange(false)) block->Release();
  return true;
}

bool StopThread(ThreadBlock* block, UniqueHandle& thread, HANDLE event, LONG timeout) noexcept {
  if (!thread) return true;
  const DWORD id = block->threadId();
  // The thread's own final release of its owner: the loop ends once this call returns.
  if (id == GetCurrentThreadId()) {
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    thread.reset();
    return true;
  }
  if (event) ResetEvent(event);
  if (id) PostThreadMessageW(id, WM_QUIT, 0, 0);
  // A thread that has left its loop already has nothing more to answer.
  const bool answered = !id || WaitSignalled(event ? event : thread.get(), timeout);
  if (!answered) {
    KillThread(block, thread);
    return false;
  }
  // The thread's last steps (module lock, loader reference) follow its answer at once;
  // they need the loader lock, which a caller may hold, so the wait is bounded.
  WaitForSingleObject(thread.get(), 5000);
  thread.reset();
  block->clearThreadId();
  return true;
}

bool WaitSignalled(HANDLE handle, LONG timeout) noexcept {
  const DWORD ms = timeout < 0 ? INFINITE : static_cast<DWORD>(timeout);
  return WaitForSingleObject(handle, ms) == WAIT_OBJECT_0;
}

HRESULT CreateManualEvent(UniqueHandle& event, bool initiallySet) noexcept {
  event.reset(CreateEventW(nullptr, TRUE, initiallySet ? TRUE : FALSE, nullptr));
  return event ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void CreateMessageQueue() noexcept {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

}  // namespace orv
