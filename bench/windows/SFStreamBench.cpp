// SFStream over one text of 400,000 lines of 50 characters (20.8 MB) held in a file, a
// memory stream and a compound-file stream, beside native reads from the same run:
//   whole text  ReadText(-2)            beside  a plain read of every byte + MultiByteToWideChar
//   search      Find near the end       beside  the plain read of every byte
//   line loop   EOS/ReadText(-1)        beside  FSO TextStream AtEndOfStream/ReadLine (file)
// Line loops run through the vtable and through IDispatch, to show the cost of the call.
//   tools/winerun build/win/bin/bench_sfstream.exe
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "bench/windows/BenchLibrary.h"

namespace {

constexpr int kLines = 400000;
constexpr LONG kLineBytes = 52;
const char kNeedle[] = "needle in the last";

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

double Best(int runs, const std::function<bool()>& f) {
  double best = -1;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (!f()) return -1;
    const double t = Ms(start);
    if (best < 0 || t < best) best = t;
  }
  return best;
}

std::string MakeText() {
  const std::string filler = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string text;
  text.reserve(static_cast<size_t>(kLines) * kLineBytes);
  char head[32];
  for (int i = 0; i < kLines; ++i) {
    std::string line;
    if (i == kLines - 1) {
      line = "needle in the last line";
    } else {
      std::snprintf(head, sizeof head, "line %07d ", i);
      line = head;
    }
    text += line + filler.substr(0, 50 - line.size()) + "\r\n";
  }
  return text;
}

std::wstring Folder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// The native figure: every byte into memory, then one conversion.
bool NativeRead(const std::function<bool(std::string&)>& read, size_t& chars) {
  std::string bytes;
  if (!read(bytes)) return false;
  std::wstring text(bytes.size(), L'\0');
  chars = static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                  text.data(), static_cast<int>(text.size())));
  return chars == bytes.size();
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  GetFileSizeEx(h, &size);
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  const BOOL ok = ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(h);
  return ok && got == bytes.size();
}

bool ReadWholeStream(IStream* stream, std::string& bytes) {
  LARGE_INTEGER zero = {};
  STATSTG stat = {};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr)))
    return false;
  bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
  ULONG got = 0;
  return SUCCEEDED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got)) && got == bytes.size();
}

bool ReadAllText(ISFStream* s) {
  s->put_Pos(0);
  BSTR text = nullptr;
  const HRESULT hr = s->ReadText(-2, &text);
  const bool ok = hr == S_OK && SysStringLen(text) == static_cast<UINT>(kLines) * kLineBytes;
  SysFreeString(text);
  return ok;
}

bool FindNeedle(ISFStream* s) {
  s->put_Pos(0);
  VARIANT what;
  VariantInit(&what);
  V_VT(&what) = VT_BSTR;
  V_BSTR(&what) = SysAllocString(L"needle in the last");
  LONG at = -1;
  s->Find(what, 0, 1, &at);
  VariantClear(&what);
  return at == (kLines - 1) * kLineBytes;
}

bool LinesVtable(ISFStream* s) {
  s->put_Pos(0);
  int n = 0;
  LONG eos = 0;
  while (SUCCEEDED(s->get_EOS(&eos)) && !eos) {
    BSTR line = nullptr;
    if (FAILED(s->ReadText(-1, &line))) return false;
    SysFreeString(line);
    ++n;
  }
  return n == kLines;
}

HRESULT Call(IDispatch* d, DISPID id, WORD flags, VARIANT* args, UINT count, VARIANT* result) {
  DISPPARAMS params = {args, nullptr, count, 0};
  VariantInit(result);
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

// Line loop through IDispatch with the given end test and line read members.
bool LinesDispatch(IDispatch* d, DISPID atEnd, DISPID readLine, bool passMinusOne) {
  int n = 0;
  for (;;) {
    VARIANT end;
    if (FAILED(Call(d, atEnd, DISPATCH_PROPERTYGET, nullptr, 0, &end))) return false;
    const bool done = (V_VT(&end) == VT_BOOL && V_BOOL(&end)) || (V_VT(&end) == VT_I4 && V_I4(&end));
    VariantClear(&end);
    if (done) break;
    VARIANT arg, line;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = -1;
    if (FAILED(Call(d, readLine, DISPATCH_METHOD, &arg, passMinusOne ? 1 : 0, &line))) return false;
    VariantClear(&line);
    ++n;
  }
  return n == kLines;
}

DISPID IdOf(IDispatch* d, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  d->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// FSO's TextStream over the file, or null when the platform has no FSO.
IDispatch* OpenTextStream(const std::wstring& path) {
  CLSID clsid;
  IDispatch* fso = nullptr;
  if (FAILED(CLSIDFromProgID(L"Scripting.FileSystemObject", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&fso))))
    return nullptr;
  VARIANT args[2], result;
  VariantInit(&args[0]);
  V_VT(&args[0]) = VT_I4;
  V_I4(&args[0]) = 1;  // for reading
  VariantInit(&args[1]);
  V_VT(&args[1]) = VT_BSTR;
  V_BSTR(&args[1]) = SysAllocString(path.c_str());
  const HRESULT hr = Call(fso, IdOf(fso, L"OpenTextFile"), DISPATCH_METHOD, args, 2, &result);
  VariantClear(&args[1]);
  fso->Release();
  if (FAILED(hr) || V_VT(&result) != VT_DISPATCH) {

    VariantClear(&result);
    return nullptr;
  }
  return V_DISPATCH(&result);
}

void Row(const char* what, double ours, double peer) {
  if (ours < 0 || peer < 0) {
    std::printf("%-34s %9s %9s  (failed)\n", what, ours < 0 ? "-" : "", peer < 0 ? "-" : "");
    return;
  }
  std::printf("%-34s %9.1f %9.1f  %6.2fx\n", what, ours, peer, peer > 0 ? ours / peer : 0.0);
}

// FSO's line loop over the file; measured while no stream of ours holds the file, since
// Wine's TextStream does not open a file that another handle keeps from writers.
double FsoLines(const std::wstring& filePath) {
  return Best(3, [&] {
    IDispatch* ts = OpenTextStream(filePath);
    if (!ts) return false;
    const bool ok = LinesDispatch(ts, IdOf(ts, L"AtEndOfStream"), IdOf(ts, L"ReadLine"), false);
    ts->Release();
    return ok;
  });
}

// peer: FSO's line loop over the same text (below 0: none, the loops are compared with
// each other).
void Measure(const char* kind, ISFStream* s, const std::function<bool(std::string&)>& rawRead, double peer) {
  std::printf("-- %s\n", kind);
  s->put_maxTextBuff(64 * 1024 * 1024);
  size_t chars = 0;
  const double native = Best(5, [&] { return NativeRead(rawRead, chars); });
  const double raw = Best(5, [&] {
    std::string bytes;
    return rawRead(bytes);
  });
  Row("ReadText(-2) / read + convert", Best(5, [&] { return ReadAllText(s); }), native);
  Row("Find near the end / read", Best(5, [&] { return FindNeedle(s); }), raw);
  const double vtable = Best(3, [&] { return LinesVtable(s); });
  IDispatch* d = nullptr;
  s->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d));
  const double dispatch = Best(3, [&] {
    s->put_Pos(0);
    return LinesDispatch(d, 13, 10, true);
  });
  d->Release();
  if (peer >= 0) {
    Row("line loop, vtable / FSO IDispatch", vtable, peer);
    Row("line loop, IDispatch / FSO IDispatch", dispatch, peer);
  } else {
    Row("line loop, IDispatch / vtable", dispatch, vtable);
  }
}

}  // namespace

int wmain() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  IClassFactory* streams = bench::LibraryFactory(CLSID_SFStream, "bench_sfstream");
  if (!streams) return 1;
  auto over = [&](IStream* raw) {
    ISFStream* s = nullptr;
    streams->CreateInstance(nullptr, IID_ISFStream, reinterpret_cast<void**>(&s));
    if (s) s->SetStream(raw);
    return s;
  };
  const std::string text = MakeText();
  const std::wstring folder = Folder();
  const std::wstring filePath = folder + L"bench-sfstream.txt";
  const std::wstring docPath = folder + L"bench-sfstream.stg";

  std::printf("400,000 lines of 50 characters (20.8 MB); ms, best of several runs; ours, peer, ratio\n");
  {
    HANDLE h = CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
    CloseHandle(h);
    const double fsoLines = FsoLines(filePath);
    IClassFactory* mains = bench::LibraryFactory(CLSID_SFMain, "bench_sfstream");
    ISFMain* main = nullptr;
    BSTR name = SysAllocString(filePath.c_str());
    if (mains && SUCCEEDED(mains->CreateInstance(nullptr, IID_ISFMain, reinterpret_cast<void**>(&main)))) {
      // Read with others kept from writing (the file stream caches what it reads), and
      // with others free to write (every read goes to the file).
      for (LONG mode : {0x20, 0x40}) {
        IDispatch* d = nullptr;
        ISFStream* s = nullptr;
        if (SUCCEEDED(main->OpenFile(name, mode, &d)) &&
            SUCCEEDED(d->QueryInterface(IID_ISFStream, reinterpret_cast<void**>(&s))))
          Measure(mode == 0x20 ? "file (SFMain.OpenFile, read, others may read)"
                               : "file (SFMain.OpenFile, read, others may read and write)",
                  s, [&](std::string& bytes) { return ReadWholeFile(filePath, bytes); }, fsoLines);
        if (s) s->Release();
        if (d) d->Release();
      }
      main->Release();
    }
    if (mains) mains->Release();
    SysFreeString(name);
    DeleteFileW(filePath.c_str());
  }
  {
    IStream* memory = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &memory);
    ULONG put = 0;
    memory->Write(text.data(), static_cast<ULONG>(text.size()), &put);
    if (ISFStream* s = over(memory)) {
      Measure("memory stream (CreateStreamOnHGlobal)", s,
              [&](std::string& bytes) { return ReadWholeStream(memory, bytes); }, -1);
      s->Release();
    }
    memory->Release();
  }
  {
    IStorage* doc = nullptr;
    IStream* inner = nullptr;
    const DWORD mode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
    if (SUCCEEDED(StgCreateDocfile(docPath.c_str(), mode, 0, &doc)) &&
        SUCCEEDED(doc->CreateStream(L"lines", mode, 0, 0, &inner))) {
      ULONG put = 0;
      inner->Write(text.data(), static_cast<ULONG>(text.size()), &put);
      if (ISFStream* s = over(inner)) {
        Measure("compound-file stream (StgCreateDocfile)", s,
                [&](std::string& bytes) { return ReadWholeStream(inner, bytes); }, -1);
        s->Release();
      }
    }
    if (inner) inner->Release();
    if (doc) doc->Release();
    DeleteFileW(docPath.c_str());
  }
  streams->Release();
  CoUninitialize();
  return 0;
}
