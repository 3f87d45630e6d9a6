#include "engine/renderer_relay.h"

#include <atomic>

#include "engine/browser_impl.h"
#include "engine/frame_impl.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/navigation.h"
#include "engine/process_message_impl.h"
#include "engine/task_threads.h"
#include "engine/utf.h"

namespace cefengine {

const wchar_t kPageActionOpenWindow[] = L"open-window";
const wchar_t kPageActionOpenUrl[] = L"open-url";
const wchar_t kPageActionNavigate[] = L"navigate";
const wchar_t kPageActionClose[] = L"close";
const wchar_t kPageActionTitle[] = L"title";

namespace {

std::atomic<bool> g_await_frame_ready{false};
std::mutex g_sink_lock;
std::function<void(const ChannelFrame&)>& Sink() {
  static auto* sink = new std::function<void(const ChannelFrame&)>();
  return *sink;
}

// Routes one link's events to the relay, tagged with the link's generation.
class LinkEvents : public RendererLinkEvents {
 public:
  LinkEvents(std::weak_ptr<RendererRelay> relay, int generation) : relay_(std::move(relay)), generation_(generation) {}
  void OnRendererFrame(const ChannelFrame& frame) override {
    if (auto relay = relay_.lock())
      relay->OnLinkFrame(generation_, frame);
  }
  void OnRendererTerminated(cef_termination_status_t status) override {
    if (auto relay = relay_.lock())
      relay->OnLinkTerminated(generation_, status);
  }

 private:
  std::weak_ptr<RendererRelay> relay_;
  const int generation_;
};

std::vector<ValueData> ListItems(const ValueData* value) {
  if (!value || value->type != VTYPE_LIST || !value->list)
    return {};
  return value->list->items;
}

std::wstring ItemString(const std::vector<ValueData>& items, size_t index) {
  return index < items.size() && items[index].type == VTYPE_STRING ? items[index].s : std::wstring();
}

int ItemInt(const std::vector<ValueData>& items, size_t index) {
  return index < items.size() && items[index].type == VTYPE_INT ? items[index].i : 0;
}

bool ItemBool(const std::vector<ValueData>& items, size_t index) {
  return index < items.size() && items[index].type == VTYPE_BOOL && items[index].b;
}

}  // namespace

RendererRelay::RendererRelay(int browser_id) : browser_id_(browser_id) {}

void RendererRelay::Start(BrowserImpl* browser) {
  browser_ = browser;
  StartLink();
}

void RendererRelay::StartLink() {
  if (!browser_)
    return;
  CefRefPtr<FrameImpl> main = browser_->main_frame();
  int64 main_id = main ? main->id() : 0;
  int generation;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_ || link_)
      return;
    generation = ++generation_;
  }
  std::shared_ptr<RendererLink> link =
      CreateRendererLink(browser_id_, std::make_shared<LinkEvents>(shared_from_this(), generation));
  if (!link) {
    LOG(ERROR) << "CefBrowserHost: no renderer link for browser " << browser_id_;
    HandleTermination(generation, TS_ABNORMAL_TERMINATION);
    return;
  }
  std::lock_guard<std::mutex> lock(lock_);
  if (closed_) {
    link->Close();
    return;
  }
  // The link itself starts the renderer with Init; BrowserCreated is the first frame about this browser.
  link_ = link;
  bool ok = link_->Send(MakeFrame(FrameType::kBrowserCreated, browser_id_, main_id, {MakeBool(browser_->is_popup())}));
  while (!waiting_.empty()) {
    ok = link_->Send(waiting_.front()) && ok;
    waiting_.pop_front();
  }
  if (!ok)
    LOG(WARNING) << "CefBrowserHost: the renderer of browser " << browser_id_ << " refused the first frames";
}

void RendererRelay::EnsureRenderer() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_ || !terminated_)
      return;
    terminated_ = false;
    connected_ = false;
    link_.reset();
    waiting_.clear();
  }
  cefengine::Record("RendererRelaunch", browser_id_);
  Start(browser_);
}

bool RendererRelay::Send(const ChannelFrame& frame) {
  std::lock_guard<std::mutex> lock(lock_);
  if (closed_ || terminated_)
    return false;
  if (!link_) {
    waiting_.push_back(frame);
    return true;
  }
  return link_->Send(frame);
}

bool RendererRelay::SendProcessMessage(CefRefPtr<CefProcessMessage> message) {
  if (SendToRendererFails(browser_id_)) {
    LOG(WARNING) << "CefBrowser::SendProcessMessage failed (injected fault)";
    return false;
  }
  CefRefPtr<ProcessMessageImpl> copy = CopyMessage(message, true);
  if (!copy) {
    LOG(WARNING) << "CefBrowser::SendProcessMessage: not a message made by CefProcessMessage::Create";
    return false;
  }
  ValueData args;
  args.type = VTYPE_LIST;
  args.list = copy->arguments();
  if (!Send(MakeFrame(FrameType::kProcessMessage, browser_id_, 0, {MakeString(copy->name()), args}))) {
    LOG(WARNING) << "CefBrowser::SendProcessMessage: the renderer of browser " << browser_id_ << " is gone";
    return false;
  }
  return true;
}

bool RendererRelay::CrashRenderer() {
  return Send(MakeFrame(FrameType::kCrash, browser_id_, 0));
}

void RendererRelay::Close() {
  std::shared_ptr<RendererLink> link;
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_)
      return;
    closed_ = true;
    waiting_.clear();
    link.swap(link_);
    if (link && !terminated_ && !link->Send(MakeFrame(FrameType::kBrowserDestroyed, browser_id_, 0)))
      LOG(WARNING) << "CefBrowserHost: the renderer missed BrowserDestroyed";
  }
  if (link)
    link->Close();
  browser_ = nullptr;
}

bool RendererRelay::IsTerminated() {
  std::lock_guard<std::mutex> lock(lock_);
  return terminated_;
}

bool RendererRelay::IsConnected() {
  std::lock_guard<std::mutex> lock(lock_);
  return connected_;
}

bool RendererRelay::AwaitsFrameReady() {
  if (IsTerminated())
    return false;
  return g_await_frame_ready.load() || GetRendererMode() != RendererMode::kRecording;
}

void RendererRelay::OnLinkFrame(int generation, const ChannelFrame& frame) {
  std::weak_ptr<RendererRelay> weak = shared_from_this();
  PostTo(TID_UI, [weak, generation, frame]() {
    auto relay = weak.lock();
    if (!relay)
      return;
    {
      std::lock_guard<std::mutex> lock(relay->lock_);
      if (relay->closed_ || generation != relay->generation_)
        return;
    }
    relay->HandleFrame(frame);
  });
}

void RendererRelay::OnLinkTerminated(int generation, cef_termination_status_t status) {
  std::weak_ptr<RendererRelay> weak = shared_from_this();
  PostTo(TID_UI, [weak, generation, status]() {
    if (auto relay = weak.lock())
      relay->HandleTermination(generation, status);
  });
}

void RendererRelay::HandleTermination(int generation, cef_termination_status_t status) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    if (closed_ || generation != generation_ || terminated_)
      return;
    terminated_ = true;
    connected_ = false;
    waiting_.clear();
    link_.reset();
  }
  BrowserImpl* browser = browser_;
  if (!browser || browser->IsClosing() || browser->IsDestroyed())
    return;
  FinishCrashNavigation(browser);
  if (browser->IsClosing() || browser->IsDestroyed())
    return;
  browser->Record("OnRenderProcessTerminated", 0, {std::to_string(status)});
  if (CefRefPtr<CefClient> client = browser->client()) {
    if (CefRefPtr<CefRequestHandler> handler = client->GetRequestHandler())
      handler->OnRenderProcessTerminated(browser, status);
  }
  if (!browser->IsDestroyed())
    OnRendererGone(browser);
}

void RendererRelay::HandleFrame(const ChannelFrame& frame) {
  BrowserImpl* browser = browser_;
  if (!browser || browser->IsDestroyed())
    return;
  CefRefPtr<CefClient> client = browser->client();
  switch (frame.type) {
    case FrameType::kHello: {
      {
        std::lock_guard<std::mutex> lock(lock_);
        connected_ = true;
      }
      browser->Record("Hello", 0, {std::to_string(frame.IntAt(0)), WideToUtf8(frame.StringAt(1))});
      browser->Record("OnRenderViewReady");
      if (client) {
        if (CefRefPtr<CefRequestHandler> handler = client->GetRequestHandler())
          handler->OnRenderViewReady(browser);
      }
      break;
    }
    case FrameType::kFrameReady:
      browser->Record("FrameReady", frame.frame_id);
      OnFrameReady(browser, frame.frame_id);
      break;
    case FrameType::kRendererMessage: {
      std::wstring name = frame.StringAt(0);
      ValueData args;
      args.type = VTYPE_LIST;
      const ValueData* given = frame.At(1);
      args.list = given && given->type == VTYPE_LIST && given->list ? CopyValue(*given).list
                                                                     : std::make_shared<ListData>();
      CefRefPtr<CefProcessMessage> message = new ProcessMessageImpl(name, args.list, true);
      browser->Record("OnProcessMessageReceived", 0, {WideToUtf8(name)});
      bool handled = client && client->OnProcessMessageReceived(browser, PID_RENDERER, message);
      if (!handled)
        browser->Record("ProcessMessageUnhandled", 0, {WideToUtf8(name)});
      break;
    }
    case FrameType::kPageAction:
      HandlePageAction(frame);
      break;
    case FrameType::kPong:
      AnswerRendererPing(frame.IntAt(0));
      break;
    case FrameType::kTestResult:
    case FrameType::kTestEvent: {
      std::function<void(const ChannelFrame&)> sink;
      {
        std::lock_guard<std::mutex> lock(g_sink_lock);
        sink = Sink();
      }
      if (sink)
        sink(frame);
      else
        browser->Record("RendererTestFrame", frame.frame_id, {FrameTypeName(frame.type)});
      break;
    }
    default:
      LOG(WARNING) << "CefBrowserHost: unexpected frame " << FrameTypeName(frame.type) << " from the renderer";
      break;
  }
}

void RendererRelay::HandlePageAction(const ChannelFrame& frame) {
  BrowserImpl* browser = browser_;
  std::wstring kind = frame.StringAt(0);
  std::vector<ValueData> args = ListItems(frame.At(1));
  CefRefPtr<FrameImpl> source = browser->FindFrame(frame.frame_id);
  if (!source)
    source = browser->main_frame();
  if (kind == kPageActionOpenWindow) {
    PopupRequest popup;
    popup.url = ItemString(args, 0);
    popup.frame_name = ItemString(args, 1);
    popup.disposition = static_cast<cef_window_open_disposition_t>(ItemInt(args, 2));
    popup.user_gesture = ItemBool(args, 3);
    OpenPopup(browser, source, popup);
  } else if (kind == kPageActionOpenUrl) {
    OpenUrlFromTab(browser, source, ItemString(args, 0), static_cast<cef_window_open_disposition_t>(ItemInt(args, 1)),
                   ItemBool(args, 2));
  } else if (kind == kPageActionNavigate) {
    NavigationRequest request;
    request.url = ItemString(args, 0);
    request.renderer_initiated = true;
    Navigate(browser, request);
  } else if (kind == kPageActionClose) {
    browser->StartClose(false, true);
  } else if (kind == kPageActionTitle) {
    browser->SetPageTitle(ItemString(args, 0));
  } else if (!GetBrowserExtras()->OnPageAction(browser, frame.frame_id, kind, frame)) {
    LOG(WARNING) << "CefBrowserHost: unknown page action \"" << WideToUtf8(kind) << "\"";
  }
}

void SetAwaitFrameReady(bool await) {
  g_await_frame_ready = await;
}

void SetRendererTestSink(std::function<void(const ChannelFrame& frame)> sink) {
  std::lock_guard<std::mutex> lock(g_sink_lock);
  Sink() = std::move(sink);
}

}  // namespace cefengine
