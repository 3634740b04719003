// Registry scripts: the small key-tree language of the "REGISTRY" resources, parsed into
// a tree and written back from one.
//
//   HKCR
//   {
//       Some.ProgID = s 'Description'
//       {
//           CLSID = s '{...}'
//       }
//       NoRemove CLSID
//       {
//           ForceRemove {...} = s 'Description'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Both'
//               }
//           }
//       }
//   }
//
// Names are words (a name that starts "{XXXXXXXX-" may hold braces) or quoted; texts are
// quoted with ' and a doubled '' stands for one quote.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvanta {

struct RegistryScriptKey {
  std::u16string name;
  bool noRemove = false;
  bool forceRemove = false;
  bool hasDefault = false;
  std::u16string defaultValue;
  std::vector<std::pair<std::u16string, std::u16string>> values;  // `val` lines
  std::vector<RegistryScriptKey> children;

  bool operator==(const RegistryScriptKey&) const = default;
};

struct RegistryScript {
  std::u16string root;  // "HKCR", "HKCU" or "HKLM", whichever spelling the script used
  std::vector<RegistryScriptKey> keys;

  bool operator==(const RegistryScript&) const = default;
};

// Keys nest at most this deep; deeper scripts are refused.
constexpr int kMaxRegistryScriptDepth = 64;

// Parses a whole script; false on a syntax error, an unknown root or too deep a nesting.
bool parseRegistryScript(std::u16string_view text, RegistryScript& script);

// Writes a script that parses back into `script`: every name and text quoted.
std::u16string formatRegistryScript(const RegistryScript& script);

}  // namespace orvanta
