// The binary block. Offsets are checked in 64-bit arithmetic, so no index or count a
// script passes can reach outside the block; every check comes before the first byte
// changes.
#include "components/storage/SFBinaryData.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/storage/ByteArray.h"
#include "components/storage/LockedSetting.h"
#include "components/storage/UnitCodec.h"

namespace orv {

namespace {

constexpr UINT kMsgNotInitialized = 10102;
constexpr UINT kMsgArrayFailed = 10103;
constexpr UINT kMsgByteArrayExpected = 10104;
constexpr UINT kMsgTypeNotSupported = 10123;
constexpr UINT kMsgBufferEnd = 10124;
constexpr UINT kMsgStringConversion = 10126;
constexpr UINT kMsgArrayEmpty = 10133;
constexpr UINT kMsgBadIndex = 10164;

HRESULT Report(UINT id, HRESULT hr = 0) noexcept { return ReportError(CLSID_SFBinaryData, id, GUID_NULL, hr); }

UINT CodePage(LONG cp) noexcept { return cp == 0 ? CP_ACP : static_cast<UINT>(cp); }

// Text from `count` bytes in code page `cp`; false when the conversion fails.
bool DecodeCodePage(const BYTE* bytes, size_t count, UINT cp, BSTR* out) noexcept {
  if (count == 0) {
    *out = SysAllocString(L"");
    return *out != nullptr;
  }
  const auto* text = reinterpret_cast<const char*>(bytes);
  const int n = static_cast<int>(count);
  const int units = MultiByteToWideChar(cp, 0, text, n, nullptr, 0);
  if (units <= 0) return false;
  *out = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (!*out) return false;
  if (MultiByteToWideChar(cp, 0, text, n, *out, units) != units) {
    SysFreeString(*out);
    *out = nullptr;
    return false;
  }
  return true;
}

}  // namespace

STDMETHODIMP SFBinaryData::get_Byte(LONG lIndex, BYTE* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || lIndex >= size()) return Report(kMsgBadIndex);
  *pVal = data_[static_cast<size_t>(lIndex)];
  return S_OK;
}

STDMETHODIMP SFBinaryData::put_Byte(LONG lIndex, BYTE newVal) noexcept {
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || lIndex >= size()) return Report(kMsgBadIndex);
  data_[static_cast<size_t>(lIndex)] = newVal;
  return S_OK;
}

STDMETHODIMP SFBinaryData::get_Size(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = static_cast<LONG>(data_.size());
  return S_OK;
}

// Growing zero-fills the new bytes; a failed allocation keeps the old block.
STDMETHODIMP SFBinaryData::put_Size(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (newVal < 0) return E_INVALIDARG;
  if (newVal == size()) return S_OK;
  try {
    if (newVal == 0) {
      std::vector<BYTE>().swap(data_);
    } else if (newVal < size()) {
      std::vector<BYTE>(data_.begin(), data_.begin() + newVal).swap(data_);
    } else {
      data_.resize(static_cast<size_t>(newVal), 0);
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP SFBinaryData::get_Value(VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  if (data_.empty()) return S_FALSE;
  if (FAILED(MakeByteArray(data_.data(), data_.size(), pVal))) return Report(kMsgArrayFailed, E_OUTOFMEMORY);
  return S_OK;
}

STDMETHODIMP SFBinaryData::put_Value(VARIANT newVal) noexcept {
  LockGuard guard(lock_);
  ByteArrayView bytes(&newVal);
  if (bytes.status() == E_POINTER) return DISP_E_TYPEMISMATCH;
  if (FAILED(bytes.status())) return Report(kMsgByteArrayExpected, DISP_E_TYPEMISMATCH);
  std::vector<BYTE> copy;
  try {
    copy.assign(bytes.data(), bytes.data() + bytes.size());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  data_.swap(copy);
  return S_OK;
}

STDMETHODIMP SFBinaryData::Clear() noexcept {
  LockGuard guard(lock_);
  std::fill(data_.begin(), data_.end(), BYTE{0});
  return S_OK;
}

STDMETHODIMP SFBinaryData::Empty() noexcept {
  std::vector<BYTE> released;
  LockGuard guard(lock_);
  released.swap(data_);
  return S_OK;
}

// Bit 0 of ByteOrder set numbers the group's bytes from its last byte.
HRESULT SFBinaryData::LocateBit(LONG lIndex, LONG lBit, LONG hBytes, BYTE** byte, BYTE* mask) noexcept {
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || static_cast<LONGLONG>(lIndex) + hBytes > size() || lBit < 0 ||
      static_cast<LONGLONG>(lBit) >= 8LL * hBytes)
    return Report(kMsgBadIndex);
  const LONG inGroup = (byteOrder_ & 1) ? hBytes - 1 - lBit / 8 : lBit / 8;
  *byte = &data_[static_cast<size_t>(lIndex) + static_cast<size_t>(inGroup)];
  *mask = static_cast<BYTE>(1u << (lBit % 8));
  return S_OK;
}

STDMETHODIMP SFBinaryData::get_Bit(LONG lIndex, LONG lBit, LONG hBytes, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  LockGuard guard(lock_);
  BYTE* byte = nullptr;
  BYTE mask = 0;
  RETURN_IF_FAILED(LocateBit(lIndex, lBit, hBytes, &byte, &mask));
  *pVal = (*byte & mask) ? 1 : 0;
  return *pVal ? S_OK : S_FALSE;
}

STDMETHODIMP SFBinaryData::put_Bit(LONG lIndex, LONG lBit, LONG hBytes, LONG newVal) noexcept {
  LockGuard guard(lock_);
  BYTE* byte = nullptr;
  BYTE mask = 0;
  RETURN_IF_FAILED(LocateBit(lIndex, lBit, hBytes, &byte, &mask));
  *byte = newVal ? static_cast<BYTE>(*byte | mask) : static_cast<BYTE>(*byte & ~mask);
  return S_OK;
}

STDMETHODIMP SFBinaryData::get_Unit(LONG lIndex, LONG lType, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0) return Report(kMsgBadIndex);
  const units::UnitType* type = units::FindNumberUnit(lType);
  if (!type) return Report(kMsgTypeNotSupported);
  if (static_cast<LONGLONG>(lIndex) + type->bytesPerUnit > size()) return Report(kMsgBadIndex);
  units::GetNumber(*type, &data_[static_cast<size_t>(lIndex)], units::ReversesUnits(byteOrder_), pVal);
  return S_OK;
}

STDMETHODIMP SFBinaryData::put_Unit(LONG lIndex, LONG lType, VARIANT newVal) noexcept {
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0) return Report(kMsgBadIndex);
  const units::UnitType* type = units::FindNumberUnit(lType);
  if (!type) return Report(kMsgTypeNotSupported);
  if (static_cast<LONGLONG>(lIndex) + type->bytesPerUnit > size()) return Report(kMsgBadIndex);
  Variant value;
  RETURN_IF_FAILED(units::ToUnitValue(&newVal, type->code, value.get()));
  units::PutNumber(*type, *value.get(), &data_[static_cast<size_t>(lIndex)], units::ReversesUnits(byteOrder_));
  return S_OK;
}

// The span runs to the end of the block, or exactly lLength bytes; the text stops at
// its first zero byte.
STDMETHODIMP SFBinaryData::get_String(LONG lIndex, LONG lLength, LONG lCP, BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || lIndex > size()) return Report(kMsgBadIndex);
  const LONGLONG left = size() - lIndex;
  if (lLength >= 0 && lLength > left) return Report(kMsgBufferEnd);
  const size_t span = static_cast<size_t>(lLength >= 0 ? lLength : left);
  const BYTE* begin = data_.data() + lIndex;
  const size_t count = static_cast<size_t>(std::find(begin, begin + span, BYTE{0}) - begin);
  if (!DecodeCodePage(begin, count, CodePage(lCP), pVal)) return Report(kMsgStringConversion);
  return S_OK;
}

// Exactly lLength bytes are written (the text's length plus a terminator when lLength
// is negative): the converted text, zero-padded. A text that does not convert into
// lLength bytes, or an empty one, reports the end of the buffer.
STDMETHODIMP SFBinaryData::put_String(LONG lIndex, LONG lLength, LONG lCP, BSTR newVal) noexcept {
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || lIndex > size()) return Report(kMsgBadIndex);
  const LONGLONG textLength = SysStringLen(newVal);
  const LONGLONG length = lLength < 0 ? textLength + 1 : lLength;
  if (size() - lIndex < length) return Report(kMsgBufferEnd);
  const LONGLONG chars = std::min(textLength, length);
  std::string block;
  try {
    block.assign(static_cast<size_t>(length) + 1, '\0');
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const int converted = chars == 0 ? 0
                                   : WideCharToMultiByte(CodePage(lCP), 0, newVal, static_cast<int>(chars),
                                                         block.data(), static_cast<int>(length + 1), nullptr, nullptr);
  if (converted <= 0) return Report(kMsgBufferEnd);
  std::memcpy(&data_[static_cast<size_t>(lIndex)], block.data(), static_cast<size_t>(length));
  return S_OK;
}

STDMETHODIMP SFBinaryData::get_UnicodeString(LONG lIndex, LONG lLength, BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || lIndex > size()) return Report(kMsgBadIndex);
  const LONGLONG left = (size() - lIndex) / 2;
  if (lLength >= 0 && lLength > left) return Report(kMsgBufferEnd);
  const size_t span = static_cast<size_t>(lLength >= 0 ? lLength : left);
  std::wstring text;
  try {
    text.resize(span);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  units::GetTextUnits(data_.data() + lIndex, span, units::ReversesUnits(unicodeByteOrder_), text.data());
  const size_t end = text.find(L'\0');
  return ReturnText(std::wstring_view(text).substr(0, end), pVal);
}

STDMETHODIMP SFBinaryData::put_UnicodeString(LONG lIndex, LONG lLength, BSTR newVal) noexcept {
  LockGuard guard(lock_);
  if (data_.empty()) return Report(kMsgNotInitialized);
  if (lIndex < 0 || lIndex > size()) return Report(kMsgBadIndex);
  const LONGLONG textLength = SysStringLen(newVal);
  const LONGLONG length = lLength < 0 ? textLength + 1 : lLength;
  if ((size() - lIndex) / 2 < length) return Report(kMsgBufferEnd);
  const LONGLONG chars = std::min(textLength, length);
  BYTE* dest = &data_[static_cast<size_t>(lIndex)];
  units::PutTextUnits(newVal, static_cast<size_t>(chars), dest, units::ReversesUnits(unicodeByteOrder_));
  std::memset(dest + chars * 2, 0, static_cast<size_t>(length - chars) * 2);
  return S_OK;
}

STDMETHODIMP SFBinaryData::get_ByteOrder(LONG* pVal) noexcept { return GetLocked(lock_, byteOrder_, pVal); }

STDMETHODIMP SFBinaryData::put_ByteOrder(LONG newVal) noexcept { return PutLocked(lock_, byteOrder_, newVal); }

STDMETHODIMP SFBinaryData::get_UnicodeByteOrder(LONG* pVal) noexcept { return GetLocked(lock_, unicodeByteOrder_, pVal); }

STDMETHODIMP SFBinaryData::put_UnicodeByteOrder(LONG newVal) noexcept { return PutLocked(lock_, unicodeByteOrder_, newVal); }

// Bytes lBegin to lEnd inclusive (lEnd < 0: to the end); a range outside the block
// gives an empty array and S_FALSE.
STDMETHODIMP SFBinaryData::get_Data(LONG lBegin, LONG lEnd, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  const bool inside = !data_.empty() && lBegin >= 0 && lBegin < size() && (lEnd < 0 || (lBegin <= lEnd && lEnd < size()));
  if (!inside) {
    if (FAILED(MakeByteArray(nullptr, 0, pVal))) return Report(kMsgArrayFailed);
    return S_FALSE;
  }
  const LONGLONG last = lEnd < 0 ? size() - 1 : lEnd;
  if (FAILED(MakeByteArray(data_.data() + lBegin, static_cast<size_t>(last - lBegin + 1), pVal)))
    return Report(kMsgArrayFailed);
  return S_OK;
}

// Copies the array's first bytes to lBegin, never past lEnd (lEnd < 0: the last byte)
// nor past the block; the size never changes.
STDMETHODIMP SFBinaryData::put_Data(LONG lBegin, LONG lEnd, VARIANT newVal) noexcept {
  LockGuard guard(lock_);
  ByteArrayView bytes(&newVal);
  if (FAILED(bytes.status())) return Report(kMsgByteArrayExpected, DISP_E_TYPEMISMATCH);
  if (data_.empty()) return Report(kMsgArrayEmpty);
  if (bytes.size() == 0 || lBegin < 0 || lBegin >= size() || (lEnd >= 0 && lEnd < lBegin)) return S_FALSE;
  const LONGLONG last = lEnd < 0 ? size() - 1 : lEnd;
  const LONGLONG count = std::min({static_cast<LONGLONG>(bytes.size()), last - lBegin + 1, size() - lBegin});
  std::memcpy(&data_[static_cast<size_t>(lBegin)], bytes.data(), static_cast<size_t>(count));
  return S_OK;
}

}  // namespace orv
