// The registry configuration driver: a registry branch as a configuration tree. Sections
// are subkeys (a class name goes into the key's default value), each record is one
// registry value named after it (every value of a record is written to that one name,
// so the last one stays), and the value types map to the tree's kinds both ways:
//   int REG_DWORD, int64 REG_QWORD, string REG_SZ (REG_EXPAND_SZ and REG_MULTI_SZ read as
//   strings too), binary REG_BINARY; float and double are not written.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/ConfigDriver.h"
#include "common/ConfigTree.h"
#include "components/module/Raii.h"

namespace orv {

class RegistryConfigDriver final : public orvanta::config::ConfigDriver {
 public:
  // None of uint, wide and narrow strings.
  static constexpr std::uint32_t kCapabilities = 0x00F;
  // Key and value names are read into buffers of this many characters; longer ones are
  // passed over.
  static constexpr DWORD kNameChars = 260;
  // The largest binary value written.
  static constexpr std::size_t kMaxBinary = 1048576;
  static constexpr std::size_t kBinaryStep = 4096;

  // Over an open key (borrowed), to read it or to write into it.
  explicit RegistryConfigDriver(HKEY key);

  std::uint32_t capabilities() const noexcept override { return kCapabilities; }

  Token next() override;
  std::u16string_view name() const override { return name_; }
  orvanta::config::ValueName valueName() const override { return std::nullopt; }
  orvanta::config::SectionExtra extra() const override { return {}; }
  orvanta::config::ValueKind kind() const override { return kind_; }
  std::int32_t intValue() const override;
  std::uint32_t uintValue() const override { return 0; }
  float floatValue() const override { return 0; }
  double doubleValue() const override { return 0; }
  std::int64_t int64Value() const override;
  std::u16string_view stringValue() const override;
  std::string_view narrowStringValue() const override { return {}; }
  std::size_t binaryLength() const override;
  std::size_t readBinary(std::uint8_t* out, std::size_t size) override;

  bool openSection(std::u16string_view name, const orvanta::config::SectionExtra& extra) override;
  bool closeSection() override;
  bool beginRecord(std::u16string_view name) override;
  bool endRecord() override { return true; }
  bool writeInt(orvanta::config::ValueName, std::int32_t v) override;
  bool writeUInt(orvanta::config::ValueName, std::uint32_t) override { return true; }
  bool writeFloat(orvanta::config::ValueName, float) override { return true; }
  bool writeDouble(orvanta::config::ValueName, double) override { return true; }
  bool writeInt64(orvanta::config::ValueName, std::int64_t v) override;
  bool writeString(orvanta::config::ValueName, std::u16string_view v) override;
  bool writeWideString(orvanta::config::ValueName, std::u16string_view) override { return true; }
  bool writeNarrowString(orvanta::config::ValueName, std::string_view) override { return true; }
  bool beginBinary(orvanta::config::ValueName) override;
  bool writeBinaryData(const std::uint8_t* data, std::size_t size) override;
  bool endBinary() override;
  bool writeComment(std::u16string_view) override { return true; }

 private:
  struct Frame {
    UniqueRegKey owned;  // null for the caller's key
    HKEY key = nullptr;
    DWORD nextValue = 0;
    DWORD nextSubkey = 0;
    bool valuesDone = false;
  };
  HKEY current() const noexcept { return frames_.back().key; }
  bool readValueAt(Frame& frame);
  bool setValue(DWORD type, const void* data, std::size_t size);

  std::vector<Frame> frames_;
  std::u16string name_;
  orvanta::config::ValueKind kind_ = orvanta::config::ValueKind::Empty;
  std::vector<BYTE> data_;
  std::u16string text_;
  std::u16string record_;
  bool inBinary_ = false;
};

// Whether the tree can be stored in the registry as a whole: every section name is a
// single key name (not empty, no backslash, at most 255 characters) and no binary value
// is larger than kMaxBinary. Checked before anything is written.
bool FitsRegistry(const orvanta::config::Section& root) noexcept;

// The key a branch number names: 0 HKEY_CLASSES_ROOT, 2 HKEY_LOCAL_MACHINE, 3 HKEY_USERS,
// any other HKEY_CURRENT_USER.
HKEY RegistryBranch(LONG branch) noexcept;

}  // namespace orv
