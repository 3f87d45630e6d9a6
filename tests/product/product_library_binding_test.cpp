#include "product/product_helper_impl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signer_fixture_files.h"

namespace {

using signer_fixtures::Path;

// What a stand-in library handed out and got back through free_str.
struct TextCounts {
  LONG handedOut;
  LONG freed;
};
TextCounts Counts(const wchar_t* module) {
  typedef LONG(__cdecl * CountFunc)();
  HMODULE loaded = GetModuleHandleW(module);
  if (!loaded) return {-1, -1};
  auto handedOut = reinterpret_cast<CountFunc>(reinterpret_cast<void*>(GetProcAddress(loaded, "standin_handed_out")));
  auto freed = reinterpret_cast<CountFunc>(reinterpret_cast<void*>(GetProcAddress(loaded, "standin_freed")));
  return {handedOut ? handedOut() : -1, freed ? freed() : -1};
}

std::vector<std::wstring> AllValues(ProductHelperImpl& impl) {
  std::vector<std::wstring> values;
  for (int index = 0; index < kProductValueCount; ++index) {
    values.push_back(impl.GetGeneralValue(ProductValueIndex(index), nullptr));
  }
  return values;
}

TEST(ProductLibraryBinding, MinimalLibraryBindsAndAnswersNoValues) {
  ProductHelperImpl impl;
  ASSERT_TRUE(impl.LoadProductHelperDll(Path(L"ph_minimal_trusted.dll").c_str()));
  EXPECT_EQ(L"7.2.1", impl.GetProductInfoVersion());
  EXPECT_EQ(L"StandinProduct", impl.GetProductId());
  EXPECT_EQ(std::vector<std::wstring>(kProductValueCount), AllValues(impl));
  EXPECT_EQ(L"", impl.GetGeneralValueByKey(L"update_sign_url", nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"StandinProduct", L"OtherProduct"}), impl.GetInstalledProductIds());
  // Bound once: a second call answers from the loaded state.
  EXPECT_TRUE(impl.LoadProductHelperDll(L"no such library.dll"));
  const TextCounts counts = Counts(L"ph_minimal_trusted.dll");
  EXPECT_EQ(3, counts.handedOut);  // version, product id, id list
  EXPECT_EQ(counts.handedOut, counts.freed);
}

TEST(ProductLibraryBinding, FullLibraryAnswersAndGetsEveryTextBackOnce) {
  ProductHelperImpl impl;
  ASSERT_TRUE(impl.LoadProductHelperDll(Path(L"ph_full_trusted.dll").c_str()));
  EXPECT_EQ(L"channel-42", impl.GetChannelId());
  EXPECT_EQ(L"C:\\Standin\\AppData", impl.GetAppDataDir());
  EXPECT_EQ(L"", impl.GetApp());  // the library answers null: nothing to free
  EXPECT_EQ(L"", impl.GetDumpUrl());  // no such export
  EXPECT_EQ(L"general:StandinProduct:update_sign_url", impl.GetGeneralValueByKey(L"update_sign_url", nullptr));
  EXPECT_EQ(L"general:Other:k", impl.GetGeneralValueByKey(L"k", L"Other"));
  EXPECT_EQ(L"", impl.GetGeneralValueByKey(L"missing", nullptr));
  const TextCounts counts = Counts(L"ph_full_trusted.dll");
  EXPECT_EQ(6, counts.handedOut);  // version, id, channel, app data, two general values
  EXPECT_EQ(counts.handedOut, counts.freed);
}

TEST(ProductLibraryBinding, RejectedLibraryLeavesNothingThatAnswers) {
  ProductHelperImpl impl;
  EXPECT_FALSE(impl.LoadProductHelperDll(Path(L"ph_empty_version_trusted.dll").c_str()));
  EXPECT_NE(nullptr, GetModuleHandleW(L"ph_empty_version_trusted.dll"));  // loaded, never freed
  EXPECT_EQ(L"", impl.GetChannelId(L"StandinProduct"));
  EXPECT_EQ(L"", impl.GetGeneralValueByKey(L"update_sign_url", L"StandinProduct"));
  EXPECT_EQ(L"", impl.GetProductInfoVersion());
  EXPECT_EQ(L"", impl.GetProductId());
  EXPECT_TRUE(impl.GetInstalledProductIds().empty());
  const TextCounts counts = Counts(L"ph_empty_version_trusted.dll");
  EXPECT_EQ(1, counts.handedOut);
  EXPECT_EQ(1, counts.freed);
}

TEST(ProductLibraryBinding, LibrariesFailingTheSignerCheckAreNeverLoaded) {
  for (const wchar_t* file : {L"ph_full_other.dll", L"ph_full_unsigned.dll", L"ph_full_tampered.dll"}) {
    ProductHelperImpl impl;
    EXPECT_FALSE(impl.LoadProductHelperDll(Path(file).c_str()));
    EXPECT_EQ(nullptr, GetModuleHandleW(file));
    EXPECT_EQ(L"", impl.GetProductId());
  }
  ProductHelperImpl impl;
  EXPECT_FALSE(impl.LoadProductHelperDll(nullptr));
  EXPECT_FALSE(impl.LoadProductHelperDll(Path(L"missing.dll").c_str()));
}

}  // namespace
