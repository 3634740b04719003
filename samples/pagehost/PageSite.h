// The page host's side of the gateway: a site that plays the browser. It answers the
// three ways the gateway asks for the page address (the handheld browser's document
// interface, the client site's container as an HTML document, the web browser service),
// each switched on, off or failing on its own, and counts which one served.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <servprov.h>

#include <string>

#include "components/module/ComObject.h"

namespace pagehost {

enum class Route { BrowserDocument = 0, ContainerDocument = 1, BrowserService = 2 };
constexpr int kRouteCount = 3;

enum class RouteState {
  Off,      // the site does not answer the route's interface
  Answers,  // the route yields the page address
  Fails,    // the interface is there, its address call fails
};

class PageSite final : public orv::ComObject<PageSite, IOleClientSite, IServiceProvider> {
 public:
  // The address every answering route gives, and each route's state (all off at start).
  void SetAddress(std::wstring address) { address_ = std::move(address); }
  void SetRoute(Route route, RouteState state) { states_[static_cast<int>(route)] = state; }
  void SetOnly(Route route) {
    for (RouteState& s : states_) s = RouteState::Off;
    SetRoute(route, RouteState::Answers);
  }
  // How many address calls a route has served or failed since the last reset.
  int Calls(Route route) const { return calls_[static_cast<int>(route)]; }
  void ResetCalls() {
    for (int& c : calls_) c = 0;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;

  // IOleClientSite
  STDMETHODIMP SaveObject() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept override;
  STDMETHODIMP GetContainer(IOleContainer** container) noexcept override;
  STDMETHODIMP ShowObject() noexcept override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }

  // IServiceProvider
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) noexcept override;

  // Called by the route objects when the gateway asks them for the address.
  HRESULT AnswerAddress(Route route, BSTR* address) noexcept;
  // An object of the route's interface, or E_NOINTERFACE when the route is off.
  HRESULT RouteObject(Route route, void** ppv) noexcept;

 private:
  std::wstring address_;
  RouteState states_[kRouteCount] = {RouteState::Off, RouteState::Off, RouteState::Off};
  int calls_[kRouteCount] = {};
};

}  // namespace pagehost
