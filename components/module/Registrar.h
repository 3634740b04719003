// Registry scripts (the language of the "REGISTRY" resources, parsed by the portable
// core) run against the registry.
//
// Register mode opens or creates every key and sets its values (ForceRemove keys are
// deleted with their subtree first). Unregister mode walks children first, deletes `val`
// values, and deletes a key once its listed subkeys are gone, unless it is NoRemove or
// still has subkeys the script does not name.
#pragma once
#include <windows.h>

#include <string>

#include "common/RegistryScript.h"

namespace orv {

using RegistryScriptKey = orvanta::RegistryScriptKey;
using RegistryScript = orvanta::RegistryScript;

// Parses a script after %MODULE% substitution. Returns E_FAIL on a syntax error.
HRESULT ParseRegistryScript(const std::wstring& text, RegistryScript& script) noexcept;

// Replaces every %MODULE% with the module path, single quotes doubled.
std::wstring SubstituteModulePath(const std::wstring& text, const std::wstring& modulePath);

HRESULT RunRegistryScript(const std::wstring& text, const std::wstring& modulePath, bool doRegister) noexcept;

// Loads "REGISTRY" resource `id` of `module` and runs it.
HRESULT RunRegistryResource(HINSTANCE module, UINT id, bool doRegister) noexcept;

}  // namespace orv
