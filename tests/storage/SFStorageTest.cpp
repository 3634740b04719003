// SFStorage over compound files and folders through its vtable and IDispatch: the closed
// object, class ids, names and statistics, contents, elements by path, elements that
// outlive the objects they were opened from, and copies and moves between storages.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>
#include <tuple>
#include <utility>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;

namespace {

constexpr HRESULT Message(UINT id) { return MAKE_HRESULT(1, 4, id); }

class SFStorageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, main.put_void()));
    dir = orvtest::BinPath(L"sfstorage-scratch");
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  std::wstring Path(const wchar_t* name) { return dir + L"\\" + name; }

  // A compound file of the scratch folder, created (an old one replaced with mode 0x1012)
  // or opened.
  ComPtr<ISFStorage> StorageFile(const wchar_t* name, LONG mode, bool create) {
    ComPtr<IDispatch> d;
    const Bstr path(Path(name).c_str());
    EXPECT_EQ(S_OK, create ? main->CreateStorageFile(path.get(), mode, d.put())
                           : main->OpenStorageFile(path.get(), mode, d.put()))
        << name;
    return As<ISFStorage>(d);
  }
  ComPtr<ISFStorage> NewFile(const wchar_t* name, LONG mode = 0x1012) { return StorageFile(name, mode, true); }
  ComPtr<ISFStorage> OpenFile(const wchar_t* name, LONG mode = 18) { return StorageFile(name, mode, false); }
  template <class I>
  static ComPtr<I> As(const ComPtr<IDispatch>& d) {
    ComPtr<I> out;
    if (d) d.query(out);
    return out;
  }
  static ComPtr<ISFStream> NewStream(ISFStorage* st, const wchar_t* name, const wchar_t* text) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(S_OK, st->CreateStream(Bstr(name).get(), 0x1012, d.put())) << name;
    auto s = As<ISFStream>(d);
    if (s && text) {
      EXPECT_EQ(S_OK, s->WriteText(Bstr(text).get(), 0));
    }
    return s;
  }
  static ComPtr<ISFStorage> NewStorage(ISFStorage* st, const wchar_t* name) {
    ComPtr<IDispatch> d;
    EXPECT_EQ(S_OK, st->CreateStorage(Bstr(name).get(), 0x1012, d.put())) << name;
    return As<ISFStorage>(d);
  }
  // The whole text of a stream, read from its start.
  static std::wstring AllText(ISFStream* s) {
    Bstr text;
    if (!s || FAILED(s->put_Pos(0)) || FAILED(s->ReadText(-2, text.put()))) return L"<unreadable>";
    return text.c_str();
  }
  // The text of the stream at `path`, or "<missing>".
  static std::wstring TextAt(ISFStorage* st, const wchar_t* path) {
    ComPtr<IDispatch> d;
    if (FAILED(st->OpenSubStream(Bstr(path).get(), 0x10, d.put()))) return L"<missing>";
    return AllText(As<ISFStream>(d).get());
  }
  static LONG Exists(ISFStorage* st, const wchar_t* path) {
    LONG v = 99;
    EXPECT_EQ(S_OK, st->SubItemExists(Bstr(path).get(), &v)) << path;
    return v;
  }
  static std::wstring LastError() { return orvtest::TakeErrorRecord().description; }

  ComPtr<ISFMain> main;
  std::wstring dir;
};

TEST_F(SFStorageTest, ClosedObjectReportsAndAttaches) {
  ComPtr<ISFStorage> st;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFStorage, nullptr, CLSCTX_INPROC_SERVER, IID_ISFStorage, st.put_void()));
  LONG v = 7;
  EXPECT_EQ(S_OK, st->get_elementType(&v));
  EXPECT_EQ(0, v);
  const HRESULT closed = Message(10102);
  Bstr text;
  ComPtr<IDispatch> d;
  ComPtr<IUnknown> raw;
  Bstr name(L"x");
  EXPECT_EQ(closed, st->get_classID(text.put()));
  EXPECT_EQ(L"Object closed or not initialized correctly.", LastError());
  EXPECT_EQ(closed, st->put_classID(name.get()));
  EXPECT_EQ(closed, st->Remove(name.get()));
  EXPECT_EQ(closed, st->Rename(name.get(), name.get()));
  EXPECT_EQ(closed, st->get_name(text.put()));
  EXPECT_EQ(closed, st->Commit(0));
  EXPECT_EQ(closed, st->Stats(d.put()));
  EXPECT_EQ(closed, st->CreateStream(name.get(), 18, d.put()));
  EXPECT_EQ(closed, st->OpenStorage(name.get(), 18, d.put()));
  EXPECT_EQ(closed, st->Revert(&v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(closed, st->get_contents(d.put()));
  EXPECT_EQ(closed, st->CopyTo(st.get(), &v));
  EXPECT_EQ(closed, st->MoveElementTo(name.get(), st.get(), name.get(), &v));
  EXPECT_EQ(closed, st->OpenSubStream(name.get(), 18, d.put()));
  EXPECT_EQ(closed, st->SubItemExists(name.get(), &v));
  EXPECT_EQ(closed, st->GetSubItemInfo(name.get(), d.put()));
  ComPtr<ISFStorageBin> bin;
  ASSERT_EQ(S_OK, st.query(bin));
  EXPECT_EQ(closed, bin->BinGetStoragePtr(raw.put()));
  EXPECT_FALSE(raw);
  EXPECT_EQ(S_OK, st->Close());
  EXPECT_EQ(E_POINTER, st->get_contents(nullptr));
  EXPECT_EQ(E_POINTER, st->SubItemExists(name.get(), nullptr));

  // SetStorage takes any IStorage; null closes; other objects are refused.
  ComPtr<IStorage> memory;
  ComPtr<ILockBytes> bytes;
  ASSERT_EQ(S_OK, CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()));
  ASSERT_EQ(S_OK, StgCreateDocfileOnILockBytes(bytes.get(), 0x1012, 0, memory.put()));
  EXPECT_EQ(S_OK, st->SetStorage(memory.get()));
  st->get_elementType(&v);
  EXPECT_EQ(1, v);
  EXPECT_EQ(S_OK, bin->BinGetStoragePtr(raw.put()));
  EXPECT_TRUE(orvtest::Text(orvtest::Obj(raw.get()).get()).size() > 0);
  EXPECT_EQ(S_FALSE, st->SetStorage(nullptr));
  st->get_elementType(&v);
  EXPECT_EQ(0, v);
  ComPtr<IStream> notStorage;
  CreateStreamOnHGlobal(nullptr, TRUE, notStorage.put());
  EXPECT_EQ(E_NOINTERFACE, st->SetStorage(notStorage.get()));
  bin.reset();
  raw.reset();
  EXPECT_EQ(0u, st.release()->Release());
}

TEST_F(SFStorageTest, StorageFilesCreateOpenAndFail) {
  {
    auto st = NewFile(L"files.stg");
    ASSERT_TRUE(st);
    NewStream(st.get(), L"data", L"kept");
  }
  // Creating over an existing compound file without the create bit opens it.
  ComPtr<IDispatch> d;
  ASSERT_EQ(S_OK, main->CreateStorageFile(Bstr(Path(L"files.stg").c_str()).get(), 18, d.put()));
  EXPECT_EQ(L"kept", TextAt(As<ISFStorage>(d).get(), L"data"));
  // An open file cannot be opened a second time exclusively.
  ComPtr<IDispatch> second;
  EXPECT_EQ(Message(10159), main->CreateStorageFile(Bstr(Path(L"files.stg").c_str()).get(), 18, second.put()));
  EXPECT_EQ(L"Failed to open or create OLE storage file.", LastError());
  EXPECT_FALSE(second);
  d.reset();

  // Opening passes the platform's failure on without a record.
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(STG_E_FILENOTFOUND, main->OpenStorageFile(Bstr(Path(L"missing.stg").c_str()).get(), 18, d.put()));
  EXPECT_FALSE(orvtest::TakeErrorRecord().present);
  EXPECT_FALSE(d);
  EXPECT_EQ(Message(10159), main->CreateStorageFile(Bstr(Path(L"no\\such\\folder.stg").c_str()).get(), 18, d.put()));
  // A null name is the empty name: no unnamed temporary file is made.
  EXPECT_EQ(Message(10159), main->CreateStorageFile(nullptr, 0x1012, d.put()));
  EXPECT_EQ(E_POINTER, main->CreateStorageFile(nullptr, 18, nullptr));

  // Bit 8 places a bare name in the program's folder and is not passed on.
  ASSERT_EQ(S_OK, main->CreateStorageFile(Bstr(L"sfstorage-bare.stg").get(), 0x1012 | 8, d.put()));
  d.reset();
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(orvtest::BinPath(L"sfstorage-bare.stg").c_str()));
  EXPECT_EQ(S_OK, main->OpenStorageFile(Bstr(L"sfstorage-bare.stg").get(), 18 | 8, d.put()));
  d.reset();
  DeleteFileW(orvtest::BinPath(L"sfstorage-bare.stg").c_str());
}

TEST_F(SFStorageTest, ClassIdNameStatsAndElements) {
  auto st = NewFile(L"class.stg");
  ASSERT_TRUE(st);
  Bstr text;
  EXPECT_EQ(S_OK, st->get_classID(text.put()));
  EXPECT_STREQ(L"{00000000-0000-0000-0000-000000000000}", text.c_str());
  EXPECT_EQ(S_OK, st->put_classID(Bstr(L"{59b71984-3121-402e-a110-0b54bdc3ef32}").get()));
  EXPECT_EQ(S_OK, st->get_classID(text.put()));
  EXPECT_STREQ(L"{59B71984-3121-402E-A110-0B54BDC3EF32}", text.c_str());
  // Texts that are no class id change nothing: a ProgID, the empty text, broken forms.
  for (const wchar_t* bad : {L"Orvanta.utilctls.SFMain", L"", L"59B71984-3121-402E-A110-0B54BDC3EF32",
                             L"{59B71984-3121-402E-A110-0B54BDC3EF3Z}", L"not a class"}) {
    EXPECT_EQ(Message(10116), st->put_classID(Bstr(bad).get())) << bad;
    EXPECT_EQ(L"The string does not represent CLSID.", LastError());
  }
  EXPECT_EQ(Message(10115), st->put_classID(nullptr));
  EXPECT_EQ(L"Null pointer passed as parameter.", LastError());
  EXPECT_EQ(S_OK, st->get_classID(text.put()));
  EXPECT_STREQ(L"{59B71984-3121-402E-A110-0B54BDC3EF32}", text.c_str());

  // The root is named by its file, a nested storage by its element name.
  EXPECT_EQ(S_OK, st->get_name(text.put()));
  EXPECT_EQ(Path(L"class.stg"), text.c_str());
  auto child = NewStorage(st.get(), L"Child");
  ASSERT_TRUE(child);
  EXPECT_EQ(S_OK, child->get_name(text.put()));
  EXPECT_STREQ(L"Child", text.c_str());
  ComPtr<IDispatch> info;
  ASSERT_EQ(S_OK, child->Stats(info.put()));
  auto stats = As<ISFInfo>(info);
  LONG v = 0;
  stats->get_Type(&v);
  EXPECT_EQ(STGTY_STORAGE, v);
  stats->get_valid(&v);
  EXPECT_EQ(1, v);
  stats->get_name(text.put());
  EXPECT_STREQ(L"Child", text.c_str());

  // Elements: create, refuse a second create, open, rename, remove.
  NewStream(child.get(), L"s", L"abc");
  ComPtr<IDispatch> d;
  EXPECT_EQ(STG_E_FILEALREADYEXISTS, child->CreateStream(Bstr(L"s").get(), 18, d.put()));
  EXPECT_EQ(S_OK, child->Rename(Bstr(L"s").get(), Bstr(L"t").get()));
  EXPECT_EQ(L"abc", TextAt(child.get(), L"t"));
  EXPECT_EQ(STG_E_FILENOTFOUND, child->OpenStream(Bstr(L"s").get(), 18, d.put()));
  EXPECT_EQ(S_OK, child->Remove(Bstr(L"t").get()));
  EXPECT_EQ(STG_E_FILENOTFOUND, child->Remove(Bstr(L"t").get()));
  EXPECT_EQ(S_OK, child->Commit(0));
  child.reset();
  EXPECT_EQ(S_OK, st->OpenStorage(Bstr(L"Child").get(), 18, d.put()));
  EXPECT_TRUE(As<ISFStorage>(d));
}

TEST_F(SFStorageTest, RevertDropsUncommittedChanges) {
  auto st = NewFile(L"revert.stg", 0x1012 | STGM_TRANSACTED);
  ASSERT_TRUE(st);
  NewStream(st.get(), L"kept", L"1");
  EXPECT_EQ(S_OK, st->Commit(0));
  NewStream(st.get(), L"dropped", L"2");
  LONG ok = 0;
  EXPECT_EQ(S_OK, st->Revert(&ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(1, Exists(st.get(), L"kept"));
  EXPECT_EQ(0, Exists(st.get(), L"dropped"));
}

TEST_F(SFStorageTest, ContentsListsEveryElementWithItsInfo) {
  auto st = NewFile(L"contents.stg");
  ASSERT_TRUE(st);
  NewStorage(st.get(), L"folder");
  NewStream(st.get(), L"five", L"12345");
  NewStream(st.get(), L"empty", nullptr);
  ComPtr<IDispatch> d;
  ASSERT_EQ(S_OK, st->get_contents(d.put()));
  auto items = As<IVarDictionary>(d);
  ASSERT_TRUE(items);
  LONG count = 0;
  items->get_Count(&count);
  EXPECT_EQ(3, count);
  // By name, through IDispatch as scripts do.
  for (const auto& [name, type, size] : {std::tuple{L"folder", 1, 0}, {L"FIVE", 2, 5}, {L"empty", 2, 0}}) {
    Variant key = orvtest::Str(name), item;
    ASSERT_EQ(S_OK, orvtest::CallByName(d.get(), L"Item", DISPATCH_PROPERTYGET, key.get(), 1, item.get())) << name;
    ASSERT_EQ(VT_DISPATCH, item.vt()) << name;
    Variant got;
    orvtest::CallByName(V_DISPATCH(item.get()), L"Type", DISPATCH_PROPERTYGET, nullptr, 0, got.get());
    EXPECT_EQ(L"" + std::to_wstring(type), orvtest::Text(got.get())) << name;
    orvtest::CallByName(V_DISPATCH(item.get()), L"Size", DISPATCH_PROPERTYGET, nullptr, 0, got.put());
    EXPECT_EQ(std::to_wstring(size), orvtest::Text(got.get())) << name;
  }
  // An empty storage gives an empty collection.
  auto folder = As<ISFStorage>([&] {
    ComPtr<IDispatch> f;
    st->OpenStorage(Bstr(L"folder").get(), 18, f.put());
    return f;
  }());
  ASSERT_TRUE(folder);
  ASSERT_EQ(S_OK, folder->get_contents(d.put()));
  As<IVarDictionary>(d)->get_Count(&count);
  EXPECT_EQ(0, count);
}

TEST_F(SFStorageTest, ElementsByPath) {
  auto st = NewFile(L"paths.stg");
  ASSERT_TRUE(st);
  ComPtr<IDispatch> d;
  // Missing storages on the way are made; both separators count, leading ones are skipped.
  ASSERT_EQ(S_OK, st->CreateSubStream(Bstr(L"a/b\\c").get(), 18, d.put()));
  ASSERT_EQ(S_OK, As<ISFStream>(d)->WriteText(Bstr(L"deep").get(), 0));
  d.reset();
  EXPECT_EQ(L"deep", TextAt(st.get(), L"\\a\\b/c"));
  ASSERT_EQ(S_OK, st->CreateSubStorage(Bstr(L"/a/b/d").get(), 18, d.put()));
  EXPECT_TRUE(As<ISFStorage>(d));
  d.reset();
  ASSERT_EQ(S_OK, st->OpenSubStorage(Bstr(L"a/b").get(), 18, d.put()));
  EXPECT_EQ(L"deep", TextAt(As<ISFStorage>(d).get(), L"c"));
  d.reset();

  // -1 storage, 1 stream, 0 nothing; compound files answer although they refuse the
  // shared opens these tests start with.
  EXPECT_EQ(-1, Exists(st.get(), L"a"));
  EXPECT_EQ(-1, Exists(st.get(), L"a/b/d"));
  EXPECT_EQ(1, Exists(st.get(), L"a\\b\\c"));
  EXPECT_EQ(0, Exists(st.get(), L"a/x"));
  EXPECT_EQ(0, Exists(st.get(), L"a/b/c/x"));
  EXPECT_EQ(0, Exists(st.get(), L""));
  EXPECT_EQ(0, Exists(st.get(), nullptr));
  ASSERT_EQ(S_OK, st->GetSubItemInfo(Bstr(L"a/b/c").get(), d.put()));
  LONG v = 0;
  As<ISFInfo>(d)->get_Type(&v);
  EXPECT_EQ(STGTY_STREAM, v);
  As<ISFInfo>(d)->get_Size(&v);
  EXPECT_EQ(4, v);
  Bstr name;
  As<ISFInfo>(d)->get_name(name.put());
  EXPECT_STREQ(L"c", name.c_str());
  ASSERT_EQ(S_OK, st->GetSubItemInfo(Bstr(L"a/b").get(), d.put()));
  As<ISFInfo>(d)->get_Type(&v);
  EXPECT_EQ(STGTY_STORAGE, v);
  EXPECT_EQ(STG_E_FILENOTFOUND, st->GetSubItemInfo(Bstr(L"a/none").get(), d.put()));
  EXPECT_FALSE(d);

  // An empty path fails; opening does not create; creating an existing stream fails
  // without touching it.
  EXPECT_EQ(E_FAIL, st->OpenSubStream(Bstr(L"").get(), 18, d.put()));
  EXPECT_EQ(E_FAIL, st->CreateSubStorage(Bstr(L"//").get(), 18, d.put()));
  EXPECT_EQ(STG_E_FILENOTFOUND, st->OpenSubStream(Bstr(L"x/y").get(), 18, d.put()));
  EXPECT_EQ(0, Exists(st.get(), L"x"));
  std::wstring deep;
  for (int i = 0; i < 300; ++i) deep += L"n/";
  EXPECT_EQ(E_FAIL, st->CreateSubStream(Bstr((deep + L"s").c_str()).get(), 18, d.put()));
  EXPECT_EQ(0, Exists(st.get(), L"n"));
  EXPECT_EQ(STG_E_FILEALREADYEXISTS, st->CreateSubStream(Bstr(L"a/b/c").get(), 18, d.put()));
  EXPECT_EQ(L"deep", TextAt(st.get(), L"a/b/c"));
  // A stream on the way is no storage, and is left alone.
  EXPECT_EQ(STG_E_FILEALREADYEXISTS, st->CreateSubStream(Bstr(L"a/b/c/e").get(), 18, d.put()));
  EXPECT_EQ(L"deep", TextAt(st.get(), L"a/b/c"));
  // A compound file opens an element once at a time. Paths go through storages that are
  // open already, and open elements are still found and described.
  {
    ComPtr<IDispatch> held, stream;
    ASSERT_EQ(S_OK, st->OpenStorage(Bstr(L"a").get(), 18, held.put()));
    ASSERT_EQ(S_OK, st->CreateSubStream(Bstr(L"a/new").get(), 18, stream.put()));
    EXPECT_EQ(STG_E_ACCESSDENIED, st->OpenStorage(Bstr(L"a").get(), 18, d.put()));
    EXPECT_EQ(-1, Exists(st.get(), L"a"));
    EXPECT_EQ(1, Exists(st.get(), L"a/new"));
    ASSERT_EQ(S_OK, st->GetSubItemInfo(Bstr(L"A/NEW").get(), d.put()));
    As<ISFInfo>(d)->get_name(name.put());
    EXPECT_STREQ(L"new", name.c_str());
    // A second object over the same storage knows nothing of the first one's elements:
    // the open storage is reported as refused, not as "already exists".
    ComPtr<ISFStorage> other;
    ComPtr<ISFStorageBin> bin;
    ComPtr<IUnknown> raw;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFStorage, nullptr, CLSCTX_INPROC_SERVER, IID_ISFStorage, other.put_void()));
    ASSERT_EQ(S_OK, st.query(bin));
    ASSERT_EQ(S_OK, bin->BinGetStoragePtr(raw.put()));
    ASSERT_EQ(S_OK, other->SetStorage(raw.get()));
    EXPECT_EQ(STG_E_ACCESSDENIED, other->CreateSubStream(Bstr(L"a/other").get(), 18, d.put()));
  }
  EXPECT_EQ(S_OK, st->OpenStorage(Bstr(L"a").get(), 18, d.put()));
}

TEST_F(SFStorageTest, NestedElementsOutliveTheObjectsTheyCameFrom) {
  ComPtr<ISFStream> stream, clone;
  ComPtr<ISFStorage> inner;
  {
    auto st = NewFile(L"lifetime.stg");
    ASSERT_TRUE(st);
    ComPtr<IDispatch> d;
    ASSERT_EQ(S_OK, st->CreateSubStream(Bstr(L"one/two/s").get(), 18, d.put()));
    As<ISFStream>(d)->WriteText(Bstr(L"alive").get(), 0);
    d.reset();
    ASSERT_EQ(S_OK, st->OpenStorage(Bstr(L"one").get(), 18, d.put()));
    inner = As<ISFStorage>(d);
    ASSERT_EQ(S_OK, inner->OpenSubStream(Bstr(L"two/s").get(), 18, d.put()));
    stream = As<ISFStream>(d);
    // The script closes the root on its own: the elements keep what they need.
    EXPECT_EQ(S_OK, st->Close());
  }
  inner.reset();
  EXPECT_EQ(L"alive", AllText(stream.get()));
  EXPECT_EQ(S_OK, stream->WriteText(Bstr(L" and well").get(), 0));
  ComPtr<IUnknown> copy;
  ASSERT_EQ(S_OK, stream->Clone(copy.put()));
  copy.query(clone);
  copy.reset();
  stream.reset();
  EXPECT_EQ(L"alive and well", AllText(clone.get()));
  clone.reset();

  // Storages opened one below the other, each parent released as soon as its child is open.
  ComPtr<IDispatch> d;
  auto root = OpenFile(L"lifetime.stg");
  ASSERT_TRUE(root) << "an element still holds the file";
  ASSERT_EQ(S_OK, std::exchange(root, {})->OpenStorage(Bstr(L"one").get(), 18, d.put()));
  ASSERT_EQ(S_OK, As<ISFStorage>(d)->OpenStorage(Bstr(L"two").get(), 18, d.put()));
  auto two = As<ISFStorage>(d);
  d.reset();
  EXPECT_EQ(L"alive and well", TextAt(two.get(), L"s"));
  NewStream(two.get(), L"late", L"written");
  EXPECT_EQ(S_OK, two->Commit(0));
  EXPECT_EQ(0u, two.release()->Release());

  // Everything reached the file.
  auto again = OpenFile(L"lifetime.stg");
  ASSERT_TRUE(again) << "an element still holds the file";
  EXPECT_EQ(L"written", TextAt(again.get(), L"one/two/late"));
  EXPECT_EQ(L"alive and well", TextAt(again.get(), L"one/two/s"));
}

TEST_F(SFStorageTest, CopiesAndMovesBetweenCompoundFiles) {
  auto src = NewFile(L"copy-src.stg");
  auto dst = NewFile(L"copy-dst.stg");
  ASSERT_TRUE(src && dst);
  src->put_classID(Bstr(L"{11111111-2222-3333-4444-555555555555}").get());
  NewStream(src.get(), L"top", L"T");
  {
    auto sub = NewStorage(src.get(), L"sub");
    sub->put_classID(Bstr(L"{AAAAAAAA-2222-3333-4444-555555555555}").get());
    NewStream(sub.get(), L"inner", L"I");
    NewStorage(sub.get(), L"empty");
  }
  NewStream(dst.get(), L"top", L"old text to be replaced");
  LONG ok = 9;
  EXPECT_EQ(S_OK, src->CopyTo(dst.get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"T", TextAt(dst.get(), L"top"));
  EXPECT_EQ(L"I", TextAt(dst.get(), L"sub/inner"));
  EXPECT_EQ(-1, Exists(dst.get(), L"sub/empty"));
  Bstr id;
  dst->get_classID(id.put());
  EXPECT_STREQ(L"{11111111-2222-3333-4444-555555555555}", id.c_str());

  // Elements one at a time: an empty new name keeps the old one; a move removes the
  // source. Wine's storages do not move elements themselves.
  auto third = NewFile(L"copy-third.stg");
  ASSERT_TRUE(third);
  EXPECT_EQ(S_OK, src->CopyElementTo(Bstr(L"sub").get(), third.get(), Bstr(L"").get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"I", TextAt(third.get(), L"sub/inner"));
  ComPtr<IDispatch> d;
  ASSERT_EQ(S_OK, third->OpenStorage(Bstr(L"sub").get(), 18, d.put()));
  As<ISFStorage>(d)->get_classID(id.put());
  EXPECT_STREQ(L"{AAAAAAAA-2222-3333-4444-555555555555}", id.c_str());
  d.reset();
  EXPECT_EQ(S_OK, src->MoveElementTo(Bstr(L"top").get(), third.get(), Bstr(L"moved").get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"T", TextAt(third.get(), L"moved"));
  EXPECT_EQ(0, Exists(src.get(), L"top"));
  // Within one storage under a new name, and onto itself (refused, nothing lost).
  EXPECT_EQ(S_OK, third->CopyElementTo(Bstr(L"moved").get(), third.get(), Bstr(L"twin").get(), &ok));
  EXPECT_EQ(L"T", TextAt(third.get(), L"twin"));
  EXPECT_EQ(S_FALSE, third->MoveElementTo(Bstr(L"twin").get(), third.get(), Bstr(L"TWIN").get(), &ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(S_FALSE, third->CopyTo(third.get(), &ok));
  EXPECT_EQ(L"T", TextAt(third.get(), L"twin"));
  // A missing element: flag 0 and S_FALSE.
  EXPECT_EQ(S_FALSE, src->CopyElementTo(Bstr(L"nothing").get(), third.get(), Bstr(L"").get(), &ok));
  EXPECT_EQ(0, ok);

  // Argument checks.
  ComPtr<IDispatch> notStorage;
  main->CreateMemoryStream(notStorage.put());
  EXPECT_EQ(Message(10118), src->CopyTo(notStorage.get(), &ok));
  EXPECT_EQ(L"Passed parameter is not a SFStorage object.", LastError());
  EXPECT_EQ(Message(10118), src->CopyTo(nullptr, &ok));
  EXPECT_EQ(Message(10118), src->CopyElementTo(Bstr(L"sub").get(), notStorage.get(), Bstr(L"").get(), &ok));
  EXPECT_EQ(E_POINTER, src->CopyElementTo(nullptr, third.get(), Bstr(L"").get(), &ok));
  EXPECT_EQ(E_POINTER, src->MoveElementTo(Bstr(L"sub").get(), third.get(), nullptr, &ok));
  EXPECT_EQ(E_INVALIDARG, src->MoveElementTo(Bstr(L"").get(), third.get(), Bstr(L"x").get(), &ok));
  EXPECT_EQ(-1, Exists(src.get(), L"sub"));
  // A closed target reports itself closed.
  ComPtr<ISFStorage> closed;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFStorage, nullptr, CLSCTX_INPROC_SERVER, IID_ISFStorage, closed.put_void()));
  EXPECT_EQ(Message(10102), src->CopyTo(closed.get(), &ok));
}

}  // namespace

// ---- folders ----

class SFStorageFolderTest : public SFStorageTest {
 protected:
  // A new, empty folder storage in the scratch folder.
  ComPtr<ISFStorage> NewFolder(const wchar_t* name) {
    main->DeleteFolder(Bstr(Path(name).c_str()).get(), 1);
    ComPtr<IDispatch> d;
    EXPECT_EQ(S_OK, main->CreateDirectory(Bstr(Path(name).c_str()).get(), 18, d.put())) << name;
    return As<ISFStorage>(d);
  }
  static void PutText(ISFStorage* st, const wchar_t* path, const wchar_t* text) {
    ComPtr<IDispatch> d;
    ASSERT_EQ(S_OK, st->CreateSubStream(Bstr(path).get(), 0x1012, d.put())) << path;
    ASSERT_EQ(S_OK, As<ISFStream>(d)->WriteText(Bstr(text).get(), 0)) << path;
  }
  // A file's bytes as the file system has them.
  std::string FileBytes(const std::wstring& path) {
    std::string out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[256];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) out.append(buf, n);
    CloseHandle(h);
    return out;
  }
};

TEST_F(SFStorageFolderTest, FoldersAsStorages) {
  auto folder = NewFolder(L"folder");
  ASSERT_TRUE(folder);
  PutText(folder.get(), L"x/y\\f.txt", L"folder text");
  EXPECT_EQ("folder text", FileBytes(Path(L"folder\\x\\y\\f.txt")));
  EXPECT_EQ(-1, Exists(folder.get(), L"x"));
  EXPECT_EQ(-1, Exists(folder.get(), L"/x/y"));
  EXPECT_EQ(1, Exists(folder.get(), L"x/y/f.txt"));
  EXPECT_EQ(0, Exists(folder.get(), L"x/none"));
  EXPECT_EQ(L"folder text", TextAt(folder.get(), L"x\\y/f.txt"));
  {
    // A file that is open exclusively still exists.
    ComPtr<IDispatch> held;
    ASSERT_EQ(S_OK, folder->OpenSubStream(Bstr(L"x/y/f.txt").get(), 0x12, held.put()));
    EXPECT_EQ(1, Exists(folder.get(), L"x/y/f.txt"));
  }
  ComPtr<IDispatch> d;
  ASSERT_EQ(S_OK, folder->GetSubItemInfo(Bstr(L"x/y/f.txt").get(), d.put()));
  LONG v = 0;
  As<ISFInfo>(d)->get_Size(&v);
  EXPECT_EQ(11, v);
  ASSERT_EQ(S_OK, folder->get_contents(d.put()));
  As<IVarDictionary>(d)->get_Count(&v);
  EXPECT_EQ(1, v);
  Variant key = orvtest::Str(L"x"), item, type;
  ASSERT_EQ(S_OK, orvtest::CallByName(d.get(), L"Item", DISPATCH_PROPERTYGET, key.get(), 1, item.get()));
  orvtest::CallByName(V_DISPATCH(item.get()), L"Type", DISPATCH_PROPERTYGET, nullptr, 0, type.get());
  EXPECT_EQ(L"1", orvtest::Text(type.get()));

  // A folder keeps no class id; an empty or parent name never reaches outside.
  Bstr id;
  EXPECT_EQ(S_OK, folder->get_classID(id.put()));
  EXPECT_STREQ(L"{00000000-0000-0000-0000-000000000000}", id.c_str());
  EXPECT_EQ(STG_E_INVALIDFUNCTION, folder->put_classID(Bstr(L"{11111111-2222-3333-4444-555555555555}").get()));
  EXPECT_TRUE(FAILED(folder->Remove(Bstr(L"").get())));
  EXPECT_TRUE(FAILED(folder->Remove(nullptr)));
  EXPECT_TRUE(FAILED(folder->OpenSubStorage(Bstr(L"x/../..").get(), 18, d.put())));
  EXPECT_EQ(1, Exists(folder.get(), L"x/y/f.txt"));
  EXPECT_EQ(S_OK, folder->Rename(Bstr(L"x").get(), Bstr(L"z").get()));
  EXPECT_EQ("folder text", FileBytes(Path(L"folder\\z\\y\\f.txt")));
  EXPECT_EQ(S_OK, folder->Remove(Bstr(L"z").get()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(L"folder\\z").c_str()));

  // The directory rules of the factories.
  EXPECT_EQ(STG_E_INVALIDFLAG, main->OpenDirectory(Bstr(Path(L"folder").c_str()).get(), 0x1012, d.put()));
  EXPECT_EQ(STG_E_FILENOTFOUND, main->OpenDirectory(Bstr(Path(L"no-folder").c_str()).get(), 18, d.put()));
  EXPECT_EQ(Message(10106), main->CreateDirectory(Bstr(Path(L"no\\such\\folder").c_str()).get(), 18, d.put()));
  EXPECT_EQ(L"Operation failed", LastError());
  EXPECT_FALSE(d);
  EXPECT_EQ(S_OK, main->OpenDirectory(Bstr(Path(L"folder").c_str()).get(), 18, d.put()));
  EXPECT_EQ(0, Exists(As<ISFStorage>(d).get(), L"z"));
}

TEST_F(SFStorageFolderTest, CopiesAndMovesBetweenFoldersAndCompoundFiles) {
  auto folder = NewFolder(L"copy-folder");
  ASSERT_TRUE(folder);
  PutText(folder.get(), L"a.txt", L"AAA");
  PutText(folder.get(), L"sub/b.txt", L"BB");
  ComPtr<IDispatch> d;
  ASSERT_EQ(S_OK, folder->CreateSubStorage(Bstr(L"sub/empty").get(), 18, d.put()));
  d.reset();

  // Folder into compound file: files become streams, folders storages.
  auto file = NewFile(L"from-folder.stg");
  ASSERT_TRUE(file);
  LONG ok = 0;
  EXPECT_EQ(S_OK, folder->CopyTo(file.get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"AAA", TextAt(file.get(), L"a.txt"));
  EXPECT_EQ(L"BB", TextAt(file.get(), L"sub/b.txt"));
  EXPECT_EQ(-1, Exists(file.get(), L"sub/empty"));

  // Compound file (with a class id) into a new folder: the folder refuses the class id,
  // the elements arrive all the same.
  ASSERT_EQ(S_OK, file->put_classID(Bstr(L"{11111111-2222-3333-4444-555555555555}").get()));
  NewStorage(file.get(), L"only-in-file");
  auto back = NewFolder(L"from-file");
  ASSERT_TRUE(back);
  EXPECT_EQ(S_OK, file->CopyTo(back.get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ("AAA", FileBytes(Path(L"from-file\\a.txt")));
  EXPECT_EQ("BB", FileBytes(Path(L"from-file\\sub\\b.txt")));
  EXPECT_EQ(-1, Exists(back.get(), L"only-in-file"));

  // Single elements, both ways, copied and moved.
  EXPECT_EQ(S_OK, file->CopyElementTo(Bstr(L"sub").get(), folder.get(), Bstr(L"sub-copy").get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ("BB", FileBytes(Path(L"copy-folder\\sub-copy\\b.txt")));
  EXPECT_EQ(S_OK, file->MoveElementTo(Bstr(L"a.txt").get(), folder.get(), Bstr(L"moved.txt").get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ("AAA", FileBytes(Path(L"copy-folder\\moved.txt")));
  EXPECT_EQ(0, Exists(file.get(), L"a.txt"));
  EXPECT_EQ(S_OK, folder->MoveElementTo(Bstr(L"sub").get(), file.get(), Bstr(L"from-folder").get(), &ok));
  EXPECT_EQ(1, ok);
  EXPECT_EQ(L"BB", TextAt(file.get(), L"from-folder/b.txt"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(L"copy-folder\\sub").c_str()));
  EXPECT_EQ(S_OK, folder->CopyElementTo(Bstr(L"moved.txt").get(), file.get(), Bstr(L"").get(), &ok));
  EXPECT_EQ(L"AAA", TextAt(file.get(), L"moved.txt"));
  // A folder copied into itself is refused; nothing is nested into itself.
  ComPtr<IDispatch> child;
  ASSERT_EQ(S_OK, folder->OpenStorage(Bstr(L"sub-copy").get(), 18, child.put()));
  EXPECT_EQ(S_FALSE, folder->CopyTo(child.get(), &ok));
  EXPECT_EQ(S_FALSE, folder->CopyElementTo(Bstr(L"sub-copy").get(), child.get(), Bstr(L"").get(), &ok));
  EXPECT_EQ(0, Exists(folder.get(), L"sub-copy/sub-copy"));
  // A file copied onto itself stays as it is.
  EXPECT_EQ(S_FALSE, folder->CopyElementTo(Bstr(L"moved.txt").get(), folder.get(), Bstr(L"MOVED.TXT").get(), &ok));
  EXPECT_EQ("AAA", FileBytes(Path(L"copy-folder\\moved.txt")));
}
