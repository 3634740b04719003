// Parser and runner of the registry scripts carried as "REGISTRY" resources.
#include "components/module/Registrar.h"

#include <cwctype>

#include "components/module/Raii.h"

namespace orv {
namespace {

struct Token {
  enum Kind { End, Word, Quoted, Equals, Open, Close } kind = End;
  std::wstring text;
};

class Lexer {
 public:
  explicit Lexer(const std::wstring& text) : s_(text) {}

  bool Next(Token& t) {
    while (pos_ < s_.size() && std::iswspace(s_[pos_])) ++pos_;
    t.text.clear();
    if (pos_ >= s_.size()) {
      t.kind = Token::End;
      return true;
    }
    const wchar_t c = s_[pos_];
    if (c == L'=') return Single(t, Token::Equals);
    if (c == L'}') return Single(t, Token::Close);
    if (c == L'{' && !LooksLikeGuid()) return Single(t, Token::Open);
    if (c == L'\'') return ReadQuoted(t);
    t.kind = Token::Word;
    while (pos_ < s_.size() && !std::iswspace(s_[pos_]) && s_[pos_] != L'=' && s_[pos_] != L'\'') {
      if (s_[pos_] == L'}' && (t.text.empty() || t.text[0] != L'{')) break;
      t.text += s_[pos_++];
      if (t.text.back() == L'}') break;
    }
    return !t.text.empty();
  }

 private:
  bool Single(Token& t, Token::Kind k) {
    t.kind = k;
    t.text = s_[pos_++];
    return true;
  }
  // "{XXXXXXXX-" opens a GUID key name, a lone "{" opens a block.
  bool LooksLikeGuid() const {
    return pos_ + 10 <= s_.size() && std::iswxdigit(s_[pos_ + 1]) && s_[pos_ + 9] == L'-';
  }
  bool ReadQuoted(Token& t) {
    t.kind = Token::Quoted;
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) return false;
      if (s_[pos_] == L'\'') {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == L'\'') {
          t.text += L'\'';
          pos_ += 2;
          continue;
        }
        ++pos_;
        return true;
      }
      t.text += s_[pos_++];
    }
  }

  const std::wstring& s_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(const std::wstring& text) : lex_(text) {}

  bool ParseScript(RegistryScript& script) {
    if (!Advance() || tok_.kind != Token::Word) return false;
    script.root = RootKey(tok_.text);
    if (!script.root) return false;
    if (!Advance() || tok_.kind != Token::Open) return false;
    if (!Advance() || !ParseKeys(script.keys)) return false;
    return Advance() && tok_.kind == Token::End;
  }

 private:
  static HKEY RootKey(const std::wstring& w) {
    if (_wcsicmp(w.c_str(), L"HKCR") == 0 || _wcsicmp(w.c_str(), L"HKEY_CLASSES_ROOT") == 0) return HKEY_CLASSES_ROOT;
    if (_wcsicmp(w.c_str(), L"HKCU") == 0 || _wcsicmp(w.c_str(), L"HKEY_CURRENT_USER") == 0) return HKEY_CURRENT_USER;
    if (_wcsicmp(w.c_str(), L"HKLM") == 0 || _wcsicmp(w.c_str(), L"HKEY_LOCAL_MACHINE") == 0) return HKEY_LOCAL_MACHINE;
    return nullptr;
  }
  bool Advance() { return lex_.Next(tok_); }
  bool IsWord(const wchar_t* w) const { return tok_.kind == Token::Word && _wcsicmp(tok_.text.c_str(), w) == 0; }

  // Reads "= s 'text'" after a name; the current token is the '='.
  bool ParseAssignment(std::wstring& value) {
    if (!Advance() || !IsWord(L"s")) return false;
    if (!Advance() || tok_.kind != Token::Quoted) return false;
    value = tok_.text;
    return Advance();
  }

  // Parses keys until the closing brace, which stays the current token.
  bool ParseKeys(std::vector<RegistryScriptKey>& keys) {
    while (tok_.kind != Token::Close) {
      if (tok_.kind == Token::End) return false;
      if (IsWord(L"val")) {
        return false;  // values belong to a key, handled in ParseKeyBody
      }
      RegistryScriptKey key;
      if (!ParseKey(key)) return false;
      keys.push_back(std::move(key));
    }
    return true;
  }

  bool ParseKey(RegistryScriptKey& key) {
    for (;;) {
      if (IsWord(L"NoRemove")) key.noRemove = true;
      else if (IsWord(L"ForceRemove")) key.forceRemove = true;
      else break;
      if (!Advance()) return false;
    }
    if (tok_.kind != Token::Word && tok_.kind != Token::Quoted) return false;
    key.name = tok_.text;
    if (!Advance()) return false;
    if (tok_.kind == Token::Equals) {
      key.hasDefault = true;
      if (!ParseAssignment(key.defaultValue)) return false;
    }
    if (tok_.kind != Token::Open) return true;
    if (!Advance()) return false;
    while (tok_.kind != Token::Close) {
      if (tok_.kind == Token::End) return false;
      if (IsWord(L"val")) {
        if (!Advance() || (tok_.kind != Token::Word && tok_.kind != Token::Quoted)) return false;
        std::wstring name = tok_.text, value;
        if (!Advance() || tok_.kind != Token::Equals || !ParseAssignment(value)) return false;
        key.values.emplace_back(std::move(name), std::move(value));
        continue;
      }
      RegistryScriptKey child;
      if (!ParseKey(child)) return false;
      key.children.push_back(std::move(child));
    }
    return Advance();
  }

  Lexer lex_;
  Token tok_;
};

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

HRESULT RegisterKey(HKEY parent, const RegistryScriptKey& k) {
  if (k.forceRemove) RegDeleteTreeW(parent, k.name.c_str());
  UniqueRegKey key;
  LONG rc = RegCreateKeyExW(parent, k.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  if (k.hasDefault && (rc = SetString(key.get(), nullptr, k.defaultValue)) != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(rc);
  for (const auto& [name, value] : k.values)
    if ((rc = SetString(key.get(), name.c_str(), value)) != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
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
  if (RegOpenKeyExW(parent, k.name.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
  for (const RegistryScriptKey& child : k.children) UnregisterKey(key.get(), child);
  for (const auto& value : k.values) RegDeleteValueW(key.get(), value.first.c_str());
  const bool keep = k.noRemove || HasSubkeys(key.get());
  key.reset();
  if (!keep) RegDeleteKeyW(parent, k.name.c_str());
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
    Parser parser(text);
    return parser.ParseScript(script) ? S_OK : E_FAIL;
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
        const HRESULT rhr = RegisterKey(script.root, key);
        if (FAILED(rhr)) return rhr;
      } else {
        UnregisterKey(script.root, key);
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
