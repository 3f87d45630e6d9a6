// Prints both machine identifiers of this machine, "<first> <second>", for the tests that
// compare them across processes.
#include <windows.h>

#include <cstdio>

#include "product/machine_id_v1.h"
#include "product/new_mid.h"

int main() {
  char first[260] = {};
  wchar_t second[260] = {};
  if (!GetMachineIdV1A(first, sizeof(first)) || NewMIDW_Kiv(second, 260) != S_OK) return 1;
  char narrow[260] = {};
  WideCharToMultiByte(CP_ACP, 0, second, -1, narrow, sizeof(narrow), nullptr, nullptr);
  printf("%s %s\n", first, narrow);
  return 0;
}
