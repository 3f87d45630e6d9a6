#include "engine/browser_impl.h"

#include <utility>

#include "engine/browser_registry.h"
#include "engine/browser_window.h"
#include "engine/context.h"
#include "engine/frame_impl.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/navigation.h"
#include "engine/page_actions.h"
#include "engine/renderer_relay.h"
#include "engine/startup_trace.h"
#include "engine/task_threads.h"
#include "engine/utf.h"

namespace cefengine {

namespace {

std::mutex g_extras_lock;
std::shared_ptr<BrowserExtras>& ExtrasSlot() {
  static std::shared_ptr<BrowserExtras>* slot = new std::shared_ptr<BrowserExtras>(CreatePageExtras());
  return *slot;
}

std::string MouseArgs(const CefMouseEvent& event) {
  return std::to_string(event.x) + "," + std::to_string(event.y) + "," + std::to_string(event.modifiers);
}

}  // namespace

bool OnUIThread() {
  return CurrentlyOn(TID_UI);
}

bool PostTo(CefThreadId thread, std::function<void()> fn, int64 delay_ms) {
  return PostFunction(thread, std::move(fn), delay_ms);
}

// --- BrowserExtras defaults: the call is only recorded. ---

void BrowserExtras::WasResized(BrowserImpl* browser) {
  browser->Record("WasResized");
}
void BrowserExtras::WasHidden(BrowserImpl* browser, bool hidden) {
  browser->SetHidden(hidden);
  browser->Record("WasHidden", 0, {FlagText(hidden)});
}
void BrowserExtras::NotifyScreenInfoChanged(BrowserImpl* browser) {
  browser->Record("NotifyScreenInfoChanged");
}
void BrowserExtras::Invalidate(BrowserImpl* browser, cef_paint_element_type_t type) {
  browser->Record("Invalidate", 0, {std::to_string(type)});
}
void BrowserExtras::SendKeyEvent(BrowserImpl* browser, const CefKeyEvent& event) {
  browser->Record("SendKeyEvent", 0, {std::to_string(event.type), std::to_string(event.windows_key_code)});
}
void BrowserExtras::SendMouseClickEvent(BrowserImpl* browser, const CefMouseEvent& event,
                                        cef_mouse_button_type_t type, bool mouse_up, int click_count) {
  browser->Record("SendMouseClickEvent", 0,
                  {MouseArgs(event), std::to_string(type), mouse_up ? "up" : "down", std::to_string(click_count)});
}
void BrowserExtras::SendMouseMoveEvent(BrowserImpl* browser, const CefMouseEvent& event, bool mouse_leave) {
  browser->Record("SendMouseMoveEvent", 0, {MouseArgs(event), mouse_leave ? "leave" : "move"});
}
void BrowserExtras::SendMouseWheelEvent(BrowserImpl* browser, const CefMouseEvent& event, int delta_x, int delta_y) {
  browser->Record("SendMouseWheelEvent", 0, {MouseArgs(event), std::to_string(delta_x), std::to_string(delta_y)});
}
void BrowserExtras::SendFocusEvent(BrowserImpl* browser, bool set_focus) {
  browser->Record("SendFocusEvent", 0, {FlagText(set_focus)});
}
void BrowserExtras::SendCaptureLostEvent(BrowserImpl* browser) {
  browser->Record("SendCaptureLostEvent");
}
void BrowserExtras::NotifyMoveOrResizeStarted(BrowserImpl* browser) {
  browser->Record("NotifyMoveOrResizeStarted");
}
void BrowserExtras::DragTargetDragEnter(BrowserImpl* browser, CefRefPtr<CefDragData> drag_data,
                                        const CefMouseEvent& event, cef_drag_operations_mask_t allowed_ops) {
  browser->Record("DragTargetDragEnter", 0, {MouseArgs(event), std::to_string(allowed_ops)});
}
void BrowserExtras::DragTargetDragOver(BrowserImpl* browser, const CefMouseEvent& event,
                                       cef_drag_operations_mask_t allowed_ops) {
  browser->Record("DragTargetDragOver", 0, {MouseArgs(event), std::to_string(allowed_ops)});
}
void BrowserExtras::DragTargetDragLeave(BrowserImpl* browser) {
  browser->Record("DragTargetDragLeave");
}
void BrowserExtras::DragTargetDrop(BrowserImpl* browser, const CefMouseEvent& event) {
  browser->Record("DragTargetDrop", 0, {MouseArgs(event)});
}
void BrowserExtras::DragSourceEndedAt(BrowserImpl* browser, int x, int y, cef_drag_operations_mask_t op) {
  browser->Record("DragSourceEndedAt", 0, {std::to_string(x), std::to_string(y), std::to_string(op)});
}
void BrowserExtras::DragSourceSystemDragEnded(BrowserImpl* browser) {
  browser->Record("DragSourceSystemDragEnded");
}

void SetBrowserExtras(std::shared_ptr<BrowserExtras> extras) {
  std::lock_guard<std::mutex> lock(g_extras_lock);
  ExtrasSlot() = extras ? std::move(extras) : CreatePageExtras();
}

std::shared_ptr<BrowserExtras> GetBrowserExtras() {
  std::lock_guard<std::mutex> lock(g_extras_lock);
  return ExtrasSlot();
}

// --- Creation ---

BrowserImpl::BrowserImpl(int id, const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                         const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context,
                         const CreationExtras& how)
    : id_(id),
      window_info_(window_info),
      windowless_(window_info.windowless_rendering_enabled != 0),
      client_(client),
      settings_(settings),
      request_context_(request_context),
      how_(how),
      relay_(std::make_shared<RendererRelay>(id)) {
  main_frame_ = new FrameImpl(this, FrameImpl::NextFrameId(), 0, std::wstring(), true);
}

BrowserImpl::~BrowserImpl() = default;

CefRefPtr<BrowserImpl> BrowserImpl::CreateOnUI(const CefWindowInfo& window_info, CefRefPtr<CefClient> client,
                                               const std::wstring& url, const CefBrowserSettings& settings,
                                               CefRefPtr<CefRequestContext> request_context,
                                               const CreationExtras& how) {
  if (!OnUIThread() || !IsInitialized()) {
    CEFENGINE_MISUSE("browsers are created on the UI thread of a running engine");
    return nullptr;
  }
  bool windowless = window_info.windowless_rendering_enabled != 0;
  HWND hwnd = nullptr;
  if (windowless) {
    if (!CurrentSettings().windowless_rendering_enabled)
      LOG(WARNING) << "CefBrowserHost::CreateBrowser: windowless browser while CefSettings."
                      "windowless_rendering_enabled is off";
  } else {
    hwnd = CreateBrowserWindow(window_info);
    if (!hwnd) {
      LOG(ERROR) << "CefBrowserHost::CreateBrowser: the browser window could not be created (error "
                 << GetLastError() << ")";
      return nullptr;
    }
  }

  if (!request_context)
    request_context = CefRequestContext::GetGlobalContext();
  CefRefPtr<BrowserImpl> browser =
      new BrowserImpl(NextBrowserId(), window_info, client, settings, request_context, how);
  if (hwnd) {
    {
      std::lock_guard<std::mutex> lock(browser->lock_);
      browser->hwnd_ = hwnd;
    }
    AttachBrowserWindow(hwnd, browser.get());
  }
  RegisterBrowser(browser);
  browser->relay_->Start(browser.get());

  browser->Record("OnAfterCreated", 0, {WideToUtf8(url)});
  NoteStartupStamp(StartupStamp::kFirstBrowserCreated);
  if (client) {
    if (CefRefPtr<CefLifeSpanHandler> handler = client->GetLifeSpanHandler())
      handler->OnAfterCreated(browser.get());
  }
  if (!browser->IsDestroyed())
    GetBrowserExtras()->OnBrowserCreated(browser.get());
  if (!url.empty() && !browser->IsClosing()) {
    NavigationRequest request;
    request.url = url;
    Navigate(browser.get(), request);
  }
  return browser;
}

// --- State ---

HWND BrowserImpl::hwnd() {
  std::lock_guard<std::mutex> lock(lock_);
  return hwnd_;
}

bool BrowserImpl::hidden() {
  std::lock_guard<std::mutex> lock(lock_);
  return hidden_;
}

void BrowserImpl::SetHidden(bool hidden) {
  std::lock_guard<std::mutex> lock(lock_);
  hidden_ = hidden;
}

bool BrowserImpl::IsDestroyed() {
  std::lock_guard<std::mutex> lock(lock_);
  return destroyed_;
}

bool BrowserImpl::IsClosing() {
  std::lock_guard<std::mutex> lock(lock_);
  return closing_;
}

PageState BrowserImpl::page_state() {
  std::lock_guard<std::mutex> lock(lock_);
  return page_;
}

void BrowserImpl::SetFocusState(int focus_state) {
  std::lock_guard<std::mutex> lock(lock_);
  page_.focus_state = focus_state;
}

void BrowserImpl::UpdatePage(const std::function<void(PageState&)>& change) {
  std::lock_guard<std::mutex> lock(lock_);
  change(page_);
}

void BrowserImpl::SetPageTitle(const std::wstring& title) {
  if (IsDestroyed())
    return;
  UpdatePage([&](PageState& page) { page.title = title; });
  Record("OnTitleChange", 0, {WideToUtf8(title)});
  if (client_) {
    if (CefRefPtr<CefDisplayHandler> handler = client_->GetDisplayHandler())
      handler->OnTitleChange(this, title);
  }
  if (!IsDestroyed())
    GetBrowserExtras()->OnTitleChanged(this);
}

CefRefPtr<FrameImpl> BrowserImpl::main_frame() {
  std::lock_guard<std::mutex> lock(lock_);
  return main_frame_;
}

CefRefPtr<FrameImpl> BrowserImpl::FindFrame(int64 frame_id) {
  std::lock_guard<std::mutex> lock(lock_);
  if (destroyed_)
    return nullptr;
  if (main_frame_ && main_frame_->id() == frame_id)
    return main_frame_;
  auto it = sub_frames_.find(frame_id);
  return it == sub_frames_.end() ? nullptr : it->second;
}

CefRefPtr<FrameImpl> BrowserImpl::AddSubFrame(int64 parent_id, const std::wstring& name) {
  CefRefPtr<FrameImpl> frame = new FrameImpl(this, FrameImpl::NextFrameId(), parent_id, name, false);
  std::lock_guard<std::mutex> lock(lock_);
  sub_frames_[frame->id()] = frame;
  return frame;
}

void BrowserImpl::DropSubFrames() {
  std::map<int64, CefRefPtr<FrameImpl>> gone;
  {
    std::lock_guard<std::mutex> lock(lock_);
    gone.swap(sub_frames_);
  }
  for (auto& entry : gone) {
    entry.second->Invalidate();
    (void)relay_->Send(MakeFrame(FrameType::kFrameGone, id_, entry.first));
  }
}

void BrowserImpl::SetNavigation(std::unique_ptr<Navigation> navigation) {
  navigation_ = std::move(navigation);
}

CefRefPtr<BrowserImpl> BrowserImpl::devtools() {
  return devtools_;
}

void BrowserImpl::Record(const std::string& kind, int64 frame_id, std::vector<std::string> args) {
  cefengine::Record(kind, id_, frame_id, std::move(args));
}

void BrowserImpl::OnUI(std::function<void()> fn) {
  if (OnUIThread()) {
    if (!IsDestroyed())
      fn();
    return;
  }
  CefRefPtr<BrowserImpl> self(this);
  if (!PostTo(TID_UI, [self, fn]() {
        if (!self->IsDestroyed())
          fn();
      }))
    CEFENGINE_MISUSE("browser call after CefShutdown ignored");
}

// --- CefBrowser ---

bool BrowserImpl::CanGoBack() {
  std::lock_guard<std::mutex> lock(lock_);
  return page_.history_index > 0;
}

bool BrowserImpl::CanGoForward() {
  std::lock_guard<std::mutex> lock(lock_);
  return page_.history_index >= 0 && page_.history_index + 1 < static_cast<int>(page_.history.size());
}

void BrowserImpl::GoBack() {
  Record("GoBack");
  OnUI([this]() {
    PageState page = page_state();
    if (page.history_index <= 0)
      return;
    NavigationRequest request;
    request.kind = NavigationKind::kHistory;
    request.history_index = page.history_index - 1;
    request.url = page.history[request.history_index];
    Navigate(this, request);
  });
}

void BrowserImpl::GoForward() {
  Record("GoForward");
  OnUI([this]() {
    PageState page = page_state();
    if (page.history_index < 0 || page.history_index + 1 >= static_cast<int>(page.history.size()))
      return;
    NavigationRequest request;
    request.kind = NavigationKind::kHistory;
    request.history_index = page.history_index + 1;
    request.url = page.history[request.history_index];
    Navigate(this, request);
  });
}

bool BrowserImpl::IsLoading() {
  std::lock_guard<std::mutex> lock(lock_);
  return page_.loading;
}

void BrowserImpl::Reload() {
  Record("Reload");
  ReloadCurrentEntry();
}

void BrowserImpl::ReloadIgnoreCache() {
  // There is no cache to ignore: the same reload, journaled under its own name.
  Record("ReloadIgnoreCache");
  ReloadCurrentEntry();
}

void BrowserImpl::ReloadCurrentEntry() {
  OnUI([this]() {
    PageState page = page_state();
    if (page.history_index < 0)
      return;
    NavigationRequest request;
    request.kind = NavigationKind::kReload;
    request.history_index = page.history_index;
    request.url = page.history[page.history_index];
    Navigate(this, request);
  });
}

void BrowserImpl::StopLoad() {
  Record("StopLoad");
  OnUI([this]() { StopNavigation(this); });
}

bool BrowserImpl::IsSame(CefRefPtr<CefBrowser> that) {
  return that.get() == static_cast<CefBrowser*>(this);
}

bool BrowserImpl::HasDocument() {
  std::lock_guard<std::mutex> lock(lock_);
  return page_.has_document;
}

CefRefPtr<CefFrame> BrowserImpl::GetMainFrame() {
  std::lock_guard<std::mutex> lock(lock_);
  return destroyed_ ? nullptr : main_frame_.get();
}

CefRefPtr<CefFrame> BrowserImpl::GetFocusedFrame() {
  return GetMainFrame();
}

CefRefPtr<CefFrame> BrowserImpl::GetFrame(int64 identifier) {
  return FindFrame(identifier).get();
}

CefRefPtr<CefFrame> BrowserImpl::GetFrame(const CefString& name) {
  std::wstring wanted = name.ToWString();
  std::lock_guard<std::mutex> lock(lock_);
  if (destroyed_)
    return nullptr;
  if (wanted.empty())
    return main_frame_.get();
  for (auto& entry : sub_frames_)
    if (entry.second->name() == wanted)
      return entry.second.get();
  return nullptr;
}

size_t BrowserImpl::GetFrameCount() {
  std::lock_guard<std::mutex> lock(lock_);
  return destroyed_ ? 0 : 1 + sub_frames_.size();
}

void BrowserImpl::GetFrameIdentifiers(std::vector<int64>& identifiers) {
  identifiers.clear();
  std::lock_guard<std::mutex> lock(lock_);
  if (destroyed_)
    return;
  if (main_frame_)
    identifiers.push_back(main_frame_->id());
  for (auto& entry : sub_frames_)
    identifiers.push_back(entry.first);
}

void BrowserImpl::GetFrameNames(std::vector<CefString>& names) {
  names.clear();
  std::lock_guard<std::mutex> lock(lock_);
  if (destroyed_)
    return;
  names.push_back(CefString());
  for (auto& entry : sub_frames_)
    names.push_back(entry.second->name());
}

bool BrowserImpl::SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) {
  std::string name = message ? message->GetName().ToString() : std::string();
  Record("SendProcessMessage", 0, {name});
  if (!message || name.empty()) {
    LOG(WARNING) << "CefBrowser::SendProcessMessage: no message or a message without a name";
    return false;
  }
  if (target_process != PID_RENDERER) {
    LOG(WARNING) << "CefBrowser::SendProcessMessage: the browser process sends only to PID_RENDERER";
    return false;
  }
  if (IsDestroyed()) {
    CEFENGINE_MISUSE("CefBrowser::SendProcessMessage on a closed browser");
    return false;
  }
  return relay_->SendProcessMessage(message);
}

// --- CefBrowserHost ---

void BrowserImpl::CloseBrowser(bool force_close) {
  Record("CloseBrowser", 0, {FlagText(force_close)});
  OnUI([this, force_close]() { StartClose(force_close, false); });
}

void BrowserImpl::SetFocus(bool focus) {
  Record("SetFocus", 0, {FlagText(focus)});
  OnUI([this, focus]() {
    if (windowless_) {
      GetBrowserExtras()->SendFocusEvent(this, focus);
      return;
    }
    HWND window = hwnd();
    if (focus && window)
      ::SetFocus(window);
  });
}

CefWindowHandle BrowserImpl::GetWindowHandle() {
  std::lock_guard<std::mutex> lock(lock_);
  if (destroyed_)
    return nullptr;
  return windowless_ ? window_info_.parent_window : hwnd_;
}

CefWindowHandle BrowserImpl::GetOpenerWindowHandle() {
  return how_.opener ? how_.opener->GetWindowHandle() : nullptr;
}

void BrowserImpl::SetMouseCursorChangeDisabled(bool disabled) {
  std::lock_guard<std::mutex> lock(lock_);
  cursor_change_disabled_ = disabled;
}

bool BrowserImpl::IsMouseCursorChangeDisabled() {
  std::lock_guard<std::mutex> lock(lock_);
  return cursor_change_disabled_;
}

void BrowserImpl::WasResized() {
  GetBrowserExtras()->WasResized(this);
}

void BrowserImpl::WasHidden(bool hidden) {
  GetBrowserExtras()->WasHidden(this, hidden);
}

void BrowserImpl::NotifyScreenInfoChanged() {
  GetBrowserExtras()->NotifyScreenInfoChanged(this);
}

void BrowserImpl::Invalidate(PaintElementType type) {
  GetBrowserExtras()->Invalidate(this, type);
}

void BrowserImpl::SendKeyEvent(const CefKeyEvent& event) {
  GetBrowserExtras()->SendKeyEvent(this, event);
}

void BrowserImpl::SendMouseClickEvent(const CefMouseEvent& event, MouseButtonType type, bool mouseUp,
                                      int clickCount) {
  GetBrowserExtras()->SendMouseClickEvent(this, event, type, mouseUp, clickCount);
}

void BrowserImpl::SendMouseMoveEvent(const CefMouseEvent& event, bool mouseLeave) {
  GetBrowserExtras()->SendMouseMoveEvent(this, event, mouseLeave);
}

void BrowserImpl::SendMouseWheelEvent(const CefMouseEvent& event, int deltaX, int deltaY) {
  GetBrowserExtras()->SendMouseWheelEvent(this, event, deltaX, deltaY);
}

void BrowserImpl::SendFocusEvent(bool setFocus) {
  GetBrowserExtras()->SendFocusEvent(this, setFocus);
}

void BrowserImpl::SendCaptureLostEvent() {
  GetBrowserExtras()->SendCaptureLostEvent(this);
}

void BrowserImpl::NotifyMoveOrResizeStarted() {
  GetBrowserExtras()->NotifyMoveOrResizeStarted(this);
}

void BrowserImpl::DragTargetDragEnter(CefRefPtr<CefDragData> drag_data, const CefMouseEvent& event,
                                      DragOperationsMask allowed_ops) {
  GetBrowserExtras()->DragTargetDragEnter(this, drag_data, event, allowed_ops);
}

void BrowserImpl::DragTargetDragOver(const CefMouseEvent& event, DragOperationsMask allowed_ops) {
  GetBrowserExtras()->DragTargetDragOver(this, event, allowed_ops);
}

void BrowserImpl::DragTargetDragLeave() {
  GetBrowserExtras()->DragTargetDragLeave(this);
}

void BrowserImpl::DragTargetDrop(const CefMouseEvent& event) {
  GetBrowserExtras()->DragTargetDrop(this, event);
}

void BrowserImpl::DragSourceEndedAt(int x, int y, DragOperationsMask op) {
  GetBrowserExtras()->DragSourceEndedAt(this, x, y, op);
}

void BrowserImpl::DragSourceSystemDragEnded() {
  GetBrowserExtras()->DragSourceSystemDragEnded(this);
}

}  // namespace cefengine

using namespace cefengine;

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                   const CefString& url, const CefBrowserSettings& settings,
                                   CefRefPtr<CefRequestContext> request_context) {
  if (!IsInitialized()) {
    CEFENGINE_MISUSE("CefBrowserHost::CreateBrowser before CefInitialize or after CefShutdown");
    return false;
  }
  cefengine::Record("CreateBrowser", 0, 0, {url.ToString()});
  CefWindowInfo info(windowInfo);
  CefBrowserSettings copied(settings);
  std::wstring target = url.ToWString();
  return PostTo(TID_UI, [info, client, target, copied, request_context]() {
    (void)BrowserImpl::CreateOnUI(info, client, target, copied, request_context, CreationExtras());
  });
}

CefRefPtr<CefBrowser> CefBrowserHost::CreateBrowserSync(const CefWindowInfo& windowInfo, CefRefPtr<CefClient> client,
                                                        const CefString& url, const CefBrowserSettings& settings,
                                                        CefRefPtr<CefRequestContext> request_context) {
  if (!IsInitialized() || !OnUIThread()) {
    CEFENGINE_MISUSE("CefBrowserHost::CreateBrowserSync outside the UI thread of a running engine");
    return nullptr;
  }
  cefengine::Record("CreateBrowserSync", 0, 0, {url.ToString()});
  return BrowserImpl::CreateOnUI(windowInfo, client, url.ToWString(), settings, request_context, CreationExtras())
      .get();
}
