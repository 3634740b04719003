// storage_interop: the Windows side of the compound-file exchange with independent tools.
//   storage_interop write FILE        writes a known tree through SFMain and SFStorage
//   storage_interop dump FILE LISTING  lists a compound file as SFStorage reads it
// A listing holds one line per element, "storage PATH CLSID" or "stream PATH HEXBYTES",
// PATH being each name's UTF-16 code units in hex, names joined by "/" (tests/interop/
// olefile_check.py writes the same listing from python3-olefile and compares).
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/Raii.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;

namespace {

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "storage_interop: %s failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
  return 1;
}

#define CHECK(expr)                               \
  do {                                            \
    const HRESULT hr_ = (expr);                   \
    if (FAILED(hr_)) return Fail(#expr, hr_);     \
  } while (0)

template <class I>
ComPtr<I> As(IDispatch* d) {
  ComPtr<I> out;
  if (d) d->QueryInterface(__uuidof(I), out.put_void());
  return out;
}

HRESULT WriteBytes(ISFStream* s, const std::string& bytes) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (!sa) return E_OUTOFMEMORY;
  void* p = nullptr;
  SafeArrayAccessData(sa, &p);
  std::memcpy(p, bytes.data(), bytes.size());
  SafeArrayUnaccessData(sa);
  Variant v;
  V_VT(v.get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(v.get()) = sa;
  LONG written = 0;
  const HRESULT hr = s->WriteBin(*v.get(), &written);
  return SUCCEEDED(hr) && written != static_cast<LONG>(bytes.size()) ? E_FAIL : hr;
}

// The tree python3-olefile is expected to find (olefile_check.py "written").
int Write(const wchar_t* path) {
  ComPtr<ISFMain> main;
  CHECK(CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, main.put_void()));
  ComPtr<IDispatch> d;
  CHECK(main->CreateStorageFile(Bstr(path).get(), 0x1012, d.put()));
  auto root = As<ISFStorage>(d.get());
  CHECK(root->put_classID(Bstr(L"{59B71984-3121-402E-A110-0B54BDC3EF32}").get()));

  CHECK(root->CreateStream(Bstr(L"Header").get(), 0x1012, d.put()));
  CHECK(WriteBytes(As<ISFStream>(d.get()).get(), std::string("ORVANTA\0\x01\x02", 10)));
  // Over the 4096-byte cut-off, so that the stream lives in regular sectors.
  std::string all;
  for (int i = 0; i < 5000; ++i) all += static_cast<char>(i % 251);
  CHECK(root->CreateSubStream(Bstr(L"Data/Bytes").get(), 0x12, d.put()));
  CHECK(WriteBytes(As<ISFStream>(d.get()).get(), all));
  d.reset();
  CHECK(root->CreateSubStream(Bstr(L"Data\\Deeper/Leaf").get(), 0x12, d.put()));
  auto leaf = As<ISFStream>(d.get());
  CHECK(leaf->put_unicodeText(1));
  CHECK(leaf->WriteText(Bstr(L"Z\u00fcrich").get(), 1));
  leaf.reset();
  d.reset();
  CHECK(root->OpenStorage(Bstr(L"Data").get(), 0x12, d.put()));
  CHECK(As<ISFStorage>(d.get())->put_classID(Bstr(L"{0C1A8E6B-7E3A-4F55-9B1E-2D6C7F0A1B2C}").get()));
  d.reset();
  CHECK(root->CreateStorage(Bstr(L"Empty").get(), 0x1012, d.put()));
  d.reset();
  CHECK(root->CreateStream(Bstr(L"Small").get(), 0x1012, d.put()));
  CHECK(As<ISFStream>(d.get())->WriteText(Bstr(L"abc").get(), 0));
  d.reset();
  CHECK(root->Commit(0));
  return 0;
}

std::string HexName(const std::wstring& name) {
  std::string out;
  char unit[8];
  for (wchar_t c : name) {
    std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(c));
    out += unit;
  }
  return out;
}

// Lists `st` below `prefix`, element by element, through contents, OpenStorage and
// OpenStream.
HRESULT Dump(ISFStorage* st, const std::string& prefix, std::string& listing) {
  ComPtr<IDispatch> d;
  HRESULT hr = st->get_contents(d.put());
  if (FAILED(hr)) return hr;
  auto items = As<IVarDictionary>(d.get());
  LONG count = 0;
  items->get_Count(&count);
  for (LONG i = 1; i <= count; ++i) {
    Variant index, item;
    V_VT(index.get()) = VT_I4;
    V_I4(index.get()) = i;
    if (FAILED(hr = items->get_Item(*index.get(), item.get()))) return hr;
    auto info = As<ISFInfo>(V_DISPATCH(item.get()));
    Bstr name;
    LONG type = 0;
    info->get_name(name.put());
    info->get_Type(&type);
    const std::string path = prefix + HexName(name.c_str());
    ComPtr<IDispatch> element;
    if (type == STGTY_STORAGE) {
      if (FAILED(hr = st->OpenStorage(name.get(), 0x10, element.put()))) return hr;
      auto sub = As<ISFStorage>(element.get());
      Bstr clsid;
      sub->get_classID(clsid.put());
      listing += "storage " + path + " " + std::string(clsid.c_str(), clsid.c_str() + clsid.length()) + "\n";
      if (FAILED(hr = Dump(sub.get(), path + "/", listing))) return hr;
    } else {
      if (FAILED(hr = st->OpenStream(name.get(), 0x10, element.put()))) return hr;
      auto s = As<ISFStream>(element.get());
      LONG size = 0;
      s->get_Size(&size);
      std::string hex;
      if (size > 0) {
        Variant bytes;
        if (FAILED(hr = s->ReadBin(size, bytes.get()))) return hr;
        SAFEARRAY* sa = V_ARRAY(bytes.get());
        const auto* p = static_cast<const unsigned char*>(sa->pvData);
        char two[4];
        for (ULONG b = 0; b < sa->rgsabound[0].cElements; ++b) {
          std::snprintf(two, sizeof two, "%02x", p[b]);
          hex += two;
        }
      }
      listing += "stream " + path + " " + hex + "\n";
    }
  }
  return S_OK;
}

int DumpFile(const wchar_t* path, const wchar_t* out) {
  ComPtr<ISFMain> main;
  CHECK(CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, main.put_void()));
  ComPtr<IDispatch> d;
  CHECK(main->OpenStorageFile(Bstr(path).get(), 0x10, d.put()));
  auto root = As<ISFStorage>(d.get());
  Bstr clsid;
  CHECK(root->get_classID(clsid.put()));
  std::string listing = "root - " + std::string(clsid.c_str(), clsid.c_str() + clsid.length()) + "\n";
  CHECK(Dump(root.get(), "", listing));
  FILE* f = _wfopen(out, L"wb");
  if (!f) return Fail("writing the listing", E_FAIL);
  std::fwrite(listing.data(), 1, listing.size(), f);
  std::fclose(f);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  orv::ComInit com(COINIT_APARTMENTTHREADED);
  if (argc == 3 && std::wstring(argv[1]) == L"write") return Write(argv[2]);
  if (argc == 4 && std::wstring(argv[1]) == L"dump") return DumpFile(argv[2], argv[3]);
  std::fprintf(stderr, "usage: storage_interop write FILE | dump FILE LISTING\n");
  return 2;
}
