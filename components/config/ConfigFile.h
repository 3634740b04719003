// ConfigFile (and its free-threaded twin ConfigFileFree): loads a configuration from a
// text file, a registry branch or a binary stream into a tree of section and record
// dictionaries, and stores such a tree again in any of the three forms.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"

namespace orv {

// Bits of the option word.
enum ConfigFileOption : LONG {
  kPreserveUnsignedInt = 0x1,
  kPreserveStringsWide = 0x2,
  kErrorModeShift = 16,
  kErrorModeMask = 0xF << kErrorModeShift,
};

class ConfigFile final : public ComObject<ConfigFile, Dual<IConfigFile>, ErrorSupport<IConfigFile>> {
 public:
  // IConfigFile, in interface order
  STDMETHODIMP Read(BSTR bstrFile, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP Write(BSTR bstrFile, IDispatch* pCollection) noexcept override;
  STDMETHODIMP CreateSection(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP CreateRecord(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP ReadFromRegistry(LONG lBranch, BSTR bstrPath, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP WriteToRegistry(LONG lBranch, BSTR bstrPath, IDispatch* pCollection) noexcept override;
  STDMETHODIMP ReadFromBinaryStream(IUnknown* pStream, IDispatch** ppDisp) noexcept override;
  STDMETHODIMP WriteToBinaryStream(IUnknown* pStream, IDispatch* pCollection) noexcept override;
  STDMETHODIMP get_PreserveStringsWide(LONG* pVal) noexcept override;
  STDMETHODIMP put_PreserveStringsWide(LONG newVal) noexcept override;
  STDMETHODIMP get_PreserveUnsignedInt(LONG* pVal) noexcept override;
  STDMETHODIMP put_PreserveUnsignedInt(LONG newVal) noexcept override;
  STDMETHODIMP get_ErrorMode(LONG* pVal) noexcept override;
  STDMETHODIMP put_ErrorMode(LONG newVal) noexcept override;

 private:
  LONG Options() noexcept;
  HRESULT GetFlag(LONG option, LONG* pVal) noexcept;
  HRESULT PutFlag(LONG option, LONG newVal) noexcept;

  CriticalSection lock_;
  LONG options_ = 0;
};

}  // namespace orv
