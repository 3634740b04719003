// Registry driver. Reading walks a key's values (in the registry's enumeration order),
// then its subkeys, each as a section read the same way; writing creates subkeys and
// sets values as the saver hands them over.
#include "components/config/RegistryConfig.h"

#include <algorithm>
#include <cstring>

namespace orv {

namespace cfg = orvanta::config;

namespace {

const wchar_t* Wide(std::u16string_view s) { return reinterpret_cast<const wchar_t*>(s.data()); }
std::u16string_view U16(const wchar_t* s, size_t n) { return {reinterpret_cast<const char16_t*>(s), n}; }

constexpr size_t kMaxKeyName = 255;

}  // namespace

HKEY RegistryBranch(LONG branch) noexcept {
  switch (branch) {
    case 0: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    default: return HKEY_CURRENT_USER;
  }
}

bool FitsRegistry(const cfg::Section& root) noexcept {
  std::vector<const cfg::Section*> pending{&root};
  while (!pending.empty()) {
    const cfg::Section* s = pending.back();
    pending.pop_back();
    for (size_t i = 1; i <= s->childCount(); ++i) {
      const cfg::Node* node = s->child(i);
      if (const cfg::Section* child = node->asSection()) {
        const std::u16string& n = child->name();
        if (n.empty() || n.size() > kMaxKeyName || n.find(u'\\') != n.npos) return false;
        try {
          pending.push_back(child);
        } catch (...) {
          return false;
        }
        continue;
      }
      for (const cfg::Value& v : node->asRecord()->values())
        if (v.kind() == cfg::ValueKind::Binary && v.bytes()->size() > RegistryConfigDriver::kMaxBinary) return false;
    }
  }
  return true;
}

RegistryConfigDriver::RegistryConfigDriver(HKEY key) {
  frames_.emplace_back();
  frames_.back().key = key;
}

// The value at frame.nextValue into the current token; false when it is not one the
// tree takes (or changed while it was read).
bool RegistryConfigDriver::readValueAt(Frame& frame) {
  wchar_t name[kNameChars];
  DWORD nameLength = kNameChars;
  DWORD type = 0, size = 0;
  if (RegEnumValueW(frame.key, frame.nextValue, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  switch (type) {
    case REG_SZ: case REG_EXPAND_SZ: case REG_MULTI_SZ: kind_ = cfg::ValueKind::String; break;
    case REG_BINARY: kind_ = cfg::ValueKind::Binary; break;
    case REG_DWORD: kind_ = cfg::ValueKind::Int; break;
    case REG_QWORD: kind_ = cfg::ValueKind::Int64; break;
    default: return false;
  }
  data_.resize(size);
  DWORD got = size;
  DWORD again = 0;
  if (RegQueryValueExW(frame.key, name, nullptr, &again, data_.empty() ? nullptr : data_.data(), &got) != ERROR_SUCCESS ||
      again != type)
    return false;
  data_.resize(got);
  if (kind_ == cfg::ValueKind::Int && got != 4) return false;
  if (kind_ == cfg::ValueKind::Int64 && got != 8) return false;
  if (kind_ == cfg::ValueKind::String) {
    // The text up to its first null (the data need not hold one).
    const size_t units = got / sizeof(wchar_t);
    const wchar_t* p = reinterpret_cast<const wchar_t*>(data_.data());
    text_.assign(U16(p, std::find(p, p + units, L'\0') - p));
  }
  name_.assign(U16(name, nameLength));
  return true;
}

cfg::ConfigDriver::Token RegistryConfigDriver::next() {
  while (!frames_.empty()) {
    Frame& frame = frames_.back();
    if (!frame.valuesDone) {
      DWORD count = 0;
      if (RegQueryInfoKeyW(frame.key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS ||
          frame.nextValue >= count) {
        frame.valuesDone = true;
        continue;
      }
      const bool taken = readValueAt(frame);
      ++frame.nextValue;
      if (taken) return Token::Value;
      continue;
    }
    wchar_t name[kNameChars];
    DWORD length = kNameChars;
    const LONG rc = RegEnumKeyExW(frame.key, frame.nextSubkey, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS || (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)) {
      const bool root = frames_.size() == 1;
      frames_.pop_back();
      if (root) return Token::End;
      return Token::SectionClose;
    }
    ++frame.nextSubkey;
    if (rc != ERROR_SUCCESS) continue;  // a name longer than the buffer
    HKEY child = nullptr;
    if (RegOpenKeyExW(frame.key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    Frame opened;
    opened.owned.reset(child);
    opened.key = child;
    frames_.push_back(std::move(opened));
    name_.assign(U16(name, length));
    return Token::SectionOpen;
  }
  return Token::End;
}

std::int32_t RegistryConfigDriver::intValue() const {
  std::int32_t v = 0;
  if (kind_ == cfg::ValueKind::Int) std::memcpy(&v, data_.data(), 4);
  return v;
}

std::int64_t RegistryConfigDriver::int64Value() const {
  std::int64_t v = 0;
  if (kind_ == cfg::ValueKind::Int64) std::memcpy(&v, data_.data(), 8);
  return v;
}

std::u16string_view RegistryConfigDriver::stringValue() const {
  return kind_ == cfg::ValueKind::String ? std::u16string_view(text_) : std::u16string_view();
}

std::size_t RegistryConfigDriver::binaryLength() const { return kind_ == cfg::ValueKind::Binary ? data_.size() : 0; }

std::size_t RegistryConfigDriver::readBinary(std::uint8_t* out, std::size_t size) {
  const size_t n = std::min(size, binaryLength());
  if (n) std::memcpy(out, data_.data(), n);
  return n;
}

// Writing

bool RegistryConfigDriver::openSection(std::u16string_view name, const cfg::SectionExtra& extra) {
  // An empty name would open the key itself, and a backslash a path: neither is one subkey.
  if (name.empty() || name.size() > kMaxKeyName || name.find(u'\\') != name.npos) return false;
  const std::u16string key(name);
  HKEY child = nullptr;
  if (RegCreateKeyExW(current(), Wide(key), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &child, nullptr) !=
      ERROR_SUCCESS)
    return false;
  Frame opened;
  opened.owned.reset(child);
  opened.key = child;
  frames_.push_back(std::move(opened));
  // A numeric id has no place in the registry; the section is written without it.
  if (extra.kind == cfg::SectionExtra::Kind::ClassName) {
    const std::u16string cls(extra.className);
    if (RegSetValueExW(child, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(cls.c_str()),
                       static_cast<DWORD>((cls.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
      return false;
  }
  return true;
}

bool RegistryConfigDriver::closeSection() {
  if (frames_.size() <= 1) return false;
  frames_.pop_back();
  return true;
}

bool RegistryConfigDriver::beginRecord(std::u16string_view name) {
  record_.assign(name);
  return true;
}

bool RegistryConfigDriver::setValue(DWORD type, const void* data, std::size_t size) {
  if (size > 0xFFFFFFFFu) return false;
  return RegSetValueExW(current(), record_.empty() ? nullptr : Wide(record_), 0, type,
                        static_cast<const BYTE*>(data), static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool RegistryConfigDriver::writeInt(cfg::ValueName, std::int32_t v) { return setValue(REG_DWORD, &v, 4); }

bool RegistryConfigDriver::writeInt64(cfg::ValueName, std::int64_t v) { return setValue(REG_QWORD, &v, 8); }

bool RegistryConfigDriver::writeString(cfg::ValueName, std::u16string_view v) {
  const std::u16string text(v);
  return setValue(REG_SZ, text.c_str(), (text.size() + 1) * sizeof(char16_t));
}

bool RegistryConfigDriver::beginBinary(cfg::ValueName) {
  if (inBinary_) return false;
  inBinary_ = true;
  data_.clear();
  return true;
}

bool RegistryConfigDriver::writeBinaryData(const std::uint8_t* data, std::size_t size) {
  if (!inBinary_ || size > kMaxBinary - data_.size()) return false;
  // The buffer grows in steps of kBinaryStep.
  const size_t need = data_.size() + size;
  if (need > data_.capacity()) data_.reserve(std::min(kMaxBinary, (need + kBinaryStep - 1) / kBinaryStep * kBinaryStep));
  data_.insert(data_.end(), data, data + size);
  return true;
}

bool RegistryConfigDriver::endBinary() {
  if (!inBinary_) return false;
  inBinary_ = false;
  return setValue(REG_BINARY, data_.data(), data_.size());
}

}  // namespace orv
