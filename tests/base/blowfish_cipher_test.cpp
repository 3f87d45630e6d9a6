#include "base/blowfish_cipher.h"

#include <gtest/gtest.h>
#include <openssl/blowfish.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/base/byte_text.h"

using testing_bytes::FromHex;
using testing_bytes::ToHex;
using testing_bytes::U8;

namespace {

std::string EncryptEcb(const std::string& key, const std::string& plain) {
  BlowfishCipher cipher;
  EXPECT_TRUE(cipher.SetKey(U8(key), int(key.size()), BlowfishCipher::kModeEcb));
  std::string out(cipher.GetOutputLength(uint32_t(plain.size())), '\0');
  const uint32_t n = cipher.Encrypt(U8(plain), reinterpret_cast<uint8_t*>(&out[0]), uint32_t(plain.size()));
  out.resize(n);
  return out;
}

std::string DecryptWith(int mode, const std::string& key, std::string data) {
  BlowfishCipher cipher;
  EXPECT_TRUE(cipher.SetKey(U8(key), int(key.size()), mode));
  const uint32_t length = uint32_t(data.size());
  data.resize(data.size() + 8, '\0');  // room for a partial last block
  uint8_t* p = reinterpret_cast<uint8_t*>(&data[0]);
  const uint32_t n = cipher.Decrypt(p, p, length);
  data.resize(n);
  return data;
}

// Reference: OpenSSL's own Blowfish, which reads blocks with the same big-endian word order.
std::string OpenSslEcb(const std::string& key, const std::string& block) {
  BF_KEY schedule;
  BF_set_key(&schedule, int(key.size()), U8(key));
  unsigned char out[8];
  BF_ecb_encrypt(U8(block), out, &schedule, BF_ENCRYPT);
  return std::string(reinterpret_cast<char*>(out), 8);
}

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

class BlowfishPublishedVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(BlowfishPublishedVectors, EncryptsAndDecryptsOneBlock) {
  const Vector& v = GetParam();
  const std::string key = FromHex(v.key);
  EXPECT_EQ(v.cipher, ToHex(EncryptEcb(key, FromHex(v.plain))));
  EXPECT_EQ(v.plain, ToHex(DecryptWith(BlowfishCipher::kModeEcb, key, FromHex(v.cipher))));
}

// The algorithm's published ECB vectors (8-byte keys).
INSTANTIATE_TEST_SUITE_P(Ecb, BlowfishPublishedVectors, ::testing::Values(
    Vector{"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    Vector{"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    Vector{"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    Vector{"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    Vector{"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    Vector{"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    Vector{"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    Vector{"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    Vector{"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"}),
    [](const ::testing::TestParamInfo<Vector>& info) { return std::string("Key") + info.param.key + "Plain" + info.param.plain; });

// The published variable-key set: prefixes of one 24-byte key, one plain block.
TEST(BlowfishCipher, VariableKeyLengthVectors) {
  const std::string fullKey = FromHex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const std::string plain = FromHex("FEDCBA9876543210");
  const char* expected[24] = {
      "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
      "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
      "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
      "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
      "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
      "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080"};
  for (size_t length = 1; length <= 24; ++length) {
    EXPECT_EQ(expected[length - 1], ToHex(EncryptEcb(fullKey.substr(0, length), plain))) << "key length " << length;
  }
}

// Long text keys (36-byte GUID texts are the program's usual keys) agree with OpenSSL, and
// bytes past the 72nd change nothing.
TEST(BlowfishCipher, LongKeysMatchOpenSslAndStopAt72Bytes) {
  const std::string plain = FromHex("0011223344556677");
  const std::string guid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  EXPECT_EQ(ToHex(OpenSslEcb(guid, plain)), ToHex(EncryptEcb(guid, plain)));
  std::string key72;
  for (int i = 0; i < 72; ++i) key72.push_back(char(i * 7 + 1));
  EXPECT_EQ(ToHex(OpenSslEcb(key72, plain)), ToHex(EncryptEcb(key72, plain)));
  EXPECT_EQ(ToHex(EncryptEcb(key72, plain)), ToHex(EncryptEcb(key72 + "tail bytes", plain)));
  EXPECT_NE(ToHex(EncryptEcb(key72.substr(0, 71), plain)), ToHex(EncryptEcb(key72, plain)));
}

// Keys with the same schedule bytes encipher alike, and keys that encipher differently have
// different schedule bytes.
TEST(BlowfishCipher, ScheduleBytesTellWhichKeysEncipherAlike) {
  const std::string plain = FromHex("0011223344556677");
  auto bytes = [](const std::string& key) {
    return BlowfishCipher::ScheduleBytes(reinterpret_cast<const uint8_t*>(key.data()), int(key.size()));
  };
  const std::string guid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  struct Case {
    std::string a, b;
    bool alike;
  } cases[] = {
      {"ab", "abab", true},
      {"abc", "abcabcabcabc", true},
      {guid, guid + guid, true},             // 72 bytes
      {guid, guid + guid + "more", true},    // bytes past the 72nd
      {"k", std::string(100, 'k'), true},
      {"ab", "aba", false},
      {guid, guid + guid.substr(0, 35), false},
      {"ab", "ba", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bytes(c.a).size(), 72u);
    EXPECT_EQ(c.alike, bytes(c.a) == bytes(c.b)) << c.a << " / " << c.b;
    EXPECT_EQ(c.alike, EncryptEcb(c.a, plain) == EncryptEcb(c.b, plain)) << c.a << " / " << c.b;
  }
  EXPECT_EQ(BlowfishCipher::ScheduleBytes(nullptr, 4), "");
  EXPECT_EQ(bytes(""), "");
}

TEST(BlowfishCipher, OutputLengthByMode) {
  BlowfishCipher ecb, cbc;
  ASSERT_TRUE(ecb.SetKey(U8("k"), 1, BlowfishCipher::kModeEcb));
  ASSERT_TRUE(cbc.SetKey(U8("k"), 1, BlowfishCipher::kModeCbc));
  const uint32_t lengths[] = {0, 1, 7, 8, 9, 16};
  const uint32_t ecbExpected[] = {0, 8, 8, 8, 16, 16};
  const uint32_t cbcExpected[] = {8, 8, 8, 16, 16, 24};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(ecbExpected[i], ecb.GetOutputLength(lengths[i])) << lengths[i];
    EXPECT_EQ(cbcExpected[i], cbc.GetOutputLength(lengths[i])) << lengths[i];
  }
}

TEST(BlowfishCipher, EcbPadsWithZerosAndDecryptsWholeBlocks) {
  const std::string key = "key";
  const std::string cipher = EncryptEcb(key, "abc");
  ASSERT_EQ(8u, cipher.size());
  EXPECT_EQ(cipher, EncryptEcb(key, std::string("abc\0\0\0\0\0", 8)));
  EXPECT_EQ(std::string("abc\0\0\0\0\0", 8), DecryptWith(BlowfishCipher::kModeEcb, key, cipher));
}

// ECB deciphering into another buffer and in place, whole blocks and a partial last one (deciphered
// with what out holds after it, zeros here): OpenSSL's BF_ecb_encrypt block by block.
TEST(BlowfishCipher, EcbDecryptMatchesOpenSslIntoAnotherBufferAndInPlace) {
  const std::string key = "6F9619FF-8B86-D011-B42D-00C04FC964FF";
  BF_KEY schedule;
  BF_set_key(&schedule, int(key.size()), U8(key));
  std::string cipher;
  for (int i = 0; i < 40; ++i) cipher += char(i * 29 + 5);
  for (uint32_t length : {1u, 8u, 13u, 16u, 39u, 40u}) {
    SCOPED_TRACE(length);
    std::string expected = cipher.substr(0, length);
    expected.resize((length + 7) / 8 * 8, '\0');
    for (size_t at = 0; at < expected.size(); at += 8) {
      unsigned char* block = reinterpret_cast<unsigned char*>(&expected[at]);
      BF_ecb_encrypt(block, block, &schedule, BF_DECRYPT);
    }
    BlowfishCipher ecb;
    ASSERT_TRUE(ecb.SetKey(U8(key), int(key.size()), BlowfishCipher::kModeEcb));
    std::vector<uint8_t> out(expected.size(), 0);
    ASSERT_EQ(expected.size(), ecb.Decrypt(U8(cipher), out.data(), length));
    EXPECT_EQ(expected, std::string(out.begin(), out.end()));
    std::vector<uint8_t> in_place(expected.size(), 0);
    memcpy(in_place.data(), cipher.data(), length);
    ASSERT_EQ(expected.size(), ecb.Decrypt(in_place.data(), in_place.data(), length));
    EXPECT_EQ(expected, std::string(in_place.begin(), in_place.end()));
  }
}

TEST(BlowfishCipher, CbcRoundTripsEveryLengthAroundABlock) {
  const std::string key = "cbc key";
  for (uint32_t length = 0; length <= 17; ++length) {
    std::string plain;
    for (uint32_t i = 0; i < length; ++i) plain.push_back(char('A' + i));
    BlowfishCipher cipher;
    ASSERT_TRUE(cipher.SetKey(U8(key), int(key.size()), BlowfishCipher::kModeCbc));
    std::vector<uint8_t> buffer(cipher.GetOutputLength(length));
    const uint32_t produced = cipher.Encrypt(U8(plain), buffer.data(), length);
    ASSERT_EQ(buffer.size(), produced);
    const std::string back = DecryptWith(BlowfishCipher::kModeCbc, key,
                                         std::string(reinterpret_cast<char*>(buffer.data()), buffer.size()));
    EXPECT_EQ(plain, back) << "length " << length;
  }
  // Chaining is visible: two equal plain blocks encipher differently.
  BlowfishCipher cipher;
  ASSERT_TRUE(cipher.SetKey(U8(key), int(key.size()), BlowfishCipher::kModeCbc));
  const std::string twice = "SAMEBLK!SAMEBLK!";
  std::vector<uint8_t> buffer(cipher.GetOutputLength(16));
  ASSERT_EQ(24u, cipher.Encrypt(U8(twice), buffer.data(), 16));
  EXPECT_NE(0, memcmp(buffer.data(), buffer.data() + 8, 8));
  EXPECT_EQ(ToHex(EncryptEcb(key, twice.substr(0, 8))),
            ToHex(std::string(reinterpret_cast<char*>(buffer.data()), 8)));
}

// Only the first padding byte is compared; a count out of range keeps the whole block.
TEST(BlowfishCipher, CbcPaddingCountOutOfRangeKeepsTheBlock) {
  const std::string key = "cbc key";
  BlowfishCipher ecb;
  ASSERT_TRUE(ecb.SetKey(U8(key), int(key.size()), BlowfishCipher::kModeEcb));
  // With a zero IV, the first CBC block is the ECB encryption of the plain block.
  const std::string plain = FromHex("0102030405060709");  // last byte 9
  std::string cipher = EncryptEcb(key, plain);
  EXPECT_EQ(plain, DecryptWith(BlowfishCipher::kModeCbc, key, cipher));
  const std::string padded = FromHex("4142434445020302");  // says 2, first padding byte is 3
  EXPECT_EQ(padded, DecryptWith(BlowfishCipher::kModeCbc, key, EncryptEcb(key, padded)));
}

TEST(BlowfishCipher, EmptyKeyIsRefusedAndProducesNothing) {
  BlowfishCipher cipher;
  EXPECT_FALSE(cipher.SetKey(U8(""), 0, BlowfishCipher::kModeEcb));
  EXPECT_FALSE(cipher.SetKey(nullptr, 8, BlowfishCipher::kModeEcb));
  uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(0u, cipher.Encrypt(block, block, 8));
  EXPECT_EQ(0u, cipher.Decrypt(block, block, 8));
  EXPECT_EQ(1, block[0]);
}

}  // namespace
