// The page host's site, its container and the objects that hand out the page address.
#include "samples/pagehost/PageSite.h"

#include <exdisp.h>
#include <mshtml.h>

#include <atomic>
#include <new>
#include <vector>

#include "components/module/Raii.h"
#include "gateway/PageAddress.h"

namespace pagehost {

extern const int kHtmlDocumentUrlSlot, kHtmlDocumentSlots, kWebBrowserLocationSlot, kWebBrowserSlots;

namespace {

// An object of a browser interface that only gives the page address: its function table
// is made at run time, IUnknown's three entries and the address getter in their places,
// every other entry answering E_NOTIMPL. The browser interfaces have dozens of members
// the gateway never calls, so the table is built rather than each member written out.
class AddressObject {
 public:
  static HRESULT Create(PageSite* site, Route route, REFIID iid, int slots, int addressSlot, void** ppv) noexcept {
    auto* object = new (std::nothrow) AddressObject(site, route, iid);
    if (!object) return E_OUTOFMEMORY;
    try {
      object->table_.assign(slots, reinterpret_cast<void*>(&NotImplemented));
    } catch (...) {
      delete object;
      return E_OUTOFMEMORY;
    }
    object->table_[0] = reinterpret_cast<void*>(&QueryInterface);
    object->table_[1] = reinterpret_cast<void*>(&AddRef);
    object->table_[2] = reinterpret_cast<void*>(&Release);
    object->table_[addressSlot] = reinterpret_cast<void*>(&Address);
    object->vtable_ = object->table_.data();
    *ppv = object;
    return S_OK;
  }

 private:
  AddressObject(PageSite* site, Route route, REFIID iid) noexcept
      : keepSite_(static_cast<IOleClientSite*>(site)), site_(site), route_(route), iid_(iid) {}

  static AddressObject* Self(void* p) noexcept { return static_cast<AddressObject*>(p); }
  // More arguments than declared are harmless: on x64 the caller cleans up.
  static HRESULT STDMETHODCALLTYPE NotImplemented(void*) noexcept { return E_NOTIMPL; }
  static HRESULT STDMETHODCALLTYPE QueryInterface(void* p, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, Self(p)->iid_)) return E_NOINTERFACE;
    *ppv = p;
    AddRef(p);
    return S_OK;
  }
  static ULONG STDMETHODCALLTYPE AddRef(void* p) noexcept { return ++Self(p)->refs_; }
  static ULONG STDMETHODCALLTYPE Release(void* p) noexcept {
    const ULONG left = --Self(p)->refs_;
    if (left == 0) delete Self(p);
    return left;
  }
  static HRESULT STDMETHODCALLTYPE Address(void* p, BSTR* address) noexcept {
    return Self(p)->site_->AnswerAddress(Self(p)->route_, address);
  }

  void** vtable_ = nullptr;  // first: the object is its own interface pointer
  std::vector<void*> table_;
  std::atomic<ULONG> refs_{1};
  orv::ComPtr<IOleClientSite> keepSite_;  // the site outlives what it handed out
  PageSite* site_;
  Route route_;
  IID iid_;
};

// The site's container: the HTML document of the page when that route is on.
class PageContainer final : public orv::ComObject<PageContainer, IOleContainer> {
 public:
  void Bind(PageSite* site) noexcept { site_.reset(static_cast<IOleClientSite*>(site)); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
    if (ppv && IsEqualIID(riid, IID_IHTMLDocument2))
      return static_cast<PageSite*>(site_.get())->RouteObject(Route::ContainerDocument, ppv);
    return ComObject::QueryInterface(riid, ppv);
  }
  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(DWORD, IEnumUnknown**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP LockContainer(BOOL) noexcept override { return S_OK; }

 private:
  orv::ComPtr<IOleClientSite> site_;
};

}  // namespace

STDMETHODIMP PageSite::QueryInterface(REFIID riid, void** ppv) noexcept {
  if (ppv && IsEqualIID(riid, orv::gateway::kIidBrowserDocument)) return RouteObject(Route::BrowserDocument, ppv);
  return ComObject::QueryInterface(riid, ppv);
}

STDMETHODIMP PageSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
  if (!moniker) return E_POINTER;
  *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PageSite::GetContainer(IOleContainer** container) noexcept {
  if (!container) return E_POINTER;
  *container = nullptr;
  PageContainer* made = nullptr;
  const HRESULT hr = PageContainer::CreateObject(&made);
  if (FAILED(hr)) return hr;
  made->Bind(this);
  *container = made;
  return S_OK;
}

STDMETHODIMP PageSite::QueryService(REFGUID service, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(service, IID_IWebBrowserApp)) return E_NOINTERFACE;
  if (!IsEqualIID(riid, IID_IWebBrowser2)) return E_NOINTERFACE;
  return RouteObject(Route::BrowserService, ppv);
}

HRESULT PageSite::RouteObject(Route route, void** ppv) noexcept {
  *ppv = nullptr;
  if (states_[static_cast<int>(route)] == RouteState::Off) return E_NOINTERFACE;
  switch (route) {
    case Route::BrowserDocument:
      return AddressObject::Create(this, route, orv::gateway::kIidBrowserDocument,
                                   orv::gateway::kBrowserDocumentAddressSlot + 1,
                                   orv::gateway::kBrowserDocumentAddressSlot, ppv);
    case Route::ContainerDocument:
      return AddressObject::Create(this, route, IID_IHTMLDocument2, kHtmlDocumentSlots, kHtmlDocumentUrlSlot, ppv);
    case Route::BrowserService:
      return AddressObject::Create(this, route, IID_IWebBrowser2, kWebBrowserSlots, kWebBrowserLocationSlot, ppv);
  }
  return E_NOINTERFACE;
}

HRESULT PageSite::AnswerAddress(Route route, BSTR* address) noexcept {
  if (!address) return E_POINTER;
  *address = nullptr;
  ++calls_[static_cast<int>(route)];
  if (states_[static_cast<int>(route)] != RouteState::Answers) return E_FAIL;
  *address = SysAllocStringLen(address_.data(), static_cast<UINT>(address_.size()));
  return *address ? S_OK : E_OUTOFMEMORY;
}

}  // namespace pagehost
