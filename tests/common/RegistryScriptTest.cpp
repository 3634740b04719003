// Registry scripts: the parse of a script, the script written back from it, and the
// refusals (syntax, unknown root, nesting beyond the limit).
#include <gtest/gtest.h>

#include "common/RegistryScript.h"

namespace {

TEST(RegistryScript, ParsesWritesBackAndRefuses) {
  const std::u16string text =
      u"HKCR\r\n{\r\n  Orvanta.x.1 = s 'It''s'\r\n  { CLSID = s '{6CEAA772-C22C-11D4-9979-0040332BA2EA}' }\r\n"
      u"  NoRemove CLSID\r\n  {\r\n    ForceRemove {6CEAA772-C22C-11D4-9979-0040332BA2EA} = s 'D'\r\n"
      u"    {\r\n      InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }\r\n    }\r\n  }\r\n}\r\n";
  orvanta::RegistryScript script;
  ASSERT_TRUE(orvanta::parseRegistryScript(text, script));
  EXPECT_EQ(u"HKCR", script.root);
  ASSERT_EQ(2u, script.keys.size());
  EXPECT_EQ(u"It's", script.keys[0].defaultValue);
  const orvanta::RegistryScriptKey& clsid = script.keys[1].children.at(0);
  EXPECT_TRUE(script.keys[1].noRemove);
  EXPECT_TRUE(clsid.forceRemove);
  EXPECT_EQ(u"{6CEAA772-C22C-11D4-9979-0040332BA2EA}", clsid.name);
  EXPECT_EQ(u"Both", clsid.children.at(0).values.at(0).second);

  orvanta::RegistryScript again;
  ASSERT_TRUE(orvanta::parseRegistryScript(orvanta::formatRegistryScript(script), again));
  EXPECT_EQ(script, again);

  std::u16string deep = u"HKCU {";
  for (int i = 0; i <= orvanta::kMaxRegistryScriptDepth; ++i) deep += u" k {";
  for (int i = 0; i <= orvanta::kMaxRegistryScriptDepth; ++i) deep += u" }";
  deep += u" }";
  for (const std::u16string& bad : {deep, std::u16string(u"HKXX { a }"), std::u16string(u"HKCU { a = s 'x }"),
                                    std::u16string(u"HKCU { val a = s 'x' }"), std::u16string(u"HKCU { a } b")}) {
    orvanta::RegistryScript refused;
    refused.root = u"kept";
    EXPECT_FALSE(orvanta::parseRegistryScript(bad, refused));
    EXPECT_EQ(u"kept", refused.root);
  }
}

}  // namespace
