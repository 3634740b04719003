// The access rules judged directly: which address entries admit which pages, and the
// verdict for every access method over profiles and hostile pages.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/TextConfig.h"
#include "common/TextUtil.h"
#include "gateway/AccessRules.h"

using orv::gateway::AccessVerdict;
using orv::gateway::JudgeAccess;
using orv::gateway::PageProtocol;
using orv::gateway::UrlEntryAdmits;
using Kind = AccessVerdict::Kind;

namespace {

std::u16string U(const char* ascii) { return orvanta::asciiToUtf16(ascii); }
std::string Narrow(std::u16string_view text) { return orvanta::toUtf8(text); }

const std::u16string kLongAddress = U("http://good.example/") + std::u16string(10000, u'a');
const std::u16string kNulAddress = U("http://good.example") + std::u16string(1, u'\0') + U(".evil.test/");

TEST(AccessRulesTest, AddressEntriesAdmitPagesAtTheHostBoundaryOnly) {
  struct Row {
    std::u16string entry, page;
    bool admits;
  } rows[] = {
      {U("http://good.example"), U("http://good.example"), true},
      {U("http://good.example"), U("http://good.example/a"), true},
      {U("http://good.example"), U("http://GOOD.example:8080/"), true},
      {U("http://good.example"), U("http://good.example?q=1"), true},
      {U("http://good.example"), U("http://good.example#top"), true},
      {U("http://good.example"), U("http://good.example:8080"), true},
      {U("http://good.example"), U("http://good.example.evil.test/"), false},
      {U("http://good.example"), U("http://good.examplex/"), false},
      {U("http://good.example"), U("http://good.example@evil.test/"), false},
      {U("http://good.example"), U("http://good.example:x@evil.test/"), false},
      {U("http://good.example"), U("http://good.example:80x/"), false},
      {U("http://good.example"), U("http://good.example:/"), false},
      {U("http://good.example"), U("http://good.example\\evil"), false},
      {U("http://good.example"), kNulAddress, false},
      {U("http://good.example"), U("http://good.exampl"), false},  // the page is never the prefix
      {U("http://good.example"), U("https://good.example/"), false},
      {U("http://good.example"), U(""), false},
      {U("http://good.example/"), U("http://good.example/docs/a.htm"), true},
      {U("http://good.example/docs"), U("http://good.example/docsx"), true},  // a path entry is a plain prefix
      {U("http://good.example/docs"), U("http://good.example/doc"), false},
      {U("file:///C:/pages/demo"), U("file:///C:/pages/demo.htm"), true},
      {U("file:///C:/pages/demo"), U("FILE:///c:/PAGES/demo.htm"), true},
      {U("file:"), U("file:///C:/x.htm"), true},  // no "//": a plain prefix
      {U(""), U("http://good.example/"), false},
      {U(""), U(""), false},
      {U("http://good.example"), kLongAddress, true},
      {kLongAddress, U("http://good.example/"), false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(r.admits, UrlEntryAdmits(r.entry, r.page)) << Narrow(r.entry) << " / " << Narrow(r.page).substr(0, 80);
}

TEST(AccessRulesTest, ProtocolIsTheTextBeforeTheFirstColon) {
  EXPECT_EQ(u"http", PageProtocol(u"http://a:8/b"));
  EXPECT_EQ(u"", PageProtocol(u"no colon at all"));
  EXPECT_EQ(u"", PageProtocol(u":x"));
  EXPECT_EQ(u"", PageProtocol(u""));
}

// Profiles of the verdict table, in the text configuration format.
const char* const kProfiles = R"(
{ ask:
    (string)Name=Ask
} ask;
{ askByNumberText:
    (string)Access=0
} askByNumberText;
{ code:
    (int)Access=1
    (string)Password=Sesame
} code;
{ codeNoPassword:
    (int)Access=1
} codeNoPassword;
{ codeEmptyPassword:
    (int)Access=1
    (string)Password=
} codeEmptyPassword;
{ codeNumberPassword:
    (int)Access=1
    (int)Password=1234
} codeNumberPassword;
{ protocolAsk:
    (int)Access=2
    (string)AllowedProtocols=http
    (string)AllowedProtocols=file
} protocolAsk;
{ protocolEmptyEntry:
    (int)Access=2
    (string)AllowedProtocols=
} protocolEmptyEntry;
{ protocolNoList:
    (int)Access=2
} protocolNoList;
{ protocolCode:
    (int)Access=3
    (string)AllowedProtocols=file
    (string)Password=Sesame
} protocolCode;
{ urlAsk:
    (int)Access=4
    (string)AllowedURL=http://good.example
    (string)AllowedURL=file:///C:/pages/demo
} urlAsk;
{ urlNumberEntry:
    (int)Access=4
    (int)AllowedURL=7
} urlNumberEntry;
{ urlCode:
    (int)Access=5
    (string)AllowedURL=http://good.example
    (string)Password=Sesame
} urlCode;
{ urlCodeNoPassword:
    (int)Access=5
    (string)AllowedURL=http://good.example
} urlCodeNoPassword;
{ methodSix:
    (int)Access=6
} methodSix;
{ methodNegative:
    (int)Access=-1
} methodNegative;
{ methodHuge:
    (int64)Access=4294967298
} methodHuge;
{ methodText:
    (string)Access=two
} methodText;
{ methodTextNumber:
    (string)Access=3
    (string)AllowedProtocols=file
    (string)Password=Sesame
} methodTextNumber;
{ methodDouble:
    (double)Access=4.5
} methodDouble;
)";

TEST(AccessRulesTest, VerdictsForProfilesAndHostilePages) {
  orvanta::config::Section root;
  orvanta::config::loadText(kProfiles, root);
  const AccessVerdict admit{Kind::Admit}, ask{Kind::AskUser}, pageUnknown{Kind::PageUnknown};
  auto refuse = [](unsigned id, bool dialog = true) { return AccessVerdict{Kind::Refuse, id, dialog}; };
  const std::optional<std::u16string> none;
  struct Row {
    const char* profile;
    std::optional<std::u16string> page;
    std::u16string passCode;
    AccessVerdict expected;
  } rows[] = {
      // Confirmation without restriction: any page, even none, reaches the user.
      {"ask", U("http://anything/"), U(""), ask},
      {"ask", none, U(""), ask},
      {"askByNumberText", U(""), U(""), ask},
      // Pass code: right, in another case, wrong, empty, cut at a NUL.
      {"code", none, U("Sesame"), admit},
      {"code", U("x"), U("sESAME"), admit},
      {"code", U("x"), U("Sesam"), refuse(10103)},
      {"code", U("x"), U(""), refuse(10103)},
      {"code", U("x"), U("Sesame") + std::u16string(1, u'\0') + U("x"), refuse(10103)},
      // A pass-code profile without a password admits nobody, an empty code included.
      {"codeNoPassword", U("x"), U(""), refuse(10112)},
      {"codeEmptyPassword", U("x"), U(""), refuse(10112)},
      {"codeNumberPassword", U("x"), U("1234"), refuse(10112)},
      // Protocols.
      {"protocolAsk", U("http://good.example/"), U(""), ask},
      {"protocolAsk", U("FILE:///C:/x.htm"), U(""), ask},
      {"protocolAsk", U("ftp://good.example/"), U(""), refuse(10113)},
      {"protocolAsk", U("no colon"), U(""), refuse(10113)},
      {"protocolAsk", U(""), U(""), refuse(10113)},
      {"protocolAsk", U("fil") + std::u16string(1, u'\0') + U("e:x"), U(""), refuse(10113)},
      {"protocolAsk", none, U(""), pageUnknown},
      {"protocolEmptyEntry", U("no colon"), U(""), refuse(10112)},
      {"protocolEmptyEntry", U("http://x/"), U(""), refuse(10112)},
      {"protocolNoList", U("http://good.example/"), U(""), refuse(10112)},
      {"protocolNoList", none, U(""), pageUnknown},
      {"protocolCode", U("file:///C:/x"), U("SESAME"), admit},
      {"protocolCode", U("file:///C:/x"), U("nope"), refuse(10103)},
      {"protocolCode", U("http://good.example/"), U("Sesame"), refuse(10113)},
      // Addresses, hostile ones included.
      {"urlAsk", U("http://good.example/page.htm"), U(""), ask},
      {"urlAsk", U("file:///c:/pages/demo.htm"), U(""), ask},
      {"urlAsk", U("http://good.example.evil.test/"), U(""), refuse(10113)},
      {"urlAsk", U("http://good.example@evil.test/"), U(""), refuse(10113)},
      {"urlAsk", kNulAddress, U(""), refuse(10113)},
      {"urlAsk", kLongAddress, U(""), ask},
      {"urlAsk", std::u16string(10000, u'h'), U(""), refuse(10113)},
      {"urlAsk", U(""), U(""), refuse(10113)},
      {"urlAsk", U("good.example"), U(""), refuse(10113)},
      {"urlNumberEntry", U("7"), U(""), refuse(10112)},
      {"urlCode", U("http://good.example:8080/"), U("sesame"), admit},
      {"urlCode", U("http://good.example:8080/"), U("wrong"), refuse(10103)},
      {"urlCode", U("http://good.examplex/"), U("Sesame"), refuse(10113)},
      {"urlCodeNoPassword", U("http://good.example/"), U(""), refuse(10112)},
      {"urlCodeNoPassword", U("http://evil.test/"), U(""), refuse(10113)},
      // Methods outside the table, however written, are refused without a dialog.
      {"methodSix", U("x"), U(""), refuse(10104, false)},
      {"methodNegative", U("x"), U(""), refuse(10104, false)},
      {"methodHuge", U("x"), U(""), refuse(10104, false)},
      {"methodText", U("x"), U(""), refuse(10104, false)},
      {"methodDouble", U("x"), U(""), refuse(10104, false)},
      {"methodTextNumber", U("file:x"), U("Sesame"), admit},
  };
  for (const Row& r : rows) {
    const auto& profile = root.section(U(r.profile));
    ASSERT_FALSE(profile.isEmptyObject()) << r.profile;
    const AccessVerdict got =
        JudgeAccess(profile, r.page ? std::optional<std::u16string_view>(*r.page) : std::nullopt, r.passCode);
    EXPECT_EQ(r.expected, got) << r.profile << " / " << (r.page ? Narrow(*r.page).substr(0, 60) : "<no page>") << " / "
                               << Narrow(r.passCode) << ": got kind " << static_cast<int>(got.kind) << " message "
                               << got.message << " dialog " << got.deniedDialog;
  }
}

}  // namespace
