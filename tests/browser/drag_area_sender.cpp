// Test helper: sends (or posts) an off-screen window the drag-area message from a process of its
// own, as any program on the desktop can (the message is registered under a public name).
//   drag_area_sender <window> <lParam> [post]      window and lParam hexadecimal
// Exit code 0 when the window took the message (or it was posted), 1 for bad arguments, 2 when
// the send or post failed.
#include <windows.h>

#include <cwchar>

#include "browser/drag_area_message.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && !(argc == 4 && wcscmp(argv[3], L"post") == 0))
    return 1;
  const HWND window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoull(argv[1], nullptr, 16)));
  const LPARAM lparam = static_cast<LPARAM>(wcstoull(argv[2], nullptr, 16));
  if (argc == 4)
    return PostMessageW(window, client::DragAreaListWindowMessage(), 0, lparam) ? 0 : 2;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, client::DragAreaListWindowMessage(), 0, lparam, SMTO_ABORTIFHUNG, 10000, &result))
    return 2;
  return 0;
}
