// Parser and writer of registry scripts.
#include "common/RegistryScript.h"

#include "common/TextUtil.h"

namespace orvanta {

namespace {

bool isSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool isHexDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

struct Token {
  enum Kind { End, Word, Quoted, Equals, Open, Close } kind = End;
  std::u16string text;
};

class Lexer {
 public:
  explicit Lexer(std::u16string_view text) : s_(text) {}

  bool next(Token& t) {
    while (pos_ < s_.size() && isSpace(s_[pos_])) ++pos_;
    t.text.clear();
    if (pos_ >= s_.size()) {
      t.kind = Token::End;
      return true;
    }
    const char16_t c = s_[pos_];
    if (c == u'=') return single(t, Token::Equals);
    if (c == u'}') return single(t, Token::Close);
    if (c == u'{' && !looksLikeGuid()) return single(t, Token::Open);
    if (c == u'\'') return readQuoted(t);
    t.kind = Token::Word;
    while (pos_ < s_.size() && !isSpace(s_[pos_]) && s_[pos_] != u'=' && s_[pos_] != u'\'') {
      if (s_[pos_] == u'}' && (t.text.empty() || t.text[0] != u'{')) break;
      t.text += s_[pos_++];
      if (t.text.back() == u'}') break;
    }
    return !t.text.empty();
  }

 private:
  bool single(Token& t, Token::Kind k) {
    t.kind = k;
    t.text = s_[pos_++];
    return true;
  }
  // "{XXXXXXXX-" opens a GUID key name, a lone "{" opens a block.
  bool looksLikeGuid() const { return pos_ + 10 <= s_.size() && isHexDigit(s_[pos_ + 1]) && s_[pos_ + 9] == u'-'; }
  bool readQuoted(Token& t) {
    t.kind = Token::Quoted;
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) return false;
      if (s_[pos_] == u'\'') {
        if (pos_ + 1 < s_.size() && s_[pos_ + 1] == u'\'') {
          t.text += u'\'';
          pos_ += 2;
          continue;
        }
        ++pos_;
        return true;
      }
      t.text += s_[pos_++];
    }
  }

  std::u16string_view s_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::u16string_view text) : lex_(text) {}

  bool parseScript(RegistryScript& script) {
    if (!advance() || tok_.kind != Token::Word || !isRoot(tok_.text)) return false;
    script.root = tok_.text;
    if (!advance() || tok_.kind != Token::Open) return false;
    if (!advance() || !parseKeys(script.keys, 1)) return false;
    return advance() && tok_.kind == Token::End;
  }

 private:
  static bool isRoot(std::u16string_view w) {
    for (std::u16string_view root : {u"HKCR", u"HKEY_CLASSES_ROOT", u"HKCU", u"HKEY_CURRENT_USER", u"HKLM",
                                     u"HKEY_LOCAL_MACHINE"})
      if (equalsIgnoreCase(w, root)) return true;
    return false;
  }
  bool advance() { return lex_.next(tok_); }
  bool isWord(std::u16string_view w) const { return tok_.kind == Token::Word && equalsIgnoreCase(tok_.text, w); }

  // Reads "= s 'text'" after a name; the current token is the '='.
  bool parseAssignment(std::u16string& value) {
    if (!advance() || !isWord(u"s")) return false;
    if (!advance() || tok_.kind != Token::Quoted) return false;
    value = tok_.text;
    return advance();
  }

  // Parses keys until the closing brace, which stays the current token.
  bool parseKeys(std::vector<RegistryScriptKey>& keys, int depth) {
    while (tok_.kind != Token::Close) {
      if (tok_.kind == Token::End || isWord(u"val")) return false;  // values belong to a key
      RegistryScriptKey key;
      if (!parseKey(key, depth)) return false;
      keys.push_back(std::move(key));
    }
    return true;
  }

  bool parseKey(RegistryScriptKey& key, int depth) {
    if (depth > kMaxRegistryScriptDepth) return false;
    for (;;) {
      if (isWord(u"NoRemove")) key.noRemove = true;
      else if (isWord(u"ForceRemove")) key.forceRemove = true;
      else break;
      if (!advance()) return false;
    }
    if (tok_.kind != Token::Word && tok_.kind != Token::Quoted) return false;
    key.name = tok_.text;
    if (!advance()) return false;
    if (tok_.kind == Token::Equals) {
      key.hasDefault = true;
      if (!parseAssignment(key.defaultValue)) return false;
    }
    if (tok_.kind != Token::Open) return true;
    if (!advance()) return false;
    while (tok_.kind != Token::Close) {
      if (tok_.kind == Token::End) return false;
      if (isWord(u"val")) {
        if (!advance() || (tok_.kind != Token::Word && tok_.kind != Token::Quoted)) return false;
        std::u16string name = tok_.text, value;
        if (!advance() || tok_.kind != Token::Equals || !parseAssignment(value)) return false;
        key.values.emplace_back(std::move(name), std::move(value));
        continue;
      }
      RegistryScriptKey child;
      if (!parseKey(child, depth + 1)) return false;
      key.children.push_back(std::move(child));
    }
    return advance();
  }

  Lexer lex_;
  Token tok_;
};

void appendQuoted(std::u16string& out, std::u16string_view text) {
  out += u'\'';
  for (char16_t c : text) {
    out += c;
    if (c == u'\'') out += u'\'';
  }
  out += u'\'';
}

void appendKey(std::u16string& out, const RegistryScriptKey& key, int depth) {
  const std::u16string indent(static_cast<size_t>(depth) * 4, u' ');
  out += indent;
  if (key.noRemove) out += u"NoRemove ";
  if (key.forceRemove) out += u"ForceRemove ";
  appendQuoted(out, key.name);
  if (key.hasDefault) {
    out += u" = s ";
    appendQuoted(out, key.defaultValue);
  }
  out += u"\r\n";
  if (key.values.empty() && key.children.empty()) return;
  out += indent + u"{\r\n";
  for (const auto& [name, value] : key.values) {
    out += indent + u"    val ";
    appendQuoted(out, name);
    out += u" = s ";
    appendQuoted(out, value);
    out += u"\r\n";
  }
  for (const RegistryScriptKey& child : key.children) appendKey(out, child, depth + 1);
  out += indent + u"}\r\n";
}

}  // namespace

bool parseRegistryScript(std::u16string_view text, RegistryScript& script) {
  RegistryScript parsed;
  Parser parser(text);
  if (!parser.parseScript(parsed)) return false;
  script = std::move(parsed);
  return true;
}

std::u16string formatRegistryScript(const RegistryScript& script) {
  std::u16string out = script.root + u"\r\n{\r\n";
  for (const RegistryScriptKey& key : script.keys) appendKey(out, key, 1);
  out += u"}\r\n";
  return out;
}

}  // namespace orvanta
