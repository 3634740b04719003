// TypeConvertor and UtilStringList through their vtables and IDispatch: the bit rules,
// conversions with the platform's HRESULTs, variant types, and the string list's
// positions, Missing, removal, snapshots and clones.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Str;
using orvtest::Text;

namespace {

class ValueHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TypeConvertor, nullptr, CLSCTX_INPROC_SERVER, IID_ITypeConvertor, tc.put_void()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_UtilStringList, nullptr, CLSCTX_INPROC_SERVER, IID_IUtilStringList,
                                     list.put_void()));
  }
  void TearDown() override {
    tc.reset();
    list.reset();
    CoUninitialize();
  }
  void AddAll(std::initializer_list<const wchar_t*> texts) {
    for (const wchar_t* t : texts) {
      Variant result;
      ASSERT_EQ(S_OK, list->Add(*Str(t).get(), result.get()));
    }
  }
  std::wstring Item(const Variant& index) {
    Variant out;
    EXPECT_EQ(S_OK, list->get_Item(*index.get(), out.get()));
    return out.vt() == VT_BSTR ? Text(out.get()) : L"<" + std::to_wstring(out.vt()) + L">";
  }

  ComPtr<ITypeConvertor> tc;
  ComPtr<IUtilStringList> list;
};

TEST_F(ValueHelpersTest, BitOperations) {
  enum Op { kLeft, kRight, kOr, kAnd, kXor, kNeg };
  struct Row {
    Op op;
    LONG x, y, expected;
  };
  const Row rows[] = {
      {kLeft, 1, 31, LONG(0x80000000)}, {kLeft, 1, 32, 0},  {kLeft, 1, 256, 1},  {kLeft, 3, 257, 6},
      {kLeft, -1, 0, -1},               {kLeft, 1, -1, 0},  {kRight, -8, 1, -4}, {kRight, -8, 40, -1},
      {kRight, 8, 40, 0},               {kRight, -8, 256, -8}, {kRight, LONG(0x80000000), 31, -1},
      {kOr, 0x0F, 0xF0, 0xFF},          {kAnd, 0x0F, 0x3C, 0x0C}, {kXor, -1, 0x0F, ~0x0F}, {kNeg, 0, 0, -1},
  };
  for (const Row& r : rows) {
    LONG out = 12345;
    HRESULT hr = E_FAIL;
    switch (r.op) {
      case kLeft: hr = tc->BitLeft(r.x, r.y, &out); break;
      case kRight: hr = tc->BitRight(r.x, r.y, &out); break;
      case kOr: hr = tc->BitOr(r.x, r.y, &out); break;
      case kAnd: hr = tc->BitAnd(r.x, r.y, &out); break;
      case kXor: hr = tc->BitXor(r.x, r.y, &out); break;
      case kNeg: hr = tc->BitNeg(r.x, &out); break;
    }
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(r.expected, out) << "op " << r.op << " x " << r.x << " y " << r.y;
  }
  EXPECT_EQ(E_POINTER, tc->BitLeft(1, 1, nullptr));
}

TEST_F(ValueHelpersTest, ConversionsPassThePlatformResultOn) {
  struct Row {
    LONG type;
    const wchar_t* in;
    HRESULT hr;
    VARTYPE vt;
    const wchar_t* text;
  };
  const Row rows[] = {
      {65539, L"5", S_OK, VT_I4, L"5"},
      {2, L"40000", DISP_E_OVERFLOW, VT_EMPTY, L""},
      {3, L"not a number", DISP_E_TYPEMISMATCH, VT_EMPTY, L""},
      {17, L"255", S_OK, VT_UI1, L"255"},
      {5, L"2.5", S_OK, VT_R8, L"2.5"},
      {8, L"text", S_OK, VT_BSTR, L"text"},
  };
  for (const Row& r : rows) {
    Variant out;
    EXPECT_EQ(r.hr, tc->Conv(r.type, *Str(r.in).get(), out.get())) << r.type << " " << r.in;
    EXPECT_EQ(r.vt, out.vt()) << r.type << " " << r.in;
    if (r.hr == S_OK) EXPECT_EQ(std::wstring(r.text), Text(out.get()));
  }
  // The shortcuts convert to their own types.
  Variant out;
  EXPECT_EQ(DISP_E_OVERFLOW, tc->CInt(*I4(40000).get(), out.get()));
  EXPECT_EQ(S_OK, tc->CBool(*I4(7).get(), out.put()));
  EXPECT_EQ(VT_BOOL, out.vt());
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(out.get()));
  EXPECT_EQ(S_OK, tc->CCur(*Str(L"1.25").get(), out.put()));
  EXPECT_EQ(VT_CY, out.vt());
  EXPECT_EQ(12500, V_CY(out.get()).int64);
  EXPECT_EQ(S_OK, tc->CStr(*I4(12).get(), out.put()));
  EXPECT_EQ(L"12", Text(out.get()));
  // No error record stays behind a failed conversion.
  orvtest::TakeErrorRecord();
  EXPECT_EQ(DISP_E_TYPEMISMATCH, tc->CLng(*Str(L"x").get(), out.put()));
  EXPECT_FALSE(orvtest::TakeErrorRecord().present);
}

TEST_F(ValueHelpersTest, VariantTypeMasksReferenceBits) {
  LONG type = 0;
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  Variant arr;
  V_VT(arr.get()) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(arr.get()) = array;
  EXPECT_EQ(S_OK, tc->VariantType(*arr.get(), &type));
  EXPECT_EQ(8204, type);
  LONG n = 5;
  VARIANT ref;
  V_VT(&ref) = VT_BYREF | VT_I4;
  V_I4REF(&ref) = &n;
  EXPECT_EQ(S_OK, tc->VariantType(ref, &type));
  EXPECT_EQ(VT_I4, type);
  // A script variable passed by reference answers for what it holds.
  Variant inner = Str(L"x");
  VARIANT var;
  V_VT(&var) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&var) = inner.get();
  EXPECT_EQ(S_OK, tc->VariantType(var, &type));
  EXPECT_EQ(VT_BSTR, type);
  // Through IDispatch by name.
  Variant args[2] = {I4(1), I4(4)};  // BitLeft(1, 4)
  Variant result;
  ASSERT_EQ(S_OK, orvtest::CallByName(tc.get(), L"BitLeft", DISPATCH_METHOD, args[0].get(), 2, result.get()));
  EXPECT_EQ(L"16", Text(result.get()));
}

TEST_F(ValueHelpersTest, StringListPositionsAndMissing) {
  Variant out;
  EXPECT_EQ(S_OK, list->get_Item(*orvtest::Missing().get(), out.get()));
  EXPECT_EQ(VT_EMPTY, out.vt());  // empty list: Missing
  Variant number = I4(12);
  ASSERT_EQ(S_OK, list->Add(*number.get(), out.put()));
  EXPECT_EQ(VT_EMPTY, out.vt());
  AddAll({L"two"});
  EXPECT_EQ(L"12", Item(orvtest::Missing()));  // no index: the first, as text
  EXPECT_EQ(L"two", Item(Str(L"2")));          // the index is converted to a number
  EXPECT_EQ(S_OK, list->put_Missing(*Str(L"none").get()));
  EXPECT_EQ(L"none", Item(I4(0)));
  EXPECT_EQ(L"none", Item(I4(3)));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, list->get_Item(*Str(L"first").get(), out.put()));

  EXPECT_EQ(S_FALSE, list->Remove(0));
  EXPECT_EQ(S_FALSE, list->Remove(3));
  LONG count = 0;
  EXPECT_EQ(S_OK, list->get_Count(&count));
  EXPECT_EQ(2, count);
  EXPECT_EQ(S_OK, list->Remove(1));
  EXPECT_EQ(L"two", Item(I4(1)));
  EXPECT_EQ(S_OK, list->get_classVersion(&count));
  EXPECT_EQ(65537, count);
  EXPECT_EQ(E_POINTER, list->get_Count(nullptr));
  EXPECT_EQ(S_OK, list->Clear());
  EXPECT_EQ(L"none", Item(I4(1)));  // Missing stays
}

TEST_F(ValueHelpersTest, StringListSnapshotsAndClones) {
  AddAll({L"a", L"b"});
  ComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, list->get__NewEnum(unk.put()));
  ComPtr<IEnumVARIANT> walk;
  ASSERT_EQ(S_OK, unk.query(walk));
  AddAll({L"c"});  // after the snapshot
  Variant items[4];
  ULONG got = 0;
  walk->Next(4, items[0].get(), &got);
  EXPECT_EQ(2u, got);
  EXPECT_EQ(L"b", Text(items[1].get()));

  ComPtr<IDollyTheSheep> dolly;
  ASSERT_EQ(S_OK, list.query(dolly));
  list->put_Missing(*Str(L"gone").get());
  ComPtr<IUnknown> cloneUnk;
  ASSERT_EQ(S_OK, dolly->NewClone(cloneUnk.put()));
  ComPtr<IUtilStringList> clone;
  ASSERT_EQ(S_OK, cloneUnk.query(clone));
  list->Clear();
  LONG count = 0;
  clone->get_Count(&count);
  EXPECT_EQ(3, count);
  Variant out;
  clone->get_Item(*I4(9).get(), out.get());
  EXPECT_EQ(L"gone", Text(out.get()));
  cloneUnk.reset();
  EXPECT_EQ(0u, clone.release()->Release());
}

}  // namespace
