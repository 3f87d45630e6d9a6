// Second writer process for the LogUtils tests: writes numbered lines to a log file that the
// test process writes at the same time.
// Usage: log_utils_writer_child.exe <log file> <count> <text>
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "base/log_utils.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 4) return 2;
  LogUtils::InitLogger(argv[1], TRUE, FALSE, 0, L"child");
  const int count = _wtoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    if (!LogUtils::GetLogger()->IsLevelEnabled(1)) return 3;
    LogLineBuilder line("[I]", "tests\\base\\log_utils_writer_child.cpp", __LINE__);
    line << argv[3] << L" " << i;
    LogUtils::GetLogger()->WriteLine(line);
  }
  LogUtils::UninitLogger();
  LocalFree(argv);
  return 0;
}
