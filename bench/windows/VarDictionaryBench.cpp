// Name lookups on dictionaries of growing size: 1,000,000 Item(name) calls on 1k, 10k and
// 100k items, through the vtable and through IDispatch, beside Scripting.Dictionary
// through IDispatch. The time per lookup must not grow with the dictionary.
//   tools/winerun build/win/bin/bench_vardictionary.exe
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "bench/windows/BenchLibrary.h"

namespace {

constexpr int kLookups = 1000000;

struct Keys {
  std::vector<VARIANT> names;
  explicit Keys(int n) : names(n) {
    for (int i = 0; i < n; ++i) {
      VariantInit(&names[i]);
      V_VT(&names[i]) = VT_BSTR;
      V_BSTR(&names[i]) = SysAllocString((L"key" + std::to_wstring(i)).c_str());
    }
  }
  ~Keys() {
    for (auto& v : names) VariantClear(&v);
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

HRESULT Fill(IDispatch* d, const Keys& keys, DISPID add) {
  for (size_t i = 0; i < keys.names.size(); ++i) {
    VARIANT args[2];
    args[1] = keys.names[i];  // reversed order: key, then value
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_I4;
    V_I4(&args[0]) = static_cast<LONG>(i);
    DISPPARAMS params = {args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = d->Invoke(add, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    VariantClear(&result);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// ns per lookup through IDispatch (DISPID 0, property get, one argument).
double LookupDispatch(IDispatch* d, const Keys& keys, long long& sum) {
  const auto start = std::chrono::steady_clock::now();
  const size_t n = keys.names.size();
  for (int i = 0; i < kLookups; ++i) {
    VARIANT arg = keys.names[(i * 7919u) % n];
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    d->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params, &result, nullptr, nullptr);
    sum += V_I4(&result);
    VariantClear(&result);
  }
  return Seconds(start) * 1e9 / kLookups;
}

// Names are asked for in a scattered order (stride 7919) or in insertion order.
double LookupVtable(IVarDictionary* d, const Keys& keys, long long& sum, unsigned stride = 7919) {
  const auto start = std::chrono::steady_clock::now();
  const size_t n = keys.names.size();
  for (int i = 0; i < kLookups; ++i) {
    VARIANT result;
    VariantInit(&result);
    d->get_Item(keys.names[(i * stride) % n], &result);
    sum += V_I4(&result);
    VariantClear(&result);
  }
  return Seconds(start) * 1e9 / kLookups;
}

}  // namespace

int wmain() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  IClassFactory* factory = bench::LibraryFactory(CLSID_VarDictionary, "bench_vardictionary");
  if (!factory) return 1;
  CLSID peerClsid;
  const bool havePeer = SUCCEEDED(CLSIDFromProgID(L"Scripting.Dictionary", &peerClsid));

  std::printf("1,000,000 Item(name) lookups, ns per lookup\n");
  std::printf("names in insertion order, then scattered; Scripting.Dictionary through IDispatch as scripts see it\n");
  std::printf("%8s  %15s  %15s  %16s  %21s\n", "items", "vtable, order", "vtable, scatter", "IDispatch, scatter",
              "Scripting.Dictionary");
  for (int n : {1000, 10000, 100000}) {
    Keys keys(n);
    IVarDictionary* ours = nullptr;
    if (FAILED(factory->CreateInstance(nullptr, __uuidof(IVarDictionary), reinterpret_cast<void**>(&ours)))) return 1;
    if (FAILED(Fill(ours, keys, 1))) return 1;
    long long sum = 0;
    const double inOrder = LookupVtable(ours, keys, sum, 1);
    const double vt = LookupVtable(ours, keys, sum);
    const double disp = LookupDispatch(ours, keys, sum);
    ours->Release();
    double peer = 0;
    if (havePeer) {
      IDispatch* theirs = nullptr;
      if (SUCCEEDED(CoCreateInstance(peerClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                     reinterpret_cast<void**>(&theirs)))) {
        DISPID add = 0;
        LPOLESTR name = const_cast<LPOLESTR>(L"Add");
        theirs->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &add);
        if (SUCCEEDED(Fill(theirs, keys, add))) peer = LookupDispatch(theirs, keys, sum);
        theirs->Release();
      }
    }
    std::printf("%8d  %15.0f  %15.0f  %18.0f  %21.0f%s\n", n, inOrder, vt, disp, peer, sum ? "" : " (no hits?)");
  }
  factory->Release();
  CoUninitialize();
  return 0;
}
