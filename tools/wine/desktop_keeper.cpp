// Keeps the test session's desktop in use for as long as the session lasts.
//
// Wine ends a desktop (its explorer process) a second after the last program using it has gone,
// and the next program that needs one starts it again. That explorer inherits the standard
// handles of the program that started it, so a test process that happened to be first held
// ctest's output pipe open through explorer until the desktop ended again, minutes later, and
// ctest took the finished test for one that hung. The session starts this program with its
// handles detached before any test runs; it ends with the session's wineserver.
//
// Usage: desktop_keeper <ready file>  (the file is written once the desktop is in use)
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  // A message-only window: it makes this thread a user of the desktop and shows nowhere.
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!window) return 1;
  if (argc > 1) {
    if (FILE* ready = _wfopen(argv[1], L"wb")) fclose(ready);
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
