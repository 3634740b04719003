// pagehost: a small container that plays the browser for the Vantor gateway. It creates
// the gateway as a page's OBJECT tag would, hands it a site that gives the page address
// through the route asked for, chooses a profile and creates the objects named; or it
// runs a page file: the page's own scripts then drive the gateway of its OBJECT tag.
//
//   pagehost [--route document|container|browser] [--answer allow|deny|close|person]
//            [--passcode CODE] [--dll PATH] PAGE-ADDRESS PROFILE [ID ...]
//   pagehost [options] --run file:///PAGE-FILE
//
// Wine has no HTML engine: --run reads only the OBJECT and SCRIPT tags, runs the scripts
// in the platform's engines and prints what they give `document.write` as plain text.

// The gateway reads "Vantor.cfg" beside its module. Without --answer person a second
// thread answers the gateway's dialogs as told (allow by default); with it, you do.
// An ID of "-" stands for the empty id (the profile's default class). The exit code is
// 0 when the profile was granted and every object was created; with --run, when the page
// embeds the gateway and its scripts ran without an error.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Vantor.h"
#include "components/module/Module.h"
#include "components/module/Raii.h"
#include "gateway/ObjectSafety.h"
#include "samples/pagehost/DialogAnswerer.h"
#include "samples/pagehost/PageScripts.h"
#include "samples/pagehost/PageSite.h"

namespace orv {
// The page host serves no classes; the frame's object helpers need a table.
ModuleDescription& ThisModule() {
  static ModuleDescription description{nullptr, 0, nullptr};
  return description;
}
}  // namespace orv

namespace {

using orv::Bstr;
using orv::ComPtr;

struct Options {
  pagehost::Route route = pagehost::Route::BrowserDocument;
  std::wstring answer = L"allow";
  std::wstring passCode, dll, page, profile;
  bool havePassCode = false;
  bool run = false;  // run the page's scripts instead of choosing a profile here
  std::vector<std::wstring> ids;
};

bool ParseOptions(int argc, wchar_t** argv, Options& o) {
  std::vector<std::wstring> rest;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--route" && hasValue) {
      const std::wstring r = argv[++i];
      if (r == L"document") o.route = pagehost::Route::BrowserDocument;
      else if (r == L"container") o.route = pagehost::Route::ContainerDocument;
      else if (r == L"browser") o.route = pagehost::Route::BrowserService;
      else return false;
    } else if (arg == L"--answer" && hasValue) {
      o.answer = argv[++i];
    } else if (arg == L"--passcode" && hasValue) {
      o.passCode = argv[++i];
      o.havePassCode = true;
    } else if (arg == L"--dll" && hasValue) {
      o.dll = argv[++i];
    } else if (arg == L"--run") {
      o.run = true;
    } else {
      rest.push_back(arg);
    }
  }
  if (o.run ? rest.size() != 1 : rest.size() < 2) return false;
  o.page = rest[0];
  if (!o.run) {
    o.profile = rest[1];
    o.ids.assign(rest.begin() + 2, rest.end());
  }
  return o.answer == L"allow" || o.answer == L"deny" || o.answer == L"close" || o.answer == L"person";
}

// The gateway from the registered class, or from a module file given by path.
HRESULT CreateGateway(const Options& o, IVantorway** gateway) {
  if (o.dll.empty())
    return CoCreateInstance(CLSID_Vantorway, nullptr, CLSCTX_INPROC_SERVER, IID_IVantorway, reinterpret_cast<void**>(gateway));
  HMODULE module = LoadLibraryW(o.dll.c_str());  // kept loaded for the program's life
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (!getClassObject) return E_NOINTERFACE;
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(CLSID_Vantorway, IID_IClassFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IVantorway, reinterpret_cast<void**>(gateway));
}

// "allowed", or the failure's code and the description of its error record.
std::wstring Outcome(HRESULT hr) {
  if (SUCCEEDED(hr)) return L"ok";
  wchar_t code[16];
  swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  std::wstring text = code;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    Bstr description;
    info->GetDescription(description.put());
    text += L" ";
    text += description.c_str();
  }
  return text;
}

void Print(const std::wstring& line) { std::printf("%ls\n", line.c_str()); }

void PrintDialogs(pagehost::DialogAnswerer* answerer) {
  if (!answerer) return;
  for (const pagehost::SeenDialog& d : answerer->Take()) {
    std::wstring line = L"dialog \"" + d.caption + L"\":";
    for (const pagehost::SeenControl& c : d.controls)
      if (!c.text.empty()) line += L" [" + c.text + L"]";
    Print(line);
  }
}

// A page given by a file address, read as UTF-8 (with or without a byte-order mark).
bool ReadPageFile(const std::wstring& address, std::wstring& html) {
  const std::wstring scheme = L"file:///";
  if (address.size() <= scheme.size() || _wcsnicmp(address.c_str(), scheme.c_str(), scheme.size()) != 0) return false;
  std::wstring path = address.substr(scheme.size());
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  std::string bytes;
  char block[4096];
  for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) bytes.append(block, n);
  std::fclose(file);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  html.assign(bytes.size(), L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), html.data(),
                                    static_cast<int>(html.size()));
  html.resize(n > 0 ? n : 0);
  return true;
}

// The profile and the objects named on the command line; the number of failures.
int ChooseProfileAndCreate(IVantorway* gateway, const Options& options, pagehost::DialogAnswerer* answerer) {
  int failures = 0;
  Bstr profile(options.profile.c_str());
  const HRESULT granted = gateway->put_Profile(profile.get());
  const std::wstring grantedText = Outcome(granted);
  PrintDialogs(answerer);
  Print(L"Profile " + options.profile + L": " + grantedText);
  if (FAILED(granted)) ++failures;
  for (const std::wstring& id : options.ids) {
    Bstr text(id == L"-" ? L"" : id.c_str());
    ComPtr<IDispatch> object;
    const HRESULT hr = gateway->CreateObject(text.get(), object.put());
    Print(L"CreateObject(" + id + L"): " + Outcome(hr));
    if (FAILED(hr)) ++failures;
  }
  return failures;
}

// The page's scripts with the gateway under the id of its OBJECT tag; the number of
// failures. Dialogs are shown where they opened, between what the page writes.
int RunPage(IVantorway* gateway, const Options& options, pagehost::DialogAnswerer* answerer) {
  std::wstring html;
  if (!ReadPageFile(options.page, html)) {
    Print(L"cannot read the page " + options.page + L" (a file:/// address is needed)");
    return 1;
  }
  const pagehost::Page page = pagehost::ParsePage(html);
  std::vector<pagehost::PageItem> items;
  for (const pagehost::PageObject& object : page.objects) {
    CLSID clsid;
    const std::wstring braced = L"{" + object.classId + L"}";
    if (!object.id.empty() && SUCCEEDED(CLSIDFromString(braced.c_str(), &clsid)) && IsEqualCLSID(clsid, CLSID_Vantorway))
      items.push_back({object.id, gateway});
    else
      std::fprintf(stderr, "pagehost: object \"%ls\" left out: only the gateway is created here\n", object.id.c_str());
  }
  if (items.empty()) {
    Print(L"the page embeds no gateway (an OBJECT tag with an id and the gateway's classid)");
    return 1;
  }
  const pagehost::PageOutput write = [answerer](const std::wstring& text) {
    PrintDialogs(answerer);
    std::printf("%ls", text.c_str());
    std::fflush(stdout);
  };
  const pagehost::PageOutput error = [answerer](const std::wstring& text) {
    PrintDialogs(answerer);
    Print(L"Error on the page, " + text);
  };
  const int failures = pagehost::RunPageScripts(page, items, write, error);
  PrintDialogs(answerer);
  return failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: pagehost [--route document|container|browser] [--answer allow|deny|close|person]\n"
                 "                [--passcode CODE] [--dll PATH] PAGE-ADDRESS PROFILE [ID ...]\n"
                 "       pagehost [options] --run file:///PAGE-FILE\n");
    return 2;
  }
  orv::ComInit com(COINIT_APARTMENTTHREADED);
  int failures = 0;
  {
    ComPtr<IVantorway> gateway;
    const HRESULT created = CreateGateway(options, gateway.put());
    if (FAILED(created)) {
      Print(L"gateway: " + Outcome(created));
      return 1;
    }
    // What a browser does with an OBJECT tag: ask for safety, then hand over the site.
    ComPtr<IObjectSafety> safety;
    if (SUCCEEDED(gateway.query(safety)))
      safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                        INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA);
    pagehost::PageSite* site = nullptr;
    pagehost::PageSite::CreateObject(&site);
    ComPtr<IOleClientSite> siteRef(site, false);
    site->SetAddress(options.page);
    site->SetOnly(options.route);
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(gateway.query(withSite))) withSite->SetSite(siteRef.get());

    std::unique_ptr<pagehost::DialogAnswerer> answerer;
    if (options.answer != L"person") {
      answerer = std::make_unique<pagehost::DialogAnswerer>();
      answerer->SetAnswer(options.answer == L"allow"  ? pagehost::Answer::Allow
                          : options.answer == L"deny" ? pagehost::Answer::Deny
                                                      : pagehost::Answer::Close);
    }
    if (options.havePassCode) {
      Bstr code(options.passCode.c_str());
      gateway->put_PassCode(code.get());
    }
    failures = options.run ? RunPage(gateway.get(), options, answerer.get())
                           : ChooseProfileAndCreate(gateway.get(), options, answerer.get());
    if (withSite) withSite->SetSite(nullptr);
  }
  return failures ? 1 : 0;
}
