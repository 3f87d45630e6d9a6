#include "base/win_aes.h"

#include <openssl/evp.h>

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "tests/base/log_test_support.h"

namespace {

std::vector<BYTE> Hex(const char* text) {
  std::vector<BYTE> bytes;
  for (size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; i += 2) {
    bytes.push_back(BYTE(std::stoi(std::string(text + i, 2), nullptr, 16)));
  }
  return bytes;
}

// NIST SP 800-38A, F.2: CBC-AES with the same IV and plain text for every key size.
const char* const kIv = "000102030405060708090a0b0c0d0e0f";
const char* const kPlain =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";

// OpenSSL's AES-CBC with PKCS#5 padding: an independent source of the padded cipher text.
std::vector<BYTE> OpenSslEncrypt(const std::vector<BYTE>& key, const std::vector<BYTE>& iv, const std::vector<BYTE>& plain) {
  const EVP_CIPHER* cipher = key.size() == 16 ? EVP_aes_128_cbc() : key.size() == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  std::vector<BYTE> out(plain.size() + 32);
  int n = 0, tail = 0;
  EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), iv.data());
  EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), int(plain.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + n, &tail);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(size_t(n + tail));
  return out;
}

struct NistCase {
  const char* name;
  const char* key;
  const char* cipher;  // the four blocks of F.2.1 / F.2.3 / F.2.5
};

void PrintTo(const NistCase& c, std::ostream* os) { *os << c.name; }

class WinAesNist : public ::testing::TestWithParam<NistCase> {};

TEST_P(WinAesNist, MatchesTheVectorsWithAPaddingBlock) {
  const NistCase& c = GetParam();
  const std::vector<BYTE> key = Hex(c.key), iv = Hex(kIv), plain = Hex(kPlain), nist = Hex(c.cipher);
  WinAES aes;
  ASSERT_TRUE(aes.SetKeyWithIv(key.data(), int(key.size()), iv.data(), int(iv.size())));

  std::vector<BYTE> buffer(plain);
  buffer.resize(80);
  size_t size = 0;
  ASSERT_TRUE(aes.Encrypt(buffer.data(), buffer.size(), plain.size(), &size));
  ASSERT_EQ(size, 80u);  // a whole block of padding after 64 bytes
  EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 64), nist);
  EXPECT_EQ(buffer, OpenSslEncrypt(key, iv, plain));

  // Each call is a whole message: decryption starts from the IV again.
  ASSERT_TRUE(aes.Decrypt(buffer.data(), buffer.size(), 80, &size));
  EXPECT_EQ(size, 64u);
  EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 64), plain);
}

INSTANTIATE_TEST_SUITE_P(
    KeySizes, WinAesNist,
    ::testing::Values(NistCase{"aes128", "2b7e151628aed2a6abf7158809cf4f3c",
                               "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
                               "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
                      NistCase{"aes192", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
                               "4f021db243bc633d7178183a9fa071e8b4d9ada9ad7dedf4e5e738763f69145a"
                               "571b242012fb7ae07fa9baac3df102e008b0e27988598881d920a9e64f5615cd"},
                      NistCase{"aes256", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
                               "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                               "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"}),
    [](const ::testing::TestParamInfo<NistCase>& info) { return std::string(info.param.name); });

class WinAesChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    m_key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    m_iv = Hex(kIv);
  }
  std::vector<BYTE> m_key, m_iv;
};

TEST_F(WinAesChecks, SizeRules) {
  WinAES aes;
  ASSERT_TRUE(aes.SetKeyWithIv(m_key.data(), 16, m_iv.data(), 16));
  BYTE buffer[32] = {};
  size_t size = 99;
  SetLastError(0);
  EXPECT_FALSE(aes.Encrypt(buffer, 31, 16u, &size));
  EXPECT_EQ(GetLastError(), 0x80090028u);
  EXPECT_TRUE(aes.Encrypt(buffer, 32, 16u, &size));
  EXPECT_EQ(size, 32u);
  EXPECT_TRUE(aes.Encrypt(buffer, 16, 15u, &size));
  EXPECT_EQ(size, 16u);

  size_t out = 0;
  EXPECT_TRUE(WinAES::MaxCipherTextSize(0, &out));
  EXPECT_EQ(out, 16u);
  EXPECT_TRUE(WinAES::MaxCipherTextSize(16, &out));
  EXPECT_EQ(out, 32u);
  EXPECT_FALSE(WinAES::MaxPlainTextSize(17, &out));
  EXPECT_TRUE(WinAES::MaxPlainTextSize(32, &out));
  EXPECT_EQ(out, 32u);
}

TEST_F(WinAesChecks, FailuresSetTheLastErrorOrRaiseTheirText) {
  WinAES quiet;
  BYTE buffer[32] = {};
  size_t size = 0;
  // No key yet, then a key without an IV, then a rejected key size.
  SetLastError(0);
  EXPECT_FALSE(quiet.Encrypt(buffer, 32, 16u, &size));
  EXPECT_EQ(GetLastError(), 0x80090003u);
  ASSERT_TRUE(quiet.SetKey(m_key.data(), 16));
  EXPECT_FALSE(quiet.Encrypt(buffer, 32, 16u, &size));
  EXPECT_EQ(GetLastError(), 0x80090027u);
  ASSERT_TRUE(quiet.SetIv(m_iv.data(), 16));
  SetLastError(0);
  EXPECT_FALSE(quiet.Decrypt(buffer, 32, 20u, &size));
  EXPECT_EQ(GetLastError(), 0x80090005u);

  WinAES loud(nullptr, WinAES::kThrowErrors);
  auto text = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const WinAESException& e) {
      return e.what();
    }
    return "<no exception>";
  };
  EXPECT_EQ(text([&] { (void)loud.SetKey(m_key.data(), 20); }), "SetKey: Key size is not valid");
  EXPECT_EQ(text([&] { (void)loud.SetIv(m_iv.data(), 16); }), "SetIv: key is not valid");
  ASSERT_TRUE(loud.SetKeyWithIv(m_key.data(), 16, m_iv.data(), 16));
  EXPECT_EQ(text([&] { (void)loud.Decrypt(buffer, 32, 20u, &size); }),
            "Decrypt(1): Data size is not a multple of block size");
  EXPECT_EQ(GetLastError(), 0x80090005u);
  // A new key needs its IV again.
  ASSERT_TRUE(loud.SetKey(m_key.data(), 16));
  EXPECT_EQ(text([&] { (void)loud.Encrypt(buffer, 32, 16u, &size); }), "Encrypt(1): IV has not been set");
  EXPECT_EQ(text([&] { (void)loud.SetKeyWithIv(m_key.data(), 16, m_iv.data(), 8); }),
            "SetKeyWithIv: IV size is not valid");

  // Deciphering under another key leaves padding that the provider rejects.
  ASSERT_TRUE(quiet.Encrypt(buffer, 32, 16u, &size));
  std::vector<BYTE> other(m_key);
  other[0] ^= 1;
  ASSERT_TRUE(loud.SetKeyWithIv(other.data(), 16, m_iv.data(), 16));
  const std::string failed = text([&] { (void)loud.Decrypt(buffer, 32, 32u, &size); });
  EXPECT_EQ(failed.rfind("Decrypt(1): CryptDecrypt failed - ", 0), 0u) << failed;
  EXPECT_EQ(size, 0u);

  EXPECT_STREQ(WinAES::ErrorToString(0x80090006), "Unknown");
  EXPECT_STREQ(WinAES::ErrorToString(0x80090003), "NTE_BAD_KEY");
  EXPECT_STREQ(WinAES::ErrorToString(55), "ERROR_DEV_NOT_EXIST");
  EXPECT_STREQ(WinAES::ErrorToString(0x8009002D), "NTE_INTERNAL_ERROR");
}

TEST_F(WinAesChecks, CopyingFormsRefuseTouchingBuffers) {
  WinAES aes;
  ASSERT_TRUE(aes.SetKeyWithIv(m_key.data(), 16, m_iv.data(), 16));
  BYTE block[64] = {};
  // A plain text that ends exactly where the cipher buffer starts counts as overlapping.
  size_t size = 32;
  SetLastError(0);
  EXPECT_FALSE(aes.Encrypt(block, 16, block + 16, &size));
  EXPECT_EQ(GetLastError(), 0x8009002Bu);
  size = 32;
  EXPECT_TRUE(aes.Encrypt(block, 16, block + 17, &size));
  EXPECT_EQ(size, 32u);

  // The allocating and one-shot forms agree with each other.
  const std::vector<BYTE> plain = Hex(kPlain);
  BYTE* cipher = nullptr;
  size_t cipherSize = 0;
  ASSERT_TRUE(aes.Encrypt(plain.data(), plain.size(), &cipher, &cipherSize));
  std::vector<BYTE> oneShot(80);
  size_t oneShotSize = oneShot.size();
  WinAES other;
  ASSERT_TRUE(other.Encrypt(plain.data(), plain.size(), m_key.data(), 16, m_iv.data(), 16, oneShot.data(), &oneShotSize));
  EXPECT_EQ(std::vector<BYTE>(cipher, cipher + cipherSize), std::vector<BYTE>(oneShot.begin(), oneShot.begin() + oneShotSize));
  BYTE* back = nullptr;
  size_t backSize = 0;
  ASSERT_TRUE(other.Decrypt(cipher, cipherSize, &back, &backSize));
  EXPECT_EQ(std::vector<BYTE>(back, back + backSize), plain);
  delete[] cipher;
  delete[] back;
  // The one-shot form refuses a capacity below the input at once.
  size_t small = 8;
  EXPECT_FALSE(other.Encrypt(plain.data(), plain.size(), m_key.data(), 16, m_iv.data(), 16, oneShot.data(), &small));
}

TEST(WinAesContainer, NamedContainerIsCreatedAndDeletedWithTheObject) {
  const std::wstring name = L"brivelo-test-" + std::to_wstring(GetCurrentProcessId());
  auto exists = [&] {
    HCRYPTPROV probe = 0;
    if (!CryptAcquireContextW(&probe, name.c_str(), nullptr, 24, 0)) return false;
    CryptReleaseContext(probe, 0);
    return true;
  };
  ASSERT_FALSE(exists());
  {
    WinAES aes(name.c_str(), WinAES::kCreateKeySet | WinAES::kDeleteKeySet);
    HCRYPTPROV provider = aes.GetProvider();
    ASSERT_NE(provider, 0u);
    EXPECT_TRUE(CryptReleaseContext(provider, 0));  // the extra reference
    EXPECT_TRUE(exists());
    BYTE random[32] = {};
    EXPECT_TRUE(aes.GenerateRandom(random, sizeof(random)));
  }
  EXPECT_FALSE(exists());

  // Without the right to create it, the object falls back to a provider without a container
  // and leaves the name alone.
  {
    WinAES aes(name.c_str(), WinAES::kDeleteKeySet);
    EXPECT_NE(aes.GetProvider(), 0u);
  }
  EXPECT_FALSE(exists());
}

TEST(StringCipherAes, RoundTripsAndRefusesShortKeys) {
  const std::string key = "0123456789abcdef-tail", iv = "fedcba9876543210";
  std::string base64;
  ASSERT_TRUE(StringCipher::AesEncryptData("secret text", key, iv, &base64));
  std::string plain;
  ASSERT_TRUE(StringCipher::AesDecryptData(base64, key, iv, &plain));
  EXPECT_EQ(plain, "secret text");
  // Only the first 16 bytes of the key count.
  ASSERT_TRUE(StringCipher::AesDecryptData(base64, key.substr(0, 16), iv, &plain));
  EXPECT_EQ(plain, "secret text");

  plain = "unchanged";
  EXPECT_FALSE(StringCipher::AesDecryptData(base64, key.substr(0, 15), iv, &plain));
  EXPECT_FALSE(StringCipher::AesDecryptData(base64, key, iv.substr(0, 15), &plain));
  EXPECT_FALSE(StringCipher::AesEncryptData("x", key.substr(0, 15), iv, &base64));
  EXPECT_FALSE(StringCipher::AesDecryptData("", key, iv, &plain));
  EXPECT_FALSE(StringCipher::AesDecryptData("not base64!", key, iv, &plain));
  EXPECT_EQ(plain, "unchanged");

  log_test::TempFolder folder;
  const std::wstring source = folder.Path() + L"\\cipher.txt", target = folder.Path() + L"\\plain.txt";
  ASSERT_TRUE(StringCipher::AesEncryptData("file body", key, iv, &base64));
  log_test::WriteBytes(source, base64);
  EXPECT_TRUE(StringCipher::AesDecryptFile(source.c_str(), key, iv, target.c_str()));
  EXPECT_EQ(log_test::ReadBytes(target), "file body");
}

}  // namespace
