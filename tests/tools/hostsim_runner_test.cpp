// The host simulator driven from a test as a host lives with the browser: commands written
// while its events are read, each run with its own channel id and control pipe, every wait
// bounded, and the whole process tree ended at the end.
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/control_client.h"
#include "tests/tools/test_files.h"
#include "tools/hostsim/hostsim_runner.h"

namespace {

using hostsim::HostsimRunner;
using hostsim::RunnerOptions;

constexpr DWORD kEventWaitMs = 20000;

// The stand-in browser's record of its environment.
std::string EnvLine(const std::wstring& record) {
  for (const std::string& line : ReadLines(record)) {
    if (line.rfind("{\"env\":", 0) == 0) return line;
  }
  return "(no environment recorded)";
}

RunnerOptions FakeBrowser(std::vector<std::wstring> args = {}) {
  RunnerOptions options;
  options.exe = ExeDir() + L"fake_browser.exe";
  options.args = std::move(args);
  return options;
}

DWORD ProcessOfWindow(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

bool Contains(const std::vector<DWORD>& pids, DWORD pid) {
  for (DWORD p : pids) {
    if (p == pid) return true;
  }
  return false;
}

bool ProcessEnded(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return true;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

TEST(HostsimRunner, WritesCommandsAsEventsArriveAndEndsWithTheBrowser) {
  const std::wstring record = TempFile(L"runner_record.txt");
  DeleteFileW(record.c_str());
  HostsimRunner run;
  ASSERT_TRUE(run.Start(FakeBrowser({L"--switch=--record=" + record, L"--url=about:blank"}))) << run.Transcript();

  // Event 1 first; only then the load, whose events come back in turn.
  Json::Value created;
  ASSERT_TRUE(run.WaitForEvent("BrowserCreated", 256, kEventWaitMs, &created)) << run.Transcript();
  const HWND root = HostsimRunner::WindowOfEvent(created);
  ASSERT_NE(nullptr, root);
  ASSERT_TRUE(run.Send("load 256 \"http://example.test/a b\""));
  Json::Value end;
  ASSERT_TRUE(run.WaitForEvent("MsgToHostLoadEnd", 256, kEventWaitMs, &end)) << run.Transcript();
  EXPECT_EQ("http://example.test/a b", end["url"].asString());
  // Waits take the first unconsumed match wherever it is: the title came before the load end.
  Json::Value title;
  ASSERT_TRUE(run.WaitForEvent("TitleChange", -1, kEventWaitMs, &title));
  EXPECT_EQ("title \"of\" http://example.test/a b", title["title"].asString());
  // A consumed line answers no second wait; a wait that nothing answers ends at its timeout.
  const ULONGLONG before = GetTickCount64();
  EXPECT_FALSE(run.WaitForEvent("LoadEnd", 256, 300));
  const ULONGLONG waited = GetTickCount64() - before;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 5000u);
  // A line seen is still found, consumed or not; the view must match.
  EXPECT_TRUE(run.Find([](const Json::Value& v) { return v["event"] == "MsgToHostLoadEnd"; }));
  EXPECT_FALSE(run.WaitForEvent("CallHost", 512, 200));
  Json::Value call;
  ASSERT_TRUE(run.WaitForEvent("CallHost", 256, kEventWaitMs, &call));
  EXPECT_EQ("cbKey", call["callback"].asString());

  ASSERT_TRUE(run.Send("close 256"));
  EXPECT_TRUE(run.WaitForEvent("WindowDestroyed", 256, kEventWaitMs)) << run.Transcript();
  int code = -1;
  ASSERT_TRUE(run.WaitForBrowserExit(kEventWaitMs, &code)) << run.Transcript();
  EXPECT_EQ(0, code);
  DWORD hostsim_code = 99;
  ASSERT_TRUE(run.WaitForExit(kEventWaitMs, &hostsim_code));
  EXPECT_EQ(0u, hostsim_code);
  EXPECT_TRUE(run.WaitForTreeEnd(kEventWaitMs)) << ::testing::PrintToString(run.LiveProcesses());
  // hostsim's output has ended: a wait no line can answer returns at once.
  const ULONGLONG after_exit = GetTickCount64();
  EXPECT_FALSE(run.WaitForEvent("LoadEnd", -1, 10000));
  EXPECT_LT(GetTickCount64() - after_exit, 5000u);

  // The browser got the commands in the order they were written.
  const std::vector<std::string> received = ReadLines(record);
  ASSERT_EQ(3u, received.size()) << run.Transcript();
  EXPECT_EQ(0u, received[1].find("{\"command\":\"MsgToBrowserLoadUrl\""));
  EXPECT_EQ(0u, received[2].find("{\"command\":\"MsgToBrowserClose\""));
  // The first line hostsim printed is its launch line, with the runner's channel id.
  const std::vector<std::string> lines = run.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(0u, lines[0].find("{\"hostsim\":\"launch\"")) << lines[0];
  EXPECT_NE(std::string::npos, lines[0].find("--tab_ids=hostsim.test.")) << lines[0];
  DeleteFileW(record.c_str());
}

TEST(HostsimRunner, GivesEveryRunItsOwnIdPipeAndEnvironment) {
  const std::wstring record = TempFile(L"runner_env.txt");
  DeleteFileW(record.c_str());
  HostsimRunner first;
  HostsimRunner second;
  EXPECT_NE(first.id(), second.id());
  EXPECT_NE(first.control_pipe(), second.control_pipe());

  RunnerOptions options = FakeBrowser({L"--switch=--record=" + record,
                                       L"--switch=--record-env=BRIVELO_CEF_CONTROL;BRIVELO_CEF_STRICT;RUNNER_MARK;TEMP"});
  options.environment = {{L"RUNNER_MARK", L"a b"}, {L"TEMP", L""}};
  ASSERT_TRUE(first.Start(options)) << first.Transcript();
  ASSERT_TRUE(first.WaitForEvent("BrowserCreated", 256, kEventWaitMs)) << first.Transcript();
  const std::string expected = "{\"env\":{\"BRIVELO_CEF_CONTROL\":\"" +
                               std::string(first.control_pipe().begin(), first.control_pipe().end()) +
                               "\",\"BRIVELO_CEF_STRICT\":\"1\",\"RUNNER_MARK\":\"a b\",\"TEMP\":null}}";
  EXPECT_EQ(expected, EnvLine(record));
  first.Kill();

  // Strict mode can be left off.
  DeleteFileW(record.c_str());
  options.strict = false;
  ASSERT_TRUE(second.Start(options)) << second.Transcript();
  ASSERT_TRUE(second.WaitForEvent("BrowserCreated", 256, kEventWaitMs)) << second.Transcript();
  const std::string env = EnvLine(record);
  EXPECT_NE(std::string::npos, env.find("\"BRIVELO_CEF_STRICT\":null")) << env;
  second.Kill();
  DeleteFileW(record.c_str());
}

TEST(HostsimRunner, TwoRunsAtOnceReachTheirOwnBrowserThroughTheirOwnControlPipe) {
  // The control probe serves BRIVELO_CEF_CONTROL as the product does, and ends on "quit".
  HostsimRunner runs[2];
  for (HostsimRunner& run : runs) {
    RunnerOptions options;
    options.exe = ExeDir() + L"cef_control_probe.exe";
    ASSERT_TRUE(run.Start(options)) << run.Transcript();
  }
  for (HostsimRunner& run : runs) {
    cefengine::test::ControlClient client;
    ASSERT_TRUE(client.Connect(run.control_pipe(), 30000)) << run.Transcript();
    Json::Value result;
    std::string error;
    ASSERT_TRUE(client.Call("ping", Json::Value(), &result, &error)) << error;
    EXPECT_EQ("pong", result.asString());
    ASSERT_TRUE(client.Call("quit", Json::Value(), &result, &error)) << error;
    client.Disconnect();
    int code = -1;
    ASSERT_TRUE(run.WaitForBrowserExit(kEventWaitMs, &code)) << run.Transcript();
    EXPECT_EQ(0, code);
  }
}

TEST(HostsimRunner, KillEndsTheWholeTreeEvenAfterHostsimItselfIsGone) {
  HostsimRunner run;
  ASSERT_TRUE(run.Start(FakeBrowser())) << run.Transcript();
  Json::Value created;
  ASSERT_TRUE(run.WaitForEvent("BrowserCreated", 256, kEventWaitMs, &created)) << run.Transcript();
  const DWORD browser = ProcessOfWindow(HostsimRunner::WindowOfEvent(created));
  ASSERT_NE(0u, browser);
  std::vector<DWORD> live = run.LiveProcesses();
  EXPECT_TRUE(Contains(live, run.hostsim_pid()));
  EXPECT_TRUE(Contains(live, browser));

  // The host dies; the stand-in browser (which watches nothing) lives on, still in the tree.
  ASSERT_TRUE(run.Send("kill-self"));
  DWORD code = 0;
  ASSERT_TRUE(run.WaitForExit(kEventWaitMs, &code));
  EXPECT_EQ(9u, code);
  live = run.LiveProcesses();
  EXPECT_FALSE(Contains(live, run.hostsim_pid()));
  EXPECT_TRUE(Contains(live, browser));
  EXPECT_FALSE(run.WaitForTreeEnd(300));

  run.Kill();
  EXPECT_TRUE(ProcessEnded(browser));
  EXPECT_TRUE(run.LiveProcesses().empty());
  EXPECT_FALSE(run.Send("quit"));
  run.Kill();  // twice is harmless
}

TEST(HostsimRunner, ReportsAHostsimThatCannotStart) {
  HostsimRunner run;
  RunnerOptions options;
  options.hostsim = ExeDir() + L"no-such-hostsim.exe";
  EXPECT_FALSE(run.Start(options));
  EXPECT_NE(std::string::npos, run.Transcript().find("runner: hostsim did not start")) << run.Transcript();
  EXPECT_FALSE(run.WaitForEvent("BrowserCreated", -1, 10000));
  EXPECT_FALSE(run.Start(FakeBrowser()));
  run.Kill();
}

}  // namespace
