#include "engine/frame_impl.h"

#include <atomic>

#include "engine/browser_impl.h"
#include "engine/channel_frame.h"
#include "engine/logging.h"
#include "engine/navigation.h"
#include "engine/renderer_relay.h"
#include "include/cef_v8.h"

namespace cefengine {

namespace {
std::atomic<int64> g_next_frame_id{1};
}

FrameImpl::FrameImpl(BrowserImpl* browser, int64 id, int64 parent_id, const std::wstring& name, bool is_main)
    : browser_holder_(browser),  // the browser drops its frames when it is destroyed, which ends the cycle
      browser_(browser),
      id_(id),
      parent_id_(parent_id),
      name_(name),
      is_main_(is_main) {}

int64 FrameImpl::NextFrameId() {
  return g_next_frame_id++;
}

std::wstring FrameImpl::url() {
  std::lock_guard<std::mutex> lock(lock_);
  return url_;
}

void FrameImpl::SetURL(const std::wstring& url) {
  std::lock_guard<std::mutex> lock(lock_);
  url_ = url;
}

void FrameImpl::Invalidate() {
  std::lock_guard<std::mutex> lock(lock_);
  valid_ = false;
}

bool FrameImpl::IsValid() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (!valid_)
      return false;
  }
  return !browser_->IsDestroyed();
}

bool FrameImpl::CheckUsable(const char* what) {
  if (IsValid())
    return true;
  CEFENGINE_MISUSE(std::string(what) + " on a frame that no longer exists");
  return false;
}

void FrameImpl::LoadRequest(CefRefPtr<CefRequest> request) {
  if (!request) {
    LOG(WARNING) << "CefFrame::LoadRequest without a request";
    return;
  }
  if (!CheckUsable("CefFrame::LoadRequest"))
    return;
  NavigationRequest nav;
  nav.url = request->GetURL().ToWString();
  nav.request = request;
  browser_->Record("LoadRequest", id_, {CefString(nav.url).ToString()});
  CefRefPtr<FrameImpl> self(this);
  PostTo(TID_UI, [self, nav]() {
    if (self->IsValid())
      Navigate(self->browser_, nav);
  });
}

void FrameImpl::LoadURL(const CefString& url) {
  if (!CheckUsable("CefFrame::LoadURL"))
    return;
  NavigationRequest nav;
  nav.url = url.ToWString();
  browser_->Record("LoadURL", id_, {url.ToString()});
  CefRefPtr<FrameImpl> self(this);
  PostTo(TID_UI, [self, nav]() {
    if (self->IsValid())
      Navigate(self->browser_, nav);
  });
}

void FrameImpl::ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) {
  if (!CheckUsable("CefFrame::ExecuteJavaScript"))
    return;
  browser_->Record("ExecuteJavaScript", id_, {code.ToString(), script_url.ToString(), std::to_string(start_line)});
  ChannelFrame frame = MakeFrame(FrameType::kExecuteJavaScript, browser_->id(), id_,
                                 {MakeString(code.ToWString()), MakeString(script_url.ToWString()), MakeInt(start_line)});
  if (!browser_->relay()->Send(frame))
    LOG(WARNING) << "CefFrame::ExecuteJavaScript: the renderer is gone";
}

bool FrameImpl::IsFocused() {
  return is_main_ && IsValid();
}

CefRefPtr<CefFrame> FrameImpl::GetParent() {
  if (is_main_)
    return nullptr;
  return browser_->FindFrame(parent_id_).get();
}

CefRefPtr<CefBrowser> FrameImpl::GetBrowser() {
  return browser_;
}

CefRefPtr<CefV8Context> FrameImpl::GetV8Context() {
  CEFENGINE_MISUSE("CefFrame::GetV8Context in the browser process");
  return nullptr;
}

void FrameImpl::VisitDOM(CefRefPtr<CefDOMVisitor> visitor) {
  CEFENGINE_MISUSE("CefFrame::VisitDOM in the browser process");
}

}  // namespace cefengine
