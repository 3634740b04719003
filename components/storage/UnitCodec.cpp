// The unit type table and the byte codec of numbers and UTF-16 units.
#include "components/storage/UnitCodec.h"

#include <cstring>

namespace orv::units {

namespace {

// Filled when the module is loaded (constant initialisation) and never changed.
constexpr UnitType kTypes[] = {
    {VT_EMPTY, L"Empty", 0, 0, 0},
    {VT_UI1, L"Byte", 1, 1, 0},
    {VT_I2, L"Short", 2, 2, 0},
    {VT_I4, L"Int", 4, 4, 0},
    {VT_R4, L"Float", 4, 4, 0},
    {VT_R8, L"Double", 8, 8, 0},
    {VT_BOOL, L"Boolean", 2, 2, 0},
    {VT_CY, L"Currency", 8, 8, 0},
    {VT_DATE, L"Date", 8, 8, 0},
    {VT_BSTR, L"String", 50, 1, kVariableSize | kText},
    {VT_I1, L"SByte", 1, 1, 0},
    {VT_UI2, L"UShort", 2, 2, 0},
    {VT_UI4, L"UInt", 4, 4, 0},
};

void CopyUnit(const BYTE* src, BYTE* dest, LONG size, bool reversed) noexcept {
  if (!reversed || size < 2) {
    std::memcpy(dest, src, static_cast<size_t>(size));
    return;
  }
  for (LONG i = 0; i < size; ++i) dest[i] = src[size - 1 - i];
}

}  // namespace

const UnitType* FindUnitType(LONG code) noexcept {
  for (const UnitType& t : kTypes)
    if (t.code == code) return &t;
  return nullptr;
}

const UnitType* FindNumberUnit(LONG code) noexcept {
  const UnitType* t = FindUnitType(code);
  return t && t->bytesPerUnit > 0 && !IsText(*t) ? t : nullptr;
}

HRESULT ToUnitValue(const VARIANT* value, VARTYPE type, VARIANT* out) noexcept {
  VariantInit(out);
  while (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  if (V_VT(value) == type) return VariantCopy(out, const_cast<VARIANT*>(value));
  return VariantChangeType(out, const_cast<VARIANT*>(value), 0, type);
}

HRESULT AsUnitValue(const VARIANT* value, VARTYPE type, VARIANT* holder, const VARIANT** out) noexcept {
  VariantInit(holder);
  while (V_VT(value) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(value)) value = V_VARIANTREF(value);
  if (V_VT(value) == type) {
    *out = value;
    return S_OK;
  }
  *out = holder;
  return VariantChangeType(holder, const_cast<VARIANT*>(value), 0, type);
}

// Every number type sits at the start of the VARIANT's value union, in native order.
void PutNumber(const UnitType& type, const VARIANT& value, BYTE* dest, bool reversed) noexcept {
  CopyUnit(reinterpret_cast<const BYTE*>(&V_UI1(&value)), dest, type.bytesPerUnit, reversed);
}

void GetNumber(const UnitType& type, const BYTE* src, bool reversed, VARIANT* out) noexcept {
  VariantInit(out);
  V_VT(out) = type.code;
  V_CY(out).int64 = 0;
  CopyUnit(src, reinterpret_cast<BYTE*>(&V_UI1(out)), type.bytesPerUnit, reversed);
}

void PutTextUnits(const wchar_t* text, size_t count, BYTE* dest, bool reversed) noexcept {
  if (!reversed) {
    std::memcpy(dest, text, count * 2);
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const unsigned u = static_cast<unsigned short>(text[i]);
    dest[2 * i] = static_cast<BYTE>(u >> 8);
    dest[2 * i + 1] = static_cast<BYTE>(u & 0xFF);
  }
}

void GetTextUnits(const BYTE* src, size_t count, bool reversed, wchar_t* out) noexcept {
  if (!reversed) {
    std::memcpy(out, src, count * 2);
    return;
  }
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<wchar_t>((src[2 * i] << 8) | src[2 * i + 1]);
}

}  // namespace orv::units
