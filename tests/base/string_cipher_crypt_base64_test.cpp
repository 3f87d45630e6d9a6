#include <windows.h>

#include "base/string_cipher.h"

#include <gtest/gtest.h>

#include <string>

#include "base/base64_codec.h"

namespace {

// The platform encoder gives the codec's text, without line breaks even past 64 characters.
TEST(StringCipherCryptBase64, EncodesLikeTheCodecWithoutLineBreaks) {
  std::string data;
  for (int length : {1, 2, 3, 47, 48, 49, 100, 300}) {
    data.clear();
    for (int i = 0; i < length; ++i) data.push_back(char(i * 37 + 11));
    std::string expected;
    ASSERT_TRUE(Base64Codec::EncodeString(&expected, data));

    char narrow[512];
    DWORD narrowLength = sizeof(narrow);
    ASSERT_TRUE(StringCipher::CryptBase64EncodeA(reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()), narrow,
                                                 &narrowLength)) << length;
    EXPECT_EQ(expected, std::string(narrow, narrowLength)) << length;
    EXPECT_EQ('\0', narrow[narrowLength]);

    wchar_t wide[512];
    DWORD wideLength = 512;
    ASSERT_TRUE(StringCipher::CryptBase64EncodeW(reinterpret_cast<const BYTE*>(data.data()), DWORD(data.size()), wide,
                                                 &wideLength)) << length;
    EXPECT_EQ(std::wstring(expected.begin(), expected.end()), std::wstring(wide, wideLength)) << length;

    BYTE back[512];
    DWORD backSize = sizeof(back);
    ASSERT_TRUE(StringCipher::CryptBase64DecodeA(narrow, narrowLength, back, &backSize));
    EXPECT_EQ(data, std::string(reinterpret_cast<char*>(back), backSize));
    backSize = sizeof(back);
    ASSERT_TRUE(StringCipher::CryptBase64DecodeW(wide, wideLength, back, &backSize));
    EXPECT_EQ(data, std::string(reinterpret_cast<char*>(back), backSize));
  }
}

TEST(StringCipherCryptBase64, TextThatDoesNotFitIsRefused) {
  const BYTE data[6] = {1, 2, 3, 4, 5, 6};
  char out[16];
  DWORD length = 8;  // 8 characters need 9 with the terminator
  EXPECT_FALSE(StringCipher::CryptBase64EncodeA(data, 6, out, &length));
  length = 9;
  EXPECT_TRUE(StringCipher::CryptBase64EncodeA(data, 6, out, &length));
  EXPECT_EQ(8u, length);
}

TEST(StringCipherCryptBase64, WideTextsRoundTripThroughUtf8) {
  const std::wstring text = L"gr\u00fc\u00dfe \u4e2d";
  const std::wstring encoded = StringCipher::CryptBase64EncodeWide(text);
  std::string expected;
  ASSERT_TRUE(Base64Codec::EncodeString(&expected, StringCipher::WideToCodePage(text.c_str(), CP_UTF8)));
  EXPECT_EQ(std::wstring(expected.begin(), expected.end()), encoded);
  EXPECT_EQ(text, StringCipher::CryptBase64DecodeToWide(encoded));
  EXPECT_EQ(L"", StringCipher::CryptBase64DecodeToWide(L"not base64!"));
  EXPECT_EQ(L"", StringCipher::CryptBase64EncodeWide(L""));
}

}  // namespace
