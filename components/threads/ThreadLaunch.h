// The state a worker, apartment or script thread shares with its owner object, and the
// launch, wait and forced termination every thread class uses. A thread touches only its
// own block, never the object that started it, so an owner may go away while the thread
// finishes; each running thread also holds a module lock and a loader reference, so the
// library stays loaded until the thread has left its code.
#pragma once
#include <windows.h>

#include <atomic>

#include "components/module/Raii.h"

namespace orv {

// Private thread message asking a thread to run the prepared job.
constexpr UINT kRunJobMessage = WM_USER + 1;

// Default wait for a thread's start and stop.
constexpr DWORD kDefaultThreadTimeout = 60000;

// State shared by an owner and one launch of its thread (a fresh block per launch).
// Reference counted: the owner holds one reference, the running thread another.
class ThreadBlock {
 public:
  ThreadBlock() noexcept = default;
  ThreadBlock(const ThreadBlock&) = delete;
  ThreadBlock& operator=(const ThreadBlock&) = delete;

  void AddRef() noexcept { ++refs_; }
  void Release() noexcept {
    if (--refs_ == 0) delete this;
  }

  // The id of the running thread; the thread clears it when it leaves its loop.
  DWORD threadId() const noexcept { return threadId_.load(); }
  void clearThreadId() noexcept { threadId_.store(0); }

 protected:
  virtual ~ThreadBlock() = default;
  // The thread's body, run on the new thread.
  virtual void Run() noexcept = 0;
  // Called by the body before it gives back what it took (engines, the apartment): from
  // here on the thread is waited for, never killed. A thread that its owner is killing
  // at this moment stays here until the kill lands.
  void BeginTeardown() noexcept;

 private:
  friend HRESULT LaunchThread(ThreadBlock* block, UniqueHandle& thread) noexcept;
  friend bool KillThread(ThreadBlock* block, UniqueHandle& thread) noexcept;
  friend DWORD WINAPI ThreadEntry(void* param) noexcept;

  // Where the thread is, as far as a kill is concerned. Before the body the loader is
  // still announcing the thread to the DLLs, and in the teardown it releases COM and
  // unloads DLLs: both under the loader lock, which a kill there would leave taken for
  // the rest of the process. Only a thread in its body is killed.
  enum Phase : int { kStarting, kInBody, kBeingKilled, kTearingDown };
  std::atomic<int> phase_{kStarting};
  std::atomic<LONG> refs_{1};
  std::atomic<DWORD> threadId_{0};
  // What the thread still holds and gives back when it ends (or its killer does for it).
  std::atomic<bool> threadHoldsBlock_{false};
  std::atomic<bool> threadHoldsModule_{false};
  HMODULE module_ = nullptr;
};

// Starts block->Run() on a new thread (default stack, runs at once). The thread takes a
// reference to the block, a module lock and a loader reference. E_FAIL when the thread
// cannot be created.
HRESULT LaunchThread(ThreadBlock* block, UniqueHandle& thread) noexcept;

// Kills the thread, gives back what it held once it is gone, and closes the handle. A
// thread that has not reached its body yet is given up to 5 s to reach it; one already
// tearing down is waited for instead, up to 30 s. False when the thread could not be
// confirmed gone (its block is then left).
bool KillThread(ThreadBlock* block, UniqueHandle& thread) noexcept;

// The stop sequence: resets `event` (when given), posts WM_QUIT, and waits up to `timeout`
// ms for that event (which the thread sets as its last act) or, without one, for the
// thread's end; then gives the thread a moment to leave the library's code and closes
// the handle. A thread that does not answer in time is killed. False when it was killed.
bool StopThread(ThreadBlock* block, UniqueHandle& thread, HANDLE event, LONG timeout) noexcept;

// Waits up to `timeout` ms (negative: no limit) for an event or a thread handle.
bool WaitSignalled(HANDLE handle, LONG timeout) noexcept;

// True when the event is set now.
inline bool IsSignalled(HANDLE handle) noexcept { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }

// A stored property of a thread object, read or written under the object's lock.
template <class V>
HRESULT ReadLocked(CriticalSection& lock, const V& value, LONG* out) noexcept {
  if (!out) return E_POINTER;
  LockGuard guard(lock);
  *out = value;
  return S_OK;
}
template <class V>
HRESULT WriteLocked(CriticalSection& lock, V& value, LONG newVal) noexcept {
  LockGuard guard(lock);
  value = static_cast<V>(newVal);
  return S_OK;
}

// A manual-reset event, not set.
HRESULT CreateManualEvent(UniqueHandle& event, bool initiallySet = false) noexcept;

// Gives the thread its message queue (before its owner is told it started).
void CreateMessageQueue() noexcept;

// Runs the thread's message loop: `onJob` for kRunJobMessage, every other message
// dispatched, until WM_QUIT (or a failing GetMessage).
template <class OnJob>
void RunMessageLoop(OnJob&& onJob) noexcept {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == kRunJobMessage) {
      onJob();
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace orv
