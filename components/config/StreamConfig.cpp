// Platform-stream adapters of the binary configuration reader and writer.
#include "components/config/StreamConfig.h"

#include <algorithm>
#include <string>

#include "OrvantaVessa.h"

namespace orv {

namespace {

constexpr std::size_t kMaxCall = 1u << 30;  // bytes per platform call

void DecodeAnsi(std::string_view bytes, std::u16string& out) {
  // ASCII reads as itself in every ANSI code page; only other text needs the platform.
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    out.assign(bytes.begin(), bytes.end());
    return;
  }
  out.clear();
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return;
  out.resize(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), reinterpret_cast<wchar_t*>(out.data()), n);
}

std::string EncodeAnsi(std::u16string_view text) {
  std::string out;
  if (text.empty()) return out;
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text.data());
  const int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::size_t StreamSource::read(std::uint8_t* out, std::size_t size) {
  std::size_t total = 0;
  while (total < size) {
    ULONG got = 0;
    const ULONG want = static_cast<ULONG>(std::min(size - total, kMaxCall));
    const HRESULT hr = stream_->Read(out + total, want, &got);
    total += got;
    if (FAILED(hr) || got == 0) break;
  }
  return total;
}

void StreamSource::giveBack(std::size_t unread) noexcept {
  if (unread == 0) return;
  LARGE_INTEGER move;
  move.QuadPart = -static_cast<LONGLONG>(unread);
  stream_->Seek(move, STREAM_SEEK_CUR, nullptr);
}

bool StreamSink::write(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ULONG written = 0;
    const ULONG want = static_cast<ULONG>(std::min(size, kMaxCall));
    if (FAILED(stream_->Write(data, want, &written)) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

const orvanta::config::NarrowCodec& AnsiCodec() noexcept {
  static const orvanta::config::NarrowCodec codec{&DecodeAnsi, &EncodeAnsi};
  return codec;
}

HRESULT RawStreamOf(IUnknown* object, ComPtr<IStream>& out) noexcept {
  if (!object) return E_POINTER;
  if (SUCCEEDED(object->QueryInterface(IID_IStream, out.put_void()))) return S_OK;
  ComPtr<ISFStreamBin> bin;
  HRESULT hr = object->QueryInterface(IID_ISFStreamBin, bin.put_void());
  if (FAILED(hr)) return hr;
  ComPtr<IUnknown> raw;
  hr = bin->BinGetStreamPtr(raw.put());
  if (FAILED(hr)) return hr;
  if (!raw) return E_NOINTERFACE;
  return raw->QueryInterface(IID_IStream, out.put_void());
}

}  // namespace orv
