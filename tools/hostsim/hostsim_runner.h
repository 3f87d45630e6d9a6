// Drives the host simulator (hostsim.exe) from a test, the way a host application lives with the
// browser: it starts hostsim (and through it the browser executable) with a channel id and a
// control-pipe name of its own, writes script lines to hostsim's standard input while a reader
// thread collects the JSON lines hostsim prints, waits for lines with a timeout on every wait,
// and ends the whole process tree (hostsim, the browser, its renderers) at the end.
//
//   HostsimRunner run;                                   // own id and pipe name
//   RunnerOptions options;
//   options.args = {L"--url=about:blank", L"--auto-answer=ok"};
//   ASSERT_TRUE(run.Start(options)) << run.Transcript();
//   Json::Value created;
//   ASSERT_TRUE(run.WaitForEvent("MsgToHostBrowserCreated", 256, 20000, &created));
//   ASSERT_TRUE(run.Send("load 256 http://pages.test/a.html"));
//   ...
//   int code = 0;
//   ASSERT_TRUE(run.WaitForBrowserExit(20000, &code));
//
// The browser process and its renderers see BRIVELO_CEF_CONTROL = control_pipe() (connect
// cefengine::test::ControlClient to it) and, unless switched off, BRIVELO_CEF_STRICT=1.
//
// Threads: one test thread uses a runner; the reader thread only appends lines. Waits consume
// lines: each matching line answers one wait only (the first not yet consumed match, wherever
// it is), so waits may come in another order than the lines did; Lines() shows the real order.
#pragma once

#include <windows.h>

#include <json/json.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hostsim {

struct RunnerOptions {
  // hostsim.exe; empty: the one beside the running executable.
  std::wstring hostsim;
  // hostsim's --exe (the browser executable); empty: hostsim's own choice, Brivelo.exe beside it.
  std::wstring exe;
  // Further hostsim options, one argument each, quoted by the runner as needed:
  // L"--url=zip://K|C:\\p\\ui.pak|/index.html", L"--switch=--sc_mute_app", L"--no-launch", ...
  // --id is the runner's own (see id()); do not pass another.
  std::vector<std::wstring> args;
  // Environment variables set (or replaced) for hostsim and everything it starts; an empty value
  // removes the variable. BRIVELO_CEF_CONTROL is always the runner's pipe name.
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  // BRIVELO_CEF_STRICT=1 (misuse of the CEF layer is fatal) unless switched off.
  bool strict = true;
};

class HostsimRunner {
 public:
  // Picks a channel id and a control-pipe name no other runner on the machine uses.
  HostsimRunner();
  // Kill().
  ~HostsimRunner();
  HostsimRunner(const HostsimRunner&) = delete;
  HostsimRunner& operator=(const HostsimRunner&) = delete;

  // Starts hostsim in a job object of its own (everything it starts stays in it). False, with
  // the reason in Transcript(), when it could not be started; a runner starts once.
  [[nodiscard]] bool Start(const RunnerOptions& options);

  // The channel id given as --id, and the control pipe's name (a bare name, as ControlClient
  // takes it).
  const std::wstring& id() const { return id_; }
  const std::wstring& control_pipe() const { return pipe_; }
  DWORD hostsim_pid() const { return hostsim_pid_; }

  // Writes one script line (host_script.h) and a line feed. False when hostsim's input is closed
  // or hostsim ended. Lines wait in a 64 KiB pipe while hostsim runs a "wait".
  [[nodiscard]] bool Send(const std::string& line);
  // Closes hostsim's standard input: its script ends ("script-end").
  void CloseInput();

  // Waits up to timeout_ms for a line that parses as a JSON object and satisfies match, and
  // consumes it. False on timeout, or at once when hostsim's output ended without one.
  [[nodiscard]] bool WaitForLine(const std::function<bool(const Json::Value&)>& match, DWORD timeout_ms,
                                 Json::Value* line = nullptr);
  // An event line by name ("MsgToHostLoadEnd"; the "MsgToHost" prefix may be left out) for
  // `view` (-1: any view).
  [[nodiscard]] bool WaitForEvent(const std::string& name, int view, DWORD timeout_ms, Json::Value* event = nullptr);
  // hostsim's {"hostsim":"browser-exit","code":N} line: the browser process ended.
  [[nodiscard]] bool WaitForBrowserExit(DWORD timeout_ms, int* code);
  // A line already printed that satisfies match (consumed or not); nothing is consumed.
  [[nodiscard]] bool Find(const std::function<bool(const Json::Value&)>& match, Json::Value* line = nullptr) const;

  // hostsim itself ended within timeout_ms; its exit code (0 ok, 1 a command or wait failed).
  [[nodiscard]] bool WaitForExit(DWORD timeout_ms, DWORD* exit_code);

  // Ids of the processes of the tree (hostsim and everything it started) still running.
  std::vector<DWORD> LiveProcesses() const;
  // Waits up to timeout_ms until no process of the tree runs any more.
  [[nodiscard]] bool WaitForTreeEnd(DWORD timeout_ms) const;
  // Ends every process of the tree and waits (bounded) for hostsim's output to end. Safe to call
  // more than once, and before Start().
  void Kill();

  // Every line hostsim printed so far, in order (carriage returns removed).
  std::vector<std::string> Lines() const;
  // The lines as one text, for failure messages; with the runner's own notes ("runner: ...").
  std::string Transcript() const;

  // The window handle of a MsgToHostBrowserCreated event line; null when it has none.
  static HWND WindowOfEvent(const Json::Value& event);

 private:
  struct Output;  // shared with the reader thread, which may outlive the runner

  void Note(const std::string& text);

  std::wstring id_;
  std::wstring pipe_;
  std::shared_ptr<Output> output_;
  HANDLE job_ = nullptr;
  HANDLE process_ = nullptr;
  HANDLE input_ = nullptr;  // write end of hostsim's standard input
  DWORD hostsim_pid_ = 0;
  bool started_ = false;
};

}  // namespace hostsim
