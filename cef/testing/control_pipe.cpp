// The server side of the control pipe (engine/control_pipe.h) and its built-in commands:
//   ping                                   -> "pong"
//   journal        {from: seq, limit: n}   -> entries with seq >= from (all when absent), the first `limit` of them
//                                             (all when absent or 0)
//   clear_journal                          -> null
//   record_journal {on}                    -> null; switches recording on or off (renderers started afterwards
//                                             follow: one started while it is off records nothing)
//   wait           {kind, count, timeout_ms} -> true when `count` (default 1) entries of `kind` are recorded
//   quiesce        {timeout_ms}            -> true when every engine thread went idle
//   set_http_response {url, status, mime, body} -> null; the network table answers that URL
//   fail_next_load {url, code, text}       -> null; the next load of that URL fails with the net error code
//   browsers                               -> [{id, url, title, loading, windowless}]
// (waits: 5 s by default, quiesce 20 s, at most kMaxControlWaitMs), and the page and renderer commands of
// testing/control_commands_page.cpp and control_commands_renderer.cpp.
#include "engine/control_pipe.h"

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/utf.h"
#include "testing/browser_testing.h"
#include "testing/cefengine_testing.h"
#include "testing/control_commands.h"
#include "testing/control_json.h"
#include "testing/network_testing.h"

namespace cefengine {

namespace {

struct ControlState {
  std::mutex mutex;
  std::map<std::string, ControlCommand> commands;
  HANDLE stop_event = nullptr;
  std::thread thread;
};

ControlState& State() {
  static ControlState* state = new ControlState();
  return *state;
}

ControlCommand FindCommand(const std::string& name) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto it = State().commands.find(name);
  return it == State().commands.end() ? ControlCommand() : it->second;
}

void RegisterBuiltIns() {
  RegisterControlActions({
      {"ping", [](ControlArgs&) -> Json::Value { return "pong"; }},
      {"journal",
       [](ControlArgs& in) -> Json::Value {
         // A sequence number that is not one reads the whole journal.
         uint64_t from = in.Raw("from").isUInt64() ? in.Raw("from").asUInt64() : 0;
         int limit = in.Int("limit", 0);
         if (limit < 0)
           in.Fail("limit must not be negative");
         Json::Value entries(Json::arrayValue);
         for (const JournalEntry& entry : JournalSnapshot()) {
           if (limit > 0 && entries.size() >= static_cast<Json::ArrayIndex>(limit))
             break;
           if (entry.seq >= from)
             entries.append(JournalEntryToJson(entry));
         }
         return entries;
       }},
      {"record_journal",
       [](ControlArgs& in) -> Json::Value {
         const bool on = in.Bool("on");
         if (in.ok())
           cefengine::EnableJournal(on);
         return Json::Value();
       }},
      {"clear_journal",
       [](ControlArgs&) -> Json::Value {
         cefengine::ClearJournal();
         return Json::Value();
       }},
      {"wait",
       [](ControlArgs& in) -> Json::Value {
         std::string kind = in.Utf8("kind");
         int count = in.Int("count", 1);
         int timeout_ms = in.TimeoutMs(5000);
         if (count < 0)
           in.Fail("count must not be negative");
         if (!in.ok())
           return Json::Value();
         return test::WaitFor([&] { return test::EntriesOf(kind).size() >= static_cast<size_t>(count); },
                              timeout_ms);
       }},
      {"quiesce",
       [](ControlArgs& in) -> Json::Value {
         int timeout_ms = in.TimeoutMs(20000);
         return in.ok() && test::Quiesce(timeout_ms);
       }},
      {"set_http_response",
       [](ControlArgs& in) -> Json::Value {
         std::wstring url = in.Text("url");
         int status = in.Int("status");
         std::wstring mime = in.Text("mime", std::wstring());
         std::string body = in.Utf8("body", std::string());
         if (in.ok())
           test::SetHttpResponse(url, status, mime, body);
         return Json::Value();
       }},
      {"fail_next_load",
       [](ControlArgs& in) -> Json::Value {
         std::wstring url = in.Text("url");
         int code = in.Int("code");
         bool has_text = in.Has("text");
         std::wstring text = in.Text("text", std::wstring());
         if (in.ok() && code >= 0)
           in.Fail("code must be a negative net error code");
         if (!in.ok())
           return Json::Value();
         if (has_text)
           test::FailNextLoad(url, static_cast<cef_errorcode_t>(code), text);
         else
           test::FailNextLoad(url, static_cast<cef_errorcode_t>(code));
         return Json::Value();
       }},
      {"browsers",
       [](ControlArgs&) -> Json::Value {
         Json::Value browsers(Json::arrayValue);
         for (const CefRefPtr<CefBrowser>& browser : test::Browsers()) {
           test::BrowserState state = test::BrowserInfo(browser);
           Json::Value v;
           v["id"] = state.id;
           v["url"] = WideToUtf8(state.url);
           v["title"] = WideToUtf8(state.title);
           v["loading"] = state.loading;
           v["windowless"] = state.windowless;
           browsers.append(v);
         }
         return browsers;
       }},
  });
  RegisterPageControlCommands();
  RegisterRendererControlCommands();
}

std::string Serve(const std::string& line) {
  Json::Value request;
  Json::Value reply;
  std::string error;
  if (!ParseJsonLine(line, &request, &error) || !request.isObject() || !request["cmd"].isString()) {
    reply["ok"] = false;
    reply["error"] = error.empty() ? "a request is an object with a string \"cmd\"" : error;
    return WriteJsonLine(reply);
  }
  reply["id"] = request["id"];
  std::string name = request["cmd"].asString();
  ControlCommand command = FindCommand(name);
  const Json::Value& args = request["args"];
  Json::Value result;
  bool ok = false;
  if (!command) {
    error = "unknown command " + name;
  } else if (!args.isNull() && !args.isObject()) {
    error = name + ": arguments must be an object";
  } else {
    // Commands read their arguments with checks, but a slip must not end the process: the JSON library throws on
    // reads of the wrong type.
    try {
      ok = command(args, &result, &error);
    } catch (const std::exception& e) {
      LOG(WARNING) << "Control pipe: command " << name << " failed: " << e.what();
      error = name + " failed: " + e.what();
    }
  }
  reply["ok"] = ok;
  if (ok)
    reply["result"] = result;
  else
    reply["error"] = error;
  return WriteJsonLine(reply);
}

// Waits for an overlapped operation or the stop event. False when stopping or the operation failed.
bool Complete(HANDLE pipe, OVERLAPPED* ov, HANDLE stop, DWORD* transferred) {
  HANDLE handles[2] = {ov->hEvent, stop};
  DWORD r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  if (r != WAIT_OBJECT_0) {
    CancelIoEx(pipe, ov);
    GetOverlappedResult(pipe, ov, transferred, TRUE);
    return false;
  }
  return GetOverlappedResult(pipe, ov, transferred, FALSE) != FALSE;
}

bool WriteAll(HANDLE pipe, const std::string& text, HANDLE stop) {
  OVERLAPPED ov = {};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    ResetEvent(ov.hEvent);
    DWORD n = 0;
    if (!WriteFile(pipe, text.data() + done, static_cast<DWORD>(text.size() - done), nullptr, &ov) &&
        GetLastError() != ERROR_IO_PENDING) {
      ok = false;
      break;
    }
    ok = Complete(pipe, &ov, stop, &n);
    done += n;
  }
  CloseHandle(ov.hEvent);
  return ok;
}

// Serves one connected client until it leaves, breaks the protocol or the pipe stops.
void ServeClient(HANDLE pipe, HANDLE stop) {
  OVERLAPPED ov = {};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::string pending;
  char buffer[4096];
  for (;;) {
    ResetEvent(ov.hEvent);
    DWORD n = 0;
    if (!ReadFile(pipe, buffer, sizeof(buffer), nullptr, &ov) && GetLastError() != ERROR_IO_PENDING)
      break;
    if (!Complete(pipe, &ov, stop, &n) || n == 0)
      break;
    pending.append(buffer, n);
    size_t newline;
    bool ok = true;
    while (ok && (newline = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, newline);
      pending.erase(0, newline + 1);
      ok = WriteAll(pipe, Serve(line), stop);
    }
    if (!ok || pending.size() > kMaxControlLine)
      break;
  }
  CloseHandle(ov.hEvent);
}

void PipeThread(std::wstring name, HANDLE stop) {
  for (;;) {
    HANDLE pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
      LOG(ERROR) << "Control pipe cannot be created: error " << GetLastError();
      return;
    }
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool connected = ConnectNamedPipe(pipe, &ov) != FALSE;
    DWORD error = GetLastError();
    if (!connected && error == ERROR_PIPE_CONNECTED)
      connected = true;
    else if (!connected && error == ERROR_IO_PENDING) {
      DWORD unused = 0;
      connected = Complete(pipe, &ov, stop, &unused);
    }
    CloseHandle(ov.hEvent);
    if (connected)
      ServeClient(pipe, stop);
    // Disconnecting drops what the client has not read yet. When the pipe stops, the last answer
    // (to "quit", say) may still be on its way: the handle is only closed, and the client reads
    // the answer before it sees the pipe end.
    const bool stopping = WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
    if (!stopping)
      DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    if (stopping)
      return;
  }
}

// The pipe named by BRIVELO_CEF_CONTROL, or "" when the variable is absent, empty or too long.
std::wstring ControlPipeName() {
  wchar_t value[256] = {};
  DWORD length = GetEnvironmentVariableW(L"BRIVELO_CEF_CONTROL", value, 256);
  return length == 0 || length >= 256 ? std::wstring() : std::wstring(value, length);
}

}  // namespace

void RegisterControlCommand(const std::string& name, ControlCommand command) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().commands[name] = std::move(command);
}

void EnableJournalForControlPipe() {
  if (!ControlPipeName().empty())
    cefengine::EnableJournal(true);
}

void StartControlPipeFromEnvironment() {
  std::wstring name = ControlPipeName();
  if (name.empty())
    return;
  if (name.find(L'\\') == std::wstring::npos)
    name = L"\\\\.\\pipe\\" + name;
  RegisterBuiltIns();
  ControlState& state = State();
  if (state.thread.joinable())
    return;
  cefengine::EnableJournal(true);
  state.stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  state.thread = std::thread(PipeThread, name, state.stop_event);
}

void StopControlPipe() {
  ControlState& state = State();
  if (!state.thread.joinable())
    return;
  SetEvent(state.stop_event);
  state.thread.join();
  CloseHandle(state.stop_event);
  state.stop_event = nullptr;
}

}  // namespace cefengine
