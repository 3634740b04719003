// The contract between the loader/saver and a storage driver (text file, registry
// branch, binary stream). The read side yields tokens; the write side takes the tree
// in saver order. A driver states in its capability word which optional kinds it carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ConfigTree.h"

namespace orvanta::config {

// Capability bits the loader and saver consult; values of a kind whose bit is clear
// are skipped on save and never produced on load.
inline constexpr std::uint32_t kCarriesUInt = 0x400;
inline constexpr std::uint32_t kCarriesWideString = 0x800;
inline constexpr std::uint32_t kCarriesNarrowString = 0x1000;

// A section's header extra as a driver reads or writes it.
struct SectionExtra {
  enum class Kind { None, ClassName, Id };
  Kind kind = Kind::None;
  std::u16string_view className;
  std::uint32_t id = 0;

  static SectionExtra of(const Section& s) noexcept {
    SectionExtra e;
    if (s.hasClassName()) {
      e.kind = Kind::ClassName;
      e.className = s.className();
    } else if (s.hasId()) {
      e.kind = Kind::Id;
      e.id = s.id();
    }
    return e;
  }
};

using ValueName = std::optional<std::u16string_view>;

class ConfigDriver {
 public:
  enum class Token {
    End,           // no more input
    Error,         // malformed input the driver cannot continue past: the load fails
    SectionOpen,   // name(), extra()
    SectionClose,  // closes the innermost section the driver opened
    RecordBegin,   // name(): drivers that frame records announce them, so empty records survive
    Value,         // name() is the record name, valueName(), kind() and the payload getters
  };

  ConfigDriver() = default;
  ConfigDriver(const ConfigDriver&) = delete;
  ConfigDriver& operator=(const ConfigDriver&) = delete;
  virtual ~ConfigDriver() = default;

  virtual std::uint32_t capabilities() const noexcept = 0;

  // Read side. The views stay valid until the next call of next().
  virtual Token next() = 0;
  virtual std::u16string_view name() const = 0;
  virtual ValueName valueName() const = 0;
  virtual SectionExtra extra() const = 0;
  virtual ValueKind kind() const = 0;
  virtual std::int32_t intValue() const = 0;
  virtual std::uint32_t uintValue() const = 0;
  virtual float floatValue() const = 0;
  virtual double doubleValue() const = 0;
  virtual std::int64_t int64Value() const = 0;
  // String and WideString values.
  virtual std::u16string_view stringValue() const = 0;
  virtual std::string_view narrowStringValue() const = 0;
  virtual std::size_t binaryLength() const = 0;
  // Copies up to size bytes of the binary value from its start; returns the count.
  virtual std::size_t readBinary(std::uint8_t* out, std::size_t size) = 0;

  // Write side. Each call returns false when the storage refuses it; the saver stops.
  virtual bool openSection(std::u16string_view name, const SectionExtra& extra) = 0;
  virtual bool closeSection() = 0;
  virtual bool beginRecord(std::u16string_view name) = 0;
  virtual bool endRecord() = 0;
  // Values belong to the record opened by beginRecord.
  virtual bool writeInt(ValueName name, std::int32_t v) = 0;
  virtual bool writeUInt(ValueName name, std::uint32_t v) = 0;
  virtual bool writeFloat(ValueName name, float v) = 0;
  virtual bool writeDouble(ValueName name, double v) = 0;
  virtual bool writeInt64(ValueName name, std::int64_t v) = 0;
  virtual bool writeString(ValueName name, std::u16string_view v) = 0;
  virtual bool writeWideString(ValueName name, std::u16string_view v) = 0;
  virtual bool writeNarrowString(ValueName name, std::string_view v) = 0;
  virtual bool beginBinary(ValueName name) = 0;
  virtual bool writeBinaryData(const std::uint8_t* data, std::size_t size) = 0;
  virtual bool endBinary() = 0;
  virtual bool writeComment(std::u16string_view text) = 0;
};

}  // namespace orvanta::config
