#include "bench/bench_host.h"

#include <shellapi.h>

#include <algorithm>

#include "bench/bench_report.h"

namespace bench {

namespace {

const DWORD kPollMs = 5;

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd, msg, wp, lp); }

// Waits for a message (or `handle`, when given) for at most wait_ms, then dispatches every message waiting.
void PumpOnce(DWORD wait_ms, HANDLE handle = nullptr) {
  MsgWaitForMultipleObjects(handle ? 1 : 0, handle ? &handle : nullptr, FALSE, wait_ms, QS_ALLINPUT);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

BenchHost::BenchHost(const std::wstring& tag) {
  id_ = L"bench." + tag + L"." + std::to_wstring(GetCurrentProcessId());
  window_ = hostsim::CreateHostWindow(HostWindowProc);
  // The host end exists before the browser starts: its first event is synchronous.
  const std::wstring name = kStubChannelPrefix + id_;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = ChannelProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = name.c_str();
  RegisterClassExW(&wc);
  channel_window_ = CreateWindowExW(0, name.c_str(), name.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
  SetWindowLongPtrW(channel_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

BenchHost::~BenchHost() {
  Kill();
  if (channel_window_) DestroyWindow(channel_window_);
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK BenchHost::ChannelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_COPYDATA) return DefWindowProcW(hwnd, msg, wp, lp);
  auto* host = reinterpret_cast<BenchHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
  if (!host || !data || !data->lpData || data->cbData < IPC::Message::kHeaderSize || data->cbData > 0x7FFFFFFFu)
    return TRUE;
  IPC::Message message(static_cast<const char*>(data->lpData), static_cast<int>(data->cbData));
  if (message.IsUsable() && message.GetRouting() == kRoutingIdHost)
    host->OnMessageReceived(message, data->dwData == kCopyDataSync);
  return TRUE;
}

bool BenchHost::Launch(hostsim::BrowserLaunch launch, const std::vector<std::pair<std::wstring, std::wstring>>& environment) {
  Kill();
  launch.id = id_;
  peer_ = nullptr;
  std::wstring command = hostsim::BrowserCommandLine(launch, window_);
  for (const auto& variable : environment)
    SetEnvironmentVariableW(variable.first.c_str(), variable.second.empty() ? nullptr : variable.second.c_str());
  job_ = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job_) SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  launch_time_ = Now();
  const BOOL started =
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi);
  for (const auto& variable : environment) SetEnvironmentVariableW(variable.first.c_str(), nullptr);
  if (!started) return false;
  if (job_) AssignProcessToJobObject(job_, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  process_id_ = pi.dwProcessId;
  return true;
}

void BenchHost::OnMessageReceived(const IPC::Message& message, bool sync) {
  HostEvent event;
  event.time = Now();
  event.code = client::CodeOfType(message.GetType());
  event.view = client::ViewOfType(message.GetType());
  event.sync = sync;
  if (const client::ProtocolEntry* entry = client::FindHostEvent(event.code))
    event.items = client::DecodePayload(message, entry->layout);
  if (hook_) hook_(event);
  events_.push_back(std::move(event));
  taken_.push_back(false);
}

bool BenchHost::PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, HANDLE handle) {
  const double end = Now() + timeout_ms / 1000.0;
  for (;;) {
    if (done()) return true;
    const double left = end - Now();
    if (left <= 0) return false;
    // Conditions that no message or handle announces are looked at again every few milliseconds.
    PumpOnce(std::min<DWORD>(static_cast<DWORD>(left * 1000) + 1, kPollMs), handle);
  }
}

bool BenchHost::WaitForEvent(uint32_t code, int view, DWORD timeout_ms, HostEvent* event,
                             const std::function<bool(const HostEvent&)>& match) {
  size_t scanned = first_untaken_;
  return PumpUntil(
      [&] {
        for (; scanned < events_.size(); ++scanned) {
          const HostEvent& e = events_[scanned];
          if (taken_[scanned] || e.code != code || (view >= 0 && e.view != static_cast<uint32_t>(view))) continue;
          if (match && !match(e)) continue;
          taken_[scanned] = true;
          if (event) *event = e;
          while (first_untaken_ < taken_.size() && taken_[first_untaken_]) ++first_untaken_;
          return true;
        }
        return false;
      },
      timeout_ms);
}

size_t BenchHost::CountEvents(uint32_t code, int view) const {
  size_t count = 0;
  for (const HostEvent& e : events_) {
    if (e.code == code && (view < 0 || e.view == static_cast<uint32_t>(view))) ++count;
  }
  return count;
}

void BenchHost::ClearEvents() {
  events_.clear();
  taken_.clear();
  first_untaken_ = 0;
}

bool BenchHost::Send(uint32_t view, client::HostCommand code, const std::vector<client::PayloadItem>& items, bool sync) {
  IPC::Message message;
  if (!client::MakeCommand(view, code, items, &message)) return false;
  COPYDATASTRUCT data{sync ? kCopyDataSync : kCopyDataAsync, message.GetSize(), const_cast<char*>(message.GetData())};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!peer_) {
      const std::wstring name = kBrowserChannelPrefix + id_;
      peer_ = FindWindowW(name.c_str(), name.c_str());
      if (!peer_) return false;
    }
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutW(peer_, WM_COPYDATA, reinterpret_cast<WPARAM>(channel_window_),
                            reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 30000, &answer))
      return true;
    peer_ = nullptr;  // gone (a browser started since): look it up again
  }
  return false;
}

bool BenchHost::WaitForExit(DWORD timeout_ms) {
  if (!process_) return true;
  HANDLE process = process_;
  const bool ended =
      PumpUntil([process] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, timeout_ms, process);
  if (ended) Kill();
  return ended;
}

void BenchHost::Kill() {
  if (job_) {
    TerminateJobObject(job_, 1);
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    // Every process of the job is gone once none is active any more.
    for (int i = 0; i < 500; ++i) {
      if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &accounting, sizeof(accounting),
                                     nullptr) ||
          accounting.ActiveProcesses == 0)
        break;
      PumpOnce(10);
    }
    CloseHandle(job_);
    job_ = nullptr;
  }
  if (process_) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
    process_ = nullptr;
  }
  process_id_ = 0;
}

client::PayloadItem BenchHost::Int(int64_t value, char kind) {
  client::PayloadItem item;
  item.kind = kind;
  item.number = value;
  item.present = true;
  return item;
}

client::PayloadItem BenchHost::Text(const std::wstring& text) {
  client::PayloadItem item;
  item.kind = 's';
  item.text = text;
  item.present = true;
  return item;
}

ScratchFolder::ScratchFolder(const std::wstring& tag) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + L"brivelo-bench-" + tag + L"-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
  // SHFileOperation takes a list ending in two zero characters.
  std::wstring from = path_ + L'\0';
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

}  // namespace bench
