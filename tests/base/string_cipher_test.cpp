#include <windows.h>

#include "base/string_cipher.h"

#include <gtest/gtest.h>
#include <openssl/blowfish.h>

#include <cstring>
#include <memory>
#include <string>

#include "base/base64_codec.h"
#include "tests/base/byte_text.h"
#include "tests/base/fixture_file.h"

using testing_bytes::U8;

namespace {

TEST(StringCipher, EncryptStringOfAbcIsOnePaddedBlock) {
  const ATL::CStringW cipher = StringCipher::EncryptString(L"abc", L"key");
  ASSERT_EQ(12, cipher.GetLength());
  EXPECT_EQ(L'=', cipher[11]);

  std::string plain;
  ASSERT_TRUE(StringCipher::DecryptData(StringCipher::WideToCodePage(cipher, CP_UTF8), "key", &plain));
  EXPECT_EQ(std::string("abc\0\0\0\0\0", 8), plain);
  EXPECT_EQ(ATL::CStringW(L"abc"), StringCipher::DecryptString(cipher, L"key"));
}

// Independent reference: OpenSSL's Blowfish-ECB over the zero-padded bytes, then Base64.
std::string ReferenceCipherText(const std::string& plain, const std::string& key) {
  BF_KEY schedule;
  BF_set_key(&schedule, int(key.size()), U8(key));
  std::string padded = plain;
  padded.resize((plain.size() + 7) / 8 * 8, '\0');
  for (size_t i = 0; i < padded.size(); i += 8) {
    unsigned char* block = reinterpret_cast<unsigned char*>(&padded[i]);
    BF_ecb_encrypt(block, block, &schedule, BF_ENCRYPT);
  }
  std::string text;
  EXPECT_TRUE(Base64Codec::EncodeString(&text, padded));
  return text;
}

struct RoundTrip {
  const char* name;
  const wchar_t* plain;
  const wchar_t* key;
};

class StringCipherRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(StringCipherRoundTrip, MatchesReferenceAndDecryptsBack) {
  const RoundTrip& c = GetParam();
  const std::string plainBytes = StringCipher::WideToCodePage(c.plain, CP_UTF8);
  const std::string keyBytes = StringCipher::WideToCodePage(c.key, CP_UTF8);

  const ATL::CStringW cipher = StringCipher::EncryptString(c.plain, c.key);
  EXPECT_EQ(ReferenceCipherText(plainBytes, keyBytes), StringCipher::WideToCodePage(cipher, CP_UTF8));
  EXPECT_EQ(size_t((plainBytes.size() + 7) / 8 * 8 + 2) / 3 * 4, size_t(cipher.GetLength()));
  EXPECT_EQ(ATL::CStringW(c.plain), StringCipher::DecryptString(cipher, c.key));
}

INSTANTIATE_TEST_SUITE_P(Table, StringCipherRoundTrip, ::testing::Values(
    RoundTrip{"SevenBytes", L"1234567", L"k"},
    RoundTrip{"EightBytes", L"12345678", L"k"},                     // exactly one block, no padding block
    RoundTrip{"NineBytes", L"123456789", L"k"},
    RoundTrip{"NonAsciiTextAndKey", L"gr\u00fc\u00dfe \u4e2d\u6587 \U0001F600", L"schl\u00fcssel-\u4e2d"},  // key = UTF-8 bytes
    RoundTrip{"GuidKey", L"{\"CSVer\":\"3\"}", L"6F9619FF-8B86-D011-B42D-00C04FC964FF"}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

TEST(StringCipher, EmptyInputsAndEmptyKeyFail) {
  std::string out = "untouched";
  EXPECT_FALSE(StringCipher::DecryptData("", "key", &out));
  EXPECT_FALSE(StringCipher::DecryptData("YWJjZGVmZ2g=", "", &out));
  EXPECT_FALSE(StringCipher::DecryptData("YWJj\nZGVm", "key", &out));
  EXPECT_EQ("untouched", out);
  EXPECT_FALSE(StringCipher::EncryptData("", "key", &out));
  EXPECT_FALSE(StringCipher::EncryptData("abc", "", &out));
  EXPECT_FALSE(StringCipher::EncryptBytes(nullptr, 3, "key", &out));
  EXPECT_FALSE(StringCipher::EncryptBytes("abc", 0, "key", &out));
  EXPECT_EQ("untouched", out);
  EXPECT_TRUE(StringCipher::EncryptString(L"", L"key").IsEmpty());
  EXPECT_TRUE(StringCipher::EncryptString(L"abc", L"").IsEmpty());
  EXPECT_TRUE(StringCipher::DecryptString(L"YWJjZGVmZ2g=", L"").IsEmpty());
}

// A text whose decoded length is not a multiple of 8: the partial block is deciphered with
// zeros after it and exactly the decoded bytes are returned.
TEST(StringCipher, DecryptDataKeepsTheDecodedLength) {
  std::string out;
  ASSERT_TRUE(StringCipher::DecryptData("AAAAAAA=", "key", &out));  // 5 bytes
  EXPECT_EQ(5u, out.size());

  std::string cipher;
  ASSERT_TRUE(StringCipher::EncryptData(std::string("ab\0cd", 5), "key", &cipher));
  ASSERT_TRUE(StringCipher::DecryptData(cipher, "key", &out));
  EXPECT_EQ(std::string("ab\0cd\0\0\0", 8), out);
}

// In place, in a buffer that ends with the text: for every length of the last block the bytes
// are OpenSSL's Blowfish-ECB of the decoded bytes with zeros after the partial block, cut back
// to the decoded length.
TEST(StringCipher, DecryptInPlaceGivesTheDecodedLengthOfDecipheredBytes) {
  BF_KEY schedule;
  BF_set_key(&schedule, 3, U8(std::string("key")));
  for (size_t decoded = 1; decoded <= 25; ++decoded) {
    SCOPED_TRACE(decoded);
    std::string bytes;
    for (size_t i = 0; i < decoded; ++i) bytes += char(i * 37 + 11);
    std::string text;
    ASSERT_TRUE(Base64Codec::EncodeString(&text, bytes));
    std::string expected = bytes;
    expected.resize((decoded + 7) / 8 * 8, '\0');
    for (size_t i = 0; i < expected.size(); i += 8) {
      unsigned char* block = reinterpret_cast<unsigned char*>(&expected[i]);
      BF_ecb_encrypt(block, block, &schedule, BF_DECRYPT);
    }
    expected.resize(decoded);

    std::unique_ptr<char[]> buffer(new char[text.size()]);
    memcpy(buffer.get(), text.data(), text.size());
    uint32_t length = 0;
    ASSERT_TRUE(StringCipher::DecryptInPlace(buffer.get(), uint32_t(text.size()), "key", &length));
    EXPECT_EQ(expected, std::string(buffer.get(), length));
    std::string copied;
    ASSERT_TRUE(StringCipher::DecryptData(text, "key", &copied));
    EXPECT_EQ(expected, copied);
  }
  char refused[] = "YWJj\nZGVm";
  uint32_t length = 7;
  EXPECT_FALSE(StringCipher::DecryptInPlace(refused, 9, "key", &length));
  EXPECT_FALSE(StringCipher::DecryptInPlace(refused, 0, "key", &length));
  EXPECT_EQ(7u, length);
}

TEST(StringCipher, CodePageConversions) {
  EXPECT_EQ("", StringCipher::WideToCodePage(nullptr, CP_UTF8));
  EXPECT_EQ("", StringCipher::WideToCodePage(L"", CP_UTF8));
  EXPECT_EQ(L"", StringCipher::CodePageToWide(nullptr, CP_UTF8));
  EXPECT_EQ(std::wstring(L"\u00e9"), StringCipher::CodePageToWide("\xC3\xA9", CP_UTF8));
  EXPECT_EQ("\xE4\xB8\xAD", StringCipher::WideToCodePage(L"\u4e2d", CP_UTF8));
  EXPECT_EQ("\xF0\x9F\x98\x80", StringCipher::WideToCodePage(L"\U0001F600", CP_UTF8));
}

class StringCipherFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    m_strFolder = std::wstring(temp) + L"brivelo_cipher_" + testing_fixtures::CurrentTestName();
    CreateDirectoryW(m_strFolder.c_str(), nullptr);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"\\plain.bin", L"\\cipher.txt", L"\\back.bin", L"\\empty.bin", L"\\big.bin"}) {
      DeleteFileW((m_strFolder + name).c_str());
    }
    RemoveDirectoryW(m_strFolder.c_str());
  }
  std::wstring Path(const wchar_t* name) const { return m_strFolder + L"\\" + name; }

  std::wstring m_strFolder;
};

TEST_F(StringCipherFiles, EncryptFileThenDecryptFileGivesPaddedBytes) {
  ASSERT_TRUE(StringCipher::WriteFileData(Path(L"plain.bin").c_str(), "0123456789"));
  ASSERT_TRUE(StringCipher::EncryptFile(Path(L"plain.bin").c_str(), "key", Path(L"cipher.txt").c_str()));
  std::string text;
  ASSERT_TRUE(StringCipher::ReadFileData(Path(L"cipher.txt").c_str(), &text));
  EXPECT_EQ(24u, text.size());
  ASSERT_TRUE(StringCipher::DecryptFile(Path(L"cipher.txt").c_str(), "key", Path(L"back.bin").c_str()));
  std::string back;
  ASSERT_TRUE(StringCipher::ReadFileData(Path(L"back.bin").c_str(), &back));
  EXPECT_EQ(std::string("0123456789\0\0\0\0\0\0", 16), back);
  EXPECT_FALSE(StringCipher::DecryptFile(Path(L"missing.txt").c_str(), "key", Path(L"back.bin").c_str()));
}

TEST_F(StringCipherFiles, ReadFileDataRefusesEmptyAndFiveMegabyteFiles) {
  std::string out = "keep";
  ASSERT_TRUE(StringCipher::WriteFileData(Path(L"empty.bin").c_str(), ""));
  EXPECT_FALSE(StringCipher::ReadFileData(Path(L"empty.bin").c_str(), &out));
  ASSERT_TRUE(StringCipher::WriteFileData(Path(L"big.bin").c_str(), std::string(0x500000, 'x')));
  EXPECT_FALSE(StringCipher::ReadFileData(Path(L"big.bin").c_str(), &out));
  EXPECT_EQ("keep", out);
  ASSERT_TRUE(StringCipher::WriteFileData(Path(L"big.bin").c_str(), std::string(0x4FFFFF, 'x')));
  EXPECT_TRUE(StringCipher::ReadFileData(Path(L"big.bin").c_str(), &out));
  EXPECT_EQ(0x4FFFFFu, out.size());
}

}  // namespace
