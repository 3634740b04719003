// Loads and saves a generated text configuration of about 10 MB and prints MB/s beside
// a plain line split of the same bytes, the least any line-oriented reader does.
//   config_bench [--mb N] [--repeat N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "common/ConfigTree.h"
#include "common/TextConfig.h"

namespace cfg = orvanta::config;

namespace {

// A settings-like file: sections of records with named numbers, strings, doubles and
// now and then a small binary value or a nested section.
std::string generate(std::size_t bytes) {
  std::mt19937 rng(42);
  std::string out;
  out.reserve(bytes + 4096);
  auto word = [&](int len) {
    std::string w;
    for (int i = 0; i < len; ++i) w += static_cast<char>('a' + rng() % 26);
    return w;
  };
  for (int s = 0; out.size() < bytes; ++s) {
    out += "{ Section" + std::to_string(s) + ": (" + word(6) + ")\r\n";
    for (int r = 0; r < 40; ++r) {
      std::string rec = "    (int)Item" + std::to_string(r);
      out += rec + "[cx]=" + std::to_string(rng() % 2000) + "\r\n";
      out += rec + "[cy]=" + std::to_string(rng() % 2000) + "\r\n";
      out += "    (string)Title" + std::to_string(r) + "=" + word(8) + " " + word(12) + " " + word(5) + "\r\n";
      out += "    (double)Scale" + std::to_string(r) + "=" + std::to_string((rng() % 100000) / 1000.0) + "\r\n";
      if (r % 10 == 0) {
        out += "    [ Key" + std::to_string(r) + ":\r\n";
        for (int b = 0; b < 8; ++b) out += "    " + std::to_string(rng() % 10) + "F\r\n";
        out += "    ] Key" + std::to_string(r) + ";\r\n";
      }
      if (r % 20 == 0) {
        out += "    { Inner:\r\n        (int64)Stamp=" + std::to_string(rng()) + std::to_string(rng()) + "\r\n";
        out += "        (float)Ratio=0." + std::to_string(rng() % 1000000) + "\r\n    } Inner;\r\n";
      }
    }
    out += "} Section" + std::to_string(s) + ";\r\n";
  }
  return out;
}

using Clock = std::chrono::steady_clock;

// Each run times its own work and returns the seconds; freeing what it built is not
// part of it, for the line split as for the loader.
struct Timing {
  double first = 0, best = 1e30;
};

Timing measure(int repeat, const std::function<double()>& run) {
  Timing t;
  for (int i = 0; i < repeat; ++i) {
    double s = run();
    if (i == 0) t.first = s;
    t.best = std::min(t.best, s);
  }
  return t;
}

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

volatile std::size_t sink;

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Keep freed memory in the process between runs, so that the best runs measure the
  // work rather than the kernel handing out fresh pages (first runs show that cost).
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
#endif
  std::size_t mb = 10;
  int repeat = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--mb")) mb = std::strtoul(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--repeat")) repeat = std::atoi(argv[i + 1]);
  }
  if (mb == 0 || repeat <= 0) {
    std::fputs("usage: config_bench [--mb N] [--repeat N]\n", stderr);
    return 1;
  }
  const std::string text = generate(mb << 20);
  const double size = static_cast<double>(text.size()) / (1 << 20);

  const Timing viewSplit = measure(repeat, [&] {
    auto t0 = Clock::now();
    std::vector<std::string_view> lines;
    std::string_view rest = text;
    for (std::size_t lf; (lf = rest.find('\n')) != rest.npos; rest.remove_prefix(lf + 1)) lines.push_back(rest.substr(0, lf));
    double s = since(t0);
    sink = lines.size();
    return s;
  });
  const Timing copySplit = measure(repeat, [&] {
    auto t0 = Clock::now();
    std::vector<std::string> lines;
    std::string_view rest = text;
    for (std::size_t lf; (lf = rest.find('\n')) != rest.npos; rest.remove_prefix(lf + 1)) lines.emplace_back(rest.substr(0, lf));
    double s = since(t0);
    sink = lines.size();
    return s;
  });
  const Timing load = measure(repeat, [&] {
    auto t0 = Clock::now();
    cfg::Section root;
    cfg::loadText(text, root);
    double s = since(t0);
    sink = root.childCount();
    return s;
  });
  cfg::Section root;
  cfg::loadText(text, root);
  std::size_t saved = 0;
  const Timing save = measure(repeat, [&] {
    auto t0 = Clock::now();
    std::string out = cfg::saveText(root);
    double s = since(t0);
    saved = out.size();
    return s;
  });

  auto rate = [&](double mb, const Timing& t, const char* what, const char* note) {
    std::printf("  %-20s %8.1f MB/s first, %8.1f MB/s best%s\n", what, mb / t.first, mb / t.best, note);
  };
  std::printf("config_bench: %.1f MB generated, %zu sections, %d runs each\n", size, root.childCount(), repeat);
  rate(size, viewSplit, "line split (views)", "");
  rate(size, copySplit, "line split (copies)", "   <- the floor");
  rate(size, load, "load", "");
  rate(saved / double(1 << 20), save, "save", "");
  std::printf("  load takes %.2fx the floor's time (best runs), %.2fx (first runs)\n", load.best / copySplit.best,
              load.first / copySplit.first);
  return 0;
}
