// EnumDirSTG: the elements of a folder as storage elements (folders as storages, files as
// streams), handed out by the folder storage's EnumElements; never created by scripts.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "components/module/ComObject.h"
#include "components/module/Raii.h"

namespace orv {

class EnumDirSTG final : public ComObject<EnumDirSTG, IEnumSTATSTG> {
 public:
  // A new enumerator over `folder`, before its first entry.
  static HRESULT CreateOver(const std::wstring& folder, IEnumSTATSTG** out) noexcept;

  // IEnumSTATSTG
  STDMETHODIMP Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) noexcept override;
  STDMETHODIMP Skip(ULONG celt) noexcept override;
  STDMETHODIMP Reset() noexcept override;
  STDMETHODIMP Clone(IEnumSTATSTG** ppenum) noexcept override;

 private:
  // The next entry other than "." and ".."; false at the end.
  bool NextEntry(WIN32_FIND_DATAW& entry) noexcept;

  CriticalSection lock_;
  std::wstring pattern_;  // folder\*.*
  UniqueFindHandle find_;  // none before the first entry
  bool ended_ = false;
  ULONG position_ = 0;  // entries handed out or skipped since the start
};

}  // namespace orv
