// File streams: one file handle shared by a stream and its clones; every read and write
// first places the handle's file pointer at the stream's own position (under the file's
// lock), so that each clone keeps its own position. Readable files are read ahead in
// blocks shared by the clones.
#include "components/storage/FileStream.h"

#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "components/module/ComObject.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"

namespace orv {

std::wstring ResolvePath(const wchar_t* path) {
  const std::wstring text = path ? path : L"";
  if (text.find_first_of(L"\\/:") != std::wstring::npos) return text.size() >= MAX_PATH ? std::wstring() : text;
  wchar_t module[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring folder(module, n < MAX_PATH ? n : 0);
  const size_t cut = folder.find_last_of(L"\\/");
  folder = cut == std::wstring::npos ? std::wstring() : folder.substr(0, cut + 1);
  // A name that would make the path too long is not appended.
  if (folder.size() + text.size() >= MAX_PATH) return folder;
  return folder + text;
}

HRESULT MapFileOpenError(DWORD error) noexcept {
  switch (error) {
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER:
      return STG_E_INVALIDFUNCTION;
    case ERROR_FILE_NOT_FOUND:
      return STG_E_FILENOTFOUND;
    case ERROR_TOO_MANY_OPEN_FILES:
      return STG_E_TOOMANYOPENFILES;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return STG_E_ACCESSDENIED;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return STG_E_INSUFFICIENTMEMORY;
    case ERROR_ALREADY_EXISTS:
      return STG_E_FILEALREADYEXISTS;
    default:
      return E_FAIL;
  }
}

namespace {

// The open file, shared by a stream and its clones.
struct SharedFile {
  std::atomic<LONG> refs{1};
  UniqueHandle handle;
  std::wstring name;
  DWORD mode = 0;
  CriticalSection lock;  // for size changes and the read cache
  // Read-ahead block shared by the stream and its clones; every write and size change
  // through this file drops it.
  bool cacheable = false;
  std::vector<BYTE> cache;
  ULONGLONG cacheStart = 0;
  size_t cacheLength = 0;
  // Whether another handle may write the file. If none may, `size` is the file's size
  // (only this file changes it). If one may, `size` is the size last seen: every size
  // query asks the system, and a size that changed drops the block, as does an explicit
  // seek (DropReadAhead); what another handle writes is seen from then on, and at the
  // next refill, as with the platform's own buffered readers.
  bool othersWrite = false;
  ULONGLONG size = 0;

  // Records the size the system reported; a change drops what was read ahead.
  void NoteSize(ULONGLONG seen) noexcept {
    if (!othersWrite) return;
    if (seen != size) cacheLength = 0;
    size = seen;
  }

  void AddRef() noexcept { ++refs; }
  void Release() noexcept {
    if (--refs == 0) delete this;
  }
};

HRESULT LastErrorResult(HRESULT fallback) noexcept {
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED) return STG_E_ACCESSDENIED;
  if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return STG_E_MEDIUMFULL;
  return error ? HRESULT_FROM_WIN32(error) : fallback;
}

// {6C3DFE82-842C-4114-9FFE-933F95F6D03A}: the library's own question to a stream whether
// it is one of these; answered with the stream itself, whose read-ahead is then dropped.
constexpr IID kIID_FileReadAhead = {0x6c3dfe82, 0x842c, 0x4114, {0x9f, 0xfe, 0x93, 0x3f, 0x95, 0xf6, 0xd0, 0x3a}};

class FileStream final : public ComObject<FileStream, IStream> {
 public:
  ~FileStream() override {
    if (file_) file_->Release();
  }
  void Attach(SharedFile* file, ULONGLONG pos) noexcept {
    file->AddRef();
    file_ = file;
    pos_ = pos;
  }

  void DropReadAhead() noexcept {
    LockGuard fileGuard(file_->lock);
    file_->cacheLength = 0;
  }
  bool ReadAheadHoldsPosition() noexcept {
    LockGuard guard(lock_);
    LockGuard fileGuard(file_->lock);
    return file_->cacheable && pos_ >= file_->cacheStart && pos_ < file_->cacheStart + file_->cacheLength;
  }

  // IUnknown: the stream also answers for its sequential base.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
    if (ppv && (IsEqualIID(riid, IID_ISequentialStream) || IsEqualIID(riid, kIID_FileReadAhead))) {
      *ppv = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    return ComObject::QueryInterface(riid, ppv);
  }

  // ISequentialStream
  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept override {
    if (pcbRead) *pcbRead = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    LockGuard guard(lock_);
    LockGuard fileGuard(file_->lock);
    auto* out = static_cast<BYTE*>(pv);
    ULONG total = 0;
    HRESULT hr = S_OK;
    while (total < cb) {
      const ULONGLONG pos = pos_ + total;
      const ULONG want = cb - total;
      if (file_->cacheable && pos >= file_->cacheStart && pos < file_->cacheStart + file_->cacheLength) {
        const size_t available = static_cast<size_t>(file_->cacheStart + file_->cacheLength - pos);
        const ULONG n = want < available ? want : static_cast<ULONG>(available);
        std::memcpy(out + total, file_->cache.data() + (pos - file_->cacheStart), n);
        total += n;
        continue;
      }
      ULONG got = 0;
      if (file_->cacheable && want < kCacheSize) {
        if (!ReadAt(pos, file_->cache.data(), kCacheSize, &got)) {
          file_->cacheLength = 0;
          hr = LastErrorResult(STG_E_READFAULT);
          break;
        }
        file_->cacheStart = pos;
        file_->cacheLength = got;
        if (got == 0) break;
        continue;
      }
      if (!ReadAt(pos, out + total, want, &got)) {
        hr = LastErrorResult(STG_E_READFAULT);
        break;
      }
      if (got == 0) break;
      total += got;
    }
    pos_ += total;
    if (pcbRead) *pcbRead = total;
    return total ? S_OK : hr;
  }
  STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept override {
    if (pcbWritten) *pcbWritten = 0;
    if (!pv && cb) return STG_E_INVALIDPOINTER;
    LockGuard guard(lock_);
    if (cb == 0) return S_OK;
    LockGuard fileGuard(file_->lock);
    file_->cacheLength = 0;
    DWORD put = 0;
    const BOOL wrote = PlaceFilePointer(pos_) && WriteFile(file_->handle.get(), pv, cb, &put, nullptr);
    if (put && pos_ + put > file_->size) file_->size = pos_ + put;
    if (!wrote) return LastErrorResult(STG_E_WRITEFAULT);
    pos_ += put;
    if (pcbWritten) *pcbWritten = put;
    return put == cb ? S_OK : STG_E_MEDIUMFULL;
  }

  // IStream
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) noexcept override {
    LockGuard guard(lock_);
    LONGLONG base = 0;
    switch (origin) {
      case STREAM_SEEK_SET:
        break;
      case STREAM_SEEK_CUR:
        base = static_cast<LONGLONG>(pos_);
        break;
      case STREAM_SEEK_END: {
        LockGuard fileGuard(file_->lock);
        LARGE_INTEGER size;
        if (file_->cacheable && !file_->othersWrite) {
          size.QuadPart = static_cast<LONGLONG>(file_->size);
        } else if (GetFileSizeEx(file_->handle.get(), &size)) {
          file_->NoteSize(static_cast<ULONGLONG>(size.QuadPart));
        } else {
          return LastErrorResult(STG_E_SEEKERROR);
        }
        base = size.QuadPart;
        break;
      }
      default:
        return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    pos_ = static_cast<ULONGLONG>(target);
    if (newPos) newPos->QuadPart = pos_;
    return S_OK;
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER size) noexcept override {
    LockGuard guard(lock_);
    LockGuard fileGuard(file_->lock);
    file_->cacheLength = 0;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size.QuadPart);
    if (at.QuadPart < 0) return STG_E_INVALIDFUNCTION;
    if (!SetFilePointerEx(file_->handle.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_->handle.get()))
      return LastErrorResult(STG_E_MEDIUMFULL);
    file_->size = size.QuadPart;
    return S_OK;
  }
  STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER cb, ULARGE_INTEGER* pRead,
                      ULARGE_INTEGER* pWritten) noexcept override {
    if (pRead) pRead->QuadPart = 0;
    if (pWritten) pWritten->QuadPart = 0;
    if (!target) return STG_E_INVALIDPOINTER;
    LockGuard guard(lock_);
    BYTE block[65536];
    ULONGLONG left = cb.QuadPart, read = 0, written = 0;
    HRESULT hr = S_OK;
    while (left) {
      const ULONG want = left < sizeof block ? static_cast<ULONG>(left) : static_cast<ULONG>(sizeof block);
      ULONG got = 0;
      hr = Read(block, want, &got);
      if (FAILED(hr) || got == 0) break;
      read += got;
      ULONG put = 0;
      hr = target->Write(block, got, &put);
      written += put;
      if (FAILED(hr)) break;
      if (put != got) {
        hr = STG_E_MEDIUMFULL;
        break;
      }
      left -= got;
    }
    if (pRead) pRead->QuadPart = read;
    if (pWritten) pWritten->QuadPart = written;
    return hr;
  }
  STDMETHODIMP Commit(DWORD) noexcept override { return S_OK; }
  STDMETHODIMP Revert() noexcept override { return S_OK; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
    return STG_E_INVALIDFUNCTION;
  }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
    return STG_E_INVALIDFUNCTION;
  }
  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) noexcept override {
    if (!stat) return STG_E_INVALIDPOINTER;
    ZeroMemory(stat, sizeof *stat);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_->handle.get(), &size) ||
        !GetFileTime(file_->handle.get(), &stat->ctime, &stat->atime, &stat->mtime))
      return LastErrorResult(E_FAIL);
    {
      LockGuard fileGuard(file_->lock);
      file_->NoteSize(static_cast<ULONGLONG>(size.QuadPart));
    }
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
    stat->grfMode = file_->mode;
    if (!(flags & STATFLAG_NONAME)) {
      const size_t bytes = (file_->name.size() + 1) * sizeof(wchar_t);
      stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
      if (!stat->pwcsName) return STG_E_INSUFFICIENTMEMORY;
      CopyMemory(stat->pwcsName, file_->name.c_str(), bytes);
    }
    return S_OK;
  }
  STDMETHODIMP Clone(IStream** out) noexcept override {
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    LockGuard guard(lock_);
    FileStream* copy = nullptr;
    RETURN_IF_FAILED(FileStream::CreateObject(&copy));
    copy->Attach(file_, pos_);
    *out = copy;
    return S_OK;
  }

 private:
  static constexpr ULONG kCacheSize = 65536;

  // Reads and writes move the shared handle's file pointer and then use it, with the
  // file's lock held across both. (A read or write at an offset given in an OVERLAPPED
  // record would need no lock, but Wine serves it on a synchronous handle through its
  // server, at about ten times the cost of the two calls; a script reading a shared file
  // line by line pays that on every line.)
  bool PlaceFilePointer(ULONGLONG pos) noexcept {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(pos);
    return SetFilePointerEx(file_->handle.get(), at, nullptr, FILE_BEGIN) != 0;
  }

  // Read at `pos` with the file's lock held; the end of the file is a read of 0 bytes.
  bool ReadAt(ULONGLONG pos, void* buffer, ULONG cb, ULONG* got) noexcept {
    DWORD n = 0;
    *got = 0;
    if (!PlaceFilePointer(pos)) return false;
    if (!ReadFile(file_->handle.get(), buffer, cb, &n, nullptr)) return GetLastError() == ERROR_HANDLE_EOF;
    *got = n;
    return true;
  }

  CriticalSection lock_;
  SharedFile* file_ = nullptr;
  ULONGLONG pos_ = 0;
};

}  // namespace

namespace {

// The stream as one of this library's file streams, with a reference; null for others.
FileStream* AsFileStream(IStream* stream) noexcept {
  IStream* own = nullptr;
  if (!stream || FAILED(stream->QueryInterface(kIID_FileReadAhead, reinterpret_cast<void**>(&own)))) return nullptr;
  return static_cast<FileStream*>(own);
}

}  // namespace

void DropReadAhead(IStream* stream) noexcept {
  if (FileStream* file = AsFileStream(stream)) {
    file->DropReadAhead();
    file->Release();
  }
}

bool ReadAheadHoldsPosition(IStream* stream) noexcept {
  FileStream* file = AsFileStream(stream);
  if (!file) return false;
  const bool held = file->ReadAheadHoldsPosition();
  file->Release();
  return held;
}

HRESULT OpenFileHandle(const wchar_t* path, DWORD mode, bool create, UniqueHandle& handle,
                       std::wstring& name) noexcept {
  DWORD access;
  switch (mode & 3) {
    case STGM_READ: access = GENERIC_READ; break;
    case STGM_WRITE: access = GENERIC_WRITE; break;
    case STGM_READWRITE: access = GENERIC_READ | GENERIC_WRITE; break;
    default: return STG_E_INVALIDFLAG;
  }
  DWORD share;
  switch (mode & 0x70) {
    case STGM_SHARE_EXCLUSIVE: share = 0; break;
    case STGM_SHARE_DENY_WRITE: share = FILE_SHARE_READ; break;
    case STGM_SHARE_DENY_READ: share = FILE_SHARE_WRITE; break;
    case STGM_SHARE_DENY_NONE: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    default: return STG_E_INVALIDFLAG;
  }
  if (mode & (STGM_PRIORITY | STGM_TRANSACTED | STGM_NOSCRATCH | STGM_NOSNAPSHOT)) return STG_E_INVALIDFUNCTION;
  if (!path || !*path) return STG_E_INVALIDPARAMETER;
  try {
    name = (mode & kModeResolvePath) ? ResolvePath(path) : std::wstring(path);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const DWORD disposition = (create || (mode & STGM_CREATE)) ? CREATE_ALWAYS : OPEN_EXISTING;
  DWORD attributes = FILE_ATTRIBUTE_NORMAL;
  if (mode & STGM_DELETEONRELEASE) attributes |= FILE_FLAG_DELETE_ON_CLOSE;
  handle.reset(CreateFileW(name.c_str(), access, share, nullptr, disposition, attributes, nullptr));
  return handle ? S_OK : MapFileOpenError(GetLastError());
}

HRESULT OpenFileStream(const wchar_t* path, DWORD mode, bool create, IStream** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  UniqueHandle handle;
  std::wstring name;
  RETURN_IF_FAILED(OpenFileHandle(path, mode, create, handle, name));
  const DWORD access = (mode & 3) == STGM_WRITE ? GENERIC_WRITE : GENERIC_READ;

  auto* file = new (std::nothrow) SharedFile();
  if (!file) return E_OUTOFMEMORY;
  file->handle = std::move(handle);
  file->mode = mode;
  const DWORD sharing = mode & 0x70;
  file->othersWrite = sharing == STGM_SHARE_DENY_READ || sharing == STGM_SHARE_DENY_NONE;
  LARGE_INTEGER size;
  if ((access & GENERIC_READ) && GetFileSizeEx(file->handle.get(), &size)) {
    file->size = static_cast<ULONGLONG>(size.QuadPart);
    try {
      file->cache.resize(65536);
      file->cacheable = true;
    } catch (...) {
    }
  }
  try {
    file->name = std::move(name);
  } catch (...) {
    file->Release();
    return E_OUTOFMEMORY;
  }
  FileStream* stream = nullptr;
  const HRESULT hr = FileStream::CreateObject(&stream);
  if (SUCCEEDED(hr)) {
    stream->Attach(file, 0);
    *out = stream;
  }
  file->Release();
  return hr;
}

}  // namespace orv
