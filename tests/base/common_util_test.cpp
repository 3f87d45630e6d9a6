#include "base/common_util.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

ATL::CStringW BesideExe(const wchar_t* name) { return CommonUtil::GetExeDir() + L"\\" + name; }

// Replaces the product services for one test and counts what was asked.
class StubServices {
 public:
  StubServices() {
    s_levelsAsked.clear();
    s_signerCalls = 0;
    m_previous = CommonUtil::SetProductServices({&AppDataDir, &ProductId, &VerifySigner});
  }
  ~StubServices() { CommonUtil::SetProductServices(m_previous); }

  static std::vector<int> s_levelsAsked;
  static int s_answerLevel;  // the only level that answers, -1 for none
  static int s_signerCalls;
  static BOOL s_signerAnswer;

 private:
  static ATL::CStringW AppDataDir(int levelsUp) {
    s_levelsAsked.push_back(levelsUp);
    return levelsUp == s_answerLevel ? ATL::CStringW(L"C:\\data\\level") : ATL::CStringW();
  }
  static ATL::CStringW ProductId(int levelsUp) {
    s_levelsAsked.push_back(levelsUp);
    return levelsUp == s_answerLevel ? ATL::CStringW(L"pid-level") : ATL::CStringW();
  }
  static BOOL VerifySigner(const wchar_t*) {
    ++s_signerCalls;
    return s_signerAnswer;
  }

  CommonUtil::ProductServices m_previous;
};
std::vector<int> StubServices::s_levelsAsked;
int StubServices::s_answerLevel = -1;
int StubServices::s_signerCalls = 0;
BOOL StubServices::s_signerAnswer = TRUE;

TEST(CommonUtil, ExecutableAndModulePaths) {
  ATL::CStringW exe = CommonUtil::GetExePath();
  ATL::CStringW dir = CommonUtil::GetExeDir();
  EXPECT_TRUE(PathFileExistsW(exe));
  EXPECT_EQ(dir + L"\\" + PathFindFileNameW(exe), exe);
  EXPECT_NE(dir[dir.GetLength() - 1], L'\\');
  // This code is linked into the executable, so the module is the executable.
  EXPECT_EQ(CommonUtil::GetModulePath(), exe);
  EXPECT_EQ(CommonUtil::GetModuleDir(), dir);
}

TEST(CommonUtil, FileVersionsFromTheVersionBlock) {
  ATL::CStringW fixture = BesideExe(L"version_fixture.dll");
  ASSERT_TRUE(PathFileExistsW(fixture));
  DWORD ms = 0, ls = 0;
  wchar_t text[MAX_PATH] = {};
  ASSERT_TRUE(CommonUtil::QueryFileVersion(fixture, &ms, &ls, text, TRUE));
  EXPECT_EQ(ms, 0x00010002u);
  EXPECT_EQ(ls, 0x00030004u);
  EXPECT_STREQ(text, L"1.2.3.4");
  ASSERT_TRUE(CommonUtil::QueryFileVersion(fixture, nullptr, nullptr, text, FALSE));
  EXPECT_STREQ(text, L"9.8.7.6");  // the product version
  EXPECT_EQ(CommonUtil::GetFileVersion(fixture, FALSE), L"1.2.3.4");

  // No version block (the test executable has none), a missing file, a block of 8192 bytes or more.
  EXPECT_EQ(CommonUtil::GetFileVersion(CommonUtil::GetExePath(), FALSE), L"");
  EXPECT_EQ(CommonUtil::GetModuleVersion(), L"");
  EXPECT_EQ(CommonUtil::GetFileVersion(BesideExe(L"missing.dll"), FALSE), L"");
  ATL::CStringW large = BesideExe(L"version_fixture_large.dll");
  ASSERT_TRUE(PathFileExistsW(large));
  ASSERT_GT(GetFileVersionInfoSizeW(large, nullptr), 8191u);
  EXPECT_FALSE(CommonUtil::QueryFileVersion(large, &ms, &ls, text, TRUE));
  EXPECT_EQ(CommonUtil::GetFileVersion(large, FALSE), L"");
}

TEST(CommonUtil, SignerCheckRunsOnlyOnExistingFilesWhenAsked) {
  StubServices stub;
  ATL::CStringW fixture = BesideExe(L"version_fixture.dll");
  EXPECT_EQ(CommonUtil::GetFileVersion(BesideExe(L"missing.dll"), TRUE), L"");
  EXPECT_FALSE(CommonUtil::FileExists(BesideExe(L"missing.dll"), TRUE));
  EXPECT_EQ(StubServices::s_signerCalls, 0);
  EXPECT_EQ(CommonUtil::GetFileVersion(fixture, FALSE), L"1.2.3.4");
  EXPECT_TRUE(CommonUtil::FileExists(fixture, FALSE));
  EXPECT_EQ(StubServices::s_signerCalls, 0);

  StubServices::s_signerAnswer = TRUE;
  EXPECT_EQ(CommonUtil::GetFileVersion(fixture, TRUE), L"1.2.3.4");
  EXPECT_TRUE(CommonUtil::FileExists(fixture, TRUE));
  StubServices::s_signerAnswer = FALSE;
  EXPECT_EQ(CommonUtil::GetFileVersion(fixture, TRUE), L"");
  EXPECT_FALSE(CommonUtil::FileExists(fixture, TRUE));
  EXPECT_EQ(StubServices::s_signerCalls, 4);
  EXPECT_TRUE(CommonUtil::FileExists(CommonUtil::GetExeDir(), FALSE));  // a folder counts
  EXPECT_FALSE(CommonUtil::FileExists(nullptr, FALSE));
}

struct VersionCase {
  const wchar_t* text;
  DWORD ms;
  DWORD ls;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << '"' << ATL::CStringA(c.text).GetString() << '"'; }

class CommonUtilParseVersion : public ::testing::TestWithParam<VersionCase> {};

TEST_P(CommonUtilParseVersion, GivesTheTwoWords) {
  DWORD ms = 77, ls = 77;
  EXPECT_TRUE(CommonUtil::ParseVersion(GetParam().text, &ms, &ls));
  EXPECT_EQ(ms, GetParam().ms);
  EXPECT_EQ(ls, GetParam().ls);
}

INSTANTIATE_TEST_SUITE_P(Table, CommonUtilParseVersion,
                         ::testing::Values(VersionCase{L"1.2", 0x00010002, 0},
                                           VersionCase{L"1.2.3.4", 0x00010002, 0x00030004},
                                           VersionCase{L"1.2.3.4.5", 0x00010002, 0x00030004},
                                           VersionCase{L"70000.1", 0x11700001, 0},  // 70000 keeps 4464
                                           VersionCase{L"", 0, 0}, VersionCase{L" 7x.+8", 0x00070008, 0},
                                           VersionCase{L"1..3", 0x00010000, 0x00030000},
                                           VersionCase{L"65535.65535.65535.65535", 0xFFFFFFFF, 0xFFFFFFFF}));

TEST(CommonUtil, ParseVersionOfNullZeroesTheWords) {
  DWORD ms = 5, ls = 5;
  EXPECT_FALSE(CommonUtil::ParseVersion(nullptr, &ms, &ls));
  EXPECT_EQ(ms, 0u);
  EXPECT_EQ(ls, 0u);
  EXPECT_TRUE(CommonUtil::ParseVersion(L"1.2", nullptr, nullptr));
}

struct CompareCase {
  const wchar_t* a;
  const wchar_t* b;
  int result;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
  *os << (c.a ? ATL::CStringA(c.a).GetString() : "null") << " vs " << (c.b ? ATL::CStringA(c.b).GetString() : "null");
}

class CommonUtilCompareVersion : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CommonUtilCompareVersion, IsMinusOneZeroOrOne) {
  EXPECT_EQ(CommonUtil::CompareVersion(GetParam().a, GetParam().b), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Table, CommonUtilCompareVersion,
                         ::testing::Values(CompareCase{L"2.0.0.0", L"1.9.9.9", 1},
                                           CompareCase{L"1.9.9.9", L"2.0.0.0", -1},
                                           CompareCase{L"1.2.3.4", L"1.2.3.4", 0},
                                           CompareCase{L"1.2.3.5", L"1.2.3.4", 1},
                                           CompareCase{L"40000.0", L"1.0", 1},  // words apart by 2^31 and more
                                           CompareCase{L"1.0", L"40000.0", -1},
                                           CompareCase{L"1.2.40000", L"1.2.1", 1},
                                           CompareCase{nullptr, L"0.0.0.0", 0}, CompareCase{L"0.0.0.1", nullptr, 1}));

TEST(CommonUtil, ProductAnswersAskLevelsInOrderAndFallBack) {
  StubServices stub;
  StubServices::s_answerLevel = 1;
  EXPECT_EQ(CommonUtil::GetProductAppDataPath(), L"C:\\data\\level");
  EXPECT_EQ(StubServices::s_levelsAsked, (std::vector<int>{0, 1}));
  StubServices::s_levelsAsked.clear();
  EXPECT_EQ(CommonUtil::GetProductId(), L"pid-level");
  EXPECT_EQ(CommonUtil::GetProductIdNear(), L"pid-level");
  EXPECT_EQ(StubServices::s_levelsAsked, (std::vector<int>{0, 1, 0, 1}));

  StubServices::s_answerLevel = 2;
  StubServices::s_levelsAsked.clear();
  EXPECT_EQ(CommonUtil::GetProductIdNear(), L"KIVVireDaredo");  // level 2 is not asked
  EXPECT_EQ(CommonUtil::GetProductId(), L"pid-level");
  EXPECT_EQ(StubServices::s_levelsAsked, (std::vector<int>{0, 1, 0, 1, 2}));

  StubServices::s_answerLevel = -1;
  StubServices::s_levelsAsked.clear();
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(CommonUtil::GetProductAppDataPath(), ATL::CStringW(temp) + L"Grallomix");
  EXPECT_EQ(CommonUtil::GetProductId(), L"KIVVireDaredo");
  EXPECT_EQ(StubServices::s_levelsAsked, (std::vector<int>{0, 1, 2, 0, 1, 2}));
}

TEST(CommonUtil, RealProductServicesNeverGiveEmptyAnswers) {
  EXPECT_FALSE(CommonUtil::GetProductAppDataPath().IsEmpty());
  EXPECT_FALSE(CommonUtil::GetProductId().IsEmpty());
  // Until the product services can check signers, a requested check fails.
  EXPECT_FALSE(CommonUtil::FileExists(CommonUtil::GetExePath(), TRUE));
}

struct CanonicalCase {
  const wchar_t* in;
  const wchar_t* out;
};

void PrintTo(const CanonicalCase& c, std::ostream* os) { *os << '"' << ATL::CStringA(c.in).GetString() << '"'; }

class CommonUtilCanonicalize : public ::testing::TestWithParam<CanonicalCase> {};

TEST_P(CommonUtilCanonicalize, CollapsesAndResolves) {
  EXPECT_EQ(CommonUtil::CanonicalizePath(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommonUtilCanonicalize,
    ::testing::Values(CanonicalCase{L"C:\\a\\\\b", L"C:\\a\\b"},
                      CanonicalCase{L"C:\\a\\\\\\b", L"C:\\a\\\\b"},  // three become two
                      CanonicalCase{L"C:\\a\\b\\..\\c", L"C:\\a\\c"},
                      CanonicalCase{L"C:\\a\\.\\b", L"C:\\a\\b"},
                      CanonicalCase{L"\\\\server\\share\\x", L"\\server\\share\\x"},  // kept as is
                      CanonicalCase{L"http://host//p", L"http:/host/p"},
                      CanonicalCase{L"C:/a/b", L"C:/a/b"}));

// A key of its own under HKCU, removed afterwards.
class CommonUtilRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strKey.Format(L"Software\\BriveloTests\\CommonUtil_%lu", GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, m_strKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(m_hKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, m_strKey);
  }
  void Set(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(RegSetValueExW(m_hKey, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  }
  ATL::CStringW Read(const wchar_t* name) {
    return CommonUtil::GetRegString(HKEY_CURRENT_USER, m_strKey, name, L"default");
  }

  ATL::CStringW m_strKey;
  HKEY m_hKey = nullptr;
};

TEST_F(CommonUtilRegistry, ReadsTextValuesWithinTheBuffer) {
  Set(L"text", REG_SZ, L"hello", 12);
  EXPECT_EQ(Read(L"text"), L"hello");
  Set(L"empty", REG_SZ, L"", 2);
  EXPECT_EQ(Read(L"empty"), L"");  // read, even when empty

  // Without a terminator: 1022 bytes leave the platform room for one; at 1024 bytes it either
  // reads exactly the 512 characters or refuses. Nothing from beyond the buffer either way.
  std::wstring almost(511, L'x');
  Set(L"almost", REG_SZ, almost.data(), 1022);
  EXPECT_EQ(std::wstring(Read(L"almost").GetString()), almost);
  std::wstring full(512, L'x');
  Set(L"full", REG_SZ, full.data(), 1024);
  std::wstring value = Read(L"full").GetString();
  EXPECT_TRUE(value == full || value == L"default") << value.size() << " characters";
  // Larger than 1024 bytes: the default.
  std::wstring over(600, L'y');
  Set(L"over", REG_SZ, over.c_str(), static_cast<DWORD>((over.size() + 1) * 2));
  EXPECT_EQ(Read(L"over"), L"default");
}

TEST_F(CommonUtilRegistry, OtherTypesAndMissingValuesGiveTheDefault) {
  DWORD number = 0x00410041;  // would read as "AA" if taken as text
  Set(L"number", REG_DWORD, &number, sizeof(number));
  EXPECT_EQ(Read(L"number"), L"default");
  BYTE binary[4] = {'h', 0, 'i', 0};
  Set(L"binary", REG_BINARY, binary, sizeof(binary));
  EXPECT_EQ(Read(L"binary"), L"default");
  EXPECT_EQ(Read(L"absent"), L"default");
  EXPECT_EQ(CommonUtil::GetRegString(HKEY_CURRENT_USER, L"Software\\BriveloTests\\NoSuchKey", L"v", nullptr), L"");

  Set(L"text", REG_SZ, L"hello", 12);
  EXPECT_EQ(CommonUtil::GetRegString(nullptr, m_strKey, L"text", L"d"), L"d");
  EXPECT_EQ(CommonUtil::GetRegString(HKEY_CURRENT_USER, nullptr, L"text", L"d"), L"d");
  EXPECT_EQ(CommonUtil::GetRegString(HKEY_CURRENT_USER, m_strKey, nullptr, nullptr), L"");
}

}  // namespace
