// The loader and the saver: they move a configuration tree through any driver. Both
// walk the tree with an explicit stack, so nesting depth is bounded only by memory.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/ConfigDriver.h"
#include "common/ConfigTree.h"

namespace orvanta::config {

inline constexpr int kNoLimit = -1;

// Reads tokens into section until the end of input, or until the close of the section
// the driver is in when called. With limit >= 0, returns once that many child sections
// have been read completely. False when the driver reports an error; what was read
// before stays in the tree.
bool loadSection(ConfigDriver& driver, Section& section, int limit = kNoLimit);

// The same loader over a driver's own type. Given a final driver class, its calls are
// bound directly (and the small ones inlined) instead of several virtual calls per
// value; loadSection is this over the contract.
template <typename Driver>
bool loadSectionFrom(Driver& driver, Section& section, int limit = kNoLimit);

namespace loader_detail {

inline bool carries(std::uint32_t caps, ValueKind kind) noexcept {
  switch (kind) {
    case ValueKind::UInt: return (caps & kCarriesUInt) != 0;
    case ValueKind::WideString: return (caps & kCarriesWideString) != 0;
    case ValueKind::NarrowString: return (caps & kCarriesNarrowString) != 0;
    default: return true;
  }
}

template <typename Driver>
Value readValue(Driver& d) {
  switch (d.kind()) {
    case ValueKind::Int: return Value::ofInt(d.intValue());
    case ValueKind::UInt: return Value::ofUInt(d.uintValue());
    case ValueKind::Float: return Value::ofFloat(d.floatValue());
    case ValueKind::Double: return Value::ofDouble(d.doubleValue());
    case ValueKind::Int64: return Value::ofInt64(d.int64Value());
    case ValueKind::String: return Value::ofString(std::u16string(d.stringValue()));
    case ValueKind::WideString: return Value::ofWideString(std::u16string(d.stringValue()));
    case ValueKind::NarrowString: return Value::ofNarrowString(std::string(d.narrowStringValue()));
    case ValueKind::Binary: {
      std::vector<std::uint8_t> bytes(d.binaryLength());
      bytes.resize(d.readBinary(bytes.data(), bytes.size()));
      return Value::ofBinary(std::move(bytes));
    }
    case ValueKind::Empty: break;
  }
  return Value();
}

inline void applyExtra(Section& s, const SectionExtra& e) {
  if (e.kind == SectionExtra::Kind::ClassName)
    s.setClassName(std::u16string(e.className));
  else if (e.kind == SectionExtra::Kind::Id)
    s.setId(e.id);
}

}  // namespace loader_detail

template <typename Driver>
bool loadSectionFrom(Driver& driver, Section& section, int limit) {
  using Token = ConfigDriver::Token;
  const std::uint32_t caps = driver.capabilities();
  std::vector<Section*> open{&section};
  int loaded = 0;
  Section* recordIn = nullptr;
  Record* record = nullptr;
  for (;;) {
    switch (driver.next()) {
      case Token::End:
        return true;
      case Token::Error:
        return false;
      case Token::SectionOpen: {
        Section& child = open.back()->appendSection(driver.name());
        loader_detail::applyExtra(child, driver.extra());
        open.push_back(&child);
        break;
      }
      case Token::SectionClose:
        if (open.size() == 1) return true;  // the close of the section we were called in
        open.pop_back();
        if (open.size() == 1 && limit >= 0 && ++loaded >= limit) return true;
        break;
      case Token::RecordBegin:
        open.back()->getOrCreateRecord(driver.name());
        break;
      case Token::Value: {
        const ValueKind kind = driver.kind();
        if (kind == ValueKind::Empty || !loader_detail::carries(caps, kind)) break;
        // Values of one record usually follow each other; the first record of a name
        // never changes, so the last one found can be reused without a lookup.
        if (recordIn != open.back() || !record || !equalsIgnoreCase(record->name(), driver.name())) {
          recordIn = open.back();
          record = recordIn->getOrCreateRecord(driver.name());
        }
        if (!record) break;  // a section has the name
        Value& v = record->appendMade([&] { return loader_detail::readValue(driver); });
        if (ValueName vn = driver.valueName()) v.setName(*vn);
        break;
      }
    }
  }
}

// Writes the children of section (not its own header) in order. Empty values and the
// kinds the driver does not carry are skipped. False when a driver call fails.
bool saveSection(ConfigDriver& driver, const Section& section);

}  // namespace orvanta::config
