// The binary configuration stream: a compact, portable form of the configuration tree
// that scripts keep in streams and compound files, and that composite definitions may be
// stored in. A reader and a writer over the driver contract, plus whole-tree entry points.
//
// A stream is a sequence of elements. Each starts with an element code and a descriptor
// byte: the descriptor's high nibble counts the typed items that follow, its bit 0 says
// the first item is a name, and in a section open bit 1 adds a class name, bit 2 a
// numeric id. A typed item is a 4-byte little-endian length and that many bytes.
//
//   1 section open   2 section close   3 record begin   4 record end
//   17 binary  18 int  19 float  20 string  21 double  22 int64
//   24 narrow string  25 wide string  26 uint
//   253 header, 254 begin, 255 end (read, never written)
//
// Names and plain strings are narrow text (the system code page) with a terminating
// zero that the length counts; wide strings are UTF-16 LE units with a 2-byte zero.
//
// Reading is safe for any bytes: lengths are checked against what the source still
// holds (or read in bounded steps when that is unknown), nesting is limited, and every
// malformed element fails the load instead of being guessed at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/ConfigDriver.h"
#include "common/ConfigTree.h"

namespace orvanta::config {

// Where a binary reader takes its bytes from.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes into out; fewer only at the end of the data or on a failure.
  virtual std::size_t read(std::uint8_t* out, std::size_t size) = 0;
  // How many bytes are left, when the source knows; SIZE_MAX otherwise.
  virtual std::size_t remaining() const { return SIZE_MAX; }
};

// Where a binary writer puts its bytes.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when the bytes could not all be stored.
  virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
};

// Bytes in memory.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  std::size_t read(std::uint8_t* out, std::size_t size) override;
  std::size_t remaining() const override { return bytes_.size() - pos_; }
  std::size_t consumed() const { return pos_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

class StringSink final : public ByteSink {
 public:
  bool write(const std::uint8_t* data, std::size_t size) override;
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

// Conversion between UTF-16 and the narrow text of names and plain strings. The
// portable default is Windows-1252; on Windows the library passes the ANSI code page.
struct NarrowCodec {
  // Replaces out with the decoded text (reusing its room: names are decoded by the
  // thousand).
  void (*decode)(std::string_view bytes, std::u16string& out);
  std::string (*encode)(std::u16string_view text);
};
const NarrowCodec& windows1252Codec() noexcept;

class BinaryConfigDriver final : public ConfigDriver {
 public:
  // uint and wide strings besides the basic kinds; narrow strings are read but not carried.
  static constexpr std::uint32_t kCapabilities = 0x40F | kCarriesWideString;
  // Sections may nest this deep; one more is an error.
  static constexpr std::size_t kMaxDepth = 256;

  // A reader over source.
  BinaryConfigDriver(ByteSource& source, const NarrowCodec& codec = windows1252Codec());
  // A writer into sink.
  BinaryConfigDriver(ByteSink& sink, const NarrowCodec& codec = windows1252Codec());
  ~BinaryConfigDriver() override;

  // Writes what is still buffered; false when the sink refused some of it. The saver's
  // last step: a writer is complete only once flush() succeeded.
  bool flush();
  // The bytes the reader took from its source that the elements read so far did not
  // use (it reads ahead in blocks); a caller may give them back to the source.
  std::size_t unreadBytes() const noexcept { return end_ - at_; }

  std::uint32_t capabilities() const noexcept override { return kCapabilities; }

  Token next() override;
  std::u16string_view name() const override { return nameView_; }
  ValueName valueName() const override;
  SectionExtra extra() const override;
  ValueKind kind() const override { return kind_; }
  std::int32_t intValue() const override;
  std::uint32_t uintValue() const override;
  float floatValue() const override;
  double doubleValue() const override;
  std::int64_t int64Value() const override;
  std::u16string_view stringValue() const override;
  std::string_view narrowStringValue() const override;
  std::size_t binaryLength() const override;
  std::size_t readBinary(std::uint8_t* out, std::size_t size) override;

  bool openSection(std::u16string_view name, const SectionExtra& extra) override;
  bool closeSection() override;
  bool beginRecord(std::u16string_view name) override;
  bool endRecord() override;
  bool writeInt(ValueName name, std::int32_t v) override;
  bool writeUInt(ValueName name, std::uint32_t v) override;
  bool writeFloat(ValueName name, float v) override;
  bool writeDouble(ValueName name, double v) override;
  bool writeInt64(ValueName name, std::int64_t v) override;
  bool writeString(ValueName name, std::u16string_view v) override;
  bool writeWideString(ValueName name, std::u16string_view v) override;
  bool writeNarrowString(ValueName name, std::string_view v) override;
  bool beginBinary(ValueName name) override;
  bool writeBinaryData(const std::uint8_t* data, std::size_t size) override;
  bool endBinary() override;
  bool writeComment(std::u16string_view) override { return true; }

 private:
  // Reader
  bool fill(std::size_t want);
  bool readBytes(std::uint8_t* out, std::size_t size);
  bool readLength(std::uint32_t& length);
  bool readItem(std::string& out);
  bool readNarrowItem(std::u16string& out);
  bool skipItems(unsigned count);
  Token readSectionOpen(std::uint8_t descriptor);
  Token readRecordBegin(std::uint8_t descriptor);
  // Nothing when the value was skipped.
  bool readValue(std::uint8_t code, std::uint8_t descriptor, bool& produced);
  Token fail();

  // Writer
  void putByte(std::uint8_t b);
  void putLength(std::size_t length);
  void putItem(const void* data, std::size_t size);
  void putNarrow(std::u16string_view text);
  void putValueHead(std::uint8_t code, ValueName name);
  bool putValue(std::uint8_t code, ValueName name, const void* payload, std::size_t size);
  bool spill();

  const NarrowCodec& codec_;
  ByteSource* source_ = nullptr;
  ByteSink* sink_ = nullptr;

  // Read buffer: [at_, end_) not yet used.
  std::vector<std::uint8_t> buffer_;
  std::size_t at_ = 0, end_ = 0;
  bool sourceDry_ = false;
  std::size_t depth_ = 0;
  bool inRecord_ = false;
  bool failed_ = false;
  bool stopped_ = false;

  // The current token.
  std::u16string name_, valueName_, className_, recordName_;
  std::u16string_view nameView_;  // name_, or recordName_ for values
  bool hasValueName_ = false;
  SectionExtra::Kind extraKind_ = SectionExtra::Kind::None;
  std::uint32_t id_ = 0;
  ValueKind kind_ = ValueKind::Empty;
  std::string payload_;        // raw bytes of numbers, narrow strings and binary values
  std::u16string text_;        // decoded string and wide string values

  // Writer state.
  std::string out_;
  std::size_t openSections_ = 0;
  bool writeFailed_ = false;
  bool inBinary_ = false;
  ValueName binaryName_;
  std::u16string binaryNameText_;
  std::string binary_;
};

// Loads a binary configuration from source into root (which keeps its own name).
// False on malformed input; what was read before the fault stays in root. This is the
// entry point for every reader of binary configurations.
bool loadBinary(ByteSource& source, Section& root, const NarrowCodec& codec = windows1252Codec());
bool loadBinary(std::string_view bytes, Section& root, const NarrowCodec& codec = windows1252Codec());

// The tree of a configuration file in either form: a binary stream when the bytes load
// as one, else text (which always loads). binary, when given, says which it was.
std::unique_ptr<Section> loadBinaryOrText(std::string_view bytes, bool* binary = nullptr);

// Saves root's children; false when the sink refused bytes.
bool saveBinary(ByteSink& sink, const Section& root, const NarrowCodec& codec = windows1252Codec());
std::string saveBinary(const Section& root, const NarrowCodec& codec = windows1252Codec());

}  // namespace orvanta::config
