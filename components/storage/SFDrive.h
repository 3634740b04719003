// SFDrive (and its free-threaded twin SFDriveFree): one logical drive of the system, as
// SFMain.Drives and SFMain.GetDrive hand it out: its type, file system, volume name and
// serial number, free and total bytes, and a folder storage over its root.
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

// The root of the drive a text names ("C:\", "\\server\share\"): a drive letter, "C:", a
// root or any path (a bare name lies in the program's folder, a relative path below the
// current directory). "" when the text names no drive.
std::wstring DriveRootOf(const wchar_t* text);

class SFDrive final : public ComObject<SFDrive, Dual<ISFDrive>, ErrorSupport<ISFDrive>> {
 public:
  // A drive made by a script describes the drive of the current directory.
  HRESULT FinalConstruct() noexcept;

  // A new SFDrive for `root`, for SFMain.
  static HRESULT CreateFor(const std::wstring& root, IDispatch** out) noexcept;

  // ISFDrive, in interface order
  STDMETHODIMP get_DriveType(LONG* pVal) noexcept override;
  STDMETHODIMP Open(LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_DriveLetter(BSTR* pVal) noexcept override;
  STDMETHODIMP get_FileSystem(BSTR* pVal) noexcept override;
  STDMETHODIMP get_FreeSpace(double* pVal) noexcept override;
  STDMETHODIMP get_SerialNumber(BSTR* pVal) noexcept override;
  STDMETHODIMP get_TotalSize(double* pVal) noexcept override;
  STDMETHODIMP get_VolumeName(BSTR* pVal) noexcept override;

 private:
  struct VolumeFacts {
    wchar_t name[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0;
  };
  HRESULT ReadVolume(VolumeFacts& facts) const noexcept;
  // The bytes this caller may still use, or (total) the size of the drive.
  HRESULT ReadSpace(bool total, double* pVal) const noexcept;

  // Set once before the object is handed out; the object has no other state and takes
  // no lock.
  std::wstring root_;
};

}  // namespace orv
