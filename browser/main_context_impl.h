// The browser process's context: owns the root-window manager and the host channel, fills
// CEF's settings, answers the folder questions, sends the host its events and, as the channel's
// listener with routing id 1, dispatches the host's commands.
//
// Threads: created, initialised, shut down and deleted on the main thread; host commands are
// dispatched there too. Quit and SendToHost may be called from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "browser/main_context.h"
#include "browser/root_window.h"
#include "channel/channel.h"
#include "include/cef_app.h"
#include "include/cef_command_line.h"

namespace client {

class RootWindowManager;

class MainContextImpl : public MainContext, public IChannelListener2 {
 public:
  // Registers the instance and reads "tab_group_ids"; the channel is not started yet.
  MainContextImpl(CefRefPtr<CefCommandLine> command_line, bool terminate_when_all_windows_closed);
  // Stops the channel first (no command arrives afterwards), then deletes what is left.
  ~MainContextImpl() override;

  // Starts CEF; only when that succeeds creates the root-window manager, enables cookie reads
  // and opens the channel named by "tab_group_ids", else by id. False when CEF did not start
  // (then nothing else is created).
  [[nodiscard]] bool Initialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application,
                                void* windows_sandbox_info, const std::wstring& id);
  // Follows the process that owns the host's window: the context quits when it ends, and the
  // channel sends only to a window of that process. Without a host window (null, or not a
  // window) no process is known and the channel takes any window of the host's channel name.
  // After Initialize, before the first view; main thread.
  void WatchHostProcess(HWND host_window);
  // After the main loop: cancels the host-process watch, deletes the manager, stops CEF.
  void Shutdown();
  // For a process about to end itself: waits, for at most timeout_ms, until the events queued
  // for the host have reached it. False when they did not (no host window, or time out).
  // Main thread.
  [[nodiscard]] bool WaitForHostEvents(DWORD timeout_ms);

  // MainContext.
  void Quit() override;
  std::string GetConsoleLogPath() override;
  std::string GetDownloadPath(const std::string& file_name) override;
  std::string GetAppWorkingDirectory() override;
  std::string GetAppDataWorkingDirectory() override;
  cef_color_t GetBackgroundColor() override;
  void PopulateSettings(const CefString& cmd, CefSettings* settings) override;
  void PopulateBrowserSettings(CefBrowserSettings* settings) override;
  void PopulateOsrSettings(OsrRendererSettings* settings) override;
  RootWindowManager* GetRootWindowManager() override;
  void SendToHost(IPC::Message& message, bool sync) override;

  // IChannelListener2: the host-command dispatcher (main thread).
  void OnMessageReceived(const IPC::Message& message) override;
  int GetRoutingId() override;
  void OnPeerProcessExit(bool session_ending) override;

 private:
  // One handler per command code; view = the type's bits 8-15.
  void OnMsgToBrowserLoadUrl(const IPC::Message& message, int view);
  void OnMsgToBrowserSetCookie(const IPC::Message& message, int view);
  void OnMsgToBrowserSetBounds(const IPC::Message& message, int view);
  void OnMsgToBrowserShow(const IPC::Message& message, int view);
  void OnMsgToBrowserClose(const IPC::Message& message, int view);
  void OnMsgToBrowserMute(const IPC::Message& message, int view);
  void OnMsgToBrowserCallFunction(const IPC::Message& message, int view);
  void OnMsgToBrowserGetCookies(const IPC::Message& message, int view);
  void OnMsgToBrowserRegisterFunction(const IPC::Message& message, int view);
  void OnMsgToBrowserCreateWebView(const IPC::Message& message, int view);
  void OnMsgToBrowserSetCookieSchemes(const IPC::Message& message, int view);
  void OnMsgToBrowserDeleteCookies(const IPC::Message& message, int view);
  void OnMsgToBrowserGoBack(const IPC::Message& message, int view);
  void OnMsgToBrowserGoForward(const IPC::Message& message, int view);
  void OnMsgToBrowserReload(const IPC::Message& message, int view);
  void OnMsgToBrowserReloadIgnoreCache(const IPC::Message& message, int view);
  void OnMsgToBrowserStopLoad(const IPC::Message& message, int view);
  void OnMsgToBrowserSetReferer(const IPC::Message& message, int view);
  void OnMsgToBrowserSetWorkArea(const IPC::Message& message, int view);

  // The view's root window; null when none (or no manager).
  scoped_refptr<RootWindow> FindRootWindow(int view);
  // The view's browser; null when the view or its browser is missing.
  CefRefPtr<CefBrowser> FindBrowser(int view);
  // Command 7's answer, queued for the host.
  void SendCallResult(int view, int64_t execute_id, int32_t status, const std::wstring& result);
  // The cookie answer (event 0x0D); runs on CEF's IO thread.
  void SendCookies(int view, const std::wstring& cookies, const std::wstring& url);

  CefRefPtr<CefCommandLine> command_line_;
  const bool terminate_when_all_windows_closed_;
  // Cookie reads run only between a successful Initialize and Shutdown; each read gets a
  // visit task of its own.
  std::atomic<bool> cookie_reads_enabled_;
  const cef_color_t background_color_;
  std::unique_ptr<RootWindowManager> root_window_manager_;
  std::wstring tab_group_ids_;
  std::wstring channel_id_;
  CChannel channel_;
  // Quit may come from the host-process watch's thread-pool thread.
  std::atomic<bool> quitting_;
};

}  // namespace client
