// Binary configuration streams over platform streams: the byte source and sink the
// portable reader and writer use, and the ANSI code page for their narrow text.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <cstdint>

#include "common/BinaryConfig.h"
#include "components/module/Raii.h"

namespace orv {

// Reads an IStream from its current position.
class StreamSource final : public orvanta::config::ByteSource {
 public:
  explicit StreamSource(IStream* stream) noexcept : stream_(stream) {}
  std::size_t read(std::uint8_t* out, std::size_t size) override;
  // Moves the stream back over bytes read ahead but not used, so that it stands right
  // after the configuration.
  void giveBack(std::size_t unread) noexcept;

 private:
  IStream* stream_;
};

// Writes to an IStream at its current position.
class StreamSink final : public orvanta::config::ByteSink {
 public:
  explicit StreamSink(IStream* stream) noexcept : stream_(stream) {}
  bool write(const std::uint8_t* data, std::size_t size) override;

 private:
  IStream* stream_;
};

// Narrow text in the ANSI code page.
const orvanta::config::NarrowCodec& AnsiCodec() noexcept;

// The raw stream of an object: the object itself when it is an IStream, else the stream
// inside an SFStream. E_NOINTERFACE (or the failure) when there is none.
HRESULT RawStreamOf(IUnknown* object, ComPtr<IStream>& out) noexcept;

}  // namespace orv
