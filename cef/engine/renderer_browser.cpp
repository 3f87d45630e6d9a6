#include "engine/renderer_browser.h"

#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/process_message_impl.h"
#include "engine/renderer_runtime.h"
#include "engine/task_threads.h"
#include "engine/v8_context.h"

namespace cefengine {

// --- RendererFrame ---

RendererFrame::RendererFrame(CefRefPtr<RendererBrowser> browser, int64 id) : browser_(browser), id_(id) {}

void RendererFrame::Update(int64 parent_id, const std::wstring& name, const std::wstring& url, bool is_main) {
  std::lock_guard<std::mutex> lock(mutex_);
  parent_id_ = parent_id;
  name_ = name;
  url_ = url;
  is_main_ = is_main;
  valid_ = true;
}

void RendererFrame::Invalidate() {
  std::lock_guard<std::mutex> lock(mutex_);
  valid_ = false;
}

int64 RendererFrame::parent_id() {
  std::lock_guard<std::mutex> lock(mutex_);
  return parent_id_;
}

int64 RendererFrame::context_id() {
  std::lock_guard<std::mutex> lock(mutex_);
  return context_id_;
}

void RendererFrame::set_context_id(int64 id) {
  std::lock_guard<std::mutex> lock(mutex_);
  context_id_ = id;
}

bool RendererFrame::IsValid() {
  std::lock_guard<std::mutex> lock(mutex_);
  return valid_;
}

void RendererFrame::LoadRequest(CefRefPtr<CefRequest> request) {
  LOG(WARNING) << "CefFrame::LoadRequest is not available in the renderer";
}

void RendererFrame::LoadURL(const CefString& url) {
  LOG(WARNING) << "CefFrame::LoadURL is not available in the renderer";
}

void RendererFrame::ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) {
  if (!CurrentlyOn(TID_RENDERER)) {
    CEFENGINE_MISUSE("CefFrame::ExecuteJavaScript called off the renderer thread");
    return;
  }
  if (!IsValid())
    return;
  RunScriptRequest(browser_->GetIdentifier(), id_, code.ToWString(), script_url.ToWString(), start_line);
}

bool RendererFrame::IsMain() {
  std::lock_guard<std::mutex> lock(mutex_);
  return is_main_;
}

bool RendererFrame::IsFocused() {
  return browser_->FocusedFrameId() == id_;
}

CefString RendererFrame::GetName() {
  std::lock_guard<std::mutex> lock(mutex_);
  return name_;
}

CefRefPtr<CefFrame> RendererFrame::GetParent() {
  int64 parent = parent_id();
  return parent ? browser_->FindFrame(parent).get() : nullptr;
}

CefString RendererFrame::GetURL() {
  std::lock_guard<std::mutex> lock(mutex_);
  return url_;
}

CefRefPtr<CefBrowser> RendererFrame::GetBrowser() {
  return browser_.get();
}

CefRefPtr<CefV8Context> RendererFrame::GetV8Context() {
  int64 id = context_id();
  return id ? FindContext(id) : nullptr;
}

void RendererFrame::VisitDOM(CefRefPtr<CefDOMVisitor> visitor) {
  // There is no document tree to visit.
}

// --- RendererBrowser ---

RendererBrowser::RendererBrowser(int id, bool is_popup, std::weak_ptr<RendererRuntime> runtime)
    : id_(id), is_popup_(is_popup), runtime_(std::move(runtime)) {}

CefRefPtr<RendererFrame> RendererBrowser::FrameFor(int64 id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (CefRefPtr<RendererFrame> frame = FindLocked(id))
    return frame;
  CefRefPtr<RendererFrame> frame = new RendererFrame(this, id);
  frames_.push_back(frame);
  return frame;
}

CefRefPtr<RendererFrame> RendererBrowser::FindFrame(int64 id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindLocked(id);
}

CefRefPtr<RendererFrame> RendererBrowser::FindLocked(int64 id) {
  for (const auto& frame : frames_)
    if (frame->GetIdentifier() == id)
      return frame;
  return nullptr;
}

std::vector<CefRefPtr<RendererFrame>> RendererBrowser::Subtree(int64 id) {
  std::vector<CefRefPtr<RendererFrame>> frames = AllFrames();
  std::vector<CefRefPtr<RendererFrame>> subtree;
  for (const auto& frame : frames)
    if (frame->GetIdentifier() == id)
      subtree.push_back(frame);
  // Grows breadth-first: each frame whose parent is already in joins it.
  for (size_t i = 0; i < subtree.size(); ++i)
    for (const auto& frame : frames)
      if (frame->parent_id() == subtree[i]->GetIdentifier() && frame->GetIdentifier() != id)
        subtree.push_back(frame);
  return subtree;
}

std::vector<CefRefPtr<RendererFrame>> RendererBrowser::AllFrames() {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

void RendererBrowser::RemoveFrame(int64 id) {
  CefRefPtr<RendererFrame> removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = frames_.begin(); it != frames_.end(); ++it) {
      if ((*it)->GetIdentifier() == id) {
        removed = *it;
        frames_.erase(it);
        break;
      }
    }
    if (focused_frame_ == id)
      focused_frame_ = 0;
  }
  if (removed)
    removed->Invalidate();
}

void RendererBrowser::SetFocusedFrame(int64 id) {
  std::lock_guard<std::mutex> lock(mutex_);
  focused_frame_ = id;
}

int64 RendererBrowser::FocusedFrameId() {
  std::lock_guard<std::mutex> lock(mutex_);
  return focused_frame_;
}

void RendererBrowser::Invalidate() {
  std::vector<CefRefPtr<RendererFrame>> frames;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    valid_ = false;
    frames.swap(frames_);
    focused_frame_ = 0;
  }
  for (const auto& frame : frames)
    frame->Invalidate();
}

bool RendererBrowser::valid() {
  std::lock_guard<std::mutex> lock(mutex_);
  return valid_;
}

bool RendererBrowser::HasDocument() {
  return GetMainFrame() != nullptr;
}

CefRefPtr<CefFrame> RendererBrowser::GetMainFrame() {
  for (const auto& frame : AllFrames())
    if (frame->IsMain())
      return frame.get();
  return nullptr;
}

CefRefPtr<CefFrame> RendererBrowser::GetFocusedFrame() {
  int64 focused = FocusedFrameId();
  if (focused)
    if (CefRefPtr<RendererFrame> frame = FindFrame(focused))
      return frame.get();
  return GetMainFrame();
}

CefRefPtr<CefFrame> RendererBrowser::GetFrame(int64 identifier) {
  return FindFrame(identifier).get();
}

CefRefPtr<CefFrame> RendererBrowser::GetFrame(const CefString& name) {
  std::wstring wanted = name.ToWString();
  for (const auto& frame : AllFrames())
    if (frame->GetName().ToWString() == wanted)
      return frame.get();
  return nullptr;
}

size_t RendererBrowser::GetFrameCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_.size();
}

void RendererBrowser::GetFrameIdentifiers(std::vector<int64>& identifiers) {
  identifiers.clear();
  for (const auto& frame : AllFrames())
    identifiers.push_back(frame->GetIdentifier());
}

void RendererBrowser::GetFrameNames(std::vector<CefString>& names) {
  names.clear();
  for (const auto& frame : AllFrames())
    names.push_back(frame->GetName());
}

bool RendererBrowser::SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) {
  if (!CurrentlyOn(TID_RENDERER)) {
    CEFENGINE_MISUSE("CefBrowser::SendProcessMessage called off the renderer thread");
    return false;
  }
  if (target_process != PID_BROWSER) {
    CEFENGINE_MISUSE("CefBrowser::SendProcessMessage: a renderer sends only to PID_BROWSER");
    return false;
  }
  CefRefPtr<ProcessMessageImpl> copy = message ? CopyMessage(message, true) : nullptr;
  if (!copy || copy->name().empty()) {
    LOG(WARNING) << "CefBrowser::SendProcessMessage: no message or no name";
    return false;
  }
  std::shared_ptr<RendererRuntime> runtime = runtime_.lock();
  if (!valid() || !runtime || runtime->disconnected())
    return false;
  Record("SendProcessMessage", id_, 0, {CefString(copy->name()).ToString()});
  ValueData arguments;
  arguments.type = VTYPE_LIST;
  arguments.list = copy->arguments();
  return runtime->SendToBrowser(
      MakeFrame(FrameType::kRendererMessage, id_, 0, {MakeString(copy->name()), arguments}));
}

}  // namespace cefengine
