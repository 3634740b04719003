// The record: a list of field references, the bound stream and filter, and the
// navigation steps built from the filter's seek, read, write and codec calls.
#include "components/storage/SFRecord.h"

#include "components/module/ErrorReport.h"
#include "components/module/IndexRule.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VariantEnum.h"
#include "components/storage/SFField.h"

namespace orv {

namespace {

constexpr UINT kMsgNotField = 10121;
constexpr UINT kMsgNotStream = 10128;
constexpr UINT kMsgNotFilter = 10129;
constexpr UINT kMsgNotBound = 10130;

HRESULT Report(UINT id) noexcept { return ReportError(CLSID_SFRecord, id); }

bool IsAbsent(const VARIANT* v) noexcept {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  if (V_VT(v) == VT_ERROR) return V_ERROR(v) == DISP_E_PARAMNOTFOUND;
  return V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL;
}

bool FieldNamed(const FieldRef& ref, const std::wstring& name) noexcept {
  if (ref.self) return ref.self->NameIs(name.data(), name.size());
  Bstr own;
  if (FAILED(ref.field->get_name(own.put()))) return false;
  return NamesEqual(std::wstring_view(own.c_str(), own.length()), name);
}

}  // namespace

SFRecord* SFRecord::FromUnknown(IUnknown* p) noexcept {
  if (!p) return nullptr;
  ISFRecordSelf* self = nullptr;
  if (FAILED(p->QueryInterface(__uuidof(ISFRecordSelf), reinterpret_cast<void**>(&self))) || !self) return nullptr;
  self->Release();  // the caller holds the object
  return static_cast<SFRecord*>(self);
}

HRESULT SFRecord::SnapshotFields(std::vector<FieldRef>& out) noexcept {
  LockGuard guard(lock_);
  try {
    out = fields_;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT SFRecord::Bound(ComPtr<IStream>& stream, ComPtr<ISFFilterService>& filter) noexcept {
  LockGuard guard(lock_);
  if (!stream_ || !filter_) return Report(kMsgNotBound);
  stream = stream_;
  filter = filter_;
  return S_OK;
}

HRESULT SFRecord::Resolve(const VARIANT* index, size_t* slot) noexcept {
  IndexKey key;
  if (FAILED(ClassifyIndex(index, key))) return PlainFailure(DISP_E_BADINDEX);
  if (key.isPosition) {
    if (key.position < 1 || static_cast<size_t>(key.position) > fields_.size()) return PlainFailure(DISP_E_BADINDEX);
    *slot = static_cast<size_t>(key.position) - 1;
    return S_OK;
  }
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (FieldNamed(fields_[i], key.name)) {
      *slot = i;
      return S_OK;
    }
  }
  return PlainFailure(DISP_E_BADINDEX);
}

HRESULT SFRecord::FieldArgument(const VARIANT* arg, FieldRef& out) noexcept {
  IUnknown* object = ObjectArgument(arg);
  if (!object || FAILED(object->QueryInterface(IID_ISFField, out.field.put_void())) || !out.field)
    return Report(kMsgNotField);
  out.self = SFField::FromUnknown(out.field.get());
  return S_OK;
}

HRESULT SFRecord::SizeBuffer(ISFFilterService* filter) noexcept {
  LONG size = 0;
  RETURN_IF_FAILED(filter->CalcBufferSize(Self(), &size));
  return filter->SetBufferSize(size);
}

HRESULT SFRecord::ReadHere(IStream* stream, ISFFilterService* filter, bool* ok) noexcept {
  *ok = false;
  LONG read = 0;
  RETURN_IF_FAILED(filter->ResetBuffer());
  RETURN_IF_FAILED(filter->ReadBuffer(stream, &read));
  if (!read) return S_FALSE;
  RETURN_IF_FAILED(filter->GetData(Self()));
  *ok = true;
  return S_OK;
}

// Nothing reaches the stream when a field does not encode.
HRESULT SFRecord::WriteHere(IStream* stream, ISFFilterService* filter, bool* ok) noexcept {
  *ok = false;
  LONG written = 0;
  RETURN_IF_FAILED(filter->ResetBuffer());
  RETURN_IF_FAILED(filter->PutData(Self()));
  RETURN_IF_FAILED(filter->WriteBuffer(stream, &written));
  *ok = written != 0;
  return S_OK;
}

// ---- ISFRecord ----

STDMETHODIMP SFRecord::get_Field(VARIANT varIndex, IDispatch** ppField) noexcept {
  RETURN_POINTER_IF_NULL(ppField);
  *ppField = nullptr;
  LockGuard guard(lock_);
  size_t slot = 0;
  RETURN_IF_FAILED(Resolve(&varIndex, &slot));
  return fields_[slot].field->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppField));
}

STDMETHODIMP SFRecord::Add(VARIANT varField) noexcept {
  FieldRef ref;
  RETURN_IF_FAILED(FieldArgument(&varField, ref));
  LockGuard guard(lock_);
  try {
    fields_.push_back(std::move(ref));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP SFRecord::get_Count(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = static_cast<LONG>(fields_.size());
  return S_OK;
}

STDMETHODIMP SFRecord::Clear() noexcept {
  std::vector<FieldRef> removed;
  LockGuard guard(lock_);
  removed.swap(fields_);
  return S_OK;
}

// For a text field the given size replaces the default (a text added without one takes
// no bytes); fixed types keep their size.
STDMETHODIMP SFRecord::AddField(BSTR bstrName, LONG lType, LONG lSize, IDispatch** ppField) noexcept {
  RETURN_POINTER_IF_NULL(ppField);
  *ppField = nullptr;
  SFField* created = nullptr;
  RETURN_IF_FAILED(SFField::CreateObject(&created));
  FieldRef ref;
  ref.field.attach(created);
  ref.self = created;
  RETURN_IF_FAILED(created->put_name(bstrName));
  const HRESULT typed = created->put_Type(lType);
  if (FAILED(typed)) return PlainFailure(typed);
  created->put_Size(lSize);
  {
    LockGuard guard(lock_);
    try {
      fields_.push_back(ref);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  return created->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppField));
}

STDMETHODIMP SFRecord::Remove(VARIANT varIndex) noexcept {
  FieldRef removed;
  LockGuard guard(lock_);
  size_t slot = 0;
  RETURN_IF_FAILED(Resolve(&varIndex, &slot));
  removed = std::move(fields_[slot]);
  fields_.erase(fields_.begin() + static_cast<std::ptrdiff_t>(slot));
  return S_OK;
}

STDMETHODIMP SFRecord::get__NewEnum(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  VariantSnapshot items;
  try {
    items.resize(fields_.size());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  for (size_t i = 0; i < fields_.size(); ++i) {
    IDispatch* disp = nullptr;
    RETURN_IF_FAILED(fields_[i].field->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&disp)));
    V_VT(items[i].get()) = VT_DISPATCH;
    V_DISPATCH(items[i].get()) = disp;
  }
  guard.unlock();
  return CreateVariantEnumerator(std::move(items), ppUnk);
}

STDMETHODIMP SFRecord::Replace(VARIANT varIndex, VARIANT varField) noexcept {
  FieldRef ref;
  RETURN_IF_FAILED(FieldArgument(&varField, ref));
  LockGuard guard(lock_);
  size_t slot = 0;
  RETURN_IF_FAILED(Resolve(&varIndex, &slot));
  std::swap(fields_[slot], ref);
  return S_OK;
}

STDMETHODIMP SFRecord::CreateSet(BSTR) noexcept { return S_OK; }

STDMETHODIMP SFRecord::BindTo(VARIANT varStream, VARIANT varFilter) noexcept {
  UnBind();
  ComPtr<IStream> stream;
  if (!StreamFromObject(ObjectArgument(&varStream), stream)) return Report(kMsgNotStream);
  ComPtr<ISFFilterService> filter;
  if (IsAbsent(&varFilter)) {
    SFFilter* created = nullptr;
    RETURN_IF_FAILED(SFFilter::CreateObject(&created));
    filter.attach(created);
  } else {
    IUnknown* object = ObjectArgument(&varFilter);
    if (!object || FAILED(object->QueryInterface(IID_ISFFilterService, filter.put_void())) || !filter)
      return Report(kMsgNotFilter);
  }
  RETURN_IF_FAILED(SizeBuffer(filter.get()));
  LockGuard guard(lock_);
  std::swap(stream_, stream);
  std::swap(filter_, filter);
  return S_OK;
}

STDMETHODIMP SFRecord::UnBind() noexcept {
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  LockGuard guard(lock_);
  std::swap(stream, stream_);
  std::swap(filter, filter_);
  guard.unlock();
  return S_OK;
}

// Seeks, reads the record there and returns to its start.
STDMETHODIMP SFRecord::Move(LONG lPos, LONG lOrigin, VARIANT_BOOL* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  RETURN_IF_FAILED(Bound(stream, filter));
  LONG moved = 0;
  const HRESULT hr = filter->SeekStream(stream.get(), lPos, lOrigin, &moved);
  if (hr != S_OK) {
    *pbOk = moved ? 1 : 0;
    return hr;
  }
  bool read = false;
  RETURN_IF_FAILED(ReadHere(stream.get(), filter.get(), &read));
  if (!read) return SetSuccessFlag(pbOk, false);
  return SetSuccessFlag(pbOk, StepBack(stream.get(), filter.get()));
}

// The full read left the stream one record past the start the seek moved it to, and that
// seek already checked the start against StreamBegin and the 31-bit limit; stepping back
// therefore needs no second size query (a system call on a file others may write).
bool SFRecord::StepBack(IStream* stream, ISFFilterService* filter) noexcept {
  LONG size = 0;
  if (FAILED(filter->GetBufferSize(&size))) return false;
  LARGE_INTEGER back;
  back.QuadPart = -static_cast<LONGLONG>(size);
  return SUCCEEDED(stream->Seek(back, STREAM_SEEK_CUR, nullptr));
}

STDMETHODIMP SFRecord::MoveNext(VARIANT_BOOL* pbOk) noexcept { return Move(1, 1, pbOk); }
STDMETHODIMP SFRecord::MovePrev(VARIANT_BOOL* pbOk) noexcept { return Move(-1, 1, pbOk); }
STDMETHODIMP SFRecord::MoveFirst(VARIANT_BOOL* pbOk) noexcept { return Move(0, 0, pbOk); }
STDMETHODIMP SFRecord::MoveLast(VARIANT_BOOL* pbOk) noexcept { return Move(-1, 2, pbOk); }
STDMETHODIMP SFRecord::ReRead(VARIANT_BOOL* pbOk) noexcept { return Move(0, 1, pbOk); }

STDMETHODIMP SFRecord::Read(VARIANT_BOOL* pbOk) noexcept { return StepHere(false, pbOk); }
STDMETHODIMP SFRecord::Write(VARIANT_BOOL* pbOk) noexcept { return StepHere(true, pbOk); }

HRESULT SFRecord::StepHere(bool write, VARIANT_BOOL* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  RETURN_IF_FAILED(Bound(stream, filter));
  bool done = false;
  RETURN_IF_FAILED(write ? WriteHere(stream.get(), filter.get(), &done) : ReadHere(stream.get(), filter.get(), &done));
  return SetSuccessFlag(pbOk, done);
}

// Overwrites the record at the position and stays at its start.
STDMETHODIMP SFRecord::Update(VARIANT_BOOL* pbOk) noexcept {
  RETURN_POINTER_IF_NULL(pbOk);
  *pbOk = 0;
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  RETURN_IF_FAILED(Bound(stream, filter));
  bool written = false;
  RETURN_IF_FAILED(WriteHere(stream.get(), filter.get(), &written));
  if (!written) return SetSuccessFlag(pbOk, false);
  LONG moved = 0;
  RETURN_IF_FAILED(filter->SeekStream(stream.get(), -1, 1, &moved));
  return SetSuccessFlag(pbOk, moved != 0);
}

STDMETHODIMP SFRecord::ReBind() noexcept {
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  RETURN_IF_FAILED(Bound(stream, filter));
  return SizeBuffer(filter.get());
}

STDMETHODIMP SFRecord::get_Filter(IDispatch** ppFilter) noexcept {
  RETURN_POINTER_IF_NULL(ppFilter);
  *ppFilter = nullptr;
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  RETURN_IF_FAILED(Bound(stream, filter));
  return filter->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppFilter));
}

STDMETHODIMP SFRecord::get_name(BSTR* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = nullptr;
  LockGuard guard(lock_);
  return ReturnText(std::wstring_view(name_.c_str(), name_.length()), pVal);
}

STDMETHODIMP SFRecord::put_name(BSTR newVal) noexcept {
  Bstr copy(newVal, SysStringLen(newVal));
  if (!copy.get()) return E_OUTOFMEMORY;
  LockGuard guard(lock_);
  std::swap(name_, copy);
  return S_OK;
}

STDMETHODIMP SFRecord::get_RecordCount(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 0;
  ComPtr<IStream> stream;
  ComPtr<ISFFilterService> filter;
  RETURN_IF_FAILED(Bound(stream, filter));
  return filter->GetRecordCount(stream.get(), pVal);
}

STDMETHODIMP SFRecord::put_RecordCount(LONG) noexcept { return S_OK; }

}  // namespace orv
