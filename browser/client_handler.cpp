#include "browser/client_handler.h"

#include <cwchar>
#include <utility>

#include "base/log.h"
#include "browser/browser_async_handler.h"
#include "browser/main_context.h"
#include "browser/main_message_loop.h"
#include "browser/root_window_manager.h"
#include "include/base/cef_bind.h"
#include "include/cef_command_line.h"
#include "include/wrapper/cef_helpers.h"

namespace client {

namespace {

const wchar_t kDevToolsScheme[] = L"chrome-devtools://";
const size_t kDevToolsSchemeLength = sizeof(kDevToolsScheme) / sizeof(kDevToolsScheme[0]) - 1;

}  // namespace

ClientHandler::ClientHandler(Delegate* delegate, bool is_osr, const std::string& startup_url)
    : is_osr_(is_osr), startup_url_(startup_url), delegate_(delegate) {
  resource_manager_ = new CefResourceManager();
  SetupResourceManager(resource_manager_);
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  mouse_cursor_change_disabled_ = command_line && command_line->HasSwitch("mouse-cursor-change-disabled");
}

ClientHandler::~ClientHandler() {
  tooltip_text_.clear();
  // Handlers still in the set belong to a router that outlived its browsers; they are not
  // deleted here. The resource manager destroys itself on the IO thread.
  message_handler_set_.clear();
  resource_manager_ = nullptr;
  message_router_ = nullptr;
}

template <typename... Params, typename... Args>
bool ClientHandler::PostToMainThread(void (ClientHandler::*method)(Params...), Args&&... args) {
  if (CurrentlyOnMainThread())
    return false;
  // The bound call holds a reference to the handler and copies of the arguments until it ran.
  MainMessageLoop::Get()->PostClosure(base::Bind(method, this, std::forward<Args>(args)...));
  return true;
}

void ClientHandler::DetachDelegate() {
  if (PostToMainThread(&ClientHandler::DetachDelegate))
    return;
  std::unique_lock<std::mutex> hold(delegate_lock_);
  delegate_ = nullptr;
  // The caller may destroy the delegate next.
  delegate_idle_.wait(hold, [this] { return delegate_calls_ == 0; });
}

void ClientHandler::EndDelegateCall() {
  std::lock_guard<std::mutex> hold(delegate_lock_);
  if (--delegate_calls_ == 0)
    delegate_idle_.notify_all();
}

void ClientHandler::NotifyBrowserCreated(CefRefPtr<CefBrowser> browser) {
  if (PostToMainThread(&ClientHandler::NotifyBrowserCreated, browser))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnBrowserCreated(browser);
}

void ClientHandler::NotifyBrowserClosing(CefRefPtr<CefBrowser> browser) {
  if (PostToMainThread(&ClientHandler::NotifyBrowserClosing, browser))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnBrowserClosing(browser);
}

void ClientHandler::NotifyBrowserClosed(CefRefPtr<CefBrowser> browser) {
  if (PostToMainThread(&ClientHandler::NotifyBrowserClosed, browser))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnBrowserClosed(browser);
}

void ClientHandler::NotifyAddress(const CefString& url) {
  if (PostToMainThread(&ClientHandler::NotifyAddress, url))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnSetAddress(url.ToString());
}

void ClientHandler::NotifyTitle(const CefString& title) {
  if (PostToMainThread(&ClientHandler::NotifyTitle, title))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnSetTitle(title.ToString());
}

void ClientHandler::NotifyFullscreen(bool fullscreen) {
  if (PostToMainThread(&ClientHandler::NotifyFullscreen, fullscreen))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnSetFullscreen(fullscreen);
}

void ClientHandler::NotifyLoadingState(bool isLoading, bool canGoBack, bool canGoForward) {
  if (PostToMainThread(&ClientHandler::NotifyLoadingState, isLoading, canGoBack, canGoForward))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnSetLoadingState(isLoading, canGoBack, canGoForward);
}

void ClientHandler::NotifyLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) {
  if (PostToMainThread(&ClientHandler::NotifyLoadStart, browser, frame))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnLoadStart(browser, frame);
}

void ClientHandler::NotifyLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) {
  if (PostToMainThread(&ClientHandler::NotifyLoadEnd, browser, frame, httpStatusCode))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnLoadEnd(browser, frame, httpStatusCode);
}

void ClientHandler::NotifyLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                    cef_errorcode_t errorCode, const CefString& errorText,
                                    const CefString& failedUrl) {
  if (PostToMainThread(&ClientHandler::NotifyLoadError, browser, frame, errorCode, errorText, failedUrl))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnLoadError(browser, frame, errorCode, errorText, failedUrl);
}

void ClientHandler::NotifyOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                         const CefString& targetUrl, cef_window_open_disposition_t disposition,
                                         bool userGesture) {
  if (PostToMainThread(&ClientHandler::NotifyOpenUrlFromTab, browser, frame, targetUrl, disposition, userGesture))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnOpenUrlFromTab(browser, frame, targetUrl, disposition, userGesture);
}

void ClientHandler::NotifyBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                      const CefString& targetUrl, cef_window_open_disposition_t disposition,
                                      bool userGesture) {
  LogInfoW(L"ClientHandler::NotifyBeforePopup");
  if (PostToMainThread(&ClientHandler::NotifyBeforePopup, browser, frame, targetUrl, disposition, userGesture))
    return;
  if (Delegate* delegate = delegate_)
    delegate->OnBeforePopup(browser, frame, targetUrl, disposition, userGesture);
}

void ClientHandler::NotifyDraggableRegions(const std::vector<CefDraggableRegion>& regions) {
  // The view has no use for draggable regions: they travel to the main thread and end there.
  PostToMainThread(&ClientHandler::NotifyDraggableRegions, regions);
}

bool ClientHandler::CreatePopupWindow(CefRefPtr<CefBrowser> browser, bool is_devtools,
                                      const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                                      CefRefPtr<CefClient>& client, CefBrowserSettings& settings) {
  MainContext* context = MainContext::Get();
  if (RootWindowManager* manager = context ? context->GetRootWindowManager() : nullptr) {
    // The manager keeps the new root window; its reference is not needed here.
    manager->CreateRootWindowAsPopup(!is_devtools, is_osr_, popupFeatures, windowInfo, client, settings);
  }
  return true;
}

void ClientHandler::CloseDevToolsOf(CefRefPtr<CefBrowser> browser) {
  browser->GetHost()->CloseDevTools();
}

bool ClientHandler::OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                  const CefString& target_url, const CefString& target_frame_name,
                                  cef_window_open_disposition_t target_disposition, bool user_gesture,
                                  const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                                  CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                                  bool* no_javascript_access) {
  CEF_REQUIRE_UI_THREAD();
  LogInfoW(L"ClientHandler::OnBeforePopup");
  if (target_url.empty()) {
    const std::wstring frame_name = frame ? frame->GetName().ToWString() : std::wstring();
    LogErrorW(L"open url null: frame:%s", frame_name.c_str());
    return true;
  }
  const std::wstring url = target_url.ToWString();
  if (url.size() >= kDevToolsSchemeLength && _wcsnicmp(url.c_str(), kDevToolsScheme, kDevToolsSchemeLength) == 0) {
    // Developer-tools pages may open: the engine creates them in the pop-up root window.
    return !CreatePopupWindow(browser, false, popupFeatures, windowInfo, client, settings);
  }
  // Every other pop-up is the view's to decide (the root window reports a new window).
  *no_javascript_access = false;
  NotifyBeforePopup(browser, frame, target_url, target_disposition, user_gesture);
  return true;
}

void ClientHandler::OnAfterCreated(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  ++browser_count_;
  if (!message_router_) {
    CefMessageRouterConfig config;
    message_router_ = CefMessageRouterBrowserSide::Create(config);
    browser_aysnc_handler::CreateMessageHandlers(message_handler_set_);
    for (CefMessageRouterBrowserSide::Handler* handler : message_handler_set_)
      message_router_->AddHandler(handler, false);
  }
  if (mouse_cursor_change_disabled_)
    browser->GetHost()->SetMouseCursorChangeDisabled(true);
  NotifyBrowserCreated(browser);
}

bool ClientHandler::DoClose(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  NotifyBrowserClosing(browser);
  // Without a delegate the close counts as the view's own.
  if (!AskDelegate(true, [&](Delegate* delegate) { return delegate->OnBrowserDoClose(browser); }))
    return true;  // not the view's own close: the browser stays
  // The engine's close message goes to the browser window's top-level window. Making the
  // browser window a hidden top-level pop-up first keeps that message away from the host
  // application's window tree.
  if (HWND window = browser->GetHost()->GetWindowHandle()) {
    ShowWindow(window, SW_HIDE);
    SetParent(window, nullptr);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    SetWindowLongW(window, GWL_STYLE, static_cast<LONG>((static_cast<DWORD>(style) & 0x3FFFFFFFu) | WS_POPUP));
  }
  return false;
}

void ClientHandler::OnBeforeClose(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  if (--browser_count_ == 0) {
    for (CefMessageRouterBrowserSide::Handler* handler : message_handler_set_) {
      message_router_->RemoveHandler(handler);
      delete handler;
    }
    message_handler_set_.clear();
    message_router_ = nullptr;
  }
  NotifyBrowserClosed(browser);
}

}  // namespace client
