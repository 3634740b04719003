// The one case folding: the module's name matching and the configuration tree's fold
// every UTF-16 code unit alike, so a name found in a loaded tree is found in its
// dictionaries too; and the generated table against the platform's uppercase mapping.
#include <gtest/gtest.h>

#include <string>

#include "common/TextUtil.h"
#include "components/module/IndexRule.h"

namespace {

TEST(CaseFold, ModuleAndTreeAgreeOnEveryCodeUnit) {
  int differ = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    const wchar_t w = static_cast<wchar_t>(c);
    const char16_t u = static_cast<char16_t>(c);
    if (orv::FoldChar(w) != static_cast<wchar_t>(orvanta::foldCase(u))) ++differ;
    const std::wstring a(1, w), b(1, static_cast<wchar_t>(orvanta::foldCase(u)));
    const std::u16string x(1, u), y(1, orvanta::foldCase(u));
    if (orv::NamesEqual(a, b) != orvanta::equalsIgnoreCase(x, y)) ++differ;
  }
  EXPECT_EQ(differ, 0);
}

TEST(CaseFold, PlatformUppercaseAgreesOutsideAFewLetters) {
  // Both are the simple uppercase mapping; the platform's data may be of another
  // Unicode version, which moves a handful of newer letters only.
  int differ = 0;
  for (unsigned c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    wchar_t w = static_cast<wchar_t>(c);
    CharUpperBuffW(&w, 1);
    if (w != static_cast<wchar_t>(orvanta::foldCase(static_cast<char16_t>(c)))) ++differ;
  }
  EXPECT_LT(differ, 100);
}

}  // namespace
