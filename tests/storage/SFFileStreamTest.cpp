// SFFileStream through ISFFileStream and IStream over files in the build tree: the open
// rules, reads and writes with their short-transfer results, seeking, sizing, the stat
// record, clones on their own handle, copying and the closed-object errors.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "tests/storage/StorageTestSupport.h"

using orv::Bstr;
using orv::ComPtr;

namespace {

class SFFileStreamTest : public orvtest::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFFileStream, nullptr, CLSCTX_INPROC_SERVER, IID_ISFFileStream,
                                     fs.put_void()));
  }
  // Opens (or creates) `name` in the scratch folder and returns the success flag.
  LONG Open(const wchar_t* name, LONG mode, bool create = false) {
    LONG ok = -1;
    Bstr path(Path(name).c_str());
    const HRESULT hr = create ? fs->CreateFile(path.get(), mode, &ok) : fs->OpenFile(path.get(), mode, &ok);
    EXPECT_EQ(ok ? S_OK : S_FALSE, hr);
    return ok;
  }
  ComPtr<IStream> Stream() {
    ComPtr<IStream> s;
    EXPECT_EQ(S_OK, fs.query(s));
    return s;
  }

  ComPtr<ISFFileStream> fs;
};

TEST_F(SFFileStreamTest, ReadWriteSeekAndSize) {
  ASSERT_EQ(1, Open(L"data.bin", 18, true));
  ComPtr<IStream> s = Stream();
  ULONG n = 0;
  EXPECT_EQ(S_OK, s->Write("hello world", 11, &n));
  EXPECT_EQ(11u, n);
  EXPECT_EQ(11u, orvtest::SeekTo(s.get(), 0, STREAM_SEEK_CUR));
  EXPECT_EQ(0u, orvtest::SeekTo(s.get(), 0, STREAM_SEEK_SET));
  char buf[32] = {};
  EXPECT_EQ(S_OK, s->Read(buf, 5, &n));
  EXPECT_EQ("hello", std::string(buf, n));
  // Fewer bytes than asked: S_FALSE with the count.
  EXPECT_EQ(S_FALSE, s->Read(buf, sizeof buf, &n));
  EXPECT_EQ(" world", std::string(buf, n));
  EXPECT_EQ(S_FALSE, s->Read(buf, sizeof buf, &n));
  EXPECT_EQ(0u, n);
  EXPECT_EQ(STG_E_INVALIDPOINTER, s->Read(nullptr, 1, &n));

  LARGE_INTEGER move = {};
  EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(move, 3, nullptr));
  move.QuadPart = -20;
  EXPECT_EQ(STG_E_INVALIDFUNCTION, s->Seek(move, STREAM_SEEK_CUR, nullptr));
  EXPECT_EQ(10u, orvtest::SeekTo(s.get(), -1, STREAM_SEEK_END));

  // SetSize cuts or extends and keeps the position.
  ULARGE_INTEGER size;
  size.QuadPart = 4;
  EXPECT_EQ(S_OK, s->SetSize(size));
  EXPECT_EQ(10u, orvtest::SeekTo(s.get(), 0, STREAM_SEEK_CUR));
  EXPECT_EQ(4u, orvtest::SeekTo(s.get(), 0, STREAM_SEEK_END));
  size.QuadPart = 0x100000000ull;
  EXPECT_EQ(STG_E_INVALIDFUNCTION, s->SetSize(size));
  size.QuadPart = 6;
  EXPECT_EQ(S_OK, s->SetSize(size));
  orvtest::SeekTo(s.get(), 0, STREAM_SEEK_SET);
  EXPECT_EQ(S_FALSE, s->Read(buf, sizeof buf, &n));
  EXPECT_EQ(std::string("hell\0\0", 6), std::string(buf, n));

  STATSTG st;
  ASSERT_EQ(S_OK, s->Stat(&st, STATFLAG_DEFAULT));
  EXPECT_EQ(STGTY_STREAM, static_cast<STGTY>(st.type));
  EXPECT_EQ(6u, st.cbSize.QuadPart);
  EXPECT_EQ(18u, st.grfMode);
  EXPECT_STREQ(L"data.bin", st.pwcsName);
  CoTaskMemFree(st.pwcsName);
  EXPECT_EQ(S_OK, s->Stat(&st, STATFLAG_NONAME));
  EXPECT_EQ(nullptr, st.pwcsName);
  EXPECT_EQ(STG_E_INVALIDFLAG, s->Stat(&st, 2));

  EXPECT_EQ(S_OK, s->Commit(STGC_DEFAULT));
  EXPECT_EQ(S_OK, s->Revert());
  ULARGE_INTEGER at = {}, count = {};
  EXPECT_EQ(E_NOTIMPL, s->LockRegion(at, count, LOCK_EXCLUSIVE));
  EXPECT_EQ(E_NOTIMPL, s->UnlockRegion(at, count, LOCK_EXCLUSIVE));
  ComPtr<ISequentialStream> sequential;
  EXPECT_EQ(S_OK, s.query(sequential));
}

TEST_F(SFFileStreamTest, OpenRulesCloseAndDeleteOnRelease) {
  orvtest::WriteBytes(Path(L"old.txt"), "previous content");
  LONG ok = -1;
  EXPECT_EQ(E_POINTER, fs->OpenFile(Bstr(Path(L"old.txt").c_str()).get(), 18, nullptr));
  EXPECT_EQ(0, Open(L"missing.txt", 18));
  EXPECT_EQ(0, Open(L"old.txt", 2));     // no sharing bits
  EXPECT_EQ(0, Open(L"old.txt", 0x13));  // access 3
  EXPECT_EQ(S_FALSE, fs->OpenFile(nullptr, 18, &ok));
  EXPECT_EQ(0, ok);
  ASSERT_EQ(1, Open(L"old.txt", 0x40));
  EXPECT_EQ(16u, orvtest::SeekTo(Stream().get(), 0, STREAM_SEEK_END));
  // Create truncates an existing file (and closes the file open before).
  ASSERT_EQ(1, Open(L"old.txt", 18, true));
  EXPECT_EQ(0u, orvtest::SeekTo(Stream().get(), 0, STREAM_SEEK_END));

  EXPECT_EQ(S_OK, fs->Close());
  EXPECT_EQ(S_OK, fs->Close());
  ComPtr<IStream> s = Stream();
  char c;
  ULONG n;
  STATSTG st;
  ComPtr<IStream> clone;
  ULARGE_INTEGER size = {};
  LARGE_INTEGER move = {};
  EXPECT_EQ(STG_E_REVERTED, s->Read(&c, 1, &n));
  EXPECT_EQ(STG_E_REVERTED, s->Write(&c, 1, &n));
  EXPECT_EQ(STG_E_REVERTED, s->Seek(move, STREAM_SEEK_SET, nullptr));
  EXPECT_EQ(STG_E_REVERTED, s->SetSize(size));
  EXPECT_EQ(STG_E_REVERTED, s->Stat(&st, STATFLAG_NONAME));
  EXPECT_EQ(STG_E_REVERTED, s->Clone(clone.put()));
  EXPECT_EQ(STG_E_REVERTED, s->Commit(0));

  // A file opened with the delete-on-release bit goes when its handle closes.
  ASSERT_EQ(1, Open(L"temp.txt", 0x4000012, true));
  EXPECT_TRUE(orvtest::Exists(Path(L"temp.txt")));
  EXPECT_EQ(S_OK, fs->Close());
  EXPECT_FALSE(orvtest::Exists(Path(L"temp.txt")));
  s.reset();
  EXPECT_EQ(0u, fs.release()->Release());
}

TEST_F(SFFileStreamTest, CloneReopensAndCopyToCopiesBlocks) {
  ASSERT_EQ(1, Open(L"shared.txt", 0x1042, true));  // create, read-write, deny none
  ComPtr<IStream> s = Stream();
  ULONG n = 0;
  ASSERT_EQ(S_OK, s->Write("0123456789", 10, &n));
  orvtest::SeekTo(s.get(), 3, STREAM_SEEK_SET);
  ComPtr<IStream> clone;
  ASSERT_EQ(S_OK, s->Clone(clone.put()));
  // Its own handle at 0; the create bit does not empty the file again.
  EXPECT_EQ(0u, orvtest::SeekTo(clone.get(), 0, STREAM_SEEK_CUR));
  EXPECT_EQ(10u, orvtest::SeekTo(clone.get(), 0, STREAM_SEEK_END));
  EXPECT_EQ(3u, orvtest::SeekTo(s.get(), 0, STREAM_SEEK_CUR));
  STATSTG st;
  ASSERT_EQ(S_OK, clone->Stat(&st, STATFLAG_NONAME));
  EXPECT_EQ(0x1042u, st.grfMode);

  ComPtr<IStream> memory;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, memory.put()));
  ULARGE_INTEGER cb, read, written;
  cb.QuadPart = 5;
  EXPECT_EQ(S_OK, s->CopyTo(memory.get(), cb, &read, &written));
  EXPECT_EQ(5u, read.QuadPart);
  EXPECT_EQ(5u, written.QuadPart);
  cb.QuadPart = ~0ull;
  EXPECT_EQ(S_OK, s->CopyTo(memory.get(), cb, &read, &written));
  EXPECT_EQ(2u, read.QuadPart);
  EXPECT_EQ("3456789", orvtest::AllBytes(memory.get()));
  EXPECT_EQ(STG_E_INVALIDPOINTER, s->CopyTo(nullptr, cb, &read, &written));
  clone.reset();

  // An exclusive file cannot be opened a second time, so neither can it be cloned.
  ASSERT_EQ(1, Open(L"exclusive.txt", 18, true));
  EXPECT_EQ(E_FAIL, Stream()->Clone(clone.put()));
  EXPECT_FALSE(clone);
}

}  // namespace
