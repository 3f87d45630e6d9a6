// The browser-process browser: one BrowserImpl per browser is both its CefBrowser and its CefBrowserHost, and one
// FrameImpl per frame (engine/frame_impl.h). All state changes happen on the UI thread; the public methods may be
// called on any thread and hop to UI themselves. Client callbacks are never made while an engine lock is held.
//
// Life of a browser (UI):
//   CreateBrowserOnUI -> OnAfterCreated -> navigations ... -> close flow (engine/close_flow.cpp)
//   -> DestroyNow (windowless) or window destroyed (windowed) -> OnBeforeClose -> removed from the registry.
// After OnBeforeClose, IsDestroyed() is true and nothing more reaches the client for that browser; queued work for it
// checks IsDestroyed() and drops itself.
//
// Other engine areas plug into a browser through BrowserExtras (painting, input, dialogs, cursor, ...): install one
// with SetBrowserExtras() before browsers are created. The engine calls it on UI unless noted.
#ifndef CEF_ENGINE_BROWSER_IMPL_H_
#define CEF_ENGINE_BROWSER_IMPL_H_

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/channel_frame.h"
#include "engine/document_model.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"

namespace cefengine {

class BrowserImpl;
class FrameImpl;
class Navigation;
class RendererRelay;

// Hooks for the parts of a browser that live in other engine files. Every default does nothing beyond what is
// documented; an implementation overrides what it needs. Calls arrive on UI, never under an engine lock.
class BrowserExtras {
 public:
  virtual ~BrowserExtras() = default;

  // The browser exists and OnAfterCreated returned.
  virtual void OnBrowserCreated(BrowserImpl* browser) {}
  // A document committed in `frame` (main or sub-frame) and the client heard OnLoadStart (and, for the main frame,
  // OnTitleChange); `document` is its scan, valid during the call. Windowless browsers paint here; draggable regions
  // and plugins are found in `document`.
  virtual void OnDocumentCommitted(BrowserImpl* browser, FrameImpl* frame, const ScannedDocument& document) {}
  // The page title changed after the commit (page action).
  virtual void OnTitleChanged(BrowserImpl* browser) {}
  // Before a close (not forced) or a navigation away from a committed document. Call `done(true)` to go on,
  // `done(false)` to cancel; may be called later, on UI. The default goes on at once.
  virtual void BeforeUnload(BrowserImpl* browser, bool is_reload, std::function<void(bool proceed)> done) {
    done(true);
  }
  // A keyboard message reached the windowed browser's window (WM_KEYDOWN/UP, WM_CHAR, WM_SYSKEYDOWN/UP,
  // WM_SYSCHAR). True when handled (the window procedure then returns 0).
  virtual bool OnWindowKeyMessage(BrowserImpl* browser, const MSG& message) { return false; }
  // WM_SETCURSOR reached the window. True when a cursor was set.
  virtual bool OnWindowSetCursor(BrowserImpl* browser) { return false; }
  // A renderer page action this file does not handle itself (console, beforeunload, focus, ...). True when
  // known.
  virtual bool OnPageAction(BrowserImpl* browser, int64 frame_id, const std::wstring& kind, const ChannelFrame& frame) {
    return false;
  }
  // The browser is being destroyed; OnBeforeClose follows.
  virtual void OnBrowserDestroyed(BrowserImpl* browser) {}

  // CefBrowserHost calls (any thread, as the client made them). Defaults only record the call.
  virtual void WasResized(BrowserImpl* browser);
  virtual void WasHidden(BrowserImpl* browser, bool hidden);
  virtual void NotifyScreenInfoChanged(BrowserImpl* browser);
  virtual void Invalidate(BrowserImpl* browser, cef_paint_element_type_t type);
  virtual void SendKeyEvent(BrowserImpl* browser, const CefKeyEvent& event);
  virtual void SendMouseClickEvent(BrowserImpl* browser, const CefMouseEvent& event, cef_mouse_button_type_t type,
                                   bool mouse_up, int click_count);
  virtual void SendMouseMoveEvent(BrowserImpl* browser, const CefMouseEvent& event, bool mouse_leave);
  virtual void SendMouseWheelEvent(BrowserImpl* browser, const CefMouseEvent& event, int delta_x, int delta_y);
  virtual void SendFocusEvent(BrowserImpl* browser, bool set_focus);
  virtual void SendCaptureLostEvent(BrowserImpl* browser);
  virtual void NotifyMoveOrResizeStarted(BrowserImpl* browser);
  virtual void DragTargetDragEnter(BrowserImpl* browser, CefRefPtr<CefDragData> drag_data, const CefMouseEvent& event,
                                   cef_drag_operations_mask_t allowed_ops);
  virtual void DragTargetDragOver(BrowserImpl* browser, const CefMouseEvent& event,
                                  cef_drag_operations_mask_t allowed_ops);
  virtual void DragTargetDragLeave(BrowserImpl* browser);
  virtual void DragTargetDrop(BrowserImpl* browser, const CefMouseEvent& event);
  virtual void DragSourceEndedAt(BrowserImpl* browser, int x, int y, cef_drag_operations_mask_t op);
  virtual void DragSourceSystemDragEnded(BrowserImpl* browser);
};

// Installs the hooks used by every browser from now on; null restores the defaults. Any thread.
void SetBrowserExtras(std::shared_ptr<BrowserExtras> extras);
std::shared_ptr<BrowserExtras> GetBrowserExtras();

// What the engine knows of the page shown in a browser. Snapshot under the browser's lock.
struct PageState {
  std::wstring url;    // main frame URL
  std::wstring title;  // <title> text, else the URL; changed by page title actions
  bool has_document = false;
  int focus_state = FOCUS_NONE;  // FocusState of the focused element
  bool has_background = false;   // the document asked for a background colour
  cef_color_t background = 0;
  bool loading = false;
  std::vector<std::wstring> history;  // committed main-frame URLs
  int history_index = -1;             // current entry, -1 before the first commit
};

// How a browser came to be, for popups and DevTools.
struct CreationExtras {
  bool is_popup = false;
  bool is_devtools = false;
  CefRefPtr<BrowserImpl> opener;  // popups and DevTools: the browser they came from
};

class BrowserImpl : public CefBrowser, public CefBrowserHost {
 public:
  // --- Engine interface. UI thread unless noted. ---

  // Creates a browser (windowed: its window too) and runs OnAfterCreated and the first navigation. Null, after an
  // ERROR log and without callbacks, when the window cannot be made.
  static CefRefPtr<BrowserImpl> CreateOnUI(const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                                          const std::wstring& url, const CefBrowserSettings& settings,
                                          CefRefPtr<CefRequestContext> request_context, const CreationExtras& how);

  // Any thread. Constant for the life of the object.
  int id() const { return id_; }
  bool windowless() const { return windowless_; }
  bool is_popup() const { return how_.is_popup; }
  bool is_devtools() const { return how_.is_devtools; }
  // Popups and DevTools: the browser they came from; null otherwise.
  CefRefPtr<BrowserImpl> opener() const { return how_.opener; }
  CefRefPtr<CefClient> client() const { return client_; }
  const CefBrowserSettings& settings() const { return settings_; }
  const CefWindowInfo& window_info() const { return window_info_; }
  // The parent window given at creation (windowless: the host window).
  HWND parent_window() const { return window_info_.parent_window; }

  // Any thread. The browser's own window (windowed), null for windowless browsers and after destruction.
  HWND hwnd();
  // Any thread. Set by WasHidden (the extras keep it current through SetHidden).
  bool hidden();
  void SetHidden(bool hidden);
  // Any thread. True once OnBeforeClose ran (or is running): nothing more may reach the client.
  bool IsDestroyed();
  // Any thread. True once destruction started.
  bool IsClosing();
  // Any thread.
  PageState page_state();
  void SetFocusState(int focus_state);
  // UI: sets the title and tells the client (OnTitleChange) and the extras.
  void SetPageTitle(const std::wstring& title);

  // Frames. Any thread. Null when unknown or no longer valid.
  CefRefPtr<FrameImpl> main_frame();
  CefRefPtr<FrameImpl> FindFrame(int64 frame_id);
  // UI: a new frame of the document (sub-frames only); its URL is set when its document commits.
  CefRefPtr<FrameImpl> AddSubFrame(int64 parent_id, const std::wstring& name);
  // UI: every sub-frame becomes invalid and is forgotten (a new main document committed); the renderer is told.
  void DropSubFrames();

  // UI: the navigation pipeline's hooks (engine/navigation.cpp).
  Navigation* navigation() { return navigation_.get(); }
  void SetNavigation(std::unique_ptr<Navigation> navigation);
  void UpdatePage(const std::function<void(PageState&)>& change);

  // The renderer side of this browser (engine/renderer_relay.h); lives as long as the browser object.
  RendererRelay* relay() { return relay_.get(); }

  // UI: the close flow (engine/close_flow.cpp).
  // Starts a close as CloseBrowser(force) or page window.close() (`from_page`: no beforeunload).
  void StartClose(bool force, bool from_page);
  // Destroys the browser without asking anyone: its window (if any) goes, then OnBeforeClose.
  void DestroyNow();
  // Window procedure notifications.
  void OnWindowCloseMessage();
  void OnWindowGone();

  // UI: the DevTools browser of this browser, null when none is open.
  CefRefPtr<BrowserImpl> devtools();

  // UI: records a callback in the journal with this browser's id.
  void Record(const std::string& kind, int64 frame_id = 0, std::vector<std::string> args = {});

  // --- CefBrowser ---
  CefRefPtr<CefBrowserHost> GetHost() override { return this; }
  bool CanGoBack() override;
  void GoBack() override;
  bool CanGoForward() override;
  void GoForward() override;
  bool IsLoading() override;
  void Reload() override;
  void ReloadIgnoreCache() override;
  void StopLoad() override;
  int GetIdentifier() override { return id_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override;
  bool IsPopup() override { return how_.is_popup; }
  bool HasDocument() override;
  CefRefPtr<CefFrame> GetMainFrame() override;
  CefRefPtr<CefFrame> GetFocusedFrame() override;
  CefRefPtr<CefFrame> GetFrame(int64 identifier) override;
  CefRefPtr<CefFrame> GetFrame(const CefString& name) override;
  size_t GetFrameCount() override;
  void GetFrameIdentifiers(std::vector<int64>& identifiers) override;
  void GetFrameNames(std::vector<CefString>& names) override;
  bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) override;

  // --- CefBrowserHost ---
  CefRefPtr<CefBrowser> GetBrowser() override { return this; }
  void CloseBrowser(bool force_close) override;
  void SetFocus(bool focus) override;
  CefWindowHandle GetWindowHandle() override;
  CefWindowHandle GetOpenerWindowHandle() override;
  CefRefPtr<CefClient> GetClient() override { return client_; }
  CefRefPtr<CefRequestContext> GetRequestContext() override { return request_context_; }
  void ShowDevTools(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client, const CefBrowserSettings& settings,
                    const CefPoint& inspect_element_at) override;
  void CloseDevTools() override;
  void SetMouseCursorChangeDisabled(bool disabled) override;
  bool IsMouseCursorChangeDisabled() override;
  void WasResized() override;
  void WasHidden(bool hidden) override;
  void NotifyScreenInfoChanged() override;
  void Invalidate(PaintElementType type) override;
  void SendKeyEvent(const CefKeyEvent& event) override;
  void SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp, int clickCount) override;
  void SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) override;
  void SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) override;
  void SendFocusEvent(bool setFocus) override;
  void SendCaptureLostEvent() override;
  void NotifyMoveOrResizeStarted() override;
  void DragTargetDragEnter(CefRefPtr<CefDragData> drag_data, const CefMouseEvent& event,
                           DragOperationsMask allowed_ops) override;
  void DragTargetDragOver(const CefMouseEvent& event, DragOperationsMask allowed_ops) override;
  void DragTargetDragLeave() override;
  void DragTargetDrop(const CefMouseEvent& event) override;
  void DragSourceEndedAt(int x, int y, DragOperationsMask op) override;
  void DragSourceSystemDragEnded() override;

 private:
  // Navigates to the current history entry again (nothing without one).
  void ReloadCurrentEntry();

  BrowserImpl(int id, const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
              const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context,
              const CreationExtras& how);
  ~BrowserImpl() override;

  // Runs `fn` on UI (inline when already there) unless the browser is destroyed by then.
  void OnUI(std::function<void()> fn);
  void FinishDestroy();
  void ShowDevToolsOnUI(const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                        const CefBrowserSettings& settings);

  const int id_;
  const CefWindowInfo window_info_;
  const bool windowless_;
  const CefRefPtr<CefClient> client_;
  const CefBrowserSettings settings_;
  const CefRefPtr<CefRequestContext> request_context_;
  const CreationExtras how_;
  const std::shared_ptr<RendererRelay> relay_;

  std::mutex lock_;  // guards the fields below
  HWND hwnd_ = nullptr;
  bool hidden_ = false;
  bool closing_ = false;
  bool destroyed_ = false;
  bool cursor_change_disabled_ = false;
  PageState page_;
  CefRefPtr<FrameImpl> main_frame_;
  std::map<int64, CefRefPtr<FrameImpl>> sub_frames_;

  // UI only.
  bool close_pending_ = false;  // DoClose said "engine closes": WM_CLOSE was posted to the root window
  std::unique_ptr<Navigation> navigation_;
  CefRefPtr<BrowserImpl> devtools_;

  friend class BrowserWindowAccess;
  IMPLEMENT_REFCOUNTING(BrowserImpl);
};

// A page asks for a new window (window.open, a link targeting a new window). engine/popups.cpp.
struct PopupRequest {
  std::wstring url;
  std::wstring frame_name;
  cef_window_open_disposition_t disposition = WOD_NEW_POPUP;
  bool user_gesture = false;
  CefPopupFeatures features;
};
// UI. OnBeforePopup; unless cancelled, a popup browser made from the (possibly changed) window info, client and
// settings. Returns the popup, null when cancelled or its window could not be made.
CefRefPtr<BrowserImpl> OpenPopup(BrowserImpl* opener, CefRefPtr<FrameImpl> frame, const PopupRequest& request);
// UI. A navigation the page wants in another tab: OnOpenURLFromTab; false lets the source browser's main frame
// navigate to `url` instead.
void OpenUrlFromTab(BrowserImpl* browser, CefRefPtr<FrameImpl> frame, const std::wstring& url,
                    cef_window_open_disposition_t disposition, bool user_gesture);

// The calling thread is the engine's UI thread.
bool OnUIThread();
// Runs `fn` later on `thread` (any thread may post), no sooner than `delay_ms` from now. False, `fn` dropped, when
// that thread does not run.
bool PostTo(CefThreadId thread, std::function<void()> fn, int64 delay_ms = 0);

}  // namespace cefengine

#endif  // CEF_ENGINE_BROWSER_IMPL_H_
