// Owner of every root window of the browser process: creates them, finds them for the
// host-command dispatcher, closes them all on quit and ends the main message loop when the
// last one is gone. Also the root windows' delegate (request contexts, destruction).
//
// Threads: created and deleted on the main thread, after CEF started and before it shuts
// down. The set of root windows is touched only on the main thread; the calls marked "any
// thread" carry themselves there through the main message loop.
#pragma once

#include <functional>
#include <memory>
#include <set>

#include "browser/root_window.h"
#include "browser/temp_window_win.h"
#include "channel/startup_settings.h"
#include "include/cef_request_context.h"
#include "include/cef_request_context_handler.h"

namespace client {

class RootWindowManager : public RootWindow::Delegate {
 public:
  // Quits the main message loop when the last root window is gone and the flag is set.
  explicit RootWindowManager(bool terminate_when_all_windows_closed);
  virtual ~RootWindowManager();
  RootWindowManager(const RootWindowManager&) = delete;
  RootWindowManager& operator=(const RootWindowManager&) = delete;

  // Main thread. The record moves into the new root window, which the manager keeps; the
  // caller may drop the returned reference at once.
  scoped_refptr<RootWindow> CreateRootWindow(std::unique_ptr<StartupSettings> settings);
  // CEF's UI thread: a root window for a developer-tools browser, which fills windowInfo and
  // client; it joins the manager's set later, on the main thread.
  scoped_refptr<RootWindow> CreateRootWindowAsPopup(bool with_controls, bool with_osr,
                                                    const CefPopupFeatures& popupFeatures,
                                                    CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                                                    CefBrowserSettings& settings);

  // Main thread. The first root window, in address order, whose web view id equals
  // web_view_id (pop-ups have 0); null when none.
  scoped_refptr<RootWindow> GetRootWindowByWebViewId(int web_view_id);
  // Main thread.
  int GetRootWindowCount() const;
  // Any thread: Close(force) on every root window, on the main thread. The windows leave
  // the set later, as each reports its destruction.
  void CloseAllWindows(bool force);
  // Main thread. The root window whose browser has this identifier; null when none.
  scoped_refptr<RootWindow> GetWindowForBrowser(int browser_id);

 private:
  // Ordered by address; lookups by bare pointer take no reference.
  struct AddressOrder {
    typedef void is_transparent;
    static RootWindow* Address(const scoped_refptr<RootWindow>& window) { return window.get(); }
    static RootWindow* Address(RootWindow* window) { return window; }
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return std::less<RootWindow*>()(Address(a), Address(b));
    }
  };
  typedef std::set<scoped_refptr<RootWindow>, AddressOrder> RootWindowSet;

  // Any thread: adds the root window to the set on the main thread.
  void OnRootWindowCreated(scoped_refptr<RootWindow> root_window);

  // RootWindow::Delegate (main thread).
  CefRefPtr<CefRequestContext> GetRequestContext(RootWindow* root_window) override;
  void OnTest(RootWindow* root_window, int test_id) override;
  void OnExit(RootWindow* root_window) override;
  void OnRootWindowDestroyed(RootWindow* root_window) override;

  const bool terminate_when_all_windows_closed_;
  bool request_context_per_browser_;
  bool request_context_shared_cache_;
  RootWindowSet root_windows_;
  TempWindowWin temp_window_;
  CefRefPtr<CefRequestContext> shared_request_context_;
};

// The request-context handler of every context the manager creates: lets the built-in PDF
// viewer load where the engine would block it. Any CEF thread; no state.
class ClientRequestContextHandler : public CefRequestContextHandler {
 public:
  ClientRequestContextHandler() {}

  bool OnBeforePluginLoad(const CefString& mime_type, const CefString& plugin_url,
                          const CefString& top_origin_url, CefRefPtr<CefWebPluginInfo> plugin_info,
                          PluginPolicy* plugin_policy) override;

 private:
  IMPLEMENT_REFCOUNTING(ClientRequestContextHandler);
};

}  // namespace client
