// Shared pieces of the thread suites: objects of the library loaded by path (so that
// DllCanUnloadNow speaks for the same module), a call target whose members block on
// events the test controls, and the process's handle and thread counts.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <atomic>

#include "OrvantaVessa.h"
#include "components/module/Raii.h"
#include "tests/support/TestSupport.h"

namespace orvtest {

// OrvantaVessa.dll, loaded once for the whole run.
Library& VessaLibrary();

// A new object of the library through its class factory.
template <class I>
orv::ComPtr<I> MakeObject(REFCLSID clsid) {
  orv::ComPtr<IClassFactory> factory;
  orv::ComPtr<I> object;
  if (SUCCEEDED(VessaLibrary().GetClassObject(clsid, IID_IClassFactory, factory.put_void())))
    factory->CreateInstance(nullptr, __uuidof(I), object.put_void());
  return object;
}

// Members by name: "Quick" (returns 42), "Block" (waits up to 10 s for `release`, then
// returns 1), "Fail" (DISP_E_EXCEPTION), "Handoff" (waits for `release`, drops `held`,
// then waits for `resume`). DISPIDs 1 to 4 in that order.
class CallTarget final : public IDispatch {
 public:
  CallTarget();
  ~CallTarget();
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP GetTypeInfoCount(UINT* n) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

  orv::UniqueHandle release, resume;
  std::atomic<DWORD> calledOn{0};
  std::atomic<int> calls{0};
  orv::ComPtr<IUnknown> held;

 private:
  std::atomic<ULONG> refs_{1};
};

DWORD HandleCount();
DWORD ThreadCount();

// Polls `done` every 10 ms for up to `ms` milliseconds.
template <class F>
bool Eventually(F done, DWORD ms = 5000) {
  for (DWORD waited = 0; waited < ms; waited += 10) {
    if (done()) return true;
    Sleep(10);
  }
  return done();
}

}  // namespace orvtest
