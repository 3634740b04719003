// Decoding of configuration file bytes and case-insensitive names.
#include <gtest/gtest.h>

#include "common/TextUtil.h"

namespace orvanta {
namespace {

TEST(TextUtil, DecodesEachAcceptedEncoding) {
  EXPECT_EQ(decodeTextFile("caf\xC3\xA9"), u"caf\u00E9");
  EXPECT_EQ(decodeTextFile("\xEF\xBB\xBF" "a\xE2\x82\xAC"), u"a\u20AC");  // mark dropped
  EXPECT_EQ(decodeTextFile(std::string_view("\xFF\xFE" "a\0\xAC\x20" "b", 7)), u"a\u20AC");  // odd byte dropped
  EXPECT_EQ(decodeTextFile("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(decodeTextFile(""), u"");
  EXPECT_EQ(decodeTextFile("\xEF\xBB\xBF"), u"");
}

TEST(TextUtil, TakesInvalidUtf8BytesAsWindows1252) {
  // Each invalid byte on its own; valid sequences around it still decode as UTF-8.
  EXPECT_EQ(decodeTextFile("caf\xE9 \xC3\xA9"), u"caf\u00E9 \u00E9");
  EXPECT_EQ(decodeTextFile("\x80\x9F\x81"), u"\u20AC\u0178\u0081");
  EXPECT_EQ(decodeTextFile("\xC0\x80"), u"\u00C0\u20AC");       // overlong form
  EXPECT_EQ(decodeTextFile("x\xE2\x82"), u"x\u00E2\u201A");     // cut off at the end
  EXPECT_EQ(decodeTextFile("\xF4\x90\x80\x80"), u"\u00F4\u0090\u20AC\u20AC");  // above U+10FFFF
  EXPECT_EQ(decodeTextFile("abcdefgh\xE9ijklmnop"), u"abcdefgh\u00E9ijklmnop");
}

TEST(TextUtil, Utf8RoundTripsEveryCodeUnitSequence) {
  const std::u16string text = u"A\u00E9\u20AC\U0001F600z";
  EXPECT_EQ(toUtf8(text), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00), char16_t(0xDBFF)};
  EXPECT_EQ(decodeTextFile(toUtf8(lone)), lone);
  std::u16string all;
  for (char32_t c = 1; c < 0x10000; ++c) all += static_cast<char16_t>(c);
  EXPECT_EQ(decodeTextFile(toUtf8(all)), all);
}

TEST(TextUtil, ComparesNamesIgnoringCase) {
  EXPECT_TRUE(equalsIgnoreCase(u"Window", u"wINDOW"));
  EXPECT_TRUE(equalsIgnoreCase(u"\u00C4rger \u0178", u"\u00E4RGER \u00FF"));
  EXPECT_TRUE(equalsIgnoreCase(u"\u041F\u0440\u0438\u0432\u0435\u0442", u"\u043F\u0420\u0418\u0412\u0415\u0422"));
  EXPECT_TRUE(equalsIgnoreCase(u"\u0391\u03A3\u0386", u"\u03B1\u03C3\u03AC"));
  EXPECT_TRUE(equalsIgnoreCase(u"\u0141\u0179", u"\u0142\u017A"));
  EXPECT_FALSE(equalsIgnoreCase(u"a", u"ab"));
  EXPECT_FALSE(equalsIgnoreCase(u"\u00D7", u"\u00F7"));  // not a letter pair
  EXPECT_FALSE(equalsIgnoreCase(u"[", u"{"));
  EXPECT_EQ(hashIgnoreCase(u"Size\u00C9"), hashIgnoreCase(u"sIZE\u00E9"));
  // Runs of ASCII hash four at a time: every letter, around non-ASCII and at each length.
  const std::u16string upper = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ@[`{\u00C4Z\u0416\u00DEAB";
  const std::u16string lower = u"abcdefghijklmnopqrstuvwxyz@[`{\u00E4z\u0436\u00FEab";
  for (std::size_t n = 0; n <= upper.size(); ++n) {
    EXPECT_EQ(hashIgnoreCase(upper.substr(0, n)), hashIgnoreCase(lower.substr(0, n))) << n;
    EXPECT_EQ(hashIgnoreCase(upper.substr(n)), hashIgnoreCase(lower.substr(n))) << n;
  }
  EXPECT_NE(hashIgnoreCase(u"@[`{"), hashIgnoreCase(u"`{@["));
  EXPECT_NE(hashIgnoreCase(u"[abc"), hashIgnoreCase(u"{abc"));
}


// The folding table covers the whole UTF-16 range, letters that fold into ASCII included,
// and names equal under it hash alike wherever the ASCII runs fall.
TEST(TextUtil, FoldsEveryScriptByTheSimpleUppercaseMapping) {
  const struct {
    char16_t in, folded;
  } cases[] = {
      {u'a', u'A'},           {u'Z', u'Z'},           {u'\u00FF', u'\u0178'}, {u'\u0131', u'I'},
      {u'\u017F', u'S'},      {u'\u212A', u'\u212A'}, {u'\u03C2', u'\u03A3'}, {u'\u01C5', u'\u01C4'},
      {u'\u0561', u'\u0531'}, {u'\u10D0', u'\u1C90'}, {u'\u1E9B', u'\u1E60'}, {u'\u24D0', u'\u24B6'},
      {u'\uFF41', u'\uFF21'}, {u'\uA641', u'\uA640'}, {u'\u00DF', u'\u00DF'}, {char16_t(0xD801), char16_t(0xD801)},
      {u'\u00D7', u'\u00D7'}, {u'\u2C65', u'\u023A'},
  };
  for (const auto& c : cases) EXPECT_EQ(int(foldCase(c.in)), int(c.folded)) << std::hex << int(c.in);
  int changed = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    const char16_t f = foldCase(char16_t(c));
    if (f != c) ++changed;
    EXPECT_EQ(foldCase(f), f) << std::hex << c;  // folding is idempotent
  }
  EXPECT_GT(changed, 1000);
  EXPECT_TRUE(equalsIgnoreCase(u"\u017Fize", u"SIZE"));
  EXPECT_EQ(hashIgnoreCase(u"\u017Fize"), hashIgnoreCase(u"SIZE"));
  EXPECT_EQ(hashIgnoreCase(u"abcd\u0131jkl"), hashIgnoreCase(u"ABCDIJKL"));
}

}  // namespace
}  // namespace orvanta
