// SFStream: byte arrays, 32-bit positions over 64-bit streams, text reading and writing,
// line reading with the stream's separator, pattern search and copying.
//
// Line reading and searching read the attached stream in blocks and seek back over what
// they did not use, so the stream position after each call is exactly where a byte-wise
// reader would have left it.
#include "components/storage/SFStream.h"

#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "components/module/ErrorReport.h"
#include "components/module/ResultMacros.h"
#include "components/storage/FileStream.h"
#include "components/storage/SFInfo.h"

namespace orv {

namespace {

constexpr size_t kTextStep = 4096;
constexpr size_t kReadBlock = 65536;
// Pattern and window buffers of Find hold at most this many bytes.
constexpr size_t kFindLimit = 32768;

enum FindFlag : LONG { kFindRestore = 1, kFindAfterMatch = 2, kFindChunks = 4 };

HRESULT Fail(UINT id, HRESULT hr = 0) noexcept { return ReportError(CLSID_SFStream, id, GUID_NULL, hr); }

HRESULT SeekBy(IStream* stream, LONGLONG delta, DWORD origin, ULONGLONG* newPos = nullptr) noexcept {
  LARGE_INTEGER move;
  move.QuadPart = delta;
  ULARGE_INTEGER pos = {};
  const HRESULT hr = stream->Seek(move, origin, &pos);
  if (SUCCEEDED(hr) && newPos) *newPos = pos.QuadPart;
  return hr;
}

// Code pages whose conversion takes no default character.
bool IsStatelessUnicodeCodePage(UINT cp) noexcept {
  return cp == CP_UTF7 || cp == CP_UTF8 || cp == 42 || (cp >= 50220 && cp <= 50229) || cp == 52936 ||
         cp == 54936 || (cp >= 57002 && cp <= 57011);
}

}  // namespace

HRESULT SFStream::CreateOver(IStream* stream, IDispatch** out, IUnknown* keepAlive) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  SFStream* obj = nullptr;
  RETURN_IF_FAILED(CreateObject(&obj));
  obj->keepAlive_.reset(keepAlive);
  obj->stream_.reset(stream);
  *out = static_cast<ISFStream*>(obj);
  return S_OK;
}

// ---- ISFStreamBin ----

STDMETHODIMP SFStream::BinGetStreamPtr(IUnknown** ppUnk) noexcept {
  if (!ppUnk) return E_POINTER;
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  return stream_->QueryInterface(IID_IStream, reinterpret_cast<void**>(ppUnk));
}

// ---- ISFStream ----

STDMETHODIMP SFStream::ReadBin(LONG cb, VARIANT* pvarBuff) noexcept {
  if (!pvarBuff) return E_POINTER;
  VariantInit(pvarBuff);
  LockGuard guard(lock_);
  if (cb < 0) return Fail(10101, E_INVALIDARG);
  if (!stream_) return Fail(10102);
  // Read in blocks, so that a huge count costs only what the stream holds.
  std::vector<BYTE> data;
  const size_t want = static_cast<size_t>(cb);
  try {
    while (data.size() < want) {
      const size_t at = data.size();
      const size_t step = want - at < kReadBlock ? want - at : kReadBlock;
      data.resize(at + step);
      ULONG got = 0;
      const HRESULT hr = stream_->Read(data.data() + at, static_cast<ULONG>(step), &got);
      data.resize(at + got);
      if (FAILED(hr) || got == 0) break;
    }
  } catch (...) {
    return Fail(10103, E_OUTOFMEMORY);
  }
  if (data.empty()) return S_FALSE;
  SafeArray array(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size())));
  if (!array.get()) return Fail(10103, E_OUTOFMEMORY);
  {
    SafeArrayDataLock lock(array.get());
    if (FAILED(lock.status())) return Fail(10103, E_OUTOFMEMORY);
    std::memcpy(lock.data(), data.data(), data.size());
  }
  V_VT(pvarBuff) = VT_ARRAY | VT_UI1;
  V_ARRAY(pvarBuff) = array.release();
  return S_OK;
}

STDMETHODIMP SFStream::WriteBin(VARIANT varBuff, LONG* pcbWritten) noexcept {
  if (!pcbWritten) return E_POINTER;
  *pcbWritten = 0;
  LockGuard guard(lock_);
  Variant value;
  if (FAILED(value.copy_from(&varBuff)) || value.vt() != (VT_ARRAY | VT_UI1)) return Fail(10104, DISP_E_TYPEMISMATCH);
  SAFEARRAY* array = V_ARRAY(value.get());
  if (!array) return DISP_E_TYPEMISMATCH;
  if (!stream_) return Fail(10102);
  LONG lower = 0, upper = -1;
  RETURN_IF_FAILED(SafeArrayGetLBound(array, 1, &lower));
  RETURN_IF_FAILED(SafeArrayGetUBound(array, 1, &upper));
  if (upper < lower) return S_OK;
  SafeArrayDataLock lock(array);
  RETURN_IF_FAILED(lock.status());
  ULONG written = 0;
  const HRESULT hr = stream_->Write(lock.data(), static_cast<ULONG>(upper - lower) + 1, &written);
  if (FAILED(hr)) return hr;
  *pcbWritten = static_cast<LONG>(written);
  return hr;
}

STDMETHODIMP SFStream::get_Size(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  STATSTG stat = {};
  RETURN_IF_FAILED(stream_->Stat(&stat, STATFLAG_NONAME));
  *pVal = static_cast<LONG>(stat.cbSize.LowPart);
  return S_OK;
}

STDMETHODIMP SFStream::put_Size(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  ULARGE_INTEGER size;
  size.QuadPart = static_cast<ULONG>(newVal);
  return stream_->SetSize(size);
}

STDMETHODIMP SFStream::Seek(LONG lPos, LONG lOrigin, LONG* plNewPos) noexcept {
  if (!plNewPos) return E_INVALIDARG;
  *plNewPos = 0;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  DropReadAhead(stream_.get());
  ULONGLONG pos = 0;
  RETURN_IF_FAILED(SeekBy(stream_.get(), lPos, static_cast<DWORD>(lOrigin), &pos));
  *plNewPos = static_cast<LONG>(static_cast<ULONG>(pos));
  return S_OK;
}

STDMETHODIMP SFStream::get_Pos(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  return Seek(0, STREAM_SEEK_CUR, pVal);
}

STDMETHODIMP SFStream::put_Pos(LONG newVal) noexcept {
  LONG ignored = 0;
  return Seek(newVal, STREAM_SEEK_SET, &ignored);
}

STDMETHODIMP SFStream::Clone(IUnknown** ppUnk) noexcept {
  if (!ppUnk) return E_INVALIDARG;
  *ppUnk = nullptr;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  ComPtr<IStream> copy;
  RETURN_IF_FAILED(stream_->Clone(copy.put()));
  if (!copy) return Fail(10106);
  ComPtr<IDispatch> obj;
  RETURN_IF_FAILED(CreateOver(copy.get(), obj.put(), keepAlive_.get()));
  *ppUnk = obj.release();
  return S_OK;
}

STDMETHODIMP SFStream::CopyTo(IUnknown* pTarget, LONG cb, LONG* pcbWritten) noexcept {
  if (!pTarget) return E_INVALIDARG;
  if (!pcbWritten) return E_POINTER;
  *pcbWritten = 0;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  ComPtr<ISFStreamBin> bin;
  if (FAILED(pTarget->QueryInterface(IID_ISFStreamBin, bin.put_void()))) return Fail(10107);
  ComPtr<IUnknown> raw;
  RETURN_IF_FAILED(bin->BinGetStreamPtr(raw.put()));
  ComPtr<IStream> target;
  RETURN_IF_FAILED(raw.query(target));
  ULARGE_INTEGER count, read = {}, written = {};
  count.QuadPart = static_cast<ULONG>(cb);
  RETURN_IF_FAILED(stream_->CopyTo(target.get(), count, &read, &written));
  if (read.QuadPart != written.QuadPart) return Fail(10108);
  *pcbWritten = static_cast<LONG>(written.LowPart);
  return S_OK;
}

STDMETHODIMP SFStream::get_textLineSeparator(BSTR* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = nullptr;
  LockGuard guard(lock_);
  return ReturnText(separator_, pVal);
}

STDMETHODIMP SFStream::put_textLineSeparator(BSTR newVal) noexcept {
  LockGuard guard(lock_);
  if (!newVal) return S_OK;
  const size_t length = wcsnlen(newVal, SysStringLen(newVal));
  // An empty text leaves the separator as it is, like a null one.
  if (length == 0) return S_OK;
  if (length > 8) return Fail(10112);
  try {
    separator_.assign(newVal, length);
    separatorCached_ = false;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP SFStream::get_unicodeText(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  LockGuard guard(lock_);
  *pVal = unicodeText_;
  return S_OK;
}

STDMETHODIMP SFStream::put_unicodeText(LONG newVal) noexcept {
  LockGuard guard(lock_);
  unicodeText_ = newVal;
  separatorCached_ = false;
  return S_OK;
}

STDMETHODIMP SFStream::ReadText(LONG lChars, BSTR* pbstrText) noexcept {
  if (!pbstrText) return E_POINTER;
  *pbstrText = nullptr;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  if (lChars > 0) return ReadCount(lChars, pbstrText);
  if (lChars == -2) return ReadRest(pbstrText);
  if (lChars == -1 || lChars == -3) return ReadLine(lChars == -3, pbstrText);
  return Fail(10110);
}

STDMETHODIMP SFStream::get_codePage(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  LockGuard guard(lock_);
  *pVal = codePage_;
  return S_OK;
}

STDMETHODIMP SFStream::put_codePage(LONG newVal) noexcept {
  LockGuard guard(lock_);
  codePage_ = newVal;
  separatorCached_ = false;
  return S_OK;
}

STDMETHODIMP SFStream::WriteText(BSTR bstrText, LONG lOptions) noexcept {
  if (!bstrText) return E_INVALIDARG;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  // The whole text is written, however long, up to its first NUL.
  const size_t length = wcsnlen(bstrText, SysStringLen(bstrText));
  std::string bytes, separator;
  RETURN_IF_FAILED(EncodeText(bstrText, length, bytes));
  if (lOptions == 1) {
    RETURN_IF_FAILED(EncodeText(separator_.data(), separator_.size(), separator));
    try {
      bytes += separator;
    } catch (...) {
      return Fail(10106, E_OUTOFMEMORY);
    }
  }
  return WriteAll(bytes);
}

STDMETHODIMP SFStream::get_EOS(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  *pVal = 0;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  // Bytes read ahead at the position answer without a size query. Otherwise the size is
  // taken by seeking to the end and back: a stat record would also fetch the times,
  // which costs a file stream a system call on every test in a read loop.
  if (ReadAheadHoldsPosition(stream_.get())) return S_OK;
  ULONGLONG pos = 0, end = 0;
  RETURN_IF_FAILED(SeekBy(stream_.get(), 0, STREAM_SEEK_CUR, &pos));
  RETURN_IF_FAILED(SeekBy(stream_.get(), 0, STREAM_SEEK_END, &end));
  RETURN_IF_FAILED(SeekBy(stream_.get(), static_cast<LONGLONG>(pos), STREAM_SEEK_SET));
  *pVal = static_cast<ULONG>(pos) == static_cast<ULONG>(end) ? 1 : 0;
  return S_OK;
}

STDMETHODIMP SFStream::put_EOS(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (!newVal) return S_OK;
  if (!stream_) return Fail(10102);
  ULONGLONG pos = 0;
  RETURN_IF_FAILED(SeekBy(stream_.get(), 0, STREAM_SEEK_CUR, &pos));
  ULARGE_INTEGER size;
  size.QuadPart = pos;
  return stream_->SetSize(size);
}

STDMETHODIMP SFStream::get_maxTextBuff(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  LockGuard guard(lock_);
  *pVal = maxTextBuff_;
  return S_OK;
}

STDMETHODIMP SFStream::put_maxTextBuff(LONG newVal) noexcept {
  LockGuard guard(lock_);
  if (newVal < 0) return E_INVALIDARG;
  maxTextBuff_ = newVal;
  return S_OK;
}

STDMETHODIMP SFStream::Stats(IDispatch** ppDisp) noexcept {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  LockGuard guard(lock_);
  if (!stream_) return Fail(10102);
  SFInfo* info = nullptr;
  RETURN_IF_FAILED(SFInfo::CreateObject(&info));
  *ppDisp = static_cast<ISFInfo*>(info);
  STATSTG stat = {};
  if (FAILED(stream_->Stat(&stat, STATFLAG_DEFAULT))) return S_FALSE;
  const HRESULT hr = info->Fill(stat);
  CoTaskMemFree(stat.pwcsName);
  return SUCCEEDED(hr) ? S_OK : S_FALSE;
}

STDMETHODIMP SFStream::get_elementType(LONG* pVal) noexcept {
  if (!pVal) return E_POINTER;
  LockGuard guard(lock_);
  *pVal = stream_ ? STGTY_STREAM : 0;
  return S_OK;
}

STDMETHODIMP SFStream::Close() noexcept {
  LockGuard guard(lock_);
  stream_.reset();
  keepAlive_.reset();
  return S_OK;
}

STDMETHODIMP SFStream::SetStream(IUnknown* pStrm) noexcept {
  LockGuard guard(lock_);
  stream_.reset();
  keepAlive_.reset();
  if (!pStrm) return S_FALSE;
  return pStrm->QueryInterface(IID_IStream, stream_.put_void());
}

// ---- Find ----

namespace {

class PatternBuilder {
 public:
  PatternBuilder(bool unicode, const std::function<HRESULT(const wchar_t*, size_t, std::string&)>& encode)
      : unicode_(unicode), encode_(encode) {}

  HRESULT Add(const VARIANT& v) noexcept {
    const VARTYPE vt = V_VT(&v);
    if (vt & VT_ARRAY) return AddArray(v);
    if (vt == VT_BSTR) return AddText(V_BSTR(&v));
    const size_t size = ScalarSize(vt);
    if (size == 0) return Fail(10123);
    return Append(reinterpret_cast<const char*>(&V_I8(&v)), size);
  }
  const std::string& bytes() const noexcept { return bytes_; }

 private:
  static size_t ScalarSize(VARTYPE vt) noexcept {
    switch (vt) {
      case VT_I1: case VT_UI1: return 1;
      case VT_I2: case VT_UI2: case VT_BOOL: return 2;
      case VT_I4: case VT_UI4: case VT_R4: case VT_ERROR: return 4;
      case VT_R8: case VT_CY: case VT_DATE: return 8;
      default: return 0;
    }
  }
  HRESULT Append(const char* data, size_t size) noexcept {
    if (bytes_.size() + size > kFindLimit) return E_OUTOFMEMORY;
    bytes_.append(data, size);
    return S_OK;
  }
  HRESULT AddText(BSTR text) noexcept {
    if (!text) return E_FAIL;
    const size_t length = SysStringLen(text);
    if (unicode_) return Append(reinterpret_cast<const char*>(text), length * sizeof(wchar_t));
    if (length * 4 > kFindLimit * 2) return E_OUTOFMEMORY;
    std::string converted;
    RETURN_IF_FAILED(encode_(text, length, converted));
    return Append(converted.data(), converted.size());
  }
  HRESULT AddArray(const VARIANT& v) noexcept {
    const VARTYPE element = V_VT(&v) & VT_TYPEMASK;
    if (element != VT_VARIANT && element != VT_BSTR && ScalarSize(element) == 0) return Fail(10123);
    SAFEARRAY* array = V_ARRAY(&v);
    if (!array || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) == 0) return Fail(10132);
    LONG lower = 0, upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
      return Fail(10132);
    if (upper < lower) return Fail(10133);
    SafeArrayDataLock lock(array);
    if (FAILED(lock.status())) return Fail(10132);
    const size_t count = static_cast<size_t>(static_cast<LONGLONG>(upper) - lower + 1);
    for (size_t i = 0; i < count; ++i) {
      if (element == VT_VARIANT) {
        Variant item;
        if (FAILED(item.copy_from(static_cast<VARIANT*>(lock.data()) + i))) return Fail(10132);
        if (item.vt() & VT_ARRAY) return Fail(10123);
        RETURN_IF_FAILED(Add(*item.get()));
      } else if (element == VT_BSTR) {
        RETURN_IF_FAILED(AddText(static_cast<BSTR*>(lock.data())[i]));
      } else {
        const size_t size = ScalarSize(element);
        RETURN_IF_FAILED(Append(static_cast<const char*>(lock.data()) + i * size, size));
      }
    }
    return S_OK;
  }

  bool unicode_;
  const std::function<HRESULT(const wchar_t*, size_t, std::string&)>& encode_;
  std::string bytes_;
};

}  // namespace

STDMETHODIMP SFStream::Find(VARIANT vWhat, LONG lFlags, LONG lChunkSize, LONG* plPos) noexcept {
  if (!plPos) return E_POINTER;
  *plPos = -1;
  LockGuard guard(lock_);
  Variant what;
  RETURN_IF_FAILED(what.copy_from(&vWhat));
  std::function<HRESULT(const wchar_t*, size_t, std::string&)> encode =
      [this](const wchar_t* text, size_t length, std::string& out) { return EncodeText(text, length, out); };
  std::string pattern;
  try {
    PatternBuilder builder(unicodeText_ != 0, encode);
    RETURN_IF_FAILED(builder.Add(*what.get()));
    pattern = builder.bytes();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  if (!stream_) return Fail(10102);
  ULONGLONG start = 0;
  RETURN_IF_FAILED(SeekBy(stream_.get(), 0, STREAM_SEEK_CUR, &start));

  const size_t patternSize = pattern.size();
  const LONGLONG width = (lFlags & kFindChunks) ? lChunkSize : static_cast<LONGLONG>(patternSize);
  if (width < 0) return E_INVALIDARG;
  if (static_cast<size_t>(width) > kFindLimit) return E_OUTOFMEMORY;
  const size_t w = static_cast<size_t>(width);
  std::vector<size_t> slices;
  if (w == 0) {
    slices.push_back(0);
  } else {
    for (size_t at = 0; at + w <= patternSize; at += w) slices.push_back(at);
  }

  // Sliding search over blocks; `base` is the stream offset (from start) of window[0].
  std::vector<char> window;
  ULONGLONG base = 0, consumed = 0;
  bool found = false;
  ULONGLONG matchAt = 0;
  try {
    window.reserve(kReadBlock + kFindLimit);
    size_t from = 0;
    for (;;) {
      for (size_t i = from; !slices.empty() && i + w <= window.size(); ++i) {
        for (size_t s : slices) {
          if (std::memcmp(window.data() + i, pattern.data() + s, w) == 0) {
            found = true;
            matchAt = base + i;
            break;
          }
        }
        if (found) break;
      }
      if (found) break;
      // Keep the last w - 1 bytes, which may start a match with the next block.
      const size_t keep = w == 0 ? 0 : (window.size() < w - 1 ? window.size() : w - 1);
      const size_t drop = window.size() - keep;
      window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(drop));
      base += drop;
      from = 0;
      const size_t at = window.size();
      window.resize(at + kReadBlock);
      ULONG got = 0;
      const HRESULT hr = stream_->Read(window.data() + at, static_cast<ULONG>(kReadBlock), &got);
      window.resize(at + got);
      consumed += got;
      if (FAILED(hr) || got == 0) break;
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }

  LONG result = -1;
  if (found) {
    const ULONGLONG target = matchAt + ((lFlags & kFindAfterMatch) ? w : 0);
    ULONGLONG pos = 0;
    RETURN_IF_FAILED(SeekBy(stream_.get(), static_cast<LONGLONG>(target) - static_cast<LONGLONG>(consumed),
                            STREAM_SEEK_CUR, &pos));
    if ((pos >> 32) != 0 || static_cast<LONG>(static_cast<ULONG>(pos)) < 0) return Fail(10131);
    result = static_cast<LONG>(pos);
  }
  if (lFlags & kFindRestore) RETURN_IF_FAILED(SeekBy(stream_.get(), static_cast<LONGLONG>(start), STREAM_SEEK_SET));
  *plPos = result;
  return S_OK;
}

// ---- text helpers ----

size_t SFStream::TextLimit() const noexcept {
  const size_t hint = static_cast<size_t>(maxTextBuff_);
  return kTextStep * ((hint > kTextStep ? hint : kTextStep) / kTextStep + 1);
}

HRESULT SFStream::EncodeText(const wchar_t* text, size_t length, std::string& bytes) noexcept {
  try {
    bytes.clear();
    if (length == 0) return S_OK;
    if (unicodeText_) {
      bytes.assign(reinterpret_cast<const char*>(text), length * sizeof(wchar_t));
      return S_OK;
    }
    if (length > 0x3FFFFFFF) return Fail(10106, E_OUTOFMEMORY);
    const UINT cp = CodePage();
    const bool noDefault = IsStatelessUnicodeCodePage(cp);
    const DWORD flags = cp == CP_UTF8 ? WC_ERR_INVALID_CHARS : (noDefault ? 0 : WC_NO_BEST_FIT_CHARS);
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(cp, flags, text, static_cast<int>(length), nullptr, 0, nullptr,
                                      noDefault ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return Fail(10126);
    bytes.resize(static_cast<size_t>(n));
    if (WideCharToMultiByte(cp, flags, text, static_cast<int>(length), bytes.data(), n, nullptr,
                            noDefault ? nullptr : &usedDefault) != n ||
        usedDefault) {
      bytes.clear();
      return Fail(10126);
    }
    return S_OK;
  } catch (...) {
    bytes.clear();
    return Fail(10106, E_OUTOFMEMORY);
  }
}

HRESULT SFStream::TextFromBytes(const char* data, size_t size, BSTR* out) noexcept {
  *out = nullptr;
  if (unicodeText_) {
    const auto* units = reinterpret_cast<const wchar_t*>(data);
    const size_t length = wcsnlen(units, size / sizeof(wchar_t));
    *out = SysAllocStringLen(units, static_cast<UINT>(length));
    return *out ? S_OK : Fail(10106, E_OUTOFMEMORY);
  }
  const size_t length = strnlen(data, size);
  if (length == 0) {
    *out = SysAllocString(L"");
    return *out ? S_OK : Fail(10106, E_OUTOFMEMORY);
  }
  if (length > 0x7FFFFFFF) return Fail(10106, E_OUTOFMEMORY);
  const UINT cp = CodePage();
  // A single-byte code page gives one character per byte: one pass, no counting.
  if (SingleByteCodePage()) {
    *out = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (!*out) return Fail(10106, E_OUTOFMEMORY);
    if (MultiByteToWideChar(cp, 0, data, static_cast<int>(length), *out, static_cast<int>(length)) ==
        static_cast<int>(length))
      return S_OK;
    SysFreeString(*out);
    *out = nullptr;
  }
  const int n = MultiByteToWideChar(cp, 0, data, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return Fail(10126);
  *out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (!*out) return Fail(10106, E_OUTOFMEMORY);
  if (MultiByteToWideChar(cp, 0, data, static_cast<int>(length), *out, n) != n) {
    SysFreeString(*out);
    *out = nullptr;
    return Fail(10126);
  }
  return S_OK;
}

HRESULT SFStream::WriteAll(const std::string& bytes) noexcept {
  if (bytes.empty()) return S_OK;
  if (bytes.size() > 0xFFFFFFFFu) return Fail(10106, E_OUTOFMEMORY);
  ULONG written = 0;
  const HRESULT hr = stream_->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  return FAILED(hr) ? hr : S_OK;
}

HRESULT SFStream::SeparatorBytes(const std::string** bytes) noexcept {
  if (!separatorCached_) {
    RETURN_IF_FAILED(EncodeText(separator_.data(), separator_.size(), separatorBytes_));
    separatorCached_ = true;
  }
  *bytes = &separatorBytes_;
  return S_OK;
}

bool SFStream::SingleByteCodePage() noexcept {
  const UINT cp = CodePage();
  if (cp != cpInfoFor_) {
    CPINFO info = {};
    cpSingleByte_ = GetCPInfo(cp, &info) && info.MaxCharSize == 1;
    cpInfoFor_ = cp;
  }
  return cpSingleByte_;
}

HRESULT SFStream::ReadCount(LONG chars, BSTR* out) noexcept {
  const size_t unit = unicodeText_ ? 2 : 1;
  const ULONGLONG total = static_cast<ULONGLONG>(chars) * unit;
  // The count and its terminator must fit a 32-bit byte size.
  if ((static_cast<ULONGLONG>(chars) + 1) * unit > 0xFFFFFFFFull) return E_INVALIDARG;
  std::string data;
  try {
    while (data.size() < total) {
      const size_t at = data.size();
      const size_t step = total - at < kReadBlock ? static_cast<size_t>(total - at) : kReadBlock;
      data.resize(at + step);
      ULONG got = 0;
      const HRESULT hr = stream_->Read(data.data() + at, static_cast<ULONG>(step), &got);
      data.resize(at + got);
      if (FAILED(hr) || got == 0) break;
    }
    if (data.empty()) {
      *out = SysAllocString(L"");
      return *out ? S_OK : Fail(10106, E_OUTOFMEMORY);
    }
    data.resize(data.size() / unit * unit);
    data.append(unit, '\0');
  } catch (...) {
    return Fail(10106, E_OUTOFMEMORY);
  }
  return TextFromBytes(data.data(), data.size(), out);
}

HRESULT SFStream::ReadRest(BSTR* out) noexcept {
  const size_t limit = TextLimit();
  // The bytes left in the stream size the buffer, so that a large stream is read in one
  // call and never copied while the buffer grows. Only a hint: reading goes on until the
  // stream ends or the limit is reached, whatever the size said.
  size_t expect = 0;
  ULONGLONG pos = 0, end = 0;
  if (SUCCEEDED(SeekBy(stream_.get(), 0, STREAM_SEEK_CUR, &pos)) &&
      SUCCEEDED(SeekBy(stream_.get(), 0, STREAM_SEEK_END, &end))) {
    RETURN_IF_FAILED(SeekBy(stream_.get(), static_cast<LONGLONG>(pos), STREAM_SEEK_SET));
    if (end > pos) expect = end - pos < limit ? static_cast<size_t>(end - pos) : limit;
  }
  std::string data;
  try {
    data.reserve(expect + 3);
    // Reads stop when the buffer limit is reached; the terminator must still fit.
    while (data.size() < limit) {
      const size_t at = data.size();
      size_t step = at < expect ? expect - at : kReadBlock;
      if (step > limit - at) step = limit - at;
      data.resize(at + step);
      ULONG got = 0;
      const HRESULT hr = stream_->Read(data.data() + at, static_cast<ULONG>(step), &got);
      data.resize(at + got);
      if (FAILED(hr) || got == 0) break;
    }
    if (data.size() + 3 > limit) return Fail(10111);
    data.append(3, '\0');
  } catch (...) {
    return Fail(10106, E_OUTOFMEMORY);
  }
  return TextFromBytes(data.data(), data.size(), out);
}

// One line. Plain mode: the line ends at the first full separator, and a unit that breaks
// a partial match is not tried again as the start of the separator, so CR CR LF is not a
// line end. Lenient mode: any arrangement of the separator's characters, each at most
// once, ends the line (CR LF, LF CR, CR, LF with the default separator).
//
// The stream is read in blocks (small first, since most lines are short) and the
// position is set back over what the line did not use, so that it ends exactly where a
// reader of one unit at a time would have stopped.
HRESULT SFStream::ReadLine(bool lenient, BSTR* out) noexcept {
  const size_t unit = unicodeText_ ? 2 : 1;
  const size_t limit = TextLimit();
  const std::string* separator = nullptr;
  RETURN_IF_FAILED(SeparatorBytes(&separator));
  const std::string& pattern = *separator;
  const size_t units = pattern.size() / unit;
  if (units == 0) return Fail(10126);
  std::string& line = line_;
  std::vector<char>& block = block_;
  bool anySeen = false, separatorFound = false;
  size_t matched = 0, have = 0, at = 0;
  size_t step = 256;
  HRESULT hr = S_OK;
  try {
    line.clear();
    if (lenient) seen_.assign(units, 0);
    for (;;) {
      if (have - at < unit) {
        std::memmove(block.data(), block.data() + at, have - at);
        have -= at;
        at = 0;
        if (block.size() < have + step) block.resize(have + step);
        ULONG got = 0;
        const HRESULT read = stream_->Read(block.data() + have, static_cast<ULONG>(step), &got);
        if (step < kReadBlock) step *= 2;
        if (FAILED(read) || got == 0) {
          // A trailing half unit is consumed with the end of the stream.
          at = have;
          break;
        }
        have += got;
        continue;
      }
      const char* u = block.data() + at;
      if (lenient) {
        size_t k = 0;
        while (k < units && (seen_[k] || std::memcmp(u, pattern.data() + k * unit, unit) != 0)) ++k;
        if (k < units) {
          seen_[k] = 1;
          anySeen = true;
          at += unit;
          continue;
        }
        if (anySeen) break;  // the unit starts the next line and stays in the stream
        if (line.size() + unit > limit) break;
        line.append(u, unit);
        at += unit;
        continue;
      }
      // Plain mode: take every whole unit the block holds and the limit allows, up to and
      // including a completed separator.
      const size_t room = (limit - line.size()) / unit * unit;
      if (room == 0) break;
      size_t n = (have - at) / unit * unit;
      if (n > room) n = room;
      size_t i = 0;
      while (i < n) {
        if (matched == 0 && unit == 1) {
          const void* hit = std::memchr(u + i, pattern[0], n - i);
          if (!hit) {
            i = n;
            break;
          }
          i = static_cast<size_t>(static_cast<const char*>(hit) - u);
        }
        if (std::memcmp(u + i, pattern.data() + matched * unit, unit) == 0) {
          i += unit;
          if (++matched == units) {
            separatorFound = true;
            break;
          }
        } else {
          matched = 0;
          i += unit;
        }
      }
      line.append(u, i);
      at += i;
      if (separatorFound) break;
    }
    if (have > at) hr = SeekBy(stream_.get(), -static_cast<LONGLONG>(have - at), STREAM_SEEK_CUR);
    if (SUCCEEDED(hr)) {
      if (separatorFound) {
        line.resize(line.size() - pattern.size());
        line.append(unit, '\0');
      } else {
        const size_t terminator = lenient ? unit : (unicodeText_ ? 3 : 1);
        hr = line.size() + terminator > limit ? Fail(10111) : S_OK;
        if (SUCCEEDED(hr)) line.append(terminator, '\0');
      }
    }
    if (SUCCEEDED(hr)) hr = TextFromBytes(line.data(), line.size(), out);
  } catch (...) {
    hr = Fail(10106, E_OUTOFMEMORY);
  }
  // A very long line does not keep its memory for the life of the object.
  if (line.capacity() > kReadBlock) std::string().swap(line);
  if (block.size() > 2 * kReadBlock) std::vector<char>().swap(block);
  return hr;
}

}  // namespace orv
