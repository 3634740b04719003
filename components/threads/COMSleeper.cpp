// COMSleeper: the platform's sleep call.
#include "components/threads/COMSleeper.h"

namespace orv {

// A negative time would reach the platform as INFINITE and never return: it sleeps not
// at all, like 0 (which gives up the rest of the time slice).
STDMETHODIMP COMSleeper::Sleep(LONG lMS) noexcept {
  ::Sleep(lMS < 0 ? 0 : static_cast<DWORD>(lMS));
  return S_OK;
}

}  // namespace orv
