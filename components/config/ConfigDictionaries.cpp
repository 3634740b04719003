// Conversion between configuration trees and section/record dictionaries.
//
// Reading builds the dictionaries directly (the presets, then appends without the Add
// checks, which these presets would pass anyway: an empty name is stored unnamed).
// Writing goes through IVarDictionary only, so dictionaries from any apartment work.
#include "components/config/ConfigDictionaries.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "components/config/VarDictionary.h"
#include "components/module/ErrorReport.h"
#include "components/module/Raii.h"
#include "components/module/ResultMacros.h"

namespace orv {

namespace cfg = orvanta::config;

namespace {

// Default values are followed at most this many times before an object counts as
// yielding no value (a dictionary may well hold itself in Root).
constexpr int kMaxDefaultHops = 8;

std::u16string_view U16(const wchar_t* s, size_t n) { return {reinterpret_cast<const char16_t*>(s), n}; }

// A name as a dictionary key: the empty name is stored unnamed.
HRESULT KeyOf(std::u16string_view name, Variant& key) noexcept {
  key.reset();
  if (name.empty()) return S_OK;
  BSTR b = SysAllocStringLen(reinterpret_cast<const wchar_t*>(name.data()), static_cast<UINT>(name.size()));
  RETURN_IF_NULL_ALLOC(b);
  V_VT(key.get()) = VT_BSTR;
  V_BSTR(key.get()) = b;
  return S_OK;
}

HRESULT ByteArray(const std::vector<std::uint8_t>& bytes, Variant& out) noexcept {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  RETURN_IF_NULL_ALLOC(sa);
  SafeArray owner(sa);
  if (!bytes.empty()) {
    SafeArrayDataLock lock(sa);
    RETURN_IF_FAILED(lock.status());
    std::memcpy(lock.data(), bytes.data(), bytes.size());
  }
  V_VT(out.get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(out.get()) = owner.release();
  return S_OK;
}

HRESULT Text(std::u16string_view text, Variant& out) noexcept {
  BSTR b = SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()), static_cast<UINT>(text.size()));
  RETURN_IF_NULL_ALLOC(b);
  V_VT(out.get()) = VT_BSTR;
  V_BSTR(out.get()) = b;
  return S_OK;
}

HRESULT NarrowText(const std::string& bytes, Variant& out) noexcept {
  if (bytes.empty()) return Text({}, out);
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n > 0 ? n : 0));
  RETURN_IF_NULL_ALLOC(b);
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), b, n);
  V_VT(out.get()) = VT_BSTR;
  V_BSTR(out.get()) = b;
  return S_OK;
}

// The VARIANT a tree value reads as; S_FALSE for an empty value (skipped).
HRESULT ToVariant(const cfg::Value& v, const ConfigValueOptions& o, Variant& out) noexcept {
  out.reset();
  VARIANT* p = out.get();
  switch (v.kind()) {
    case cfg::ValueKind::Binary: return ByteArray(*v.bytes(), out);
    case cfg::ValueKind::Int:
      V_VT(p) = VT_I4;
      V_I4(p) = v.intValue();
      return S_OK;
    case cfg::ValueKind::UInt:
      if (o.preserveUnsignedInt) {
        V_VT(p) = VT_UI4;
        V_UI4(p) = v.uintValue();
      } else {
        V_VT(p) = VT_I4;
        V_I4(p) = static_cast<LONG>(v.uintValue());
      }
      return S_OK;
    case cfg::ValueKind::Float:
      V_VT(p) = VT_R4;
      V_R4(p) = v.floatValue();
      return S_OK;
    case cfg::ValueKind::Double:
      V_VT(p) = VT_R8;
      V_R8(p) = v.doubleValue();
      return S_OK;
    case cfg::ValueKind::Int64:
      V_VT(p) = VT_CY;
      V_CY(p).int64 = v.int64Value();
      return S_OK;
    case cfg::ValueKind::String:
    case cfg::ValueKind::WideString: return Text(*v.text(), out);
    case cfg::ValueKind::NarrowString: return NarrowText(*v.narrowText(), out);
    case cfg::ValueKind::Empty: break;
  }
  return S_FALSE;
}

HRESULT AppendObject(VarDictionary* to, std::u16string_view name, IVarDictionary* item) noexcept {
  Variant key, value;
  RETURN_IF_FAILED(KeyOf(name, key));
  V_VT(value.get()) = VT_DISPATCH;
  V_DISPATCH(value.get()) = item;
  item->AddRef();
  return to->AppendRaw(std::move(key), std::move(value));
}

HRESULT FillRecord(const cfg::Record& record, VarDictionary* dict, const ConfigValueOptions& o) noexcept {
  for (const cfg::Value& v : record.values()) {
    Variant item;
    const HRESULT hr = ToVariant(v, o, item);
    RETURN_IF_FAILED(hr);
    if (hr == S_FALSE) continue;
    Variant key;
    if (v.hasName()) RETURN_IF_FAILED(KeyOf(v.name(), key));
    RETURN_IF_FAILED(dict->AppendRaw(std::move(key), std::move(item)));
  }
  return S_OK;
}

HRESULT FillSection(const cfg::Section& section, VarDictionary* dict, const ConfigValueOptions& o, int depth) noexcept {
  if (depth > kMaxConfigDepth) return E_FAIL;
  for (size_t i = 1; i <= section.childCount(); ++i) {
    const cfg::Node* node = section.child(i);
    ComPtr<IVarDictionary> child;
    if (const cfg::Section* s = node->asSection()) {
      // A numeric id has no place in a dictionary.
      std::wstring cls(reinterpret_cast<const wchar_t*>(s->className().data()), s->className().size());
      RETURN_IF_FAILED(CreateSectionDictionary(cls.c_str(), child.put()));
      Variant root;
      RETURN_IF_FAILED(Text(s->name(), root));
      RETURN_IF_FAILED(child->put_Root(*root.get()));
      RETURN_IF_FAILED(FillSection(*s, static_cast<VarDictionary*>(child.get()), o, depth + 1));
    } else {
      RETURN_IF_FAILED(CreateRecordDictionary(child.put()));
      RETURN_IF_FAILED(FillRecord(*node->asRecord(), static_cast<VarDictionary*>(child.get()), o));
    }
    RETURN_IF_FAILED(AppendObject(dict, node->name(), child.get()));
  }
  return S_OK;
}

// ---- Dictionaries to tree ----

HRESULT Fail(const wchar_t* text) noexcept { return ReportError(CLSID_ConfigFile, text); }

enum class ItemKind { kSection, kRecord, kPlain, kUnsavable };

struct Classified {
  ItemKind kind = ItemKind::kUnsavable;
  ComPtr<IVarDictionary> dict;
  Bstr className;
  Variant value;  // plain values
};

// Node info of a dictionary: S_OK with isSection and the class name, S_FALSE without.
HRESULT NodeInfoOf(IVarDictionary* dict, bool& isSection, Bstr& className) noexcept {
  Variant info;
  if (FAILED(dict->get_Info(info.put()))) return S_FALSE;
  if ((info.vt() != VT_DISPATCH && info.vt() != VT_UNKNOWN) || !V_UNKNOWN(info.get())) return S_FALSE;
  ComPtr<IInternalNodeInfo> node;
  if (FAILED(V_UNKNOWN(info.get())->QueryInterface(__uuidof(IInternalNodeInfo), node.put_void()))) return S_FALSE;
  LONG type = 0;
  if (FAILED(node->get_Type(&type))) return S_FALSE;
  isSection = type != 0;
  if (isSection && FAILED(node->get_Class(className.put()))) className.reset();
  return S_OK;
}

HRESULT DefaultValue(IUnknown* object, Variant& out) noexcept {
  ComPtr<IDispatch> disp;
  RETURN_IF_FAILED(object->QueryInterface(IID_IDispatch, disp.put_void()));
  DISPPARAMS none = {};
  return disp->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out.put(), nullptr,
                      nullptr);
}

void Classify(const VARIANT* item, Classified& out) noexcept {
  out.kind = ItemKind::kUnsavable;
  Variant v;
  if (FAILED(v.copy_from(item))) return;
  for (int hop = 0; hop <= kMaxDefaultHops; ++hop) {
    const VARTYPE vt = v.vt();
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
      IUnknown* object = V_UNKNOWN(v.get());
      if (!object) return;
      ComPtr<IVarDictionary> dict;
      bool isSection = false;
      if (SUCCEEDED(object->QueryInterface(__uuidof(IVarDictionary), dict.put_void())) &&
          NodeInfoOf(dict.get(), isSection, out.className) == S_OK) {
        out.kind = isSection ? ItemKind::kSection : ItemKind::kRecord;
        out.dict = std::move(dict);
        return;
      }
      Variant next;
      if (FAILED(DefaultValue(object, next))) return;
      v = std::move(next);
      continue;
    }
    if ((vt & VT_ARRAY) && (vt & VT_TYPEMASK) != VT_UI1) return;
    out.kind = ItemKind::kPlain;
    out.value = std::move(v);
    return;
  }
}

enum class Convert { kValue, kNothing, kUnsavableType };

// A plain VARIANT as a tree value.
Convert ToValue(const VARIANT* v, const ConfigValueOptions& o, cfg::Value& out) {
  switch (V_VT(v)) {
    case VT_EMPTY:
    case VT_NULL: return Convert::kNothing;
    case VT_I2: out = cfg::Value::ofInt(V_I2(v)); return Convert::kValue;
    case VT_I4: out = cfg::Value::ofInt(V_I4(v)); return Convert::kValue;
    case VT_BOOL: out = cfg::Value::ofInt(V_BOOL(v)); return Convert::kValue;
    case VT_I1: out = cfg::Value::ofInt(V_I1(v)); return Convert::kValue;
    case VT_INT: out = cfg::Value::ofInt(V_INT(v)); return Convert::kValue;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT: {
      const std::uint32_t u = V_VT(v) == VT_UI1 ? V_UI1(v) : V_VT(v) == VT_UI2 ? V_UI2(v) : V_VT(v) == VT_UI4 ? V_UI4(v) : V_UINT(v);
      out = o.preserveUnsignedInt ? cfg::Value::ofUInt(u) : cfg::Value::ofInt(static_cast<std::int32_t>(u));
      return Convert::kValue;
    }
    case VT_R4: out = cfg::Value::ofFloat(V_R4(v)); return Convert::kValue;
    case VT_R8: out = cfg::Value::ofDouble(V_R8(v)); return Convert::kValue;
    case VT_CY: out = cfg::Value::ofInt64(V_CY(v).int64); return Convert::kValue;
    case VT_BSTR: {
      std::u16string text(U16(V_BSTR(v) ? V_BSTR(v) : L"", SysStringLen(V_BSTR(v))));
      out = o.preserveStringsWide ? cfg::Value::ofWideString(std::move(text)) : cfg::Value::ofString(std::move(text));
      return Convert::kValue;
    }
    case VT_ARRAY | VT_UI1: {
      SAFEARRAY* sa = V_ARRAY(v);
      if (!sa || SafeArrayGetDim(sa) != 1) return Convert::kUnsavableType;
      LONG lower = 0, upper = -1;
      if (FAILED(SafeArrayGetLBound(sa, 1, &lower)) || FAILED(SafeArrayGetUBound(sa, 1, &upper)))
        return Convert::kUnsavableType;
      if (upper < lower) return Convert::kNothing;  // an empty array writes nothing
      SafeArrayDataLock lock(sa);
      if (FAILED(lock.status())) return Convert::kUnsavableType;
      const auto* data = static_cast<const std::uint8_t*>(lock.data());
      out = cfg::Value::ofBinary(std::vector<std::uint8_t>(data, data + (static_cast<size_t>(upper) - lower + 1)));
      return Convert::kValue;
    }
    default: return Convert::kUnsavableType;
  }
}

class TreeWriter {
 public:
  explicit TreeWriter(const ConfigValueOptions& o) : options_(o) {}

  HRESULT Section(IVarDictionary* dict, cfg::Section& section) {
    if (path_.size() >= static_cast<size_t>(kMaxConfigDepth)) return Fail(L"Unsavable item found (see ConfigFile documentation for details)");
    // A dictionary that holds itself (at any depth) has no tree form.
    ComPtr<IUnknown> identity;
    RETURN_IF_FAILED(dict->QueryInterface(IID_IUnknown, identity.put_void()));
    for (IUnknown* open : path_)
      if (open == identity.get()) return Fail(L"Unsavable item found (see ConfigFile documentation for details)");
    path_.push_back(identity.get());
    const HRESULT hr = Children(dict, section);
    path_.pop_back();
    return hr;
  }

 private:
  HRESULT Children(IVarDictionary* dict, cfg::Section& section) {
    LONG count = 0;
    RETURN_IF_FAILED(dict->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
      Variant item;
      std::u16string name;
      if (FAILED(ItemAt(dict, i, item, name))) return Fail(L"Unsavable item found (see ConfigFile documentation for details)");
      Classified c;
      Classify(item.get(), c);
      switch (c.kind) {
        case ItemKind::kSection: {
          cfg::Section* child = nullptr;
          try {
            child = &section.appendSection(name);
            child->setClassName(std::u16string(U16(c.className.c_str(), c.className.length())));
          } catch (...) {
            return Fail(L"Error occured while saving a section");
          }
          RETURN_IF_FAILED(Section(c.dict.get(), *child));
          break;
        }
        case ItemKind::kRecord: {
          cfg::Record* record = nullptr;
          try {
            record = section.getOrCreateRecord(name);
          } catch (...) {
          }
          if (!record) return Fail(L"Error occured while saving a record");
          RETURN_IF_FAILED(RecordItems(c.dict.get(), *record));
          break;
        }
        case ItemKind::kPlain: {
          cfg::Value value;
          const Convert got = ToValue(c.value.get(), options_, value);
          if (got == Convert::kUnsavableType) return Fail(L"Cannot save a value (probably unsavable type)");
          cfg::Record* record = nullptr;
          try {
            record = section.getOrCreateRecord(name);
            if (record && got == Convert::kValue) record->append(std::move(value));
          } catch (...) {
            record = nullptr;
          }
          if (!record) return Fail(L"Fatal error saving a value");
          break;
        }
        case ItemKind::kUnsavable: return Fail(L"Unsavable item found (see ConfigFile documentation for details)");
      }
    }
    return S_OK;
  }

  HRESULT RecordItems(IVarDictionary* dict, cfg::Record& record) {
    LONG count = 0;
    RETURN_IF_FAILED(dict->get_Count(&count));
    for (LONG i = 1; i <= count; ++i) {
      Variant item;
      std::u16string name;
      bool named = false;
      if (FAILED(ItemAt(dict, i, item, name, &named))) return Fail(L"Collection contains unsavable value");
      Classified c;
      Classify(item.get(), c);
      if (c.kind == ItemKind::kSection || c.kind == ItemKind::kRecord)
        return Fail(L"Record cannot contain sections or records");
      if (c.kind == ItemKind::kUnsavable) return Fail(L"Collection contains unsavable value");
      cfg::Value value;
      const Convert got = ToValue(c.value.get(), options_, value);
      if (got == Convert::kUnsavableType)
        return Fail(L"Cannot save values (caused by unsavable value type or collection change during the save process)");
      if (got == Convert::kNothing) continue;
      if (named) value.setName(name);
      try {
        record.append(std::move(value));
      } catch (...) {
        return E_OUTOFMEMORY;
      }
    }
    return S_OK;
  }

  // Item(i) and its name: Key(i) when that is a string.
  static HRESULT ItemAt(IVarDictionary* dict, LONG i, Variant& item, std::u16string& name, bool* named = nullptr) {
    Variant index;
    V_VT(index.get()) = VT_I4;
    V_I4(index.get()) = i;
    RETURN_IF_FAILED(dict->get_Item(*index.get(), item.put()));
    Variant key;
    name.clear();
    if (named) *named = false;
    if (SUCCEEDED(dict->get_Key(*index.get(), key.put())) && key.vt() == VT_BSTR) {
      name.assign(U16(V_BSTR(key.get()) ? V_BSTR(key.get()) : L"", SysStringLen(V_BSTR(key.get()))));
      if (named) *named = true;
    }
    return S_OK;
  }

  ConfigValueOptions options_;
  std::vector<IUnknown*> path_;  // the dictionaries being converted, outermost first
};

}  // namespace

HRESULT TreeToDictionary(const cfg::Section& section, IVarDictionary* dict, const ConfigValueOptions& options) noexcept {
  if (!dict) return E_POINTER;
  try {
    return FillSection(section, static_cast<VarDictionary*>(dict), options, 0);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT DictionaryToTree(IVarDictionary* dict, cfg::Section& section, const ConfigValueOptions& options) noexcept {
  bool isSection = false;
  Bstr className;
  if (!dict || NodeInfoOf(dict, isSection, className) != S_OK || !isSection)
    return Fail(L"Object is not a section. Only sections can be saved directly.");
  try {
    TreeWriter writer(options);
    return writer.Section(dict, section);
  } catch (...) {
    return ReportError(CLSID_ConfigFile, L"Error occured while saving a section", GUID_NULL, E_OUTOFMEMORY);
  }
}

}  // namespace orv
