// The part of a view that owns the engine's browser: it keeps the browser and the client handler
// that serves it, passes the handler's events on to its root window, and moves, shows, hides
// and focuses the browser for the root window. BrowserWindowStdWin hosts a windowed browser,
// the off-screen kind a windowless one.
//
// Threads: the root window calls everything on the main thread. The client handler calls the
// ClientHandler::Delegate slots on the main thread, except OnBrowserDoClose and
// GetParentWindowHandle (engine UI thread) and GetReferrer, HasWorkArea and GetWorkArea (any
// engine thread).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "browser/client_handler.h"
#include "include/base/cef_lock.h"

namespace client {

class BrowserWindow : public ClientHandler::Delegate {
 public:
  // What the root window hears. Every operation but IsCloseRequested comes on the main thread.
  class Delegate {
   public:
    virtual void OnBrowserCreated(CefRefPtr<CefBrowser> browser) = 0;
    virtual void OnBrowserClosing(CefRefPtr<CefBrowser> browser) = 0;
    // The browser has closed; the browser window let go of it and of its client handler.
    virtual void OnBrowserWindowDestroyed() = 0;
    virtual void OnSetAddress(const std::string& url) = 0;
    virtual void OnSetTitle(const std::string& title) = 0;
    virtual void OnSetFullscreen(bool fullscreen) = 0;
    virtual void OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) = 0;
    // Main frame only.
    virtual void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) = 0;
    // Every frame.
    virtual void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int statusCode) = 0;
    // Main frame only.
    virtual void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                             const CefString& errorText, const CefString& failedUrl) = 0;
    // Engine UI thread: true when the root window itself asked its browser to close.
    virtual bool IsCloseRequested(CefRefPtr<CefBrowser> browser) = 0;
    virtual void OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                  const CefString& target_url, cef_window_open_disposition_t disposition,
                                  bool user_gesture) = 0;
    virtual void OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                               const CefString& target_url, cef_window_open_disposition_t disposition,
                               bool user_gesture) = 0;

    virtual ~Delegate() {}
  };

  BrowserWindow(const BrowserWindow&) = delete;
  BrowserWindow& operator=(const BrowserWindow&) = delete;

  // ClientHandler::Delegate
  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override;
  void OnBrowserClosing(CefRefPtr<CefBrowser> browser) override;
  void OnBrowserClosed(CefRefPtr<CefBrowser> browser) override;
  void OnSetAddress(const std::string& url) override;
  void OnSetTitle(const std::string& title) override;
  void OnSetFullscreen(bool fullscreen) override;
  void OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) override;
  void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override;
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override;
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                   const CefString& errorText, const CefString& failedUrl) override;
  void OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                        cef_window_open_disposition_t disposition, bool userGesture) override;
  void OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                     cef_window_open_disposition_t disposition, bool userGesture) override;
  bool OnBrowserDoClose(CefRefPtr<CefBrowser> browser) override;
  int32 GetWebViewId() override { return web_view_id_; }
  std::wstring GetReferrer() override;
  bool HasWorkArea() override;
  CefRect GetWorkArea() override;

  ~BrowserWindow() override;

  // Starts the engine's asynchronous creation of the browser inside parent; the browser
  // arrives later through OnBrowserCreated.
  virtual void CreateBrowser(HWND parent, const CefRect& rect, const CefBrowserSettings& settings,
                             CefRefPtr<CefRequestContext> request_context) = 0;
  // Engine UI thread, for a pop-up browser that the root-window manager places in this window:
  // fills its window information and client (settings stay as given).
  virtual void GetPopupConfig(HWND temp_handle, CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                              CefBrowserSettings& settings) = 0;
  virtual void ShowPopup(HWND parent, int x, int y, size_t width, size_t height) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetBounds(int x, int y, size_t width, size_t height) = 0;
  virtual void SetFocus(bool focus) = 0;
  // The windowed kind keeps the factor 1.0.
  virtual void SetDeviceScaleFactor(float device_scale_factor) {}
  virtual float GetDeviceScaleFactor() const { return 1.0f; }
  // Null before the browser exists and after it closed.
  virtual HWND GetWindowHandle() = 0;

  // Empty before OnBrowserCreated and after OnBrowserClosed.
  CefRefPtr<CefBrowser> GetBrowser() const { return browser_; }
  // True once the root window agreed to the browser's close. Any thread.
  bool IsClosing() const { return is_closing_; }
  // The referrer of the view's later requests.
  void SetReferrer(const std::wstring& referrer);
  // The view has a work area when the width or the height is above 0.
  void SetWorkArea(const CefRect& work_area);

 protected:
  // delegate: the root window, not owned, never null in use.
  BrowserWindow(Delegate* delegate, int32 web_view_id);

  // Main thread: no event or question of the client handler reaches this object once it
  // returned, and none is still in progress. The subclass destructor calls it first: a question
  // the engine asks meanwhile is answered by the subclass, which must still be whole.
  void DetachClientHandler();

  Delegate* const delegate_;
  CefRefPtr<CefBrowser> browser_;
  // Made by the subclass constructor; dropped when the browser has closed.
  CefRefPtr<ClientHandler> client_handler_;

 private:
  std::atomic<bool> is_closing_{false};
  const int32 web_view_id_;
  // Guards the referrer and the work area, which engine threads read while the main thread
  // may replace them.
  mutable base::Lock lock_;
  std::wstring referrer_;
  bool has_work_area_ = false;
  CefRect work_area_;
};

}  // namespace client
