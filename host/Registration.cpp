// Registration of COM libraries from the hosts. Every outcome is one line of output;
// nothing is shown in a message box.
#include "host/Registration.h"

#include <windows.h>

namespace orvanta::host {

bool RegisterLibrary(const std::wstring& path, RegistrationMode mode, HostUi& ui) {
  const bool registering = mode == RegistrationMode::Register;
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) {
    ui.Write(L"Cannot load " + path + L"\r\n");
    return false;
  }
  const char* entry = registering ? "DllRegisterServer" : "DllUnregisterServer";
  using EntryPoint = HRESULT(STDAPICALLTYPE*)();
  const auto call = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library, entry)));
  if (!call) {
    FreeLibrary(library);
    ui.Write(std::wstring(registering ? L"DllRegisterServer" : L"DllUnregisterServer") + L" not found in " + path +
             L"\r\n");
    return false;
  }
  const HRESULT hr = call();
  FreeLibrary(library);
  ui.Write(path + (FAILED(hr) ? L" FAILED\r\n" : L" SUCCEEDED\r\n"));
  return SUCCEEDED(hr);
}

bool RepairEngineRegistrations(HostUi& ui) {
  wchar_t system[MAX_PATH] = L"";
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  std::wstring folder(system, n < MAX_PATH ? n : 0);
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  const bool jscript = RegisterLibrary(folder + L"jscript.dll", RegistrationMode::Register, ui);
  const bool vbscript = RegisterLibrary(folder + L"vbscript.dll", RegistrationMode::Register, ui);
  return jscript && vbscript;
}

}  // namespace orvanta::host
