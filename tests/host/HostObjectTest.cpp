// The `Host` object through IDispatch, as the engines call it, over a recording front
// end; and loading a script file into the core.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/HostCore.h"
#include "tests/support/TestSupport.h"

namespace orvanta::host {
namespace {

struct RecordingUi final : HostUi {
  std::wstring output, input, label;
  std::vector<std::wstring> messages, errors, asked;
  bool answer = false;
  int clears = 0, exits = 0, requests = 0;

  void Write(std::wstring_view t) override { output += t; }
  void ClearOutput() override { ++clears; }
  void ShowMessage(std::wstring_view t) override { messages.emplace_back(t); }
  bool Ask(std::wstring_view t) override {
    asked.emplace_back(t);
    return answer;
  }
  void ShowError(std::wstring_view t) override { errors.emplace_back(t); }
  void RequestInput(std::wstring_view l) override {
    label = l;
    ++requests;
  }
  void SetInput(std::wstring_view t) override { input = t; }
  void Exit() override { ++exits; }
};

class HostObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(core.CreateHostObject(), S_OK);
    core.params().ParseCommandLine(L"-nohelp T:\\s\\t.js first \"second one\"");
    core.params().Set(ParamSection::Runtime, L"ScriptPath", L"T:\\s\\");
    host = core.hostObject();
    ASSERT_TRUE(host);
  }

  // Calls a member by name with the given arguments (in script order).
  HRESULT Call(const wchar_t* name, std::vector<VARIANT> args, VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID id;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = host->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS dp = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    hr = host->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, result, nullptr, nullptr);
    for (VARIANT& v : args) VariantClear(&v);
    return hr;
  }

  static VARIANT Str(const wchar_t* s) {
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(s);
    return v;
  }
  static VARIANT Int(LONG n) {
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = n;
    return v;
  }
  static VARIANT Bool(bool b) {
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static std::wstring Text(const orv::Variant& v) {
    return v.vt() == VT_BSTR ? std::wstring(V_BSTR(v.get()), SysStringLen(V_BSTR(v.get()))) : L"<not text>";
  }

  orv::ComInit com{COINIT_MULTITHREADED};  // as the hosts run
  RecordingUi ui;
  HostCore core{ui};
  orv::ComPtr<IDispatch> host;
};

TEST_F(HostObjectTest, NamesResolveIgnoringCaseAndUnknownNamesGetMinusOne) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"writeline"), const_cast<LPOLESTR>(L"Nope"),
                      const_cast<LPOLESTR>(L"RUNTIMEPARAMETER")};
  DISPID ids[3] = {};
  EXPECT_EQ(host->GetIDsOfNames(IID_NULL, names, 3, LOCALE_USER_DEFAULT, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(ids[2], 13);
  UINT count = 5;
  EXPECT_EQ(host->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(1);
  EXPECT_EQ(host->GetTypeInfo(0, 0, &info), DISP_E_BADINDEX);
  orv::ComPtr<IUnknown> unk;
  EXPECT_EQ(host->QueryInterface(IID_IUnknown, unk.put_void()), S_OK);
  orv::ComPtr<IPersist> other;
  EXPECT_EQ(host->QueryInterface(IID_IPersist, other.put_void()), E_NOINTERFACE);
}

TEST_F(HostObjectTest, InvokeChecksMemberArgumentsNamedArgumentsAndMethodCalls) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(host->Invoke(14, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(host->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(L"ParameterCount", {}), DISP_E_BADPARAMCOUNT);
  VARIANT arg = Str(L"x");
  DISPID named = 0;
  DISPPARAMS withName = {&arg, &named, 1, 1};
  EXPECT_EQ(host->Invoke(kDispWrite, IID_NULL, 0, DISPATCH_METHOD, &withName, nullptr, nullptr, nullptr), DISP_E_NONAMEDARGS);
  VariantClear(&arg);
  // Property syntax fails; a method call that is also a property get works.
  EXPECT_EQ(Call(L"Exit", {}, nullptr, DISPATCH_PROPERTYGET), E_FAIL);
  EXPECT_EQ(Call(L"Write", {Str(L"a")}, nullptr, DISPATCH_PROPERTYPUT), E_FAIL);
  EXPECT_EQ(Call(L"Write", {Str(L"b")}, nullptr, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK);
  EXPECT_EQ(ui.output, L"b");
  // Extra arguments: nothing happens, no error.
  EXPECT_EQ(Call(L"Msg", {Str(L"a"), Str(L"b")}), S_OK);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(Call(L"Exit", {Int(1)}), S_OK);
  EXPECT_EQ(Call(L"Clear", {Int(1)}), S_OK);
  EXPECT_EQ(ui.exits + ui.clears, 0);
  EXPECT_EQ(Call(L"Exit", {}), S_OK);
  EXPECT_EQ(Call(L"Clear", {}), S_OK);
  EXPECT_EQ(ui.exits, 1);
  EXPECT_EQ(ui.clears, 1);
}

TEST_F(HostObjectTest, OutputMessagesAndInputMembers) {
  VARIANT inner = Int(42);
  VARIANT byRef;
  V_VT(&byRef) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&byRef) = &inner;  // as VBScript passes variables
  EXPECT_EQ(Call(L"Write", {byRef}), S_OK);
  EXPECT_EQ(Call(L"WriteLine", {Str(L" end")}), S_OK);
  EXPECT_EQ(ui.output, L"42 end\r\n");
  VARIANT null;
  V_VT(&null) = VT_NULL;
  EXPECT_EQ(Call(L"Write", {null}), DISP_E_TYPEMISMATCH);  // a failed conversion is returned
  EXPECT_EQ(ui.output, L"42 end\r\n");

  EXPECT_EQ(Call(L"Msg", {Str(L"hello")}), S_OK);
  EXPECT_EQ(ui.messages, std::vector<std::wstring>{L"hello"});
  orv::Variant r;
  ui.answer = true;
  EXPECT_EQ(Call(L"Ask", {Str(L"sure?")}, r.put()), S_OK);
  EXPECT_EQ(r.vt(), VT_BOOL);
  EXPECT_EQ(V_BOOL(r.get()), 1);  // 1, not the automation true
  ui.answer = false;
  EXPECT_EQ(Call(L"Ask", {Str(L"again?")}, r.put()), S_OK);
  EXPECT_EQ(V_BOOL(r.get()), 0);
  EXPECT_EQ(ui.asked, (std::vector<std::wstring>{L"sure?", L"again?"}));

  EXPECT_EQ(Call(L"RequestInput", {Str(L"Go")}), S_OK);
  EXPECT_EQ(Call(L"SetInput", {Int(7)}), S_OK);
  EXPECT_EQ(ui.label, L"Go");
  EXPECT_EQ(ui.requests, 1);
  EXPECT_EQ(ui.input, L"7");
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(HostObjectTest, ParametersByPositionCountAndName) {
  orv::Variant r;
  EXPECT_EQ(Call(L"Parameter", {Int(2)}, r.put()), S_OK);
  EXPECT_EQ(Text(r), L"second one");
  EXPECT_EQ(Call(L"Parameter", {Str(L"1")}, r.put()), S_OK);  // a numeric string converts
  EXPECT_EQ(Text(r), L"first");
  EXPECT_EQ(Call(L"SysParameter", {Int(1)}, r.put()), S_OK);
  EXPECT_EQ(Text(r), L"nohelp");
  EXPECT_EQ(Call(L"SysParameter", {Int(2)}, r.put()), S_OK);
  EXPECT_EQ(Text(r), L"T:\\s\\t.js");
  EXPECT_EQ(Call(L"ParameterCount", {Bool(true)}, r.put()), S_OK);
  EXPECT_EQ(r.vt(), VT_I4);
  EXPECT_EQ(V_I4(r.get()), 2);
  EXPECT_EQ(Call(L"ParameterCount", {Int(0)}, r.put()), S_OK);
  EXPECT_EQ(V_I4(r.get()), 2);
  EXPECT_EQ(Call(L"RuntimeParameter", {Str(L"scriptpath")}, r.put()), S_OK);
  EXPECT_EQ(Text(r), L"T:\\s\\");
  EXPECT_TRUE(ui.errors.empty());
}

TEST_F(HostObjectTest, ParameterErrorsAreShownAndReturned) {
  orv::Variant r;
  EXPECT_EQ(Call(L"Parameter", {Str(L"a")}, r.put()), E_FAIL);
  EXPECT_EQ(Call(L"Parameter", {Int(3)}, r.put()), E_FAIL);
  EXPECT_EQ(Call(L"SysParameter", {Int(0)}, r.put()), E_FAIL);
  EXPECT_EQ(Call(L"SysParameter", {Int(-2)}, r.put()), E_FAIL);
  EXPECT_EQ(Call(L"ParameterCount", {Str(L"maybe")}, r.put()), E_FAIL);
  EXPECT_EQ(Call(L"RuntimeParameter", {Str(L"ScriptFile")}, r.put()), E_FAIL);  // no script loaded
  VARIANT null;
  V_VT(&null) = VT_NULL;
  EXPECT_EQ(Call(L"RuntimeParameter", {null}, r.put()), E_FAIL);
  EXPECT_EQ(r.vt(), VT_EMPTY);
  EXPECT_EQ(ui.errors, (std::vector<std::wstring>{
                           L"Command line parameter can be refered only by index",
                           L"Non-existent command line parameter refered #3",
                           L"Non-existent command line parameter refered #0",
                           L"Non-existent command line parameter refered #-2",
                           L"ParameterCount requires boolean parameter",
                           L"Non-existent parameter refered #ScriptFile",
                           L"Runtime parameter can be refered only by name",
                       }));
}

TEST_F(HostObjectTest, CreateObjectByProgIdOrClassId) {
  orv::Variant r;
  EXPECT_EQ(Call(L"CreateObject", {Str(L"Scripting.Dictionary")}, r.put()), S_OK);
  EXPECT_EQ(r.vt(), VT_DISPATCH);
  EXPECT_NE(V_DISPATCH(r.get()), nullptr);
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(L"Scripting.Dictionary", &clsid), S_OK);
  wchar_t braced[40];
  ASSERT_GT(StringFromGUID2(clsid, braced, 40), 0);
  EXPECT_EQ(Call(L"CreateObject", {Str(braced)}, r.put()), S_OK);
  EXPECT_EQ(r.vt(), VT_DISPATCH);
  r.reset();
  EXPECT_EQ(Call(L"CreateObject", {Str(L"No.Such.Class")}, r.put()), E_FAIL);
  EXPECT_EQ(Call(L"CreateObject", {Str(L"{not a clsid}")}, r.put()), E_FAIL);
  // A well-formed CLSID of no class: the creation's own failure.
  EXPECT_EQ(Call(L"CreateObject", {Str(L"{0B5B2E1C-9C51-4B6B-9E10-4B1D5A1C0F01}")}, r.put()), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(r.vt(), VT_EMPTY);
}

TEST_F(HostObjectTest, ADetachedObjectShowsNothing) {
  core.Shutdown();
  orv::Variant r;
  EXPECT_EQ(Call(L"WriteLine", {Str(L"late")}), S_OK);
  EXPECT_EQ(Call(L"Msg", {Str(L"late")}), S_OK);
  EXPECT_EQ(Call(L"Parameter", {Int(1)}, r.put()), E_FAIL);
  EXPECT_TRUE(ui.output.empty());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(host->Release(), 0u) << "the test holds the last reference";
  (void)host.release();
}

TEST(HostCoreLoad, SetsRuntimeValuesAndKeepsThemWhenAFileCannotBeRead) {
  RecordingUi ui;
  HostCore core(ui);
  wchar_t dir[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, dir), 0u);
  const std::wstring path = std::wstring(dir) + L"host load test.JS";
  {
    std::ofstream f(std::filesystem::path(path), std::ios::binary);
    f << "\xEF\xBB\xBFvar s = \"\xC3\xA9\";";
  }
  core.LoadScriptFile(path, nullptr);
  EXPECT_EQ(core.language(), L"JScript");
  EXPECT_EQ(core.scriptText(), L"var s = \"\u00E9\";");
  EXPECT_EQ(ToWide(*core.params().Find(ParamSection::Runtime, L"ScriptFile")), path);
  EXPECT_EQ(ToWide(*core.params().Find(ParamSection::Runtime, L"scriptpath")), dir);

  core.LoadScriptFile(std::wstring(dir) + L"missing.vbs", nullptr);
  EXPECT_TRUE(core.scriptText().empty());
  EXPECT_EQ(core.language(), L"JScript");
  EXPECT_EQ(ToWide(*core.params().Find(ParamSection::Runtime, L"ScriptFile")), path);
  {
    std::ofstream f(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  }
  core.LoadScriptFile(path, L"VBScript");  // empty file: as unreadable
  EXPECT_TRUE(core.scriptText().empty());
  EXPECT_EQ(core.language(), L"JScript");
  EXPECT_EQ(core.params().Count(ParamSection::Runtime), 2u);
  DeleteFileW(path.c_str());
}

}  // namespace
}  // namespace orvanta::host
