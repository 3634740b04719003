// The host's parameter tree: the command line split into arguments and sorted into the
// "HOST" and "SCRIPT" sections, and the "RUNTIME" values of the loaded script, all kept
// in a configuration tree. Each section keeps its values, in order, in one record with
// the empty name; values are counted from 1.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/ConfigTree.h"

namespace orvanta::host {

// Splits a command line (without the program name) into arguments. Separators are
// space, tab, CR and LF; an argument opening with a double quote runs to the next one
// (a missing closing quote drops it); an empty quoted pair ends the list.
std::vector<std::wstring> SplitCommandLine(std::wstring_view line);

// The command line of the process without the program name, as the windowed entry
// point receives it.
std::wstring_view SkipProgramName(std::wstring_view commandLine);

enum class ParamSection { Host, Script, Runtime };

class Parameters {
 public:
  Parameters();
  Parameters(const Parameters&) = delete;
  Parameters& operator=(const Parameters&) = delete;

  // Sorts arguments into HOST and SCRIPT: options ("-x" or "/x") and the script file
  // go to HOST until the script file or "-END"; everything after goes to SCRIPT.
  void AddArguments(const std::vector<std::wstring>& args);
  void ParseCommandLine(std::wstring_view line) { AddArguments(SplitCommandLine(line)); }

  std::size_t Count(ParamSection which) const noexcept;
  // The string at a 1-based position, or nullptr.
  const std::u16string* At(ParamSection which, std::size_t position) const noexcept;
  // The string named so (ignoring case), or nullptr.
  const std::u16string* Find(ParamSection which, std::wstring_view name) const noexcept;
  bool Has(ParamSection which, std::wstring_view name) const noexcept { return Find(which, name) != nullptr; }

  // Replaces the value of that name (ignoring case) or appends a new one.
  void Set(ParamSection which, std::wstring_view name, std::wstring_view value);
  // Appends an unnamed value.
  void Append(ParamSection which, std::wstring_view value);

  const config::Section& root() const noexcept { return root_; }

 private:
  config::Record& values(ParamSection which);
  const config::Record& values(ParamSection which) const noexcept;

  config::Section root_;
};

// Conversions between the platform's wide text and the tree's UTF-16 text.
inline std::u16string ToU16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }
inline std::wstring ToWide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

}  // namespace orvanta::host
