// kestrun: the windowed script host. Until the host proper lands it only tells the user
// that running scripts is not available in this build.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MessageBoxW(nullptr, L"This build of kestrun cannot run scripts yet.", L"kestrun", MB_OK | MB_ICONINFORMATION);
  return 1;
}
