// ScpAggregate through its vtable: engines and languages, run orders, activation and
// closing, and which manager's error is current.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Missing;
using orvtest::Str;

namespace {

class ScpAggregateTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ScpAggregate, nullptr, CLSCTX_INPROC_SERVER, IID_IScpAggregate,
                                     agg.put_void()));
  }
  void TearDown() override {
    if (agg) agg->Close();
  }

  bool AddEngine(const wchar_t* language) {
    Bstr name(language);
    Variant ok;
    return agg->AddEngine(name.get(), ok.put()) == S_OK && V_BOOL(ok.get()) == 1;
  }
  HRESULT AddText(const wchar_t* language, const wchar_t* code) {
    Bstr name(language), text(code);
    Variant ok;
    return agg->AddText(name.get(), text.get(), ok.put());
  }
  HRESULT Run(LONG order, bool* ok = nullptr) {
    Variant flag;
    const HRESULT hr = agg->Run(order, flag.put());
    if (ok) *ok = V_BOOL(flag.get()) == 1;
    return hr;
  }
  std::wstring LastError() {
    Bstr text;
    agg->get_lastError(text.put());
    return text.c_str();
  }
  LONG ErrorHost() {
    LONG host = -9;
    agg->get_errorHost(&host);
    return host;
  }
  // A dictionary holding n items, as an object to share with the scripts.
  static Variant Counter(int n) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_VarDictionary, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.put_void()));
    for (int i = 0; i < n; ++i) {
      Variant args[2] = {I4(i), I4(i)}, r;
      orvtest::CallByName(d.get(), L"Add", DISPATCH_METHOD, args[0].get(), 2, r.put());
    }
    return orvtest::Obj(d.get());
  }
  // What a function of the script of `language` returns.
  std::wstring Call(const wchar_t* language, const wchar_t* function) {
    ComPtr<IDispatch> script;
    if (FAILED(agg->get_script(*Str(language).get(), script.put()))) return L"<no script>";
    Variant r;
    if (FAILED(orvtest::CallByName(script.get(), function, DISPATCH_METHOD, nullptr, 0, r.put()))) return L"<failed>";
    return orvtest::Text(r.get());
  }

  ComPtr<IScpAggregate> agg;
};

// Each language records the order its global code runs in, through a common item.
TEST_F(ScpAggregateTest, RunOrdersStartAndStopLanguagesInTurn) {
  ComPtr<IDispatch> log;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VarDictionary, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, log.put_void()));
  Variant added;
  ASSERT_EQ(S_OK, agg->Add(*Str(L"Journal").get(), *orvtest::Obj(log.get()).get(), added.put()));
  ASSERT_TRUE(AddEngine(L"JScript"));
  ASSERT_TRUE(AddEngine(L"VBScript"));
  Bstr again(L"jscript");
  Variant flag;
  EXPECT_EQ(S_OK, agg->AddEngine(again.get(), flag.put())) << "a language is added once";
  EXPECT_EQ(1, V_BOOL(flag.get()));
  Bstr unknown(L"Klingon");
  EXPECT_EQ(S_FALSE, agg->AddEngine(unknown.get(), flag.put()));
  ASSERT_EQ(S_OK, AddText(L"JScript", L"Journal.Add('js', Journal.Count + 1);"));
  ASSERT_EQ(S_OK, AddText(L"VBScript", L"Journal.Add \"vb\", Journal.Count + 1"));

  ComPtr<IDispatch> script;
  EXPECT_EQ(E_UNEXPECTED, agg->get_script(*Missing().get(), script.put()));
  bool ok = false;
  EXPECT_EQ(S_OK, Run(-1, &ok));
  EXPECT_TRUE(ok);
  Variant js, vb;
  orvtest::CallByName(log.get(), L"Item", DISPATCH_PROPERTYGET, Str(L"js").get(), 1, js.put());
  orvtest::CallByName(log.get(), L"Item", DISPATCH_PROPERTYGET, Str(L"vb").get(), 1, vb.put());
  EXPECT_EQ(L"2", orvtest::Text(js.get())) << "order -1 starts the last language first";
  EXPECT_EQ(L"1", orvtest::Text(vb.get()));
  EXPECT_EQ(S_OK, agg->get_script(*Missing().get(), script.put())) << "no argument: the first language";
  EXPECT_EQ(S_OK, agg->Stop());

  // An unknown order starts nothing, yet the aggregate counts as active.
  EXPECT_EQ(S_OK, agg->Close());
  ASSERT_TRUE(AddEngine(L"VBScript"));
  EXPECT_EQ(S_FALSE, Run(5, &ok));
  EXPECT_FALSE(ok);
  Variant removed;
  EXPECT_EQ(S_FALSE, agg->Remove(*I4(1).get(), removed.put())) << "items are fixed while active";
  EXPECT_EQ(S_FALSE, agg->Clear());
}

TEST_F(ScpAggregateTest, LanguagesCallEachOtherAndItemsReachRunningEngines) {
  ASSERT_TRUE(AddEngine(L"JScript"));
  ASSERT_TRUE(AddEngine(L"VBScript"));
  ASSERT_EQ(S_OK, AddText(L"JScript", L"function fromJs() { return fromVb() + 1; } function js1() { return 1; }"));
  ASSERT_EQ(S_OK, AddText(L"VBScript", L"Function fromVb()\nfromVb = 10 + js1()\nEnd Function\n"
                                       L"Function usesItem()\nusesItem = Late.Count\nEnd Function"));
  ASSERT_EQ(S_OK, Run(0));
  EXPECT_EQ(L"12", Call(L"JScript", L"fromJs"));
  EXPECT_EQ(L"11", Call(L"VBScript", L"fromVb"));
  Variant added;
  EXPECT_EQ(S_OK, agg->AddEx(*Str(L"Late").get(), *Counter(7).get(), 0, added.put()));
  EXPECT_EQ(L"7", Call(L"vbscript", L"usesItem")) << "an item added while running reaches the engines";

  struct Where {
    const wchar_t* name;
    LONG type;
    const wchar_t* expected;
    HRESULT hr;
  } rows[] = {{L"fromVb", 1, L"VBScript", S_OK}, {L"fromVb", 0, L"2", S_OK}, {L"js1", 0, L"1", S_OK},
              {L"nothing", 0, L"<?>", S_FALSE}};
  for (const Where& w : rows) {
    Variant where;
    EXPECT_EQ(w.hr, agg->WhereIsDefined(*Str(w.name).get(), w.type, where.put())) << w.name;
    if (w.hr == S_OK) EXPECT_EQ(w.expected, orvtest::Text(where.get())) << w.name;
  }
  ComPtr<IDispatch> script;
  orvtest::TakeErrorRecord();
  EXPECT_EQ(MAKE_HRESULT(1, FACILITY_ITF, 10109), agg->get_script(*Str(L"Perl").get(), script.put()));
  EXPECT_EQ(L"Scripting engine not found for the specified language.", orvtest::TakeErrorRecord().description);
  EXPECT_EQ(MAKE_HRESULT(1, FACILITY_ITF, 10109), agg->get_script(*I4(3).get(), script.put()));
}

TEST_F(ScpAggregateTest, ErrorSourcePointsAtTheFailingLanguage) {
  EXPECT_EQ(L"ERROR INFORMATION NOT AVAILABLE", LastError());
  EXPECT_EQ(0, ErrorHost());
  ASSERT_TRUE(AddEngine(L"JScript"));
  ASSERT_TRUE(AddEngine(L"VBScript"));
  EXPECT_EQ(S_FALSE, AddText(L"VBScript", L"Function (")) << "a compile error";
  EXPECT_EQ(2, ErrorHost());
  EXPECT_NE(std::wstring::npos, LastError().find(L"VBScript")) << std::string(LastError().begin(), LastError().end());
  EXPECT_EQ(S_FALSE, AddText(L"Nope", L"x"));
  EXPECT_EQ(0, ErrorHost());
  EXPECT_EQ(S_OK, agg->put_errorHost(9));
  EXPECT_EQ(L"INVALID ERROR INFORMATION", LastError());
  ComPtr<IDispatch> details;
  EXPECT_EQ(S_OK, agg->get_lastErrorEx(details.put()));
  EXPECT_NE(nullptr, details.get());
  Bstr language(L"JScript");
  VARIANT_BOOL added = 1;
  EXPECT_EQ(E_INVALIDARG, agg->AddTextEx(language.get(), nullptr, 0, 0, *Missing().get(), &added));
  EXPECT_EQ(0, added);
}

TEST_F(ScpAggregateTest, CloseDropsTheLanguagesAndKeepsTheItems) {
  Variant added;
  ASSERT_EQ(S_OK, agg->Add(*Str(L"N").get(), *Counter(3).get(), added.put()));
  ASSERT_TRUE(AddEngine(L"JScript"));
  ASSERT_EQ(S_OK, AddText(L"JScript", L"function f() { return N.Count; }"));
  ASSERT_EQ(S_OK, Run(0));
  EXPECT_EQ(L"3", Call(L"JScript", L"f"));
  ASSERT_EQ(S_OK, agg->Close());
  ASSERT_TRUE(AddEngine(L"VBScript"));
  ASSERT_EQ(S_OK, AddText(L"VBScript", L"Function g()\ng = N.Count * 2\nEnd Function"));
  ASSERT_EQ(S_OK, Run(0));
  EXPECT_EQ(L"6", Call(L"VBScript", L"g"));
  EXPECT_EQ(L"<no script>", Call(L"JScript", L"f"));
  LONG count = 0;
  agg->get_Count(&count);
  EXPECT_EQ(1, count);
  // A language added while running starts at once and is bound both ways.
  ASSERT_TRUE(AddEngine(L"JScript"));
  ASSERT_EQ(S_OK, AddText(L"JScript", L"function h() { return g() + 1; }"));
  EXPECT_EQ(L"7", Call(L"JScript", L"h"));
}

}  // namespace
