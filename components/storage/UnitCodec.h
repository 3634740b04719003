// Unit types shared by records and binary blocks: the type codes with their names and
// sizes, the byte-order rule, and how a value of each type goes into bytes and back.
// Record fields (SFField, SFFilter) and SFBinaryData both read this one table.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <cstddef>

namespace orv::units {

enum UnitFlag : unsigned {
  kVariableSize = 0x1,  // the field's Size counts units (the text type)
  kText = 0x2,          // units are characters, not a number
};

struct UnitType {
  VARTYPE code;
  const wchar_t* name;
  LONG defaultSize;   // a field's Size after its Type is set
  LONG bytesPerUnit;  // bytes in a record (per character for text in code-page mode)
  unsigned flags;
};

// The entry of a type code, or null when the code is not supported.
const UnitType* FindUnitType(LONG code) noexcept;
// A fixed-size number type (not empty, not text), or null.
const UnitType* FindNumberUnit(LONG code) noexcept;

inline bool IsText(const UnitType& t) noexcept { return (t.flags & kText) != 0; }

// The bytes of each multi-byte unit are reversed (big-endian storage) when bit 2 of the
// byte-order value is clear and its low two bits are 1 or 2; every other value keeps
// the native little-endian order.
constexpr bool ReversesUnits(LONG byteOrder) noexcept {
  return (byteOrder & 4) == 0 && ((byteOrder & 3) == 1 || (byteOrder & 3) == 2);
}

// `value` converted to `type` by the platform (a plain copy when it already has that
// type); `out` is overwritten. The conversion's HRESULT is returned unchanged.
HRESULT ToUnitValue(const VARIANT* value, VARTYPE type, VARIANT* out) noexcept;

// `value` (by reference too) as a value of `type`: the value itself when it already has
// that type, else its conversion, held in `holder`. The conversion's HRESULT is returned.
HRESULT AsUnitValue(const VARIANT* value, VARTYPE type, VARIANT* holder, const VARIANT** out) noexcept;

// Stores a number of the unit's type at `dest` (bytesPerUnit bytes).
void PutNumber(const UnitType& type, const VARIANT& value, BYTE* dest, bool reversed) noexcept;
// A VARIANT of the unit's type from the bytes at `src`; `out` is overwritten.
void GetNumber(const UnitType& type, const BYTE* src, bool reversed, VARIANT* out) noexcept;

// UTF-16 units to and from bytes, two bytes a unit, in the given order.
void PutTextUnits(const wchar_t* text, size_t count, BYTE* dest, bool reversed) noexcept;
void GetTextUnits(const BYTE* src, size_t count, bool reversed, wchar_t* out) noexcept;

}  // namespace orv::units
