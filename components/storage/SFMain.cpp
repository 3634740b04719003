// SFMain: file and memory streams by the open rules, existence tests, deletion, path
// functions and module registration.
#include "components/storage/SFMain.h"

#include <string>

#include "components/module/ErrorReport.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"
#include "components/storage/FileStream.h"
#include "components/storage/SFStream.h"

namespace orv {

namespace {

HRESULT Fail(UINT id, HRESULT hr = 0) noexcept { return ReportError(CLSID_SFMain, id, GUID_NULL, hr); }

HRESULT ReturnText(const std::wstring& text, BSTR* out) noexcept {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Position of the last separator ("\" or "/") of a path, or npos.
size_t LastSeparator(const std::wstring& path) noexcept { return path.find_last_of(L"\\/"); }

}  // namespace

// ---- factories ----

STDMETHODIMP SFMain::CreateMemoryStream(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  return SFStream::CreateOver(stream.get(), ppDisp);
}

STDMETHODIMP SFMain::CreateStorageFile(BSTR, LONG, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP SFMain::IsStorageFile(BSTR, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  return S_FALSE;
}

STDMETHODIMP SFMain::OpenStorageFile(BSTR, LONG, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP SFMain::CreateDirectory(BSTR, LONG, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP SFMain::OpenDirectory(BSTR, LONG, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

HRESULT SFMain::OpenOrCreateFile(BSTR file, LONG flags, bool create, IDispatch** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<IStream> stream;
  const HRESULT hr = OpenFileStream(file, static_cast<DWORD>(flags), create, stream.put());
  if (hr == E_FAIL) return Fail(10106);
  if (FAILED(hr)) return hr;
  return SFStream::CreateOver(stream.get(), out);
}

STDMETHODIMP SFMain::CreateFile(BSTR bstrFile, LONG lFlags, IDispatch** ppDisp) noexcept {
  return OpenOrCreateFile(bstrFile, lFlags, true, ppDisp);
}

STDMETHODIMP SFMain::OpenFile(BSTR bstrFile, LONG lFlags, IDispatch** ppDisp) noexcept {
  return OpenOrCreateFile(bstrFile, lFlags, false, ppDisp);
}

STDMETHODIMP SFMain::get_Drives(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

// ---- tests and deletion ----

STDMETHODIMP SFMain::FileExists(BSTR bstrFile, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  const DWORD attributes = GetFileAttributesW(bstrFile ? bstrFile : L"");
  const bool file = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  *pVal = file ? 1 : 0;
  return file ? S_OK : S_FALSE;
}

STDMETHODIMP SFMain::FolderExists(BSTR bstrFile, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  const DWORD attributes = GetFileAttributesW(bstrFile ? bstrFile : L"");
  const bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  *pVal = folder ? 1 : 0;
  return folder ? S_OK : S_FALSE;
}

STDMETHODIMP SFMain::Exists(BSTR bstrPath, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  const DWORD attributes = GetFileAttributesW(bstrPath ? bstrPath : L"");
  *pVal = attributes == INVALID_FILE_ATTRIBUTES ? 0 : (attributes & FILE_ATTRIBUTE_DIRECTORY) ? -1 : 1;
  return S_OK;
}

STDMETHODIMP SFMain::DeleteFile(BSTR bstrFile, LONG bForce) noexcept {
  const wchar_t* path = bstrFile ? bstrFile : L"";
  const DWORD attributes = GetFileAttributesW(path);
  // Folders are not files: refuse them before touching their attributes.
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return STG_E_ACCESSDENIED;
  if (bForce) SetFileAttributesW(path, FILE_ATTRIBUTE_ARCHIVE);
  return ::DeleteFileW(path) ? S_OK : STG_E_ACCESSDENIED;
}

STDMETHODIMP SFMain::DeleteFolder(BSTR, LONG) noexcept { return E_NOTIMPL; }

STDMETHODIMP SFMain::GetDrive(BSTR, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

// ---- path functions ----

STDMETHODIMP SFMain::GetDriveName(BSTR bstrPath, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  const wchar_t* path = bstrPath ? bstrPath : L"";
  const bool hasDrive = iswalpha(path[0]) && path[1] == L':';
  return ReturnText(hasDrive ? std::wstring(path, 2) : std::wstring(), pVal);
}

STDMETHODIMP SFMain::GetExtensionName(BSTR bstrPath, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  try {
    const std::wstring path = ResolvePath(bstrPath);
    const size_t cut = LastSeparator(path);
    const size_t nameAt = cut == std::wstring::npos ? 0 : cut + 1;
    const size_t dot = path.find_last_of(L'.');
    return ReturnText(dot == std::wstring::npos || dot < nameAt ? std::wstring() : path.substr(dot + 1), pVal);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFMain::GetFileName(BSTR bstrPath, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  try {
    const std::wstring path = ResolvePath(bstrPath);
    const size_t cut = LastSeparator(path);
    return ReturnText(cut == std::wstring::npos ? path : path.substr(cut), pVal);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFMain::GetFilePath(BSTR bstrIn, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  try {
    const std::wstring path = ResolvePath(bstrIn);
    const size_t cut = LastSeparator(path);
    return ReturnText(cut == std::wstring::npos ? std::wstring() : path.substr(0, cut), pVal);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFMain::GetInfo(BSTR) noexcept { return E_NOTIMPL; }
STDMETHODIMP SFMain::CreateStreamAnywhere(BSTR, LONG) noexcept { return E_NOTIMPL; }
STDMETHODIMP SFMain::OpenStreamAnywhere(BSTR, LONG) noexcept { return E_NOTIMPL; }

STDMETHODIMP SFMain::CopyFile(BSTR, BSTR, LONG) noexcept { return E_NOTIMPL; }

STDMETHODIMP SFMain::GetSpecialPath(LONG, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP SFMain::GetVersionInfo(BSTR, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

// ---- registration and system facts ----

STDMETHODIMP SFMain::RegSvr32(BSTR bstrFile, LONG bReg) noexcept {
  HMODULE module = LoadLibraryExW(bstrFile ? bstrFile : L"", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return Fail(10151);
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(
      reinterpret_cast<void*>(GetProcAddress(module, bReg ? "DllRegisterServer" : "DllUnregisterServer")));
  if (!entry) {
    FreeLibrary(module);
    return Fail(10152);
  }
  const HRESULT hr = entry();
  FreeLibrary(module);
  return hr;
}

STDMETHODIMP SFMain::GetOSInfo(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP SFMain::NewGUID(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return Fail(10106);
  wchar_t text[40];
  if (!StringFromGUID2(guid, text, 40)) return Fail(10106);
  *pVal = SysAllocString(text);
  return *pVal ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP SFMain::get_SysByteOrder(LONG lItem, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  if (lItem != 0 && lItem != 1) return Fail(10136);
  return S_OK;
}

STDMETHODIMP SFMain::get_SystemLanguageSupport(LONG, LONG, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  return E_NOTIMPL;
}

}  // namespace orv
