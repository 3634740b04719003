// ScpMan through its vtable and IDispatch: the named-item collection, the engine
// contract (pinned with the recording engine), the last-error record, cloning, and real
// scripts in the platform's JScript and VBScript engines.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>
#include <activscp.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "tests/support/RecordingEngine/RecordingEngine.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Missing;
using orvtest::Obj;
using orvtest::Str;
using orvtest::Text;

namespace {

constexpr wchar_t kRec[] = ORVANTA_RECENGINE_PROGID;

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// The success flag: VT_BOOL holding 1 or 0.
::testing::AssertionResult Flag(const VARIANT& v, int expected) {
  if (V_VT(&v) != VT_BOOL) return ::testing::AssertionFailure() << "type " << V_VT(&v);
  if (V_BOOL(&v) != expected) return ::testing::AssertionFailure() << "value " << V_BOOL(&v);
  return ::testing::AssertionSuccess();
}

ComPtr<IScpMan> NewManager(REFCLSID clsid = CLSID_ScpMan) {
  ComPtr<IScpMan> m;
  EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IScpMan, m.put_void()));
  return m;
}

// The recording engine's control exports, from the library COM loads.
struct Recorder {
  HMODULE dll = LoadLibraryW(orvtest::BinPath(L"recengine.dll").c_str());
  RecEngineResetFn reset = reinterpret_cast<RecEngineResetFn>(GetProcAddress(dll, "RecEngineReset"));
  RecEngineLogFn log = reinterpret_cast<RecEngineLogFn>(GetProcAddress(dll, "RecEngineLog"));
  RecEngineFailFn fail = reinterpret_cast<RecEngineFailFn>(GetProcAddress(dll, "RecEngineFail"));
  RecEngineProbeFn probe = reinterpret_cast<RecEngineProbeFn>(GetProcAddress(dll, "RecEngineProbe"));
  RecEngineClearLogFn clear = reinterpret_cast<RecEngineClearLogFn>(GetProcAddress(dll, "RecEngineClearLog"));

  // The calls so far, without the state reads (asked for everywhere).
  std::vector<std::wstring> Calls(bool withStateReads = false) const {
    Bstr text;
    log(text.put());
    std::vector<std::wstring> out;
    std::wstring all = text.c_str();
    size_t start = 0;
    for (size_t at; (at = all.find(L'\n', start)) != std::wstring::npos; start = at + 1) {
      std::wstring line = all.substr(start, at - start);
      if (withStateReads || line.find(L":GetScriptState") == std::wstring::npos) out.push_back(line);
    }
    return out;
  }
  bool Has(const std::wstring& line) const {
    for (const auto& l : Calls(true))
      if (l == line) return true;
    return false;
  }
};

std::wstring Join(const std::vector<std::wstring>& lines) {
  std::wstring out;
  for (const auto& l : lines) out += l + L"\n";
  return out;
}

class ScpManTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    ASSERT_NE(nullptr, rec.dll);
    ASSERT_NE(nullptr, rec.reset);
    ASSERT_NE(nullptr, rec.clear);
    rec.reset();
    mgr = NewManager();
    ASSERT_TRUE(mgr);
  }
  void TearDown() override {
    if (mgr) mgr->Close();
    rec.reset();
  }

  HRESULT AddEx(IScpMan* m, const wchar_t* name, const VARIANT& item, LONG options, LONG* position = nullptr) {
    Variant result;
    const HRESULT hr = m->AddEx(*Str(name).get(), item, options, result.get());
    if (position) *position = V_VT(result.get()) == VT_I4 ? V_I4(result.get()) : -99;
    return hr;
  }
  HRESULT Load(IScpMan* m, const wchar_t* engine, int expectedFlag) {
    Variant flag;
    Bstr name(engine);
    const HRESULT hr = m->LoadEngine(name.get(), flag.get());
    EXPECT_TRUE(Flag(*flag.get(), expectedFlag)) << Narrow(engine);
    return hr;
  }
  HRESULT AddText(IScpMan* m, const wchar_t* code, int expectedFlag) {
    Variant flag;
    Bstr text(code);
    const HRESULT hr = m->AddText(text.get(), flag.get());
    EXPECT_TRUE(Flag(*flag.get(), expectedFlag)) << Narrow(code);
    return hr;
  }
  HRESULT RunIt(IScpMan* m, int expectedFlag) {
    Variant flag;
    const HRESULT hr = m->Run(flag.get());
    EXPECT_TRUE(Flag(*flag.get(), expectedFlag));
    return hr;
  }
  std::wstring LastError(IScpMan* m) {
    Bstr text;
    EXPECT_EQ(S_OK, m->get_lastError(text.put()));
    return text.c_str();
  }
  LONG Locked(IScpMan* m) {
    LONG v = -1;
    m->get_locked(&v);
    return v;
  }

  Recorder rec;
  ComPtr<IScpMan> mgr;
};

// ---------------------------------------------------------------------------------------
// The interface as the type library describes it

TEST_F(ScpManTest, TypeLibraryListsEveryMemberWithItsDispidInSlotOrder) {
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, mgr->QueryInterface(IID_IDispatch, disp.put_void()));
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(S_OK, disp->GetTypeInfo(0, 0, info.put()));
  const std::vector<std::pair<std::wstring, DISPID>> expected = {
      {L"versionString", 1}, {L"Add", 2}, {L"Count", 3}, {L"Item", 0}, {L"Key", 5}, {L"_NewEnum", -4},
      {L"Clear", 7}, {L"Remove", 8}, {L"locked", 9}, {L"LoadEngine", 10}, {L"AddText", 11}, {L"Run", 12},
      {L"Stop", 13}, {L"Close", 14}, {L"script", 15}, {L"lastError", 16}, {L"AddEventHandler", 17},
      {L"Connect", 18}, {L"AddEx", 19}, {L"IsDefined", 20}, {L"AddTextEx", 21}, {L"lastErrorEx", 22},
      {L"Eval", 23}, {L"Option", 24}, {L"Clone", 25}, {L"scriptObject", 26}};
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  std::vector<std::pair<std::wstring, DISPID>> actual;
  std::vector<SHORT> vtable;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* fd = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(i, &fd));
    Bstr name;
    info->GetDocumentation(fd->memid, name.put(), nullptr, nullptr, nullptr);
    if (fd->oVft >= static_cast<SHORT>(7 * sizeof(void*))) {
      actual.emplace_back(name.c_str(), fd->memid);
      vtable.push_back(fd->oVft);
    }
    info->ReleaseFuncDesc(fd);
  }
  info->ReleaseTypeAttr(attr);
  ASSERT_EQ(expected, actual);
  for (size_t i = 0; i < vtable.size(); ++i) EXPECT_EQ(static_cast<SHORT>((7 + i) * sizeof(void*)), vtable[i]);

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, mgr->QueryInterface(IID_ISupportErrorInfo, support.put_void()));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IScpMan));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
  ComPtr<IUnknown> dolly, site;
  EXPECT_EQ(S_OK, mgr->QueryInterface(IID_IDollyTheSheep, dolly.put_void()));
  EXPECT_EQ(S_OK, mgr->QueryInterface(__uuidof(IActiveScriptSite), site.put_void()));
}

TEST_F(ScpManTest, NullOutPointersGiveEPointer) {
  Variant key = Str(L"a"), item = I4(1);
  Bstr text(L"1");
  EXPECT_EQ(E_POINTER, mgr->get_versionString(nullptr));
  EXPECT_EQ(E_POINTER, mgr->Add(*key.get(), *item.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_Count(nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_Item(*key.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_Key(*key.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->get__NewEnum(nullptr));
  EXPECT_EQ(E_POINTER, mgr->Remove(*key.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_locked(nullptr));
  EXPECT_EQ(E_POINTER, mgr->LoadEngine(text.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->AddText(text.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->Run(nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_script(nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_lastError(nullptr));
  EXPECT_EQ(E_POINTER, mgr->AddEventHandler(text.get(), text.get(), text.get(), text.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->Connect(nullptr));
  EXPECT_EQ(E_POINTER, mgr->AddEx(*key.get(), *item.get(), 0, nullptr));
  EXPECT_EQ(E_POINTER, mgr->IsDefined(text.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->AddTextEx(text.get(), 0, 0, *Missing().get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_lastErrorEx(nullptr));
  EXPECT_EQ(E_POINTER, mgr->Eval(text.get(), *Missing().get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_Option(*key.get(), nullptr));
  EXPECT_EQ(E_POINTER, mgr->Clone(nullptr));
  EXPECT_EQ(E_POINTER, mgr->get_scriptObject(nullptr));
  ComPtr<IDollyTheSheep> dolly;
  ASSERT_EQ(S_OK, mgr.query(dolly));
  EXPECT_EQ(E_POINTER, dolly->NewClone(nullptr));
  LONG count = -1;
  EXPECT_EQ(S_OK, mgr->get_Count(&count));
  EXPECT_EQ(0, count);

  ComPtr<IDispatch> obj;
  EXPECT_EQ(E_NOTIMPL, mgr->get_scriptObject(obj.put()));
  Bstr version;
  EXPECT_EQ(S_OK, mgr->get_versionString(version.put()));
  EXPECT_STREQ(L"1.3, Orvanta ScriptHost", version.c_str());
}

// ---------------------------------------------------------------------------------------
// The named-item collection

TEST_F(ScpManTest, AddRefusesEmptyAndDuplicateNamesIgnoringCase) {
  LONG pos = -1;
  EXPECT_EQ(S_OK, AddEx(mgr.get(), L"Host", *I4(10).get(), 0, &pos));
  EXPECT_EQ(1, pos);
  EXPECT_EQ(S_FALSE, AddEx(mgr.get(), L"Host", *I4(11).get(), 0, &pos));
  EXPECT_EQ(0, pos);
  EXPECT_EQ(S_FALSE, AddEx(mgr.get(), L"hOST", *I4(12).get(), 0, &pos));
  EXPECT_EQ(0, pos);
  EXPECT_EQ(S_FALSE, AddEx(mgr.get(), L"", *I4(13).get(), 0, &pos));
  EXPECT_EQ(0, pos);
  Variant result;
  Variant nullKey;
  V_VT(nullKey.get()) = VT_NULL;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, mgr->Add(*nullKey.get(), *I4(1).get(), result.get()));
  // A number key becomes its text.
  EXPECT_EQ(S_OK, mgr->Add(*I4(7).get(), *Str(L"seven").get(), result.get()));
  EXPECT_EQ(2, V_I4(result.get()));
  LONG count = 0;
  mgr->get_Count(&count);
  EXPECT_EQ(2, count);
  Variant value;
  EXPECT_EQ(S_OK, mgr->get_Item(*Str(L"host").get(), value.put()));
  EXPECT_EQ(10, V_I4(value.get()));
}

TEST_F(ScpManTest, LookupByPositionOrNameAndOptions) {
  AddEx(mgr.get(), L"a", *I4(100).get(), 0);
  AddEx(mgr.get(), L"2", *I4(200).get(), 1);
  AddEx(mgr.get(), L"c", *I4(300).get(), 2);
  AddEx(mgr.get(), L"d", *I4(400).get(), 3);
  AddEx(mgr.get(), L"e", *I4(500).get(), 4);
  AddEx(mgr.get(), L"f", *I4(600).get(), 99);

  Variant v;
  EXPECT_EQ(S_OK, mgr->get_Item(*I4(1).get(), v.put()));
  EXPECT_EQ(100, V_I4(v.get()));
  // The string "2" is a name, the number 2 a position.
  EXPECT_EQ(S_OK, mgr->get_Item(*Str(L"c").get(), v.put()));
  EXPECT_EQ(300, V_I4(v.get()));
  Variant two;
  V_VT(two.get()) = VT_R8;
  V_R8(two.get()) = 3.0;
  EXPECT_EQ(S_OK, mgr->get_Item(*two.get(), v.put()));
  EXPECT_EQ(300, V_I4(v.get()));
  AddEx(mgr.get(), L"g", *I4(700).get(), 0);
  EXPECT_EQ(S_OK, mgr->get_Item(*Str(L"2").get(), v.put()));
  EXPECT_EQ(200, V_I4(v.get()));
  // By reference, as VBScript passes it.
  Variant target = I4(2), byRef;
  V_VT(byRef.get()) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(byRef.get()) = target.get();
  EXPECT_EQ(S_OK, mgr->get_Key(*byRef.get(), v.put()));
  EXPECT_EQ(L"2", Text(v.get()));

  EXPECT_EQ(S_FALSE, mgr->get_Item(*I4(0).get(), v.put()));
  EXPECT_EQ(VT_EMPTY, v.vt());
  EXPECT_EQ(S_FALSE, mgr->get_Item(*I4(8).get(), v.put()));
  EXPECT_EQ(VT_EMPTY, v.vt());
  EXPECT_EQ(S_FALSE, mgr->get_Key(*Str(L"zz").get(), v.put()));
  EXPECT_EQ(VT_BSTR, v.vt());
  EXPECT_EQ(0u, SysStringLen(V_BSTR(v.get())));

  const LONG expected[] = {0, 1, 2, 3, 4, 0, 0};
  for (LONG i = 0; i < 7; ++i) {
    LONG option = -1;
    EXPECT_EQ(S_OK, mgr->get_Option(*I4(i + 1).get(), &option));
    EXPECT_EQ(expected[i], option) << i;
  }
  LONG option = -1;
  EXPECT_EQ(S_FALSE, mgr->get_Option(*Str(L"nope").get(), &option));
  EXPECT_EQ(0, option);
}

TEST_F(ScpManTest, RemoveClearAndEnumeratorSnapshot) {
  for (const wchar_t* n : {L"a", L"b", L"c"}) AddEx(mgr.get(), n, *Str(n).get(), 0);
  ComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, mgr->get__NewEnum(unk.put()));
  ComPtr<IEnumVARIANT> names;
  ASSERT_EQ(S_OK, unk.query(names));

  Variant flag;
  EXPECT_EQ(S_OK, mgr->Remove(*Str(L"B").get(), flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 1));
  EXPECT_EQ(S_FALSE, mgr->Remove(*Str(L"b").get(), flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  Variant v;
  mgr->get_Key(*I4(2).get(), v.put());
  EXPECT_EQ(L"c", Text(v.get()));

  // The enumerator still walks the names as they were.
  std::wstring seen;
  VARIANT item;
  ULONG got = 0;
  while (names->Next(1, &item, &got) == S_OK) {
    seen += Text(&item);
    VariantClear(&item);
  }
  EXPECT_EQ(L"abc", seen);

  EXPECT_EQ(S_OK, mgr->Clear());
  LONG count = -1;
  mgr->get_Count(&count);
  EXPECT_EQ(0, count);
}

TEST_F(ScpManTest, MembersThroughIDispatch) {
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, mgr.query(disp));
  Variant result;
  Variant args[] = {Str(L"x"), I4(5)};
  VARIANT raw[] = {*args[0].get(), *args[1].get()};
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"AddEx", DISPATCH_METHOD, raw, 2, result.put()));
  EXPECT_EQ(1, V_I4(result.get()));
  VARIANT one[] = {*Str(L"x").get()};
  Variant keep(Str(L"x"));
  one[0] = *keep.get();
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Option", DISPATCH_PROPERTYGET, one, 1, result.put()));
  EXPECT_EQ(0, V_I4(result.get()));
  // Item is the default member.
  DISPPARAMS params = {one, nullptr, 1, 0};
  EXPECT_EQ(S_OK, disp->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &params, result.put(), nullptr, nullptr));
  EXPECT_EQ(5, V_I4(result.get()));
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Count", DISPATCH_METHOD, nullptr, 0, result.put()));
  EXPECT_EQ(1, V_I4(result.get()));
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"lastError", DISPATCH_PROPERTYGET, nullptr, 0, result.put()));
  EXPECT_EQ(L"(no source reported),,(Line:0, Char:0, Context:0),", Text(result.get()));
  // The platform's Invoke hands a failure back as an exception carrying the code.
  EXCEPINFO excep = {};
  EXPECT_EQ(DISP_E_EXCEPTION, orvtest::CallByName(disp.get(), L"Run", DISPATCH_METHOD, nullptr, 0, result.put(), &excep));
  EXPECT_EQ(E_UNEXPECTED, excep.scode);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
}

// ---------------------------------------------------------------------------------------
// The engine contract, pinned with the recording engine

TEST_F(ScpManTest, LoadEngineCreatesSetsTheSiteAndInitialises) {
  Variant flag;
  EXPECT_EQ(E_UNEXPECTED, mgr->Run(flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_EQ(S_FALSE, Load(mgr.get(), L"No.Such.Language", 0));
  EXPECT_EQ(S_FALSE, mgr->LoadEngine(nullptr, flag.get()));
  EXPECT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  EXPECT_EQ((std::vector<std::wstring>{L"1:SetScriptSite(site)", L"1:InitNew"}), rec.Calls());
  // A second engine needs a Close first.
  EXPECT_EQ(S_FALSE, Load(mgr.get(), kRec, 0));
  EXPECT_EQ(S_OK, mgr->Close());
  EXPECT_EQ(S_FALSE, mgr->Close());
  EXPECT_EQ(S_OK, Load(mgr.get(), kRec, 1));

  // A failure after the site is set leaves no engine behind.
  ComPtr<IScpMan> other = NewManager();
  rec.clear();
  rec.fail(L"InitNew", E_FAIL);
  EXPECT_EQ(S_FALSE, Load(other.get(), kRec, 0));
  EXPECT_EQ(E_UNEXPECTED, other->Run(flag.get()));
}

TEST_F(ScpManTest, RunPassesItemsWithEngineFlagsThenStartsOutsideTheLock) {
  ComPtr<IDispatch> self;
  ASSERT_EQ(S_OK, mgr.query(self));
  AddEx(mgr.get(), L"A", *I4(1).get(), 0);
  AddEx(mgr.get(), L"B", *Obj(self.get()).get(), 1);
  AddEx(mgr.get(), L"C", *Obj(self.get()).get(), 2);
  AddEx(mgr.get(), L"D", *Obj(self.get()).get(), 3);
  AddEx(mgr.get(), L"E", *Obj(self.get()).get(), 4);
  AddEx(mgr.get(), L"Refused", *I4(1).get(), 0);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  rec.clear();
  rec.fail(L"AddNamedItem(Refused", E_FAIL);
  rec.probe(L"SetScriptState(1)", self.get());
  EXPECT_EQ(0, Locked(mgr.get()));
  EXPECT_EQ(S_OK, RunIt(mgr.get(), 1));
  EXPECT_EQ((std::vector<std::wstring>{
                L"1:AddNamedItem(A,0x00000002)", L"1:AddNamedItem(B,0x00000006)", L"1:AddNamedItem(C,0x00000008)",
                L"1:AddNamedItem(D,0x00000008)", L"1:AddNamedItem(E,0x00000002)",
                L"1:AddNamedItem(Refused,0x00000002) => 0x80004005", L"probe:free", L"1:SetScriptState(1)"}),
            rec.Calls())
      << Narrow(Join(rec.Calls()));
  EXPECT_EQ(1, Locked(mgr.get()));

  // Locked: the collection cannot shrink, and a new item goes to the engine at once,
  // outside the lock; a refused one is taken out again.
  Variant flag;
  EXPECT_EQ(S_FALSE, mgr->Clear());
  EXPECT_EQ(S_FALSE, mgr->Remove(*I4(1).get(), flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  rec.clear();
  rec.probe(L"AddNamedItem", self.get());
  LONG pos = -1;
  EXPECT_EQ(S_OK, AddEx(mgr.get(), L"Late", *Obj(self.get()).get(), 3, &pos));
  EXPECT_EQ(7, pos);
  rec.fail(L"AddNamedItem(Bad", E_FAIL);
  EXPECT_EQ(S_FALSE, AddEx(mgr.get(), L"Bad", *I4(1).get(), 0, &pos));
  EXPECT_EQ(0, pos);
  EXPECT_EQ((std::vector<std::wstring>{L"probe:free", L"1:AddNamedItem(Late,0x00000008)", L"probe:free",
                                       L"1:AddNamedItem(Bad,0x00000002) => 0x80004005"}),
            rec.Calls());
  LONG count = 0;
  mgr->get_Count(&count);
  EXPECT_EQ(7, count);

  // Parsing happens under the lock.
  rec.clear();
  rec.probe(L"ParseScriptText", self.get());
  AddText(mgr.get(), L"define x", 1);
  EXPECT_EQ(L"probe:held", rec.Calls().at(0));
  rec.probe(nullptr, nullptr);

  // A second Run does not add the items again.
  rec.clear();
  EXPECT_EQ(S_OK, RunIt(mgr.get(), 1));
  EXPECT_EQ((std::vector<std::wstring>{L"1:SetScriptState(1)"}), rec.Calls());
}

TEST_F(ScpManTest, StopConnectAndCloseFollowTheEngineState) {
  ComPtr<IDispatch> self;
  ASSERT_EQ(S_OK, mgr.query(self));
  Variant flag;
  EXPECT_EQ(E_UNEXPECTED, mgr->Stop());
  EXPECT_EQ(E_UNEXPECTED, mgr->Connect(flag.get()));
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  rec.clear();
  // Connect needs a started or disconnected engine.
  EXPECT_EQ(S_FALSE, mgr->Connect(flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_TRUE(rec.Calls().empty());
  EXPECT_EQ(S_FALSE, mgr->Stop());  // initialized: unlocks only

  RunIt(mgr.get(), 1);
  EXPECT_EQ(S_OK, mgr->Connect(flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 1));
  rec.clear();
  EXPECT_EQ(S_OK, mgr->Stop());
  EXPECT_EQ((std::vector<std::wstring>{L"1:SetScriptState(3)", L"1:SetScriptState(5)"}), rec.Calls());
  EXPECT_EQ(1, Locked(mgr.get()));  // the first Stop keeps the collection frozen
  EXPECT_EQ(S_FALSE, mgr->Stop());
  EXPECT_EQ(0, Locked(mgr.get()));
  EXPECT_EQ(S_OK, mgr->Clear());

  // A failing state read is handed back.
  rec.fail(L"GetScriptState", E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, mgr->Stop());
  EXPECT_EQ(E_ACCESSDENIED, mgr->Run(flag.get()));
  EXPECT_EQ(E_ACCESSDENIED, AddText(mgr.get(), L"x", 0));
  rec.fail(L"GetScriptState", 0);

  // Close runs outside the lock; a failed Close interrupts and keeps the engine.
  RunIt(mgr.get(), 1);
  rec.clear();
  rec.fail(L"Close", E_FAIL);
  EXPECT_EQ(E_FAIL, mgr->Close());
  EXPECT_EQ(0, Locked(mgr.get()));
  EXPECT_EQ((std::vector<std::wstring>{L"1:Close => 0x80004005", L"1:InterruptScriptThread(-3,excep,0x00000000)"}),
            rec.Calls());
  rec.fail(L"Close", 0);
  rec.clear();
  rec.probe(L"Close", self.get());
  EXPECT_EQ(S_OK, mgr->Close());
  EXPECT_EQ((std::vector<std::wstring>{L"probe:free", L"1:Close"}), rec.Calls());
  rec.probe(nullptr, nullptr);
  EXPECT_EQ(E_UNEXPECTED, mgr->Stop());
  ComPtr<IDispatch> script;
  EXPECT_EQ(E_UNEXPECTED, mgr->get_script(script.put()));
}

TEST_F(ScpManTest, CodeCallsPassTheirArgumentsAndFlags) {
  Variant flag;
  VARIANT_BOOL ok = -1;
  Bstr code(L"define f"), item(L"Obj"), event(L"Click"), empty(L"");
  EXPECT_EQ(S_FALSE, mgr->AddText(code.get(), flag.get()));  // no engine
  EXPECT_EQ(S_FALSE, mgr->AddTextEx(code.get(), 0, 0, *Missing().get(), &ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(S_FALSE, mgr->AddEventHandler(item.get(), nullptr, event.get(), code.get(), flag.get()));
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  rec.clear();
  EXPECT_EQ(S_FALSE, mgr->AddText(nullptr, flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_EQ(S_FALSE, mgr->AddTextEx(nullptr, 0, 0, *Missing().get(), &ok));
  EXPECT_EQ(S_FALSE, mgr->AddEventHandler(item.get(), nullptr, nullptr, code.get(), flag.get()));
  EXPECT_TRUE(rec.Calls().empty());

  EXPECT_EQ(S_OK, mgr->AddText(code.get(), flag.get()));
  EXPECT_EQ(S_OK, mgr->AddTextEx(code.get(), 3, 7, *Str(L"Obj").get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(S_OK, mgr->AddTextEx(code.get(), 0, 0, *Str(L"").get(), &ok));
  EXPECT_EQ(S_OK, mgr->AddEventHandler(item.get(), empty.get(), event.get(), code.get(), flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 1));
  EXPECT_EQ(S_OK, mgr->AddEventHandler(item.get(), item.get(), event.get(), code.get(), flag.get()));
  Variant value;
  Bstr expr(L"result 42");
  EXPECT_EQ(S_OK, mgr->Eval(expr.get(), *Str(L"Obj").get(), value.put()));
  EXPECT_EQ(L"42", Text(value.get()));
  EXPECT_EQ((std::vector<std::wstring>{
                L"1:ParseScriptText(define f|(null)|null|(null)|0|0|0x00000000|null|excep)",
                L"1:ParseScriptText(define f|Obj|null|(null)|7|3|0x00000000|null|excep)",
                L"1:ParseScriptText(define f|(null)|null|(null)|0|0|0x00000000|null|excep)",
                L"1:AddScriptlet((null)|define f|Obj|(null)|Click|(null)|0|0|0x00000002|excep)",
                L"1:AddScriptlet((null)|define f|Obj|Obj|Click|(null)|0|0|0x00000002|excep)",
                L"1:ParseScriptText(result 42|Obj|null|(null)|0|0|0x00000020|result|excep)"}),
            rec.Calls());

  // Engine refusals become the failure flag.
  rec.fail(L"ParseScriptText", E_FAIL);
  rec.fail(L"AddScriptlet", E_FAIL);
  EXPECT_EQ(S_FALSE, mgr->AddText(code.get(), flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_EQ(S_FALSE, mgr->AddTextEx(code.get(), 0, 0, *Missing().get(), &ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(S_FALSE, mgr->AddEventHandler(item.get(), nullptr, event.get(), code.get(), flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_EQ(E_FAIL, mgr->Eval(expr.get(), *Missing().get(), value.put()));
}

TEST_F(ScpManTest, EvalReportsMissingTextAndEngine) {
  Variant value;
  Bstr expr(L"1");
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(DISP_E_EXCEPTION, mgr->Eval(expr.get(), *Missing().get(), value.put()));
  orvtest::ErrorRecord err = orvtest::TakeErrorRecord();
  EXPECT_TRUE(err.present);
  EXPECT_EQ(L"No script engine", err.description);
  EXPECT_EQ(L"Orvanta ScriptManager2", err.source);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  EXPECT_EQ(DISP_E_EXCEPTION, mgr->Eval(nullptr, *Missing().get(), value.put()));
  err = orvtest::TakeErrorRecord();
  EXPECT_EQ(L"Not text", err.description);
  // The free-threaded twin reports under the same class (made here without an apartment
  // switch, so the record stays on this thread).
  orvtest::Library lib(L"OrvantaVessa.dll");
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, lib.GetClassObject(CLSID_ScpManFree, IID_IClassFactory, factory.put_void()));
  ComPtr<IScpMan> twin;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IScpMan, twin.put_void()));
  EXPECT_EQ(DISP_E_EXCEPTION, twin->Eval(expr.get(), *Missing().get(), value.put()));
  EXPECT_EQ(L"Orvanta ScriptManager2", orvtest::TakeErrorRecord().source);
}

TEST_F(ScpManTest, ScriptAndIsDefinedNeedARunningEngine) {
  VARIANT_BOOL defined = -1;
  Bstr name(L"OnInput"), other(L"Other");
  ComPtr<IDispatch> script;
  EXPECT_EQ(E_UNEXPECTED, mgr->IsDefined(name.get(), &defined));
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  AddText(mgr.get(), L"define OnInput", 1);
  EXPECT_EQ(E_UNEXPECTED, mgr->get_script(script.put()));
  EXPECT_EQ(E_UNEXPECTED, mgr->IsDefined(name.get(), &defined));
  RunIt(mgr.get(), 1);
  EXPECT_EQ(S_OK, mgr->IsDefined(name.get(), &defined));
  EXPECT_EQ(1, defined);
  EXPECT_EQ(S_FALSE, mgr->IsDefined(other.get(), &defined));
  EXPECT_EQ(0, defined);
  EXPECT_EQ(S_FALSE, mgr->IsDefined(nullptr, &defined));
  EXPECT_EQ(S_OK, mgr->get_script(script.put()));
  EXPECT_TRUE(rec.Has(L"1:GetScriptDispatch((null))"));
}

// ---------------------------------------------------------------------------------------
// The last error

TEST_F(ScpManTest, LastErrorTextFromTheSiteAndFromTheExceptionParameter) {
  EXPECT_EQ(L"(no source reported),,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  // Global code that fails while starting: the run counts as failed.
  AddText(mgr.get(), L"define g;error 800A01B6 2 7 S|D|L", 1);
  EXPECT_EQ(S_FALSE, RunIt(mgr.get(), 0));
  EXPECT_EQ(L"Source:S,D,(Line:2, Char:7, Context:0),L", LastError(mgr.get()));
  // A second error replaces every field.
  VARIANT_BOOL ok = 0;
  Bstr code(L"error 80004005 0 0 X||");
  EXPECT_EQ(S_OK, mgr->AddTextEx(code.get(), 0, 7, *Missing().get(), &ok));
  EXPECT_EQ(L"Source:X,,(Line:0, Char:0, Context:7),", LastError(mgr.get()));
  AddText(mgr.get(), L"deferred 800A000D Type mismatch", 1);
  EXPECT_EQ(L"(no source reported),Type mismatch,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
  // Reported through the EXCEPINFO out-parameter instead of the site.
  AddText(mgr.get(), L"throw 80040001 boom", 0);
  EXPECT_EQ(L"Source:RecEngine,boom,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
  Variant value;
  Bstr expr(L"throw 80040002 bang");
  EXPECT_EQ(DISP_E_EXCEPTION, mgr->Eval(expr.get(), *Missing().get(), value.put()));
  EXPECT_EQ(L"Source:RecEngine,bang,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
  // Each run starts with an empty record.
  EXPECT_EQ(S_OK, RunIt(mgr.get(), 1));
  EXPECT_EQ(L"(no source reported),,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
}

TEST_F(ScpManTest, ConnectFailsWhenTheEngineReportsAnError) {
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  RunIt(mgr.get(), 1);
  AddText(mgr.get(), L"later error 80004005 1 1 S|D|", 1);
  Variant flag;
  EXPECT_EQ(S_FALSE, mgr->Connect(flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_EQ(L"Source:S,D,(Line:1, Char:1, Context:0),", LastError(mgr.get()));
  // A refused state change is a failure flag as well; the record was cleared first.
  rec.fail(L"SetScriptState(2)", E_FAIL);
  EXPECT_EQ(S_OK, mgr->Stop());
  RunIt(mgr.get(), 1);
  EXPECT_EQ(S_FALSE, mgr->Connect(flag.get()));
  EXPECT_TRUE(Flag(*flag.get(), 0));
  EXPECT_EQ(L"(no source reported),,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
}

TEST_F(ScpManTest, LastErrorExIsANewDictionaryOfSixEntries) {
  auto entries = [this](std::vector<std::wstring>& out) {
    ComPtr<IDispatch> details;
    ASSERT_EQ(S_OK, mgr->get_lastErrorEx(details.put()));
    ComPtr<IVarDictionary> dict;
    ASSERT_EQ(S_OK, details.query(dict));
    LONG count = 0;
    dict->get_Count(&count);
    out.clear();
    for (LONG i = 1; i <= count; ++i) {
      Variant key, value;
      dict->get_Key(*I4(i).get(), key.put());
      dict->get_Item(*I4(i).get(), value.put());
      out.push_back(Text(key.get()) + L"=" + std::to_wstring(value.vt()) + L":" +
                    (value.vt() == VT_EMPTY ? L"" : Text(value.get())));
    }
  };
  std::vector<std::wstring> got;
  entries(got);
  EXPECT_EQ((std::vector<std::wstring>{L"Source=0:", L"Description=0:", L"SourceLine=0:", L"Line=3:0", L"Char=3:0",
                                       L"Context=3:0"}),
            got);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  RunIt(mgr.get(), 1);
  VARIANT_BOOL ok = 0;
  Bstr code(L"error 800A01B6 4 -1 S||the line");
  mgr->AddTextEx(code.get(), 0, 12, *Missing().get(), &ok);
  entries(got);
  EXPECT_EQ((std::vector<std::wstring>{L"Source=8:S", L"Description=0:", L"SourceLine=8:the line", L"Line=3:4",
                                       L"Char=3:-1", L"Context=3:12"}),
            got);
  // Each call makes a new dictionary.
  ComPtr<IDispatch> one, two;
  mgr->get_lastErrorEx(one.put());
  mgr->get_lastErrorEx(two.put());
  EXPECT_NE(one.get(), two.get());
}

// ---------------------------------------------------------------------------------------
// The site

TEST_F(ScpManTest, GetItemInfoAnswersObjectsAndRunningManagers) {
  ComPtr<IDispatch> self;
  ASSERT_EQ(S_OK, mgr.query(self));
  ComPtr<IScpMan> other = NewManager();
  AddEx(mgr.get(), L"Obj", *Obj(self.get()).get(), 0);
  AddEx(mgr.get(), L"Num", *I4(5).get(), 0);
  AddEx(mgr.get(), L"Other", *Obj(other.get()).get(), 4);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  RunIt(mgr.get(), 1);
  rec.clear();
  // The other manager has no running script yet: its `script` failure comes back.
  AddText(mgr.get(), L"item Obj 3;item Num 1;item Missing 1;item Obj 0;item Other 1;item Num 2", 1);
  std::vector<std::wstring> calls = rec.Calls();
  ASSERT_EQ(7u, calls.size()) << Narrow(Join(calls));
  EXPECT_EQ(L"1:item(Obj,3)=0x00000000 unk=1 ti=1", calls[1]);
  EXPECT_EQ(L"1:item(Num,1)=0x8002802B unk=0 ti=0", calls[2]);
  EXPECT_EQ(L"1:item(Missing,1)=0x8002802B unk=0 ti=0", calls[3]);
  EXPECT_EQ(L"1:item(Obj,0)=0x00000000 unk=0 ti=0", calls[4]);
  EXPECT_EQ(L"1:item(Other,1)=0x8000FFFF unk=0 ti=0", calls[5]);
  EXPECT_EQ(L"1:item(Num,2)=0x8002802B unk=0 ti=0", calls[6]);

  // Once the other manager runs, its script stands in for the item.
  ASSERT_EQ(S_OK, Load(other.get(), kRec, 1));
  Bstr code(L"define Shared");
  Variant flag;
  other->AddText(code.get(), flag.get());
  RunIt(other.get(), 1);
  rec.clear();
  AddText(mgr.get(), L"call Other Shared", 1);
  EXPECT_TRUE(rec.Has(L"1:call(Other.Shared)=0x00000000 Shared")) << Narrow(Join(rec.Calls()));
  other->Close();
}

TEST_F(ScpManTest, ScriptCallsBackIntoItsOwnManagerWithoutDeadlock) {
  ComPtr<IDispatch> self;
  ASSERT_EQ(S_OK, mgr.query(self));
  AddEx(mgr.get(), L"Self", *Obj(self.get()).get(), 0);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  // During the start, and during a parse that holds the lock.
  AddText(mgr.get(), L"call Self Count", 1);
  RunIt(mgr.get(), 1);
  AddText(mgr.get(), L"call Self Eval result inner", 1);
  EXPECT_TRUE(rec.Has(L"1:call(Self.Count)=0x00000000 1")) << Narrow(Join(rec.Calls()));
  EXPECT_TRUE(rec.Has(L"1:call(Self.Eval)=0x00000000 inner")) << Narrow(Join(rec.Calls()));
  // The item refers to the manager itself: only Clear breaks the cycle.
  mgr->Close();
  EXPECT_EQ(S_OK, mgr->Clear());
}

TEST_F(ScpManTest, AScriptClosingItsOwnManagerIsClosedOnceItReturns) {
  ComPtr<IDispatch> self;
  ASSERT_EQ(S_OK, mgr.query(self));
  AddEx(mgr.get(), L"Self", *Obj(self.get()).get(), 0);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  RunIt(mgr.get(), 1);
  rec.clear();
  AddText(mgr.get(), L"call Self Close;call Self locked", 1);
  EXPECT_EQ((std::vector<std::wstring>{L"1:ParseScriptText(call Self Close;call Self locked|(null)|null|(null)|0|0|"
                                       L"0x00000000|null|excep)",
                                       L"1:call(Self.Close)=0x00000000 ", L"1:call(Self.locked)=0x00000000 0",
                                       L"1:Close"}),
            rec.Calls());
  Variant flag;
  EXPECT_EQ(E_UNEXPECTED, mgr->Run(flag.get()));

  // The platform's engines, from their global code (Wine's VBScript crashes when its
  // engine is closed under a running script).
  for (const wchar_t* lang : {L"JScript", L"VBScript"}) {
    ComPtr<IScpMan> m = NewManager();
    AddEx(m.get(), L"Self", *Obj(m.get()).get(), 0);
    ASSERT_EQ(S_OK, Load(m.get(), lang, 1));
    AddText(m.get(), L"Self.Close()", 1);
    EXPECT_EQ(S_OK, RunIt(m.get(), 1)) << Narrow(lang);
    EXPECT_EQ(E_UNEXPECTED, m->Run(flag.get()));
    EXPECT_EQ(S_FALSE, m->Close());
    EXPECT_EQ(S_OK, m->Clear());
  }
}

// ---------------------------------------------------------------------------------------
// Cloning and lifetime

TEST_F(ScpManTest, CloneCopiesItemsAndEngine) {
  ComPtr<IScpMan> inner = NewManager();
  AddEx(inner.get(), L"deep", *I4(1).get(), 0);
  ComPtr<IStream> plain;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, plain.put()));
  AddEx(mgr.get(), L"Mgr", *Obj(inner.get()).get(), 3);
  AddEx(mgr.get(), L"Plain", *Obj(plain.get()).get(), 0);
  AddEx(mgr.get(), L"Num", *I4(9).get(), 2);
  ASSERT_EQ(S_OK, Load(mgr.get(), kRec, 1));
  AddText(mgr.get(), L"define kept", 1);
  RunIt(mgr.get(), 1);
  rec.clear();

  ComPtr<IDispatch> copyDisp;
  ASSERT_EQ(S_OK, mgr->Clone(copyDisp.put()));
  ComPtr<IScpMan> copy;
  ASSERT_EQ(S_OK, copyDisp.query(copy));
  EXPECT_EQ(0, Locked(copy.get()));
  LONG count = 0, option = 0;
  copy->get_Count(&count);
  EXPECT_EQ(3, count);
  copy->get_Option(*Str(L"Mgr").get(), &option);
  EXPECT_EQ(3, option);
  Variant v;
  copy->get_Item(*Str(L"Mgr").get(), v.put());
  ASSERT_EQ(VT_DISPATCH, v.vt());
  ComPtr<IUnknown> a, b;
  V_DISPATCH(v.get())->QueryInterface(IID_IUnknown, a.put_void());
  inner->QueryInterface(IID_IUnknown, b.put_void());
  EXPECT_NE(a.get(), b.get());  // a manager copies itself
  copy->get_Item(*Str(L"Plain").get(), v.put());
  ASSERT_EQ(VT_UNKNOWN, v.vt());
  EXPECT_EQ(static_cast<IUnknown*>(plain.get()), V_UNKNOWN(v.get()));  // other objects are shared

  EXPECT_EQ((std::vector<std::wstring>{L"1:Clone", L"2:ClonedFrom(1)", L"2:SetScriptSite(site)"}), rec.Calls());
  rec.clear();
  EXPECT_EQ(S_OK, RunIt(copy.get(), 1));
  EXPECT_EQ((std::vector<std::wstring>{L"2:AddNamedItem(Mgr,0x00000008)", L"2:AddNamedItem(Plain,0x00000002)",
                                       L"2:AddNamedItem(Num,0x00000008)", L"2:SetScriptState(1)"}),
            rec.Calls());
  VARIANT_BOOL defined = 0;
  Bstr kept(L"kept");
  EXPECT_EQ(S_OK, copy->IsDefined(kept.get(), &defined));
  copy->Close();

  // A failing engine Clone is handed back and no copy is made.
  rec.fail(L"Clone", E_NOTIMPL);
  EXPECT_EQ(E_NOTIMPL, mgr->Clone(copyDisp.put()));
  EXPECT_FALSE(copyDisp);
}

TEST_F(ScpManTest, CloneOfAManagerThatHoldsItselfTerminates) {
  ComPtr<IDispatch> self;
  ASSERT_EQ(S_OK, mgr.query(self));
  AddEx(mgr.get(), L"Self", *Obj(self.get()).get(), 0);
  ComPtr<IDispatch> copyDisp;
  ASSERT_EQ(S_OK, mgr->Clone(copyDisp.put()));
  ComPtr<IScpMan> copy;
  ASSERT_EQ(S_OK, copyDisp.query(copy));
  Variant v;
  copy->get_Item(*I4(1).get(), v.put());
  ASSERT_EQ(VT_DISPATCH, v.vt());
  ComPtr<IUnknown> a, b;
  V_DISPATCH(v.get())->QueryInterface(IID_IUnknown, a.put_void());
  copy->QueryInterface(IID_IUnknown, b.put_void());
  EXPECT_EQ(a.get(), b.get());  // the copy refers to itself, as the original does
  v.reset();
  copy->Clear();
  mgr->Clear();
}

TEST_F(ScpManTest, FinalReleaseClosesTheEngine) {
  ComPtr<IScpMan> m = NewManager();
  ASSERT_EQ(S_OK, Load(m.get(), kRec, 1));
  RunIt(m.get(), 1);
  rec.clear();
  EXPECT_EQ(0u, m.release()->Release());
  EXPECT_TRUE(rec.Has(L"1:Close")) << Narrow(Join(rec.Calls()));

  // Aggregated: the inner unknown answers the manager's interfaces.
  struct Outer : IUnknown {
    IUnknown* inner = nullptr;
    LONG refs = 1;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
      if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = this;
        AddRef();
        return S_OK;
      }
      return inner->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
  } outer;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ScpMan, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&outer.inner)));
  ComPtr<IScpMan> agg;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IScpMan, agg.put_void()));
  ASSERT_EQ(S_OK, Load(agg.get(), kRec, 1));
  agg.reset();
  rec.clear();
  EXPECT_EQ(0u, outer.inner->Release());
  EXPECT_TRUE(rec.Has(L"2:Close")) << Narrow(Join(rec.Calls()));
}

// ---------------------------------------------------------------------------------------
// The platform's engines

TEST_F(ScpManTest, JScriptRunsEvaluatesAndReportsErrors) {
  ASSERT_EQ(S_OK, Load(mgr.get(), L"JScript", 1));
  AddEx(mgr.get(), L"Self", *Obj(mgr.get()).get(), 0);
  AddText(mgr.get(), L"function twice(a) { return a * 2; } var n = Self.Count;", 1);
  EXPECT_EQ(S_OK, RunIt(mgr.get(), 1));
  Variant value;
  Bstr expr(L"twice(21) + n");
  ASSERT_EQ(S_OK, mgr->Eval(expr.get(), *Missing().get(), value.put()));
  EXPECT_EQ(L"43", Text(value.get()));
  // Eval from inside the script, through the manager that runs it.
  Bstr nested(L"Self.Eval('twice(5)')");
  ASSERT_EQ(S_OK, mgr->Eval(nested.get(), *Missing().get(), value.put()));
  EXPECT_EQ(L"10", Text(value.get()));
  VARIANT_BOOL defined = 0;
  Bstr name(L"twice");
  EXPECT_EQ(S_OK, mgr->IsDefined(name.get(), &defined));

  AddText(mgr.get(), L"\nthrow new Error('broken');", 0);
  const std::wstring text = LastError(mgr.get());
  // The line is the engine's, counted from 0 (Wine's JScript names no source).
  EXPECT_NE(std::wstring::npos, text.find(L",broken,(Line:1, Char:")) << Narrow(text);

  // Wine's JScript cannot clone its engine.
  ComPtr<IDispatch> copy;
  EXPECT_EQ(E_NOTIMPL, mgr->Clone(copy.put()));
  mgr->Close();
  mgr->Clear();
}

TEST_F(ScpManTest, VBScriptFailingGlobalCodeMakesRunFail) {
  ASSERT_EQ(S_OK, Load(mgr.get(), L"VBScript", 1));
  AddText(mgr.get(), L"Dim x\nx = 1\nErr.Raise 5, \"Here\", \"Went wrong\"", 1);
  EXPECT_EQ(S_FALSE, RunIt(mgr.get(), 0));
  EXPECT_EQ(L"Source:Here,Went wrong,(Line:2, Char:0, Context:0),", LastError(mgr.get()));
  // A compile error is recorded too.
  AddText(mgr.get(), L"If Then", 0);
  EXPECT_NE(L"(no source reported),,(Line:0, Char:0, Context:0),", LastError(mgr.get()));
}

TEST_F(ScpManTest, ManagersCallEachOthersScriptsAcrossLanguages) {
  ComPtr<IScpMan> js = NewManager(), vbs = NewManager();
  ASSERT_EQ(S_OK, Load(js.get(), L"JScript", 1));
  ASSERT_EQ(S_OK, Load(vbs.get(), L"VBScript", 1));
  AddText(js.get(), L"function jsTwice(a) { return a * 2; }", 1);
  ASSERT_EQ(S_OK, RunIt(js.get(), 1));
  AddEx(vbs.get(), L"JS", *Obj(js.get()).get(), 4);
  AddEx(vbs.get(), L"JSGlobals", *Obj(js.get()).get(), 3);
  AddText(vbs.get(), L"Function vbsThrice(a)\nvbsThrice = a * 3\nEnd Function", 1);
  ASSERT_EQ(S_OK, RunIt(vbs.get(), 1));
  Variant value;
  Bstr byName(L"jsTwice(4)"), byItem(L"JS.jsTwice(5)");
  ASSERT_EQ(S_OK, vbs->Eval(byName.get(), *Missing().get(), value.put())) << Narrow(LastError(vbs.get()));
  EXPECT_EQ(L"8", Text(value.get()));
  ASSERT_EQ(S_OK, vbs->Eval(byItem.get(), *Missing().get(), value.put()));
  EXPECT_EQ(L"10", Text(value.get()));

  // And the other way round, added while the JScript manager is locked.
  AddEx(js.get(), L"VB", *Obj(vbs.get()).get(), 4);
  AddEx(js.get(), L"VBGlobals", *Obj(vbs.get()).get(), 3);
  Bstr back(L"VB.vbsThrice(2) + vbsThrice(3)");
  ASSERT_EQ(S_OK, js->Eval(back.get(), *Missing().get(), value.put())) << Narrow(LastError(js.get()));
  EXPECT_EQ(L"15", Text(value.get()));
  vbs->Close();
  js->Close();
}

}  // namespace

