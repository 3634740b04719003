// SFStorage (and its free-threaded twin SFStorageFree): the script-facing wrapper around
// one IStorage, a compound file or a folder alike: elements, class id, statistics,
// contents, copies between storages and access to nested elements by path.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "components/storage/StorageElements.h"

namespace orv {

class SFStorage final
    : public ComObject<SFStorage, Dual<ISFStorage>, ISFStorageBin, ErrorSupport<ISFStorage>> {
 public:
  // A new SFStorage over `storage` (null: closed), for the factories of other classes:
  // a storage of its own, or the child `name` of the storage of `parent`.
  static HRESULT CreateOver(IStorage* storage, IDispatch** out, StorageNode* parent = nullptr,
                            const wchar_t* name = nullptr) noexcept;

  // ISFStorageBin
  STDMETHODIMP BinGetStoragePtr(IUnknown** ppUnk) noexcept override;

  // ISFStorage, in interface order
  STDMETHODIMP get_classID(BSTR* pVal) noexcept override;
  STDMETHODIMP put_classID(BSTR newVal) noexcept override;
  STDMETHODIMP Remove(BSTR bstrName) noexcept override;
  STDMETHODIMP Rename(BSTR bstrOldName, BSTR bstrNewName) noexcept override;
  STDMETHODIMP get_elementType(LONG* pVal) noexcept override;
  STDMETHODIMP get_name(BSTR* pVal) noexcept override;
  STDMETHODIMP Commit(LONG lFlags) noexcept override;
  STDMETHODIMP Stats(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateStream(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP OpenStream(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateStorage(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP OpenStorage(BSTR bstrName, LONG lMode, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP Revert(LONG* pbSuccess) noexcept override;
  STDMETHODIMP get_contents(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP Close() noexcept override;
  STDMETHODIMP SetStorage(IUnknown* pUnk) noexcept override;
  STDMETHODIMP CopyTo(IDispatch* pTarget, LONG* pbSuccess) noexcept override;
  STDMETHODIMP CopyElementTo(BSTR bstrOldName, IDispatch* pSFStrg, BSTR bstrName, LONG* pbSuccess) noexcept override;
  STDMETHODIMP MoveElementTo(BSTR bstrOldName, IDispatch* pSFStrg, BSTR bstrName, LONG* pbSuccess) noexcept override;
  STDMETHODIMP CreateSubStorage(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateSubStream(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP OpenSubStorage(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP OpenSubStream(BSTR bstrPath, LONG lFlags, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP SubItemExists(BSTR bstrPath, LONG* pVal) noexcept override;
  STDMETHODIMP GetSubItemInfo(BSTR bstrPath, IDispatch** ppDisp) noexcept override;

 private:
  enum class Kind { kStorage, kStream };
  // The node of the storage that holds the last name of `names`: storages on the way
  // that are open already are used as they are, others are opened with `mode` (and with
  // `create` made where missing).
  HRESULT OpenParent(const std::vector<std::wstring>& names, DWORD mode, bool create,
                     ComPtr<StorageNode>& parent) noexcept;
  // Element `name` of the parent's storage opened or created, in a new SFStorage or SFStream.
  HRESULT OpenElement(StorageNode* parent, const wchar_t* name, DWORD mode, bool create, Kind kind,
                      IDispatch** out) noexcept;
  // The members over OpenElement: an element of the attached storage, or one by path.
  HRESULT OpenChild(BSTR name, LONG mode, bool create, Kind kind, IDispatch** out) noexcept;
  HRESULT OpenPathObject(BSTR path, LONG mode, bool create, Kind kind, IDispatch** out) noexcept;
  // The stat record of the element at `path` (with its name), and its type.
  HRESULT StatPath(BSTR path, STATSTG& stat) noexcept;
  HRESULT CopyOrMoveElement(BSTR oldName, IDispatch* target, BSTR newName, bool move, LONG* success) noexcept;
  void Detach() noexcept;

  CriticalSection lock_;
  ComPtr<StorageNode> node_;  // the attached storage's node
  ComPtr<IStorage> storage_;
};

// The storage inside an SFStorage (ISFStorageBin); E_NOINTERFACE for anything else,
// the object's own failure when it is closed.
HRESULT StorageOfObject(IUnknown* object, ComPtr<IStorage>& out) noexcept;

}  // namespace orv
