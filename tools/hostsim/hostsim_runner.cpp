#include "tools/hostsim/hostsim_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <mutex>
#include <thread>

#include "tools/json_text.h"

namespace hostsim {

namespace {

std::atomic<int> g_nextRunner{0};

// Longest wait for the tree to end and the output to close in Kill().
constexpr DWORD kKillWaitMs = 5000;
// Processes of a tree the runner lists at most.
constexpr DWORD kMaxTreeProcesses = 256;

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring file(path, n);
  return file.substr(0, file.find_last_of(L"\\/") + 1);
}

// One argument as the C run time's command-line parser reads it back.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote (and the quote itself) are escaped; elsewhere they stand as they are.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return towupper(x) == towupper(y); });
}

// The inherited environment with `changes` applied, as a block for CreateProcessW.
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
      const std::wstring entry = p;
      // Entries such as "=C:=C:\" have no name of their own before the first "=" after position 0.
      const size_t eq = entry.find(L'=', 1);
      const std::wstring name = entry.substr(0, eq);
      bool changed = false;
      for (const auto& change : changes) changed = changed || SameName(change.first, name);
      if (!changed) entries.push_back(entry);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& change : changes) {
    if (!change.second.empty()) entries.push_back(change.first + L"=" + change.second);
  }
  std::vector<wchar_t> out;
  for (const std::wstring& entry : entries) {
    out.insert(out.end(), entry.begin(), entry.end());
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  if (out.size() == 1) out.push_back(L'\0');
  return out;
}

Json::Value ParseObject(const std::string& line) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  try {
    if (!reader->parse(line.data(), line.data() + line.size(), &value, &errors) || !value.isObject())
      return Json::Value();
  } catch (const std::exception&) {  // nesting limits throw
    return Json::Value();
  }
  return value;
}

}  // namespace

struct HostsimRunner::Output {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> lines;
  std::vector<Json::Value> parsed;  // null for a line that is no JSON object
  std::vector<bool> consumed;
  std::vector<std::string> notes;
  bool ended = true;  // hostsim's output closed (or no reader started yet)

  void Append(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Json::Value value = ParseObject(line);
    std::lock_guard<std::mutex> lock(mutex);
    lines.push_back(std::move(line));
    parsed.push_back(std::move(value));
    consumed.push_back(false);
    changed.notify_all();
  }

  // Reads hostsim's output until it closes; owns `pipe`.
  static void Read(std::shared_ptr<Output> output, HANDLE pipe) {
    std::string pending;
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &n, nullptr) && n > 0) {
      pending.append(buffer, n);
      for (size_t at = pending.find('\n'); at != std::string::npos; at = pending.find('\n')) {
        output->Append(pending.substr(0, at));
        pending.erase(0, at + 1);
      }
    }
    if (!pending.empty()) output->Append(pending);
    CloseHandle(pipe);
    std::lock_guard<std::mutex> lock(output->mutex);
    output->ended = true;
    output->changed.notify_all();
  }
};

HostsimRunner::HostsimRunner() : output_(std::make_shared<Output>()) {
  const int n = ++g_nextRunner;
  const std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(n);
  id_ = L"hostsim.test." + unique;
  pipe_ = L"brivelo-control-" + unique;
}

HostsimRunner::~HostsimRunner() {
  Kill();
  if (job_) CloseHandle(job_);
}

void HostsimRunner::Note(const std::string& text) {
  std::lock_guard<std::mutex> lock(output_->mutex);
  output_->notes.push_back(text);
}

bool HostsimRunner::Start(const RunnerOptions& options) {
  if (started_) {
    Note("runner: started twice");
    return false;
  }
  started_ = true;
  // Under Wine the first process of a prefix that needs the desktop starts its desktop process
  // (explorer.exe). Started from hostsim, it would join the job and keep hostsim's output open;
  // asked for here, it is this process's child and serves the desktop while this process lives.
  GetDesktopWindow();
  const std::wstring hostsim = options.hostsim.empty() ? ExeDir() + L"hostsim.exe" : options.hostsim;
  std::wstring command = QuoteArgument(hostsim) + L" " + QuoteArgument(L"--id=" + id_);
  if (!options.exe.empty()) command += L" " + QuoteArgument(L"--exe=" + options.exe);
  for (const std::wstring& arg : options.args) command += L" " + QuoteArgument(arg);

  std::vector<std::pair<std::wstring, std::wstring>> environment;
  if (options.strict) environment.emplace_back(L"BRIVELO_CEF_STRICT", L"1");
  environment.insert(environment.end(), options.environment.begin(), options.environment.end());
  environment.emplace_back(L"BRIVELO_CEF_CONTROL", pipe_);
  std::vector<wchar_t> block = EnvironmentBlock(environment);

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE in_read = nullptr, out_read = nullptr, out_write = nullptr;
  if (!CreatePipe(&in_read, &input_, &inherit, 65536)) {
    Note("runner: no input pipe, error " + std::to_string(GetLastError()));
    return false;
  }
  if (!CreatePipe(&out_read, &out_write, &inherit, 65536)) {
    Note("runner: no output pipe, error " + std::to_string(GetLastError()));
    CloseHandle(in_read);
    return false;
  }
  SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

  // Everything hostsim starts stays in the job; closing the job's last handle ends them all.
  job_ = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job_ && !SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
    Note("runner: the job does not end its processes when closed, error " + std::to_string(GetLastError()));

  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in_read;
  si.hStdOutput = out_write;
  si.hStdError = out_write;
  PROCESS_INFORMATION pi = {};
  const BOOL created = CreateProcessW(hostsim.c_str(), &command[0], nullptr, nullptr, TRUE,
                                      CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &si, &pi);
  const DWORD error = GetLastError();
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!created) {
    Note("runner: hostsim did not start, error " + std::to_string(error) + ": " + ToUtf8(command));
    CloseHandle(out_read);
    return false;
  }
  if (!job_ || !AssignProcessToJobObject(job_, pi.hProcess)) {
    Note("runner: hostsim is in no job of its own, error " + std::to_string(GetLastError()) +
         "; only hostsim itself can be ended");
    if (job_) CloseHandle(job_);
    job_ = nullptr;
  }
  process_ = pi.hProcess;
  hostsim_pid_ = pi.dwProcessId;
  {
    std::lock_guard<std::mutex> lock(output_->mutex);
    output_->ended = false;
  }
  std::thread(&Output::Read, output_, out_read).detach();
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  return true;
}

bool HostsimRunner::Send(const std::string& line) {
  if (!input_) return false;
  const std::string text = line + "\n";
  DWORD written = 0;
  return WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

void HostsimRunner::CloseInput() {
  if (input_) CloseHandle(input_);
  input_ = nullptr;
}

bool HostsimRunner::WaitForLine(const std::function<bool(const Json::Value&)>& match, DWORD timeout_ms,
                                Json::Value* line) {
  Output& out = *output_;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::unique_lock<std::mutex> lock(out.mutex);
  auto take = [&] {
    for (size_t i = 0; i < out.lines.size(); ++i) {
      if (out.consumed[i] || out.parsed[i].isNull() || !match(out.parsed[i])) continue;
      out.consumed[i] = true;
      if (line) *line = out.parsed[i];
      return true;
    }
    return false;
  };
  for (;;) {
    if (take()) return true;
    if (out.ended) return false;
    if (out.changed.wait_until(lock, deadline) == std::cv_status::timeout) return take();
  }
}

bool HostsimRunner::WaitForEvent(const std::string& name, int view, DWORD timeout_ms, Json::Value* event) {
  const std::string full = name.compare(0, 9, "MsgToHost") == 0 ? name : "MsgToHost" + name;
  return WaitForLine(
      [&](const Json::Value& v) {
        return v["event"].isString() && v["event"].asString() == full &&
               (view < 0 || (v["view"].isInt() && v["view"].asInt() == view));
      },
      timeout_ms, event);
}

bool HostsimRunner::WaitForBrowserExit(DWORD timeout_ms, int* code) {
  Json::Value line;
  if (!WaitForLine([](const Json::Value& v) { return v["hostsim"] == "browser-exit"; }, timeout_ms, &line))
    return false;
  if (code) *code = line["code"].isInt() ? line["code"].asInt() : static_cast<int>(line["code"].asUInt());
  return true;
}

bool HostsimRunner::Find(const std::function<bool(const Json::Value&)>& match, Json::Value* line) const {
  std::lock_guard<std::mutex> lock(output_->mutex);
  for (const Json::Value& value : output_->parsed) {
    if (value.isNull() || !match(value)) continue;
    if (line) *line = value;
    return true;
  }
  return false;
}

bool HostsimRunner::WaitForExit(DWORD timeout_ms, DWORD* exit_code) {
  if (!process_ || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exit_code) *exit_code = code;
  return true;
}

std::vector<DWORD> HostsimRunner::LiveProcesses() const {
  std::vector<DWORD> live;
  if (!job_) {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) live.push_back(hostsim_pid_);
    return live;
  }
  const size_t size = sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kMaxTreeProcesses * sizeof(ULONG_PTR);
  std::vector<ULONG_PTR> storage(size / sizeof(ULONG_PTR) + 1);
  auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(storage.data());
  if (!QueryInformationJobObject(job_, JobObjectBasicProcessIdList, list, static_cast<DWORD>(size), nullptr))
    return live;
  const DWORD count = std::min<DWORD>(list->NumberOfProcessIdsInList, kMaxTreeProcesses);
  for (DWORD i = 0; i < count; ++i) {
    const DWORD pid = static_cast<DWORD>(list->ProcessIdList[i]);
    // The list may still name a process that just ended.
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) continue;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) live.push_back(pid);
    CloseHandle(process);
  }
  return live;
}

bool HostsimRunner::WaitForTreeEnd(DWORD timeout_ms) const {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (LiveProcesses().empty()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

void HostsimRunner::Kill() {
  CloseInput();
  if (job_) TerminateJobObject(job_, 1);
  else if (process_) TerminateProcess(process_, 1);
  if (process_) {
    WaitForSingleObject(process_, kKillWaitMs);
    CloseHandle(process_);
    process_ = nullptr;
  }
  if (job_ && !WaitForTreeEnd(kKillWaitMs)) Note("runner: processes of the tree outlived the kill");
  // Everything that could write to hostsim's output is gone: the reader sees it close.
  std::unique_lock<std::mutex> lock(output_->mutex);
  output_->changed.wait_for(lock, std::chrono::milliseconds(kKillWaitMs), [this] { return output_->ended; });
}

std::vector<std::string> HostsimRunner::Lines() const {
  std::lock_guard<std::mutex> lock(output_->mutex);
  return output_->lines;
}

std::string HostsimRunner::Transcript() const {
  std::lock_guard<std::mutex> lock(output_->mutex);
  std::string text;
  for (const std::string& line : output_->lines) text += line + "\n";
  for (const std::string& note : output_->notes) text += note + "\n";
  return text;
}

HWND HostsimRunner::WindowOfEvent(const Json::Value& event) {
  const Json::Value& hwnd = event["hwnd"];
  if (!hwnd.isIntegral()) return nullptr;
  // Handles travel zero-extended from their 32 significant bits.
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(static_cast<uint32_t>(hwnd.asLargestUInt())));
}

}  // namespace hostsim
