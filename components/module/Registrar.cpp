// Parser and runner of the registry scripts carried as "REGISTRY" resources.
#include "components/module/Registrar.h"

#include "common/TextUtil.h"
#include "components/module/Raii.h"

namespace orv {
namespace {

// On Windows wchar_t holds UTF-16 code units, as char16_t does.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

HKEY RootKey(const std::u16string& name) {
  if (orvanta::equalsIgnoreCase(name, u"HKCR") || orvanta::equalsIgnoreCase(name, u"HKEY_CLASSES_ROOT"))
    return HKEY_CLASSES_ROOT;
  if (orvanta::equalsIgnoreCase(name, u"HKCU") || orvanta::equalsIgnoreCase(name, u"HKEY_CURRENT_USER"))
    return HKEY_CURRENT_USER;
  if (orvanta::equalsIgnoreCase(name, u"HKLM") || orvanta::equalsIgnoreCase(name, u"HKEY_LOCAL_MACHINE"))
    return HKEY_LOCAL_MACHINE;
  return nullptr;
}

LONG SetString(HKEY key, const wchar_t* name, const std::u16string& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

HRESULT RegisterKey(HKEY parent, const RegistryScriptKey& k) {
  if (k.forceRemove) RegDeleteTreeW(parent, Wide(k.name));
  UniqueRegKey key;
  LONG rc = RegCreateKeyExW(parent, Wide(k.name), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  if (k.hasDefault && (rc = SetString(key.get(), nullptr, k.defaultValue)) != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(rc);
  for (const auto& [name, value] : k.values)
    if ((rc = SetString(key.get(), Wide(name), value)) != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  for (const RegistryScriptKey& child : k.children) {
    const HRESULT hr = RegisterKey(key.get(), child);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

bool HasSubkeys(HKEY key) {
  DWORD count = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr) == ERROR_SUCCESS && count > 0;
}

void UnregisterKey(HKEY parent, const RegistryScriptKey& k) {
  UniqueRegKey key;
  if (RegOpenKeyExW(parent, Wide(k.name), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
  for (const RegistryScriptKey& child : k.children) UnregisterKey(key.get(), child);
  for (const auto& value : k.values) RegDeleteValueW(key.get(), Wide(value.first));
  const bool keep = k.noRemove || HasSubkeys(key.get());
  key.reset();
  if (!keep) RegDeleteKeyW(parent, Wide(k.name));
}

}  // namespace

std::wstring SubstituteModulePath(const std::wstring& text, const std::wstring& modulePath) {
  std::wstring quoted;
  for (wchar_t c : modulePath) {
    quoted += c;
    if (c == L'\'') quoted += L'\'';
  }
  static const std::wstring marker = L"%MODULE%";
  std::wstring out;
  size_t from = 0;
  for (size_t at; (at = text.find(marker, from)) != std::wstring::npos; from = at + marker.size())
    out.append(text, from, at - from).append(quoted);
  out.append(text, from, std::wstring::npos);
  return out;
}

HRESULT ParseRegistryScript(const std::wstring& text, RegistryScript& script) noexcept {
  try {
    const std::u16string_view view(reinterpret_cast<const char16_t*>(text.data()), text.size());
    return orvanta::parseRegistryScript(view, script) && RootKey(script.root) ? S_OK : E_FAIL;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RunRegistryScript(const std::wstring& text, const std::wstring& modulePath, bool doRegister) noexcept {
  try {
    RegistryScript script;
    const HRESULT hr = ParseRegistryScript(SubstituteModulePath(text, modulePath), script);
    if (FAILED(hr)) return hr;
    for (const RegistryScriptKey& key : script.keys) {
      if (doRegister) {
        const HRESULT rhr = RegisterKey(RootKey(script.root), key);
        if (FAILED(rhr)) return rhr;
      } else {
        UnregisterKey(RootKey(script.root), key);
      }
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT RunRegistryResource(HINSTANCE module, UINT id, bool doRegister) noexcept {
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
  if (!res) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  HGLOBAL data = LoadResource(module, res);
  const DWORD size = SizeofResource(module, res);
  const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
  if (!bytes) return E_FAIL;
  try {
    // Scripts are stored as ANSI text.
    const int len = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring text(len, L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), text.data(), len);
    wchar_t path[MAX_PATH + 1] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return RunRegistryScript(text, path, doRegister);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orv
