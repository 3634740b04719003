// The text configuration format: reader grammar, writer line forms, limits, encodings,
// files, and the round trip load(save(tree)).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "common/ConfigLoader.h"
#include "common/TextConfig.h"
#include "tests/common/TreeCompare.h"

namespace orvanta::config {
namespace {

std::unique_ptr<Section> load(std::string_view text) {
  auto root = std::make_unique<Section>();
  loadText(text, *root);
  return root;
}

std::u16string u(std::string_view ascii) { return asciiToUtf16(ascii); }

std::string crlf(std::string_view lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(TextConfig, WritesTheWorkedExampleExactlyAndReadsItBack) {
  Section root;
  root.addValue(u"Title", Value::ofString(u"Main view"));
  Section& window = root.appendSection(u"Window");
  window.setClassName(u"Frame");
  window.addValue(u"Size", Value::ofInt(240).named(u"cx"));
  window.addValue(u"Size", Value::ofInt(320).named(u"cy"));
  window.addValue(u"Opacity", Value::ofDouble(0.75));
  root.addValue(u"Key", Value::ofBinary({0x0A, 0xFF}));
  const std::string expected = crlf(
      "(string)Title=Main view\n"
      "{ Window: (Frame)\n"
      "    (int)Size[cx]=240\n"
      "    (int)Size[cy]=320\n"
      "    (double)Opacity=0.75\n"
      "} Window;\n"
      "[ Key:\n"
      "A\n"
      "FF\n"
      "] Key;\n");
  EXPECT_EQ(saveText(root), expected);
  EXPECT_EQ(testing::treeDifference(root, *load(expected)), "");
}

TEST(TextConfig, WritesEachValueForm) {
  Section root;
  Section& s = root.appendSection(u"S");
  s.setId(0xBEEF01);
  s.addValue(u"i", Value::ofInt(-7));
  s.addValue(u"i", Value::ofUInt(4294967295u).named(u"u"));
  s.addValue(u"f", Value::ofFloat(1.0f / 3));
  s.addValue(u"f", Value::ofFloat(-2.5e7f).named(u"big"));
  s.addValue(u"d", Value::ofDouble(123456789.0));
  s.addValue(u"d", Value::ofDouble(1e-7));
  s.addValue(u"d", Value::ofDouble(100000.0));
  s.addValue(u"q", Value::ofInt64(-9007199254740993LL));
  s.addValue(u"s", Value::ofString(u""));
  s.addValue(u"s", Value::ofString(u"").named(u"e"));
  s.addValue(u"s", Value::ofString(u" a = b ").named(u""));
  s.addValue(u"w", Value::ofWideString(u"never written"));
  s.addValue(u"n", Value::ofNarrowString("never written"));
  s.addValue(u"b", Value::ofBinary({0, 0x1F}).named(u"v"));
  s.addValue(u"b", Value::ofBinary({}));
  s.appendSection(u"Inner").appendSection(u"");
  EXPECT_EQ(saveText(root), crlf("{ S: {BEEF01}\n"
                                 "    (int)i=-7\n"
                                 "    (int)i[u]=4294967295\n"
                                 "    (float)f=0.333333\n"
                                 "    (float)f[big]=-25000000.000000\n"
                                 "    (double)d=1.23457E+08\n"
                                 "    (double)d=1E-07\n"
                                 "    (double)d=100000\n"
                                 "    (int64)q=-9007199254740993\n"
                                 "    (string)s=\n"
                                 "    (string)s[e]=\n"
                                 "    (string)s[]= a = b \n"
                                 "    [ b[v]:\n"
                                 "    0\n"
                                 "    1F\n"
                                 "    ] b;\n"
                                 "    [ b:\n"
                                 "    ;\n"
                                 "    ] b;\n"
                                 "    { Inner:\n"
                                 "        { :\n"
                                 "        } ;\n"
                                 "    } Inner;\n"
                                 "} S;\n"));

  TextConfigDriver writer;
  writer.writeComment(u"note");
  writer.writeComment(u"");
  EXPECT_EQ(writer.output(), "; note\r\n;\r\n");
  EXPECT_FALSE(writer.closeSection());
  EXPECT_FALSE(writer.endBinary());
}

TEST(TextConfig, RecognisesOpenAndCloseLinesOnlyWithBlanksAndMatchingNames) {
  auto root = load(
      "{Window:\n"             // no blank after the brace: ignored
      "(int)a=1\n"
      "} Window;\n"            // closes nothing
      "\t{\tWindow: (Frame)\n"
      "  (int)b=2\n"
      "} Other;\n"             // not the innermost section: ignored
      "}Window;\n"
      "(int)c=3\n"
      "} wINDOW;   \n"         // name runs to the ';'
      "(int)d=4\n"
      "[Key:\n"
      "1\n"
      "]Key;\n");
  EXPECT_EQ(root->record(u"a").firstInt(), 1);
  const Section& w = root->section(u"window");
  EXPECT_EQ(w.className(), u"Frame");
  EXPECT_EQ(w.record(u"b").firstInt(), 2);
  EXPECT_EQ(w.record(u"c").firstInt(), 3);
  EXPECT_EQ(root->record(u"d").firstInt(), 4);
  EXPECT_EQ(root->record(u"Key").count(), 0u);
  EXPECT_EQ(root->childCount(), 3u);

  auto nested = load("{ Window:\n{ Inner:\n} Window;\n(int)x=1\n");
  EXPECT_EQ(nested->section(u"Window").section(u"Inner").record(u"x").firstInt(), 1);
}

TEST(TextConfig, ReadsSectionHeaderExtras) {
  auto root = load(
      "{ A: (My Class) {12}\n} A;\n"
      "{ B: {1aF}\n} B;\n"
      "{ C: ()\n} C;\n"
      "{ D\n} D;\n"
      "{ E: {xyz}\n} E;\n"
      "{ F : ( spaced \n} F ;\n"
      "{ \n} ;\n");
  ASSERT_EQ(root->childCount(), 7u);
  EXPECT_EQ(root->section(u"A").className(), u"My Class");
  EXPECT_EQ(root->section(u"B").id(), 0x1AFu);
  EXPECT_TRUE(root->section(u"B").hasId());
  for (auto name : {u"C", u"D", u"E"}) {
    EXPECT_FALSE(root->section(name).hasClassName()) << toUtf8(name);
    EXPECT_FALSE(root->section(name).hasId()) << toUtf8(name);
  }
  EXPECT_EQ(root->section(u"F ").className(), u" spaced ");  // names keep their blanks
  EXPECT_EQ(root->child(7)->name(), u"");
}

TEST(TextConfig, ParsesValueTextPerTypeTag) {
  auto root = load(
      "(int)hex=0x10\n(int)oct=010\n(int)bad=abc\n(int)neg=-0X1f\n(int)wrap=4294967297\n"
      "(int)trail= +12abc\n(int)nine=09\n(int)none=\n(int)sign=-\n"
      "(INT64)big=0x123456789ABCDEF0\n(int64)min=-9223372036854775808\n(int64)oct=0777\n"
      "(uint)u=4294967295\n(uint)hex=0x10\n"
      "(float)f=1.5e3\n(float)huge=1e39\n(float)tiny=-1e-50\n(float)bad=x1\n(float)inf=INF\n"
      "(double)d=-1.25E-300\n(double)e=1e400\n(double)n=NAN\n(double)p=+.5\n"
      "(STRING)s=  a b  \n(string)empty=\n(strings)no=1\n(int)=5\n");
  const Section& r = *root;
  EXPECT_EQ(r.record(u"hex").firstInt(), 16);
  EXPECT_EQ(r.record(u"oct").firstInt(), 8);
  EXPECT_TRUE(r.record(u"bad").isEmptyObject());
  EXPECT_EQ(r.record(u"neg").firstInt(), -31);
  EXPECT_EQ(r.record(u"wrap").firstInt(), 1);
  EXPECT_EQ(r.record(u"trail").firstInt(), 12);
  EXPECT_EQ(r.record(u"nine").firstInt(), 0);  // octal stops at the 9
  EXPECT_TRUE(r.record(u"none").isEmptyObject());
  EXPECT_TRUE(r.record(u"sign").isEmptyObject());
  EXPECT_EQ(r.record(u"big").firstInt64(), 0x123456789ABCDEF0LL);
  EXPECT_EQ(r.record(u"min").firstInt64(), INT64_MIN);
  EXPECT_EQ(r.record(u"oct").at(1).intValue(), 8);
  EXPECT_EQ(r.record(u"u").firstUInt(), 4294967295u);
  EXPECT_EQ(r.record(u"hex").count(), 2u);  // "(uint)hex=0x10" reads the decimal 0
  EXPECT_EQ(r.record(u"hex").at(2).uintValue(), 0u);
  EXPECT_EQ(r.record(u"f").firstFloat(), 1500.0f);
  EXPECT_EQ(r.record(u"huge").firstFloat(), std::numeric_limits<float>::infinity());
  EXPECT_EQ(r.record(u"tiny").firstFloat(), 0.0f);
  EXPECT_TRUE(std::signbit(r.record(u"tiny").firstFloat()));
  EXPECT_EQ(r.record(u"bad").count(), 0u);
  EXPECT_EQ(r.record(u"inf").firstFloat(), std::numeric_limits<float>::infinity());
  EXPECT_EQ(r.record(u"d").firstDouble(), -1.25e-300);
  EXPECT_EQ(r.record(u"e").firstDouble(), std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(r.record(u"n").firstDouble()));
  EXPECT_EQ(r.record(u"p").firstDouble(), 0.5);
  ASSERT_NE(r.record(u"s").firstString(), nullptr);
  EXPECT_EQ(*r.record(u"s").firstString(), u"  a b  ");
  EXPECT_EQ(*r.record(u"empty").firstString(), u"");
  EXPECT_TRUE(r.record(u"no").isEmptyObject());
  EXPECT_EQ(r.record(u"").firstInt(), 5);
}

TEST(TextConfig, MergesValuesIntoTheFirstRecordOfTheirName) {
  auto root = load(
      "(int)a=1\n"
      "{ S:\n(int)x=0\n} S;\n"
      "(int)A[n]=2\n"
      "(string)a[]=3\n"
      "(int)S=9\n"                    // a section has the name: dropped
      "(int)r[v]x]=4\n(int)r[w=5\n(int)r]z[y]=6\n");
  const Record& a = root->record(u"a");
  ASSERT_EQ(a.count(), 3u);
  EXPECT_FALSE(a.at(1).hasName());
  EXPECT_EQ(a.at(2).name(), u"n");
  EXPECT_TRUE(a.at(3).hasName());
  EXPECT_EQ(a.at(3).name(), u"");
  EXPECT_EQ(root->childCount(), 4u);
  const Record& r = root->record(u"r");
  ASSERT_EQ(r.count(), 2u);
  EXPECT_EQ(r.at(1).name(), u"v");
  EXPECT_EQ(r.at(2).name(), u"w");
  EXPECT_EQ(root->record(u"r]z").at(1).name(), u"y");
}

TEST(TextConfig, ReadsBinaryBlocks) {
  auto root = load(
      "[ empty:\n] empty;\n"
      "[ junk:\nxyz\n; comment\n] junk;\n"
      "[ bytes[v]:\n  a\n1FF\n0x7f\n10 trailing\n{ S:\n] other;\n] BYTES;\n"
      "[ whole[w]:\n1\n] whole[W];\n"
      "[ open:\n2\n");
  EXPECT_EQ(root->find(u"empty"), 0u);
  ASSERT_NE(root->record(u"junk").firstBinary(), nullptr);
  EXPECT_TRUE(root->record(u"junk").firstBinary()->empty());
  const Record& b = root->record(u"bytes");
  EXPECT_EQ(b.at(1).name(), u"v");
  EXPECT_EQ(*b.firstBinary(), (std::vector<std::uint8_t>{0x0A, 0xFF, 0x7F, 0x10}));
  EXPECT_EQ(root->childCount(), 4u);  // "{ S:" inside the block opened nothing
  EXPECT_EQ(*root->record(u"whole").firstBinary(), std::vector<std::uint8_t>{1});
  EXPECT_EQ(*root->record(u"open").firstBinary(), std::vector<std::uint8_t>{2});
}

TEST(TextConfig, AcceptsEveryEncodingAndLineEnd) {
  const std::u16string text = u"(string)t=\u00E9\u20AC\U0001F600\n{ S:\n(int)x=1\n} S;\n";
  const auto expected = load(toUtf8(text));
  ASSERT_EQ(*expected->record(u"t").firstString(), u"\u00E9\u20AC\U0001F600");
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  for (const std::string& bytes :
       {"\xEF\xBB\xBF" + toUtf8(text), crlf(toUtf8(text)), utf16}) {
    EXPECT_EQ(testing::treeDifference(*expected, *load(bytes)), "");
  }
  EXPECT_EQ(*load("(string)t=caf\xE9\n")->record(u"t").firstString(), u"caf\u00E9");

  // Only LF and CR LF end a line; a lone CR is text, and a CR right after the blanks
  // makes the line blank.
  auto cr = load("(string)a=x\ry\r\r\n(string)b=z\r \r{ S:\r\n(string)c=\r");
  EXPECT_EQ(*cr->record(u"a").firstString(), u"x\ry\r");
  EXPECT_EQ(*cr->record(u"b").firstString(), u"z\r \r{ S:");
  EXPECT_EQ(*cr->record(u"c").firstString(), u"\r");
  EXPECT_EQ(load("  \r(int)x=1\n")->childCount(), 0u);
}

TEST(TextConfig, SplitsLongLinesAndSkipsOverlongNames) {
  // A read takes 4095 characters, the line end included.
  const std::string fits = "(string)a=" + std::string(4094 - 10, 'x') + "\n(int)b=1\n";
  auto one = load(fits);
  EXPECT_EQ(one->record(u"a").firstString()->size(), 4084u);
  EXPECT_EQ(one->record(u"b").firstInt(), 1);
  EXPECT_EQ(load(crlf(fits))->record(u"a").firstString()->size(), 4084u);

  const std::string split = "(string)a=" + std::string(4095 - 10, 'x') + "(int)b=2\n";
  auto two = load(split);
  EXPECT_EQ(two->record(u"a").firstString()->size(), 4085u);
  EXPECT_EQ(two->record(u"b").firstInt(), 2);

  const std::string name1023(1023, 'n'), name1024(1024, 'n');
  auto names = load("(int)" + name1023 + "=1\n(int)" + name1024 + "=2\n(" + std::string(1024, 'i') +
                    ")x=3\n{ " + name1024 + ":\n(int)y=4\n[ " + name1024 + ":\n5\n] " + name1024 + ";\n");
  EXPECT_EQ(names->record(u(name1023)).firstInt(), 1);
  EXPECT_EQ(names->find(u(name1024)), 0u);
  EXPECT_EQ(names->record(u"y").firstInt(), 4);
  EXPECT_EQ(names->childCount(), 2u);
}

TEST(TextConfig, ReadsFileBytesAsTheirDecodedText) {
  // Lines of a file that fit one read are parsed in their bytes, the others decoded
  // first; either way the file must read as its decoded text does.
  std::string mixedLengths;
  for (int n = 0; n < 36; ++n) {
    for (int at : {-1, 0, n / 2, n - 1}) {
      std::string text(static_cast<std::size_t>(n), 'a');
      if (at >= 0 && n > 0) text.replace(static_cast<std::size_t>(at), 1, "\xC3\xA9");
      mixedLengths += "(string)s" + std::to_string(n) + "[" + text + "]=" + text + "\n";
    }
  }
  const std::string e1200 = [] {
    std::string s;
    for (int i = 0; i < 2100; ++i) s += "\xC3\xA9";
    return s;
  }();
  const std::string files[] = {
      "(INT)A[x]=0x1F\n(Int64)b=-077\n(uInt)c=  +12abc\n(FLOAT)f=+-1\n(float)g=-1e999\n(double)d=1e-999\n"
      "(double)e=nan\n(double)h=  -inf\n(double)k=1.5e3x\n(string)s=  padded\t \n(int)z= 09\n",
      "(int)Gr\xC3\xB6\xC3\x9F" "e[h\xC3\xB6he]=5\n(string)t=\xE2\x82\xAC\xF0\x9F\x98\x80\n{ \xC3\x84:\n(int)x=1\n} \xC3\xA4;\n",
      "(int)a\xC3[\xE2\x82]=1\n(string)x\xE9=\xC3\n(int\xC3)y=2\n(int)z\xF0=3\xE9\n(double)w=1\xC3\xA9\n",
      "(int)r[=1\n(int)r[v=2\n(int)q]v[w]x=3\n(int)[v]=4\n(int)=5\n(int)p[a[b]c]=6\n(int)o[]=7\n",
      "( int)a=1\n(in)b=2\n(integer)c=3\n(i\xC3\xB1t)d=4\n(int=5\n(int)e\n  \t(int)f\t=8\n",
      mixedLengths,
      "(string)long=" + e1200 + "\r\n;" + std::string(4094, 'c') + "(int)x=1\r\n(string)y=" +
          std::string(5000, 'y') + "\r\n",
  };
  for (const std::string& bytes : files) {
    Section fromText;
    const std::u16string text = decodeTextFile(bytes);
    TextConfigDriver driver{std::u16string_view(text)};
    ASSERT_TRUE(loadSection(driver, fromText));
    EXPECT_EQ(testing::treeDifference(fromText, *load(bytes)), "") << bytes.substr(0, 200);
  }

  auto odd = load(files[3]);
  EXPECT_EQ(odd->record(u"r").at(2).name(), u"v");  // the value name runs to the "]" or the "="
  EXPECT_EQ(odd->record(u"q]v").at(1).name(), u"w");
  EXPECT_EQ(odd->record(u"").count(), 2u);
  EXPECT_EQ(odd->record(u"p").at(1).name(), u"a[b");
  EXPECT_EQ(odd->record(u"o").at(1).name(), u"");
  EXPECT_TRUE(odd->record(u"o").at(1).hasName());
  auto encoded = load(files[2]);
  EXPECT_EQ(encoded->record(u"a\u00C3").at(1).name(), u"\u00E2\u201A");
  EXPECT_EQ(*encoded->record(u"x\u00E9").firstString(), u"\u00C3");
  EXPECT_EQ(encoded->find(u"y"), 0u);
  EXPECT_EQ(encoded->record(u"z\u00F0").firstInt(), 3);
  EXPECT_EQ(encoded->record(u"w").firstDouble(), 1.0);
  // More bytes than one read takes, but fewer characters: one line, not split.
  auto lengths = load(files[6]);
  EXPECT_EQ(lengths->record(u"long").firstString()->size(), 2100u);
  EXPECT_EQ(lengths->record(u"x").firstInt(), 1);
  EXPECT_EQ(lengths->record(u"y").firstString()->size(), 4095u - 10);
  EXPECT_EQ(load(mixedLengths)->record(u"s35").at(4).name(), u(std::string(34, 'a')) + u"\u00E9");
  // Names are limited in characters, not bytes.
  std::string e1023, e1024;
  for (int i = 0; i < 1023; ++i) e1023 += "\xC3\xA9";
  e1024 = e1023 + "\xC3\xA9";
  auto names = load("(int)" + e1023 + "=1\n(int)" + e1024 + "=2\n(int)v[" + e1024 + "]=3\n");
  EXPECT_EQ(names->childCount(), 1u);
  EXPECT_EQ(names->record(std::u16string(1023, u'\u00C9')).firstInt(), 1);
}

TEST(TextConfig, RoundTripsWhatTheWriterWrites) {
  std::mt19937 rng(7);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  // Names avoid the characters the grammar gives a meaning inside them.
  auto name = [&] {
    static const char16_t chars[] = u"abcXYZ09 _.;()}{\u00E9\u20AC";
    std::u16string s;
    for (int n = pick(6); n > 0; --n) s += chars[pick(sizeof chars / 2 - 1)];
    return s;
  };
  // Section and block names start after the blanks that follow the brace.
  auto trimmed = [](std::u16string s) { return s.erase(0, s.find_first_not_of(u' ') == s.npos ? s.size() : s.find_first_not_of(u' ')); };
  Section root;
  std::vector<Section*> sections{&root};
  for (int i = 0; i < 3000; ++i) {
    Section& at = *sections[static_cast<std::size_t>(pick(static_cast<int>(sections.size())))];
    if (pick(8) == 0) {
      Section& s = at.appendSection(trimmed(name()));
      if (pick(3) == 0) {
        std::u16string cls = name() + u"x";
        std::erase(cls, u')');
        s.setClassName(cls);
      }
      if (pick(4) == 0) s.setId(static_cast<std::uint32_t>(rng()));
      sections.push_back(&s);
      continue;
    }
    Value v;
    switch (pick(7)) {
      case 0: v = Value::ofInt(static_cast<std::int32_t>(rng())); break;
      case 1: v = Value::ofUInt(static_cast<std::uint32_t>(rng())); break;
      case 2: v = Value::ofFloat(static_cast<float>(static_cast<std::int32_t>(rng())) / 997.0f); break;
      case 3: v = Value::ofDouble(std::ldexp(static_cast<double>(rng()), pick(200) - 100)); break;
      case 4: v = Value::ofInt64(static_cast<std::int64_t>((std::uint64_t{rng()} << 32) | rng())); break;
      case 5: v = Value::ofString(u" " + name() + u"=[]\t\r" + name() + u" "); break;
      default: {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(pick(5)));
        for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
        v = Value::ofBinary(std::move(bytes));
      }
    }
    if (pick(2)) v.setName(name());
    at.addValue(trimmed(name()), std::move(v));
  }
  const std::string text = saveText(root);
  auto back = load(text);
  EXPECT_EQ(testing::treeDifference(root, *back), "");
  const std::string again = saveText(*back);  // uints now read as ints
  EXPECT_TRUE(saveText(*load(again)) == again);
}

TEST(TextConfig, HandlesDeepNestingWithoutRecursion) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "{ s\n";
  text += "(int)x=1\n";
  auto root = load(text);  // ends inside open sections: what was read stays
  const std::string saved = saveText(*root);
  const std::size_t widest = 4 * TextConfigDriver::kMaxIndentLevels;
  EXPECT_NE(saved.find("\r\n" + std::string(widest, ' ') + "{ s:\r\n"), std::string::npos);
  EXPECT_EQ(saved.find(std::string(widest + 1, ' ')), std::string::npos);
  auto back = load(saved);
  EXPECT_EQ(testing::treeDifference(*root, *back), "");
}

TEST(TextConfig, LoadsAndSavesFiles) {
  const auto dir = std::filesystem::temp_directory_path() / "orvanta-textconfig-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const auto path = dir / u"conf\u00E9.cfg";
  Section root;
  root.appendSection(u"S").addValue(u"x", Value::ofString(u"\u00E9"));
  ASSERT_TRUE(saveConfigFile(path, root));
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  EXPECT_EQ(bytes, "{ S:\r\n    (string)x=\xC3\xA9\r\n} S;\r\n");
  Section back;
  ASSERT_TRUE(loadConfigFile(path, back));
  EXPECT_EQ(testing::treeDifference(root, back), "");

  ASSERT_TRUE(saveConfigFile(path, Section()));  // replaces the file
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  EXPECT_FALSE(loadConfigFile(dir / "missing.cfg", back));
  EXPECT_FALSE(loadConfigFile(dir, back));
  EXPECT_FALSE(saveConfigFile(dir / "no" / "such.cfg", root));
  EXPECT_FALSE(saveConfigFile(dir, root));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvanta::config
