#include "product/disk_query.h"

#include <cstring>

#include "product/machine_platform.h"

std::wstring PhysicalDrivePath(int number) {
  wchar_t path[64] = {};
  _snwprintf(path, 63, L"\\\\.\\PhysicalDrive%d", number);
  return path;
}

bool SmartGetVersion(HANDLE device, BYTE answer[24]) {
  DWORD returned = 0;
  memset(answer, 0, 24);
  return MachinePlatform().IoControl(device, kSmartGetVersion, nullptr, 0, answer, 24, &returned) != 0;
}

bool QueryStorageDescriptor(HANDLE device, BYTE* answer, DWORD answerSize) {
  BYTE query[12] = {};  // StorageDeviceProperty, PropertyStandardQuery
  DWORD returned = 0;
  memset(answer, 0, answerSize);
  return MachinePlatform().IoControl(device, kIoctlStorageQueryProperty, query, sizeof(query), answer,
                                     answerSize, &returned) != 0;
}
