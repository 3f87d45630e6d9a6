#include "base/file_util.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

// A fresh folder per test under the temporary folder, removed afterwards.
class FileUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_strRoot.Format(L"%sbrivelo_fu_%lu_%S", temp, GetCurrentProcessId(), info->name());
    ASSERT_TRUE(CreateDirectoryW(m_strRoot, nullptr));
  }
  void TearDown() override {
    std::wstring from(m_strRoot.GetString());
    from.push_back(L'\0');  // double terminator
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
  }
  ATL::CStringW Path(const wchar_t* relative) const { return m_strRoot + L"\\" + relative; }
  void Touch(const wchar_t* relative, const char* content = "x") const {
    ASSERT_TRUE(FileUtil::WriteBufferToFile(Path(relative), content, static_cast<DWORD>(strlen(content))));
  }

  ATL::CStringW m_strRoot;
};

TEST_F(FileUtilTest, ReadFileToStringReadsExactBytes) {
  const char bytes[] = "a\0b\xFF";
  ASSERT_TRUE(FileUtil::WriteBufferToFile(Path(L"data.bin"), bytes, 4));
  std::string out = "previous content that is longer";
  ASSERT_TRUE(FileUtil::ReadFileToString(Path(L"data.bin"), &out));
  EXPECT_EQ(out, std::string(bytes, 4));

  HANDLE empty = CreateFileW(Path(L"empty.bin"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(empty, INVALID_HANDLE_VALUE);
  CloseHandle(empty);
  EXPECT_TRUE(FileUtil::ReadFileToString(Path(L"empty.bin"), &out));
  EXPECT_EQ(out, "");
}

TEST_F(FileUtilTest, ReadFileToStringFailuresLeaveOutUntouched) {
  std::string out = "keep";
  EXPECT_FALSE(FileUtil::ReadFileToString(m_strRoot, &out));  // a folder
  EXPECT_FALSE(FileUtil::ReadFileToString(Path(L"missing.bin"), &out));
  EXPECT_FALSE(FileUtil::ReadFileToString(nullptr, &out));
  EXPECT_EQ(out, "keep");
  Touch(L"f.txt");
  EXPECT_FALSE(FileUtil::ReadFileToString(Path(L"f.txt"), nullptr));
}

TEST_F(FileUtilTest, ReadFileToStringRefusesFourGiB) {
  // A sparse file of exactly 4 GiB: its size has a nonzero high word.
  HANDLE file = CreateFileW(Path(L"huge.bin"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = 4LL << 30;
  bool sized = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  if (!sized) GTEST_SKIP() << "the file system here cannot hold a 4 GiB file";
  std::string out = "keep";
  EXPECT_FALSE(FileUtil::ReadFileToString(Path(L"huge.bin"), &out));
  EXPECT_EQ(out, "keep");
}

TEST_F(FileUtilTest, WriteBufferToFileCreatesParentsAndReplaces) {
  ATL::CStringW deep = Path(L"one\\two\\three\\f.txt");
  ASSERT_TRUE(FileUtil::WriteBufferToFile(deep, "long content", 12));
  ASSERT_TRUE(FileUtil::WriteBufferToFile(deep, "new", 3));
  std::string out;
  ASSERT_TRUE(FileUtil::ReadFileToString(deep, &out));
  EXPECT_EQ(out, "new");
  EXPECT_FALSE(FileUtil::WriteBufferToFile(deep, "x", 0));
  EXPECT_FALSE(FileUtil::WriteBufferToFile(deep, nullptr, 1));
  EXPECT_FALSE(FileUtil::WriteBufferToFile(nullptr, "x", 1));
  EXPECT_FALSE(FileUtil::WriteBufferToFile(L"bare-name.txt", "x", 1));  // no parent folder
}

TEST_F(FileUtilTest, CreateDirectoryTree) {
  EXPECT_FALSE(FileUtil::CreateDirectoryTree(L"relative\\folder"));
  EXPECT_FALSE(PathFileExistsW(L"relative"));
  EXPECT_TRUE(FileUtil::CreateDirectoryTree(L"C:\\"));
  EXPECT_TRUE(FileUtil::CreateDirectoryTree(Path(L"a\\b\\c")));
  EXPECT_TRUE(PathIsDirectoryW(Path(L"a\\b\\c")));
  EXPECT_TRUE(FileUtil::CreateDirectoryTree(Path(L"a\\b\\c")));  // exists already
  Touch(L"file");
  EXPECT_FALSE(FileUtil::CreateDirectoryTree(Path(L"file\\sub")));  // a file in the way
}

struct PathPartsCase {
  const wchar_t* path;
  const wchar_t* extension;
  const wchar_t* name;
  const wchar_t* stem;
  const wchar_t* parent;
};

void PrintTo(const PathPartsCase& c, std::ostream* os) { *os << '"' << ATL::CStringA(c.path).GetString() << '"'; }

class FileUtilPathParts : public ::testing::TestWithParam<PathPartsCase> {};

TEST_P(FileUtilPathParts, SplitsTheLastComponent) {
  const PathPartsCase& c = GetParam();
  EXPECT_EQ(FileUtil::GetFileExtension(c.path), c.extension);
  EXPECT_EQ(FileUtil::GetFileName(c.path, TRUE), c.name);
  EXPECT_EQ(FileUtil::GetFileName(c.path, FALSE), c.stem);
  EXPECT_EQ(FileUtil::GetParentFolder(c.path), c.parent);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileUtilPathParts,
    ::testing::Values(PathPartsCase{L"C:\\dir\\a.tar.gz", L".gz", L"a.tar.gz", L"a.tar", L"C:\\dir"},
                      PathPartsCase{L"bare.txt", L".txt", L"", L"", L""},
                      PathPartsCase{L"C:\\dir\\", L"", L"", L"", L"C:\\dir"},
                      PathPartsCase{L"C:\\a.b\\file", L"", L"file", L"file", L"C:\\a.b"},
                      PathPartsCase{L"", L"", L"", L"", L""}));

TEST(FileUtil, TrailingBackslashesAndAncestors) {
  EXPECT_EQ(FileUtil::AddTrailingBackslash(L"C:\\dir"), L"C:\\dir\\");
  EXPECT_EQ(FileUtil::AddTrailingBackslash(L"C:\\dir\\"), L"C:\\dir\\");
  EXPECT_EQ(FileUtil::AddTrailingBackslash(L""), L"");
  EXPECT_EQ(FileUtil::RemoveTrailingBackslash(L"C:\\dir\\"), L"C:\\dir");
  EXPECT_EQ(FileUtil::RemoveTrailingBackslash(L"C:\\dir"), L"C:\\dir");
  EXPECT_EQ(FileUtil::RemoveTrailingBackslash(L""), L"");
  EXPECT_EQ(FileUtil::GetAncestorFolder(L"C:\\a\\b\\c", 0), L"C:\\a\\b\\c");
  EXPECT_EQ(FileUtil::GetAncestorFolder(L"C:\\a\\b\\c", 2), L"C:\\a");
  EXPECT_EQ(FileUtil::GetAncestorFolder(L"C:\\a\\b\\c", 5), L"C:\\");
}

TEST(FileUtil, SplitPathAndCombinePath) {
  ATL::CStringW drive, folder, name, extension;
  FileUtil::SplitPath(L"C:\\dir\\sub\\a.tar.gz", drive, folder, name, extension);
  EXPECT_EQ(drive, L"C:");
  EXPECT_EQ(folder, L"\\dir\\sub\\");
  EXPECT_EQ(name, L"a.tar");
  EXPECT_EQ(extension, L".gz");
  FileUtil::SplitPath(L"name", drive, folder, name, extension);
  EXPECT_EQ(drive + folder + extension, L"");
  EXPECT_EQ(name, L"name");

  EXPECT_EQ(FileUtil::CombinePath(L"C:\\a\\b", L"..\\c\\.\\d", FALSE), L"C:\\a\\c\\d");
  EXPECT_EQ(FileUtil::CombinePath(L"C:\\a", nullptr, FALSE), L"");
  EXPECT_EQ(FileUtil::CombinePath(nullptr, L"x", FALSE), L"");
}

TEST_F(FileUtilTest, SubFoldersAreCreatedOnRequest) {
  EXPECT_EQ(FileUtil::CombinePath(m_strRoot, L"made", FALSE), Path(L"made"));
  EXPECT_FALSE(PathFileExistsW(Path(L"made")));
  EXPECT_EQ(FileUtil::CombinePath(m_strRoot, L"made\\deeper", TRUE), Path(L"made\\deeper"));
  EXPECT_TRUE(PathIsDirectoryW(Path(L"made\\deeper")));

  ATL::CStringW temp = FileUtil::GetTempFolder();
  ASSERT_FALSE(temp.IsEmpty());
  EXPECT_EQ(temp[temp.GetLength() - 1], L'\\');
  ATL::CStringW sub = ATL::CStringW(m_strRoot.Mid(temp.GetLength())) + L"\\t";
  EXPECT_EQ(FileUtil::GetTempSubFolder(sub, TRUE), Path(L"t"));
  EXPECT_TRUE(PathIsDirectoryW(Path(L"t")));
  Touch(L"blocker");
  EXPECT_EQ(FileUtil::CombinePath(m_strRoot, L"blocker\\x", TRUE), L"");  // cannot exist
}

TEST(FileUtil, SpecialFolders) {
  EXPECT_EQ(FileUtil::GetExeFolder(), FileUtil::GetModuleFolder(nullptr));
  EXPECT_TRUE(PathIsDirectoryW(FileUtil::GetExeFolder()));
  const ATL::CStringW folders[] = {FileUtil::GetAppDataFolder(), FileUtil::GetLocalAppDataFolder(),
                                   FileUtil::GetDesktopFolder(), FileUtil::GetProgramsFolder()};
  for (const ATL::CStringW& f : folders) EXPECT_FALSE(f.IsEmpty());
  EXPECT_NE(folders[0], folders[1]);  // roaming and local differ
  EXPECT_EQ(FileUtil::GetAppDataSubFolder(L"x\\..\\y", FALSE), folders[0] + L"\\y");
}

TEST_F(FileUtilTest, EnumDirectoryStopEndsOnlyThatFolder) {
  Touch(L"a.txt");
  Touch(L"b.txt");
  Touch(L"sub\\c.txt");
  Touch(L"sub\\d.txt");
  Touch(L"sub\\inner\\e.txt");

  std::set<std::wstring> all;
  FileUtil::EnumDirectory(m_strRoot, TRUE, [&](const WIN32_FIND_DATAW& e, BOOL*) { all.insert(e.cFileName); });
  EXPECT_EQ(all, (std::set<std::wstring>{L"a.txt", L"b.txt", L"sub", L"c.txt", L"d.txt", L"inner", L"e.txt"}));

  std::set<std::wstring> top;
  FileUtil::EnumDirectory(m_strRoot, FALSE, [&](const WIN32_FIND_DATAW& e, BOOL*) { top.insert(e.cFileName); });
  EXPECT_EQ(top, (std::set<std::wstring>{L"a.txt", L"b.txt", L"sub"}));

  // A stop at the first entry of the listing reports exactly one entry there.
  int calls = 0;
  FileUtil::EnumDirectory(Path(L"sub"), TRUE, [&](const WIN32_FIND_DATAW&, BOOL* stop) {
    ++calls;
    *stop = TRUE;
  });
  EXPECT_EQ(calls, 1);

  // Stopping inside "sub" ends "sub" only: the other top-level entries are still reported.
  std::set<std::wstring> seen;
  FileUtil::EnumDirectory(m_strRoot, TRUE, [&](const WIN32_FIND_DATAW& e, BOOL* stop) {
    seen.insert(e.cFileName);
    if (!wcscmp(e.cFileName, L"c.txt") || !wcscmp(e.cFileName, L"d.txt") || !wcscmp(e.cFileName, L"inner"))
      *stop = TRUE;
  });
  EXPECT_TRUE(seen.count(L"a.txt") && seen.count(L"b.txt") && seen.count(L"sub"));
  EXPECT_EQ(seen.count(L"e.txt"), 0u);
  int inSub = static_cast<int>(seen.count(L"c.txt") + seen.count(L"d.txt") + seen.count(L"inner"));
  EXPECT_EQ(inSub, 1);

  std::set<std::string> narrow;
  FileUtil::EnumDirectoryA(ATL::CStringA(m_strRoot), TRUE,
                           [&](const WIN32_FIND_DATAA& e, BOOL*) { narrow.insert(e.cFileName); });
  EXPECT_EQ(narrow.size(), 7u);
}

TEST_F(FileUtilTest, EnumDirectoryDoesNotEnterFoldersBeyondThePathLimit) {
  // Nest folders while each can still be listed ("/*.*" appended fits 260 characters).
  ATL::CStringW folder = m_strRoot;
  const wchar_t* segment = L"\\nest_segment_0123456789";
  int depth = 0;
  while (folder.GetLength() + static_cast<int>(wcslen(segment)) + 4 < MAX_PATH) {
    folder += segment;
    ASSERT_TRUE(CreateDirectoryW(folder, nullptr));
    ++depth;
  }
  // The deepest folder gets a child whose joined path does not fit; it is made (with a child of
  // its own) through the long-path form.
  ATL::CStringW beyond = ATL::CStringW(L"\\\\?\\") + folder + L"\\" + ATL::CStringW(L'b', 60);
  ASSERT_TRUE(CreateDirectoryW(beyond, nullptr));
  ASSERT_TRUE(CreateDirectoryW(beyond + L"\\inner", nullptr));

  int calls = 0;
  FileUtil::EnumDirectory(m_strRoot, TRUE, [&](const WIN32_FIND_DATAW&, BOOL*) { ++calls; });
  // Every nested folder and the long child are reported once; the long child is not entered.
  EXPECT_EQ(calls, depth + 1);
  RemoveDirectoryW(beyond + L"\\inner");
  RemoveDirectoryW(beyond);
}

}  // namespace
