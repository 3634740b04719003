// Call target, counts and the loaded library of the thread suites.
#include "tests/threads/ThreadTestSupport.h"

#include <tlhelp32.h>

namespace orvtest {

Library& VessaLibrary() {
  static Library lib(L"OrvantaVessa.dll");
  return lib;
}

CallTarget::CallTarget()
    : release(CreateEventW(nullptr, TRUE, FALSE, nullptr)), resume(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CallTarget::~CallTarget() = default;

STDMETHODIMP CallTarget::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return E_NOINTERFACE;
  *ppv = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CallTarget::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CallTarget::GetTypeInfoCount(UINT* n) {
  *n = 0;
  return S_OK;
}

STDMETHODIMP CallTarget::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static const wchar_t* known[] = {L"Quick", L"Block", L"Fail", L"Handoff"};
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    for (int k = 0; k < 4; ++k)
      if (_wcsicmp(names[i], known[k]) == 0) ids[i] = k + 1;
    if (ids[i] == DISPID_UNKNOWN) return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

STDMETHODIMP CallTarget::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  calledOn = GetCurrentThreadId();
  ++calls;
  if (result) VariantInit(result);
  switch (id) {
    case 1:
      break;
    case 2:
      WaitForSingleObject(release.get(), 10000);
      if (result) {
        V_VT(result) = VT_I4;
        V_I4(result) = 1;
      }
      return S_OK;
    case 3:
      return DISP_E_EXCEPTION;
    case 4:
      WaitForSingleObject(release.get(), 10000);
      held.reset();
      WaitForSingleObject(resume.get(), 10000);
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (result) {
    V_VT(result) = VT_I4;
    V_I4(result) = 42;
  }
  return S_OK;
}

DWORD HandleCount() {
  DWORD n = 0;
  GetProcessHandleCount(GetCurrentProcess(), &n);
  return n;
}

DWORD ThreadCount() {
  orv::UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snap) return 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  DWORD n = 0;
  for (BOOL ok = Thread32First(snap.get(), &entry); ok; ok = Thread32Next(snap.get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  return n;
}

}  // namespace orvtest
