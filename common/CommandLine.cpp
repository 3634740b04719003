// Command-line splitting and building for the script hosts.
#include "common/CommandLine.h"

namespace orvanta {

namespace {

bool isSeparator(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

}  // namespace

std::vector<std::u16string> splitCommandLine(std::u16string_view line) {
  std::vector<std::u16string> args;
  size_t i = 0;
  for (;;) {
    while (i < line.size() && isSeparator(line[i])) ++i;
    if (i >= line.size()) break;
    std::u16string arg;
    if (line[i] == u'"') {
      const size_t close = line.find(u'"', i + 1);
      if (close == std::u16string_view::npos) break;  // unterminated: dropped, and nothing follows it
      arg.assign(line.substr(i + 1, close - i - 1));
      i = close + 1;  // the next argument may start right after the quote
    } else {
      const size_t start = i;
      while (i < line.size() && !isSeparator(line[i])) ++i;
      arg.assign(line.substr(start, i - start));
    }
    if (arg.empty()) break;  // only a quoted pair can be empty: it ends the list
    args.push_back(std::move(arg));
  }
  return args;
}

std::u16string_view skipProgramName(std::u16string_view commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == u'"') {
    const size_t close = commandLine.find(u'"', 1);
    i = close == std::u16string_view::npos ? commandLine.size() : close + 1;
  }
  while (i < commandLine.size() && commandLine[i] != u' ' && commandLine[i] != u'\t') ++i;
  while (i < commandLine.size() && (commandLine[i] == u' ' || commandLine[i] == u'\t')) ++i;
  return commandLine.substr(i);
}

bool buildCommandLine(const std::vector<std::u16string>& args, std::u16string& line) {
  std::u16string built;
  for (const std::u16string& arg : args) {
    if (arg.empty()) return false;
    bool separator = false;
    for (char16_t c : arg) separator = separator || isSeparator(c);
    const bool quoted = separator || arg[0] == u'"';
    if (quoted && arg.find(u'"') != std::u16string::npos) return false;
    if (!built.empty()) built += u' ';
    if (quoted) {
      built += u'"';
      built += arg;
      built += u'"';
    } else {
      built += arg;
    }
  }
  line = std::move(built);
  return true;
}

}  // namespace orvanta
