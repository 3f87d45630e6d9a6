// The engine client of one browser: it hears every callback of its browser, fixes the engine's
// behaviour where this system decides (pop-ups, closing, load errors, requests, menus, keys,
// permissions), relays the renderer's script-bridge messages to the host, and reports what the
// view must know to its delegate (the browser window), always on the main thread.
//
// Threads: the engine calls the handler on its UI thread, except the request callbacks marked
// "IO" below. Delegate slots 0 to 11 are called on the main thread (the handler re-posts them
// there); slots 12 to 15 are called directly on the engine thread that needs the answer.
//
// The class is abstract: ClientHandlerStd (windowed browsers) and ClientHandlerOsr (windowless
// browsers) supply the reference count.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "browser/crash_reload_limit.h"
#include "browser/host_protocol.h"
#include "include/cef_client.h"
#include "include/wrapper/cef_message_router.h"
#include "include/wrapper/cef_resource_manager.h"

namespace client {

class RelayedArguments;

class ClientHandler : public CefClient,
                      public CefContextMenuHandler,
                      public CefDisplayHandler,
                      public CefDownloadHandler,
                      public CefDragHandler,
                      public CefGeolocationHandler,
                      public CefKeyboardHandler,
                      public CefLifeSpanHandler,
                      public CefLoadHandler,
                      public CefJSDialogHandler,
                      public CefRequestHandler {
 public:
  // What the handler reports to the view. Not owned by the handler; it must outlive the
  // handler's use of it, which ends with DetachDelegate.
  class Delegate {
   public:
    // Main thread.
    virtual void OnBrowserCreated(CefRefPtr<CefBrowser> browser) = 0;
    virtual void OnBrowserClosing(CefRefPtr<CefBrowser> browser) = 0;
    virtual void OnBrowserClosed(CefRefPtr<CefBrowser> browser) = 0;
    virtual void OnSetAddress(const std::string& url) = 0;    // UTF-8, main frame only
    virtual void OnSetTitle(const std::string& title) = 0;    // UTF-8
    virtual void OnSetFullscreen(bool fullscreen) = 0;
    virtual void OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) = 0;
    virtual void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) = 0;
    virtual void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) = 0;
    virtual void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                             cef_errorcode_t errorCode, const CefString& errorText,
                             const CefString& failedUrl) = 0;
    virtual void OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                  const CefString& targetUrl, cef_window_open_disposition_t disposition,
                                  bool userGesture) = 0;
    virtual void OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                               const CefString& targetUrl, cef_window_open_disposition_t disposition,
                               bool userGesture) = 0;
    // Engine UI thread: true when the view itself asked for this close.
    virtual bool OnBrowserDoClose(CefRefPtr<CefBrowser> browser) = 0;
    // Engine UI thread: the window that position requests of the page move.
    virtual HWND GetParentWindowHandle() = 0;
    // Any thread: the view id that addresses the view's host events.
    virtual int32 GetWebViewId() = 0;
    // Engine IO thread, for every request: a copy, so the main thread may replace the
    // referrer meanwhile.
    virtual std::wstring GetReferrer() = 0;
    // Any thread; copies for the same reason.
    virtual bool HasWorkArea() = 0;
    virtual CefRect GetWorkArea() = 0;

    virtual ~Delegate() {}
  };

  // The router's handlers; the handler owns them and deletes them with the router.
  typedef std::set<CefMessageRouterBrowserSide::Handler*> MessageHandlerSet;

  // Main thread: empties the delegate, and returns once no engine thread is in a call of it
  // any more, so the delegate may be destroyed then; elsewhere posts itself to the main
  // thread. No event reaches a delegate afterwards (events already posted are dropped when
  // they run).
  void DetachDelegate();

  // Engine UI thread: asks the root-window manager for a pop-up root window (without
  // controls for developer tools), which fills windowInfo, client and settings of the new
  // browser. Always true; without a manager (none yet, or none any more) nothing is filled.
  bool CreatePopupWindow(CefRefPtr<CefBrowser> browser, bool is_devtools, const CefPopupFeatures& popupFeatures,
                         CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client, CefBrowserSettings& settings);

  // Engine UI thread: opens the developer tools of the browser in a pop-up root window.
  void ShowDevTools(CefRefPtr<CefBrowser> browser, const CefPoint& inspect_element_at);
  // Engine UI thread.
  void CloseDevToolsOf(CefRefPtr<CefBrowser> browser);

  // Engine UI thread: browsers created and not yet closed.
  int32 GetBrowserCount() const { return browser_count_; }
  // The view's start URL (UTF-8) as the browser window gave it.
  const std::string& startup_url() const { return startup_url_; }
  // Engine UI thread: what the renderer last said about the focused node.
  bool focus_on_editable_field() const { return focus_on_editable_field_; }

  // The most a renderer message relayed to the host or the off-screen window may carry: its
  // arguments as the host event holds them (4 bytes and 2 per UTF-16 unit for a text, 8 for a
  // number). Larger ones are dropped with an ERROR line.
  static constexpr size_t kMaxRelayedArgumentBytes = 4 * 1024 * 1024;

  // CefClient
  CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefDownloadHandler> GetDownloadHandler() override { return this; }
  CefRefPtr<CefDragHandler> GetDragHandler() override { return this; }
  CefRefPtr<CefGeolocationHandler> GetGeolocationHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefKeyboardHandler> GetKeyboardHandler() override { return this; }
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override;

  // CefContextMenuHandler
  void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                           CefRefPtr<CefContextMenuParams> params, CefRefPtr<CefMenuModel> model) override;
  bool OnContextMenuCommand(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefContextMenuParams> params, int command_id,
                            cef_event_flags_t event_flags) override;

  // CefDisplayHandler
  void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& url) override;
  void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) override;
  void OnFullscreenModeChange(CefRefPtr<CefBrowser> browser, bool fullscreen) override;
  bool OnTooltip(CefRefPtr<CefBrowser> browser, CefString& text) override;
  bool OnConsoleMessage(CefRefPtr<CefBrowser> browser, const CefString& message, const CefString& source,
                        int line) override;

  // CefDownloadHandler
  void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                        const CefString& suggested_name, CefRefPtr<CefBeforeDownloadCallback> callback) override;
  void OnDownloadUpdated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                         CefRefPtr<CefDownloadItemCallback> callback) override;

  // CefDragHandler
  bool OnDragEnter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> dragData,
                   cef_drag_operations_mask_t mask) override;
  void OnDraggableRegionsChanged(CefRefPtr<CefBrowser> browser,
                                 const std::vector<CefDraggableRegion>& regions) override;

  // CefGeolocationHandler
  bool OnRequestGeolocationPermission(CefRefPtr<CefBrowser> browser, const CefString& requesting_url, int request_id,
                                      CefRefPtr<CefGeolocationCallback> callback) override;

  // CefKeyboardHandler
  bool OnPreKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event,
                     bool* is_keyboard_shortcut) override;

  // CefLifeSpanHandler
  bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                     const CefString& target_frame_name, cef_window_open_disposition_t target_disposition,
                     bool user_gesture, const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                     CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                     bool* no_javascript_access) override;
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
  bool DoClose(CefRefPtr<CefBrowser> browser) override;
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

  // CefLoadHandler
  void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack,
                            bool canGoForward) override;
  void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override;
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override;
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                   const CefString& errorText, const CefString& failedUrl) override;

  // CefJSDialogHandler
  bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString& message_text, bool is_reload,
                            CefRefPtr<CefJSDialogCallback> callback) override;

  // CefRequestHandler (UI unless marked IO)
  bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                      bool is_redirect) override;
  bool OnOpenURLFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                        cef_window_open_disposition_t target_disposition, bool user_gesture) override;
  // IO
  cef_return_value_t OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request, CefRefPtr<CefRequestCallback> callback) override;
  // IO
  CefRefPtr<CefResourceHandler> GetResourceHandler(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                   CefRefPtr<CefRequest> request) override;
  // IO
  CefRefPtr<CefResponseFilter> GetResourceResponseFilter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                         CefRefPtr<CefRequest> request,
                                                         CefRefPtr<CefResponse> response) override;
  // IO
  bool OnQuotaRequest(CefRefPtr<CefBrowser> browser, const CefString& origin_url, int64 new_size,
                      CefRefPtr<CefRequestCallback> callback) override;
  void OnProtocolExecution(CefRefPtr<CefBrowser> browser, const CefString& url, bool& allow_os_execution) override;
  bool OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t cert_error, const CefString& request_url,
                          CefRefPtr<CefSSLInfo> ssl_info, CefRefPtr<CefRequestCallback> callback) override;
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, cef_termination_status_t status) override;

 protected:
  // Main thread. delegate may be null (every event is then dropped).
  ClientHandler(Delegate* delegate, bool is_osr, const std::string& startup_url);
  ~ClientHandler() override;

  // Engine UI thread; null before the first browser is created and after the last one closed.
  CefRefPtr<CefMessageRouterBrowserSide> message_router() const { return message_router_; }

 private:
  // Posts the bound call to the main thread and answers true when not already there.
  template <typename... Params, typename... Args>
  bool PostToMainThread(void (ClientHandler::*method)(Params...), Args&&... args);

  // Engine threads: what `ask`(delegate) answers, or `fallback` without a delegate. The
  // delegate is held meanwhile: DetachDelegate waits until the call has returned. `ask` must
  // not wait for the main thread.
  template <typename Result, typename Ask>
  Result AskDelegate(Result fallback, Ask ask);
  void EndDelegateCall();

  void NotifyBrowserCreated(CefRefPtr<CefBrowser> browser);
  void NotifyBrowserClosing(CefRefPtr<CefBrowser> browser);
  void NotifyBrowserClosed(CefRefPtr<CefBrowser> browser);
  void NotifyAddress(const CefString& url);
  void NotifyTitle(const CefString& title);
  void NotifyFullscreen(bool fullscreen);
  void NotifyLoadingState(bool isLoading, bool canGoBack, bool canGoForward);
  void NotifyLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame);
  void NotifyLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode);
  void NotifyLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                       const CefString& errorText, const CefString& failedUrl);
  void NotifyOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                            cef_window_open_disposition_t disposition, bool userGesture);
  void NotifyBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                         cef_window_open_disposition_t disposition, bool userGesture);
  void NotifyDraggableRegions(const std::vector<CefDraggableRegion>& regions);

  // True for URLs of the scheme that is handed to the operating system (UTF-8, letter case
  // counts).
  static bool IsOsProtocolUrl(const std::string& url);

  // Script-bridge messages of the renderer (OnProcessMessageReceived): `name` is one of the
  // four that are relayed. False when the message carries more than kMaxRelayedArgumentBytes
  // (nothing relayed); running out of memory raises std::bad_alloc.
  bool Relay(const std::string& name, CefRefPtr<CefBrowser> browser, CefProcessId source_process, uint32_t view,
             CefRefPtr<CefListValue> args);
  bool RelayDragAreas(CefRefPtr<CefBrowser> browser, CefProcessId source_process, RelayedArguments* read);
  bool RelayBrowserPosition(uint32_t view, RelayedArguments* read);
  // Queues the event that `write` fills for the host, its buffer sized once for what `read`
  // counted; a logged failure when memory runs out.
  template <typename Write>
  void SendHostEvent(const std::string& name, uint32_t view, HostEvent code, const RelayedArguments& read,
                     Write write);

  const bool is_osr_;
  const std::string startup_url_;
  bool mouse_cursor_change_disabled_ = false;
  CefRefPtr<CefMessageRouterBrowserSide> message_router_;
  CefRefPtr<CefResourceManager> resource_manager_;
  // Written only on the main thread, under delegate_lock_; read there freely and on engine
  // threads through AskDelegate.
  Delegate* delegate_;
  std::mutex delegate_lock_;
  // Engine-thread calls of the delegate in progress (under delegate_lock_); DetachDelegate
  // waits on delegate_idle_ until there are none.
  int delegate_calls_ = 0;
  std::condition_variable delegate_idle_;
  int32 browser_count_ = 0;
  bool focus_on_editable_field_ = false;
  MessageHandlerSet message_handler_set_;
  // Reloads after renderer crashes (engine UI thread).
  CrashReloadLimit crash_reload_limit_;
  CefString tooltip_text_;
  HWND tooltip_hwnd_ = nullptr;
  TOOLINFOW tooltip_info_ = {};
};

template <typename Result, typename Ask>
Result ClientHandler::AskDelegate(Result fallback, Ask ask) {
  Delegate* delegate = nullptr;
  {
    std::lock_guard<std::mutex> hold(delegate_lock_);
    delegate = delegate_;
    if (!delegate)
      return fallback;
    ++delegate_calls_;
  }
  struct CallEnd {
    ClientHandler* handler;
    ~CallEnd() { handler->EndDelegateCall(); }
  } end{this};
  return ask(delegate);
}

// Adds the handler's one resource provider, which declines every request, to manager. From
// any thread; the provider is added on the engine's IO thread.
void SetupResourceManager(CefRefPtr<CefResourceManager> manager);

// Makes info that of a top-level pop-up browser window (overlapped, visible, at the system's
// default place, 1280 x 720) owned by parent (may be null) and titled name.
void FillPopupWindowInfo(CefWindowInfo& info, HWND parent, const char* name);

// The text that OnConsoleMessage hands to the debugger, e.g.
// "Message: m\r\nSource: s\r\nLine: 0\r\n-----------------------\r\n".
std::string FormatConsoleMessage(const std::string& message, const std::string& source, int line);

}  // namespace client
