// Shared helpers of the Windows suites: paths of the built libraries, loading a library
// by path, COM initialisation per test, and reading the thread's error record.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>

#include "components/module/Raii.h"

namespace orvtest {

// Path of a file beside the test program (the build tree's bin folder).
std::wstring BinPath(const wchar_t* file);

// A library loaded by path with its exports.
class Library {
 public:
  explicit Library(const wchar_t* file);
  ~Library();
  HMODULE handle() const { return module_; }
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
  HRESULT CanUnloadNow() const;
  HRESULT Register() const;
  HRESULT Unregister() const;

 private:
  HMODULE module_;
};

// The thread's error record, taken (and cleared).
struct ErrorRecord {
  bool present = false;
  std::wstring source, description;
  GUID guid = GUID_NULL;
};
ErrorRecord TakeErrorRecord();

// Registry helpers (HKCR unless another root is given).
bool KeyExists(const std::wstring& path, HKEY root = HKEY_CLASSES_ROOT);
std::wstring ReadString(const std::wstring& path, const wchar_t* value, HKEY root = HKEY_CLASSES_ROOT);

// Values for calls: numbers, texts, objects (VT_DISPATCH when the object offers it,
// else VT_UNKNOWN), null, and the "missing argument" marker.
orv::Variant I4(LONG n);
orv::Variant R8(double d);
orv::Variant Str(const wchar_t* s);
orv::Variant Obj(IUnknown* p);
orv::Variant Null();
orv::Variant Missing();
// A value as text ("<?>" when it has none).
std::wstring Text(const VARIANT* v);

// Calls IDispatch by name.
HRESULT CallByName(IDispatch* disp, const wchar_t* name, WORD flags, VARIANT* args, UINT argCount,
                   VARIANT* result, EXCEPINFO* excep = nullptr);

}  // namespace orvtest
