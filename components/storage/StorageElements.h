// Helpers over any IStorage, compound file or folder: copying elements between storages
// of either kind through the calls every storage answers, and the chain of parent
// storages that an element opened below them needs to stay usable.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "components/module/ComObject.h"
#include "components/module/Raii.h"

namespace orv {

// Copies element `name` of `source` into `target` as `newName`: a stream byte for byte
// (IStream::CopyTo), a storage with its class id (where the target takes one) and all
// its elements, recursively. An existing target element is replaced. With `move` the
// source element is destroyed once the copy is complete. Copying an element onto itself
// gives STG_E_ACCESSDENIED.
HRESULT CopyStorageElement(IStorage* source, const wchar_t* name, IStorage* target, const wchar_t* newName,
                           bool move) noexcept;

// Copies the class id and every element of `source` into `target`: streams replace
// streams of the same name, storages merge into storages of the same name. A target
// that refuses a class id (a folder) still receives the elements.
HRESULT CopyStorageContents(IStorage* source, IStorage* target) noexcept;

// True when both pointers reach the same object.
bool SameObject(IUnknown* a, IUnknown* b) noexcept;
// True when element `a` of `first` and element `b` of `second` are one element (names
// compare ignoring case, as storages compare them).
bool IsSameElement(IStorage* first, const wchar_t* a, IStorage* second, const wchar_t* b) noexcept;

// An open storage and its place: the node of the storage it was opened in and its name
// there. Wine's structured storage invalidates every element below a storage once that
// storage is released (Windows keeps them usable), so each object over a nested element
// holds its parent's node, and through it every storage above. A compound file opens
// each element once at a time, so a path through a storage that is open already goes
// through that storage's node instead of opening it again.
class StorageNode final : public ComObject<StorageNode, IUnknown> {
 public:
  // Nesting beyond this is refused (E_FAIL) rather than exhausting the stack when a
  // chain of nodes is released or a hostile file is copied.
  static constexpr int kMaxDepth = 256;

  // A node for `storage`, opened as `name` in `parent` (null parent: a storage of its own).
  static HRESULT Create(IStorage* storage, StorageNode* parent, const wchar_t* name, StorageNode** out) noexcept;

  IStorage* storage() const noexcept { return storage_.get(); }
  // The node of the child storage `name` while it is open (names compare ignoring case).
  ComPtr<StorageNode> FindChild(const wchar_t* name) noexcept;

 private:
  friend class ComObject<StorageNode, IUnknown>;
  ~StorageNode() override;

  ComPtr<StorageNode> parent_;  // released after the storage
  ComPtr<IStorage> storage_;
  std::wstring name_;
  int depth_ = 0;
  std::vector<StorageNode*> children_;  // not owned; each child leaves when it goes
};

}  // namespace orv
