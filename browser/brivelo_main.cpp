// The entry point of Brivelo.exe; linked into the executable only (browser/CMakeLists.txt).
#include <windows.h>

#include "base/log.h"
#include "browser/process_entry.h"

// The command line is read from GetCommandLineW by Main, not taken from the argument.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show) {
  const int exit_code = Main(instance, show);
  LogInfoW(L"Main : exit with exitCode = %d", exit_code);
  return exit_code;
}
