// The `Host` object every script sees under the name "Host": a fixed member table
// behind a hand-written IDispatch with no type information. It talks to the program
// through a HostUi and reads the parameter tree; once the program detaches it, scripts
// that still hold it get an object that shows nothing.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "components/module/ComObject.h"
#include "host/HostUi.h"
#include "host/Parameters.h"

namespace orvanta::host {

enum HostDispId : DISPID {
  kDispMsg = 1,
  kDispWrite = 2,
  kDispWriteLine = 3,
  kDispAsk = 4,
  kDispRequestInput = 5,
  kDispParameter = 6,
  kDispSysParameter = 7,
  kDispParameterCount = 8,
  kDispExit = 9,
  kDispClear = 10,
  kDispCreateObject = 11,
  kDispSetInput = 12,
  kDispRuntimeParameter = 13,
};

class HostObject final : public orv::ComObject<HostObject, IDispatch> {
 public:
  // A new object with one reference (the member CreateObject hides the base's name).
  static HRESULT New(HostObject** out) noexcept { return ComObject::CreateObject(out); }

  // Gives the object its program; null detaches it.
  void Attach(HostUi* ui, const Parameters* params) noexcept {
    ui_ = ui;
    params_ = params;
  }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) noexcept override;

 private:
  HRESULT Msg(VARIANT* arg) noexcept;
  HRESULT Ask(VARIANT* arg, VARIANT* result) noexcept;
  HRESULT Write(VARIANT* arg, bool newLine) noexcept;
  HRESULT RequestInput(VARIANT* arg) noexcept;
  HRESULT SetInput(VARIANT* arg) noexcept;
  HRESULT Parameter(VARIANT* arg, ParamSection which, VARIANT* result) noexcept;
  HRESULT ParameterCount(VARIANT* arg, VARIANT* result) noexcept;
  HRESULT RuntimeParameter(VARIANT* arg, VARIANT* result) noexcept;
  HRESULT CreateObject(VARIANT* arg, VARIANT* result) noexcept;
  HRESULT Fail(const wchar_t* text) noexcept;

  HostUi* ui_ = nullptr;
  const Parameters* params_ = nullptr;
};

}  // namespace orvanta::host
