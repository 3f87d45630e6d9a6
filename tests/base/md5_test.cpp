#include "base/md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/base/byte_text.h"
#include "tests/base/fixture_file.h"

using testing_bytes::ToHex;

namespace {

std::string BufferHex(const std::string& data) {
  char out[33];
  EXPECT_TRUE(GetBufferMd5HexA(reinterpret_cast<const BYTE*>(data.data()), int(data.size()), out, 33));
  return out;
}

struct Reference {
  const char* name;
  std::string data;
  const char* digest;
};

class Md5Reference : public ::testing::TestWithParam<Reference> {};

// RFC 1321's test suite and the padding boundaries around 56 and 64 bytes.
TEST_P(Md5Reference, GivesTheStandardDigest) {
  const Reference& r = GetParam();
  EXPECT_EQ(r.digest, BufferHex(r.data));

  // Any split of the input into updates gives the same digest.
  for (size_t split : {size_t(1), size_t(7), size_t(63), size_t(64), size_t(65)}) {
    if (split >= r.data.size()) continue;
    Md5Context context;
    Md5Init(&context, 0);
    Md5Update(&context, r.data.data(), uint32_t(split));
    Md5Update(&context, r.data.data() + split, uint32_t(r.data.size() - split));
    Md5Final(&context);
    EXPECT_EQ(r.digest, ToHex(std::string(reinterpret_cast<char*>(context.digest), 16))) << "split " << split;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Md5Reference, ::testing::Values(
    Reference{"a", "a", "0CC175B9C0F1B6A831C399E269772661"},
    Reference{"abc", "abc", "900150983CD24FB0D6963F7D28E17F72"},
    Reference{"MessageDigest", "message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
    Reference{"Alphabet", "abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
    Reference{"Alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
              "D174AB98D277D9F5A5611C2C9F419D9F"},
    Reference{"Digits80", "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
              "57EDF4A22BE3C955AC49DA2E2107B67A"},
    Reference{"Bytes55", std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
    Reference{"Bytes56", std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
    Reference{"Bytes63", std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
    Reference{"Bytes64", std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
    Reference{"Bytes65", std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
    Reference{"Bytes1000", std::string(1000, 'a'), "CABE45DCC9AE5B66BA86600CCA6B8BA8"}),
    [](const ::testing::TestParamInfo<Reference>& info) { return std::string(info.param.name); });

TEST(Md5, SecondFinalContinuesFromThePaddedState) {
  Md5Context context;
  Md5Init(&context, 0);
  Md5Update(&context, "abc", 3);
  Md5Final(&context);
  EXPECT_EQ("900150983CD24FB0D6963F7D28E17F72", ToHex(std::string(reinterpret_cast<char*>(context.digest), 16)));
  Md5Final(&context);
  EXPECT_EQ("AB32B7D610B8276088DC6CDCFE9ADBF3", ToHex(std::string(reinterpret_cast<char*>(context.digest), 16)));
}

TEST(Md5, SeedShiftsTheInitialState) {
  Md5Context context;
  Md5Init(&context, 1);
  EXPECT_EQ(0x6745230Cu, context.state[0]);
  EXPECT_EQ(0xEFCDABD0u, context.state[1]);
  EXPECT_EQ(0x98BADD23u, context.state[2]);
  EXPECT_EQ(0x103254D7u, context.state[3]);
  uint8_t digest[16];
  Md5DigestString("abc", digest);
  EXPECT_EQ("900150983CD24FB0D6963F7D28E17F72", ToHex(std::string(reinterpret_cast<char*>(digest), 16)));
}

TEST(Md5, HexOutputBoundsAndRefusals) {
  const BYTE abc[] = {'a', 'b', 'c'};
  wchar_t wide[260];
  wmemset(wide, L'#', 260);
  EXPECT_FALSE(GetBufferMd5Hex(abc, 3, wide, 32));
  EXPECT_FALSE(GetBufferMd5Hex(abc, 0, wide, 260));
  EXPECT_FALSE(GetBufferMd5Hex(nullptr, 3, wide, 260));
  EXPECT_EQ(L'#', wide[0]);
  ASSERT_TRUE(GetBufferMd5Hex(abc, 3, wide, 33));
  EXPECT_EQ(std::wstring(L"900150983CD24FB0D6963F7D28E17F72"), std::wstring(wide));
  wmemset(wide, L'#', 260);
  ASSERT_TRUE(GetBufferMd5Hex(abc, 3, wide, 260));
  EXPECT_EQ(32u, wcslen(wide));
  EXPECT_EQ(L'#', wide[33]);

  char narrow[260];
  memset(narrow, '#', sizeof(narrow));
  EXPECT_FALSE(GetBufferMd5HexA(abc, 3, narrow, 32));
  EXPECT_EQ('#', narrow[0]);
  ASSERT_TRUE(GetBufferMd5HexA(abc, 3, narrow, 260));
  EXPECT_STREQ("900150983CD24FB0D6963F7D28E17F72", narrow);
  EXPECT_EQ('\0', narrow[259]);  // the narrow form zeroes all of its output
}

class Md5Files : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    m_strPath = std::wstring(temp) + L"brivelo_md5_" + testing_fixtures::CurrentTestName() + L".bin";
  }
  void TearDown() override { DeleteFileW(m_strPath.c_str()); }
  void Write(const std::string& data) {
    HANDLE file = CreateFileW(m_strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, data.data(), DWORD(data.size()), &written, nullptr));
    CloseHandle(file);
  }
  std::wstring m_strPath;
};

TEST_F(Md5Files, EmptyFileHasTheDigestOfNoBytes) {
  Write("");
  wchar_t out[33];
  ASSERT_TRUE(GetFileMd5Hex(m_strPath.c_str(), out, 33));
  EXPECT_EQ(std::wstring(L"D41D8CD98F00B204E9800998ECF8427E"), out);
}

// One byte past the 4 MiB view size: two views, same digest as the bytes in one buffer.
TEST_F(Md5Files, FileAcrossTwoViewsMatchesTheBuffer) {
  std::string data(4194305, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = char((i * 31 + 7) & 255);
  Write(data);
  char out[33];
  ASSERT_TRUE(GetFileMd5HexA(m_strPath.c_str(), out, 33));
  EXPECT_STREQ("9ED9790F341FBE2BC3554C6F7B598CDB", out);
  EXPECT_EQ(BufferHex(data), out);
}

TEST_F(Md5Files, MissingFileFailsWithZeroedOutput) {
  char out[40];
  memset(out, '#', sizeof(out));
  EXPECT_FALSE(GetFileMd5HexA(m_strPath.c_str(), out, 40));
  for (char c : out) EXPECT_EQ('\0', c);
  wchar_t wide[33] = L"untouched";
  EXPECT_FALSE(GetFileMd5Hex(m_strPath.c_str(), wide, 33));
  EXPECT_EQ(std::wstring(L"untouched"), wide);
}

}  // namespace
