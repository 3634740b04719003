// The four exports of both libraries: class-object lookup over the class table, cached
// factories, unload rule, and the keys registration writes and removes.
#include <gtest/gtest.h>

#include <set>

#include "OrvantaVessa.h"
#include "components/module/Module.h"
#include "tests/support/TestSupport.h"

using orvtest::KeyExists;
using orvtest::Library;
using orvtest::ReadString;

namespace {

// Classes whose creators exist in this build; every other CLSID of the table is refused.
const std::set<std::wstring> kServedClasses = {
    L"VarDictionary", L"ScpMan", L"SFMain", L"SFStream", L"SFStorage", L"SFFileStream", L"SFDirStorage", L"SFDrive",
    // configuration
    L"ConfigFile",

    // values, binary data and records
    L"UtilStringList", L"TypeConvertor", L"SFBinaryData", L"SFField", L"SFRecord", L"SFFilter",

    // object creator, threads and synchronisation
    L"VessaCreator", L"COMApartment", L"COMThread", L"COMScriptThread", L"COMSleeper", L"SynchEvent", L"SynchMutex",
    L"SynchSemaphore", L"CustomLock",

    // composites
    L"ScpAggregate", L"VaryDisp", L"VaryDispCreator",
};

std::wstring GuidText(REFGUID g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  return text;
}

// Every coclass of the embedded type library with its noncreatable flag.
std::vector<std::pair<std::wstring, CLSID>> Coclasses(HMODULE module, std::vector<bool>* creatable) {
  std::vector<std::pair<std::wstring, CLSID>> out;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  orv::ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, lib.put()))) return out;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    orv::ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    if (FAILED(lib->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&attr))) continue;
    if (attr->typekind == TKIND_COCLASS) {
      orv::Bstr name;
      info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
      out.emplace_back(name.c_str(), attr->guid);
      if (creatable) creatable->push_back(!(attr->wTypeFlags & TYPEFLAG_FCANCREATE) ? false : true);
    }
    info->ReleaseTypeAttr(attr);
  }
  return out;
}

class ModuleFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ModuleFrameTest, ExportsAreUndecorated) {
  for (const wchar_t* file : {L"OrvantaVessa.dll", L"Vantor.dll"}) {
    Library lib(file);
    ASSERT_NE(nullptr, lib.handle()) << file;
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
      EXPECT_NE(nullptr, GetProcAddress(lib.handle(), name)) << name;
  }
}

TEST_F(ModuleFrameTest, UnknownAndNullRequests) {
  for (const wchar_t* file : {L"OrvantaVessa.dll", L"Vantor.dll"}) {
    Library lib(file);
    EXPECT_EQ(E_POINTER, lib.GetClassObject(CLSID_VarDictionary, IID_IClassFactory, nullptr));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, lib.GetClassObject(IID_IUnknown, IID_IClassFactory, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, lib.CanUnloadNow());
  }
}

TEST_F(ModuleFrameTest, EveryCoclassIsServedOrRefusedAsTheTableSays) {
  Library lib(L"OrvantaVessa.dll");
  std::vector<bool> creatable;
  const auto classes = Coclasses(lib.handle(), &creatable);
  ASSERT_EQ(32u + 19u + 1u, classes.size());  // 32 classes, 19 free-threaded twins, InternalNodeInfo
  for (size_t i = 0; i < classes.size(); ++i) {
    const auto& [name, clsid] = classes[i];
    std::wstring base = name;
    if (base.size() > 4 && base.ends_with(L"Free")) base.resize(base.size() - 4);
    const bool served = creatable[i] && kServedClasses.count(base);
    orv::ComPtr<IClassFactory> factory;
    const HRESULT hr = lib.GetClassObject(clsid, IID_IClassFactory, factory.put_void());
    EXPECT_EQ(served ? S_OK : CLASS_E_CLASSNOTAVAILABLE, hr) << std::string(name.begin(), name.end());
    EXPECT_EQ(served, factory.get() != nullptr);
  }
}

// The first served class that has a free-threaded twin, with both CLSIDs.
bool FirstServedPair(Library& lib, CLSID& main, CLSID& twin) {
  const auto classes = Coclasses(lib.handle(), nullptr);
  for (size_t i = 0; i + 1 < classes.size(); ++i) {
    if (!kServedClasses.count(classes[i].first) || classes[i + 1].first != classes[i].first + L"Free") continue;
    main = classes[i].second;
    twin = classes[i + 1].second;
    return true;
  }
  return false;
}

TEST_F(ModuleFrameTest, ServedClassesShareCachedFactoriesAndHoldTheModule) {
  Library lib(L"OrvantaVessa.dll");
  CLSID main, twin;
  if (!FirstServedPair(lib, main, twin)) GTEST_SKIP() << "no class is served by this build yet";
  orv::ComPtr<IClassFactory> f1, f2, ft;
  ASSERT_EQ(S_OK, lib.GetClassObject(main, IID_IClassFactory, f1.put_void()));
  ASSERT_EQ(S_OK, lib.GetClassObject(main, IID_IClassFactory, f2.put_void()));
  ASSERT_EQ(S_OK, lib.GetClassObject(twin, IID_IClassFactory, ft.put_void()));
  EXPECT_EQ(f1.get(), f2.get());  // cached
  EXPECT_NE(f1.get(), ft.get());  // one factory per entry
  EXPECT_EQ(S_OK, lib.CanUnloadNow());  // factories alone do not hold the module

  orv::ComPtr<IDispatch> a, b;
  ASSERT_EQ(S_OK, f1->CreateInstance(nullptr, IID_IDispatch, a.put_void()));
  ASSERT_EQ(S_OK, ft->CreateInstance(nullptr, IID_IDispatch, b.put_void()));
  EXPECT_EQ(S_FALSE, lib.CanUnloadNow());
  // Twins create the same class: the same type information.
  orv::ComPtr<ITypeInfo> ta, tb;
  ASSERT_EQ(S_OK, a->GetTypeInfo(0, 0, ta.put()));
  ASSERT_EQ(S_OK, b->GetTypeInfo(0, 0, tb.put()));
  TYPEATTR *aa = nullptr, *ab = nullptr;
  ta->GetTypeAttr(&aa);
  tb->GetTypeAttr(&ab);
  EXPECT_TRUE(IsEqualGUID(aa->guid, ab->guid));
  ta->ReleaseTypeAttr(aa);
  tb->ReleaseTypeAttr(ab);
  ta.reset();
  tb.reset();
  EXPECT_EQ(0u, a.release()->Release());
  EXPECT_EQ(0u, b.release()->Release());
  EXPECT_EQ(S_OK, lib.CanUnloadNow());

  EXPECT_EQ(S_OK, f1->LockServer(TRUE));
  EXPECT_EQ(S_FALSE, lib.CanUnloadNow());
  EXPECT_EQ(S_OK, f1->LockServer(FALSE));
  EXPECT_EQ(S_OK, lib.CanUnloadNow());

  // Null out-pointers.
  EXPECT_EQ(E_POINTER, f1->CreateInstance(nullptr, IID_IDispatch, nullptr));
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, f1->CreateInstance(nullptr, IID_IClassFactory, &none));
  EXPECT_EQ(nullptr, none);
}

TEST_F(ModuleFrameTest, RegistrationWritesEveryKeyOfAPairScript) {
  // Registered by the suite fixture; the apartment class and its twin.
  const std::wstring clsid = L"CLSID\\{94A837CE-193F-11D5-999C-0040332BA2EA}";
  const std::wstring twin = L"CLSID\\{E5178F02-D68A-4E85-8583-1E329A6B010F}";
  EXPECT_EQ(L"Orvanta VarDictionary Class", ReadString(L"orvanta.utilctls.VarDictionary.1", nullptr));
  EXPECT_EQ(L"{94A837CE-193F-11D5-999C-0040332BA2EA}", ReadString(L"orvanta.utilctls.VarDictionary.1\\CLSID", nullptr));
  EXPECT_EQ(L"orvanta.utilctls.VarDictionary.1", ReadString(L"orvanta.utilctls.VarDictionary\\CurVer", nullptr));
  EXPECT_EQ(L"Orvanta VarDictionary Class (freethreaded)", ReadString(L"orvanta.utilctls.VarDictionary.free", nullptr));
  EXPECT_EQ(L"orvanta.utilctls.VarDictionary.free.1", ReadString(L"orvanta.utilctls.VarDictionary.free\\CurVer", nullptr));
  EXPECT_EQ(L"Orvanta VarDictionary Class", ReadString(clsid, nullptr));
  EXPECT_EQ(L"orvanta.utilctls.VarDictionary.1", ReadString(clsid + L"\\ProgID", nullptr));
  EXPECT_EQ(L"orvanta.utilctls.VarDictionary", ReadString(clsid + L"\\VersionIndependentProgID", nullptr));
  EXPECT_TRUE(KeyExists(clsid + L"\\Programmable"));
  EXPECT_EQ(L"Both", ReadString(clsid + L"\\InprocServer32", L"ThreadingModel"));
  EXPECT_EQ(L"Free", ReadString(twin + L"\\InprocServer32", L"ThreadingModel"));
  EXPECT_EQ(L"T:\\bin\\OrvantaVessa.dll", ReadString(clsid + L"\\InprocServer32", nullptr));
  EXPECT_EQ(L"{94A837C0-193F-11D5-999C-0040332BA2EA}", ReadString(clsid + L"\\TypeLib", nullptr));
  // The two aliases, and the three classes registered without "Programmable".
  EXPECT_EQ(L"Orvanta.Scphost.ScpMan2.1", ReadString(L"Orvanta.utilctls.ScriptManager\\CurVer", nullptr));
  EXPECT_EQ(L"Orvanta.Scphost.ScpMan2.free.1", ReadString(L"Orvanta.utilctls.ScriptManager.free\\CurVer", nullptr));
  EXPECT_EQ(L"Orvanta.utilctls.Stream.1", ReadString(L"Orvanta.utilctls.SFStream\\CurVer", nullptr));
  EXPECT_EQ(L"Orvanta.utilctls.Stream.free.1", ReadString(L"Orvanta.utilctls.SFStream.free\\CurVer", nullptr));
  for (const wchar_t* noProg : {L"{1C89ABD6-F168-46A2-A562-A192DB1BC24D}", L"{8C5ED567-C721-4B29-8C06-3262AEDFE233}",
                                L"{68B99EDF-2805-4C39-84AA-5C825112D54B}"}) {
    EXPECT_TRUE(KeyExists(std::wstring(L"CLSID\\") + noProg));
    EXPECT_FALSE(KeyExists(std::wstring(L"CLSID\\") + noProg + L"\\Programmable"));
  }
  // Script 215 is carried but never run; the gateway's class is registered.
  EXPECT_FALSE(KeyExists(L"Orvanta.utilctls.InternalObjectInfo"));
  EXPECT_EQ(L"Orvanta Vantor Class", ReadString(L"CLSID\\{03797ADA-8CCF-4533-B623-2C5DE06B29C7}", nullptr));
  EXPECT_EQ(L"Orvanta.sandbox.Vantor.1", ReadString(L"Orvanta.sandbox.Vantor\\CurVer", nullptr));
  // Both type libraries.
  EXPECT_TRUE(KeyExists(L"TypeLib\\{F37D81DF-47A8-467B-B071-2A723C6DF68E}\\1.0"));
  EXPECT_TRUE(KeyExists(L"TypeLib\\{8FD2426A-BD06-4DE8-A0DE-DE83CFA54296}\\1.0"));
}

TEST_F(ModuleFrameTest, UnregisterRemovesKeysButKeepsClsidAndTypeLib) {
  Library lib(L"OrvantaVessa.dll");
  ASSERT_EQ(S_OK, lib.Unregister());
  EXPECT_FALSE(KeyExists(L"orvanta.utilctls.VarDictionary"));
  EXPECT_FALSE(KeyExists(L"orvanta.utilctls.VarDictionary.free.1"));
  EXPECT_FALSE(KeyExists(L"Orvanta.utilctls.ScriptManager"));
  EXPECT_FALSE(KeyExists(L"CLSID\\{94A837CE-193F-11D5-999C-0040332BA2EA}"));
  EXPECT_FALSE(KeyExists(L"CLSID\\{8C086E2F-6CA1-40B2-9A4F-536F321E4A90}"));
  EXPECT_TRUE(KeyExists(L"CLSID"));
  EXPECT_TRUE(KeyExists(L"TypeLib\\{F37D81DF-47A8-467B-B071-2A723C6DF68E}\\1.0"));
  EXPECT_EQ(S_OK, lib.Unregister());  // nothing left to remove: still success
  ASSERT_EQ(S_OK, lib.Register());
  EXPECT_TRUE(KeyExists(L"CLSID\\{94A837CE-193F-11D5-999C-0040332BA2EA}\\InprocServer32"));
}

TEST_F(ModuleFrameTest, TypeLibFallbackPathOnlyReplacesTheFileExtension) {
  EXPECT_EQ(L"C:\\a\\OrvantaVessa.tlb", orv::TypeLibFallbackPath(L"C:\\a\\OrvantaVessa.dll"));
  EXPECT_EQ(L"C:\\a\\module.tlb", orv::TypeLibFallbackPath(L"C:\\a\\module"));
  EXPECT_EQ(L"C:\\dir.x\\module.tlb", orv::TypeLibFallbackPath(L"C:\\dir.x\\module"));
}

TEST_F(ModuleFrameTest, CompositeLookupReadsUserRegistrationFirst) {
  const CLSID clsid = {0x5eb1c0de, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
  const std::wstring guid = GuidText(clsid);
  const std::wstring user = L"SOFTWARE\\Classes\\CLSID\\" + guid + L"\\InprocServer32";
  Library lib(L"OrvantaVessa.dll");
  void* p = nullptr;
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, lib.GetClassObject(clsid, IID_IUnknown, &p));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, user.c_str(), L"CompositeDefinitionFile", REG_SZ,
                                           L"C:\\x.def", 20));
  // A registered definition gets a factory; the file is read only when an object is made.
  orv::ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, lib.GetClassObject(clsid, IID_IClassFactory, factory.put_void()));
  orv::ComPtr<IUnknown> made;
  EXPECT_EQ(MAKE_HRESULT(1, FACILITY_ITF, 10160), factory->CreateInstance(nullptr, IID_IUnknown, made.put_void()));
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(factory.get(), IID_IUnknown, made.put_void()));
  RegDeleteTreeW(HKEY_CURRENT_USER, (L"SOFTWARE\\Classes\\CLSID\\" + guid).c_str());
}

}  // namespace
