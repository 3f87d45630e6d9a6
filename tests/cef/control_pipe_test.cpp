#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "testing/control_client.h"

namespace {

using cefengine::JournalEntry;
using cefengine::test::ControlClient;

std::wstring ProbePath() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L'\\') + 1) + L"cef_control_probe.exe";
}

// The probe process, started with its own pipe name; ended at the end of the test whatever happened.
class ControlProbe {
 public:
  ControlProbe() {
    pipe_ = L"cefengine-control-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter_);
    SetEnvironmentVariableW(L"BRIVELO_CEF_CONTROL", pipe_.c_str());
    std::wstring line = L"\"" + ProbePath() + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    started_ = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
    SetEnvironmentVariableW(L"BRIVELO_CEF_CONTROL", nullptr);
  }
  ~ControlProbe() {
    if (!started_)
      return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0)
      TerminateProcess(process_.hProcess, 9);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  bool started() const { return started_; }
  const std::wstring& pipe() const { return pipe_; }
  // Exit code, or STILL_ACTIVE when it did not end within `timeout_ms`.
  DWORD WaitExit(DWORD timeout_ms) {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_.hProcess, timeout_ms) == WAIT_OBJECT_0)
      GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

 private:
  static int counter_;
  std::wstring pipe_;
  bool started_ = false;
  PROCESS_INFORMATION process_ = {};
};

int ControlProbe::counter_ = 0;

TEST(ControlPipe, DrivesARunningBrowserProcessAndEndsIt) {
  ControlProbe probe;
  ASSERT_TRUE(probe.started());
  ControlClient client;
  ASSERT_TRUE(client.Connect(probe.pipe(), 30000));

  Json::Value result;
  std::string error;
  ASSERT_TRUE(client.Call("ping", Json::Value(), &result, &error)) << error;
  EXPECT_EQ("pong", result.asString());

  // The engine's own start-up, seen from outside, from its first entry: the first UI task ran on the UI thread.
  ASSERT_TRUE(client.WaitFor("OnContextInitialized", 1, 10000));
  std::vector<JournalEntry> journal = client.Journal();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ("CefInitialize", journal.front().kind);
  bool seen = false;
  for (const JournalEntry& entry : journal) {
    if (entry.kind == "OnContextInitialized") {
      seen = true;
      EXPECT_EQ("UI", entry.thread);
      EXPECT_EQ('B', entry.process);
    }
  }
  EXPECT_TRUE(seen);
  // Paging from a sequence number leaves out what came before.
  uint64_t last = journal.back().seq;
  std::vector<JournalEntry> tail = client.Journal(last);
  ASSERT_FALSE(tail.empty());
  EXPECT_EQ(last, tail[0].seq);
  EXPECT_LT(tail.size(), journal.size());

  ASSERT_TRUE(client.Call("quiesce", Json::Value(), &result, &error)) << error;
  EXPECT_TRUE(result.asBool());

  ASSERT_TRUE(client.Call("quit", Json::Value(), &result, &error)) << error;
  client.Disconnect();
  EXPECT_EQ(0u, probe.WaitExit(30000));
}

TEST(ControlPipe, RefusesBadRequestsWithoutDroppingTheClientAndTakesANewClient) {
  ControlProbe probe;
  ASSERT_TRUE(probe.started());
  {
    ControlClient client;
    ASSERT_TRUE(client.Connect(probe.pipe(), 30000));
    Json::Value result;
    std::string error;
    EXPECT_FALSE(client.Call("no-such-command", Json::Value(), &result, &error));
    EXPECT_EQ("unknown command no-such-command", error);
    Json::Value args;  // a wait without a kind
    EXPECT_FALSE(client.Call("wait", args, &result, &error));
    EXPECT_FALSE(error.empty());
    // A timed-out wait is an answer, not a failure.
    args["kind"] = "NeverRecorded";
    args["timeout_ms"] = 50;
    ASSERT_TRUE(client.Call("wait", args, &result, &error)) << error;
    EXPECT_FALSE(result.asBool());
    // Still connected after the refusals.
    ASSERT_TRUE(client.Call("ping", Json::Value(), &result, &error)) << error;
  }
  // The first client left; a second one is served.
  ControlClient second;
  ASSERT_TRUE(second.Connect(probe.pipe(), 30000));
  Json::Value result;
  std::string error;
  ASSERT_TRUE(second.Call("ping", Json::Value(), &result, &error)) << error;
  ASSERT_TRUE(second.Call("quit", Json::Value(), &result, &error)) << error;
  second.Disconnect();
  EXPECT_EQ(0u, probe.WaitExit(30000));
}

// Polls the probe's browser list until `pred` holds for the first browser.
bool WaitForBrowser(ControlClient& client, const std::function<bool(const Json::Value&)>& pred, Json::Value* seen) {
  for (int i = 0; i < 200; ++i) {
    Json::Value result;
    std::string error;
    if (!client.Call("browsers", Json::Value(), &result, &error))
      return false;
    if (result.isArray() && result.size() == 1 && pred(result[0])) {
      *seen = result[0];
      return true;
    }
    Sleep(50);
  }
  return false;
}

TEST(ControlPipe, LoadsAPageFromTheNetworkTableAndPlaysPageActionsFromOutside) {
  ControlProbe probe;
  ASSERT_TRUE(probe.started());
  ControlClient client;
  ASSERT_TRUE(client.Connect(probe.pipe(), 30000));
  Json::Value result;
  std::string error;

  Json::Value response;
  response["url"] = "http://pages.test/first.html";
  response["status"] = 200;
  response["mime"] = "text/html";
  response["body"] = "<html><head><title>First page</title></head><body></body></html>";
  ASSERT_TRUE(client.Call("set_http_response", response, &result, &error)) << error;
  response["url"] = "http://pages.test/second.html";
  response["body"] = "<html><title>Second page</title></html>";
  ASSERT_TRUE(client.Call("set_http_response", response, &result, &error)) << error;

  Json::Value create;
  create["url"] = "http://pages.test/first.html";
  ASSERT_TRUE(client.Call("create_browser", create, &result, &error)) << error;
  ASSERT_TRUE(result.asBool());
  Json::Value browser;
  ASSERT_TRUE(WaitForBrowser(client, [](const Json::Value& b) {
    return b["title"].asString() == "First page" && !b["loading"].asBool();
  }, &browser));
  EXPECT_TRUE(browser["windowless"].asBool());
  EXPECT_EQ("http://pages.test/first.html", browser["url"].asString());

  // The page navigates itself, then changes its title.
  Json::Value action;
  action["browser"] = browser["id"];
  action["url"] = "http://pages.test/second.html";
  ASSERT_TRUE(client.Call("page_navigate", action, &result, &error)) << error;
  EXPECT_TRUE(result.asBool());
  ASSERT_TRUE(WaitForBrowser(client, [](const Json::Value& b) {
    return b["title"].asString() == "Second page" && !b["loading"].asBool();
  }, &browser));
  action["title"] = "Renamed";
  ASSERT_TRUE(client.Call("page_set_title", action, &result, &error)) << error;
  ASSERT_TRUE(WaitForBrowser(client, [](const Json::Value& b) { return b["title"].asString() == "Renamed"; },
                             &browser));

  // Page actions need an open browser.
  action["browser"] = 999;
  EXPECT_FALSE(client.Call("page_set_title", action, &result, &error));
  EXPECT_EQ("no browser 999", error);

  ASSERT_TRUE(client.Call("quit", Json::Value(), &result, &error)) << error;
  client.Disconnect();
  EXPECT_EQ(0u, probe.WaitExit(30000));
}

}  // namespace
