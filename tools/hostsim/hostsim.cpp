// hostsim: plays the host application. It opens the host end of the channel, shows a host
// window, starts the browser executable inside it, prints every event as one JSON line on
// standard output and runs commands from a script or standard input (see host_script.h). An event
// the browser sent synchronously (event 1: the browser waits until the host has handled it) has
// "sync":true as its last member.
//
//   hostsim [--exe=PATH] [--id=ID] [--view=N] [--url=URL] [--rect=x,y,w,h] [--workarea=x,y,w,h]
//           [--script=FILE] [--auto-answer=TEXT] [--switch=TEXT]... [--no-launch]
//
// In a script line, "{parent}" stands for a new visible host window's handle (hexadecimal), for
// the --parent_wnd of views made with "create".
//
// It ends when the browser process ends (exit code 0, or 1 when a command failed or a wait
// timed out); with --no-launch when the script ends.
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/host_protocol.h"
#include "channel/channel.h"
#include "tools/hostsim/event_json.h"
#include "tools/hostsim/host_launch.h"
#include "tools/hostsim/host_script.h"
#include "tools/json_text.h"
#include "tools/option_value.h"

using namespace client;
using hostsim::HandleHex;

namespace {

struct Options {
  hostsim::BrowserLaunch browser;
  std::wstring script;
  std::wstring auto_answer;
  bool auto_answer_on = false;
  bool launch = true;
};

std::mutex g_outputLock;

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_outputLock);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Every received event, for the script's waits; each wait consumes the first match.
class EventLog {
 public:
  void Add(uint32_t code, uint32_t view) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecEvents.push_back({code, view, false});
    m_cvChanged.notify_all();
  }
  bool WaitFor(uint32_t code, int64_t view, uint32_t timeout_ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cvChanged.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
      for (Entry& e : m_vecEvents) {
        if (!e.consumed && e.code == code && (view < 0 || e.view == view)) {
          e.consumed = true;
          return true;
        }
      }
      return false;
    });
  }

 private:
  struct Entry {
    uint32_t code;
    uint32_t view;
    bool consumed;
  };
  std::mutex m_mutex;
  std::condition_variable m_cvChanged;
  std::vector<Entry> m_vecEvents;
};

class HostListener : public IChannelListener {
 public:
  HostListener(CChannel* channel, EventLog* log, const Options& options)
      : m_pChannel(channel), m_pLog(log), m_options(options) {}

  void OnMessageReceived(const IPC::Message& message) override {
    std::string line = EventToJson(message);
    // A synchronous frame is dispatched inside the browser's SendMessage; queued ones were posted
    // and arrive from this thread's own loop.
    if (InSendMessage()) line.insert(line.size() - 1, ",\"sync\":true");
    PrintLine(line);
    const uint32_t code = CodeOfType(message.GetType());
    const uint32_t view = ViewOfType(message.GetType());
    if (code == MsgToHostCallHost && m_options.auto_answer_on) AnswerCall(message, view);
    m_pLog->Add(code, view);
  }
  int GetRoutingId() override { return kRoutingIdHost; }

 private:
  // Calls the page's callback with the canned result, under the call's own execute id.
  void AnswerCall(const IPC::Message& message, uint32_t view) {
    std::vector<PayloadItem> call = DecodePayload(message, FindHostEvent(MsgToHostCallHost)->layout);
    if (call.size() < 3 || call[2].text.empty()) return;
    std::vector<PayloadItem> items(3);
    items[0].kind = 'l';
    items[0].number = call[0].number;
    items[1].text = call[2].text;
    items[2].text = m_options.auto_answer;
    for (PayloadItem& item : items) item.present = true;
    IPC::Message answer;
    if (MakeCommand(view, MsgToBrowserCallFunction, items, &answer)) (void)m_pChannel->Send(&answer, true, false);
  }

  CChannel* m_pChannel;
  EventLog* m_pLog;
  const Options& m_options;
};

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::wstring value;
    hostsim::BrowserLaunch& browser = options->browser;
    if (OptionValue(arg, L"--exe=", &value)) browser.exe = value;
    else if (OptionValue(arg, L"--id=", &value)) browser.id = value;
    else if (OptionValue(arg, L"--view=", &value)) browser.view = static_cast<uint32_t>(wcstoul(value.c_str(), nullptr, 0));
    else if (OptionValue(arg, L"--url=", &value)) browser.url = value;
    else if (OptionValue(arg, L"--rect=", &value)) browser.rect = value;
    else if (OptionValue(arg, L"--workarea=", &value)) browser.workarea = value;
    else if (OptionValue(arg, L"--script=", &value)) options->script = value;
    else if (OptionValue(arg, L"--auto-answer=", &value)) { options->auto_answer = value; options->auto_answer_on = true; }
    else if (OptionValue(arg, L"--switch=", &value)) browser.switches.push_back(value);
    else if (arg == L"--no-launch") options->launch = false;
    else {
      PrintLine("{\"hostsim\":\"error\",\"text\":" + JsonString(L"unknown option " + arg) + "}");
      return false;
    }
  }
  if (options->browser.id.empty()) options->browser.id = L"hostsim." + std::to_wstring(GetCurrentProcessId());
  if (options->browser.exe.empty()) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, n);
    options->browser.exe = dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"Brivelo.exe";
  }
  return true;
}

HANDLE LaunchBrowser(const Options& options, HWND parent) {
  std::wstring command = hostsim::BrowserCommandLine(options.browser, parent);
  PrintLine("{\"hostsim\":\"launch\",\"command\":" + JsonString(command) + "}");
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    PrintLine("{\"hostsim\":\"error\",\"text\":\"browser did not start\",\"error\":" +
              std::to_string(GetLastError()) + "}");
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Sent to the first host window: creates one more on the window thread, returns its handle.
constexpr UINT WM_HOSTSIM_NEW_WINDOW = WM_APP + 1;

HWND CreateHostWindow();

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_HOSTSIM_NEW_WINDOW) return reinterpret_cast<LRESULT>(CreateHostWindow());
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateHostWindow() { return hostsim::CreateHostWindow(HostWindowProc); }

struct ScriptRun {
  DWORD main_thread;
  HWND host_window;
  CChannel* channel;
  EventLog* log;
  bool launched;
  volatile LONG failed = 0;
};

void RunScript(std::istream& in, ScriptRun* run) {
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    for (size_t at = line.find("{parent}"); at != std::string::npos; at = line.find("{parent}")) {
      HWND window = reinterpret_cast<HWND>(SendMessageW(run->host_window, WM_HOSTSIM_NEW_WINDOW, 0, 0));
      line.replace(at, 8, ToUtf8(HandleHex(window)));
    }
    ScriptCommand command;
    std::string error;
    if (!ParseScriptLine(line, &command, &error)) {
      PrintLine("{\"hostsim\":\"error\",\"line\":" + std::to_string(number) + ",\"text\":" + JsonString(error) + "}");
      InterlockedExchange(&run->failed, 1);
      continue;
    }
    switch (command.kind) {
      case ScriptCommand::kSend:
        if (!run->channel->Send(&command.message, true, false)) {
          PrintLine("{\"hostsim\":\"error\",\"line\":" + std::to_string(number) + ",\"text\":\"send failed\"}");
          InterlockedExchange(&run->failed, 1);
        }
        break;
      case ScriptCommand::kWait:
        if (!run->log->WaitFor(command.event_code, command.view, command.milliseconds)) {
          PrintLine("{\"hostsim\":\"wait-timeout\",\"line\":" + std::to_string(number) + ",\"text\":" +
                    JsonString(line) + "}");
          InterlockedExchange(&run->failed, 1);
        }
        break;
      case ScriptCommand::kSleep:
        Sleep(command.milliseconds);
        break;
      case ScriptCommand::kKillSelf:
        PrintLine("{\"hostsim\":\"kill-self\"}");
        TerminateProcess(GetCurrentProcess(), 9);
        break;
      case ScriptCommand::kQuit:
        PostThreadMessageW(run->main_thread, WM_QUIT, 0, 0);
        return;
      case ScriptCommand::kNothing:
        break;
    }
  }
  PrintLine("{\"hostsim\":\"script-end\"}");
  if (!run->launched) PostThreadMessageW(run->main_thread, WM_QUIT, 0, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;

  HWND host_window = CreateHostWindow();
  CChannel channel;
  EventLog log;
  HostListener listener(&channel, &log, options);
  // The host end must exist before the browser starts: its first event is synchronous.
  channel.InitStub(options.browser.id.c_str());
  channel.AddListener(&listener);

  HANDLE browser = nullptr;
  if (options.launch) {
    browser = LaunchBrowser(options, host_window);
    if (!browser) return 2;
  }

  ScriptRun run{GetCurrentThreadId(), host_window, &channel, &log, browser != nullptr};
  std::ifstream file;
  if (!options.script.empty()) {
    file.open(options.script.c_str());
    if (!file) {
      PrintLine("{\"hostsim\":\"error\",\"text\":" + JsonString(L"cannot read " + options.script) + "}");
      return 2;
    }
  }
  std::istream& in = options.script.empty() ? std::cin : static_cast<std::istream&>(file);
  std::thread script([&] { RunScript(in, &run); });
  script.detach();  // may be blocked reading standard input when the browser ends

  int exit_code = 0;
  for (;;) {
    const DWORD count = browser ? 1 : 0;
    const DWORD wait = MsgWaitForMultipleObjects(count, &browser, FALSE, INFINITE, QS_ALLINPUT);
    if (browser && wait == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(browser, &code);
      // Let events already posted to the channel window reach the listener first.
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      PrintLine("{\"hostsim\":\"browser-exit\",\"code\":" + std::to_string(code) + "}");
      break;
    }
    MSG msg;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (quit) break;
  }
  if (run.failed) exit_code = 1;
  channel.Unit();
  if (browser) CloseHandle(browser);
  if (host_window) DestroyWindow(host_window);
  std::fflush(stdout);
  // The script thread may still wait on standard input.
  ExitProcess(static_cast<UINT>(exit_code));
}
