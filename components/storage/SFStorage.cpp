// SFStorage: one IStorage for scripts. Every element it opens holds the node of the
// storage above it (StorageElements.h), so streams and storages stay usable after the
// script has let go of the objects they were opened from. Copies fall back to an
// element-by-element copy where the platform's own call fails.
#include "components/storage/SFStorage.h"

#include <string>
#include <vector>

#include "components/config/VarDictionary.h"
#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/module/SuccessFlag.h"
#include "components/storage/SFInfo.h"
#include "components/storage/SFStream.h"

namespace orv {

namespace {

HRESULT Fail(UINT id, HRESULT hr = 0) noexcept { return ReportError(CLSID_SFStorage, id, GUID_NULL, hr); }

// A null BSTR is the empty text.
const wchar_t* Text(BSTR s) noexcept { return s ? s : L""; }

// Opens used only to test or describe an element: shared first, then exclusive.
constexpr DWORD kQueryModes[] = {STGM_READ | STGM_SHARE_DENY_NONE, STGM_READ | STGM_SHARE_EXCLUSIVE};

// A new SFInfo filled from `stat` (whose name stays the caller's); a failed fill is E_FAIL.
HRESULT InfoFromStat(const STATSTG& stat, IDispatch** out) noexcept {
  SFInfo* created = nullptr;
  RETURN_IF_FAILED(SFInfo::CreateObject(&created));
  ComPtr<SFInfo> info;
  info.attach(created);
  if (FAILED(info->Fill(stat))) return E_FAIL;
  *out = static_cast<ISFInfo*>(info.release());
  return S_OK;
}

// The element names of a path: "\" and "/" separate, leading separators are ignored.
std::vector<std::wstring> SplitPath(const wchar_t* path) {
  std::vector<std::wstring> names;
  const wchar_t* p = path;
  while (*p == L'\\' || *p == L'/') ++p;
  if (!*p) return names;
  for (;;) {
    const wchar_t* end = p;
    while (*end && *end != L'\\' && *end != L'/') ++end;
    names.emplace_back(p, end);
    if (!*end) return names;
    p = end + 1;
  }
}

// Whether a failed copy of `source`'s own may be redone element by element: Wine's
// compound files stop copying where a folder refuses a class id and do not move elements
// at all, while this library's folder storages copy everything themselves and refuse only
// what must not be done (such as a folder copied into itself).
bool MayCopyByElement(IStorage* source) noexcept {
  ComPtr<ISFDirStorage> folder;
  return FAILED(source->QueryInterface(IID_ISFDirStorage, folder.put_void()));
}

}  // namespace

HRESULT StorageOfObject(IUnknown* object, ComPtr<IStorage>& out) noexcept {
  out.reset();
  if (!object) return E_NOINTERFACE;
  ComPtr<ISFStorageBin> bin;
  if (FAILED(object->QueryInterface(IID_ISFStorageBin, bin.put_void()))) return E_NOINTERFACE;
  ComPtr<IUnknown> raw;
  RETURN_IF_FAILED(bin->BinGetStoragePtr(raw.put()));
  if (!raw) return E_NOINTERFACE;
  return raw.query(out);
}

HRESULT SFStorage::CreateOver(IStorage* storage, IDispatch** out, StorageNode* parent, const wchar_t* name) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<StorageNode> node;
  if (storage) RETURN_IF_FAILED(StorageNode::Create(storage, parent, name, node.put()));
  SFStorage* obj = nullptr;
  RETURN_IF_FAILED(CreateObject(&obj));
  obj->node_ = std::move(node);
  obj->storage_.reset(storage);
  *out = static_cast<ISFStorage*>(obj);
  return S_OK;
}

void SFStorage::Detach() noexcept {
  storage_.reset();
  node_.reset();
}

// ---- ISFStorageBin ----

STDMETHODIMP SFStorage::BinGetStoragePtr(IUnknown** ppUnk) noexcept {
  if (!ppUnk) return E_POINTER;
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  return storage_->QueryInterface(IID_IStorage, reinterpret_cast<void**>(ppUnk));
}

// ---- ISFStorage ----

STDMETHODIMP SFStorage::get_classID(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  STATSTG stat = {};
  const HRESULT hr = storage_->Stat(&stat, STATFLAG_NONAME);
  if (FAILED(hr)) return Fail(10113, hr);
  LPOLESTR text = nullptr;
  if (FAILED(StringFromCLSID(stat.clsid, &text)) || !text) return Fail(10114);
  const HRESULT result = ReturnText(text, pVal);
  CoTaskMemFree(text);
  return result;
}

STDMETHODIMP SFStorage::put_classID(BSTR newVal) noexcept {
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  if (!newVal) return Fail(10115);
  // Only the registry form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" is a class id: the
  // platform's parser would also take a ProgID, or the empty text as the null class.
  CLSID clsid;
  if (SysStringLen(newVal) != 38 || newVal[0] != L'{' || FAILED(CLSIDFromString(newVal, &clsid))) return Fail(10116);
  return storage_->SetClass(clsid);
}

STDMETHODIMP SFStorage::Remove(BSTR bstrName) noexcept {
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  return storage_->DestroyElement(Text(bstrName));
}

STDMETHODIMP SFStorage::Rename(BSTR bstrOldName, BSTR bstrNewName) noexcept {
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  return storage_->RenameElement(Text(bstrOldName), Text(bstrNewName));
}

STDMETHODIMP SFStorage::get_elementType(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  LockGuard guard(lock_);
  *pVal = storage_ ? STGTY_STORAGE : 0;
  return S_OK;
}

STDMETHODIMP SFStorage::get_name(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  STATSTG stat = {};
  const HRESULT hr = storage_->Stat(&stat, STATFLAG_DEFAULT);
  if (FAILED(hr)) return Fail(10113, hr);
  const HRESULT result = ReturnText(stat.pwcsName ? stat.pwcsName : L"", pVal);
  CoTaskMemFree(stat.pwcsName);
  return result;
}

STDMETHODIMP SFStorage::Commit(LONG lFlags) noexcept {
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  return storage_->Commit(static_cast<DWORD>(lFlags));
}

STDMETHODIMP SFStorage::Stats(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  STATSTG stat = {};
  RETURN_IF_FAILED(storage_->Stat(&stat, STATFLAG_DEFAULT));
  const HRESULT hr = InfoFromStat(stat, ppDisp);
  CoTaskMemFree(stat.pwcsName);
  return hr;
}

HRESULT SFStorage::OpenElement(StorageNode* parent, const wchar_t* name, DWORD mode, bool create, Kind kind,
                               IDispatch** out) noexcept {
  IStorage* in = parent->storage();
  if (kind == Kind::kStorage) {
    ComPtr<IStorage> storage;
    RETURN_IF_FAILED(create ? in->CreateStorage(name, mode, 0, 0, storage.put())
                            : in->OpenStorage(name, nullptr, mode, nullptr, 0, storage.put()));
    return CreateOver(storage.get(), out, parent, name);
  }
  ComPtr<IStream> stream;
  RETURN_IF_FAILED(create ? in->CreateStream(name, mode, 0, 0, stream.put())
                          : in->OpenStream(name, nullptr, mode, 0, stream.put()));
  return SFStream::CreateOver(stream.get(), out, parent);
}

HRESULT SFStorage::OpenChild(BSTR name, LONG mode, bool create, Kind kind, IDispatch** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  return OpenElement(node_.get(), Text(name), static_cast<DWORD>(mode), create, kind, out);
}

STDMETHODIMP SFStorage::CreateStream(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept {
  return OpenChild(bstrName, lMode, true, Kind::kStream, ppDisp);
}

STDMETHODIMP SFStorage::OpenStream(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept {
  return OpenChild(bstrName, lMode, false, Kind::kStream, ppDisp);
}

STDMETHODIMP SFStorage::CreateStorage(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept {
  return OpenChild(bstrName, lMode, true, Kind::kStorage, ppDisp);
}

STDMETHODIMP SFStorage::OpenStorage(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept {
  return OpenChild(bstrName, lMode, false, Kind::kStorage, ppDisp);
}

STDMETHODIMP SFStorage::Revert(LONG* pbSuccess) noexcept {
  if (!pbSuccess) return E_POINTER;
  *pbSuccess = 0;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  return SetSuccessFlag(pbSuccess, SUCCEEDED(storage_->Revert()));
}

STDMETHODIMP SFStorage::get_contents(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  // Every element gets its item, also under a name that differs from another one only
  // in case (a folder on a case-sensitive file system).
  ComPtr<IVarDictionary> items;
  RETURN_IF_FAILED(CreateVarDictionaryWithOptions(kFactoryAllowDuplicateNames | kFactoryAllowUnnamedValues, items.put()));
  ComPtr<IEnumSTATSTG> list;
  if (FAILED(storage_->EnumElements(0, nullptr, 0, list.put())) || !list) return Fail(10134);
  for (;;) {
    STATSTG stat = {};
    ULONG fetched = 0;
    const HRESULT next = list->Next(1, &stat, &fetched);
    if (FAILED(next)) return Fail(10134);
    if (next != S_OK || fetched != 1) break;
    Variant key, item;
    HRESULT hr = InfoFromStat(stat, &V_DISPATCH(item.get()));
    if (SUCCEEDED(hr)) {
      V_VT(item.get()) = VT_DISPATCH;
      V_VT(key.get()) = VT_BSTR;
      V_BSTR(key.get()) = SysAllocString(stat.pwcsName ? stat.pwcsName : L"");
      if (!V_BSTR(key.get())) hr = E_OUTOFMEMORY;
    }
    CoTaskMemFree(stat.pwcsName);
    RETURN_IF_FAILED(hr);
    LONG place = 0;
    RETURN_IF_FAILED(items->Add(*key.get(), *item.get(), &place));
  }
  *ppDisp = items.release();
  return S_OK;
}

STDMETHODIMP SFStorage::Close() noexcept {
  LockGuard guard(lock_);
  Detach();
  return S_OK;
}

STDMETHODIMP SFStorage::SetStorage(IUnknown* pUnk) noexcept {
  LockGuard guard(lock_);
  Detach();
  if (!pUnk) return S_FALSE;
  ComPtr<IStorage> storage;
  RETURN_IF_FAILED(pUnk->QueryInterface(IID_IStorage, storage.put_void()));
  ComPtr<StorageNode> node;
  RETURN_IF_FAILED(StorageNode::Create(storage.get(), nullptr, nullptr, node.put()));
  node_ = std::move(node);
  storage_ = std::move(storage);
  return S_OK;
}

// The target's storage is taken before this object's lock: the target takes its own,
// and two storages copying into each other on two threads must not wait on each other.
STDMETHODIMP SFStorage::CopyTo(IDispatch* pTarget, LONG* pbSuccess) noexcept {
  if (!pbSuccess) return E_POINTER;
  *pbSuccess = 0;
  ComPtr<IStorage> target;
  const HRESULT targetHr = StorageOfObject(pTarget, target);
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  if (targetHr == E_NOINTERFACE) return Fail(10118);
  RETURN_IF_FAILED(targetHr);
  // A storage copied into itself would replace each element while reading it.
  if (SameObject(storage_.get(), target.get())) return SetSuccessFlag(pbSuccess, false);
  HRESULT hr = storage_->CopyTo(0, nullptr, nullptr, target.get());
  if (FAILED(hr) && MayCopyByElement(storage_.get())) hr = CopyStorageContents(storage_.get(), target.get());
  return SetSuccessFlag(pbSuccess, SUCCEEDED(hr));
}

HRESULT SFStorage::CopyOrMoveElement(BSTR oldName, IDispatch* target, BSTR newName, bool move,
                                     LONG* success) noexcept {
  if (!success) return E_POINTER;
  *success = 0;
  if (!oldName || !newName) return E_POINTER;
  ComPtr<IStorage> into;
  const HRESULT targetHr = StorageOfObject(target, into);
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  if (targetHr == E_NOINTERFACE) return Fail(10118);
  RETURN_IF_FAILED(targetHr);
  if (SysStringLen(oldName) == 0) return E_INVALIDARG;
  const wchar_t* name = SysStringLen(newName) ? newName : oldName;
  if (IsSameElement(storage_.get(), oldName, into.get(), name)) return SetSuccessFlag(success, false);
  HRESULT hr = storage_->MoveElementTo(oldName, into.get(), name, move ? STGMOVE_MOVE : STGMOVE_COPY);
  if (FAILED(hr) && MayCopyByElement(storage_.get()))
    hr = CopyStorageElement(storage_.get(), oldName, into.get(), name, move);
  return SetSuccessFlag(success, SUCCEEDED(hr));
}

STDMETHODIMP SFStorage::CopyElementTo(BSTR bstrOldName, IDispatch* pSFStrg, BSTR bstrName, LONG* pbSuccess) noexcept {
  return CopyOrMoveElement(bstrOldName, pSFStrg, bstrName, false, pbSuccess);
}

STDMETHODIMP SFStorage::MoveElementTo(BSTR bstrOldName, IDispatch* pSFStrg, BSTR bstrName, LONG* pbSuccess) noexcept {
  return CopyOrMoveElement(bstrOldName, pSFStrg, bstrName, true, pbSuccess);
}

// ---- elements by path ----

HRESULT SFStorage::OpenParent(const std::vector<std::wstring>& names, DWORD mode, bool create,
                              ComPtr<StorageNode>& parent) noexcept {
  // Storages on the way are opened read-write with the mode's sharing bits when
  // creating (and made where missing), with the given mode when opening.
  const DWORD between =
      create ? (mode & ~(STGM_WRITE | STGM_READWRITE | STGM_CREATE | STGM_CONVERT)) | STGM_READWRITE : mode;
  parent = node_;
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    const wchar_t* name = names[i].c_str();
    ComPtr<StorageNode> next = parent->FindChild(name);
    if (!next) {
      ComPtr<IStorage> storage;
      const HRESULT opened = parent->storage()->OpenStorage(name, nullptr, between, nullptr, 0, storage.put());
      HRESULT hr = opened;
      if (FAILED(hr) && create) hr = parent->storage()->CreateStorage(name, between, 0, 0, storage.put());
      // A storage that exists but cannot be opened (a compound file's element that is
      // open already) fails for the reason the open gave; a stream of that name stays
      // "already exists".
      if (hr == STG_E_FILEALREADYEXISTS && opened != STG_E_FILENOTFOUND) hr = opened;
      RETURN_IF_FAILED(hr);
      RETURN_IF_FAILED(StorageNode::Create(storage.get(), parent.get(), name, next.put()));
    }
    parent = std::move(next);
  }
  return S_OK;
}

HRESULT SFStorage::OpenPathObject(BSTR path, LONG lMode, bool create, Kind kind, IDispatch** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  try {
    const std::vector<std::wstring> names = SplitPath(Text(path));
    // Deeper than any node may be: refused before anything is made on the way.
    if (names.empty() || names.size() > StorageNode::kMaxDepth) return E_FAIL;
    const DWORD mode = static_cast<DWORD>(lMode);
    ComPtr<StorageNode> parent;
    RETURN_IF_FAILED(OpenParent(names, mode, create, parent));
    return OpenElement(parent.get(), names.back().c_str(), mode, create, kind, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFStorage::CreateSubStorage(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept {
  return OpenPathObject(bstrPath, lFlags, true, Kind::kStorage, ppDisp);
}

STDMETHODIMP SFStorage::CreateSubStream(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept {
  return OpenPathObject(bstrPath, lFlags, true, Kind::kStream, ppDisp);
}

STDMETHODIMP SFStorage::OpenSubStorage(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept {
  return OpenPathObject(bstrPath, lFlags, false, Kind::kStorage, ppDisp);
}

STDMETHODIMP SFStorage::OpenSubStream(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept {
  return OpenPathObject(bstrPath, lFlags, false, Kind::kStream, ppDisp);
}

// An element is tested and described by opening it, shared first and then exclusively,
// because a compound file opens nested elements in no other sharing mode. An element that
// cannot be opened (one that is open already) is looked up in its storage's list.
HRESULT SFStorage::StatPath(BSTR path, STATSTG& stat) noexcept {
  try {
    const std::vector<std::wstring> names = SplitPath(Text(path));
    // Deeper than any node may be: refused before anything is made on the way.
    if (names.empty() || names.size() > StorageNode::kMaxDepth) return E_FAIL;
    const wchar_t* last = names.back().c_str();
    HRESULT hr = E_FAIL;
    for (const DWORD mode : kQueryModes) {
      ComPtr<StorageNode> parent;
      hr = OpenParent(names, mode, false, parent);
      if (FAILED(hr)) continue;
      IStorage* in = parent->storage();
      ComPtr<StorageNode> open = parent->FindChild(last);
      ComPtr<IStorage> storage;
      ComPtr<IStream> stream;
      if (open) {
        hr = open->storage()->Stat(&stat, STATFLAG_DEFAULT);
      } else if (SUCCEEDED(hr = in->OpenStorage(last, nullptr, mode, nullptr, 0, storage.put()))) {
        hr = storage->Stat(&stat, STATFLAG_DEFAULT);
      } else if (SUCCEEDED(hr = in->OpenStream(last, nullptr, mode, 0, stream.put()))) {
        hr = stream->Stat(&stat, STATFLAG_DEFAULT);
      } else {
        // Open elsewhere (or refused for another reason): the storage's own list
        // describes what it holds.
        ComPtr<IEnumSTATSTG> list;
        if (SUCCEEDED(in->EnumElements(0, nullptr, 0, list.put())) && list) {
          ULONG fetched = 0;
          while (list->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
            if (stat.pwcsName && CompareStringOrdinal(stat.pwcsName, -1, last, -1, TRUE) == CSTR_EQUAL) return S_OK;
            CoTaskMemFree(stat.pwcsName);
          }
        }
      }
      if (SUCCEEDED(hr)) return hr;
    }
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP SFStorage::SubItemExists(BSTR bstrPath, LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  STATSTG stat = {};
  if (SUCCEEDED(StatPath(bstrPath, stat))) {
    CoTaskMemFree(stat.pwcsName);
    *pVal = stat.type == STGTY_STORAGE ? -1 : stat.type == STGTY_STREAM ? 1 : 0;
  }
  return S_OK;
}

STDMETHODIMP SFStorage::GetSubItemInfo(BSTR bstrPath, IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!storage_) return Fail(10102);
  STATSTG stat = {};
  RETURN_IF_FAILED(StatPath(bstrPath, stat));
  const HRESULT hr = InfoFromStat(stat, ppDisp);
  CoTaskMemFree(stat.pwcsName);
  return hr;
}

}  // namespace orv
