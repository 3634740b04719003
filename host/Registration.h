// The registration tools both hosts offer: load a COM library, call its registration
// entry point and report the outcome as one line of output; re-register the platform's
// two script engines.
#pragma once
#include <string>

#include "host/HostUi.h"

namespace orvanta::host {

enum class RegistrationMode { Register, Unregister };

// Writes "Cannot load PATH", "DllRegisterServer not found in PATH" (or the
// DllUnregisterServer form), "PATH FAILED" or "PATH SUCCEEDED", each ending in CR LF.
// True only for the last.
bool RegisterLibrary(const std::wstring& path, RegistrationMode mode, HostUi& ui);

// Registers jscript.dll, then vbscript.dll, of the system directory; true when both
// succeeded.
bool RepairEngineRegistrations(HostUi& ui);

}  // namespace orvanta::host
