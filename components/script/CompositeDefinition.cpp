// Reading composite definitions and loading them into composites.
#include "components/script/CompositeDefinition.h"

#include <utility>
#include <vector>

#include "common/BinaryConfig.h"
#include "common/ConfigLoader.h"
#include "common/TextConfig.h"
#include "components/config/RegistryConfig.h"
#include "components/config/StreamConfig.h"
#include "components/module/ErrorReport.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"
#include "components/module/VessaCreator.h"
#include "components/script/VaryDispImp.h"

namespace orv {
namespace cfg = orvanta::config;

namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// The whole file, opened for reading with shared read; false when it cannot be read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                         got != bytes.size()))
    return false;
  return true;
}

std::unique_ptr<cfg::Section> LoadBinaryFile(const std::string& bytes) {
  auto tree = std::make_unique<cfg::Section>();
  return cfg::loadBinary(bytes, *tree, AnsiCodec()) ? std::move(tree) : nullptr;
}

std::unique_ptr<cfg::Section> LoadTextFile(const std::string& bytes) {
  auto tree = std::make_unique<cfg::Section>();
  cfg::loadText(bytes, *tree);
  return tree;
}

std::unique_ptr<cfg::Section> ReadRegistryDefinition(LONG root, const std::wstring& path) {
  UniqueRegKey key;
  if (RegOpenKeyExW(RegistryBranch(root), path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return nullptr;
  auto tree = std::make_unique<cfg::Section>();
  RegistryConfigDriver driver(key.get());
  return cfg::loadSection(driver, *tree) ? std::move(tree) : nullptr;
}

HRESULT ReadStreamDefinition(IUnknown* object, std::unique_ptr<cfg::Section>& tree) {
  ComPtr<IStream> raw;
  if (!object || FAILED(RawStreamOf(object, raw))) return MessageHResult(10128);
  auto loaded = std::make_unique<cfg::Section>();
  StreamSource source(raw.get());
  cfg::BinaryConfigDriver driver(source, AnsiCodec());
  if (!cfg::loadSectionFrom(driver, *loaded)) return E_FAIL;
  source.giveBack(driver.unreadBytes());
  tree = std::move(loaded);
  return S_OK;
}

int IntSetting(const cfg::Section& section, std::u16string_view name, int fallback) noexcept {
  const cfg::Value* v = section.record(name).firstOfKind(cfg::ValueKind::Int);
  return v ? v->intValue() : fallback;
}

std::wstring TextSetting(const cfg::Section& section, std::u16string_view name, std::wstring_view fallback = {}) {
  const std::u16string* text = StringSetting(section, name);
  return text ? Wide(*text) : std::wstring(fallback);
}

bool TypeIs(const std::wstring& type, const wchar_t* wanted) noexcept { return lstrcmpiW(type.c_str(), wanted) == 0; }

// Ends a component's load with its message.
HRESULT Fail(std::wstring& message, std::wstring text) {
  message = std::move(text);
  return E_FAIL;
}

// What the definition says about script texts.
struct ScriptOptions {
  std::wstring defaultLanguage = L"VBScript";
  bool unicode = false;
  UINT codePage = 0;
  std::wstring definitionPath;
};

Bstr FileScript(const ScriptOptions& options, std::wstring_view name) {
  std::string bytes;
  if (!ReadWholeFile(ResolveScriptPath(name, options.definitionPath), bytes)) return Bstr();
  const std::wstring text = DecodeScriptText(bytes, options.unicode, options.codePage);
  return Bstr(text.c_str(), static_cast<UINT>(text.size()));
}

// An inline script: the value's stored bytes, converted like file text.
Bstr InlineScript(const ScriptOptions& options, const cfg::Value& value) {
  std::wstring text;
  if (const auto* bytes = value.bytes())
    text = DecodeScriptText(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                            options.unicode, options.codePage);
  else if (const auto* wide = value.text())
    text = Wide(*wide);
  else if (const auto* narrow = value.narrowText())
    text = DecodeScriptText(*narrow, false, options.codePage);
  return Bstr(text.c_str(), static_cast<UINT>(text.size()));
}

bool InlineScriptEmpty(const cfg::Value& value) noexcept {
  if (value.isEmpty()) return true;
  if (const auto* bytes = value.bytes()) return bytes->empty();
  if (const auto* wide = value.text()) return wide->empty();
  if (const auto* narrow = value.narrowText()) return narrow->empty();
  return true;
}

std::wstring LastErrorText(IScpMan* manager) {
  Bstr text;
  manager->get_lastError(text.put());
  return text.c_str();
}

std::wstring LastErrorText(IScpAggregate* aggregate) {
  Bstr text;
  aggregate->get_lastError(text.put());
  return text.c_str();
}

HRESULT LoadScriptComponent(const cfg::Section& spec, const std::wstring& name, const ScriptOptions& options,
                            ComPtr<IUnknown>& object, std::wstring& message) {
  ComPtr<IScpMan> manager;
  if (FAILED(CreateLibraryClass(CLSID_ScpMan, __uuidof(IScpMan), manager.put_void()))) return E_FAIL;
  const std::wstring language = TextSetting(spec, u"Language", options.defaultLanguage);
  Bstr languageText(language.c_str());
  Variant ok;
  if (manager->LoadEngine(languageText.get(), ok.put()) != S_OK)
    return Fail(message, L"Cannot create the script component " + name + L": " + language +
                             L" language cannot be loaded");
  for (const cfg::Value& file : spec.record(u"File").values()) {
    const std::u16string* fileName = file.text();
    if (!fileName || fileName->empty()) continue;
    Bstr text = FileScript(options, Wide(*fileName));
    if (manager->AddText(text.get(), ok.put()) != S_OK)
      return Fail(message, L"Compile time error in " + name + L" in file: " + Wide(*fileName) + L" " +
                               LastErrorText(manager.get()));
  }
  int position = 0;
  for (const cfg::Value& script : spec.record(u"Script").values()) {
    if (InlineScriptEmpty(script)) continue;
    ++position;
    Bstr text = InlineScript(options, script);
    if (manager->AddText(text.get(), ok.put()) != S_OK)
      return Fail(message, L"Compile time error in " + name + L" in the script#: " + std::to_wstring(position) +
                               L" " + LastErrorText(manager.get()));
  }
  if (manager->Run(ok.put()) != S_OK)
    return Fail(message, L"Initialization error in " + name + L" " + LastErrorText(manager.get()));
  return manager.query(object);
}

// Adds one language of an aggregate and its text: a file name or an inline script.
HRESULT AddAggregateText(IScpAggregate* aggregate, const std::wstring& name, const std::wstring& language,
                         const Bstr& text, const std::wstring& where, std::wstring& message) {
  Bstr languageText(language.c_str());
  Variant ok;
  if (aggregate->AddEngine(languageText.get(), ok.put()) != S_OK)
    return Fail(message, L"Cannot load the specified script engine for the component " + name +
                             L" Failed language:" + language);
  if (aggregate->AddText(languageText.get(), text.get(), ok.put()) != S_OK)
    return Fail(message, L"Compile time error in " + name + where + L" " + LastErrorText(aggregate));
  return S_OK;
}

HRESULT LoadAggregateComponent(const cfg::Section& spec, const std::wstring& name, const ScriptOptions& options,
                               ComPtr<IUnknown>& object, std::wstring& message) {
  ComPtr<IScpAggregate> aggregate;
  if (FAILED(CreateLibraryClass(CLSID_ScpAggregate, __uuidof(IScpAggregate), aggregate.put_void()))) return E_FAIL;
  const cfg::Section& files = spec.section(u"Files");
  for (size_t i = 1; i <= files.childCount(); ++i) {
    const cfg::Record* record = files.child(i)->asRecord();
    const std::u16string* fileName = record ? record->firstString() : nullptr;
    if (!fileName || fileName->empty()) continue;
    RETURN_IF_FAILED(AddAggregateText(aggregate.get(), name, Wide(record->name()), FileScript(options, Wide(*fileName)),
                                      L" in file: " + Wide(*fileName), message));
  }
  const cfg::Section& scripts = spec.section(u"Scripts");
  int position = 0;
  for (size_t i = 1; i <= scripts.childCount(); ++i) {
    const cfg::Record* record = scripts.child(i)->asRecord();
    if (!record || record->count() == 0 || InlineScriptEmpty(record->at(0))) continue;
    ++position;
    RETURN_IF_FAILED(AddAggregateText(aggregate.get(), name, Wide(record->name()),
                                      InlineScript(options, record->at(0)),
                                      L" in the script#: " + std::to_wstring(position), message));
  }
  Variant ok;
  if (aggregate->Run(0, ok.put()) != S_OK)
    return Fail(message, L"Initialization error in " + name + L" " + LastErrorText(aggregate.get()));
  return aggregate.query(object);
}

HRESULT CreateComComponent(const cfg::Section& spec, const std::wstring& name, ComPtr<IUnknown>& object,
                           std::wstring& message) {
  const std::wstring cls = TextSetting(spec, u"Class");
  CLSID clsid;
  if ((FAILED(CLSIDFromString(cls.c_str(), &clsid)) && FAILED(CLSIDFromProgID(cls.c_str(), &clsid))) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                              IID_IUnknown, object.put_void())))
    return Fail(message, L"Cannot create the component " + name + L": " + cls);
  return S_OK;
}

HRESULT AddMembers(IVaryDispImp* composite, const cfg::Section& spec, const std::wstring& name, LONG id,
                   std::wstring& message) {
  const cfg::Section& members = spec.section(u"MEMBERS");
  for (size_t i = 1; i <= members.childCount(); ++i) {
    const cfg::Section* member = members.child(i)->asSection();
    if (!member) continue;
    const std::wstring memberName = Wide(member->name());
    const int kinds = IntSetting(*member, u"Type", 0);
    Bstr bstrName(memberName.c_str());
    Bstr inner(TextSetting(*member, u"InternalName").c_str());
    VARIANT object, innerName;
    V_VT(&object) = VT_I4;
    V_I4(&object) = id;
    V_VT(&innerName) = VT_BSTR;
    V_BSTR(&innerName) = inner.get();
    LONG dispid = 0;
    if (FAILED(composite->AddMember(bstrName.get(), object, innerName,
                                    static_cast<SHORT>(kinds == 0 ? kMemberAll : kinds),
                                    IntSetting(*member, u"DISPID", -1), &dispid)))
      return Fail(message, L"Failed to add member " + memberName + L" of " + name + L" to the composite");
  }
  return S_OK;
}

HRESULT LoadComponent(IVaryDispImp* composite, const cfg::Section& spec, const ScriptOptions& options,
                      std::wstring& message) {
  const std::wstring name = Wide(spec.name());
  const std::wstring type = TextSetting(spec, u"Type");
  ComPtr<IUnknown> object;
  if (TypeIs(type, L"COM"))
    RETURN_IF_FAILED(CreateComComponent(spec, name, object, message));
  else if (TypeIs(type, L"SCRIPT"))
    RETURN_IF_FAILED(LoadScriptComponent(spec, name, options, object, message));
  else if (TypeIs(type, L"SCRIPTAGGREGATE"))
    RETURN_IF_FAILED(LoadAggregateComponent(spec, name, options, object, message));
  else
    return S_OK;  // a kind this loader does not build is passed over
  Bstr bstrName(name.c_str());
  LONG id = 0;
  const SHORT flags = IntSetting(spec, u"Connect", 0) != 0 ? kConnectToContext : 0;
  if (FAILED(composite->AddObject(bstrName.get(), object.get(), flags, &id)))
    return Fail(message, L"Failed to add the object " + name + L" to the composite");
  return AddMembers(composite, spec, name, id, message);
}

}  // namespace

const std::u16string* StringSetting(const cfg::Section& section, std::u16string_view name) noexcept {
  const cfg::Record& record = section.record(name);
  const cfg::Value* v = record.firstOfKind(cfg::ValueKind::String);
  if (!v) v = record.firstOfKind(cfg::ValueKind::WideString);
  return v ? v->text() : nullptr;
}

std::wstring DecodeScriptText(std::string_view bytes, bool unicode, UINT codePage) {
  std::wstring text;
  const bool utf16Mark = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                         static_cast<unsigned char>(bytes[1]) == 0xFE;
  if (unicode || utf16Mark) {
    if (utf16Mark) bytes.remove_prefix(2);
    text.resize(bytes.size() / 2);
    if (!text.empty()) memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  } else {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      bytes.remove_prefix(3);
      codePage = CP_UTF8;
    }
    if (codePage == 0) codePage = CP_ACP;
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n > 0) {
      text.resize(static_cast<size_t>(n));
      MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    }
  }
  if (const size_t zero = text.find(L'\0'); zero != std::wstring::npos) text.resize(zero);
  return text;
}

std::wstring ResolveScriptPath(std::wstring_view name, std::wstring_view definitionPath) {
  if (name.find_first_of(L"/\\") != std::wstring_view::npos) return std::wstring(name);
  const size_t slash = definitionPath.find_last_of(L"/\\");
  std::wstring path(slash == std::wstring_view::npos ? std::wstring_view() : definitionPath.substr(0, slash + 1));
  return path.append(name);
}

std::unique_ptr<cfg::Section> ReadDefinitionFile(const std::wstring& path, LONG format) noexcept {
  try {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return nullptr;
    if (format == kDefinitionTextFile) return LoadTextFile(bytes);
    std::unique_ptr<cfg::Section> tree = LoadBinaryFile(bytes);
    if (tree || format == kDefinitionBinaryFile) return tree;
    return LoadTextFile(bytes);
  } catch (...) {
    return nullptr;
  }
}

HRESULT ReadDefinition(const VARIANT& vDef, LONG defType, std::unique_ptr<cfg::Section>& tree,
                       std::wstring& path) noexcept {
  try {
    Variant def;
    RETURN_IF_FAILED(def.copy_from(&vDef));
    const LONG source = defType & 0xFF;
    const bool isObject = def.vt() == VT_DISPATCH || def.vt() == VT_UNKNOWN;
    if (source == kDefinitionStream || (isObject && source != kDefinitionBinaryFile &&
                                        source != kDefinitionTextFile && source != kDefinitionRegistry)) {
      if (!isObject) return MessageHResult(10128);
      return ReadStreamDefinition(V_UNKNOWN(def.get()), tree);
    }
    if (def.vt() != VT_BSTR) return DISP_E_TYPEMISMATCH;
    const std::wstring text(V_BSTR(def.get()), SysStringLen(V_BSTR(def.get())));
    if (source == kDefinitionRegistry) {
      tree = ReadRegistryDefinition((defType >> 8) & 0xFF, text);
      return tree ? S_OK : E_FAIL;
    }
    tree = ReadDefinitionFile(text, source == kDefinitionBinaryFile || source == kDefinitionTextFile ? source : 0);
    if (!tree) return E_FAIL;
    path = text;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT LoadCompositeDefinition(IVaryDispImp* composite, const cfg::Section& tree,
                                const std::wstring& definitionPath, std::wstring& message) noexcept {
  try {
    message.clear();
    const cfg::Section& options = tree.section(u"OPTIONS");
    if (const std::u16string* contextName = StringSetting(options, u"ContextName")) {
      Bstr name(Wide(*contextName).c_str());
      if (const HRESULT hr = composite->SetContextName(name.get()); FAILED(hr)) {
        message = L"Composite object returned error while trying to set the context name";
        return hr;
      }
    }
    ScriptOptions scripts;
    scripts.defaultLanguage = TextSetting(options, u"DefaultScriptLanguage", L"VBScript");
    scripts.unicode = IntSetting(options, u"UnicodeScripts", 0) != 0;
    scripts.codePage = static_cast<UINT>(IntSetting(options, u"ScriptsCodePage", 0));
    scripts.definitionPath = definitionPath;

    const size_t at = tree.find(u"COMPONENTS");
    const cfg::Section* components = at ? tree.child(at)->asSection() : nullptr;
    if (!components) {
      message = L"No COMPONENTS section.";
      return E_FAIL;
    }
    for (size_t i = 1; i <= components->childCount(); ++i) {
      const cfg::Section* spec = components->child(i)->asSection();
      if (spec) RETURN_IF_FAILED(LoadComponent(composite, *spec, scripts, message));
    }
    return S_OK;
  } catch (...) {
    message = L"Fatal error";
    return E_OUTOFMEMORY;
  }
}

}  // namespace orv
