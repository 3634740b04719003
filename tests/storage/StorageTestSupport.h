// Helpers of the folder storage and file stream suites: a scratch folder in the build
// tree made empty before each test, and small file and stream readers.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "tests/support/TestSupport.h"

namespace orvtest {

// Removes `path` with everything in it; refuses anything outside the build tree's
// scratch folders.
inline void RemoveTree(const std::wstring& path) {
  const std::wstring root = BinPath(L"dirstg-scratch");
  ASSERT_EQ(0, path.compare(0, root.size(), root)) << "refusing to delete outside the scratch folder";
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  DWORD n = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(h);
}

inline std::string ReadBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[4096];
  DWORD n = 0;
  ReadFile(h, buf, sizeof buf, &n, nullptr);
  CloseHandle(h);
  return std::string(buf, n);
}

inline ULONGLONG SeekTo(IStream* s, LONGLONG move, DWORD origin) {
  LARGE_INTEGER m;
  m.QuadPart = move;
  ULARGE_INTEGER at = {};
  EXPECT_EQ(S_OK, s->Seek(m, origin, &at));
  return at.QuadPart;
}

// Everything in a stream, read from its start.
inline std::string AllBytes(IStream* s) {
  SeekTo(s, 0, STREAM_SEEK_SET);
  std::string out;
  char buf[4096];
  ULONG n = 0;
  while (SUCCEEDED(s->Read(buf, sizeof buf, &n)) && n) out.append(buf, n);
  return out;
}

// A fresh, empty scratch folder per test: T:\bin\dirstg-scratch\<suite>.
class ScratchFolderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void SetUp() override {
    CreateDirectoryW(BinPath(L"dirstg-scratch").c_str(), nullptr);
    dir = BinPath(L"dirstg-scratch\\") + Utf16(::testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveTree(dir);
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  }
  std::wstring Path(const wchar_t* name) const { return dir + L"\\" + name; }
  static std::wstring Utf16(const char* s) { return std::wstring(s, s + strlen(s)); }

  std::wstring dir;
};

}  // namespace orvtest
