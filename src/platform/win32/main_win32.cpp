#include <windows.h>

#include "platform/win32/platform_win32.h"
#include "run/run.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int showCommand) {
  // The arguments come from GetCommandLineW, split the same way for every caller.
  vistrel::Win32Platform platform(instance, showCommand);
  vistrel::InstallPlatform(&platform);
  const int exitCode = vistrel::RunProgram();
  vistrel::InstallPlatform(nullptr);
  return exitCode;
}
