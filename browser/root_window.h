// The root window of one web view: the native window that holds a view's browser inside the
// host's window (or a pop-up one for developer tools). The manager and the host-command
// dispatcher see only this interface.
//
// Ownership: reference counted across threads; the last release deletes the object on the
// main thread (DeleteOnMainThread), through the virtual destructor.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "channel/startup_settings.h"
#include "include/base/cef_ref_counted.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_request_context.h"

namespace client {

class RootWindow;

// Deleter of RootWindow's reference count.
struct DeleteOnMainThread {
  // Any thread. On the main thread the window is deleted at once (nothing for null);
  // elsewhere the deletion is posted to the main message loop, which must exist.
  static void Destruct(const RootWindow* window);
};

class RootWindow : public base::RefCountedThreadSafe<RootWindow, DeleteOnMainThread> {
 public:
  enum ShowMode {
    ShowNormal,
    ShowMinimized,
    ShowMaximized,
  };

  // What a root window asks of its owner. Main thread.
  class Delegate {
   public:
    // The request context for the browser the root window is about to create.
    virtual CefRefPtr<CefRequestContext> GetRequestContext(RootWindow* root_window) = 0;
    virtual void OnTest(RootWindow* root_window, int test_id) = 0;
    virtual void OnExit(RootWindow* root_window) = 0;
    // The window and its browser are both gone; the owner drops its reference.
    virtual void OnRootWindowDestroyed(RootWindow* root_window) = 0;

   protected:
    virtual ~Delegate() {}
  };

  // A new root window (the Windows implementation); never null.
  static scoped_refptr<RootWindow> Create();
  // The root window whose browser has this identifier, null when none. Main thread.
  static scoped_refptr<RootWindow> GetForBrowser(int browser_id);

  // Main thread. The settings record moves into the root window.
  virtual void Init(Delegate* delegate, std::unique_ptr<StartupSettings> settings,
                    const CefBrowserSettings& settings_browser) = 0;
  // CEF's UI thread: a pop-up (developer-tools) root window; fills windowInfo and client for
  // the browser that CEF is about to create.
  virtual void InitAsPopup(Delegate* delegate, bool with_controls, bool with_osr,
                           const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                           CefRefPtr<CefClient>& client, CefBrowserSettings& settings) = 0;

  // The rest: main thread.
  virtual void Show(ShowMode mode) = 0;
  virtual void Hide() = 0;
  virtual void SetBounds(int x, int y, size_t width, size_t height) = 0;
  // Without a native window the process ends (the host's window tree is gone).
  virtual void Close(bool force) = 0;
  virtual void SetDeviceScaleFactor(float device_scale_factor) = 0;
  virtual float GetDeviceScaleFactor() const = 0;
  // Null before the browser exists and after it is gone.
  virtual CefRefPtr<CefBrowser> GetBrowser() const = 0;
  // Null when the root window has no native window.
  virtual HWND GetWindowHandle() const = 0;
  // Does nothing before the browser exists.
  virtual void LoadUrl(const CefString& url) = 0;
  virtual void Mute(bool mute) = 0;
  // Valid while the root window lives.
  virtual const wchar_t* GetViewText() = 0;
  // The web_view_id of the start-up settings; 0 without settings (pop-ups).
  virtual int GetWebViewId() = 0;
  virtual void SetReferrer(const CefString& referrer) = 0;
  virtual void SetWorkArea(int x, int y, int width, int height) = 0;

 protected:
  RootWindow() {}
  virtual ~RootWindow() {}

 private:
  friend struct DeleteOnMainThread;
  friend class base::RefCountedThreadSafe<RootWindow, DeleteOnMainThread>;
};

}  // namespace client
