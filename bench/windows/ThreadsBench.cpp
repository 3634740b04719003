// The round trip of one background call: COMThread.Execute + Wait on a trivial member
// (by DISPID and by name), beside the platform's own round trip between two threads
// (PostThreadMessage to a thread with a message loop, which sets an event the caller
// waits for), in one run, single- and multithreaded caller alike.
//   tools/winerun build/win/bin/bench_threads.exe
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <chrono>
#include <cstdio>

#include "OrvantaVessa.h"
#include "bench/windows/BenchLibrary.h"

namespace {

constexpr int kTrips = 2000;
// The machine is shared: the three measures take turns over several rounds and the best
// round of each is reported, so that a burst of foreign load does not favour either side.
constexpr int kRounds = 7;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A member that returns at once: DISPID 1, name "Nop".
class Trivial final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) return *ppv = nullptr, E_NOINTERFACE;
    *ppv = this;
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override { return ids[0] = 1, S_OK; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* r, EXCEPINFO*, UINT*) override {
    if (r) VariantInit(r);
    return S_OK;
  }
};

// The platform's round trip: a thread with a message loop answers each posted message
// by setting an event.
struct NativePeer {
  HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD id = 0;
  HANDLE thread = nullptr;

  static DWORD WINAPI Loop(void* p) {
    auto* self = static_cast<NativePeer*>(p);
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(self->ready);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
      if (msg.message == WM_USER + 1) SetEvent(self->answered);
    return 0;
  }
  NativePeer() {
    thread = CreateThread(nullptr, 0, &Loop, this, 0, &id);
    WaitForSingleObject(ready, 10000);
  }
  ~NativePeer() {
    PostThreadMessageW(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(answered);
    CloseHandle(ready);
  }
  bool Trip() {
    ResetEvent(answered);
    return PostThreadMessageW(id, WM_USER + 1, 0, 0) && WaitForSingleObject(answered, 10000) == WAIT_OBJECT_0;
  }
};

double NativeMicroseconds(NativePeer& peer) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kTrips; ++i)
    if (!peer.Trip()) return -1;
  return Seconds(start) * 1e6 / kTrips;
}

double WorkerMicroseconds(ICOMThread* worker, const VARIANT& member) {
  Trivial target;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kTrips; ++i) {
    LONG idle = 0;
    if (FAILED(worker->Execute(&target, member)) || worker->Wait(10000, &idle) != S_OK) return -1;
  }
  return Seconds(start) * 1e6 / kTrips;
}

// How much parallel work the machine has room for now: a native CPU loop on two threads
// at once beside the same loop twice in sequence (context for the script-thread figures
// of threads.js, which need a free second core).
volatile long g_sink;
DWORD WINAPI CpuLoop(void*) {
  long s = 0;
  for (long i = 0; i < 200000000; ++i) s += i % 7;
  g_sink = s;
  return 0;
}
void MachineParallelism() {
  auto start = std::chrono::steady_clock::now();
  CpuLoop(nullptr);
  CpuLoop(nullptr);
  const double sequential = Seconds(start);
  start = std::chrono::steady_clock::now();
  HANDLE threads[2] = {CreateThread(nullptr, 0, &CpuLoop, nullptr, 0, nullptr),
                       CreateThread(nullptr, 0, &CpuLoop, nullptr, 0, nullptr)};
  WaitForMultipleObjects(2, threads, TRUE, 600000);
  const double parallel = Seconds(start);
  CloseHandle(threads[0]);
  CloseHandle(threads[1]);
  std::printf("native CPU loop: twice in sequence %.0f ms, on two threads %.0f ms, ratio %.2fx\n",
              sequential * 1e3, parallel * 1e3, parallel / sequential);
}

int Run(DWORD model, const char* label) {
  CoInitializeEx(nullptr, model);
  IClassFactory* factory = bench::LibraryFactory(CLSID_COMThread, "bench_threads");
  if (!factory) return 1;
  ICOMThread* worker = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, __uuidof(ICOMThread), reinterpret_cast<void**>(&worker))) ||
      FAILED(worker->Activate())) {
    std::fprintf(stderr, "bench_threads: cannot start a COMThread\n");
    return 1;
  }
  VARIANT byId, byName;
  V_VT(&byId) = VT_I4;
  V_I4(&byId) = 1;
  V_VT(&byName) = VT_BSTR;
  V_BSTR(&byName) = SysAllocString(L"Nop");
  NativePeer peer;
  double native = 1e9, id = 1e9, name = 1e9;
  for (int round = 0; round <= kRounds; ++round) {  // round 0 warms up
    const double n = NativeMicroseconds(peer), i = WorkerMicroseconds(worker, byId),
                 m = WorkerMicroseconds(worker, byName);
    if (round == 0 || n < 0 || i < 0 || m < 0) continue;
    native = n < native ? n : native;
    id = i < id ? i : id;
    name = m < name ? m : name;
  }
  std::printf("%s caller, best of %d rounds of %d round trips\n", label, kRounds, kTrips);
  std::printf("  PostThreadMessage + event (native)   %7.2f us\n", native);
  std::printf("  COMThread Execute + Wait, DISPID     %7.2f us   ratio %.2fx\n", id, id / native);
  std::printf("  COMThread Execute + Wait, by name    %7.2f us   ratio %.2fx\n", name, name / native);
  VariantClear(&byName);
  worker->Deactivate();
  worker->Release();
  factory->Release();
  CoUninitialize();
  return 0;
}

}  // namespace

int wmain() {
  MachineParallelism();
  if (Run(COINIT_MULTITHREADED, "multithreaded")) return 1;
  return Run(COINIT_APARTMENTTHREADED, "single-threaded");
}
