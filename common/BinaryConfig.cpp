// Reader and writer of the binary configuration stream. Numbers are little-endian on
// every host; payloads are read in bounded steps, so a length field larger than the data
// behind it costs no more memory than that data.
#include "common/BinaryConfig.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "common/ConfigLoader.h"
#include "common/TextConfig.h"
#include "common/TextUtil.h"

namespace orvanta::config {

namespace {

enum Code : std::uint8_t {
  kSectionOpen = 1,
  kSectionClose = 2,
  kRecordBegin = 3,
  kRecordEnd = 4,
  kBinary = 17,
  kInt = 18,
  kFloat = 19,
  kString = 20,
  kDouble = 21,
  kInt64 = 22,
  kNarrowString = 24,
  kWideString = 25,
  kUInt = 26,
  kHeader = 253,
  kBegin = 254,
  kEnd = 255,
};

enum Descriptor : std::uint8_t { kNamed = 0x01, kWithClass = 0x02, kWithId = 0x04 };

constexpr std::size_t kBlock = 65536;
// A payload of unknown backing grows by at most this much per read.
constexpr std::size_t kPayloadStep = 1 << 20;

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint64_t le64(const std::uint8_t* p) { return le32(p) | std::uint64_t(le32(p + 4)) << 32; }

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// Narrow text up to its first zero byte (the terminator, or the item's end).
std::string_view untilZero(std::string_view s) { return s.substr(0, std::min(s.find('\0'), s.size())); }

void decode1252(std::string_view bytes, std::u16string& out) {
  out.resize(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out[i] = b < 0x80 ? char16_t(b) : windows1252ToUtf16(b);
  }
}

std::string encode1252(std::u16string_view text) {
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(utf16ToWindows1252(text[i]));
  return out;
}

ValueKind kindOf(std::uint8_t code) {
  switch (code) {
    case kBinary: return ValueKind::Binary;
    case kInt: return ValueKind::Int;
    case kFloat: return ValueKind::Float;
    case kString: return ValueKind::String;
    case kDouble: return ValueKind::Double;
    case kInt64: return ValueKind::Int64;
    case kNarrowString: return ValueKind::NarrowString;
    case kWideString: return ValueKind::WideString;
    case kUInt: return ValueKind::UInt;
    default: return ValueKind::Empty;
  }
}

// The payload size a fixed-size kind must have; 0 for the kinds of any length.
std::size_t fixedSize(ValueKind kind) {
  switch (kind) {
    case ValueKind::Int:
    case ValueKind::Float:
    case ValueKind::UInt: return 4;
    case ValueKind::Double:
    case ValueKind::Int64: return 8;
    default: return 0;
  }
}

}  // namespace

const NarrowCodec& windows1252Codec() noexcept {
  static const NarrowCodec codec{&decode1252, &encode1252};
  return codec;
}

std::size_t MemorySource::read(std::uint8_t* out, std::size_t size) {
  const std::size_t n = std::min(size, bytes_.size() - pos_);
  if (n) std::memcpy(out, bytes_.data() + pos_, n);
  pos_ += n;
  return n;
}

bool StringSink::write(const std::uint8_t* data, std::size_t size) {
  bytes_.append(reinterpret_cast<const char*>(data), size);
  return true;
}

BinaryConfigDriver::BinaryConfigDriver(ByteSource& source, const NarrowCodec& codec)
    : codec_(codec), source_(&source), buffer_(kBlock) {}

BinaryConfigDriver::BinaryConfigDriver(ByteSink& sink, const NarrowCodec& codec) : codec_(codec), sink_(&sink) {}

BinaryConfigDriver::~BinaryConfigDriver() = default;

// Reader

// At least want (<= kBlock) unused bytes in the buffer, unless the source runs dry.
bool BinaryConfigDriver::fill(std::size_t want) {
  if (end_ - at_ >= want) return true;
  if (sourceDry_) return false;
  std::memmove(buffer_.data(), buffer_.data() + at_, end_ - at_);
  end_ -= at_;
  at_ = 0;
  while (end_ < want && !sourceDry_) {
    const std::size_t got = source_->read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) sourceDry_ = true;
    end_ += got;
  }
  return end_ - at_ >= want;
}

bool BinaryConfigDriver::readBytes(std::uint8_t* out, std::size_t size) {
  while (size > 0) {
    if (!fill(1)) return false;
    const std::size_t n = std::min(size, end_ - at_);
    if (out) {
      std::memcpy(out, buffer_.data() + at_, n);
      out += n;
    }
    at_ += n;
    size -= n;
  }
  return true;
}

bool BinaryConfigDriver::readLength(std::uint32_t& length) {
  if (end_ - at_ >= 4) {
    length = le32(buffer_.data() + at_);
    at_ += 4;
  } else {
    std::uint8_t raw[4];
    if (!readBytes(raw, 4)) return false;
    length = le32(raw);
  }
  // A length beyond what the source still holds is malformed, not a reason to allocate.
  const std::size_t left = source_->remaining();
  return left == SIZE_MAX || length <= left + (end_ - at_);
}

bool BinaryConfigDriver::readItem(std::string& out) {
  std::uint32_t length = 0;
  if (!readLength(length)) return false;
  // Most items are short and already buffered.
  if (length <= end_ - at_) {
    out.assign(reinterpret_cast<const char*>(buffer_.data() + at_), length);
    at_ += length;
    return true;
  }
  out.clear();
  // The buffer grows with the bytes that actually arrive.
  while (out.size() < length) {
    const std::size_t step = std::min<std::size_t>(length - out.size(), kPayloadStep);
    const std::size_t at = out.size();
    out.resize(at + step);
    if (!readBytes(reinterpret_cast<std::uint8_t*>(out.data() + at), step)) return false;
  }
  return true;
}

bool BinaryConfigDriver::readNarrowItem(std::u16string& out) {
  if (!readItem(payload_)) return false;
  codec_.decode(untilZero(payload_), out);
  return true;
}

bool BinaryConfigDriver::skipItems(unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    std::uint32_t length = 0;
    if (!readLength(length) || !readBytes(nullptr, length)) return false;
  }
  return true;
}

ConfigDriver::Token BinaryConfigDriver::fail() {
  failed_ = true;
  return Token::Error;
}

ConfigDriver::Token BinaryConfigDriver::readSectionOpen(std::uint8_t descriptor) {
  unsigned items = descriptor >> 4;
  const bool named = descriptor & kNamed;
  extraKind_ = (descriptor & kWithClass) ? SectionExtra::Kind::ClassName
               : (descriptor & kWithId)  ? SectionExtra::Kind::Id
                                         : SectionExtra::Kind::None;
  const unsigned needed = (named ? 1u : 0u) + (extraKind_ != SectionExtra::Kind::None ? 1u : 0u);
  if (items < needed) return fail();
  name_.clear();
  if (named && !readNarrowItem(name_)) return fail();
  if (extraKind_ == SectionExtra::Kind::ClassName) {
    if (!readNarrowItem(className_)) return fail();
    if (className_.empty()) extraKind_ = SectionExtra::Kind::None;
  } else if (extraKind_ == SectionExtra::Kind::Id) {
    if (!readItem(payload_) || payload_.size() != 4) return fail();
    id_ = le32(bytesOf(payload_));
  }
  if (!skipItems(items - needed)) return fail();
  ++depth_;
  nameView_ = name_;
  return Token::SectionOpen;
}

ConfigDriver::Token BinaryConfigDriver::readRecordBegin(std::uint8_t descriptor) {
  const unsigned items = descriptor >> 4;
  const bool named = descriptor & kNamed;
  if (named && items < 1) return fail();
  recordName_.clear();
  if (named && !readNarrowItem(recordName_)) return fail();
  if (!skipItems(items - (named ? 1 : 0))) return fail();
  inRecord_ = true;
  nameView_ = recordName_;
  return Token::RecordBegin;
}

bool BinaryConfigDriver::readValue(std::uint8_t code, std::uint8_t descriptor, bool& produced) {
  const unsigned items = descriptor >> 4;
  hasValueName_ = (descriptor & kNamed) != 0;
  const unsigned needed = hasValueName_ ? 2 : 1;
  produced = false;
  if (items < needed) return false;
  if (hasValueName_ && !readNarrowItem(valueName_)) return false;
  if (!readItem(payload_)) return false;
  if (!skipItems(items - needed)) return false;
  const ValueKind kind = kindOf(code);
  if (const std::size_t size = fixedSize(kind); size != 0 && payload_.size() != size) return false;
  // Values belong inside records; a stray one outside is passed over.
  if (!inRecord_) return true;
  kind_ = kind;
  if (kind == ValueKind::String) {
    codec_.decode(untilZero(payload_), text_);
  } else if (kind == ValueKind::WideString) {
    text_.clear();
    const std::uint8_t* p = bytesOf(payload_);
    for (std::size_t i = 0; i + 1 < payload_.size(); i += 2) {
      const char16_t c = char16_t(p[i] | (p[i + 1] << 8));
      if (c == 0) break;
      text_ += c;
    }
  } else if (kind == ValueKind::NarrowString) {
    payload_.resize(untilZero(payload_).size());
  }
  nameView_ = recordName_;
  produced = true;
  return true;
}

ConfigDriver::Token BinaryConfigDriver::next() {
  if (failed_) return Token::Error;
  if (stopped_) return Token::End;
  for (;;) {
    if (!fill(1)) {
      // The data may end between elements at the top level only.
      if (depth_ == 0 && !inRecord_) return Token::End;
      return fail();
    }
    if (!fill(2)) return fail();
    const std::uint8_t code = buffer_[at_], descriptor = buffer_[at_ + 1];
    at_ += 2;
    const unsigned items = descriptor >> 4;
    switch (code) {
      case kSectionOpen:
        if (inRecord_ || depth_ >= kMaxDepth) return fail();
        return readSectionOpen(descriptor);
      case kSectionClose:
        if (inRecord_ || depth_ == 0 || !skipItems(items)) return fail();
        --depth_;
        return Token::SectionClose;
      case kRecordBegin:
        if (inRecord_) return fail();
        return readRecordBegin(descriptor);
      case kRecordEnd:
        if (!inRecord_ || !skipItems(items)) return fail();
        inRecord_ = false;
        continue;
      case kBinary: case kInt: case kFloat: case kString: case kDouble: case kInt64:
      case kNarrowString: case kWideString: case kUInt: {
        bool produced = false;
        if (!readValue(code, descriptor, produced)) return fail();
        if (produced) return Token::Value;
        continue;
      }
      case kHeader:
        if (depth_ != 0 || inRecord_ || !skipItems(items)) return fail();
        continue;
      case kBegin:
        if (!skipItems(items)) return fail();
        continue;
      case kEnd:
        // Reading stops here, but not in the middle of a record.
        if (inRecord_) return fail();
        stopped_ = true;
        return Token::End;
      default:
        return fail();
    }
  }
}

ValueName BinaryConfigDriver::valueName() const {
  if (!hasValueName_) return std::nullopt;
  return std::u16string_view(valueName_);
}

SectionExtra BinaryConfigDriver::extra() const {
  SectionExtra e;
  e.kind = extraKind_;
  if (extraKind_ == SectionExtra::Kind::ClassName) e.className = className_;
  if (extraKind_ == SectionExtra::Kind::Id) e.id = id_;
  return e;
}

std::int32_t BinaryConfigDriver::intValue() const {
  return kind_ == ValueKind::Int ? static_cast<std::int32_t>(le32(bytesOf(payload_))) : 0;
}

std::uint32_t BinaryConfigDriver::uintValue() const { return kind_ == ValueKind::UInt ? le32(bytesOf(payload_)) : 0; }

float BinaryConfigDriver::floatValue() const {
  if (kind_ != ValueKind::Float) return 0.0f;
  const std::uint32_t bits = le32(bytesOf(payload_));
  float v;
  std::memcpy(&v, &bits, 4);
  return v;
}

double BinaryConfigDriver::doubleValue() const {
  if (kind_ != ValueKind::Double) return 0.0;
  const std::uint64_t bits = le64(bytesOf(payload_));
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

std::int64_t BinaryConfigDriver::int64Value() const {
  return kind_ == ValueKind::Int64 ? static_cast<std::int64_t>(le64(bytesOf(payload_))) : 0;
}

std::u16string_view BinaryConfigDriver::stringValue() const {
  return (kind_ == ValueKind::String || kind_ == ValueKind::WideString) ? std::u16string_view(text_)
                                                                         : std::u16string_view();
}

std::string_view BinaryConfigDriver::narrowStringValue() const {
  return kind_ == ValueKind::NarrowString ? std::string_view(payload_) : std::string_view();
}

std::size_t BinaryConfigDriver::binaryLength() const { return kind_ == ValueKind::Binary ? payload_.size() : 0; }

std::size_t BinaryConfigDriver::readBinary(std::uint8_t* out, std::size_t size) {
  const std::size_t n = std::min(size, binaryLength());
  if (n) std::memcpy(out, payload_.data(), n);
  return n;
}

// Writer

namespace {

// The bits of an unsigned number, little-endian, as one typed item.
template <typename Bits>
struct LittleEndian {
  explicit LittleEndian(Bits bits) {
    for (std::size_t i = 0; i < sizeof(Bits); ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  std::uint8_t bytes[sizeof(Bits)];
};

template <typename Bits, typename T>
Bits bitsOf(T v) {
  static_assert(sizeof(Bits) == sizeof(T));
  Bits bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

}  // namespace

bool BinaryConfigDriver::spill() {
  if (out_.size() >= kBlock) return flush();
  return !writeFailed_;
}

bool BinaryConfigDriver::flush() {
  if (!sink_) return false;
  if (!out_.empty() && !writeFailed_ && !sink_->write(bytesOf(out_), out_.size())) writeFailed_ = true;
  out_.clear();
  return !writeFailed_;
}

void BinaryConfigDriver::putByte(std::uint8_t b) { out_ += static_cast<char>(b); }

void BinaryConfigDriver::putLength(std::size_t length) {
  if (length > std::numeric_limits<std::uint32_t>::max()) {
    writeFailed_ = true;  // the format cannot say it
    length = 0;
  }
  for (int shift = 0; shift < 32; shift += 8) putByte(static_cast<std::uint8_t>(length >> shift));
}

void BinaryConfigDriver::putItem(const void* data, std::size_t size) {
  putLength(size);
  out_.append(static_cast<const char*>(data), size);
}

void BinaryConfigDriver::putNarrow(std::u16string_view text) {
  std::string bytes = codec_.encode(text);
  // A zero inside the text would end it early on reading; the text ends there now.
  bytes.resize(untilZero(bytes).size());
  bytes += '\0';
  putItem(bytes.data(), bytes.size());
}

void BinaryConfigDriver::putValueHead(std::uint8_t code, ValueName name) {
  putByte(code);
  putByte(name ? 0x21 : 0x10);
  if (name) putNarrow(*name);
}

bool BinaryConfigDriver::putValue(std::uint8_t code, ValueName name, const void* payload, std::size_t size) {
  putValueHead(code, name);
  putItem(payload, size);
  return spill();
}

bool BinaryConfigDriver::openSection(std::u16string_view name, const SectionExtra& extra) {
  // A stream nested deeper than a reader takes would be written in vain.
  if (openSections_ >= kMaxDepth) return false;
  const bool named = !name.empty();
  const bool withClass = extra.kind == SectionExtra::Kind::ClassName && !extra.className.empty();
  const bool withId = extra.kind == SectionExtra::Kind::Id;
  const unsigned items = (named ? 1u : 0u) + (withClass || withId ? 1u : 0u);
  putByte(kSectionOpen);
  putByte(static_cast<std::uint8_t>(items << 4 | (named ? kNamed : 0) | (withClass ? kWithClass : 0) |
                                    (withId ? kWithId : 0)));
  if (named) putNarrow(name);
  if (withClass) putNarrow(extra.className);
  if (withId) {
    const LittleEndian<std::uint32_t> id(extra.id);
    putItem(id.bytes, 4);
  }
  ++openSections_;
  return spill();
}

bool BinaryConfigDriver::closeSection() {
  if (openSections_ == 0) return false;
  --openSections_;
  putByte(kSectionClose);
  putByte(0);
  return spill();
}

bool BinaryConfigDriver::beginRecord(std::u16string_view name) {
  putByte(kRecordBegin);
  putByte(name.empty() ? 0x00 : 0x11);
  if (!name.empty()) putNarrow(name);
  return spill();
}

bool BinaryConfigDriver::endRecord() {
  putByte(kRecordEnd);
  putByte(0);
  return spill();
}

bool BinaryConfigDriver::writeInt(ValueName name, std::int32_t v) {
  const LittleEndian<std::uint32_t> le(bitsOf<std::uint32_t>(v));
  return putValue(kInt, name, le.bytes, 4);
}

bool BinaryConfigDriver::writeUInt(ValueName name, std::uint32_t v) {
  const LittleEndian<std::uint32_t> le(v);
  return putValue(kUInt, name, le.bytes, 4);
}

bool BinaryConfigDriver::writeFloat(ValueName name, float v) {
  const LittleEndian<std::uint32_t> le(bitsOf<std::uint32_t>(v));
  return putValue(kFloat, name, le.bytes, 4);
}

bool BinaryConfigDriver::writeDouble(ValueName name, double v) {
  const LittleEndian<std::uint64_t> le(bitsOf<std::uint64_t>(v));
  return putValue(kDouble, name, le.bytes, 8);
}

bool BinaryConfigDriver::writeInt64(ValueName name, std::int64_t v) {
  const LittleEndian<std::uint64_t> le(bitsOf<std::uint64_t>(v));
  return putValue(kInt64, name, le.bytes, 8);
}

bool BinaryConfigDriver::writeString(ValueName name, std::u16string_view v) {
  putValueHead(kString, name);
  putNarrow(v);
  return spill();
}

bool BinaryConfigDriver::writeWideString(ValueName name, std::u16string_view v) {
  // Units up to a zero inside the text (which would end it on reading), then the zero.
  const std::size_t units = std::min(v.find(u'\0'), v.size());
  std::string bytes(2 * units + 2, '\0');
  for (std::size_t i = 0; i < units; ++i) {
    bytes[2 * i] = static_cast<char>(v[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(v[i] >> 8);
  }
  return putValue(kWideString, name, bytes.data(), bytes.size());
}

bool BinaryConfigDriver::writeNarrowString(ValueName name, std::string_view v) {
  std::string bytes(untilZero(v));
  bytes += '\0';
  return putValue(kNarrowString, name, bytes.data(), bytes.size());
}

bool BinaryConfigDriver::beginBinary(ValueName name) {
  if (inBinary_) return false;
  inBinary_ = true;
  binaryName_.reset();
  if (name) {
    binaryNameText_.assign(*name);
    binaryName_ = binaryNameText_;
  }
  binary_.clear();
  return true;
}

bool BinaryConfigDriver::writeBinaryData(const std::uint8_t* data, std::size_t size) {
  if (!inBinary_) return false;
  binary_.append(reinterpret_cast<const char*>(data), size);
  return true;
}

bool BinaryConfigDriver::endBinary() {
  if (!inBinary_) return false;
  inBinary_ = false;
  putValueHead(kBinary, binaryName_);
  putLength(binary_.size());
  if (!flush()) return false;
  // A large value goes to the sink directly rather than through the buffer.
  if (!binary_.empty() && !sink_->write(bytesOf(binary_), binary_.size())) writeFailed_ = true;
  binary_.clear();
  return !writeFailed_;
}

// Whole trees

bool loadBinary(ByteSource& source, Section& root, const NarrowCodec& codec) {
  BinaryConfigDriver driver(source, codec);
  return loadSectionFrom(driver, root, kNoLimit);
}

bool loadBinary(std::string_view bytes, Section& root, const NarrowCodec& codec) {
  MemorySource source(bytes);
  return loadBinary(source, root, codec);
}

std::unique_ptr<Section> loadBinaryOrText(std::string_view bytes, bool* binary) {
  auto tree = std::make_unique<Section>();
  const bool isBinary = loadBinary(bytes, *tree);
  if (!isBinary) {
    tree = std::make_unique<Section>();
    loadText(bytes, *tree);
  }
  if (binary) *binary = isBinary;
  return tree;
}

bool saveBinary(ByteSink& sink, const Section& root, const NarrowCodec& codec) {
  BinaryConfigDriver driver(sink, codec);
  return saveSection(driver, root) && driver.flush();
}

std::string saveBinary(const Section& root, const NarrowCodec& codec) {
  StringSink sink;
  saveBinary(sink, root, codec);
  return std::move(sink.bytes());
}

}  // namespace orvanta::config
