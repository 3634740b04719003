// Loader and saver over the driver contract.
#include "common/ConfigLoader.h"

#include <utility>
#include <vector>

namespace orvanta::config {

namespace {

using loader_detail::carries;

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
  return loadSectionFrom(driver, section, limit);
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
