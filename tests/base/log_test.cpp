#include "base/log.h"

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "tests/base/log_test_support.h"

namespace {

using log_test::LinePrefix;
using log_test::ReadBytes;
using log_test::TempFolder;
using log_test::WideText;

// The front end's state is process-wide; each test starts it afresh.
class MainLog : public ::testing::Test {
 protected:
  void SetUp() override {
    g_logInitialised = 0;
    g_logLevelMask = 1;
    g_logOutputs = 1;
    g_logMaxSize = 512000;
  }
  // Lines of the file without the mark and any banner.
  std::wstring Lines(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    if (bytes.size() < 2) return L"";
    std::wstring text = WideText(bytes.substr(2));
    return std::regex_replace(text, std::wregex(log_test::Banner(L"Start Log", L"\\d+:\\d+")), L"");
  }
  std::wstring ExeStem() {
    wchar_t exe[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    wchar_t* name = PathFindFileNameW(exe);
    *PathFindExtensionW(name) = L'\0';
    return name;
  }
  TempFolder m_folder;
};

TEST_F(MainLog, MaskOneWritesErrorsOnly) {
  LogInit(nullptr, m_folder.Path().c_str(), L"browser");
  std::wstring path = m_folder.Path() + L"\\Log\\" + ExeStem() + L".browser.log";
  EXPECT_TRUE(IsLogLevelEnabled(1));
  EXPECT_FALSE(IsLogLevelEnabled(4));
  LogInfoW(L"info %d", 1);
  LogWarnA("warn %d", 2);
  LogA(3, "both %s", "bits");
  LogErrorW(L"error %s", L"wide");
  AddLogLevels(2);
  LogA(3, "both %s", "bits");
  LogDebugW(L"debug");
  EXPECT_TRUE(std::regex_match(Lines(path), std::wregex(LinePrefix(L"ERRO", log_test::Ids()) +
                                                        L"error wide\n" +
                                                        LinePrefix(L"UKWN", log_test::Ids()) +
                                                        L"both bits\n")))
      << ReadBytes(path).size();
}

TEST_F(MainLog, MarkerFileEnablesAllFourLevels) {
  std::wstring logDir = m_folder.Path() + L"\\Log";
  CreateDirectoryW(logDir.c_str(), nullptr);
  std::wstring path = logDir + L"\\" + ExeStem() + L".render.log";
  log_test::WriteBytes(path + L".on", "");
  LogInit(nullptr, m_folder.Path().c_str(), L"render");
  EXPECT_EQ(g_logLevelMask, 15u);
  LogDebugW(L"d");
  LogInfoA("i");
  LogWarnW(L"w");
  LogErrorA("e");
  LogW(16, L"never");
  const std::wstring ids = log_test::Ids();
  EXPECT_TRUE(std::regex_match(Lines(path), std::wregex(LinePrefix(L"DEBG", ids) + L"d\n" +
                                                        LinePrefix(L"INFO", ids) + L"i\n" +
                                                        LinePrefix(L"WARN", ids) + L"w\n" +
                                                        LinePrefix(L"ERRO", ids) + L"e\n")));
}

TEST_F(MainLog, OnlyTheFirstLogInitCountsAndAnEmptyKindNamesTheExe) {
  TempFolder other;
  LogInit(L"", m_folder.Path().c_str(), L"");
  LogInit(nullptr, other.Path().c_str(), L"other");
  LogErrorW(L"where");
  std::wstring path = m_folder.Path() + L"\\Log\\" + ExeStem() + L".log";
  EXPECT_NE(Lines(path).find(L"where"), std::wstring::npos);
  EXPECT_FALSE(PathFileExistsW((other.Path() + L"\\Log").c_str()));
}

// The message limit is 10,238 units in both widths: one more and nothing is written. This
// also fails when the formatter stops following Microsoft's rules (-1 on overflow).
struct LimitCase {
  const char* name;
  bool wide;
  int units;
  bool written;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class MainLogLimit : public MainLog, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(MainLogLimit, WritesWholeOrNothing) {
  std::wstring path = m_folder.Path() + L"\\limit.log";
  SetLogFilePath(path.c_str());
  const LimitCase& c = GetParam();
  if (c.wide)
    LogErrorW(L"%s", std::wstring(static_cast<size_t>(c.units), L'w').c_str());
  else
    LogErrorA("%s", std::string(static_cast<size_t>(c.units), 'n').c_str());
  if (!c.written) {
    EXPECT_FALSE(PathFileExistsW(path.c_str())) << "an over-long message left a trace";
    return;
  }
  std::wstring body(static_cast<size_t>(c.units), c.wide ? L'w' : L'n');
  EXPECT_TRUE(std::regex_match(Lines(path),
                               std::wregex(LinePrefix(L"ERRO", log_test::Ids()) + body + L"\n")));
}

INSTANTIATE_TEST_SUITE_P(Table, MainLogLimit,
                         ::testing::Values(LimitCase{"WideAtLimit", true, 10238, true},
                                           LimitCase{"WideOverLimit", true, 10239, false},
                                           LimitCase{"NarrowAtLimit", false, 10238, true},
                                           LimitCase{"NarrowOverLimit", false, 10239, false}),
                         [](const ::testing::TestParamInfo<LimitCase>& info) { return info.param.name; });

TEST_F(MainLog, NarrowMessagesAreConvertedFromTheAnsiCodePage) {
  std::wstring path = m_folder.Path() + L"\\ansi.log";
  SetLogFilePath(path.c_str());
  LogErrorA("caf\xE9 %s", "\xE0");
  EXPECT_NE(Lines(path).find(L"caf\u00E9 \u00E0\n"), std::wstring::npos);
}

}  // namespace
