#include "product/file_version.h"

#include <shlwapi.h>

#include <string>

#include <gtest/gtest.h>

#include "product_info_fixture.h"

namespace {

ATL::CStringW Fixture(const wchar_t* name) { return ATL::CStringW(product_fixture::ExeDir().c_str()) + L"\\" + name; }

struct VersionCase {
  const char* name;
  const wchar_t* file;
  bool windows10;
  bool native64;
  const wchar_t* text;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class FileVersionString : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FileVersionString, ChoosesBetweenTheStringAndTheFixedVersion) {
  const VersionCase& c = GetParam();
  ATL::CStringW path = Fixture(c.file);
  ASSERT_TRUE(PathFileExistsW(path));
  ATL::CStringW text = L"old";
  EXPECT_TRUE(file_version::GetFileVersionStringFor(path, text, c.windows10, c.native64));
  EXPECT_EQ(text, c.text);
  EXPECT_EQ(text.GetLength(), static_cast<int>(wcslen(c.text)));  // no terminator carried along
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileVersionString,
    ::testing::Values(VersionCase{"Win10x86String", L"version_string_fixture.dll", true, false, L"5.6.7.8"},
                      VersionCase{"Win10x64Fixed", L"version_string_fixture.dll", true, true, L"1.2.3.4"},
                      VersionCase{"Win7Fixed", L"version_string_fixture.dll", false, false, L"1.2.3.4"},
                      VersionCase{"BlankStringFixed", L"version_blank_fixture.dll", true, false, L"1.2.3.4"}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.name); });

TEST(FileVersion, FileWithoutVersionLeavesTheTextAlone) {
  ATL::CStringW text = L"untouched";
  EXPECT_FALSE(file_version::GetFileVersionStringFor(Fixture(L"missing.dll"), text, true, false));
  EXPECT_FALSE(GetFileVersionString(Fixture(L"missing.dll"), text));
  wchar_t exe[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  EXPECT_FALSE(GetFileVersionString(exe, text));  // the test executable has no version block
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(GetModuleVersion(), L"");
}

TEST(FileVersion, SystemFactsOfThisProcess) {
  // The test prefix reports Windows 10; a 64-bit process runs on a 64-bit machine.
  EXPECT_TRUE(file_version::IsWindows10OrLater());
  if (sizeof(void*) == 8) {
    EXPECT_TRUE(file_version::IsNative64Bit());
  }
  ATL::CStringW text;
  EXPECT_TRUE(GetFileVersionString(Fixture(L"version_string_fixture.dll"), text));
  EXPECT_EQ(text, file_version::IsNative64Bit() ? L"1.2.3.4" : L"5.6.7.8");
}

}  // namespace
