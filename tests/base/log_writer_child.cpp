// Helper process for the log tests: appends one error line to the given log file.
// Usage: log_writer_child.exe <log file> <message>
#include <windows.h>

#include <shellapi.h>

#include "base/log.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  SetLogFilePath(argv[1]);
  LogErrorW(L"%s", argv[2]);
  LocalFree(argv);
  return 0;
}
