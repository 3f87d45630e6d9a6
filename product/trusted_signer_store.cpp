#include "product/trusted_signer_list.h"

TrustedSignerStore DefaultTrustedSignerStore() {
  TrustedSignerStore store;
  store.sectionName = L"CheckSignShareMem";
  store.sectionSize = 0x500000;
  store.registryRoot = HKEY_LOCAL_MACHINE;
  store.registryKey = L"SOFTWARE\\Harnstave";
  // Without the process-wide product information there is no list address: the download tier
  // then refuses every name.
  store.listAddress = [] { return std::wstring(); };
  return store;
}
