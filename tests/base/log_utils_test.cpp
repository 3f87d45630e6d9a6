#include "base/log_utils.h"

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/common_util.h"
#include "tests/base/log_test_support.h"

namespace {

using log_test::ReadBytes;
using log_test::TempFolder;
using log_test::WriteBytes;

// The lines of a file, each without its CR LF; a final piece without one is kept as it is.
std::vector<std::string> Lines(const std::wstring& path) {
  const std::string bytes = ReadBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

// What follows the "MM-DD hh:mm:ss.mmm [  pid][  tid][tag]" head; "<no head>" when it is missing.
std::string Body(const std::string& line, const std::string& tag) {
  static const std::regex head("\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d \\[ *\\d+\\]\\[ *\\d+\\]");
  std::smatch match;
  if (!std::regex_search(line, match, head) || match.position(0) != 0) return "<no head>";
  std::string rest = match.suffix();
  if (!tag.empty()) {
    if (rest.compare(0, tag.size() + 2, "[" + tag + "]") != 0) return "<no tag>";
    rest.erase(0, tag.size() + 2);
  }
  return rest;
}

std::vector<std::string> Bodies(const std::wstring& path, const std::string& tag = "") {
  std::vector<std::string> bodies;
  for (const std::string& line : Lines(path)) bodies.push_back(Body(line, tag));
  return bodies;
}

void Write(LogUtils::Logger& logger, const std::string& text) {
  if (!logger.IsLevelEnabled(1)) return;
  LogLineBuilder line("[I]", "C:\\src\\product\\product_helper_impl.cpp", 51);
  line << text;
  logger.WriteLine(line);
}

class LogUtilsTest : public ::testing::Test {
 protected:
  std::wstring Path(const wchar_t* name) const { return m_folder.Path() + L"\\" + name; }
  TempFolder m_folder;
};

TEST_F(LogUtilsTest, AFreshLoggerRefusesEveryLevelButOff) {
  LogUtils::LoggerImpl logger;
  EXPECT_FALSE(logger.IsLevelEnabled(0));
  EXPECT_FALSE(logger.IsLevelEnabled(1));
  EXPECT_FALSE(logger.IsLevelEnabled(2));
  EXPECT_TRUE(logger.IsLevelEnabled(3));

  // The process-wide one likewise, however it is asked, until Init.
  LogUtils::ReleaseLogger();
  LogUtils::Logger* shared = LogUtils::GetLogger();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(LogUtils::GetLogger(), shared);
  LogUtils::LoggerCommand(L"--reload_log_switch");
  LogUtils::ResetLogger();
  LogUtils::UninitLogger();
  EXPECT_FALSE(shared->IsLevelEnabled(2));
  LogUtils::ReleaseLogger();
}

TEST_F(LogUtilsTest, InitEnablesLevelOneAndTheMarkerLocksLevelZero) {
  const std::wstring plain = Path(L"plain.log");
  LogUtils::LoggerImpl quiet;
  quiet.Init(plain.c_str(), L"", FALSE, FALSE, LogUtils::kDefaultMaxSize);
  EXPECT_FALSE(quiet.IsLevelEnabled(2));

  LogUtils::LoggerImpl enabled;
  enabled.Init(plain.c_str(), L"tag", TRUE, FALSE, LogUtils::kDefaultMaxSize);
  EXPECT_TRUE(enabled.IsLevelEnabled(1));
  EXPECT_FALSE(enabled.IsLevelEnabled(0));
  Write(enabled, "hello");
  EXPECT_EQ(Bodies(plain, "tag"), (std::vector<std::string>{"-------log start",
                                                            "[I][  51][product_helper_impl] hello"}));
  enabled.SetLevel(2);
  EXPECT_FALSE(enabled.IsLevelEnabled(1));

  const std::wstring marked = Path(L"marked.log");
  WriteBytes(marked + L".on", "");
  LogUtils::LoggerImpl locked;
  locked.Init(marked.c_str(), L"", TRUE, FALSE, LogUtils::kDefaultMaxSize);
  EXPECT_TRUE(locked.IsLevelEnabled(0));
  locked.SetLevel(3);
  EXPECT_TRUE(locked.IsLevelEnabled(0));  // locked by the marker
  locked.HandleCommand(L"--set_log_lev=2");
  EXPECT_TRUE(locked.IsLevelEnabled(0));
}

TEST_F(LogUtilsTest, CommandsChooseTheLevel) {
  const std::wstring path = Path(L"commands.log");
  LogUtils::LoggerImpl logger;
  logger.Init(path.c_str(), L"", TRUE, FALSE, LogUtils::kDefaultMaxSize);
  struct Case {
    const wchar_t* command;
    int level;  // the lowest level that passes afterwards
  };
  const Case cases[] = {
      {L"app.exe --SET_LOG_LEV=2 --other", 2},
      {L"--set_log_lev=1 and --set_log_lev=0", 0},  // 0 is looked for first
      {L"nothing known here", 0},
      {L"--Set_Log_Lev=3", 3},
      {L"--reload_log_switch", 3},  // no marker file
  };
  for (const Case& c : cases) {
    logger.HandleCommand(c.command);
    EXPECT_TRUE(logger.IsLevelEnabled(c.level)) << c.command;
    if (c.level > 0) {
      EXPECT_FALSE(logger.IsLevelEnabled(c.level - 1)) << c.command;
    }
  }
  logger.HandleCommand(nullptr);
  EXPECT_FALSE(logger.IsLevelEnabled(2));
  WriteBytes(path + L".on", "");
  logger.HandleCommand(L"x --RELOAD_LOG_SWITCH y");
  EXPECT_TRUE(logger.IsLevelEnabled(0));
  logger.SetLevel(2);  // a reload does not lock
  EXPECT_FALSE(logger.IsLevelEnabled(1));
}

TEST_F(LogUtilsTest, LevelChangesLeaveMarkers) {
  const std::wstring path = Path(L"levels.log");
  LogUtils::LoggerImpl logger;
  logger.Init(path.c_str(), L"", TRUE, FALSE, LogUtils::kDefaultMaxSize);
  logger.SetLevel(3);  // from 1: "off", written at once
  logger.SetLevel(2);  // from 3: nothing
  logger.SetLevel(0);  // from 2 to 1 or less: "lev change"
  Write(logger, "x");
  logger.Uninit();
  EXPECT_EQ(Bodies(path), (std::vector<std::string>{"-------log start", "-------log off", "-------log lev change",
                                                    "[I][  51][product_helper_impl] x", "-------log end"}));
  EXPECT_FALSE(logger.IsLevelEnabled(2));
}

TEST_F(LogUtilsTest, AFullFileStopsOrStartsAgain) {
  const std::wstring stopped = Path(L"stop.log");
  LogUtils::LoggerImpl stopper;
  stopper.Init(stopped.c_str(), L"", TRUE, TRUE, 200);
  for (int i = 0; i < 10; ++i) Write(stopper, "line " + std::to_string(i));
  std::vector<std::string> bodies = Bodies(stopped);
  ASSERT_GE(bodies.size(), 3u);
  EXPECT_EQ(bodies.back(), "-------log full");
  EXPECT_LT(bodies.size(), 10u);
  EXPECT_FALSE(stopper.IsLevelEnabled(2));
  // The write that crossed the limit is the one before the marker; the file ends there.
  size_t before = 0;
  for (size_t i = 0; i + 1 < bodies.size(); ++i) before += Lines(stopped)[i].size() + 2;
  EXPECT_GT(before, 200u);

  const std::wstring restarted = Path(L"restart.log");
  LogUtils::LoggerImpl restarter;
  // About 110 bytes a line: the third write passes 300 bytes and the file starts again.
  restarter.Init(restarted.c_str(), L"", TRUE, FALSE, 300);
  for (int i = 0; i < 4; ++i) Write(restarter, "line " + std::to_string(i) + std::string(40, '.'));
  EXPECT_EQ(Bodies(restarted), (std::vector<std::string>{"-------log full reset",
                                                         "[I][  51][product_helper_impl] line 3" + std::string(40, '.')}));
  EXPECT_TRUE(restarter.IsLevelEnabled(1));
}

TEST_F(LogUtilsTest, ResetEmptiesTheFile) {
  const std::wstring path = Path(L"reset.log");
  LogUtils::LoggerImpl logger;
  logger.Init(path.c_str(), L"", TRUE, FALSE, LogUtils::kDefaultMaxSize);
  Write(logger, "before");
  logger.Reset();
  Write(logger, "after");
  EXPECT_EQ(Bodies(path), (std::vector<std::string>{"-------log reset", "[I][  51][product_helper_impl] after"}));
}

TEST_F(LogUtilsTest, AppenderLinesAreAnsiWithCrLfAndBoundedHeads) {
  const std::wstring path = Path(L"appender.log");
  LogUtils::LogAppender appender(path.c_str(), L"t", FALSE);
  appender.Append(L"caf\x00E9");
  const int size = appender.Flush(L"second", FALSE);
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(size, int(bytes.size()));
  EXPECT_EQ(Bodies(path, "t"), (std::vector<std::string>{"caf\xE9", "second"}));  // code page 1252
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  EXPECT_TRUE(appender.Reset());
  EXPECT_FALSE(PathFileExistsW(path.c_str()));

  // A tag too long for the 100-unit head is cut, never written past it.
  const std::wstring longPath = Path(L"long-tag.log");
  LogUtils::LogAppender longTag(longPath.c_str(), std::wstring(300, L'g').c_str(), FALSE);
  longTag.Flush(L"text", FALSE);
  const std::vector<std::string> lines = Lines(longPath);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 99u + 4u);
  EXPECT_EQ(lines[0].substr(99), "text");
}

// log_utils_writer_child.exe with the arguments; its exit code once it ends (-1 when it does not
// start or end within a minute).
class WriterChild {
 public:
  explicit WriterChild(const std::wstring& arguments) {
    std::wstring command = L"\"" + std::wstring(CommonUtil::GetExeDir().GetString()) +
                           L"\\log_utils_writer_child.exe\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      CloseHandle(process.hThread);
      m_hProcess = process.hProcess;
    }
  }
  ~WriterChild() {
    if (m_hProcess != nullptr) CloseHandle(m_hProcess);
  }
  WriterChild(const WriterChild&) = delete;
  WriterChild& operator=(const WriterChild&) = delete;

  int Wait() {
    DWORD exitCode = 0;
    if (m_hProcess == nullptr || WaitForSingleObject(m_hProcess, 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(m_hProcess, &exitCode)) {
      return -1;
    }
    return int(exitCode);
  }

 private:
  HANDLE m_hProcess = nullptr;
};

TEST_F(LogUtilsTest, TwoProcessesShareOneFile) {
  const std::wstring path = Path(L"shared.log");
  const int count = 200;
  WriterChild child(L"\"" + path + L"\" " + std::to_wstring(count) + L" child");

  LogUtils::LoggerImpl logger;
  logger.Init(path.c_str(), L"parent", TRUE, FALSE, LogUtils::kDefaultMaxSize);
  for (int i = 0; i < count; ++i) Write(logger, "parent " + std::to_string(i));
  EXPECT_EQ(child.Wait(), 0);
  logger.Uninit();  // writes what waited for the file

  int parentLines = 0, childLines = 0;
  const std::regex childLine("\\[child\\]\\[I\\]\\[ *\\d+\\]\\[log_utils_writer_child\\] child \\d+");
  for (const std::string& line : Lines(path)) {
    const std::string parentBody = Body(line, "parent");
    if (parentBody.rfind("[I][  51][product_helper_impl] parent ", 0) == 0) {
      ++parentLines;
    } else if (std::regex_search(line, childLine)) {
      ++childLines;
    } else {
      EXPECT_NE(line.find("-------log "), std::string::npos) << line;  // only whole lines
    }
  }
  EXPECT_EQ(parentLines, count);
  EXPECT_EQ(childLines, count);
}

// A released logger leaves its appender open: the file's mutex still exists afterwards and the
// file stays open, so a fresh logger with the stop policy (whose first writer deletes the file)
// finds another writer and appends to the same file.
TEST_F(LogUtilsTest, ReleaseKeepsTheFileAndItsMutexForTheNextLogger) {
  const std::wstring path = Path(L"released.log");
  WriterChild child(L"release \"" + path + L"\"");
  EXPECT_EQ(child.Wait(), 0) << "4: the mutex went with the logger; 8: the file was closed";
  const std::regex written("\\[(first|second)\\]\\[I\\]\\[ *\\d+\\]\\[log_utils_writer_child\\] (.*)$");
  std::vector<std::string> messages;
  std::smatch match;
  for (const std::string& line : Lines(path)) {
    if (std::regex_search(line, match, written)) messages.push_back(match[1].str() + ": " + match[2].str());
  }
  EXPECT_EQ(messages, (std::vector<std::string>{"first: before release", "second: after release"}));
}

TEST(LogUtilsText, NamesBuilderHeadsAndErrorTexts) {
  ATL::CStringW name;
  LogUtils::MakeMutexName(name, L"C:\\Logs\\a-1.log");
  EXPECT_EQ(name, L"CLOGSA1LOG");

  LogLineBuilder withBase("[I]", "C:\\src\\product\\product_helper_impl.cpp", 51);
  EXPECT_EQ(withBase.str(), L"[I][  51][product_helper_impl] ");
  LogLineBuilder noBackslash("[I]", "product_helper_impl.cpp", 51);
  EXPECT_EQ(noBackslash.str(), L"[I][  51] ");
  LogLineBuilder dotBeforeSlash("[W]", "C:\\a.b\\file", 12345);
  EXPECT_EQ(dotBeforeSlash.str(), L"[W][12345] ");
  LogLineBuilder nothingBetween("", "C:\\dir\\.hidden", 7);
  EXPECT_EQ(nothingBetween.str(), L"[   7] ");
  LogLineBuilder longBase("[I]", "C:\\" + std::string(300, 'n') + ".cpp", 1);
  EXPECT_EQ(longBase.str().size(), 3u + 99u);  // the head is cut at its buffer
  LogLineBuilder text("", "x", 1);
  text << "caf\xE9 " << static_cast<const char*>(nullptr) << L" " << 42;
  EXPECT_EQ(text.str(), L"[   1] caf\x00E9 (null) 42");

  ATL::CStringW error;
  LogUtils::GetErrorText(error, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(error.Find(L"0x00000002:"), 0) << error.GetString();
  EXPECT_EQ(error.Find(L"\r"), -1);
  EXPECT_EQ(error.Find(L"\n"), -1);
  LogUtils::GetErrorText(error, 0xE0001234);
  EXPECT_EQ(error, L"0xe0001234");  // no system text for it
  SetLastError(ERROR_ACCESS_DENIED);
  LogUtils::GetLastErrorText(error);
  EXPECT_EQ(error.Find(L"5:"), 0) << error.GetString();

  LogUtils::FormatTextW(error, TRUE, L"%s-%d", L"a", 1);
  EXPECT_EQ(error, L"a-1");
  LogUtils::FormatTextW(error, FALSE, L"%s-%d");
  EXPECT_EQ(error, L"%s-%d");
  ATL::CStringA narrow;
  LogUtils::FormatTextA(narrow, TRUE, "%03d", 7);
  EXPECT_EQ(narrow, "007");
}

}  // namespace
