// One run of an installation's browser under the host simulator, with the page side reached
// through the CEF layer's control pipe: what the entry tests share.
#pragma once

#include <windows.h>

#include <json/json.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "testing/cefengine_testing.h"
#include "testing/control_client.h"
#include "tests/browser/entry/brivelo_installation.h"
#include "tools/hostsim/hostsim_runner.h"

namespace entry_test {

using cefengine::JournalEntry;
using cefengine::test::ControlClient;
using hostsim::HostsimRunner;

inline std::string Utf8(const std::wstring& text) { return StringCipher::WideToCodePage(text.c_str(), CP_UTF8); }

inline Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  std::string errors;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors << "\n" << text;
  return value;
}

inline DWORD ProcessOfWindow(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

// One run of the installation's browser under the host simulator, with the page side reached
// through the control pipe.
class Session {
 public:
  Session(const BriveloInstallation& installation, std::vector<std::wstring> args,
          std::vector<std::pair<std::wstring, std::wstring>> environment = {})
      : options_(installation.Options(std::move(args), std::move(environment))) {}

  // Starts the run; false (with a failure) when hostsim did not start.
  bool Launch() {
    if (run_.Start(options_)) return true;
    ADD_FAILURE() << run_.Transcript();
    return false;
  }
  // Launch, then waits for the first view's event 1; false (with a failure) when it did not come.
  bool Start() {
    if (!Launch()) return false;
    if (!run_.WaitForEvent("BrowserCreated", 256, kRunMs, &created_)) {
      ADD_FAILURE() << "no event 1\n" << run_.Transcript();
      return false;
    }
    browser_pid_ = ProcessOfWindow(HostsimRunner::WindowOfEvent(created_));
    return true;
  }

  HostsimRunner& run() { return run_; }
  const Json::Value& created() const { return created_; }
  DWORD browser_pid() const { return browser_pid_; }

  // Sends a script line; a failure when hostsim did not take it.
  void Send(const std::string& line) { EXPECT_TRUE(run_.Send(line)) << line << "\n" << run_.Transcript(); }

  // The next event `name` of `view` whose `key` member reads `value`.
  Json::Value WaitFor(const std::string& name, int view, const char* key = nullptr, const std::string& value = "") {
    const std::string full = "MsgToHost" + name;
    Json::Value line;
    const bool seen = run_.WaitForLine(
        [&](const Json::Value& v) {
          return v["event"] == full && v["view"] == view && (!key || v[key].asString() == value);
        },
        kRunMs, &line);
    EXPECT_TRUE(seen) << name << " " << view << (key ? std::string(" ") + key + "=" + value : "") << "\n"
                      << run_.Transcript();
    return line;
  }

  // A control-pipe command that must succeed.
  Json::Value Page(const std::string& cmd, const Json::Value& args = Json::Value()) {
    if (!connected_) {
      connected_ = page_.Connect(run_.control_pipe(), static_cast<int>(kRunMs));
      EXPECT_TRUE(connected_) << run_.Transcript();
    }
    Json::Value result;
    std::string error;
    EXPECT_TRUE(page_.Call(cmd, args, &result, &error)) << cmd << ": " << error;
    return result;
  }
  Json::Value Page(const std::string& cmd, const std::string& args) { return Page(cmd, ParseJson(args)); }

  // The id of the browser showing `url`; 0 when none does.
  int BrowserShowing(const std::string& url) {
    for (const Json::Value& browser : Page("browsers")) {
      if (browser["url"].asString() == url) return browser["id"].asInt();
    }
    return 0;
  }

  // The first page-function call of `name` the renderer journaled; its arguments.
  std::vector<std::string> PageFunctionCall(const std::string& name) {
    const ULONGLONG end = GetTickCount64() + kRunMs;
    do {
      for (const JournalEntry& entry : page_.Journal()) {
        if (entry.kind == "PageFn" && !entry.args.empty() && entry.args[0] == name) return entry.args;
      }
      Sleep(50);
    } while (GetTickCount64() < end);
    ADD_FAILURE() << "the page function " << name << " did not run";
    return {};
  }

  // The host's window of the first view (hostsim's --parent_wnd).
  HWND HostWindow() {
    Json::Value launch;
    if (!run_.Find([](const Json::Value& v) { return v["hostsim"] == "launch"; }, &launch)) return nullptr;
    const std::string command = launch["command"].asString();
    const size_t at = command.find("--parent_wnd=");
    if (at == std::string::npos) return nullptr;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(strtoull(command.c_str() + at + 13, nullptr, 16)));
  }

  // The renderer processes the browser started, as the control pipe lists them.
  Json::Value Renderers() { return Page("child_processes"); }

 private:
  hostsim::RunnerOptions options_;
  HostsimRunner run_;
  Json::Value created_;
  DWORD browser_pid_ = 0;
  ControlClient page_;
  bool connected_ = false;
};

}  // namespace entry_test
