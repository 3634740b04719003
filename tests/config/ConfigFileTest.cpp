// ConfigFile through the registered library: each driver's exact output (file bytes,
// registry keys and value types, stream bytes), round trips of every kind, option
// resolution, and the refusals that leave the target untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Obj;
using orvtest::Str;
using orvtest::TakeErrorRecord;
using orvtest::Text;

namespace {

const wchar_t kTestKey[] = L"Software\\OrvantaTest\\ConfigFile";

std::string FileBytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void PutFile(const std::wstring& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::string StreamBytes(IStream* s) {
  STATSTG st = {};
  s->Stat(&st, STATFLAG_NONAME);
  std::string out(static_cast<size_t>(st.cbSize.QuadPart), '\0');
  LARGE_INTEGER zero = {};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  ULONG got = 0;
  if (!out.empty()) s->Read(out.data(), static_cast<ULONG>(out.size()), &got);
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  return out;
}

ComPtr<IStream> MemoryStream(const std::string& bytes = {}) {
  ComPtr<IStream> s;
  CreateStreamOnHGlobal(nullptr, TRUE, s.put());
  ULONG written = 0;
  if (!bytes.empty()) s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER zero = {};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  return s;
}

Variant Typed(VARTYPE vt, LONGLONG bits) {
  Variant v;
  V_VT(v.get()) = vt;
  V_CY(v.get()).int64 = 0;
  switch (vt) {
    case VT_I2: V_I2(v.get()) = static_cast<SHORT>(bits); break;
    case VT_UI1: V_UI1(v.get()) = static_cast<BYTE>(bits); break;
    case VT_UI4: V_UI4(v.get()) = static_cast<ULONG>(bits); break;
    case VT_BOOL: V_BOOL(v.get()) = bits ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_CY: V_CY(v.get()).int64 = bits; break;
    case VT_DATE: V_DATE(v.get()) = static_cast<double>(bits); break;
    case VT_R4: V_R4(v.get()) = static_cast<float>(bits) / 4; break;
    default: V_I4(v.get()) = static_cast<LONG>(bits); break;
  }
  return v;
}

Variant Bytes(std::vector<BYTE> b) {
  Variant v;
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(b.size()));
  void* data = nullptr;
  SafeArrayAccessData(sa, &data);
  if (!b.empty()) memcpy(data, b.data(), b.size());
  SafeArrayUnaccessData(sa);
  V_VT(v.get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(v.get()) = sa;
  return v;
}

Variant Strings() {
  Variant v;
  SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, 1);
  V_VT(v.get()) = VT_ARRAY | VT_BSTR;
  V_ARRAY(v.get()) = sa;
  return v;
}

class ConfigFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ConfigFile, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IConfigFile),
                                     cf.put_void()));
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    cf.reset();
    CoUninitialize();
  }

  ComPtr<IVarDictionary> Section() {
    ComPtr<IDispatch> d;
    EXPECT_EQ(S_OK, cf->CreateSection(d.put()));
    ComPtr<IVarDictionary> v;
    d.query(v);
    return v;
  }
  ComPtr<IVarDictionary> Record() {
    ComPtr<IDispatch> d;
    EXPECT_EQ(S_OK, cf->CreateRecord(d.put()));
    ComPtr<IVarDictionary> v;
    d.query(v);
    return v;
  }
  static void Add(IVarDictionary* d, const wchar_t* key, const Variant& item) {
    LONG place = 0;
    Variant k = key ? Str(key) : Variant();
    ASSERT_TRUE(SUCCEEDED(d->Add(*k.get(), *item.get(), &place))) << (key ? key : L"<unnamed>");
  }
  static void Add(IVarDictionary* d, const wchar_t* key, IVarDictionary* child) { Add(d, key, Obj(child)); }
  static Variant ItemOf(IVarDictionary* d, const Variant& index) {
    Variant out;
    EXPECT_EQ(S_OK, d->get_Item(*index.get(), out.put()));
    return out;
  }
  static ComPtr<IVarDictionary> Child(IVarDictionary* d, const wchar_t* name) {
    Variant v = ItemOf(d, Str(name));
    ComPtr<IVarDictionary> out;
    if (v.vt() == VT_DISPATCH && V_DISPATCH(v.get()))
      V_DISPATCH(v.get())->QueryInterface(__uuidof(IVarDictionary), out.put_void());
    return out;
  }
  static LONG Count(IVarDictionary* d) {
    LONG n = -1;
    d->get_Count(&n);
    return n;
  }
  static void ExpectError(HRESULT got, HRESULT hr, const std::wstring& text) {
    EXPECT_EQ(hr, got) << std::string(text.begin(), text.end());
    const auto rec = TakeErrorRecord();
    EXPECT_TRUE(rec.present);
    EXPECT_EQ(text, rec.description);
    EXPECT_EQ(L"Orvanta ConfigFile Class", rec.source);
  }
  ComPtr<IDispatch> ReadText(const std::wstring& path) {
    ComPtr<IDispatch> out;
    Bstr p(path.c_str());
    EXPECT_EQ(S_OK, cf->Read(p.get(), out.put()));
    return out;
  }
  static ComPtr<IVarDictionary> AsDict(IDispatch* d) {
    ComPtr<IVarDictionary> v;
    if (d) d->QueryInterface(__uuidof(IVarDictionary), v.put_void());
    return v;
  }

  ComPtr<IConfigFile> cf;
};

// The worked example of the text format, built from dictionaries.
TEST_F(ConfigFileTest, TextFileWrittenExactlyAndReadBack) {
  auto root = Section();
  auto title = Record();
  Add(title.get(), nullptr, Str(L"Main view"));
  Add(root.get(), L"Title", title.get());
  auto window = Section();
  Variant info;
  window->get_Info(info.put());
  ComPtr<IInternalNodeInfo> node;
  V_DISPATCH(info.get())->QueryInterface(__uuidof(IInternalNodeInfo), node.put_void());
  Bstr frame(L"Frame");
  node->put_Class(frame.get());
  auto size = Record();
  Add(size.get(), L"cx", I4(240));
  Add(size.get(), L"cy", I4(320));
  Add(window.get(), L"Size", size.get());
  Add(window.get(), L"Opacity", orvtest::R8(0.75));  // a plain value becomes a record
  Add(root.get(), L"Window", window.get());
  Add(root.get(), L"Key", Bytes({0x0A, 0xFF}));
  Add(root.get(), L"Money", Typed(VT_CY, 15000));  // 1.5 as currency
  Add(root.get(), L"Nothing", Variant());

  const std::wstring path = orvtest::BinPath(L"configfile_text.cfg");
  Bstr p(path.c_str());
  ASSERT_EQ(S_OK, cf->Write(p.get(), root.get()));
  EXPECT_EQ(FileBytes(path),
            "(string)Title=Main view\r\n"
            "{ Window: (Frame)\r\n"
            "    (int)Size[cx]=240\r\n"
            "    (int)Size[cy]=320\r\n"
            "    (double)Opacity=0.75\r\n"
            "} Window;\r\n"
            "[ Key:\r\nA\r\nFF\r\n] Key;\r\n"
            "(int64)Money=15000\r\n");
  EXPECT_EQ(GetFileAttributesW((path + L".saving~").c_str()), INVALID_FILE_ATTRIBUTES);

  auto back = AsDict(ReadText(path).get());
  ASSERT_TRUE(back);
  EXPECT_EQ(Text(ItemOf(back.get(), orvtest::Missing()).get()), path);  // Root: the name as given
  EXPECT_EQ(Count(back.get()), 4);  // the empty record was not written
  auto w = Child(back.get(), L"window");
  ASSERT_TRUE(w);
  EXPECT_EQ(Text(ItemOf(w.get(), orvtest::Missing()).get()), L"Window");
  auto sz = Child(w.get(), L"Size");
  ASSERT_TRUE(sz);
  EXPECT_EQ(Text(ItemOf(sz.get(), Str(L"CY")).get()), L"320");
  Variant money = ItemOf(Child(back.get(), L"Money").get(), orvtest::Missing());
  EXPECT_EQ(money.vt(), VT_CY);
  EXPECT_EQ(V_CY(money.get()).int64, 15000);
  Variant key = ItemOf(Child(back.get(), L"Key").get(), orvtest::Missing());
  EXPECT_EQ(key.vt(), VT_ARRAY | VT_UI1);
  Variant cls;
  w->get_Info(cls.put());
  Bstr clsName;
  ComPtr<IInternalNodeInfo> wi;
  V_DISPATCH(cls.get())->QueryInterface(__uuidof(IInternalNodeInfo), wi.put_void());
  wi->get_Class(clsName.put());
  EXPECT_STREQ(clsName.c_str(), L"Frame");
}

// Every writer refuses the same collections with the same texts and leaves its target
// as it was.
TEST_F(ConfigFileTest, UnsavableCollectionsChangeNothing) {
  struct Case {
    const char* what;
    std::function<ComPtr<IVarDictionary>()> make;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {"a record", [&] { return Record(); }, L"Object is not a section. Only sections can be saved directly."},
      {"a plain dictionary",
       [&] {
         ComPtr<IVarDictionary> d;
         CoCreateInstance(CLSID_VarDictionary, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IVarDictionary), d.put_void());
         return d;
       },
       L"Object is not a section. Only sections can be saved directly."},
      {"a date in the section",
       [&] {
         auto s = Section();
         Add(s.get(), L"ok", I4(1));
         Add(s.get(), L"d", Typed(VT_DATE, 3));
         return s;
       },
       L"Cannot save a value (probably unsavable type)"},
      {"a date in a record",
       [&] {
         auto s = Section(), r = Record();
         Add(r.get(), L"d", Typed(VT_DATE, 3));
         Add(s.get(), L"r", r.get());
         return s;
       },
       L"Cannot save values (caused by unsavable value type or collection change during the save process)"},
      {"an array of strings",
       [&] {
         auto s = Section();
         Add(s.get(), L"a", Strings());
         return s;
       },
       L"Unsavable item found (see ConfigFile documentation for details)"},
      {"an array of strings in a record",
       [&] {
         auto s = Section(), r = Record();
         Add(r.get(), L"a", Strings());
         Add(s.get(), L"r", r.get());
         return s;
       },
       L"Collection contains unsavable value"},
      {"a record in a record",
       [&] {
         auto s = Section(), r = Record(), inner = Record();
         Add(r.get(), L"in", inner.get());
         Add(s.get(), L"r", r.get());
         return s;
       },
       L"Record cannot contain sections or records"},
      {"a record where a section has the name",
       [&] {
         auto s = Section(), r = Record();
         Add(s.get(), L"x", Section().get());
         Add(s.get(), L"X", r.get());
         return s;
       },
       L"Error occured while saving a record"},
      {"a value where a section has the name",
       [&] {
         auto s = Section();
         Add(s.get(), L"x", Section().get());
         Add(s.get(), L"X", I4(1));
         return s;
       },
       L"Fatal error saving a value"},
      {"a section holding itself",
       [&] {
         auto s = Section(), inner = Section();
         Add(s.get(), L"in", inner.get());
         Add(inner.get(), L"loop", s.get());
         return s;
       },
       L"Unsavable item found (see ConfigFile documentation for details)"},
  };
  const std::wstring path = orvtest::BinPath(L"configfile_untouched.cfg");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IVarDictionary> d = c.make();
    PutFile(path, "old");
    Bstr p(path.c_str());
    ExpectError(cf->Write(p.get(), d.get()), DISP_E_EXCEPTION, c.text);
    EXPECT_EQ(FileBytes(path), "old");
    Bstr key(kTestKey);
    ExpectError(cf->WriteToRegistry(1, key.get(), d.get()), DISP_E_EXCEPTION, c.text);
    EXPECT_FALSE(orvtest::KeyExists(kTestKey, HKEY_CURRENT_USER));
    ComPtr<IStream> s = MemoryStream();
    ExpectError(cf->WriteToBinaryStream(s.get(), d.get()), DISP_E_EXCEPTION, c.text);
    EXPECT_EQ(StreamBytes(s.get()), "");
  }

  Bstr p(path.c_str());
  ExpectError(cf->Write(p.get(), nullptr), DISP_E_EXCEPTION, L"NULL configuration pointer");
  ExpectError(cf->Write(p.get(), cf.get()), DISP_E_EXCEPTION, L"Not a Orvanta VariantDictionary collection");
  Bstr key(kTestKey);
  ExpectError(cf->WriteToRegistry(1, key.get(), nullptr), DISP_E_EXCEPTION, L"NULL configuration pointer");
  ComPtr<IStream> s = MemoryStream();
  ExpectError(cf->WriteToBinaryStream(s.get(), cf.get()), DISP_E_EXCEPTION, L"Not a Orvanta VariantDictionary collection");
  EXPECT_EQ(E_POINTER, cf->WriteToBinaryStream(s.get(), nullptr));
  EXPECT_EQ(E_POINTER, cf->WriteToBinaryStream(nullptr, Section().get()));
  ExpectError(cf->WriteToBinaryStream(cf.get(), Section().get()), static_cast<HRESULT>(0x80040000 + 10128),
              L"Parameter is not a stream or not initialized.");
  EXPECT_EQ(FileBytes(path), "old");
  DeleteFileW(path.c_str());
}

TEST_F(ConfigFileTest, ReadFailures) {
  ComPtr<IDispatch> out;
  Bstr missing(orvtest::BinPath(L"no-such-config.cfg").c_str());
  ExpectError(cf->Read(missing.get(), out.put()), DISP_E_EXCEPTION, L"Failed to read file");
  EXPECT_FALSE(out);
  EXPECT_EQ(E_POINTER, cf->Read(missing.get(), nullptr));
  Bstr key(L"Software\\OrvantaTest\\NoSuchBranch");
  ExpectError(cf->ReadFromRegistry(1, key.get(), out.put()), DISP_E_EXCEPTION,
              L"Failed to open the registry branch specified");
  EXPECT_EQ(E_POINTER, cf->ReadFromRegistry(1, key.get(), nullptr));
  ComPtr<IStream> bad = MemoryStream(std::string("\x01\x11\x02\x00\x00\x00s", 7));  // ends inside a name
  ExpectError(cf->ReadFromBinaryStream(bad.get(), out.put()), static_cast<HRESULT>(0x80040000 + 10106),
              L"Operation failed");
  EXPECT_FALSE(out);
  ExpectError(cf->ReadFromBinaryStream(cf.get(), out.put()), static_cast<HRESULT>(0x80040000 + 10128),
              L"Parameter is not a stream or not initialized.");
  EXPECT_EQ(E_POINTER, cf->ReadFromBinaryStream(nullptr, out.put()));
  EXPECT_EQ(E_POINTER, cf->ReadFromBinaryStream(bad.get(), nullptr));
}

TEST_F(ConfigFileTest, BinaryStreamBytesAndKinds) {
  auto root = Section();
  Add(root.get(), L"x", I4(5));
  ComPtr<IStream> s = MemoryStream();
  ASSERT_EQ(S_OK, cf->WriteToBinaryStream(s.get(), root.get()));
  EXPECT_EQ(StreamBytes(s.get()), std::string("\x03\x11\x02\x00\x00\x00x\x00"
                                              "\x12\x10\x04\x00\x00\x00\x05\x00\x00\x00"
                                              "\x04\x00",
                                              20));

  // Every kind, with and without the preservation options.
  auto all = Section();
  auto r = Record();
  Add(r.get(), L"i2", Typed(VT_I2, -2));
  Add(r.get(), L"b", Typed(VT_BOOL, 1));
  Add(r.get(), L"u1", Typed(VT_UI1, 200));
  Add(r.get(), L"u4", Typed(VT_UI4, 0xFFFFFFFF));
  Add(r.get(), L"f", Typed(VT_R4, 3));
  Add(r.get(), L"cy", Typed(VT_CY, -123456789012345));
  Add(r.get(), L"s", Str(L"text \u00e9"));
  Add(r.get(), L"bin", Bytes({1, 2, 3}));
  Add(r.get(), L"none", Bytes({}));
  Add(all.get(), L"r", r.get());
  Add(all.get(), L"sub", Section().get());
  for (LONG options : {0, 1, 2, 3}) {
    SCOPED_TRACE(options);
    cf->put_PreserveUnsignedInt(options & 1);
    cf->put_PreserveStringsWide(options & 2);
    ComPtr<IStream> stream = MemoryStream();
    ASSERT_EQ(S_OK, cf->WriteToBinaryStream(stream.get(), all.get()));
    const std::string bytes = StreamBytes(stream.get());
    EXPECT_EQ(bytes.find(std::string("\x19\x21\x02\x00\x00\x00s\x00", 8)) != std::string::npos, (options & 2) != 0);
    ComPtr<IDispatch> out;
    ASSERT_EQ(S_OK, cf->ReadFromBinaryStream(stream.get(), out.put()));
    auto back = AsDict(out.get());
    EXPECT_EQ(Text(ItemOf(back.get(), orvtest::Missing()).get()), L"");  // empty Root
    auto rec = Child(back.get(), L"r");
    ASSERT_TRUE(rec);
    EXPECT_EQ(Count(rec.get()), 8);
    Variant u4 = ItemOf(rec.get(), Str(L"u4"));
    EXPECT_EQ(u4.vt(), (options & 1) ? VT_UI4 : VT_I4);
    EXPECT_EQ(V_UI4(u4.get()), 0xFFFFFFFFu);
    EXPECT_EQ(ItemOf(rec.get(), Str(L"b")).vt(), VT_I4);
    EXPECT_EQ(V_I4(ItemOf(rec.get(), Str(L"b")).get()), -1);
    EXPECT_EQ(ItemOf(rec.get(), Str(L"f")).vt(), VT_R4);
    Variant cy = ItemOf(rec.get(), Str(L"cy"));
    EXPECT_EQ(cy.vt(), VT_CY);
    EXPECT_EQ(V_CY(cy.get()).int64, -123456789012345);
    EXPECT_EQ(Text(ItemOf(rec.get(), Str(L"s")).get()), L"text \u00e9");
    EXPECT_TRUE(Child(back.get(), L"sub"));
  }
}

TEST_F(ConfigFileTest, ReadingAStreamLeavesItAfterTheConfiguration) {
  auto root = Section();
  Add(root.get(), L"x", I4(5));
  ComPtr<IStream> s = MemoryStream();
  ASSERT_EQ(S_OK, cf->WriteToBinaryStream(s.get(), root.get()));
  ULONG written = 0;
  s->Write("\xFF\x00tail", 6, &written);  // an end element, then other data
  LARGE_INTEGER zero = {};
  s->Seek(zero, STREAM_SEEK_SET, nullptr);
  ComPtr<IDispatch> out;
  ASSERT_EQ(S_OK, cf->ReadFromBinaryStream(s.get(), out.put()));
  char rest[8] = {};
  ULONG got = 0;
  s->Read(rest, sizeof rest, &got);
  EXPECT_EQ(std::string(rest, got), "tail");
}

TEST_F(ConfigFileTest, RegistryKeysAndValueTypes) {
  auto root = Section();
  auto twice = Record();
  Add(twice.get(), L"a", I4(1));
  Add(twice.get(), L"b", I4(2));
  Add(root.get(), L"Twice", twice.get());
  Add(root.get(), L"Big", Typed(VT_CY, 0x100000000LL));
  Add(root.get(), L"Name", Str(L"value"));
  Add(root.get(), L"Blob", Bytes({9, 8}));
  Add(root.get(), L"Real", orvtest::R8(1.5));  // not carried
  auto sub = Section();
  Variant info;
  sub->get_Info(info.put());
  ComPtr<IInternalNodeInfo> node;
  V_DISPATCH(info.get())->QueryInterface(__uuidof(IInternalNodeInfo), node.put_void());
  Bstr cls(L"Cls");
  node->put_Class(cls.get());
  Add(sub.get(), L"n", I4(7));
  Add(root.get(), L"Sub", sub.get());
  Bstr key(kTestKey);
  ASSERT_EQ(S_OK, cf->WriteToRegistry(7, key.get(), root.get()));  // 7: the current user

  orv::UniqueRegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, k.put()));
  const struct {
    const wchar_t* name;
    DWORD type;
    std::string data;
  } values[] = {
      {L"Twice", REG_DWORD, std::string("\x02\x00\x00\x00", 4)},
      {L"Big", REG_QWORD, std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8)},
      {L"Name", REG_SZ, std::string("v\0a\0l\0u\0e\0\0\0", 12)},
      {L"Blob", REG_BINARY, std::string("\x09\x08", 2)},
  };
  for (const auto& v : values) {
    BYTE data[64] = {};
    DWORD type = 0, size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(k.get(), v.name, nullptr, &type, data, &size)) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), v.data) << v.name;
  }
  EXPECT_NE(ERROR_SUCCESS, RegQueryValueExW(k.get(), L"Real", nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(orvtest::ReadString(std::wstring(kTestKey) + L"\\Sub", nullptr, HKEY_CURRENT_USER), L"Cls");

  ComPtr<IDispatch> out;
  ASSERT_EQ(S_OK, cf->ReadFromRegistry(1, key.get(), out.put()));
  auto back = AsDict(out.get());
  Variant backInfo;
  back->get_Info(backInfo.put());
  ComPtr<IInternalNodeInfo> backNode;
  V_DISPATCH(backInfo.get())->QueryInterface(__uuidof(IInternalNodeInfo), backNode.put_void());
  Bstr backClass;
  backNode->get_Class(backClass.put());
  EXPECT_STREQ(backClass.c_str(), kTestKey);
  EXPECT_EQ(V_I4(ItemOf(Child(back.get(), L"Twice").get(), orvtest::Missing()).get()), 2);
  EXPECT_EQ(V_CY(ItemOf(Child(back.get(), L"Big").get(), orvtest::Missing()).get()).int64, 0x100000000LL);
  EXPECT_EQ(ItemOf(Child(back.get(), L"Blob").get(), orvtest::Missing()).vt(), VT_ARRAY | VT_UI1);
  auto subBack = Child(back.get(), L"Sub");
  ASSERT_TRUE(subBack);
  // The class name reads back as the record with the empty name.
  EXPECT_EQ(Text(ItemOf(subBack.get(), I4(1)).get()), L"Cls");
  EXPECT_EQ(Text(ItemOf(Child(subBack.get(), L"n").get(), orvtest::Missing()).get()), L"7");
}

TEST_F(ConfigFileTest, RegistryRefusesWhatItCannotHoldBeforeWriting) {
  Bstr key(kTestKey);
  auto big = Section();
  Add(big.get(), L"blob", Bytes(std::vector<BYTE>(1048577, 1)));
  ExpectError(cf->WriteToRegistry(1, key.get(), big.get()), DISP_E_EXCEPTION, L"Failed to store the data in the registry");
  auto unnamed = Section();
  Add(unnamed.get(), L"ok", I4(1));
  Add(unnamed.get(), L"a\\b", Section().get());
  ExpectError(cf->WriteToRegistry(1, key.get(), unnamed.get()), DISP_E_EXCEPTION,
              L"Failed to store the data in the registry");
  EXPECT_FALSE(orvtest::KeyExists(kTestKey, HKEY_CURRENT_USER));
  auto fits = Section();
  Add(fits.get(), L"blob", Bytes(std::vector<BYTE>(1048576, 1)));
  EXPECT_EQ(S_OK, cf->WriteToRegistry(1, key.get(), fits.get()));
}

TEST_F(ConfigFileTest, OptionResolutionPerDriver) {
  auto root = Section();
  Add(root.get(), L"s", Str(L"text"));
  Add(root.get(), L"u", Typed(VT_UI4, 7));
  const std::wstring path = orvtest::BinPath(L"configfile_modes.cfg");
  Bstr p(path.c_str()), key(kTestKey);

  LONG mode = -1;
  ExpectError(cf->put_ErrorMode(16), DISP_E_EXCEPTION, L"Invalid error mode");
  ExpectError(cf->put_ErrorMode(-1), DISP_E_EXCEPTION, L"Invalid error mode");
  ASSERT_EQ(S_OK, cf->get_ErrorMode(&mode));
  EXPECT_EQ(mode, 0);
  ASSERT_EQ(S_OK, cf->put_PreserveStringsWide(-1));
  LONG flag = 0;
  cf->get_PreserveStringsWide(&flag);
  EXPECT_EQ(flag, 1);

  // Mode 0 (and 5, which acts like it): the text driver leaves wide strings out.
  for (LONG m : {0, 5}) {
    ASSERT_EQ(S_OK, cf->put_ErrorMode(m));
    ASSERT_EQ(S_OK, cf->Write(p.get(), root.get()));
    EXPECT_EQ(FileBytes(path), "(int)u=7\r\n");
  }
  ASSERT_EQ(S_OK, cf->put_ErrorMode(1));
  PutFile(path, "old");
  ExpectError(cf->Write(p.get(), root.get()), DISP_E_EXCEPTION, L"Unsupported feature requested from the text file driver");
  EXPECT_EQ(FileBytes(path), "old");
  ExpectError(cf->WriteToRegistry(1, key.get(), root.get()), DISP_E_EXCEPTION,
              L"Unsupported feature requested from the registry driver");
  ComPtr<IStream> s = MemoryStream();
  EXPECT_EQ(S_OK, cf->WriteToBinaryStream(s.get(), root.get()));
  ComPtr<IDispatch> out;
  ExpectError(cf->Read(p.get(), out.put()), DISP_E_EXCEPTION, L"Unsupported feature requested from the text file driver");
  cf->put_PreserveStringsWide(0);
  EXPECT_EQ(S_OK, cf->Write(p.get(), root.get()));  // the text driver carries uint
  cf->put_PreserveUnsignedInt(1);
  ExpectError(cf->WriteToRegistry(1, key.get(), root.get()), DISP_E_EXCEPTION,
              L"Unsupported feature requested from the registry driver");

  // Mode 2: options the driver does not carry are dropped for the call.
  ASSERT_EQ(S_OK, cf->put_ErrorMode(2));
  cf->put_PreserveStringsWide(1);
  ASSERT_EQ(S_OK, cf->Write(p.get(), root.get()));
  EXPECT_EQ(FileBytes(path), "(string)s=text\r\n(int)u=7\r\n");
  ASSERT_EQ(S_OK, cf->WriteToRegistry(1, key.get(), root.get()));
  EXPECT_EQ(orvtest::ReadString(kTestKey, L"s", HKEY_CURRENT_USER), L"text");
  cf->get_ErrorMode(&mode);
  EXPECT_EQ(mode, 2);
  cf->get_PreserveUnsignedInt(&flag);
  EXPECT_EQ(flag, 1);
  DeleteFileW(path.c_str());
}

TEST_F(ConfigFileTest, AFailedSaveKeepsTheOldFile) {
  // The target is a folder: the temporary is written, the replacement fails, and both
  // the folder and its contents stay, with no temporary left behind.
  const std::wstring dir = orvtest::BinPath(L"configfile_dir.cfg");
  CreateDirectoryW(dir.c_str(), nullptr);
  auto root = Section();
  Add(root.get(), L"x", I4(1));
  Bstr p(dir.c_str());
  ExpectError(cf->Write(p.get(), root.get()), DISP_E_EXCEPTION, L"File save error");
  EXPECT_NE(GetFileAttributesW(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesW((dir + L".saving~").c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryW(dir.c_str());
  Bstr noFolder(orvtest::BinPath(L"no-such-folder\\x.cfg").c_str());
  ExpectError(cf->Write(noFolder.get(), root.get()), DISP_E_EXCEPTION, L"File save error");

  // Writing over an existing file replaces it.
  const std::wstring path = orvtest::BinPath(L"configfile_replace.cfg");
  PutFile(path, "old contents that are longer");
  Bstr q(path.c_str());
  ASSERT_EQ(S_OK, cf->Write(q.get(), root.get()));
  EXPECT_EQ(FileBytes(path), "(int)x=1\r\n");
  DeleteFileW(path.c_str());
}

TEST_F(ConfigFileTest, MembersThroughIDispatch) {
  ComPtr<IDispatch> disp;
  ASSERT_EQ(S_OK, cf.query(disp));
  const wchar_t* names[] = {L"Read", L"Write", L"CreateSection", L"CreateRecord", L"ReadFromRegistry",
                            L"WriteToRegistry", L"ReadFromBinaryStream", L"WriteToBinaryStream",
                            L"PreserveStringsWide", L"PreserveUnsignedInt", L"ErrorMode"};
  for (DISPID expected = 1; expected <= 11; ++expected) {
    LPOLESTR name = const_cast<LPOLESTR>(names[expected - 1]);
    DISPID id = 0;
    EXPECT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)) << names[expected - 1];
    EXPECT_EQ(id, expected) << names[expected - 1];
  }
  Variant section;
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"CreateSection", DISPATCH_METHOD, nullptr, 0, section.put()));
  ASSERT_EQ(section.vt(), VT_DISPATCH);
  Variant mode = I4(3);
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"ErrorMode", DISPATCH_PROPERTYPUT, mode.get(), 1, nullptr));
  Variant got;
  ASSERT_EQ(S_OK, orvtest::CallByName(disp.get(), L"ErrorMode", DISPATCH_PROPERTYGET, nullptr, 0, got.put()));
  EXPECT_EQ(Text(got.get()), L"3");
  Variant bad = I4(99);
  EXCEPINFO ei = {};
  EXPECT_EQ(DISP_E_EXCEPTION,
            orvtest::CallByName(disp.get(), L"ErrorMode", DISPATCH_PROPERTYPUT, bad.get(), 1, nullptr, &ei));
  EXPECT_STREQ(ei.bstrDescription, L"Invalid error mode");
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrHelpFile);
  IConfigFile* raw = cf.release();
  disp.reset();
  section.reset();
  EXPECT_EQ(0u, raw->Release());
}

}  // namespace
