// SFDirStorage and EnumDirSTG over scratch folders of the build tree: the directory
// rules, element names, enumeration, streams and sub-storages, deletion, renaming,
// copies and moves into folder storages and compound files, and the closed object.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <map>
#include <string>

#include "OrvantaVessa.h"
#include "tests/storage/StorageTestSupport.h"

using orv::Bstr;
using orv::ComPtr;

namespace {

class SFDirStorageTest : public orvtest::ScratchFolderTest {
 protected:
  // A folder storage created on `path`, as its IStorage.
  ComPtr<IStorage> Folder(const std::wstring& path, LONG flags = 0) {
    ComPtr<ISFDirStorage> dir;
    ComPtr<IStorage> out;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_SFDirStorage, nullptr, CLSCTX_INPROC_SERVER, IID_ISFDirStorage,
                                     dir.put_void()));
    LONG ok = 0;
    EXPECT_EQ(S_OK, dir->CreateDirectory(Bstr(path.c_str()).get(), flags, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(S_OK, dir.query(out));
    return out;
  }
  // The elements of a storage: name -> type and size.
  static std::map<std::wstring, std::pair<DWORD, ULONGLONG>> Elements(IStorage* stg) {
    std::map<std::wstring, std::pair<DWORD, ULONGLONG>> out;
    ComPtr<IEnumSTATSTG> e;
    EXPECT_EQ(S_OK, stg->EnumElements(0, nullptr, 0, e.put()));
    STATSTG st;
    while (e && e->Next(1, &st, nullptr) == S_OK) {
      out[st.pwcsName] = {st.type, st.cbSize.QuadPart};
      CoTaskMemFree(st.pwcsName);
    }
    return out;
  }
  static std::string StreamText(IStorage* stg, const wchar_t* name) {
    ComPtr<IStream> s;
    const HRESULT hr = stg->OpenStream(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, s.put());
    return SUCCEEDED(hr) ? orvtest::AllBytes(s.get()) : "<missing>";
  }
  // tree\a.txt, tree\sub\b.txt, tree\sub\deep\ (empty).
  void MakeTree(const std::wstring& tree) {
    CreateDirectoryW(tree.c_str(), nullptr);
    CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
    CreateDirectoryW((tree + L"\\sub\\deep").c_str(), nullptr);
    orvtest::WriteBytes(tree + L"\\a.txt", "alpha");
    orvtest::WriteBytes(tree + L"\\sub\\b.txt", "bravo!");
  }
};

TEST_F(SFDirStorageTest, DirectoryRulesAndPath) {
  ComPtr<ISFDirStorage> ds;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFDirStorage, nullptr, CLSCTX_INPROC_SERVER, IID_ISFDirStorage,
                                   ds.put_void()));
  LONG ok = -1;
  Bstr path;
  ASSERT_EQ(S_OK, ds->get_Path(path.put()));
  EXPECT_STREQ(L"", path.c_str());
  EXPECT_EQ(S_FALSE, ds->OpenDirectory(Bstr(Path(L"new").c_str()).get(), 0, &ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(S_OK, ds->CreateDirectory(Bstr((Path(L"new") + L"\\").c_str()).get(), 0, &ok));
  EXPECT_EQ(1, ok);
  ASSERT_EQ(S_OK, ds->get_Path(path.put()));
  EXPECT_EQ(Path(L"new"), path.c_str());
  // Only one level is created; failures leave the object on its folder.
  EXPECT_EQ(S_FALSE, ds->CreateDirectory(Bstr(Path(L"x\\y").c_str()).get(), 0, &ok));
  EXPECT_EQ(S_FALSE, ds->CreateDirectory(Bstr(L"").get(), 0, &ok));
  EXPECT_EQ(S_FALSE, ds->OpenDirectory(Bstr(Path(L"new").c_str()).get(), 0x1000, &ok));
  EXPECT_EQ(0, ok);
  ASSERT_EQ(S_OK, ds->get_Path(path.put()));
  EXPECT_EQ(Path(L"new"), path.c_str());
  EXPECT_EQ(E_POINTER, ds->get_Path(nullptr));

  // Sub-storages follow the same rules, with their error codes.
  ComPtr<IStorage> stg;
  ASSERT_EQ(S_OK, ds.query(stg));
  ComPtr<IStorage> sub;
  EXPECT_EQ(STG_E_FILENOTFOUND, stg->OpenStorage(L"sub", nullptr, 18, nullptr, 0, sub.put()));
  EXPECT_EQ(STG_E_INVALIDFLAG, stg->CreateStorage(L"sub", 0x10012, 0, 0, sub.put()));
  EXPECT_EQ(STG_E_INVALIDFLAG, stg->CreateStorage(L"sub", 0x20012, 0, 0, sub.put()));
  ASSERT_EQ(S_OK, stg->CreateStorage(L"sub", 18, 0, 0, sub.put()));
  EXPECT_EQ(STG_E_INVALIDFLAG, stg->OpenStorage(L"sub", nullptr, 0x1012, nullptr, 0, sub.put()));
  EXPECT_EQ(STG_E_INVALIDFLAG, stg->OpenStorage(L"sub", nullptr, 0x4000012, nullptr, 0, sub.put()));
  EXPECT_EQ(STG_E_INVALIDFUNCTION, stg->OpenStorage(L"sub", stg.get(), 18, nullptr, 0, sub.put()));
  ASSERT_EQ(S_OK, stg->OpenStorage(L"sub", nullptr, 0x40, nullptr, 0, sub.put()));
  STATSTG st;
  ASSERT_EQ(S_OK, sub->Stat(&st, STATFLAG_DEFAULT));
  EXPECT_EQ(STGTY_STORAGE, static_cast<STGTY>(st.type));
  EXPECT_EQ(0x40u, st.grfMode);
  EXPECT_STREQ(L"sub", st.pwcsName);
  CoTaskMemFree(st.pwcsName);
  EXPECT_EQ(STG_E_INVALIDFLAG, sub->Stat(&st, 2));
  EXPECT_EQ(S_OK, stg->Commit(0));
  EXPECT_EQ(S_OK, stg->Revert());
  EXPECT_EQ(S_OK, stg->SetStateBits(1, 1));
  EXPECT_EQ(STG_E_INVALIDFUNCTION, stg->SetClass(CLSID_SFDirStorage));

  // The delete-on-release bit counts only with the create bit.
  ComPtr<IStorage> temp = Folder(Path(L"temp"), 0x4001000);
  ASSERT_TRUE(temp);
  orvtest::WriteBytes(Path(L"temp\\f.txt"), "x");
  ComPtr<IStorage> kept = Folder(Path(L"kept"), 0x4000000);
  temp.reset();
  kept.reset();
  EXPECT_FALSE(orvtest::Exists(Path(L"temp")));
  EXPECT_TRUE(orvtest::Exists(Path(L"kept")));

  // Closed: every storage call answers STG_E_REVERTED.
  EXPECT_EQ(S_OK, ds->Close());
  ASSERT_EQ(S_OK, ds->get_Path(path.put()));
  EXPECT_STREQ(L"", path.c_str());
  ComPtr<IStream> s;
  ComPtr<IEnumSTATSTG> e;
  EXPECT_EQ(STG_E_REVERTED, stg->Stat(&st, STATFLAG_NONAME));
  EXPECT_EQ(STG_E_REVERTED, stg->CreateStream(L"a", 18, 0, 0, s.put()));
  EXPECT_EQ(STG_E_REVERTED, stg->OpenStream(L"a", nullptr, 18, 0, s.put()));
  EXPECT_EQ(STG_E_REVERTED, stg->OpenStorage(L"sub", nullptr, 18, nullptr, 0, sub.put()));
  EXPECT_EQ(STG_E_REVERTED, stg->EnumElements(0, nullptr, 0, e.put()));
  EXPECT_EQ(STG_E_REVERTED, stg->DestroyElement(L"sub"));
  EXPECT_EQ(STG_E_REVERTED, stg->RenameElement(L"sub", L"b"));
  ComPtr<IStorage> other = Folder(Path(L"other"));
  EXPECT_EQ(STG_E_REVERTED, stg->MoveElementTo(L"sub", other.get(), L"b", STGMOVE_COPY));
  EXPECT_EQ(STG_E_REVERTED, stg->CopyTo(0, nullptr, nullptr, other.get()));
  EXPECT_EQ(STG_E_REVERTED, stg->Commit(0));
  EXPECT_EQ(STG_E_REVERTED, stg->SetClass(CLSID_NULL));
  EXPECT_EQ(STG_E_REVERTED, stg->SetElementTimes(L"sub", nullptr, nullptr, nullptr));
  EXPECT_TRUE(orvtest::Exists(Path(L"new\\sub")));
  stg.reset();
  sub.reset();
  EXPECT_EQ(0u, ds.release()->Release());
}

TEST_F(SFDirStorageTest, ElementsStreamsAndEnumeration) {
  ComPtr<IStorage> stg = Folder(Path(L"box"));
  ComPtr<IStream> s;
  ASSERT_EQ(S_OK, stg->CreateStream(L"a.txt", 18, 0, 0, s.put()));
  ULONG n = 0;
  ASSERT_EQ(S_OK, s->Write("12345", 5, &n));
  s.reset();
  ComPtr<IStorage> sub;
  ASSERT_EQ(S_OK, stg->CreateStorage(L"sub", 18, 0, 0, sub.put()));
  EXPECT_EQ(STG_E_FILENOTFOUND, stg->OpenStream(L"none", nullptr, 18, 0, s.put()));
  EXPECT_EQ("12345", StreamText(stg.get(), L"a.txt"));

  // Names that are not one element of the folder.
  for (const wchar_t* bad : {L"", L"\\", L"/", L".", L"..", L"sub\\a.txt", L"../box", L"...", L" "}) {
    SCOPED_TRACE(std::string(bad, bad + wcslen(bad)));
    ComPtr<IStorage> x;
    EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->CreateStream(bad, 18, 0, 0, s.put()));
    EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->OpenStream(bad, nullptr, 18, 0, s.put()));
    EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->CreateStorage(bad, 18, 0, 0, x.put()));
    EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->DestroyElement(bad));
    EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->RenameElement(L"a.txt", bad));
    EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->MoveElementTo(bad, sub.get(), L"x", STGMOVE_COPY));
  }
  EXPECT_EQ(STG_E_INVALIDPARAMETER, stg->DestroyElement(nullptr));
  EXPECT_TRUE(orvtest::Exists(Path(L"box\\a.txt")));

  ComPtr<IEnumSTATSTG> e;
  ASSERT_EQ(S_OK, stg->EnumElements(0, nullptr, 0, e.put()));
  STATSTG st[3] = {};
  ULONG got = 9;
  ASSERT_EQ(S_OK, e->Next(3, st, &got));  // S_OK for fewer than asked, with the count
  ASSERT_EQ(2u, got);
  std::map<std::wstring, STATSTG> byName = {{st[0].pwcsName, st[0]}, {st[1].pwcsName, st[1]}};
  EXPECT_EQ(STGTY_STREAM, static_cast<STGTY>(byName[L"a.txt"].type));
  EXPECT_EQ(5u, byName[L"a.txt"].cbSize.QuadPart);
  EXPECT_EQ(static_cast<DWORD>(LOCK_EXCLUSIVE), byName[L"a.txt"].grfLocksSupported);
  EXPECT_EQ(0u, byName[L"a.txt"].grfMode);
  EXPECT_EQ(STGTY_STORAGE, static_cast<STGTY>(byName[L"sub"].type));
  // Times are the file system's UTC file times.
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(Path(L"box\\a.txt").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(0, CompareFileTime(&data.ftLastWriteTime, &byName[L"a.txt"].mtime));
  const std::wstring first = st[0].pwcsName;
  CoTaskMemFree(st[0].pwcsName);
  CoTaskMemFree(st[1].pwcsName);
  EXPECT_EQ(S_FALSE, e->Next(1, st, &got));
  EXPECT_EQ(0u, got);
  EXPECT_EQ(STG_E_INVALIDPOINTER, e->Next(1, nullptr, &got));

  // Reset, Skip, and a clone that continues where its source stands.
  EXPECT_EQ(S_OK, e->Reset());
  EXPECT_EQ(S_OK, e->Skip(1));
  ComPtr<IEnumSTATSTG> clone;
  ASSERT_EQ(S_OK, e->Clone(clone.put()));
  ASSERT_EQ(S_OK, clone->Next(1, st, nullptr));
  EXPECT_NE(first, st[0].pwcsName);
  CoTaskMemFree(st[0].pwcsName);
  EXPECT_EQ(S_FALSE, e->Skip(2));
  EXPECT_EQ(S_FALSE, e->Next(1, st, nullptr));

  FILETIME when = {0x12345678, 0x01D00000};
  EXPECT_EQ(S_OK, stg->SetElementTimes(L"a.txt", nullptr, nullptr, &when));
  ASSERT_TRUE(GetFileAttributesExW(Path(L"box\\a.txt").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(0, CompareFileTime(&when, &data.ftLastWriteTime));
  EXPECT_EQ(STG_E_FILENOTFOUND, stg->SetElementTimes(L"none", nullptr, nullptr, &when));
  // No name: the folder's own times.
  EXPECT_EQ(S_OK, stg->SetElementTimes(nullptr, nullptr, nullptr, &when));
  STATSTG self;
  ASSERT_EQ(S_OK, stg->Stat(&self, STATFLAG_NONAME));
  EXPECT_EQ(0, CompareFileTime(&when, &self.mtime));

  // Streams of a sub-storage are files of the sub-folder.
  ASSERT_EQ(S_OK, sub->CreateStream(L"inner.txt", 0x1011, 0, 0, s.put()));
  ASSERT_EQ(S_OK, s->Write("in", 2, &n));
  s.reset();
  EXPECT_EQ("in", orvtest::ReadBytes(Path(L"box\\sub\\inner.txt")));
}

TEST_F(SFDirStorageTest, DestroyAndRenameStayInsideTheFolder) {
  MakeTree(Path(L"tree"));
  orvtest::WriteBytes(Path(L"sentinel.txt"), "keep");
  ComPtr<IStorage> stg = Folder(Path(L"tree"));
  EXPECT_EQ(S_OK, stg->RenameElement(L"a.txt", L"c.txt"));
  EXPECT_EQ(STG_E_FILENOTFOUND, stg->RenameElement(L"a.txt", L"d.txt"));
  EXPECT_EQ(STG_E_FILEALREADYEXISTS, stg->RenameElement(L"c.txt", L"sub"));
  EXPECT_EQ(S_OK, stg->RenameElement(L"sub", L"folder"));
  EXPECT_EQ(S_OK, stg->DestroyElement(L"c.txt"));
  EXPECT_EQ(STG_E_FILENOTFOUND, stg->DestroyElement(L"c.txt"));
  EXPECT_EQ(S_OK, stg->DestroyElement(L"folder"));  // recursive
  EXPECT_TRUE(Elements(stg.get()).empty());
  EXPECT_TRUE(orvtest::Exists(Path(L"tree")));
  EXPECT_EQ("keep", orvtest::ReadBytes(Path(L"sentinel.txt")));
}

TEST_F(SFDirStorageTest, MoveElementToFolderStorages) {
  MakeTree(Path(L"src"));
  ComPtr<IStorage> src = Folder(Path(L"src")), dst = Folder(Path(L"dst"));
  EXPECT_EQ(S_OK, src->MoveElementTo(L"a.txt", dst.get(), L"a2.txt", STGMOVE_COPY));
  EXPECT_EQ(S_OK, src->MoveElementTo(L"sub", dst.get(), L"sub2", STGMOVE_COPY));
  EXPECT_EQ("alpha", orvtest::ReadBytes(Path(L"src\\a.txt")));
  EXPECT_EQ("alpha", orvtest::ReadBytes(Path(L"dst\\a2.txt")));
  EXPECT_EQ("bravo!", orvtest::ReadBytes(Path(L"dst\\sub2\\b.txt")));
  EXPECT_TRUE(orvtest::Exists(Path(L"dst\\sub2\\deep")));

  EXPECT_EQ(S_OK, src->MoveElementTo(L"a.txt", dst.get(), L"a3.txt", STGMOVE_MOVE));
  EXPECT_EQ(S_OK, src->MoveElementTo(L"sub", dst.get(), L"sub3", STGMOVE_MOVE));
  EXPECT_TRUE(Elements(src.get()).empty());
  EXPECT_EQ("alpha", orvtest::ReadBytes(Path(L"dst\\a3.txt")));
  EXPECT_EQ("bravo!", orvtest::ReadBytes(Path(L"dst\\sub3\\b.txt")));
  EXPECT_EQ(STG_E_FILENOTFOUND, src->MoveElementTo(L"a.txt", dst.get(), L"a4.txt", STGMOVE_COPY));
  EXPECT_EQ(STG_E_INVALIDPOINTER, dst->MoveElementTo(L"a3.txt", nullptr, L"x", STGMOVE_COPY));
  EXPECT_EQ(STG_E_INVALIDPARAMETER, dst->MoveElementTo(L"a3.txt", src.get(), L"..", STGMOVE_MOVE));

  // Into itself: a folder into its own sub-folder, a file onto itself; nothing is lost.
  ComPtr<IStorage> inner = Folder(Path(L"dst\\sub3\\deep"));
  EXPECT_EQ(STG_E_ACCESSDENIED, dst->MoveElementTo(L"sub3", inner.get(), L"loop", STGMOVE_MOVE));
  EXPECT_EQ(STG_E_ACCESSDENIED, dst->MoveElementTo(L"a3.txt", dst.get(), L"a3.txt", STGMOVE_MOVE));
  EXPECT_FALSE(orvtest::Exists(Path(L"dst\\sub3\\deep\\loop")));
  EXPECT_EQ("alpha", orvtest::ReadBytes(Path(L"dst\\a3.txt")));
  EXPECT_EQ("bravo!", orvtest::ReadBytes(Path(L"dst\\sub3\\b.txt")));
}

TEST_F(SFDirStorageTest, CopyToCompoundFileAndBack) {
  MakeTree(Path(L"tree"));
  ComPtr<IStorage> tree = Folder(Path(L"tree"));
  ComPtr<IStorage> doc;
  ASSERT_EQ(S_OK, StgCreateDocfile(Path(L"copy.stg").c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                   0, doc.put()));
  EXPECT_EQ(STG_E_INVALIDPARAMETER, tree->CopyTo(1, &IID_IStorage, nullptr, doc.get()));
  EXPECT_EQ(STG_E_INVALIDPOINTER, tree->CopyTo(0, nullptr, nullptr, nullptr));
  ASSERT_EQ(S_OK, tree->CopyTo(0, nullptr, nullptr, doc.get()));
  // Files became streams, folders storages.
  auto elements = Elements(doc.get());
  ASSERT_EQ(2u, elements.size());
  EXPECT_EQ(STGTY_STREAM, static_cast<STGTY>(elements[L"a.txt"].first));
  EXPECT_EQ(STGTY_STORAGE, static_cast<STGTY>(elements[L"sub"].first));
  EXPECT_EQ("alpha", StreamText(doc.get(), L"a.txt"));
  {
    ComPtr<IStorage> sub;
    ASSERT_EQ(S_OK, doc->OpenStorage(L"sub", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, sub.put()));
    EXPECT_EQ("bravo!", StreamText(sub.get(), L"b.txt"));
    EXPECT_EQ(STGTY_STORAGE, static_cast<STGTY>(Elements(sub.get())[L"deep"].first));
  }
  // A move into the compound file takes the folder away.
  ASSERT_EQ(S_OK, tree->MoveElementTo(L"sub", doc.get(), L"moved", STGMOVE_MOVE));
  EXPECT_FALSE(orvtest::Exists(Path(L"tree\\sub")));
  EXPECT_EQ(STGTY_STORAGE, static_cast<STGTY>(Elements(doc.get())[L"moved"].first));

  // Folder to folder with CopyTo keeps the bytes too.
  ComPtr<IStorage> copy = Folder(Path(L"copy"));
  ASSERT_EQ(S_OK, tree->CopyTo(0, nullptr, nullptr, copy.get()));
  EXPECT_EQ("alpha", orvtest::ReadBytes(Path(L"copy\\a.txt")));
  EXPECT_EQ(1u, Elements(copy.get()).size());
}

}  // namespace
