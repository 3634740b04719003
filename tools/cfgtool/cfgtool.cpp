// cfgtool: checks and converts configuration files, text or binary (a file is read as
// a binary stream when it is one, else as text).
//   cfgtool dump FILE                prints the tree as JSON
//   cfgtool fmt FILE [OUT]           saves it as text (to OUT, or in place); OUT "-" is stdout
//   cfgtool fmt --binary FILE OUT    saves it as a binary stream
// Files are replaced through a temporary, so a failed save keeps the old file.
// Exit codes: 0 done, 1 usage, 2 a file could not be read or written.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "common/BinaryConfig.h"
#include "common/ConfigTree.h"
#include "common/SafeFile.h"
#include "common/TextConfig.h"
#include "common/TextUtil.h"

namespace cfg = orvanta::config;

namespace {

void appendJsonString(std::string& out, std::u16string_view s) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF;
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == u'\n') {
      out += "\\n";
    } else if (c == u'\r') {
      out += "\\r";
    } else if (c == u'\t') {
      out += "\\t";
    } else if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF && !pair)) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 15];
    } else if (pair) {
      orvanta::appendUtf8(out, s.substr(i, 2));
      ++i;
    } else {
      orvanta::appendUtf8(out, s.substr(i, 1));
    }
  }
  out += '"';
}

template <typename T>
void appendJsonNumber(std::string& out, T v) {
  if constexpr (std::is_floating_point_v<T>) {
    if (std::isnan(v)) {
      out += "\"NaN\"";
      return;
    }
    if (std::isinf(v)) {
      out += v < 0 ? "\"-Infinity\"" : "\"Infinity\"";
      return;
    }
  }
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, ptr);
}

void appendValue(std::string& out, const cfg::Value& v) {
  out += "{\"name\":";
  if (v.hasName())
    appendJsonString(out, v.name());
  else
    out += "null";
  out += ",\"kind\":\"";
  out += cfg::kindName(v.kind());
  out += "\",\"value\":";
  switch (v.kind()) {
    case cfg::ValueKind::Int: appendJsonNumber(out, v.intValue()); break;
    case cfg::ValueKind::UInt: appendJsonNumber(out, v.uintValue()); break;
    case cfg::ValueKind::Float: appendJsonNumber(out, v.floatValue()); break;
    case cfg::ValueKind::Double: appendJsonNumber(out, v.doubleValue()); break;
    case cfg::ValueKind::Int64: appendJsonNumber(out, v.int64Value()); break;
    case cfg::ValueKind::String:
    case cfg::ValueKind::WideString: appendJsonString(out, *v.text()); break;
    case cfg::ValueKind::NarrowString: {
      std::u16string text;
      for (char c : *v.narrowText()) text += orvanta::windows1252ToUtf16(static_cast<unsigned char>(c));
      appendJsonString(out, text);
      break;
    }
    case cfg::ValueKind::Binary: {
      static const char kHex[] = "0123456789ABCDEF";
      out += '"';
      for (std::uint8_t b : *v.bytes()) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
      out += '"';
      break;
    }
    case cfg::ValueKind::Empty: out += "null"; break;
  }
  out += '}';
}

void appendSectionHead(std::string& out, const cfg::Section& s) {
  out += "{\"section\":";
  appendJsonString(out, s.name());
  out += ",\"class\":";
  if (s.hasClassName())
    appendJsonString(out, s.className());
  else
    out += "null";
  out += ",\"id\":";
  if (s.hasId())
    appendJsonNumber(out, s.id());
  else
    out += "null";
  out += ",\"children\":[";
}

// Walks the tree with an explicit stack: files may nest deeper than the call stack allows.
std::string toJson(const cfg::Section& root) {
  std::string out;
  appendSectionHead(out, root);
  std::vector<std::pair<const cfg::Section*, std::size_t>> stack{{&root, 0}};
  while (!stack.empty()) {
    auto& [section, done] = stack.back();
    if (done == section->childCount()) {
      out += "]}";
      stack.pop_back();
      continue;
    }
    if (done > 0) out += ',';
    const cfg::Node* node = section->child(++done);
    if (const cfg::Section* s = node->asSection()) {
      appendSectionHead(out, *s);
      stack.emplace_back(s, 0);
      continue;
    }
    const cfg::Record& r = *node->asRecord();
    out += "{\"record\":";
    appendJsonString(out, r.name());
    out += ",\"values\":[";
    for (std::size_t i = 0; i < r.count(); ++i) {
      if (i) out += ',';
      appendValue(out, r.values()[i]);
    }
    out += "]}";
  }
  out += '\n';
  return out;
}

std::string display(const std::filesystem::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

int fail(const std::string& message) {
  std::fprintf(stderr, "cfgtool: %s\n", message.c_str());
  return 2;
}

int usage() {
  std::fputs("usage: cfgtool dump FILE\n       cfgtool fmt FILE [OUT]\n       cfgtool fmt --binary FILE OUT\n", stderr);
  return 1;
}

bool readFile(const std::filesystem::path& path, std::string& bytes) {
#ifdef _WIN32
  std::FILE* f = _wfopen(path.c_str(), L"rb");
#else
  std::FILE* f = std::fopen(path.c_str(), "rb");
#endif
  if (!f) return false;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return !failed;
}

int writeOut(const std::string& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
    return fail("cannot write the output");
  return 0;
}

int run(const std::vector<std::filesystem::path>& args) {
  if (args.size() < 2) return usage();
  const std::filesystem::path& command = args[0];
  const bool binary = command == "fmt" && args[1] == "--binary";
  const bool dump = command == "dump" && args.size() == 2;
  const bool fmt = command == "fmt" && (binary ? args.size() == 4 : (args.size() == 2 || args.size() == 3));
  if (!dump && !fmt) return usage();
  const std::filesystem::path& in = args[binary ? 2 : 1];
  std::string bytes;
  if (!readFile(in, bytes)) return fail("cannot read " + display(in));
  const std::unique_ptr<cfg::Section> root = cfg::loadBinaryOrText(bytes);
  if (dump) return writeOut(toJson(*root));
  const std::filesystem::path& out = args.size() == (binary ? 4u : 3u) ? args.back() : in;
  const std::string saved = binary ? cfg::saveBinary(*root) : cfg::saveText(*root);
  if (out == "-") return writeOut(saved);
  if (!orvanta::replaceFile(out, saved)) return fail("cannot write " + display(out));
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::filesystem::path> args(argv + 1, argv + argc);
  return run(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::filesystem::path> args(argv + 1, argv + argc);
  return run(args);
}
#endif
