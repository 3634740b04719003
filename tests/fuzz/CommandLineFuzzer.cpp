// Fuzzes the hosts' command-line splitter. Any line splits without a crash, and what it
// splits into builds a line that splits back into the same arguments; arguments made
// from the bytes split back into themselves whenever a line can carry them.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/CommandLine.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes as UTF-16 code units, two bytes each.
  std::u16string line;
  for (size_t i = 0; i + 1 < size; i += 2) line += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

  const std::vector<std::u16string> args = orvanta::splitCommandLine(line);
  std::u16string rebuilt;
  require(orvanta::buildCommandLine(args, rebuilt));
  require(orvanta::splitCommandLine(rebuilt) == args);

  // The same units as arguments, cut at every NUL.
  std::vector<std::u16string> given(1);
  for (char16_t c : line) {
    if (c == 0) given.emplace_back();
    else given.back() += c;
  }
  std::u16string built;
  if (orvanta::buildCommandLine(given, built)) require(orvanta::splitCommandLine(built) == given);
  return 0;
}
