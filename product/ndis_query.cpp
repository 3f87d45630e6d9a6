#include "product/ndis_query.h"

#include <cstdio>

#include "product/machine_platform.h"

BOOL QueryNdisOid(HANDLE device, DWORD oid, void* out, DWORD size, DWORD* returned) {
  DWORD count = 0;
  BOOL ok = MachinePlatform().IoControl(device, kIoctlNdisQueryGlobalStats, &oid, sizeof(oid),
                                        out, size, &count);
  if (returned) *returned = count;
  return ok && count >= 1;
}

bool QueryPermanentAddressText(HANDLE device, std::string* text) {
  BYTE answer[260] = {};
  DWORD count = 0;
  if (!QueryNdisOid(device, kOidPermanentAddress, answer, sizeof(answer), &count)) return false;
  if (count < kAdapterAddressBytes) return false;
  *text = FormatAdapterAddress(answer);
  return true;
}

std::string FormatAdapterAddress(const BYTE* address) {
  char text[16] = {};
  snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2],
           address[3], address[4], address[5]);
  return text;
}
