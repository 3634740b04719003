// SFStream through its vtable and IDispatch over memory and file streams: byte arrays,
// positions, every ReadText mode with its exact end position, WriteText encodings, Find,
// copying, cloning, statistics and the closed-object errors.
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "tests/support/TestSupport.h"

using orv::Bstr;
using orv::ComPtr;
using orv::Variant;

namespace {


class SFStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

  void SetUp() override {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFMain, nullptr, CLSCTX_INPROC_SERVER, IID_ISFMain, main.put_void()));
    s = NewMemoryStream();
    ASSERT_TRUE(s);
  }

  ComPtr<ISFStream> NewMemoryStream() {
    ComPtr<IDispatch> d;
    ComPtr<ISFStream> out;
    if (SUCCEEDED(main->CreateMemoryStream(d.put()))) d.query(out);
    return out;
  }
  void PutBytes(ISFStream* st, const std::string& bytes) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!bytes.empty()) {
      void* p = nullptr;
      SafeArrayAccessData(sa, &p);
      memcpy(p, bytes.data(), bytes.size());
      SafeArrayUnaccessData(sa);
    }
    Variant v;
    V_VT(v.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(v.get()) = sa;
    LONG written = -1;
    ASSERT_EQ(S_OK, st->WriteBin(*v.get(), &written));
    ASSERT_EQ(static_cast<LONG>(bytes.size()), written);
  }
  // Replaces the stream's content and rewinds.
  void Load(const std::string& bytes) {
    s->put_Size(0);
    s->put_Pos(0);
    PutBytes(s.get(), bytes);
    s->put_Pos(0);
  }
  std::string AllBytes(ISFStream* st) {
    LONG size = 0;
    st->get_Size(&size);
    st->put_Pos(0);
    Variant v;
    if (st->ReadBin(size, v.get()) != S_OK) return {};
    void* p = nullptr;
    SafeArrayAccessData(V_ARRAY(v.get()), &p);
    std::string out(static_cast<char*>(p), V_ARRAY(v.get())->rgsabound[0].cElements);
    SafeArrayUnaccessData(V_ARRAY(v.get()));
    return out;
  }
  std::wstring Read(LONG chars, HRESULT expect = S_OK) {
    Bstr text;
    EXPECT_EQ(expect, s->ReadText(chars, text.put())) << chars;
    return text.c_str();
  }
  LONG Pos() {
    LONG p = -1;
    s->get_Pos(&p);
    return p;
  }
  std::wstring LastError() { return orvtest::TakeErrorRecord().description; }

  ComPtr<ISFMain> main;
  ComPtr<ISFStream> s;
};

TEST_F(SFStreamTest, ByteArraysSizesAndPositions) {
  Load("0123456789");
  LONG v = 0;
  EXPECT_EQ(S_OK, s->get_Size(&v));
  EXPECT_EQ(10, v);
  EXPECT_EQ(S_OK, s->Seek(-3, 2, &v));
  EXPECT_EQ(7, v);
  Variant bytes;
  EXPECT_EQ(S_OK, s->ReadBin(100, bytes.get()));
  EXPECT_EQ(VT_ARRAY | VT_UI1, bytes.vt());
  EXPECT_EQ(3u, V_ARRAY(bytes.get())->rgsabound[0].cElements);
  Variant none;
  EXPECT_EQ(S_FALSE, s->ReadBin(0, none.get()));
  EXPECT_EQ(VT_EMPTY, none.vt());
  EXPECT_EQ(S_FALSE, s->ReadBin(5, none.get()));  // at the end
  EXPECT_EQ(E_INVALIDARG, s->ReadBin(-1, none.get()));
  EXPECT_EQ(L"Negative size specified.", LastError());
  // A huge count reads what there is without reserving the count up front.
  s->put_Pos(2);
  EXPECT_EQ(S_OK, s->ReadBin(0x7FFFFFFF, bytes.put()));
  EXPECT_EQ(8u, V_ARRAY(bytes.get())->rgsabound[0].cElements);

  // Only byte arrays are written; a by-reference array is taken as its value.
  SAFEARRAY* words = SafeArrayCreateVector(VT_I2, 0, 2);
  Variant w;
  V_VT(w.get()) = VT_ARRAY | VT_I2;
  V_ARRAY(w.get()) = words;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, s->WriteBin(*w.get(), &v));
  EXPECT_EQ(L"Safe array of VT_UI1 expected", LastError());
  EXPECT_EQ(0, v);

  // EOS: true at the end; setting it truncates at the position; false changes nothing.
  s->put_Pos(4);
  EXPECT_EQ(S_OK, s->get_EOS(&v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(S_OK, s->put_EOS(0));
  s->get_Size(&v);
  EXPECT_EQ(10, v);
  EXPECT_EQ(S_OK, s->put_EOS(1));
  s->get_Size(&v);
  EXPECT_EQ(4, v);
  s->get_EOS(&v);
  EXPECT_EQ(1, v);
  EXPECT_EQ(S_OK, s->put_Size(6));
  EXPECT_EQ("0123", AllBytes(s.get()).substr(0, 4));
  s->get_Size(&v);
  EXPECT_EQ(6, v);
}

TEST_F(SFStreamTest, LineReadingEndsExactlyAfterTheSeparator) {
  Load("ab\r\r\ncd\r\nlast");
  EXPECT_EQ(L"ab\r\r\ncd", Read(-1));  // CR CR LF is not a line end
  EXPECT_EQ(9, Pos());
  EXPECT_EQ(L"last", Read(-1));
  EXPECT_EQ(L"", Read(-1));
  LONG eos = 0;
  s->get_EOS(&eos);
  EXPECT_EQ(1, eos);

  Load("ab\r\r\ncd");
  EXPECT_EQ(L"ab", Read(-3));
  EXPECT_EQ(3, Pos());  // at the second CR
  EXPECT_EQ(L"", Read(-3));
  EXPECT_EQ(L"cd", Read(-3));

  Load("a\n\nb\r\n\r\nc\n\rd");
  EXPECT_EQ(L"a", Read(-3));
  EXPECT_EQ(L"", Read(-3));
  EXPECT_EQ(L"b", Read(-3));
  EXPECT_EQ(L"", Read(-3));
  EXPECT_EQ(L"c", Read(-3));
  EXPECT_EQ(L"d", Read(-3));

  // Separators of several characters, and a custom one that is not at a block edge.
  Load("one||two|three||");
  Bstr sep(L"||");
  EXPECT_EQ(S_OK, s->put_textLineSeparator(sep.get()));
  EXPECT_EQ(L"one", Read(-1));
  EXPECT_EQ(L"two|three", Read(-1));
  EXPECT_EQ(16, Pos());
  // "" keeps the separator, nine characters are refused.
  Bstr empty(L""), nine(L"123456789"), got;
  EXPECT_EQ(S_OK, s->put_textLineSeparator(empty.get()));
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10112), s->put_textLineSeparator(nine.get()));
  EXPECT_EQ(L"Line delimiters cannot exceed 8 characters and must contain at least one character.", LastError());
  s->get_textLineSeparator(got.put());
  EXPECT_STREQ(L"||", got.c_str());

  // Lines that cross the stream's internal read blocks keep exact positions.
  std::string big;
  for (int i = 0; i < 30000; ++i) big += "line " + std::to_string(i) + "\r\n";
  s->put_textLineSeparator(Bstr(L"\r\n").get());
  Load(big);
  LONG expected = 0;
  for (int i = 0; i < 30000; ++i) {
    const std::wstring want = L"line " + std::to_wstring(i);
    ASSERT_EQ(want, Read(-1));
    expected += static_cast<LONG>(want.size()) + 2;
    ASSERT_EQ(expected, Pos());
  }
}

// Line reading takes blocks from the stream (256 bytes first, growing to 64 KiB) and a
// file stream keeps a shared 64 KiB read cache; neither may show in the results. The same
// text is read from every kind of stream, with separators, partial separators and
// multibyte characters placed across those block edges, and other members interleaved.
TEST_F(SFStreamTest, BlockReadsKeepExactResultsAndPositionsOnEveryKindOfStream) {
  std::vector<std::string> lines;
  lines.push_back(std::string(255, 'a'));  // CR at 255, LF at 256: across the first read
  size_t at = 257;
  auto fillTo = [&](size_t edge, size_t before) {  // the next line's CR lands at edge - before
    while (edge - before - at > 300) {
      lines.push_back("line " + std::to_string(lines.size()) + std::string(95, 'f'));
      at += lines.back().size() + 2;
    }
    lines.push_back(std::string(edge - before - at, 'g'));
    at += lines.back().size() + 2;
  };
  fillTo(65536, 1);  // CR LF across the first cache block
  fillTo(131072, 2);
  lines.push_back("x\r\r\ny\rz");  // CR CR LF and a lone CR: one line, the partial CR at the edge
  at += lines.back().size() + 2;
  fillTo(196608, 1);
  lines.back() += "\xe2\x82\xac";  // the euro sign in UTF-8 ends on the edge...
  at += 3;
  lines.push_back("\xe2\x82\xac" + std::string(70000, 'h'));  // ...and starts one longer than a block
  at += lines.back().size() + 2;
  lines.push_back("last");
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  std::vector<LONG> ends;
  LONG end = 0;
  for (const auto& l : lines) ends.push_back(end += static_cast<LONG>(l.size()) + 2);
  auto wide = [](const std::string& utf8) {
    std::wstring w(utf8.size(), L'\0');
    w.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(),
                                 static_cast<int>(w.size())));
    return w;
  };

  auto check = [&](ISFStream* st, const char* kind) {
    SCOPED_TRACE(kind);
    st->put_Size(0);
    st->put_Pos(0);
    PutBytes(st, text);
    st->put_Pos(0);
    st->put_codePage(65001);
    LONG pos = -1, eos = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
      Bstr line;
      ASSERT_EQ(S_OK, st->ReadText(-1, line.put())) << i;
      ASSERT_EQ(wide(lines[i]), line.c_str()) << i;
      st->get_Pos(&pos);
      ASSERT_EQ(ends[i], pos) << i;
    }
    st->get_EOS(&eos);
    EXPECT_EQ(1, eos);

    // ReadBin, Seek and Pos between lines see the exact position; a write lands where the
    // position says and is read back at once.
    const size_t k = 2;  // the line whose CR LF straddles the first cache block
    st->put_Pos(ends[k - 1]);
    Bstr got;
    EXPECT_EQ(S_OK, st->ReadText(-1, got.put()));
    EXPECT_EQ(wide(lines[k]), got.c_str());
    Variant bytes;
    EXPECT_EQ(S_OK, st->ReadBin(3, bytes.get()));
    EXPECT_EQ(3u, V_ARRAY(bytes.get())->rgsabound[0].cElements);
    EXPECT_EQ(S_OK, st->ReadText(-1, got.put()));
    EXPECT_EQ(wide(lines[k + 1].substr(3)), got.c_str());
    EXPECT_EQ(S_OK, st->Seek(-5, 1, &pos));
    EXPECT_EQ(ends[k + 1] - 5, pos);
    EXPECT_EQ(S_OK, st->ReadText(-1, got.put()));
    EXPECT_EQ(wide(lines[k + 1].substr(lines[k + 1].size() - 3)), got.c_str());
    PutBytes(st, "ZZ");
    st->put_Pos(ends[k + 1]);
    EXPECT_EQ(S_OK, st->ReadText(-3, got.put()));
    EXPECT_EQ(L"ZZ" + wide(lines[k + 2].substr(2)), got.c_str());
    st->get_Pos(&pos);
    EXPECT_EQ(ends[k + 2], pos);

    // A clone starts at the same place and reads on its own; what it writes is seen by
    // the original, also in a part the original has just read.
    ComPtr<IUnknown> unk;
    ComPtr<ISFStream> clone;
    ASSERT_EQ(S_OK, st->Clone(unk.put()));
    ASSERT_EQ(S_OK, unk.query(clone));
    clone->put_codePage(65001);
    Bstr mine, theirs;
    EXPECT_EQ(S_OK, clone->ReadText(-1, theirs.put()));
    EXPECT_EQ(S_OK, st->ReadText(-1, mine.put()));
    EXPECT_STREQ(mine.c_str(), theirs.c_str());
    EXPECT_EQ(wide(lines[k + 3]), mine.c_str());
    clone->put_Pos(ends[k + 2]);
    PutBytes(clone.get(), "QQ");
    st->put_Pos(ends[k + 2]);
    EXPECT_EQ(S_OK, st->ReadText(-1, mine.put()));
    EXPECT_EQ(L"QQ" + wide(lines[k + 3].substr(2)), mine.c_str());
    clone->get_Pos(&pos);
    EXPECT_EQ(ends[k + 2] + 2, pos);
  };

  check(s.get(), "memory stream");
  const std::wstring file = orvtest::BinPath(L"sfstream-blocks.txt");
  for (LONG mode : {0x12 | 0x1000, 0x42 | 0x1000}) {  // exclusive (cached), others may write
    ComPtr<IDispatch> d;
    ASSERT_EQ(S_OK, main->CreateFile(Bstr(file.c_str()).get(), mode, d.put()));
    ComPtr<ISFStream> st;
    ASSERT_EQ(S_OK, d.query(st));
    check(st.get(), mode & 0x40 ? "file, shared" : "file, exclusive");
  }
  DeleteFileW(file.c_str());
  const std::wstring docfile = orvtest::BinPath(L"sfstream-blocks.stg");
  ComPtr<IStorage> doc;
  ComPtr<IStream> inner;
  const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
  ASSERT_EQ(S_OK, StgCreateDocfile(docfile.c_str(), mode, 0, doc.put()));
  ASSERT_EQ(S_OK, doc->CreateStream(L"lines", mode, 0, 0, inner.put()));
  ComPtr<ISFStream> st;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SFStream, nullptr, CLSCTX_INPROC_SERVER, IID_ISFStream, st.put_void()));
  ASSERT_EQ(S_OK, st->SetStream(inner.get()));
  check(st.get(), "compound-file stream");
  st.reset();
  inner.reset();
  doc.reset();
  DeleteFileW(docfile.c_str());
}

TEST_F(SFStreamTest, ReadTextCountsRestLimitsAndBadCounts) {
  Load("hello world");
  EXPECT_EQ(L"hello", Read(5));
  EXPECT_EQ(L" world", Read(-2));
  EXPECT_EQ(L"", Read(-2));
  EXPECT_EQ(L"", Read(3));
  Read(0, MAKE_HRESULT(1, 4, 10110));
  Read(-4, MAKE_HRESULT(1, 4, 10110));
  EXPECT_EQ(L"Invalid number of characters requested. Valid values are -2 (entire stream), -1(line) and greater "
            L"(number of chars to read).",
            LastError());

  // ReadText() takes the rest of the stream through IDispatch's default argument.
  s->put_Pos(6);
  Variant result;
  ASSERT_EQ(S_OK, orvtest::CallByName(s.get(), L"ReadText", DISPATCH_METHOD, nullptr, 0, result.get()));
  EXPECT_STREQ(L"world", V_BSTR(result.get()));

  // maxTextBuff 0 still allows 8192 bytes; a longer line without separator is refused.
  EXPECT_EQ(E_INVALIDARG, s->put_maxTextBuff(-1));
  s->put_maxTextBuff(0);
  Load(std::string(8191, 'x'));
  EXPECT_EQ(8191u, Read(-1).size());
  Load(std::string(9000, 'x'));
  Read(-1, MAKE_HRESULT(1, 4, 10111));
  EXPECT_EQ(L"Insufficient buffer size.", LastError());
  EXPECT_EQ(8192, Pos());  // reading stopped at the limit
  s->put_Pos(0);
  Read(-2, MAKE_HRESULT(1, 4, 10111));
  s->put_maxTextBuff(1048576);
}

TEST_F(SFStreamTest, UnicodeAndCodePageText) {
  // UTF-16: lines and counts are in characters.
  s->put_unicodeText(1);
  Bstr text(L"\u0442\u0435\u0441\u0442\r\n\u03a9!");
  EXPECT_EQ(S_OK, s->WriteText(text.get(), 1));
  s->put_Pos(0);
  EXPECT_EQ(L"\u0442\u0435\u0441\u0442", Read(-1));
  EXPECT_EQ(L"\u03a9", Read(1));
  EXPECT_EQ(L"!", Read(-3));
  EXPECT_EQ(std::string("\x0d\x00\x0a\x00", 4), AllBytes(s.get()).substr(16, 4));

  // UTF-8: the whole multibyte conversion is written and read back.
  s->put_unicodeText(0);
  s->put_codePage(65001);
  Load("");
  Bstr utf(L"\u00e9t\u00e9 \u20ac");
  EXPECT_EQ(S_OK, s->WriteText(utf.get(), 1));
  EXPECT_EQ("\xc3\xa9t\xc3\xa9 \xe2\x82\xac\r\n", AllBytes(s.get()));
  s->put_Pos(0);
  EXPECT_EQ(L"\u00e9t\u00e9 \u20ac", Read(-1));

  // Text the code page cannot hold is refused and nothing is written.
  s->put_codePage(1252);
  Load("");
  Bstr greek(L"a\u03a9b");
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10126), s->WriteText(greek.get(), 0));
  EXPECT_EQ(L"String conversion failed. Check if the code page specified is correct and available on your system.",
            LastError());
  LONG size = -1;
  s->get_Size(&size);
  EXPECT_EQ(0, size);
  EXPECT_EQ(E_INVALIDARG, s->WriteText(nullptr, 0));

  // Long texts are written whole.
  std::wstring longText(1000005, L'q');
  Bstr big(longText.c_str());
  EXPECT_EQ(S_OK, s->WriteText(big.get(), 0));
  s->get_Size(&size);
  EXPECT_EQ(1000005, size);
}

TEST_F(SFStreamTest, FindPatternsFlagsAndAlternatives) {
  Load("abcdefabcxyz");
  LONG at = 0;
  Variant what;
  V_VT(what.get()) = VT_BSTR;
  V_BSTR(what.get()) = SysAllocString(L"abc");
  s->put_Pos(1);
  EXPECT_EQ(S_OK, s->Find(*what.get(), 0, 1, &at));
  EXPECT_EQ(6, at);
  EXPECT_EQ(6, Pos());
  EXPECT_EQ(S_OK, s->Find(*what.get(), 2, 1, &at));  // position after the match
  EXPECT_EQ(9, at);
  EXPECT_EQ(S_OK, s->Find(*what.get(), 0, 1, &at));
  EXPECT_EQ(-1, at);
  EXPECT_EQ(12, Pos());
  s->put_Pos(2);
  EXPECT_EQ(S_OK, s->Find(*what.get(), 1, 1, &at));  // restores the position
  EXPECT_EQ(6, at);
  EXPECT_EQ(2, Pos());

  // Alternatives of two bytes each: whichever occurs first.
  SAFEARRAY* alts = SafeArrayCreateVector(VT_I2, 0, 2);
  SHORT* p = nullptr;
  SafeArrayAccessData(alts, reinterpret_cast<void**>(&p));
  p[0] = 'y' | ('z' << 8);
  p[1] = 'e' | ('f' << 8);
  SafeArrayUnaccessData(alts);
  Variant pair;
  V_VT(pair.get()) = VT_ARRAY | VT_I2;
  V_ARRAY(pair.get()) = alts;
  s->put_Pos(0);
  EXPECT_EQ(S_OK, s->Find(*pair.get(), 4, 2, &at));
  EXPECT_EQ(4, at);
  EXPECT_EQ(S_OK, s->Find(*pair.get(), 6, 2, &at));  // again from 4, after the match
  EXPECT_EQ(6, at);

  // Numbers contribute their little-endian bytes; a match across read blocks is found.
  std::string big(200000, '.');
  big.replace(65534, 4, "\x78\x56\x34\x12", 4);
  Load(big);
  Variant n;
  V_VT(n.get()) = VT_I4;
  V_I4(n.get()) = 0x12345678;
  EXPECT_EQ(S_OK, s->Find(*n.get(), 0, 1, &at));
  EXPECT_EQ(65534, at);

  // Bad patterns change nothing.
  Variant obj;
  V_VT(obj.get()) = VT_UNKNOWN;
  V_UNKNOWN(obj.get()) = nullptr;
  s->put_Pos(3);
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10123), s->Find(*obj.get(), 0, 1, &at));
  EXPECT_EQ(L"Type is not supported.", LastError());
  Variant emptyArray;
  V_VT(emptyArray.get()) = VT_ARRAY | VT_UI1;
  V_ARRAY(emptyArray.get()) = SafeArrayCreateVector(VT_UI1, 0, 0);
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10133), s->Find(*emptyArray.get(), 0, 1, &at));
  EXPECT_EQ(3, Pos());
}

TEST_F(SFStreamTest, CopyCloneStatsAndClosedObject) {
  Load("0123456789");
  s->put_Pos(2);
  ComPtr<ISFStream> target = NewMemoryStream();
  LONG n = 0;
  EXPECT_EQ(S_OK, s->CopyTo(target.get(), 3, &n));
  EXPECT_EQ(3, n);
  EXPECT_EQ(S_OK, s->CopyTo(target.get(), -1, &n));
  EXPECT_EQ(5, n);
  EXPECT_EQ("23456789", AllBytes(target.get()));
  EXPECT_EQ(MAKE_HRESULT(1, 4, 10107), s->CopyTo(main.get(), 1, &n));
  EXPECT_EQ(L"Object is not a SFStream object", LastError());

  // A clone reads on its own and starts with the default text settings.
  s->put_codePage(65001);
  s->put_unicodeText(1);
  s->put_Pos(4);
  ComPtr<IUnknown> unk;
  ASSERT_EQ(S_OK, s->Clone(unk.put()));
  ComPtr<ISFStream> clone;
  ASSERT_EQ(S_OK, unk.query(clone));
  LONG v = -1;
  clone->get_codePage(&v);
  EXPECT_EQ(0, v);
  clone->get_unicodeText(&v);
  EXPECT_EQ(0, v);
  Bstr text;
  EXPECT_EQ(S_OK, clone->ReadText(2, text.put()));
  EXPECT_STREQ(L"45", text.c_str());
  EXPECT_EQ(4, Pos());

  ComPtr<IDispatch> info;
  ASSERT_EQ(S_OK, s->Stats(info.put()));
  ComPtr<ISFInfo> stat;
  ASSERT_EQ(S_OK, info.query(stat));
  stat->get_Type(&v);
  EXPECT_EQ(2, v);
  stat->get_Size(&v);
  EXPECT_EQ(10, v);
  stat->get_valid(&v);
  EXPECT_EQ(1, v);

  ComPtr<ISFStreamBin> bin;
  ASSERT_EQ(S_OK, s.query(bin));
  ComPtr<IUnknown> raw;
  EXPECT_EQ(S_OK, bin->BinGetStreamPtr(raw.put()));
  ComPtr<IUnknown> keep = raw;
  s->get_elementType(&v);
  EXPECT_EQ(2, v);

  // Closed: every stream member reports 10102; settings survive; SetStream reattaches.
  EXPECT_EQ(S_OK, s->Close());
  s->get_elementType(&v);
  EXPECT_EQ(0, v);
  const HRESULT closed = MAKE_HRESULT(1, 4, 10102);
  EXPECT_EQ(closed, s->get_Size(&v));
  EXPECT_EQ(L"Object closed or not initialized correctly.", LastError());
  EXPECT_EQ(closed, s->ReadText(-1, text.put()));
  EXPECT_EQ(closed, s->WriteText(Bstr(L"x").get(), 0));
  EXPECT_EQ(closed, s->Stats(info.put()));
  EXPECT_EQ(closed, bin->BinGetStreamPtr(raw.put()));
  EXPECT_EQ(closed, target->CopyTo(s.get(), 1, &n));
  EXPECT_EQ(S_FALSE, s->SetStream(nullptr));
  EXPECT_EQ(E_NOINTERFACE, s->SetStream(main.get()));
  EXPECT_EQ(S_OK, s->SetStream(keep.get()));
  EXPECT_EQ(10u, AllBytes(s.get()).size());
  s->get_codePage(&v);
  EXPECT_EQ(65001, v);
  EXPECT_EQ(E_INVALIDARG, s->Seek(0, 0, nullptr));
}

}  // namespace
