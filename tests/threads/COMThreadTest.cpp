// COMThread and COMApartment: the worker's state machine (start, busy, timeout,
// terminate, final release), the hand-over of calls, the module lock each running thread
// holds, and the reliability cycles.
#include <gtest/gtest.h>

#include <ocidl.h>
#include <olectl.h>

#include <string>

#include "components/module/ErrorReport.h"
#include "tests/threads/ThreadTestSupport.h"

using orv::ComPtr;
using orv::Variant;
using orvtest::CallTarget;
using orvtest::I4;
using orvtest::Str;
using orvtest::TakeErrorRecord;

namespace {

constexpr HRESULT kBusy = orv::MessageHResult(10156);
constexpr HRESULT kInactive = orv::MessageHResult(10157);
constexpr HRESULT kActive = orv::MessageHResult(10158);
constexpr HRESULT kDestroyed = orv::MessageHResult(10155);

class COMThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  void TearDown() override { CoUninitialize(); }

  static ComPtr<ICOMThread> MakeThread() { return orvtest::MakeObject<ICOMThread>(CLSID_COMThread); }
  static void ExpectError(HRESULT got, HRESULT hr, const wchar_t* text, const char* what) {
    EXPECT_EQ(hr, got) << what;
    const auto rec = TakeErrorRecord();
    EXPECT_EQ(std::wstring(text), rec.description) << what;
  }
  static LONG Get(HRESULT (STDMETHODCALLTYPE ICOMThread::*getter)(LONG*), ICOMThread* t, HRESULT expect) {
    LONG v = 99;
    EXPECT_EQ(expect, (t->*getter)(&v));
    return v;
  }
};

TEST_F(COMThreadTest, BeforeActivateEveryCallNeedsAThread) {
  auto t = MakeThread();
  ASSERT_TRUE(t);
  EXPECT_EQ(1, Get(&ICOMThread::get_Busy, t.get(), S_OK));  // no idle event set yet
  EXPECT_EQ(0, Get(&ICOMThread::get_Active, t.get(), S_FALSE));
  EXPECT_EQ(-2, Get(&ICOMThread::get_Priority, t.get(), S_OK));
  EXPECT_EQ(60000, Get(&ICOMThread::get_Timeout, t.get(), S_OK));
  EXPECT_EQ(1, Get(&ICOMThread::get_MultiThreaded, t.get(), S_OK));
  auto* target = new CallTarget();
  LONG flag = 9;
  ExpectError(t->Execute(target, *Str(L"Quick").get()), kInactive, L"Thread is not active, start it first.", "Execute");
  ExpectError(t->Wait(0, &flag), kInactive, L"Thread is not active, start it first.", "Wait");
  ExpectError(t->Deactivate(), kInactive, L"Thread is not active, start it first.", "Deactivate");
  ExpectError(t->Terminate(), kInactive, L"Thread is not active, start it first.", "Terminate");
  ExpectError(t->get_Success(&flag), kBusy, L"Thread is busy.", "Success");
  Variant result;
  ExpectError(t->get_Result(result.get()), kBusy, L"Thread is busy.", "Result");
  EXPECT_EQ(0, target->calls.load());
  target->Release();
}

// Each row: the member as given, the outcome the call leaves.
TEST_F(COMThreadTest, CallsRunOnTheWorkerByNameOrDispid) {
  auto t = MakeThread();
  ASSERT_EQ(S_OK, t->Activate());
  ExpectError(t->Activate(), kActive, L"Thread already active", "second Activate");
  EXPECT_EQ(0, Get(&ICOMThread::get_Busy, t.get(), S_FALSE));
  auto* target = new CallTarget();
  Variant i2;
  V_VT(i2.get()) = VT_I2;
  V_I2(i2.get()) = 1;
  struct Row {
    const char* what;
    Variant member;
    LONG success;
    LONG result;  // -1: empty
  } rows[] = {
      {"by name", Str(L"quick"), 1, 42},
      {"by DISPID", I4(1), 1, 42},
      {"by VT_I2 DISPID", std::move(i2), 1, 42},
      {"unknown name", Str(L"Nothing"), 0, -1},
      {"unknown DISPID", I4(77), 0, -1},
      {"failing member", Str(L"Fail"), 0, -1},
  };
  for (auto& row : rows) {
    ASSERT_EQ(S_OK, t->Execute(target, *row.member.get())) << row.what;
    LONG idle = 0;
    ASSERT_EQ(S_OK, t->Wait(5000, &idle)) << row.what;
    EXPECT_EQ(row.success, Get(&ICOMThread::get_Success, t.get(), row.success ? S_OK : S_FALSE)) << row.what;
    Variant result;
    ASSERT_EQ(S_OK, t->get_Result(result.get())) << row.what;
    if (row.result < 0) {
      EXPECT_EQ(VT_EMPTY, result.vt()) << row.what;
    } else {
      ASSERT_EQ(VT_I4, result.vt()) << row.what;
      EXPECT_EQ(row.result, V_I4(result.get())) << row.what;
    }
  }
  EXPECT_NE(GetCurrentThreadId(), target->calledOn.load());  // run on the worker
  EXPECT_EQ(E_POINTER, t->Execute(nullptr, *Str(L"Quick").get()));
  EXPECT_EQ(S_OK, t->Deactivate());
  EXPECT_EQ(0, Get(&ICOMThread::get_Active, t.get(), S_FALSE));
  target->Release();
}

TEST_F(COMThreadTest, BusyWorkerRefusesCallsUntilItIsIdle) {
  auto t = MakeThread();
  ASSERT_EQ(S_OK, t->Activate());
  auto* target = new CallTarget();
  ASSERT_EQ(S_OK, t->Execute(target, *Str(L"Block").get()));
  EXPECT_EQ(1, Get(&ICOMThread::get_Busy, t.get(), S_OK));
  ExpectError(t->Execute(target, *Str(L"Quick").get()), kBusy, L"Thread is busy.", "Execute while busy");
  ExpectError(t->Deactivate(), kBusy, L"Thread is busy.", "Deactivate while busy");
  LONG flag = 9;
  ExpectError(t->get_Success(&flag), kBusy, L"Thread is busy.", "Success while busy");
  EXPECT_EQ(S_FALSE, t->Wait(50, &flag));
  EXPECT_EQ(0, flag);
  EXPECT_EQ(1, target->calls.load());  // the running call was left alone
  SetEvent(target->release.get());
  EXPECT_EQ(S_OK, t->Wait(-1, &flag));  // Block ends within 10 s by itself
  EXPECT_EQ(1, flag);
  Variant result;
  ASSERT_EQ(S_OK, t->get_Result(result.get()));
  EXPECT_EQ(1, V_I4(result.get()));
  EXPECT_EQ(S_OK, t->Deactivate());
  target->Release();
}

TEST_F(COMThreadTest, StartStopTerminateAndPriority) {
  auto t = MakeThread();
  ASSERT_EQ(S_OK, t->put_MultiThreaded(0));
  EXPECT_EQ(E_FAIL, t->Activate());
  EXPECT_EQ(0, Get(&ICOMThread::get_Active, t.get(), S_FALSE));
  EXPECT_FALSE(TakeErrorRecord().present);  // start failures carry no error record
  ASSERT_EQ(S_OK, t->put_MultiThreaded(1));
  ASSERT_EQ(S_OK, t->put_Priority(1));
  ASSERT_EQ(S_OK, t->Activate());
  EXPECT_EQ(1, Get(&ICOMThread::get_Priority, t.get(), S_OK));  // the thread's own
  ASSERT_EQ(S_OK, t->put_Priority(-1));
  EXPECT_EQ(-1, Get(&ICOMThread::get_Priority, t.get(), S_OK));

  // Terminate during a call: no thread, and Busy stays 1 until the next Activate.
  auto* target = new CallTarget();
  target->AddRef();  // the killed worker's reference is never given back
  ASSERT_EQ(S_OK, t->Execute(target, *Str(L"Block").get()));
  ASSERT_TRUE(orvtest::Eventually([&] { return target->calls.load() == 1; }));
  EXPECT_EQ(S_OK, t->Terminate());
  EXPECT_EQ(0, Get(&ICOMThread::get_Active, t.get(), S_FALSE));
  EXPECT_EQ(1, Get(&ICOMThread::get_Busy, t.get(), S_OK));
  ASSERT_EQ(S_OK, t->Activate());
  EXPECT_EQ(0, Get(&ICOMThread::get_Busy, t.get(), S_FALSE));
  SetEvent(target->release.get());
  target->Release();
}

TEST_F(COMThreadTest, FinalReleaseOfABusyWorkerKillsItAfterTheTimeout) {
  auto t = MakeThread();
  ASSERT_EQ(S_OK, t->put_Timeout(300));
  ASSERT_EQ(S_OK, t->Activate());
  auto* target = new CallTarget();
  target->AddRef();  // kept by the killed worker
  ASSERT_EQ(S_OK, t->Execute(target, *Str(L"Block").get()));
  const DWORD start = GetTickCount();
  EXPECT_EQ(0u, t.release()->Release());
  EXPECT_LT(GetTickCount() - start, 6000u);  // 300 ms, then at most the 5 s confirmation
  EXPECT_TRUE(orvtest::Eventually([] { return orvtest::VessaLibrary().CanUnloadNow() == S_OK; }));
  SetEvent(target->release.get());
  target->Release();
}

// The worker drops the last reference to its own object while its call goes on: the
// object is gone, yet the library stays loaded until the thread has left it.
TEST_F(COMThreadTest, RunningThreadHoldsTheModule) {
  auto t = MakeThread();
  ASSERT_EQ(S_OK, t->Activate());
  auto* target = new CallTarget();
  target->held.reset(t.get());
  ASSERT_EQ(S_OK, t->Execute(target, *Str(L"Handoff").get()));
  t.reset();
  SetEvent(target->release.get());
  ASSERT_TRUE(orvtest::Eventually([&] { return !target->held; }));
  Sleep(100);
  EXPECT_EQ(S_FALSE, orvtest::VessaLibrary().CanUnloadNow());
  SetEvent(target->resume.get());
  EXPECT_TRUE(orvtest::Eventually([] { return orvtest::VessaLibrary().CanUnloadNow() == S_OK; }));
  target->Release();
}

TEST_F(COMThreadTest, ConnectionPointForTheEventsInterface) {
  auto t = MakeThread();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(S_OK, t.query(container));
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IDispatch, point.put()));
  ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID__ICOMThreadEvents, point.put()));
  IID iid = IID_NULL;
  ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(DIID__ICOMThreadEvents, iid));
  ComPtr<IConnectionPointContainer> back;
  ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
  EXPECT_EQ(container.get(), back.get());
  auto* sink = new CallTarget();
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, point->Advise(sink, &cookie));
  EXPECT_NE(0u, cookie);
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
  ComPtr<IEnumConnectionPoints> list;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(list.put()));
  IConnectionPoint* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, list->Next(2, got, &fetched));
  EXPECT_EQ(1u, fetched);
  EXPECT_EQ(point.get(), got[0]);
  got[0]->Release();
  sink->Release();
}

TEST_F(COMThreadTest, ThroughIDispatch) {
  auto t = MakeThread();
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, t.query(disp));
  Variant out;
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Activate", DISPATCH_METHOD, nullptr, 0, out.put()));
  auto* target = new CallTarget();
  Variant member = Str(L"Quick");
  VARIANT args[2];  // natural order: pObj, vMethod
  V_VT(&args[0]) = VT_DISPATCH;
  V_DISPATCH(&args[0]) = target;
  args[1] = *member.get();
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Execute", DISPATCH_METHOD, args, 2, out.put()));
  Variant wait = I4(5000);
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Wait", DISPATCH_METHOD, wait.get(), 1, out.put()));
  EXPECT_EQ(1, V_I4(out.get()));
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Result", DISPATCH_PROPERTYGET, nullptr, 0, out.put()));
  EXPECT_EQ(42, V_I4(out.get()));
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Deactivate", DISPATCH_METHOD, nullptr, 0, out.put()));
  target->Release();
}

TEST_F(COMThreadTest, ApartmentHandsOutACreatorUntilDestroyed) {
  auto apt = orvtest::MakeObject<ICOMApartment>(CLSID_COMApartment);
  ASSERT_TRUE(apt);
  LONG v = 9;
  EXPECT_EQ(S_OK, apt->get_IsAlive(&v));
  EXPECT_EQ(1, v);
  EXPECT_EQ(S_OK, apt->get_MultiThreaded(&v));
  EXPECT_EQ(1, v);
  ASSERT_EQ(S_OK, apt->put_Priority(2));
  EXPECT_EQ(S_OK, apt->get_Priority(&v));
  EXPECT_EQ(2, v);
  ComPtr<IDispatch> creatorDisp;
  ASSERT_EQ(S_OK, apt->get_Creator(creatorDisp.put()));
  ComPtr<IVessaCreator> creator;
  ASSERT_EQ(S_OK, creatorDisp.query(creator));
  ComPtr<IDispatch> made;
  EXPECT_EQ(S_OK, creator->CreateObject(*Str(L"VarDictionary").get(), 0, made.put()));

  EXPECT_EQ(S_OK, apt->Destroy());
  EXPECT_EQ(S_OK, apt->Destroy());
  EXPECT_EQ(S_FALSE, apt->get_IsAlive(&v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(S_OK, apt->get_MultiThreaded(&v));
  ComPtr<IDispatch> none;
  ExpectError(apt->get_Creator(none.put()), kDestroyed, L"COM Appartment has been previously destroyed.", "Creator");
  ExpectError(apt->get_Priority(&v), kDestroyed, L"COM Appartment has been previously destroyed.", "Priority");

  // Restarted without the multithreaded flag it never starts.
  ComPtr<ICOMApartmentBin> control;
  ASSERT_EQ(S_OK, apt.query(control));
  EXPECT_EQ(E_FAIL, control->BinRestart(0));
  EXPECT_EQ(S_OK, apt->get_MultiThreaded(&v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(S_OK, control->BinRestart(1));
  EXPECT_EQ(S_OK, apt->get_IsAlive(&v));
}

// Cycles of Activate/Execute/Deactivate leave the handle and thread counts where they
// started, and the library unloadable once the objects are gone.
TEST_F(COMThreadTest, ThousandActivateExecuteDeactivateCycles) {
  auto* target = new CallTarget();
  auto t = MakeThread();
  // Warm-up: the first cycle loads what the platform loads once.
  ASSERT_EQ(S_OK, t->Activate());
  ASSERT_EQ(S_OK, t->Deactivate());
  const DWORD handles = orvtest::HandleCount(), threads = orvtest::ThreadCount();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(S_OK, t->Activate()) << i;
    ASSERT_EQ(S_OK, t->Execute(target, *I4(1).get())) << i;
    LONG idle = 0;
    ASSERT_EQ(S_OK, t->Wait(5000, &idle)) << i;
    ASSERT_EQ(S_OK, t->Deactivate()) << i;
  }
  EXPECT_EQ(1000 + 0, target->calls.load());
  EXPECT_NEAR(static_cast<double>(handles), static_cast<double>(orvtest::HandleCount()), 10.0);
  EXPECT_NEAR(static_cast<double>(threads), static_cast<double>(orvtest::ThreadCount()), 10.0);
  t.reset();
  EXPECT_TRUE(orvtest::Eventually([] { return orvtest::VessaLibrary().CanUnloadNow() == S_OK; }));
  target->Release();
}

}  // namespace
