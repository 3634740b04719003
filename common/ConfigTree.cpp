// Tree operations. Sections are destroyed without recursion, so that a tree nested as
// deep as a hostile file can make it is freed without exhausting the stack.
#include "common/ConfigTree.h"

namespace orvanta::config {

namespace {
constexpr std::size_t kIndexFrom = 8;  // children before a section builds its name index
}

const char* kindName(ValueKind kind) noexcept {
  switch (kind) {
    case ValueKind::Binary: return "binary";
    case ValueKind::Int: return "int";
    case ValueKind::Float: return "float";
    case ValueKind::String: return "string";
    case ValueKind::Double: return "double";
    case ValueKind::Int64: return "int64";
    case ValueKind::WideString: return "wstring";
    case ValueKind::NarrowString: return "nstring";
    case ValueKind::UInt: return "uint";
    case ValueKind::Empty: break;
  }
  return "empty";
}

Section* Node::asSection() noexcept { return isSection() ? static_cast<Section*>(this) : nullptr; }
const Section* Node::asSection() const noexcept {
  return isSection() ? static_cast<const Section*>(this) : nullptr;
}
Record* Node::asRecord() noexcept { return isRecord() ? static_cast<Record*>(this) : nullptr; }
const Record* Node::asRecord() const noexcept { return isRecord() ? static_cast<const Record*>(this) : nullptr; }

// Record

const Record& Record::emptyRecord() noexcept {
  static const Record empty{std::u16string()};
  return empty;
}

const Value& Record::at(std::size_t position) const noexcept {
  static const Value empty;
  return (position >= 1 && position <= values_.size()) ? values_[position - 1] : empty;
}

const Value* Record::firstOfKind(ValueKind kind) const noexcept {
  for (const Value& v : values_)
    if (v.kind() == kind) return &v;
  return nullptr;
}

std::int32_t Record::firstInt() const noexcept {
  const Value* v = firstOfKind(ValueKind::Int);
  return v ? v->intValue() : 0;
}
std::uint32_t Record::firstUInt() const noexcept {
  const Value* v = firstOfKind(ValueKind::UInt);
  return v ? v->uintValue() : 0;
}
float Record::firstFloat() const noexcept {
  const Value* v = firstOfKind(ValueKind::Float);
  return v ? v->floatValue() : 0.0f;
}
double Record::firstDouble() const noexcept {
  const Value* v = firstOfKind(ValueKind::Double);
  return v ? v->doubleValue() : 0.0;
}
std::int64_t Record::firstInt64() const noexcept {
  const Value* v = firstOfKind(ValueKind::Int64);
  return v ? v->int64Value() : 0;
}
const std::u16string* Record::firstString() const noexcept {
  const Value* v = firstOfKind(ValueKind::String);
  return v ? v->text() : nullptr;
}
const std::vector<std::uint8_t>* Record::firstBinary() const noexcept {
  const Value* v = firstOfKind(ValueKind::Binary);
  return v ? v->bytes() : nullptr;
}

// Section

Section::~Section() {
  index_.clear();
  std::vector<std::unique_ptr<Node>> pending = std::move(children_);
  children_.clear();
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    if (Section* s = node->asSection()) {
      s->index_.clear();
      for (auto& c : s->children_) pending.push_back(std::move(c));
      s->children_.clear();
    }
  }
}

const Section& Section::emptySection() noexcept {
  static const Section empty;
  return empty;
}

std::u16string_view Section::className() const noexcept {
  const auto* s = std::get_if<std::u16string>(&extra_);
  return s ? std::u16string_view(*s) : std::u16string_view();
}

std::uint32_t Section::id() const noexcept {
  const auto* v = std::get_if<std::uint32_t>(&extra_);
  return v ? *v : 0;
}

void Section::setClassName(std::u16string className) {
  if (className.empty())
    extra_ = std::monostate{};
  else
    extra_ = std::move(className);
}

std::size_t Section::find(std::u16string_view name) const noexcept {
  if (children_.size() >= kIndexFrom) {
    auto it = index_.find(name);
    return it == index_.end() ? 0 : it->second + 1;
  }
  for (std::size_t i = 0; i < children_.size(); ++i)
    if (equalsIgnoreCase(children_[i]->name(), name)) return i + 1;
  return 0;
}

Node* Section::child(std::size_t position) noexcept {
  return (position >= 1 && position <= children_.size()) ? children_[position - 1].get() : nullptr;
}

const Node* Section::child(std::size_t position) const noexcept {
  return (position >= 1 && position <= children_.size()) ? children_[position - 1].get() : nullptr;
}

void Section::appendChild(std::unique_ptr<Node> node) {
  children_.push_back(std::move(node));
  if (children_.size() == kIndexFrom) {
    index_.reserve(2 * kIndexFrom);
    for (std::size_t i = 0; i < children_.size(); ++i) index_.emplace(children_[i]->name(), i);
  } else if (children_.size() > kIndexFrom) {
    index_.emplace(children_.back()->name(), children_.size() - 1);  // keeps an earlier match
  }
}

Record* Section::getOrCreateRecord(std::u16string_view name) {
  if (std::size_t pos = find(name)) return children_[pos - 1]->asRecord();
  auto record = std::make_unique<Record>(std::u16string(name));
  Record* result = record.get();
  appendChild(std::move(record));
  return result;
}

Section* Section::getOrCreateSection(std::u16string_view name) {
  if (std::size_t pos = find(name)) return children_[pos - 1]->asSection();
  return &appendSection(name);
}

Section& Section::appendSection(std::u16string_view name) {
  auto section = std::make_unique<Section>(std::u16string(name));
  Section& result = *section;
  appendChild(std::move(section));
  return result;
}

bool Section::addValue(std::u16string_view recordName, Value value) {
  if (value.isEmpty()) return false;
  Record* record = getOrCreateRecord(recordName);
  if (!record) return false;
  record->append(std::move(value));
  return true;
}

const Section& Section::section(std::u16string_view name) const noexcept {
  std::size_t pos = find(name);
  const Section* s = pos ? children_[pos - 1]->asSection() : nullptr;
  return s ? *s : emptySection();
}

const Record& Section::record(std::u16string_view name) const noexcept {
  std::size_t pos = find(name);
  const Record* r = pos ? children_[pos - 1]->asRecord() : nullptr;
  return r ? *r : Record::emptyRecord();
}

}  // namespace orvanta::config
