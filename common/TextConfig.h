// The text configuration driver: a line reader and a line writer for the format every
// deliverable keeps its settings in, and load/save of such files.
//
//   (string)Title=Main view          a value: (type)record[value name]=text
//   { Window: (Frame)                a section with a class name ({1F} for a numeric id)
//       (int)Size[cx]=240
//   } Window;
//   [ Key:                           a binary value, one hexadecimal byte per line
//   A
//   ] Key;
//   ; a comment
//
// Files are written as UTF-8 without a byte-order mark, lines ending in CR LF. Files
// are read as UTF-8 with or without its mark, or UTF-16 LE with its mark; bytes that are
// not valid UTF-8 are taken as Windows-1252; CR LF and LF both end a line.
//
// A named binary value opens with "[ R[V]:" and closes with "] R;". The reader closes
// a block on a close line naming either the whole open name "R[V]" or the record name
// "R" (ignoring case), so both that and the whole-name form read back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/ConfigDriver.h"
#include "common/ConfigTree.h"

namespace orvanta::config {

class TextConfigDriver final : public ConfigDriver {
 public:
  // uint values and the four basic kinds; no wide or narrow strings.
  static constexpr std::uint32_t kCapabilities = 0x40F;
  // Characters per read, the line end included; a longer line reads as several lines.
  static constexpr std::size_t kMaxLineRead = 4095;
  // Longest type tag, section name, block name or record[value] name part; a line with
  // a longer one is not recognised.
  static constexpr std::size_t kMaxNameLength = 1023;
  // Sections deeper than this are indented no further, which keeps every written line
  // short however deep the tree.
  static constexpr std::size_t kMaxIndentLevels = 64;

  // A reader over decoded text; text must outlive the driver.
  explicit TextConfigDriver(std::u16string_view text);
  // A reader over the bytes of a file in any accepted encoding; bytes must outlive the
  // driver. UTF-8 and ANSI text is read in its bytes, and only names, strings and the
  // lines that need it are decoded.
  struct FileBytes {
    std::string_view bytes;
  };
  explicit TextConfigDriver(FileBytes file);
  // A writer into output().
  TextConfigDriver();

  // The bytes written so far: UTF-8, CR LF line ends.
  const std::string& output() const noexcept { return out_; }
  std::string takeOutput() noexcept { return std::move(out_); }

  std::uint32_t capabilities() const noexcept override { return kCapabilities; }

  Token next() override;
  std::u16string_view name() const override { return name_; }
  ValueName valueName() const override { return valueName_; }
  SectionExtra extra() const override { return extra_; }
  ValueKind kind() const override { return kind_; }
  std::int32_t intValue() const override {
    return kind_ == ValueKind::Int ? static_cast<std::int32_t>(integer_) : 0;
  }
  std::uint32_t uintValue() const override {
    return kind_ == ValueKind::UInt ? static_cast<std::uint32_t>(integer_) : 0;
  }
  float floatValue() const override { return kind_ == ValueKind::Float ? single_ : 0.0f; }
  double doubleValue() const override { return kind_ == ValueKind::Double ? real_ : 0.0; }
  std::int64_t int64Value() const override { return kind_ == ValueKind::Int64 ? integer_ : 0; }
  std::u16string_view stringValue() const override {
    return kind_ == ValueKind::String ? stringValue_ : std::u16string_view();
  }
  std::string_view narrowStringValue() const override { return {}; }
  std::size_t binaryLength() const override { return kind_ == ValueKind::Binary ? binary_.size() : 0; }
  std::size_t readBinary(std::uint8_t* out, std::size_t size) override;

  bool openSection(std::u16string_view name, const SectionExtra& extra) override;
  bool closeSection() override;
  bool beginRecord(std::u16string_view name) override;
  bool endRecord() override { return true; }
  bool writeInt(ValueName name, std::int32_t v) override;
  bool writeUInt(ValueName name, std::uint32_t v) override;
  bool writeFloat(ValueName name, float v) override;
  bool writeDouble(ValueName name, double v) override;
  bool writeInt64(ValueName name, std::int64_t v) override;
  bool writeString(ValueName name, std::u16string_view v) override;
  bool writeWideString(ValueName, std::u16string_view) override { return false; }
  bool writeNarrowString(ValueName, std::string_view) override { return false; }
  bool beginBinary(ValueName name) override;
  bool writeBinaryData(const std::uint8_t* data, std::size_t size) override;
  bool endBinary() override;
  bool writeComment(std::u16string_view text) override;

 private:
  enum class ByteLine { Short, Long, End };
  ByteLine nextByteLine(std::string_view& line);
  void openDecoded(std::string_view bytes);
  bool nextLogicalLine();
  void openLine(std::u16string_view line);
  bool readLine(std::u16string_view& line);
  bool sectionOpenLine(std::u16string_view line, std::size_t at);
  bool sectionCloseLine(std::u16string_view line, std::size_t at);
  bool binaryBlock(std::u16string_view line, std::size_t at);
  // Over decoded text (char16_t) or over the undecoded bytes of a line (char).
  template <typename Char>
  bool valueLine(std::basic_string_view<Char> line, std::size_t at);
  bool valueNames(std::u16string_view part);
  bool valueNames(std::string_view part);
  void setString(std::u16string_view text) { stringValue_ = text; }
  void setString(std::string_view bytes);
  void splitName(std::u16string_view part);

  void indent();
  void valuePrefix(const char* tag, ValueName name);
  void endLine() { out_ += "\r\n"; }

  // Reader input: UTF-16 text, or file bytes. Value lines of a file are parsed in their
  // bytes, their names and strings decoded into nameBuffer_ and valueBuffer_ (each
  // kMaxLineRead long: such a line has no more bytes); other lines are decoded whole
  // into lineBuffer_.
  std::u16string_view text_;
  std::string_view bytes_;
  std::u16string decoded_;  // a UTF-16 file
  bool fromBytes_ = false;
  std::size_t pos_ = 0;
  std::u16string nameBuffer_, valueBuffer_;
  // The current decoded line without its line end, and how much of it was handed out.
  std::u16string lineBuffer_;
  std::u16string_view line_;
  bool lineHasEnd_ = false;
  bool lineOpen_ = false;
  std::size_t lineTaken_ = 0;

  // Reader state: open section names, the open block's names, the current token.
  std::vector<std::u16string> open_;
  std::u16string closedName_, blockRecord_, blockValueName_;
  std::u16string_view name_;
  ValueName valueName_;
  SectionExtra extra_;
  ValueKind kind_ = ValueKind::Empty;
  std::int64_t integer_ = 0;
  double real_ = 0;
  float single_ = 0;
  std::u16string_view stringValue_;
  std::vector<std::uint8_t> binary_;

  // Writer state: the output, the open section names, the current record and block.
  std::string out_;
  std::vector<std::u16string> sections_;
  std::u16string record_;
  bool inBlock_ = false;
  std::size_t blockBytes_ = 0;
};

// Loads file bytes (any accepted encoding) into root; the format has no syntax errors.
void loadText(std::string_view fileBytes, Section& root);
// The bytes of the file that holds root's children.
std::string saveText(const Section& root);

// False when the file cannot be read.
bool loadConfigFile(const std::filesystem::path& path, Section& root);
// Replaces the file through a temporary beside it, so that a failed save leaves the old
// file as it was; false when it cannot be created or written completely.
bool saveConfigFile(const std::filesystem::path& path, const Section& root);

}  // namespace orvanta::config
