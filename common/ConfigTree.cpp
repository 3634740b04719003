// Tree operations. Sections are destroyed without recursion, so that a tree nested as
// deep as a hostile file can make it is freed without exhausting the stack.
#include "common/ConfigTree.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

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

Record::~Record() {
  std::destroy_n(values_, count_);
  if (values_ != inlineValues()) ::operator delete(values_);
}

void Record::append(Value&& value) {
  if (count_ == capacity_) {
    Value taken(std::move(value));  // value may be one of ours, which growing moves
    grow();
    ::new (values_ + count_) Value(std::move(taken));
  } else {
    ::new (values_ + count_) Value(std::move(value));
  }
  ++count_;
}

// Doubles the room; values move over (moving a value cannot throw).
void Record::grow() {
  static_assert(std::is_nothrow_move_constructible_v<Value>);
  static_assert(alignof(Value) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
  if (capacity_ > std::numeric_limits<std::uint32_t>::max() / 2) throw std::bad_alloc();
  const std::uint32_t capacity = 2 * capacity_;
  Value* moved = static_cast<Value*>(::operator new(capacity * sizeof(Value)));
  std::uninitialized_move_n(values_, count_, moved);
  std::destroy_n(values_, count_);
  if (values_ != inlineValues()) ::operator delete(values_);
  values_ = moved;
  capacity_ = capacity;
}

const Value& Record::at(std::size_t position) const noexcept {
  static const Value empty;
  return (position >= 1 && position <= count_) ? values_[position - 1] : empty;
}

const Value* Record::firstOfKind(ValueKind kind) const noexcept {
  for (const Value& v : values())
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

const Value* Record::findNamed(std::u16string_view valueName) const noexcept {
  for (const Value& v : values())
    if (v.hasName() && equalsIgnoreCase(v.name(), valueName)) return &v;
  return nullptr;
}
Value* Record::findNamed(std::u16string_view valueName) noexcept {
  return const_cast<Value*>(static_cast<const Record*>(this)->findNamed(valueName));
}

// Section

// Bump storage for the nodes of one tree. Chunks grow from a size that suits a small
// tree up to a fixed size, so a large tree is a run of equal allocations.
struct Section::NodeStore {
  static constexpr std::size_t kAlign = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
  static constexpr std::size_t kFirstChunk = 2048;
  static constexpr std::size_t kLargestChunk = 65536;

  void* allocate(std::size_t size) {
    size = (size + kAlign - 1) & ~(kAlign - 1);
    if (size > left) {
      const std::size_t chunk = std::max(size, nextChunk);
      std::unique_ptr<std::byte[]> block(new std::byte[chunk]);
      chunks.push_back(std::move(block));
      top = chunks.back().get();
      left = chunk;
      nextChunk = std::min(2 * nextChunk, kLargestChunk);
    }
    void* p = top;
    top += size;
    left -= size;
    return p;
  }

  std::vector<std::unique_ptr<std::byte[]>> chunks;
  std::byte* top = nullptr;  // the free part of the newest chunk
  std::size_t left = 0;
  std::size_t nextChunk = kFirstChunk;
};

Section::Section(std::u16string name) : Node(Type::Section, std::move(name)) {}

Section::~Section() {
  std::vector<Section*> pending;
  releaseChildren(pending);
  while (!pending.empty()) {
    Section* s = pending.back();
    pending.pop_back();
    s->releaseChildren(pending);
    s->~Section();  // its storage is the tree's
  }
}

// Destroys the child records in place (they are leaves) and hands the child sections
// over to the caller, so that no destructor recurses.
void Section::releaseChildren(std::vector<Section*>& sections) noexcept {
  for (Node* node : children_) {
    if (Section* s = node->asSection())
      sections.push_back(s);
    else
      static_cast<Record*>(node)->~Record();
  }
  children_.clear();
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

namespace {
std::uint32_t nameHash(std::u16string_view name) { return static_cast<std::uint32_t>(hashIgnoreCase(name)); }
}  // namespace

std::size_t Section::find(std::u16string_view name) const noexcept {
  return find(name, index_.empty() ? 0 : nameHash(name));
}

std::size_t Section::find(std::u16string_view name, std::uint32_t hash) const noexcept {
  if (index_.empty()) {
    for (std::size_t i = 0; i < children_.size(); ++i)
      if (equalsIgnoreCase(children_[i]->name(), name)) return i + 1;
    return 0;
  }
  const std::size_t mask = index_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = index_[i];
    if (slot.position == 0) return 0;
    if (slot.hash == hash && equalsIgnoreCase(children_[slot.position - 1]->name(), name)) return slot.position;
  }
}

// Adds the child at that 1-based position unless an earlier child has its name.
void Section::indexChild(std::uint32_t position, std::uint32_t hash) {
  const std::u16string& name = children_[position - 1]->name();
  const std::size_t mask = index_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& slot = index_[i];
    if (slot.position == 0) {
      slot = {position, hash};
      ++indexed_;
      return;
    }
    if (slot.hash == hash && equalsIgnoreCase(children_[slot.position - 1]->name(), name)) return;
  }
}

Node* Section::child(std::size_t position) noexcept {
  return (position >= 1 && position <= children_.size()) ? children_[position - 1] : nullptr;
}

const Node* Section::child(std::size_t position) const noexcept {
  return (position >= 1 && position <= children_.size()) ? children_[position - 1] : nullptr;
}

// Room for one more child, so that a child once made can always be added.
void Section::reserveChild() {
  if (children_.size() == children_.capacity()) children_.reserve(std::max<std::size_t>(4, 2 * children_.size()));
}

// Storage for a child node, from the tree's store (made here when this section is the
// root of a tree that had no child yet).
void* Section::allocateNode(std::size_t size) {
  static_assert(alignof(Record) <= NodeStore::kAlign && alignof(Section) <= NodeStore::kAlign);
  if (!store_) {
    ownStore_ = std::make_unique<NodeStore>();
    store_ = ownStore_.get();
  }
  return store_->allocate(size);
}

Record* Section::newRecord(std::u16string_view name) {
  return ::new (allocateNode(sizeof(Record))) Record(Record::NamedBy{}, name);
}

Section* Section::newSection(std::u16string_view name) {
  Section* section = ::new (allocateNode(sizeof(Section))) Section(std::u16string(name));
  section->store_ = store_;
  return section;
}

// hash is the name's hash once the section is indexed, else unused.
// The caller has made room for one more child, so the push cannot fail.
void Section::appendChild(Node* node, std::uint32_t hash) {
  children_.push_back(node);
  const auto count = static_cast<std::uint32_t>(children_.size());
  if (count < kIndexFrom) return;
  if (index_.empty()) {
    index_.assign(4 * kIndexFrom, Slot{});
    for (std::uint32_t i = 1; i <= count; ++i) indexChild(i, nameHash(children_[i - 1]->name()));
    return;
  }
  if (2 * (indexed_ + 1) > index_.size()) {
    // The entries are distinct already: move them over by their stored hashes.
    std::vector<Slot> old(2 * index_.size());
    old.swap(index_);
    const std::size_t mask = index_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position == 0) continue;
      std::size_t i = slot.hash & mask;
      while (index_[i].position != 0) i = (i + 1) & mask;
      index_[i] = slot;
    }
  }
  indexChild(count, hash);
}

Record* Section::getOrCreateRecord(std::u16string_view name) {
  const std::uint32_t hash = index_.empty() ? 0 : nameHash(name);
  if (std::size_t pos = find(name, hash)) return children_[pos - 1]->asRecord();
  reserveChild();
  Record* record = newRecord(name);
  appendChild(record, hash);
  return record;
}

Section* Section::getOrCreateSection(std::u16string_view name) {
  const std::uint32_t hash = index_.empty() ? 0 : nameHash(name);
  if (std::size_t pos = find(name, hash)) return children_[pos - 1]->asSection();
  reserveChild();
  Section* section = newSection(name);
  appendChild(section, hash);
  return section;
}

Section& Section::appendSection(std::u16string_view name) {
  const std::uint32_t hash = index_.empty() ? 0 : nameHash(name);
  reserveChild();
  Section* section = newSection(name);
  appendChild(section, hash);
  return *section;
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
