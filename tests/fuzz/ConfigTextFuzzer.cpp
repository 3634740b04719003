// Fuzzes the text configuration reader. Any bytes must load without a crash, a hang or
// unbounded memory, and load as their decoded text does (the reader parses most lines
// in their bytes); and what loads must save and reload to the same tree (up to the
// precision of the written numbers), unless the writer had to write a line longer than
// the reader takes in one read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/ConfigLoader.h"
#include "common/ConfigTree.h"
#include "common/TextConfig.h"
#include "common/TextUtil.h"
#include "tests/common/TreeCompare.h"

namespace cfg = orvanta::config;

namespace {

bool linesFitOneRead(const std::u16string& text) {
  std::size_t length = 0;
  for (char16_t c : text) {
    if (c == u'\n') {
      length = 0;
    } else if (++length >= cfg::TextConfigDriver::kMaxLineRead) {
      return false;
    }
  }
  return true;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  cfg::Section first;
  cfg::loadText(bytes, first);

  const std::u16string text = orvanta::decodeTextFile(bytes);
  cfg::TextConfigDriver textReader{std::u16string_view(text)};
  cfg::Section fromText;
  cfg::loadSection(textReader, fromText);
  if (std::string diff = cfg::testing::treeDifference(fromText, first); !diff.empty())
    fail("file bytes read otherwise than their text", diff);

  const std::string saved = cfg::saveText(first);
  if (!linesFitOneRead(orvanta::decodeTextFile(saved))) return 0;

  cfg::Section second;
  cfg::loadText(saved, second);
  if (std::string diff = cfg::testing::treeDifference(first, second); !diff.empty())
    fail("reloaded tree differs", diff);

  // Once numbers have been through the writer, the file no longer changes.
  const std::string again = cfg::saveText(second);
  cfg::Section third;
  cfg::loadText(again, third);
  if (cfg::saveText(third) != again) fail("saving is not stable", again);
  return 0;
}
