#include "base/folder_paths.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "base/common_util.h"
#include "tests/base/log_test_support.h"

namespace {

std::wstring AppData() {
  wchar_t base[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathW(nullptr, base, CSIDL_APPDATA, FALSE);
  return base;
}

std::wstring Temp() {
  wchar_t base[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, base);
  return base;
}

// A sub-folder name of its own for each test process.
std::wstring Unique(const wchar_t* stem) {
  return std::wstring(stem) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount());
}

using log_test::RemoveTree;

TEST(FolderPaths, AppDataFoldersAreJoinedAsGivenAndCreatedOnRequest) {
  const std::wstring sub = L"\\" + Unique(L"brivelo-appdata");
  const std::wstring expected = AppData() + sub;
  EXPECT_EQ(std::wstring(CommonUtil::GetAppDataDir(sub.c_str(), FALSE).GetString()), expected);
  EXPECT_FALSE(PathFileExistsW(expected.c_str()));

  EXPECT_EQ(std::wstring(CommonUtil::GetAppDataDir((sub + L"\\a\\b").c_str(), TRUE).GetString()), expected + L"\\a\\b");
  EXPECT_TRUE(PathIsDirectoryW((expected + L"\\a\\b").c_str()));

  std::wstring made;
  EXPECT_EQ(CommonUtil::MakeAppDataDirW(sub + L"\\c", &made), ERROR_SUCCESS);
  EXPECT_EQ(made, expected + L"\\c");
  EXPECT_EQ(CommonUtil::MakeAppDataDirW(sub + L"\\c", &made), ERROR_ALREADY_EXISTS);
  std::string madeA;
  const std::string subA(sub.begin(), sub.end());
  EXPECT_EQ(CommonUtil::MakeAppDataDirA(subA + "\\d", &madeA), ERROR_SUCCESS);
  EXPECT_TRUE(PathIsDirectoryA(madeA.c_str()));

  // Past 260 units nothing is joined, cut or made.
  const std::wstring tooLong = sub + L"\\" + std::wstring(260, L'x');
  EXPECT_EQ(CommonUtil::GetAppDataDir(tooLong.c_str(), FALSE), L"");
  EXPECT_EQ(CommonUtil::MakeAppDataDirW(tooLong, &made), ERROR_FILENAME_EXCED_RANGE);
  EXPECT_EQ(made, L"");
  RemoveTree(expected);
}

TEST(FolderPaths, TemporaryFolderKeepsItsBackslash) {
  EXPECT_EQ(std::wstring(CommonUtil::GetTempDir(L"", TRUE).GetString()), Temp());
  const std::wstring sub = Unique(L"brivelo-temp");
  EXPECT_EQ(std::wstring(CommonUtil::GetTempDir((sub + L"\\x").c_str(), TRUE).GetString()), Temp() + sub + L"\\x");
  EXPECT_TRUE(PathIsDirectoryW((Temp() + sub + L"\\x").c_str()));
  RemoveTree(Temp() + sub);

  std::wstring path;
  CommonUtil::GetTempFilePathW(L"name.txt", &path);
  EXPECT_EQ(path, Temp() + L"name.txt");
  CommonUtil::GetTempFilePathW(std::wstring(260, L'n'), &path);
  EXPECT_EQ(path, L"");
  std::string pathA;
  CommonUtil::GetTempFilePathA("caf\xE9.txt", &pathA);  // code page 1252
  const std::wstring temp = Temp();
  EXPECT_EQ(pathA, std::string(temp.begin(), temp.end()) + "caf\xE9.txt");
}

class FolderCopies : public ::testing::Test {
 protected:
  void SetUp() override {
    m_source = m_scratch.Path() + L"\\report.txt";
    log_test::WriteBytes(m_source, "first");
    m_sub = L"\\" + Unique(L"brivelo-copies");
    m_folder = AppData() + m_sub;
  }
  void TearDown() override { RemoveTree(m_folder); }

  log_test::TempFolder m_scratch;
  std::wstring m_source, m_sub, m_folder;
};

TEST_F(FolderCopies, OldCopiesAreReplacedOrSidesteppedWhenInUse) {
  ATL::CStringW folder;
  const ATL::CStringW first = CommonUtil::CopyToAppDataDir(m_source.c_str(), m_sub.c_str(), &folder);
  EXPECT_EQ(std::wstring(first.GetString()), m_folder + L"\\report.txt");
  EXPECT_EQ(std::wstring(folder.GetString()), m_folder);

  log_test::WriteBytes(m_source, "second");
  EXPECT_EQ(CommonUtil::CopyToAppDataDir(m_source.c_str(), m_sub.c_str(), nullptr), first);
  EXPECT_EQ(log_test::ReadBytes(first.GetString()), "second");

  // Held open without delete sharing, the old copy stays and the new one gets a time suffix.
  HANDLE held = CreateFileW(first, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  log_test::WriteBytes(m_source, "third");
  const ATL::CStringW beside = CommonUtil::CopyToAppDataDir(m_source.c_str(), m_sub.c_str(), nullptr);
  CloseHandle(held);
  EXPECT_TRUE(std::regex_match(std::wstring(beside.GetString()), std::wregex(std::regex_replace(
                                   m_folder, std::wregex(L"[\\\\.^$|()\\[\\]{}*+?]"), L"\\$&") + L"\\\\report\\.txt-\\d+")))
      << beside.GetString();
  EXPECT_EQ(log_test::ReadBytes(beside.GetString()), "third");
  EXPECT_EQ(log_test::ReadBytes(first.GetString()), "second");
}

TEST_F(FolderCopies, NothingToCopyLeavesNothingBehind) {
  EXPECT_EQ(CommonUtil::CopyToAppDataDir(nullptr, m_sub.c_str(), nullptr), L"");
  EXPECT_FALSE(PathFileExistsW(m_folder.c_str()));
  EXPECT_EQ(CommonUtil::CopyToAppDataDir((m_scratch.Path() + L"\\missing.txt").c_str(), m_sub.c_str(), nullptr), L"");
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((m_folder + L"\\*.tmp").c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE);  // no stray "~tm*.tmp"
  if (find != INVALID_HANDLE_VALUE) FindClose(find);

  const std::wstring tempSub = Unique(L"brivelo-tempcopy");
  const ATL::CStringW copy = CommonUtil::CopyToTempDir(m_source.c_str(), tempSub.c_str(), nullptr);
  EXPECT_EQ(std::wstring(copy.GetString()), Temp() + tempSub + L"\\report.txt");
  EXPECT_EQ(log_test::ReadBytes(copy.GetString()), "first");
  RemoveTree(Temp() + tempSub);
}

TEST(FolderPaths, PathsBesideTheExecutable) {
  const std::wstring dir = std::wstring(CommonUtil::GetExeDir().GetString()) + L"\\";
  EXPECT_EQ(std::wstring(CommonUtil::GetExeDirPath(L"sub\\file.dll").GetString()), dir + L"sub\\file.dll");
  EXPECT_EQ(std::wstring(CommonUtil::FormatExeDirPath(L"%s-%d.log", L"name", 7).GetString()), dir + L"name-7.log");
  std::wstring wide;
  CommonUtil::FormatExeDirPathW(&wide, L"%04d", 12);
  EXPECT_EQ(wide, dir + L"0012");
  std::string narrow;
  CommonUtil::FormatExeDirPathA(&narrow, "%s.%s", "a", "b");
  EXPECT_EQ(narrow, std::string(dir.begin(), dir.end()) + "a.b");
  CommonUtil::MakeExeDirPathA("x", &narrow);
  EXPECT_EQ(narrow, std::string(dir.begin(), dir.end()) + "x");

  // The whole path fits 260 units or is refused; a long printed name is cut first, then refused.
  const size_t room = 260 - dir.size();
  EXPECT_EQ(CommonUtil::GetExeDirPath(std::wstring(room, L'n').c_str()).GetLength(), 260);
  EXPECT_EQ(CommonUtil::GetExeDirPath(std::wstring(room + 1, L'n').c_str()), L"");
  EXPECT_EQ(CommonUtil::FormatExeDirPath(L"%s", std::wstring(1000, L'n').c_str()), L"");
  CommonUtil::FormatExeDirPathA(&narrow, "%s", std::string(1000, 'n').c_str());
  EXPECT_EQ(narrow, "");
}

TEST(FolderPaths, SystemProgramsByFullPath) {
  char folder[MAX_PATH + 1] = {};
  ASSERT_NE(0u, GetSystemDirectoryA(folder, MAX_PATH));
  const std::string taskkill = CommonUtil::SystemDirPathA("taskkill.exe");
  EXPECT_EQ(std::string(folder) + "\\taskkill.exe", taskkill);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(taskkill.c_str()));
  EXPECT_EQ("", CommonUtil::SystemDirPathA(std::string(300, 'n').c_str()));
}

}  // namespace
