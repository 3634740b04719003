// Compares two configuration trees as the text format preserves them: floats to six
// decimals, doubles to six significant digits, and a uint equal to an int of the same
// 32 bits. Used by the tests and the fuzzer.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/ConfigTree.h"
#include "common/TextUtil.h"

namespace orvanta::config::testing {

inline bool closeEnough(double a, double b, double absolute, double relative) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (a == b) return true;
  if (std::isinf(a) || std::isinf(b)) return false;
  return std::fabs(a - b) <= absolute + relative * std::max(std::fabs(a), std::fabs(b));
}

// exact: kinds must match and numbers keep their bits (the binary stream's promise).
inline bool sameValue(const Value& a, const Value& b, bool exact = false) {
  if (a.hasName() != b.hasName() || a.name() != b.name()) return false;
  if (exact) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
      case ValueKind::Float: {
        float x = a.floatValue(), y = b.floatValue();
        return std::memcmp(&x, &y, sizeof x) == 0;
      }
      case ValueKind::Double: {
        double x = a.doubleValue(), y = b.doubleValue();
        return std::memcmp(&x, &y, sizeof x) == 0;
      }
      case ValueKind::UInt: return a.uintValue() == b.uintValue();
      case ValueKind::Int: return a.intValue() == b.intValue();
      default: break;
    }
  }
  auto bits32 = [](const Value& v) -> std::int64_t {
    if (v.kind() == ValueKind::Int) return static_cast<std::uint32_t>(v.intValue());
    if (v.kind() == ValueKind::UInt) return v.uintValue();
    return -1;
  };
  if (bits32(a) >= 0 || bits32(b) >= 0) return bits32(a) == bits32(b);
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case ValueKind::Float: return closeEnough(a.floatValue(), b.floatValue(), 1e-6, 1e-6);
    case ValueKind::Double: return closeEnough(a.doubleValue(), b.doubleValue(), 0, 1e-5);
    case ValueKind::Int64: return a.int64Value() == b.int64Value();
    case ValueKind::String:
    case ValueKind::WideString: return *a.text() == *b.text();
    case ValueKind::NarrowString: return *a.narrowText() == *b.narrowText();
    case ValueKind::Binary: return *a.bytes() == *b.bytes();
    default: return true;
  }
}

// "" when the trees match, else where they first differ.
inline std::string treeDifference(const Section& a, const Section& b, bool exact = false) {
  std::vector<std::pair<const Section*, const Section*>> pending{{&a, &b}};
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    const std::string where = "section '" + toUtf8(x->name()) + "'";
    if (x->name() != y->name()) return where + " renamed to '" + toUtf8(y->name()) + "'";
    if (x->hasClassName() != y->hasClassName() || x->className() != y->className() ||
        x->hasId() != y->hasId() || x->id() != y->id())
      return where + ": header extra differs";
    if (x->childCount() != y->childCount())
      return where + ": " + std::to_string(x->childCount()) + " children vs " + std::to_string(y->childCount());
    for (std::size_t i = 1; i <= x->childCount(); ++i) {
      const Node* p = x->child(i);
      const Node* q = y->child(i);
      if (p->type() != q->type() || p->name() != q->name())
        return where + ": child " + std::to_string(i) + " '" + toUtf8(p->name()) + "' vs '" + toUtf8(q->name()) + "'";
      if (p->isSection()) {
        pending.emplace_back(p->asSection(), q->asSection());
        continue;
      }
      const Record& r = *p->asRecord();
      const Record& s = *q->asRecord();
      if (r.count() != s.count()) return where + ": record '" + toUtf8(r.name()) + "' value count differs";
      for (std::size_t k = 1; k <= r.count(); ++k)
        if (!sameValue(r.at(k), s.at(k), exact))
          return where + ": record '" + toUtf8(r.name()) + "' value " + std::to_string(k) + " differs";
    }
  }
  return {};
}

}  // namespace orvanta::config::testing
