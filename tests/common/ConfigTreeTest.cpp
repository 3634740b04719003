// The configuration tree, its reader access, and the loader and saver over a scripted
// driver (the contract the registry and binary-stream drivers rely on).
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "common/ConfigDriver.h"
#include "common/ConfigLoader.h"
#include "common/ConfigTree.h"

namespace orvanta::config {
namespace {

TEST(ConfigTree, FindsFirstChildOfANameIgnoringCase) {
  for (int extra : {0, 30}) {  // small sections scan, larger ones use the name index
    Section root;
    for (int i = 0; i < extra; ++i) root.appendSection(u"pad" + asciiToUtf16(std::to_string(i)));
    Record* a = root.getOrCreateRecord(u"Alpha");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(root.getOrCreateRecord(u"ALPHA"), a);
    Section& s1 = root.appendSection(u"Win");
    Section& s2 = root.appendSection(u"win");
    EXPECT_NE(&s1, &s2);
    EXPECT_EQ(root.getOrCreateSection(u"WIN"), &s1);
    EXPECT_EQ(root.getOrCreateRecord(u"win"), nullptr);  // a section has the name
    EXPECT_EQ(root.getOrCreateSection(u"alpha"), nullptr);
    EXPECT_EQ(root.find(u"wIn"), static_cast<std::size_t>(extra + 2));
    EXPECT_EQ(root.find(u"nothing"), 0u);
    EXPECT_TRUE(root.addValue(u"alpha", Value::ofInt(1)));
    EXPECT_FALSE(root.addValue(u"WIN", Value::ofInt(1)));
    EXPECT_FALSE(root.addValue(u"new", Value()));
    EXPECT_EQ(root.find(u"new"), 0u);  // an empty value creates no record
    EXPECT_EQ(root.childCount(), static_cast<std::size_t>(extra + 3));
    EXPECT_EQ(a->count(), 1u);
  }
}

TEST(ConfigTree, FailedLookupsGiveTheSharedEmptyObjects) {
  Section root;
  root.appendSection(u"S").addValue(u"r", Value::ofInt(7));
  root.addValue(u"R", Value::ofInt(1));
  const Section& croot = root;
  EXPECT_FALSE(croot.section(u"s").isEmptyObject());
  EXPECT_EQ(croot.section(u"s").record(u"R").firstInt(), 7);
  const Section& missing = croot.section(u"nope");
  EXPECT_TRUE(missing.isEmptyObject());
  EXPECT_TRUE(croot.section(u"R").isEmptyObject());  // a record, not a section
  EXPECT_TRUE(croot.record(u"S").isEmptyObject());
  EXPECT_EQ(missing.childCount(), 0u);
  EXPECT_TRUE(missing.section(u"x").record(u"y").isEmptyObject());
  EXPECT_EQ(missing.record(u"y").count(), 0u);
  EXPECT_EQ(missing.record(u"y").firstString(), nullptr);
  EXPECT_TRUE(croot.record(u"R").at(0).isEmpty());
  EXPECT_TRUE(croot.record(u"R").at(2).isEmpty());
  EXPECT_EQ(croot.record(u"R").at(1).intValue(), 1);
}

TEST(ConfigTree, KindGettersTakeTheFirstValueOfTheirKindWithoutConverting) {
  Record r(u"r");
  r.append(Value::ofString(u"5"));
  r.append(Value::ofDouble(2.5));
  r.append(Value::ofUInt(9).named(u"u"));
  r.append(Value::ofInt(-3));
  r.append(Value::ofInt(4));
  EXPECT_EQ(r.firstInt(), -3);
  EXPECT_EQ(r.firstUInt(), 9u);
  EXPECT_EQ(r.firstDouble(), 2.5);
  EXPECT_EQ(r.firstFloat(), 0.0f);
  EXPECT_EQ(r.firstInt64(), 0);
  EXPECT_EQ(r.firstBinary(), nullptr);
  ASSERT_NE(r.firstString(), nullptr);
  EXPECT_EQ(*r.firstString(), u"5");
  EXPECT_EQ(r.at(3).name(), u"u");
  EXPECT_EQ(r.at(1).intValue(), 0);  // a string is never read as a number
}

TEST(ConfigTree, FindNamedSkipsUnnamedValuesAndAllowsReplacement) {
  Record r(u"");
  r.append(Value::ofString(u"x"));
  r.append(Value::ofString(u"a").named(u"Name"));
  r.append(Value::ofString(u"b").named(u"name"));
  EXPECT_EQ(r.findNamed(u"other"), nullptr);
  EXPECT_EQ(r.findNamed(u""), nullptr);  // unnamed values have no name to find
  Value* v = r.findNamed(u"NAME");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(*v->text(), u"a");
  *v = Value::ofString(u"c").named(u"NAME");
  EXPECT_EQ(r.count(), 3u);
  EXPECT_EQ(*r.at(2).text(), u"c");
  EXPECT_EQ(r.at(2).name(), u"NAME");
}

TEST(ConfigTree, RecordsKeepTheirValuesInOrderAsTheyGrow) {
  // The first values live in the record, later ones move out to a growing array; a
  // value appended from the record itself is copied before the record grows.
  Record r(u"r");
  std::u16string longText(40, u'x');  // held outside the value object
  for (int i = 1; i <= 40; ++i) {
    if (i % 3 == 0)
      r.append(r.at(1));
    else
      r.append(Value::ofString(longText + asciiToUtf16(std::to_string(i))).named(asciiToUtf16(std::to_string(i))));
    ASSERT_EQ(r.count(), static_cast<std::size_t>(i));
  }
  ASSERT_EQ(r.values().size(), 40u);
  for (int i = 1; i <= 40; ++i) {
    const Value& v = r.values()[static_cast<std::size_t>(i - 1)];
    EXPECT_EQ(&v, &r.at(static_cast<std::size_t>(i)));
    const std::string n = std::to_string(i % 3 == 0 ? 1 : i);
    EXPECT_EQ(v.name(), asciiToUtf16(n));
    EXPECT_EQ(*v.text(), longText + asciiToUtf16(n));
  }
  Value* v = r.findNamed(u"40");
  ASSERT_NE(v, nullptr);
  *v = Value::ofInt(7);
  EXPECT_EQ(r.at(40).intValue(), 7);
  EXPECT_FALSE(r.at(40).hasName());

  // A value moved in from the record itself just as the record grows.
  Record m(u"m");
  m.append(Value::ofString(longText).named(u"a"));
  m.append(Value::ofInt(2));
  m.append(std::move(*m.findNamed(u"a")));
  ASSERT_EQ(m.count(), 3u);
  EXPECT_EQ(*m.at(3).text(), longText);
  EXPECT_EQ(m.at(3).name(), u"a");
  EXPECT_EQ(m.at(2).intValue(), 2);
}

TEST(ConfigTree, LargeTreesKeepEveryNode) {
  // Nodes of a tree share its storage, whichever section made them; a tree far larger
  // than one chunk of it keeps every node and frees them all.
  Section root;
  Section* inner = &root;
  for (int s = 0; s < 300; ++s) {
    Section& child = (s % 2 ? *inner : root).appendSection(u"s" + asciiToUtf16(std::to_string(s)));
    child.setClassName(std::u16string(30, u'c'));
    for (int r = 0; r < 20; ++r)
      child.addValue(u"record with a long name " + asciiToUtf16(std::to_string(r)), Value::ofInt(s * 100 + r));
    if (s % 2 == 0) inner = &child;
  }
  int found = 0;
  std::vector<const Section*> pending{&root};
  while (!pending.empty()) {
    const Section* s = pending.back();
    pending.pop_back();
    for (std::size_t i = 1; i <= s->childCount(); ++i) {
      const Node* n = s->child(i);
      if (const Section* c = n->asSection()) {
        const int number = std::stoi(toUtf8(c->name()).substr(1));
        EXPECT_EQ(c->className(), std::u16string(30, u'c'));
        EXPECT_EQ(c->record(u"RECORD WITH A LONG NAME 19").firstInt(), number * 100 + 19);
        ++found;
        pending.push_back(c);
      }
    }
  }
  EXPECT_EQ(found, 300);
}

TEST(ConfigTree, EmptyClassNameMeansNoExtra) {
  Section s(u"s");
  s.setId(0x1F);
  EXPECT_TRUE(s.hasId());
  s.setClassName(u"");
  EXPECT_FALSE(s.hasId());
  EXPECT_FALSE(s.hasClassName());
  s.setClassName(u"Frame");
  EXPECT_EQ(s.className(), u"Frame");
  EXPECT_EQ(s.id(), 0u);
}

// Plays a list of tokens and records what the saver writes.
class ScriptedDriver final : public ConfigDriver {
 public:
  struct Step {
    Token token;
    std::u16string name;
    Value value;
  };
  ScriptedDriver(std::uint32_t caps, std::deque<Step> steps) : caps_(caps), steps_(std::move(steps)) {}

  std::uint32_t capabilities() const noexcept override { return caps_; }
  Token next() override {
    if (steps_.empty()) return Token::End;
    current_ = std::move(steps_.front());
    steps_.pop_front();
    return current_.token;
  }
  std::u16string_view name() const override { return current_.name; }
  ValueName valueName() const override {
    return current_.value.hasName() ? ValueName(current_.value.name()) : std::nullopt;
  }
  SectionExtra extra() const override { return {}; }
  ValueKind kind() const override { return current_.value.kind(); }
  std::int32_t intValue() const override { return current_.value.intValue(); }
  std::uint32_t uintValue() const override { return current_.value.uintValue(); }
  float floatValue() const override { return current_.value.floatValue(); }
  double doubleValue() const override { return current_.value.doubleValue(); }
  std::int64_t int64Value() const override { return current_.value.int64Value(); }
  std::u16string_view stringValue() const override { return *current_.value.text(); }
  std::string_view narrowStringValue() const override { return *current_.value.narrowText(); }
  std::size_t binaryLength() const override { return current_.value.bytes()->size(); }
  std::size_t readBinary(std::uint8_t* out, std::size_t size) override {
    std::copy_n(current_.value.bytes()->begin(), size, out);
    return size;
  }

  bool openSection(std::u16string_view n, const SectionExtra&) override { return log("open " + toUtf8(n)); }
  bool closeSection() override { return log("close"); }
  bool beginRecord(std::u16string_view n) override { return log("record " + toUtf8(n)); }
  bool endRecord() override { return log("end"); }
  bool writeInt(ValueName, std::int32_t) override { return log("int"); }
  bool writeUInt(ValueName, std::uint32_t) override { return log("uint"); }
  bool writeFloat(ValueName, float) override { return log("float"); }
  bool writeDouble(ValueName, double) override { return log("double"); }
  bool writeInt64(ValueName, std::int64_t) override { return log("int64"); }
  bool writeString(ValueName, std::u16string_view) override { return log("string"); }
  bool writeWideString(ValueName, std::u16string_view) override { return log("wstring"); }
  bool writeNarrowString(ValueName, std::string_view) override { return log("nstring"); }
  bool beginBinary(ValueName) override { return log("binary"); }
  bool writeBinaryData(const std::uint8_t*, std::size_t n) override { return log(std::to_string(n)); }
  bool endBinary() override { return log("/binary"); }
  bool writeComment(std::u16string_view) override { return log("comment"); }

  std::string written;
  int failAfter = -1;  // refuse the write call after this many

 private:
  bool log(const std::string& what) {
    if (failAfter == 0) return false;
    if (failAfter > 0) --failAfter;
    written += what + ";";
    return true;
  }
  std::uint32_t caps_;
  std::deque<Step> steps_;
  Step current_;
};

using T = ConfigDriver::Token;

std::deque<ScriptedDriver::Step> everyOptionalKind() {
  return {{T::RecordBegin, u"empty", {}},
          {T::Value, u"v", Value::ofUInt(1)},
          {T::Value, u"v", Value::ofWideString(u"w")},
          {T::Value, u"v", Value::ofNarrowString("n")},
          {T::Value, u"v", Value::ofBinary({1, 2, 3}).named(u"b")}};
}

TEST(ConfigLoader, ProducesOnlyTheKindsTheDriverCarries) {
  Section none, all;
  ScriptedDriver plain(0x0F, everyOptionalKind());
  ASSERT_TRUE(loadSection(plain, none));
  ASSERT_EQ(none.childCount(), 2u);
  EXPECT_EQ(none.record(u"empty").count(), 0u);  // announced records exist even when empty
  ASSERT_EQ(none.record(u"v").count(), 1u);
  EXPECT_EQ(none.record(u"v").at(1).name(), u"b");
  EXPECT_EQ(*none.record(u"v").firstBinary(), (std::vector<std::uint8_t>{1, 2, 3}));

  ScriptedDriver rich(kCarriesUInt | kCarriesWideString | kCarriesNarrowString, everyOptionalKind());
  ASSERT_TRUE(loadSection(rich, all));
  EXPECT_EQ(all.record(u"v").count(), 4u);

  ScriptedDriver writer(0x0F, {});
  ASSERT_TRUE(saveSection(writer, all));
  EXPECT_EQ(writer.written, "record empty;end;record v;binary;3;/binary;end;");
  ScriptedDriver richWriter(kCarriesUInt | kCarriesNarrowString, {});
  ASSERT_TRUE(saveSection(richWriter, all));
  EXPECT_EQ(richWriter.written, "record empty;end;record v;uint;nstring;binary;3;/binary;end;");
}

TEST(ConfigLoader, StopsAtTheLimitAtErrorsAndAtItsOwnClose) {
  auto steps = [] {
    return std::deque<ScriptedDriver::Step>{
        {T::SectionOpen, u"a", {}}, {T::SectionOpen, u"in", {}}, {T::SectionClose, u"", {}},
        {T::SectionClose, u"", {}}, {T::SectionOpen, u"b", {}},  {T::SectionClose, u"", {}},
        {T::SectionClose, u"", {}}, {T::Value, u"after", Value::ofInt(1)}, {T::Error, u"", {}}};
  };
  ScriptedDriver d(0x0F, steps());
  Section root;
  ASSERT_TRUE(loadSection(d, root, 1));
  EXPECT_EQ(root.childCount(), 1u);
  EXPECT_EQ(root.section(u"a").childCount(), 1u);
  ASSERT_TRUE(loadSection(d, root));  // returns at the close of the enclosing section
  EXPECT_EQ(root.childCount(), 2u);
  EXPECT_FALSE(loadSection(d, root));  // the error fails the load; what was read stays
  EXPECT_EQ(root.record(u"after").firstInt(), 1);

  ScriptedDriver refusing(0x0F, {});
  refusing.failAfter = 2;
  EXPECT_FALSE(saveSection(refusing, root));
  EXPECT_EQ(refusing.written, "open a;open in;");
}

}  // namespace
}  // namespace orvanta::config
