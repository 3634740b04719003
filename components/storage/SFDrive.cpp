// SFDrive: the facts of one drive read from the system on every call (volume information
// and free space change while a script runs), and its root opened as a folder storage.
//
// Under Wine a drive mapped to a Unix folder reports the label and serial number kept in
// its .windows-label and .windows-serial files (empty and derived from the device when
// they are missing), and its file system as NTFS for fixed drives.
#include "components/storage/SFDrive.h"

#include <cstdio>

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/storage/Folders.h"
#include "components/storage/SFDirStorage.h"
#include "components/storage/SFStorage.h"

namespace orv {

namespace {

HRESULT Fail(UINT id) noexcept { return ReportError(CLSID_SFDrive, id); }

bool IsDriveLetter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

wchar_t Upper(wchar_t c) noexcept { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// The root of an absolute path: "X:\" or "\\server\share\"; "" for anything else.
std::wstring RootOfFullPath(std::wstring path) {
  for (auto& c : path)
    if (c == L'/') c = L'\\';
  // "\\?\X:\..." and "\\.\X:\..." name the drive after the prefix.
  if ((path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0) && path.size() >= 6)
    path.erase(0, 4);
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') return std::wstring{Upper(path[0]), L':', L'\\'};
  if (path.rfind(L"\\\\", 0) != 0) return {};
  const size_t server = path.find(L'\\', 2);
  if (server == std::wstring::npos || server == 2) return {};
  const size_t share = path.find(L'\\', server + 1);
  if (share == server + 1) return {};
  return share == std::wstring::npos ? path + L"\\" : path.substr(0, share + 1);
}

}  // namespace

std::wstring DriveRootOf(const wchar_t* text) {
  const std::wstring given = text ? text : L"";
  if (given.size() == 1 && IsDriveLetter(given[0])) return std::wstring{Upper(given[0]), L':', L'\\'};
  if (given.empty()) return {};
  // A bare name too long for the program's folder names nothing (the folder must not
  // stand in for it).
  const std::wstring resolved = ResolveFolderPath(given.c_str());
  if (resolved.empty()) return {};
  const std::wstring full = FullPath(resolved);
  return full.empty() ? std::wstring() : RootOfFullPath(full);
}

HRESULT SFDrive::FinalConstruct() noexcept {
  try {
    root_ = RootOfFullPath(FullPath(L"."));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT SFDrive::CreateFor(const std::wstring& root, IDispatch** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  SFDrive* drive = nullptr;
  RETURN_IF_FAILED(CreateObject(&drive));
  try {
    drive->root_ = root;
  } catch (...) {
    drive->Release();
    return E_OUTOFMEMORY;
  }
  *out = static_cast<ISFDrive*>(drive);
  return S_OK;
}

HRESULT SFDrive::ReadVolume(VolumeFacts& facts) const noexcept {
  if (root_.empty()) return Fail(10106);
  DWORD longest = 0, flags = 0;
  if (!GetVolumeInformationW(root_.c_str(), facts.name, MAX_PATH + 1, &facts.serial, &longest, &flags,
                             facts.fileSystem, MAX_PATH + 1))
    return Fail(10106);
  return S_OK;
}

HRESULT SFDrive::ReadSpace(bool total, double* pVal) const noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  if (root_.empty()) return Fail(10106);
  ULARGE_INTEGER available = {}, size = {}, free = {};
  if (!GetDiskFreeSpaceExW(root_.c_str(), &available, &size, &free)) return Fail(10106);
  // Free space is what this caller may use (quotas included).
  *pVal = static_cast<double>(total ? size.QuadPart : available.QuadPart);
  return S_OK;
}

// ---- ISFDrive ----

STDMETHODIMP SFDrive::get_DriveType(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  if (root_.empty()) return Fail(10106);
  *pVal = static_cast<LONG>(GetDriveTypeW(root_.c_str()));
  return S_OK;
}

STDMETHODIMP SFDrive::Open(LONG lMode, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  if (root_.empty()) return Fail(10106);
  ComPtr<IStorage> folder;
  RETURN_IF_FAILED(OpenDirectoryStorage(root_.c_str(), static_cast<DWORD>(lMode), false, folder.put()));
  return SFStorage::CreateOver(folder.get(), ppDisp);
}

STDMETHODIMP SFDrive::get_DriveLetter(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  const wchar_t letter[2] = {root_.empty() ? L'\0' : root_[0], L'\0'};
  return ReturnText(letter, pVal);
}

STDMETHODIMP SFDrive::get_FileSystem(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  VolumeFacts facts;
  RETURN_IF_FAILED(ReadVolume(facts));
  return ReturnText(facts.fileSystem, pVal);
}

STDMETHODIMP SFDrive::get_FreeSpace(double* pVal) noexcept { return ReadSpace(false, pVal); }

STDMETHODIMP SFDrive::get_SerialNumber(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  VolumeFacts facts;
  RETURN_IF_FAILED(ReadVolume(facts));
  wchar_t text[9];
  std::swprintf(text, 9, L"%08X", static_cast<unsigned>(facts.serial));
  return ReturnText(text, pVal);
}

STDMETHODIMP SFDrive::get_TotalSize(double* pVal) noexcept { return ReadSpace(true, pVal); }

STDMETHODIMP SFDrive::get_VolumeName(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  VolumeFacts facts;
  RETURN_IF_FAILED(ReadVolume(facts));
  return ReturnText(facts.name, pVal);
}

}  // namespace orv
