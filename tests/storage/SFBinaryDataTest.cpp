// SFBinaryData through its vtable and IDispatch: units in both byte orders, bit
// numbering, code-page and UTF-16 strings with their lengths and errors, byte-array
// slices, and indexes near the 32-bit limits that must not reach outside the block.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Str;

namespace {

constexpr HRESULT Msg(UINT id) { return static_cast<HRESULT>(0x80040000u | id); }

class SFBinaryDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFBinaryData, nullptr, CLSCTX_INPROC_SERVER, IID_ISFBinaryData, b.put_void()));
  }
  void TearDown() override {
    b.reset();
    CoUninitialize();
  }
  std::string Bytes() {
    Variant v;
    if (b->get_Value(v.get()) != S_OK) return "<none>";
    return ArrayBytes(v);
  }
  static std::string ArrayBytes(const Variant& v) {
    SAFEARRAY* sa = V_ARRAY(v.get());
    void* p = nullptr;
    SafeArrayAccessData(sa, &p);
    std::string out(static_cast<char*>(p), sa->rgsabound[0].cElements);
    SafeArrayUnaccessData(sa);
    return out;
  }
  static Variant Array(const std::string& bytes) {
    Variant v;
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* p = nullptr;
    SafeArrayAccessData(sa, &p);
    if (!bytes.empty()) memcpy(p, bytes.data(), bytes.size());
    SafeArrayUnaccessData(sa);
    V_VT(v.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(v.get()) = sa;
    return v;
  }
  void Load(const std::string& bytes) { ASSERT_EQ(S_OK, b->put_Value(*Array(bytes).get())); }
  static std::wstring Error() { return orvtest::TakeErrorRecord().description; }

  ComPtr<ISFBinaryData> b;
};

TEST_F(SFBinaryDataTest, NewObjectIsEmpty) {
  Variant v;
  EXPECT_EQ(S_FALSE, b->get_Value(v.get()));
  EXPECT_EQ(VT_EMPTY, v.vt());
  BYTE byte = 7;
  EXPECT_EQ(Msg(10102), b->get_Byte(0, &byte));
  EXPECT_EQ(L"Object closed or not initialized correctly.", Error());
  LONG order = 0;
  EXPECT_EQ(S_OK, b->get_ByteOrder(&order));
  EXPECT_EQ(4, order);
  EXPECT_EQ(E_POINTER, b->get_UnicodeByteOrder(nullptr));
  EXPECT_EQ(S_OK, b->Clear());
  EXPECT_EQ(S_OK, b->Empty());
  EXPECT_EQ(Msg(10133), b->put_Data(0, 0, *Array("x").get()));
  EXPECT_EQ(L"Array is empty.", Error());
}

TEST_F(SFBinaryDataTest, SizeKeepsBytesAndZeroFills) {
  Load("\x01\x02\x03");
  ASSERT_EQ(S_OK, b->put_Size(5));
  EXPECT_EQ(std::string("\x01\x02\x03\x00\x00", 5), Bytes());
  ASSERT_EQ(S_OK, b->put_Size(2));
  EXPECT_EQ("\x01\x02", Bytes());
  EXPECT_EQ(E_INVALIDARG, b->put_Size(-1));
  EXPECT_EQ("\x01\x02", Bytes());
  ASSERT_EQ(S_OK, b->put_Size(0));
  LONG size = 9;
  b->get_Size(&size);
  EXPECT_EQ(0, size);
}

TEST_F(SFBinaryDataTest, UnitsInBothByteOrders) {
  b->put_Size(4);
  ASSERT_EQ(S_OK, b->put_Unit(0, 3, *I4(1).get()));
  EXPECT_EQ(std::string("\x01\x00\x00\x00", 4), Bytes());
  b->put_ByteOrder(1);
  ASSERT_EQ(S_OK, b->put_Unit(0, 3, *I4(1).get()));
  EXPECT_EQ(std::string("\x00\x00\x00\x01", 4), Bytes());
  Variant v;
  ASSERT_EQ(S_OK, b->get_Unit(0, 3, v.get()));
  EXPECT_EQ(VT_I4, v.vt());
  EXPECT_EQ(1, V_I4(v.get()));
  b->put_ByteOrder(5);  // bit 2 set: native order
  ASSERT_EQ(S_OK, b->put_Unit(2, 18, *Str(L"258").get()));
  EXPECT_EQ(std::string("\x00\x00\x02\x01", 4), Bytes());
  // Unit errors, each leaving the bytes as they were.
  struct Row {
    LONG index, type;
    HRESULT hr;
  } rows[] = {{2, 3, Msg(10164)}, {0, 8, Msg(10123)}, {0, 0, Msg(10123)}, {-1, 3, Msg(10164)},
              {0x7FFFFFFE, 5, Msg(10164)}, {0, 9, Msg(10123)}};
  for (const Row& r : rows) {
    EXPECT_EQ(r.hr, b->get_Unit(r.index, r.type, v.put())) << r.index << "," << r.type;
    EXPECT_EQ(r.hr, b->put_Unit(r.index, r.type, *I4(7).get())) << r.index << "," << r.type;
  }
  EXPECT_EQ(DISP_E_OVERFLOW, b->put_Unit(0, 17, *I4(300).get()));
  EXPECT_EQ(std::string("\x00\x00\x02\x01", 4), Bytes());
}

TEST_F(SFBinaryDataTest, BitNumbering) {
  b->put_Size(2);
  ASSERT_EQ(S_OK, b->put_Bit(0, 9, 2, 1));
  EXPECT_EQ(std::string("\x00\x02", 2), Bytes());  // bit 1 of byte 1
  LONG bit = 7;
  EXPECT_EQ(S_OK, b->get_Bit(0, 9, 2, &bit));
  EXPECT_EQ(1, bit);
  EXPECT_EQ(S_FALSE, b->get_Bit(0, 8, 2, &bit));
  EXPECT_EQ(0, bit);
  b->put_ByteOrder(1);  // the group's bytes count from its last one
  ASSERT_EQ(S_OK, b->put_Bit(0, 9, 2, 1));
  EXPECT_EQ(std::string("\x02\x02", 2), Bytes());
  ASSERT_EQ(S_OK, b->put_Bit(0, 1, 2, 0));
  EXPECT_EQ(std::string("\x02\x00", 2), Bytes());
  b->put_ByteOrder(2);  // reversed units, but bit 0 clear: counted from the first byte
  EXPECT_EQ(S_OK, b->get_Bit(0, 1, 1, &bit));
  struct Row {
    LONG index, bit, bytes;
  } bad[] = {{0, 16, 2}, {1, 0, 2}, {-1, 0, 1}, {0, -1, 1}, {0, 0, 0}, {0, 0, -1},
             {0x7FFFFFFF, 0, 0x7FFFFFFF}, {0, 0x7FFFFFFF, 0x7FFFFFFF}};
  for (const Row& r : bad) {
    EXPECT_EQ(Msg(10164), b->get_Bit(r.index, r.bit, r.bytes, &bit)) << r.index << "," << r.bit << "," << r.bytes;
    EXPECT_EQ(Msg(10164), b->put_Bit(r.index, r.bit, r.bytes, 1));
  }
  EXPECT_EQ(L"Bad Index", Error());
  EXPECT_EQ(std::string("\x02\x00", 2), Bytes());
}

TEST_F(SFBinaryDataTest, CodePageStrings) {
  b->put_Size(8);
  b->put_Byte(7, 0xEE);
  Bstr abc(L"abc");
  ASSERT_EQ(S_OK, b->put_String(0, -1, 0, abc.get()));  // three letters and a zero
  EXPECT_EQ(std::string("abc\0\0\0\0\xEE", 8), Bytes());
  ASSERT_EQ(S_OK, b->put_String(0, 8, 0, abc.get()));  // letters and five zeros
  EXPECT_EQ(std::string("abc\0\0\0\0\0", 8), Bytes());
  Bstr text;
  ASSERT_EQ(S_OK, b->get_String(0, -1, 0, text.put()));
  EXPECT_STREQ(L"abc", text.c_str());
  ASSERT_EQ(S_OK, b->get_String(1, 2, 0, text.put()));
  EXPECT_STREQ(L"bc", text.c_str());
  ASSERT_EQ(S_OK, b->get_String(8, -1, 0, text.put()));  // at the end: empty
  EXPECT_STREQ(L"", text.c_str());
  // Three two-byte characters in UTF-8 need more than the length plus a terminator.
  Bstr e3(L"\x00E9\x00E9\x00E9");
  EXPECT_EQ(Msg(10124), b->put_String(0, -1, CP_UTF8, e3.get()));
  Bstr e(L"\x00E9");
  ASSERT_EQ(S_OK, b->put_String(0, 2, CP_UTF8, e.get()));
  EXPECT_EQ(std::string("\xC3\xA9" "c\0\0\0\0\0", 8), Bytes());
  ASSERT_EQ(S_OK, b->get_String(0, 2, CP_UTF8, text.put()));
  EXPECT_STREQ(L"\x00E9", text.c_str());
  struct Row {
    LONG index, length;
    const wchar_t* text;
    HRESULT hr;
  } bad[] = {{9, -1, L"a", Msg(10164)}, {-1, -1, L"a", Msg(10164)}, {6, -1, L"abc", Msg(10124)},
             {0, -1, L"", Msg(10124)},  {0, 0x7FFFFFFF, L"a", Msg(10124)}, {0x7FFFFFFF, 1, L"a", Msg(10164)}};
  const std::string before = Bytes();
  for (const Row& r : bad) {
    Bstr t(r.text);
    EXPECT_EQ(r.hr, b->put_String(r.index, r.length, 0, t.get())) << r.index << "," << r.length;
  }
  EXPECT_EQ(Msg(10124), b->get_String(4, 5, 0, text.put()));
  EXPECT_EQ(L"Buffer end reached.", Error());
  EXPECT_EQ(before, Bytes());
}

TEST_F(SFBinaryDataTest, UnicodeStrings) {
  b->put_Size(8);
  Bstr ab(L"ab");
  ASSERT_EQ(S_OK, b->put_UnicodeString(0, -1, ab.get()));
  EXPECT_EQ(std::string("a\0b\0\0\0\0\0", 8), Bytes());
  b->put_UnicodeByteOrder(2);
  ASSERT_EQ(S_OK, b->put_UnicodeString(2, 3, ab.get()));
  EXPECT_EQ(std::string("a\0\0a\0b\0\0", 8), Bytes());
  Bstr text;
  ASSERT_EQ(S_OK, b->get_UnicodeString(2, -1, text.put()));
  EXPECT_STREQ(L"ab", text.c_str());
  EXPECT_EQ(Msg(10124), b->get_UnicodeString(2, 4, text.put()));
  EXPECT_EQ(Msg(10124), b->put_UnicodeString(4, 3, ab.get()));
  EXPECT_EQ(Msg(10124), b->put_UnicodeString(0, 0x7FFFFFFF, ab.get()));
  EXPECT_EQ(Msg(10164), b->put_UnicodeString(9, 1, ab.get()));
  EXPECT_EQ(std::string("a\0\0a\0b\0\0", 8), Bytes());
}

TEST_F(SFBinaryDataTest, DataSlices) {
  Load("\x01\x02\x03\x04");
  struct Row {
    LONG begin, end;
    HRESULT hr;
    std::string bytes;
  } rows[] = {{0, 0, S_OK, "\x01"},        {0, -1, S_OK, "\x01\x02\x03\x04"}, {1, 2, S_OK, "\x02\x03"},
              {5, 0, S_FALSE, ""},         {4, -1, S_FALSE, ""},              {2, 1, S_FALSE, ""},
              {0, 4, S_FALSE, ""},         {-1, -1, S_FALSE, ""}};
  for (const Row& r : rows) {
    Variant v;
    EXPECT_EQ(r.hr, b->get_Data(r.begin, r.end, v.get())) << r.begin << "," << r.end;
    ASSERT_EQ(VT_ARRAY | VT_UI1, v.vt());
    EXPECT_EQ(r.bytes, ArrayBytes(v)) << r.begin << "," << r.end;
  }
  // Copies never pass lEnd nor the block, and never change the size.
  EXPECT_EQ(S_OK, b->put_Data(2, -1, *Array("\xAA\xBB\xCC").get()));
  EXPECT_EQ("\x01\x02\xAA\xBB", Bytes());
  EXPECT_EQ(S_OK, b->put_Data(0, 0, *Array("\x11\x22").get()));
  EXPECT_EQ("\x11\x02\xAA\xBB", Bytes());
  EXPECT_EQ(S_FALSE, b->put_Data(4, -1, *Array("\x33").get()));
  EXPECT_EQ(S_FALSE, b->put_Data(2, 1, *Array("\x33").get()));
  EXPECT_EQ(S_FALSE, b->put_Data(0, -1, *Array("").get()));
  EXPECT_EQ(DISP_E_TYPEMISMATCH, b->put_Data(0, -1, *Str(L"bytes").get()));
  EXPECT_EQ(L"Safe array of VT_UI1 expected", Error());
  EXPECT_EQ(DISP_E_TYPEMISMATCH, b->put_Value(*I4(3).get()));
  EXPECT_EQ("\x11\x02\xAA\xBB", Bytes());
}

TEST_F(SFBinaryDataTest, ThroughDispatch) {
  b->put_Size(2);
  Variant args[2] = {I4(0x41), I4(1)};  // Byte(1) = 0x41
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {args[0].get(), &named, 2, 1};
  ASSERT_EQ(S_OK, b->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
  Variant result;
  ASSERT_EQ(S_OK, orvtest::CallByName(b.get(), L"String", DISPATCH_PROPERTYGET, args[1].get(), 1, result.get()));
  EXPECT_EQ(L"A", orvtest::Text(result.get()));
  // Bit with its default group of one byte.
  Variant bitArgs[2] = {I4(1), I4(0)};  // Bit(1, 0)
  ASSERT_EQ(S_OK, orvtest::CallByName(b.get(), L"Bit", DISPATCH_PROPERTYGET, bitArgs[0].get(), 2, result.put()));
  EXPECT_EQ(L"1", orvtest::Text(result.get()));
  ComPtr<ISFBinaryData> other = b;
  b.reset();
  EXPECT_EQ(0u, other.release()->Release());
}

}  // namespace
