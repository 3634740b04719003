// SFMain: file and memory streams by the open rules, existence tests, deletion, path
// functions and module registration.
#include "components/storage/SFMain.h"

#include <shlobj.h>

#include <cwchar>
#include <string>
#include <vector>

#include "components/config/VarDictionary.h"
#include "components/module/ErrorReport.h"
#include "components/module/Module.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"
#include "components/storage/FileStream.h"
#include "components/storage/Folders.h"
#include "components/storage/SFDirStorage.h"
#include "components/storage/SFDrive.h"
#include "components/storage/SFStorage.h"
#include "components/storage/SFStream.h"

namespace orv {

namespace {

HRESULT Fail(UINT id, HRESULT hr = 0) noexcept { return ReportError(CLSID_SFMain, id, GUID_NULL, hr); }

// Position of the last separator ("\" or "/") of a path, or npos.
size_t LastSeparator(const std::wstring& path) noexcept { return path.find_last_of(L"\\/"); }

HRESULT AddValue(IVarDictionary* dict, const wchar_t* key, VARIANT& value) noexcept {
  Variant name;
  V_VT(name.get()) = VT_BSTR;
  V_BSTR(name.get()) = SysAllocString(key);
  if (!V_BSTR(name.get())) return E_OUTOFMEMORY;
  LONG place = 0;
  return dict->Add(*name.get(), value, &place);
}
HRESULT AddLong(IVarDictionary* dict, const wchar_t* key, LONG n) noexcept {
  Variant value;
  V_VT(value.get()) = VT_I4;
  V_I4(value.get()) = n;
  return AddValue(dict, key, *value.get());
}
HRESULT AddText(IVarDictionary* dict, const wchar_t* key, const wchar_t* text) noexcept {
  Variant value;
  V_VT(value.get()) = VT_BSTR;
  V_BSTR(value.get()) = SysAllocString(text);
  if (!V_BSTR(value.get())) return E_OUTOFMEMORY;
  return AddValue(dict, key, *value.get());
}
HRESULT AddSection(IVarDictionary* dict, const wchar_t* key, IVarDictionary* section) noexcept {
  Variant value;
  V_VT(value.get()) = VT_DISPATCH;
  V_DISPATCH(value.get()) = section;
  section->AddRef();
  return AddValue(dict, key, *value.get());
}

// The collection failures of the information members: E_FAIL is reported as 10106.
HRESULT CollectionFailure(HRESULT hr) noexcept { return hr == E_FAIL ? Fail(10106) : hr; }

// SystemLanguageSupport: the enumeration callbacks reach their collection through this
// process-wide slot, guarded by one process-wide lock.
CriticalSection g_languageLock;
IVarDictionary* g_languageSlot = nullptr;
HRESULT g_languageResult = S_OK;

BOOL CALLBACK AddEnumeratedText(LPWSTR text) {
  Variant value;
  V_VT(value.get()) = VT_BSTR;
  V_BSTR(value.get()) = SysAllocString(text ? text : L"");
  const HRESULT hr = V_BSTR(value.get()) ? AddValue(g_languageSlot, V_BSTR(value.get()), *value.get()) : E_OUTOFMEMORY;
  if (FAILED(hr)) {
    g_languageResult = hr;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

// ---- factories ----

STDMETHODIMP SFMain::CreateMemoryStream(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  return SFStream::CreateOver(stream.get(), ppDisp);
}

namespace {

// The file a storage-file mode names: with bit 8 a bare name lies in the program's
// folder. The bit is this library's own and never reaches the platform.
std::wstring StorageFilePath(BSTR file, DWORD& mode) {
  const bool resolve = (mode & kModeResolvePath) != 0;
  mode &= ~kModeResolvePath;
  // A null text is the empty name, never the platform's unnamed temporary file.
  return resolve ? ResolvePath(file ? file : L"") : std::wstring(file ? file : L"");
}

}  // namespace

STDMETHODIMP SFMain::CreateStorageFile(BSTR bstrFile, LONG lMode, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  try {
    DWORD mode = static_cast<DWORD>(lMode);
    const std::wstring path = StorageFilePath(bstrFile, mode);
    ComPtr<IStorage> storage;
    if (FAILED(StgCreateDocfile(path.c_str(), mode, 0, storage.put())) &&
        FAILED(StgOpenStorage(path.c_str(), nullptr, mode, nullptr, 0, storage.put())))
      return Fail(10159);
    return SFStorage::CreateOver(storage.get(), ppDisp);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFMain::IsStorageFile(BSTR, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  return S_FALSE;
}

STDMETHODIMP SFMain::OpenStorageFile(BSTR bstrFile, LONG lMode, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  try {
    DWORD mode = static_cast<DWORD>(lMode);
    const std::wstring path = StorageFilePath(bstrFile, mode);
    ComPtr<IStorage> storage;
    RETURN_IF_FAILED(StgOpenStorage(path.c_str(), nullptr, mode, nullptr, 0, storage.put()));
    return SFStorage::CreateOver(storage.get(), ppDisp);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFMain::CreateDirectory(BSTR bstrDir, LONG lFlags, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  ComPtr<IStorage> storage;
  if (FAILED(OpenDirectoryStorage(bstrDir ? bstrDir : L"", static_cast<DWORD>(lFlags), true, storage.put())))
    return Fail(10106);
  return SFStorage::CreateOver(storage.get(), ppDisp);
}

STDMETHODIMP SFMain::OpenDirectory(BSTR bstrDir, LONG lFlags, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  ComPtr<IStorage> storage;
  const HRESULT hr = OpenDirectoryStorage(bstrDir ? bstrDir : L"", static_cast<DWORD>(lFlags), false, storage.put());
  if (hr == E_FAIL) return Fail(10106);
  RETURN_IF_FAILED(hr);
  return SFStorage::CreateOver(storage.get(), ppDisp);
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

// One item per logical drive, keyed by its root ("C:\\").
STDMETHODIMP SFMain::get_Drives(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  try {
    const DWORD needed = GetLogicalDriveStringsW(0, nullptr);
    if (needed == 0) return Fail(10106);
    std::vector<wchar_t> roots(needed + 1, L'\0');
    const DWORD got = GetLogicalDriveStringsW(needed, roots.data());
    if (got == 0 || got > needed) return Fail(10106);
    ComPtr<IVarDictionary> list;
    HRESULT hr = CreateVarDictionaryWithOptions(20, list.put());
    if (FAILED(hr)) return CollectionFailure(hr);
    for (const wchar_t* root = roots.data(); *root; root += wcslen(root) + 1) {
      Variant drive;
      hr = SFDrive::CreateFor(root, &V_DISPATCH(drive.get()));
      if (FAILED(hr)) return CollectionFailure(hr);
      V_VT(drive.get()) = VT_DISPATCH;
      hr = AddValue(list.get(), root, *drive.get());
      if (FAILED(hr)) return CollectionFailure(hr);
    }
    *ppDisp = list.release();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
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

STDMETHODIMP SFMain::DeleteFolder(BSTR bstrDir, LONG bForce) noexcept {
  try {
    std::wstring text = bstrDir ? bstrDir : L"";
    for (auto& c : text)
      if (c == L'/') c = L'\\';
    // An empty name, "." or ".." would resolve to the program's folder or its parent.
    if (text.empty() || text == L"." || text == L"..") return STG_E_FILENOTFOUND;
    const HRESULT hr = DeleteFolderTree(ResolveFolderPath(text.c_str()), bForce != 0);
    return hr == S_FALSE ? Fail(10106) : hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// A letter, "C:", a root or a path; a drive the system does not have reports 10106.
STDMETHODIMP SFMain::GetDrive(BSTR bstrDrive, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  try {
    const std::wstring root = DriveRootOf(bstrDrive);
    if (root.empty() || GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) return Fail(10106);
    return SFDrive::CreateFor(root, ppDisp);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
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

STDMETHODIMP SFMain::CopyFile(BSTR bstrSrc, BSTR bstrDst, LONG bReplace) noexcept {
  try {
    const std::wstring dstText = bstrDst ? bstrDst : L"";
    if (dstText.find_first_of(L"*?") != std::wstring::npos) return E_INVALIDARG;
    const std::wstring src = ResolvePath(bstrSrc), dst = ResolvePath(bstrDst);
    const size_t srcCut = LastSeparator(src), dstCut = LastSeparator(dst);
    if (srcCut == std::wstring::npos || dstCut == std::wstring::npos) return STG_E_FILENOTFOUND;
    const std::wstring srcFolder = src.substr(0, srcCut + 1), dstFolder = dst.substr(0, dstCut + 1);
    const std::wstring dstName = dst.substr(dstCut + 1);
    if (!IsFolder(srcFolder) || !IsFolder(dstFolder)) return STG_E_FILENOTFOUND;
    WIN32_FIND_DATAW found;
    UniqueFindHandle find(FindFirstFileW(src.c_str(), &found));
    if (!find) return S_OK;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::wstring from = srcFolder + found.cFileName;
      // A named target is replaced whatever bReplace says; into a folder only with it.
      const bool named = !dstName.empty();
      const std::wstring to = named ? dst : dstFolder + found.cFileName;
      if (!::CopyFileW(from.c_str(), to.c_str(), named ? FALSE : !bReplace)) return Fail(10106);
    } while (FindNextFileW(find.get(), &found));
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFMain::GetSpecialPath(LONG lDir, BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  wchar_t path[MAX_PATH] = {};
  // Only looks the folder up; never creates it.
  if (FAILED(SHGetFolderPathW(nullptr, lDir & ~CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)))
    return Fail(10144);
  return ReturnText(path, pVal);
}

namespace {

HRESULT FillVersionInfo(const std::vector<BYTE>& block, IVarDictionary* info) {
  void* data = nullptr;
  UINT size = 0;
  auto* mutableBlock = const_cast<BYTE*>(block.data());
  HRESULT hr = S_OK;
  if (VerQueryValueW(mutableBlock, L"\\", &data, &size) && size >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(data);
    ComPtr<IVarDictionary> version;
    hr = CreateVarDictionaryObject(version.put());
    if (SUCCEEDED(hr)) hr = AddLong(info, L"Signature", static_cast<LONG>(fixed->dwSignature));
    if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"MajorMS", HIWORD(fixed->dwFileVersionMS));
    if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"MajorLS", LOWORD(fixed->dwFileVersionMS));
    if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"MinorMS", HIWORD(fixed->dwFileVersionLS));
    if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"MinorLS", LOWORD(fixed->dwFileVersionLS));
    if (SUCCEEDED(hr)) hr = AddSection(info, L"Version", version.get());
    RETURN_IF_FAILED(hr);
  }
  static const wchar_t* const kKeys[] = {L"FileDescription", L"Comments",        L"CompanyName",
                                         L"FileVersion",     L"InternalName",    L"LegalCopyright",
                                         L"LegalTrademarks", L"OriginalFilename", L"ProductName",
                                         L"ProductVersion",  L"PrivateBuild",    L"SpecialBuild"};
  ComPtr<IVarDictionary> varInfo, translation, stringInfo;
  RETURN_IF_FAILED(CreateVarDictionaryObject(varInfo.put()));
  RETURN_IF_FAILED(CreateVarDictionaryObject(translation.put()));
  RETURN_IF_FAILED(CreateVarDictionaryObject(stringInfo.put()));
  if (VerQueryValueW(mutableBlock, L"\\VarFileInfo\\Translation", &data, &size)) {
    const auto* pairs = static_cast<const WORD*>(data);
    for (UINT i = 0; i + 1 < size / sizeof(WORD); i += 2) {
      wchar_t name[16];
      swprintf(name, 16, L"%04x%04x", pairs[i], pairs[i + 1]);
      ComPtr<IVarDictionary> record, strings;
      RETURN_IF_FAILED(CreateVarDictionaryObject(record.put()));
      RETURN_IF_FAILED(AddLong(record.get(), L"Language", pairs[i]));
      RETURN_IF_FAILED(AddLong(record.get(), L"CodePage", pairs[i + 1]));
      RETURN_IF_FAILED(AddSection(translation.get(), name, record.get()));
      RETURN_IF_FAILED(CreateVarDictionaryObject(strings.put()));
      for (const wchar_t* key : kKeys) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\") + name + L"\\" + key;
        void* text = nullptr;
        UINT length = 0;
        if (VerQueryValueW(mutableBlock, path.c_str(), &text, &length) && text)
          RETURN_IF_FAILED(AddText(strings.get(), key, static_cast<const wchar_t*>(text)));
      }
      RETURN_IF_FAILED(AddSection(stringInfo.get(), name, strings.get()));
    }
  }
  RETURN_IF_FAILED(AddSection(varInfo.get(), L"Translation", translation.get()));
  RETURN_IF_FAILED(AddSection(info, L"VarFileInfo", varInfo.get()));
  return AddSection(info, L"StringFileInfo", stringInfo.get());
}

}  // namespace

STDMETHODIMP SFMain::GetVersionInfo(BSTR bstrFile, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  try {
    const wchar_t* file = bstrFile ? bstrFile : L"";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
    std::vector<BYTE> block(size);
    const bool read = size != 0 && GetFileVersionInfoW(file, 0, size, block.data());
    ComPtr<IVarDictionary> info;
    HRESULT hr = CreateVarDictionaryObject(info.put());
    if (SUCCEEDED(hr)) hr = AddLong(info.get(), L"Result", read ? 1 : 0);
    if (SUCCEEDED(hr)) hr = AddText(info.get(), L"ResultDescription", MessageText(read ? 10150 : 10149).c_str());
    if (SUCCEEDED(hr) && read) hr = FillVersionInfo(block, info.get());
    if (FAILED(hr)) return CollectionFailure(hr);
    *ppDisp = info.release();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
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
  OSVERSIONINFOW os = {};
  os.dwOSVersionInfoSize = sizeof os;
  if (!GetVersionExW(&os)) return Fail(10106);
  const DWORD platform = os.dwPlatformId;
  // The service-pack number is the first number after some text ("Service Pack 3").
  int servicePack = 0;
  if (swscanf(os.szCSDVersion, L"%*[^0-9]%i", &servicePack) != 1) servicePack = 0;
  ComPtr<IVarDictionary> info, version;
  HRESULT hr = CreateVarDictionaryObject(info.put());
  if (SUCCEEDED(hr)) hr = CreateVarDictionaryObject(version.put());
  if (SUCCEEDED(hr)) hr = AddLong(info.get(), L"9x", platform == 1 ? 1 : 0);
  if (SUCCEEDED(hr)) hr = AddLong(info.get(), L"98", platform == 1 && (os.dwMajorVersion > 4 || (os.dwMajorVersion == 4 && os.dwMinorVersion > 0)) ? 1 : 0);
  if (SUCCEEDED(hr)) hr = AddLong(info.get(), L"NT", platform == 2 ? 1 : 0);
  if (SUCCEEDED(hr)) hr = AddLong(info.get(), L"CE", platform == 3 ? 1 : 0);
  if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"Major", static_cast<LONG>(os.dwMajorVersion));
  if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"Minor", static_cast<LONG>(os.dwMinorVersion));
  if (SUCCEEDED(hr))
    hr = AddLong(version.get(), L"Build", static_cast<LONG>(platform == 2 ? os.dwBuildNumber : os.dwBuildNumber & 0xFFFF));
  if (SUCCEEDED(hr)) hr = AddLong(version.get(), L"SP", servicePack);
  if (SUCCEEDED(hr)) hr = AddText(version.get(), L"ExtraInfo", os.szCSDVersion);
  if (SUCCEEDED(hr)) hr = AddSection(info.get(), L"Version", version.get());
  if (SUCCEEDED(hr)) hr = AddLong(info.get(), L"PlatformID", static_cast<LONG>(platform));
  if (FAILED(hr)) return CollectionFailure(hr);
  *ppDisp = info.release();
  return S_OK;
}

STDMETHODIMP SFMain::NewGUID(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return Fail(10106);
  wchar_t text[40];
  if (!StringFromGUID2(guid, text, 40)) return Fail(10106);
  return ReturnText(text, pVal);
}

STDMETHODIMP SFMain::get_SysByteOrder(LONG lItem, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  if (lItem != 0 && lItem != 1) return Fail(10136);
  return S_OK;
}

// What 0 lists the locales, what 1 the code pages (flags: 1 installed, 2 supported).
STDMETHODIMP SFMain::get_SystemLanguageSupport(LONG lWhat, LONG lFlags, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  if (lWhat != 0 && lWhat != 1) return Fail(10106);
  LockGuard guard(g_languageLock);
  ComPtr<IVarDictionary> list;
  HRESULT hr = CreateVarDictionaryWithOptions(0, list.put());
  if (FAILED(hr)) return CollectionFailure(hr);
  g_languageSlot = list.get();
  g_languageResult = S_OK;
  const BOOL ok = lWhat == 0 ? EnumSystemLocalesW(AddEnumeratedText, static_cast<DWORD>(lFlags))
                             : EnumSystemCodePagesW(AddEnumeratedText, static_cast<DWORD>(lFlags));
  g_languageSlot = nullptr;
  if (!ok || FAILED(g_languageResult)) return Fail(10106);
  *ppDisp = list.release();
  return S_OK;
}

}  // namespace orv
