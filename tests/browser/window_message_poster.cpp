// Test helper: another program of the desktop posting to a window of the test, with values
// of its own choosing.
//
//   window_message_poster <window, hexadecimal> <rounds> <message>...
//
// Each message is a registered message's name or a decimal message number. Every round posts
// each message once, wParam and lParam taken from a table of values no receiver may trust
// (null, small numbers, odd and unmapped addresses, all bits set, an address of this process).
// Exit codes: 0 when every post was taken, 1 for bad arguments, 2 when a post failed.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 1;
  HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(argv[1], nullptr, 16)));
  const int rounds = _wtoi(argv[2]);
  std::vector<UINT> messages;
  for (int i = 3; i < argc; ++i) {
    messages.push_back(iswdigit(argv[i][0]) ? static_cast<UINT>(_wtoi(argv[i])) : RegisterWindowMessageW(argv[i]));
  }
  static int local = 0;
  const UINT_PTR values[] = {0,          1,          8,          0x1000,
                             0xDEADBEEF, 0x7FFF0000, ~UINT_PTR(0), reinterpret_cast<UINT_PTR>(&local)};
  const size_t count = sizeof(values) / sizeof(values[0]);
  for (int round = 0; round < rounds; ++round) {
    for (UINT message : messages) {
      if (!PostMessageW(window, message, values[round % count], static_cast<LPARAM>(values[(round + 3) % count])))
        return 2;
    }
  }
  return 0;
}
