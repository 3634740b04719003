// SFMain (and its free-threaded twin SFMainFree): the entry point scripts create to reach
// the file system: file and memory streams, existence tests, deletion, path functions,
// module registration and system facts. Stateless: no member takes a lock.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"

namespace orv {

class SFMain final : public ComObject<SFMain, Dual<ISFMain>, ErrorSupport<ISFMain>> {
 public:
  // ISFMain, in interface order
  STDMETHODIMP CreateMemoryStream(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateStorageFile(BSTR bstrFile, LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP IsStorageFile(BSTR bstrFile, LONG* pVal) noexcept override;
  STDMETHODIMP OpenStorageFile(BSTR bstrFile, LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateDirectory(BSTR bstrDir, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP OpenDirectory(BSTR bstrDir, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateFile(BSTR bstrFile, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP OpenFile(BSTR bstrFile, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_Drives(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP FileExists(BSTR bstrFile, LONG* pVal) noexcept override;
  STDMETHODIMP FolderExists(BSTR bstrFile, LONG* pVal) noexcept override;
  STDMETHODIMP Exists(BSTR bstrPath, LONG* pVal) noexcept override;
  STDMETHODIMP DeleteFile(BSTR bstrFile, LONG bForce) noexcept override;
  STDMETHODIMP DeleteFolder(BSTR bstrDir, LONG bForce) noexcept override;
  STDMETHODIMP GetDrive(BSTR bstrDrive, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP GetDriveName(BSTR bstrPath, BSTR* pVal) noexcept override;
  STDMETHODIMP GetExtensionName(BSTR bstrPath, BSTR* pVal) noexcept override;
  STDMETHODIMP GetFileName(BSTR bstrPath, BSTR* pVal) noexcept override;
  STDMETHODIMP GetInfo(BSTR bstrPath) noexcept override;
  STDMETHODIMP CreateStreamAnywhere(BSTR bstrPath, LONG lFlags) noexcept override;
  STDMETHODIMP OpenStreamAnywhere(BSTR bstrPath, LONG lFlags) noexcept override;
  STDMETHODIMP CopyFile(BSTR bstrSrc, BSTR bstrDst, LONG bReplace) noexcept override;
  STDMETHODIMP GetSpecialPath(LONG lDir, BSTR* pVal) noexcept override;
  STDMETHODIMP GetVersionInfo(BSTR bstrFile, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP RegSvr32(BSTR bstrFile, LONG bReg) noexcept override;
  STDMETHODIMP GetOSInfo(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP NewGUID(BSTR* pVal) noexcept override;
  STDMETHODIMP GetFilePath(BSTR bstrIn, BSTR* pVal) noexcept override;
  STDMETHODIMP get_SysByteOrder(LONG lItem, LONG* pVal) noexcept override;
  STDMETHODIMP get_SystemLanguageSupport(LONG lWhat, LONG lFlags, IDispatch** ppDisp) noexcept override;

 private:
  HRESULT OpenOrCreateFile(BSTR file, LONG flags, bool create, IDispatch** out) noexcept;
};

}  // namespace orv
