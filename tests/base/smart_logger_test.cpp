#include "base/smart_logger.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <share.h>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/base/log_test_support.h"

namespace {

using log_test::Banner;
using log_test::Bytes;
using log_test::Ids;
using log_test::LinePrefix;
using log_test::ReadBytes;
using log_test::TempFolder;
using log_test::WideText;
using log_test::WriteBytes;

struct ExistingFileCase {
  const char* name;
  std::string existing;  // bytes already in the file ("" = no file)
  std::string expectedHead;
};

void PrintTo(const ExistingFileCase& c, std::ostream* os) { *os << c.name; }

class SmartLoggerFile : public ::testing::TestWithParam<ExistingFileCase> {
 protected:
  TempFolder m_folder;
};

// Whole file, byte for byte: head, one banner for this process, two lines (the second
// message gets no banner; a message that ends with a line feed gets no second one).
TEST_P(SmartLoggerFile, IsWrittenByteExact) {
  // The folder does not exist yet: the logger creates it with its parents.
  std::wstring path = m_folder.Path() + L"\\a\\b\\x.log";
  if (!GetParam().existing.empty()) {
    ASSERT_TRUE(SHCreateDirectoryExW(nullptr, (m_folder.Path() + L"\\a\\b").c_str(), nullptr) ==
                ERROR_SUCCESS);
    WriteBytes(path, GetParam().existing);
  }
  CSmartLogger logger;
  logger.SetFilePath(path.c_str());
  EXPECT_EQ(logger.AddLine(L"INFO", L"first"), 1);
  EXPECT_EQ(logger.Flush(), 1);
  logger.AddLine(L"WARN", L"second\n");
  EXPECT_EQ(logger.Flush(), 1);

  std::string bytes = ReadBytes(path);
  const std::string& head = GetParam().expectedHead;
  ASSERT_GE(bytes.size(), head.size());
  EXPECT_EQ(Bytes(bytes.substr(0, head.size())), Bytes(head));
  ASSERT_EQ(bytes.size() % 2, 0u);
  std::wstring text = WideText(bytes.substr(head.size()));
  std::wregex expected(Banner(L"Start Log", Ids()) + LinePrefix(L"INFO", Ids()) + L"first\n" +
                       LinePrefix(L"WARN", Ids()) + L"second\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << Bytes(bytes);
  EXPECT_EQ(CSmartLogger::GetFileSize(path.c_str()), bytes.size());
}

INSTANTIATE_TEST_SUITE_P(
    Head, SmartLoggerFile,
    ::testing::Values(ExistingFileCase{"NewFileStartsWithByteOrderMark", "", "\xFF\xFE"},
                      ExistingFileCase{"ExistingFileGetsNoByteOrderMark",
                                       std::string("o\0l\0d\0", 6), std::string("o\0l\0d\0", 6)}),
    [](const ::testing::TestParamInfo<ExistingFileCase>& info) { return info.param.name; });

struct LineEndCase {
  const char* name;
  const wchar_t* message;
  const wchar_t* written;
};

void PrintTo(const LineEndCase& c, std::ostream* os) { *os << c.name; }

class SmartLoggerLineEnd : public ::testing::TestWithParam<LineEndCase> {
 protected:
  TempFolder m_folder;
};

TEST_P(SmartLoggerLineEnd, EndsEachLineWithOneBareLineFeed) {
  std::wstring path = m_folder.Path() + L"\\x.log";
  CSmartLogger logger;
  logger.SetFilePath(path.c_str());
  logger.AddLine(L"ERRO", GetParam().message);
  logger.Flush();
  std::wstring text = WideText(ReadBytes(path).substr(2));
  std::wregex expected(Banner(L"Start Log", Ids()) + LinePrefix(L"ERRO", Ids()) +
                       log_test::Escape(GetParam().written));
  EXPECT_TRUE(std::regex_match(text, expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SmartLoggerLineEnd,
    ::testing::Values(LineEndCase{"Plain", L"a", L"a\n"}, LineEndCase{"EndsWithLineFeed", L"a\n", L"a\n"},
                      LineEndCase{"EndsWithCrLf", L"a\r\n", L"a\r\n"},
                      LineEndCase{"Empty", L"", L"\n"}),
    [](const ::testing::TestParamInfo<LineEndCase>& info) { return info.param.name; });

// Each process writes its own banner once, before its first line; lines interleave.
TEST(SmartLogger, SecondProcessAddsItsOwnBanner) {
  TempFolder folder;
  std::wstring path = folder.Path() + L"\\shared.log";
  CSmartLogger logger;
  logger.SetFilePath(path.c_str());
  logger.AddLine(L"INFO", L"parent one");
  logger.Flush();

  DWORD childPid = 0, childTid = 0;
  ASSERT_EQ(log_test::RunChild(path, L"from child", &childPid, &childTid), 0u);

  logger.AddLine(L"INFO", L"parent two");
  logger.Flush();

  std::string bytes = ReadBytes(path);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::wstring text = WideText(bytes.substr(2));
  std::wstring child = log_test::FormatIds(childPid, childTid);
  std::wregex expected(Banner(L"Start Log", Ids()) + LinePrefix(L"INFO", Ids()) + L"parent one\n" +
                       Banner(L"Start Log", child) + LinePrefix(L"ERRO", child) + L"from child\n" +
                       LinePrefix(L"INFO", Ids()) + L"parent two\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << Bytes(bytes);
}

class SmartLoggerTruncation : public ::testing::Test {
 protected:
  // A file of 512002 bytes: the mark and 256000 letters, no line feed or digit in it.
  std::string PreFill(const std::wstring& path) {
    std::wstring letters;
    for (int i = 0; i < 256000; ++i) letters.push_back(static_cast<wchar_t>(L'A' + i % 26));
    std::string bytes = "\xFF\xFE" + std::string(reinterpret_cast<const char*>(letters.data()),
                                                  letters.size() * sizeof(wchar_t));
    WriteBytes(path, bytes);
    return bytes;
  }
  // A logger whose start banner went to another file already.
  void Prime(CSmartLogger& logger) {
    logger.SetFilePath((m_folder.Path() + L"\\first.log").c_str());
    logger.AddLine(L"INFO", L"prime");
    logger.Flush();
  }
  TempFolder m_folder;
};

TEST_F(SmartLoggerTruncation, KeepsMarkBannerAndLast102400Bytes) {
  std::wstring path = m_folder.Path() + L"\\big.log";
  std::string before = PreFill(path);
  CSmartLogger logger;
  Prime(logger);
  logger.SetFilePath(path.c_str());
  logger.AddLine(L"INFO", L"last message");
  ASSERT_EQ(logger.Flush(), 1);

  std::string after = ReadBytes(path);
  ASSERT_EQ(after.substr(0, 2), "\xFF\xFE");
  std::wstring text = WideText(after.substr(2));
  std::wsmatch banner;
  ASSERT_TRUE(std::regex_search(text, banner, std::wregex(L"^" + Banner(L"Truncate Log", Ids()))));
  std::wstring tail = text.substr(static_cast<size_t>(banner.length(0)));
  ASSERT_EQ(tail.size() * 2, 102400u);
  // The tail is the end of the old content followed by the new line.
  size_t lineStart = tail.find_first_of(L"0123456789");
  ASSERT_NE(lineStart, std::wstring::npos);
  EXPECT_TRUE(std::regex_match(tail.substr(lineStart),
                               std::wregex(LinePrefix(L"INFO", Ids()) + L"last message\n")));
  std::wstring oldText = WideText(before.substr(2));
  EXPECT_EQ(tail.substr(0, lineStart), oldText.substr(oldText.size() - lineStart));
}

TEST_F(SmartLoggerTruncation, LeavesFileAloneWhenTheTailCannotBeRead) {
  std::wstring path = m_folder.Path() + L"\\big.log";
  std::string before = PreFill(path);
  CSmartLogger logger;
  Prime(logger);
  logger.SetFilePath(path.c_str());
  {
    // Another opener that lets others write but not read: appending works, reading back
    // the tail does not.
    HANDLE blocker = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
    FILE* probe = _wfsopen(path.c_str(), L"rb", _SH_DENYNO);
    EXPECT_EQ(probe, nullptr) << "the blocker does not stop reading here";
    if (probe) fclose(probe);
    logger.AddLine(L"INFO", L"kept");
    EXPECT_EQ(logger.Flush(), 1);
    CloseHandle(blocker);
  }
  std::string after = ReadBytes(path);
  ASSERT_GT(after.size(), before.size()) << "the log was cut without its tail";
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_TRUE(std::regex_match(WideText(after.substr(before.size())),
                               std::wregex(LinePrefix(L"INFO", Ids()) + L"kept\n")));

  // The check repeats with the next message.
  logger.AddLine(L"INFO", L"again");
  logger.Flush();
  after = ReadBytes(path);
  EXPECT_LT(after.size(), before.size());
  ASSERT_EQ(after.substr(0, 2), "\xFF\xFE");
  EXPECT_TRUE(std::regex_search(WideText(after.substr(2)),
                                std::wregex(L"^" + Banner(L"Truncate Log", Ids()))));
}

TEST(SmartLogger, AddLineVCutsTheMessageAt510Units) {
  TempFolder folder;
  std::wstring path = folder.Path() + L"\\v.log";
  CSmartLogger logger;
  logger.SetFilePath(path.c_str());
  std::wstring longText(600, L'z');
  auto add = [&logger](const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    int pending = logger.AddLineV(L"DEBG", format, args);
    va_end(args);
    return pending;
  };
  EXPECT_EQ(add(L"%s", longText.c_str()), 1);
  EXPECT_EQ(add(nullptr), 1);
  EXPECT_EQ(add(L"%d\n", 7), 2);
  logger.Flush();
  std::wstring prefix = LinePrefix(L"DEBG", Ids());
  prefix.pop_back();  // this variant has no blank after the tag
  std::wstring text = WideText(ReadBytes(path).substr(2));
  EXPECT_TRUE(std::regex_match(text, std::wregex(Banner(L"Start Log", Ids()) + prefix +
                                                 std::wstring(510, L'z') + L"\n" + prefix + L"7\n")));
}

TEST(SmartLogger, WritesTheDefaultFileUntilPointedElsewhere) {
  wchar_t appData[MAX_PATH + 1] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
  std::wstring path = std::wstring(appData) + L"\\KIVVireDaredo\\Log\\KIVVireDaredo.log";
  wchar_t marker[64];
  _snwprintf(marker, 64, L"default-file-%lu-%lu", GetCurrentProcessId(), GetTickCount());
  marker[63] = 0;
  CSmartLogger logger;
  logger.AddLine(L"INFO", marker);
  ASSERT_EQ(logger.Flush(), 1);
  EXPECT_NE(WideText(ReadBytes(path).substr(2)).find(marker), std::wstring::npos);
}

}  // namespace
