// The three routes to the page address.
#include "gateway/PageAddress.h"

#include <exdisp.h>
#include <mshtml.h>

#include "components/module/Raii.h"

namespace orv::gateway {

namespace {

using AddressGetter = HRESULT(STDMETHODCALLTYPE*)(IUnknown* self, BSTR* address);

HRESULT FromBrowserDocument(IUnknown* site, Bstr& address) noexcept {
  ComPtr<IUnknown> document;
  HRESULT hr = site->QueryInterface(kIidBrowserDocument, document.put_void());
  if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_NOINTERFACE;
  void* const* table = *reinterpret_cast<void* const* const*>(document.get());
  const auto getter = reinterpret_cast<AddressGetter>(table[kBrowserDocumentAddressSlot]);
  return getter(document.get(), address.put());
}

HRESULT FromContainerDocument(IUnknown* site, Bstr& address) noexcept {
  ComPtr<IOleClientSite> client;
  HRESULT hr = site->QueryInterface(IID_IOleClientSite, client.put_void());
  if (FAILED(hr) || !client) return FAILED(hr) ? hr : E_NOINTERFACE;
  ComPtr<IOleContainer> container;
  hr = client->GetContainer(container.put());
  if (FAILED(hr) || !container) return FAILED(hr) ? hr : E_NOINTERFACE;
  ComPtr<IHTMLDocument2> document;
  hr = container->QueryInterface(IID_IHTMLDocument2, document.put_void());
  if (FAILED(hr) || !document) return FAILED(hr) ? hr : E_NOINTERFACE;
  return document->get_URL(address.put());
}

HRESULT FromBrowserService(IUnknown* site, Bstr& address) noexcept {
  ComPtr<IServiceProvider> services;
  HRESULT hr = site->QueryInterface(IID_IServiceProvider, services.put_void());
  if (FAILED(hr) || !services) return FAILED(hr) ? hr : E_NOINTERFACE;
  ComPtr<IWebBrowser2> browser;
  // The browser service is named by the web browser application's IID.
  hr = services->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2, browser.put_void());
  if (FAILED(hr) || !browser) return FAILED(hr) ? hr : E_NOINTERFACE;
  return browser->get_LocationURL(address.put());
}

}  // namespace

HRESULT FindPageAddress(IUnknown* site, std::wstring& address) noexcept {
  address.clear();
  if (!site) return E_FAIL;
  for (auto route : {FromBrowserDocument, FromContainerDocument, FromBrowserService}) {
    Bstr found;
    if (FAILED(route(site, found))) continue;
    try {
      address.assign(found.c_str(), found.length());
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }
  return E_FAIL;
}

}  // namespace orv::gateway
