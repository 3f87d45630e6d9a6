// Closing a browser: beforeunload, DoClose, the window's end and OnBeforeClose.
//
// CloseBrowser(force) and page window.close() ask the life-span handler's DoClose (a close that is not forced first
// passes the page's beforeunload). DoClose false: a windowed browser gets WM_CLOSE posted to its root window and is
// marked "close pending" (that WM_CLOSE, or the root's destruction, ends the window); a windowless one is destroyed at
// once. DoClose true: nothing more happens; a later request runs the flow again. A browser window destroyed by
// anyone destroys the browser without DoClose.
#include "engine/browser_impl.h"

#include "engine/browser_registry.h"
#include "engine/frame_impl.h"
#include "engine/logging.h"
#include "engine/navigation.h"
#include "engine/renderer_relay.h"

namespace cefengine {

void BrowserImpl::StartClose(bool force, bool from_page) {
  if (IsClosing() || IsDestroyed())
    return;
  CefRefPtr<BrowserImpl> self(this);
  auto ask_do_close = [self]() {
    if (self->IsClosing() || self->IsDestroyed())
      return;
    bool handled = false;
    self->Record("DoClose");
    if (self->client_) {
      if (CefRefPtr<CefLifeSpanHandler> handler = self->client_->GetLifeSpanHandler())
        handled = handler->DoClose(self.get());
    }
    if (handled || self->IsClosing() || self->IsDestroyed())
      return;
    HWND window = self->hwnd();
    if (self->windowless_ || !window) {
      self->DestroyNow();
      return;
    }
    self->close_pending_ = true;
    HWND root = GetAncestor(window, GA_ROOT);
    if (!root)
      root = window;
    self->Record("PostCloseToRoot", 0, {root == window ? "self" : "ancestor"});
    if (!PostMessageW(root, WM_CLOSE, 0, 0)) {
      LOG(WARNING) << "CefBrowserHost::CloseBrowser: WM_CLOSE could not be posted (" << GetLastError()
                   << "); destroying the browser window";
      self->DestroyNow();
    }
  };
  if (force || from_page || !page_state().has_document) {
    ask_do_close();
    return;
  }
  GetBrowserExtras()->BeforeUnload(this, false, [self, ask_do_close](bool proceed) {
    if (!proceed) {
      self->Record("CloseCancelledByPage");
      return;
    }
    if (OnUIThread()) {
      ask_do_close();
    } else {
      PostTo(TID_UI, ask_do_close);
    }
  });
}

void BrowserImpl::OnWindowCloseMessage() {
  if (close_pending_ || IsClosing()) {
    DestroyNow();
    return;
  }
  // WM_CLOSE from outside (the user, the system): the same flow as CloseBrowser(false).
  StartClose(false, false);
}

void BrowserImpl::DestroyNow() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closing_)
      return;
    closing_ = true;
  }
  AbandonNavigation(this);
  CefRefPtr<BrowserImpl> devtools;
  devtools.swap(devtools_);
  if (devtools)
    devtools->DestroyNow();
  HWND window = hwnd();
  if (window && IsWindow(window) && !DestroyWindow(window))
    LOG(WARNING) << "CefBrowserHost: DestroyWindow failed (" << GetLastError() << ")";
  FinishDestroy();
}

void BrowserImpl::OnWindowGone() {
  bool was_closing;
  {
    std::lock_guard<std::mutex> lock(lock_);
    hwnd_ = nullptr;
    was_closing = closing_;
    closing_ = true;
  }
  if (!was_closing) {
    AbandonNavigation(this);
    CefRefPtr<BrowserImpl> devtools;
    devtools.swap(devtools_);
    if (devtools)
      devtools->DestroyNow();
  }
  // The client hears OnBeforeClose once the window is fully gone, after DestroyWindow returned. DestroyNow finishes
  // by itself; a window destroyed by others (its parent went) finishes on the next UI turn.
  CefRefPtr<BrowserImpl> self(this);
  if (!PostTo(TID_UI, [self]() { self->FinishDestroy(); }))
    FinishDestroy();
}

void BrowserImpl::FinishDestroy() {
  CefRefPtr<BrowserImpl> self(this);  // OnBeforeClose may drop the client's last reference
  std::map<int64, CefRefPtr<FrameImpl>> sub_frames;
  CefRefPtr<FrameImpl> main_frame;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (destroyed_)
      return;
    destroyed_ = true;
    hwnd_ = nullptr;
    page_.loading = false;
    sub_frames.swap(sub_frames_);
    main_frame.swap(main_frame_);
  }
  relay_->Close();
  if (main_frame)
    main_frame->Invalidate();
  for (auto& entry : sub_frames)
    entry.second->Invalidate();
  GetBrowserExtras()->OnBrowserDestroyed(this);
  if (how_.is_devtools && how_.opener && how_.opener->devtools_.get() == this)
    how_.opener->devtools_ = nullptr;

  Record("OnBeforeClose");
  if (client_) {
    if (CefRefPtr<CefLifeSpanHandler> handler = client_->GetLifeSpanHandler())
      handler->OnBeforeClose(this);
  }
  navigation_.reset();
  UnregisterBrowser(id_);
}

}  // namespace cefengine
