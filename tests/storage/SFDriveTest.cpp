// SFDrive and the drive members of SFMain: the Drives list keyed by roots, GetDrive for
// every form of drive text and its refusals, the facts of a drive against the platform's
// own answers, the root as a folder storage, and null out-pointers. Under the test prefix
// the drives are C: and T: (the build tree); sizes are never compared with figures.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;

namespace {

constexpr HRESULT kFailed = MAKE_HRESULT(1, 4, 10106);

class SFDriveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, main.put_void()));
  }
  ComPtr<ISFDrive> Drive(const wchar_t* text, HRESULT expect = S_OK) {
    ComPtr<IDispatch> d;
    Bstr name(text);
    const std::wstring shown = text ? std::wstring(text).substr(0, 40) : L"null";
    EXPECT_EQ(expect, main->GetDrive(name.get(), d.put())) << std::string(shown.begin(), shown.end());
    ComPtr<ISFDrive> drive;
    if (d) d.query(drive);
    return drive;
  }
  static std::wstring Letter(ISFDrive* drive) {
    Bstr letter;
    if (!drive || FAILED(drive->get_DriveLetter(letter.put()))) return L"?";
    return letter.c_str();
  }

  ComPtr<ISFMain> main;
};

TEST_F(SFDriveTest, DrivesHoldsOneDriveKeyedByEachRoot) {
  std::vector<wchar_t> buffer(512);
  const DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
  ASSERT_GT(n, 0u);
  std::vector<std::wstring> roots;
  for (const wchar_t* r = buffer.data(); *r; r += wcslen(r) + 1) roots.emplace_back(r);

  ComPtr<IDispatch> d;
  ASSERT_EQ(S_OK, main->get_Drives(d.put()));
  ComPtr<IVarDictionary> drives;
  ASSERT_EQ(S_OK, d.query(drives));
  LONG count = 0, flag = 0;
  drives->get_Count(&count);
  ASSERT_EQ(static_cast<LONG>(roots.size()), count);
  drives->get_enumItems(&flag);
  EXPECT_NE(0, flag);
  drives->get_firstItemAsRoot(&flag);
  EXPECT_NE(0, flag);
  bool sawTestDrive = false;
  for (LONG i = 0; i < count; ++i) {
    Variant index, key, item;
    V_VT(index.get()) = VT_I4;
    V_I4(index.get()) = i + 1;
    ASSERT_EQ(S_OK, drives->get_Key(*index.get(), key.get()));
    ASSERT_EQ(VT_BSTR, key.vt());
    EXPECT_EQ(roots[i], V_BSTR(key.get()));
    ASSERT_EQ(S_OK, drives->get_Item(*index.get(), item.get()));
    ASSERT_EQ(VT_DISPATCH, item.vt());
    ComPtr<ISFDrive> drive;
    ASSERT_EQ(S_OK, V_DISPATCH(item.get())->QueryInterface(IID_ISFDrive, drive.put_void()));
    EXPECT_EQ(roots[i].substr(0, 1), Letter(drive.get()));
    sawTestDrive |= roots[i] == L"T:\\";
  }
  EXPECT_TRUE(sawTestDrive);
}

TEST_F(SFDriveTest, GetDriveTakesLettersRootsAndPathsAndRefusesWhatNamesNoDrive) {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring own(1, program[0]);
  // Relative paths lie below the current directory, bare names in the program's folder.
  const std::wstring scratch = orvtest::BinPath(L"sfdrive-scratch");
  CreateDirectoryW(scratch.c_str(), nullptr);
  wchar_t before[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(scratch.c_str());
  for (const wchar_t* text : {L"t", L"T", L"T:", L"t:\\", L"T:\\bin\\no-such-file.txt", L"T:/bin", L"\\\\?\\T:\\bin",
                              L"..\\x.txt", L"\\bin", L"x.txt"}) {
    EXPECT_EQ(L"T", Letter(Drive(text).get())) << text;
  }
  SetCurrentDirectoryW(before);
  RemoveDirectoryW(scratch.c_str());
  EXPECT_EQ(own, Letter(Drive(L"bare-name").get()));
  EXPECT_EQ(L"C", Letter(Drive(L"c:").get()));

  // No drive there, no text, a text too long for a path: "Operation failed", no object.
  std::wstring huge(70000, L'a');
  for (const wchar_t* text : {L"Q", L"Q:\\", L"", static_cast<const wchar_t*>(nullptr), huge.c_str()}) {
    EXPECT_EQ(nullptr, Drive(text, kFailed).get());
    EXPECT_EQ(L"Operation failed", orvtest::TakeErrorRecord().description);
  }
  EXPECT_EQ(E_POINTER, main->GetDrive(Bstr(L"T").get(), nullptr));
  EXPECT_EQ(E_POINTER, main->get_Drives(nullptr));
}

TEST_F(SFDriveTest, FactsAreThePlatformsAndTheRootOpensAsAFolderStorage) {
  ComPtr<ISFDrive> t = Drive(L"T:\\bin");
  ASSERT_TRUE(t);
  wchar_t label[MAX_PATH + 1] = {}, system[MAX_PATH + 1] = {};
  DWORD serial = 0, longest = 0, flags = 0;
  ASSERT_TRUE(GetVolumeInformationW(L"T:\\", label, MAX_PATH + 1, &serial, &longest, &flags, system, MAX_PATH + 1));
  wchar_t serialText[9];
  swprintf(serialText, 9, L"%08X", static_cast<unsigned>(serial));
  Bstr text;
  ASSERT_EQ(S_OK, t->get_VolumeName(text.put()));
  EXPECT_STREQ(label, text.c_str());
  ASSERT_EQ(S_OK, t->get_FileSystem(text.put()));
  EXPECT_STREQ(system, text.c_str());
  ASSERT_EQ(S_OK, t->get_SerialNumber(text.put()));
  EXPECT_STREQ(serialText, text.c_str());
  LONG type = -1;
  ASSERT_EQ(S_OK, t->get_DriveType(&type));
  EXPECT_EQ(static_cast<LONG>(GetDriveTypeW(L"T:\\")), type);
  double freeSpace = -1, total = -1;
  ASSERT_EQ(S_OK, t->get_FreeSpace(&freeSpace));
  ASSERT_EQ(S_OK, t->get_TotalSize(&total));
  EXPECT_GT(freeSpace, 0);
  EXPECT_GE(total, freeSpace);

  // Scripts see the sizes as doubles and the default Open mode.
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, t.query(disp));
  Variant size;
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"FreeSpace", DISPATCH_PROPERTYGET, nullptr, 0, size.get()));
  EXPECT_EQ(VT_R8, size.vt());
  Variant storage;
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Open", DISPATCH_METHOD, nullptr, 0, storage.get()));
  ASSERT_EQ(VT_DISPATCH, storage.vt());
  ComPtr<ISFStorage> root;
  ASSERT_EQ(S_OK, V_DISPATCH(storage.get())->QueryInterface(IID_ISFStorage, root.put_void()));
  ComPtr<IDispatch> contents;
  ASSERT_EQ(S_OK, root->get_contents(contents.put()));
  ComPtr<IVarDictionary> list;
  ASSERT_EQ(S_OK, contents.query(list));
  Variant name, bin;
  V_VT(name.get()) = VT_BSTR;
  V_BSTR(name.get()) = SysAllocString(L"bin");
  ASSERT_EQ(S_OK, list->get_Item(*name.get(), bin.get()));
  ASSERT_EQ(VT_DISPATCH, bin.vt());
  ComPtr<ISFInfo> info;
  ASSERT_EQ(S_OK, V_DISPATCH(bin.get())->QueryInterface(IID_ISFInfo, info.put_void()));
  info->get_Type(&type);
  EXPECT_EQ(1, type);

  // Open's failures come back unchanged, without an object: open refuses the create bit.
  ComPtr<IDispatch> none;
  EXPECT_EQ(STG_E_INVALIDFLAG, t->Open(0x1000 | 0x12, none.put()));
  EXPECT_EQ(nullptr, none.get());

  for (HRESULT hr : {t->get_DriveType(nullptr), t->Open(18, nullptr), t->get_DriveLetter(nullptr),
                     t->get_FileSystem(nullptr), t->get_FreeSpace(nullptr), t->get_SerialNumber(nullptr),
                     t->get_TotalSize(nullptr), t->get_VolumeName(nullptr)})
    EXPECT_EQ(E_POINTER, hr);
}

TEST_F(SFDriveTest, ADriveMadeByAScriptIsTheCurrentDirectorysDrive) {
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  ComPtr<ISFDrive> drive;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFDriveFree, nullptr, CLSCTX_INPROC_SERVER, IID_ISFDrive, drive.put_void()));
  EXPECT_EQ(std::wstring(1, current[0]), Letter(drive.get()));
  double total = 0;
  EXPECT_EQ(S_OK, drive->get_TotalSize(&total));
  EXPECT_GT(total, 0);
  EXPECT_EQ(0u, drive.release()->Release());
}

}  // namespace
