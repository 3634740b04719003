// Folder listing and recursive deletion, shared by SFMain.DeleteFolder and the folder
// storage's DestroyElement.
#include "components/storage/Folders.h"

#include "components/module/Raii.h"
#include "components/storage/FileStream.h"

namespace orv {

namespace {

// Deletes everything inside `folder` (which ends with a backslash); true if every step
// succeeded.
bool EmptyFolder(const std::wstring& folder, bool force) {
  bool ok = true;
  const bool listed = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& found) {
    const std::wstring path = folder + found.cFileName;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) ok = EmptyFolder(path + L"\\", false) && ok;
      if (force) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
      ok = RemoveDirectoryW(path.c_str()) && ok;
    } else {
      if (force) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
      ok = ::DeleteFileW(path.c_str()) && ok;
    }
    return true;
  });
  return listed && ok;
}

}  // namespace

bool IsFolder(const std::wstring& path) noexcept {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ResolveFolderPath(const wchar_t* text) {
  const std::wstring given = text ? text : L"";
  if (given.empty()) return std::wstring();
  std::wstring path = ResolvePath(given.c_str());
  const bool bare = given.find_first_of(L"\\/:") == std::wstring::npos;
  if (bare && (path.size() < given.size() || path.compare(path.size() - given.size(), given.size(), given) != 0))
    return std::wstring();
  return path;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, buffer, nullptr);
  return n == 0 || n >= MAX_PATH ? std::wstring() : std::wstring(buffer, n);
}

bool IsRoot(const std::wstring& folder) noexcept {
  if (folder == L"\\") return true;
  if (folder.size() == 3 && folder[1] == L':') return true;
  if (folder.rfind(L"\\\\", 0) == 0) {
    size_t seps = 0;
    for (size_t i = 2; i < folder.size(); ++i) seps += folder[i] == L'\\';
    return seps <= 2;
  }
  return false;
}

bool ForEachEntry(const std::wstring& folder, const std::function<bool(const WIN32_FIND_DATAW&)>& each) {
  const wchar_t last = folder.empty() ? L'\0' : folder.back();
  const std::wstring pattern = folder + (last == L'\\' || last == L'/' ? L"*" : L"\\*");
  WIN32_FIND_DATAW found;
  UniqueFindHandle find(FindFirstFileW(pattern.c_str(), &found));
  if (!find) return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_FILES;
  do {
    const wchar_t* name = found.cFileName;
    if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
    if (!each(found)) break;
  } while (FindNextFileW(find.get(), &found));
  return true;
}

HRESULT DeleteFolderTree(std::wstring folder, bool force) noexcept {
  try {
    if (folder.empty()) return STG_E_FILENOTFOUND;
    if (folder.back() != L'\\') folder += L'\\';
    if (!IsFolder(folder)) return STG_E_FILENOTFOUND;
    // A path such as X:\dir\.. names the root as well: judge the path the system will reach.
    std::wstring full = FullPath(folder);
    if (!full.empty() && full.back() != L'\\') full += L'\\';
    if (IsRoot(folder) || full.empty() || IsRoot(full)) return STG_E_ACCESSDENIED;
    bool ok = EmptyFolder(folder, force);
    if (force) SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
    ok = RemoveDirectoryW(folder.c_str()) && ok;
    return ok ? S_OK : S_FALSE;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orv
