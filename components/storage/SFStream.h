// SFStream (and its free-threaded twin SFStreamFree): the script-facing wrapper around one
// IStream, with byte arrays, 32-bit positions, text in UTF-16 or a code page, line
// reading with a configurable separator, pattern search and copying.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

class SFStream final : public ComObject<SFStream, Dual<ISFStream>, ISFStreamBin, ErrorSupport<ISFStream>> {
 public:
  // A new SFStream over `stream` (null: closed), for the factories of other classes.
  // `keepAlive` holds what the stream needs to stay usable (the storages above it).
  static HRESULT CreateOver(IStream* stream, IDispatch** out, IUnknown* keepAlive = nullptr) noexcept;

  // ISFStreamBin
  STDMETHODIMP BinGetStreamPtr(IUnknown** ppUnk) noexcept override;

  // ISFStream, in interface order
  STDMETHODIMP ReadBin(LONG cb, VARIANT* pvarBuff) noexcept override;
  STDMETHODIMP WriteBin(VARIANT varBuff, LONG* pcbWritten) noexcept override;
  STDMETHODIMP get_Size(LONG* pVal) noexcept override;
  STDMETHODIMP put_Size(LONG newVal) noexcept override;
  STDMETHODIMP Seek(LONG lPos, LONG lOrigin, LONG* plNewPos) noexcept override;
  STDMETHODIMP get_Pos(LONG* pVal) noexcept override;
  STDMETHODIMP put_Pos(LONG newVal) noexcept override;
  STDMETHODIMP Clone(IUnknown** ppUnk) noexcept override;
  STDMETHODIMP CopyTo(IUnknown* pTarget, LONG cb, LONG* pcbWritten) noexcept override;
  STDMETHODIMP get_textLineSeparator(BSTR* pVal) noexcept override;
  STDMETHODIMP put_textLineSeparator(BSTR newVal) noexcept override;
  STDMETHODIMP get_unicodeText(LONG* pVal) noexcept override;
  STDMETHODIMP put_unicodeText(LONG newVal) noexcept override;
  STDMETHODIMP ReadText(LONG lChars, BSTR* pbstrText) noexcept override;
  STDMETHODIMP get_codePage(LONG* pVal) noexcept override;
  STDMETHODIMP put_codePage(LONG newVal) noexcept override;
  STDMETHODIMP WriteText(BSTR bstrText, LONG lOptions) noexcept override;
  STDMETHODIMP get_EOS(LONG* pVal) noexcept override;
  STDMETHODIMP put_EOS(LONG newVal) noexcept override;
  STDMETHODIMP get_maxTextBuff(LONG* pVal) noexcept override;
  STDMETHODIMP put_maxTextBuff(LONG newVal) noexcept override;
  STDMETHODIMP Stats(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP get_elementType(LONG* pVal) noexcept override;
  STDMETHODIMP Close() noexcept override;
  STDMETHODIMP SetStream(IUnknown* pStrm) noexcept override;
  STDMETHODIMP Find(VARIANT vWhat, LONG lFlags, LONG lChunkSize, LONG* plPos) noexcept override;

 private:
  HRESULT ReadCount(LONG chars, BSTR* out) noexcept;
  HRESULT ReadRest(BSTR* out) noexcept;
  HRESULT ReadLine(bool lenient, BSTR* out) noexcept;
  // The separator in the stream's text encoding, kept until a text setting changes.
  HRESULT SeparatorBytes(const std::string** bytes) noexcept;
  // True when every byte of the text code page is one UTF-16 unit.
  bool SingleByteCodePage() noexcept;
  // Text from collected bytes (UTF-16 or code page), up to the first NUL.
  HRESULT TextFromBytes(const char* data, size_t size, BSTR* out) noexcept;
  // Text in the stream's encoding; unrepresentable text reports 10126.
  HRESULT EncodeText(const wchar_t* text, size_t length, std::string& bytes) noexcept;
  HRESULT WriteAll(const std::string& bytes) noexcept;
  // The size limit of the text collection buffer.
  size_t TextLimit() const noexcept;
  UINT CodePage() const noexcept { return codePage_ == 0 ? CP_ACP : static_cast<UINT>(codePage_); }

  CriticalSection lock_;
  ComPtr<IUnknown> keepAlive_;  // released after the stream
  ComPtr<IStream> stream_;
  std::wstring separator_ = L"\r\n";
  LONG unicodeText_ = 0;
  LONG codePage_ = 0;
  LONG maxTextBuff_ = 1048576;
  // Derived from the settings above and rebuilt when they change.
  std::string separatorBytes_;
  bool separatorCached_ = false;
  UINT cpInfoFor_ = ~0u;
  bool cpSingleByte_ = false;
  // Line reading buffers, kept between calls so that a line costs no allocation.
  std::string line_;
  std::vector<char> block_;
  std::vector<char> seen_;
};

}  // namespace orv
