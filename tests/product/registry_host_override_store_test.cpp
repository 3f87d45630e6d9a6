#include "product/registry_host_override_store.h"

#include <string>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "owned_registry_key.h"

namespace {

struct HostCase {
  const wchar_t* url;
  const wchar_t* expected;
};

class ReplaceUrlHostTable : public ::testing::TestWithParam<HostCase> {};

TEST_P(ReplaceUrlHostTable, ReplacesOnlyTheHostAfterTheScheme) {
  const HostCase& c = GetParam();
  EXPECT_STREQ(ReplaceUrlHost(c.url, L"c.d").GetString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ReplaceUrlHostTable,
    ::testing::Values(HostCase{L"x://a.b:81/p?q=a.b", L"x://c.d:81/p?q=a.b"},  // port kept, query untouched
                      HostCase{L"x://a.b/a.b/x?a.b", L"x://c.d/a.b/x?a.b"},
                      HostCase{L"x://h", L"x://c.d"}, HostCase{L"no scheme/a.b", L"no scheme/a.b"},
                      HostCase{L"://a.b/p", L"://a.b/p"}, HostCase{L"x://", L"x://"},
                      HostCase{L"x:///p", L"x:///p"}, HostCase{L"x://:81/p", L"x://c.d/p"},  // ':' first: kept
                      HostCase{L"", L""}));

constexpr wchar_t kTestKeyText[] = L"0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

std::wstring Encipher(const std::wstring& plain) {
  return StringCipher::EncryptString(plain.c_str(), kTestKeyText).GetString();
}

// Keys of a test build: every path lies under the test's own key in HKEY_LOCAL_MACHINE.
class HostOverrideLoad : public ::testing::Test {
 protected:
  HostOverrideLoad() : m_key(HKEY_LOCAL_MACHINE, L"override", KEY_WOW64_64KEY) {
    HostOverrideKeys keys;
    keys.keyText = kTestKeyText;
    keys.morvaneFlagKey = m_key.Sub(L"MorvaneFlag");
    keys.pelmaFlagKeyCipher = Encipher(m_key.Sub(L"PelmaFlag"));
    keys.morvaneKeyCipher = Encipher(m_key.Sub(L"MorvaneHosts"));
    keys.pelmaKeyCipher = Encipher(m_key.Sub(L"PelmaHosts"));
    m_previous = SetHostOverrideKeys(keys);
  }
  ~HostOverrideLoad() override { SetHostOverrideKeys(m_previous); }

  void AddEntry(const std::wstring& hosts, const std::wstring& name, const std::wstring& host) {
    m_key.SetString(hosts, Encipher(name).c_str(), Encipher(host));
  }

  OwnedRegistryKey m_key;
  HostOverrideKeys m_previous;
};

TEST_F(HostOverrideLoad, FlagOneFillsTheEntriesAndRewritesByExactName) {
  m_key.SetString(L"PelmaFlag", L"oem_f", L"1");
  AddEntry(L"PelmaHosts", L"r", L"c.d");
  AddEntry(L"PelmaHosts", L"s", L"e.f");
  m_key.SetString(L"PelmaHosts", L"not-base64!", Encipher(L"g.h"));  // undecipherable name: skipped
  m_key.SetDword(L"PelmaHosts", Encipher(L"t").c_str(), 7);          // not a text: skipped
  RegistryHostOverrideStore store;
  ASSERT_TRUE(store.LoadForProduct(L"pelma"));
  ASSERT_NE(store.Record(), nullptr);
  EXPECT_EQ(store.Record()->m_nOemFlag, 1u);
  EXPECT_EQ(store.Record()->m_mapEntries.size(), 2u);
  EXPECT_STREQ(store.RewriteUrl(L"r", L"http://a.b:81/p?q=a.b").GetString(), L"http://c.d:81/p?q=a.b");
  EXPECT_STREQ(store.RewriteUrl(L"s", L"http://a.b/").GetString(), L"http://e.f/");
  EXPECT_STREQ(store.RewriteUrl(L"R", L"http://a.b/").GetString(), L"http://a.b/");  // letter case counts
  EXPECT_STREQ(store.RewriteUrl(L"t", L"http://a.b/").GetString(), L"http://a.b/");
  store.Release();
  EXPECT_EQ(store.Record(), nullptr);
  EXPECT_STREQ(store.RewriteUrl(L"r", L"http://a.b/").GetString(), L"http://a.b/");
}

struct FlagCase {
  const wchar_t* product;
  const wchar_t* flagKey;
  const wchar_t* flag;  // null: no value
  BOOL loaded;
  DWORD expectedFlag;
};

class HostOverrideFlag : public HostOverrideLoad, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(HostOverrideFlag, OnlyAFlagOfOneRewrites) {
  const FlagCase& c = GetParam();
  if (c.flag) m_key.SetString(c.flagKey, L"oem_f", c.flag);
  AddEntry(L"PelmaHosts", L"r", L"c.d");
  AddEntry(L"MorvaneHosts", L"r", L"c.d");
  RegistryHostOverrideStore store;
  EXPECT_EQ(store.LoadForProduct(c.product), c.loaded);
  EXPECT_EQ(store.Record()->m_nOemFlag, c.expectedFlag);
  const wchar_t* expected = c.expectedFlag ? L"http://c.d/x" : L"http://a.b/x";
  EXPECT_STREQ(store.RewriteUrl(L"r", L"http://a.b/x").GetString(), expected);
  store.Release();
}

INSTANTIATE_TEST_SUITE_P(
    Flags, HostOverrideFlag,
    ::testing::Values(FlagCase{L"pelma", L"PelmaFlag", L"1", TRUE, 1}, FlagCase{L"morvane", L"MorvaneFlag", L"1", TRUE, 1},
                      FlagCase{L"morvane", L"MorvaneFlag", L"0", TRUE, 0},
                      FlagCase{L"pelma", L"PelmaFlag", nullptr, TRUE, 0},
                      FlagCase{L"Pelma", L"PelmaFlag", L"1", FALSE, 0},  // product names are exact
                      FlagCase{L"other", L"PelmaFlag", L"1", FALSE, 0}));

TEST(RegistryHostOverrideStore, AFreshStoreAndAStoreWithoutProductDataChangeNothing) {
  RegistryHostOverrideStore fresh;
  EXPECT_STREQ(fresh.RewriteUrl(L"", L"http://a.b/").GetString(), L"http://a.b/");
  // The product build supplies no key paths here: nothing can be loaded.
  HostOverrideKeys none;
  HostOverrideKeys previous = SetHostOverrideKeys(none);
  EXPECT_FALSE(fresh.LoadForProduct(L"pelma"));
  EXPECT_FALSE(fresh.LoadForProduct(L"morvane"));
  SetHostOverrideKeys(previous);
  fresh.Release();
}

}  // namespace
