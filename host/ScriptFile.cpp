// Script files: reading, decoding and what their path says.
#include "host/ScriptFile.h"

#include <windows.h>

#include "common/TextUtil.h"
#include "components/module/Raii.h"

namespace orvanta::host {

bool ReadFileBytes(const std::wstring& path, std::string& bytes) {
  bytes.clear();
  orv::UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 0x7FFFFFFF) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()) {
    bytes.clear();
    return false;
  }
  return true;
}

std::wstring DecodeScriptBytes(std::string_view bytes) {
  std::wstring text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
      if (c == 0) break;
      text.push_back(c);
    }
    return text;
  }
  bytes = bytes.substr(0, bytes.find('\0'));
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    std::u16string decoded;
    appendUtf8Decoded(decoded, bytes.substr(3));
    return std::wstring(decoded.begin(), decoded.end());
  }
  if (bytes.empty()) return text;
  const int len = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (len <= 0) return text;
  text.resize(static_cast<size_t>(len));
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), len);
  return text;
}

std::wstring ScriptFolder(std::wstring_view path, std::wstring_view programFolder) {
  const size_t sep = path.find_last_of(L"\\/");
  std::wstring folder(sep == std::wstring_view::npos ? programFolder : path.substr(0, sep + 1));
  if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder.push_back(L'\\');
  return folder;
}

const wchar_t* LanguageForPath(std::wstring_view path) {
  const size_t sep = path.find_last_of(L"\\/");
  const std::wstring_view name = sep == std::wstring_view::npos ? path : path.substr(sep + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring_view::npos) {
    const std::wstring_view ext = name.substr(dot + 1);
    if (equalsIgnoreCase(std::u16string(ext.begin(), ext.end()), u"JS")) return L"JScript";
  }
  return L"VBScript";
}

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L"\\";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return ScriptFolder(path, L"");
}

}  // namespace orvanta::host
