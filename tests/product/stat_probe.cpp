// Sends one statistics report as the process entry does, from the folder it was copied into:
//   stat_probe <bucket subkey under HKEY_CURRENT_USER> <action> <extra> <answer file>
// and writes "result=<Report's result>" and "bucket=<the object's bucket>" to the answer file.
#include <windows.h>

#include <cstdio>

#include "product/kiv_statistic.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  CKivStatistic statistic(StatisticBucketKey{HKEY_CURRENT_USER, argv[1], 0});
  if (!statistic.Init(2, L"brivelo", nullptr)) return 3;
  int result = statistic.Report(argv[2], argv[3], FALSE, nullptr, nullptr);
  FILE* answers = _wfopen(argv[4], L"w");
  if (!answers) return 4;
  fprintf(answers, "result=%d\nbucket=%lu\n", result, static_cast<unsigned long>(statistic.Impl()->GetBucket()));
  fclose(answers);
  return 0;
}
