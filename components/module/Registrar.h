// Registry scripts: the small key-tree language of the "REGISTRY" resources.
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
// Register mode opens or creates every key and sets its values (ForceRemove keys are
// deleted with their subtree first). Unregister mode walks children first, deletes `val`
// values, and deletes a key once its listed subkeys are gone, unless it is NoRemove or
// still has subkeys the script does not name.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace orv {

struct RegistryScriptKey {
  std::wstring name;
  bool noRemove = false;
  bool forceRemove = false;
  bool hasDefault = false;
  std::wstring defaultValue;
  std::vector<std::pair<std::wstring, std::wstring>> values;  // `val` lines
  std::vector<RegistryScriptKey> children;
};

struct RegistryScript {
  HKEY root = nullptr;
  std::vector<RegistryScriptKey> keys;
};

// Parses a script after %MODULE% substitution. Returns E_FAIL on a syntax error.
HRESULT ParseRegistryScript(const std::wstring& text, RegistryScript& script) noexcept;

// Replaces every %MODULE% with the module path, single quotes doubled.
std::wstring SubstituteModulePath(const std::wstring& text, const std::wstring& modulePath);

HRESULT RunRegistryScript(const std::wstring& text, const std::wstring& modulePath, bool doRegister) noexcept;

// Loads "REGISTRY" resource `id` of `module` and runs it.
HRESULT RunRegistryResource(HINSTANCE module, UINT id, bool doRegister) noexcept;

}  // namespace orv
