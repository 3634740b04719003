// Element copying between storages of any kind, and the nodes of open storages.
//
// Wine's IStorage::CopyTo stops at the target's SetClass, which a folder storage refuses,
// and Wine does not implement IStorage::MoveElementTo; callers fall back to these copies,
// which use only opens, creates, IStream::CopyTo and DestroyElement.
#include "components/storage/StorageElements.h"

#include <string>

#include "components/module/ResultMacros.h"

namespace orv {

namespace {

// Source elements are read exclusively: compound files open nested elements in no other
// sharing mode, and a folder's file cannot then be truncated by a copy onto itself.
constexpr DWORD kReadSource = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kWriteTarget = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr int kMaxDepth = StorageNode::kMaxDepth;

HRESULT CopyStorageInto(IStorage* source, IStorage* target, const wchar_t* newName, bool merge, int depth) noexcept;
HRESULT CopyContents(IStorage* source, IStorage* target, int depth) noexcept;

HRESULT CopyStreamInto(IStream* source, IStorage* target, const wchar_t* newName) noexcept {
  ComPtr<IStream> copy;
  RETURN_IF_FAILED(target->CreateStream(newName, kWriteTarget | STGM_CREATE, 0, 0, copy.put()));
  ULARGE_INTEGER all, read = {}, written = {};
  all.QuadPart = ~0ULL;
  RETURN_IF_FAILED(source->CopyTo(copy.get(), all, &read, &written));
  return read.QuadPart == written.QuadPart ? S_OK : STG_E_WRITEFAULT;
}

// The class id of `source` given to `target`, where the target keeps class ids.
void CopyClass(IStorage* source, IStorage* target) noexcept {
  STATSTG stat = {};
  if (SUCCEEDED(source->Stat(&stat, STATFLAG_NONAME)) && !IsEqualCLSID(stat.clsid, CLSID_NULL))
    target->SetClass(stat.clsid);
}

HRESULT CopyStorageInto(IStorage* source, IStorage* target, const wchar_t* newName, bool merge, int depth) noexcept {
  if (depth > kMaxDepth) return E_FAIL;
  ComPtr<IStorage> copy;
  if (!merge || FAILED(target->OpenStorage(newName, nullptr, kWriteTarget, nullptr, 0, copy.put())))
    RETURN_IF_FAILED(target->CreateStorage(newName, kWriteTarget | STGM_CREATE, 0, 0, copy.put()));
  return CopyContents(source, copy.get(), depth + 1);
}

HRESULT CopyContents(IStorage* source, IStorage* target, int depth) noexcept {
  CopyClass(source, target);
  // The names are taken first: the copy may add entries to the storage being listed
  // when source and target share a folder.
  std::vector<std::pair<std::wstring, DWORD>> elements;
  {
    ComPtr<IEnumSTATSTG> list;
    RETURN_IF_FAILED(source->EnumElements(0, nullptr, 0, list.put()));
    STATSTG stat;
    ULONG fetched = 0;
    HRESULT hr;
    while ((hr = list->Next(1, &stat, &fetched)) == S_OK && fetched == 1) {
      try {
        if (stat.pwcsName) elements.emplace_back(stat.pwcsName, stat.type);
      } catch (...) {
        hr = E_OUTOFMEMORY;
      }
      CoTaskMemFree(stat.pwcsName);
      if (FAILED(hr)) return hr;
    }
    RETURN_IF_FAILED(hr);
  }
  for (const auto& [name, type] : elements) {
    if (type == STGTY_STORAGE) {
      ComPtr<IStorage> from;
      RETURN_IF_FAILED(source->OpenStorage(name.c_str(), nullptr, kReadSource, nullptr, 0, from.put()));
      RETURN_IF_FAILED(CopyStorageInto(from.get(), target, name.c_str(), true, depth));
    } else if (type == STGTY_STREAM) {
      ComPtr<IStream> from;
      RETURN_IF_FAILED(source->OpenStream(name.c_str(), nullptr, kReadSource, 0, from.put()));
      RETURN_IF_FAILED(CopyStreamInto(from.get(), target, name.c_str()));
    }
  }
  return S_OK;
}

}  // namespace

bool SameObject(IUnknown* a, IUnknown* b) noexcept {
  if (!a || !b) return false;
  ComPtr<IUnknown> left, right;
  return SUCCEEDED(a->QueryInterface(IID_IUnknown, left.put_void())) &&
         SUCCEEDED(b->QueryInterface(IID_IUnknown, right.put_void())) && left.get() == right.get();
}

bool IsSameElement(IStorage* first, const wchar_t* a, IStorage* second, const wchar_t* b) noexcept {
  return a && b && SameObject(first, second) && CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

HRESULT CopyStorageElement(IStorage* source, const wchar_t* name, IStorage* target, const wchar_t* newName,
                           bool move) noexcept {
  if (!source || !target || !name || !newName) return STG_E_INVALIDPOINTER;
  // Re-creating the element it reads from would destroy it.
  if (IsSameElement(source, name, target, newName)) return STG_E_ACCESSDENIED;
  HRESULT hr;
  {
    ComPtr<IStorage> storage;
    ComPtr<IStream> stream;
    hr = source->OpenStorage(name, nullptr, kReadSource, nullptr, 0, storage.put());
    if (SUCCEEDED(hr)) {
      hr = CopyStorageInto(storage.get(), target, newName, false, 0);
    } else {
      hr = source->OpenStream(name, nullptr, kReadSource, 0, stream.put());
      if (SUCCEEDED(hr)) hr = CopyStreamInto(stream.get(), target, newName);
    }
  }
  // The source is closed by now, so a folder's file can be deleted.
  if (SUCCEEDED(hr) && move) hr = source->DestroyElement(name);
  return hr;
}

HRESULT CopyStorageContents(IStorage* source, IStorage* target) noexcept {
  if (!source || !target) return STG_E_INVALIDPOINTER;
  if (SameObject(source, target)) return STG_E_ACCESSDENIED;
  return CopyContents(source, target, 0);
}

namespace {
// Guards the child lists of all nodes.
CriticalSection g_nodeLock;
}  // namespace

HRESULT StorageNode::Create(IStorage* storage, StorageNode* parent, const wchar_t* name, StorageNode** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (parent && parent->depth_ >= kMaxDepth) return E_FAIL;
  StorageNode* node = nullptr;
  RETURN_IF_FAILED(CreateObject(&node));
  ComPtr<StorageNode> hold;
  hold.attach(node);
  try {
    node->name_ = name ? name : L"";
    node->storage_.reset(storage);
    if (parent) {
      node->depth_ = parent->depth_ + 1;
      LockGuard guard(g_nodeLock);
      parent->children_.push_back(node);
      node->parent_.reset(parent);
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  *out = hold.release();
  return S_OK;
}

ComPtr<StorageNode> StorageNode::FindChild(const wchar_t* name) noexcept {
  ComPtr<StorageNode> found;
  LockGuard guard(g_nodeLock);
  for (StorageNode* child : children_) {
    // A child whose count has reached zero is on its way out.
    if (CompareStringOrdinal(child->name_.c_str(), -1, name, -1, TRUE) == CSTR_EQUAL && child->InternalTryAddRef()) {
      found.attach(child);
      break;
    }
  }
  return found;
}

StorageNode::~StorageNode() {
  storage_.reset();
  if (parent_) {
    LockGuard guard(g_nodeLock);
    auto& siblings = parent_->children_;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
      if (*it == this) {
        siblings.erase(it);
        break;
      }
    }
  }
}

}  // namespace orv
