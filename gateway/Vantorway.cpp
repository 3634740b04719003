// Vantorway: configuration, profile authorisation and object creation.
#include "gateway/Vantorway.h"

#include <filesystem>
#include <optional>

#include "OrvantaVessa.h"
#include "common/TextConfig.h"
#include "components/module/ErrorReport.h"
#include "components/module/Module.h"
#include "components/module/ResultMacros.h"
#include "gateway/AccessDialogs.h"
#include "gateway/AccessRules.h"
#include "gateway/PageAddress.h"

namespace orv {

namespace {

using gateway::AccessVerdict;
using gateway::ProfileFlag;
using gateway::ProfileText;

constexpr UINT kNoProfiles = 10101;
constexpr UINT kProfileNotFound = 10102;
constexpr UINT kDeniedByUser = 10105;
constexpr UINT kNotClassId = 10106;
constexpr UINT kNoActiveProfile = 10107;
constexpr UINT kCreationFailed = 10108;
constexpr UINT kNoSite = 10109;
constexpr UINT kConfigurationError = 10112;

HRESULT Fail(UINT id) noexcept { return ReportError(CLSID_Vantorway, id, GUID_NULL, 0, ModuleInstance()); }

std::u16string_view View(std::wstring_view text) noexcept {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}
std::u16string_view View(BSTR text) noexcept { return View(std::wstring_view(text, SysStringLen(text))); }
std::wstring_view Wide(std::u16string_view text) noexcept {
  return {reinterpret_cast<const wchar_t*>(text.data()), text.size()};
}

// "Vantor.cfg" in the folder of this module; empty when the module's path is unknown or
// longer than the 260 characters it is read into: cut short, it would name another
// folder, and a configuration from there must never be taken for this one.
std::filesystem::path ConfigurationPath() {
  std::wstring path = ModulePath();
  const size_t cut = path.find_last_of(L"\\/");
  if (path.size() >= MAX_PATH || cut == std::wstring::npos) return {};
  path.resize(cut + 1);
  return std::filesystem::path(path + L"Vantor.cfg");
}

// The storage mode a file entry asks for: sharing, then read-write unless read-only.
LONG FileEntryMode(const orvanta::config::Section& entry) noexcept {
  LONG mode = ProfileFlag(entry, u"Exclusive") ? 0x10 : ProfileFlag(entry, u"ShareRead") ? 0x20 : 0x40;
  if (!ProfileFlag(entry, u"ReadOnly")) mode |= 2;
  return mode;
}

}  // namespace

HRESULT Vantorway::FinalConstruct() noexcept {
  try {
    const std::filesystem::path path = ConfigurationPath();
    return !path.empty() && orvanta::config::loadConfigFile(path, config_) ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

// ---- IVantorway ----

STDMETHODIMP Vantorway::get_Profile(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  LockGuard guard(lock_);
  return ReturnText(activeName_, pVal);
}

STDMETHODIMP Vantorway::put_Profile(BSTR newVal) noexcept {
  if (!newVal) return E_POINTER;
  LockGuard guard(lock_);
  const Section& profiles = config_.section(u"PROFILES");
  if (profiles.childCount() == 0) return Fail(kNoProfiles);
  const Section& profile = profiles.section(View(newVal));
  if (profile.isEmptyObject()) return Fail(kProfileNotFound);
  try {
    return Authorise(profile, newVal);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// Runs the profile's check, with its dialogs; success makes the profile the active one.
HRESULT Vantorway::Authorise(const Section& profile, BSTR name) {
  std::wstring page;
  const bool pageKnown = SUCCEEDED(gateway::FindPageAddress(site_.get(), page));
  const AccessVerdict verdict =
      gateway::JudgeAccess(profile, pageKnown ? std::optional(View(page)) : std::nullopt, View(passCode_));
  const std::wstring_view displayName = Wide(ProfileText(profile, u"Name"));
  switch (verdict.kind) {
    case AccessVerdict::Kind::PageUnknown: return Fail(kNoSite);
    case AccessVerdict::Kind::Refuse:
      if (verdict.deniedDialog) gateway::ShowDenied(page, displayName);
      return Fail(verdict.message);
    case AccessVerdict::Kind::AskUser:
      if (!gateway::Confirm(page, displayName, Wide(ProfileText(profile, u"Description")))) return Fail(kDeniedByUser);
      break;
    case AccessVerdict::Kind::Admit: break;
  }
  std::wstring activeName(name, SysStringLen(name));
  active_ = &profile;
  activeName_.swap(activeName);
  return S_OK;
}

STDMETHODIMP Vantorway::put_PassCode(BSTR newVal) noexcept {
  if (!newVal) return E_POINTER;
  LockGuard guard(lock_);
  try {
    passCode_.assign(newVal, SysStringLen(newVal));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP Vantorway::CreateObject(BSTR bstrID, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  if (!bstrID) return E_POINTER;
  LockGuard guard(lock_);
  if (!active_) return Fail(kNoActiveProfile);
  std::u16string_view id = View(bstrID);
  if (id.empty()) id = ProfileText(*active_, u"Default");
  if (id.empty()) return Fail(kConfigurationError);
  const Section& classes = active_->section(u"CLASSES");
  if (classes.childCount() == 0) return Fail(kConfigurationError);
  const size_t position = classes.find(id);
  const orvanta::config::Node* entry = position ? classes.child(position) : nullptr;
  if (!entry) return Fail(kCreationFailed);
  if (const auto* record = entry->asRecord()) {
    const std::optional<std::int64_t> enabled = gateway::RecordNumber(*record);
    if (!enabled || *enabled == 0) return Fail(kCreationFailed);
    return CreateListedClass(Wide(id), ppDisp);
  }
  const Section& fileEntry = *entry->asSection();
  if (ProfileText(fileEntry, u"Type").empty()) return Fail(kConfigurationError);
  try {
    return SUCCEEDED(CreateFileSystemObject(fileEntry, ppDisp)) ? S_OK : Fail(kCreationFailed);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// A class enabled by number: created through COM, its result handed back unchanged.
HRESULT Vantorway::CreateListedClass(std::wstring_view id, IDispatch** out) noexcept {
  // The platform reads the id up to its first NUL; an id holding one names no class.
  if (id.find(L'\0') != std::wstring_view::npos) return Fail(kNotClassId);
  std::wstring text;
  try {
    text.assign(id);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(text.c_str(), &clsid)) && FAILED(CLSIDFromString(text.c_str(), &clsid)))
    return Fail(kNotClassId);
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(out));
  if (FAILED(hr)) SetErrorInfo(0, nullptr);  // the raw result, with no record of ours or an older one
  return hr;
}

// A file, compound file or memory stream, made by the file-system object of OrvantaVessa.
HRESULT Vantorway::CreateFileSystemObject(const Section& entry, IDispatch** out) {
  ComPtr<ISFMain> main;
  RETURN_IF_FAILED(CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_ALL, IID_ISFMain, main.put_void()));
  const std::u16string_view type = ProfileText(entry, u"Type");
  if (gateway::TextsEqualIgnoringCase(type, u"MemoryStream")) return main->CreateMemoryStream(out);
  const bool file = gateway::TextsEqualIgnoringCase(type, u"File");
  if (!file && !gateway::TextsEqualIgnoringCase(type, u"OLEStorage")) return E_FAIL;
  const std::wstring_view path = Wide(ProfileText(entry, u"File"));
  if (path.empty()) return E_FAIL;
  Bstr name(path.data(), static_cast<UINT>(path.size()));
  RETURN_IF_NULL_ALLOC(name.get());
  const LONG mode = FileEntryMode(entry);
  HRESULT hr = file ? main->OpenFile(name.get(), mode, out) : main->OpenStorageFile(name.get(), mode, out);
  if (FAILED(hr) && ProfileFlag(entry, u"Create"))
    hr = file ? main->CreateFile(name.get(), mode, out) : main->CreateStorageFile(name.get(), mode, out);
  return hr;
}

// ---- IObjectSafety ----

STDMETHODIMP Vantorway::GetInterfaceSafetyOptions(REFIID, DWORD* supported, DWORD* enabled) noexcept {
  if (!supported || !enabled) return E_POINTER;
  LockGuard guard(lock_);
  *supported = kSafetyOptions;
  *enabled = safety_;
  return S_OK;
}

STDMETHODIMP Vantorway::SetInterfaceSafetyOptions(REFIID, DWORD mask, DWORD enabled) noexcept {
  if (mask & ~kSafetyOptions) return E_FAIL;
  LockGuard guard(lock_);
  safety_ = (safety_ & ~mask) | (enabled & mask);
  return S_OK;
}

// ---- IObjectWithSite ----

STDMETHODIMP Vantorway::SetSite(IUnknown* site) noexcept {
  LockGuard guard(lock_);
  site_.reset(site);
  return S_OK;
}

STDMETHODIMP Vantorway::GetSite(REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  LockGuard guard(lock_);
  if (!site_) return E_FAIL;
  return site_->QueryInterface(riid, ppv);
}

}  // namespace orv
