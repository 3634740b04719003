// COMApartment (and its free-threaded twin COMApartmentFree): a thread with COM in the
// multithreaded apartment and a message loop, started with the object, that hands out an
// object creator (VessaCreator) made on that thread.
#pragma once
#include <windows.h>
#include <ole2.h>

#include "OrvantaVessa.h"
#include "components/module/ComObject.h"
#include "components/module/Dispatch.h"
#include "components/module/Raii.h"
#include "components/threads/ThreadLaunch.h"

namespace orv {

// What the owner and one apartment launch share.
class ApartmentBlock final : public ThreadBlock {
 public:
  HRESULT Init(bool multiThreaded) noexcept;

  UniqueHandle signal;
  std::atomic<HRESULT> startStatus{E_FAIL};
  // The creator made on the thread, for the owner to take once the signal is set.
  ComPtr<IDispatch> creatorForOwner;

 private:
  void Run() noexcept override;
  bool multiThreaded_ = true;
};

class COMApartment final : public ComObject<COMApartment, Dual<ICOMApartment>, ErrorSupport<ICOMApartment>,
                                            ICOMApartmentBin> {
 public:
  // The thread starts with the object; a failed start fails the creation.
  HRESULT FinalConstruct() noexcept;
  ~COMApartment() override;

  // ICOMApartment, in interface order
  STDMETHODIMP get_Creator(IDispatch** ppDisp) noexcept override;
  STDMETHODIMP Destroy() noexcept override;
  STDMETHODIMP get_IsAlive(LONG* pVal) noexcept override;
  STDMETHODIMP get_MultiThreaded(LONG* pVal) noexcept override;
  STDMETHODIMP get_Priority(LONG* pVal) noexcept override;
  STDMETHODIMP put_Priority(LONG newVal) noexcept override;

  // ICOMApartmentBin: sets the multithreaded flag and starts the apartment again.
  STDMETHODIMP BinRestart(LONG bMultiThreaded) noexcept override;

 private:
  // Lock held.
  bool Running() noexcept;
  HRESULT Start() noexcept;
  void Stop() noexcept;

  CriticalSection lock_;
  ApartmentBlock* block_ = nullptr;
  UniqueHandle thread_;
  ComPtr<IDispatch> creator_;
  SHORT multiThreaded_ = 1;
};

}  // namespace orv
