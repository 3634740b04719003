// SFDirStorage: element names joined to the folder path, files opened by the file open
// rules, sub-folders by the directory rules, and copies and moves into folder storages
// (as files and folders) or into any other storage (as streams and storages).
#include "components/storage/SFDirStorage.h"

#include <cwchar>

#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/storage/EnumDirSTG.h"
#include "components/storage/FileStream.h"
#include "components/storage/Folders.h"
#include "components/storage/SFFileStream.h"

namespace orv {

namespace {

// Streams and storages made in a target that is not a folder storage.
constexpr DWORD kCopyMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_WRITE;

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

std::wstring Join(const std::wstring& folder, const wchar_t* name) {
  return folder + (!folder.empty() && IsSeparator(folder.back()) ? L"" : L"\\") + name;
}

// folder\name for an element name of `folder` (a full path). Empty names, separators,
// "." and ".." are refused, and so is every name the system would not keep as one
// element of the folder (it drops trailing dots and spaces: "..." is the folder itself).
HRESULT ElementPath(const std::wstring& folder, const wchar_t* name, std::wstring& path) noexcept {
  if (!name || !*name || std::wcspbrk(name, L"\\/") || std::wcscmp(name, L".") == 0 || std::wcscmp(name, L"..") == 0)
    return STG_E_INVALIDPARAMETER;
  try {
    const std::wstring prefix = Join(folder, L"");
    path = FullPath(prefix + name);
    if (path.size() <= prefix.size() || _wcsnicmp(path.c_str(), prefix.c_str(), prefix.size()) != 0 ||
        path.find_first_of(L"\\/", prefix.size()) != std::wstring::npos)
      return STG_E_INVALIDPARAMETER;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// True when `path` is `folder` or lies inside it (both full paths).
bool Within(const std::wstring& path, const std::wstring& folder) noexcept {
  if (path.size() < folder.size() || _wcsnicmp(path.c_str(), folder.c_str(), folder.size()) != 0) return false;
  return path.size() == folder.size() || IsSeparator(path[folder.size()]);
}

// The folder of a target that is a folder storage ("" for any other storage).
HRESULT TargetFolder(IStorage* target, std::wstring& folder) noexcept {
  folder.clear();
  ComPtr<ISFDirStorage> dir;
  if (FAILED(target->QueryInterface(IID_ISFDirStorage, dir.put_void()))) return S_OK;
  Bstr path;
  RETURN_IF_FAILED(dir->get_Path(path.put()));
  if (path.length() == 0) return STG_E_REVERTED;
  try {
    folder = path.c_str();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CopyElement(const std::wstring& source, bool isFolder, IStorage* target, const std::wstring& targetFolder,
                    const wchar_t* name) noexcept;

// Copies the entries of folder `source` into `target` (or the folder `targetFolder`);
// the first failure stops.
HRESULT CopyEntries(const std::wstring& source, IStorage* target, const std::wstring& targetFolder) noexcept {
  try {
    HRESULT hr = S_OK;
    const bool listed = ForEachEntry(source, [&](const WIN32_FIND_DATAW& entry) {
      hr = CopyElement(Join(source, entry.cFileName), (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       target, targetFolder, entry.cFileName);
      return SUCCEEDED(hr);
    });
    return listed ? hr : STG_E_FILENOTFOUND;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// Copies the file or folder `source` under `name`: into the folder `targetFolder` as a
// file or folder when the target is a folder storage, else into `target` as a stream or
// storage.
HRESULT CopyElement(const std::wstring& source, bool isFolder, IStorage* target, const std::wstring& targetFolder,
                    const wchar_t* name) noexcept {
  if (!targetFolder.empty()) {
    std::wstring dest;
    RETURN_IF_FAILED(ElementPath(targetFolder, name, dest));
    // A folder copied into itself would grow while it is read; a file onto itself
    // would be emptied.
    if (Within(dest, source)) return STG_E_ACCESSDENIED;
    if (!isFolder) return ::CopyFileW(source.c_str(), dest.c_str(), FALSE) ? S_OK : MapFileOpenError(GetLastError());
    if (!IsFolder(dest) && !::CreateDirectoryW(dest.c_str(), nullptr)) return MapFileOpenError(GetLastError());
    return CopyEntries(source, nullptr, dest);
  }
  if (!isFolder) {
    ComPtr<IStream> from, to;
    RETURN_IF_FAILED(SFFileStream::OpenStream(source.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, false, from.put()));
    RETURN_IF_FAILED(target->CreateStream(name, kCopyMode, 0, 0, to.put()));
    ULARGE_INTEGER all;
    all.QuadPart = ~0ULL;
    return from->CopyTo(to.get(), all, nullptr, nullptr);
  }
  ComPtr<IStorage> sub;
  RETURN_IF_FAILED(target->CreateStorage(name, kCopyMode, 0, 0, sub.put()));
  return CopyEntries(source, sub.get(), std::wstring());
}

// Deletes a moved element.
HRESULT DeleteSource(const std::wstring& source, bool isFolder) noexcept {
  if (isFolder) {
    const HRESULT hr = DeleteFolderTree(source, false);
    return hr == S_FALSE ? STG_E_ACCESSDENIED : hr;
  }
  return ::DeleteFileW(source.c_str()) ? S_OK : MapFileOpenError(GetLastError());
}

}  // namespace

HRESULT OpenDirectoryStorage(const wchar_t* path, DWORD mode, bool create, IStorage** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  SFDirStorage* storage = nullptr;
  RETURN_IF_FAILED(SFDirStorage::CreateObject(&storage));
  const HRESULT hr = storage->Open(path, mode, create);
  if (FAILED(hr)) {
    storage->Release();
    return hr;
  }
  *out = storage;
  return S_OK;
}

SFDirStorage::~SFDirStorage() { CloseFolder(); }

HRESULT SFDirStorage::Open(const wchar_t* path, DWORD mode, bool create) noexcept {
  if (!path || !*path) return STG_E_INVALIDPARAMETER;
  if (mode & (STGM_TRANSACTED | STGM_CONVERT)) return STG_E_INVALIDFLAG;
  if (!create && (mode & (STGM_CREATE | STGM_DELETEONRELEASE))) return STG_E_INVALIDFLAG;
  std::wstring folder;
  try {
    // Kept as a full path: the folder stays the same when the current directory changes.
    folder = ResolveFolderPath(path);
    if (!folder.empty()) folder = FullPath(folder);
    while (folder.size() > 1 && IsSeparator(folder.back()) && !IsRoot(folder)) folder.pop_back();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  if (create) {
    if (folder.empty()) return E_FAIL;
    if (!IsFolder(folder)) ::CreateDirectoryW(folder.c_str(), nullptr);
    if (!IsFolder(folder)) return E_FAIL;
    if (!(mode & STGM_CREATE)) mode &= ~static_cast<DWORD>(STGM_DELETEONRELEASE);
  } else if (folder.empty() || !IsFolder(folder)) {
    return STG_E_FILENOTFOUND;
  }
  LockGuard guard(lock_);
  // Opening the same folder again keeps it, whatever the previous mode asked for.
  if (_wcsicmp(folder.c_str(), folder_.c_str()) == 0) mode_ &= ~static_cast<DWORD>(STGM_DELETEONRELEASE);
  CloseFolder();
  folder_.swap(folder);
  mode_ = mode;
  return S_OK;
}

void SFDirStorage::CloseFolder() noexcept {
  LockGuard guard(lock_);
  if (!folder_.empty() && (mode_ & STGM_DELETEONRELEASE)) DeleteFolderTree(folder_, false);
  folder_.clear();
  mode_ = 0;
}

// ---- ISFDirStorage ----

HRESULT SFDirStorage::OpenWithFlag(BSTR path, LONG flags, bool create, LONG* success) noexcept {
  if (!success) return E_POINTER;
  return SetSuccessFlag(success, SUCCEEDED(Open(path, static_cast<DWORD>(flags), create)));
}

STDMETHODIMP SFDirStorage::CreateDirectory(BSTR bstrPath, LONG lFlags, LONG* pbSuccess) noexcept {
  return OpenWithFlag(bstrPath, lFlags, true, pbSuccess);
}

STDMETHODIMP SFDirStorage::OpenDirectory(BSTR bstrPath, LONG lFlags, LONG* pbSuccess) noexcept {
  return OpenWithFlag(bstrPath, lFlags, false, pbSuccess);
}

STDMETHODIMP SFDirStorage::Close() noexcept {
  CloseFolder();
  return S_OK;
}

STDMETHODIMP SFDirStorage::get_Path(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  LockGuard guard(lock_);
  return ReturnText(folder_, pVal);
}

// ---- IStorage ----

template <class T>
HRESULT SFDirStorage::OpenElement(const OLECHAR* name, DWORD mode, bool create, ElementOpener<T> open,
                                  T** out) noexcept {
  if (!out) return STG_E_INVALIDPOINTER;
  *out = nullptr;
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  std::wstring path;
  RETURN_IF_FAILED(ElementPath(folder_, name, path));
  return open(path.c_str(), mode, create, out);
}

STDMETHODIMP SFDirStorage::CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD, DWORD,
                                        IStream** ppstm) noexcept {
  return OpenElement(pwcsName, grfMode, true, &SFFileStream::OpenStream, ppstm);
}

STDMETHODIMP SFDirStorage::OpenStream(const OLECHAR* pwcsName, void*, DWORD grfMode, DWORD,
                                      IStream** ppstm) noexcept {
  return OpenElement(pwcsName, grfMode, false, &SFFileStream::OpenStream, ppstm);
}

STDMETHODIMP SFDirStorage::CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD, DWORD,
                                         IStorage** ppstg) noexcept {
  return OpenElement(pwcsName, grfMode, true, &OpenDirectoryStorage, ppstg);
}

STDMETHODIMP SFDirStorage::OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                       SNB snbExclude, DWORD, IStorage** ppstg) noexcept {
  if (!ppstg) return STG_E_INVALIDPOINTER;
  *ppstg = nullptr;
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  if (pstgPriority || snbExclude) return STG_E_INVALIDFUNCTION;
  return OpenElement(pwcsName, grfMode, false, &OpenDirectoryStorage, ppstg);
}

STDMETHODIMP SFDirStorage::CopyTo(DWORD ciidExclude, const IID*, SNB snbExclude, IStorage* pstgDest) noexcept {
  if (!pstgDest) return STG_E_INVALIDPOINTER;
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  if (ciidExclude || snbExclude) return STG_E_INVALIDPARAMETER;
  std::wstring source;
  try {
    source = folder_;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  // The target is called without this object's lock, so that two storages copying into
  // each other on two threads cannot wait for each other.
  guard.unlock();
  std::wstring targetFolder;
  RETURN_IF_FAILED(TargetFolder(pstgDest, targetFolder));
  return CopyEntries(source, pstgDest, targetFolder);
}

STDMETHODIMP SFDirStorage::MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest, const OLECHAR* pwcsNewName,
                                         DWORD grfFlags) noexcept {
  if (!pstgDest || !pwcsNewName) return STG_E_INVALIDPOINTER;
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  std::wstring source;
  RETURN_IF_FAILED(ElementPath(folder_, pwcsName, source));
  const DWORD attributes = GetFileAttributesW(source.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return STG_E_FILENOTFOUND;
  const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  guard.unlock();  // as in CopyTo
  std::wstring targetFolder;
  RETURN_IF_FAILED(TargetFolder(pstgDest, targetFolder));
  RETURN_IF_FAILED(CopyElement(source, isFolder, pstgDest, targetFolder, pwcsNewName));
  return (grfFlags & STGMOVE_COPY) ? S_OK : DeleteSource(source, isFolder);
}

STDMETHODIMP SFDirStorage::Commit(DWORD) noexcept {
  LockGuard guard(lock_);
  return folder_.empty() ? STG_E_REVERTED : S_OK;
}

STDMETHODIMP SFDirStorage::Revert() noexcept {
  LockGuard guard(lock_);
  return folder_.empty() ? STG_E_REVERTED : S_OK;
}

STDMETHODIMP SFDirStorage::EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum) noexcept {
  if (!ppenum) return STG_E_INVALIDPOINTER;
  *ppenum = nullptr;
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  return EnumDirSTG::CreateOver(folder_, ppenum);
}

STDMETHODIMP SFDirStorage::DestroyElement(const OLECHAR* pwcsName) noexcept {
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  std::wstring path;
  RETURN_IF_FAILED(ElementPath(folder_, pwcsName, path));
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return STG_E_FILENOTFOUND;
  return DeleteSource(path, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

STDMETHODIMP SFDirStorage::RenameElement(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) noexcept {
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  std::wstring from, to;
  RETURN_IF_FAILED(ElementPath(folder_, pwcsOldName, from));
  RETURN_IF_FAILED(ElementPath(folder_, pwcsNewName, to));
  return MoveFileW(from.c_str(), to.c_str()) ? S_OK : MapFileOpenError(GetLastError());
}

STDMETHODIMP SFDirStorage::SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime, const FILETIME* patime,
                                           const FILETIME* pmtime) noexcept {
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  // No name: the times of the folder itself.
  std::wstring path;
  if (pwcsName) {
    RETURN_IF_FAILED(ElementPath(folder_, pwcsName, path));
  } else {
    try {
      path = folder_;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  if (path.size() < 3) return STG_E_INVALIDNAME;
  UniqueHandle element(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!element) return MapFileOpenError(GetLastError());
  return SetFileTime(element.get(), pctime, patime, pmtime) ? S_OK : MapFileOpenError(GetLastError());
}

STDMETHODIMP SFDirStorage::SetClass(REFCLSID) noexcept {
  LockGuard guard(lock_);
  return folder_.empty() ? STG_E_REVERTED : STG_E_INVALIDFUNCTION;
}

STDMETHODIMP SFDirStorage::SetStateBits(DWORD, DWORD) noexcept {
  LockGuard guard(lock_);
  return folder_.empty() ? STG_E_REVERTED : S_OK;
}

STDMETHODIMP SFDirStorage::Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept {
  if (!pstatstg) return STG_E_INVALIDPOINTER;
  ZeroMemory(pstatstg, sizeof *pstatstg);
  LockGuard guard(lock_);
  if (folder_.empty()) return STG_E_REVERTED;
  if (grfStatFlag != STATFLAG_DEFAULT && grfStatFlag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(folder_.c_str(), GetFileExInfoStandard, &data)) return MapFileOpenError(GetLastError());
  pstatstg->type = STGTY_STORAGE;
  pstatstg->mtime = data.ftLastWriteTime;
  pstatstg->ctime = data.ftCreationTime;
  pstatstg->atime = data.ftLastAccessTime;
  pstatstg->grfMode = mode_;
  if (grfStatFlag == STATFLAG_DEFAULT) {
    // The folder's own name; a root is named by its path.
    const size_t cut = folder_.find_last_of(L"\\/");
    const wchar_t* name = cut == std::wstring::npos || cut + 1 == folder_.size() ? folder_.c_str() : folder_.c_str() + cut + 1;
    const size_t bytes = (std::wcslen(name) + 1) * sizeof(wchar_t);
    pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!pstatstg->pwcsName) return STG_E_INSUFFICIENTMEMORY;
    CopyMemory(pstatstg->pwcsName, name, bytes);
  }
  return S_OK;
}

}  // namespace orv
