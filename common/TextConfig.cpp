// Line reader and writer of the text configuration format. The reader never reports a
// syntax error: a line that does not fit the grammar is skipped. Numbers are parsed and
// formatted without the C locale, so a host that changes its locale writes the same file.
#include "common/TextConfig.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>
#include <type_traits>

#include "common/ConfigLoader.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace orvanta::config {

namespace {

// A code unit of decoded text, or a byte of a file line. Every character the grammar
// looks at is ASCII, and no byte of a multi-byte UTF-8 sequence is, so a line's bytes
// parse as its decoded text does.
inline std::uint32_t unit(char16_t c) { return c; }
inline std::uint32_t unit(char c) { return static_cast<unsigned char>(c); }

template <typename Char>
inline bool isBlank(Char c) {
  return c == Char(' ') || c == Char('\t');
}

template <typename Char>
std::size_t skipBlanks(std::basic_string_view<Char> s, std::size_t at) {
  if constexpr (std::is_same_v<Char, char>) {
    // Written files indent by four spaces a level.
    for (std::uint32_t four; at + 4 <= s.size(); at += 4) {
      std::memcpy(&four, s.data() + at, 4);
      if (four != 0x20202020u) break;
    }
  }
  while (at < s.size() && isBlank(s[at])) ++at;
  return at;
}

// find() for the short parts of a line, where a plain loop beats a call of memchr.
template <typename Char>
std::size_t findShort(std::basic_string_view<Char> s, Char c, std::size_t from = 0) {
  for (std::size_t i = from; i < s.size(); ++i)
    if (s[i] == c) return i;
  return s.npos;
}

int digitValue(std::uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return 99;
}

// Sign, then decimal, "0x" hexadecimal or leading-0 octal (decimal only when radix is
// 10). The value is kept modulo 2^64, so callers keep the low bits of any long number.
template <typename Char>
bool parseInteger(std::basic_string_view<Char> s, int radix, std::uint64_t& out) {
  std::size_t i = skipBlanks(s, 0);
  bool negative = false;
  if (i < s.size() && (s[i] == Char('+') || s[i] == Char('-'))) negative = s[i++] == Char('-');
  int base = 10;
  if (radix == 0) {
    if (i + 2 < s.size() && s[i] == Char('0') && (s[i + 1] == Char('x') || s[i + 1] == Char('X')) &&
        digitValue(unit(s[i + 2])) < 16) {
      base = 16;
      i += 2;
    } else if (i < s.size() && s[i] == Char('0')) {
      base = 8;
    }
  } else {
    base = radix;
  }
  std::uint64_t value = 0;
  std::size_t start = i;
  for (; i < s.size(); ++i) {
    int d = digitValue(unit(s[i]));
    if (d >= base) break;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  if (i == start) return false;
  out = negative ? 0 - value : value;
  return true;
}

// Hexadecimal digits with an optional "0x"; the value modulo 2^32.
template <typename Char>
bool parseHex(std::basic_string_view<Char> s, std::uint32_t& out) {
  std::size_t i = skipBlanks(s, 0);
  if (i + 2 < s.size() && s[i] == Char('0') && (s[i + 1] == Char('x') || s[i + 1] == Char('X')) &&
      digitValue(unit(s[i + 2])) < 16)
    i += 2;
  std::uint32_t value = 0;
  std::size_t start = i;
  for (; i < s.size() && digitValue(unit(s[i])) < 16; ++i)
    value = value * 16 + static_cast<std::uint32_t>(digitValue(unit(s[i])));
  if (i == start) return false;
  out = value;
  return true;
}

// Whether a decimal floating text that from_chars found out of range is too large
// (rather than too small) in magnitude.
bool overflows(const char* b, const char* e) {
  if (b < e && *b == '-') ++b;
  long long exponent = 0;
  bool seenDigit = false, point = false;
  const char* p = b;
  for (; p < e; ++p) {
    if (*p == '.') {
      point = true;
    } else if (*p >= '0' && *p <= '9') {
      if (*p != '0' && !seenDigit) {
        seenDigit = true;
        if (point) break;
      }
      if (seenDigit && !point) ++exponent;
      if (!seenDigit && point) --exponent;
    } else {
      break;
    }
  }
  while (p < e && *p != 'e' && *p != 'E') ++p;
  if (p < e) {
    ++p;
    bool neg = p < e && *p == '-';
    if (p < e && (*p == '-' || *p == '+')) ++p;
    long long x = 0;
    for (; p < e && *p >= '0' && *p <= '9'; ++p) x = std::min(x * 10 + (*p - '0'), 100000LL);
    exponent += neg ? -x : x;
  }
  return exponent > 0;
}

// Floating text: optional blanks and sign, then what from_chars reads (decimal with an
// optional exponent, "inf", "infinity", "nan"). Out-of-range values become infinity
// or zero of the right sign, as the C runtime gives them.
template <typename Char, typename T>
bool parseFloating(std::basic_string_view<Char> s, T& out) {
  char buf[TextConfigDriver::kMaxLineRead + 1];
  std::size_t i = skipBlanks(s, 0), n = 0;
  if (i < s.size() && s[i] == Char('+')) {
    ++i;
    if (i < s.size() && s[i] == Char('-')) return false;
  }
  const bool negative = i < s.size() && s[i] == Char('-');
  // from_chars stops at the first character that cannot continue the number, so bytes
  // are read where they are; decoded text is narrowed up to the first blank or non-ASCII.
  const char* first = buf;
  const char* last = buf;
  if constexpr (std::is_same_v<Char, char>) {
    first = s.data() + i;
    last = s.data() + s.size();
  } else {
    for (; i < s.size() && n < sizeof buf && unit(s[i]) < 0x80 && unit(s[i]) > ' '; ++i)
      buf[n++] = static_cast<char>(s[i]);
    last = buf + n;
  }
  T value{};
  auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    if (overflows(first, ptr))
      value = negative ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
    else
      value = negative ? -T(0) : T(0);
  } else if (ec != std::errc()) {
    return false;
  }
  out = value;
  return true;
}

// The kind a type tag names, ignoring case; Empty for any other tag.
template <typename Char>
ValueKind tagKind(std::basic_string_view<Char> tag) {
  char folded[6];
  if (tag.size() < 3 || tag.size() > sizeof folded) return ValueKind::Empty;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const std::uint32_t c = unit(tag[i]);
    if (c >= 0x80) return ValueKind::Empty;
    folded[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  const std::string_view t(folded, tag.size());
  if (t == "int") return ValueKind::Int;
  if (t == "float") return ValueKind::Float;
  if (t == "string") return ValueKind::String;
  if (t == "double") return ValueKind::Double;
  if (t == "int64") return ValueKind::Int64;
  if (t == "uint") return ValueKind::UInt;
  return ValueKind::Empty;
}

// A close line's name runs to the first ";". A name that itself holds ";" is written
// "} a;b;", so the text before a final ";" is accepted as well.
bool closeNameMatches(std::u16string_view rest, std::u16string_view open) {
  std::size_t semi = rest.find(u';');
  if (equalsIgnoreCase(semi == rest.npos ? rest : rest.substr(0, semi), open)) return true;
  return !rest.empty() && rest.back() == u';' && semi != rest.size() - 1 &&
         equalsIgnoreCase(rest.substr(0, rest.size() - 1), open);
}

void appendNumber(std::string& out, auto value) {
  char buf[32];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, ptr);
}

}  // namespace

TextConfigDriver::TextConfigDriver(std::u16string_view text) : text_(text) {}

TextConfigDriver::TextConfigDriver(FileBytes file) {
  std::string_view b = file.bytes;
  if (b.size() >= 2 && b[0] == '\xFF' && b[1] == '\xFE') {
    decoded_ = decodeTextFile(b);
    text_ = decoded_;
    return;
  }
  if (b.substr(0, 3) == "\xEF\xBB\xBF") b.remove_prefix(3);
  bytes_ = b;
  fromBytes_ = true;
  nameBuffer_.resize(kMaxLineRead);
  valueBuffer_.resize(kMaxLineRead);
}

TextConfigDriver::TextConfigDriver() = default;

// The next line of the file's bytes up to LF, without its line end; a CR right before
// the LF belongs to the line end. A line that fits one read is given from its first
// non-blank byte, to be parsed in place (or decoded with openDecoded: its blanks mean
// nothing more); a longer line is decoded and opened for readLine. Splitting at LF
// before decoding is safe: no multi-byte sequence holds a byte below 0x80.
TextConfigDriver::ByteLine TextConfigDriver::nextByteLine(std::string_view& line) {
  const std::size_t n = bytes_.size();
  if (pos_ >= n) return ByteLine::End;
  const void* lf = std::memchr(bytes_.data() + pos_, '\n', n - pos_);
  const std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes_.data()) : n;
  lineHasEnd_ = end < n;
  std::size_t contentEnd = end;
  if (lineHasEnd_ && contentEnd > pos_ && bytes_[contentEnd - 1] == '\r') --contentEnd;
  line = bytes_.substr(pos_, contentEnd - pos_);
  pos_ = lineHasEnd_ ? end + 1 : end;
  // Decoding never gives more characters than bytes.
  if (line.size() + (lineHasEnd_ ? 1 : 0) <= kMaxLineRead) {
    line.remove_prefix(skipBlanks(line, 0));
    return ByteLine::Short;
  }
  openDecoded(line);
  return ByteLine::Long;
}

void TextConfigDriver::openDecoded(std::string_view bytes) {
  lineBuffer_.clear();
  appendUtf8Decoded(lineBuffer_, bytes);
  openLine(lineBuffer_);
}

// The next line, decoded, becomes the current line.
bool TextConfigDriver::nextLogicalLine() {
  if (fromBytes_) {
    std::string_view bytes;
    const ByteLine got = nextByteLine(bytes);
    if (got == ByteLine::Short) openDecoded(bytes);
    return got != ByteLine::End;
  }
  const std::size_t n = text_.size();
  if (pos_ >= n) return false;
  std::size_t end = text_.find(u'\n', pos_);
  if (end == text_.npos) end = n;
  lineHasEnd_ = end < n;
  std::size_t contentEnd = end;
  if (lineHasEnd_ && contentEnd > pos_ && text_[contentEnd - 1] == u'\r') --contentEnd;
  openLine(text_.substr(pos_, contentEnd - pos_));
  pos_ = lineHasEnd_ ? end + 1 : end;
  return true;
}

void TextConfigDriver::openLine(std::u16string_view line) {
  line_ = line;
  lineOpen_ = true;
  lineTaken_ = 0;
}

// One read of at most kMaxLineRead characters, the line end counted as one, as the C
// runtime's wide text streams deliver it: a longer line reads as several lines.
bool TextConfigDriver::readLine(std::u16string_view& line) {
  for (;;) {
    if (!lineOpen_ && !nextLogicalLine()) return false;
    const std::size_t rest = line_.size() - lineTaken_;
    if (lineHasEnd_ ? rest + 1 <= kMaxLineRead : rest <= kMaxLineRead) {
      lineOpen_ = false;
      if (rest == 0 && !lineHasEnd_) continue;
      line = line_.substr(lineTaken_);
      return true;
    }
    line = line_.substr(lineTaken_, kMaxLineRead);
    lineTaken_ += kMaxLineRead;
    return true;
  }
}

ConfigDriver::Token TextConfigDriver::next() {
  for (;;) {
    if (fromBytes_ && !lineOpen_) {
      // A file line that fits one read is looked at in its bytes: value lines are parsed
      // there, and comments and text lines skipped, without decoding the line. Section
      // and block lines, and longer lines, are decoded whole.
      std::string_view bytes;
      const ByteLine got = nextByteLine(bytes);
      if (got == ByteLine::End) return Token::End;
      if (got == ByteLine::Short) {
        if (bytes.empty()) continue;
        if (bytes[0] == '(') {
          if (valueLine(bytes, 1)) return Token::Value;
          continue;
        }
        if (bytes[0] != '{' && bytes[0] != '}' && bytes[0] != '[') continue;
        openDecoded(bytes);
      }
    }
    std::u16string_view line;
    if (!readLine(line)) return Token::End;
    std::size_t k = skipBlanks(line, 0);
    if (k == line.size() || line[k] == u'\r') continue;
    switch (line[k]) {
      case u'{':
        if (sectionOpenLine(line, k + 1)) return Token::SectionOpen;
        break;
      case u'}':
        if (sectionCloseLine(line, k + 1)) return Token::SectionClose;
        break;
      case u'[':
        if (binaryBlock(line, k + 1)) return Token::Value;
        break;
      case u'(':
        if (valueLine(line, k + 1)) return Token::Value;
        break;
      default:
        break;  // comments and text lines
    }
  }
}

bool TextConfigDriver::sectionOpenLine(std::u16string_view line, std::size_t at) {
  if (at >= line.size() || !isBlank(line[at])) return false;
  at = skipBlanks(line, at);
  std::size_t colon = line.find(u':', at);
  std::u16string_view name = line.substr(at, colon == line.npos ? line.npos : colon - at);
  if (name.size() > kMaxNameLength) return false;
  extra_ = SectionExtra{};
  if (colon != line.npos) {
    std::u16string_view extra = line.substr(colon + 1);
    if (std::size_t open = extra.find(u'('); open != extra.npos) {
      std::size_t close = extra.find(u')', open + 1);
      std::u16string_view cls = extra.substr(open + 1, close == extra.npos ? extra.npos : close - open - 1);
      if (!cls.empty()) {
        extra_.kind = SectionExtra::Kind::ClassName;
        extra_.className = cls;
      }
    } else if (std::size_t brace = extra.find(u'{'); brace != extra.npos) {
      std::size_t close = extra.find(u'}', brace + 1);
      std::uint32_t id = 0;
      if (parseHex(extra.substr(brace + 1, close == extra.npos ? extra.npos : close - brace - 1), id)) {
        extra_.kind = SectionExtra::Kind::Id;
        extra_.id = id;
      }
    }
  }
  name_ = name;
  open_.emplace_back(name);
  return true;
}

bool TextConfigDriver::sectionCloseLine(std::u16string_view line, std::size_t at) {
  if (at >= line.size() || !isBlank(line[at]) || open_.empty()) return false;
  if (!closeNameMatches(line.substr(skipBlanks(line, at)), open_.back())) return false;
  closedName_ = std::move(open_.back());
  open_.pop_back();
  name_ = closedName_;
  return true;
}

// "R" or "R[V]": record name before the first "[", value name up to the next "]".
void TextConfigDriver::splitName(std::u16string_view part) {
  std::size_t bracket = part.find(u'[');
  if (bracket == part.npos) {
    name_ = part;
    valueName_.reset();
    return;
  }
  name_ = part.substr(0, bracket);
  std::size_t close = part.find(u']', bracket + 1);
  valueName_ = part.substr(bracket + 1, close == part.npos ? part.npos : close - bracket - 1);
}

bool TextConfigDriver::binaryBlock(std::u16string_view line, std::size_t at) {
  if (at >= line.size() || !isBlank(line[at])) return false;
  at = skipBlanks(line, at);
  std::size_t colon = line.find(u':', at);
  const std::u16string_view openName = line.substr(at, colon == line.npos ? line.npos : colon - at);
  if (openName.size() > kMaxNameLength) return false;
  // The names outlive the line: the block's lines are read before the value is handed out.
  const std::u16string whole(openName);
  splitName(whole);
  blockRecord_.assign(name_);
  const bool named = valueName_.has_value();
  if (named) blockValueName_.assign(*valueName_);

  binary_.clear();
  std::size_t lines = 0;
  std::uint32_t byte = 0;
  for (;;) {
    if (fromBytes_ && !lineOpen_) {
      // Byte lines are parsed in place; only a possible close line is decoded.
      std::string_view bytes;
      const ByteLine got = nextByteLine(bytes);
      if (got == ByteLine::End) break;
      if (got == ByteLine::Short) {
        if (bytes.empty() || bytes[0] == '\r') continue;
        if (bytes[0] != ']') {
          ++lines;
          if (parseHex(bytes, byte)) binary_.push_back(static_cast<std::uint8_t>(byte));
          continue;
        }
        openDecoded(bytes);
      }
    }
    std::u16string_view l;
    if (!readLine(l)) break;
    std::size_t k = skipBlanks(l, 0);
    if (k == l.size() || l[k] == u'\r') continue;
    if (l[k] == u']' && k + 1 < l.size() && isBlank(l[k + 1])) {
      std::u16string_view rest = l.substr(skipBlanks(l, k + 1));
      if (closeNameMatches(rest, whole) || closeNameMatches(rest, blockRecord_)) break;
    }
    ++lines;
    if (parseHex(l.substr(k), byte)) binary_.push_back(static_cast<std::uint8_t>(byte));
  }
  if (lines == 0) return false;  // a block without lines adds nothing
  name_ = blockRecord_;
  valueName_.reset();
  if (named) valueName_ = blockValueName_;
  kind_ = ValueKind::Binary;
  return true;
}

template <typename Char>
bool TextConfigDriver::valueLine(std::basic_string_view<Char> line, std::size_t at) {
  const std::size_t close = findShort(line, Char(')'), at);
  if (close == line.npos) return false;
  const std::size_t eq = findShort(line, Char('='), close + 1);
  if (eq == line.npos) return false;
  const ValueKind kind = tagKind(line.substr(at, close - at));
  const std::basic_string_view<Char> value = line.substr(eq + 1);

  std::uint64_t integer = 0;
  switch (kind) {
    case ValueKind::Int:
      if (!parseInteger(value, 0, integer)) return false;
      integer_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(integer));
      break;
    case ValueKind::Float:
      if (!parseFloating(value, single_)) return false;
      break;
    case ValueKind::String:
      break;
    case ValueKind::Double:
      if (!parseFloating(value, real_)) return false;
      break;
    case ValueKind::Int64:
      if (!parseInteger(value, 0, integer)) return false;
      integer_ = static_cast<std::int64_t>(integer);
      break;
    case ValueKind::UInt:
      if (!parseInteger(value, 10, integer)) return false;
      integer_ = static_cast<std::uint32_t>(integer);
      break;
    default:
      return false;
  }
  if (!valueNames(line.substr(close + 1, eq - close - 1))) return false;
  if (kind == ValueKind::String) setString(value);
  kind_ = kind;
  return true;
}

// The record and value name of a value line, from its "R" or "R[V]" part; false when
// the part is too long.
bool TextConfigDriver::valueNames(std::u16string_view part) {
  if (part.size() > kMaxNameLength) return false;
  splitName(part);
  return true;
}

// The same over bytes, split before decoding (which gives the same names, as "[" and
// "]" are never part of a multi-byte sequence).
bool TextConfigDriver::valueNames(std::string_view part) {
  char16_t* const out = nameBuffer_.data();
  if (part.size() > kMaxNameLength && decodeUtf8(part, out) > kMaxNameLength) return false;
  const std::size_t bracket = findShort(part, '[');
  const std::size_t n = decodeUtf8(part.substr(0, bracket), out);
  name_ = std::u16string_view(out, n);
  if (bracket == part.npos) {
    valueName_.reset();
    return true;
  }
  const std::size_t close = findShort(part, ']', bracket + 1);
  const std::string_view value = part.substr(bracket + 1, close == part.npos ? part.npos : close - bracket - 1);
  valueName_ = std::u16string_view(out + n, decodeUtf8(value, out + n));
  return true;
}

void TextConfigDriver::setString(std::string_view bytes) {
  stringValue_ = std::u16string_view(valueBuffer_.data(), decodeUtf8(bytes, valueBuffer_.data()));
}

std::size_t TextConfigDriver::readBinary(std::uint8_t* out, std::size_t size) {
  std::size_t n = std::min(size, binaryLength());
  if (n) std::memcpy(out, binary_.data(), n);
  return n;
}

// Writer

void TextConfigDriver::indent() {
  out_.append(4 * std::min(sections_.size(), kMaxIndentLevels), ' ');
}

void TextConfigDriver::valuePrefix(const char* tag, ValueName name) {
  indent();
  out_ += '(';
  out_ += tag;
  out_ += ')';
  appendUtf8(out_, record_);
  if (name) {
    out_ += '[';
    appendUtf8(out_, *name);
    out_ += ']';
  }
  out_ += '=';
}

bool TextConfigDriver::openSection(std::u16string_view name, const SectionExtra& extra) {
  indent();
  out_ += "{ ";
  appendUtf8(out_, name);
  out_ += ':';
  if (extra.kind == SectionExtra::Kind::ClassName) {
    out_ += " (";
    appendUtf8(out_, extra.className);
    out_ += ')';
  } else if (extra.kind == SectionExtra::Kind::Id) {
    char buf[16];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, extra.id, 16);
    std::transform(buf, ptr, buf, [](char c) { return (c >= 'a' && c <= 'f') ? char(c - 32) : c; });
    out_ += " {";
    out_.append(buf, ptr);
    out_ += '}';
  }
  endLine();
  sections_.emplace_back(name);
  return true;
}

bool TextConfigDriver::closeSection() {
  if (sections_.empty()) return false;
  std::u16string name = std::move(sections_.back());
  sections_.pop_back();
  indent();
  out_ += "} ";
  appendUtf8(out_, name);
  out_ += ';';
  endLine();
  return true;
}

bool TextConfigDriver::beginRecord(std::u16string_view name) {
  record_.assign(name);
  return true;
}

bool TextConfigDriver::writeInt(ValueName name, std::int32_t v) {
  valuePrefix("int", name);
  appendNumber(out_, v);
  endLine();
  return true;
}

bool TextConfigDriver::writeUInt(ValueName name, std::uint32_t v) {
  valuePrefix("int", name);  // read back as int with the same 32 bits
  appendNumber(out_, v);
  endLine();
  return true;
}

bool TextConfigDriver::writeFloat(ValueName name, float v) {
  valuePrefix("float", name);
  char buf[400];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, 6);
  out_.append(buf, ptr);
  endLine();
  return true;
}

bool TextConfigDriver::writeDouble(ValueName name, double v) {
  valuePrefix("double", name);
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  std::transform(buf, ptr, buf, [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; });
  out_.append(buf, ptr);
  endLine();
  return true;
}

bool TextConfigDriver::writeInt64(ValueName name, std::int64_t v) {
  valuePrefix("int64", name);
  appendNumber(out_, v);
  endLine();
  return true;
}

bool TextConfigDriver::writeString(ValueName name, std::u16string_view v) {
  valuePrefix("string", name);
  appendUtf8(out_, v);
  endLine();
  return true;
}

bool TextConfigDriver::beginBinary(ValueName name) {
  if (inBlock_) return false;
  indent();
  out_ += "[ ";
  appendUtf8(out_, record_);
  if (name) {
    out_ += '[';
    appendUtf8(out_, *name);
    out_ += ']';
  }
  out_ += ':';
  endLine();
  inBlock_ = true;
  blockBytes_ = 0;
  return true;
}

bool TextConfigDriver::writeBinaryData(const std::uint8_t* data, std::size_t size) {
  if (!inBlock_) return false;
  static const char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < size; ++i) {
    indent();
    if (data[i] >= 16) out_ += kHex[data[i] >> 4];
    out_ += kHex[data[i] & 15];
    endLine();
  }
  blockBytes_ += size;
  return true;
}

bool TextConfigDriver::endBinary() {
  if (!inBlock_) return false;
  // A block without lines reads back as no value at all; a lone ";" line keeps an
  // empty binary value.
  if (blockBytes_ == 0) {
    indent();
    out_ += ';';
    endLine();
  }
  indent();
  out_ += "] ";
  appendUtf8(out_, record_);
  out_ += ';';
  endLine();
  inBlock_ = false;
  return true;
}

bool TextConfigDriver::writeComment(std::u16string_view text) {
  indent();
  out_ += ';';
  if (!text.empty()) {
    out_ += ' ';
    appendUtf8(out_, text);
  }
  endLine();
  return true;
}

// Files

void loadText(std::string_view fileBytes, Section& root) {
  TextConfigDriver driver(TextConfigDriver::FileBytes{fileBytes});
  loadSectionFrom(driver, root, kNoLimit);
}

std::string saveText(const Section& root) {
  TextConfigDriver driver;
  saveSection(driver, root);
  return driver.takeOutput();
}

namespace {

std::FILE* openFile(const std::filesystem::path& path, bool write) {
#ifdef _WIN32
  return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
  return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

}  // namespace

bool loadConfigFile(const std::filesystem::path& path, Section& root) {
  std::FILE* f = openFile(path, false);
  if (!f) return false;
  std::string bytes;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return false;
  loadText(bytes, root);
  return true;
}

bool saveConfigFile(const std::filesystem::path& path, const Section& root) {
  return replaceFile(path, saveText(root));
}

}  // namespace orvanta::config
