// The address of the page that hosts the gateway, asked of the site the browser handed
// over. Three routes are tried in order: the handheld browser's document interface, the
// client site's container as an HTML document, and the web browser service.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

namespace orv::gateway {

// {698E3FFF-70C3-11D0-81E8-00A0C90AD20A}: the handheld browser's document interface; the
// function at index 27 of its table (IUnknown's three included) hands out the address.
inline constexpr IID kIidBrowserDocument = {0x698e3fff, 0x70c3, 0x11d0, {0x81, 0xe8, 0x00, 0xa0, 0xc9, 0x0a, 0xd2, 0x0a}};
inline constexpr int kBrowserDocumentAddressSlot = 27;

// The page address through the first route the site answers; E_FAIL when there is no
// site or no route yields an address. A route that answers with an empty text yields the
// empty address. Reports nothing: the caller decides whether the failure matters.
HRESULT FindPageAddress(IUnknown* site, std::wstring& address) noexcept;

}  // namespace orv::gateway
