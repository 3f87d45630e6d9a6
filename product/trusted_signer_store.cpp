#include "product/product_helper.h"
#include "product/trusted_signer_list.h"

namespace {

// The list's address from the process-wide product information; only the browser process
// loads that, so elsewhere the address is empty and the download tier refuses every name.
std::wstring UpdateSignUrl() {
  ProductHelper* helper = GetProductHelper();
  return helper ? helper->GetGeneralValueByKey(L"update_sign_url", nullptr) : std::wstring();
}

}  // namespace

TrustedSignerStore DefaultTrustedSignerStore() {
  TrustedSignerStore store;
  store.sectionName = L"CheckSignShareMem";
  store.sectionSize = 0x500000;
  store.registryRoot = HKEY_LOCAL_MACHINE;
  store.registryKey = L"SOFTWARE\\Harnstave";
  store.listAddress = &UpdateSignUrl;
  return store;
}
