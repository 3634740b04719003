// The helper layer every class uses: object template with aggregation and lock count,
// index rule, name folding, cloning, snapshot enumerator, success flags.
#include <gtest/gtest.h>

#include "OrvantaVessa.h"
#include "components/module/Cloning.h"
#include "components/module/ComObject.h"
#include "components/module/IndexRule.h"
#include "components/module/SuccessFlag.h"
#include "components/module/VariantEnum.h"
#include "tests/support/TestSupport.h"

namespace {

// A cloneable object that counts its clones.
class Sheep final : public orv::ComObject<Sheep, IDollyTheSheep, IPersist> {
 public:
  static inline int clones = 0;
  static inline HRESULT failWith = S_OK;
  STDMETHODIMP NewClone(IUnknown** out) noexcept override {
    if (failWith != S_OK) return failWith;
    ++clones;
    return Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(out));
  }
  STDMETHODIMP GetClassID(CLSID* id) noexcept override {
    *id = GUID_NULL;
    return S_OK;
  }
};

// A minimal outer object for aggregation.
struct Outer : IUnknown {
  LONG refs = 1;
  IUnknown* inner = nullptr;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
};

TEST(ComObjectTest, ReferenceCountsLockCountAndIdentity) {
  const LONG before = orv::ModuleLockCount();
  IUnknown* unk = nullptr;
  ASSERT_EQ(S_OK, Sheep::Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unk)));
  EXPECT_EQ(before + 1, orv::ModuleLockCount());
  IPersist* persist = nullptr;
  ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
  IUnknown* again = nullptr;
  persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again));
  EXPECT_EQ(unk, again);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, unk->QueryInterface(IID_IDispatch, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_POINTER, unk->QueryInterface(IID_IUnknown, nullptr));
  again->Release();
  persist->Release();
  EXPECT_EQ(0u, unk->Release());
  EXPECT_EQ(before, orv::ModuleLockCount());
}

TEST(ComObjectTest, AggregationDelegatesToTheOuterObject) {
  Outer outer;
  void* p = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, Sheep::Create(&outer, IID_IPersist, &p));
  ASSERT_EQ(S_OK, Sheep::Create(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)));
  IPersist* persist = nullptr;
  ASSERT_EQ(S_OK, outer.QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)));
  const LONG outerRefs = outer.refs;
  persist->AddRef();  // counted on the outer object
  EXPECT_EQ(outerRefs + 1, outer.refs);
  IUnknown* viaInner = nullptr;
  persist->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInner));
  EXPECT_EQ(static_cast<IUnknown*>(&outer), viaInner);
  viaInner->Release();
  persist->Release();
  persist->Release();
  EXPECT_EQ(0u, outer.inner->Release());
}

TEST(IndexRuleTest, NumbersArePositionsEverythingElseIsAName) {
  auto classify = [](VARIANT v, orv::IndexKey& k) { return orv::ClassifyIndex(&v, k); };
  orv::IndexKey k;
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_R8;
  V_R8(&v) = 2.0;
  ASSERT_EQ(S_OK, classify(v, k));
  EXPECT_TRUE(k.isPosition);
  EXPECT_EQ(2, k.position);
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = VARIANT_TRUE;
  ASSERT_EQ(S_OK, classify(v, k));
  EXPECT_TRUE(k.isPosition);
  EXPECT_EQ(-1, k.position);
  // By reference, as VBScript passes variables.
  VARIANT inner;
  V_VT(&inner) = VT_I2;
  V_I2(&inner) = 3;
  V_VT(&v) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&v) = &inner;
  ASSERT_EQ(S_OK, classify(v, k));
  EXPECT_TRUE(k.isPosition);
  EXPECT_EQ(3, k.position);
  // Text, even when it looks like a number, and dates and 64-bit numbers are names.
  orv::Variant s;
  V_VT(s.put()) = VT_BSTR;
  V_BSTR(s.get()) = SysAllocString(L"2");
  ASSERT_EQ(S_OK, orv::ClassifyIndex(s.get(), k));
  EXPECT_FALSE(k.isPosition);
  EXPECT_EQ(L"2", k.name);
  V_VT(&v) = VT_I8;
  V_I8(&v) = 7;
  ASSERT_EQ(S_OK, classify(v, k));
  EXPECT_FALSE(k.isPosition);
  EXPECT_EQ(L"7", k.name);
  V_VT(&v) = VT_R8;
  V_R8(&v) = 1e300;  // beyond a position
  EXPECT_EQ(DISP_E_TYPEMISMATCH, classify(v, k));
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = nullptr;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, classify(v, k));
}

TEST(IndexRuleTest, NamesCompareIgnoringCase) {
  EXPECT_TRUE(orv::NamesEqual(L"Key", L"kEY"));
  EXPECT_TRUE(orv::NamesEqual(L"\u00E9t\u00E9", L"\u00C9T\u00C9"));
  EXPECT_FALSE(orv::NamesEqual(L"Key", L"Keys"));
  EXPECT_FALSE(orv::NamesEqual(L"a", L"b"));
  EXPECT_EQ(orv::FoldName(L"Stra\u00DFe"), orv::FoldName(L"STRA\u00DFE"));
}

TEST(CloneValueTest, ClonesDollyObjectsAndSharesOthers) {
  Sheep::clones = 0;
  IUnknown* sheep = nullptr;
  ASSERT_EQ(S_OK, Sheep::Create(nullptr, IID_IUnknown, reinterpret_cast<void**>(&sheep)));
  VARIANT src, dst;
  V_VT(&src) = VT_UNKNOWN;
  V_UNKNOWN(&src) = sheep;
  ASSERT_EQ(S_OK, orv::CloneValue(&dst, &src));
  EXPECT_EQ(VT_UNKNOWN, V_VT(&dst));
  EXPECT_NE(sheep, V_UNKNOWN(&dst));
  EXPECT_EQ(1, Sheep::clones);
  VariantClear(&dst);
  // Failure of the clone is returned and leaves an empty value.
  Sheep::failWith = E_ACCESSDENIED;
  EXPECT_EQ(E_ACCESSDENIED, orv::CloneValue(&dst, &src));
  EXPECT_EQ(VT_EMPTY, V_VT(&dst));
  Sheep::failWith = S_OK;
  EXPECT_EQ(0u, sheep->Release());
  // Plain values are copied with references resolved.
  VARIANT text, ref;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"abc");
  V_VT(&ref) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&ref) = &text;
  ASSERT_EQ(S_OK, orv::CloneValue(&dst, &ref));
  EXPECT_EQ(VT_BSTR, V_VT(&dst));
  EXPECT_STREQ(L"abc", V_BSTR(&dst));
  EXPECT_NE(V_BSTR(&text), V_BSTR(&dst));
  VariantClear(&dst);
  VariantClear(&text);
}

TEST(VariantEnumTest, SnapshotNextSkipResetClone) {
  orv::VariantSnapshot items(3);
  for (int i = 0; i < 3; ++i) {
    V_VT(items[i].put()) = VT_I4;
    V_I4(items[i].get()) = 10 + i;
  }
  orv::ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(S_OK, orv::CreateVariantEnumerator(std::move(items), e.put()));
  VARIANT out[4];
  ULONG got = 0;
  ASSERT_EQ(S_OK, e->Next(1, out, &got));
  EXPECT_EQ(10, V_I4(&out[0]));
  orv::ComPtr<IEnumVARIANT> copy;
  ASSERT_EQ(S_OK, e->Clone(copy.put()));
  EXPECT_EQ(S_FALSE, e->Next(4, out, &got));
  EXPECT_EQ(2u, got);
  EXPECT_EQ(12, V_I4(&out[1]));
  EXPECT_EQ(S_FALSE, e->Next(1, out, &got));
  EXPECT_EQ(0u, got);
  ASSERT_EQ(S_OK, copy->Next(1, out, nullptr));  // the clone kept its own position
  EXPECT_EQ(11, V_I4(&out[0]));
  EXPECT_EQ(S_FALSE, copy->Skip(5));
  EXPECT_EQ(S_OK, copy->Reset());
  EXPECT_EQ(S_OK, copy->Skip(2));
  EXPECT_EQ(E_INVALIDARG, copy->Next(2, out, nullptr));
}

TEST(SuccessFlagTest, OneOrZeroWithOkOrFalse) {
  VARIANT v;
  EXPECT_EQ(S_OK, orv::SetSuccessFlag(&v, true));
  EXPECT_EQ(VT_BOOL, V_VT(&v));
  EXPECT_EQ(1, V_BOOL(&v));
  EXPECT_EQ(S_FALSE, orv::SetSuccessFlag(&v, false));
  EXPECT_EQ(0, V_BOOL(&v));
  EXPECT_EQ(S_FALSE, orv::SetSuccessFlag(static_cast<VARIANT*>(nullptr), false));
}

// Member names are answered from a folded table; every answer must be the one the type
// information gives, in any letter case, and what the table does not hold (unknown names,
// named arguments) must still get the type information's answers and errors.
TEST(DispatchTest, NameLookupsAgreeWithTheTypeInformation) {
  orv::ComInit com(COINIT_APARTMENTTHREADED);
  for (const CLSID* clsid : {&CLSID_SFStream, &CLSID_VarDictionary}) {
    orv::ComPtr<IDispatch> disp;
    ASSERT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, disp.put_void()));
    orv::ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    const UINT funcs = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    int named = 0;
    for (UINT i = 0; i < funcs; ++i) {
      FUNCDESC* func = nullptr;
      ASSERT_EQ(S_OK, info->GetFuncDesc(i, &func));
      const MEMBERID memid = func->memid;
      info->ReleaseFuncDesc(func);
      orv::Bstr name;
      UINT got = 0;
      ASSERT_EQ(S_OK, info->GetNames(memid, name.put(), 1, &got));
      std::wstring lower = name.c_str(), upper = name.c_str();
      for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
      for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
      for (const std::wstring& asked : {std::wstring(name.c_str()), lower, upper}) {
        LPOLESTR n = const_cast<LPOLESTR>(asked.c_str());
        DISPID expected = 0, id = 0;
        ASSERT_EQ(S_OK, info->GetIDsOfNames(&n, 1, &expected));
        ASSERT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id)) << asked;
        EXPECT_EQ(expected, id) << asked;
      }
      ++named;
    }
    EXPECT_GT(named, 7);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember"), const_cast<LPOLESTR>(L"")};
    for (LPOLESTR n : unknown) {
      DISPID id = 0;
      EXPECT_EQ(DISP_E_UNKNOWNNAME, disp->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id));
      EXPECT_EQ(DISPID_UNKNOWN, id);
    }
  }
  // A member with a named argument: the argument's position comes back beside the member.
  orv::ComPtr<IDispatch> stream;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFStream, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, stream.put_void()));
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"readtext"), const_cast<LPOLESTR>(L"LCHARS")};
  DISPID ids[2] = {};
  EXPECT_EQ(S_OK, stream->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids));
  EXPECT_EQ(10, ids[0]);
  EXPECT_EQ(0, ids[1]);
}

}  // namespace
