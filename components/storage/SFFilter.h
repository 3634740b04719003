// SFFilter (and its free-threaded twin): the record codec. It turns the fields of a
// record into a byte buffer of fixed size and back, reads and writes that buffer as one
// record of a stream, and moves streams by whole records. Records use it through
// ISFFilterService; the script methods forward to the same service methods.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class SFField;
namespace units {
struct UnitType;
}

// The object a VARIANT argument holds (by reference too), or null. No reference added.
IUnknown* ObjectArgument(const VARIANT* arg) noexcept;
// The stream argument rule: IStream, else the raw stream of an ISFStreamBin. False when
// neither works.
bool StreamFromObject(IUnknown* object, ComPtr<IStream>& out) noexcept;
// A failure without a text of its own: no earlier error record may be taken for it.
HRESULT PlainFailure(HRESULT hr) noexcept;

// One field of a record as the codec sees it: this library's own object when it is
// reachable directly, else only its interface.
struct FieldRef {
  ComPtr<ISFField> field;
  SFField* self = nullptr;
};

class SFFilter final : public ComObject<SFFilter, Dual<ISFFilter>, ISFFilterService, ErrorSupport<ISFFilter>> {
 public:
  // ISFFilterService
  STDMETHODIMP GetBufferSize(LONG* plSize) noexcept override;
  STDMETHODIMP SetBufferSize(LONG lSize) noexcept override;
  STDMETHODIMP CalcBufferSize(IUnknown* pRecord, LONG* plSize) noexcept override;
  STDMETHODIMP GetBuffer(VARIANT* pvarBuffer) noexcept override;
  STDMETHODIMP ResetBuffer() noexcept override;
  STDMETHODIMP GetBufferPos(LONG* plPos) noexcept override;
  STDMETHODIMP SetBufferPos(LONG lPos) noexcept override;
  STDMETHODIMP PutData(IUnknown* pObject) noexcept override;
  STDMETHODIMP GetData(IUnknown* pObject) noexcept override;
  STDMETHODIMP PutVariant(VARIANT* pvarValue, LONG lType, LONG lSize) noexcept override;
  STDMETHODIMP GetVariant(LONG lType, LONG lSize, VARIANT* pvarValue) noexcept override;
  STDMETHODIMP ReadBuffer(IStream* pStream, LONG* pbOk) noexcept override;
  STDMETHODIMP WriteBuffer(IStream* pStream, LONG* pbOk) noexcept override;
  STDMETHODIMP SeekStream(IStream* pStream, LONG lRec, LONG lFrom, LONG* pbOk) noexcept override;
  STDMETHODIMP GetStreamBegin(LONG* plBegin) noexcept override;
  STDMETHODIMP SetStreamBegin(LONG lBegin) noexcept override;
  STDMETHODIMP GetRecordCount(IStream* pStream, LONG* plCount) noexcept override;
  STDMETHODIMP SetRecordCount(IStream* pStream, LONG lCount) noexcept override;

  // ISFFilter, in interface order
  STDMETHODIMP get_buffSize(LONG* pVal) noexcept override;
  STDMETHODIMP put_buffSize(LONG newVal) noexcept override;
  STDMETHODIMP CalcBuffer(VARIANT varRecord, LONG* plSize) noexcept override;
  STDMETHODIMP get_Buffer(VARIANT* pVal) noexcept override;
  STDMETHODIMP Reset() noexcept override;
  STDMETHODIMP get_bufferPos(LONG* pVal) noexcept override;
  STDMETHODIMP put_bufferPos(LONG newVal) noexcept override;
  STDMETHODIMP Put(VARIANT varObject) noexcept override;
  STDMETHODIMP Get(VARIANT varObject) noexcept override;
  STDMETHODIMP get_codePage(LONG* pVal) noexcept override;
  STDMETHODIMP put_codePage(LONG newVal) noexcept override;
  STDMETHODIMP get_unicodeText(LONG* pVal) noexcept override;
  STDMETHODIMP put_unicodeText(LONG newVal) noexcept override;
  STDMETHODIMP PutVar(VARIANT varValue, LONG lType, LONG lSize) noexcept override;
  STDMETHODIMP GetVar(LONG lType, LONG lSize, VARIANT* pvarValue) noexcept override;
  STDMETHODIMP Read(VARIANT varStream, VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP Write(VARIANT varStream, VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP Seek(VARIANT varStream, LONG lRec, LONG lFrom, VARIANT_BOOL* pbOk) noexcept override;
  STDMETHODIMP get_StreamBegin(LONG* pVal) noexcept override;
  STDMETHODIMP put_StreamBegin(LONG newVal) noexcept override;
  STDMETHODIMP GetSize(VARIANT varStream, LONG* plCount) noexcept override;
  STDMETHODIMP SetSize(VARIANT varStream, LONG lCount) noexcept override;
  STDMETHODIMP get_ByteOrder(LONG* pVal) noexcept override;
  STDMETHODIMP put_ByteOrder(LONG newVal) noexcept override;
  STDMETHODIMP get_UnicodeByteOrder(LONG* pVal) noexcept override;
  STDMETHODIMP put_UnicodeByteOrder(LONG newVal) noexcept override;

 private:
  enum class Direction { kPut, kGet };
  HRESULT Transfer(IUnknown* object, Direction direction) noexcept;
  HRESULT PutField(const FieldRef& ref) noexcept;
  HRESULT GetField(const FieldRef& ref) noexcept;
  HRESULT Encode(const VARIANT* value, const units::UnitType& type, LONG size) noexcept;
  HRESULT Decode(const units::UnitType& type, LONG size, VARIANT* out) noexcept;
  HRESULT EncodeText(const VARIANT* value, LONG size) noexcept;
  HRESULT DecodeText(LONG size, VARIANT* out) noexcept;
  // Bytes left after bufferPos (negative when it was put past the end).
  LONGLONG Remaining() const noexcept {
    return static_cast<LONGLONG>(buffer_.size()) - bufferPos_;
  }
  // Stream size and position through seeks, which a file stream answers without
  // asking the system.
  HRESULT StreamSize(IStream* stream, ULONGLONG* size) noexcept;
  HRESULT StreamArgument(const VARIANT* arg, ComPtr<IStream>& out) noexcept;
  UINT CodePage() const noexcept { return codePage_ == 0 ? CP_ACP : static_cast<UINT>(codePage_); }

  CriticalSection lock_;
  std::vector<BYTE> buffer_;
  bool hasBuffer_ = false;
  LONG bufferPos_ = 0;
  LONG streamBegin_ = 0;
  LONG codePage_ = 0;
  LONG unicodeText_ = 1;
  LONG byteOrder_ = 64;
  LONG unicodeByteOrder_ = 64;
  // Scratch space of the text codec and the field walk, kept between records.
  std::string textBytes_;
  std::wstring textUnits_;
  std::vector<FieldRef> fields_;
};

}  // namespace orv
