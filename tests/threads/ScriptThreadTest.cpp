// COMScriptThread with the real JScript engine: start, the first job, routines by name,
// results reduced to plain values, lastError texts, Stop with a forced end, and 200
// Start/Execute/Stop cycles.
#include <gtest/gtest.h>

#include <string>

#include "components/module/ErrorReport.h"
#include "tests/threads/ThreadTestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::TakeErrorRecord;

namespace {

class ScriptThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    st = orvtest::MakeObject<ICOMScriptThread>(CLSID_COMScriptThread);
    ASSERT_TRUE(st);
  }
  void TearDown() override {
    st.reset();
    CoUninitialize();
  }
  LONG Start(const wchar_t* code, LONG wait, HRESULT expect, const wchar_t* lang = L"JScript") {
    LONG ok = 9;
    EXPECT_EQ(expect, st->Start(Bstr(lang).get(), Bstr(code).get(), wait, &ok)) << code;
    return ok;
  }
  LONG Execute(const wchar_t* name, LONG wait = 0) {
    LONG ok = 9;
    st->Execute(Bstr(name).get(), wait, &ok);
    return ok;
  }
  bool Wait(LONG ms = 10000) {
    LONG idle = 0;
    st->Wait(ms, &idle);
    return idle == 1;
  }
  std::wstring LastError() {
    Bstr text;
    EXPECT_EQ(S_OK, st->get_lastError(text.put()));
    return text.c_str();
  }
  LONG Flag(HRESULT (STDMETHODCALLTYPE ICOMScriptThread::*getter)(LONG*)) {
    LONG v = 99;
    EXPECT_EQ(S_OK, (st.get()->*getter)(&v));
    return v;
  }
  std::wstring ResultText() {
    Variant r;
    EXPECT_EQ(S_OK, st->get_Result(r.get()));
    return r.vt() == VT_NULL ? L"<null>" : r.vt() == VT_EMPTY ? L"<empty>" : orvtest::Text(r.get());
  }
  ComPtr<ICOMScriptThread> st;
};

TEST_F(ScriptThreadTest, DefaultsAndRefusalsWithoutAThread) {
  EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Busy));
  EXPECT_EQ(60000, Flag(&ICOMScriptThread::get_Timeout));
  EXPECT_EQ(1, Flag(&ICOMScriptThread::get_MultiThreaded));
  EXPECT_EQ(1, Flag(&ICOMScriptThread::get_AddCreator));
  EXPECT_EQ(-2, Flag(&ICOMScriptThread::get_Priority));
  EXPECT_EQ(1, Flag(&ICOMScriptThread::get_Success));
  EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Active));
  EXPECT_EQ(L"", LastError());
  LONG ok = 9;
  EXPECT_EQ(S_FALSE, st->Execute(Bstr(L"f").get(), 0, &ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(L"Thread is not active, start it first.", LastError());
  EXPECT_EQ(E_POINTER, st->Start(nullptr, Bstr(L"1").get(), 0, &ok));
  EXPECT_EQ(E_POINTER, st->Execute(nullptr, 0, &ok));
  for (LONG bad : {16, -16}) {
    EXPECT_EQ(orv::MessageHResult(10172), st->put_Priority(bad)) << bad;
    EXPECT_EQ(L"Invalid parameter", TakeErrorRecord().description);
  }
  EXPECT_EQ(S_OK, st->put_Priority(15));
  EXPECT_EQ(S_OK, st->Stop());  // harmless without a thread
  ComPtr<IDispatch> value;
  ASSERT_EQ(S_OK, st->get_Value(value.put()));
  ComPtr<IVarDictionary> dict;
  ASSERT_EQ(S_OK, value.query(dict));
  LONG flag = 9;
  dict->get_allowDuplicateNames(&flag);
  EXPECT_NE(0, flag);
  dict->get_firstItemAsRoot(&flag);
  EXPECT_EQ(0, flag);
}

// Each row: a script, the wait Start is given, and what Start, Active and lastError say.
TEST_F(ScriptThreadTest, StartOutcomes) {
  struct Row {
    const wchar_t* code;
    LONG wait;
    HRESULT hr;
    LONG ok;
    const wchar_t* error;  // null: any non-empty text
  } rows[] = {
      {L"var x = 1;", 10000, S_OK, 1, L""},
      {L"function (", 0, S_OK, 1, nullptr},                        // syntax error seen later
      {L"throw new Error('boom');", 10000, S_FALSE, 0, L"Thread initialization failed."},
      {L"function (", 10000, S_FALSE, 0, L"Thread initialization failed."},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.ok, Start(row.code, row.wait, row.hr)) << row.code;
    EXPECT_TRUE(Wait()) << row.code;
    if (row.error && !*row.error) {
      EXPECT_EQ(1, Flag(&ICOMScriptThread::get_Active)) << row.code;
    } else {
      EXPECT_TRUE(orvtest::Eventually([&] { return Flag(&ICOMScriptThread::get_Active) == 0; })) << row.code;
      EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Success)) << row.code;
    }
    if (row.error) {
      EXPECT_EQ(row.error, LastError()) << row.code;
    } else {
      EXPECT_NE(L"", LastError()) << row.code;
    }
    st->Stop();
  }
  // Without COM on the thread, or without the creator.
  ASSERT_EQ(S_OK, st->put_MultiThreaded(0));
  EXPECT_EQ(1, Start(L"1;", 0, S_OK));
  EXPECT_TRUE(Wait());
  EXPECT_EQ(L"COM initialization failed", LastError());
  // A thread that ends at once is not taken for a running one.
  EXPECT_TRUE(orvtest::Eventually([&] { return Flag(&ICOMScriptThread::get_Active) == 0; }));
  ASSERT_EQ(S_OK, st->put_MultiThreaded(1));
  ASSERT_EQ(S_OK, st->put_AddCreator(0));
  EXPECT_EQ(1, Start(L"Context.Add('creator', typeof Creator);", 10000, S_OK));
  ASSERT_EQ(S_OK, st->put_AddCreator(1));
  EXPECT_EQ(0, Start(L"1;", 0, S_FALSE));
  EXPECT_EQ(L"The thread is running.", LastError());
  st->Stop();
  EXPECT_EQ(1, Start(L"Context.Add('creator', typeof Creator);", 10000, S_OK));
  st->Stop();
  ComPtr<IDispatch> value;
  ASSERT_EQ(S_OK, st->get_Value(value.put()));
  ComPtr<IVarDictionary> found;
  ASSERT_EQ(S_OK, value.query(found));
  Variant first, second;
  found->get_Item(*orvtest::I4(1).get(), first.get());
  found->get_Item(*orvtest::I4(2).get(), second.get());
  EXPECT_EQ(L"undefined", orvtest::Text(first.get()));  // the dictionary keeps its contents
  EXPECT_EQ(L"object", orvtest::Text(second.get()));
}

TEST_F(ScriptThreadTest, RoutinesByNameAndTheirResults) {
  const wchar_t* code =
      L"var calls = 0;\n"
      L"function count() { return ++calls; }\n"
      L"function text() { return 'abc'; }\n"
      L"function dict() { var d = Creator.CreateObject('VarDictionary'); d.Root = 17; return d; }\n"
      L"var loop = null;\n"
      L"function endless() { loop = Creator.CreateObject('VarDictionary'); loop.Root = loop; return loop; }\n"
      L"function unloop() { loop.Root = 0; loop = null; }\n"
      L"function slow() { Creator.CreateObject('COMSleeper').Sleep(400); return 'late'; }\n"
      L"function fails() { throw new Error('inside'); }\n";
  ASSERT_EQ(1, Start(code, 10000, S_OK)) << LastError();
  EXPECT_EQ(L"1", ResultText());  // the first job's result
  struct Row {
    const wchar_t* routine;
    LONG success;
    const wchar_t* result;
    const wchar_t* error;
  } rows[] = {
      {L"count", 1, L"1", L""},
      {L"count", 1, L"2", L""},
      {L"text", 1, L"abc", L""},
      {L"dict", 1, L"17", L""},
      {L"endless", 0, L"0", L"Cannot strip a value from the result."},
      {L"unloop", 1, L"<empty>", L""},  // the dictionary that held itself goes
      {L"fails", 0, L"0", nullptr},
      {L"missing", 0, L"0", L"The script defines no routine missing."},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(1, Execute(row.routine)) << row.routine;
    ASSERT_TRUE(Wait()) << row.routine;
    EXPECT_EQ(row.success, Flag(&ICOMScriptThread::get_Success)) << row.routine;
    EXPECT_EQ(row.result, ResultText()) << row.routine;
    if (row.error) {
      EXPECT_EQ(row.error, LastError()) << row.routine;
    }
  }
  // A routine that takes a while: Busy, Result NULL, a refused Execute, one that waits.
  ASSERT_EQ(1, Execute(L"slow"));
  EXPECT_EQ(1, Flag(&ICOMScriptThread::get_Busy));
  EXPECT_EQ(L"<null>", ResultText());
  EXPECT_EQ(0, Execute(L"count"));
  EXPECT_EQ(L"Thread is busy.", LastError());
  LONG ok = 9;
  EXPECT_EQ(orv::MessageHResult(10171), st->Execute(Bstr(L"").get(), 5000, &ok));
  EXPECT_EQ(L"Empty routine name.", TakeErrorRecord().description);
  EXPECT_EQ(L"late", (Wait(), ResultText()));
  EXPECT_EQ(1, Execute(L"slow"));
  EXPECT_EQ(1, Execute(L"count", 10000));  // waits for slow first
  ASSERT_TRUE(Wait());
  EXPECT_EQ(L"3", ResultText());
  EXPECT_EQ(S_OK, st->Stop());
  EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Active));
}

// Runs in a process of its own: the engine of a killed thread cannot be closed from
// another thread, so it stays behind with what it holds.
TEST_F(ScriptThreadTest, StopEndsAnEndlessRoutineAfterTheTimeout) {
  ASSERT_EQ(1, Start(L"function spin() { for (;;) {} }", 10000, S_OK));
  ASSERT_EQ(S_OK, st->put_Timeout(300));
  ASSERT_EQ(1, Execute(L"spin"));
  const DWORD start = GetTickCount();
  EXPECT_EQ(S_OK, st->Stop());
  EXPECT_LT(GetTickCount() - start, 6000u);
  EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Active));
  EXPECT_EQ(L"", LastError());
  EXPECT_EQ(1, Start(L"var again = 1;", 10000, S_OK));  // a new thread starts fine
  st->Stop();

  // Global code that outlasts Start's wait: the thread is killed and Start says false.
  const DWORD startedAt = GetTickCount();
  EXPECT_EQ(0, Start(L"for (;;) {}", 300, S_FALSE));
  EXPECT_LT(GetTickCount() - startedAt, 6000u);
  EXPECT_EQ(L"Thread initialization failed.", LastError());
  EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Active));
  EXPECT_EQ(0, Flag(&ICOMScriptThread::get_Busy));  // nothing runs any more
}

TEST_F(ScriptThreadTest, TwoHundredStartExecuteStopCycles) {
  const wchar_t* code = L"function f() { return 5; }";
  ASSERT_EQ(1, Start(code, 10000, S_OK));  // warm-up
  st->Stop();
  const DWORD handles = orvtest::HandleCount(), threads = orvtest::ThreadCount();
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(1, Start(code, 10000, S_OK)) << i << " " << LastError();
    ASSERT_EQ(1, Execute(L"f", 10000)) << i;
    ASSERT_TRUE(Wait()) << i;
    ASSERT_EQ(L"5", ResultText()) << i;
    ASSERT_EQ(S_OK, st->Stop()) << i;
  }
  EXPECT_NEAR(static_cast<double>(handles), static_cast<double>(orvtest::HandleCount()), 10.0);
  EXPECT_NEAR(static_cast<double>(threads), static_cast<double>(orvtest::ThreadCount()), 10.0);
  st.reset();
  EXPECT_TRUE(orvtest::Eventually([] { return orvtest::VessaLibrary().CanUnloadNow() == S_OK; }));
}

}  // namespace
