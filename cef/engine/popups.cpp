// New windows a page asks for (popups, links into another tab) and DevTools browsers.
#include "engine/browser_impl.h"
#include "engine/frame_impl.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/navigation.h"
#include "engine/utf.h"

namespace cefengine {

namespace {

const wchar_t kDevToolsUrl[] = L"chrome-devtools://devtools/devtools.html";

}  // namespace

CefRefPtr<BrowserImpl> OpenPopup(BrowserImpl* opener, CefRefPtr<FrameImpl> frame, const PopupRequest& request) {
  if (opener->IsClosing() || opener->IsDestroyed())
    return nullptr;
  CefRefPtr<BrowserImpl> keep(opener);
  // What the popup gets unless OnBeforePopup changes it: a top-level window, the opener's client and settings.
  CefWindowInfo window_info;
  window_info.SetAsPopup(nullptr, CefString());
  if (request.features.xSet)
    window_info.x = request.features.x;
  if (request.features.ySet)
    window_info.y = request.features.y;
  if (request.features.widthSet)
    window_info.width = request.features.width;
  if (request.features.heightSet)
    window_info.height = request.features.height;
  CefRefPtr<CefClient> client = opener->client();
  CefBrowserSettings settings = opener->settings();
  bool no_javascript_access = false;

  int64 frame_id = frame ? frame->id() : 0;
  opener->Record("OnBeforePopup", frame_id,
                 {WideToUtf8(request.url), WideToUtf8(request.frame_name), std::to_string(request.disposition),
                  FlagText(request.user_gesture)});
  bool cancel = false;
  if (CefRefPtr<CefClient> opener_client = opener->client()) {
    if (CefRefPtr<CefLifeSpanHandler> handler = opener_client->GetLifeSpanHandler())
      cancel = handler->OnBeforePopup(opener, frame.get(), request.url, request.frame_name, request.disposition,
                                      request.user_gesture, request.features, window_info, client, settings,
                                      &no_javascript_access);
  }
  if (cancel) {
    opener->Record("PopupCancelled", frame_id, {WideToUtf8(request.url)});
    return nullptr;
  }
  if (opener->IsClosing() || opener->IsDestroyed())
    return nullptr;
  CreationExtras how;
  how.is_popup = true;
  how.opener = opener;
  return BrowserImpl::CreateOnUI(window_info, client, request.url, settings, opener->GetRequestContext(), how);
}

void OpenUrlFromTab(BrowserImpl* browser, CefRefPtr<FrameImpl> frame, const std::wstring& url,
                    cef_window_open_disposition_t disposition, bool user_gesture) {
  if (browser->IsClosing() || browser->IsDestroyed())
    return;
  CefRefPtr<BrowserImpl> keep(browser);
  int64 frame_id = frame ? frame->id() : 0;
  browser->Record("OnOpenURLFromTab", frame_id,
                  {WideToUtf8(url), std::to_string(disposition), FlagText(user_gesture)});
  bool cancel = false;
  if (CefRefPtr<CefClient> client = browser->client()) {
    if (CefRefPtr<CefRequestHandler> handler = client->GetRequestHandler())
      cancel = handler->OnOpenURLFromTab(browser, frame.get(), url, disposition, user_gesture);
  }
  if (cancel || browser->IsClosing() || browser->IsDestroyed())
    return;
  NavigationRequest request;
  request.url = url;
  request.renderer_initiated = true;
  Navigate(browser, request);
}

void BrowserImpl::ShowDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                               const CefBrowserSettings& settings, const CefPoint& inspect_element_at) {
  Record("ShowDevTools", 0, {std::to_string(inspect_element_at.x), std::to_string(inspect_element_at.y)});
  CefWindowInfo info(windowInfo);
  CefBrowserSettings copied(settings);
  OnUI([this, info, client, copied]() { ShowDevToolsOnUI(info, client, copied); });
}

void BrowserImpl::ShowDevToolsOnUI(const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                                   const CefBrowserSettings& settings) {
  if (IsClosing())
    return;
  if (devtools_ && !devtools_->IsClosing()) {
    // One DevTools browser per inspected browser: a second request brings it forward.
    devtools_->Record("DevToolsFocused");
    if (HWND window = devtools_->hwnd()) {
      SetForegroundWindow(GetAncestor(window, GA_ROOT));
      ::SetFocus(window);
    }
    return;
  }
  CreationExtras how;
  how.is_popup = true;
  how.is_devtools = true;
  how.opener = this;
  CefRefPtr<BrowserImpl> devtools =
      CreateOnUI(window_info, client, kDevToolsUrl, settings, GetRequestContext(), how);
  // The new browser may have closed itself from OnAfterCreated already.
  if (devtools && !devtools->IsDestroyed())
    devtools_ = devtools;
}

void BrowserImpl::CloseDevTools() {
  Record("CloseDevTools");
  OnUI([this]() {
    if (CefRefPtr<BrowserImpl> devtools = devtools_)
      devtools->StartClose(true, false);
  });
}

}  // namespace cefengine
