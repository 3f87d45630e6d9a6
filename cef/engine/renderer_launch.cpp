#include "engine/renderer_launch.h"

#include <mutex>

#include "engine/context.h"
#include "engine/logging.h"

namespace cefengine {

namespace {

const DWORD kStatusControlCExit = 0xC000013A;
const DWORD kDebuggerTerminated = 0x40010004;

struct ChildRegistry {
  std::mutex mutex;
  std::vector<ChildProcessRecord> records;
};

ChildRegistry& Children() {
  static ChildRegistry* registry = new ChildRegistry();
  return *registry;
}

ChildProcessRecord* FindChild(int renderer_id) {
  for (auto& record : Children().records)
    if (record.renderer_id == renderer_id)
      return &record;
  return nullptr;
}

}  // namespace

std::wstring RendererPipeName(int n) {
  return L"\\\\.\\pipe\\cefengine-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n);
}

std::wstring RendererExecutable() {
  if (IsInitialized()) {
    CefSettings settings = CurrentSettings();
    std::wstring path = CefString(&settings.browser_subprocess_path).ToWString();
    if (!path.empty())
      return path;
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

CefRefPtr<CefCommandLine> BuildRendererCommandLine(const std::wstring& channel, int n) {
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram(RendererExecutable());
  line->AppendSwitchWithValue("type", "renderer");
  line->AppendSwitchWithValue("cefengine-channel", channel);
  line->AppendSwitchWithValue("cefengine-renderer-id", std::to_wstring(n));
  std::wstring locale = CurrentLocale();
  if (!locale.empty())
    line->AppendSwitchWithValue("lang", locale);
  // The renderer logs where the browser does.
  if (CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine()) {
    for (const char* name : {"log-file", "log-severity"})
      if (global->HasSwitch(name))
        line->AppendSwitchWithValue(name, global->GetSwitchValue(name));
  }
  return line;
}

cef_termination_status_t TerminationStatusForExitCode(DWORD exit_code) {
  if (exit_code == kRendererKilledExitCode || exit_code == kStatusControlCExit || exit_code == kDebuggerTerminated)
    return TS_PROCESS_WAS_KILLED;
  if (exit_code >= 0xC0000000u)
    return TS_PROCESS_CRASHED;
  return TS_ABNORMAL_TERMINATION;
}

HANDLE LaunchRendererProcess(const std::wstring& command_line, DWORD* pid) {
  *pid = 0;
  std::wstring line = command_line;  // CreateProcessW may write into the buffer
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    LOG(ERROR) << "Renderer launch: CreateProcessW failed: " << GetLastError();
    return nullptr;
  }
  if (info.hThread)
    CloseHandle(info.hThread);
  if (!info.hProcess) {
    LOG(WARNING) << "Renderer launch: CreateProcessW reported success without a process";
    return nullptr;
  }
  *pid = info.dwProcessId;
  return info.hProcess;
}

void NoteChildLaunched(int browser_id, int renderer_id, DWORD pid, const std::wstring& command_line) {
  std::lock_guard<std::mutex> lock(Children().mutex);
  ChildProcessRecord record;
  record.browser_id = browser_id;
  record.renderer_id = renderer_id;
  record.pid = pid;
  record.command_line = command_line;
  Children().records.push_back(record);
}

void NoteChildHello(int renderer_id, DWORD pid, const std::wstring& command_line) {
  std::lock_guard<std::mutex> lock(Children().mutex);
  if (ChildProcessRecord* record = FindChild(renderer_id)) {
    record->connected = true;
    if (!record->pid)
      record->pid = pid;
    record->command_line = command_line;
  }
}

void NoteChildEnded(int renderer_id, DWORD exit_code) {
  std::lock_guard<std::mutex> lock(Children().mutex);
  if (ChildProcessRecord* record = FindChild(renderer_id)) {
    record->ended = true;
    record->exit_code = exit_code;
  }
}

std::vector<ChildProcessRecord> ChildProcessRecords() {
  std::lock_guard<std::mutex> lock(Children().mutex);
  return Children().records;
}

}  // namespace cefengine
