// Texts of disk answers: IDENTIFY words, descriptor serial numbers, ATA byte order.
#include "product/disk_serial_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/product/fake_machine.h"

namespace {

TEST(IdentifyWordsToText, HighByteFirstAndTrailingBlanksTrimmed) {
  std::vector<BYTE> block = fake::IdentifyBlock("  WD-WX41A  ", "M");
  char text[21];
  IdentifyWordsToText(block.data(), 10, 19, text);
  EXPECT_STREQ(text, "  WD-WX41A");

  block = fake::IdentifyBlock("", "M");  // all blanks: the first character stays
  IdentifyWordsToText(block.data(), 10, 19, text);
  EXPECT_STREQ(text, " ");

  block = fake::IdentifyBlock("AB", "M");
  block[10 * 2] = 0;  // a zero byte ends the text
  IdentifyWordsToText(block.data(), 10, 19, text);
  EXPECT_STREQ(text, "A");
}

TEST(TrimTrailingBlanks, DownToEmpty) {
  char a[] = "SN 1   ", b[] = "    ", c[] = "";
  TrimTrailingBlanks(a);
  TrimTrailingBlanks(b);
  TrimTrailingBlanks(c);
  EXPECT_STREQ(a, "SN 1");
  EXPECT_STREQ(b, "");
  EXPECT_STREQ(c, "");
}

struct DeviceSerialCase {
  const char* name;
  std::string serial;  // placed at offset 40 of the answer
  bool swap;
  const char* text;
};

void PrintTo(const DeviceSerialCase& c, std::ostream* os) { *os << c.name; }

class DecodeDeviceSerialTextTest : public ::testing::TestWithParam<DeviceSerialCase> {};

TEST_P(DecodeDeviceSerialTextTest, DecodesHexOrKeepsPrintableText) {
  std::vector<BYTE> answer(200, 0);
  memcpy(answer.data() + 40, GetParam().serial.data(), GetParam().serial.size());
  char out[1000];
  memset(out, 'x', sizeof(out));
  DecodeDeviceSerialText(answer.data(), static_cast<DWORD>(answer.size()), 40, GetParam().swap, out, sizeof(out));
  EXPECT_STREQ(out, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeDeviceSerialTextTest,
    ::testing::Values(
        DeviceSerialCase{"HexPairsBecomeBytes", "4142434431323334", false, "ABCD1234"},
        DeviceSerialCase{"UpperAndLowerHex", "4a4B", false, "JK"},
        DeviceSerialCase{"BlanksCountAsZeroDigits", "2 41", false, " A"},
        DeviceSerialCase{"LeftOverDigitDropped", "41424", false, "AB"},
        DeviceSerialCase{"NonHexFallsBackToText", "S3Z9NB0K", false, "S3Z9NB0K"},
        DeviceSerialCase{"UnprintableByteFallsBackToText", "0141", false, "0141"},
        DeviceSerialCase{"UnprintableTextGivesEmpty", "AB\x01" "CD", false, ""},
        DeviceSerialCase{"PairsSwapped", "4142434431323334", true, "BADC2143"},
        DeviceSerialCase{"OddCountDropsTheLast", "ABCDE", true, "BADC"}),
    [](const ::testing::TestParamInfo<DeviceSerialCase>& info) { return std::string(info.param.name); });

TEST(DecodeDeviceSerialText, OffsetsOutsideTheAnswerGiveEmpty) {
  std::vector<BYTE> answer(64, 'A');  // no terminator anywhere
  char out[16];
  for (LONG offset : {0L, -4L, 64L, 1000L}) {
    memset(out, 'x', sizeof(out));
    DecodeDeviceSerialText(answer.data(), 64, offset, TRUE, out, sizeof(out));
    EXPECT_STREQ(out, "") << offset;
  }
  // Reading stops at the end of the answer and the text stays inside the area.
  DecodeDeviceSerialText(answer.data(), 64, 10, FALSE, out, sizeof(out));
  EXPECT_EQ(strlen(out), sizeof(out) - 2);
}

struct DescriptorSerialCase {
  const char* name;
  const char* text;
  bool swap;
  const char* result;
};

void PrintTo(const DescriptorSerialCase& c, std::ostream* os) { *os << c.name; }

class DecodeDescriptorSerialTest : public ::testing::TestWithParam<DescriptorSerialCase> {};

TEST_P(DecodeDescriptorSerialTest, Table) {
  std::string result = "unchanged";
  DecodeDescriptorSerial(GetParam().text, &result, GetParam().swap);
  EXPECT_EQ(result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeDescriptorSerialTest,
    ::testing::Values(
        DescriptorSerialCase{"FortyHexDigitsDecoded", "20202020202057442D5758343141334431323334", false, "WD-WX41A3D1234"},
        DescriptorSerialCase{"DecodedStopsAtZeroByte", "41420043444546474849505152535455565758ff", false, "AB"},
        DescriptorSerialCase{"DecodedAndSwapped", "41423132434433344546353647483738494A3930", true, "BA21DC43FE65HG87JI09"},
        DescriptorSerialCase{"ShortTextKeptAndTrimmed", "  S3Z9NB0K  ", false, "S3Z9NB0K"},
        DescriptorSerialCase{"ThirtyNineHexDigitsKept", "414231324344333445463536474837384941393", false, "414231324344333445463536474837384941393"},
        DescriptorSerialCase{"TooShort", "ABC", false, "unchanged"},
        DescriptorSerialCase{"TooLong", "0123456789012345678901234567890123456789X", false, "unchanged"},
        DescriptorSerialCase{"SwapEvenText", "BADC", true, "ABCD"}),
    [](const ::testing::TestParamInfo<DescriptorSerialCase>& info) { return std::string(info.param.name); });

struct FixCase {
  const char* name;
  std::string bytes;
  std::string fixed;
};

void PrintTo(const FixCase& c, std::ostream* os) { *os << c.name; }

class FixAtaStringTest : public ::testing::TestWithParam<FixCase> {};

TEST_P(FixAtaStringTest, Table) {
  std::string bytes = GetParam().bytes;
  FixAtaString(reinterpret_cast<BYTE*>(&bytes[0]), bytes.size());
  EXPECT_EQ(bytes, GetParam().fixed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FixAtaStringTest,
    ::testing::Values(FixCase{"PairsSwapped", "BADC", "ABCD"},
                      FixCase{"LeadingSpacesMovedToTheEnd", "  BADC", "ABCD  "},
                      FixCase{"OddRestAfterSpacesUnchanged", " BADCX", " BADCX"},
                      FixCase{"OddLengthUnchanged", "BAD", "BAD"},
                      FixCase{"AllSpacesUnchanged", "    ", "    "},
                      FixCase{"SingleByteUnchanged", "A", "A"}),
    [](const ::testing::TestParamInfo<FixCase>& info) { return std::string(info.param.name); });

}  // namespace
