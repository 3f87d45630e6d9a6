// The Windows root window of one web view: a native window inside (or owned by) the host's
// window that carries the view's browser window, reports the browser's events to the host and
// carries out the host's commands for the view. A pop-up root window (developer tools) has no
// native window: its browser lives under the manager's temporary window.
//
// Threads: the native window, its procedure and every operation run on the main thread, except
// InitAsPopup and IsCloseRequested (CEF's UI thread). Init may run on any thread; the native
// window is then made on the main thread later.
//
// Lifetime: reference counted (see RootWindow). The manager holds one reference until the
// window and the browser are both gone (event 2 to the host, then OnRootWindowDestroyed).
// Windows of other processes may post the registered quit message and WM_COMMAND to the
// native window; both act on the whole process.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "browser/browser_window.h"
#include "browser/root_window.h"
#include "channel/startup_settings.h"

namespace IPC {
class Message;
}

namespace client {

// Handled like WM_QUERYENDSESSION: the host's way to ask for the end of the session.
constexpr UINT WM_CUSTOM_QUERYENDSESSION = 0x11AD;

// Process-wide registered messages of root windows (the same value in every process).
// Any process may send it to a root window: the whole program quits in order.
UINT RootWindowQuitMessage();
// Shell events of the desktop, for windows registered with RegisterShellHookWindow.
UINT ShellHookMessage();

class RootWindowWin : public RootWindow, public BrowserWindow::Delegate {
 public:
  RootWindowWin();
  RootWindowWin(const RootWindowWin&) = delete;
  RootWindowWin& operator=(const RootWindowWin&) = delete;

  // Main thread. Registers the class of root windows named class_name (for a transparent view
  // or not) unless it exists; an existing one is kept as it is. False when no root window can
  // be made of that name: empty, 256 units or longer (more than Windows keeps of a class name),
  // a class of another window procedure (a system class such as "Edit", or one of this
  // process's other windows), or refused by Windows.
  [[nodiscard]] static bool RegisterWindowClass(const std::wstring& class_name, bool transparent);

  // RootWindow.
  void Init(RootWindow::Delegate* delegate, std::unique_ptr<StartupSettings> settings,
            const CefBrowserSettings& settings_browser) override;
  void InitAsPopup(RootWindow::Delegate* delegate, bool with_controls, bool with_osr,
                   const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                   CefBrowserSettings& settings) override;
  void Show(ShowMode mode) override;
  void Hide() override;
  // Host coordinates: the parent's client area for a child window, the screen for a
  // transparent view. Scaled by the view's factor only for a transparent view started with
  // self_adaption_dpi.
  void SetBounds(int x, int y, size_t width, size_t height) override;
  // force: destroy the window now; otherwise close it in order: the browser first (once it
  // exists, when it is still being made), then the window. Without a native window (it went
  // with the host's window tree, or a pop-up) the process ends here.
  void Close(bool force) override;
  void SetDeviceScaleFactor(float device_scale_factor) override;
  float GetDeviceScaleFactor() const override;
  CefRefPtr<CefBrowser> GetBrowser() const override;
  HWND GetWindowHandle() const override;
  // Starts a host load: the failure counter starts again and this window becomes the one the
  // child-process launch hook tells about a missing Flash plug-in. Nothing before the browser
  // exists.
  void LoadUrl(const CefString& url) override;
  // Mutes this process through the volume-control library and the view's renderer.
  void Mute(bool mute) override;
  // Always empty.
  const wchar_t* GetViewText() override;
  int GetWebViewId() override;
  void SetReferrer(const CefString& referrer) override;
  // The rectangle (screen coordinates) that a moved window is kept inside; width and height 0
  // mean none.
  void SetWorkArea(int x, int y, int width, int height) override;

  // BrowserWindow::Delegate: browser events, turned into host events.
  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override;
  void OnBrowserClosing(CefRefPtr<CefBrowser> browser) override;
  void OnBrowserWindowDestroyed() override;
  void OnSetAddress(const std::string& url) override;
  void OnSetTitle(const std::string& title) override;
  void OnSetFullscreen(bool fullscreen) override;
  void OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) override;
  void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override;
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override;
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                   const CefString& errorText, const CefString& failedUrl) override;
  // CEF's UI thread: true once this root window started to close.
  bool IsCloseRequested(CefRefPtr<CefBrowser> browser) override;
  void OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                        cef_window_open_disposition_t disposition, bool user_gesture) override;
  void OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                     cef_window_open_disposition_t disposition, bool user_gesture) override;

 private:
  ~RootWindowWin() override;

  // Creation.
  void CreateBrowserWindow(const std::string& startup_url);
  void CreateRootWindow(const CefBrowserSettings& settings);
  static LRESULT CALLBACK RootWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  // Placement.
  void OnSize(bool minimized);
  void CheckResizeBrowser(UINT_PTR timer_id);
  void ClampToWorkArea(RECT* rect);

  // Closing and the end of the process.
  bool OnClose();
  void OnDestroyed();
  void NotifyDestroyedIfDone();
  void OnQueryEndSession();
  bool OnCommand(UINT id);
  void OnShellHook(WPARAM wParam, LPARAM lParam);
  void OnFlashPluginDllNotExist();
  void ReportHostWindowMissing(const wchar_t* action);

  // Queued for the channel's sender thread, or sent now and waited for when sync.
  void SendToHost(IPC::Message message, bool sync = false);
  // The view bits of this view's events.
  uint32_t EventView();

  RootWindow::Delegate* delegate_;
  bool with_osr_;
  bool is_popup_;
  RECT start_rect_;
  RECT client_rect_;
  std::unique_ptr<BrowserWindow> browser_window_;
  bool initialized_;
  bool with_controls_;
  HWND hwnd_;
  HWND parent_hwnd_;
  int load_failure_count_;
  // Set on the main thread, read on CEF's UI thread.
  std::atomic<bool> closing_;
  bool window_destroyed_;
  bool browser_destroyed_;
  UINT_PTR timer_id_;
  DWORD last_resize_check_;
  std::unique_ptr<StartupSettings> startup_settings_;
};

}  // namespace client
