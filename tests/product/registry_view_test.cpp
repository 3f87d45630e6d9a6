// The product is a 32-bit process: under WOW64 its registry reads land in the 32-bit view.
// Every reader opens that view explicitly, so a 64-bit test build reads what the product reads.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "base/common_util.h"
#include "owned_registry_key.h"
#include "product/host_product_info.h"
#include "product/trusted_signer_list.h"

namespace {

bool IsWow64Machine() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

TEST(RegistryView, ReadersFindValuesWrittenOnlyInThe32BitView) {
  OwnedRegistryKey view32(HKEY_LOCAL_MACHINE, L"view", KEY_WOW64_32KEY);
  OwnedRegistryKey view64(HKEY_LOCAL_MACHINE, L"view", KEY_WOW64_64KEY);
  view32.SetString(L"Host", L"VendorID", L"vendor32");
  view32.SetString(L"Host", L"Setup Path", L"C:\\Games\\Host");
  view32.SetString(L"Signers", L"CSList", L"list32");
  if (IsWow64Machine()) {
    ASSERT_EQ(view64.GetString(L"Host", L"VendorID"), L"<missing>") << "the two views are apart on this machine";
  }

  const std::wstring host = view32.Sub(L"Host");
  EXPECT_STREQ(CommonUtil::GetRegString(HKEY_LOCAL_MACHINE, host.c_str(), L"Setup Path", L"none").GetString(),
               L"C:\\Games\\Host");
  EXPECT_STREQ(ReadRegistryText(HKEY_LOCAL_MACHINE, view32.Sub(L"Signers").c_str(), L"CSList").GetString(), L"list32");
  EXPECT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, view32.Sub(L"Signers").c_str(), L"CSVer", L"7"));
  EXPECT_EQ(view32.GetString(L"Signers", L"CSVer"), L"7");

  HostProductSources sources = GetHostProductSources();
  sources.hostRoot = HKEY_LOCAL_MACHINE;
  sources.hostKey = host;
  sources.morvaneRoot = HKEY_LOCAL_MACHINE;
  sources.morvaneKey = view32.Sub(L"Morvane");
  const HostProductSources previous = SetHostProductSources(sources);
  EXPECT_STREQ(GetChannelFromRegistry().GetString(), L"vendor32__vendor32");
  EXPECT_STREQ(GetHostInstallDir().GetString(), L"C:\\Games\\Host\\");
  SetHostProductSources(previous);
}

}  // namespace
