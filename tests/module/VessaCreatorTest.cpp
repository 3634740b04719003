// VessaCreator: the attempt plan for each identifier form and flag (linked in), creation
// by short name, CLSID, ProgID and DLL path through the registered library, the errors
// of CreateObjectFromDLL, and creation with the library unregistered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ErrorReport.h"
#include "components/module/VessaCreator.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::CreateAttempt;
using orv::Variant;
using orvtest::Str;
using orvtest::TakeErrorRecord;

namespace {

std::vector<CreateAttempt> Plan(const wchar_t* id, LONG flags) {
  CreateAttempt out[6];
  const size_t n = orv::PlanCreateAttempts(id, flags, out);
  return std::vector<CreateAttempt>(out, out + n);
}

TEST(VessaCreatorPlan, AttemptsInOrderForEachFormAndFlag) {
  using A = CreateAttempt;
  struct Row {
    const wchar_t* id;
    LONG flags;
    std::vector<A> plan;
  } rows[] = {
      {L"VarDictionary", 0, {A::CompositeName, A::ShortName, A::ComLate}},
      {L"VarDictionary", 0x01, {A::ComFirst, A::CompositeName, A::ShortName}},
      {L"VarDictionary", 0x10, {A::CompositeName, A::ComLate}},
      {L"VarDictionary", 0x20, {A::ShortName, A::ComLate}},
      {L"VarDictionary", 0x50, {A::CompositeName}},
      {L"VarDictionary", 0x41, {A::CompositeName, A::ShortName}},  // 0x40 wins over 0x01
      {L"{94A837CE-193F-11D5-999C-0040332BA2EA}", 0, {A::ComLate, A::OwnModule}},
      {L"{94A837CE-193F-11D5-999C-0040332BA2EA}", 0x01, {A::ComFirst, A::OwnModule}},
      {L"{94A837CE-193F-11D5-999C-0040332BA2EA}", 0x70, {A::OwnModule}},
      {L"lib.dll{94A837CE-193F-11D5-999C-0040332BA2EA}", 0, {A::DllForm}},
      {L"lib.dll{94A837CE-193F-11D5-999C-0040332BA2EA}", 0x01, {A::DllForm}},  // never COM
      {L"lib.dll{94A837CE-193F-11D5-999C-0040332BA2EA}", 0x80, {}},
      {L"{not closed", 0, {A::CompositeName, A::ShortName, A::ComLate}},  // plain
      {L"", 0, {A::CompositeName, A::ShortName, A::ComLate}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.plan, Plan(row.id, row.flags)) << std::string(row.id, row.id + wcslen(row.id)) << " " << row.flags;
}

class VessaCreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VessaCreator, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IVessaCreator),
                                     creator.put_void()));
  }
  void TearDown() override {
    creator.reset();
    CoUninitialize();
  }
  // The coclass of what CreateObject made ("" when it failed), and its HRESULT.
  std::wstring Made(const Variant& id, LONG flags, HRESULT* hr = nullptr) {
    ComPtr<IDispatch> out;
    const HRESULT got = creator->CreateObject(*id.get(), flags, out.put());
    if (hr) *hr = got;
    if (FAILED(got) || !out) return L"";
    return ClassName(out.get());
  }
  static std::wstring ClassName(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()))) return L"?";
    Bstr name;
    info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    return name.c_str();
  }
  ComPtr<IVessaCreator> creator;
};

// Each row: an identifier, the flags, the interface the object answers (by its type
// information) or the failure.
TEST_F(VessaCreatorTest, CreatesByShortNameClsidProgIdAndDllPath) {
  const std::wstring dll = orvtest::BinPath(L"OrvantaVessa.dll");
  struct Row {
    std::wstring id;
    LONG flags;
    const wchar_t* made;
    HRESULT hr;
  } rows[] = {
      {L"vardictionary", 0, L"IVarDictionary", S_OK},
      {L"SCPMAN", 0, L"IScpMan", S_OK},
      {L"Event", 0, L"ISynchEvent", S_OK},
      {L"Mutex", 0, L"ISynchMutex", S_OK},
      {L"Semaphore", 0, L"ISynchSemaphore", S_OK},
      {L"COMThread", 0, L"ICOMThread", S_OK},
      {L"COMSleeper", 0, L"ICOMSleeper", S_OK},
      {L"COMApartmentFreeThreaded", 0, L"ICOMApartment", S_OK},
      {L"COMApartmentApartmentThreaded", 0, L"", REGDB_E_CLASSNOTREG},
      {L"VarDictionary", 0x50, L"", REGDB_E_CLASSNOTREG},  // names and COM skipped
      {L"VarDictionary", 0x10, L"", REGDB_E_CLASSNOTREG},  // no ProgID of that name
      {L"orvanta.utilctls.VarDictionary", 0, L"IVarDictionary", S_OK},
      {L"orvanta.utilctls.VarDictionary", 0x40, L"", REGDB_E_CLASSNOTREG},
      {L"{94A837CE-193F-11D5-999C-0040332BA2EA}", 0x40, L"IVarDictionary", S_OK},  // own module
      {dll + L"{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}", 0, L"ISFMain", S_OK},
      {dll + L"{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}", 0x80, L"", REGDB_E_CLASSNOTREG},
      {L"T:/bin/nothing.dll{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}", 0, L"", REGDB_E_CLASSNOTREG},
      {L"NoSuchThing", 0, L"", REGDB_E_CLASSNOTREG},
      {L"VaryDisp", 0x20, L"IVaryDisp", S_OK},  // a short name, once composite names are skipped
  };
  for (const auto& row : rows) {
    HRESULT hr = E_UNEXPECTED;
    EXPECT_EQ(row.made, Made(Str(row.id.c_str()), row.flags, &hr)) << std::string(row.id.begin(), row.id.end());
    EXPECT_EQ(row.hr, hr) << std::string(row.id.begin(), row.id.end());
  }
}

TEST_F(VessaCreatorTest, NonTextIdentifiers) {
  HRESULT hr = S_OK;
  EXPECT_EQ(L"", Made(orvtest::I4(42), 0, &hr));  // the text "42": a plain name
  EXPECT_EQ(REGDB_E_CLASSNOTREG, hr);
  EXPECT_EQ(L"", Made(orvtest::Null(), 0, &hr));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, hr);
  // An object is a composite definition, never read through its default value.
  ComPtr<IDispatch> dict;
  ASSERT_EQ(S_OK, creator->CreateObject(*Str(L"VarDictionary").get(), 0, dict.put()));
  EXPECT_EQ(L"", Made(orvtest::Obj(dict.get()), 0, &hr));
  EXPECT_EQ(orv::MessageHResult(10153), hr);
  EXPECT_EQ(L"Failed to create composite object", TakeErrorRecord().description);
  ComPtr<IDispatch> out;
  EXPECT_EQ(E_POINTER, creator->CreateObject(*Str(L"VarDictionary").get(), 0, nullptr));
  // A VBScript variable arrives by reference.
  Variant text = Str(L"VarDictionary"), ref;
  V_VT(ref.get()) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(ref.get()) = text.get();
  EXPECT_EQ(L"IVarDictionary", Made(ref, 0));
  V_VT(ref.get()) = VT_EMPTY;
}

TEST_F(VessaCreatorTest, CreateObjectFromDllErrors) {
  const std::wstring dll = orvtest::BinPath(L"OrvantaVessa.dll");
  const std::wstring notCom = L"kernel32.dll";
  struct Row {
    std::wstring dll, clsid;
    UINT id;
    const wchar_t* text;
  } rows[] = {
      {L"T:/bin/nothing.dll", L"{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}", 10151,
       L"Failed to load the DLL"},
      {notCom, L"{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}", 10152, L"Not a COM DLL"},
      {dll, L"Orvanta.utilctls.SFMain", 10116, L"The string does not represent CLSID."},
      {dll, L"{00000000-0000-0000-0000-00000000BEEF}", 10154, L"Class not found"},
      {dll, L"{68B99EDF-2805-4C39-84AA-5C825112D54B}", 10154, L"Class not found"},  // EnumDirSTG
  };
  for (const auto& row : rows) {
    ComPtr<IUnknown> made;
    EXPECT_EQ(orv::MessageHResult(row.id),
              creator->CreateObjectFromDLL(Bstr(row.dll.c_str()).get(), Bstr(row.clsid.c_str()).get(), made.put()))
        << row.text;
    EXPECT_EQ(row.text, TakeErrorRecord().description);
    EXPECT_FALSE(made);
  }
  ComPtr<IUnknown> made;
  ASSERT_EQ(S_OK, creator->CreateObjectFromDLL(Bstr(dll.c_str()).get(),
                                               Bstr(L"{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}").get(), made.put()));
  ComPtr<ISFMain> main;
  EXPECT_EQ(S_OK, made.query(main));
  EXPECT_EQ(E_POINTER, creator->CreateObjectFromDLL(nullptr, nullptr, nullptr));
}

// Short names and bare CLSIDs of the library work without its registration.
TEST_F(VessaCreatorTest, WorksWithTheLibraryUnregistered) {
  orvtest::Library lib(L"OrvantaVessa.dll");
  ASSERT_EQ(S_OK, lib.Unregister());
  std::wstring byName, byClsid, byProgId;
  HRESULT progIdHr = S_OK;
  byName = Made(Str(L"VarDictionary"), 0);
  byClsid = Made(Str(L"{94A837CE-193F-11D5-999C-0040332BA2EA}"), 0);
  byProgId = Made(Str(L"orvanta.utilctls.VarDictionary"), 0, &progIdHr);
  ASSERT_EQ(S_OK, lib.Register());
  EXPECT_EQ(L"IVarDictionary", byName);
  EXPECT_EQ(L"IVarDictionary", byClsid);
  EXPECT_EQ(REGDB_E_CLASSNOTREG, progIdHr);
}

}  // namespace
