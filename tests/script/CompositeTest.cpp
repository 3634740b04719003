// Composites through their interfaces: the dispatch rules of the composite object, its
// identifiers, the context, the loader's messages, and registered definition classes.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <fstream>
#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Obj;
using orvtest::Str;

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

class CompositeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VaryDisp, nullptr, CLSCTX_INPROC_SERVER, IID_IVaryDisp, builder.put_void()));
    ComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, builder->get_theObject(disp.put()));
    composite = disp;
    ASSERT_EQ(S_OK, disp.query(imp));
  }

  static ComPtr<IScpMan> RunningManager(const wchar_t* language, const wchar_t* code) {
    ComPtr<IScpMan> m;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ScpMan, nullptr, CLSCTX_INPROC_SERVER, IID_IScpMan, m.put_void()));
    Bstr lang(language), text(code);
    Variant ok;
    EXPECT_EQ(S_OK, m->LoadEngine(lang.get(), ok.put()));
    EXPECT_EQ(S_OK, m->AddText(text.get(), ok.put()));
    EXPECT_EQ(S_OK, m->Run(ok.put()));
    return m;
  }

  // The platform's dictionary holding "a" = 1, as a plain component.
  static ComPtr<IDispatch> Dictionary() {
    ComPtr<IDispatch> d;
    CLSID clsid;
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"Scripting.Dictionary", &clsid));
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, d.put_void()));
    Variant args[2] = {Str(L"a"), I4(1)};
    Variant r;
    EXPECT_EQ(S_OK, orvtest::CallByName(d.get(), L"Add", DISPATCH_METHOD, args[0].get(), 2, r.put()));
    return d;
  }

  LONG AddObject(const wchar_t* name, IUnknown* object, SHORT flags = 0) {
    Bstr n(name);
    LONG id = 0;
    EXPECT_EQ(S_OK, imp->AddObject(n.get(), object, flags, &id));
    return id;
  }

  HRESULT AddMember(const wchar_t* name, const VARIANT& object, const VARIANT& inner, SHORT kinds, LONG reqId,
                    LONG* dispid) {
    Bstr n(name);
    return imp->AddMember(n.get(), object, inner, kinds, reqId, dispid);
  }

  HRESULT Call(DISPID id, WORD flags, VARIANT* args = nullptr, UINT count = 0, VARIANT* result = nullptr,
               EXCEPINFO* excep = nullptr) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, nullptr, count, 0};
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      params.rgdispidNamedArgs = &named;
      params.cNamedArgs = 1;
    }
    return composite->Invoke(id, IID_NULL, 0, flags, &params, result, excep, nullptr);
  }

  ComPtr<IVaryDisp> builder;
  ComPtr<IDispatch> composite;
  ComPtr<IVaryDispImp> imp;
};

TEST_F(CompositeTest, InvokeKindsFollowTheMemberFlags) {
  const LONG dict = AddObject(L"Dict", Dictionary().get());
  LONG getOnly = 0, methodOnly = 0, all = 0;
  ASSERT_EQ(S_OK, AddMember(L"Size", *I4(dict).get(), *Str(L"Count").get(), 2, -1, &getOnly));
  ASSERT_EQ(S_OK, AddMember(L"Has", *Str(L"Dict").get(), *Str(L"Exists").get(), 4, -1, &methodOnly));
  ASSERT_EQ(S_OK, AddMember(L"Item", *I4(1).get(), *Str(L"Item").get(), 7, -1, &all));
  EXPECT_EQ(1, getOnly);
  EXPECT_EQ(3, all);

  struct Case {
    DISPID id;
    WORD flags;
    HRESULT expected;
  } cases[] = {
      {getOnly, DISPATCH_PROPERTYGET, S_OK},
      {getOnly, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},
      {getOnly, DISPATCH_METHOD | DISPATCH_PROPERTYGET, S_OK},  // what VBScript passes
      {getOnly, DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND},
      {methodOnly, DISPATCH_PROPERTYGET, DISP_E_MEMBERNOTFOUND},
      {999, DISPATCH_METHOD, DISP_E_MEMBERNOTFOUND},
  };
  for (const Case& c : cases) {
    Variant arg = Str(L"a"), result;
    EXPECT_EQ(c.expected, Call(c.id, c.flags, c.id == getOnly ? nullptr : arg.get(), c.id == getOnly ? 0 : 1,
                               result.put()))
        << "member " << c.id << " flags " << c.flags;
  }
  Variant key = Str(L"a"), found;
  ASSERT_EQ(S_OK, Call(methodOnly, DISPATCH_METHOD, key.get(), 1, found.put()));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(found.get()));
  // A put reaches the component: Item("a") = 5.
  Variant putArgs[2] = {I4(5), Str(L"a")};
  ASSERT_EQ(S_OK, Call(all, DISPATCH_PROPERTYPUT, putArgs[0].get(), 2));
  Variant now;
  ASSERT_EQ(S_OK, Call(all, DISPATCH_PROPERTYGET, key.get(), 1, now.put()));
  EXPECT_EQ(L"5", orvtest::Text(now.get()));
}

TEST_F(CompositeTest, GetIDsOfNamesLooksUpTheFirstNameOnly) {
  AddObject(L"Dict", Dictionary().get());
  LONG id = 0;
  ASSERT_EQ(S_OK, AddMember(L"Size", *I4(1).get(), *Str(L"Count").get(), 7, 17, &id));
  EXPECT_EQ(17, id);
  LPOLESTR names[2] = {const_cast<LPOLESTR>(L"SIZE"), const_cast<LPOLESTR>(L"named")};
  DISPID ids[2] = {0, 0};
  EXPECT_EQ(S_OK, composite->GetIDsOfNames(IID_NULL, names, 1, 0, ids));
  EXPECT_EQ(17, ids[0]);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, composite->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
  EXPECT_EQ(17, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
  names[0] = const_cast<LPOLESTR>(L"nothing");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, composite->GetIDsOfNames(IID_NULL, names, 1, 0, ids));
  EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
  EXPECT_EQ(E_INVALIDARG, composite->GetIDsOfNames(IID_NULL, names, 0, 0, ids));
  UINT count = 5;
  EXPECT_EQ(E_NOTIMPL, composite->GetTypeInfoCount(&count));
}

TEST_F(CompositeTest, IdentifiersSkipNumbersInUseAndRemovalFreesThem) {
  const LONG a = AddObject(L"A", Dictionary().get());
  const LONG b = AddObject(L"B", Dictionary().get());
  EXPECT_EQ(1, a);
  EXPECT_EQ(2, b);
  Bstr dup(L"a");
  LONG id = 0;
  EXPECT_EQ(E_INVALIDARG, imp->AddObject(dup.get(), Dictionary().get(), 0, &id)) << "names ignore case";
  Bstr other(L"X");
  EXPECT_EQ(E_INVALIDARG, imp->AddObject(other.get(), Dictionary().get(), 9, &id)) << "unknown kind";
  Bstr ctxName(L"Late");
  EXPECT_EQ(E_UNEXPECTED, imp->SetContextName(ctxName.get()));

  LONG m1 = 0, m2 = 0, m3 = 0;
  ASSERT_EQ(S_OK, AddMember(L"One", *Str(L"A").get(), *Str(L"Count").get(), 7, -1, &m1));
  ASSERT_EQ(S_OK, AddMember(L"Two", *Str(L"B").get(), *Str(L"Count").get(), 7, 2, &m2));
  ASSERT_EQ(S_OK, AddMember(L"Three", *Str(L"B").get(), *I4(0).get(), 7, -1, &m3));
  EXPECT_EQ(3, m3) << "the counter skips the requested 2";
  LONG dummy = 0;
  EXPECT_EQ(E_INVALIDARG, AddMember(L"Four", *Str(L"A").get(), *Str(L"Count").get(), 7, 2, &dummy));
  EXPECT_EQ(E_INVALIDARG, AddMember(L"one", *Str(L"A").get(), *Str(L"Count").get(), 7, -1, &dummy));
  EXPECT_EQ(E_INVALIDARG, AddMember(L"Five", *Str(L"Z").get(), *Str(L"Count").get(), 7, -1, &dummy));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, AddMember(L"Six", *Str(L"A").get(), *Str(L"NoSuch").get(), 7, -1, &dummy));

  EXPECT_EQ(S_OK, imp->RemoveObject(*Str(L"B").get()));
  EXPECT_EQ(S_FALSE, imp->RemoveObject(*Str(L"B").get()));
  LONG count = 0;
  imp->MemberCount(&count);
  EXPECT_EQ(1, count) << "the component's members went with it";
  EXPECT_EQ(S_OK, AddMember(L"Again", *I4(1).get(), *Str(L"Count").get(), 7, 2, &dummy)) << "DISPID 2 is free";
  EXPECT_EQ(3, AddObject(L"C", Dictionary().get())) << "identifiers keep counting";
  EXPECT_EQ(S_OK, imp->GetObjectID(*I4(2).get(), &id));
  EXPECT_EQ(3, id);
  EXPECT_EQ(E_INVALIDARG, imp->GetObjectID(*Str(L"B").get(), &id));
  ComPtr<IUnknown> found;
  EXPECT_EQ(DISP_E_BADINDEX, imp->FindObject(*I4(7).get(), found.put()));
}

TEST_F(CompositeTest, ScriptComponentsSeeTheContextAndReportErrorsUnderTheirName) {
  Bstr ctxName(L"Ctx");
  ASSERT_EQ(S_OK, imp->SetContextName(ctxName.get()));
  ComPtr<IScpMan> connected = RunningManager(L"JScript", L"function n() { return Ctx.Count; }"
                                                          L"function bad() { throw new Error('bad thing'); }");
  ComPtr<IScpMan> plain = RunningManager(L"JScript", L"var x = 1;");
  AddObject(L"Js", connected.get());
  AddObject(L"Other", plain.get(), 2);  // kind given without 0x200: not connected
  Variant item;
  EXPECT_EQ(S_OK, connected->get_Item(*Str(L"Ctx").get(), item.put()));
  EXPECT_NE(S_OK, plain->get_Item(*Str(L"Ctx").get(), item.put()));

  LONG n = 0, bad = 0;
  ASSERT_EQ(S_OK, AddMember(L"N", *Str(L"Js").get(), *Str(L"n").get(), 7, -1, &n));
  ASSERT_EQ(S_OK, AddMember(L"Bad", *Str(L"Js").get(), *Str(L"bad").get(), 7, -1, &bad));
  LONG refused = 0;
  EXPECT_EQ(E_INVALIDARG, AddMember(L"Num", *Str(L"Js").get(), *I4(3).get(), 7, -1, &refused));
  Variant result;
  ASSERT_EQ(S_OK, Call(n, DISPATCH_METHOD, nullptr, 0, result.put()));
  EXPECT_EQ(L"2", orvtest::Text(result.get()));
  EXCEPINFO excep{};
  EXPECT_EQ(DISP_E_EXCEPTION, Call(bad, DISPATCH_METHOD, nullptr, 0, result.put(), &excep));
  EXPECT_EQ(std::wstring(L"Composite VaryDisp error in component Js"), excep.bstrSource ? excep.bstrSource : L"");
  EXPECT_NE(std::wstring::npos, std::wstring(excep.bstrDescription ? excep.bstrDescription : L"").find(L"bad thing"))
      << Narrow(excep.bstrDescription ? excep.bstrDescription : L"");
  EXPECT_EQ(DISP_E_EXCEPTION, excep.scode);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);

  // The context outlives its composite only as a detached shell.
  ComPtr<IVaryDispCtx> context;
  ASSERT_EQ(S_OK, connected->get_Item(*Str(L"Ctx").get(), item.put()));
  ASSERT_EQ(S_OK, V_DISPATCH(item.get())->QueryInterface(IID_IVaryDispCtx, context.put_void()));
  LONG count = 0;
  EXPECT_EQ(S_OK, context->get_Count(&count));
  EXPECT_EQ(2, count);
  builder.reset();
  composite.reset();
  imp.reset();
  EXPECT_EQ(E_UNEXPECTED, context->get_Count(&count));
  connected->Close();
  plain->Close();
}

// Definition files written to the build tree, loaded through the creator.
class DefinitionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VaryDispCreator, nullptr, CLSCTX_INPROC_SERVER, IID_IVaryDispCreator,
                                     creator.put_void()));
    folder = orvtest::BinPath(L"composite-defs\\");
    CreateDirectoryW(folder.c_str(), nullptr);
  }
  std::wstring Write(const wchar_t* name, const std::string& text) {
    const std::wstring path = folder + name;
    std::ofstream(Narrow(path).c_str(), std::ios::binary) << text;
    return path;
  }
  // The message a failed CreateObject reports ("" on success).
  std::wstring CreateMessage(const std::wstring& path) {
    ComPtr<IDispatch> made;
    orvtest::TakeErrorRecord();
    if (SUCCEEDED(creator->CreateObject(*Str(path.c_str()).get(), 0, 0, made.put()))) return L"";
    return orvtest::TakeErrorRecord().description;
  }

  ComPtr<IVaryDispCreator> creator;
  std::wstring folder;
};

std::string ScriptComponent(const std::string& name, const std::string& body) {
  return "{ " + name + ":\n(string)Type=SCRIPT\n" + body + "} " + name + ";\n";
}

TEST_F(DefinitionTest, LoaderMessagesNameWhatFailed) {
  Write(L"good.vbs", "Function F()\nF = 1\nEnd Function\n");
  Write(L"broken.vbs", "Function (\n");
  struct Case {
    const char* components;
    const wchar_t* expectedStart;
  } cases[] = {
      {nullptr, L"No COMPONENTS section."},
      {"{ X:\n(string)Type=COM\n(string)Class=No.Such.Class\n} X;\n", L"Cannot create the component X: No.Such.Class"},
      {"{ S:\n(string)Type=SCRIPT\n(string)Language=Klingon\n} S;\n",
       L"Cannot create the script component S: Klingon language cannot be loaded"},
      {"{ S:\n(string)Type=SCRIPT\n(string)File=good.vbs\n(string)File=broken.vbs\n} S;\n",
       L"Compile time error in S in file: broken.vbs "},
      {"{ S:\n(string)Type=SCRIPT\n(string)Script=x = \n} S;\n", L"Compile time error in S in the script#: 1 "},
      {"{ S:\n(string)Type=SCRIPT\n(string)File=missing.vbs\n} S;\n", L"Compile time error in S in file: missing.vbs "},
      {"{ S:\n(string)Type=SCRIPT\n(string)File=good.vbs\n{ MEMBERS:\n{ M:\n(string)InternalName=F\n(int)DISPID=5\n} M;\n"
       "{ N:\n(string)InternalName=F\n(int)DISPID=5\n} N;\n} MEMBERS;\n} S;\n",
       L"Failed to add member N of S to the composite"},
      {"{ A:\n(string)Type=SCRIPTAGGREGATE\n{ Files:\n(string)Martian=good.vbs\n} Files;\n} A;\n",
       L"Cannot load the specified script engine for the component A Failed language:Martian"},
  };
  for (const Case& c : cases) {
    const std::string text = c.components ? "{ COMPONENTS:\n" + std::string(c.components) + "} COMPONENTS;\n"
                                          : "{ OPTIONS:\n} OPTIONS;\n";
    const std::wstring message = CreateMessage(Write(L"case.def", text));
    EXPECT_EQ(0u, message.find(c.expectedStart)) << Narrow(message) << " / " << Narrow(c.expectedStart);
  }
  // A definition that does not build is not registered.
  const std::wstring broken = Write(L"broken.def", "{ COMPONENTS:\n" + ScriptComponent("S", "(string)File=broken.vbs\n") +
                                                       "} COMPONENTS;\n{ CLASS:\n(string)ProgID=OrvantaTest.Broken\n"
                                                       "(string)ClassID={0C5E7F11-2B3A-4D8C-9E6F-1A2B3C4D5E6F}\n} CLASS;\n");
  EXPECT_EQ(DISP_E_EXCEPTION, creator->RegisterClass(*Str(broken.c_str()).get(), 0, 0));
  EXPECT_FALSE(orvtest::KeyExists(L"OrvantaTest.Broken"));
  // Through the object creator a definition named in a plain identifier keeps its loader
  // message; a name that reaches no definition fails as an unknown class, without one.
  ComPtr<IVessaCreator> objects;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VessaCreator, nullptr, CLSCTX_INPROC_SERVER, IID_IVessaCreator,
                                   objects.put_void()));
  ComPtr<IDispatch> none;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, objects->CreateObject(*Str(broken.c_str()).get(), 0, none.put()));
  EXPECT_EQ(0u, orvtest::TakeErrorRecord().description.find(L"Compile time error in S in file: broken.vbs"));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, objects->CreateObject(*Str(L"NoSuchDefinition").get(), 0, none.put()));
  EXPECT_FALSE(orvtest::TakeErrorRecord().present);
  // Lower-case "script", a bare file name next to the definition, an inline script.
  const std::wstring good = Write(
      L"good.def", "{ COMPONENTS:\n" +
                       ScriptComponent("S", "(string)File=good.vbs\n(string)Script=Function G()\n"
                                            "{ MEMBERS:\n{ M:\n(string)InternalName=F\n} M;\n} MEMBERS;\n") +
                       "} COMPONENTS;\n");
  EXPECT_EQ(0u, CreateMessage(good).find(L"Compile time error in S in the script#: 1 "))
      << "an inline script that does not compile";
}

TEST_F(DefinitionTest, RegistryBranchesAndUnicodeScripts) {
  // A definition in a registry branch (root byte 1: the current user), its script inline.
  const std::wstring member = L"Software\\OrvantaTest\\Def\\COMPONENTS\\S\\MEMBERS\\M";
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, member.c_str(), L"InternalName", REG_SZ, L"F", 4));
  const std::wstring component = L"Software\\OrvantaTest\\Def\\COMPONENTS\\S";
  const wchar_t script[] = L"Function F()\nF = 7\nEnd Function";
  RegSetKeyValueW(HKEY_CURRENT_USER, component.c_str(), L"Type", REG_SZ, L"SCRIPT", 14);
  RegSetKeyValueW(HKEY_CURRENT_USER, component.c_str(), L"Script", REG_SZ, script, sizeof(script));
  ComPtr<IDispatch> made;
  ASSERT_EQ(S_OK, creator->CreateObject(*Str(L"Software\\OrvantaTest\\Def").get(), 0, 0x103, made.put()));
  Variant r;
  EXPECT_EQ(S_OK, orvtest::CallByName(made.get(), L"M", DISPATCH_METHOD, nullptr, 0, r.put()));
  EXPECT_EQ(L"7", orvtest::Text(r.get()));
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvantaTest");
  EXPECT_EQ(MAKE_HRESULT(1, FACILITY_ITF, 10139),
            creator->CreateObject(*Str(L"Software\\OrvantaTest\\Def").get(), 0, 0x103, made.put()));

  // UTF-16 script files when UnicodeScripts says so.
  const std::wstring text = L"Function U()\r\nU = \"\u00e9t\u00e9\"\r\nEnd Function\r\n";
  Write(L"wide.vbs", std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t)));
  const std::wstring def = Write(
      L"wide.def", "{ OPTIONS:\n(int)UnicodeScripts=1\n} OPTIONS;\n{ COMPONENTS:\n" +
                       ScriptComponent("S", "(string)File=wide.vbs\n{ MEMBERS:\n{ U:\n(string)InternalName=U\n"
                                            "} U;\n} MEMBERS;\n") +
                       "} COMPONENTS;\n");
  ASSERT_EQ(S_OK, creator->CreateObject(*Str(def.c_str()).get(), 0, 2, made.put()));
  EXPECT_EQ(S_OK, orvtest::CallByName(made.get(), L"U", DISPATCH_METHOD, nullptr, 0, r.put()));
  EXPECT_EQ(L"\u00e9t\u00e9", orvtest::Text(r.get()));
}

TEST_F(DefinitionTest, RegisteredClassesAreServedByTheModuleWithPerUserFirst) {
  Write(L"one.vbs", "Function Which()\nWhich = 1\nEnd Function\n");
  Write(L"two.vbs", "Function Which()\nWhich = 2\nEnd Function\n");
  auto definition = [](const char* file, const char* cls) {
    return std::string("{ COMPONENTS:\n") + ScriptComponent("S", std::string("(string)File=") + file +
                                                                     "\n{ MEMBERS:\n{ Which:\n(string)InternalName=Which\n"
                                                                     "} Which;\n} MEMBERS;\n") +
           "} COMPONENTS;\n{ CLASS:\n(string)ProgID=OrvantaTest.Layered\n(string)ClassID=" + cls + "\n} CLASS;\n";
  };
  const char* kClass = "{9E3C1A55-0B7D-4C2E-8F11-2A6B5C4D3E21}";
  const std::wstring machine = Write(L"machine.def", definition("one.vbs", kClass));
  const std::wstring user = Write(L"user.def", definition("two.vbs", kClass));

  EXPECT_EQ(MAKE_HRESULT(1, FACILITY_ITF, 10140), creator->RegisterClass(*Str(L"user.def").get(), 1, 0));
  EXPECT_EQ(MAKE_HRESULT(1, FACILITY_ITF, 10141), creator->RegisterClass(*Str(user.c_str()).get(), 1, 3));
  ASSERT_EQ(S_OK, creator->RegisterClass(*Str(machine.c_str()).get(), 0, 0));
  ASSERT_EQ(S_OK, creator->RegisterClass(*Str(user.c_str()).get(), 1, 2));
  const std::wstring key = L"CLSID\\{9E3C1A55-0B7D-4C2E-8F11-2A6B5C4D3E21}";
  EXPECT_EQ(L"Class OrvantaTest.Layered", orvtest::ReadString(key, nullptr));
  EXPECT_EQ(L"OrvantaTest.Layered.1", orvtest::ReadString(key + L"\\ProgID", nullptr));
  EXPECT_EQ(L"Apartment", orvtest::ReadString(key + L"\\InprocServer32", L"ThreadingModel"));
  EXPECT_EQ(user, orvtest::ReadString(L"SOFTWARE\\Classes\\" + key + L"\\InprocServer32", L"CompositeDefinitionFile",
                                      HKEY_CURRENT_USER));

  // The module's own lookup prefers the per-user registration (Wine's COM reads HKCR only).
  CLSID clsid;
  ASSERT_EQ(S_OK, CLSIDFromString(L"{9E3C1A55-0B7D-4C2E-8F11-2A6B5C4D3E21}", &clsid));
  auto which = [&clsid]() {
    orvtest::Library library(L"OrvantaVessa.dll");
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(S_OK, library.GetClassObject(clsid, IID_IClassFactory, factory.put_void()));
    ComPtr<IDispatch> made;
    if (!factory || FAILED(factory->CreateInstance(nullptr, IID_IDispatch, made.put_void()))) return std::wstring();
    Variant r;
    orvtest::CallByName(made.get(), L"Which", DISPATCH_METHOD, nullptr, 0, r.put());
    return orvtest::Text(r.get());
  };
  EXPECT_EQ(L"2", which());
  Write(L"two.vbs", "Function Which()\nWhich = 22\nEnd Function\n");
  EXPECT_EQ(L"22", which()) << "the definition is read at every creation";
  ASSERT_EQ(S_OK, creator->UnRegisterClass(*Str(user.c_str()).get(), 1, 0));
  EXPECT_EQ(L"1", which());
  EXPECT_FALSE(orvtest::KeyExists(L"SOFTWARE\\Classes\\" + key, HKEY_CURRENT_USER));
  EXPECT_TRUE(orvtest::KeyExists(key)) << "only the per-user keys went";

  // A ProgID another class has taken since is left alone.
  const std::wstring other = Write(L"other.def", definition("one.vbs", "{1D4B6E1C-7A0F-4E55-B8C2-3F9A8D7E6C51}"));
  ASSERT_EQ(S_OK, creator->RegisterClass(*Str(other.c_str()).get(), 0, 0));
  ASSERT_EQ(S_OK, creator->UnRegisterClass(*Str(machine.c_str()).get(), 0, 0));
  EXPECT_FALSE(orvtest::KeyExists(key));
  EXPECT_TRUE(orvtest::KeyExists(L"OrvantaTest.Layered\\CLSID"));
  EXPECT_EQ(S_OK, creator->UnRegisterClass(*Str(other.c_str()).get(), 0, 0));
  EXPECT_FALSE(orvtest::KeyExists(L"OrvantaTest.Layered"));
}

}  // namespace
