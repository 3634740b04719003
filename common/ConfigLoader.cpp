// Loader and saver over the driver contract.
#include "common/ConfigLoader.h"

#include <utility>
#include <vector>

namespace orvanta::config {

namespace {

bool carries(std::uint32_t caps, ValueKind kind) {
  switch (kind) {
    case ValueKind::UInt: return (caps & kCarriesUInt) != 0;
    case ValueKind::WideString: return (caps & kCarriesWideString) != 0;
    case ValueKind::NarrowString: return (caps & kCarriesNarrowString) != 0;
    default: return true;
  }
}

Value readValue(ConfigDriver& d) {
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

void applyExtra(Section& s, const SectionExtra& e) {
  if (e.kind == SectionExtra::Kind::ClassName)
    s.setClassName(std::u16string(e.className));
  else if (e.kind == SectionExtra::Kind::Id)
    s.setId(e.id);
}

bool writeValue(ConfigDriver& d, const Value& v) {
  ValueName name;
  if (v.hasName()) name = v.name();
  switch (v.kind()) {
    case ValueKind::Int: return d.writeInt(name, v.intValue());
    case ValueKind::UInt: return d.writeUInt(name, v.uintValue());
    case ValueKind::Float: return d.writeFloat(name, v.floatValue());
    case ValueKind::Double: return d.writeDouble(name, v.doubleValue());
    case ValueKind::Int64: return d.writeInt64(name, v.int64Value());
    case ValueKind::String: return d.writeString(name, *v.text());
    case ValueKind::WideString: return d.writeWideString(name, *v.text());
    case ValueKind::NarrowString: return d.writeNarrowString(name, *v.narrowText());
    case ValueKind::Binary: {
      const auto& bytes = *v.bytes();
      return d.beginBinary(name) && d.writeBinaryData(bytes.data(), bytes.size()) && d.endBinary();
    }
    case ValueKind::Empty: break;
  }
  return true;
}

}  // namespace

bool loadSection(ConfigDriver& driver, Section& section, int limit) {
  const std::uint32_t caps = driver.capabilities();
  std::vector<Section*> open{&section};
  int loaded = 0;
  Section* recordIn = nullptr;
  Record* record = nullptr;
  for (;;) {
    switch (driver.next()) {
      case ConfigDriver::Token::End:
        return true;
      case ConfigDriver::Token::Error:
        return false;
      case ConfigDriver::Token::SectionOpen: {
        Section& child = open.back()->appendSection(driver.name());
        applyExtra(child, driver.extra());
        open.push_back(&child);
        break;
      }
      case ConfigDriver::Token::SectionClose:
        if (open.size() == 1) return true;  // the close of the section we were called in
        open.pop_back();
        if (open.size() == 1 && limit >= 0 && ++loaded >= limit) return true;
        break;
      case ConfigDriver::Token::RecordBegin:
        open.back()->getOrCreateRecord(driver.name());
        break;
      case ConfigDriver::Token::Value: {
        if (!carries(caps, driver.kind())) break;
        Value v = readValue(driver);
        if (v.isEmpty()) break;
        if (ValueName vn = driver.valueName()) v.setName(std::u16string(*vn));
        // Values of one record usually follow each other; the first record of a name
        // never changes, so the last one found can be reused without a lookup.
        if (recordIn != open.back() || !record || !equalsIgnoreCase(record->name(), driver.name())) {
          recordIn = open.back();
          record = recordIn->getOrCreateRecord(driver.name());
        }
        if (record) record->append(std::move(v));
        break;
      }
    }
  }
}

bool saveSection(ConfigDriver& driver, const Section& section) {
  const std::uint32_t caps = driver.capabilities();
  std::vector<std::pair<const Section*, std::size_t>> stack{{&section, 0}};
  while (!stack.empty()) {
    auto& [current, done] = stack.back();
    if (done == current->childCount()) {
      stack.pop_back();
      if (!stack.empty() && !driver.closeSection()) return false;
      continue;
    }
    const Node* node = current->child(++done);
    if (const Section* s = node->asSection()) {
      if (!driver.openSection(s->name(), SectionExtra::of(*s))) return false;
      stack.emplace_back(s, 0);  // invalidates current/done; the loop re-reads them
      continue;
    }
    const Record& r = *node->asRecord();
    if (!driver.beginRecord(r.name())) return false;
    for (const Value& v : r.values()) {
      if (v.isEmpty() || !carries(caps, v.kind())) continue;
      if (!writeValue(driver, v)) return false;
    }
    if (!driver.endRecord()) return false;
  }
  return true;
}

}  // namespace orvanta::config
