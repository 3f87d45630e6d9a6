// Asks a trusted-signer list in its own process: signer_list_child <section> <HKCU key> <name>.
// Exit code 1 when the list names the signer, 0 when not, 2 for bad arguments.
#include <windows.h>

#include <shellapi.h>

#include "product/trusted_signer_list.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  TrustedSignerStore store;
  store.sectionName = argv[1];
  store.sectionSize = 0x500000;
  store.registryRoot = HKEY_CURRENT_USER;
  store.registryKey = argv[2];
  store.listAddress = [] { return std::wstring(); };
  TrustedSignerList list(store);
  return list.Check(argv[3]) ? 1 : 0;
}
