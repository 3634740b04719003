// Error records: message ids from a library's string table, texts, sources from the
// registry, and the HRESULTs handed back.
#include <gtest/gtest.h>

#include "components/module/ErrorReport.h"
#include "tests/support/TestSupport.h"

using orvtest::Library;
using orvtest::TakeErrorRecord;

namespace {

const CLSID kVarDictionary = {0x94a837ce, 0x193f, 0x11d5, {0x99, 0x9c, 0x00, 0x40, 0x33, 0x2b, 0xa2, 0xea}};
const CLSID kUnregistered = {0x0badc0de, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 1}};

class ErrorReportTest : public ::testing::Test {
 protected:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ErrorReportTest, MessageIdsFromTheStringTables) {
  Library vessa(L"OrvantaVessa.dll"), vantor(L"Vantor.dll");
  struct Case { HMODULE module; UINT id; HRESULT hr; const wchar_t* text; } cases[] = {
      {vessa.handle(), 10101, static_cast<HRESULT>(0x80042775), L"Negative size specified."},
      {vessa.handle(), 10155, static_cast<HRESULT>(0x800427AB), L"COM Appartment has been previously destroyed."},
      {vessa.handle(), 10173, static_cast<HRESULT>(0x800427BD), L"Cannot strip a value from the result."},
      {vessa.handle(), 10139, static_cast<HRESULT>(0x8004279B),
       L"Failed to read from the specified source. The source may not exist or read error occured."},
      {vantor.handle(), 10109, static_cast<HRESULT>(0x8004277D),
       L"The object has been created without site. Perhaps you are not using OBJECT tag to create the object. "},
      {vessa.handle(), 10174, static_cast<HRESULT>(0x800427BE), L"Unknown Error"},
      {vantor.handle(), 10114, static_cast<HRESULT>(0x80042782), L"Unknown Error"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.hr, orv::ReportError(kVarDictionary, c.id, GUID_NULL, 0, c.module)) << c.id;
    const auto rec = TakeErrorRecord();
    ASSERT_TRUE(rec.present);
    EXPECT_EQ(c.text, rec.description) << c.id;
    EXPECT_EQ(L"Orvanta VarDictionary Class", rec.source);
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, rec.guid));
  }
  // A given HRESULT stays unchanged.
  EXPECT_EQ(E_OUTOFMEMORY, orv::ReportError(kVarDictionary, 10103u, GUID_NULL, E_OUTOFMEMORY, vessa.handle()));
  EXPECT_EQ(L"Failed to create array", TakeErrorRecord().description);
}

TEST_F(ErrorReportTest, TextFormsAndMissingSource) {
  EXPECT_EQ(DISP_E_EXCEPTION, orv::ReportError(kUnregistered, L"wide text"));
  auto rec = TakeErrorRecord();
  EXPECT_EQ(L"wide text", rec.description);
  EXPECT_EQ(L"", rec.source);
  EXPECT_EQ(E_INVALIDARG, orv::ReportError(kVarDictionary, "narrow \xE9", GUID_NULL, E_INVALIDARG));
  rec = TakeErrorRecord();
  EXPECT_EQ(L"narrow \u00E9", rec.description);  // ANSI code page 1252
  EXPECT_EQ(L"Orvanta VarDictionary Class", rec.source);
  EXPECT_EQ(DISP_E_EXCEPTION, orv::ReportError(kUnregistered, static_cast<const wchar_t*>(nullptr)));
  EXPECT_EQ(L"", TakeErrorRecord().description);
}

TEST_F(ErrorReportTest, RecordIsBoundToTheReportingThread) {
  orv::ReportError(kVarDictionary, L"main thread");
  bool otherSawRecord = true;
  HANDLE t = CreateThread(nullptr, 0, [](void* p) -> DWORD {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    *static_cast<bool*>(p) = TakeErrorRecord().present;
    CoUninitialize();
    return 0;
  }, &otherSawRecord, 0, nullptr);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  EXPECT_FALSE(otherSawRecord);
  EXPECT_EQ(L"main thread", TakeErrorRecord().description);
}

}  // namespace
