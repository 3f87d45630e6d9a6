// A root window stand-in for the manager and dispatcher tests: it records every operation
// (with the thread it came on), owns a hidden native window of the main thread and, when asked,
// a real windowed browser of the CEF layer inside it. This test executable's
// client::RootWindow::Create makes one of these.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "browser/root_window.h"
#include "include/cef_client.h"

namespace fake {

// What the next root windows made by client::RootWindow::Create do.
struct Options {
  bool create_window = true;   // a hidden top-level window of the main thread
  bool create_browser = true;  // a browser in it (needs the window)
  // Close(true) reports the destruction at once, as a forced close of a real window does.
  bool report_destroyed_on_force_close = true;
};
Options& NextOptions();

class FakeRootWindow : public client::RootWindow {
 public:
  FakeRootWindow();

  // Every fake created since the last Reset, in creation order (kept alive by this list).
  static std::vector<scoped_refptr<FakeRootWindow>> All();
  // Forgets the list (after the test's CEF has shut down).
  static void Reset();
  // The operations of every fake, in call order: "<view id>:<Operation>(<args>)".
  static std::vector<std::string> Calls();
  static void ClearCalls();
  static int Destroyed();

  // RootWindow
  void Init(Delegate* delegate, std::unique_ptr<StartupSettings> settings,
            const CefBrowserSettings& settings_browser) override;
  void InitAsPopup(Delegate* delegate, bool with_controls, bool with_osr, const CefPopupFeatures& popupFeatures,
                   CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client, CefBrowserSettings& settings) override;
  void Show(ShowMode mode) override;
  void Hide() override;
  void SetBounds(int x, int y, size_t width, size_t height) override;
  void Close(bool force) override;
  void SetDeviceScaleFactor(float device_scale_factor) override;
  float GetDeviceScaleFactor() const override { return 1.0f; }
  CefRefPtr<CefBrowser> GetBrowser() const override;
  HWND GetWindowHandle() const override { return hwnd_; }
  void LoadUrl(const CefString& url) override;
  void Mute(bool mute) override;
  const wchar_t* GetViewText() override { return L"fake"; }
  int GetWebViewId() override { return settings_ ? settings_->web_view_id : 0; }
  void SetReferrer(const CefString& referrer) override;
  void SetWorkArea(int x, int y, int width, int height) override;

  // For the tests.
  void SetBrowser(CefRefPtr<CefBrowser> browser);
  // Waits (pumping) until the browser exists.
  bool WaitForBrowser();
  Delegate* delegate() const { return delegate_; }
  const StartupSettings* settings() const { return settings_.get(); }
  const CefBrowserSettings& browser_settings() const { return browser_settings_; }
  bool init_on_main_thread() const { return init_on_main_thread_; }
  // Destroys the native window behind the root window's back (the handle stays stale).
  void DestroyNativeWindow();

 protected:
  ~FakeRootWindow() override;

 private:
  void Record(const std::string& call);

  Delegate* delegate_ = nullptr;
  std::unique_ptr<StartupSettings> settings_;
  CefBrowserSettings browser_settings_;
  Options options_;
  HWND hwnd_ = nullptr;
  bool init_on_main_thread_ = false;
  mutable std::mutex mutex_;
  CefRefPtr<CefBrowser> browser_;
};

}  // namespace fake
