// The binary configuration stream: exact bytes written, every kind through a round trip,
// framing and extra items on reading, and malformed or hostile input refused safely.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "common/BinaryConfig.h"
#include "common/ConfigLoader.h"
#include "tests/common/TreeCompare.h"

namespace orvanta::config {
namespace {

std::string hexBytes(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out += static_cast<char>(b);
  return out;
}

// A length item: 4-byte little-endian length and the payload.
std::string item(std::string_view payload) {
  std::string out = bytes({int(payload.size() & 0xFF), int(payload.size() >> 8 & 0xFF), int(payload.size() >> 16 & 0xFF),
                           int(payload.size() >> 24)});
  out += payload;
  return out;
}
std::string text(std::string_view s) { return item(std::string(s) + '\0'); }

TEST(BinaryConfig, WritesTheDocumentedBytes) {
  Section root;
  root.addValue(u"n", Value::ofInt(258));
  Section& s = root.appendSection(u"S");
  s.setClassName(u"C");
  s.addValue(u"r", Value::ofString(u"\u00e9").named(u"v"));
  root.appendSection(u"").setId(0x01020304);
  const std::string expected =
      bytes({3, 0x11}) + text("n") + bytes({18, 0x10}) + item(bytes({2, 1, 0, 0})) + bytes({4, 0}) +  //
      bytes({1, 0x23}) + text("S") + text("C") +                                                      //
      bytes({3, 0x11}) + text("r") + bytes({20, 0x21}) + text("v") + text("\xE9") + bytes({4, 0}) +   //
      bytes({2, 0}) +                                                                                 //
      bytes({1, 0x14}) + item(bytes({4, 3, 2, 1})) + bytes({2, 0});
  EXPECT_EQ(hexBytes(saveBinary(root)), hexBytes(expected));
  Section back;
  ASSERT_TRUE(loadBinary(expected, back));
  EXPECT_EQ(testing::treeDifference(root, back, true), "");
}

TEST(BinaryConfig, EveryKindSurvivesARoundTripExactly) {
  Section root;
  Section& s = root.appendSection(u"All");
  s.addValue(u"i", Value::ofInt(-7).named(u"a"));
  s.addValue(u"i", Value::ofInt(INT32_MIN));
  s.addValue(u"u", Value::ofUInt(0xFFFFFFFFu));
  s.addValue(u"f", Value::ofFloat(1.0f / 3));
  s.addValue(u"d", Value::ofDouble(std::nextafter(1.0, 2.0)));
  s.addValue(u"q", Value::ofInt64(-0x123456789ABCDEFll));
  s.addValue(u"s", Value::ofString(u"plain \u20ac"));
  s.addValue(u"w", Value::ofWideString(u"wide \u4e2d\U0001F600"));
  s.addValue(u"b", Value::ofBinary({0, 1, 0xFF}));
  s.addValue(u"e", Value::ofBinary({}));
  s.addValue(u"", Value::ofString(u"").named(u""));
  s.getOrCreateRecord(u"empty");
  Section back;
  ASSERT_TRUE(loadBinary(saveBinary(root), back));
  ASSERT_EQ(testing::treeDifference(root, back, true), "");
  const Section& all = back.section(u"All");
  EXPECT_EQ(all.record(u"u").at(1).kind(), ValueKind::UInt);
  EXPECT_EQ(all.record(u"f").firstFloat(), 1.0f / 3);
  EXPECT_EQ(all.record(u"d").firstDouble(), std::nextafter(1.0, 2.0));
  EXPECT_EQ(all.record(u"w").at(1).kind(), ValueKind::WideString);
  EXPECT_EQ(*all.record(u"w").at(1).text(), u"wide \u4e2d\U0001F600");
  EXPECT_TRUE(all.record(u"").at(1).hasName());
  EXPECT_EQ(all.record(u"empty").count(), 0u);
}

TEST(BinaryConfig, ReadsFramingAndSkipsExtraItems) {
  const std::string stream =
      bytes({253, 0x10}) + text("identity") + bytes({254, 0x00}) +                                   //
      bytes({1, 0x31}) + text("S") + text("extra") + text("more") +                                  //
      bytes({3, 0x21}) + text("r") + text("skipped") +                                               //
      bytes({18, 0x30}) + item(bytes({5, 0, 0, 0})) + item("x") + item("y") +                        //
      bytes({24, 0x10}) + text("narrow") +                                                           //
      bytes({4, 0x10}) + item("z") + bytes({2, 0}) +                                                 //
      bytes({255, 0}) + "anything after the end";
  Section root;
  ASSERT_TRUE(loadBinary(stream, root));
  const Record& r = root.section(u"S").record(u"r");
  ASSERT_EQ(r.count(), 1u);  // narrow strings are not carried by this driver
  EXPECT_EQ(r.firstInt(), 5);
}

TEST(BinaryConfig, RefusesMalformedStreams) {
  const std::string rec = bytes({3, 0x11}) + text("r");
  const std::string sec = bytes({1, 0x11}) + text("s");
  const struct {
    const char* what;
    std::string stream;
  } cases[] = {
      {"section inside a record", rec + sec},
      {"record inside a record", rec + rec},
      {"record end outside a record", bytes({4, 0})},
      {"close without an open section", bytes({2, 0})},
      {"unknown code", bytes({23, 0x10}) + item("x")},
      {"end of data inside a section", sec},
      {"end of data inside a record", rec},
      {"a record that never ends", sec + rec + bytes({18, 0x10}) + item(bytes({1, 0, 0, 0})) + bytes({2, 0})},
      {"end element inside a record", rec + bytes({255, 0})},
      {"header inside a section", sec + bytes({253, 0}) + bytes({2, 0})},
      {"length beyond the data", rec + bytes({17, 0x10, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2}) + bytes({4, 0})},
      {"truncated length", rec + bytes({18, 0x10, 4, 0})},
      {"int of three bytes", rec + bytes({18, 0x10}) + item("abc") + bytes({4, 0})},
      {"double of four bytes", rec + bytes({21, 0x10}) + item("abcd") + bytes({4, 0})},
      {"named value without its items", rec + bytes({18, 0x11}) + item("abcd") + bytes({4, 0})},
      {"section claiming a class it lacks", bytes({1, 0x03}) + bytes({2, 0})},
      {"id of two bytes", bytes({1, 0x14}) + item("ab") + bytes({2, 0})},
      {"descriptor cut off", bytes({1})},
  };
  for (const auto& c : cases) {
    Section root;
    EXPECT_FALSE(loadBinary(c.stream, root)) << c.what;
  }
}

// Reads from a source that does not know its size, as a platform stream does.
class UnsizedSource final : public ByteSource {
 public:
  explicit UnsizedSource(std::string_view bytes) : inner_(bytes) {}
  std::size_t read(std::uint8_t* out, std::size_t size) override { return inner_.read(out, size); }

 private:
  MemorySource inner_;
};

TEST(BinaryConfig, HostileLengthsAndNestingFailWithoutExhaustingMemory) {
  const std::string huge = bytes({3, 0x00, 17, 0x10, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(100, 'x');
  UnsizedSource unsized(huge);
  Section a;
  EXPECT_FALSE(loadBinary(unsized, a));

  std::string deep;
  for (std::size_t i = 0; i < BinaryConfigDriver::kMaxDepth; ++i) deep += bytes({1, 0});
  std::string closes;
  for (std::size_t i = 0; i < BinaryConfigDriver::kMaxDepth; ++i) closes += bytes({2, 0});
  Section ok;
  EXPECT_TRUE(loadBinary(deep + closes, ok));
  Section tooDeep;
  EXPECT_FALSE(loadBinary(deep + bytes({1, 0}) + bytes({2, 0}) + closes, tooDeep));

  // The writer refuses what the reader would refuse.
  Section root;
  Section* s = &root;
  for (std::size_t i = 0; i <= BinaryConfigDriver::kMaxDepth; ++i) s = &s->appendSection(u"x");
  StringSink sink;
  EXPECT_FALSE(saveBinary(sink, root));
}

// Refuses every write after the first `allowed` bytes.
class FailingSink final : public ByteSink {
 public:
  explicit FailingSink(std::size_t allowed) : left_(allowed) {}
  bool write(const std::uint8_t*, std::size_t size) override {
    if (size > left_) return false;
    left_ -= size;
    return true;
  }

 private:
  std::size_t left_;
};

TEST(BinaryConfig, ASinkFailureFailsTheSave) {
  Section root;
  for (int i = 0; i < 20000; ++i) root.addValue(u"r" + asciiToUtf16(std::to_string(i)), Value::ofInt(i));
  root.addValue(u"big", Value::ofBinary(std::vector<std::uint8_t>(200000, 7)));
  for (std::size_t allowed : {std::size_t(0), std::size_t(1000), std::size_t(300000)}) {
    FailingSink sink(allowed);
    EXPECT_FALSE(saveBinary(sink, root)) << allowed;
  }
  FailingSink enough(10'000'000);
  EXPECT_TRUE(saveBinary(enough, root));
}

TEST(BinaryConfig, NarrowTextUsesTheCodecAndStopsAtZero) {
  Section root;
  root.addValue(u"r", Value::ofString(u"a\u20ac\u4e2d"));  // the euro sign is in the code page, the other not
  root.addValue(u"z", Value::ofString(std::u16string(u"ab\0cd", 5)));
  Section back;
  ASSERT_TRUE(loadBinary(saveBinary(root), back));
  EXPECT_EQ(*back.record(u"r").firstString(), u"a\u20ac?");
  EXPECT_EQ(*back.record(u"z").firstString(), u"ab");
}

}  // namespace
}  // namespace orvanta::config
