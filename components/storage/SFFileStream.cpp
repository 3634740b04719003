// SFFileStream: the file open rules over a handle of its own. Reads and writes go to the
// system in one call each and move the handle's position; Clone opens the file again,
// so a clone has its own handle and starts at 0.
#include "components/storage/SFFileStream.h"

#include <vector>

#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/storage/FileStream.h"
#include "components/storage/Folders.h"

namespace orv {

namespace {

constexpr ULONG kCopyBlock = 65536;

HRESULT SizeChangeError(DWORD error) noexcept {
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return STG_E_MEDIUMFULL;
  if (error == ERROR_ACCESS_DENIED) return STG_E_ACCESSDENIED;
  return E_FAIL;
}

}  // namespace

HRESULT SFFileStream::OpenHandle(const wchar_t* path, DWORD mode, bool create) noexcept {
  UniqueHandle handle;
  std::wstring name;
  RETURN_IF_FAILED(OpenFileHandle(path, mode, create, handle, name));
  try {
    // Remembered as an absolute path, so that Clone and Stat find the same file after a
    // change of the current directory.
    std::wstring full = FullPath(name);
    path_ = full.empty() ? std::move(name) : std::move(full);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  file_ = std::move(handle);
  mode_ = mode;
  return S_OK;
}

HRESULT SFFileStream::Open(const wchar_t* path, DWORD mode, bool create) noexcept {
  LockGuard guard(lock_);
  file_.reset();
  return OpenHandle(path, mode, create);
}

HRESULT SFFileStream::OpenStream(const wchar_t* path, DWORD mode, bool create, IStream** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  SFFileStream* stream = nullptr;
  RETURN_IF_FAILED(CreateObject(&stream));
  const HRESULT hr = stream->Open(path, mode, create);
  if (FAILED(hr)) {
    stream->Release();
    return hr;
  }
  *out = stream;
  return S_OK;
}

STDMETHODIMP SFFileStream::QueryInterface(REFIID riid, void** ppv) noexcept {
  // Aggregated, the outer object answers for every interface.
  if (ppv && IsEqualIID(riid, IID_ISequentialStream) && ControllingUnknown() == Identity()) {
    *ppv = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  return ComObject::QueryInterface(riid, ppv);
}

// ---- ISFFileStream ----

HRESULT SFFileStream::OpenWithFlag(BSTR name, LONG flags, bool create, LONG* success) noexcept {
  if (!success) return E_POINTER;
  return SetSuccessFlag(success, SUCCEEDED(Open(name, static_cast<DWORD>(flags), create)));
}

STDMETHODIMP SFFileStream::OpenFile(BSTR bstrName, LONG lFlags, LONG* pbSuccess) noexcept {
  return OpenWithFlag(bstrName, lFlags, false, pbSuccess);
}

STDMETHODIMP SFFileStream::CreateFile(BSTR bstrName, LONG lFlags, LONG* pbSuccess) noexcept {
  return OpenWithFlag(bstrName, lFlags, true, pbSuccess);
}

STDMETHODIMP SFFileStream::Close() noexcept {
  LockGuard guard(lock_);
  file_.reset();
  return S_OK;
}

// ---- IStream ----

STDMETHODIMP SFFileStream::Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept {
  if (pcbRead) *pcbRead = 0;
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  DWORD got = 0;
  if (!ReadFile(file_.get(), pv, cb, &got, nullptr)) return E_FAIL;
  if (pcbRead) *pcbRead = got;
  return got == cb ? S_OK : S_FALSE;
}

STDMETHODIMP SFFileStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept {
  if (pcbWritten) *pcbWritten = 0;
  if (!pv && cb) return STG_E_INVALIDPOINTER;
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  DWORD put = 0;
  if (!WriteFile(file_.get(), pv, cb, &put, nullptr)) return E_FAIL;
  if (pcbWritten) *pcbWritten = put;
  return put == cb ? S_OK : S_FALSE;
}

STDMETHODIMP SFFileStream::Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) noexcept {
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  if (dwOrigin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
  // STREAM_SEEK_SET, _CUR and _END have the values of FILE_BEGIN, _CURRENT and _END.
  LARGE_INTEGER at;
  if (!SetFilePointerEx(file_.get(), dlibMove, &at, dwOrigin)) return STG_E_INVALIDFUNCTION;
  if (plibNewPosition) plibNewPosition->QuadPart = static_cast<ULONGLONG>(at.QuadPart);
  return S_OK;
}

STDMETHODIMP SFFileStream::SetSize(ULARGE_INTEGER libNewSize) noexcept {
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  if (libNewSize.HighPart != 0) return STG_E_INVALIDFUNCTION;
  LARGE_INTEGER zero = {}, pos, size;
  if (!SetFilePointerEx(file_.get(), zero, &pos, FILE_CURRENT)) return STG_E_INVALIDFUNCTION;
  size.QuadPart = static_cast<LONGLONG>(libNewSize.QuadPart);
  HRESULT hr = S_OK;
  if (!SetFilePointerEx(file_.get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get()))
    hr = SizeChangeError(GetLastError());
  SetFilePointerEx(file_.get(), pos, nullptr, FILE_BEGIN);
  return hr;
}

STDMETHODIMP SFFileStream::CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                                  ULARGE_INTEGER* pcbWritten) noexcept {
  if (pcbRead) pcbRead->QuadPart = 0;
  if (pcbWritten) pcbWritten->QuadPart = 0;
  if (!pstm) return STG_E_INVALIDPOINTER;
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  std::vector<BYTE> block;
  try {
    block.resize(cb.QuadPart < kCopyBlock ? static_cast<size_t>(cb.QuadPart) : kCopyBlock);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ULONGLONG left = cb.QuadPart, read = 0, written = 0;
  HRESULT hr = S_OK;
  while (left) {
    const DWORD want = left < kCopyBlock ? static_cast<DWORD>(left) : kCopyBlock;
    DWORD got = 0;
    if (!ReadFile(file_.get(), block.data(), want, &got, nullptr)) {
      hr = E_FAIL;
      break;
    }
    if (got == 0) break;
    read += got;
    ULONG put = 0;
    hr = pstm->Write(block.data(), got, &put);
    written += put;
    if (FAILED(hr)) break;
    if (put != got) {
      hr = STG_E_MEDIUMFULL;
      break;
    }
    hr = S_OK;
    left -= got;
  }
  if (pcbRead) pcbRead->QuadPart = read;
  if (pcbWritten) pcbWritten->QuadPart = written;
  return hr;
}

STDMETHODIMP SFFileStream::Commit(DWORD) noexcept {
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  return FlushFileBuffers(file_.get()) ? S_OK : STG_E_INVALIDFUNCTION;
}

STDMETHODIMP SFFileStream::Revert() noexcept {
  LockGuard guard(lock_);
  return file_ ? S_OK : STG_E_REVERTED;
}

STDMETHODIMP SFFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept {
  LockGuard guard(lock_);
  return file_ ? E_NOTIMPL : STG_E_REVERTED;
}

STDMETHODIMP SFFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept {
  LockGuard guard(lock_);
  return file_ ? E_NOTIMPL : STG_E_REVERTED;
}

STDMETHODIMP SFFileStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept {
  if (!pstatstg) return STG_E_INVALIDPOINTER;
  ZeroMemory(pstatstg, sizeof *pstatstg);
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  if (grfStatFlag != STATFLAG_DEFAULT && grfStatFlag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
  WIN32_FIND_DATAW entry;
  UniqueFindHandle find(FindFirstFileW(path_.c_str(), &entry));
  if (!find) return E_FAIL;
  // Size and times come from the open handle: on Windows a folder entry can lag behind
  // writes through a handle that is still open (Wine reads the file itself either way).
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(file_.get(), &info)) {
    entry.nFileSizeHigh = info.nFileSizeHigh;
    entry.nFileSizeLow = info.nFileSizeLow;
    entry.ftCreationTime = info.ftCreationTime;
    entry.ftLastAccessTime = info.ftLastAccessTime;
    entry.ftLastWriteTime = info.ftLastWriteTime;
  }
  pstatstg->type = STGTY_STREAM;
  pstatstg->cbSize.HighPart = entry.nFileSizeHigh;
  pstatstg->cbSize.LowPart = entry.nFileSizeLow;
  pstatstg->mtime = entry.ftLastWriteTime;
  pstatstg->ctime = entry.ftCreationTime;
  pstatstg->atime = entry.ftLastAccessTime;
  pstatstg->grfMode = mode_;
  if (grfStatFlag == STATFLAG_DEFAULT) {
    const size_t bytes = (wcslen(entry.cFileName) + 1) * sizeof(wchar_t);
    pstatstg->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!pstatstg->pwcsName) return STG_E_INSUFFICIENTMEMORY;
    CopyMemory(pstatstg->pwcsName, entry.cFileName, bytes);
  }
  return S_OK;
}

STDMETHODIMP SFFileStream::Clone(IStream** ppstm) noexcept {
  if (!ppstm) return STG_E_INVALIDPOINTER;
  *ppstm = nullptr;
  LockGuard guard(lock_);
  if (!file_) return STG_E_REVERTED;
  SFFileStream* copy = nullptr;
  RETURN_IF_FAILED(CreateObject(&copy));
  // Opened again without the create bit: a clone never empties the file. An exclusive
  // file cannot be opened twice: its clone fails with E_FAIL, as the open rules map a
  // sharing violation.
  HRESULT hr = copy->OpenHandle(path_.c_str(), mode_ & ~static_cast<DWORD>(STGM_CREATE), false);
  if (FAILED(hr)) {
    copy->Release();
    return hr;
  }
  copy->mode_ = mode_;
  *ppstm = copy;
  return S_OK;
}

}  // namespace orv
