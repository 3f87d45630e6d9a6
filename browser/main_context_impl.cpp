#include "browser/main_context_impl.h"

#include <cstdlib>

#include "base/command_line.h"
#include "base/log.h"
#include "browser/root_window_manager.h"
#include "browser/user_click_monitor.h"
#include "channel/ipc_message.h"
#include "channel/process_watch.h"

namespace client {

namespace {

// CEF writes no log of its own at this severity.
const int kLogSeverityDisable = 99;
const int kMinimumFontSize = 6;

}  // namespace

MainContextImpl::MainContextImpl(CefRefPtr<CefCommandLine> command_line, bool terminate_when_all_windows_closed)
    : command_line_(command_line),
      terminate_when_all_windows_closed_(terminate_when_all_windows_closed),
      cookie_reads_enabled_(false),
      background_color_(0xFFFFFFFF),
      quitting_(false) {
  if (command_line_) tab_group_ids_ = command_line_->GetSwitchValue("tab_group_ids").ToWString();
}

MainContextImpl::~MainContextImpl() {
  // The watch's thread-pool callback reaches this object through Get(): it must be gone first.
  UnregisterProcessWaitExit();
}

bool MainContextImpl::Initialize(const CefMainArgs& args, const CefSettings& settings,
                                 CefRefPtr<CefApp> application, void* windows_sandbox_info,
                                 const std::wstring& id) {
  channel_id_ = id;

  if (!CefInitialize(args, settings, application, windows_sandbox_info)) return false;

  root_window_manager_.reset(new RootWindowManager(terminate_when_all_windows_closed_));
  cookie_reads_enabled_.store(true);

  channel_.Init(tab_group_ids_.empty() ? channel_id_.c_str() : tab_group_ids_.c_str());
  channel_.AddListener(this);
  return true;
}

void MainContextImpl::WatchHostProcess(HWND host_window) {
  // A failed watch only means the process does not end by itself with the host.
  (void)RegisterProcessWaitExit(host_window);
  DWORD host_process = 0;
  if (host_window) GetWindowThreadProcessId(host_window, &host_process);
  channel_.SetPeerProcessId(host_process);
}

void MainContextImpl::Shutdown() {
  // Quit from the watch reads the manager; cancel it before the manager goes.
  UnregisterProcessWaitExit();
  cookie_reads_enabled_.store(false);
  root_window_manager_.reset();
  CefShutdown();
}

void MainContextImpl::Quit() {
  LogInfoW(L"MainContextImpl::Quiting");
  if (quitting_.exchange(true)) return;
  if (root_window_manager_) root_window_manager_->CloseAllWindows(false);
}

std::string MainContextImpl::GetConsoleLogPath() { return GetAppDataWorkingDirectory() + "console.log"; }

cef_color_t MainContextImpl::GetBackgroundColor() { return background_color_; }

void MainContextImpl::PopulateSettings(const CefString& cmd, CefSettings* settings) {
  settings->multi_threaded_message_loop = 1;
  settings->background_color = background_color_;
  CefString(&settings->cache_path) = GetAppDataWorkingDirectory() + "cef_cache";
  CefString(&settings->log_file) = "disable.log";
  settings->log_severity = static_cast<cef_log_severity_t>(kLogSeverityDisable);

  if (!cmd.empty()) {
    CCommandLine cmd_line;
    if (cmd_line.Parse(cmd.ToWString())) {
      UserClickMonitor::GetInstance()->SetEnabled(cmd_line.HasSwitch(L"quenlet_mode") ||
                                                  cmd_line.HasSwitch(L"check_user_click"));
    }
  }
}

void MainContextImpl::PopulateBrowserSettings(CefBrowserSettings* settings) {
  if (command_line_ && command_line_->HasSwitch("off-screen-frame-rate")) {
    // Text that is no number gives 0.
    settings->windowless_frame_rate = atoi(command_line_->GetSwitchValue("off-screen-frame-rate").ToString().c_str());
  }
  settings->minimum_font_size = kMinimumFontSize;
  settings->minimum_logical_font_size = kMinimumFontSize;
  CefString(&settings->accept_language_list) = "zh-CN";
}

void MainContextImpl::PopulateOsrSettings(OsrRendererSettings* settings) {
  settings->transparent = command_line_ && command_line_->HasSwitch("transparent-painting-enabled");
  settings->show_update_rect = command_line_ && command_line_->HasSwitch("show-update-rect");
  settings->background_color = background_color_;
}

RootWindowManager* MainContextImpl::GetRootWindowManager() { return root_window_manager_.get(); }

void MainContextImpl::SendToHost(IPC::Message& message, bool sync) {
  // Fails only without a peer or a started channel; events are then lost, as the host is.
  (void)channel_.Send(&message, !sync, sync);
}

bool MainContextImpl::WaitForHostEvents(DWORD timeout_ms) { return channel_.WaitUntilSent(timeout_ms); }

int MainContextImpl::GetRoutingId() { return kRoutingIdBrowser; }

void MainContextImpl::OnPeerProcessExit(bool session_ending) { Quit(); }

}  // namespace client
