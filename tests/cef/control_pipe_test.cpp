#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/journal.h"
#include "include/internal/cef_types.h"
#include "testing/control_client.h"
#include "testing/control_json.h"
#include "tests/cef/probe_paths.h"

namespace {

using cefengine::JournalEntry;
using cefengine::test::ControlClient;

// The probe process, started with its own pipe name; ended at the end of the test whatever happened.
class ControlProbe {
 public:
  // `fail_initialize`: started with BRIVELO_CEF_FAIL_INITIALIZE=1.
  explicit ControlProbe(bool fail_initialize = false) {
    pipe_ = L"cefengine-control-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter_);
    SetEnvironmentVariableW(L"BRIVELO_CEF_CONTROL", pipe_.c_str());
    if (fail_initialize)
      SetEnvironmentVariableW(L"BRIVELO_CEF_FAIL_INITIALIZE", L"1");
    std::wstring line = L"\"" + probe_paths::ControlProbePath() + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    started_ = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_);
    SetEnvironmentVariableW(L"BRIVELO_CEF_CONTROL", nullptr);
    SetEnvironmentVariableW(L"BRIVELO_CEF_FAIL_INITIALIZE", nullptr);
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
  // A limit gives the first entries only; the client reads page by page and misses nothing.
  Json::Value page_args;
  page_args["limit"] = 2;
  ASSERT_TRUE(client.Call("journal", page_args, &result, &error)) << error;
  ASSERT_EQ(2u, result.size());
  EXPECT_EQ("CefInitialize", result[0]["kind"].asString());
  EXPECT_LT(result[0]["seq"].asUInt64(), result[1]["seq"].asUInt64());
  page_args["limit"] = -1;
  EXPECT_FALSE(client.Call("journal", page_args, &result, &error));
  client.SetJournalPage(3);
  std::vector<JournalEntry> paged = client.Journal(0);
  ASSERT_GE(paged.size(), journal.size());
  for (size_t i = 0; i < journal.size(); ++i)
    EXPECT_EQ(journal[i].seq, paged[i].seq);

  ASSERT_TRUE(client.Call("quiesce", Json::Value(), &result, &error)) << error;
  EXPECT_TRUE(result.asBool());

  ASSERT_TRUE(client.Call("quit", Json::Value(), &result, &error)) << error;
  client.Disconnect();
  EXPECT_EQ(0u, probe.WaitExit(30000));
}

TEST(ControlPipe, AProcessWhoseStartUpTheEnvironmentFailsEndsWithoutServing) {
  ControlProbe probe(true);
  ASSERT_TRUE(probe.started());
  // The probe's own exit code for a failed CefInitialize.
  EXPECT_EQ(2u, probe.WaitExit(30000));
  ControlClient client;
  EXPECT_FALSE(client.Connect(probe.pipe(), 200));
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
    // Waits are bounded: the pipe serves nothing else meanwhile.
    args["timeout_ms"] = 600000;
    EXPECT_FALSE(client.Call("wait", args, &result, &error));
    EXPECT_EQ("wait: timeout_ms must be 0-60000", error);
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

// Renderer launches under Wine take up to a second, more under load.
const int kRendererWaitMs = 20000;

// Polls the probe's browser list until `pred` holds for the first browser.
bool WaitForBrowser(ControlClient& client, const std::function<bool(const Json::Value&)>& pred, Json::Value* seen) {
  for (int i = 0; i < kRendererWaitMs / 50; ++i) {
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
  EXPECT_EQ("page_set_title: no browser 999", error);

  ASSERT_TRUE(client.Call("quit", Json::Value(), &result, &error)) << error;
  client.Disconnect();
  EXPECT_EQ(0u, probe.WaitExit(30000));
}


Json::Value ParseArgs(const std::string& text) {
  Json::Value value;
  std::string error;
  EXPECT_TRUE(cefengine::ParseJsonLine(text, &value, &error)) << text << ": " << error;
  return value;
}

// A probe process with a connected client and one browser showing a page served from the network table.
class ProbeSession {
 public:
  ProbeSession() {
    if (!probe_.started() || !client_.Connect(probe_.pipe(), 30000))
      return;
    Json::Value response;
    response["url"] = "http://pages.test/probe.html";
    response["status"] = 200;
    response["mime"] = "text/html";
    response["body"] = "<html><head><title>Probe page</title></head><body></body></html>";
    Json::Value create;
    create["url"] = "http://pages.test/probe.html";
    Json::Value browser;
    Ok("set_http_response", response);
    if (Ok("create_browser", create).asBool() &&
        WaitForBrowser(client_, [](const Json::Value& b) {
          return b["title"].asString() == "Probe page" && !b["loading"].asBool();
        }, &browser))
      browser_ = browser["id"].asInt();
    else
      ADD_FAILURE() << "no page: " << Ok("browsers").toStyledString();
  }
  // Ends the probe with "quit"; its exit code must say it shut down in order.
  ~ProbeSession() {
    if (!probe_.started())
      return;
    Json::Value result;
    std::string error;
    EXPECT_TRUE(client_.Call("quit", Json::Value(), &result, &error)) << "quit: " << error;
    client_.Disconnect();
    EXPECT_EQ(0u, probe_.WaitExit(30000));
  }

  // The browser showing the page; 0 when the set-up failed.
  int browser() const { return browser_; }
  ControlClient& client() { return client_; }

  // A command that must succeed; its result.
  Json::Value Ok(const std::string& cmd, Json::Value args = Json::Value()) {
    Json::Value result;
    std::string error;
    EXPECT_TRUE(client_.Call(cmd, args, &result, &error)) << cmd << ": " << error;
    return result;
  }
  // As Ok, with the page's browser added to the arguments given as JSON text.
  Json::Value OnPage(const std::string& cmd, const std::string& args = "{}") {
    Json::Value value = ParseArgs(args);
    value["browser"] = browser_;
    return Ok(cmd, value);
  }
  // A command that must be refused; its error.
  std::string Refused(const std::string& cmd, const Json::Value& args) {
    Json::Value result;
    std::string error;
    EXPECT_FALSE(client_.Call(cmd, args, &result, &error)) << cmd << " answered " << result.toStyledString();
    return error;
  }

  // Polls the journal (from entry `from` on) until an entry satisfies `pred`, within kRendererWaitMs.
  bool WaitForEntry(uint64_t from, const std::function<bool(const JournalEntry&)>& pred, JournalEntry* found) {
    ULONGLONG end = GetTickCount64() + kRendererWaitMs;
    do {
      for (const JournalEntry& entry : client_.Journal(from)) {
        if (pred(entry)) {
          *found = entry;
          return true;
        }
      }
      Sleep(20);
    } while (GetTickCount64() < end);
    return false;
  }
  // The sequence number the next journal entry will get (at least).
  uint64_t JournalEnd() {
    std::vector<JournalEntry> entries = client_.Journal();
    return entries.empty() ? 0 : entries.back().seq + 1;
  }

 private:
  ControlProbe probe_;
  ControlClient client_;
  int browser_ = 0;
};

TEST(ControlPipe, CallsPageScriptInTheRealRendererOfTheProbe) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());

  // The browser's renderer is a sub-process of the probe's own executable.
  Json::Value pid = session.OnPage("renderer_process");
  ASSERT_NE(0u, pid.asUInt());
  bool listed = false;
  for (const Json::Value& child : session.Ok("child_processes")) {
    if (child["pid"].asUInt() != pid.asUInt())
      continue;
    listed = true;
    EXPECT_EQ(session.browser(), child["browser"].asInt());
    EXPECT_NE(std::string::npos, child["command_line"].asString().find("--type=renderer"));
    EXPECT_TRUE(child["connected"].asBool());
    EXPECT_FALSE(child["ended"].asBool());
  }
  EXPECT_TRUE(listed);

  // The page calls the probe with a callback; the callback's call is recorded by the renderer process.
  uint64_t mark = session.JournalEnd();
  Json::Value call = session.OnPage("renderer_call", R"({"path": "probe.callBack", "args": [
      {"fn": {"name": "cb", "returns": {"int": 7}}}, {"str": "hello"}, {"obj": [["k", {"bool": true}]]}]})");
  EXPECT_TRUE(call["ran"].asBool());
  EXPECT_FALSE(call["threw"].asBool());
  EXPECT_EQ("int", call["type"].asString());
  EXPECT_EQ("7", call["value"].asString());
  JournalEntry entry;
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) {
    return e.kind == "PageFn" && !e.args.empty() && e.args[0] == "cb";
  }, &entry));
  EXPECT_EQ('R', entry.process);
  EXPECT_EQ("RENDERER", entry.thread);
  EXPECT_EQ(session.browser(), entry.browser);
  ASSERT_EQ(3u, entry.args.size());
  EXPECT_EQ("hello", entry.args[1]);

  // A callback that throws: the exception reaches the page line that called the probe.
  call = session.OnPage("renderer_call", R"({"path": "probe.callBack",
      "args": [{"fn": {"name": "bad", "throws": "boom"}}]})");
  EXPECT_TRUE(call["ran"].asBool());
  EXPECT_TRUE(call["threw"].asBool());
  EXPECT_NE(std::string::npos, call["exception"].asString().find("boom")) << call["exception"].asString();
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) {
    return e.kind == "PageFn" && !e.args.empty() && e.args[0] == "bad";
  }, &entry));
  EXPECT_EQ('R', entry.process);
  // A path the page does not have throws as script would.
  call = session.OnPage("renderer_call", R"({"path": "nothing.here"})");
  EXPECT_TRUE(call["ran"].asBool());
  EXPECT_TRUE(call["threw"].asBool());

  // The read-only property reads as such, and an assignment leaves it as it was.
  Json::Value read = session.OnPage("renderer_get", R"({"path": "probe.name"})");
  EXPECT_TRUE(read["ran"].asBool());
  EXPECT_EQ("string", read["type"].asString());
  EXPECT_EQ("control-probe", read["value"].asString());
  EXPECT_TRUE(read["read_only"].asBool());
  Json::Value assigned = session.OnPage("renderer_assign", R"({"path": "probe.name", "value": {"str": "changed"}})");
  EXPECT_TRUE(assigned["ran"].asBool());
  EXPECT_FALSE(assigned["threw"].asBool());
  EXPECT_EQ("control-probe", assigned["value"].asString());
  EXPECT_EQ("control-probe", session.OnPage("renderer_get", R"({"path": "probe.name"})")["value"].asString());
  // An explicit frame: the main frame's id, as a page of this browser names it.
  Json::Value frame_args = ParseArgs(R"({"path": "probe.name"})");
  frame_args["browser"] = session.browser();
  frame_args["frame"] = Json::Int64(entry.frame);
  EXPECT_EQ("control-probe", session.Ok("renderer_get", frame_args)["value"].asString());

  // What the renderer sends the browser keeps its types.
  call = session.OnPage("renderer_call", R"({"path": "probe.send", "args": [{"str": "from-page"}, {"str": "x"},
      {"int": 3}, {"bool": true}, {"double": 1.5}, {"undefined": true}]})");
  EXPECT_EQ("true", call["value"].asString());
  Json::Value sent;
  ULONGLONG end = GetTickCount64() + kRendererWaitMs;
  while (sent.empty() && GetTickCount64() < end) {
    for (const Json::Value& message : session.OnPage("sent_to_browser"))
      if (message["name"].asString() == "from-page")
        sent = message["args"];
    Sleep(20);
  }
  EXPECT_EQ(ParseArgs(R"([{"str": "x"}, {"int": 3}, {"bool": true}, {"double": 1.5}, {"null": true}])"), sent);

  // The renderer recorded its own steps, as the renderer; it never started an engine (nor a control pipe) of its
  // own, though it inherited the pipe's name.
  bool context_created = false;
  for (const JournalEntry& e : session.client().Journal()) {
    if (e.process != 'R')
      continue;
    EXPECT_NE("CefInitialize", e.kind);
    if (e.kind == "OnContextCreated" && e.browser == session.browser())
      context_created = true;
  }
  EXPECT_TRUE(context_created);
}

TEST(ControlPipe, RefusesMalformedPageValuesNamingTheFaultAndStaysUsable) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());
  struct Case {
    const char* cmd;
    const char* args;  // the browser is added
    const char* error;
  };
  const Case cases[] = {
      {"renderer_call", R"({"path": "probe.callBack", "args": 5})",
       "renderer_call: args must be an array of page values"},
      {"renderer_call", R"({"path": "probe.callBack", "args": [7]})",
       "renderer_call: args[0]: a page value is an object with one key"},
      {"renderer_call", R"({"path": "p", "args": [{"str": "a", "int": 1}]})",
       "renderer_call: args[0]: a page value is an object with one key"},
      {"renderer_call", R"({"path": "p", "args": [{"str": "ok"}, {"text": "x"}]})",
       "renderer_call: args[1]: unknown page value kind \"text\""},
      {"renderer_call", R"({"path": "p", "args": [{"str": 1}]})", "renderer_call: args[0].str: must be a string"},
      {"renderer_call", R"({"path": "p", "args": [{"int": 1.5}]})",
       "renderer_call: args[0].int: must be a 32-bit integer"},
      {"renderer_call", R"({"path": "p", "args": [{"int": 4294967296}]})",
       "renderer_call: args[0].int: must be a 32-bit integer"},
      {"renderer_call", R"({"path": "p", "args": [{"double": "1"}]})",
       "renderer_call: args[0].double: must be a number"},
      {"renderer_call", R"({"path": "p", "args": [{"null": false}]})", "renderer_call: args[0].null: must be true"},
      {"renderer_call", R"({"path": "p", "args": [{"obj": [["k"]]}]})",
       "renderer_call: args[0].obj[0]: a member is [name, value] with a string name"},
      {"renderer_call", R"({"path": "p", "args": [{"obj": [["k", {"bool": 1}]]}]})",
       "renderer_call: args[0].obj[0].bool: must be true or false"},
      {"renderer_call", R"({"path": "p", "args": [{"fn": "cb"}]})",
       "renderer_call: args[0].fn: must be an object {name?, returns? | throws?, then?}"},
      {"renderer_call", R"({"path": "p", "args": [{"fn": {"nam": "cb"}}]})",
       "renderer_call: args[0].fn: unknown field \"nam\""},
      {"renderer_call", R"({"path": "p", "args": [{"fn": {"returns": {"int": 1}, "throws": "x"}}]})",
       "renderer_call: args[0].fn: a function either returns or throws"},
      {"renderer_call", R"({"path": "p", "args": [{"fn": {"returns": {"int": "1"}}}]})",
       "renderer_call: args[0].fn.returns.int: must be a 32-bit integer"},
      {"renderer_call", R"({"path": "p", "args": [{"fn": {"then": {"path": "x", "times": -1}}}]})",
       "renderer_call: args[0].fn.then: must be an object {path, args?, times} with a path and times of at least 0"},
      {"renderer_call", R"({"path": "p", "args": [{"fn": {"then": {"path": "x", "times": 1, "when": 2}}}]})",
       "renderer_call: args[0].fn.then: unknown field \"when\""},
      {"renderer_call", R"({"path": "p", "args": [{"fn": {"then": {"path": "x", "times": 1, "args": [{"int": "2"}]}}}]
       })",
       "renderer_call: args[0].fn.then.args[0].int: must be a 32-bit integer"},
      {"renderer_call", R"({"path": "p", "args": [{"global": 3}]})", "renderer_call: args[0].global: must be a string"},
      {"renderer_call", R"({"args": []})", "renderer_call: needs path"},
      {"renderer_call", R"({"path": "p", "frame": "main"})", "renderer_call: frame must be a 64-bit integer"},
      {"renderer_assign", R"({"path": "probe.name"})", "renderer_assign: needs value"},
      {"renderer_assign", R"({"path": "probe.name", "value": []})",
       "renderer_assign: value: a page value is an object with one key"},
  };
  for (const Case& c : cases) {
    Json::Value args = ParseArgs(c.args);
    args["browser"] = session.browser();
    std::string error = session.Refused(c.cmd, args);
    EXPECT_EQ(0u, error.find(c.error)) << c.args << " gave: " << error;
    EXPECT_EQ("pong", session.Ok("ping").asString()) << c.args;
  }

  // Nesting beyond the limit is refused, however deep the value goes.
  std::string deep = R"({"str": "bottom"})";
  for (int i = 0; i < 40; ++i)
    deep = R"({"obj": [["k", )" + deep + "]]}";
  Json::Value args = ParseArgs(R"({"path": "p"})");
  args["browser"] = session.browser();
  args["args"].append(ParseArgs(deep));
  EXPECT_NE(std::string::npos, session.Refused("renderer_call", args).find("nested deeper than 16 levels"));

  // Arguments of the wrong shape are refused before any command reads them.
  EXPECT_EQ("renderer_get: arguments must be an object", session.Refused("renderer_get", ParseArgs("[1, 2]")));
  EXPECT_EQ("journal: arguments must be an object", session.Refused("journal", Json::Value("text")));
  // A sequence number that is not one reads the whole journal rather than failing.
  EXPECT_FALSE(session.Ok("journal", ParseArgs(R"({"from": -1})")).empty());

  // The deepest value accepted still runs, and so does a plain call afterwards.
  std::string accepted = R"({"str": "bottom"})";
  for (int i = 0; i < 16; ++i)
    accepted = R"({"obj": [["k", )" + accepted + "]]}";
  args["args"][0] = ParseArgs(accepted);
  args["path"] = "probe.callBack";
  args["args"].insert(0, ParseArgs(R"({"fn": {"name": "deep"}})"));
  Json::Value call = session.Ok("renderer_call", args);
  EXPECT_TRUE(call["ran"].asBool());
  EXPECT_FALSE(call["threw"].asBool()) << call["exception"].asString();
  EXPECT_EQ("control-probe", session.OnPage("renderer_get", R"({"path": "probe.name"})")["value"].asString());
}

TEST(ControlPipe, PlaysPageActionsWhoseCallbacksShowInTheJournal) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());
  struct Case {
    const char* cmd;
    const char* args;  // the browser is added
    const char* kind;  // journal entry the action causes
    const char* arg0;  // its first argument
  };
  const Case cases[] = {
      {"page_console", R"({"message": "hello console", "source": "page.js", "line": 7})",
       "OnConsoleMessage", "hello console"},
      {"page_fullscreen", R"({"fullscreen": true})", "OnFullscreenModeChange", "true"},
      {"page_tooltip", R"({"text": "a tip"})", "OnTooltip", "a tip"},
      {"page_cursor", R"({"type": 2})", "OnCursorChange", "2"},
      {"user_key", R"({"type": 0, "windows_key_code": 65})", "OnPreKeyEvent", "0"},
      {"page_alert", R"({"type": 0, "message": "hi there"})", "OnJSDialog", "0"},
      {"page_geolocation", R"({"url": "http://pages.test/"})", "OnRequestGeolocationPermission", "http://pages.test/"},
      {"page_quota", R"({"origin": "http://pages.test/", "size": 5000000000})", "OnQuotaRequest", "http://pages.test/"},
      {"page_download", R"({"url": "http://pages.test/file.bin", "name": "file.bin", "body": "abc"})",
       "OnBeforeDownload", nullptr},
      {"page_show_popup_widget", R"({"x": 1, "y": 2, "width": 30, "height": 40})", "OnPopupShow", "true"},
      {"page_hide_popup_widget", "{}", "OnPopupShow", "false"},
      {"page_embed_plugin", R"({"mime": "application/pdf", "url": "http://pages.test/doc.pdf"})",
       "OnBeforePluginLoad", "application/pdf"},
      {"page_open_window", R"({"url": "http://pages.test/popup.html"})", "OnBeforePopup", nullptr},
      {"page_context_menu", R"({"type_flags": 1, "x": 5, "y": 6})", "OnBeforeContextMenu", "1"},
  };
  for (const Case& c : cases) {
    uint64_t mark = session.JournalEnd();
    Json::Value answer = session.OnPage(c.cmd, c.args);
    EXPECT_TRUE(answer.isBool() ? answer.asBool() : answer.asInt() > 0) << c.cmd;
    JournalEntry entry;
    ASSERT_TRUE(session.WaitForEntry(mark, [&](const JournalEntry& e) {
      return e.kind == c.kind && e.browser == session.browser() &&
             (!c.arg0 || (!e.args.empty() && e.args[0] == c.arg0));
    }, &entry)) << c.cmd;
    EXPECT_EQ('B', entry.process) << c.cmd;
  }

  // The engine's menu is open now: its commands, then one chosen.
  Json::Value commands = session.OnPage("open_menu_commands");
  ASSERT_TRUE(commands.isArray());
  ASSERT_FALSE(commands.empty());
  int command = commands[0].asInt();
  uint64_t mark = session.JournalEnd();
  Json::Value choose = ParseArgs("{}");
  choose["browser"] = session.browser();
  choose["command_id"] = command;
  EXPECT_TRUE(session.Ok("choose_menu_command", choose).asBool());
  JournalEntry entry;
  EXPECT_TRUE(session.WaitForEntry(mark, [&](const JournalEntry& e) {
    return e.kind == "OnContextMenuCommand" && !e.args.empty() && e.args[0] == std::to_string(command);
  }, &entry));
  EXPECT_TRUE(session.OnPage("open_menu_commands").empty());

  // Dialog outcomes: an alert the client leaves to the engine, a prompt the client answers a little later.
  Json::Value outcome_args;
  outcome_args["request"] = session.OnPage("page_alert", R"({"type": 0, "message": "alert"})");
  EXPECT_EQ("auto_dismissed", session.Ok("request_outcome", outcome_args)["outcome"].asString());
  outcome_args["request"] = session.OnPage("page_alert", R"({"type": 2, "message": "name?", "default_prompt": "x"})");
  outcome_args["timeout_ms"] = kRendererWaitMs;
  Json::Value outcome = session.Ok("request_outcome", outcome_args);
  EXPECT_EQ("granted", outcome["outcome"].asString());
  EXPECT_EQ("typed", outcome["text"].asString());
  outcome_args["timeout_ms"] = 600000;
  EXPECT_EQ("request_outcome: timeout_ms must be 0-60000", session.Refused("request_outcome", outcome_args));
  outcome_args["request"] = 99999;
  outcome_args["timeout_ms"] = 0;
  EXPECT_EQ("unknown", session.Ok("request_outcome", outcome_args)["outcome"].asString());

  // Arguments each action needs, and their types.
  EXPECT_EQ("page_console: needs message", session.Refused("page_console", ParseArgs(R"({"browser": 1})")));
  Json::Value bad = ParseArgs(R"({"fullscreen": "yes"})");
  bad["browser"] = session.browser();
  EXPECT_EQ("page_fullscreen: fullscreen must be true or false", session.Refused("page_fullscreen", bad));
  bad = ParseArgs(R"({"type": 99, "message": "m"})");
  bad["browser"] = session.browser();
  EXPECT_EQ("page_alert: type must be 0 (alert), 1 (confirm) or 2 (prompt)", session.Refused("page_alert", bad));
  EXPECT_EQ("page_tooltip: browser must be a browser id",
            session.Refused("page_tooltip", ParseArgs(R"({"browser": "1", "text": "t"})")));

  // A focus change is the page renderer's business: its entry comes from the child.
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("focus_node", R"({"state": "editable"})").asBool());
  EXPECT_TRUE(session.WaitForEntry(mark, [&](const JournalEntry& e) {
    return e.kind == "OnFocusedNodeChanged" && e.process == 'R' && !e.args.empty() && e.args[0] == "editable";
  }, &entry));
  bad = ParseArgs(R"({"state": "busy"})");
  bad["browser"] = session.browser();
  EXPECT_EQ("focus_node: state must be \"none\", \"editable\" or \"plain\"", session.Refused("focus_node", bad));

  // A page with a beforeunload handler is asked before it navigates away (the engine's own dialog accepts).
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("page_before_unload", R"({"has_handler": true})").asBool());
  EXPECT_TRUE(session.OnPage("page_navigate", R"({"url": "http://pages.test/probe.html"})").asBool());
  EXPECT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnLoadEnd"; }, &entry));
  std::vector<std::string> order;
  for (const JournalEntry& e : session.client().Journal(mark))
    if (e.kind == "OnBeforeUnloadDialog" || e.kind == "OnLoadStart" || e.kind == "OnLoadEnd")
      order.push_back(e.kind);
  EXPECT_EQ((std::vector<std::string>{"OnBeforeUnloadDialog", "OnLoadStart", "OnLoadEnd"}), order);
  // Then it closes itself.
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("page_close").asBool());
  EXPECT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnBeforeClose"; }, &entry));
  EXPECT_TRUE(session.Ok("browsers").empty());
}

TEST(ControlPipe, CrashedRendererEndsAndTheBrowserHearsOfIt) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());
  unsigned pid = session.OnPage("renderer_process").asUInt();
  ASSERT_NE(0u, pid);
  uint64_t mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("crash_renderer").asBool());

  JournalEntry entry;
  ASSERT_TRUE(session.WaitForEntry(mark, [&](const JournalEntry& e) {
    return e.kind == "OnRenderProcessTerminated" && e.browser == session.browser();
  }, &entry));
  ASSERT_FALSE(entry.args.empty());
  EXPECT_EQ(std::to_string(TS_PROCESS_CRASHED), entry.args[0]);
  // The child is seen to end with the crash's exit code.
  Json::Value ended;
  ULONGLONG end = GetTickCount64() + kRendererWaitMs;
  while (ended.isNull() && GetTickCount64() < end) {
    for (const Json::Value& child : session.Ok("child_processes"))
      if (child["pid"].asUInt() == pid && child["ended"].asBool())
        ended = child;
    Sleep(20);
  }
  ASSERT_FALSE(ended.isNull());
  EXPECT_EQ(0xC0000005u, ended["exit_code"].asUInt());

  // Nothing runs page script any more; the commands still answer.
  EXPECT_FALSE(session.OnPage("renderer_call", R"({"path": "probe.callBack"})")["ran"].asBool());
  EXPECT_EQ(0u, session.OnPage("renderer_process").asUInt());
  EXPECT_FALSE(session.OnPage("crash_renderer").asBool());
  EXPECT_EQ("pong", session.Ok("ping").asString());
}

// Polls a command's answer (an array) until one of its elements satisfies `pred`, within kRendererWaitMs.
Json::Value PollFor(ProbeSession& session, const std::string& cmd, const std::function<bool(const Json::Value&)>& pred) {
  ULONGLONG end = GetTickCount64() + kRendererWaitMs;
  do {
    for (const Json::Value& element : session.OnPage(cmd))
      if (pred(element))
        return element;
    Sleep(20);
  } while (GetTickCount64() < end);
  return Json::Value();
}

TEST(ControlPipe, PlaysLoadFailuresLinksToTabsAndRendererMessagesForTheBrowser) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());
  JournalEntry entry;

  // The next load of a URL fails with the error and text given.
  uint64_t mark = session.JournalEnd();
  session.Ok("fail_next_load", ParseArgs(R"({"url": "http://pages.test/broken.html", "code": -105, "text": "gone"})"));
  EXPECT_TRUE(session.OnPage("page_navigate", R"({"url": "http://pages.test/broken.html"})").asBool());
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnLoadError"; }, &entry));
  ASSERT_GE(entry.args.size(), 3u);
  EXPECT_EQ("-105", entry.args[0]);
  EXPECT_EQ("gone", entry.args[1]);
  EXPECT_EQ("http://pages.test/broken.html", entry.args[2]);
  EXPECT_EQ("fail_next_load: code must be a negative net error code",
            session.Refused("fail_next_load", ParseArgs(R"({"url": "http://pages.test/x", "code": 0})")));
  EXPECT_EQ("fail_next_load: needs url", session.Refused("fail_next_load", ParseArgs(R"({"code": -2})")));

  // A link opened in another tab: the client is asked, and (not cancelling) the browser goes there itself.
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("page_open_from_tab", R"({"url": "http://pages.test/probe.html"})").asBool());
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnLoadEnd"; }, &entry));
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnOpenURLFromTab"; }, &entry));
  EXPECT_EQ((std::vector<std::string>{"http://pages.test/probe.html", std::to_string(WOD_NEW_FOREGROUND_TAB), "true"}),
            entry.args);
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("page_open_from_tab", R"({"url": "http://pages.test/probe.html", "disposition": 3,
      "user_gesture": false})").asBool());
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnOpenURLFromTab"; }, &entry));
  EXPECT_EQ((std::vector<std::string>{"http://pages.test/probe.html", "3", "false"}), entry.args);

  // A message as if the page's renderer sent it: the browser's client answers it, and the answer reaches the real
  // renderer process.
  const char* args = R"([{"str": "x"}, {"int": 5}, {"list": [{"bool": true}, {"null": true}]},
      {"dict": {"k": {"double": 0.5}}}, {"binary": "AAEC"}, {"binary": ""}])";
  Json::Value message = ParseArgs(R"({"name": "echo"})");
  message["browser"] = session.browser();
  message["args"] = ParseArgs(args);
  mark = session.JournalEnd();
  EXPECT_TRUE(session.Ok("send_to_browser", message).asBool());
  Json::Value sent = PollFor(session, "sent_to_browser", [](const Json::Value& m) { return m["name"] == "echo"; });
  EXPECT_EQ(ParseArgs(args), sent["args"]);
  Json::Value reply =
      PollFor(session, "sent_to_renderer", [](const Json::Value& m) { return m["name"] == "echo-reply"; });
  EXPECT_EQ(ParseArgs(args), reply["args"]);
  EXPECT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) {
    return e.kind == "OnProcessMessageReceived" && e.process == 'R' && !e.args.empty() && e.args[0] == "echo-reply";
  }, &entry));

  struct Case {
    const char* args;  // the browser is added
    const char* error;
  };
  const Case cases[] = {
      {R"({"args": []})", "send_to_browser: needs name"},
      {R"({"name": "m", "args": 5})", "send_to_browser: args: must be an array of typed values"},
      {R"({"name": "m", "args": [{"int": "5"}]})", "send_to_browser: args[0].int: must be a 32-bit integer"},
      {R"({"name": "m", "args": [{"page": 1}]})", "send_to_browser: args[0]: unknown typed value kind \"page\""},
      {R"({"name": "m", "args": [{"binary": "A"}]})", "send_to_browser: args[0].binary: must be Base64 text"},
      {R"({"name": "m", "args": [{"list": [{"dict": {"k": {"str": 1}}}]}]})",
       "send_to_browser: args[0].list[0].dict.k.str: must be a string"},
  };
  for (const Case& c : cases) {
    Json::Value bad = ParseArgs(c.args);
    bad["browser"] = session.browser();
    EXPECT_EQ(c.error, session.Refused("send_to_browser", bad)) << c.args;
  }
  EXPECT_EQ("sent_to_renderer: no browser 999", session.Refused("sent_to_renderer", ParseArgs(R"({"browser": 999})")));
}

TEST(ControlPipe, ReadsTheLastPaintAndPlaysDragsOfAWindowlessBrowser) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());
  Json::Value response;
  response["url"] = "http://pages.test/blue.html";
  response["status"] = 200;
  response["mime"] = "text/html";
  response["body"] = "<html><head><meta name=\"cefengine-background\" content=\"#3366CC\"></head></html>";
  session.Ok("set_http_response", response);
  uint64_t mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("page_navigate", R"({"url": "http://pages.test/blue.html"})").asBool());
  JournalEntry entry;
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnLoadEnd"; }, &entry));

  // The whole view, the engine's marker in its first pixel, the page's background elsewhere; null off the paint.
  const char* points = R"({"points": [[0, 0], [319, 199], [320, 0], [-1, 5]]})";
  Json::Value paint = session.OnPage("last_paint", points);
  for (ULONGLONG end = GetTickCount64() + kRendererWaitMs;
       paint["pixels"][1].asUInt() != 0xFF3366CCu && GetTickCount64() < end; Sleep(20))
    paint = session.OnPage("last_paint", points);
  EXPECT_TRUE(paint["painted"].asBool());
  EXPECT_EQ("view", paint["type"].asString());
  EXPECT_EQ(320, paint["width"].asInt());
  EXPECT_EQ(200, paint["height"].asInt());
  EXPECT_GE(paint["paint_count"].asInt(), 1);
  EXPECT_EQ(ParseArgs("[[0, 0, 320, 200]]"), paint["dirty_rects"]);
  ASSERT_EQ(4u, paint["pixels"].size());
  EXPECT_EQ(0xFFFF00FFu, paint["pixels"][0].asUInt());
  EXPECT_EQ(0xFF3366CCu, paint["pixels"][1].asUInt());
  EXPECT_TRUE(paint["pixels"][2].isNull());
  EXPECT_TRUE(paint["pixels"][3].isNull());
  Json::Value popup = session.OnPage("last_paint", R"({"type": "popup"})");
  EXPECT_FALSE(popup["painted"].asBool());
  EXPECT_EQ("popup", popup["type"].asString());
  EXPECT_TRUE(popup["pixels"].empty());

  // The page drags a link out; nobody takes it (the probe's client starts no drag).
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("page_start_drag", R"({"data": {"link_url": "http://pages.test/l", "link_title": "L"},
      "allowed_ops": 3, "x": 4, "y": 5})").asBool());
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "PageStartDrag"; }, &entry));
  EXPECT_EQ((std::vector<std::string>{"link http://pages.test/l", "3", "4", "5"}), entry.args);
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "StartDragging"; }, &entry));
  EXPECT_EQ((std::vector<std::string>{"false"}), entry.args);

  // Files dragged in from outside, with the contents of one more.
  mark = session.JournalEnd();
  EXPECT_TRUE(session.OnPage("user_drag_enter", R"({"data": {"files": [["C:\\in\\a.txt", "a.txt"]],
      "file_name": "b.bin", "file_contents": "AAEC"}, "x": 7, "y": 8})").asBool());
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "DragTargetDragEnter"; },
                                   &entry));
  EXPECT_EQ((std::vector<std::string>{"files 1 contents b.bin", "7,8,0", "19"}), entry.args);
  ASSERT_TRUE(session.WaitForEntry(mark, [](const JournalEntry& e) { return e.kind == "OnDragEnter"; }, &entry));

  struct Case {
    const char* cmd;
    const char* args;  // the browser is added
    const char* error;
  };
  const Case cases[] = {
      {"last_paint", R"({"type": "frame"})", "last_paint: type must be \"view\" or \"popup\""},
      {"last_paint", R"({"points": [[1]]})", "last_paint: points must be an array of [x, y] integer pairs"},
      {"user_drag_enter", "{}", "user_drag_enter: data must be an object describing the drag data"},
      {"user_drag_enter", R"({"data": {"link_url": 5}})", "user_drag_enter: data.link_url must be a string"},
      {"user_drag_enter", R"({"data": {"link": "x"}})", "user_drag_enter: data has an unknown field \"link\""},
      {"page_start_drag", R"({"data": {"files": [["only-a-path"]]}})",
       "page_start_drag: data.files must be an array of [path, display_name] strings"},
      {"page_start_drag", R"({"data": {"file_name": "n", "file_contents": "not base64"}})",
       "page_start_drag: data.file_name (a string) and data.file_contents (Base64 text) go together"},
      {"page_start_drag", R"({"data": {}, "allowed_ops": -1})",
       "page_start_drag: allowed_ops must be a drag operations mask"},
  };
  for (const Case& c : cases) {
    Json::Value bad = ParseArgs(c.args);
    bad["browser"] = session.browser();
    EXPECT_EQ(c.error, session.Refused(c.cmd, bad)) << c.cmd << " " << c.args;
  }
}

// What the benches measure with: page functions whose calls call on (a page calling the browser again from a
// callback), entries stamped with the performance counter in the renderer that recorded them, renderer round trips
// over a process message's hops, and a journal that can be paused.
TEST(ControlPipe, ChainsPageScriptStampsEntriesTimesRendererRoundTripsAndPausesTheJournal) {
  ProbeSession session;
  ASSERT_NE(0, session.browser());
  auto calls_of = [&](const std::string& name, uint64_t from) {
    std::vector<JournalEntry> calls;
    for (const JournalEntry& entry : session.client().Journal(from))
      if (entry.kind == "PageFn" && !entry.args.empty() && entry.args[0] == name)
        calls.push_back(entry);
    return calls;
  };

  // A global function that hands itself back to the probe for its first three calls: four calls in all, each
  // stamped in the renderer within the command that caused them, in order.
  session.OnPage("renderer_assign", R"({"path": "again", "value": {"fn": {"name": "again",
      "then": {"path": "probe.callBack", "args": [{"global": "again"}, {"str": "more"}], "times": 3}}}})");
  uint64_t mark = session.JournalEnd();
  const int64_t before = cefengine::JournalTimeUs();
  Json::Value call = session.OnPage("renderer_call", R"({"path": "probe.callBack", "args": [{"global": "again"}]})");
  const int64_t after = cefengine::JournalTimeUs();
  EXPECT_TRUE(call["ran"].asBool());
  EXPECT_FALSE(call["threw"].asBool()) << call["exception"].asString();
  std::vector<JournalEntry> calls = calls_of("again", mark);
  ASSERT_EQ(4u, calls.size());
  EXPECT_EQ(1u, calls[0].args.size());
  EXPECT_EQ((std::vector<std::string>{"again", "more"}), calls[3].args);
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ('R', calls[i].process);
    EXPECT_LE(before, calls[i].time_us);
    EXPECT_GE(after, calls[i].time_us);
    if (i > 0) {
      EXPECT_LE(calls[i - 1].time_us, calls[i].time_us);
    }
  }
  // The same function called again has used up its chain; a global the page lacks is undefined.
  mark = session.JournalEnd();
  session.OnPage("renderer_call", R"({"path": "probe.callBack", "args": [{"global": "again"}]})");
  EXPECT_EQ(1u, calls_of("again", mark).size());
  call = session.OnPage("renderer_call", R"({"path": "probe.callBack", "args": [{"global": "missing"}]})");
  EXPECT_TRUE(call["threw"].asBool());
  EXPECT_EQ("probe.callBack needs a function", call["exception"].asString());

  // Round trips to the renderer, one answer each.
  Json::Value round_trips = session.OnPage("renderer_ping", R"({"count": 5})");
  ASSERT_EQ(5u, round_trips.size());
  for (const Json::Value& round_trip : round_trips) {
    EXPECT_LT(0, round_trip.asInt64());
    EXPECT_GT(5000000, round_trip.asInt64());
  }
  EXPECT_EQ("renderer_ping: count must be 1 to 10000", session.Refused("renderer_ping", ParseArgs(
      "{\"browser\": " + std::to_string(session.browser()) + ", \"count\": 0}")));

  // Paused, the journal takes nothing, not even what the renderer recorded and sent along; resumed, it does again.
  session.Ok("record_journal", ParseArgs(R"({"on": false})"));
  mark = session.JournalEnd();
  session.OnPage("renderer_call", R"({"path": "probe.callBack", "args": [{"fn": {"name": "quiet"}}]})");
  EXPECT_TRUE(calls_of("quiet", mark).empty());
  session.Ok("record_journal", ParseArgs(R"({"on": true})"));
  session.OnPage("renderer_call", R"({"path": "probe.callBack", "args": [{"fn": {"name": "heard"}}]})");
  EXPECT_EQ(1u, calls_of("heard", mark).size());
}

}  // namespace
