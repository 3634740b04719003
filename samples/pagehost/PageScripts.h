// The page host's scripting: it reads a page's OBJECT and SCRIPT tags and runs the
// scripts as a browser would, in the platform's script engines, one engine per language
// shared by every block of that language, blocks in the order of the page. The page's
// objects are named items of the engines, and `document.write`/`document.writeln` hand
// their text to the host.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

namespace pagehost {

struct PageObject {
  std::wstring id;
  std::wstring classId;  // the OBJECT tag's classid without its "clsid:" prefix
};

struct PageScript {
  std::wstring language;  // "JScript" or "VBScript"
  std::wstring code;
  int line = 1;  // the page line the code starts on
};

struct Page {
  std::vector<PageObject> objects;
  std::vector<PageScript> scripts;
};

// The tags a browser acts on; comments are skipped. A SCRIPT tag names its language
// through `language` or `type`; without either it is JScript.
Page ParsePage(const std::wstring& html);

// A name the page's scripts see and the object behind it.
struct PageItem {
  std::wstring name;
  IUnknown* object = nullptr;  // not owned
};

// What the scripts write, and what the host is told of each script error.
using PageOutput = std::function<void(const std::wstring& text)>;

// Runs every script of the page with the items visible by name; a block that fails
// (does not compile, or ends with an error) is reported and the next block runs, as in
// a browser. Returns the number of script errors.
int RunPageScripts(const Page& page, const std::vector<PageItem>& items, const PageOutput& write,
                   const PageOutput& error);

}  // namespace pagehost
