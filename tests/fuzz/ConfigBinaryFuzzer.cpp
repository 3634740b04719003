// Fuzzes the binary configuration reader. Any bytes must load or fail without a crash, a
// hang or unbounded memory; a stream that loads must save and load again to exactly the
// same tree, and saving that tree again must give the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/BinaryConfig.h"
#include "common/ConfigTree.h"
#include "tests/common/TreeCompare.h"

namespace cfg = orvanta::config;

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cfg::Section first;
  if (!cfg::loadBinary(bytes, first)) return 0;

  const std::string saved = cfg::saveBinary(first);
  cfg::Section second;
  if (!cfg::loadBinary(saved, second)) fail("saved stream does not load", std::to_string(saved.size()) + " bytes");
  if (std::string diff = cfg::testing::treeDifference(first, second, true); !diff.empty())
    fail("reloaded tree differs", diff);
  if (cfg::saveBinary(second) != saved) fail("saving is not stable", std::to_string(saved.size()) + " bytes");
  return 0;
}
