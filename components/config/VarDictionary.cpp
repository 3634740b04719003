// The ordered dictionary. Items live in an array in insertion order; named items are
// also reachable through a hash index over case-folded names whose chains keep every
// position of a name in order, so the first match is found without a scan.
#include "components/config/VarDictionary.h"

#include <algorithm>
#include <new>

#include "components/config/InternalNodeInfo.h"
#include "components/module/Cloning.h"
#include "components/module/ErrorReport.h"
#include "components/module/IndexRule.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VariantEnum.h"

namespace orv {

using vardict::Entry;
using vardict::NameIndex;

namespace {

std::wstring_view View(BSTR s) noexcept { return std::wstring_view(s ? s : L"", SysStringLen(s)); }
std::wstring_view NameOf(const Entry* e) noexcept { return View(V_BSTR(e->key.get())); }

inline unsigned FoldedUnit(wchar_t c) noexcept {
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? c - 32u : c;
  return static_cast<unsigned short>(FoldChar(c));
}

}  // namespace

namespace vardict {

size_t NameIndex::Hash(std::wstring_view name) noexcept {
  // FNV-1a over the folded characters, two bytes each.
  uint64_t h = 14695981039346656037ull;
  for (wchar_t c : name) {
    const unsigned f = FoldedUnit(c);
    h = (h ^ (f & 0xFF)) * 1099511628211ull;
    h = (h ^ (f >> 8)) * 1099511628211ull;
  }
  return static_cast<size_t>(h ^ (h >> 29));
}

size_t NameIndex::Locate(std::wstring_view name, size_t hash) const noexcept {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (!slot.head || (slot.hash == hash && NamesEqual(NameOf(slot.head), name))) return i;
  }
}

Entry* NameIndex::Find(std::wstring_view name) const noexcept {
  if (used_ == 0) return nullptr;
  return slots_[Locate(name, Hash(name))].head;
}

bool NameIndex::Rehash(size_t capacity) noexcept {
  std::vector<Slot> fresh;
  try {
    fresh.assign(capacity, Slot{0, nullptr, nullptr});
  } catch (...) {
    return false;
  }
  const size_t mask = capacity - 1;
  for (const Slot& slot : slots_) {
    if (!slot.head) continue;
    size_t i = slot.hash & mask;
    while (fresh[i].head) i = (i + 1) & mask;
    fresh[i] = slot;
  }
  slots_.swap(fresh);
  return true;
}

bool NameIndex::Reserve(size_t names) noexcept {
  size_t capacity = slots_.empty() ? 16 : slots_.size();
  while (capacity < names * 2) capacity *= 2;
  return capacity == slots_.size() || Rehash(capacity);
}

bool NameIndex::Append(Entry* entry, std::wstring_view name) noexcept {
  // At most half full, so that probes stay short.
  if ((used_ + 1) * 2 > slots_.size() && !Reserve(used_ + 1)) return false;
  const size_t hash = Hash(name);
  Slot& slot = slots_[Locate(name, hash)];
  entry->nextSame = nullptr;
  if (slot.head) {
    slot.tail->nextSame = entry;
    slot.tail = entry;
  } else {
    slot = Slot{hash, entry, entry};
    ++used_;
  }
  return true;
}

void NameIndex::Remove(Entry* entry, std::wstring_view name) noexcept {
  if (used_ == 0) return;
  const size_t mask = slots_.size() - 1;
  size_t hole = Locate(name, Hash(name));
  Slot& slot = slots_[hole];
  Entry* previous = nullptr;
  Entry* e = slot.head;
  while (e && e != entry) {
    previous = e;
    e = e->nextSame;
  }
  if (!e) return;
  if (previous)
    previous->nextSame = entry->nextSame;
  else
    slot.head = entry->nextSame;
  if (slot.tail == entry) slot.tail = previous;
  entry->nextSame = nullptr;
  if (slot.head) return;
  // The slot is free: pull back later slots of the probe run that may use it.
  for (size_t j = (hole + 1) & mask; slots_[j].head; j = (j + 1) & mask) {
    const size_t home = slots_[j].hash & mask;
    const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
    if (stays) continue;
    slots_[hole] = slots_[j];
    hole = j;
  }
  slots_[hole] = Slot{0, nullptr, nullptr};
  --used_;
}

void NameIndex::Clear() noexcept {
  std::vector<Slot>().swap(slots_);
  used_ = 0;
}

}  // namespace vardict

namespace {

constexpr LONG kAllOptions = 0x7F;
constexpr LONG kCreateNewOptions = 0x3F;  // everything but readOnly
// An object whose default value is an object again: give up after this many steps.
constexpr int kMaxExtractionSteps = 64;

constexpr wchar_t kTextAssignmentNotAllowed[] = L"Assignment is not allowed - see itemsAssignmentAllowed property";
constexpr wchar_t kTextIndexMissing[] = L"Index is missing (not optional if setting a value)";
constexpr wchar_t kTextInvalidKey[] = L"Invalid key - must be number or item name";
constexpr wchar_t kTextKeyNotFound[] = L"Key not found";
constexpr wchar_t kTextCannotAdd[] = L"Cannot add new value (unknown problem)";
constexpr wchar_t kTextSetByName[] = L"New items can be set only by name";

constexpr UINT kMsgConversionFailed = 10135;
constexpr UINT kMsgInvalidFlag = 10136;
constexpr UINT kMsgReadOnly = 10137;

HRESULT Report(UINT id) noexcept { return ReportError(CLSID_VarDictionary, id); }
HRESULT Report(const wchar_t* text) noexcept { return ReportError(CLSID_VarDictionary, text); }

// A plain failure code: no record of an earlier failure may stay behind it.
HRESULT Fail(HRESULT hr) noexcept {
  SetErrorInfo(0, nullptr);
  return hr;
}

const VARIANT* Deref(const VARIANT* v) noexcept {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  return v;
}

bool IsMissing(const VARIANT* v) noexcept {
  v = Deref(v);
  if (V_VT(v) == VT_ERROR) return V_ERROR(v) == DISP_E_PARAMNOTFOUND;
  if (V_VT(v) == (VT_BYREF | VT_ERROR)) return V_ERRORREF(v) && *V_ERRORREF(v) == DISP_E_PARAMNOTFOUND;
  return false;
}

bool IsObject(const VARIANT* v) noexcept { return V_VT(v) == VT_DISPATCH || V_VT(v) == VT_UNKNOWN; }

// The default value of an object, followed until it is no object.
HRESULT ExtractValue(const VARIANT* src, Variant& out) noexcept {
  Variant value;
  RETURN_IF_FAILED(value.copy_from(src));
  for (int step = 0; IsObject(value.get()); ++step) {
    IUnknown* object = V_UNKNOWN(value.get());
    if (!object || step == kMaxExtractionSteps) return Fail(E_FAIL);
    ComPtr<IDispatch> disp;
    if (FAILED(object->QueryInterface(IID_IDispatch, disp.put_void())) || !disp) return Fail(E_FAIL);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXCEPINFO excep = {};
    Variant result;
    HRESULT hr = disp->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              result.put(), &excep, nullptr);
    Bstr description(excep.bstrDescription ? excep.bstrDescription : nullptr);
    excep.bstrDescription = nullptr;
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    if (hr == DISP_E_EXCEPTION && description.get()) return Report(description.c_str());
    if (FAILED(hr)) return Fail(hr);
    RETURN_IF_FAILED(value.copy_from(result.get()));
  }
  out = std::move(value);
  return S_OK;
}

// Where a clone of a dictionary is being built on this thread: a dictionary that holds
// itself (directly or further down) gets the copy under construction, not an endless
// recursion.
struct CloneFrame {
  const VarDictionary* original;
  VarDictionary* copy;
  CloneFrame* outer;
};
thread_local CloneFrame* t_cloneStack = nullptr;

}  // namespace

// ---- internal state ---------------------------------------------------------------

void VarDictionary::InitOptions(LONG options) noexcept {
  LockGuard guard(lock_);
  options_ = options & kAllOptions;
}

Entry* VarDictionary::FindName(std::wstring_view name) const noexcept { return index_.Find(name); }

HRESULT VarDictionary::Resolve(const VARIANT* index, Entry** found) const noexcept {
  *found = nullptr;
  // The common cases without copies: a text or a 32-bit number, also by reference.
  const VARIANT* v = Deref(index);
  if (V_VT(v) == VT_BSTR || (V_VT(v) == (VT_BYREF | VT_BSTR) && V_BSTRREF(v))) {
    *found = FindName(View(V_VT(v) == VT_BSTR ? V_BSTR(v) : *V_BSTRREF(v)));
    return *found ? S_OK : S_FALSE;
  }
  if (V_VT(v) == VT_I4 || V_VT(v) == VT_I2) {
    const LONG n = V_VT(v) == VT_I4 ? V_I4(v) : V_I2(v);
    if (n < 1 || static_cast<size_t>(n) > entries_.size()) return S_FALSE;
    *found = entries_[n - 1].get();
    return S_OK;
  }
  IndexKey key;
  const HRESULT hr = ClassifyIndex(index, key);
  if (hr == DISP_E_TYPEMISMATCH) return S_FALSE;
  if (FAILED(hr)) return hr;
  if (key.isPosition) {
    if (key.position < 1 || static_cast<size_t>(key.position) > entries_.size()) return S_FALSE;
    *found = entries_[key.position - 1].get();
    return S_OK;
  }
  *found = FindName(key.name);
  return *found ? S_OK : S_FALSE;
}

LONG VarDictionary::AddRefusal(bool named, std::wstring_view name) const noexcept {
  if (!named || name.empty()) return Has(kAllowUnnamedValues) ? 0 : -3;
  if (!Has(kAllowDuplicateNames) && FindName(name)) return -2;
  return 0;
}

HRESULT VarDictionary::AppendRaw(Variant&& key, Variant&& item) noexcept {
  std::unique_ptr<Entry> entry;
  try {
    entry = std::make_unique<Entry>();
    if (entries_.size() == entries_.capacity()) entries_.reserve(std::max<size_t>(16, entries_.size() * 2));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  entry->key = std::move(key);
  if (entry->key.vt() == VT_BSTR && !index_.Append(entry.get(), NameOf(entry.get()))) {
    key = std::move(entry->key);
    return E_OUTOFMEMORY;
  }
  entry->item = std::move(item);
  entry->pos = entries_.size();
  entries_.push_back(std::move(entry));  // capacity reserved above: cannot throw
  return S_OK;
}

LONG VarDictionary::AppendChecked(const VARIANT* bstrKey, Variant&& item) noexcept {
  const bool named = bstrKey && V_VT(bstrKey) == VT_BSTR;
  const std::wstring_view name = named ? View(V_BSTR(bstrKey)) : std::wstring_view();
  const LONG refusal = AddRefusal(named, name);
  if (refusal) return refusal;
  Variant key;
  if (!name.empty() && FAILED(VariantCopy(key.get(), const_cast<VARIANT*>(bstrKey)))) return -1;
  if (FAILED(AppendRaw(std::move(key), std::move(item)))) return -1;
  return static_cast<LONG>(entries_.size() - 1);
}

HRESULT VarDictionary::StoreValue(const VARIANT* src, Variant& out) noexcept {
  if (Has(kExtractValues)) return ExtractValue(src, out);
  return out.copy_from(src);
}

void VarDictionary::Unlink(Entry* entry) noexcept {
  if (entry->key.vt() == VT_BSTR) index_.Remove(entry, NameOf(entry));
}

void VarDictionary::RemoveAt(size_t pos, std::vector<std::unique_ptr<Entry>>& removed) noexcept {
  Entry* entry = entries_[pos].get();
  Unlink(entry);
  try {
    removed.push_back(std::move(entries_[pos]));
  } catch (...) {
    // No room to defer the release: release here, under the lock.
    std::unique_ptr<Entry> drop = std::move(entries_[pos]);
    entries_.erase(entries_.begin() + pos);
    for (size_t i = pos; i < entries_.size(); ++i) entries_[i]->pos = i;
    return;
  }
  entries_.erase(entries_.begin() + pos);
  for (size_t i = pos; i < entries_.size(); ++i) entries_[i]->pos = i;
}

// ---- IVarDictionary ---------------------------------------------------------------

STDMETHODIMP VarDictionary::get__NewEnum(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  VariantSnapshot snapshot;
  try {
    snapshot.resize(entries_.size());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  const bool items = Has(kEnumItems);
  for (size_t i = 0; i < entries_.size(); ++i) {
    VARIANT* src = items ? entries_[i]->item.get() : entries_[i]->key.get();
    RETURN_IF_FAILED(VariantCopy(snapshot[i].get(), src));
  }
  return CreateVariantEnumerator(std::move(snapshot), ppUnk);
}

STDMETHODIMP VarDictionary::get_Item(VARIANT varIndex, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  VARIANT* source = missing_.get();
  if (IsMissing(&varIndex)) {
    if (!Has(kFirstItemAsRoot))
      source = root_.get();
    else if (!entries_.empty())
      source = entries_.front()->item.get();
  } else {
    Entry* found = nullptr;
    RETURN_IF_FAILED(Resolve(&varIndex, &found));
    if (found) source = found->item.get();
  }
  return VariantCopy(pVal, source);
}

STDMETHODIMP VarDictionary::Add(VARIANT varKey, VARIANT varItem, LONG* plPlace) noexcept {
  RETURN_POINTER_IF_NULL(plPlace);
  *plPlace = 0;
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  Variant key;
  const bool named = SUCCEEDED(key.copy_from(&varKey)) &&
                     SUCCEEDED(VariantChangeType(key.get(), key.get(), VARIANT_ALPHABOOL, VT_BSTR));
  if (!named) {
    if (!Has(kAllowUnnamedValues)) return Fail(DISP_E_TYPEMISMATCH);
    key.reset();
  }
  // Refusals are answered before the value is looked at.
  LONG result = AddRefusal(named, named ? View(V_BSTR(key.get())) : std::wstring_view());
  if (result == 0) {
    Variant value;
    RETURN_IF_FAILED(StoreValue(&varItem, value));
    // Extraction may have called back into this dictionary: the checks run again.
    if (Has(kReadOnly)) return Report(kMsgReadOnly);
    result = AppendChecked(named ? key.get() : nullptr, std::move(value));
  }
  *plPlace = result + 1;
  return result >= 0 ? S_OK : S_FALSE;
}

STDMETHODIMP VarDictionary::get_Count(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = static_cast<LONG>(entries_.size());
  return S_OK;
}

STDMETHODIMP VarDictionary::get_Key(VARIANT varIndex, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  Variant index;
  if (FAILED(index.copy_from(&varIndex))) return Report(kTextInvalidKey);
  // Unlike Item, anything that reads as a number in range is a position, text included.
  Variant number;
  if (SUCCEEDED(VariantChangeType(number.get(), index.get(), 0, VT_I4))) {
    const LONG n = V_I4(number.get());
    if (n >= 1 && static_cast<size_t>(n) <= entries_.size())
      return VariantCopy(pVal, entries_[n - 1]->key.get());
  }
  Variant name;
  if (FAILED(VariantChangeType(name.get(), index.get(), VARIANT_ALPHABOOL, VT_BSTR))) return Report(kTextInvalidKey);
  Entry* found = FindName(View(V_BSTR(name.get())));
  if (!found) return Report(kTextKeyNotFound);
  return VariantCopy(pVal, found->key.get());
}

STDMETHODIMP VarDictionary::Clear() noexcept {
  std::vector<std::unique_ptr<Entry>> removed;  // released after the lock is left
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  removed.swap(entries_);
  index_.Clear();
  return S_OK;
}

STDMETHODIMP VarDictionary::Remove(VARIANT varIndex, VARIANT* pvarResult) noexcept {
  RETURN_POINTER_IF_NULL(pvarResult);
  VariantInit(pvarResult);
  std::vector<std::unique_ptr<Entry>> removed;
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  Entry* found = nullptr;
  RETURN_IF_FAILED(Resolve(&varIndex, &found));
  if (found) RemoveAt(found->pos, removed);
  return SetSuccessFlag(pvarResult, found != nullptr);
}

HRESULT VarDictionary::GetSlot(const Variant& slot, VARIANT* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  VariantInit(pVal);
  LockGuard guard(lock_);
  return VariantCopy(pVal, const_cast<VARIANT*>(slot.get()));
}

// Root and Missing store values as items do (default values extracted when asked for).
// Extraction may call back into this dictionary, so read-only is checked again after it;
// the old value is released once the lock is left.
HRESULT VarDictionary::PutValueSlot(Variant& slot, const VARIANT* newVal) noexcept {
  Variant old;
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  Variant value;
  RETURN_IF_FAILED(StoreValue(newVal, value));
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  old = std::move(slot);
  slot = std::move(value);
  return S_OK;
}

STDMETHODIMP VarDictionary::get_Root(VARIANT* pVal) noexcept { return GetSlot(root_, pVal); }
STDMETHODIMP VarDictionary::put_Root(VARIANT newVal) noexcept { return PutValueSlot(root_, &newVal); }
STDMETHODIMP VarDictionary::get_Missing(VARIANT* pVal) noexcept { return GetSlot(missing_, pVal); }
STDMETHODIMP VarDictionary::put_Missing(VARIANT newVal) noexcept { return PutValueSlot(missing_, &newVal); }

STDMETHODIMP VarDictionary::put_Item(VARIANT varIndex, VARIANT newVal) noexcept {
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  if (!Has(kItemsAssignmentAllowed)) return Report(kTextAssignmentNotAllowed);
  if (IsMissing(&varIndex)) return Report(kTextIndexMissing);
  LONG place = 0;
  return SetLocked(&varIndex, &newVal, &place);
}

STDMETHODIMP VarDictionary::get_Info(VARIANT* pVal) noexcept { return GetSlot(info_, pVal); }

STDMETHODIMP VarDictionary::put_Info(VARIANT newVal) noexcept {
  Variant old;
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  Variant value;
  RETURN_IF_FAILED(value.copy_from(&newVal));
  old = std::move(info_);
  info_ = std::move(value);
  return S_OK;
}

HRESULT VarDictionary::GetFlag(LONG option, LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  LockGuard guard(lock_);
  *pVal = Has(option) ? 1 : 0;
  return S_OK;
}

HRESULT VarDictionary::PutFlag(LONG option, LONG newVal) noexcept {
  LockGuard guard(lock_);
  options_ = newVal ? (options_ | option) : (options_ & ~option);
  return S_OK;
}

STDMETHODIMP VarDictionary::get_firstItemAsRoot(LONG* pVal) noexcept { return GetFlag(kFirstItemAsRoot, pVal); }
STDMETHODIMP VarDictionary::put_firstItemAsRoot(LONG newVal) noexcept { return PutFlag(kFirstItemAsRoot, newVal); }

HRESULT VarDictionary::SetLocked(const VARIANT* key, const VARIANT* item, LONG* place) noexcept {
  *place = 0;
  Variant keyCopy;
  RETURN_IF_FAILED(keyCopy.copy_from(key));
  const bool isName = keyCopy.vt() == VT_BSTR;
  // The failures that do not depend on the value come first.
  Entry* found = nullptr;
  RETURN_IF_FAILED(Resolve(keyCopy.get(), &found));
  if (!found) {
    if (!isName) return Report(kTextSetByName);
    if (AddRefusal(true, View(V_BSTR(keyCopy.get())))) return Report(kTextCannotAdd);
  }
  Variant value;
  RETURN_IF_FAILED(StoreValue(item, value));
  // Extraction may have called back into this dictionary: resolve again.
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  RETURN_IF_FAILED(Resolve(keyCopy.get(), &found));
  if (found) {
    Variant old = std::move(found->item);
    found->item = std::move(value);
    return S_OK;
  }
  const LONG result = AppendChecked(keyCopy.get(), std::move(value));
  if (result < 0) return Report(kTextCannotAdd);
  *place = result + 1;
  return S_OK;
}

STDMETHODIMP VarDictionary::Set(VARIANT varKey, VARIANT varItem, LONG* plPlace) noexcept {
  RETURN_POINTER_IF_NULL(plPlace);
  *plPlace = 0;
  LockGuard guard(lock_);
  if (Has(kReadOnly)) return Report(kMsgReadOnly);
  return SetLocked(&varKey, &varItem, plPlace);
}

STDMETHODIMP VarDictionary::get_itemsAssignmentAllowed(LONG* pVal) noexcept {
  return GetFlag(kItemsAssignmentAllowed, pVal);
}
STDMETHODIMP VarDictionary::put_itemsAssignmentAllowed(LONG newVal) noexcept {
  return PutFlag(kItemsAssignmentAllowed, newVal);
}

STDMETHODIMP VarDictionary::get_classVersion(LONG* pVal) noexcept {
  RETURN_POINTER_IF_NULL(pVal);
  *pVal = 2;
  return S_OK;
}

STDMETHODIMP VarDictionary::get_enumItems(LONG* pVal) noexcept { return GetFlag(kEnumItems, pVal); }
STDMETHODIMP VarDictionary::put_enumItems(LONG newVal) noexcept { return PutFlag(kEnumItems, newVal); }
STDMETHODIMP VarDictionary::get_allowUnnamedValues(LONG* pVal) noexcept { return GetFlag(kAllowUnnamedValues, pVal); }
STDMETHODIMP VarDictionary::put_allowUnnamedValues(LONG newVal) noexcept {
  return PutFlag(kAllowUnnamedValues, newVal);
}
STDMETHODIMP VarDictionary::get_allowDuplicateNames(LONG* pVal) noexcept {
  return GetFlag(kAllowDuplicateNames, pVal);
}
STDMETHODIMP VarDictionary::put_allowDuplicateNames(LONG newVal) noexcept {
  return PutFlag(kAllowDuplicateNames, newVal);
}

HRESULT VarDictionary::CloneDictionary(VarDictionary** out) noexcept {
  *out = nullptr;
  for (CloneFrame* f = t_cloneStack; f; f = f->outer) {
    if (f->original == this) {
      f->copy->AddRef();
      *out = f->copy;
      return S_OK;
    }
  }
  VarDictionary* copy = nullptr;
  RETURN_IF_FAILED(CreateObject(&copy));
  ComPtr<VarDictionary> owner(copy, false);

  // The values are cloned outside the lock (a nested clone may need another thread's
  // dictionary); what is cloned is the state at this moment.
  VariantSnapshot keys, items;
  Variant root, missing, info;
  LONG options = 0;
  {
    LockGuard guard(lock_);
    try {
      keys.resize(entries_.size());
      items.resize(entries_.size());
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
      RETURN_IF_FAILED(VariantCopy(keys[i].get(), entries_[i]->key.get()));
      RETURN_IF_FAILED(VariantCopy(items[i].get(), entries_[i]->item.get()));
    }
    RETURN_IF_FAILED(VariantCopy(root.get(), root_.get()));
    RETURN_IF_FAILED(VariantCopy(missing.get(), missing_.get()));
    RETURN_IF_FAILED(VariantCopy(info.get(), info_.get()));
    options = options_;
  }

  CloneFrame frame{this, copy, t_cloneStack};
  t_cloneStack = &frame;
  struct Pop {
    CloneFrame* outer;
    ~Pop() { t_cloneStack = outer; }
  } pop{frame.outer};

  copy->options_ = options;
  RETURN_IF_FAILED(CloneValue(copy->root_.put(), root.get()));
  RETURN_IF_FAILED(CloneValue(copy->missing_.put(), missing.get()));
  RETURN_IF_FAILED(CloneValue(copy->info_.put(), info.get()));
  try {
    copy->entries_.reserve(items.size());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  if (!copy->index_.Reserve(items.size())) return E_OUTOFMEMORY;
  for (size_t i = 0; i < items.size(); ++i) {
    Variant item;
    RETURN_IF_FAILED(CloneValue(item.put(), items[i].get()));
    RETURN_IF_FAILED(copy->AppendRaw(std::move(keys[i]), std::move(item)));
  }
  *out = owner.release();
  return S_OK;
}

STDMETHODIMP VarDictionary::Clone(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  VarDictionary* copy = nullptr;
  RETURN_IF_FAILED(CloneDictionary(&copy));
  *ppDisp = static_cast<IVarDictionary*>(copy);
  return S_OK;
}

STDMETHODIMP VarDictionary::CreateNew(IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  VarDictionary* fresh = nullptr;
  RETURN_IF_FAILED(CreateObject(&fresh));
  fresh->options_ = options_ & kCreateNewOptions;
  *ppDisp = static_cast<IVarDictionary*>(fresh);
  return S_OK;
}

// Depth-first search over this dictionary and the dictionaries it holds. Each level is
// read as a snapshot, and no lock is held while a level is searched, so dictionaries
// that hold each other (on this thread or another) neither deadlock nor loop: a
// dictionary already on the path is not entered again.
struct VarDictionary::Searcher {
  SearchKind kind;
  std::wstring_view name, value;
  LONG max, depth;
  LONG hits = 1;
  VarDictionary* result;
  std::vector<IUnknown*> path;

  struct Level {
    VariantSnapshot keys, items;
  };

  bool Done() const noexcept { return hits > max; }

  static HRESULT Read(IVarDictionary* dict, Level& level) noexcept {
    LONG count = 0;
    RETURN_IF_FAILED(dict->get_Count(&count));
    try {
      level.keys.resize(count);
      level.items.resize(count);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    for (LONG i = 0; i < count; ++i) {
      VARIANT pos;
      V_VT(&pos) = VT_I4;
      V_I4(&pos) = i + 1;
      // A dictionary that shrank meanwhile ends the level early.
      if (FAILED(dict->get_Key(pos, level.keys[i].get())) || FAILED(dict->get_Item(pos, level.items[i].get()))) {
        SetErrorInfo(0, nullptr);
        level.keys.resize(i);
        level.items.resize(i);
        break;
      }
    }
    return S_OK;
  }

  HRESULT Hit(const VARIANT* key, const VARIANT* item) noexcept {
    Variant k, v;
    if (key) RETURN_IF_FAILED(VariantCopy(k.get(), const_cast<VARIANT*>(key)));
    RETURN_IF_FAILED(VariantCopy(v.get(), const_cast<VARIANT*>(item)));
    RETURN_IF_FAILED(result->AppendRaw(std::move(k), std::move(v)));
    ++hits;
    return S_OK;
  }

  HRESULT Walk(IDispatch* holder, Level& level, LONG nesting) noexcept {
    if (depth != -1 && nesting > depth) return S_OK;
    for (size_t i = 0; i < level.items.size() && !Done(); ++i) {
      const VARIANT* key = level.keys[i].get();
      const VARIANT* item = level.items[i].get();
      ComPtr<IVarDictionary> child;
      if (IsObject(item) && V_UNKNOWN(item)) {
        if (FAILED(V_UNKNOWN(item)->QueryInterface(__uuidof(IVarDictionary), child.put_void()))) child.reset();
      }
      const bool keyMatches = V_VT(key) == VT_BSTR && NamesEqual(View(V_BSTR(key)), name);
      switch (kind) {
        case SearchKind::kName:
          if (keyMatches) RETURN_IF_FAILED(Hit(key, item));
          break;
        case SearchKind::kValue:
          if (keyMatches && !child) {
            Variant text;
            if (SUCCEEDED(VariantChangeType(text.get(), const_cast<VARIANT*>(item), VARIANT_ALPHABOOL, VT_BSTR)) &&
                View(V_BSTR(text.get())) == value) {
              VARIANT h;
              V_VT(&h) = VT_DISPATCH;
              V_DISPATCH(&h) = holder;
              RETURN_IF_FAILED(Hit(nullptr, &h));
            }
          }
          break;
        case SearchKind::kInfo:
          if (child) {
            Variant info;
            if (SUCCEEDED(child->get_Info(info.get())) && info.vt() == VT_BSTR &&
                NamesEqual(View(V_BSTR(info.get())), name))
              RETURN_IF_FAILED(Hit(nullptr, item));
          }
          break;
      }
      if (!child || Done()) continue;
      ComPtr<IUnknown> identity;
      if (FAILED(child->QueryInterface(IID_IUnknown, identity.put_void()))) continue;
      if (std::find(path.begin(), path.end(), identity.get()) != path.end()) continue;
      if (depth != -1 && nesting + 1 > depth) continue;
      ComPtr<IDispatch> childDisp;
      if (FAILED(child.query(childDisp))) continue;
      Level inner;
      RETURN_IF_FAILED(Read(child.get(), inner));
      try {
        path.push_back(identity.get());
      } catch (...) {
        return E_OUTOFMEMORY;
      }
      const HRESULT hr = Walk(childDisp.get(), inner, nesting + 1);
      path.pop_back();
      RETURN_IF_FAILED(hr);
    }
    return S_OK;
  }
};

HRESULT VarDictionary::Search(SearchKind kind, BSTR name, BSTR value, LONG max, LONG depth,
                              IDispatch** ppDisp) noexcept {
  RETURN_POINTER_IF_NULL(ppDisp);
  *ppDisp = nullptr;
  VarDictionary* result = nullptr;
  RETURN_IF_FAILED(CreateObject(&result));
  ComPtr<VarDictionary> owner(result, false);
  Searcher::Level top;
  {
    LockGuard guard(lock_);
    result->options_ = (options_ & kCreateNewOptions) | kAllowDuplicateNames | kAllowUnnamedValues;
    try {
      top.keys.resize(entries_.size());
      top.items.resize(entries_.size());
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
      RETURN_IF_FAILED(VariantCopy(top.keys[i].get(), entries_[i]->key.get()));
      RETURN_IF_FAILED(VariantCopy(top.items[i].get(), entries_[i]->item.get()));
    }
  }
  Searcher searcher{kind, View(name), View(value), max, depth, 1, result, {}};
  try {
    searcher.path.push_back(Identity());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  RETURN_IF_FAILED(searcher.Walk(static_cast<IVarDictionary*>(this), top, -1));
  *ppDisp = static_cast<IVarDictionary*>(owner.release());
  return S_OK;
}

STDMETHODIMP VarDictionary::FindByName(BSTR bstrName, LONG, LONG lMax, LONG lDepth, IDispatch** ppDisp) noexcept {
  return Search(SearchKind::kName, bstrName, nullptr, lMax, lDepth, ppDisp);
}

STDMETHODIMP VarDictionary::FindByValue(BSTR bstrName, BSTR bstrValue, LONG, LONG lMax, LONG lDepth,
                                        IDispatch** ppDisp) noexcept {
  return Search(SearchKind::kValue, bstrName, bstrValue, lMax, lDepth, ppDisp);
}

STDMETHODIMP VarDictionary::FindByInfo(BSTR bstrName, LONG, LONG lMax, LONG lDepth, IDispatch** ppDisp) noexcept {
  return Search(SearchKind::kInfo, bstrName, nullptr, lMax, lDepth, ppDisp);
}

STDMETHODIMP VarDictionary::ClearEx(LONG lHow, VARIANT varParam) noexcept {
  std::vector<std::unique_ptr<Entry>> removed;
  LockGuard guard(lock_);
  Variant param;
  if (!IsMissing(&varParam) && FAILED(param.copy_from(&varParam))) return Report(kMsgConversionFailed);
  if (FAILED(VariantChangeType(param.get(), param.get(), 0, VT_I2))) return Report(kMsgConversionFailed);
  const VARTYPE type = static_cast<VARTYPE>(V_I2(param.get()));
  if (lHow != 0 && lHow != 1) return Report(kMsgInvalidFlag);
  const auto doomed = [&](const Entry& e) { return (e.item.vt() == type) == (lHow == 0); };
  size_t count = 0;
  for (const auto& e : entries_) count += doomed(*e) ? 1 : 0;
  if (count == 0) return S_OK;
  try {
    removed.reserve(count);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  // One pass keeps the survivors in order.
  std::vector<std::unique_ptr<Entry>> kept;
  try {
    kept.reserve(entries_.size() - count);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  for (auto& e : entries_) {
    if (doomed(*e)) {
      Unlink(e.get());
      removed.push_back(std::move(e));
    } else {
      kept.push_back(std::move(e));
    }
  }
  entries_.swap(kept);
  for (size_t i = 0; i < entries_.size(); ++i) entries_[i]->pos = i;
  return S_OK;
}

STDMETHODIMP VarDictionary::get_extractValues(LONG* pVal) noexcept { return GetFlag(kExtractValues, pVal); }
STDMETHODIMP VarDictionary::put_extractValues(LONG newVal) noexcept { return PutFlag(kExtractValues, newVal); }
STDMETHODIMP VarDictionary::get_readOnly(LONG* pVal) noexcept { return GetFlag(kReadOnly, pVal); }
STDMETHODIMP VarDictionary::put_readOnly(LONG newVal) noexcept { return PutFlag(kReadOnly, newVal); }

STDMETHODIMP VarDictionary::NewClone(IUnknown** ppUnk) noexcept {
  RETURN_POINTER_IF_NULL(ppUnk);
  *ppUnk = nullptr;
  VarDictionary* copy = nullptr;
  RETURN_IF_FAILED(CloneDictionary(&copy));
  *ppUnk = copy->Identity();
  return S_OK;
}

// ---- entry points for other classes -------------------------------------------------

namespace {

HRESULT CreateWithOptions(LONG options, VarDictionary** out) noexcept {
  *out = nullptr;
  VarDictionary* dict = nullptr;
  RETURN_IF_FAILED(VarDictionary::CreateObject(&dict));
  dict->InitOptions(options);
  *out = dict;
  return S_OK;
}

HRESULT HandOut(VarDictionary* dict, IVarDictionary** out) noexcept {
  // The object is released (and so destroyed) when the interface cannot be had.
  ComPtr<VarDictionary> owner(dict, false);
  return owner->QueryInterface(__uuidof(IVarDictionary), reinterpret_cast<void**>(out));
}

HRESULT CreatePreset(LONG options, bool isSection, const wchar_t* className, IVarDictionary** out) noexcept {
  RETURN_POINTER_IF_NULL(out);
  *out = nullptr;
  ComPtr<IInternalNodeInfo> info;
  RETURN_IF_FAILED(CreateInternalNodeInfo(isSection, className, info.put()));
  VarDictionary* dict = nullptr;
  RETURN_IF_FAILED(CreateWithOptions(options, &dict));
  ComPtr<VarDictionary> owner(dict, false);
  VARIANT v;
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = info.get();
  RETURN_IF_FAILED(dict->put_Info(v));
  return HandOut(owner.release(), out);
}

}  // namespace

HRESULT CreateVarDictionaryObject(IVarDictionary** out) noexcept {
  RETURN_POINTER_IF_NULL(out);
  *out = nullptr;
  VarDictionary* dict = nullptr;
  RETURN_IF_FAILED(CreateWithOptions(0, &dict));
  return HandOut(dict, out);
}

HRESULT CreateVarDictionaryWithOptions(LONG factoryFlags, IVarDictionary** out) noexcept {
  RETURN_POINTER_IF_NULL(out);
  *out = nullptr;
  LONG options = 0;
  if (factoryFlags & kFactoryAllowDuplicateNames) options |= kAllowDuplicateNames;
  if (factoryFlags & kFactoryAllowUnnamedValues) options |= kAllowUnnamedValues;
  if (factoryFlags & kFactoryEnumItems) options |= kEnumItems;
  if (factoryFlags & kFactoryItemsAssignmentAllowed) options |= kItemsAssignmentAllowed;
  if (factoryFlags & kFactoryFirstItemAsRoot) options |= kFirstItemAsRoot;
  if (factoryFlags & kFactoryExtractValues) options |= kExtractValues;
  VarDictionary* dict = nullptr;
  RETURN_IF_FAILED(CreateWithOptions(options, &dict));
  return HandOut(dict, out);
}

HRESULT CreateSectionDictionary(const wchar_t* className, IVarDictionary** out) noexcept {
  return CreatePreset(kSectionOptions, true, className, out);
}

HRESULT CreateRecordDictionary(IVarDictionary** out) noexcept {
  return CreatePreset(kRecordOptions, false, nullptr, out);
}

}  // namespace orv
