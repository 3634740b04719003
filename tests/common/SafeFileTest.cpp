// Replacing a file through a temporary: success replaces it, any failure half way keeps
// the old contents and leaves no temporary behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/SafeFile.h"

namespace orvanta {
namespace {

std::string contents(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(SafeFile, ReplacesOnlyWhenTheWholeWriteSucceeded) {
  const std::filesystem::path dir = std::filesystem::current_path() / "safefile-work";  // inside the build tree
  std::filesystem::create_directories(dir);
  const std::filesystem::path target = dir / "target.cfg";
  std::ofstream(target, std::ios::binary) << "old";

  const struct {
    const char* what;
    bool result;
    std::function<bool(std::FILE*)> write;
    const char* expected;
  } cases[] = {
      {"a writer failing half way", false, [](std::FILE* f) { std::fputs("new but", f); return false; }, "old"},
      {"a writer that throws", false, [](std::FILE* f) -> bool { std::fputs("x", f); throw std::bad_alloc(); }, "old"},
      {"a writer that succeeds", true, [](std::FILE* f) { return std::fputs("new", f) >= 0; }, "new"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(replaceFile(target, c.write), c.result) << c.what;
    EXPECT_EQ(contents(target), c.expected) << c.what;
    EXPECT_FALSE(std::filesystem::exists(temporaryFor(target))) << c.what;
  }
  // A target the temporary cannot replace (a folder), and a folder that does not exist.
  std::filesystem::create_directories(dir / "folder");
  EXPECT_FALSE(replaceFile(dir / "folder", std::string_view("x")));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder"));
  EXPECT_FALSE(std::filesystem::exists(temporaryFor(dir / "folder")));
  EXPECT_FALSE(replaceFile(dir / "missing" / "x.cfg", std::string_view("x")));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvanta
