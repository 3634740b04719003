// SFFileStream (and its free-threaded twin SFFileStreamFree): an IStream over one file,
// opened by the file open rules, with one system call per read or write; the folder
// storage hands these out as its streams. Like the folder storage it answers with flags
// and storage codes, without error records.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class SFFileStream final
    : public ComObject<SFFileStream, Dual<ISFFileStream>, IStream> {
 public:
  // Closes any open file, then opens `path` by the open rules (create: with the create
  // disposition).
  HRESULT Open(const wchar_t* path, DWORD mode, bool create) noexcept;
  // A new stream over `path`, handed out as its IStream.
  static HRESULT OpenStream(const wchar_t* path, DWORD mode, bool create, IStream** out) noexcept;

  // IUnknown: the stream also answers for its sequential base.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;

  // ISFFileStream, in interface order
  STDMETHODIMP OpenFile(BSTR bstrName, LONG lFlags, LONG* pbSuccess) noexcept override;
  STDMETHODIMP CreateFile(BSTR bstrName, LONG lFlags, LONG* pbSuccess) noexcept override;
  STDMETHODIMP Close() noexcept override;

  // ISequentialStream, IStream
  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) noexcept override;
  STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) noexcept override;
  STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) noexcept override;
  STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) noexcept override;
  STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                      ULARGE_INTEGER* pcbWritten) noexcept override;
  STDMETHODIMP Commit(DWORD grfCommitFlags) noexcept override;
  STDMETHODIMP Revert() noexcept override;
  STDMETHODIMP LockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) noexcept override;
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) noexcept override;
  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept override;
  STDMETHODIMP Clone(IStream** ppstm) noexcept override;

 private:
  HRESULT OpenWithFlag(BSTR name, LONG flags, bool create, LONG* success) noexcept;
  HRESULT OpenHandle(const wchar_t* path, DWORD mode, bool create) noexcept;

  CriticalSection lock_;
  UniqueHandle file_;  // none: closed
  std::wstring path_;  // full path of the open file
  DWORD mode_ = 0;     // mode bits as given at opening
};

}  // namespace orv
