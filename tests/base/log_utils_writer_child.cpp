// Second writer process for the LogUtils tests.
//   log_utils_writer_child.exe <log file> <count> <text>
//     writes numbered lines to a log file that the test process writes at the same time.
//   log_utils_writer_child.exe release <log file>
//     writes a line with the stop policy, releases the process-wide logger, checks what the
//     release kept, then writes a second line through a fresh logger with the same policy. The
//     exit code has bit 4 set when the file's mutex was gone, bit 8 when the file was closed.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>

#include "base/log_utils.h"

namespace {

void WriteLine(const wchar_t* text) {
  if (!LogUtils::GetLogger()->IsLevelEnabled(1)) return;
  LogLineBuilder line("[I]", "tests\\base\\log_utils_writer_child.cpp", __LINE__);
  line << text;
  LogUtils::GetLogger()->WriteLine(line);
}

int ReleaseAndWriteAgain(const wchar_t* path) {
  LogUtils::InitLogger(path, TRUE, TRUE, 0, L"first");
  WriteLine(L"before release");
  LogUtils::ReleaseLogger();

  int lost = 0;
  ATL::CStringW mutexName;
  LogUtils::MakeMutexName(mutexName, path);
  if (HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, mutexName)) {
    CloseHandle(mutex);
  } else {
    lost |= 4;
  }
  // Only a file that nobody holds open can be opened unshared.
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    lost |= 8;
  }

  LogUtils::InitLogger(path, TRUE, TRUE, 0, L"second");
  WriteLine(L"after release");
  LogUtils::UninitLogger();
  return lost;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv == nullptr) return 2;
  if (argc == 3 && std::wcscmp(argv[1], L"release") == 0) return ReleaseAndWriteAgain(argv[2]);
  if (argc != 4) return 2;
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
