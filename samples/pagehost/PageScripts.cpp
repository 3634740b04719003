// Reading a page's tags and running its scripts in the platform's engines.
#include "samples/pagehost/PageScripts.h"

#include <activscp.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <memory>

#include "components/module/ComObject.h"
#include "components/module/Raii.h"

namespace pagehost {

using orv::Bstr;
using orv::ComPtr;

namespace {

std::wstring Lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
  return text;
}

bool StartsTag(const std::wstring& lower, size_t at, const wchar_t* name) {
  const size_t n = wcslen(name);
  if (lower.compare(at, n, name) != 0) return false;
  const wchar_t next = at + n < lower.size() ? lower[at + n] : L'>';
  return next == L'>' || next == L'/' || iswspace(next);
}

// The attributes of the tag that starts at `at` (names in lower case); `end` is set
// after its closing ">".
std::map<std::wstring, std::wstring> TagAttributes(const std::wstring& html, size_t at, size_t& end) {
  std::map<std::wstring, std::wstring> attributes;
  size_t i = at + 1;
  while (i < html.size() && !iswspace(html[i]) && html[i] != L'>') ++i;  // the tag's name
  while (i < html.size() && html[i] != L'>') {
    if (iswspace(html[i]) || html[i] == L'/') {
      ++i;
      continue;
    }
    const size_t nameStart = i;
    while (i < html.size() && !iswspace(html[i]) && html[i] != L'=' && html[i] != L'>') ++i;
    const std::wstring name = Lower(html.substr(nameStart, i - nameStart));
    std::wstring value;
    if (i < html.size() && html[i] == L'=') {
      ++i;
      if (i < html.size() && (html[i] == L'"' || html[i] == L'\'')) {
        const wchar_t quote = html[i++];
        const size_t close = html.find(quote, i);
        const size_t stop = close == std::wstring::npos ? html.size() : close;
        value = html.substr(i, stop - i);
        i = stop == html.size() ? stop : stop + 1;
      } else {
        const size_t valueStart = i;
        while (i < html.size() && !iswspace(html[i]) && html[i] != L'>') ++i;
        value = html.substr(valueStart, i - valueStart);
      }
    }
    attributes[name] = value;
  }
  end = i < html.size() ? i + 1 : i;
  return attributes;
}

std::wstring ScriptLanguage(const std::map<std::wstring, std::wstring>& attributes) {
  auto it = attributes.find(L"language");
  if (it == attributes.end()) it = attributes.find(L"type");
  if (it == attributes.end()) return L"JScript";
  return Lower(it->second).find(L"vb") != std::wstring::npos ? L"VBScript" : L"JScript";
}

int LineAt(const std::wstring& text, size_t at) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), L'\n'));
}

// `document`: write and writeln join their arguments' texts.
class PageDocument final : public orv::ComObject<PageDocument, IDispatch> {
 public:
  void SetOutput(const PageOutput* output) { output_ = output; }

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
    if (!names || !ids || count == 0) return E_POINTER;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (lstrcmpiW(names[0], L"write") == 0) ids[0] = kWrite;
    else if (lstrcmpiW(names[0], L"writeln") == 0) ids[0] = kWriteLine;
    else return DISP_E_UNKNOWNNAME;
    return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override {
    if (id != kWrite && id != kWriteLine) return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (result) VariantInit(result);
    try {
      std::wstring text;
      for (UINT i = params ? params->cArgs : 0; i-- > 0;) {  // arguments arrive last first
        orv::Variant piece;
        const HRESULT hr = VariantChangeType(piece.get(), &params->rgvarg[i], VARIANT_ALPHABOOL, VT_BSTR);
        if (FAILED(hr)) return hr;
        text.append(V_BSTR(piece.get()), SysStringLen(V_BSTR(piece.get())));
      }
      if (id == kWriteLine) text += L"\n";
      if (output_) (*output_)(text);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  }

 private:
  static constexpr DISPID kWrite = 1, kWriteLine = 2;
  const PageOutput* output_ = nullptr;
};

// The engines' site: hands out the named items and reports script errors.
class PageScriptSite final : public orv::ComObject<PageScriptSite, IActiveScriptSite> {
 public:
  void SetItems(const std::vector<PageItem>* items, const PageOutput* error, int firstLine) {
    items_ = items;
    error_ = error;
    firstLine_ = firstLine;
  }
  int Errors() const { return errors_; }

  STDMETHODIMP GetLCID(LCID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** unknown, ITypeInfo** typeInfo) noexcept override {
    if (unknown) *unknown = nullptr;
    if (typeInfo) *typeInfo = nullptr;
    if (!(mask & SCRIPTINFO_IUNKNOWN) || !unknown) return E_NOTIMPL;
    for (const PageItem& item : *items_)
      if (lstrcmpiW(item.name.c_str(), name) == 0) {
        *unknown = item.object;
        item.object->AddRef();
        return S_OK;
      }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  STDMETHODIMP GetDocVersionString(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) noexcept override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* failure) noexcept override {
    ++errors_;
    if (!failure || !error_) return S_OK;
    EXCEPINFO info = {};
    failure->GetExceptionInfo(&info);
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    DWORD context = 0;
    ULONG line = 0;
    LONG column = 0;
    failure->GetSourcePosition(&context, &line, &column);
    try {
      std::wstring text = L"page line " + std::to_wstring(firstLine_ + static_cast<int>(line)) + L": ";
      if (info.bstrDescription && *info.bstrDescription) {
        text += info.bstrDescription;
      } else {  // Wine's VBScript leaves a compile error's description empty
        wchar_t code[40];
        swprintf(code, 40, L"script error 0x%08lX", static_cast<unsigned long>(info.scode ? info.scode : info.wCode));
        text += code;
      }
      (*error_)(text);
    } catch (...) {
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return S_OK;
  }
  STDMETHODIMP OnEnterScript() noexcept override { return S_OK; }
  STDMETHODIMP OnLeaveScript() noexcept override { return S_OK; }

 private:
  const std::vector<PageItem>* items_ = nullptr;
  const PageOutput* error_ = nullptr;
  int firstLine_ = 1;
  int errors_ = 0;
};

// One language's engine, started with the page's items before its first block.
struct Engine {
  ComPtr<IActiveScript> script;
  ComPtr<IActiveScriptParse> parse;
};

HRESULT StartEngine(const std::wstring& language, PageScriptSite* site, const std::vector<PageItem>& items,
                    Engine& engine) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(language.c_str(), &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, engine.script.put_void());
  if (SUCCEEDED(hr)) hr = engine.script.query(engine.parse);
  if (SUCCEEDED(hr)) hr = engine.parse->InitNew();
  if (SUCCEEDED(hr)) hr = engine.script->SetScriptSite(site);
  for (const PageItem& item : items)
    if (SUCCEEDED(hr)) hr = engine.script->AddNamedItem(item.name.c_str(), SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) hr = engine.script->SetScriptState(SCRIPTSTATE_STARTED);
  return hr;
}

}  // namespace

Page ParsePage(const std::wstring& html) {
  Page page;
  const std::wstring lower = Lower(html);
  size_t at = 0;
  while ((at = lower.find(L'<', at)) != std::wstring::npos) {
    if (lower.compare(at, 4, L"<!--") == 0) {
      const size_t close = lower.find(L"-->", at + 4);
      if (close == std::wstring::npos) break;
      at = close + 3;
      continue;
    }
    size_t end = at + 1;
    if (StartsTag(lower, at, L"<object")) {
      auto attributes = TagAttributes(html, at, end);
      std::wstring classId = attributes[L"classid"];
      if (Lower(classId).compare(0, 6, L"clsid:") == 0) classId.erase(0, 6);
      page.objects.push_back({attributes[L"id"], classId});
    } else if (StartsTag(lower, at, L"<script")) {
      auto attributes = TagAttributes(html, at, end);
      size_t close = lower.find(L"</script", end);
      if (close == std::wstring::npos) close = html.size();
      page.scripts.push_back({ScriptLanguage(attributes), html.substr(end, close - end), LineAt(html, end)});
      end = close;
    }
    at = end;
  }
  return page;
}

int RunPageScripts(const Page& page, const std::vector<PageItem>& items, const PageOutput& write,
                   const PageOutput& error) {
  PageDocument* document = nullptr;
  PageScriptSite* site = nullptr;
  if (FAILED(PageDocument::CreateObject(&document)) || FAILED(PageScriptSite::CreateObject(&site))) {
    if (document) document->Release();
    error(L"out of memory");
    return 1;
  }
  ComPtr<IDispatch> documentRef(document, false);
  ComPtr<IActiveScriptSite> siteRef(site, false);
  document->SetOutput(&write);
  std::vector<PageItem> visible = items;
  visible.push_back({L"document", documentRef.get()});

  std::map<std::wstring, Engine> engines;
  int failures = 0;
  for (const PageScript& block : page.scripts) {
    site->SetItems(&visible, &error, block.line);
    Engine& engine = engines[block.language];
    if (!engine.script) {
      const HRESULT hr = StartEngine(block.language, site, visible, engine);
      if (FAILED(hr)) {
        wchar_t code[16];
        swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
        error(block.language + L" cannot run: " + code);
        ++failures;
        engines.erase(block.language);
        continue;
      }
    }
    EXCEPINFO info = {};
    engine.parse->ParseScriptText(block.code.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr,
                                  &info);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
  }
  for (auto& entry : engines) entry.second.script->Close();
  return failures + site->Errors();
}

}  // namespace pagehost
