// Error records for both libraries.
#include "components/module/ErrorReport.h"

#include <ole2.h>
#include <oleauto.h>

#include <string>

#include "components/module/Module.h"
#include "components/module/Raii.h"

namespace orv {
namespace {

constexpr int kMessageBufferChars = 1024;

// Description of the class from its registration: data of value 0 of HKCR\CLSID\{clsid}.
std::wstring RegisteredSource(REFCLSID clsid) {
  wchar_t guid[40] = {};
  if (!StringFromGUID2(clsid, guid, 40)) return {};
  const std::wstring keyName = std::wstring(L"CLSID\\") + guid;
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {};
  wchar_t name[256];
  DWORD nameLen = 256, type = 0;
  BYTE data[512 * sizeof(wchar_t)] = {};
  DWORD dataLen = sizeof(data) - sizeof(wchar_t);
  if (RegEnumValueW(key.get(), 0, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  return std::wstring(reinterpret_cast<const wchar_t*>(data), dataLen / sizeof(wchar_t)).c_str();
}

void SetThreadErrorRecord(REFCLSID clsid, const wchar_t* description, REFIID iid) noexcept {
  ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(create.put()))) return;
  create->SetGUID(iid);
  try {
    const std::wstring source = RegisteredSource(clsid);
    if (!source.empty()) create->SetSource(const_cast<wchar_t*>(source.c_str()));
  } catch (...) {
  }
  create->SetDescription(const_cast<wchar_t*>(description));
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.query(info))) SetErrorInfo(0, info.get());
}

}  // namespace

std::wstring MessageText(UINT id) {
  const wchar_t* text = nullptr;
  const int n = LoadStringW(ModuleInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

HRESULT ReportError(REFCLSID clsid, UINT id, REFIID iid, HRESULT hr, HINSTANCE module) noexcept {
  id &= 0xFFFF;
  wchar_t buffer[kMessageBufferChars] = {};
  if (LoadStringW(module ? module : ModuleInstance(), id, buffer, kMessageBufferChars) <= 0)
    lstrcpynW(buffer, L"Unknown Error", kMessageBufferChars);
  if (hr == 0) hr = MessageHResult(id);
  SetThreadErrorRecord(clsid, buffer, iid);
  return hr;
}

HRESULT ReportError(REFCLSID clsid, const wchar_t* text, REFIID iid, HRESULT hr) noexcept {
  SetThreadErrorRecord(clsid, text ? text : L"", iid);
  return hr != 0 ? hr : DISP_E_EXCEPTION;
}

HRESULT ReportError(REFCLSID clsid, const char* text, REFIID iid, HRESULT hr) noexcept {
  if (!text) text = "";
  const int len = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide;
  try {
    wide.resize(len > 0 ? len : 1);
  } catch (...) {
    return hr != 0 ? hr : DISP_E_EXCEPTION;
  }
  if (len > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), len);
  return ReportError(clsid, wide.c_str(), iid, hr);
}

}  // namespace orv
