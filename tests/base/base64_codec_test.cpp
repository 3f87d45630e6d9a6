#include "base/base64_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

int DecodeInto(std::string* out, const std::string& text) {
  out->assign(text.size() / 4 * 3 + 2, '\x55');
  const int n = Base64Codec::Decode(&(*out)[0], text.data(), int(text.size()));
  if (n >= 0) out->resize(size_t(n));
  return n;
}

struct Case {
  const char* name;
  const char* text;
  const char* bytes;  // expected bytes; nullptr when the text is refused
  int length;
};

class Base64Decode : public ::testing::TestWithParam<Case> {};

TEST_P(Base64Decode, AcceptsOnlyStrictText) {
  const Case& c = GetParam();
  std::string out;
  const int n = DecodeInto(&out, c.text);
  if (c.bytes == nullptr) {
    EXPECT_EQ(-1, n) << '"' << c.text << '"';
  } else {
    EXPECT_EQ(c.length, n) << '"' << c.text << '"';
    EXPECT_EQ(std::string(c.bytes, size_t(c.length)), out);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Base64Decode, ::testing::Values(
    Case{"Empty", "", "", 0},
    Case{"ThreeBytes", "YWJj", "abc", 3},
    Case{"TwoBytes", "YWI=", "ab", 2},
    Case{"OneByte", "YQ==", "a", 1},
    Case{"NonCanonicalBits", "YR==", "a", 1},           // non-canonical final bits are ignored
    Case{"PlusAndSlash", "+/+/", "\xfb\xff\xbf", 3},
    Case{"FourBytes", "YWJjZA==", "abcd", 4},
    Case{"EighteenCharacters", "YWJjZGVmZ2hpamtsbQ", nullptr, 0},   // length not a multiple of 4
    Case{"SeventeenCharacters", "YWJjZGVmZ2hpamtsb", nullptr, 0},    // 17 characters
    Case{"ThreeCharacters", "YWJ", nullptr, 0},
    Case{"LineFeedInside", "YWJjZGVm\nZ2g=", nullptr, 0},       // line feed inside (12 characters)
    Case{"CarriageReturnInside", "YWJj\rZGVm", nullptr, 0},
    Case{"EqualsSignInside", "YW=j", nullptr, 0},                 // "=" in third place followed by a letter
    Case{"ThreeEqualsSigns", "Y===", nullptr, 0},
    Case{"OnlyEqualsSigns", "====", nullptr, 0},
    Case{"Blank", "YW J", nullptr, 0},                 // blank
    Case{"UrlSafeCharacter", "YW-J", nullptr, 0},                 // URL-safe alphabet is not accepted
    Case{"TrailingNewline", "YWJjZGVmZ2hpamts\n", nullptr, 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });  // trailing newline

TEST(Base64Codec, ThirteenCharactersFail) {
  std::string out;
  EXPECT_EQ(-1, DecodeInto(&out, "YWJjZGVmZ2hpa"));
}

// Every byte value in every place of a group, in a full group and in the padded last one: only
// the alphabet's characters are taken, each with its own 6 bits.
TEST(Base64Codec, EveryCharacterInEveryPlace) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int c = 0; c < 256; ++c) {
    const size_t value = alphabet.find(char(c));
    for (int place = 0; place < 4; ++place) {
      std::string text = "AAAAAA==";  // a full group, then a padded one
      text[size_t(place)] = char(c);
      std::string out;
      const int n = DecodeInto(&out, text);
      if (value == std::string::npos) {
        EXPECT_EQ(-1, n) << c << " at " << place;
        continue;
      }
      ASSERT_EQ(4, n) << c << " at " << place;
      const uint32_t bits = uint32_t(uint8_t(out[0])) << 16 | uint32_t(uint8_t(out[1])) << 8 | uint8_t(out[2]);
      EXPECT_EQ(uint32_t(value) << (18 - 6 * place), bits) << c << " at " << place;
      if (place < 2) {
        std::string padded = "AAAAAA==";
        padded[4 + size_t(place)] = char(c);
        ASSERT_EQ(4, DecodeInto(&out, padded)) << c << " at " << place;
        EXPECT_EQ(uint8_t(place == 0 ? value << 2 : value >> 4), uint8_t(out[3])) << c << " at " << place;
      }
    }
  }
}

// Decoding into the text's own buffer gives the bytes a separate buffer gets.
TEST(Base64Codec, DecodesInPlace) {
  std::string data;
  for (int i = 0; i < 301; ++i) data += char(i * 7 + 3);
  for (size_t length : {size_t(1), size_t(2), size_t(3), size_t(4), size_t(299), size_t(301)}) {
    std::string text;
    ASSERT_TRUE(Base64Codec::EncodeString(&text, data.substr(0, length)));
    const int n = Base64Codec::Decode(&text[0], text.data(), int(text.size()));
    ASSERT_EQ(int(length), n);
    EXPECT_EQ(data.substr(0, length), text.substr(0, length));
  }
}

TEST(Base64Codec, EncodeRoundTripsEveryRemainder) {
  std::string data;
  for (int length = 0; length <= 10; ++length) {
    std::string text;
    ASSERT_TRUE(Base64Codec::EncodeString(&text, data));
    EXPECT_EQ(size_t((length + 2) / 3 * 4), text.size());
    EXPECT_EQ(std::string::npos, text.find_first_of("\r\n"));
    std::string back = "old";
    ASSERT_TRUE(Base64Codec::DecodeString(&back, text));
    EXPECT_EQ(data, back);
    data.push_back(char(0xF0 + length));
  }
  std::string text;
  ASSERT_TRUE(Base64Codec::EncodeString(&text, "ab"));
  EXPECT_EQ("YWI=", text);
  ASSERT_TRUE(Base64Codec::EncodeString(&text, "a"));
  EXPECT_EQ("YQ==", text);
}

TEST(Base64Codec, FailedDecodeLeavesOutputsUntouched) {
  std::string out = "keep";
  EXPECT_FALSE(Base64Codec::DecodeString(&out, "YW=j"));
  EXPECT_EQ("keep", out);

  uint8_t buffer[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  uint32_t length = 77;
  EXPECT_FALSE(Base64Codec::DecodeToBuffer(buffer, &length, "Y==="));
  EXPECT_EQ(77u, length);
  EXPECT_EQ(9, buffer[0]);
  ASSERT_TRUE(Base64Codec::DecodeToBuffer(buffer, &length, "YWI="));
  EXPECT_EQ(2u, length);
  EXPECT_EQ('a', buffer[0]);
  EXPECT_EQ('b', buffer[1]);
  EXPECT_EQ(9, buffer[2]);
}

}  // namespace
