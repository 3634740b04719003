// Places of the address getters in the browser interfaces' function tables, read from
// the platform headers' C form of those tables rather than counted by hand.
#define CINTERFACE
#include <windows.h>
#include <cstddef>
#include <exdisp.h>
#include <mshtml.h>

namespace pagehost {

extern const int kHtmlDocumentUrlSlot = offsetof(IHTMLDocument2Vtbl, get_URL) / sizeof(void*);
extern const int kHtmlDocumentSlots = sizeof(IHTMLDocument2Vtbl) / sizeof(void*);
extern const int kWebBrowserLocationSlot = offsetof(IWebBrowser2Vtbl, get_LocationURL) / sizeof(void*);
extern const int kWebBrowserSlots = sizeof(IWebBrowser2Vtbl) / sizeof(void*);

}  // namespace pagehost
