// VarDictionary: the ordered dictionary of named values that every collection of the
// library is returned as, and the in-memory form of configuration sections and records.
// Other classes build dictionaries through the entry points below, never by ProgID.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

// The option word of a dictionary (its seven flag properties).
enum VarDictionaryOption : LONG {
  kFirstItemAsRoot = 0x01,
  kItemsAssignmentAllowed = 0x02,
  kEnumItems = 0x04,
  kAllowUnnamedValues = 0x08,
  kAllowDuplicateNames = 0x10,
  kExtractValues = 0x20,
  kReadOnly = 0x40,
};

// Option words of the configuration presets.
constexpr LONG kSectionOptions = kItemsAssignmentAllowed | kAllowUnnamedValues | kAllowDuplicateNames;
constexpr LONG kRecordOptions =
    kFirstItemAsRoot | kItemsAssignmentAllowed | kAllowUnnamedValues | kAllowDuplicateNames | kExtractValues;

// Bits of the option factory's argument (a different layout from the option word).
enum VarDictionaryFactoryFlag : LONG {
  kFactoryAllowDuplicateNames = 0x01,
  kFactoryAllowUnnamedValues = 0x02,
  kFactoryEnumItems = 0x04,
  kFactoryItemsAssignmentAllowed = 0x08,
  kFactoryFirstItemAsRoot = 0x10,
  kFactoryExtractValues = 0x20,
};

// An empty plain dictionary, all options off.
HRESULT CreateVarDictionaryObject(IVarDictionary** out) noexcept;

// Option factory: an empty dictionary whose options come from `factoryFlags`
// (VarDictionaryFactoryFlag bits; other bits are ignored).
HRESULT CreateVarDictionaryWithOptions(LONG factoryFlags, IVarDictionary** out) noexcept;

// Section preset: an empty dictionary with kSectionOptions and, in Info, node info with
// Type 1 and Class `className` (null or empty: no class).
HRESULT CreateSectionDictionary(const wchar_t* className, IVarDictionary** out) noexcept;

// Record preset: an empty dictionary with kRecordOptions and, in Info, node info with
// Type 0 and no class.
HRESULT CreateRecordDictionary(IVarDictionary** out) noexcept;

// Node info as sections (isSection true) and records carry it in Info.
HRESULT CreateInternalNodeInfo(bool isSection, const wchar_t* className, IInternalNodeInfo** out) noexcept;

namespace vardict {

// One key/item pair. `pos` is the 0-based position; entries with the same name are
// chained in position order, so the head of a chain is the first match.
struct Entry {
  Variant key;
  Variant item;
  size_t pos = 0;
  Entry* nextSame = nullptr;
};

// Open-addressing hash table (linear probing, backward-shift deletion) from a case-folded
// name to the chain of entries carrying it. A slot keeps no text of its own: the chain's
// first entry holds the key, so a lookup touches the slot, that entry and its key only.
class NameIndex {
 public:
  static size_t Hash(std::wstring_view name) noexcept;
  // The first entry named `name`, or null.
  Entry* Find(std::wstring_view name) const noexcept;
  // Puts `entry` at the end of its name's chain; false (nothing changed) without memory.
  bool Append(Entry* entry, std::wstring_view name) noexcept;
  // Takes `entry` out of its name's chain.
  void Remove(Entry* entry, std::wstring_view name) noexcept;
  void Clear() noexcept;
  // Room for `names` distinct names without growing.
  bool Reserve(size_t names) noexcept;

 private:
  struct Slot {
    size_t hash;
    Entry* head;  // null: empty slot
    Entry* tail;
  };
  // The slot holding `name`, or the empty slot where it would go.
  size_t Locate(std::wstring_view name, size_t hash) const noexcept;
  bool Rehash(size_t capacity) noexcept;

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

}  // namespace vardict

class VarDictionary final
    : public ComObject<VarDictionary, Dual<IVarDictionary>, IDollyTheSheep, ErrorSupport<IVarDictionary>> {
 public:
  // Sets the option word of a new, empty dictionary.
  void InitOptions(LONG options) noexcept;
  // Appends without the Add rules (a refusal cannot happen); E_OUTOFMEMORY is the only
  // failure. Takes the key and item over.
  HRESULT AppendRaw(Variant&& key, Variant&& item) noexcept;

  // IVarDictionary, in interface order
  STDMETHODIMP get__NewEnum(IUnknown** ppUnk) noexcept override;
  STDMETHODIMP get_Item(VARIANT varIndex, VARIANT* pVal) noexcept override;
  STDMETHODIMP Add(VARIANT varKey, VARIANT varItem, LONG* plPlace) noexcept override;
  STDMETHODIMP get_Count(LONG* pVal) noexcept override;
  STDMETHODIMP get_Key(VARIANT varIndex, VARIANT* pVal) noexcept override;
  STDMETHODIMP Clear() noexcept override;
  STDMETHODIMP Remove(VARIANT varIndex, VARIANT* pvarResult) noexcept override;
  STDMETHODIMP get_Root(VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Root(VARIANT newVal) noexcept override;
  STDMETHODIMP get_Missing(VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Missing(VARIANT newVal) noexcept override;
  STDMETHODIMP put_Item(VARIANT varIndex, VARIANT newVal) noexcept override;
  STDMETHODIMP get_Info(VARIANT* pVal) noexcept override;
  STDMETHODIMP put_Info(VARIANT newVal) noexcept override;
  STDMETHODIMP get_firstItemAsRoot(LONG* pVal) noexcept override;
  STDMETHODIMP put_firstItemAsRoot(LONG newVal) noexcept override;
  STDMETHODIMP Set(VARIANT varKey, VARIANT varItem, LONG* plPlace) noexcept override;
  STDMETHODIMP get_itemsAssignmentAllowed(LONG* pVal) noexcept override;
  STDMETHODIMP put_itemsAssignmentAllowed(LONG newVal) noexcept override;
  STDMETHODIMP get_classVersion(LONG* pVal) noexcept override;
  STDMETHODIMP get_enumItems(LONG* pVal) noexcept override;
  STDMETHODIMP put_enumItems(LONG newVal) noexcept override;
  STDMETHODIMP get_allowUnnamedValues(LONG* pVal) noexcept override;
  STDMETHODIMP put_allowUnnamedValues(LONG newVal) noexcept override;
  STDMETHODIMP get_allowDuplicateNames(LONG* pVal) noexcept override;
  STDMETHODIMP put_allowDuplicateNames(LONG newVal) noexcept override;
  STDMETHODIMP Clone(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateNew(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP FindByName(BSTR bstrName, LONG lFirst, LONG lMax, LONG lDepth, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP FindByValue(BSTR bstrName, BSTR bstrValue, LONG lFirst, LONG lMax, LONG lDepth,
                           IDispatch** ppDisp) noexcept override;
  STDMETHODIMP ClearEx(LONG lHow, VARIANT varParam) noexcept override;
  STDMETHODIMP FindByInfo(BSTR bstrName, LONG lFirst, LONG lMax, LONG lDepth, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_extractValues(LONG* pVal) noexcept override;
  STDMETHODIMP put_extractValues(LONG newVal) noexcept override;
  STDMETHODIMP get_readOnly(LONG* pVal) noexcept override;
  STDMETHODIMP put_readOnly(LONG newVal) noexcept override;

  // IDollyTheSheep
  STDMETHODIMP NewClone(IUnknown** ppUnk) noexcept override;

 private:
  enum class SearchKind { kName, kValue, kInfo };
  struct Searcher;

  bool Has(LONG option) const noexcept { return (options_ & option) != 0; }
  HRESULT GetFlag(LONG option, LONG* pVal) noexcept;
  HRESULT PutFlag(LONG option, LONG newVal) noexcept;

  vardict::Entry* FindName(std::wstring_view name) const noexcept;
  // Index resolution: S_OK with the entry, S_FALSE when nothing matches.
  HRESULT Resolve(const VARIANT* index, vardict::Entry** found) const noexcept;
  // The refusal code of adding `name` (0 when it may be added, -2 duplicate, -3 empty).
  LONG AddRefusal(bool named, std::wstring_view name) const noexcept;
  // Appends under the add rules: the 0-based position, or -1/-2/-3 for a refusal.
  LONG AppendChecked(const VARIANT* bstrKey, Variant&& item) noexcept;
  // Copies a value to store, with default-value extraction when the option asks for it.
  HRESULT StoreValue(const VARIANT* src, Variant& out) noexcept;
  // Copy of Root, Missing or Info; store into Root or Missing.
  HRESULT GetSlot(const Variant& slot, VARIANT* pVal) noexcept;
  HRESULT PutValueSlot(Variant& slot, const VARIANT* newVal) noexcept;
  HRESULT SetLocked(const VARIANT* key, const VARIANT* item, LONG* place) noexcept;
  // Detaches entries [pos] from the index and the array; their values go to `removed`,
  // to be released once the lock is left.
  void RemoveAt(size_t pos, std::vector<std::unique_ptr<vardict::Entry>>& removed) noexcept;
  void Unlink(vardict::Entry* entry) noexcept;
  HRESULT CloneDictionary(VarDictionary** out) noexcept;
  HRESULT Search(SearchKind kind, BSTR name, BSTR value, LONG max, LONG depth, IDispatch** ppDisp) noexcept;

  mutable CriticalSection lock_;
  std::vector<std::unique_ptr<vardict::Entry>> entries_;
  vardict::NameIndex index_;
  Variant root_, missing_, info_;
  LONG options_ = 0;
};

}  // namespace orv
