// The process entry of the real executable, started by the host simulator: what each process
// kind does with CEF's result, muting by switch and by environment, and a browser whose CEF
// does not start.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/process_entry.h"
#include "include/cef_command_line.h"
#include "tests/browser/entry/brivelo_installation.h"
#include "tests/browser/scoped_environment.h"

namespace {

using entry_test::BriveloInstallation;
using entry_test::kRunMs;
using entry_test::Occurrences;
using hostsim::HostsimRunner;

typedef std::vector<std::pair<std::wstring, std::wstring>> Environment;

// Runs the installation's executable with the hostsim options until it ends; its exit code,
// -1 when it did not end in time.
int RunToEnd(const BriveloInstallation& installation, const std::vector<std::wstring>& args,
             const Environment& environment = {}, std::string* transcript = nullptr) {
  HostsimRunner run;
  if (!run.Start(installation.Options(args, environment))) {
    ADD_FAILURE() << run.Transcript();
    return -1;
  }
  int code = -1;
  const bool ended = run.WaitForBrowserExit(kRunMs, &code);
  if (transcript) *transcript = run.Transcript();
  if (!ended) ADD_FAILURE() << run.Transcript();
  return ended ? code : -1;
}

TEST(ProcessEntrySwitches, OnlyTrueInAnyLetterCaseThatFitsTheBufferAsksForMute) {
  ScopedEnvironment saved(L"__sc_mute_app", nullptr);
  struct Case {
    const wchar_t* value;  // null: not set
    bool mute;
  } cases[] = {
      {L"true", true}, {L"TRUE", true}, {L"tRuE", true}, {nullptr, false}, {L"", false}, {L"yes", false},
      {L"1", false},   {L"true ", false}, {L" true", false}, {L"truex", false},
  };
  for (const Case& c : cases) {
    SetEnvironmentVariableW(L"__sc_mute_app", c.value);
    wchar_t buffer[process_entry::kEnvironmentBufferUnits];
    EXPECT_EQ(c.mute, process_entry::EnvironmentAsksForMute(buffer)) << (c.value ? c.value : L"(unset)");
  }
  // A value that does not fit the buffer is no answer, whatever it starts with; the longest that
  // fits is read.
  for (DWORD length : {process_entry::kEnvironmentBufferUnits - 1, process_entry::kEnvironmentBufferUnits,
                       process_entry::kEnvironmentBufferUnits + 100}) {
    std::wstring value = L"true" + std::wstring(length - 4, L' ');
    SetEnvironmentVariableW(L"__sc_mute_app", value.c_str());
    wchar_t buffer[process_entry::kEnvironmentBufferUnits];
    EXPECT_FALSE(process_entry::EnvironmentAsksForMute(buffer)) << length;
    if (length < process_entry::kEnvironmentBufferUnits) {
      EXPECT_EQ(value, buffer);
    }
  }
}

TEST(ProcessEntrySwitches, NonEmptyCachePathAndLogFileReplaceWhatTheContextChose) {
  struct Case {
    const char* command_line;
    const char* cache_path;
    const char* log_file;
  } cases[] = {
      {"Brivelo.exe", "C:\\app\\cef_cache", "disable.log"},
      {"Brivelo.exe --cache_path=D:\\c --log_file=D:\\l.log", "D:\\c", "D:\\l.log"},
      {"Brivelo.exe --cache_path= --log_file=", "C:\\app\\cef_cache", "disable.log"},
      {"Brivelo.exe --cache_path --log_file=x.log", "C:\\app\\cef_cache", "x.log"},
      {"Brivelo.exe \"--cache_path=D:\\a b\"", "D:\\a b", "disable.log"},
  };
  for (const Case& c : cases) {
    CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
    command_line->InitFromString(c.command_line);
    CefSettings settings;
    CefString(&settings.cache_path) = "C:\\app\\cef_cache";
    CefString(&settings.log_file) = "disable.log";
    process_entry::ApplyFileSwitches(command_line, &settings);
    EXPECT_EQ(c.cache_path, CefString(&settings.cache_path).ToString()) << c.command_line;
    EXPECT_EQ(c.log_file, CefString(&settings.log_file).ToString()) << c.command_line;
  }
}

const char kSubProcessTerminates[] = "CefExecuteProcess : TerminateProcess.";

TEST(ProcessEntry, SubProcessesReturnCefsResultOrEndThemselvesUnderTerminateQuit) {
  BriveloInstallation installation;
  struct Case {
    const wchar_t* type;
    bool terminate_quit;
    const wchar_t* log;
    int exit_code;
  } cases[] = {
      // A renderer that was never connected: CEF's result 1; no host window was named, so the
      // renderer keeps its result.
      {L"--switch=--type=renderer", false, L"render", 1},
      // With the switch it ends itself (code 0) without looking at a host window.
      {L"--switch=--type=renderer", true, L"render", 0},
      // Other kinds return CEF's 0, or end themselves with the switch.
      {L"--switch=--type=gpu-process", false, L"other", 0},
      {L"--switch=--type=gpu-process", true, L"other", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.terminate_quit ? "terminate " : "") + (c.log[0] == L'r' ? "renderer" : "other"));
    installation.ClearLogs();
    std::vector<std::wstring> args = {c.type};
    if (c.terminate_quit) args.push_back(L"--switch=--sc_terminate_quit");
    EXPECT_EQ(c.exit_code, RunToEnd(installation, args));
    const std::string log = installation.Log(c.log);
    EXPECT_EQ(c.terminate_quit ? 1u : 0u, Occurrences(log, kSubProcessTerminates)) << log;
    // The entry's last line is written only when the process returns.
    EXPECT_EQ(c.terminate_quit ? 0u : 1u,
              Occurrences(log, "Main : exit with exitCode = " + std::to_string(c.exit_code))) << log;
    // Nothing of the browser path ran.
    EXPECT_EQ("", installation.Log(L"browser"));
  }
}

TEST(ProcessEntry, MutesBySwitchOrByTheEnvironmentTheSwitchLeavesForChildren) {
  BriveloInstallation installation(true);
  const std::wstring kOther = L"--switch=--type=gpu-process";
  const std::wstring kRenderer = L"--switch=--type=renderer";
  struct Case {
    const char* name;
    std::vector<std::wstring> args;
    Environment environment;
    const wchar_t* log;
    // The log line of the mute, or null when the process must not mute.
    const char* line;
  } cases[] = {
      {"switch", {kOther, L"--switch=--sc_mute_app"}, {}, L"other", "sc_mute_app: ret = 1, process_type = 3"},
      {"environment TRUE", {kOther}, {{L"__sc_mute_app", L"TRUE"}}, L"other",
       "sc_mute_app: ret = 1, process_type = 3"},
      {"renderer, environment true", {kRenderer}, {{L"__sc_mute_app", L"true"}}, L"render",
       "sc_mute_app: ret = 1, process_type = 1"},
      // The library's answer as the log reports it: 0 for a refusal.
      {"refused", {kOther, L"--switch=--sc_mute_app"}, {{L"BRIVELO_VOLUME_MUTE_RESULT", L"0"}}, L"other",
       "sc_mute_app: ret = 0, process_type = 3"},
      // The browser mutes before it starts CEF, even one whose CEF then fails.
      {"browser", {L"--switch=--sc_mute_app"}, {{L"BRIVELO_CEF_FAIL_INITIALIZE", L"1"}}, L"browser",
       "sc_mute_app: ret = 1, process_type = 0"},
      {"environment yes", {kOther}, {{L"__sc_mute_app", L"yes"}}, L"other", nullptr},
      {"environment true with spaces", {kOther}, {{L"__sc_mute_app", L" true"}}, L"other", nullptr},
      {"nothing", {kOther}, {}, L"other", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    installation.ClearLogs();
    installation.ClearVolumeCalls();
    Environment environment = c.environment;
    // The test's own environment plays no part.
    if (environment.empty() || environment[0].first != L"__sc_mute_app") environment.push_back({L"__sc_mute_app", L""});
    std::string transcript;
    RunToEnd(installation, c.args, environment, &transcript);
    const std::string log = installation.Log(c.log);
    std::vector<std::string> calls = installation.VolumeCalls();
    if (c.line) {
      EXPECT_EQ(1u, Occurrences(log, c.line)) << log;
      // Loaded, initialised and asked to mute once, all by the one process.
      ASSERT_EQ(2u, calls.size()) << transcript;
      EXPECT_EQ(calls[0].substr(calls[0].find(' ')), " Init");
      EXPECT_EQ(calls[1].substr(calls[1].find(' ')), " MuteApp 1");
      EXPECT_EQ(calls[0].substr(0, calls[0].find(' ')), calls[1].substr(0, calls[1].find(' ')));
    } else {
      EXPECT_EQ(0u, Occurrences(log, "sc_mute_app:")) << log;
      // The library is not even loaded.
      EXPECT_TRUE(calls.empty()) << calls.size();
    }
  }
}

TEST(ProcessEntry, ABrowserWhoseCefDoesNotStartShowsNoViewAndExitsNonZero) {
  BriveloInstallation installation;
  for (bool terminate_quit : {false, true}) {
    SCOPED_TRACE(terminate_quit ? "with sc_terminate_quit" : "plain");
    installation.ClearLogs();
    HostsimRunner run;
    std::vector<std::wstring> args = {L"--url=about:blank"};
    if (terminate_quit) args.push_back(L"--switch=--sc_terminate_quit");
    ASSERT_TRUE(run.Start(installation.Options(args, {{L"BRIVELO_CEF_FAIL_INITIALIZE", L"1"}}))) << run.Transcript();
    int code = -1;
    ASSERT_TRUE(run.WaitForBrowserExit(kRunMs, &code)) << run.Transcript();
    // Not TerminateProcess's 0, not a crash's code.
    EXPECT_EQ(1, code);
    EXPECT_FALSE(run.Find([](const Json::Value& line) { return line.isMember("event"); })) << run.Transcript();

    const std::string log = installation.Log(L"browser");
    EXPECT_EQ(1u, Occurrences(log, "Main : CefInitialize failed")) << log;
    EXPECT_EQ(1u, Occurrences(log, "Main : exit with exitCode = 1")) << log;
    // Neither CEF's shutdown nor the self-termination of an orderly end.
    EXPECT_EQ(0u, Occurrences(log, "Main : Shutdown.")) << log;
    EXPECT_EQ(0u, Occurrences(log, "TerminateProcess")) << log;
    // CEF never made its cache folder.
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((installation.AppData() + L"\\cef_cache").c_str()));
  }
}

}  // namespace
