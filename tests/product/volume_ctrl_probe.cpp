// Test helper: makes the process's volume-control record from the folder it is started in
// (tests copy it into folder trees with stand-in libraries) and prints what it found. Log lines
// go to standard output as they are written; answers are "name=value" lines.
//
//   volume_ctrl_probe <threads> [mute]
//     <threads> threads ask for the record at the same moment; with "mute" the probe then
//     mutes and unmutes through the record.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

#include "base/log.h"
#include "product/volume_ctrl_module.h"

int wmain(int argc, wchar_t** argv) {
  SetLogOutputs(4);
  AddLogLevels(15);
  const int threads = argc > 1 ? _wtoi(argv[1]) : 1;
  const bool mute = argc > 2 && wcscmp(argv[2], L"mute") == 0;

  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<VolumeCtrlModule*> seen(size_t(threads > 0 ? threads : 1), nullptr);
  std::vector<std::thread> workers;
  for (size_t i = 0; i < seen.size(); ++i) {
    workers.emplace_back([&, i] {
      WaitForSingleObject(start, INFINITE);
      seen[i] = VolumeCtrlModule::GetInstance();
    });
  }
  SetEvent(start);
  for (auto& worker : workers) worker.join();
  CloseHandle(start);

  const std::set<VolumeCtrlModule*> distinct(seen.begin(), seen.end());
  VolumeCtrlModule* record = seen[0];
  wchar_t modulePath[MAX_PATH + 1] = {};
  if (record->Module()) GetModuleFileNameW(record->Module(), modulePath, MAX_PATH);
  printf("instances=%u\n", unsigned(distinct.size()));
  printf("module=%ls\n", modulePath);
  printf("entries=%d%d%d%d\n", record->KivVolumeCtrl_Init != nullptr, record->KivVolumeCtrl_Uninit != nullptr,
         record->KivVolumeCtrl_MuteApp != nullptr, record->KivVolumeCtrl_IsAppMuted != nullptr);
  if (mute) {
    printf("mute1=%d\n", record->MuteApp(true) ? 1 : 0);
    printf("mute0=%d\n", record->MuteApp(false) ? 1 : 0);
  }
  fflush(stdout);
  return 0;
}
