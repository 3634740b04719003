// ConfigFile: each read loads a fresh tree through its driver and converts it into new
// dictionaries; each write converts the whole collection into a fresh tree before it
// touches the file, key or stream, so a collection that cannot be saved changes nothing.
// Text files are replaced through a temporary file, so a failed save keeps the old one.
#include "components/config/ConfigFile.h"

#include <filesystem>
#include <string>

#include "common/BinaryConfig.h"
#include "common/ConfigLoader.h"
#include "common/TextConfig.h"
#include "components/config/ConfigDictionaries.h"
#include "components/config/RegistryConfig.h"
#include "components/config/StreamConfig.h"
#include "components/config/VarDictionary.h"
#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"

namespace orv {

namespace cfg = orvanta::config;

namespace {

enum class Driver { kText, kRegistry, kBinary };

HRESULT Fail(const wchar_t* text) noexcept { return ReportError(CLSID_ConfigFile, text); }
HRESULT Fail(UINT id) noexcept { return ReportError(CLSID_ConfigFile, id); }

// The value options each driver carries.
LONG Carried(Driver d) noexcept {
  switch (d) {
    case Driver::kText: return kPreserveUnsignedInt;
    case Driver::kRegistry: return 0;
    case Driver::kBinary: return kPreserveUnsignedInt | kPreserveStringsWide;
  }
  return 0;
}

const wchar_t* UnsupportedText(Driver d) noexcept {
  switch (d) {
    case Driver::kText: return L"Unsupported feature requested from the text file driver";
    case Driver::kRegistry: return L"Unsupported feature requested from the registry driver";
    case Driver::kBinary: return L"Unsupported feature requested from the binary stream driver";
  }
  return L"";
}

// Option resolution: error mode 1 refuses options the driver does not carry, mode 2
// drops them for this call, any other mode passes them on (the driver then leaves out
// what it cannot hold).
HRESULT ResolveOptions(LONG word, Driver d, ConfigValueOptions& out) noexcept {
  const LONG mode = (word & kErrorModeMask) >> kErrorModeShift;
  LONG options = word & (kPreserveUnsignedInt | kPreserveStringsWide);
  if (mode == 1 && (options & ~Carried(d)) != 0) return Fail(UnsupportedText(d));
  if (mode == 2) options &= Carried(d);
  out.preserveUnsignedInt = (options & kPreserveUnsignedInt) != 0;
  out.preserveStringsWide = (options & kPreserveStringsWide) != 0;
  return S_OK;
}

std::wstring TextOf(BSTR b) { return std::wstring(b ? b : L"", SysStringLen(b)); }

HRESULT HandOut(ComPtr<IVarDictionary>& dict, IDispatch** out) noexcept {
  *out = static_cast<IDispatch*>(dict.release());
  return S_OK;
}

HRESULT NewResult(const wchar_t* className, ComPtr<IVarDictionary>& out) noexcept {
  if (FAILED(CreateSectionDictionary(className, out.put()))) return Fail(L"Failed to create section");
  return S_OK;
}

// The collection argument of the writers as a dictionary.
HRESULT CollectionOf(IDispatch* collection, ComPtr<IVarDictionary>& out) noexcept {
  if (!collection) return Fail(L"NULL configuration pointer");
  if (FAILED(collection->QueryInterface(__uuidof(IVarDictionary), out.put_void())))
    return Fail(L"Not a Orvanta VariantDictionary collection");
  return S_OK;
}

HRESULT ToTree(IVarDictionary* dict, LONG word, Driver d, cfg::Section& tree) noexcept {
  ConfigValueOptions options;
  RETURN_IF_FAILED(ResolveOptions(word, d, options));
  return DictionaryToTree(dict, tree, options);
}

}  // namespace

LONG ConfigFile::Options() noexcept {
  LockGuard guard(lock_);
  return options_;
}

// ---- IConfigFile ----

STDMETHODIMP ConfigFile::Read(BSTR bstrFile, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  const LONG word = Options();
  try {
    cfg::Section tree;
    if (!cfg::loadConfigFile(std::filesystem::path(TextOf(bstrFile)), tree)) return Fail(L"Failed to read file");
    ComPtr<IVarDictionary> result;
    RETURN_IF_FAILED(NewResult(nullptr, result));
    Variant root;
    V_VT(root.put()) = VT_BSTR;
    V_BSTR(root.get()) = SysAllocStringLen(bstrFile, SysStringLen(bstrFile));
    RETURN_IF_NULL_ALLOC(V_BSTR(root.get()));
    RETURN_IF_FAILED(result->put_Root(*root.get()));
    ConfigValueOptions options;
    RETURN_IF_FAILED(ResolveOptions(word, Driver::kText, options));
    if (const HRESULT hr = TreeToDictionary(tree, result.get(), options); FAILED(hr))
      return ReportError(CLSID_ConfigFile, L"Failed to read file", GUID_NULL, hr);
    return HandOut(result, ppDisp);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP ConfigFile::Write(BSTR bstrFile, IDispatch* pCollection) noexcept {
  const LONG word = Options();
  ComPtr<IVarDictionary> dict;
  RETURN_IF_FAILED(CollectionOf(pCollection, dict));
  try {
    cfg::Section tree;
    RETURN_IF_FAILED(ToTree(dict.get(), word, Driver::kText, tree));
    if (!cfg::saveConfigFile(std::filesystem::path(TextOf(bstrFile)), tree)) return Fail(L"File save error");
    return S_OK;
  } catch (...) {
    return Fail(L"File save error");
  }
}

STDMETHODIMP ConfigFile::CreateSection(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IVarDictionary> dict;
  RETURN_IF_FAILED(CreateSectionDictionary(nullptr, dict.put()));
  return HandOut(dict, ppDisp);
}

STDMETHODIMP ConfigFile::CreateRecord(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  ComPtr<IVarDictionary> dict;
  RETURN_IF_FAILED(CreateRecordDictionary(dict.put()));
  return HandOut(dict, ppDisp);
}

STDMETHODIMP ConfigFile::ReadFromRegistry(LONG lBranch, BSTR bstrPath, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  const LONG word = Options();
  const std::wstring path = TextOf(bstrPath);
  UniqueRegKey key;
  if (RegOpenKeyExW(RegistryBranch(lBranch), path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return Fail(L"Failed to open the registry branch specified");
  try {
    cfg::Section tree;
    RegistryConfigDriver driver(key.get());
    if (!cfg::loadSection(driver, tree)) return Fail(L"Failed to read registry branch");
    ConfigValueOptions options;
    RETURN_IF_FAILED(ResolveOptions(word, Driver::kRegistry, options));
    ComPtr<IVarDictionary> result;
    RETURN_IF_FAILED(NewResult(path.c_str(), result));
    if (const HRESULT hr = TreeToDictionary(tree, result.get(), options); FAILED(hr))
      return ReportError(CLSID_ConfigFile, L"Failed to read registry branch", GUID_NULL, hr);
    return HandOut(result, ppDisp);
  } catch (...) {
    return Fail(L"Failed to read registry branch");
  }
}

STDMETHODIMP ConfigFile::WriteToRegistry(LONG lBranch, BSTR bstrPath, IDispatch* pCollection) noexcept {
  const LONG word = Options();
  ComPtr<IVarDictionary> dict;
  RETURN_IF_FAILED(CollectionOf(pCollection, dict));
  try {
    cfg::Section tree;
    RETURN_IF_FAILED(ToTree(dict.get(), word, Driver::kRegistry, tree));
    // What the registry cannot hold is refused before a key is touched.
    if (!FitsRegistry(tree)) return Fail(L"Failed to store the data in the registry");
    UniqueRegKey key;
    if (RegCreateKeyExW(RegistryBranch(lBranch), TextOf(bstrPath).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
      return Fail(L"Failed to open the registry branch specified");
    RegistryConfigDriver driver(key.get());
    if (!cfg::saveSection(driver, tree)) return Fail(L"Failed to store the data in the registry");
    return S_OK;
  } catch (...) {
    return Fail(L"Failed to store the data in the registry");
  }
}

STDMETHODIMP ConfigFile::ReadFromBinaryStream(IUnknown* pStream, IDispatch** ppDisp) noexcept {
  if (!pStream || !ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  const LONG word = Options();
  ComPtr<IStream> raw;
  if (FAILED(RawStreamOf(pStream, raw))) return Fail(10128u);
  try {
    cfg::Section tree(u"Stream");
    StreamSource source(raw.get());
    cfg::BinaryConfigDriver driver(source, AnsiCodec());
    if (!cfg::loadSectionFrom(driver, tree)) return Fail(10106u);
    // The stream is left right after the configuration.
    source.giveBack(driver.unreadBytes());
    ConfigValueOptions options;
    RETURN_IF_FAILED(ResolveOptions(word, Driver::kBinary, options));
    ComPtr<IVarDictionary> result;
    RETURN_IF_FAILED(NewResult(nullptr, result));
    if (const HRESULT hr = TreeToDictionary(tree, result.get(), options); FAILED(hr))
      return ReportError(CLSID_ConfigFile, 10106u, GUID_NULL, hr);
    return HandOut(result, ppDisp);
  } catch (...) {
    return Fail(10106u);
  }
}

STDMETHODIMP ConfigFile::WriteToBinaryStream(IUnknown* pStream, IDispatch* pCollection) noexcept {
  if (!pStream || !pCollection) return E_POINTER;
  const LONG word = Options();
  ComPtr<IVarDictionary> dict;
  RETURN_IF_FAILED(CollectionOf(pCollection, dict));
  try {
    cfg::Section tree;
    RETURN_IF_FAILED(ToTree(dict.get(), word, Driver::kBinary, tree));
    ComPtr<IStream> raw;
    if (FAILED(RawStreamOf(pStream, raw))) return Fail(10128u);
    StreamSink sink(raw.get());
    if (!cfg::saveBinary(sink, tree, AnsiCodec())) return Fail(L"Failed to store data.");
    return S_OK;
  } catch (...) {
    return Fail(L"Failed to store data.");
  }
}

HRESULT ConfigFile::GetFlag(LONG option, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = (options_ & option) ? 1 : 0;
  return S_OK;
}

HRESULT ConfigFile::PutFlag(LONG option, LONG newVal) noexcept {
  LockGuard guard(lock_);
  options_ = newVal ? (options_ | option) : (options_ & ~option);
  return S_OK;
}

STDMETHODIMP ConfigFile::get_PreserveStringsWide(LONG* pVal) noexcept { return GetFlag(kPreserveStringsWide, pVal); }
STDMETHODIMP ConfigFile::put_PreserveStringsWide(LONG newVal) noexcept { return PutFlag(kPreserveStringsWide, newVal); }
STDMETHODIMP ConfigFile::get_PreserveUnsignedInt(LONG* pVal) noexcept { return GetFlag(kPreserveUnsignedInt, pVal); }
STDMETHODIMP ConfigFile::put_PreserveUnsignedInt(LONG newVal) noexcept { return PutFlag(kPreserveUnsignedInt, newVal); }

STDMETHODIMP ConfigFile::get_ErrorMode(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = (options_ & kErrorModeMask) >> kErrorModeShift;
  return S_OK;
}

STDMETHODIMP ConfigFile::put_ErrorMode(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (newVal < 0 || newVal > 15) return Fail(L"Invalid error mode");
  options_ = (options_ & ~kErrorModeMask) | (newVal << kErrorModeShift);
  return S_OK;
}

}  // namespace orv
