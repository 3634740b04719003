// The configuration tree: sections (with an optional class name or numeric id) hold
// sections and records in order, records hold typed values. Every configuration
// driver loads into and saves from this tree; names compare ignoring case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/TextUtil.h"

namespace orvanta::config {

// The numbers are the kind codes every driver and the scripting layer use.
enum class ValueKind : std::uint8_t {
  Empty = 0,
  Binary = 5,
  Int = 6,
  Float = 7,
  String = 8,
  Double = 9,
  Int64 = 10,
  WideString = 17,
  NarrowString = 18,
  UInt = 21,
};

const char* kindName(ValueKind kind) noexcept;

// A value: an optional value name, a kind and its payload. Empty values (kind 0) are
// skipped by every saver and reader.
class Value {
 public:
  Value() = default;

  static Value ofInt(std::int32_t v) { return Value(ValueKind::Int, v); }
  static Value ofUInt(std::uint32_t v) { return Value(ValueKind::UInt, v); }
  static Value ofFloat(float v) { return Value(ValueKind::Float, v); }
  static Value ofDouble(double v) { return Value(ValueKind::Double, v); }
  static Value ofInt64(std::int64_t v) { return Value(ValueKind::Int64, v); }
  static Value ofString(std::u16string v) { return Value(ValueKind::String, std::move(v)); }
  static Value ofWideString(std::u16string v) { return Value(ValueKind::WideString, std::move(v)); }
  // Bytes in the system code page, kept as they are.
  static Value ofNarrowString(std::string v) { return Value(ValueKind::NarrowString, std::move(v)); }
  static Value ofBinary(std::vector<std::uint8_t> v) { return Value(ValueKind::Binary, std::move(v)); }

  Value&& named(std::u16string name) && {
    name_ = std::move(name);
    named_ = true;
    return std::move(*this);
  }
  void setName(std::u16string_view name) {
    name_.assign(name);
    named_ = true;
  }
  void clearName() {
    name_.clear();
    named_ = false;
  }

  ValueKind kind() const noexcept { return kind_; }
  bool isEmpty() const noexcept { return kind_ == ValueKind::Empty; }
  bool hasName() const noexcept { return named_; }
  // The value name; "" when unnamed.
  std::u16string_view name() const noexcept { return name_; }

  // Payload getters; each gives 0 or nothing when the value is of another kind.
  std::int32_t intValue() const noexcept { return get<std::int32_t>(ValueKind::Int); }
  std::uint32_t uintValue() const noexcept { return get<std::uint32_t>(ValueKind::UInt); }
  float floatValue() const noexcept { return get<float>(ValueKind::Float); }
  double doubleValue() const noexcept { return get<double>(ValueKind::Double); }
  std::int64_t int64Value() const noexcept { return get<std::int64_t>(ValueKind::Int64); }
  // The text of a String or WideString value.
  const std::u16string* text() const noexcept { return std::get_if<std::u16string>(&payload_); }
  const std::string* narrowText() const noexcept { return std::get_if<std::string>(&payload_); }
  const std::vector<std::uint8_t>* bytes() const noexcept {
    return std::get_if<std::vector<std::uint8_t>>(&payload_);
  }

 private:
  using Payload = std::variant<std::monostate, std::int32_t, std::uint32_t, float, double, std::int64_t,
                               std::u16string, std::string, std::vector<std::uint8_t>>;

  template <typename T>
  Value(ValueKind kind, T&& v) : kind_(kind), payload_(std::forward<T>(v)) {}

  template <typename T>
  T get(ValueKind kind) const noexcept {
    return kind_ == kind ? std::get<T>(payload_) : T{};
  }

  ValueKind kind_ = ValueKind::Empty;
  bool named_ = false;
  std::u16string name_;
  Payload payload_;
};

class Section;
class Record;

class Node {
 public:
  enum class Type { Section, Record };

  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  virtual ~Node() = default;

  Type type() const noexcept { return type_; }
  const std::u16string& name() const noexcept { return name_; }
  bool isSection() const noexcept { return type_ == Type::Section; }
  bool isRecord() const noexcept { return type_ == Type::Record; }
  Section* asSection() noexcept;
  const Section* asSection() const noexcept;
  Record* asRecord() noexcept;
  const Record* asRecord() const noexcept;

 protected:
  Node(Type type, std::u16string&& name) : type_(type), name_(std::move(name)) {}
  Node(Type type, std::u16string_view name) : type_(type), name_(name) {}

 private:
  Type type_;
  std::u16string name_;  // fixed for the node's life: the parent's index refers to it
};

class Record final : public Node {
 public:
  explicit Record(std::u16string name) : Node(Type::Record, std::move(name)) {}
  ~Record() override;

  // The shared empty record that failed lookups return.
  static const Record& emptyRecord() noexcept;
  bool isEmptyObject() const noexcept { return this == &emptyRecord(); }

  void append(Value&& value);
  void append(const Value& value) { append(Value(value)); }
  // Appends the value make() returns, made in place rather than moved in.
  template <typename Make>
  Value& appendMade(Make&& make) {
    if (count_ == capacity_) grow();
    Value* value = ::new (values_ + count_) Value(make());
    ++count_;
    return *value;
  }

  std::span<const Value> values() const noexcept { return {values_, count_}; }
  std::size_t count() const noexcept { return count_; }
  // 1-based; the empty value outside the range.
  const Value& at(std::size_t position) const noexcept;

  // The first value of the kind asked for; a value of another kind is never converted.
  const Value* firstOfKind(ValueKind kind) const noexcept;
  std::int32_t firstInt() const noexcept;
  std::uint32_t firstUInt() const noexcept;
  float firstFloat() const noexcept;
  double firstDouble() const noexcept;
  std::int64_t firstInt64() const noexcept;
  const std::u16string* firstString() const noexcept;
  const std::vector<std::uint8_t>* firstBinary() const noexcept;

  // The first value carrying that value name (ignoring case), or nullptr; through the
  // non-const form a value can be replaced in place.
  const Value* findNamed(std::u16string_view valueName) const noexcept;
  Value* findNamed(std::u16string_view valueName) noexcept;

 private:
  void grow();

  // Most records hold one or two values: those live in the record itself, which the
  // section places in its record blocks, so loading them allocates nothing.
  static constexpr std::uint32_t kInlineValues = 2;
  Value* values_ = inlineValues();
  std::uint32_t count_ = 0;
  std::uint32_t capacity_ = kInlineValues;
  alignas(Value) std::byte inline_[kInlineValues * sizeof(Value)];

  Value* inlineValues() noexcept { return reinterpret_cast<Value*>(inline_); }

  // Sections make their records with the name copied once, straight from the view.
  friend class Section;
  struct NamedBy {};
  Record(NamedBy, std::u16string_view name) : Node(Type::Record, name) {}
};

class Section final : public Node {
 public:
  explicit Section(std::u16string name = {});
  ~Section() override;

  // The shared empty section that failed lookups return.
  static const Section& emptySection() noexcept;
  bool isEmptyObject() const noexcept { return this == &emptySection(); }

  // Header extra: a class name or a numeric id, or neither.
  bool hasClassName() const noexcept { return std::holds_alternative<std::u16string>(extra_); }
  bool hasId() const noexcept { return std::holds_alternative<std::uint32_t>(extra_); }
  std::u16string_view className() const noexcept;
  std::uint32_t id() const noexcept;
  // An empty class name means no extra.
  void setClassName(std::u16string className);
  void setId(std::uint32_t id) { extra_ = id; }
  void clearExtra() { extra_ = std::monostate{}; }

  std::size_t childCount() const noexcept { return children_.size(); }
  // 1-based position of the first child of that name, 0 when there is none.
  std::size_t find(std::u16string_view name) const noexcept;
  // 1-based; nullptr outside the range.
  Node* child(std::size_t position) noexcept;
  const Node* child(std::size_t position) const noexcept;

  // The first child of that name if it is a record, else a new record appended when no
  // child has that name, else (a section of that name comes first) nullptr.
  Record* getOrCreateRecord(std::u16string_view name);
  // The same for sections.
  Section* getOrCreateSection(std::u16string_view name);
  // Always appends, so sections of one name may repeat.
  Section& appendSection(std::u16string_view name);
  // Get-or-create record recordName, then append the value; false when a section of
  // that name is in the way or the value is empty.
  bool addValue(std::u16string_view recordName, Value value);

  // Reader access: the first child of that name and kind, or the shared empty object.
  const Section& section(std::u16string_view name) const noexcept;
  const Record& record(std::u16string_view name) const noexcept;

 private:
  std::size_t find(std::u16string_view name, std::uint32_t hash) const noexcept;
  void appendChild(Node* node, std::uint32_t hash);
  void indexChild(std::uint32_t position, std::uint32_t hash);
  void reserveChild();
  Record* newRecord(std::u16string_view name);
  Section* newSection(std::u16string_view name);
  void* allocateNode(std::size_t size);
  void releaseChildren(std::vector<Section*>& sections) noexcept;

  std::variant<std::monostate, std::u16string, std::uint32_t> extra_;
  // Owned. Child sections and records are placed in the tree's node storage: one
  // store per tree, made by the section the tree was built from and shared by all its
  // sections, so that loading a large file takes a few large allocations rather than
  // several per section. Nodes are destroyed with their parent; the storage goes with
  // the tree.
  struct NodeStore;
  std::vector<Node*> children_;
  std::unique_ptr<NodeStore> ownStore_;  // the tree's root
  NodeStore* store_ = nullptr;           // the tree's, once a child was made
  // Open-addressing table of the first child of each name (slot: 1-based position and
  // the name's hash), built once a section has a few children, so that loading large
  // sections stays linear. At most half full.
  struct Slot {
    std::uint32_t position = 0;  // 0: free
    std::uint32_t hash = 0;
  };
  std::vector<Slot> index_;
  std::size_t indexed_ = 0;
};

}  // namespace orvanta::config
