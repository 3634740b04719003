// The record codec. Every offset is computed in 64-bit arithmetic and checked against
// the buffer before a byte is touched, so a bufferPos put past the end, a huge size or a
// huge record number reports an error instead of reaching outside the buffer.
#include "components/storage/SFFilter.h"

#include <algorithm>
#include <cstring>

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/storage/ByteArray.h"
#include "components/storage/LockedSetting.h"
#include "components/storage/SFField.h"
#include "components/storage/SFRecord.h"
#include "components/storage/UnitCodec.h"

namespace orv {

namespace {

constexpr UINT kMsgNotInitialized = 10102;
constexpr UINT kMsgArrayFailed = 10103;
constexpr UINT kMsgNotRecord = 10122;
constexpr UINT kMsgTypeNotSupported = 10123;
constexpr UINT kMsgBufferEnd = 10124;
constexpr UINT kMsgTooLong = 10125;
constexpr UINT kMsgStringConversion = 10126;
constexpr UINT kMsgNotFieldOrRecord = 10127;
constexpr UINT kMsgNotStream = 10128;
constexpr UINT kMsgTooBig = 10131;

constexpr LONGLONG kPositionLimit = 0x7FFFFFFF;  // positions and sizes must fit in 31 bits

HRESULT Report(UINT id, HRESULT hr = 0) noexcept { return ReportError(CLSID_SFFilter, id, GUID_NULL, hr); }

bool IsObjectType(LONG type) noexcept { return type == VT_DISPATCH || type == VT_UNKNOWN; }

HRESULT SeekTo(IStream* stream, LONGLONG offset, DWORD origin, ULONGLONG* at = nullptr) noexcept {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER pos = {};
  const HRESULT hr = stream->Seek(move, origin, &pos);
  if (at) *at = pos.QuadPart;
  return hr;
}

VARIANT_BOOL AsFlag(LONG ok) noexcept { return ok ? 1 : 0; }

// What the codec needs of a field that is reachable only through its interface.
SFField::Layout LayoutOf(const FieldRef& ref) noexcept {
  if (ref.self) return ref.self->GetLayout();
  SFField::Layout layout;
  VARIANT_BOOL excluded = 0;
  ref.field->get_Type(&layout.type);
  ref.field->get_Size(&layout.size);
  ref.field->get_Exclude(&excluded);
  layout.excluded = excluded != 0;
  return layout;
}

HRESULT ValueOf(const FieldRef& ref, Variant& out) noexcept {
  if (ref.self) return ref.self->CopyValue(out.put());
  // A value never set reads as empty and encodes as the type's zero.
  if (FAILED(ref.field->get_Value(out.put()))) {
    SetErrorInfo(0, nullptr);
    out.reset();
  }
  return S_OK;
}

// S_OK with the fields of a record (all of them, in order); S_FALSE when `object` is
// no record.
HRESULT RecordFields(IUnknown* object, std::vector<FieldRef>& fields) noexcept {
  fields.clear();
  if (SFRecord* own = SFRecord::FromUnknown(object)) return own->SnapshotFields(fields);
  ComPtr<ISFRecord> record;
  if (FAILED(object->QueryInterface(IID_ISFRecord, record.put_void())) || !record) return S_FALSE;
  LONG count = 0;
  RETURN_IF_FAILED(record->get_Count(&count));
  try {
    for (LONG i = 1; i <= count; ++i) {
      VARIANT index;
      V_VT(&index) = VT_I4;
      V_I4(&index) = i;
      ComPtr<IDispatch> disp;
      FieldRef ref;
      RETURN_IF_FAILED(record->get_Field(index, disp.put()));
      RETURN_IF_FAILED(disp.query(ref.field));
      ref.self = SFField::FromUnknown(ref.field.get());
      fields.push_back(std::move(ref));
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

}  // namespace

IUnknown* ObjectArgument(const VARIANT* arg) noexcept {
  if (!arg) return nullptr;
  while (V_VT(arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(arg)) arg = V_VARIANTREF(arg);
  switch (V_VT(arg)) {
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return V_UNKNOWN(arg);
    case VT_BYREF | VT_UNKNOWN:
    case VT_BYREF | VT_DISPATCH:
      return V_UNKNOWNREF(arg) ? *V_UNKNOWNREF(arg) : nullptr;
    default:
      return nullptr;
  }
}

bool StreamFromObject(IUnknown* object, ComPtr<IStream>& out) noexcept {
  out.reset();
  if (!object) return false;
  if (SUCCEEDED(object->QueryInterface(IID_IStream, out.put_void())) && out) return true;
  ComPtr<ISFStreamBin> bin;
  ComPtr<IUnknown> raw;
  if (FAILED(object->QueryInterface(IID_ISFStreamBin, bin.put_void())) || !bin ||
      FAILED(bin->BinGetStreamPtr(raw.put())) || !raw)
    return false;
  return SUCCEEDED(raw->QueryInterface(IID_IStream, out.put_void())) && out;
}

HRESULT PlainFailure(HRESULT hr) noexcept {
  SetErrorInfo(0, nullptr);
  return hr;
}

HRESULT SFFilter::StreamArgument(const VARIANT* arg, ComPtr<IStream>& out) noexcept {
  if (!StreamFromObject(ObjectArgument(arg), out)) return Report(kMsgNotStream);
  return S_OK;
}

HRESULT SFFilter::StreamSize(IStream* stream, ULONGLONG* size) noexcept {
  ULONGLONG here = 0;
  RETURN_IF_FAILED(SeekTo(stream, 0, STREAM_SEEK_CUR, &here));
  const HRESULT hr = SeekTo(stream, 0, STREAM_SEEK_END, size);
  SeekTo(stream, static_cast<LONGLONG>(here), STREAM_SEEK_SET);
  return hr;
}

// ---- ISFFilterService ----

STDMETHODIMP SFFilter::GetBufferSize(LONG* plSize) noexcept {
  RETURN_POINTER_IF_NULL(plSize);
  LockGuard guard(lock_);
  *plSize = static_cast<LONG>(buffer_.size());
  return S_OK;
}

// Allocates the buffer zero-filled, or resizes it keeping what fits.
STDMETHODIMP SFFilter::SetBufferSize(LONG lSize) noexcept {
  if (lSize < 0) return PlainFailure(E_INVALIDARG);
  LockGuard guard(lock_);
  try {
    buffer_.resize(static_cast<size_t>(lSize), 0);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  hasBuffer_ = true;
  return S_OK;
}


// The sum of the bytes of the record's fields that are not excluded; text counts its
// Size in characters, two bytes each in Unicode mode.
STDMETHODIMP SFFilter::CalcBufferSize(IUnknown* pRecord, LONG* plSize) noexcept {
  RETURN_POINTER_IF_NULL(plSize);
  *plSize = 0;
  if (!pRecord) return Report(kMsgNotRecord);
  std::vector<FieldRef> fields;
  const HRESULT hr = RecordFields(pRecord, fields);
  RETURN_IF_FAILED(hr);
  if (hr == S_FALSE) return Report(kMsgNotRecord);
  LockGuard guard(lock_);
  LONGLONG total = 0;
  for (const FieldRef& ref : fields) {
    const SFField::Layout layout = LayoutOf(ref);
    if (layout.excluded) continue;
    const units::UnitType* type = units::FindUnitType(layout.type);
    if (!type) return Report(kMsgTypeNotSupported);
    LONGLONG bytes = type->bytesPerUnit;
    if (units::IsText(*type) && unicodeText_) bytes *= 2;
    if (type->flags & units::kVariableSize) bytes *= std::max<LONG>(layout.size, 0);
    total += bytes;
    // A record this large could never be held in memory.
    if (total > kPositionLimit) return PlainFailure(E_OUTOFMEMORY);
  }
  *plSize = static_cast<LONG>(total);
  return S_OK;
}

STDMETHODIMP SFFilter::GetBuffer(VARIANT* pvarBuffer) noexcept {
  RETURN_POINTER_IF_NULL(pvarBuffer);
  VariantInit(pvarBuffer);
  LockGuard guard(lock_);
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  if (FAILED(MakeByteArray(buffer_.data(), buffer_.size(), pvarBuffer))) return Report(kMsgArrayFailed, E_OUTOFMEMORY);
  return S_OK;
}

STDMETHODIMP SFFilter::ResetBuffer() noexcept {
  LockGuard guard(lock_);
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  std::fill(buffer_.begin(), buffer_.end(), BYTE{0});
  bufferPos_ = 0;
  return S_OK;
}

STDMETHODIMP SFFilter::GetBufferPos(LONG* plPos) noexcept {
  RETURN_POINTER_IF_NULL(plPos);
  LockGuard guard(lock_);
  *plPos = bufferPos_;
  return S_OK;
}

STDMETHODIMP SFFilter::SetBufferPos(LONG lPos) noexcept {
  LockGuard guard(lock_);
  if (lPos >= 0) bufferPos_ = lPos;
  return S_OK;
}

HRESULT SFFilter::Encode(const VARIANT* value, const units::UnitType& type, LONG size) noexcept {
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  if (type.code == VT_EMPTY) return S_OK;
  if (units::IsText(type)) return EncodeText(value, size);
  if (Remaining() < type.bytesPerUnit) return Report(kMsgBufferEnd);
  Variant holder;
  const VARIANT* number = nullptr;
  RETURN_IF_FAILED(units::AsUnitValue(value, type.code, holder.get(), &number));
  units::PutNumber(type, *number, buffer_.data() + bufferPos_, units::ReversesUnits(byteOrder_));
  bufferPos_ += type.bytesPerUnit;
  return S_OK;
}

// Unicode mode stores at most Size units; code-page mode converts into Size bytes plus
// room for a terminator and stores Size bytes (a text of exactly Size bytes has none).
HRESULT SFFilter::EncodeText(const VARIANT* value, LONG size) noexcept {
  if (size < 0) return PlainFailure(E_INVALIDARG);
  const LONGLONG width = static_cast<LONGLONG>(size) * (unicodeText_ ? 2 : 1);
  if (Remaining() < width) return Report(kMsgBufferEnd);
  Variant holder;
  const VARIANT* text = nullptr;
  RETURN_IF_FAILED(units::AsUnitValue(value, VT_BSTR, holder.get(), &text));
  const wchar_t* chars = V_BSTR(text) ? V_BSTR(text) : L"";
  const size_t length = SysStringLen(V_BSTR(text));
  BYTE* dest = buffer_.data() + bufferPos_;
  if (unicodeText_) {
    const size_t units = std::min(length, static_cast<size_t>(size));
    units::PutTextUnits(chars, units, dest, units::ReversesUnits(unicodeByteOrder_));
    std::memset(dest + units * 2, 0, static_cast<size_t>(width) - units * 2);
  } else {
    try {
      textBytes_.assign(static_cast<size_t>(width) + 1, '\0');
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    const int converted = WideCharToMultiByte(CodePage(), 0, chars, static_cast<int>(length + 1), textBytes_.data(),
                                              static_cast<int>(width + 1), nullptr, nullptr);
    if (converted <= 0)
      return Report(GetLastError() == ERROR_INSUFFICIENT_BUFFER ? kMsgTooLong : kMsgStringConversion);
    const size_t stored = std::min(static_cast<size_t>(width), static_cast<size_t>(converted));
    std::memcpy(dest, textBytes_.data(), stored);
    std::memset(dest + stored, 0, static_cast<size_t>(width) - stored);
  }
  bufferPos_ += static_cast<LONG>(width);
  return S_OK;
}

HRESULT SFFilter::Decode(const units::UnitType& type, LONG size, VARIANT* out) noexcept {
  VariantInit(out);
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  if (type.code == VT_EMPTY) return S_OK;
  if (units::IsText(type)) return DecodeText(size, out);
  if (Remaining() < type.bytesPerUnit) return Report(kMsgBufferEnd);
  units::GetNumber(type, buffer_.data() + bufferPos_, units::ReversesUnits(byteOrder_), out);
  bufferPos_ += type.bytesPerUnit;
  return S_OK;
}

// The text ends at its first NUL; code-page text is converted with a zero byte after
// the field's bytes.
HRESULT SFFilter::DecodeText(LONG size, VARIANT* out) noexcept {
  if (size < 0) return PlainFailure(E_INVALIDARG);
  const LONGLONG width = static_cast<LONGLONG>(size) * (unicodeText_ ? 2 : 1);
  if (Remaining() < width) return Report(kMsgBufferEnd);
  const BYTE* src = buffer_.data() + bufferPos_;
  BSTR text = nullptr;
  try {
    if (unicodeText_) {
      textUnits_.resize(static_cast<size_t>(size) + 1);
      units::GetTextUnits(src, static_cast<size_t>(size), units::ReversesUnits(unicodeByteOrder_), textUnits_.data());
      textUnits_[static_cast<size_t>(size)] = L'\0';
    } else {
      textBytes_.assign(reinterpret_cast<const char*>(src), static_cast<size_t>(width));
      textBytes_.push_back('\0');
      // A code page never yields more UTF-16 units than it has bytes.
      textUnits_.resize(textBytes_.size());
      if (MultiByteToWideChar(CodePage(), 0, textBytes_.data(), -1, textUnits_.data(),
                              static_cast<int>(textUnits_.size())) <= 0)
        return Report(kMsgStringConversion);
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  text = SysAllocString(textUnits_.data());
  RETURN_IF_NULL_ALLOC(text);
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = text;
  bufferPos_ += static_cast<LONG>(width);
  return S_OK;
}

HRESULT SFFilter::PutField(const FieldRef& ref) noexcept {
  // This library's own fields are encoded from their value in place, under their lock.
  if (ref.self)
    return ref.self->WithValue([this](const SFField::Layout& layout, const VARIANT* value) noexcept {
      const units::UnitType* type = units::FindUnitType(layout.type);
      return type ? Encode(value, *type, layout.size) : Report(kMsgTypeNotSupported);
    });
  const SFField::Layout layout = LayoutOf(ref);
  const units::UnitType* type = units::FindUnitType(layout.type);
  if (!type) return Report(kMsgTypeNotSupported);
  Variant value;
  RETURN_IF_FAILED(ValueOf(ref, value));
  return Encode(value.get(), *type, layout.size);
}

HRESULT SFFilter::GetField(const FieldRef& ref) noexcept {
  const SFField::Layout layout = LayoutOf(ref);
  const units::UnitType* type = units::FindUnitType(layout.type);
  if (!type) return Report(kMsgTypeNotSupported);
  Variant value;
  RETURN_IF_FAILED(Decode(*type, layout.size, value.put()));
  if (ref.self) {
    ref.self->TakeDecoded(std::move(value));
    return S_OK;
  }
  return ref.field->put_Value(*value.get());
}

// A field is coded whether or not it is excluded; a record codes its fields that are
// not excluded, in order, under the filter's lock.
HRESULT SFFilter::Transfer(IUnknown* object, Direction direction) noexcept {
  if (!object) return Report(kMsgNotFieldOrRecord);
  LockGuard guard(lock_);
  HRESULT hr = RecordFields(object, fields_);
  if (FAILED(hr)) return hr;
  const bool record = hr == S_OK;
  if (!record) {
    FieldRef single;
    if (FAILED(object->QueryInterface(IID_ISFField, single.field.put_void())) || !single.field)
      return Report(kMsgNotFieldOrRecord);
    single.self = SFField::FromUnknown(single.field.get());
    try {
      fields_.push_back(std::move(single));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  hr = S_OK;
  for (const FieldRef& ref : fields_) {
    if (record && LayoutOf(ref).excluded) continue;
    hr = direction == Direction::kPut ? PutField(ref) : GetField(ref);
    if (FAILED(hr)) break;
  }
  fields_.clear();
  return hr;
}

STDMETHODIMP SFFilter::PutData(IUnknown* pObject) noexcept { return Transfer(pObject, Direction::kPut); }
STDMETHODIMP SFFilter::GetData(IUnknown* pObject) noexcept { return Transfer(pObject, Direction::kGet); }

STDMETHODIMP SFFilter::PutVariant(VARIANT* pvarValue, LONG lType, LONG lSize) noexcept {
  RETURN_POINTER_IF_NULL(pvarValue);
  if (IsObjectType(lType)) return PutData(ObjectArgument(pvarValue));
  const units::UnitType* type = units::FindUnitType(lType);
  if (!type) return Report(kMsgTypeNotSupported);
  LockGuard guard(lock_);
  return Encode(pvarValue, *type, lSize);
}

STDMETHODIMP SFFilter::GetVariant(LONG lType, LONG lSize, VARIANT* pvarValue) noexcept {
  RETURN_POINTER_IF_NULL(pvarValue);
  VariantInit(pvarValue);
  const units::UnitType* type = units::FindUnitType(lType);
  if (!type) return Report(kMsgTypeNotSupported);
  LockGuard guard(lock_);
  return Decode(*type, lSize, pvarValue);
}

// The whole buffer from the stream's position; a short read or a failed one answers 0.
STDMETHODIMP SFFilter::ReadBuffer(IStream* pStream, LONG* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  RETURN_POINTER_IF_NULL(pStream);
  LockGuard guard(lock_);
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  std::fill(buffer_.begin(), buffer_.end(), BYTE{0});
  bufferPos_ = 0;
  size_t total = 0;
  while (total < buffer_.size()) {
    ULONG got = 0;
    const HRESULT hr = pStream->Read(buffer_.data() + total, static_cast<ULONG>(buffer_.size() - total), &got);
    if (FAILED(hr) || got == 0) break;
    total += got;
  }
  return SetSuccessFlag(pbOk, total == buffer_.size());
}

STDMETHODIMP SFFilter::WriteBuffer(IStream* pStream, LONG* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  RETURN_POINTER_IF_NULL(pStream);
  LockGuard guard(lock_);
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  bufferPos_ = 0;
  ULONG written = 0;
  const HRESULT hr =
      buffer_.empty() ? S_OK : pStream->Write(buffer_.data(), static_cast<ULONG>(buffer_.size()), &written);
  return SetSuccessFlag(pbOk, SUCCEEDED(hr) && written == buffer_.size());
}

// Moves by whole records: from StreamBegin (lFrom 0), from the position (1) or from the
// end (2). A target before StreamBegin is refused without moving; a position past 31
// bits is refused and the old position restored.
STDMETHODIMP SFFilter::SeekStream(IStream* pStream, LONG lRec, LONG lFrom, LONG* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  RETURN_POINTER_IF_NULL(pStream);
  LockGuard guard(lock_);
  if (!hasBuffer_) return Report(kMsgNotInitialized);
  ULONGLONG here = 0, size = 0;
  if (FAILED(SeekTo(pStream, 0, STREAM_SEEK_CUR, &here))) return S_FALSE;
  const HRESULT sized = SeekTo(pStream, 0, STREAM_SEEK_END, &size);
  auto restore = [&] { SeekTo(pStream, static_cast<LONGLONG>(here), STREAM_SEEK_SET); };
  if (FAILED(sized)) {
    restore();
    return S_FALSE;
  }
  if (size > static_cast<ULONGLONG>(kPositionLimit)) {
    restore();
    return Report(kMsgTooBig);
  }
  const LONGLONG offset = static_cast<LONGLONG>(lRec) * static_cast<LONGLONG>(buffer_.size());
  LONGLONG target = 0;
  switch (lFrom) {
    case 0:
      if (lRec < 0) {
        restore();
        return PlainFailure(E_INVALIDARG);
      }
      target = streamBegin_ + offset;
      break;
    case 1:
      target = static_cast<LONGLONG>(here) + offset;
      break;
    case 2:
      target = static_cast<LONGLONG>(size) + offset;
      break;
    default:
      restore();
      return S_FALSE;
  }
  if (target < streamBegin_) {
    restore();
    return S_FALSE;
  }
  if (target > kPositionLimit) {
    restore();
    return Report(kMsgTooBig);
  }
  ULONGLONG now = 0;
  if (FAILED(SeekTo(pStream, target, STREAM_SEEK_SET, &now))) {
    restore();
    return S_FALSE;
  }
  if (now > static_cast<ULONGLONG>(kPositionLimit)) {
    restore();
    return Report(kMsgTooBig);
  }
  return SetSuccessFlag(pbOk, true);
}

STDMETHODIMP SFFilter::GetStreamBegin(LONG* plBegin) noexcept {
  RETURN_POINTER_IF_NULL(plBegin);
  LockGuard guard(lock_);
  *plBegin = streamBegin_;
  return S_OK;
}

STDMETHODIMP SFFilter::SetStreamBegin(LONG lBegin) noexcept {
  if (lBegin < 0) return PlainFailure(E_INVALIDARG);
  LockGuard guard(lock_);
  streamBegin_ = lBegin;
  return S_OK;
}

STDMETHODIMP SFFilter::GetRecordCount(IStream* pStream, LONG* plCount) noexcept {
  RETURN_POINTER_IF_NULL(plCount);
  *plCount = 0;
  RETURN_POINTER_IF_NULL(pStream);
  LockGuard guard(lock_);
  ULONGLONG size = 0;
  RETURN_IF_FAILED(StreamSize(pStream, &size));
  if (size > static_cast<ULONGLONG>(kPositionLimit)) return Report(kMsgTooBig);
  const LONGLONG record = static_cast<LONGLONG>(buffer_.size());
  *plCount = record > 0 ? static_cast<LONG>((static_cast<LONGLONG>(size) - streamBegin_) / record) : -1;
  return S_OK;
}

STDMETHODIMP SFFilter::SetRecordCount(IStream* pStream, LONG lCount) noexcept {
  RETURN_POINTER_IF_NULL(pStream);
  LockGuard guard(lock_);
  if (!hasBuffer_ || buffer_.empty()) return Report(kMsgNotInitialized);
  if (lCount < 0) return PlainFailure(E_INVALIDARG);
  const LONGLONG size = static_cast<LONGLONG>(lCount) * static_cast<LONGLONG>(buffer_.size()) + streamBegin_;
  if (size > kPositionLimit) return Report(kMsgTooBig);
  ULARGE_INTEGER target;
  target.QuadPart = static_cast<ULONGLONG>(size);
  return pStream->SetSize(target);
}

// ---- ISFFilter ----

STDMETHODIMP SFFilter::get_buffSize(LONG* pVal) noexcept { return GetBufferSize(pVal); }
STDMETHODIMP SFFilter::put_buffSize(LONG newVal) noexcept { return SetBufferSize(newVal); }

STDMETHODIMP SFFilter::CalcBuffer(VARIANT varRecord, LONG* plSize) noexcept {
  return CalcBufferSize(ObjectArgument(&varRecord), plSize);
}

STDMETHODIMP SFFilter::get_Buffer(VARIANT* pVal) noexcept { return GetBuffer(pVal); }
STDMETHODIMP SFFilter::Reset() noexcept { return ResetBuffer(); }
STDMETHODIMP SFFilter::get_bufferPos(LONG* pVal) noexcept { return GetBufferPos(pVal); }
STDMETHODIMP SFFilter::put_bufferPos(LONG newVal) noexcept { return SetBufferPos(newVal); }
STDMETHODIMP SFFilter::Put(VARIANT varObject) noexcept { return PutData(ObjectArgument(&varObject)); }
STDMETHODIMP SFFilter::Get(VARIANT varObject) noexcept { return GetData(ObjectArgument(&varObject)); }

STDMETHODIMP SFFilter::get_codePage(LONG* pVal) noexcept { return GetLocked(lock_, codePage_, pVal); }

STDMETHODIMP SFFilter::put_codePage(LONG newVal) noexcept { return PutLocked(lock_, codePage_, newVal); }

STDMETHODIMP SFFilter::get_unicodeText(LONG* pVal) noexcept { return GetLocked(lock_, unicodeText_, pVal); }

STDMETHODIMP SFFilter::put_unicodeText(LONG newVal) noexcept { return PutLocked(lock_, unicodeText_, newVal); }

STDMETHODIMP SFFilter::PutVar(VARIANT varValue, LONG lType, LONG lSize) noexcept {
  return PutVariant(&varValue, lType, lSize);
}

STDMETHODIMP SFFilter::GetVar(LONG lType, LONG lSize, VARIANT* pvarValue) noexcept {
  return GetVariant(lType, lSize, pvarValue);
}

STDMETHODIMP SFFilter::Read(VARIANT varStream, VARIANT_BOOL* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(StreamArgument(&varStream, stream));
  LONG ok = 0;
  const HRESULT hr = ReadBuffer(stream.get(), &ok);
  *pbOk = AsFlag(ok);
  return hr;
}

STDMETHODIMP SFFilter::Write(VARIANT varStream, VARIANT_BOOL* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(StreamArgument(&varStream, stream));
  LONG ok = 0;
  const HRESULT hr = WriteBuffer(stream.get(), &ok);
  *pbOk = AsFlag(ok);
  return hr;
}

STDMETHODIMP SFFilter::Seek(VARIANT varStream, LONG lRec, LONG lFrom, VARIANT_BOOL* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(StreamArgument(&varStream, stream));
  LONG ok = 0;
  const HRESULT hr = SeekStream(stream.get(), lRec, lFrom, &ok);
  *pbOk = AsFlag(ok);
  return hr;
}

STDMETHODIMP SFFilter::get_StreamBegin(LONG* pVal) noexcept { return GetStreamBegin(pVal); }
STDMETHODIMP SFFilter::put_StreamBegin(LONG newVal) noexcept { return SetStreamBegin(newVal); }

STDMETHODIMP SFFilter::GetSize(VARIANT varStream, LONG* plCount) noexcept {
  RETURN_POINTER_IF_NULL(plCount);
  *plCount = 0;
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(StreamArgument(&varStream, stream));
  return GetRecordCount(stream.get(), plCount);
}

STDMETHODIMP SFFilter::SetSize(VARIANT varStream, LONG lCount) noexcept {
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(StreamArgument(&varStream, stream));
  return SetRecordCount(stream.get(), lCount);
}

STDMETHODIMP SFFilter::get_ByteOrder(LONG* pVal) noexcept { return GetLocked(lock_, byteOrder_, pVal); }

STDMETHODIMP SFFilter::put_ByteOrder(LONG newVal) noexcept { return PutLocked(lock_, byteOrder_, newVal); }

STDMETHODIMP SFFilter::get_UnicodeByteOrder(LONG* pVal) noexcept { return GetLocked(lock_, unicodeByteOrder_, pVal); }

STDMETHODIMP SFFilter::put_UnicodeByteOrder(LONG newVal) noexcept { return PutLocked(lock_, unicodeByteOrder_, newVal); }

}  // namespace orv
