// The `Host` object: member table, dispatch and the members.
#include "host/HostObject.h"

#include <string>

#include "components/module/Raii.h"
#include "components/module/SuccessFlag.h"

namespace orvanta::host {

namespace {

struct Member {
  const wchar_t* name;
  DISPID id;
  UINT required;
};

constexpr Member kMembers[] = {
    {L"Msg", kDispMsg, 1},
    {L"Write", kDispWrite, 1},
    {L"WriteLine", kDispWriteLine, 1},
    {L"Ask", kDispAsk, 1},
    {L"RequestInput", kDispRequestInput, 1},
    {L"Parameter", kDispParameter, 1},
    {L"SysParameter", kDispSysParameter, 1},
    {L"ParameterCount", kDispParameterCount, 1},
    {L"Exit", kDispExit, 0},
    {L"Clear", kDispClear, 0},
    {L"CreateObject", kDispCreateObject, 1},
    {L"SetInput", kDispSetInput, 1},
    {L"RuntimeParameter", kDispRuntimeParameter, 1},
};

const Member* FindMember(DISPID id) {
  for (const Member& m : kMembers)
    if (m.id == id) return &m;
  return nullptr;
}

// Converts an argument (by reference or not) to the type asked for.
HRESULT Convert(const VARIANT* arg, VARTYPE vt, orv::Variant& out) noexcept {
  orv::Variant plain;
  HRESULT hr = plain.copy_from(arg);
  if (FAILED(hr)) return hr;
  return VariantChangeType(out.put(), plain.get(), VARIANT_ALPHABOOL, vt);
}

HRESULT ToText(const VARIANT* arg, std::wstring& text) noexcept {
  orv::Variant s;
  const HRESULT hr = Convert(arg, VT_BSTR, s);
  if (FAILED(hr)) return hr;
  text.assign(V_BSTR(s.get()) ? V_BSTR(s.get()) : L"", SysStringLen(V_BSTR(s.get())));
  return S_OK;
}

HRESULT ReturnText(const std::u16string& text, VARIANT* result) noexcept {
  if (!result) return S_OK;
  BSTR b = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()), static_cast<UINT>(text.size()));
  if (!b) return E_OUTOFMEMORY;
  VariantClear(result);
  V_VT(result) = VT_BSTR;
  V_BSTR(result) = b;
  return S_OK;
}

}  // namespace

STDMETHODIMP HostObject::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP HostObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP HostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept {
  if ((!names || !ids) && count) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (const Member& m : kMembers) {
      if (names[i] && CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, names[i], -1, m.name, -1) == CSTR_EQUAL) {
        ids[i] = m.id;
        break;
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

STDMETHODIMP HostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO*, UINT*) noexcept {
  const Member* member = FindMember(id);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  const UINT argc = params ? params->cArgs : 0;
  if (argc && !params->rgvarg) return E_INVALIDARG;
  if (argc < member->required) return DISP_E_BADPARAMCOUNT;
  if (params && params->cNamedArgs) return DISP_E_NONAMEDARGS;
  if (!(flags & DISPATCH_METHOD)) return E_FAIL;
  // A member called with more arguments than it takes does nothing.
  if (argc != member->required) return S_OK;
  VARIANT* arg = argc ? &params->rgvarg[0] : nullptr;
  switch (id) {
    case kDispMsg: return Msg(arg);
    case kDispWrite: return Write(arg, false);
    case kDispWriteLine: return Write(arg, true);
    case kDispAsk: return Ask(arg, result);
    case kDispRequestInput: return RequestInput(arg);
    case kDispParameter: return Parameter(arg, ParamSection::Script, result);
    case kDispSysParameter: return Parameter(arg, ParamSection::Host, result);
    case kDispParameterCount: return ParameterCount(arg, result);
    case kDispExit:
      if (ui_) ui_->Exit();
      return S_OK;
    case kDispClear:
      if (ui_) ui_->ClearOutput();
      return S_OK;
    case kDispCreateObject: return CreateObject(arg, result);
    case kDispSetInput: return SetInput(arg);
    case kDispRuntimeParameter: return RuntimeParameter(arg, result);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT HostObject::Fail(const wchar_t* text) noexcept {
  if (ui_) ui_->ShowError(text);
  return E_FAIL;
}

HRESULT HostObject::Msg(VARIANT* arg) noexcept {
  std::wstring text;
  const HRESULT hr = ToText(arg, text);
  if (FAILED(hr)) return hr;
  if (ui_) ui_->ShowMessage(text);
  return S_OK;
}

HRESULT HostObject::Ask(VARIANT* arg, VARIANT* result) noexcept {
  std::wstring text;
  const HRESULT hr = ToText(arg, text);
  if (FAILED(hr)) return hr;
  const bool yes = ui_ && ui_->Ask(text);
  if (result) {
    VariantClear(result);
    orv::SetSuccessFlag(result, yes);
  }
  return S_OK;
}

HRESULT HostObject::Write(VARIANT* arg, bool newLine) noexcept {
  std::wstring text;
  const HRESULT hr = ToText(arg, text);
  if (FAILED(hr)) return hr;
  if (newLine) text += L"\r\n";
  if (ui_) ui_->Write(text);
  return S_OK;
}

HRESULT HostObject::RequestInput(VARIANT* arg) noexcept {
  std::wstring label;
  const HRESULT hr = ToText(arg, label);
  if (FAILED(hr)) return hr;
  if (ui_) ui_->RequestInput(label);
  return S_OK;
}

HRESULT HostObject::SetInput(VARIANT* arg) noexcept {
  std::wstring text;
  const HRESULT hr = ToText(arg, text);
  if (FAILED(hr)) return hr;
  if (ui_) ui_->SetInput(text);
  return S_OK;
}

HRESULT HostObject::Parameter(VARIANT* arg, ParamSection which, VARIANT* result) noexcept {
  orv::Variant n;
  if (FAILED(Convert(arg, VT_I4, n))) return Fail(L"Command line parameter can be refered only by index");
  const LONG position = V_I4(n.get());
  const std::u16string* value = params_ && position > 0 ? params_->At(which, static_cast<size_t>(position)) : nullptr;
  if (!value) return Fail((L"Non-existent command line parameter refered #" + std::to_wstring(position)).c_str());
  return ReturnText(*value, result);
}

HRESULT HostObject::ParameterCount(VARIANT* arg, VARIANT* result) noexcept {
  orv::Variant flag;
  if (FAILED(Convert(arg, VT_BOOL, flag))) return Fail(L"ParameterCount requires boolean parameter");
  const ParamSection which = V_BOOL(flag.get()) ? ParamSection::Host : ParamSection::Script;
  if (result) {
    VariantClear(result);
    V_VT(result) = VT_I4;
    V_I4(result) = params_ ? static_cast<LONG>(params_->Count(which)) : 0;
  }
  return S_OK;
}

HRESULT HostObject::RuntimeParameter(VARIANT* arg, VARIANT* result) noexcept {
  std::wstring name;
  if (FAILED(ToText(arg, name))) return Fail(L"Runtime parameter can be refered only by name");
  const std::u16string* value = params_ ? params_->Find(ParamSection::Runtime, name) : nullptr;
  if (!value) return Fail((L"Non-existent parameter refered #" + name).c_str());
  return ReturnText(*value, result);
}

HRESULT HostObject::CreateObject(VARIANT* arg, VARIANT* result) noexcept {
  std::wstring spec;
  if (FAILED(ToText(arg, spec))) return E_FAIL;
  CLSID clsid;
  const HRESULT found = !spec.empty() && spec[0] == L'{' ? CLSIDFromString(spec.c_str(), &clsid)
                                                          : CLSIDFromProgID(spec.c_str(), &clsid);
  if (FAILED(found)) return E_FAIL;
  orv::ComPtr<IDispatch> object;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr)) return hr;
  if (result) {
    VariantClear(result);
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = object.release();
  }
  return S_OK;
}

}  // namespace orvanta::host

// The host programs serve no classes; the module frame behind ComObject still wants a
// class table to count live objects against.
namespace orv {
ModuleDescription& ThisModule() {
  static ModuleDescription none{nullptr, 0, nullptr};
  return none;
}
}  // namespace orv
