// The client handler's request callbacks and its resource manager.
#include "browser/client_handler.h"

#include "base/log.h"
#include "include/base/cef_bind.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"

namespace client {

namespace {

// Storage grants above this many bytes are refused.
const int64 kMaxQuotaBytes = 20 * 1024 * 1024;
const char kProtocolHandedToOs[] = "vivodov:";
const char kCrashUrl[] = "chrome://crash";

// The manager's one provider. It serves nothing, so every request goes on to the network or
// the registered schemes; it keeps the manager in place for local content.
class LocalDataProvider : public CefResourceManager::Provider {
 public:
  bool OnRequest(scoped_refptr<CefResourceManager::Request> request) override {
    CEF_REQUIRE_IO_THREAD();
    const std::string url = request->url();
    std::wstring path, mime_type, charset;
    return MapRequestUrl(url, path, mime_type, charset);
  }

  // No URL maps to local content.
  virtual bool MapRequestUrl(const std::string& url, std::wstring& path, std::wstring& mime_type,
                             std::wstring& charset) {
    return false;
  }
};

}  // namespace

bool ClientHandler::IsOsProtocolUrl(const std::string& url) {
  return url.compare(0, sizeof(kProtocolHandedToOs) - 1, kProtocolHandedToOs) == 0;
}

void SetupResourceManager(CefRefPtr<CefResourceManager> manager) {
  if (!CefCurrentlyOn(TID_IO)) {
    CefPostTask(TID_IO, base::Bind(&SetupResourceManager, manager));
    return;
  }
  manager->AddProvider(new LocalDataProvider(), 0, std::string());
}

bool ClientHandler::OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request, bool is_redirect) {
  CEF_REQUIRE_UI_THREAD();
  // Page queries of the frame end with its document.
  if (message_router_)
    message_router_->OnBeforeBrowse(browser, frame);
  return false;
}

bool ClientHandler::OnOpenURLFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                     const CefString& target_url, cef_window_open_disposition_t target_disposition,
                                     bool user_gesture) {
  CEF_REQUIRE_UI_THREAD();
  NotifyOpenUrlFromTab(browser, frame, target_url, target_disposition, user_gesture);
  return false;
}

cef_return_value_t ClientHandler::OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                       CefRefPtr<CefRequest> request,
                                                       CefRefPtr<CefRequestCallback> callback) {
  CEF_REQUIRE_IO_THREAD();
  const std::wstring referrer =
      AskDelegate(std::wstring(), [](Delegate* delegate) { return delegate->GetReferrer(); });
  if (!referrer.empty())
    request->SetReferrer(referrer, REFERRER_POLICY_ALWAYS);  // the enumeration's first value
  return resource_manager_->OnBeforeResourceLoad(browser, frame, request, callback);
}

CefRefPtr<CefResourceHandler> ClientHandler::GetResourceHandler(CefRefPtr<CefBrowser> browser,
                                                                CefRefPtr<CefFrame> frame,
                                                                CefRefPtr<CefRequest> request) {
  CEF_REQUIRE_IO_THREAD();
  return resource_manager_->GetResourceHandler(browser, frame, request);
}

CefRefPtr<CefResponseFilter> ClientHandler::GetResourceResponseFilter(CefRefPtr<CefBrowser> browser,
                                                                      CefRefPtr<CefFrame> frame,
                                                                      CefRefPtr<CefRequest> request,
                                                                      CefRefPtr<CefResponse> response) {
  return nullptr;
}

bool ClientHandler::OnQuotaRequest(CefRefPtr<CefBrowser> browser, const CefString& origin_url, int64 new_size,
                                   CefRefPtr<CefRequestCallback> callback) {
  CEF_REQUIRE_IO_THREAD();
  callback->Continue(new_size <= kMaxQuotaBytes);
  return true;
}

void ClientHandler::OnProtocolExecution(CefRefPtr<CefBrowser> browser, const CefString& url,
                                        bool& allow_os_execution) {
  CEF_REQUIRE_UI_THREAD();
  if (IsOsProtocolUrl(url.ToString()))
    allow_os_execution = true;
}

bool ClientHandler::OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t cert_error,
                                       const CefString& request_url, CefRefPtr<CefSSLInfo> ssl_info,
                                       CefRefPtr<CefRequestCallback> callback) {
  CEF_REQUIRE_UI_THREAD();
  return false;  // cancel the request
}

void ClientHandler::OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, cef_termination_status_t status) {
  CEF_REQUIRE_UI_THREAD();
  if (message_router_)
    message_router_->OnRenderProcessTerminated(browser);
  // A view that starts by crashing its renderer is left in the crashed state.
  if (startup_url_.empty() || startup_url_ == kCrashUrl)
    return;
  // Reload what was shown (not the start URL); a new renderer serves it.
  CefRefPtr<CefFrame> frame = browser->GetMainFrame();
  if (!frame)
    return;
  const std::string url = frame->GetURL().ToString();
  if (url.empty())
    return;
  // A page that crashes its renderer as it loads would be reloaded for ever.
  if (!crash_reload_limit_.TryReload(GetTickCount64())) {
    LogErrorW(L"ClientHandler::OnRenderProcessTerminated %d reloads within %d s already, the view keeps its crash",
              CrashReloadLimit::kMaxReloads, static_cast<int>(CrashReloadLimit::kWindowMs / 1000));
    return;
  }
  frame->LoadURL(url);
}

}  // namespace client
