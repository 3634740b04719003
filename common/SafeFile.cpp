// Safe file replacement. The rename replaces an existing target in one step (on Windows
// the runtime's rename moves with replacement).
#include "common/SafeFile.h"

#include <system_error>

namespace orvanta {

std::filesystem::path temporaryFor(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".saving~";
  return temp;
}

bool replaceFile(const std::filesystem::path& path, const std::function<bool(std::FILE*)>& write) {
  const std::filesystem::path temp = temporaryFor(path);
#ifdef _WIN32
  std::FILE* f = _wfopen(temp.c_str(), L"wb");
#else
  std::FILE* f = std::fopen(temp.c_str(), "wb");
#endif
  if (!f) return false;
  bool ok = false;
  try {
    ok = write(f);
  } catch (...) {
    ok = false;
  }
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  std::error_code ec;
  if (ok) {
    std::filesystem::rename(temp, path, ec);
    if (!ec) return true;
  }
  std::filesystem::remove(temp, ec);
  return false;
}

bool replaceFile(const std::filesystem::path& path, std::string_view bytes) {
  return replaceFile(path, [bytes](std::FILE* f) { return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size(); });
}

}  // namespace orvanta
