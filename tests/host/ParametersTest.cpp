// Command-line splitting and interpretation, script-file decoding, the folder and
// language a script path gives, and the window layout rule.
#include <gtest/gtest.h>

#include <windows.h>

#include "host/Layout.h"
#include "host/Parameters.h"
#include "host/ScriptFile.h"

namespace orvanta::host {
namespace {

using Args = std::vector<std::wstring>;

std::vector<std::wstring> Values(const Parameters& p, ParamSection s) {
  std::vector<std::wstring> out;
  for (size_t i = 1; i <= p.Count(s); ++i) out.push_back(ToWide(*p.At(s, i)));
  return out;
}

TEST(CommandLine, SplitsOnSeparatorsAndQuotes) {
  EXPECT_EQ(SplitCommandLine(L"  a\tb\r\nc  "), (Args{L"a", L"b", L"c"}));
  EXPECT_EQ(SplitCommandLine(L"a \"b c\" d"), (Args{L"a", L"b c", L"d"}));
  // A quoted argument ends at its quote; the next one starts right after it.
  EXPECT_EQ(SplitCommandLine(L"\"x\"y \"p\"\"q\""), (Args{L"x", L"y", L"p", L"q"}));
  // A quote inside an argument is an ordinary character.
  EXPECT_EQ(SplitCommandLine(L"a\"b c"), (Args{L"a\"b", L"c"}));
  // An unterminated quoted argument is dropped.
  EXPECT_EQ(SplitCommandLine(L"a \"b c"), (Args{L"a"}));
  EXPECT_EQ(SplitCommandLine(L""), Args{});
  EXPECT_EQ(SplitCommandLine(L" \t "), Args{});
}

TEST(CommandLine, EmptyQuotedPairEndsTheList) {
  EXPECT_EQ(SplitCommandLine(L"a.js \"\" b"), (Args{L"a.js"}));
  EXPECT_EQ(SplitCommandLine(L"\"\" a"), Args{});
  Parameters p;
  p.ParseCommandLine(L"a.js \"\" b");
  EXPECT_EQ(p.Count(ParamSection::Script), 0u);
  EXPECT_EQ(ToWide(*p.Find(ParamSection::Host, L"RUN")), L"a.js");
}

TEST(CommandLine, SkipsTheProgramName) {
  EXPECT_EQ(SkipProgramName(L"\"C:\\a b\\k.exe\" x \"y\""), L"x \"y\"");
  EXPECT_EQ(SkipProgramName(L"k.exe   x y"), L"x y");
  EXPECT_EQ(SkipProgramName(L"k.exe"), L"");
}

TEST(CommandLine, OptionsAndTheScriptFileGoToHostTheRestToScript) {
  Parameters p;
  p.ParseCommandLine(L"-nohelp \\Temp\\a.js x \"y z\" -late /also");
  EXPECT_EQ(Values(p, ParamSection::Host), (Args{L"nohelp", L"\\Temp\\a.js"}));
  EXPECT_EQ(ToWide(p.root().section(u"HOST").record(u"").at(1).name()), L"nohelp");
  EXPECT_EQ(ToWide(*p.Find(ParamSection::Host, L"run")), L"\\Temp\\a.js");
  EXPECT_EQ(Values(p, ParamSection::Script), (Args{L"x", L"y z", L"-late", L"/also"}));
  // The three sections exist from the start, in this order.
  ASSERT_EQ(p.root().childCount(), 3u);
  EXPECT_EQ(p.root().child(1)->name(), u"HOST");
  EXPECT_EQ(p.root().child(2)->name(), u"SCRIPT");
  EXPECT_EQ(p.root().child(3)->name(), u"RUNTIME");
}

TEST(CommandLine, EndOptionEndsTheHostPartAndOptionsOverwriteIgnoringCase) {
  Parameters p;
  p.ParseCommandLine(L"/NOHELP -Opt -opt -end p q");
  EXPECT_TRUE(p.Has(ParamSection::Host, L"nohelp"));
  EXPECT_FALSE(p.Has(ParamSection::Host, L"RUN"));
  EXPECT_EQ(Values(p, ParamSection::Host), (Args{L"NOHELP", L"opt", L"end"}));
  EXPECT_EQ(Values(p, ParamSection::Script), (Args{L"p", L"q"}));
  // The first argument without a leading - or / is the script, file or not.
  Parameters q;
  q.ParseCommandLine(L"-x notafile -y");
  EXPECT_EQ(ToWide(*q.Find(ParamSection::Host, L"RUN")), L"notafile");
  EXPECT_EQ(Values(q, ParamSection::Script), (Args{L"-y"}));
  // Unnamed script values are never merged.
  Parameters r;
  r.ParseCommandLine(L"s.js same same");
  EXPECT_EQ(Values(r, ParamSection::Script), (Args{L"same", L"same"}));
}

TEST(ScriptFile, DecodesByByteOrderMarkOrAnsi) {
  EXPECT_EQ(DecodeScriptBytes("caf\xE9"), L"caf\u00E9");                      // ANSI (1252)
  EXPECT_EQ(DecodeScriptBytes("\xEF\xBB\xBF" "caf\xC3\xA9"), L"caf\u00E9");  // UTF-8 with mark
  EXPECT_EQ(DecodeScriptBytes("caf\xC3\xA9"), L"caf\u00C3\u00A9");           // no mark: ANSI
  EXPECT_EQ(DecodeScriptBytes(std::string("\xFF\xFE" "a\0\xE9\0", 6)), L"a\u00E9");
  // Text ends at the first zero character: UTF-16 without a mark is cut after one letter.
  EXPECT_EQ(DecodeScriptBytes(std::string("a\0b\0", 4)), L"a");
  EXPECT_EQ(DecodeScriptBytes(std::string("\xFF\xFE" "a\0\0\0b\0", 8)), L"a");
  EXPECT_EQ(DecodeScriptBytes(std::string("\xFF\xFE" "a", 3)), L"");  // odd final byte dropped
}

TEST(ScriptFile, FolderAndLanguageFromThePath) {
  EXPECT_EQ(ScriptFolder(L"T:\\dir\\a.js", L"P:\\"), L"T:\\dir\\");
  EXPECT_EQ(ScriptFolder(L"T:/dir/a.js", L"P:\\"), L"T:/dir/");
  EXPECT_EQ(ScriptFolder(L"a.js", L"P:\\prog\\"), L"P:\\prog\\");
  EXPECT_EQ(ScriptFolder(L"\\a.js", L"P:\\"), L"\\");
  const std::wstring program = ProgramFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.back(), L'\\');

  EXPECT_STREQ(LanguageForPath(L"a.JS"), L"JScript");
  EXPECT_STREQ(LanguageForPath(L"T:\\x.y\\b.js"), L"JScript");
  EXPECT_STREQ(LanguageForPath(L"a.vbs"), L"VBScript");
  EXPECT_STREQ(LanguageForPath(L"a.txt"), L"VBScript");
  EXPECT_STREQ(LanguageForPath(L"noext"), L"VBScript");
  EXPECT_STREQ(LanguageForPath(L"T:\\x.js\\b"), L"VBScript");
  EXPECT_STREQ(LanguageForPath(L"T:\\dir.js\\"), L"VBScript");
  EXPECT_STREQ(LanguageForPath(L"a.jsx"), L"VBScript");
}

TEST(WindowLayout, HiddenInputGivesThePaneTheWholeAreaShownInputSplitsIt) {
  WindowLayout l = ComputeLayout(200, 301, 19, false);
  EXPECT_EQ(l.output.width, 200);
  EXPECT_EQ(l.output.height, 301);
  l = ComputeLayout(200, 301, 19, true);
  EXPECT_EQ(l.input.y, 0);
  EXPECT_EQ(l.input.height, 131);
  EXPECT_EQ(l.submit.y, 131);
  EXPECT_EQ(l.submit.height, 19);
  EXPECT_EQ(l.output.y, 150);
  EXPECT_EQ(l.output.height, 150);
  EXPECT_EQ(l.input.width, 200);
  EXPECT_EQ(l.submit.width, 200);
  // Too small for an input box: it shrinks to nothing, the button keeps what is left.
  l = ComputeLayout(50, 20, 19, true);
  EXPECT_EQ(l.input.height, 0);
  EXPECT_EQ(l.submit.y, 0);
  EXPECT_EQ(l.submit.height, 10);
}

}  // namespace
}  // namespace orvanta::host
