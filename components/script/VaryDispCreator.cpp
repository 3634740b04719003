// Composites from definitions, the registration of definition files as classes, and the
// class factory of such a class.
#include "components/script/VaryDispCreator.h"

#include <algorithm>
#include <string>
#include <utility>

#include "components/module/ErrorReport.h"
#include "components/module/Module.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"
#include "components/script/CompositeDefinition.h"
#include "components/script/VaryDisp.h"
#include "components/script/VaryDispImp.h"

namespace orv {
namespace cfg = orvanta::config;

namespace {

HRESULT Fail(UINT id) noexcept { return ReportError(CLSID_VaryDispCreator, id); }
HRESULT Fail(const std::wstring& text) noexcept { return ReportError(CLSID_VaryDispCreator, text.c_str()); }

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// Reads a definition for the creator's members, reporting what went wrong.
HRESULT ReadReported(const VARIANT& vDef, LONG lDefType, std::unique_ptr<cfg::Section>& tree,
                     std::wstring& path) noexcept {
  const HRESULT hr = ReadDefinition(vDef, lDefType, tree, path);
  if (SUCCEEDED(hr) || hr == DISP_E_TYPEMISMATCH || hr == E_OUTOFMEMORY) return hr;
  return Fail(hr == MessageHResult(10128) ? 10128u : 10139u);
}

// A new composite with the definition loaded; the loader's message is reported.
HRESULT LoadReported(IVaryDispImp* composite, const cfg::Section& tree, const std::wstring& path) noexcept {
  std::wstring message;
  const HRESULT hr = LoadCompositeDefinition(composite, tree, path, message);
  if (SUCCEEDED(hr)) return hr;
  return message.empty() ? hr : Fail(message);
}

// Where the class entries of a registration live.
struct ClassRoot {
  HKEY key;
  std::wstring prefix;
};
ClassRoot RootFor(LONG bCtl) {
  return bCtl ? ClassRoot{HKEY_CURRENT_USER, L"SOFTWARE\\Classes\\"} : ClassRoot{HKEY_CLASSES_ROOT, L""};
}

// The "CLASS" section of a definition, with its defaults.
struct ClassSettings {
  std::wstring progId, verProgId, classId, className, threading;
};

bool ReadClassSettings(const cfg::Section& tree, ClassSettings& out) {
  const cfg::Section& cls = tree.section(u"CLASS");
  const std::u16string* progId = StringSetting(cls, u"ProgID");
  const std::u16string* classId = StringSetting(cls, u"ClassID");
  CLSID parsed;
  if (!progId || progId->empty() || !classId || FAILED(CLSIDFromString(Wide(*classId).c_str(), &parsed)) ||
      classId->front() != u'{')
    return false;
  out.progId = Wide(*progId);
  out.classId = Wide(*classId);
  const std::u16string* ver = StringSetting(cls, u"VerProgID");
  out.verProgId = ver ? Wide(*ver) : out.progId + L".1";
  const std::u16string* name = StringSetting(cls, u"ClassName");
  out.className = name ? Wide(*name) : L"Class " + out.progId;
  const std::u16string* threading = StringSetting(cls, u"Threading");
  out.threading = threading ? Wide(*threading) : L"Apartment";
  return true;
}

bool ThreadingSupported(const std::wstring& model) noexcept {
  for (const wchar_t* known : {L"Apartment", L"Both", L"Free"})
    if (lstrcmpiW(model.c_str(), known) == 0) return true;
  return false;
}

// Creates (or opens) a key and sets its default value or a named one; false on failure.
bool WriteKey(const ClassRoot& root, const std::wstring& path, const wchar_t* valueName, const std::wstring* text) {
  UniqueRegKey key;
  if (RegCreateKeyExW(root.key, (root.prefix + path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  if (!text) return true;
  return RegSetValueExW(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                        static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool WriteClassEntries(const ClassRoot& root, const ClassSettings& s, const std::wstring& definitionPath) {
  const std::wstring clsidKey = L"CLSID\\" + s.classId;
  const std::wstring server = clsidKey + L"\\InprocServer32";
  const std::wstring module = ModulePath();
  return WriteKey(root, clsidKey, nullptr, &s.className) && WriteKey(root, server, nullptr, &module) &&
         WriteKey(root, server, L"ThreadingModel", &s.threading) &&
         WriteKey(root, server, L"CompositeDefinitionFile", &definitionPath) &&
         WriteKey(root, clsidKey + L"\\ProgID", nullptr, &s.verProgId) &&
         WriteKey(root, clsidKey + L"\\VersionIndependentProgID", nullptr, &s.progId) &&
         WriteKey(root, clsidKey + L"\\Programmable", nullptr, nullptr) &&
         WriteKey(root, s.verProgId, nullptr, &s.className) &&
         WriteKey(root, s.verProgId + L"\\CLSID", nullptr, &s.classId) &&
         WriteKey(root, s.progId, nullptr, &s.className) &&
         WriteKey(root, s.progId + L"\\CLSID", nullptr, &s.classId) &&
         WriteKey(root, s.progId + L"\\CurVer", nullptr, &s.verProgId);
}

// Whether a ProgID key names the class (a ProgID another class has taken since is left).
bool ProgIdNamesClass(const ClassRoot& root, const std::wstring& progId, const std::wstring& classId) {
  wchar_t value[64] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(root.key, (root.prefix + progId + L"\\CLSID").c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS)
    return true;  // no CLSID subkey: nothing says it belongs to another class
  return lstrcmpiW(value, classId.c_str()) == 0;
}

// Deletes a key with its subkeys; false when it cannot be opened or deleted.
bool DeleteClassKey(const ClassRoot& root, const std::wstring& path) {
  const std::wstring full = root.prefix + path;
  UniqueRegKey key;
  if (RegOpenKeyExW(root.key, full.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  key.reset();
  return RegDeleteTreeW(root.key, full.c_str()) == ERROR_SUCCESS;
}

// The checks both registration members make before reading the definition.
HRESULT CheckRegistrationSource(const VARIANT& vDef, LONG lDefType, std::wstring& path) noexcept {
  Variant def;
  if (FAILED(def.copy_from(&vDef)) || def.vt() != VT_BSTR) return Fail(10140u);
  path.assign(V_BSTR(def.get()), SysStringLen(V_BSTR(def.get())));
  // A full path is one that its full-path form only restates; "/" counts as "\\" (what
  // the hosts hand scripts as their own folder may use either), and the registry gets
  // the full-path form.
  std::wstring given = path;
  std::replace(given.begin(), given.end(), L'/', L'\\');
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(given.c_str(), MAX_PATH * 2, full, nullptr);
  if (path.empty() || n == 0 || n >= MAX_PATH * 2 || lstrcmpiW(full, given.c_str()) != 0) return Fail(10140u);
  path = full;
  const LONG source = lDefType & 0xFF;
  if (source != kDefinitionAnyFile && source != kDefinitionBinaryFile && source != kDefinitionTextFile)
    return Fail(10141u);
  return S_OK;
}

// The definition file of a registration, read after the checks both registration
// members make.
HRESULT ReadRegistrationDefinition(const VARIANT& vDef, LONG lDefType, std::wstring& path,
                                   std::unique_ptr<cfg::Section>& tree) noexcept {
  RETURN_IF_FAILED(CheckRegistrationSource(vDef, lDefType, path));
  tree = ReadDefinitionFile(path, lDefType & 0xFF);
  return tree ? S_OK : Fail(10139u);
}

// Serves one registered definition file; the file is read afresh for every instance.
class CompositeClassFactory final : public ComObject<CompositeClassFactory, IClassFactory> {
 public:
  void Init(CompositeRegistration reg) noexcept { reg_ = std::move(reg); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
    RETURN_POINTER_IF_NULL(ppv);
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    std::unique_ptr<cfg::Section> tree = ReadDefinitionFile(reg_.definitionFile, static_cast<LONG>(reg_.format));
    if (!tree) return Fail(10160u);
    ComPtr<IVaryDispImp> composite;
    RETURN_IF_FAILED(VaryDispImp::Create(nullptr, __uuidof(IVaryDispImp), composite.put_void()));
    RETURN_IF_FAILED(LoadReported(composite.get(), *tree, reg_.definitionFile));
    return composite->QueryInterface(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) noexcept override {
    if (lock)
      ModuleLock();
    else
      ModuleUnlock();
    return S_OK;
  }

 private:
  CompositeRegistration reg_;
};

}  // namespace

STDMETHODIMP VaryDispCreator::CreateObject(VARIANT vDef, LONG bCtl, LONG lDefType, IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  try {
    std::unique_ptr<cfg::Section> tree;
    std::wstring path;
    RETURN_IF_FAILED(ReadReported(vDef, lDefType, tree, path));
    ComPtr<IDispatch> result;
    ComPtr<IVaryDispImp> composite;
    if (bCtl) {
      ComPtr<IVaryDisp> builder;
      ComPtr<IDispatch> inner;
      if (FAILED(VaryDisp::Create(nullptr, __uuidof(IVaryDisp), builder.put_void())) ||
          FAILED(builder->get_theObject(inner.put())) || FAILED(inner.query(composite)) ||
          FAILED(builder.query(result)))
        return Fail(std::wstring(L"Fatal error"));
    } else if (FAILED(VaryDispImp::Create(nullptr, __uuidof(IVaryDispImp), composite.put_void())) ||
               FAILED(composite.query(result))) {
      return Fail(std::wstring(L"Fatal error"));
    }
    RETURN_IF_FAILED(LoadReported(composite.get(), *tree, path));
    *ppDisp = result.release();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP VaryDispCreator::RegisterClass(VARIANT vDef, LONG bCtl, LONG lDefType) noexcept {
  try {
    std::wstring path;
    std::unique_ptr<cfg::Section> tree;
    RETURN_IF_FAILED(ReadRegistrationDefinition(vDef, lDefType, path, tree));
    // A definition that cannot build its composite is not registered: it would fail at
    // every creation. The trial composite is released right away.
    ComPtr<IVaryDispImp> trial;
    RETURN_IF_FAILED(VaryDispImp::Create(nullptr, __uuidof(IVaryDispImp), trial.put_void()));
    RETURN_IF_FAILED(LoadReported(trial.get(), *tree, path));
    trial.reset();
    ClassSettings settings;
    if (!ReadClassSettings(*tree, settings)) return Fail(10161u);
    if (!ThreadingSupported(settings.threading)) return Fail(10162u);
    if (!WriteClassEntries(RootFor(bCtl), settings, path)) return Fail(10163u);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP VaryDispCreator::UnRegisterClass(VARIANT vDef, LONG bCtl, LONG lDefType) noexcept {
  try {
    std::wstring path;
    std::unique_ptr<cfg::Section> tree;
    RETURN_IF_FAILED(ReadRegistrationDefinition(vDef, lDefType, path, tree));
    ClassSettings settings;
    if (!ReadClassSettings(*tree, settings))
      return Fail(std::wstring(L"Definition file does not contain ProgID and/or ClassID"));
    const ClassRoot root = RootFor(bCtl);
    if (!DeleteClassKey(root, L"CLSID\\" + settings.classId)) return Fail(10163u);
    for (const std::wstring* progId : {&settings.verProgId, &settings.progId})
      if (ProgIdNamesClass(root, *progId, settings.classId) && !DeleteClassKey(root, *progId)) return Fail(10163u);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ServeCompositeClass(const CompositeRegistration& reg, REFIID riid, void** ppv) noexcept {
  RETURN_POINTER_IF_NULL(ppv);
  *ppv = nullptr;
  CompositeClassFactory* factory = nullptr;
  RETURN_IF_FAILED(CompositeClassFactory::CreateObject(&factory));
  ComPtr<CompositeClassFactory> holder;
  holder.attach(factory);
  try {
    factory->Init(reg);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return factory->QueryInterface(riid, ppv);
}

}  // namespace orv
