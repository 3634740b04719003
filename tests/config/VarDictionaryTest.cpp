// VarDictionary through its vtable and IDispatch (objects of the registered library),
// and the internal entry points other classes build dictionaries with (linked in).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "OrvantaVessa.h"
#include "components/config/VarDictionary.h"
#include "components/module/IndexRule.h"
#include "tests/support/TestSupport.h"

using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Obj;
using orvtest::R8;
using orvtest::Str;
using orvtest::Text;
using orvtest::TakeErrorRecord;

namespace {

constexpr HRESULT kReadOnlyHr = static_cast<HRESULT>(0x80042799);  // message 10137

class VarDictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    d = Make();
  }
  void TearDown() override {
    d.reset();
    CoUninitialize();
  }
  static ComPtr<IVarDictionary> Make(REFCLSID clsid = CLSID_VarDictionary) {
    ComPtr<IVarDictionary> p;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IVarDictionary), p.put_void()));
    return p;
  }
  LONG Add(IVarDictionary* dict, const wchar_t* key, Variant value, HRESULT expect = S_OK) {
    LONG place = 99;
    EXPECT_EQ(expect, dict->Add(*Str(key).get(), *value.get(), &place)) << key;
    return place;
  }
  LONG Add(const wchar_t* key, LONG value, HRESULT expect = S_OK) { return Add(d.get(), key, I4(value), expect); }
  std::wstring Item(const Variant& index) {
    Variant out;
    EXPECT_EQ(S_OK, d->get_Item(*index.get(), out.get()));
    return Text(out.get());
  }
  std::wstring Key(LONG pos) {
    Variant out;
    EXPECT_EQ(S_OK, d->get_Key(*I4(pos).get(), out.get()));
    return out.vt() == VT_EMPTY ? L"<empty>" : Text(out.get());
  }
  LONG Count() {
    LONG n = -1;
    EXPECT_EQ(S_OK, d->get_Count(&n));
    return n;
  }
  // The failure's HRESULT and the description of its error record.
  static void ExpectError(HRESULT got, HRESULT hr, const wchar_t* text) {
    EXPECT_EQ(hr, got);
    const auto rec = TakeErrorRecord();
    EXPECT_TRUE(rec.present);
    EXPECT_EQ(std::wstring(text), rec.description);
    EXPECT_EQ(L"Orvanta VarDictionary Class", rec.source);
  }

  ComPtr<IVarDictionary> d;
};

TEST_F(VarDictionaryTest, AddPlacesAndRefusals) {
  EXPECT_EQ(1, Add(L"a", 1));
  EXPECT_EQ(2, Add(L"b", 2));
  // A name that exists (any case), an empty name, a key that is not text.
  EXPECT_EQ(-1, Add(L"A", 3, S_FALSE));
  EXPECT_EQ(-2, Add(L"", 3, S_FALSE));
  LONG place = 99;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, d->Add(*orvtest::Null().get(), *I4(1).get(), &place));
  EXPECT_EQ(2, Count());
  EXPECT_EQ(L"1", Item(Str(L"A")));

  // A number key is stored as its text: found by that name, never by the number.
  EXPECT_EQ(3, Add(d.get(), L"7", I4(70)));
  EXPECT_EQ(L"70", Item(Str(L"7")));
  EXPECT_EQ(L"", Item(I4(7)));

  ASSERT_EQ(S_OK, d->put_allowUnnamedValues(1));
  EXPECT_EQ(4, Add(L"", 4));
  EXPECT_EQ(S_OK, d->Add(*orvtest::Null().get(), *I4(5).get(), &place));
  EXPECT_EQ(5, place);
  EXPECT_EQ(L"<empty>", Key(4));
  EXPECT_EQ(L"<empty>", Key(5));

  ASSERT_EQ(S_OK, d->put_allowDuplicateNames(-1));
  EXPECT_EQ(6, Add(L"A", 6));
  EXPECT_EQ(L"1", Item(Str(L"a")));  // first match
  EXPECT_EQ(6, Count());
  EXPECT_EQ(E_POINTER, d->Add(*Str(L"x").get(), *I4(1).get(), nullptr));
}

TEST_F(VarDictionaryTest, IndexResolutionAndMissingIndex) {
  ASSERT_EQ(S_OK, d->put_Missing(*Str(L"none").get()));
  ASSERT_EQ(S_OK, d->put_Root(*Str(L"root").get()));
  // Without items: no index gives Root, firstItemAsRoot then gives Missing.
  EXPECT_EQ(L"root", Item(orvtest::Missing()));
  ASSERT_EQ(S_OK, d->put_firstItemAsRoot(1));
  EXPECT_EQ(L"none", Item(orvtest::Missing()));
  Add(L"one", 1);
  Add(L"2", 2);
  Add(L"three", 3);
  EXPECT_EQ(L"1", Item(orvtest::Missing()));
  ASSERT_EQ(S_OK, d->put_firstItemAsRoot(0));
  EXPECT_EQ(L"root", Item(orvtest::Missing()));

  EXPECT_EQ(L"none", Item(I4(0)));
  EXPECT_EQ(L"none", Item(I4(4)));
  EXPECT_EQ(L"3", Item(R8(3.0)));
  EXPECT_EQ(L"none", Item(R8(1e300)));  // no 32-bit number: not found, not an error
  Variant t;
  V_VT(t.get()) = VT_BOOL;
  V_BOOL(t.get()) = VARIANT_TRUE;
  EXPECT_EQ(L"none", Item(t));           // -1 is a position out of range
  EXPECT_EQ(L"2", Item(Str(L"2")));      // the text 2 is a name
  EXPECT_EQ(L"3", Item(Str(L"THREE")));
  EXPECT_EQ(L"none", Item(Str(L"four")));
  EXPECT_EQ(L"none", Item(orvtest::Null()));

  // Script engines pass variables by reference.
  Variant inner = I4(3);
  Variant byref;
  V_VT(byref.get()) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(byref.get()) = inner.get();
  EXPECT_EQ(L"3", Item(byref));
  V_VT(byref.get()) = VT_EMPTY;  // not owned
}

TEST_F(VarDictionaryTest, KeyRulesAndErrors) {
  Add(L"5", 1);
  Add(L"Beta", 2);
  Add(L"c", 3);
  Variant out;
  EXPECT_EQ(S_OK, d->get_Key(*Str(L"2").get(), out.get()));  // text that reads as a number
  EXPECT_EQ(L"Beta", Text(out.get()));
  EXPECT_EQ(S_OK, d->get_Key(*I4(5).get(), out.put()));  // out of range: a name
  EXPECT_EQ(L"5", Text(out.get()));
  EXPECT_EQ(S_OK, d->get_Key(*Str(L"BETA").get(), out.put()));  // own spelling
  EXPECT_EQ(L"Beta", Text(out.get()));
  ExpectError(d->get_Key(*Str(L"zz").get(), out.put()), DISP_E_EXCEPTION, L"Key not found");
  ExpectError(d->get_Key(*orvtest::Null().get(), out.put()), DISP_E_EXCEPTION, L"Invalid key - must be number or item name");
  EXPECT_EQ(E_POINTER, d->get_Key(*I4(1).get(), nullptr));
}

TEST_F(VarDictionaryTest, SetAndItemAssignment) {
  Add(L"a", 1);
  LONG place = 99;
  EXPECT_EQ(S_OK, d->Set(*Str(L"A").get(), *I4(10).get(), &place));
  EXPECT_EQ(0, place);
  EXPECT_EQ(S_OK, d->Set(*Str(L"b").get(), *I4(20).get(), &place));
  EXPECT_EQ(2, place);
  EXPECT_EQ(S_OK, d->Set(*I4(2).get(), *I4(21).get(), &place));
  EXPECT_EQ(0, place);
  EXPECT_EQ(L"21", Item(Str(L"b")));
  ExpectError(d->Set(*I4(9).get(), *I4(1).get(), &place), DISP_E_EXCEPTION, L"New items can be set only by name");
  ExpectError(d->Set(*Str(L"").get(), *I4(1).get(), &place), DISP_E_EXCEPTION, L"Cannot add new value (unknown problem)");
  EXPECT_EQ(2, Count());

  ExpectError(d->put_Item(*Str(L"a").get(), *I4(1).get()), DISP_E_EXCEPTION,
              L"Assignment is not allowed - see itemsAssignmentAllowed property");
  ASSERT_EQ(S_OK, d->put_itemsAssignmentAllowed(1));
  ExpectError(d->put_Item(*orvtest::Missing().get(), *I4(1).get()), DISP_E_EXCEPTION,
              L"Index is missing (not optional if setting a value)");
  EXPECT_EQ(S_OK, d->put_Item(*Str(L"a").get(), *I4(11).get()));
  EXPECT_EQ(S_OK, d->put_Item(*Str(L"c").get(), *I4(30).get()));
  EXPECT_EQ(L"11", Item(Str(L"a")));
  EXPECT_EQ(L"c", Key(3));
}

TEST_F(VarDictionaryTest, ReadOnlyRefusesEveryChangeButFlagsAndClearEx) {
  Add(L"a", 1);
  Add(L"s", 0);
  EXPECT_EQ(E_POINTER, d->Set(*Str(L"s").get(), *Str(L"text").get(), nullptr));
  ASSERT_EQ(S_OK, d->put_itemsAssignmentAllowed(1));
  ASSERT_EQ(S_OK, d->put_readOnly(1));
  LONG flag = 0;
  EXPECT_EQ(S_OK, d->get_readOnly(&flag));
  EXPECT_EQ(1, flag);
  LONG place = 0;
  Variant result;
  const wchar_t* text = L"Object is in read-only mode.";
  ExpectError(d->Add(*Str(L"b").get(), *I4(1).get(), &place), kReadOnlyHr, text);
  ExpectError(d->Set(*Str(L"a").get(), *I4(1).get(), &place), kReadOnlyHr, text);
  ExpectError(d->Remove(*I4(1).get(), result.get()), kReadOnlyHr, text);
  ExpectError(d->Clear(), kReadOnlyHr, text);
  ExpectError(d->put_Item(*Str(L"a").get(), *I4(1).get()), kReadOnlyHr, text);
  ExpectError(d->put_Root(*I4(1).get()), kReadOnlyHr, text);
  ExpectError(d->put_Missing(*I4(1).get()), kReadOnlyHr, text);
  ExpectError(d->put_Info(*I4(1).get()), kReadOnlyHr, text);
  EXPECT_EQ(2, Count());
  EXPECT_EQ(L"1", Item(Str(L"a")));
  // The flags stay switchable and ClearEx still works.
  EXPECT_EQ(S_OK, d->put_enumItems(1));
  EXPECT_EQ(S_OK, d->ClearEx(0, *I4(VT_I4).get()));
  EXPECT_EQ(0, Count());
  EXPECT_EQ(S_OK, d->put_readOnly(0));
  EXPECT_EQ(1, Add(L"b", 2));
}

TEST_F(VarDictionaryTest, RemoveKeepsOrderAndFirstMatch) {
  ASSERT_EQ(S_OK, d->put_allowDuplicateNames(1));
  Add(L"x", 1);
  Add(L"y", 2);
  Add(L"X", 3);
  Add(L"x", 4);
  Variant result;
  EXPECT_EQ(S_OK, d->Remove(*Str(L"x").get(), result.get()));
  EXPECT_EQ(VT_BOOL, result.vt());
  EXPECT_EQ(1, V_BOOL(result.get()));
  EXPECT_EQ(L"3", Item(Str(L"x")));
  EXPECT_EQ(L"y", Key(1));
  EXPECT_EQ(S_OK, d->Remove(*I4(2).get(), result.put()));  // the X
  EXPECT_EQ(L"4", Item(Str(L"x")));
  EXPECT_EQ(S_FALSE, d->Remove(*I4(3).get(), result.put()));
  EXPECT_EQ(VT_BOOL, result.vt());
  EXPECT_EQ(0, V_BOOL(result.get()));
  EXPECT_EQ(S_FALSE, d->Remove(*Str(L"nothing").get(), result.put()));
  EXPECT_EQ(S_OK, d->Remove(*Str(L"X").get(), result.put()));
  EXPECT_EQ(L"", Item(Str(L"x")));
  EXPECT_EQ(1, Count());
  EXPECT_EQ(2, Add(L"x", 5));
  EXPECT_EQ(L"5", Item(Str(L"x")));
  EXPECT_EQ(S_OK, d->Clear());
  EXPECT_EQ(0, Count());
  EXPECT_EQ(L"", Item(Str(L"y")));
}

// Random adds, sets and removals against a plain list searched from the front: the index
// must give the same first match and positions throughout.
TEST_F(VarDictionaryTest, IndexAgreesWithAPlainScan) {
  struct Pair {
    std::wstring key;
    LONG value;
  };
  std::vector<Pair> model;
  std::mt19937 rng(7);
  // A few names in several spellings, and enough others to make the index grow, collide
  // and wrap around while names come and go.
  std::vector<std::wstring> names = {L"a", L"B", L"c", L"A", L"b", L"dd", L"\u00e9t\u00e9", L"\u00c9T\u00c9"};
  for (int i = 0; i < 120; ++i) names.push_back(L"n" + std::to_wstring(i));
  auto find = [&](const std::wstring& n) -> int {
    for (size_t i = 0; i < model.size(); ++i)
      if (orv::NamesEqual(model[i].key, n)) return static_cast<int>(i);
    return -1;
  };
  for (LONG step = 0; step < 4000; ++step) {
    if (step % 500 == 0) {
      ASSERT_EQ(S_OK, d->put_allowDuplicateNames(step % 1000 == 0));
    }
    LONG dup = 0;
    d->get_allowDuplicateNames(&dup);
    const std::wstring name = names[rng() % names.size()];
    switch (rng() % 4) {
      case 0:
      case 1: {
        const bool refuse = !dup && find(name) >= 0;
        LONG place = Add(d.get(), name.c_str(), I4(step), refuse ? S_FALSE : S_OK);
        if (!refuse) {
          model.push_back({name, step});
          ASSERT_EQ(static_cast<LONG>(model.size()), place);
        }
        break;
      }
      case 2: {
        LONG place = 0;
        ASSERT_EQ(S_OK, d->Set(*Str(name.c_str()).get(), *I4(step).get(), &place));
        const int at = find(name);
        if (at >= 0)
          model[at].value = step;
        else
          model.push_back({name, step});
        break;
      }
      case 3: {
        Variant result;
        if (!model.empty() && rng() % 2) {
          const LONG pos = 1 + rng() % model.size();
          ASSERT_EQ(S_OK, d->Remove(*I4(pos).get(), result.get()));
          model.erase(model.begin() + pos - 1);
        } else {
          const int at = find(name);
          ASSERT_EQ(at >= 0 ? S_OK : S_FALSE, d->Remove(*Str(name.c_str()).get(), result.get()));
          if (at >= 0) model.erase(model.begin() + at);
        }
        break;
      }
    }
    ASSERT_EQ(static_cast<LONG>(model.size()), Count());
    for (const std::wstring& n : names) {
      const int at = find(n);
      ASSERT_EQ(at >= 0 ? std::to_wstring(model[at].value) : L"", Item(Str(n.c_str()))) << step;
    }
  }
  for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(model[i].key, Key(static_cast<LONG>(i + 1)));
}

// An object's default value is stored, not the object.
TEST_F(VarDictionaryTest, ExtractValuesStoresDefaultValues) {
  ComPtr<IVarDictionary> holder = Make();
  ASSERT_EQ(S_OK, holder->put_Root(*I4(42).get()));
  ASSERT_EQ(S_OK, d->put_extractValues(1));
  EXPECT_EQ(1, Add(d.get(), L"x", Obj(holder.get())));
  Variant out;
  ASSERT_EQ(S_OK, d->get_Item(*Str(L"x").get(), out.get()));
  EXPECT_EQ(VT_I4, out.vt());
  EXPECT_EQ(42, V_I4(out.get()));
  ASSERT_EQ(S_OK, d->put_Missing(*Obj(holder.get()).get()));
  EXPECT_EQ(L"42", Item(Str(L"nothing")));

  // An object without IDispatch, and one whose default value is itself: nothing stored.
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  Variant unk;
  V_VT(unk.get()) = VT_UNKNOWN;
  V_UNKNOWN(unk.get()) = stream.get();
  stream->AddRef();
  LONG place = 99;
  EXPECT_EQ(E_FAIL, d->Add(*Str(L"s").get(), *unk.get(), &place));
  ASSERT_EQ(S_OK, holder->put_Root(*Obj(holder.get()).get()));
  EXPECT_EQ(E_FAIL, d->Set(*Str(L"x").get(), *Obj(holder.get()).get(), &place));
  ASSERT_EQ(S_OK, holder->put_Root(*I4(0).get()));  // breaks the cycle
  EXPECT_EQ(1, Count());
  EXPECT_EQ(L"42", Item(Str(L"x")));
}

TEST_F(VarDictionaryTest, CloneIsDeepAndCopiesEveryOption) {
  ComPtr<IVarDictionary> inner = Make();
  Add(inner.get(), L"leaf", I4(1));
  ComPtr<IStream> stream;
  ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  Add(d.get(), L"inner", Obj(inner.get()));
  Variant unk;
  V_VT(unk.get()) = VT_UNKNOWN;
  V_UNKNOWN(unk.get()) = stream.get();
  stream->AddRef();
  Add(d.get(), L"stream", std::move(unk));
  Add(d.get(), L"self", Obj(d.get()));  // a dictionary that holds itself
  ASSERT_EQ(S_OK, d->put_Root(*Str(L"r").get()));
  ASSERT_EQ(S_OK, d->put_enumItems(1));
  ASSERT_EQ(S_OK, d->put_readOnly(1));

  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, d->Clone(disp.put()));
  ComPtr<IVarDictionary> copy;
  ASSERT_EQ(S_OK, disp.query(copy));
  LONG flag = 0;
  copy->get_readOnly(&flag);
  EXPECT_EQ(1, flag);
  copy->get_enumItems(&flag);
  EXPECT_EQ(1, flag);
  Variant v;
  ASSERT_EQ(S_OK, copy->get_Root(v.get()));
  EXPECT_EQ(L"r", Text(v.get()));
  ASSERT_EQ(S_OK, copy->get_Item(*Str(L"inner").get(), v.put()));
  ComPtr<IUnknown> a, b;
  V_UNKNOWN(v.get())->QueryInterface(IID_IUnknown, a.put_void());
  inner->QueryInterface(IID_IUnknown, b.put_void());
  EXPECT_NE(a.get(), b.get());  // cloned, not shared
  ASSERT_EQ(S_OK, copy->get_Item(*Str(L"stream").get(), v.put()));
  EXPECT_EQ(static_cast<IUnknown*>(stream.get()), V_UNKNOWN(v.get()));  // shared
  ASSERT_EQ(S_OK, copy->get_Item(*Str(L"self").get(), v.put()));
  V_UNKNOWN(v.get())->QueryInterface(IID_IUnknown, a.put_void());
  copy->QueryInterface(IID_IUnknown, b.put_void());
  EXPECT_EQ(a.get(), b.get());  // the copy holds itself

  // CreateNew: options without readOnly, nothing else.
  ComPtr<IVarDictionary> fresh;
  ASSERT_EQ(S_OK, d->CreateNew(disp.put()));
  ASSERT_EQ(S_OK, disp.query(fresh));
  fresh->get_readOnly(&flag);
  EXPECT_EQ(0, flag);
  fresh->get_enumItems(&flag);
  EXPECT_EQ(1, flag);
  fresh->get_Count(&flag);
  EXPECT_EQ(0, flag);
  ASSERT_EQ(S_OK, fresh->get_Root(v.put()));
  EXPECT_EQ(VT_EMPTY, v.vt());

  // Break the cycles so that everything is freed.
  ASSERT_EQ(S_OK, d->put_readOnly(0));
  ASSERT_EQ(S_OK, copy->put_readOnly(0));
  EXPECT_EQ(S_OK, d->Clear());
  EXPECT_EQ(S_OK, copy->Clear());
}

TEST_F(VarDictionaryTest, SearchesDepthFirstWithMaxAndDepth) {
  // top { a:1, sub { a:2, deeper { a:3 } }, a:4 }, with allowDuplicateNames.
  ComPtr<IVarDictionary> sub = Make(), deeper = Make();
  ASSERT_EQ(S_OK, d->put_allowDuplicateNames(1));
  Add(deeper.get(), L"a", I4(3));
  Add(sub.get(), L"a", I4(2));
  Add(sub.get(), L"deeper", Obj(deeper.get()));
  Add(d.get(), L"a", I4(1));
  Add(d.get(), L"sub", Obj(sub.get()));
  Add(d.get(), L"A", I4(4));
  Add(sub.get(), L"back", Obj(d.get()));  // a cycle must not loop
  ASSERT_EQ(S_OK, deeper->put_Info(*Str(L"tag").get()));

  auto values = [](IDispatch* disp) {
    ComPtr<IVarDictionary> r;
    disp->QueryInterface(__uuidof(IVarDictionary), r.put_void());
    LONG n = 0;
    r->get_Count(&n);
    std::wstring out;
    for (LONG i = 1; i <= n; ++i) {
      Variant v;
      r->get_Item(*I4(i).get(), v.get());
      out += v.vt() == VT_DISPATCH ? L"[dict]" : Text(v.get());
      out += L" ";
    }
    return out;
  };
  ComPtr<IDispatch> r;
  ASSERT_EQ(S_OK, d->FindByName(orv::Bstr(L"a").get(), 1, 1, -1, r.put()));
  EXPECT_EQ(L"1 ", values(r.get()));
  ASSERT_EQ(S_OK, d->FindByName(orv::Bstr(L"a").get(), 1, 10, -1, r.put()));
  EXPECT_EQ(L"1 2 3 4 ", values(r.get()));
  ASSERT_EQ(S_OK, d->FindByName(orv::Bstr(L"a").get(), 1, 10, 0, r.put()));
  EXPECT_EQ(L"1 2 4 ", values(r.get()));
  ASSERT_EQ(S_OK, d->FindByName(orv::Bstr(L"a").get(), 1, 0, -1, r.put()));
  EXPECT_EQ(L"", values(r.get()));
  ASSERT_EQ(S_OK, d->FindByName(orv::Bstr(L"a").get(), 1, 3, -1, r.put()));
  EXPECT_EQ(L"1 2 3 ", values(r.get()));
  ComPtr<IVarDictionary> result;
  ASSERT_EQ(S_OK, r.query(result));
  LONG flag = 0;
  result->get_allowUnnamedValues(&flag);
  EXPECT_EQ(1, flag);

  // FindByValue yields the holder; FindByInfo the tagged dictionary.
  ComPtr<IUnknown> want, got;
  deeper->QueryInterface(IID_IUnknown, want.put_void());
  for (int kind = 0; kind < 2; ++kind) {
    const HRESULT hr = kind == 0 ? d->FindByValue(orv::Bstr(L"A").get(), orv::Bstr(L"3").get(), 1, 5, -1, r.put())
                                 : d->FindByInfo(orv::Bstr(L"TAG").get(), 1, 5, -1, r.put());
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(L"[dict] ", values(r.get())) << kind;
    r.query(result);
    Variant v;
    result->get_Item(*I4(1).get(), v.get());
    V_UNKNOWN(v.get())->QueryInterface(IID_IUnknown, got.put_void());
    EXPECT_EQ(want.get(), got.get());
  }
  EXPECT_EQ(S_OK, sub->Clear());
}

TEST_F(VarDictionaryTest, ClearExByStoredType) {
  ASSERT_EQ(S_OK, d->put_allowUnnamedValues(1));
  Add(L"n1", 1);
  Add(d.get(), L"s1", Str(L"x"));
  Add(d.get(), L"e", Variant());
  Add(L"n2", 2);
  Add(d.get(), L"s2", Str(L"y"));
  EXPECT_EQ(S_OK, d->ClearEx(0, *I4(VT_BSTR).get()));
  EXPECT_EQ(3, Count());
  EXPECT_EQ(L"2", Item(Str(L"n2")));
  EXPECT_EQ(L"", Item(Str(L"s2")));
  EXPECT_EQ(S_OK, d->ClearEx(0, *orvtest::Missing().get()));  // missing: VT_EMPTY
  EXPECT_EQ(L"n2", Key(2));
  Add(d.get(), L"s3", Str(L"z"));
  EXPECT_EQ(S_OK, d->ClearEx(1, *Str(L"3").get()));  // keep VT_I4 only
  EXPECT_EQ(2, Count());
  EXPECT_EQ(L"1", Item(Str(L"N1")));
  ExpectError(d->ClearEx(2, *I4(3).get()), static_cast<HRESULT>(0x80042798), L"Invalid flag or command.");
  ExpectError(d->ClearEx(0, *Str(L"abc").get()), static_cast<HRESULT>(0x80042797), L"Conversion of an argument failed.");
  EXPECT_EQ(2, Count());
}

TEST_F(VarDictionaryTest, EnumeratorsAreSnapshotsOfKeysOrItems) {
  Add(L"a", 1);
  Add(L"b", 2);
  auto walk = [](IVarDictionary* dict) {
    ComPtr<IUnknown> unk;
    EXPECT_EQ(S_OK, dict->get__NewEnum(unk.put()));
    ComPtr<IEnumVARIANT> e;
    EXPECT_EQ(S_OK, unk.query(e));
    std::wstring out;
    Variant v;
    while (e->Next(1, v.put(), nullptr) == S_OK) out += Text(v.get()) + L" ";
    return out;
  };
  EXPECT_EQ(L"a b ", walk(d.get()));
  ASSERT_EQ(S_OK, d->put_enumItems(1));
  ComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, d->get__NewEnum(unk.put()));
  Add(L"c", 3);
  ComPtr<IEnumVARIANT> e;
  ASSERT_EQ(S_OK, unk.query(e));
  std::wstring out;
  Variant v;
  while (e->Next(1, v.put(), nullptr) == S_OK) out += Text(v.get()) + L" ";
  EXPECT_EQ(L"1 2 ", out);
  EXPECT_EQ(L"1 2 3 ", walk(d.get()));
}

// The member table as scripts see it: names, DISPIDs and calls through Invoke.
TEST_F(VarDictionaryTest, DispatchNamesIdsAndCalls) {
  const std::pair<const wchar_t*, DISPID> members[] = {
      {L"_NewEnum", -4}, {L"Item", 0}, {L"Add", 1}, {L"Count", 2}, {L"Key", 3}, {L"Clear", 4},
      {L"Remove", 5}, {L"Root", 6}, {L"Missing", 7}, {L"Info", 8}, {L"firstItemAsRoot", 9}, {L"Set", 10},
      {L"itemsAssignmentAllowed", 11}, {L"classVersion", 12}, {L"enumItems", 13}, {L"allowUnnamedValues", 14},
      {L"allowDuplicateNames", 15}, {L"Clone", 16}, {L"CreateNew", 17}, {L"FindByName", 18},
      {L"FindByValue", 19}, {L"ClearEx", 20}, {L"FindByInfo", 21}, {L"extractValues", 22}, {L"readOnly", 23}};
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, d.query(disp));
  for (const auto& [name, id] : members) {
    DISPID got = 12345;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &got)) << name;
    EXPECT_EQ(id, got) << name;
  }
  Variant args[2] = {Str(L"k"), I4(5)}, result;
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Add", DISPATCH_METHOD, args[0].get(), 2, result.get()));
  EXPECT_EQ(VT_I4, result.vt());
  EXPECT_EQ(1, V_I4(result.get()));
  // Count called as a method (JScript), flags read as 1 or 0, classVersion 2.
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Count", DISPATCH_METHOD, nullptr, 0, result.put()));
  EXPECT_EQ(L"1", Text(result.get()));
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"classVersion", DISPATCH_PROPERTYGET, nullptr, 0, result.put()));
  EXPECT_EQ(L"2", Text(result.get()));
  Variant on[1] = {I4(-1)};
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"itemsAssignmentAllowed", DISPATCH_PROPERTYPUT, on[0].get(), 1, nullptr));
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"itemsAssignmentAllowed", DISPATCH_PROPERTYGET, nullptr, 0, result.put()));
  EXPECT_EQ(L"1", Text(result.get()));
  // Item put through DISPID 0, then the default member with a name.
  Variant put[2] = {Str(L"k"), I4(6)};
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Item", DISPATCH_PROPERTYPUT, put[0].get(), 2, nullptr));
  Variant index[1] = {Str(L"K")};
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, index[0].get(), 1,
                                      result.put()));
  EXPECT_EQ(L"6", Text(result.get()));
  // A put with only the value: the index is missing.
  EXCEPINFO excep = {};
  EXPECT_EQ(DISP_E_EXCEPTION, orvtest::CallByName(disp.get(), L"Item", DISPATCH_PROPERTYPUT, put[1].get(), 1, nullptr, &excep));
  EXPECT_EQ(std::wstring(L"Index is missing (not optional if setting a value)"),
            excep.bstrDescription ? excep.bstrDescription : L"");
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrHelpFile);
  // FindByName with its defaults.
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"FindByName", DISPATCH_METHOD, index[0].get(), 1, result.put()));
  EXPECT_EQ(VT_DISPATCH, result.vt());

  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(S_OK, d.query(support));
  EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(__uuidof(IVarDictionary)));
}

TEST_F(VarDictionaryTest, ReferenceCountsAndTwin) {
  IVarDictionary* raw = nullptr;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VarDictionary, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IVarDictionary),
                                   reinterpret_cast<void**>(&raw)));
  LONG place = 0;
  ASSERT_EQ(S_OK, raw->Add(*Str(L"a").get(), *I4(1).get(), &place));
  IUnknown* e = nullptr;
  ASSERT_EQ(S_OK, raw->get__NewEnum(&e));
  IDispatch* clone = nullptr;
  ASSERT_EQ(S_OK, raw->Clone(&clone));
  IDollyTheSheep* dolly = nullptr;
  ASSERT_EQ(S_OK, raw->QueryInterface(__uuidof(IDollyTheSheep), reinterpret_cast<void**>(&dolly)));
  IUnknown* sheep = nullptr;
  ASSERT_EQ(S_OK, dolly->NewClone(&sheep));
  EXPECT_EQ(1u, dolly->Release());
  EXPECT_EQ(0u, sheep->Release());
  EXPECT_EQ(0u, clone->Release());
  EXPECT_EQ(0u, e->Release());
  EXPECT_EQ(0u, raw->Release());

  // The free-threaded twin, used from the multithreaded apartment (no proxy between):
  // same class, failures reported under the apartment class.
  std::thread([] {
    orv::ComInit mta(COINIT_MULTITHREADED);
    IVarDictionary* twin = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VarDictionaryFree, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IVarDictionary),
                                     reinterpret_cast<void**>(&twin)));
    LONG at = 0;
    ASSERT_EQ(S_OK, twin->Add(*Str(L"a").get(), *I4(1).get(), &at));
    EXPECT_EQ(1, at);
    ASSERT_EQ(S_OK, twin->put_readOnly(1));
    ExpectError(twin->Clear(), kReadOnlyHr, L"Object is in read-only mode.");
    EXPECT_EQ(0u, twin->Release());
  }).join();

  ComPtr<IUnknown> outer, inner;
  ASSERT_EQ(S_OK, d->QueryInterface(IID_IUnknown, outer.put_void()));
  EXPECT_EQ(CLASS_E_NOAGGREGATION,
            CoCreateInstance(CLSID_VarDictionary, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown, inner.put_void()));
}

// The entry points other classes use (this program's own copy of the class).
TEST_F(VarDictionaryTest, FactoryAndPresets) {
  struct Flag {
    LONG factoryBit;
    HRESULT (STDMETHODCALLTYPE IVarDictionary::*get)(LONG*);
  };
  const Flag flags[] = {{0x01, &IVarDictionary::get_allowDuplicateNames}, {0x02, &IVarDictionary::get_allowUnnamedValues},
                        {0x04, &IVarDictionary::get_enumItems}, {0x08, &IVarDictionary::get_itemsAssignmentAllowed},
                        {0x10, &IVarDictionary::get_firstItemAsRoot}, {0x20, &IVarDictionary::get_extractValues}};
  for (const Flag& f : flags) {
    ComPtr<IVarDictionary> dict;
    ASSERT_EQ(S_OK, orv::CreateVarDictionaryWithOptions(f.factoryBit, dict.put()));
    for (const Flag& g : flags) {
      LONG value = -1;
      ASSERT_EQ(S_OK, (dict.get()->*g.get)(&value));
      EXPECT_EQ(&f == &g ? 1 : 0, value) << f.factoryBit << " " << g.factoryBit;
    }
  }
  ComPtr<IVarDictionary> plain;
  ASSERT_EQ(S_OK, orv::CreateVarDictionaryObject(plain.put()));
  LONG n = -1;
  plain->get_Count(&n);
  EXPECT_EQ(0, n);
  EXPECT_EQ(E_POINTER, orv::CreateVarDictionaryObject(nullptr));

  auto info = [](IVarDictionary* dict, LONG& type, std::wstring& typeName, std::wstring& cls) {
    Variant v;
    ASSERT_EQ(S_OK, dict->get_Info(v.get()));
    ASSERT_EQ(VT_DISPATCH, v.vt());
    ComPtr<IInternalNodeInfo> node;
    ASSERT_EQ(S_OK, V_DISPATCH(v.get())->QueryInterface(__uuidof(IInternalNodeInfo), node.put_void()));
    orv::Bstr b;
    node->get_Type(&type);
    node->get_TypeName(b.put());
    typeName = b.c_str();
    node->get_Class(b.put());
    cls = b.c_str();
  };
  ComPtr<IVarDictionary> section, record;
  ASSERT_EQ(S_OK, orv::CreateSectionDictionary(L"Group", section.put()));
  ASSERT_EQ(S_OK, orv::CreateRecordDictionary(record.put()));
  LONG type = -1;
  std::wstring typeName, cls;
  info(section.get(), type, typeName, cls);
  EXPECT_EQ(1, type);
  EXPECT_EQ(L"Section", typeName);
  EXPECT_EQ(L"Group", cls);
  info(record.get(), type, typeName, cls);
  EXPECT_EQ(0, type);
  EXPECT_EQ(L"Record", typeName);
  EXPECT_EQ(L"", cls);
  LONG first = -1, extract = -1, dup = -1;
  section->get_firstItemAsRoot(&first);
  section->get_allowDuplicateNames(&dup);
  section->get_extractValues(&extract);
  EXPECT_EQ(0, first);
  EXPECT_EQ(1, dup);
  EXPECT_EQ(0, extract);
  record->get_firstItemAsRoot(&first);
  record->get_extractValues(&extract);
  EXPECT_EQ(1, first);
  EXPECT_EQ(1, extract);

  // A record used without an index is its first value; the node info clones with it.
  LONG place = 0;
  ASSERT_EQ(S_OK, record->Add(*Str(L"v").get(), *Str(L"first").get(), &place));
  Variant v;
  ASSERT_EQ(S_OK, record->get_Item(*orvtest::Missing().get(), v.get()));
  EXPECT_EQ(L"first", Text(v.get()));
  ComPtr<IDispatch> disp;
  ComPtr<IVarDictionary> copy;
  ASSERT_EQ(S_OK, section->Clone(disp.put()));
  ASSERT_EQ(S_OK, disp.query(copy));
  info(copy.get(), type, typeName, cls);
  EXPECT_EQ(L"Group", cls);
  Variant a, b;
  section->get_Info(a.get());
  copy->get_Info(b.get());
  EXPECT_NE(V_DISPATCH(a.get()), V_DISPATCH(b.get()));

  ComPtr<IInternalNodeInfo> node;
  ASSERT_EQ(S_OK, orv::CreateInternalNodeInfo(false, nullptr, node.put()));
  EXPECT_EQ(S_OK, node->put_Type(5));
  node->get_Type(&type);
  EXPECT_EQ(5, type);
  orv::Bstr text;
  node->get_TypeName(text.put());
  EXPECT_EQ(std::wstring(L"Section"), text.c_str());
  EXPECT_EQ(E_POINTER, node->get_TypeName(nullptr));
  EXPECT_EQ(0u, node.release()->Release());
}

}  // namespace
