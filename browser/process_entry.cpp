#include "browser/process_entry.h"

#include <cwchar>
#include <memory>
#include <utility>

#include "base/common_util.h"
#include "base/log.h"
#include "browser/client_app_browser.h"
#include "browser/crash_handler.h"
#include "browser/main_context_impl.h"
#include "browser/main_message_loop_multithreaded_win.h"
#include "browser/main_message_loop_std.h"
#include "browser/process_launch_hook.h"
#include "browser/root_window_manager.h"
#include "browser/user_click_monitor.h"
#include "channel/startup_settings.h"
#include "include/cef_app.h"
#include "product/kiv_statistic.h"
#include "product/product_helper.h"
#include "product/volume_ctrl_module.h"
#include "render/client_app.h"
#include "render/client_app_other.h"
#include "render/client_app_renderer.h"

namespace process_entry {

namespace {

const wchar_t kMuteVariable[] = L"__sc_mute_app";
// How long a self-ending browser waits for its last events to reach a live host.
const DWORD kHostEventsWaitMs = 1000;

// The crash hand-off lasts for the life of the process; installed once.
void InstallCrashHandOff() {
  static CrashHandler* handler = nullptr;
  if (handler) return;
  handler = new CrashHandler();
  CrashHandler::SetReportInfo(L"KivBrivelo", 0, nullptr);
}

// Ends this process with exit code 0; returns only when that failed.
void TerminateSelf() { TerminateProcess(GetCurrentProcess(), 0); }

}  // namespace

bool EnvironmentAsksForMute(wchar_t* buffer) {
  const DWORD length = GetEnvironmentVariableW(kMuteVariable, buffer, kEnvironmentBufferUnits);
  // A value that does not fit returns the size it would need, terminator included.
  if (length == 0 || length >= kEnvironmentBufferUnits) return false;
  return _wcsicmp(buffer, L"true") == 0;
}

bool MuteIfAsked(CefRefPtr<CefCommandLine> command_line, int process_type, wchar_t* buffer) {
  if (command_line->HasSwitch("sc_mute_app")) {
    // Children inherit the environment: they mute themselves, switch or not.
    SetEnvironmentVariableW(kMuteVariable, L"true");
  } else if (!EnvironmentAsksForMute(buffer)) {
    return false;
  }
  const int ret = VolumeCtrlModule::GetInstance()->MuteApp(true) ? 1 : 0;
  LogInfoW(L"sc_mute_app: ret = %d, process_type = %d", ret, process_type);
  return true;
}

void ApplyFileSwitches(CefRefPtr<CefCommandLine> command_line, CefSettings* settings) {
  const CefString cache_path = command_line->GetSwitchValue("cache_path");
  if (!cache_path.empty()) CefString(&settings->cache_path) = cache_path;
  const CefString log_file = command_line->GetSwitchValue("log_file");
  if (!log_file.empty()) CefString(&settings->log_file) = log_file;
}

}  // namespace process_entry

using namespace process_entry;

namespace {

// The browser process after CefExecuteProcess returned -1: set-up, the main loop, shutdown.
int RunBrowserProcess(const CefMainArgs& main_args, CefRefPtr<CefCommandLine> command_line,
                      CefRefPtr<CefApp> application) {
  client::MainContextImpl* context = new client::MainContextImpl(command_line, true);

  CefSettings settings;
  settings.no_sandbox = 1;

  // The record moves into the first root window.
  std::unique_ptr<StartupSettings> record(new StartupSettings());
  record->class_name = L"Brivelo";
  (void)record->ParseCommandLine(command_line);

  if (record->transparent_window) settings.windowless_rendering_enabled = 1;

  // Also switches the click monitor on or off.
  context->PopulateSettings(command_line->GetSwitchValue("cmd"), &settings);
  ApplyFileSwitches(command_line, &settings);

  client::MainMessageLoop* message_loop = nullptr;
  if (settings.multi_threaded_message_loop)
    message_loop = new client::MainMessageLoopMultithreadedWin();
  else
    message_loop = new client::MainMessageLoopStd();

  int exit_code = kExitCefInitializeFailed;
  const std::wstring channel_id = record->tab_ids;
  if (!context->Initialize(main_args, settings, application, nullptr, channel_id)) {
    // Nothing of CEF runs, so there is nothing to shut down; without a root-window manager and
    // a channel no view can be made.
    LogErrorW(L"Main : CefInitialize failed, no view is created. exitCode = %d", exit_code);
  } else {
    context->WatchHostProcess(record->parent_wnd);

    // The manager keeps the window.
    context->GetRootWindowManager()->CreateRootWindow(std::move(record));

    UserClickMonitor::GetInstance()->HookCurrentThread();

    exit_code = message_loop->Run();

    UserClickMonitor::GetInstance()->UnhookAll();

    if (command_line->HasSwitch("sc_terminate_quit")) {
      LogInfoW(L"Main : TerminateProcess.");
      // The host's last events (the closed view's event 2) are still queued for the channel's
      // sender thread, which ends with the process.
      if (!context->WaitForHostEvents(kHostEventsWaitMs)) LogInfoW(L"Main : events for the host not all sent.");
      TerminateSelf();
      LogErrorW(L"TerminateProcess error:%d. Shut down CEF", GetLastError());
    } else {
      LogInfoW(L"Main : Shutdown.");
    }
    context->Shutdown();
  }

  // The context's destructor cancels the host-process watch before anything of it goes.
  delete message_loop;
  delete context;
  return exit_code;
}

}  // namespace

int Main(HINSTANCE instance, int show) {
  wchar_t environment_value[kEnvironmentBufferUnits] = {};

  // From here on every child of this process passes the hook; it fails (logged) where the
  // hooking engine cannot work, and children then start unchanged.
  (void)ProcessLaunchHook::Install();

  CefMainArgs main_args(instance);

  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(GetCommandLineW());

  if (command_line->HasSwitch("enable_high_dpi")) CefEnableHighDPISupport();

  const ATL::CStringW app_data_path = CommonUtil::GetProductAppDataPath();
  const ATL::CStringW product_id = CommonUtil::GetProductId();
  LogInfoW(L"Main(%s) : strProductId = %s, strProductAppDataPath = %s", GetCommandLineW(),
           static_cast<const wchar_t*>(product_id), static_cast<const wchar_t*>(app_data_path));

  const client::ClientApp::ProcessType process_type = client::ClientApp::GetProcessType(command_line);

  CefRefPtr<CefApp> application;
  CefRefPtr<client::ClientAppRenderer> renderer;
  switch (process_type) {
    case client::ClientApp::BrowserProcess:
      (void)InitProductHelper(2);
      InstallCrashHandOff();
      LogInit(nullptr, app_data_path, L"browser");
      application = new client::ClientAppBrowser();
      break;
    case client::ClientApp::RendererProcess:
      LogInit(nullptr, app_data_path, L"render");
      renderer = new client::ClientAppRenderer();
      application = renderer.get();
      break;
    default:
      LogInit(nullptr, app_data_path, L"other");
      application = new client::ClientAppOther();
      break;
  }

  if (process_type == client::ClientApp::BrowserProcess || process_type == client::ClientApp::RendererProcess) {
    if (CKivStatistic* statistic = GetKivStatistic()) (void)statistic->Init(2, L"brivelo", nullptr);
  }

  (void)MuteIfAsked(command_line, process_type, environment_value);

  const int result = CefExecuteProcess(main_args, application, nullptr);
  if (result >= 0) {
    // CEF ran this sub-process to its end. The switch is tested first: with it the host window
    // is not examined (and no statistics report is made).
    bool terminate = command_line->HasSwitch("sc_terminate_quit");
    if (!terminate && renderer) terminate = !renderer->IsHostWindowValid();
    if (terminate) {
      LogInfoW(L"CefExecuteProcess : TerminateProcess.");
      TerminateSelf();
      LogErrorW(L"CefExecuteProcess TerminateProcess error:%d", GetLastError());
    }
    return result;
  }

  return RunBrowserProcess(main_args, command_line, application);
}
