// Registry scripts: register and unregister effects on a scratch branch of HKCU.
#include <gtest/gtest.h>

#include "components/module/Registrar.h"
#include "tests/support/TestSupport.h"

using orvtest::KeyExists;
using orvtest::ReadString;

namespace {

const std::wstring kBase = L"Software\\OrvantaTest\\Registrar";

std::wstring Script(const wchar_t* body) {
  return std::wstring(L"HKCU\r\n{\r\n NoRemove Software\r\n {\r\n  NoRemove OrvantaTest\r\n  {\r\n   Registrar\r\n   {\r\n") +
         body + L"\r\n   }\r\n  }\r\n }\r\n}\r\n";
}

class RegistrarTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kBase.c_str()); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\OrvantaTest"); }
};

TEST_F(RegistrarTest, RegisterWritesKeysValuesAndModulePath) {
  const std::wstring s = Script(
      L"Prog.1 = s 'Desc ''quoted'''\r\n { CLSID = s '{11111111-2222-3333-4444-555555555555}' }\r\n"
      L"ForceRemove {11111111-2222-3333-4444-555555555555} = s 'D'\r\n"
      L" { ForceRemove 'Programmable'\r\n  InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }\r\n"
      L"  'TypeLib' = s '{AAAAAAAA-2222-3333-4444-555555555555}' }");
  ASSERT_EQ(S_OK, orv::RunRegistryScript(s, L"C:\\it's\\x.dll", true));
  const std::wstring k = kBase + L"\\{11111111-2222-3333-4444-555555555555}";
  EXPECT_EQ(L"Desc 'quoted'", ReadString(kBase + L"\\Prog.1", nullptr, HKEY_CURRENT_USER));
  EXPECT_EQ(L"{11111111-2222-3333-4444-555555555555}", ReadString(kBase + L"\\Prog.1\\CLSID", nullptr, HKEY_CURRENT_USER));
  EXPECT_EQ(L"C:\\it's\\x.dll", ReadString(k + L"\\InprocServer32", nullptr, HKEY_CURRENT_USER));
  EXPECT_EQ(L"Both", ReadString(k + L"\\InprocServer32", L"ThreadingModel", HKEY_CURRENT_USER));
  EXPECT_TRUE(KeyExists(k + L"\\Programmable", HKEY_CURRENT_USER));
  EXPECT_EQ(L"{AAAAAAAA-2222-3333-4444-555555555555}", ReadString(k + L"\\TypeLib", nullptr, HKEY_CURRENT_USER));
}

TEST_F(RegistrarTest, ForceRemoveClearsOldSubtreeOnRegister) {
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, (kBase + L"\\Forced\\Stale").c_str(), nullptr, REG_SZ, L"x", 4));
  ASSERT_EQ(S_OK, orv::RunRegistryScript(Script(L"ForceRemove Forced = s 'new'"), L"m", true));
  EXPECT_FALSE(KeyExists(kBase + L"\\Forced\\Stale", HKEY_CURRENT_USER));
  EXPECT_EQ(L"new", ReadString(kBase + L"\\Forced", nullptr, HKEY_CURRENT_USER));
}

TEST_F(RegistrarTest, UnregisterKeepsNoRemoveAndForeignSubkeys) {
  const std::wstring s = Script(
      L"NoRemove Kept { Child = s 'c' }\r\n"
      L"Shared { Listed = s 'l' }\r\n"
      L"Gone = s 'g' { Sub { val V = s 'v' } }\r\n"
      L"Valued { val A = s 'a' }");
  ASSERT_EQ(S_OK, orv::RunRegistryScript(s, L"m", true));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, (kBase + L"\\Shared\\Foreign").c_str(), nullptr, REG_SZ, L"f", 4));
  ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, (kBase + L"\\Valued\\Other").c_str(), nullptr, REG_SZ, L"o", 4));
  ASSERT_EQ(S_OK, orv::RunRegistryScript(s, L"m", false));
  EXPECT_TRUE(KeyExists(kBase + L"\\Kept", HKEY_CURRENT_USER));
  EXPECT_FALSE(KeyExists(kBase + L"\\Kept\\Child", HKEY_CURRENT_USER));
  EXPECT_TRUE(KeyExists(kBase + L"\\Shared\\Foreign", HKEY_CURRENT_USER));
  EXPECT_FALSE(KeyExists(kBase + L"\\Shared\\Listed", HKEY_CURRENT_USER));
  EXPECT_FALSE(KeyExists(kBase + L"\\Gone", HKEY_CURRENT_USER));
  // A key kept for a foreign subkey loses its `val` values all the same.
  EXPECT_TRUE(KeyExists(kBase + L"\\Valued", HKEY_CURRENT_USER));
  EXPECT_EQ(L"<missing>", ReadString(kBase + L"\\Valued", L"A", HKEY_CURRENT_USER));
  // Unregistering again finds nothing to do and still succeeds.
  EXPECT_EQ(S_OK, orv::RunRegistryScript(s, L"m", false));
}

TEST_F(RegistrarTest, MalformedScriptsAreRefusedWithoutWriting) {
  for (const wchar_t* bad : {L"HKCU { Software { Unclosed = s 'x' }", L"HKXX { A }", L"HKCU { A = s 'open }",
                             L"HKCU { A = d '1' }", L"HKCU { val A = s 'x' }", L""}) {
    orv::RegistryScript parsed;
    EXPECT_EQ(E_FAIL, orv::ParseRegistryScript(bad, parsed)) << bad;
  }
  EXPECT_EQ(E_FAIL, orv::RunRegistryScript(L"HKCU { Software { OrvantaTest { Half = s 'x' ", L"m", true));
  EXPECT_FALSE(KeyExists(L"Software\\OrvantaTest\\Half", HKEY_CURRENT_USER));
}

}  // namespace
