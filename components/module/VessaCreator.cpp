// VessaCreator: the attempts of CreateObject in their order, each stopping the search on
// success; failures of single attempts are not reported by themselves.
#include "components/module/VessaCreator.h"

#include <cwctype>

#include "components/module/ErrorReport.h"
#include "components/module/Module.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"

namespace orv {

namespace {

enum class IdForm { Plain, Clsid, Dll };

IdForm FormOf(const std::wstring& id) noexcept {
  if (id.empty() || id.back() != L'}') return IdForm::Plain;
  return id.front() == L'{' ? IdForm::Clsid : IdForm::Dll;
}

// The short names, in the order they are tried; the apartment variants restart the
// apartment with the multithreaded flag set or cleared.
enum class ApartmentVariant { None, FreeThreaded, ApartmentThreaded };
struct ShortName {
  const wchar_t* name;
  const CLSID* clsid;
  ApartmentVariant apartment;
};
const ShortName kShortNames[] = {
    {L"ScpMan", &CLSID_ScpMan, ApartmentVariant::None},
    {L"VarDictionary", &CLSID_VarDictionary, ApartmentVariant::None},
    {L"UtilStringList", &CLSID_UtilStringList, ApartmentVariant::None},
    {L"CustomLock", &CLSID_CustomLock, ApartmentVariant::None},
    {L"ConfigFile", &CLSID_ConfigFile, ApartmentVariant::None},
    {L"SFStream", &CLSID_SFStream, ApartmentVariant::None},
    {L"ScpAggregate", &CLSID_ScpAggregate, ApartmentVariant::None},
    {L"SFMain", &CLSID_SFMain, ApartmentVariant::None},
    {L"SFStorage", &CLSID_SFStorage, ApartmentVariant::None},
    {L"SFFileStream", &CLSID_SFFileStream, ApartmentVariant::None},
    {L"SFDirStorage", &CLSID_SFDirStorage, ApartmentVariant::None},
    {L"SFDrive", &CLSID_SFDrive, ApartmentVariant::None},
    {L"SFField", &CLSID_SFField, ApartmentVariant::None},
    {L"SFRecord", &CLSID_SFRecord, ApartmentVariant::None},
    {L"SFFilter", &CLSID_SFFilter, ApartmentVariant::None},
    {L"TypeConvertor", &CLSID_TypeConvertor, ApartmentVariant::None},
    {L"VaryDisp", &CLSID_VaryDisp, ApartmentVariant::None},
    {L"VaryDispCreator", &CLSID_VaryDispCreator, ApartmentVariant::None},
    {L"VessaCreator", &CLSID_VessaCreator, ApartmentVariant::None},
    {L"COMApartment", &CLSID_COMApartment, ApartmentVariant::None},
    {L"COMThread", &CLSID_COMThread, ApartmentVariant::None},
    {L"COMScriptThread", &CLSID_COMScriptThread, ApartmentVariant::None},
    {L"SFBinaryData", &CLSID_SFBinaryData, ApartmentVariant::None},
    {L"COMSleeper", &CLSID_COMSleeper, ApartmentVariant::None},
    {L"Event", &CLSID_SynchEvent, ApartmentVariant::None},
    {L"Mutex", &CLSID_SynchMutex, ApartmentVariant::None},
    {L"Semaphore", &CLSID_SynchSemaphore, ApartmentVariant::None},
    {L"COMApartmentFreeThreaded", &CLSID_COMApartment, ApartmentVariant::FreeThreaded},
    {L"COMApartmentApartmentThreaded", &CLSID_COMApartment, ApartmentVariant::ApartmentThreaded},
};

// A success is handed out queried for IDispatch; an object without it is no success.
HRESULT AsDispatch(IUnknown* unk, IDispatch** out) noexcept {
  if (!unk) return E_NOINTERFACE;
  return unk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
}

HRESULT CreateByShortName(const std::wstring& id, IDispatch** out) noexcept {
  for (const ShortName& entry : kShortNames) {
    if (_wcsicmp(entry.name, id.c_str()) != 0) continue;
    ComPtr<IUnknown> made;
    const HRESULT hr = CreateLibraryClass(*entry.clsid, IID_IUnknown, made.put_void());
    if (FAILED(hr)) return hr;
    if (entry.apartment != ApartmentVariant::None) {
      ComPtr<ICOMApartmentBin> apartment;
      RETURN_IF_FAILED(made.query(apartment));
      RETURN_IF_FAILED(apartment->BinRestart(entry.apartment == ApartmentVariant::FreeThreaded ? 1 : 0));
    }
    return AsDispatch(made.get(), out);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

// COM creation: the text as a CLSID string, else as a ProgID; in-process, local and remote.
HRESULT CreateThroughCom(const std::wstring& id, IDispatch** out) noexcept {
  CLSID clsid;
  if (FAILED(CLSIDFromString(id.c_str(), &clsid)) && FAILED(CLSIDFromProgID(id.c_str(), &clsid)))
    return REGDB_E_CLASSNOTREG;
  ComPtr<IUnknown> made;
  RETURN_IF_FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                    IID_IUnknown, made.put_void()));
  return AsDispatch(made.get(), out);
}

// The library's own module file (at most 520 characters).
std::wstring OwnModulePath() {
  wchar_t path[521] = {};
  const DWORD len = GetModuleFileNameW(ModuleInstance(), path, 520);
  return std::wstring(path, len);
}

bool IsBracedClsid(const wchar_t* text) noexcept {
  return text && wcslen(text) == 38 && text[0] == L'{' && text[37] == L'}';
}

}  // namespace

size_t PlanCreateAttempts(const std::wstring& id, LONG flags, CreateAttempt* out) noexcept {
  const IdForm form = FormOf(id);
  size_t n = 0;
  const bool comFirst = (flags & kCreateComFirst) && form != IdForm::Dll && !(flags & kNeverCom);
  if (comFirst) out[n++] = CreateAttempt::ComFirst;
  if (form == IdForm::Dll && !(flags & kSkipDllForm)) out[n++] = CreateAttempt::DllForm;
  if (form == IdForm::Plain && !(flags & kSkipCompositeNames)) out[n++] = CreateAttempt::CompositeName;
  if (form == IdForm::Plain && !(flags & kSkipShortNames)) out[n++] = CreateAttempt::ShortName;
  if (form != IdForm::Dll && !(flags & kNeverCom) && !comFirst) out[n++] = CreateAttempt::ComLate;
  if (form == IdForm::Clsid) out[n++] = CreateAttempt::OwnModule;
  return n;
}

HRESULT CreateLibraryClass(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  const ModuleDescription& module = ThisModule();
  for (size_t i = 0; i < module.classCount; ++i) {
    const ClassEntry& entry = module.classes[i];
    if (entry.clsid && IsEqualCLSID(*entry.clsid, clsid))
      return entry.creator ? entry.creator(nullptr, riid, ppv) : CLASS_E_CLASSNOTAVAILABLE;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CreateFromCompositeDefinition(const VARIANT& definition, LONG defType, IDispatch** out) noexcept {
  *out = nullptr;
  ComPtr<IVaryDispCreator> creator;
  RETURN_IF_FAILED(CreateLibraryClass(CLSID_VaryDispCreator, IID_IVaryDispCreator, creator.put_void()));
  return creator->CreateObject(definition, VARIANT_FALSE, defType, out);
}

STDMETHODIMP VessaCreator::CreateObject(VARIANT vID, LONG lFlags, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  Variant id;
  RETURN_IF_FAILED(id.copy_from(&vID));
  // Objects are never read through their default value: an object is a definition.
  Variant text;
  if (FAILED(VariantChangeType(text.get(), id.get(), VARIANT_NOVALUEPROP, VT_BSTR))) {
    if (id.vt() != VT_DISPATCH && id.vt() != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(CreateFromCompositeDefinition(*id.get(), 4, ppDisp))) return S_OK;
    return ReportError(CLSID_VessaCreator, 10153);
  }
  try {
    const std::wstring name(V_BSTR(text.get()), SysStringLen(V_BSTR(text.get())));
    CreateAttempt plan[6];
    const size_t count = PlanCreateAttempts(name, lFlags, plan);
    for (size_t i = 0; i < count; ++i) {
      HRESULT hr = E_FAIL;
      switch (plan[i]) {
        case CreateAttempt::ComFirst:
        case CreateAttempt::ComLate:
          hr = CreateThroughCom(name, ppDisp);
          break;
        case CreateAttempt::DllForm: {
          const size_t brace = name.find(L'{');
          Bstr path(name.c_str(), static_cast<UINT>(brace));
          Bstr clsid(name.c_str() + brace);
          ComPtr<IUnknown> made;
          hr = CreateObjectFromDLL(path.get(), clsid.get(), made.put());
          if (SUCCEEDED(hr)) hr = AsDispatch(made.get(), ppDisp);
          break;
        }
        case CreateAttempt::CompositeName:
          hr = CreateFromCompositeDefinition(*text.get(), 0, ppDisp);
          // Most plain names name no definition at all: the reader's record would
          // stand in for the class name's failure. A definition that was read but
          // does not build keeps its loader message.
          if (hr == MessageHResult(10139)) SetErrorInfo(0, nullptr);
          break;
        case CreateAttempt::ShortName:
          hr = CreateByShortName(name, ppDisp);
          break;
        case CreateAttempt::OwnModule: {
          Bstr path(OwnModulePath().c_str());
          Bstr clsid(name.c_str());
          ComPtr<IUnknown> made;
          hr = CreateObjectFromDLL(path.get(), clsid.get(), made.put());
          if (SUCCEEDED(hr)) hr = AsDispatch(made.get(), ppDisp);
          break;
        }
      }
      if (SUCCEEDED(hr) && *ppDisp) return S_OK;
      if (*ppDisp) {
        (*ppDisp)->Release();
        *ppDisp = nullptr;
      }
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return REGDB_E_CLASSNOTREG;
}

STDMETHODIMP VessaCreator::CreateObjectFromDLL(BSTR bstrDLL, BSTR bstrID, IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  // Not freed automatically: a class made from the DLL keeps it loaded.
  HINSTANCE dll = CoLoadLibrary(const_cast<LPOLESTR>(bstrDLL ? bstrDLL : L""), FALSE);
  if (!dll) return ReportError(CLSID_VessaCreator, 10151);
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObject>(GetProcAddress(dll, "DllGetClassObject"));
  if (!getClassObject) return ReportError(CLSID_VessaCreator, 10152);
  // Only the braced form: the platform's conversion would take a ProgID too.
  CLSID clsid;
  if (!IsBracedClsid(bstrID) || FAILED(CLSIDFromString(bstrID, &clsid))) return ReportError(CLSID_VessaCreator, 10116);
  ComPtr<IClassFactory> factory;
  if (FAILED(getClassObject(clsid, IID_IClassFactory, factory.put_void())) || !factory)
    return ReportError(CLSID_VessaCreator, 10154);
  return factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(ppUnk));
}

}  // namespace orv
