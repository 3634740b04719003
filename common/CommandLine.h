// Command lines of the script hosts: the split into arguments, the program name skipped,
// and the inverse, a line built from arguments that splits back into them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvanta {

// Splits a command line (without the program name) into arguments. Separators are
// space, tab, CR and LF; an argument opening with a double quote runs to the next one
// (a missing closing quote drops it, and the list ends there); a quote anywhere else is
// an ordinary character; an empty quoted pair ends the list.
std::vector<std::u16string> splitCommandLine(std::u16string_view line);

// The command line of a process without its program name, as a windowed entry point
// receives it.
std::u16string_view skipProgramName(std::u16string_view commandLine);

// A line that splits back into `args`: plain arguments as they are, arguments with a
// separator or an opening quote between quotes. False, with `line` untouched, when an
// argument cannot be written so: empty, or holding a quote that the quoted form needs
// (a separator or an opening quote together with any quote).
bool buildCommandLine(const std::vector<std::u16string>& args, std::u16string& line);

}  // namespace orvanta
