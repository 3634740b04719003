// Helpers over any IStorage, compound file or folder: copying elements between storages
// of either kind through the calls every storage answers, and the chain of parent
// storages that an element opened below them needs to stay usable.
#pragma once
#include <windows.h>
#include <ole2.h>

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

// The storages an opened element descends from, root first. Wine's structured storage
// invalidates every element below a storage once that storage is released (Windows
// keeps them usable), so each object over a nested element holds its lineage.
class Lineage final : public ComObject<Lineage, IUnknown> {
 public:
  // A new lineage: the storages of `base` (may be null), then `parents` in order.
  static HRESULT Extend(Lineage* base, const std::vector<ComPtr<IStorage>>& parents, Lineage** out) noexcept;

 private:
  friend class ComObject<Lineage, IUnknown>;
  ~Lineage() override;

  std::vector<ComPtr<IStorage>> held_;
};

}  // namespace orv
