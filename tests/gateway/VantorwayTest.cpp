// Vantorway driven as a browser drives it, through the page host: the gateway is made
// from a copy of Vantor.dll in a scratch folder of the build tree with the test's own
// "Vantor.cfg" beside it, handed a site that answers one address route or another, and
// its dialogs are read and answered from a second thread.
#include <gtest/gtest.h>

#include <ocidl.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "OrvantaVessa.h"
#include "Vantor.h"
#include "VantorDialogs.h"
#include "gateway/ObjectSafety.h"
#include "samples/pagehost/DialogAnswerer.h"
#include "samples/pagehost/PageSite.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using pagehost::Answer;
using pagehost::Route;
using pagehost::RouteState;
using pagehost::SeenDialog;

namespace {

const std::map<UINT, std::wstring> kMessages = {
    {10101, L"No profiles are defined in the Vantor.cfg"},
    {10102, L"Requested profile not found in the Vantor.cfg"},
    {10103, L"Access to the requested profile has been denied due to wrong password."},
    {10104, L"Unsupported authentication method is configured in Vantor.cfg for the requested profile."},
    {10105, L"The access to the Vantor profile has been denied by the user."},
    {10106, L"The ID is not recognized as ProgID or ClassID."},
    {10107, L"No profile has been activated on Vantor yet."},
    {10108,
     L"Failed to create object. Possible reasons: object is not in the profile, object is disabled, object creation "
     L"failed because of specific requirements."},
    {10109, L"The object has been created without site. Perhaps you are not using OBJECT tag to create the object. "},
    {10112, L"Profile configuration error."},
    {10113, L"The profile configuration disallows access from this page."},
};

HRESULT Hr(UINT id) { return static_cast<HRESULT>(0x80040000u + id); }

// The scratch folder (drive T:, in the build tree) holding the gateway copy and its files.
std::wstring Folder() {
  std::wstring bin = orvtest::BinPath(L"");
  bin.pop_back();
  return bin.substr(0, bin.find_last_of(L"\\/") + 1) + L"gateway-tests\\";
}

const char* const kProfiles = R"(
{ PROFILES:
    { ask:
        (string)Name=Asked profile
        (string)Description=Lets the page make memory streams.
        (string)Default=memory
        { CLASSES:
            (int)Orvanta.utilctls.SFMain=1
            (int){F86AC6C2-5578-4AE8-808A-DC5DAA78082A}=1
            (int)Orvanta.utilctls.Disabled=0
            (string)Orvanta.utilctls.Textual=yes
            (int)No.Such.ProgID=1
            (int){00000000-0000-0000-0000-0000000000AB}=1
            { memory:
                (string)Type=memorystream
            } memory;
            { readonly:
                (string)Type=File
                (string)File=T:\gateway-tests\existing.txt
                (int)ReadOnly=1
                (int)ShareRead=1
            } readonly;
            { created:
                (string)Type=File
                (string)File=T:\gateway-tests\created.txt
                (int)Create=1
                (int)Exclusive=1
            } created;
            { missing:
                (string)Type=File
                (string)File=T:\gateway-tests\missing.txt
            } missing;
            { storage:
                (string)Type=OLEStorage
                (string)File=T:\gateway-tests\store.stg
                (int)Create=1
                (int)Exclusive=1
            } storage;
            { nofile:
                (string)Type=File
            } nofile;
            { notype:
                (string)File=T:\gateway-tests\existing.txt
            } notype;
            { folder:
                (string)Type=Folder
                (string)File=T:\gateway-tests
            } folder;
        } CLASSES;
    } ask;
    { code:
        (string)Name=Coded
        (int)Access=1
        (string)Password=Sesame
        { CLASSES:
            { memory:
                (string)Type=MemoryStream
            } memory;
        } CLASSES;
    } code;
    { proto:
        (string)Name=By protocol
        (string)Description=Local pages.
        (int)Access=2
        (string)AllowedProtocols=file
        (string)AllowedProtocols=res
    } proto;
    { protoCode:
        (string)Name=By protocol and code
        (int)Access=3
        (string)AllowedProtocols=file
        (string)Password=Sesame
    } protoCode;
    { url:
        (string)Name=By address
        (int)Access=4
        (string)AllowedURL=http://good.example
    } url;
    { urlCode:
        (string)Name=By address and code
        (int)Access=5
        (string)AllowedURL=http://good.example
        (string)Password=Sesame
    } urlCode;
    { noList:
        (string)Name=No list
        (int)Access=4
    } noList;
    { noPassword:
        (string)Name=No password
        (int)Access=1
    } noPassword;
    { method9:
        (string)Name=Method nine
        (int)Access=9
    } method9;
    { noClasses:
        (int)Access=1
        (string)Password=Sesame
        (string)Default=memory
    } noClasses;
} PROFILES;
)";

class VantorwayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::filesystem::create_directories(Folder());
    CopyFileW(orvtest::BinPath(L"Vantor.dll").c_str(), (Folder() + L"Vantor.dll").c_str(), FALSE);
    module_ = LoadLibraryW((Folder() + L"Vantor.dll").c_str());
  }

  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_NE(nullptr, module_);
    WriteFile(L"existing.txt", "present");
    DeleteFileW((Folder() + L"created.txt").c_str());
    DeleteFileW((Folder() + L"store.stg").c_str());
    answerer_ = std::make_unique<pagehost::DialogAnswerer>();
  }
  void TearDown() override {
    if (withSite_) withSite_->SetSite(nullptr);
    withSite_.reset();
    gw_.reset();
    siteRef_.reset();
    answerer_.reset();
    CoUninitialize();
  }

  static void WriteFile(const wchar_t* name, const std::string& text) {
    std::ofstream(std::filesystem::path(Folder() + name), std::ios::binary) << text;
  }

  static HRESULT Create(IVantorway** out) {
    auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    HRESULT hr = get(CLSID_Vantorway, IID_IClassFactory, factory.put_void());
    return FAILED(hr) ? hr : factory->CreateInstance(nullptr, IID_IVantorway, reinterpret_cast<void**>(out));
  }

  // A gateway over the given configuration, sited on a page whose address the given
  // route answers (no site when the address is null).
  void Open(const char* config = kProfiles, const wchar_t* address = L"file:///T:/pages/a.htm",
            Route route = Route::BrowserDocument) {
    WriteFile(L"Vantor.cfg", config);
    ASSERT_EQ(S_OK, Create(gw_.put()));
    if (!address) return;
    pagehost::PageSite::CreateObject(&site_);
    siteRef_.attach(site_);
    site_->SetAddress(address);
    site_->SetOnly(route);
    ASSERT_EQ(S_OK, gw_.query(withSite_));
    ASSERT_EQ(S_OK, withSite_->SetSite(siteRef_.get()));
  }

  HRESULT Put(const wchar_t* profile, Answer answer = Answer::Allow) {
    answerer_->SetAnswer(answer);
    Bstr name(profile);
    return gw_->put_Profile(name.get());
  }
  HRESULT PassCode(const std::wstring& code) {
    Bstr text(code.data(), static_cast<UINT>(code.size()));
    return gw_->put_PassCode(text.get());
  }
  HRESULT Make(const wchar_t* id, ComPtr<IDispatch>& out) {
    Bstr text(id);
    return gw_->CreateObject(text.get(), out.put());
  }
  std::wstring Active() {
    Bstr name;
    EXPECT_EQ(S_OK, gw_->get_Profile(name.put()));
    return name.c_str();
  }
  // "C" for each confirmation dialog shown, "D" for each denied notice.
  std::string Dialogs() {
    std::string kinds;
    for (const SeenDialog& d : answerer_->Take()) kinds += d.confirmation ? 'C' : 'D';
    return kinds;
  }

  // The failure's HRESULT, its error record's text, source and interface.
  static void ExpectRefused(HRESULT got, UINT id, const std::string& where = "") {
    EXPECT_EQ(Hr(id), got) << where;
    const auto rec = orvtest::TakeErrorRecord();
    EXPECT_TRUE(rec.present) << where;
    EXPECT_EQ(kMessages.at(id), rec.description) << where;
    EXPECT_EQ(L"Orvanta Vantor Class", rec.source) << where;
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, rec.guid)) << where;
  }

  static HMODULE module_;
  ComPtr<IVantorway> gw_;
  pagehost::PageSite* site_ = nullptr;
  ComPtr<IOleClientSite> siteRef_;
  ComPtr<IObjectWithSite> withSite_;
  std::unique_ptr<pagehost::DialogAnswerer> answerer_;
};

HMODULE VantorwayTest::module_ = nullptr;

TEST_F(VantorwayTest, CreationNeedsTheConfigurationBesideTheModule) {
  DeleteFileW((Folder() + L"Vantor.cfg").c_str());
  ComPtr<IVantorway> gw;
  EXPECT_EQ(E_FAIL, Create(gw.put()));
  EXPECT_EQ(nullptr, gw.get());
  // Read once: a later edit does not reach an object made before it.
  Open("{ PROFILES:\n} PROFILES;\n");
  WriteFile(L"Vantor.cfg", kProfiles);
  EXPECT_EQ(Hr(10101), Put(L"code"));
  ComPtr<IVantorway> later;
  ASSERT_EQ(S_OK, Create(later.put()));
  ASSERT_EQ(S_OK, later->put_PassCode(Bstr(L"Sesame").get()));
  EXPECT_EQ(S_OK, later->put_Profile(Bstr(L"code").get()));
  EXPECT_EQ("", Dialogs());
}

// A module path longer than the 260 characters it is read into would, cut short, name
// another folder: the gateway is then not made, whatever configuration lies there.
TEST_F(VantorwayTest, ModulePathTooLongForItsBufferReadsNoConfiguration) {
  std::wstring dir = Folder() + L"long\\";
  while (dir.size() < 300) dir += L"folder-with-a-long-name\\";
  const std::wstring dll = dir + L"Vantor.dll";
  std::filesystem::create_directories(std::filesystem::path(dir));
  ASSERT_TRUE(CopyFileW(orvtest::BinPath(L"Vantor.dll").c_str(), dll.c_str(), FALSE));
  std::ofstream(std::filesystem::path(dir + L"Vantor.cfg"), std::ios::binary) << kProfiles;
  const std::wstring cut = dll.substr(0, MAX_PATH);
  const std::wstring decoy = cut.substr(0, cut.find_last_of(L'\\') + 1) + L"Vantor.cfg";
  std::ofstream(std::filesystem::path(decoy), std::ios::binary) << kProfiles;
  HMODULE module = LoadLibraryW(dll.c_str());
  if (!module) GTEST_SKIP() << "this platform loads no module from a path this long";
  auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, get(CLSID_Vantorway, IID_IClassFactory, factory.put_void()));
  ComPtr<IVantorway> gw;
  EXPECT_EQ(E_FAIL, factory->CreateInstance(nullptr, IID_IVantorway, gw.put_void()));
  factory.reset();
  FreeLibrary(module);
}

TEST_F(VantorwayTest, SafetyErrorSupportAndSite) {
  Open(kProfiles, nullptr);
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, gw_.query(support));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IVantorway));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IDispatch));
  EXPECT_EQ(S_FALSE, support->InterfaceSupportsErrorInfo(IID_IObjectSafety));

  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(S_OK, gw_.query(safety));
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(E_POINTER, safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled));
  EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(3u, supported);
  EXPECT_EQ(3u, enabled);
  EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 4, 4));
  EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 7, 0));
  EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(3u, enabled);  // a refused change changes nothing
  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 0));
  EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
  EXPECT_EQ(2u, enabled);
  EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3));

  // The class may be aggregated.
  auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, get(CLSID_Vantorway, IID_IClassFactory, factory.put_void()));
  ComPtr<IUnknown> inner;
  EXPECT_EQ(S_OK, factory->CreateInstance(support.get(), IID_IUnknown, inner.put_void()));
  EXPECT_NE(nullptr, inner.get());
  inner.reset();

  ComPtr<IObjectWithSite> withSite;
  ASSERT_EQ(S_OK, gw_.query(withSite));
  ComPtr<IUnknown> got;
  EXPECT_EQ(E_POINTER, withSite->GetSite(IID_IUnknown, nullptr));
  EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, got.put_void()));
  pagehost::PageSite* site = nullptr;
  ASSERT_EQ(S_OK, pagehost::PageSite::CreateObject(&site));
  ComPtr<IOleClientSite> siteRef(site, false);
  EXPECT_EQ(S_OK, withSite->SetSite(site->ControllingUnknown()));
  ComPtr<IOleClientSite> back;
  EXPECT_EQ(S_OK, withSite->GetSite(IID_IOleClientSite, back.put_void()));
  EXPECT_EQ(siteRef.get(), back.get());
  back.reset();
  EXPECT_EQ(S_OK, withSite->SetSite(nullptr));
  EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, got.put_void()));
  EXPECT_EQ(0u, siteRef.release()->Release());  // the gateway let the site go
}

TEST_F(VantorwayTest, NullArgumentsAreRefusedFirst) {
  Open();
  ComPtr<IDispatch> out;
  EXPECT_EQ(E_POINTER, gw_->get_Profile(nullptr));
  EXPECT_EQ(E_POINTER, gw_->put_Profile(nullptr));
  EXPECT_EQ(E_POINTER, gw_->put_PassCode(nullptr));
  EXPECT_EQ(E_POINTER, gw_->CreateObject(nullptr, out.put()));
  EXPECT_EQ(E_POINTER, gw_->CreateObject(Bstr(L"memory").get(), nullptr));
  EXPECT_EQ(L"", Active());
  EXPECT_EQ("", Dialogs());
}

TEST_F(VantorwayTest, ConfigurationsWithoutProfiles) {
  for (const char* config : {"(int)x=1\n", "{ PROFILES:\n} PROFILES;\n", "(string)PROFILES=ask\n"}) {
    Open(config);
    ExpectRefused(Put(L"ask"), 10101, config);
  }
  Open();
  ExpectRefused(Put(L"nothing"), 10102);
  ExpectRefused(Put(L""), 10102);
  ExpectRefused(Put(L"CLASSES"), 10102);
  ExpectRefused(Put(L"method9"), 10104);
  EXPECT_EQ("", Dialogs());  // none of these asks the user
  EXPECT_EQ(L"", Active());
}

// Every method with the user allowing and denying, with right, wrong and case-different
// pass codes, from admitted and refused pages.
TEST_F(VantorwayTest, EveryAccessMethodWithItsDialogs) {
  struct Row {
    const wchar_t* profile;
    const wchar_t* page;
    const wchar_t* passCode;
    Answer answer;
    UINT refusal;  // 0: granted
    const char* dialogs;
  } rows[] = {
      {L"ask", L"http://any.example/", L"", Answer::Allow, 0, "C"},
      {L"ask", L"http://any.example/", L"", Answer::Deny, 10105, "C"},
      {L"ASK", L"http://any.example/", L"", Answer::Close, 10105, "C"},
      {L"code", L"http://any.example/", L"Sesame", Answer::Deny, 0, ""},
      {L"code", L"http://any.example/", L"sesame", Answer::Deny, 0, ""},
      {L"code", L"http://any.example/", L"Sesam", Answer::Allow, 10103, "D"},
      {L"code", L"http://any.example/", L"", Answer::Allow, 10103, "D"},
      {L"noPassword", L"http://any.example/", L"", Answer::Allow, 10112, "D"},
      {L"proto", L"file:///T:/pages/a.htm", L"", Answer::Allow, 0, "C"},
      {L"proto", L"RES://x", L"", Answer::Allow, 0, "C"},
      {L"proto", L"file:///T:/pages/a.htm", L"", Answer::Deny, 10105, "C"},
      {L"proto", L"http://good.example/", L"", Answer::Allow, 10113, "D"},
      {L"proto", L"no colon", L"", Answer::Allow, 10113, "D"},
      {L"protoCode", L"file:///x", L"SESAME", Answer::Deny, 0, ""},
      {L"protoCode", L"file:///x", L"wrong", Answer::Allow, 10103, "D"},
      {L"protoCode", L"http://good.example/", L"Sesame", Answer::Allow, 10113, "D"},
      {L"url", L"http://good.example/a.htm", L"", Answer::Allow, 0, "C"},
      {L"url", L"http://GOOD.EXAMPLE:8080/", L"", Answer::Deny, 10105, "C"},
      {L"url", L"http://good.example.evil.test/", L"", Answer::Allow, 10113, "D"},
      {L"url", L"http://good.example@evil.test/", L"", Answer::Allow, 10113, "D"},
      {L"urlCode", L"http://good.example/", L"sEsAmE", Answer::Deny, 0, ""},
      {L"urlCode", L"http://good.example/", L"Sesame!", Answer::Allow, 10103, "D"},
      {L"urlCode", L"http://evil.test/", L"Sesame", Answer::Allow, 10113, "D"},
      {L"noList", L"http://good.example/", L"", Answer::Allow, 10112, "D"},
  };
  for (const Row& r : rows) {
    const std::string where = std::string(r.profile, r.profile + wcslen(r.profile)) + " " +
                              std::string(r.page, r.page + wcslen(r.page)) + " " +
                              std::string(r.passCode, r.passCode + wcslen(r.passCode));
    Open(kProfiles, r.page);
    ASSERT_EQ(S_OK, PassCode(r.passCode));
    const HRESULT hr = Put(r.profile, r.answer);
    if (r.refusal) {
      ExpectRefused(hr, r.refusal, where);
      EXPECT_EQ(L"", Active()) << where;
    } else {
      EXPECT_EQ(S_OK, hr) << where;
      EXPECT_EQ(std::wstring(r.profile), Active()) << where;
    }
    EXPECT_EQ(r.dialogs, Dialogs()) << where;
  }
}

TEST_F(VantorwayTest, PassCodeIsComparedByItsWholeLength) {
  Open();
  ASSERT_EQ(S_OK, PassCode(std::wstring(L"Sesame\0tail", 11)));
  ExpectRefused(Put(L"code"), 10103);
  ASSERT_EQ(S_OK, PassCode(std::wstring(L"Sesame")));
  EXPECT_EQ(S_OK, Put(L"code"));
  EXPECT_EQ("D", Dialogs());
}

TEST_F(VantorwayTest, ConfirmationDialogShowsProfileDescriptionAndPage) {
  Open(kProfiles, L"http://good.example/page.htm");
  ASSERT_EQ(S_OK, Put(L"url"));
  ASSERT_EQ(S_OK, Put(L"ask"));
  ASSERT_EQ(S_OK, Put(L"ask"));  // asked again, though already active
  auto seen = answerer_->Take();
  ASSERT_EQ(3u, seen.size());
  seen.pop_back();
  const SeenDialog& d = seen[1];
  EXPECT_EQ(L"Vantor profile access", d.caption);
  EXPECT_TRUE(d.topLevel);
  EXPECT_TRUE(d.modalFrame);
  EXPECT_TRUE(d.centred);
  EXPECT_EQ(MulDiv(132, d.baseX, 4), d.client.cx);
  EXPECT_EQ(MulDiv(130, d.baseY, 8), d.client.cy);
  EXPECT_EQ(L"By address", seen[0].Control(IDC_CONFIRM_PROFILE)->text);
  EXPECT_EQ(L"Asked profile", d.Control(IDC_CONFIRM_PROFILE)->text);
  EXPECT_EQ(L"Lets the page make memory streams.", d.Control(IDC_CONFIRM_DESCRIPTION)->text);
  EXPECT_EQ(L"http://good.example/page.htm", d.Control(IDC_CONFIRM_PAGE)->text);
  EXPECT_EQ((std::vector<std::wstring>{L"Profile description", L"Page base URL"}), d.choices);
  EXPECT_EQ(0, d.chosen);
  EXPECT_TRUE(d.Control(IDC_CONFIRM_DESCRIPTION)->visible);
  EXPECT_FALSE(d.Control(IDC_CONFIRM_PAGE)->visible);
  EXPECT_TRUE(d.pageShownForSecondChoice);
  EXPECT_FALSE(d.descriptionShownForSecondChoice);
  EXPECT_TRUE(d.descriptionShownForFirstChoice);
  EXPECT_FALSE(d.pageShownForFirstChoice);

  // Every control: kind, text and place in dialog units.
  constexpr LONG kScrolledText = ES_MULTILINE | ES_READONLY | WS_VSCROLL;  // long texts scroll
  struct Expected {
    int id;
    const wchar_t* className;
    const wchar_t* text;  // null: not compared
    int x, y, cx, cy;
    LONG style;  // bits that must be set
  } controls[] = {
      {IDOK, L"Button", L"&Allow", 5, 5, 50, 14, 0},
      {IDCANCEL, L"Button", L"&Deny", 75, 5, 50, 14, 0},
      {-1, L"Static", L"An attempt has been made to access the following Vantor profile. Do you allow it?", 5, 20, 120, 30,
       SS_CENTER},
      {-1, L"Static", L"Profile:", 5, 55, 24, 8, 0},
      {IDC_CONFIRM_PROFILE, L"Static", nullptr, 35, 55, 90, 8, 0},
      {IDC_CONFIRM_CHOICE, L"ComboBox", nullptr, 5, 65, 120, 0, CBS_DROPDOWNLIST},
      {IDC_CONFIRM_DESCRIPTION, L"Edit", nullptr, 5, 85, 120, 40, kScrolledText},
      {IDC_CONFIRM_PAGE, L"Edit", nullptr, 5, 85, 120, 40, kScrolledText},
  };
  ASSERT_EQ(std::size(controls), d.controls.size());
  for (size_t i = 0; i < std::size(controls); ++i) {
    const Expected& e = controls[i];
    const auto& c = d.controls[i];
    const std::string where = "control " + std::to_string(i);
    EXPECT_EQ(e.id, c.id) << where;
    EXPECT_EQ(e.className, c.className) << where;
    if (e.text) {
      EXPECT_EQ(e.text, c.text) << where;
    }
    const RECT want = d.Pixels(e.x, e.y, e.cx, e.cy);
    EXPECT_EQ(want.left, c.place.left) << where;
    EXPECT_EQ(want.top, c.place.top) << where;
    EXPECT_EQ(want.right, c.place.right) << where;
    if (e.cy) {  // a closed list has its own height
      EXPECT_EQ(want.bottom, c.place.bottom) << where;
    }
    EXPECT_EQ(e.style, c.style & e.style) << where;
  }
}

TEST_F(VantorwayTest, DeniedNoticeNamesTheProfile) {
  Open(kProfiles, L"http://evil.test/");
  ExpectRefused(Put(L"url"), 10113);
  const auto seen = answerer_->Take();
  ASSERT_EQ(1u, seen.size());
  const SeenDialog& d = seen[0];
  EXPECT_EQ(L"Scritpting denied", d.caption);
  EXPECT_TRUE(d.topLevel);
  EXPECT_EQ(MulDiv(97, d.baseX, 4), d.client.cx);
  EXPECT_EQ(MulDiv(77, d.baseY, 8), d.client.cy);
  struct Expected {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    int x, y, cx, cy;
    LONG style;
  } controls[] = {
      {IDOK, L"Button", L"OK", 5, 60, 85, 14, BS_DEFPUSHBUTTON},
      {-1, L"Static", nullptr, 5, 5, 20, 20, SS_ICON},
      {-1, L"Static", L"Vantor access denied", 30, 5, 60, 20, SS_CENTER},
      {-1, L"Static", L"Profile:", 35, 30, 24, 8, 0},
      {IDC_DENIED_PROFILE, L"Edit", L"By address", 5, 40, 85, 12, ES_CENTER | ES_READONLY},
  };
  ASSERT_EQ(std::size(controls), d.controls.size());
  for (size_t i = 0; i < std::size(controls); ++i) {
    const Expected& e = controls[i];
    const auto& c = d.controls[i];
    const std::string where = "control " + std::to_string(i);
    EXPECT_EQ(e.id, c.id) << where;
    EXPECT_EQ(e.className, c.className) << where;
    if (e.text) {
      EXPECT_EQ(e.text, c.text) << where;
    }
    const RECT want = d.Pixels(e.x, e.y, e.cx, e.cy);
    EXPECT_EQ(want.left, c.place.left) << where;
    EXPECT_EQ(want.top, c.place.top) << where;
    if (i != 1) {  // an icon takes its own size
      EXPECT_EQ(want.right, c.place.right) << where;
    }
    EXPECT_EQ(e.style, c.style & e.style) << where;
  }
}

TEST_F(VantorwayTest, AddressWithNulIsShownWhole) {
  const std::wstring address(L"http://good.example\0.evil.test/", 31);
  Open(kProfiles, L"");
  site_->SetAddress(address);
  ExpectRefused(Put(L"url"), 10113);  // never admitted by its part before the NUL
  ASSERT_EQ(S_OK, Put(L"ask"));
  const auto seen = answerer_->Take();
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ(L"http://good.example\xFFFD.evil.test/", seen[1].Control(IDC_CONFIRM_PAGE)->text);
}

// Each route alone, routes that fail handing over to the next, and the order among them.
TEST_F(VantorwayTest, PageAddressThroughTheRoutesInOrder) {
  using S = RouteState;
  struct Row {
    S document, container, browser;
    int served;  // route that gave the address, -1: none
  } rows[] = {
      {S::Answers, S::Off, S::Off, 0},       {S::Off, S::Answers, S::Off, 1},
      {S::Off, S::Off, S::Answers, 2},       {S::Answers, S::Answers, S::Answers, 0},
      {S::Fails, S::Answers, S::Answers, 1}, {S::Fails, S::Fails, S::Answers, 2},
      {S::Off, S::Fails, S::Answers, 2},     {S::Fails, S::Fails, S::Fails, -1},
      {S::Off, S::Off, S::Off, -1},
  };
  for (const Row& r : rows) {
    const std::string where = "row " + std::to_string(&r - rows);
    Open(kProfiles, L"file:///T:/pages/a.htm");
    site_->SetRoute(Route::BrowserDocument, r.document);
    site_->SetRoute(Route::ContainerDocument, r.container);
    site_->SetRoute(Route::BrowserService, r.browser);
    const HRESULT hr = Put(L"proto");
    if (r.served < 0) {
      ExpectRefused(hr, 10109, where);
      EXPECT_EQ("", Dialogs()) << where;
      continue;
    }
    EXPECT_EQ(S_OK, hr) << where;
    EXPECT_EQ("C", Dialogs()) << where;
    for (int route = r.served + 1; route < pagehost::kRouteCount; ++route)
      EXPECT_EQ(0, site_->Calls(static_cast<Route>(route))) << where << ": route " << route << " asked";
  }
  // Without any site: methods that need the page fail, the others go on.
  Open(kProfiles, nullptr);
  ExpectRefused(Put(L"proto"), 10109);
  ExpectRefused(Put(L"urlCode"), 10109);
  EXPECT_EQ(S_OK, Put(L"ask"));
  const auto seen = answerer_->Take();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(L"", seen[0].Control(IDC_CONFIRM_PAGE)->text);  // no address: nothing shown
  EXPECT_TRUE(seen[0].pageShownForSecondChoice);
}

// The gateway's lock is held while the user decides: a call from another thread waits
// and then sees the profile the user allowed.
TEST_F(VantorwayTest, OtherCallsWaitWhileTheUserDecides) {
  Open(kProfiles, L"file:///T:/pages/a.htm");
  IVantorway* gw = gw_.get();
  std::thread caller;
  std::atomic<bool> answered{false}, answeredEarly{false};
  std::wstring seenByCaller;
  answerer_->OnDialog([&](HWND) {
    caller = std::thread([&] {
      Bstr name;
      gw->get_Profile(name.put());
      seenByCaller = name.c_str();
      answered = true;
    });
    Sleep(300);
    answeredEarly = answered.load();
  });
  ASSERT_EQ(S_OK, Put(L"proto"));
  answerer_->OnDialog(nullptr);
  caller.join();
  EXPECT_FALSE(answeredEarly);
  EXPECT_EQ(L"proto", seenByCaller);
  EXPECT_EQ("C", Dialogs());
}

TEST_F(VantorwayTest, CreateObjectOfEveryKind) {
  Open();
  ComPtr<IDispatch> obj;
  ExpectRefused(Make(L"memory", obj), 10107);
  ASSERT_EQ(S_OK, Put(L"ask"));
  struct Row {
    const wchar_t* id;
    HRESULT hr;  // a message's HRESULT is checked with its error record
    const wchar_t* member;  // a member the object must answer
  } rows[] = {
      {L"Orvanta.utilctls.SFMain", S_OK, L"NewGUID"},
      {L"orvanta.UTILCTLS.sfmain", S_OK, L"NewGUID"},
      {L"{F86AC6C2-5578-4AE8-808A-DC5DAA78082A}", S_OK, L"NewGUID"},
      {L"", S_OK, L"WriteText"},  // the profile's default
      {L"memory", S_OK, L"WriteText"},
      {L"readonly", S_OK, L"ReadText"},
      {L"created", S_OK, L"WriteText"},
      {L"storage", S_OK, L"CreateStream"},
      {L"Orvanta.utilctls.Disabled", Hr(10108), nullptr},
      {L"Orvanta.utilctls.Textual", Hr(10108), nullptr},
      {L"Unlisted.Class", Hr(10108), nullptr},
      {L"No.Such.ProgID", Hr(10106), nullptr},
      {L"missing", Hr(10108), nullptr},
      {L"nofile", Hr(10108), nullptr},
      {L"folder", Hr(10108), nullptr},
      {L"notype", Hr(10112), nullptr},
  };
  for (const Row& r : rows) {
    const std::string where(r.id, r.id + wcslen(r.id));
    const HRESULT hr = Make(r.id, obj);
    if (HRESULT_FACILITY(r.hr) == FACILITY_ITF) {
      ExpectRefused(hr, static_cast<UINT>(r.hr & 0xFFFF), where);
      EXPECT_EQ(nullptr, obj.get()) << where;
      continue;
    }
    ASSERT_EQ(r.hr, hr) << where;
    ASSERT_NE(nullptr, obj.get()) << where;
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(r.member);
    EXPECT_EQ(S_OK, obj->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) << where;
  }
  // A listed class that is not registered: COM's own result, and no error record.
  ComPtr<ICreateErrorInfo> stale;
  ASSERT_EQ(S_OK, CreateErrorInfo(stale.put()));
  stale->SetDescription(const_cast<LPOLESTR>(L"older"));
  ComPtr<IErrorInfo> staleInfo;
  stale.query(staleInfo);
  SetErrorInfo(0, staleInfo.get());
  EXPECT_EQ(REGDB_E_CLASSNOTREG, Make(L"{00000000-0000-0000-0000-0000000000AB}", obj));
  EXPECT_FALSE(orvtest::TakeErrorRecord().present);

  // The read-only file refuses writes; the created file exists now; the storage reopens.
  ASSERT_EQ(S_OK, Make(L"readonly", obj));
  ComPtr<ISFStream> stream;
  ASSERT_EQ(S_OK, obj.query(stream));
  Bstr text;
  EXPECT_EQ(S_OK, stream->ReadText(-2, text.put()));
  EXPECT_STREQ(L"present", text.c_str());
  EXPECT_TRUE(FAILED(stream->WriteText(Bstr(L"x").get(), 0)));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(Folder() + L"created.txt")));
  obj.reset();
  stream.reset();
  ASSERT_EQ(S_OK, Make(L"storage", obj));
  obj.reset();
  DeleteFileW((Folder() + L"missing.txt").c_str());
  ExpectRefused(Make(L"missing", obj), 10108);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Folder() + L"missing.txt")));  // no Create: not made
  EXPECT_EQ("C", Dialogs());
}

TEST_F(VantorwayTest, ProfilesWithoutClassesOrDefault) {
  Open();
  ASSERT_EQ(S_OK, PassCode(L"Sesame"));
  ComPtr<IDispatch> obj;
  ASSERT_EQ(S_OK, Put(L"noClasses"));
  ExpectRefused(Make(L"", obj), 10112);        // a default, but nothing listed
  ExpectRefused(Make(L"memory", obj), 10112);
  ASSERT_EQ(S_OK, Put(L"code"));
  ExpectRefused(Make(L"", obj), 10112);        // no default
  EXPECT_EQ(S_OK, Make(L"memory", obj));
}

TEST_F(VantorwayTest, FailedPutAfterSuccessfulOneKeepsEarlierProfile) {
  Open(kProfiles, L"http://evil.test/");
  ASSERT_EQ(S_OK, PassCode(L"Sesame"));
  ASSERT_EQ(S_OK, Put(L"code"));
  ExpectRefused(Put(L"url"), 10113);       // page refused
  ExpectRefused(Put(L"ask", Answer::Deny), 10105);  // user refused
  ExpectRefused(Put(L"nothing"), 10102);
  ExpectRefused(Put(L"method9"), 10104);
  EXPECT_EQ(L"code", Active());
  ComPtr<IDispatch> obj;
  EXPECT_EQ(S_OK, Make(L"memory", obj));
  ExpectRefused(Make(L"Orvanta.utilctls.SFMain", obj), 10108);  // still the coded profile's list
  EXPECT_EQ("DC", Dialogs());
}

TEST_F(VantorwayTest, ThroughIDispatch) {
  Open(kProfiles, L"file:///T:/pages/a.htm");
  answerer_->SetAnswer(Answer::Allow);
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, gw_.query(disp));
  struct Member {
    const wchar_t* name;
    DISPID id;
  } members[] = {{L"Profile", 1}, {L"PassCode", 2}, {L"CreateObject", 3}};
  for (const Member& m : members) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(m.name);
    EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(m.id, id);
  }
  orv::Variant result;
  EXPECT_TRUE(FAILED(orvtest::CallByName(disp.get(), L"PassCode", DISPATCH_PROPERTYGET, nullptr, 0, result.get())))
      << "the pass code cannot be read back";
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Profile", DISPATCH_PROPERTYGET, nullptr, 0, result.get()));
  EXPECT_EQ(L"", orvtest::Text(result.get()));
  orv::Variant code = orvtest::Str(L"Sesame");
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"PassCode", DISPATCH_PROPERTYPUT, code.get(), 1, nullptr));
  orv::Variant name = orvtest::Str(L"protoCode");
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Profile", DISPATCH_PROPERTYPUT, name.get(), 1, nullptr));
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Profile", DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0,
                                      result.put()));
  EXPECT_EQ(L"protoCode", orvtest::Text(result.get()));
  // A refusal through IDispatch: the exception carries the message.
  orv::Variant other = orvtest::Str(L"url");
  EXCEPINFO excep = {};
  EXPECT_EQ(DISP_E_EXCEPTION,
            orvtest::CallByName(disp.get(), L"Profile", DISPATCH_PROPERTYPUT, other.get(), 1, nullptr, &excep));
  EXPECT_EQ(Hr(10113), excep.scode);
  EXPECT_STREQ(kMessages.at(10113).c_str(), excep.bstrDescription);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrHelpFile);
  // CreateObject without its argument: the default id.
  name = orvtest::Str(L"ask");
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Profile", DISPATCH_PROPERTYPUT, name.get(), 1, nullptr));
  EXPECT_EQ(S_OK, orvtest::CallByName(disp.get(), L"CreateObject", DISPATCH_METHOD, nullptr, 0, result.put()));
  EXPECT_EQ(VT_DISPATCH, result.vt());
  EXPECT_EQ("DC", Dialogs());
}

TEST_F(VantorwayTest, LastReleaseFreesTheGatewayAndItsSite) {
  Open(kProfiles, L"file:///T:/pages/a.htm");
  ASSERT_EQ(S_OK, Put(L"proto"));
  withSite_.reset();
  EXPECT_EQ(0u, gw_.release()->Release());  // still holding the site: released with it
  EXPECT_EQ(0u, siteRef_.release()->Release());
  EXPECT_EQ("C", Dialogs());
}

}  // namespace
