#include "browser/root_window_manager.h"

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "browser/main_context.h"
#include "browser/main_message_loop.h"
#include "include/base/cef_bind.h"
#include "include/cef_command_line.h"

namespace client {

RootWindowManager::RootWindowManager(bool terminate_when_all_windows_closed)
    : terminate_when_all_windows_closed_(terminate_when_all_windows_closed),
      request_context_per_browser_(false),
      request_context_shared_cache_(false) {
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  if (command_line) {
    request_context_per_browser_ = command_line->HasSwitch("request-context-per-browser");
    request_context_shared_cache_ = command_line->HasSwitch("request-context-shared-cache");
  }
}

RootWindowManager::~RootWindowManager() {}

scoped_refptr<RootWindow> RootWindowManager::CreateRootWindow(std::unique_ptr<StartupSettings> settings) {
  CefBrowserSettings browser_settings;
  MainContext::Get()->PopulateBrowserSettings(&browser_settings);

  scoped_refptr<RootWindow> root_window = RootWindow::Create();
  root_window->Init(this, std::move(settings), browser_settings);
  OnRootWindowCreated(root_window);
  return root_window;
}

scoped_refptr<RootWindow> RootWindowManager::CreateRootWindowAsPopup(bool with_controls, bool with_osr,
                                                                     const CefPopupFeatures& popupFeatures,
                                                                     CefWindowInfo& windowInfo,
                                                                     CefRefPtr<CefClient>& client,
                                                                     CefBrowserSettings& settings) {
  MainContext::Get()->PopulateBrowserSettings(&settings);

  scoped_refptr<RootWindow> root_window = RootWindow::Create();
  root_window->InitAsPopup(this, with_controls, with_osr, popupFeatures, windowInfo, client, settings);
  OnRootWindowCreated(root_window);
  return root_window;
}

scoped_refptr<RootWindow> RootWindowManager::GetRootWindowByWebViewId(int web_view_id) {
  for (const scoped_refptr<RootWindow>& root_window : root_windows_) {
    if (root_window->GetWebViewId() == web_view_id) return root_window;
  }
  return nullptr;
}

int RootWindowManager::GetRootWindowCount() const { return static_cast<int>(root_windows_.size()); }

void RootWindowManager::CloseAllWindows(bool force) {
  if (!MainMessageLoop::Get()->RunsTasksOnCurrentThread()) {
    MainMessageLoop::Get()->PostClosure(
        base::Bind(&RootWindowManager::CloseAllWindows, base::Unretained(this), force));
    return;
  }
  // A forced close destroys a window at once, and its destruction report erases it from the
  // set: walk a copy.
  const std::vector<scoped_refptr<RootWindow>> windows(root_windows_.begin(), root_windows_.end());
  for (const scoped_refptr<RootWindow>& root_window : windows) root_window->Close(force);
}

scoped_refptr<RootWindow> RootWindowManager::GetWindowForBrowser(int browser_id) {
  for (const scoped_refptr<RootWindow>& root_window : root_windows_) {
    CefRefPtr<CefBrowser> browser = root_window->GetBrowser();
    if (browser && browser->GetIdentifier() == browser_id) return root_window;
  }
  return nullptr;
}

void RootWindowManager::OnRootWindowCreated(scoped_refptr<RootWindow> root_window) {
  if (!MainMessageLoop::Get()->RunsTasksOnCurrentThread()) {
    MainMessageLoop::Get()->PostClosure(
        base::Bind(&RootWindowManager::OnRootWindowCreated, base::Unretained(this), root_window));
    return;
  }
  root_windows_.insert(root_window);
}

CefRefPtr<CefRequestContext> RootWindowManager::GetRequestContext(RootWindow* root_window) {
  if (!request_context_per_browser_) {
    // Every browser shares one context drawing on the global one.
    if (!shared_request_context_) {
      shared_request_context_ =
          CefRequestContext::CreateContext(CefRequestContext::GetGlobalContext(), new ClientRequestContextHandler);
    }
    return shared_request_context_;
  }

  CefRequestContextSettings settings;
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  if (command_line && command_line->HasSwitch("cache-path")) {
    if (request_context_shared_cache_) {
      CefString(&settings.cache_path) = command_line->GetSwitchValue("cache-path");
    } else {
      // The creation second keeps per-browser caches apart.
      const std::string path = command_line->GetSwitchValue("cache-path").ToString() +
                               std::to_string(static_cast<long long>(time(nullptr)));
      CefString(&settings.cache_path) = path;
    }
  }
  return CefRequestContext::CreateContext(settings, new ClientRequestContextHandler);
}

void RootWindowManager::OnTest(RootWindow* root_window, int test_id) {}

void RootWindowManager::OnExit(RootWindow* root_window) {
  LogInfoW(L"RootWindowManager::OnExit: %p", root_window);
  CloseAllWindows(false);
}

void RootWindowManager::OnRootWindowDestroyed(RootWindow* root_window) {
  // Erasing drops the set's reference; on the main thread that may delete the window now.
  RootWindowSet::iterator it = root_windows_.find(root_window);
  if (it != root_windows_.end()) root_windows_.erase(it);

  if (terminate_when_all_windows_closed_ && root_windows_.empty()) MainMessageLoop::Get()->Quit();
}

bool ClientRequestContextHandler::OnBeforePluginLoad(const CefString& mime_type, const CefString& plugin_url,
                                                     const CefString& top_origin_url,
                                                     CefRefPtr<CefWebPluginInfo> plugin_info,
                                                     PluginPolicy* plugin_policy) {
  if (*plugin_policy != PLUGIN_POLICY_ALLOW && mime_type.ToString() == "application/pdf") {
    *plugin_policy = PLUGIN_POLICY_ALLOW;
    return true;
  }
  return false;
}

}  // namespace client
