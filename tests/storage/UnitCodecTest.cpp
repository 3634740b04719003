// The unit codec on its own: every unit type in both byte orders with its exact bytes,
// back again, and which byte-order values reverse.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>

#include "components/storage/UnitCodec.h"

namespace {

using orv::units::FindNumberUnit;
using orv::units::FindUnitType;
using orv::units::ReversesUnits;

struct NumberCase {
  VARTYPE vt;
  LONGLONG raw;  // the value's bits, as they sit in the VARIANT
  std::string little;
};

TEST(UnitCodec, EveryNumberTypeInBothOrders) {
  const NumberCase cases[] = {
      {VT_UI1, 0xAB, "\xAB"},
      {VT_I1, 0x80, "\x80"},
      {VT_I2, 0x1234, "\x34\x12"},
      {VT_UI2, 0xFFFE, "\xFE\xFF"},
      {VT_BOOL, 0xFFFF, "\xFF\xFF"},
      {VT_I4, 1, std::string("\x01\x00\x00\x00", 4)},
      {VT_UI4, 0x89ABCDEF, "\xEF\xCD\xAB\x89"},
      {VT_R4, 0x3F800000, std::string("\x00\x00\x80\x3F", 4)},                          // 1.0f
      {VT_R8, 0x400921FB54442D18, "\x18\x2D\x44\x54\xFB\x21\x09\x40"},                  // pi
      {VT_CY, 12345678, std::string("\x4E\x61\xBC\x00\x00\x00\x00\x00", 8)},            // 1234.5678
      {VT_DATE, 0x40E5F4C000000000LL, std::string("\x00\x00\x00\x00\xC0\xF4\xE5\x40", 8)},
  };
  for (const NumberCase& c : cases) {
    const auto* type = FindNumberUnit(c.vt);
    ASSERT_NE(nullptr, type) << c.vt;
    ASSERT_EQ(static_cast<LONG>(c.little.size()), type->bytesPerUnit) << c.vt;
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = c.vt;
    std::memcpy(&V_UI1(&v), &c.raw, c.little.size());
    BYTE out[8] = {};
    orv::units::PutNumber(*type, v, out, false);
    EXPECT_EQ(c.little, std::string(reinterpret_cast<char*>(out), c.little.size())) << c.vt;
    orv::units::PutNumber(*type, v, out, true);
    EXPECT_EQ(std::string(c.little.rbegin(), c.little.rend()), std::string(reinterpret_cast<char*>(out), c.little.size()))
        << c.vt;
    VARIANT back;
    orv::units::GetNumber(*type, out, true, &back);
    EXPECT_EQ(c.vt, V_VT(&back));
    EXPECT_EQ(0, std::memcmp(&V_UI1(&back), &V_UI1(&v), c.little.size())) << c.vt;
  }
}

TEST(UnitCodec, TypeTable) {
  struct Row {
    LONG code;
    const wchar_t* name;
    LONG defaultSize;
    bool number;
  };
  const Row rows[] = {{0, L"Empty", 0, false},   {17, L"Byte", 1, true},      {2, L"Short", 2, true},
                      {3, L"Int", 4, true},      {4, L"Float", 4, true},      {5, L"Double", 8, true},
                      {11, L"Boolean", 2, true}, {6, L"Currency", 8, true},   {7, L"Date", 8, true},
                      {8, L"String", 50, false}, {16, L"SByte", 1, true},     {18, L"UShort", 2, true},
                      {19, L"UInt", 4, true}};
  for (const Row& r : rows) {
    const auto* type = FindUnitType(r.code);
    ASSERT_NE(nullptr, type) << r.code;
    EXPECT_STREQ(r.name, type->name);
    EXPECT_EQ(r.defaultSize, type->defaultSize) << r.code;
    EXPECT_EQ(r.number, FindNumberUnit(r.code) != nullptr) << r.code;
  }
  for (LONG code : {1, 9, 10, 12, 13, 14, 15, 20, 21, 0x4003, -1}) EXPECT_EQ(nullptr, FindUnitType(code)) << code;
}

TEST(UnitCodec, ReversalRule) {
  for (LONG order : {1, 2, 9, 10, 0x101, -7}) EXPECT_TRUE(ReversesUnits(order)) << order;
  for (LONG order : {0, 3, 4, 5, 6, 7, 8, 11, 64, -1}) EXPECT_FALSE(ReversesUnits(order)) << order;
}

TEST(UnitCodec, TextUnitsInBothOrders) {
  const wchar_t text[] = L"A\x20AC";
  BYTE out[4] = {};
  orv::units::PutTextUnits(text, 2, out, true);
  EXPECT_EQ(std::string("\x00\x41\x20\xAC", 4), std::string(reinterpret_cast<char*>(out), 4));
  wchar_t back[2] = {};
  orv::units::GetTextUnits(out, 2, true, back);
  EXPECT_EQ(std::wstring(text), std::wstring(back, 2));
  orv::units::PutTextUnits(text, 2, out, false);
  EXPECT_EQ(std::string("\x41\x00\xAC\x20", 4), std::string(reinterpret_cast<char*>(out), 4));
}

}  // namespace
