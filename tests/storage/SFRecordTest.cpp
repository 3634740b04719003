// SFField, SFRecord and SFFilter through their vtables and IDispatch over memory and file
// streams: record sizes and layout bytes, both string modes and byte orders, seeking by
// records with StreamBegin and the 31-bit limit, the stream position after every
// navigation step, in-place updates, and encoding failures that must write nothing.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;
using orvtest::I4;
using orvtest::Obj;
using orvtest::Str;
using orvtest::Text;

namespace {

constexpr HRESULT Msg(UINT id) { return static_cast<HRESULT>(0x80040000u | id); }

class SFRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFRecord, nullptr, CLSCTX_INPROC_SERVER, IID_ISFRecord, rec.put_void()));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFFilter, nullptr, CLSCTX_INPROC_SERVER, IID_ISFFilter, filter.put_void()));
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  }
  void TearDown() override {
    rec.reset();
    filter.reset();
    stream.reset();
    CoUninitialize();
  }
  ComPtr<ISFField> AddField(const wchar_t* name, LONG type, LONG size = 0) {
    ComPtr<IDispatch> disp;
    Bstr n(name);
    EXPECT_EQ(S_OK, rec->AddField(n.get(), type, size, disp.put())) << name;
    ComPtr<ISFField> field;
    if (disp) disp.query(field);
    return field;
  }
  // Int id, String(10) name, Boolean flag.
  void AddSample() {
    id = AddField(L"id", 3);
    name = AddField(L"Name", 8, 10);
    flag = AddField(L"flag", 11);
  }
  void Bind() { ASSERT_EQ(S_OK, rec->BindTo(*Obj(stream.get()).get(), *Obj(filter.get()).get())); }
  void Set(ISFField* f, Variant v) { ASSERT_EQ(S_OK, f->put_Value(*v.get())); }
  std::wstring Value(ISFField* f) {
    Variant v;
    if (FAILED(f->get_Value(v.get()))) return L"<failed>";
    return Text(v.get());
  }
  LONGLONG Pos() {
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER at = {};
    stream->Seek(zero, STREAM_SEEK_CUR, &at);
    return static_cast<LONGLONG>(at.QuadPart);
  }
  void SetPos(LONGLONG p) {
    LARGE_INTEGER to;
    to.QuadPart = p;
    stream->Seek(to, STREAM_SEEK_SET, nullptr);
  }
  std::string AllBytes() {
    const LONGLONG here = Pos();
    SetPos(0);
    std::string out;
    char buf[512];
    ULONG n = 0;
    while (SUCCEEDED(stream->Read(buf, sizeof buf, &n)) && n) out.append(buf, n);
    SetPos(here);
    return out;
  }
  // Writes records with ids from..to (names "n<id>") at the current position.
  void WriteRecords(LONG from, LONG to) {
    for (LONG i = from; i <= to; ++i) {
      Set(id.get(), I4(i));
      Set(name.get(), Str((L"n" + std::to_wstring(i)).c_str()));
      VARIANT_BOOL ok = 0;
      ASSERT_EQ(S_OK, rec->Write(&ok));
      ASSERT_EQ(1, ok);
    }
  }
  using Step = HRESULT (STDMETHODCALLTYPE ISFRecord::*)(VARIANT_BOOL*);
  static std::wstring Error() { return orvtest::TakeErrorRecord().description; }

  ComPtr<ISFRecord> rec;
  ComPtr<ISFFilter> filter;
  ComPtr<IStream> stream;
  ComPtr<ISFField> id, name, flag;
};

TEST_F(SFRecordTest, FieldTypesSizesAndValues) {
  ComPtr<ISFField> f;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFField, nullptr, CLSCTX_INPROC_SERVER, IID_ISFField, f.put_void()));
  EXPECT_EQ(E_INVALIDARG, f->put_Type(9));
  EXPECT_EQ(E_INVALIDARG, f->put_Type(1));
  struct Row {
    LONG type, defaultSize;
  } rows[] = {{0, 0}, {17, 1}, {2, 2}, {3, 4}, {4, 4}, {5, 8}, {11, 2}, {6, 8}, {7, 8}, {8, 50}, {16, 1}, {18, 2}, {19, 4}};
  for (const Row& r : rows) {
    ASSERT_EQ(S_OK, f->put_Type(r.type));
    LONG size = -1;
    f->get_Size(&size);
    EXPECT_EQ(r.defaultSize, size) << r.type;
    EXPECT_EQ(S_OK, f->put_Size(77));  // fixed sizes ignore it
  }
  LONG size = 0;
  f->get_Size(&size);
  EXPECT_EQ(4, size);
  ASSERT_EQ(S_OK, f->put_Type(8));
  Variant v;
  EXPECT_EQ(Msg(10120), f->get_Value(v.get()));  // a String never assigned
  EXPECT_EQ(L"Field not set", Error());
  EXPECT_EQ(E_INVALIDARG, f->put_Size(-1));
  ASSERT_EQ(S_OK, f->put_Size(3));
  Set(f.get(), Str(L"abcdef"));
  EXPECT_EQ(L"abc", Value(f.get()));  // cut to Size
  f->put_Exclude(VARIANT_TRUE);
  ASSERT_EQ(S_OK, f->put_Type(3));  // a new type clears
  VARIANT_BOOL excluded = 1;
  f->get_Exclude(&excluded);
  EXPECT_EQ(0, excluded);
  EXPECT_EQ(DISP_E_TYPEMISMATCH, f->put_Value(*Str(L"twelve").get()));
  Set(f.get(), Str(L"12"));
  ASSERT_EQ(S_OK, f->get_Value(v.put()));
  EXPECT_EQ(VT_I4, v.vt());
  EXPECT_EQ(S_OK, f->Clear());
  LONG type = 9;
  f->get_Type(&type);
  EXPECT_EQ(0, type);
}

TEST_F(SFRecordTest, RecordSizeInBothStringModes) {
  AddSample();
  LONG size = 0;
  ASSERT_EQ(S_OK, filter->CalcBuffer(*Obj(rec.get()).get(), &size));
  EXPECT_EQ(26, size);
  filter->put_unicodeText(0);
  ASSERT_EQ(S_OK, filter->CalcBuffer(*Obj(rec.get()).get(), &size));
  EXPECT_EQ(16, size);
  name->put_Exclude(VARIANT_TRUE);
  ASSERT_EQ(S_OK, filter->CalcBuffer(*Obj(rec.get()).get(), &size));
  EXPECT_EQ(6, size);
  AddField(L"blank", 8);  // a String added without a size takes no bytes
  ASSERT_EQ(S_OK, filter->CalcBuffer(*Obj(rec.get()).get(), &size));
  EXPECT_EQ(6, size);
  EXPECT_EQ(Msg(10122), filter->CalcBuffer(*I4(1).get(), &size));
  EXPECT_EQ(L"Not a record object.", Error());
  // A record too large to hold is refused instead of wrapping around.
  AddField(L"huge", 8, 0x7FFFFFFF);
  EXPECT_EQ(E_OUTOFMEMORY, filter->CalcBuffer(*Obj(rec.get()).get(), &size));
}

TEST_F(SFRecordTest, LayoutBytesInBothOrders) {
  AddSample();
  Bind();
  Set(id.get(), I4(1));
  Set(name.get(), Str(L"ab"));
  Set(flag.get(), I4(1));
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, rec->Write(&ok));
  const std::string little = std::string("\x01\x00\x00\x00" "a\0b\0", 8) + std::string(16, '\0') + "\xFF\xFF";
  EXPECT_EQ(little, AllBytes());
  EXPECT_EQ(26, Pos());
  for (LONG order : {0, 3, 4, 64}) {
    filter->put_ByteOrder(order);
    filter->Reset();
    filter->PutVar(*I4(1).get(), 3, 0);
    Variant buffer;
    ASSERT_EQ(S_OK, filter->get_Buffer(buffer.get()));
    EXPECT_EQ(0, memcmp("\x01\x00\x00\x00", V_ARRAY(buffer.get())->pvData, 4)) << order;
  }
  filter->put_ByteOrder(1);
  filter->put_UnicodeByteOrder(2);
  SetPos(0);
  ASSERT_EQ(S_OK, rec->Update(&ok));  // overwrites record 0 and stays at its start
  EXPECT_EQ(0, Pos());
  const std::string big = std::string("\x00\x00\x00\x01" "\0a\0b", 8) + std::string(16, '\0') + "\xFF\xFF";
  EXPECT_EQ(big, AllBytes());
  Set(id.get(), I4(0));
  ASSERT_EQ(S_OK, rec->ReRead(&ok));
  EXPECT_EQ(L"1", Value(id.get()));
  EXPECT_EQ(L"ab", Value(name.get()));
  EXPECT_EQ(L"True", Value(flag.get()));
}

TEST_F(SFRecordTest, CodePageMode) {
  AddSample();
  filter->put_unicodeText(0);
  filter->put_codePage(CP_UTF8);
  Bind();
  Set(name.get(), Str(L"0123456789"));  // exactly Size bytes: no terminator
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, rec->Write(&ok));
  EXPECT_EQ(std::string("\0\0\0\0" "0123456789" "\0\0", 16), AllBytes());
  // Multibyte text that needs more than Size bytes: nothing reaches the stream.
  Set(name.get(), Str(L"\x00E9\x00E9\x00E9\x00E9\x00E9\x00E9"));
  EXPECT_EQ(Msg(10125), rec->Write(&ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(16, Pos());
  EXPECT_EQ(16u, AllBytes().size());
  Set(name.get(), Str(L"\x00E9t\x00E9"));
  SetPos(0);
  ASSERT_EQ(S_OK, rec->Update(&ok));
  ASSERT_EQ(S_OK, rec->MoveFirst(&ok));
  EXPECT_EQ(L"\x00E9t\x00E9", Value(name.get()));
  filter->put_codePage(12345);  // not a code page
  EXPECT_EQ(Msg(10126), rec->Write(&ok));
  EXPECT_EQ(16u, AllBytes().size());
  // A buffer smaller than the record (resized behind the record's back): nothing written.
  filter->put_codePage(0);
  filter->put_buffSize(5);
  const std::string before = AllBytes();
  SetPos(0);
  EXPECT_EQ(Msg(10124), rec->Update(&ok));
  EXPECT_EQ(Msg(10124), rec->Write(&ok));
  EXPECT_EQ(before, AllBytes());
  EXPECT_EQ(0, Pos());
}

TEST_F(SFRecordTest, NavigationPositions) {
  AddSample();
  Bind();
  WriteRecords(0, 3);  // four records of 26 bytes
  LONG count = 0;
  ASSERT_EQ(S_OK, rec->get_RecordCount(&count));
  EXPECT_EQ(4, count);
  struct Row {
    Step step;
    const char* what;
    HRESULT hr;
    LONGLONG pos;
    const wchar_t* idAfter;
  } rows[] = {
      {&ISFRecord::MoveFirst, "first", S_OK, 0, L"0"},    {&ISFRecord::MoveNext, "next", S_OK, 26, L"1"},
      {&ISFRecord::ReRead, "reread", S_OK, 26, L"1"},     {&ISFRecord::MoveLast, "last", S_OK, 78, L"3"},
      {&ISFRecord::MoveNext, "past end", S_FALSE, 104, L"3"}, {&ISFRecord::MovePrev, "prev", S_OK, 78, L"3"},
      {&ISFRecord::MovePrev, "prev", S_OK, 52, L"2"},     {&ISFRecord::Read, "read", S_OK, 78, L"2"},
      {&ISFRecord::MoveFirst, "first", S_OK, 0, L"0"},    {&ISFRecord::MovePrev, "before 0", S_FALSE, 0, L"0"},
  };
  for (const Row& r : rows) {
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(r.hr, (rec.get()->*r.step)(&ok)) << r.what;
    EXPECT_EQ(r.hr == S_OK ? 1 : 0, ok) << r.what;
    EXPECT_EQ(r.pos, Pos()) << r.what;
    EXPECT_EQ(std::wstring(r.idAfter), Value(id.get())) << r.what;
  }
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, rec->Move(2, 0, &ok));
  EXPECT_EQ(L"n2", Value(name.get()));
  EXPECT_EQ(52, Pos());
  EXPECT_EQ(E_INVALIDARG, rec->Move(-1, 0, &ok));
  EXPECT_EQ(52, Pos());
  // A short read at the end: false, and the fields keep their values.
  SetPos(90);
  EXPECT_EQ(S_FALSE, rec->Read(&ok));
  EXPECT_EQ(L"n2", Value(name.get()));
}

TEST_F(SFRecordTest, StreamBeginAndTheLimits) {
  AddSample();
  filter->put_StreamBegin(30);
  EXPECT_EQ(E_INVALIDARG, filter->put_StreamBegin(-1));
  Bind();
  ULARGE_INTEGER size;
  size.QuadPart = 100;
  stream->SetSize(size);
  LONG count = 0;
  ASSERT_EQ(S_OK, rec->get_RecordCount(&count));
  EXPECT_EQ(2, count);
  filter->put_StreamBegin(0);
  ASSERT_EQ(S_OK, rec->get_RecordCount(&count));
  EXPECT_EQ(3, count);
  filter->put_StreamBegin(30);
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, filter->Seek(*Obj(stream.get()).get(), 1, 0, &ok));
  EXPECT_EQ(56, Pos());
  EXPECT_EQ(S_FALSE, filter->Seek(*Obj(stream.get()).get(), -2, 1, &ok));  // before StreamBegin
  EXPECT_EQ(56, Pos());
  ASSERT_EQ(S_OK, filter->Seek(*Obj(stream.get()).get(), -1, 1, &ok));
  EXPECT_EQ(30, Pos());
  ASSERT_EQ(S_OK, filter->Seek(*Obj(stream.get()).get(), -2, 2, &ok));
  EXPECT_EQ(48, Pos());
  EXPECT_EQ(S_FALSE, filter->Seek(*Obj(stream.get()).get(), -3, 2, &ok));
  // Record numbers whose byte offset passes 31 bits: refused, position restored.
  EXPECT_EQ(Msg(10131), filter->Seek(*Obj(stream.get()).get(), 0x7FFFFFFF, 0, &ok));
  EXPECT_EQ(48, Pos());
  EXPECT_EQ(Msg(10131), filter->Seek(*Obj(stream.get()).get(), 0x7FFFFFFF, 1, &ok));
  EXPECT_EQ(48, Pos());
  EXPECT_EQ(Msg(10131), filter->SetSize(*Obj(stream.get()).get(), 0x7FFFFFFF));
  EXPECT_EQ(E_INVALIDARG, filter->SetSize(*Obj(stream.get()).get(), -1));
  ASSERT_EQ(S_OK, filter->SetSize(*Obj(stream.get()).get(), 4));
  EXPECT_EQ(134u, AllBytes().size());
  EXPECT_EQ(S_OK, rec->put_RecordCount(99));
  EXPECT_EQ(134u, AllBytes().size());
}

TEST_F(SFRecordTest, BufferPositionPastTheEnd) {
  filter->put_buffSize(4);
  filter->put_bufferPos(3);
  EXPECT_EQ(Msg(10124), filter->PutVar(*I4(1).get(), 3, 0));
  filter->put_bufferPos(1000);
  EXPECT_EQ(Msg(10124), filter->PutVar(*I4(1).get(), 17, 0));
  Variant v;
  EXPECT_EQ(Msg(10124), filter->GetVar(17, 0, v.get()));
  EXPECT_EQ(Msg(10124), filter->PutVar(*Str(L"").get(), 8, 0));  // even an empty text
  filter->put_bufferPos(-5);  // ignored
  LONG pos = 0;
  filter->get_bufferPos(&pos);
  EXPECT_EQ(1000, pos);
  filter->Reset();
  ASSERT_EQ(S_OK, filter->PutVar(*Str(L"7").get(), 18, 0));
  filter->get_bufferPos(&pos);
  EXPECT_EQ(2, pos);
  EXPECT_EQ(Msg(10123), filter->PutVar(*I4(1).get(), 20, 0));
  EXPECT_EQ(Msg(10127), filter->PutVar(*I4(1).get(), 9, 0));
  EXPECT_EQ(L"The object passed is not a SFField or SFRecord object.", Error());
  EXPECT_EQ(E_INVALIDARG, filter->PutVar(*Str(L"x").get(), 8, -1));
  filter->put_bufferPos(0);
  ASSERT_EQ(S_OK, filter->GetVar(18, 0, v.put()));
  EXPECT_EQ(VT_UI2, v.vt());
  EXPECT_EQ(7, V_UI2(v.get()));
  EXPECT_EQ(E_INVALIDARG, filter->put_buffSize(-1));
  ComPtr<ISFFilter> fresh;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFFilter, nullptr, CLSCTX_INPROC_SERVER, IID_ISFFilter, fresh.put_void()));
  EXPECT_EQ(Msg(10102), fresh->Reset());
  EXPECT_EQ(Msg(10102), fresh->PutVar(*I4(1).get(), 3, 0));
}

TEST_F(SFRecordTest, ExcludedFieldsAndFieldLookup) {
  AddSample();
  Bind();
  WriteRecords(5, 5);
  Set(id.get(), I4(99));
  name->put_Exclude(VARIANT_TRUE);
  ASSERT_EQ(S_OK, rec->ReBind());
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, rec->MoveFirst(&ok));  // reads 6 bytes: id and flag
  EXPECT_EQ(L"n5", Value(name.get()));
  // The single field is coded even when excluded.
  filter->put_buffSize(26);
  filter->put_bufferPos(0);
  ASSERT_EQ(S_OK, filter->Put(*Obj(name.get()).get()));
  LONG pos = 0;
  filter->get_bufferPos(&pos);
  EXPECT_EQ(20, pos);

  ComPtr<IDispatch> d;
  EXPECT_EQ(DISP_E_BADINDEX, rec->get_Field(*I4(0).get(), d.put()));
  EXPECT_EQ(DISP_E_BADINDEX, rec->get_Field(*I4(4).get(), d.put()));
  EXPECT_EQ(DISP_E_BADINDEX, rec->get_Field(*Str(L"nope").get(), d.put()));
  ASSERT_EQ(S_OK, rec->get_Field(*Str(L"NAME").get(), d.put()));
  ComPtr<ISFField> found;
  d.query(found);
  EXPECT_EQ(name.get(), found.get());
  ASSERT_EQ(S_OK, rec->get_Field(*orvtest::R8(2.0).get(), d.put()));
  EXPECT_EQ(Msg(10121), rec->Add(*I4(5).get()));
  EXPECT_EQ(L"Not a field object.", Error());
  EXPECT_EQ(Msg(10121), rec->Replace(*I4(1).get(), *Obj(rec.get()).get()));
  ASSERT_EQ(S_OK, rec->Replace(*I4(1).get(), *Obj(flag.get()).get()));
  ASSERT_EQ(S_OK, rec->Remove(*Str(L"flag").get()));  // the first match: slot 1
  LONG count = 0;
  rec->get_Count(&count);
  EXPECT_EQ(2, count);
  ASSERT_EQ(S_OK, rec->get_Field(*I4(1).get(), d.put()));
  d.query(found);
  EXPECT_EQ(name.get(), found.get());
  Bstr defs(L"anything at all");
  EXPECT_EQ(S_OK, rec->CreateSet(defs.get()));
  // The enumerator hands out the field objects themselves; a bad type adds nothing.
  ComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, rec->get__NewEnum(unk.put()));
  ComPtr<IEnumVARIANT> walk;
  ASSERT_EQ(S_OK, unk.query(walk));
  Variant items[3];
  ULONG got = 0;
  walk->Next(3, items[0].get(), &got);
  ASSERT_EQ(2u, got);
  ASSERT_EQ(VT_DISPATCH, items[1].vt());
  ComPtr<ISFField> second;
  ASSERT_EQ(S_OK, V_DISPATCH(items[1].get())->QueryInterface(IID_ISFField, second.put_void()));
  EXPECT_EQ(flag.get(), second.get());
  Bstr bad(L"bad");
  EXPECT_EQ(E_INVALIDARG, rec->AddField(bad.get(), 9, 0, d.put()));
  rec->get_Count(&count);
  EXPECT_EQ(2, count);
}

TEST_F(SFRecordTest, TwoRecordsShareOneFilter) {
  AddSample();
  Bind();
  WriteRecords(1, 2);
  ComPtr<ISFRecord> other;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFRecord, nullptr, CLSCTX_INPROC_SERVER, IID_ISFRecord, other.put_void()));
  ComPtr<IDispatch> otherId;
  Bstr n(L"id");
  ASSERT_EQ(S_OK, other->AddField(n.get(), 3, 0, otherId.put()));
  ComPtr<IStream> second;
  ASSERT_EQ(S_OK, stream->Clone(second.put()));
  ASSERT_EQ(S_OK, other->BindTo(*Obj(second.get()).get(), *Obj(filter.get()).get()));
  // The filter now codes 4-byte records for both until the first is bound again.
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, other->Move(0, 0, &ok));
  ComPtr<ISFField> otherField;
  otherId.query(otherField);
  EXPECT_EQ(L"1", Value(otherField.get()));
  EXPECT_EQ(S_OK, other->MoveNext(&ok));  // the next 4 bytes: the first record's name
  EXPECT_EQ(L"3211374", Value(otherField.get()));  // "n1" as UTF-16 units: 0x0031006E
  ASSERT_EQ(S_OK, rec->ReBind());
  ASSERT_EQ(S_OK, rec->MoveFirst(&ok));
  EXPECT_EQ(L"1", Value(id.get()));
  ASSERT_EQ(S_OK, rec->MoveNext(&ok));
  EXPECT_EQ(L"n2", Value(name.get()));
  LONGLONG mine = Pos();
  EXPECT_EQ(26, mine);
}

TEST_F(SFRecordTest, BindingRules) {
  AddSample();
  VARIANT_BOOL ok = 0;
  EXPECT_EQ(Msg(10130), rec->MoveFirst(&ok));
  EXPECT_EQ(L"Record not attached to valid stream and filter.", Error());
  LONG count = 0;
  EXPECT_EQ(Msg(10130), rec->get_RecordCount(&count));
  EXPECT_EQ(E_POINTER, rec->MoveNext(nullptr));
  EXPECT_EQ(Msg(10128), rec->BindTo(*I4(1).get(), *orvtest::Missing().get()));
  EXPECT_EQ(L"Parameter is not a stream or not initialized.", Error());
  EXPECT_EQ(Msg(10129), rec->BindTo(*Obj(stream.get()).get(), *Obj(rec.get()).get()));
  EXPECT_EQ(L"Invalid SFFilter object or not a SFFilter", Error());
  // An SFStream is reached through its raw stream; without a filter a default one is made.
  ComPtr<ISFMain> sf;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, sf.put_void()));
  ComPtr<IDispatch> memory;
  ASSERT_EQ(S_OK, sf->CreateMemoryStream(memory.put()));
  ASSERT_EQ(S_OK, rec->BindTo(*Obj(memory.get()).get(), *orvtest::Missing().get()));
  ComPtr<IDispatch> own;
  ASSERT_EQ(S_OK, rec->get_Filter(own.put()));
  ComPtr<ISFFilter> made;
  ASSERT_EQ(S_OK, own.query(made));
  LONG size = 0;
  made->get_buffSize(&size);
  EXPECT_EQ(26, size);
  WriteRecords(1, 2);
  ComPtr<ISFStream> s;
  memory.query(s);
  LONG streamSize = 0;
  s->get_Size(&streamSize);
  EXPECT_EQ(52, streamSize);
  // A size change takes effect on ReBind only.
  name->put_Size(2);
  made->get_buffSize(&size);
  EXPECT_EQ(26, size);
  ASSERT_EQ(S_OK, rec->ReBind());
  made->get_buffSize(&size);
  EXPECT_EQ(10, size);
  ASSERT_EQ(S_OK, rec->UnBind());
  EXPECT_EQ(Msg(10130), rec->ReBind());
  EXPECT_EQ(Msg(10128), filter->GetSize(*Obj(rec.get()).get(), &count));
}

TEST_F(SFRecordTest, FileRecordsThroughDispatch) {
  ComPtr<ISFMain> sf;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, sf.put_void()));
  ComPtr<IDispatch> file;
  const std::wstring path = orvtest::BinPath(L"records-test.bin");
  Bstr p(path.c_str());
  ASSERT_EQ(S_OK, sf->CreateFile(p.get(), 18, file.put()));
  AddSample();
  Variant args[2] = {Obj(file.get()), Obj(filter.get())};
  Variant result;
  ASSERT_EQ(S_OK, orvtest::CallByName(rec.get(), L"BindTo", DISPATCH_METHOD, args[0].get(), 2, result.get()));
  WriteRecords(10, 12);
  // Field(2).Value by name, as a script writes it.
  Variant index = I4(2);
  ASSERT_EQ(S_OK, orvtest::CallByName(rec.get(), L"MoveLast", DISPATCH_METHOD, nullptr, 0, result.put()));
  EXPECT_EQ(VT_BOOL, result.vt());
  EXPECT_EQ(1, V_BOOL(result.get()));
  ASSERT_EQ(S_OK, orvtest::CallByName(rec.get(), L"Field", DISPATCH_PROPERTYGET, index.get(), 1, result.put()));
  ASSERT_EQ(VT_DISPATCH, result.vt());
  Variant value;
  ASSERT_EQ(S_OK, orvtest::CallByName(V_DISPATCH(result.get()), L"Value", DISPATCH_PROPERTYGET, nullptr, 0, value.get()));
  EXPECT_EQ(L"n12", Text(value.get()));
  ComPtr<ISFStream> s;
  file.query(s);
  LONG pos = 0;
  s->get_Pos(&pos);
  EXPECT_EQ(52, pos);
  s->Close();
  rec->UnBind();
  DeleteFileW(path.c_str());
  ComPtr<ISFRecord> last = rec;
  rec.reset();
  id.reset();
  name.reset();
  flag.reset();
  EXPECT_EQ(0u, last.release()->Release());
}

}  // namespace

namespace {

// A free-threaded field made from a single-threaded apartment is reached through a proxy:
// the record codes it through its interface.
TEST_F(SFRecordTest, FieldsBehindProxies) {
  ComPtr<ISFField> remote;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFFieldFree, nullptr, CLSCTX_INPROC_SERVER, IID_ISFField, remote.put_void()));
  ASSERT_EQ(S_OK, remote->put_Type(8));
  ASSERT_EQ(S_OK, remote->put_Size(3));
  ASSERT_EQ(S_OK, rec->Add(*Obj(remote.get()).get()));
  id = AddField(L"id", 3);
  Bind();
  LONG size = 0;
  filter->get_buffSize(&size);
  EXPECT_EQ(10, size);
  Set(id.get(), I4(4));
  VARIANT_BOOL ok = 0;
  ASSERT_EQ(S_OK, rec->Write(&ok));  // the text was never set: it is written empty
  Set(remote.get(), Str(L"xyz"));
  ASSERT_EQ(S_OK, rec->Write(&ok));
  EXPECT_EQ(std::string("\0\0\0\0\0\0\x04\0\0\0" "x\0y\0z\0\x04\0\0\0", 20), AllBytes());
  Set(remote.get(), Str(L""));
  ASSERT_EQ(S_OK, rec->MoveLast(&ok));
  EXPECT_EQ(L"xyz", Value(remote.get()));
  ComPtr<IDispatch> found;
  ASSERT_EQ(S_OK, rec->get_Field(*Str(L"ID").get(), found.put()));
}

}  // namespace
