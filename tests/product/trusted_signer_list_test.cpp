#include <winsock2.h>  // before windows.h

#include "product/trusted_signer_list.h"

#include <gtest/gtest.h>

#include <string>

#include "base/embedded_key.h"
#include "base/string_cipher.h"
#include "child_process.h"
#include "loopback_http_server.h"
#include "signer_test_store.h"

namespace {

std::string ToUtf8(const std::wstring& text) { return StringCipher::WideToCodePage(text.c_str(), CP_UTF8); }

// The list document as the list server publishes it.
std::string ServerDocument(const std::string& json) {
  return ToUtf8(StringCipher::EncryptString(ATL::CStringW(StringCipher::CodePageToWide(json.c_str(), CP_UTF8).c_str()),
                                            kEmbeddedCipherKey)
                    .GetString());
}

std::wstring Decipher(const std::wstring& cipherText) {
  return StringCipher::DecryptString(cipherText.c_str(), kEmbeddedCipherKey).GetString();
}

TEST(TrustedSignerList, RegistryListMatchesInAnyCaseAndIsPublishedToTheSection) {
  TestSignerStore store;
  store.SetRegistryList(L"3", L"[\"Name A\",\"Quillmere Test Signer\"]");
  TrustedSignerList list(store.Store());
  EXPECT_TRUE(list.Check(L"QUILLMERE test SIGNER"));
  EXPECT_EQ("{\"CSList\":\"[\\\"Name A\\\",\\\"Quillmere Test Signer\\\"]\",\"CSVer\":\"3\",\"CheckFailCnt\":0}",
            store.ReadSectionText());
  // The section alone now answers, with the registry gone.
  RegDeleteTreeW(HKEY_CURRENT_USER, store.KeyPath().c_str());
  TrustedSignerList again(store.Store());
  EXPECT_TRUE(again.Check(L"name a"));
  EXPECT_FALSE(again.Check(L"Name B"));
}

TEST(TrustedSignerList, DownloadedMatchIsPublishedToSectionAndRegistry) {
  LoopbackHttpServer server;
  TestSignerStore store;
  store.CreateKey();
  // A valid registry list without a version is ignored; the download decides.
  store.SetRegistryList(L"", L"[\"Quillmere Test Signer\"]");
  server.SetBody(ServerDocument("{\"CSVer\": 4, \"CSList\": [\"quillmere TEST signer\", \"Other\"]}"));
  store.SetAddress(server.NextUrl());
  TrustedSignerList list(store.Store());
  EXPECT_TRUE(list.Check(L"Quillmere Test Signer"));
  EXPECT_EQ(1, server.Requests());
  EXPECT_EQ("{\"CSList\":\"[\\\"quillmere TEST signer\\\",\\\"Other\\\"]\",\"CSVer\":\"4\",\"CheckFailCnt\":0}",
            store.ReadSectionText());
  EXPECT_EQ(L"4", store.GetValue(L"CSVer"));
  EXPECT_EQ(L"[\"quillmere TEST signer\",\"Other\"]", Decipher(store.GetValue(L"CSList")));
}

TEST(TrustedSignerList, DownloadFailuresAndMissesAreRefused) {
  LoopbackHttpServer server;
  const std::string bodies[] = {
      ServerDocument("{\"CSVer\":\"1\",\"CSList\":[\"Someone Else\"]}"),  // not listed
      "not base64 at all",
      ServerDocument("[1,2"),                                            // not JSON
      ServerDocument("{\"CSVer\":\"1\",\"CSList\":\"[\\\"Quillmere Test Signer\\\"]\"}"),  // not an array
  };
  for (const std::string& body : bodies) {
    TestSignerStore store;
    server.SetBody(body);
    store.SetAddress(server.NextUrl());
    TrustedSignerList list(store.Store());
    EXPECT_FALSE(list.Check(L"Quillmere Test Signer")) << body;
    EXPECT_EQ("<none>", store.ReadSectionText());
  }
  EXPECT_EQ(4, server.Requests());
  TestSignerStore noAddress;
  TrustedSignerList list(noAddress.Store());
  EXPECT_FALSE(list.Check(L"Quillmere Test Signer"));
}

struct FailCountCase {
  int before;
  int requests;
  int after;
};

class TrustedSignerFailCountTest : public ::testing::TestWithParam<FailCountCase> {};

TEST_P(TrustedSignerFailCountTest, DownloadsStopAboveFiveFailures) {
  const FailCountCase& c = GetParam();
  LoopbackHttpServer server;
  TestSignerStore store;
  server.SetBody(ServerDocument("{\"CSVer\":\"1\",\"CSList\":[\"Someone Else\"]}"));
  store.SetAddress(server.NextUrl());
  store.WriteSectionText("{\"CSList\":\"[\\\"Name A\\\"]\",\"CSVer\":\"1\",\"CheckFailCnt\":" + std::to_string(c.before) +
                         "}");
  TrustedSignerList list(store.Store());
  EXPECT_FALSE(list.Check(L"Quillmere Test Signer"));
  EXPECT_EQ(c.requests, server.Requests());
  EXPECT_EQ(c.after, list.ReadFailCount());
  EXPECT_EQ("{\"CSList\":\"[\\\"Name A\\\"]\",\"CSVer\":\"1\",\"CheckFailCnt\":" + std::to_string(c.after) + "}",
            store.ReadSectionText());
}

INSTANTIATE_TEST_SUITE_P(Counts, TrustedSignerFailCountTest,
                         ::testing::Values(FailCountCase{0, 1, 1}, FailCountCase{5, 1, 6}, FailCountCase{6, 0, 7},
                                           FailCountCase{2147483647, 0, 2147483647}),
                         [](const ::testing::TestParamInfo<FailCountCase>& info) {
                           return "From" + std::to_string(info.param.before);
                         });

TEST(TrustedSignerList, WithoutSectionEveryMissDownloadsAgain) {
  LoopbackHttpServer server;
  TestSignerStore store;
  server.SetBody(ServerDocument("{\"CSVer\":\"1\",\"CSList\":[\"Someone Else\"]}"));
  for (int i = 0; i < 3; ++i) {
    store.SetAddress(server.NextUrl());
    TrustedSignerList list(store.Store());
    EXPECT_FALSE(list.Check(L"Quillmere Test Signer"));
  }
  EXPECT_EQ(3, server.Requests());
  EXPECT_EQ("<none>", store.ReadSectionText());
}

TEST(TrustedSignerList, OnlyNonEmptyStringElementsMatch) {
  TestSignerStore store;
  TrustedSignerList list(store.Store());
  struct Case {
    const wchar_t* name;
    const char* listText;
    BOOL expected;
  } cases[] = {
      {L"name a", "[\"Name A\"]", TRUE},
      {L"Name  A", "[\"Name A\"]", FALSE},
      {L"\u00e9cole", "[\"\xC3\x89" "cole\"]", FALSE},  // only A to Z fold
      {L"\u00c9cole", "[\"\xC3\x89" "cole\"]", TRUE},
      {L"1", "[1]", FALSE},
      {L"true", "[true]", FALSE},
      {L"null", "[null]", FALSE},
      {L"Name A", "{\"a\":\"Name A\"}", FALSE},
      {L"Name A", "[[\"Name A\"]]", FALSE},
      {L"Name A", "[\"Name A\"", FALSE},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(list.Check(L""));  // an empty name is refused before any place is asked
    TrustedSignerList named(store.Store());
    (void)named.Check(c.name);
    EXPECT_EQ(c.expected, named.MatchNames(c.listText)) << c.listText;
  }
  // A nameless signer never matches, whatever the list holds.
  store.SetRegistryList(L"1", L"[null,\"\",{},[]]");
  TrustedSignerList nameless(store.Store());
  EXPECT_FALSE(nameless.Check(L""));
  EXPECT_FALSE(nameless.Check(nullptr));
  EXPECT_FALSE(nameless.MatchNames("[null,\"\",{},[]]"));
}

TEST(TrustedSignerList, SectionWithArrayValuedListMatchesNothing) {
  TestSignerStore store;
  store.WriteSectionText("{\"CSList\":[\"Quillmere Test Signer\"],\"CSVer\":\"1\",\"CheckFailCnt\":0}");
  TrustedSignerList list(store.Store());
  EXPECT_FALSE(list.CheckSharedMemory());
  EXPECT_FALSE(list.Check(L"Quillmere Test Signer"));
}

TEST(TrustedSignerList, SectionLengthIsBoundedByTheSection) {
  TestSignerStore store;
  TrustedSignerList list(store.Store());
  EXPECT_TRUE(list.WriteSharedMemory(std::string(0x500000 - 5, 'x')));
  EXPECT_EQ(size_t(0x500000 - 5), list.ReadSharedMemory().size());
  EXPECT_FALSE(list.WriteSharedMemory(std::string(0x500000 - 4, 'y')));
  EXPECT_FALSE(list.WriteSharedMemory(std::string()));

  // Length fields that another process may have forged read as no text.
  for (INT32 forged : {INT32(0x7FFFFFFF), INT32(0x500000 - 3), INT32(-5), INT32(0)}) {
    store.WriteSectionBytes(std::string(reinterpret_cast<const char*>(&forged), 4));
    EXPECT_EQ("", list.ReadSharedMemory()) << forged;
    EXPECT_FALSE(list.CheckSharedMemory());
    EXPECT_EQ(0, list.ReadFailCount());
  }
}

TEST(TrustedSignerList, RegistryTextAcceptsAnyTypeUpToTheFirstZero) {
  TestSignerStore store;
  store.CreateKey();
  const wchar_t binary[] = L"abc\0def";
  RegSetKeyValueW(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Bin", REG_BINARY, binary, sizeof(binary));
  RegSetKeyValueW(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Odd", REG_BINARY, "\x41\x00\x42", 3);
  RegSetKeyValueW(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Empty", REG_SZ, L"", 0);
  EXPECT_STREQ(L"abc", ReadRegistryText(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Bin").GetString());
  EXPECT_STREQ(L"AB", ReadRegistryText(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Odd").GetString());
  EXPECT_STREQ(L"", ReadRegistryText(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Empty").GetString());
  EXPECT_STREQ(L"", ReadRegistryText(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Missing").GetString());
  EXPECT_TRUE(WriteRegistryText(HKEY_CURRENT_USER, store.KeyPath().c_str(), L"Text", L"value"));
  EXPECT_EQ(L"value", store.GetValue(L"Text"));
  // The key is never created by a write.
  EXPECT_FALSE(WriteRegistryText(HKEY_CURRENT_USER, (store.KeyPath() + L"\\Sub").c_str(), L"Text", L"value"));
}

TEST(TrustedSignerList, SecondProcessMatchesFromThePublishedSection) {
  TestSignerStore store;
  store.SetRegistryList(L"2", L"[\"Quillmere Test Signer\"]");
  TrustedSignerList list(store.Store());
  ASSERT_TRUE(list.Check(L"Quillmere Test Signer"));
  RegDeleteTreeW(HKEY_CURRENT_USER, store.KeyPath().c_str());

  // The child asks with the same section and key, no server, and this process keeps the section.
  auto runChild = [&store](const wchar_t* name) {
    std::wstring command = L"signer_list_child.exe \"" + store.SectionName() + L"\" \"" + store.KeyPath() + L"\" \"" +
                           name + L"\"";
    return RunChildForExitCode(command);
  };
  EXPECT_EQ(1u, runChild(L"quillmere test signer"));
  EXPECT_EQ(0u, runChild(L"Someone Else"));
}

}  // namespace
