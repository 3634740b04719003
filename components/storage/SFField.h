// SFField (and its free-threaded twin): one typed, named value of a record. Its type
// code picks the entry of the unit table that fixes its default size and how the
// record codec stores it.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

// Answered only by this library's own field objects in the caller's apartment: it hands
// the record codec the object itself, so that a record step costs no dispatch call.
struct ISFFieldSelf : IUnknown {};
__CRT_UUID_DECL(ISFFieldSelf, 0x3f0c8a51, 0x7d2e, 0x4b8a, 0x9c, 0x61, 0x0e, 0x52, 0xd4, 0x7a, 0x19, 0xb3)

namespace orv {

class SFField final : public ComObject<SFField, Dual<ISFField>, ISFFieldSelf, ErrorSupport<ISFField>> {
 public:
  // The field object behind `p`, or null when `p` is no field of this library here.
  // No reference is added.
  static SFField* FromUnknown(IUnknown* p) noexcept;

  // What the codec needs of a field, read under its lock.
  struct Layout {
    LONG type = 0;
    LONG size = 0;
    bool excluded = false;
  };
  Layout GetLayout() noexcept;
  // The stored value, whatever its type.
  HRESULT CopyValue(VARIANT* out) noexcept;
  // Runs f(layout, value) with the field locked; f must not call back into the field.
  template <class F>
  HRESULT WithValue(F&& f) noexcept {
    LockGuard guard(lock_);
    return f(Layout{type_, size_, exclude_ != 0}, value_.get());
  }
  // Stores a decoded value (already of the field's type); takes it over.
  void TakeDecoded(Variant&& value) noexcept;
  // The name, for lookups.
  bool NameIs(const wchar_t* name, size_t length) noexcept;

  // ISFField, in interface order
  STDMETHODIMP get_Value(VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Value(VARIANT newVal) noexcept override;
  STDMETHODIMP get_name(BSTR* pVal) noexcept override;
  STDMETHODIMP put_name(BSTR newVal) noexcept override;
  STDMETHODIMP get_Type(LONG* pVal) noexcept override;
  STDMETHODIMP put_Type(LONG newVal) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP get_Exclude(VARIANT_BOOL* pVal) noexcept override;
  STDMETHODIMP put_Exclude(VARIANT_BOOL newVal) noexcept override;
  STDMETHODIMP get_Size(LONG* pVal) noexcept override;
  STDMETHODIMP put_Size(LONG newVal) noexcept override;

 private:
  CriticalSection lock_;
  Variant value_;
  Bstr name_;
  LONG type_ = 0;
  LONG size_ = 0;
  VARIANT_BOOL exclude_ = 0;
};

}  // namespace orv
