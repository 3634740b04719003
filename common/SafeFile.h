// Replacing a file without risking its old contents: the new bytes go to a temporary
// file beside the target, which replaces the target only once it was written whole.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>

namespace orvanta {

// Calls write with a temporary file in path's folder; when write returns true and the
// file was flushed and closed without error, it replaces path. Otherwise the temporary
// is removed and path keeps its old contents. False on any failure.
bool replaceFile(const std::filesystem::path& path, const std::function<bool(std::FILE*)>& write);

// The same for bytes in memory.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes);

// The temporary name replaceFile writes to for path.
std::filesystem::path temporaryFor(const std::filesystem::path& path);

}  // namespace orvanta
