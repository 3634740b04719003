// SynchEvent, SynchMutex, SynchSemaphore, CustomLock and COMSleeper: the platform's
// semantics through the wrappers, the 10106 cases, objects shared by name, and 1,000
// create/Create/release cycles of each class.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/threads/ThreadTestSupport.h"

using orv::ComPtr;
using orvtest::MakeObject;
using orvtest::TakeErrorRecord;

namespace {

constexpr HRESULT kFailed = static_cast<HRESULT>(0x8004277A);  // 10106

class SynchTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }
  static void ExpectFailed(HRESULT got, const char* what, const wchar_t* source) {
    EXPECT_EQ(kFailed, got) << what;
    const auto rec = TakeErrorRecord();
    EXPECT_EQ(L"Operation failed", rec.description) << what;
    EXPECT_EQ(std::wstring(source), rec.source) << what;
  }
  static orv::Bstr Name(const wchar_t* stem) {
    return orv::Bstr((std::wstring(stem) + std::to_wstring(GetCurrentProcessId())).c_str());
  }
};

TEST_F(SynchTest, EventMembersBeforeCreateFail) {
  auto ev = MakeObject<ISynchEvent>(CLSID_SynchEvent);
  ASSERT_TRUE(ev);
  LONG v = 9;
  EXPECT_EQ(S_FALSE, ev->get_valid(&v));
  EXPECT_EQ(0, v);
  const wchar_t* source = L"Orvanta Event Class";
  ExpectFailed(ev->Wait(0, &v), "Wait", source);
  ExpectFailed(ev->get_IsSet(&v), "IsSet", source);
  ExpectFailed(ev->CheckAndReset(&v), "CheckAndReset", source);
  ExpectFailed(ev->Set(), "Set", source);
  ExpectFailed(ev->Reset(), "Reset", source);
  ExpectFailed(ev->Pulse(), "Pulse", source);
  ASSERT_EQ(S_OK, ev->Create(1, 0, nullptr));
  ExpectFailed(ev->Create(1, 0, nullptr), "second Create", source);
  EXPECT_EQ(S_OK, ev->get_valid(&v));
  EXPECT_EQ(1, v);
}

// Each row: event kind and start state, then what IsSet, CheckAndReset and a second
// CheckAndReset answer.
TEST_F(SynchTest, EventStatesByKind) {
  struct Row {
    LONG manual, initial;
    LONG isSet, check1, check2;
  } rows[] = {
      {1, 1, 1, 1, 0},  // manual, set: IsSet leaves it set; CheckAndReset clears it
      {1, 0, 0, 0, 0},
      {0, 1, 1, 0, 0},  // auto-reset: IsSet consumes the signal
      {0, 0, 0, 0, 0},
  };
  for (const auto& row : rows) {
    auto ev = MakeObject<ISynchEvent>(CLSID_SynchEvent);
    ASSERT_EQ(S_OK, ev->Create(row.manual, row.initial, nullptr));
    LONG v = 9;
    EXPECT_EQ(row.isSet ? S_OK : S_FALSE, ev->get_IsSet(&v)) << row.manual << row.initial;
    EXPECT_EQ(row.isSet, v);
    EXPECT_EQ(row.check1 ? S_OK : S_FALSE, ev->CheckAndReset(&v)) << row.manual << row.initial;
    EXPECT_EQ(row.check1, v);
    EXPECT_EQ(S_FALSE, ev->CheckAndReset(&v));
    EXPECT_EQ(row.check2, v);
    const DWORD start = GetTickCount();
    EXPECT_EQ(S_FALSE, ev->Wait(0, &v));  // at once
    EXPECT_LT(GetTickCount() - start, 500u);
  }
}

TEST_F(SynchTest, NamedEventsShareOneKernelObjectAcrossThreads) {
  auto a = MakeObject<ISynchEvent>(CLSID_SynchEvent);
  auto b = MakeObject<ISynchEvent>(CLSID_SynchEvent);
  const orv::Bstr name = Name(L"OrvantaSynchTestEvent");
  ASSERT_EQ(S_OK, a->Create(1, 0, name.get()));
  ASSERT_EQ(S_OK, b->Create(0, 1, name.get()));  // opens the existing one: its kind stays
  LONG v = 9;
  EXPECT_EQ(S_FALSE, b->get_IsSet(&v));
  ISynchEvent* other = b.get();
  std::thread setter([other] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Sleep(50);
    other->Set();
    CoUninitialize();
  });
  EXPECT_EQ(S_OK, a->Wait(5000, &v));
  EXPECT_EQ(1, v);
  setter.join();
  EXPECT_EQ(S_OK, a->get_IsSet(&v));  // manual reset: still set
  EXPECT_EQ(S_OK, b->Reset());
  EXPECT_EQ(S_FALSE, a->get_IsSet(&v));
}

TEST_F(SynchTest, MutexOwnershipIsPerThread) {
  auto m = MakeObject<ISynchMutex>(CLSID_SynchMutex);
  const wchar_t* source = L"Orvanta Mutex Class";
  LONG v = 9;
  ExpectFailed(m->Wait(0, &v), "Wait before Create", source);
  ExpectFailed(m->ReleaseMutex(), "ReleaseMutex before Create", source);
  ASSERT_EQ(S_OK, m->Create(1, nullptr));
  EXPECT_EQ(S_OK, m->get_IsOwned(&v));  // owner: one more ownership
  ISynchMutex* shared = m.get();
  LONG otherOwned = 9, otherWait = 9;
  HRESULT otherRelease = S_OK;
  auto probe = [&] {
    std::thread other([&] {
      CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      shared->get_IsOwned(&otherOwned);
      otherRelease = shared->ReleaseMutex();
      TakeErrorRecord();
      shared->Wait(100, &otherWait);
      CoUninitialize();
    });
    other.join();
  };
  probe();
  EXPECT_EQ(0, otherOwned);
  EXPECT_EQ(kFailed, otherRelease);  // not the owner
  EXPECT_EQ(0, otherWait);
  EXPECT_EQ(S_OK, m->ReleaseMutex());
  EXPECT_EQ(S_OK, m->ReleaseMutex());
  ExpectFailed(m->ReleaseMutex(), "release once too often", source);
  probe();  // free now: the other thread takes it and gives it back
  EXPECT_EQ(1, otherOwned);
  EXPECT_EQ(S_OK, otherRelease);

  // A mutex whose owner ended without releasing it is the waiter's now.
  std::thread quitter([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    shared->Wait(0, &otherWait);
    CoUninitialize();
  });
  quitter.join();
  EXPECT_EQ(1, otherWait);
  EXPECT_EQ(S_OK, m->Wait(1000, &v));
  EXPECT_EQ(1, v);
  EXPECT_EQ(S_OK, m->ReleaseMutex());
}

TEST_F(SynchTest, SemaphoreCountsAndMaximum) {
  auto s = MakeObject<ISynchSemaphore>(CLSID_SynchSemaphore);
  const wchar_t* source = L"Orvanta Semaphore Class";
  LONG v = 9;
  ExpectFailed(s->Wait(0, &v), "Wait before Create", source);
  ExpectFailed(s->ReleaseSemaphore(1, &v), "release before Create", source);
  ExpectFailed(s->get_IsActive(&v), "IsActive before Create", source);
  ExpectFailed(s->Create(1, 2, nullptr), "initial count above the maximum", source);
  ASSERT_EQ(S_OK, s->Create(3, 1, nullptr));
  EXPECT_EQ(E_POINTER, s->ReleaseSemaphore(1, nullptr));
  EXPECT_EQ(S_OK, s->ReleaseSemaphore(2, &v));
  EXPECT_EQ(1, v);  // the count before
  ExpectFailed(s->ReleaseSemaphore(1, &v), "past the maximum", source);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(S_OK, s->get_IsActive(&v)) << i;  // the count stayed 3
  EXPECT_EQ(S_FALSE, s->Wait(0, &v));
}

TEST_F(SynchTest, CustomLockIsReentrantAndBlocksOthers) {
  auto lock = MakeObject<ICustomLock>(CLSID_CustomLock);
  ExpectFailed(lock->Unlock(), "Unlock without Lock", L"Orvanta CustomLock utility Class");
  ASSERT_EQ(S_OK, lock->Lock());
  ASSERT_EQ(S_OK, lock->Lock());
  ICustomLock* shared = lock.get();
  std::atomic<bool> entered{false};
  HRESULT foreignUnlock = S_OK;
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    foreignUnlock = shared->Unlock();
    shared->Lock();
    entered = true;
    shared->Unlock();
    CoUninitialize();
  });
  Sleep(100);
  EXPECT_FALSE(entered.load());
  EXPECT_EQ(S_OK, lock->Unlock());
  Sleep(50);
  EXPECT_FALSE(entered.load());  // still held once
  EXPECT_EQ(S_OK, lock->Unlock());
  other.join();
  EXPECT_TRUE(entered.load());
  EXPECT_EQ(kFailed, foreignUnlock);
}

TEST_F(SynchTest, SleeperSleeps) {
  auto sleeper = MakeObject<ICOMSleeper>(CLSID_COMSleeper);
  // Wine's tick count moves in coarse steps: the clock of the C++ library measures.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(S_OK, sleeper->Sleep(120));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(S_OK, sleeper->Sleep(-1));  // not for ever
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
}

TEST_F(SynchTest, ThousandCreateCyclesOfEachClassKeepTheHandleCount) {
  const DWORD handles = orvtest::HandleCount();
  for (int i = 0; i < 1000; ++i) {
    auto ev = MakeObject<ISynchEvent>(CLSID_SynchEvent);
    ASSERT_EQ(S_OK, ev->Create(i & 1, 0, nullptr)) << i;
    auto m = MakeObject<ISynchMutex>(CLSID_SynchMutex);
    ASSERT_EQ(S_OK, m->Create(0, nullptr)) << i;
    auto s = MakeObject<ISynchSemaphore>(CLSID_SynchSemaphore);
    ASSERT_EQ(S_OK, s->Create(2, 1, nullptr)) << i;
    auto lock = MakeObject<ICustomLock>(CLSID_CustomLock);
    ASSERT_EQ(S_OK, lock->Lock()) << i;
    ASSERT_EQ(S_OK, lock->Unlock()) << i;
    auto sleeper = MakeObject<ICOMSleeper>(CLSID_COMSleeper);
    ASSERT_EQ(S_OK, sleeper->Sleep(0)) << i;
  }
  EXPECT_NEAR(static_cast<double>(handles), static_cast<double>(orvtest::HandleCount()), 10.0);
  EXPECT_EQ(S_OK, orvtest::VessaLibrary().CanUnloadNow());
}

}  // namespace
