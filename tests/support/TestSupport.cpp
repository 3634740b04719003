// Helpers shared by the Windows suites.
#include "tests/support/TestSupport.h"

#include <vector>

#include "components/module/Module.h"

namespace orvtest {

std::wstring BinPath(const wchar_t* file) {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L"\\/") + 1);
  return dir + file;
}

Library::Library(const wchar_t* file) : module_(LoadLibraryW(BinPath(file).c_str())) {}
Library::~Library() {
  if (module_) FreeLibrary(module_);
}

template <class F>
static F Export(HMODULE m, const char* name) {
  return reinterpret_cast<F>(GetProcAddress(m, name));
}

HRESULT Library::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
  auto f = Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(module_, "DllGetClassObject");
  return f ? f(clsid, riid, ppv) : E_FAIL;
}
HRESULT Library::CanUnloadNow() const {
  auto f = Export<HRESULT(STDAPICALLTYPE*)()>(module_, "DllCanUnloadNow");
  return f ? f() : E_FAIL;
}
HRESULT Library::Register() const {
  auto f = Export<HRESULT(STDAPICALLTYPE*)()>(module_, "DllRegisterServer");
  return f ? f() : E_FAIL;
}
HRESULT Library::Unregister() const {
  auto f = Export<HRESULT(STDAPICALLTYPE*)()>(module_, "DllUnregisterServer");
  return f ? f() : E_FAIL;
}

ErrorRecord TakeErrorRecord() {
  ErrorRecord rec;
  orv::ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return rec;
  rec.present = true;
  orv::Bstr source, description;
  info->GetSource(source.put());
  info->GetDescription(description.put());
  info->GetGUID(&rec.guid);
  rec.source = source.c_str();
  rec.description = description.c_str();
  return rec;
}

bool KeyExists(const std::wstring& path, HKEY root) {
  orv::UniqueRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::wstring ReadString(const std::wstring& path, const wchar_t* value, HKEY root) {
  wchar_t data[1024] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  if (RegGetValueW(root, path.c_str(), value, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
    return L"<missing>";
  return data;
}

orv::Variant I4(LONG n) {
  orv::Variant v;
  V_VT(v.get()) = VT_I4;
  V_I4(v.get()) = n;
  return v;
}

orv::Variant R8(double d) {
  orv::Variant v;
  V_VT(v.get()) = VT_R8;
  V_R8(v.get()) = d;
  return v;
}

orv::Variant Str(const wchar_t* s) {
  orv::Variant v;
  V_VT(v.get()) = VT_BSTR;
  V_BSTR(v.get()) = SysAllocString(s);
  return v;
}

orv::Variant Obj(IUnknown* p) {
  orv::Variant v;
  orv::ComPtr<IDispatch> d;
  if (p && SUCCEEDED(p->QueryInterface(IID_IDispatch, d.put_void()))) {
    V_VT(v.get()) = VT_DISPATCH;
    V_DISPATCH(v.get()) = d.release();
  } else {
    V_VT(v.get()) = VT_UNKNOWN;
    V_UNKNOWN(v.get()) = p;
    if (p) p->AddRef();
  }
  return v;
}

orv::Variant Null() {
  orv::Variant v;
  V_VT(v.get()) = VT_NULL;
  return v;
}

orv::Variant Missing() {
  orv::Variant v;
  V_VT(v.get()) = VT_ERROR;
  V_ERROR(v.get()) = DISP_E_PARAMNOTFOUND;
  return v;
}

std::wstring Text(const VARIANT* v) {
  orv::Variant t;
  if (FAILED(VariantChangeType(t.get(), const_cast<VARIANT*>(v), VARIANT_ALPHABOOL, VT_BSTR))) return L"<?>";
  return V_BSTR(t.get()) ? V_BSTR(t.get()) : L"";
}

HRESULT CallByName(IDispatch* disp, const wchar_t* name, WORD flags, VARIANT* args, UINT argCount,
                   VARIANT* result, EXCEPINFO* excep) {
  DISPID id = 0;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  HRESULT hr = disp->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  // Arguments are given in natural order and passed reversed, as engines do.
  std::vector<VARIANT> reversed(args, args + argCount);
  std::vector<VARIANT>(reversed.rbegin(), reversed.rend()).swap(reversed);
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr, argCount, 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  EXCEPINFO local = {};
  hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep ? excep : &local, nullptr);
  if (!excep) {
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

}  // namespace orvtest

// The suites link the module frame statically; their own "module" serves no classes.
namespace orv {
ModuleDescription& ThisModule() {
  static ModuleDescription none{nullptr, 0, nullptr};
  return none;
}
}  // namespace orv
