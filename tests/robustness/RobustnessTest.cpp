// Calls every member of every creatable class of OrvantaVessa through IDispatch::Invoke
// with a fixed matrix of hostile arguments. Passing means: no crash, no hang (a watchdog
// ends the process and names the member), and a defined HRESULT. The harness reads the
// embedded type library, so each new class is covered without new code here.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

using orvtest::Library;

namespace {

constexpr DWORD kCallLimitMs = 20000;
std::atomic<const wchar_t*> g_current{L""};
std::wstring g_currentName;
std::atomic<DWORD> g_callStarted{0};

DWORD WINAPI Watchdog(void*) {
  for (;;) {
    Sleep(500);
    const DWORD started = g_callStarted.load();
    // The start is stamped with its low bit set, so it may lie one tick ahead of now:
    // compare the signed difference, or that tick reads as a 49-day wait.
    if (started && static_cast<LONG>(GetTickCount() - started) > static_cast<LONG>(kCallLimitMs)) {
      fwprintf(stderr, L"robustness: call hangs: %ls\n", g_currentName.c_str());
      fflush(stderr);
      ExitProcess(3);
    }
  }
}

// Members that wait by design get small numbers only.
bool WaitsByDesign(const std::wstring& member) {
  for (const wchar_t* w : {L"Wait", L"Sleep", L"Lock", L"Timeout", L"Join", L"Run", L"Start", L"Exec", L"Call"})
    if (member.find(w) != std::wstring::npos) return true;
  return false;
}

// The hostile values; `small` replaces the huge numbers.
std::vector<orv::Variant> HostileValues(bool small) {
  std::vector<orv::Variant> values;
  auto add = [&values](auto fill) {
    values.emplace_back();
    fill(values.back().get());
  };
  add([](VARIANT* v) { V_VT(v) = VT_EMPTY; });
  add([](VARIANT* v) { V_VT(v) = VT_NULL; });
  add([](VARIANT* v) { V_VT(v) = VT_ERROR; V_ERROR(v) = DISP_E_PARAMNOTFOUND; });
  add([small](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = small ? 1 : 0x7FFFFFFF; });
  add([](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = -1; });
  add([small](VARIANT* v) { V_VT(v) = VT_I4; V_I4(v) = small ? -2 : INT_MIN; });
  add([small](VARIANT* v) { V_VT(v) = VT_R8; V_R8(v) = small ? 0.5 : 1e308; });
  add([](VARIANT* v) { V_VT(v) = VT_I2; V_I2(v) = 0; });
  add([](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = SysAllocString(L""); });
  add([](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = SysAllocString(L"robust\\scratch.txt"); });
  add([](VARIANT* v) {
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocStringLen(nullptr, 70000);
    for (UINT i = 0; i < 70000; ++i) V_BSTR(v)[i] = L'A' + i % 26;
  });
  add([](VARIANT* v) { V_VT(v) = VT_BSTR; V_BSTR(v) = nullptr; });
  add([](VARIANT* v) { V_VT(v) = VT_DISPATCH; V_DISPATCH(v) = nullptr; });
  add([](VARIANT* v) {  // a foreign object of the wrong kind
    IStream* s = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &s);
    V_VT(v) = VT_UNKNOWN;
    V_UNKNOWN(v) = s;
  });
  add([](VARIANT* v) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 3);
    V_VT(v) = VT_ARRAY | VT_UI1;
    V_ARRAY(v) = sa;
  });
  add([](VARIANT* v) { V_VT(v) = VT_ARRAY | VT_UI1; V_ARRAY(v) = nullptr; });
  return values;
}

struct Member {
  DISPID id;
  INVOKEKIND kind;
  std::wstring name;
  std::vector<VARTYPE> types;  // declared parameter types, in declaration order
};

// A harmless value of a declared parameter type, so that one hostile argument at a time
// gets past the type conversions and reaches the member's own checks.
orv::Variant BenignValue(VARTYPE type) {
  orv::Variant value;
  VARIANT* v = value.get();
  switch (type) {
    case VT_BSTR:
      V_VT(v) = VT_BSTR;
      V_BSTR(v) = SysAllocString(L"robust\\benign.txt");
      break;
    case VT_DISPATCH:
      V_VT(v) = VT_DISPATCH;
      V_DISPATCH(v) = nullptr;
      break;
    case VT_UNKNOWN:
      V_VT(v) = VT_UNKNOWN;
      V_UNKNOWN(v) = nullptr;
      break;
    default:
      V_VT(v) = VT_I4;
      V_I4(v) = 0;
      break;
  }
  return value;
}

std::vector<Member> Members(ITypeInfo* info) {
  std::vector<Member> out;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return out;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* fd = nullptr;
    if (FAILED(info->GetFuncDesc(i, &fd))) continue;
    orv::Bstr name;
    info->GetDocumentation(fd->memid, name.put(), nullptr, nullptr, nullptr);
    // Skip the IUnknown and IDispatch members.
    if (!(fd->wFuncFlags & FUNCFLAG_FRESTRICTED) || fd->memid == DISPID_NEWENUM) {
      std::vector<VARTYPE> types;
      for (SHORT p = 0; p < fd->cParams; ++p) types.push_back(fd->lprgelemdescParam[p].tdesc.vt);
      out.push_back({fd->memid, fd->invkind, name.c_str(), std::move(types)});
    }
    info->ReleaseFuncDesc(fd);
  }
  info->ReleaseTypeAttr(attr);
  return out;
}

bool DefinedResult(HRESULT hr) {
  // Any HRESULT is defined except a crash turned into one.
  return hr != static_cast<HRESULT>(0xC0000005) && hr != RPC_E_SERVERFAULT;
}

HRESULT CallWith(IDispatch* disp, const Member& m, std::vector<VARIANT>& args, const std::wstring& label) {
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  WORD flags = static_cast<WORD>(m.kind);
  if (m.kind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) {
    if (args.empty()) return S_OK;
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep = {};
  UINT argErr = 0;
  g_currentName = label;
  g_callStarted = GetTickCount() | 1;
  const HRESULT hr = disp->Invoke(m.id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, &excep, &argErr);
  g_callStarted = 0;
  EXPECT_TRUE(DefinedResult(hr)) << std::string(label.begin(), label.end());
  VariantClear(&result);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

// The served classes of the library, by CLSID and name, in type-library order.
std::vector<std::pair<CLSID, std::wstring>> ServedClasses(Library& lib) {
  std::vector<std::pair<CLSID, std::wstring>> out;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(lib.handle(), path, MAX_PATH);
  orv::ComPtr<ITypeLib> tlb;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, tlb.put()))) return out;
  for (UINT i = 0; i < tlb->GetTypeInfoCount(); ++i) {
    orv::ComPtr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    if (FAILED(tlb->GetTypeInfo(i, info.put())) || FAILED(info->GetTypeAttr(&attr))) continue;
    const bool coclass = attr->typekind == TKIND_COCLASS;
    const CLSID clsid = attr->guid;
    info->ReleaseTypeAttr(attr);
    if (!coclass) continue;
    orv::ComPtr<IClassFactory> factory;
    if (FAILED(lib.GetClassObject(clsid, IID_IClassFactory, factory.put_void()))) continue;  // not built
    orv::Bstr name;
    info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    out.emplace_back(clsid, name.c_str());
  }
  return out;
}

// The members of a fresh object of the class.
std::vector<Member> ClassMembers(Library& lib, REFCLSID clsid) {
  orv::ComPtr<IClassFactory> f;
  orv::ComPtr<IDispatch> d;
  orv::ComPtr<ITypeInfo> ti;
  if (SUCCEEDED(lib.GetClassObject(clsid, IID_IClassFactory, f.put_void())) &&
      SUCCEEDED(f->CreateInstance(nullptr, IID_IDispatch, d.put_void())) && SUCCEEDED(d->GetTypeInfo(0, 0, ti.put())))
    return Members(ti.get());
  return {};
}

// Calls the member on a fresh object, so that one call's damage does not hide the next one's.
HRESULT CallFresh(Library& lib, REFCLSID clsid, const Member& m, std::vector<VARIANT>& args, const std::wstring& label) {
  orv::ComPtr<IClassFactory> factory;
  orv::ComPtr<IDispatch> disp;
  if (FAILED(lib.GetClassObject(clsid, IID_IClassFactory, factory.put_void())) ||
      FAILED(factory->CreateInstance(nullptr, IID_IDispatch, disp.put_void()))) {
    ADD_FAILURE() << "cannot create " << std::string(label.begin(), label.end());
    return E_FAIL;
  }
  return CallWith(disp.get(), m, args, label);
}

void Exercise(Library& lib, REFCLSID clsid, const std::wstring& className, int& calls) {
  for (const Member& probe : ClassMembers(lib, clsid)) {
    const auto values = HostileValues(WaitsByDesign(probe.name));
    const int declared = static_cast<int>(probe.types.size());
    std::vector<orv::Variant> benign;
    for (VARTYPE t : probe.types) benign.push_back(BenignValue(t));
    auto call = [&](std::vector<VARIANT>& args, const std::wstring& what) {
      CallFresh(lib, clsid, probe, args, className + L"." + probe.name + L" " + what);
      ++calls;
    };
    // No arguments at all, and one more than declared.
    std::vector<VARIANT> none;
    call(none, L"without arguments");
    std::vector<VARIANT> extra(declared + 1);
    for (VARIANT& a : extra) a = *values[0].get();
    call(extra, L"with an extra argument");
    for (size_t v = 0; v < values.size(); ++v) {
      // Every parameter holds the same hostile value, every second one by reference.
      std::vector<VARIANT> args(declared);
      std::vector<VARIANT> byRefTargets(declared);
      for (int a = 0; a < declared; ++a) {
        if (a % 2 == 1) {
          byRefTargets[a] = *values[v].get();
          V_VT(&args[a]) = VT_BYREF | VT_VARIANT;
          V_VARIANTREF(&args[a]) = &byRefTargets[a];
        } else {
          args[a] = *values[v].get();  // borrowed: Invoke must not free [in] arguments
        }
      }
      call(args, L"all #" + std::to_wstring(v));
      // One hostile value at a time among harmless ones of the declared types. The
      // arguments are in reverse order: rgvarg[declared - 1] is the first parameter.
      if (declared < 2) continue;
      for (int p = 0; p < declared; ++p) {
        std::vector<VARIANT> mixed(declared);
        for (int a = 0; a < declared; ++a) mixed[a] = *benign[declared - 1 - a].get();
        mixed[declared - 1 - p] = *values[v].get();
        call(mixed, L"param " + std::to_wstring(p) + L" #" + std::to_wstring(v));
      }
    }
  }
}

TEST(RobustnessTest, EveryMemberSurvivesHostileArguments) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // Path arguments resolve into a scratch folder of the build tree.
  const std::wstring scratch = orvtest::BinPath(L"robustness-scratch");
  CreateDirectoryW(scratch.c_str(), nullptr);
  CreateDirectoryW((scratch + L"\\robust").c_str(), nullptr);
  SetCurrentDirectoryW(scratch.c_str());
  CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));

  Library lib(L"OrvantaVessa.dll");
  ASSERT_NE(nullptr, lib.handle());
  int classes = 0, calls = 0;
  for (const auto& [clsid, name] : ServedClasses(lib)) {
    ++classes;
    Exercise(lib, clsid, name, calls);
  }
  std::printf("robustness: %d classes, %d calls\n", classes, calls);
  SetCurrentDirectoryW(orvtest::BinPath(L"").c_str());
  CoUninitialize();
}

// JScript writes "no object" as null or undefined: for every object parameter of every
// member, VT_NULL, VT_EMPTY and a reference to VT_NULL (as VBScript passes variables) give
// the result a null pointer gives, never a type mismatch.
TEST(RobustnessTest, NullAndUndefinedAreNoObject) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring scratch = orvtest::BinPath(L"robustness-scratch");
  CreateDirectoryW(scratch.c_str(), nullptr);
  SetCurrentDirectoryW(scratch.c_str());
  Library lib(L"OrvantaVessa.dll");
  ASSERT_NE(nullptr, lib.handle());
  int checked = 0;
  for (const auto& [clsid, name] : ServedClasses(lib)) {
    for (const Member& m : ClassMembers(lib, clsid)) {
      if (WaitsByDesign(m.name)) continue;
      const int declared = static_cast<int>(m.types.size());
      for (int p = 0; p < declared; ++p) {
        if (m.types[p] != VT_DISPATCH && m.types[p] != VT_UNKNOWN) continue;
        const std::wstring label = name + L"." + m.name + L" param " + std::to_wstring(p);
        std::vector<orv::Variant> benign;
        for (VARTYPE t : m.types) benign.push_back(BenignValue(t));
        auto args = [&](const VARIANT& value) {
          std::vector<VARIANT> out(declared);
          for (int a = 0; a < declared; ++a) out[a] = *benign[declared - 1 - a].get();
          out[declared - 1 - p] = value;
          return out;
        };
        auto nullPointer = args(*benign[p].get());
        const HRESULT expected = CallFresh(lib, clsid, m, nullPointer, label);
        VARIANT jsNull, jsUndefined, vbNull, target;
        V_VT(&jsNull) = VT_NULL;
        V_VT(&jsUndefined) = VT_EMPTY;
        V_VT(&target) = VT_NULL;
        V_VT(&vbNull) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&vbNull) = &target;
        for (const VARIANT* given : {&jsNull, &jsUndefined, &vbNull}) {
          auto call = args(*given);
          EXPECT_EQ(expected, CallFresh(lib, clsid, m, call, label))
              << std::string(label.begin(), label.end()) << " given VT " << V_VT(given);
        }
        ++checked;
      }
    }
  }
  std::printf("no-object rule: %d object parameters\n", checked);
  EXPECT_GT(checked, 5);
  SetCurrentDirectoryW(orvtest::BinPath(L"").c_str());
  CoUninitialize();
}

}  // namespace
