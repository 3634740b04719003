// EnumDirSTG: reads folder\*.* in the file system's order, one find handle per
// enumerator, and fills one stat record per entry.
#include "components/storage/EnumDirSTG.h"

#include "components/module/ResultMacros.h"

namespace orv {

HRESULT EnumDirSTG::CreateOver(const std::wstring& folder, IEnumSTATSTG** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  EnumDirSTG* e = nullptr;
  RETURN_IF_FAILED(CreateObject(&e));
  try {
    const wchar_t last = folder.empty() ? L'\0' : folder.back();
    e->pattern_ = folder + (last == L'\\' || last == L'/' ? L"*.*" : L"\\*.*");
  } catch (...) {
    e->Release();
    return E_OUTOFMEMORY;
  }
  *out = e;
  return S_OK;
}

bool EnumDirSTG::NextEntry(WIN32_FIND_DATAW& entry) noexcept {
  while (!ended_) {
    if (!find_) {
      find_.reset(FindFirstFileW(pattern_.c_str(), &entry));
      ended_ = !find_;
    } else {
      ended_ = !FindNextFileW(find_.get(), &entry);
    }
    if (ended_) break;
    const wchar_t* name = entry.cFileName;
    if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
    ++position_;
    return true;
  }
  return false;
}

STDMETHODIMP EnumDirSTG::Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) noexcept {
  if (pceltFetched) *pceltFetched = 0;
  if (!rgelt && celt) return STG_E_INVALIDPOINTER;
  LockGuard guard(lock_);
  ULONG got = 0;
  WIN32_FIND_DATAW entry;
  while (got < celt && NextEntry(entry)) {
    STATSTG& stat = rgelt[got];
    ZeroMemory(&stat, sizeof stat);
    stat.type = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? STGTY_STORAGE : STGTY_STREAM;
    stat.cbSize.HighPart = entry.nFileSizeHigh;
    stat.cbSize.LowPart = entry.nFileSizeLow;
    // Times stay as the file system gives them: UTC file times, like those of the
    // compound files' own enumerators.
    stat.mtime = entry.ftLastWriteTime;
    stat.ctime = entry.ftCreationTime;
    stat.atime = entry.ftLastAccessTime;
    stat.grfLocksSupported = LOCK_EXCLUSIVE;
    const size_t bytes = (wcslen(entry.cFileName) + 1) * sizeof(wchar_t);
    stat.pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!stat.pwcsName) {
      for (ULONG i = 0; i < got; ++i) {
        CoTaskMemFree(rgelt[i].pwcsName);
        rgelt[i].pwcsName = nullptr;
      }
      return STG_E_INSUFFICIENTMEMORY;
    }
    CopyMemory(stat.pwcsName, entry.cFileName, bytes);
    ++got;
  }
  if (pceltFetched) *pceltFetched = got;
  return got ? S_OK : S_FALSE;
}

STDMETHODIMP EnumDirSTG::Skip(ULONG celt) noexcept {
  LockGuard guard(lock_);
  WIN32_FIND_DATAW entry;
  ULONG skipped = 0;
  while (skipped < celt && NextEntry(entry)) ++skipped;
  return skipped == celt ? S_OK : S_FALSE;
}

STDMETHODIMP EnumDirSTG::Reset() noexcept {
  LockGuard guard(lock_);
  find_.reset();
  ended_ = false;
  position_ = 0;
  return S_OK;
}

STDMETHODIMP EnumDirSTG::Clone(IEnumSTATSTG** ppenum) noexcept {
  if (!ppenum) return STG_E_INVALIDPOINTER;
  *ppenum = nullptr;
  LockGuard guard(lock_);
  EnumDirSTG* copy = nullptr;
  RETURN_IF_FAILED(CreateObject(&copy));
  try {
    copy->pattern_ = pattern_;
  } catch (...) {
    copy->Release();
    return E_OUTOFMEMORY;
  }
  // The clone continues where this enumerator stands: it reads the folder again up to
  // the same entry.
  WIN32_FIND_DATAW entry;
  while (copy->position_ < position_ && copy->NextEntry(entry)) {
  }
  *ppenum = copy;
  return S_OK;
}

}  // namespace orv
