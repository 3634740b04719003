// Fuzzes the registry-script parser of the registrar. Any text parses or is refused
// without a crash or unbounded recursion, and a script that parses, written back by the
// writer, parses again into the same keys.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/RegistryScript.h"
#include "common/TextUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Scripts are stored as 8-bit text; bytes above 127 stand for themselves.
  std::u16string text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) text += static_cast<char16_t>(data[i]);
  orvanta::RegistryScript script;
  if (!orvanta::parseRegistryScript(text, script)) return 0;
  orvanta::RegistryScript again;
  if (!orvanta::parseRegistryScript(orvanta::formatRegistryScript(script), again) || !(again == script)) std::abort();
  return 0;
}
