// Stand-in program for the program-start tests: writes a marker file when given one, sleeps,
// then exits with the given code.
// Usage: run_app_child.exe <exit code> <milliseconds> [marker file]
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc < 3) return 2;
  const int code = _wtoi(argv[1]);
  const DWORD sleep = DWORD(_wtoi(argv[2]));
  if (argc > 3) {
    HANDLE marker = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
  }
  LocalFree(argv);
  Sleep(sleep);
  return code;
}
