// Command lines built from arguments split back into them; arguments no line can carry
// are refused.
#include <gtest/gtest.h>

#include "common/CommandLine.h"

namespace {

using Args = std::vector<std::u16string>;

TEST(CommandLine, BuiltLinesSplitBackIntoTheirArguments) {
  const struct {
    Args args;
    std::u16string line;
  } rows[] = {
      {{u"a", u"b"}, u"a b"},
      {{u"-nohelp", u"C:\\a b\\x.js", u"p"}, u"-nohelp \"C:\\a b\\x.js\" p"},
      {{u"a\"b", u"tab\there"}, u"a\"b \"tab\there\""},
      {{u"\"x"}, u""},       // an opening quote cannot be written
      {{u"a", u""}, u""},    // an empty argument ends every list
      {{u"x \"y\""}, u""},   // a separator and a quote
      {{}, u""},
  };
  for (const auto& row : rows) {
    std::u16string line = u"untouched";
    const bool built = orvanta::buildCommandLine(row.args, line);
    const bool writable = row.args.empty() || !row.line.empty();
    EXPECT_EQ(writable, built) << row.args.size();
    if (!built) {
      EXPECT_EQ(u"untouched", line);
      continue;
    }
    EXPECT_EQ(row.line, line);
    EXPECT_EQ(row.args, orvanta::splitCommandLine(line));
  }
  EXPECT_EQ(u"x \"y\"", orvanta::skipProgramName(u"\"C:\\a b\\k.exe\" x \"y\""));
}

}  // namespace
