// SFRecord (and its free-threaded twin): an ordered set of fields, held by reference,
// bound to a stream and a filter, and walked record by record. The record never holds
// its lock while it calls the filter, so one filter may serve several records.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "components/storage/SFFilter.h"

// Answered only by this library's own record objects in the caller's apartment.
struct ISFRecordSelf : IUnknown {};
__CRT_UUID_DECL(ISFRecordSelf, 0x8b6e2d14, 0x52c7, 0x4f0e, 0xa3, 0x9d, 0x71, 0x04, 0xbe, 0x2c, 0x66, 0x58)

namespace orv {

class SFRecord final : public ComObject<SFRecord, Dual<ISFRecord>, ISFRecordSelf, ErrorSupport<ISFRecord>> {
 public:
  // The record object behind `p`, or null. No reference is added.
  static SFRecord* FromUnknown(IUnknown* p) noexcept;
  // Copies the field list (references, not fields) into `out`.
  HRESULT SnapshotFields(std::vector<FieldRef>& out) noexcept;

  // ISFRecord, in interface order
  STDMETHODIMP get_Field(VARIANT varIndex, IDispatch** ppField) noexcept override;
  STDMETHODIMP Add(VARIANT varField) noexcept override;
  STDMETHODIMP get_Count(LONG* pVal) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP AddField(BSTR bstrName, LONG lType, LONG lSize, IDispatch** ppField) noexcept override;
  STDMETHODIMP Remove(VARIANT varIndex) noexcept override;
  STDMETHODIMP get__NewEnum(IUnknown** ppUnk) noexcept override;
  STDMETHODIMP Replace(VARIANT varIndex, VARIANT varField) noexcept override;
  STDMETHODIMP CreateSet(BSTR bstrDefs) noexcept override;
  STDMETHODIMP BindTo(VARIANT varStream, VARIANT varFilter) noexcept override;
  STDMETHODIMP UnBind() noexcept override;
  STDMETHODIMP Move(LONG lPos, LONG lOrigin, VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP MoveNext(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP MovePrev(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP MoveFirst(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP Read(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP Write(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP ReBind() noexcept override;
  STDMETHODIMP ReRead(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP Update(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP get_Filter(IDispatch** ppFilter) noexcept override;
  STDMETHODIMP get_name(BSTR* pVal) noexcept override;
  STDMETHODIMP put_name(BSTR newVal) noexcept override;
  STDMETHODIMP MoveLast(VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP get_RecordCount(LONG* pVal) noexcept override;
  STDMETHODIMP put_RecordCount(LONG newVal) noexcept override;

 private:
  // The stream and filter of a bound record, taken under the lock; 10130 when unbound.
  HRESULT Bound(ComPtr<IStream>& stream, ComPtr<ISFFilterService>& filter) noexcept;
  // The 0-based slot of an index; DISP_E_BADINDEX when nothing matches.
  HRESULT Resolve(const VARIANT* index, size_t* slot) noexcept;
  HRESULT FieldArgument(const VARIANT* arg, FieldRef& out) noexcept;
  // Sizes the filter's buffer for this record.
  HRESULT SizeBuffer(ISFFilterService* filter) noexcept;
  // Reads the record at the stream's position into the fields.
  HRESULT ReadHere(IStream* stream, ISFFilterService* filter, bool* ok) noexcept;
  HRESULT WriteHere(IStream* stream, ISFFilterService* filter, bool* ok) noexcept;
  // Back to the start of the record just read.
  bool StepBack(IStream* stream, ISFFilterService* filter) noexcept;
  // Read (write false) or Write at the stream's position.
  HRESULT StepHere(bool write, VARIANT_BOOL* pbOk) noexcept;
  IUnknown* Self() noexcept { return static_cast<ISFRecordSelf*>(this); }

  CriticalSection lock_;
  std::vector<FieldRef> fields_;
  Bstr name_;
  ComPtr<IStream> stream_;
  ComPtr<ISFFilterService> filter_;
};

}  // namespace orv
