// SFMain: files opened and created by the open rules (modes, sharing, disposition, bare
// names, error mapping), memory streams, existence tests, deletion and path functions.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <string>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;

namespace {

class SFMainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, main.put_void()));
    dir = orvtest::BinPath(L"sfmain-scratch");
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  std::wstring Path(const wchar_t* name) { return dir + L"\\" + name; }
  void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    CloseHandle(h);
  }
  HRESULT Open(const std::wstring& path, LONG mode, ComPtr<ISFStream>& out, bool create = false) {
    ComPtr<IDispatch> d;
    Bstr name(path.c_str());
    const HRESULT hr = create ? main->CreateFile(name.get(), mode, d.put()) : main->OpenFile(name.get(), mode, d.put());
    out.reset();
    if (d) d.query(out);
    return hr;
  }

  ComPtr<ISFMain> main;
  std::wstring dir;
};

TEST_F(SFMainTest, OpenFileModesSharingAndErrors) {
  const std::wstring file = Path(L"open.txt");
  WriteFileBytes(file, "first\r\nsecond\r\n");
  ComPtr<ISFStream> a, b;
  ASSERT_EQ(S_OK, Open(file, 18, a));
  Bstr line;
  EXPECT_EQ(S_OK, a->ReadText(-1, line.put()));
  EXPECT_STREQ(L"first", line.c_str());

  // Exclusive by default: a second open is a sharing violation, reported as failed.
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10106), Open(file, 18, b));
  EXPECT_EQ(L"Operation failed", orvtest::TakeErrorRecord().description);
  EXPECT_FALSE(b);
  a.reset();

  EXPECT_EQ(STG_E_INVALIDFLAG, Open(file, 2, b));     // no sharing bits
  EXPECT_EQ(STG_E_INVALIDFLAG, Open(file, 0x13, b));  // access 3
  EXPECT_EQ(STG_E_INVALIDFUNCTION, Open(file, 0x10012, b));
  EXPECT_EQ(STG_E_INVALIDPARAMETER, Open(L"", 18, b));
  EXPECT_EQ(STG_E_FILENOTFOUND, Open(Path(L"missing.txt"), 18, b));
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10106), Open(Path(L"no-such-folder\\x.txt"), 18, b, true));
  EXPECT_FALSE(b);

  // Read-only, shared: two readers at once, writes refused, mode in the stat record.
  ASSERT_EQ(S_OK, Open(file, 0x40, a));
  ASSERT_EQ(S_OK, Open(file, 0x40, b));
  EXPECT_NE(S_OK, a->WriteText(Bstr(L"x").get(), 0));
  LONG size = 0;
  a->get_Size(&size);
  EXPECT_EQ(15, size);
  ComPtr<ISFStreamBin> bin;
  ComPtr<IUnknown> raw;
  ComPtr<ISequentialStream> sequential;
  ASSERT_EQ(S_OK, a.query(bin));
  ASSERT_EQ(S_OK, bin->BinGetStreamPtr(raw.put()));
  EXPECT_EQ(S_OK, raw.query(sequential));
  ComPtr<IDispatch> info;
  ASSERT_EQ(S_OK, a->Stats(info.put()));
  ComPtr<ISFInfo> stat;
  ASSERT_EQ(S_OK, info.query(stat));
  LONG mode = 0;
  stat->get_Mode(&mode);
  EXPECT_EQ(0x40, mode);
  Bstr name;
  stat->get_name(name.put());
  EXPECT_EQ(file, std::wstring(name.c_str()));
}

// A file opened so that others may write is read ahead in blocks: what another handle
// appends is seen at the next size query (EOS) and refill, what it rewrites at a seek.
TEST_F(SFMainTest, SharedReaderSeesWhatAnotherHandleWrites) {
  const std::wstring file = Path(L"growing.log");
  for (LONG mode : {0x40, 0x30}) {
    WriteFileBytes(file, "one\r\ntwo\r\n");
    ComPtr<ISFStream> reader;
    ASSERT_EQ(S_OK, Open(file, mode, reader)) << mode;
    HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    auto writeAt = [&](LONG at, const char* bytes) {
      DWORD n = 0;
      SetFilePointer(writer, at, nullptr, FILE_BEGIN);
      WriteFile(writer, bytes, static_cast<DWORD>(strlen(bytes)), &n, nullptr);
    };
    Bstr line;
    LONG eos = -1;
    EXPECT_EQ(S_OK, reader->ReadText(-1, line.put()));
    EXPECT_STREQ(L"one", line.c_str());
    writeAt(10, "three\r\n");  // appended after the block was read
    EXPECT_EQ(S_OK, reader->ReadText(-1, line.put()));
    EXPECT_STREQ(L"two", line.c_str());
    reader->get_EOS(&eos);
    EXPECT_EQ(0, eos) << mode;
    EXPECT_EQ(S_OK, reader->ReadText(-1, line.put()));
    EXPECT_STREQ(L"three", line.c_str()) << mode;
    reader->get_EOS(&eos);
    EXPECT_EQ(1, eos);
    writeAt(0, "ONE");  // rewritten in place: seen after a seek
    reader->put_Pos(0);
    EXPECT_EQ(S_OK, reader->ReadText(-1, line.put()));
    EXPECT_STREQ(L"ONE", line.c_str()) << mode;
    CloseHandle(writer);
  }
}

TEST_F(SFMainTest, CreateFileTruncatesAndClonesKeepTheirPositions) {
  const std::wstring file = Path(L"create.txt");
  WriteFileBytes(file, "old content");
  ComPtr<ISFStream> s;
  ASSERT_EQ(S_OK, Open(file, 18, s, true));
  LONG size = -1;
  s->get_Size(&size);
  EXPECT_EQ(0, size);
  EXPECT_EQ(S_OK, s->WriteText(Bstr(L"alpha").get(), 1));
  EXPECT_EQ(S_OK, s->WriteText(Bstr(L"beta").get(), 1));
  s->put_Pos(0);
  ComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, s->Clone(unk.put()));
  ComPtr<ISFStream> clone;
  ASSERT_EQ(S_OK, unk.query(clone));
  Bstr a, b;
  EXPECT_EQ(S_OK, s->ReadText(-1, a.put()));
  EXPECT_EQ(S_OK, clone->ReadText(-2, b.put()));
  EXPECT_STREQ(L"alpha", a.c_str());
  EXPECT_STREQ(L"alpha\r\nbeta\r\n", b.c_str());
  LONG pos = 0;
  s->get_Pos(&pos);
  EXPECT_EQ(7, pos);
  // A write through one stream is seen by a clone that has already read that part.
  LONG ignored = 0;
  clone->Seek(0, 0, &ignored);
  EXPECT_EQ(S_OK, clone->WriteText(Bstr(L"ALPHA").get(), 0));
  s->put_Pos(0);
  EXPECT_EQ(S_OK, s->ReadText(-1, a.put()));
  EXPECT_STREQ(L"ALPHA", a.c_str());
  // EOS truncates the file itself.
  EXPECT_EQ(S_OK, s->put_EOS(1));
  s.reset();
  clone.reset();
  unk.reset();
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(7u, data.nFileSizeLow);

  // Flag 8 puts a bare name into the program's folder.
  ComPtr<ISFStream> bare;
  ASSERT_EQ(S_OK, Open(L"sfmain-bare.txt", 18 | 8, bare, true));
  bare.reset();
  LONG exists = 0;
  EXPECT_EQ(S_OK, main->FileExists(Bstr(orvtest::BinPath(L"sfmain-bare.txt").c_str()).get(), &exists));
  EXPECT_EQ(1, exists);
  EXPECT_EQ(S_OK, main->DeleteFile(Bstr(orvtest::BinPath(L"sfmain-bare.txt").c_str()).get(), 0));
  EXPECT_EQ(STG_E_ACCESSDENIED, main->DeleteFile(Bstr(orvtest::BinPath(L"sfmain-bare.txt").c_str()).get(), 0));
}

TEST_F(SFMainTest, ExistenceDeletionAndPathFunctions) {
  const std::wstring file = Path(L"ro.dat");
  WriteFileBytes(file, "x");
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
  LONG v = 0;
  EXPECT_EQ(S_OK, main->Exists(Bstr(file.c_str()).get(), &v));
  EXPECT_EQ(1, v);
  EXPECT_EQ(S_OK, main->Exists(Bstr(dir.c_str()).get(), &v));
  EXPECT_EQ(-1, v);
  EXPECT_EQ(S_FALSE, main->FileExists(Bstr(dir.c_str()).get(), &v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(S_OK, main->FolderExists(Bstr(dir.c_str()).get(), &v));
  EXPECT_EQ(STG_E_ACCESSDENIED, main->DeleteFile(Bstr(file.c_str()).get(), 0));
  EXPECT_EQ(STG_E_ACCESSDENIED, main->DeleteFile(Bstr(dir.c_str()).get(), 1));  // a folder is not a file
  EXPECT_EQ(S_OK, main->DeleteFile(Bstr(file.c_str()).get(), 1));
  EXPECT_EQ(S_OK, main->Exists(Bstr(file.c_str()).get(), &v));
  EXPECT_EQ(0, v);

  Bstr out;
  EXPECT_EQ(S_OK, main->GetExtensionName(Bstr(L"C:\\a.b\\c.tar.gz").get(), out.put()));
  EXPECT_STREQ(L"gz", out.c_str());
  EXPECT_EQ(S_OK, main->GetExtensionName(Bstr(L"C:\\a.b\\c").get(), out.put()));
  EXPECT_STREQ(L"", out.c_str());
  EXPECT_EQ(S_OK, main->GetFileName(Bstr(L"C:/dir/name.txt").get(), out.put()));
  EXPECT_STREQ(L"/name.txt", out.c_str());
  EXPECT_EQ(S_OK, main->GetFilePath(Bstr(L"C:\\dir\\name.txt").get(), out.put()));
  EXPECT_STREQ(L"C:\\dir", out.c_str());
  Bstr folder, name;
  main->GetFilePath(Bstr(L"bare.txt").get(), folder.put());
  main->GetFileName(Bstr(L"bare.txt").get(), name.put());
  EXPECT_EQ(orvtest::BinPath(L"bare.txt"), std::wstring(folder.c_str()) + name.c_str());
  EXPECT_EQ(S_OK, main->GetDriveName(Bstr(L"C:\\dir").get(), out.put()));
  EXPECT_STREQ(L"C:", out.c_str());

  Bstr g1, g2;
  EXPECT_EQ(S_OK, main->NewGUID(g1.put()));
  EXPECT_EQ(S_OK, main->NewGUID(g2.put()));
  EXPECT_EQ(38u, g1.length());
  EXPECT_STRNE(g1.c_str(), g2.c_str());
  EXPECT_EQ(S_OK, main->get_SysByteOrder(1, &v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10136), main->get_SysByteOrder(2, &v));
  EXPECT_EQ(L"Invalid flag or command.", orvtest::TakeErrorRecord().description);
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10151), main->RegSvr32(Bstr(Path(L"none.dll").c_str()).get(), 1));
}

// Item of a returned collection by name, as a VARIANT.
orv::Variant Item(IDispatch* collection, const wchar_t* name) {
  ComPtr<IVarDictionary> dict;
  orv::Variant key, out;
  if (!collection || FAILED(collection->QueryInterface(IID_IVarDictionary, dict.put_void()))) return out;
  V_VT(key.get()) = VT_BSTR;
  V_BSTR(key.get()) = SysAllocString(name);
  dict->get_Item(*key.get(), out.get());
  return out;
}
LONG Number(const orv::Variant& v) {
  orv::Variant n;
  if (FAILED(VariantChangeType(n.get(), const_cast<VARIANT*>(v.get()), 0, VT_I4))) return -99;
  return V_I4(n.get());
}

TEST_F(SFMainTest, DeleteFolderIsRecursiveAndRefusesWhatIsNotAFolder) {
  const std::wstring top = Path(L"tree");
  CreateDirectoryW(top.c_str(), nullptr);
  CreateDirectoryW((top + L"\\sub").c_str(), nullptr);
  CreateDirectoryW((top + L"\\sub\\deeper").c_str(), nullptr);
  WriteFileBytes(top + L"\\ro.txt", "r");
  SetFileAttributesW((top + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileBytes(top + L"\\sub\\deeper\\x.txt", "x");

  // Without force the read-only file stays and the failure is reported; the rest goes.
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10106), main->DeleteFolder(Bstr(top.c_str()).get(), 0));
  LONG v = 0;
  main->Exists(Bstr((top + L"\\sub").c_str()).get(), &v);
  EXPECT_EQ(0, v);
  main->Exists(Bstr((top + L"\\ro.txt").c_str()).get(), &v);
  EXPECT_EQ(1, v);
  std::wstring slashed = top;
  for (auto& c : slashed)
    if (c == L'\\') c = L'/';
  EXPECT_EQ(S_OK, main->DeleteFolder(Bstr(slashed.c_str()).get(), 1));
  main->Exists(Bstr(top.c_str()).get(), &v);
  EXPECT_EQ(0, v);

  EXPECT_EQ(STG_E_FILENOTFOUND, main->DeleteFolder(Bstr(top.c_str()).get(), 1));
  // Empty and dot names would name the program's folder or its parent.
  EXPECT_EQ(STG_E_FILENOTFOUND, main->DeleteFolder(Bstr(L"").get(), 1));
  EXPECT_EQ(STG_E_FILENOTFOUND, main->DeleteFolder(nullptr, 1));
  EXPECT_EQ(STG_E_FILENOTFOUND, main->DeleteFolder(Bstr(L"..").get(), 1));
  main->Exists(Bstr(orvtest::BinPath(L"").c_str()).get(), &v);
  EXPECT_EQ(-1, v);
  // A path that climbs back to a drive root is a root: the prefix's system drive stays.
  EXPECT_EQ(STG_E_ACCESSDENIED, main->DeleteFolder(Bstr(L"C:\\windows\\..").get(), 0));
  EXPECT_EQ(STG_E_ACCESSDENIED, main->DeleteFolder(Bstr(L"C:/windows/system32/../../").get(), 0));
  main->Exists(Bstr(L"C:\\windows\\system32").get(), &v);
  EXPECT_EQ(-1, v);
}

TEST_F(SFMainTest, CopyFileWithWildcardsAndReplaceRules) {
  const std::wstring from = Path(L"copy-from"), to = Path(L"copy-to");
  main->DeleteFolder(Bstr(from.c_str()).get(), 1);
  main->DeleteFolder(Bstr(to.c_str()).get(), 1);
  CreateDirectoryW(from.c_str(), nullptr);
  CreateDirectoryW(to.c_str(), nullptr);
  CreateDirectoryW((from + L"\\skip.txt.d").c_str(), nullptr);
  WriteFileBytes(from + L"\\a.txt", "A");
  WriteFileBytes(from + L"\\b.txt", "BB");
  WriteFileBytes(from + L"\\c.dat", "CCC");

  EXPECT_EQ(E_INVALIDARG, main->CopyFile(Bstr((from + L"\\a.txt").c_str()).get(), Bstr((to + L"\\*.txt").c_str()).get(), 1));
  EXPECT_EQ(STG_E_FILENOTFOUND,
            main->CopyFile(Bstr((from + L"\\none\\a.txt").c_str()).get(), Bstr((to + L"\\").c_str()).get(), 1));
  EXPECT_EQ(S_OK, main->CopyFile(Bstr((from + L"\\*.txt").c_str()).get(), Bstr((to + L"\\").c_str()).get(), 0));
  LONG v = 0;
  main->FileExists(Bstr((to + L"\\b.txt").c_str()).get(), &v);
  EXPECT_EQ(1, v);
  main->FileExists(Bstr((to + L"\\c.dat").c_str()).get(), &v);
  EXPECT_EQ(0, v);
  // Into a folder an existing file stops the copy unless replacing is allowed.
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10106),
            main->CopyFile(Bstr((from + L"\\a.txt").c_str()).get(), Bstr((to + L"\\").c_str()).get(), 0));
  EXPECT_EQ(S_OK, main->CopyFile(Bstr((from + L"\\a.txt").c_str()).get(), Bstr((to + L"\\").c_str()).get(), 1));
  // A named target is always replaced.
  EXPECT_EQ(S_OK, main->CopyFile(Bstr((from + L"\\c.dat").c_str()).get(), Bstr((to + L"\\a.txt").c_str()).get(), 0));
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW((to + L"\\a.txt").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(3u, data.nFileSizeLow);
  EXPECT_EQ(S_OK, main->DeleteFolder(Bstr(from.c_str()).get(), 1));
  EXPECT_EQ(S_OK, main->DeleteFolder(Bstr(to.c_str()).get(), 1));
}

TEST_F(SFMainTest, SystemInformationCollections) {
  ComPtr<IDispatch> os;
  ASSERT_EQ(S_OK, main->GetOSInfo(os.put()));
  EXPECT_EQ(1, Number(Item(os.get(), L"NT")));
  EXPECT_EQ(0, Number(Item(os.get(), L"CE")));
  EXPECT_EQ(2, Number(Item(os.get(), L"PlatformID")));
  orv::Variant version = Item(os.get(), L"Version");
  ASSERT_EQ(VT_DISPATCH, version.vt());
  EXPECT_GE(Number(Item(V_DISPATCH(version.get()), L"Major")), 5);

  ComPtr<IDispatch> versionInfo;
  ASSERT_EQ(S_OK, main->GetVersionInfo(Bstr(orvtest::BinPath(L"OrvantaVessa.dll").c_str()).get(), versionInfo.put()));
  EXPECT_EQ(1, Number(Item(versionInfo.get(), L"Result")));
  EXPECT_STREQ(L"OK", V_BSTR(Item(versionInfo.get(), L"ResultDescription").get()));
  EXPECT_EQ(static_cast<LONG>(0xFEEF04BD), Number(Item(versionInfo.get(), L"Signature")));
  const std::wstring plain = Path(L"plain.txt");
  WriteFileBytes(plain, "no version here");
  ASSERT_EQ(S_OK, main->GetVersionInfo(Bstr(plain.c_str()).get(), versionInfo.put()));
  EXPECT_EQ(0, Number(Item(versionInfo.get(), L"Result")));
  EXPECT_STREQ(L"Version information not found", V_BSTR(Item(versionInfo.get(), L"ResultDescription").get()));

  ComPtr<IDispatch> pages;
  ASSERT_EQ(S_OK, main->get_SystemLanguageSupport(1, 1, pages.put()));
  EXPECT_STREQ(L"1252", V_BSTR(Item(pages.get(), L"1252").get()));
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10106), main->get_SystemLanguageSupport(7, 1, pages.put()));

  Bstr windows;
  EXPECT_EQ(S_OK, main->GetSpecialPath(0x24, windows.put()));  // the Windows folder
  EXPECT_LT(0u, windows.length());
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10144), main->GetSpecialPath(0x7F, windows.put()));
}

}  // namespace
