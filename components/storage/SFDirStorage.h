// SFDirStorage (and its free-threaded twin SFDirStorageFree): an IStorage over a folder.
// Sub-folders are its storages and files its streams (SFFileStream), so that scripts copy
// folders into compound files and back with the storage calls. Failures are answered
// with flags and storage codes, never with error records: no ISupportErrorInfo.
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

// A folder storage opened (create false) or created by the directory rules: an empty path
// is STG_E_INVALIDPARAMETER, transacted or convert STG_E_INVALIDFLAG; create makes one
// missing level (E_FAIL when the folder is not there afterwards); open refuses the create
// and delete-on-release bits (STG_E_INVALIDFLAG) and a missing folder
// (STG_E_FILENOTFOUND). Bare names resolve into the program's folder.
HRESULT OpenDirectoryStorage(const wchar_t* path, DWORD mode, bool create, IStorage** out) noexcept;

class SFDirStorage final
    : public ComObject<SFDirStorage, Dual<ISFDirStorage>, IStorage> {
 public:
  ~SFDirStorage() override;

  // (Re)opens the object on a folder by the directory rules; on failure nothing changes.
  HRESULT Open(const wchar_t* path, DWORD mode, bool create) noexcept;

  // ISFDirStorage, in interface order
  STDMETHODIMP CreateDirectory(BSTR bstrPath, LONG lFlags, LONG* pbSuccess) noexcept override;
  STDMETHODIMP OpenDirectory(BSTR bstrPath, LONG lFlags, LONG* pbSuccess) noexcept override;
  STDMETHODIMP Close() noexcept override;
  STDMETHODIMP get_Path(BSTR* pVal) noexcept override;

  // IStorage
  STDMETHODIMP CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                            IStream** ppstm) noexcept override;
  STDMETHODIMP OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode, DWORD reserved2,
                          IStream** ppstm) noexcept override;
  STDMETHODIMP CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                             IStorage** ppstg) noexcept override;
  STDMETHODIMP OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude,
                           DWORD reserved, IStorage** ppstg) noexcept override;
  STDMETHODIMP CopyTo(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude,
                      IStorage* pstgDest) noexcept override;
  STDMETHODIMP MoveElementTo(const OLECHAR* pwcsName, IStorage* pstgDest, const OLECHAR* pwcsNewName,
                             DWORD grfFlags) noexcept override;
  STDMETHODIMP Commit(DWORD grfCommitFlags) noexcept override;
  STDMETHODIMP Revert() noexcept override;
  STDMETHODIMP EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                            IEnumSTATSTG** ppenum) noexcept override;
  STDMETHODIMP DestroyElement(const OLECHAR* pwcsName) noexcept override;
  STDMETHODIMP RenameElement(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) noexcept override;
  STDMETHODIMP SetElementTimes(const OLECHAR* pwcsName, const FILETIME* pctime, const FILETIME* patime,
                               const FILETIME* pmtime) noexcept override;
  STDMETHODIMP SetClass(REFCLSID clsid) noexcept override;
  STDMETHODIMP SetStateBits(DWORD grfStateBits, DWORD grfMask) noexcept override;
  STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) noexcept override;

 private:
  template <class T>
  using ElementOpener = HRESULT (*)(const wchar_t* path, DWORD mode, bool create, T** out) noexcept;

  HRESULT OpenWithFlag(BSTR path, LONG flags, bool create, LONG* success) noexcept;
  // The element `name` opened or created by `open`, after the guards every element
  // call shares (out-pointer, closed object, element name).
  template <class T>
  HRESULT OpenElement(const OLECHAR* name, DWORD mode, bool create, ElementOpener<T> open, T** out) noexcept;
  // Closes the object; a folder created with the delete-on-release bit goes with it.
  void CloseFolder() noexcept;

  CriticalSection lock_;
  std::wstring folder_;  // full path; empty: closed
  DWORD mode_ = 0;       // mode bits as opened
};

}  // namespace orv
