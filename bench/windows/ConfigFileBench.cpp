// Loading a configuration into dictionaries beside loading it into the native tree
// alone: a text file of 200 sections x 100 records x 3 values through ConfigFile.Read
// and through the text loader, and the same tree as a binary stream through
// ReadFromBinaryStream and the binary loader. Best of five runs each.
//   tools/winerun build/win/bin/bench_configfile.exe
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "OrvantaVessa.h"
#include "bench/windows/BenchLibrary.h"
#include "common/BinaryConfig.h"
#include "common/TextConfig.h"

namespace cfg = orvanta::config;

namespace {

constexpr int kSections = 200, kRecords = 100, kRuns = 5;

std::string Generate() {
  std::string out;
  for (int s = 0; s < kSections; ++s) {
    out += "{ Section" + std::to_string(s) + ":\r\n";
    for (int r = 0; r < kRecords; ++r) {
      const std::string name = "Record" + std::to_string(r);
      out += "    (int)" + name + "[count]=" + std::to_string(r) + "\r\n";
      out += "    (string)" + name + "[title]=record " + std::to_string(r) + " of section " + std::to_string(s) + "\r\n";
      out += "    (double)" + name + "[scale]=" + std::to_string(r / 8.0) + "\r\n";
    }
    out += "} Section" + std::to_string(s) + ";\r\n";
  }
  return out;
}

double BestMs(const std::function<bool()>& run) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!run()) return -1;
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

}  // namespace

int wmain() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IClassFactory* factory = bench::LibraryFactory(CLSID_ConfigFile, "bench_configfile");
  if (!factory) return 1;
  IConfigFile* cf = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, IID_IConfigFile, reinterpret_cast<void**>(&cf)))) return 1;

  const std::wstring path = L"bench_configfile.cfg";
  const std::string text = Generate();
  if (FILE* f = _wfopen(path.c_str(), L"wb")) {
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
  }
  BSTR file = SysAllocString(path.c_str());

  const double treeText = BestMs([&] {
    cfg::Section root;
    return cfg::loadConfigFile(path.c_str(), root) && root.childCount() == kSections;
  });
  const double dictText = BestMs([&] {
    IDispatch* d = nullptr;
    const bool ok = SUCCEEDED(cf->Read(file, &d));
    if (d) d->Release();
    return ok;
  });

  cfg::Section tree;
  cfg::loadText(text, tree);
  const std::string binary = cfg::saveBinary(tree);
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  ULONG written = 0;
  stream->Write(binary.data(), static_cast<ULONG>(binary.size()), &written);
  const double treeBinary = BestMs([&] {
    cfg::Section root;
    return cfg::loadBinary(binary, root) && root.childCount() == kSections;
  });
  const double dictBinary = BestMs([&] {
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    IDispatch* d = nullptr;
    const bool ok = SUCCEEDED(cf->ReadFromBinaryStream(stream, &d));
    if (d) d->Release();
    return ok;
  });

  std::printf("%d sections x %d records x 3 values (%zu bytes of text, %zu binary), best of %d\n", kSections,
              kRecords, text.size(), binary.size(), kRuns);
  std::printf("text:   native tree %7.2f ms   dictionaries (ConfigFile.Read)             %7.2f ms   ratio %.2fx (target <= 3x)\n",
              treeText, dictText, dictText / treeText);
  std::printf("binary: native tree %7.2f ms   dictionaries (ConfigFile.ReadFromBinaryStream) %7.2f ms   ratio %.2fx (target <= 3x)\n",
              treeBinary, dictBinary, dictBinary / treeBinary);
  stream->Release();
  SysFreeString(file);
  DeleteFileW(path.c_str());
  cf->Release();
  factory->Release();
  CoUninitialize();
  return 0;
}
