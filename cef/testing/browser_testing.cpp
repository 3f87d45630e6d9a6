#include "testing/browser_testing.h"

#include "engine/browser_impl.h"
#include "engine/browser_registry.h"
#include "engine/frame_impl.h"
#include "engine/navigation.h"
#include "engine/renderer_link.h"
#include "engine/renderer_relay.h"
#include "testing/cefengine_testing.h"

namespace cefengine {
namespace test {

namespace {

// Longest wait for a browser's renderer link to appear before a frame is injected.
const int kLinkWaitMs = 5000;

BrowserImpl* ImplOf(CefRefPtr<CefBrowser> browser) {
  return browser ? dynamic_cast<BrowserImpl*>(browser.get()) : nullptr;
}

// Runs `fn` with the browser on UI while it is open. False when it is not.
bool OnUIWithBrowser(CefRefPtr<CefBrowser> browser, std::function<void(BrowserImpl*)> fn) {
  CefRefPtr<BrowserImpl> impl = ImplOf(browser);
  if (!impl || impl->IsDestroyed())
    return false;
  bool ran = false;
  bool done = RunOn(TID_UI, [&]() {
    if (impl->IsDestroyed() || impl->IsClosing())
      return;
    ran = true;
    fn(impl.get());
  });
  return done && ran;
}

CefRefPtr<FrameImpl> FrameOf(BrowserImpl* browser, CefRefPtr<CefFrame> frame) {
  CefRefPtr<FrameImpl> found = frame ? browser->FindFrame(frame->GetIdentifier()) : nullptr;
  return found ? found : browser->main_frame();
}

}  // namespace

BrowserHarness::BrowserHarness(CefRefPtr<CefApp> app, const CefSettings* settings) {
  SetRendererMode(RendererMode::kRecording);
  CefSettings defaults;
  defaults.multi_threaded_message_loop = 1;
  defaults.windowless_rendering_enabled = 1;
  defaults.log_severity = LOGSEVERITY_DISABLE;
  ok_ = CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings ? *settings : defaults, app, nullptr);
}

BrowserHarness::~BrowserHarness() {
  Shutdown();
  SetAwaitFrameReady(false);
  ResetRecordedLinks();
  ResetRendererMode();
}

void BrowserHarness::Shutdown() {
  if (ok_)
    CefShutdown();
  ok_ = false;
}

void BrowserHarness::AwaitFrameReady(bool await) {
  SetAwaitFrameReady(await);
}

bool BrowserHarness::InjectFrame(const ChannelFrame& frame) {
  return WaitFor([&]() { return InjectRendererFrame(frame); }, kLinkWaitMs);
}

bool BrowserHarness::Inject(CefRefPtr<CefBrowser> browser, const std::string& name, CefRefPtr<CefListValue> args) {
  return test::Inject(browser, name, args);
}

bool BrowserHarness::Hello(CefRefPtr<CefBrowser> browser, int process_id, const std::wstring& command_line) {
  return browser && InjectFrame(MakeFrame(FrameType::kHello, browser->GetIdentifier(), 0,
                                          {MakeInt(process_id), MakeString(command_line)}));
}

bool BrowserHarness::FrameReady(CefRefPtr<CefBrowser> browser, int64 frame_id) {
  return browser && InjectFrame(MakeFrame(FrameType::kFrameReady, browser->GetIdentifier(), frame_id));
}

bool BrowserHarness::PageAction(CefRefPtr<CefBrowser> browser, int64 frame_id, const std::wstring& kind,
                                std::vector<ValueData> args) {
  return browser && InjectFrame(MakeFrame(FrameType::kPageAction, browser->GetIdentifier(), frame_id,
                                          {MakeString(kind), MakeListValue(std::move(args))}));
}

bool BrowserHarness::Crash(CefRefPtr<CefBrowser> browser, cef_termination_status_t status) {
  BrowserImpl* impl = ImplOf(browser);
  if (!impl || impl->IsDestroyed() || impl->relay()->IsTerminated())
    return false;
  int id = browser->GetIdentifier();
  return WaitFor([&]() { return TerminateRecordedRenderer(id, status); }, kLinkWaitMs);
}

std::vector<ChannelFrame> BrowserHarness::TakeSentToRenderer(CefRefPtr<CefBrowser> browser) {
  return browser ? RecordedFrames(browser->GetIdentifier(), true) : std::vector<ChannelFrame>();
}

std::vector<CefRefPtr<CefBrowser>> Browsers() {
  std::vector<CefRefPtr<CefBrowser>> out;
  for (auto& browser : AllBrowsers())
    if (!browser->IsDestroyed())
      out.push_back(browser.get());
  return out;
}

BrowserState BrowserInfo(CefRefPtr<CefBrowser> browser) {
  BrowserState state;
  BrowserImpl* impl = ImplOf(browser);
  if (!impl)
    return state;
  PageState page = impl->page_state();
  state.known = true;
  state.id = impl->id();
  state.url = page.url;
  state.title = page.title;
  state.loading = page.loading;
  state.has_document = page.has_document;
  state.history = page.history;
  state.history_index = page.history_index;
  state.hwnd = impl->hwnd();
  state.parent_window = impl->parent_window();
  state.windowless = impl->windowless();
  state.hidden = impl->hidden();
  state.focus_state = page.focus_state;
  state.is_popup = impl->is_popup();
  state.is_devtools = impl->is_devtools();
  if (CefRefPtr<BrowserImpl> opener = impl->opener())
    state.opener_id = opener->id();
  RunOn(TID_UI, [&]() {
    if (CefRefPtr<BrowserImpl> devtools = impl->devtools())
      state.devtools_id = devtools->id();
  });
  state.closing = impl->IsClosing();
  state.closed = impl->IsDestroyed();
  const CefBrowserSettings& settings = impl->settings();
  state.background_color = settings.background_color;
  state.accept_language = CefString(&settings.accept_language_list).ToWString();
  state.windowless_frame_rate = settings.windowless_frame_rate;
  state.minimum_font_size = settings.minimum_font_size;
  state.minimum_logical_font_size = settings.minimum_logical_font_size;
  state.request_context = impl->GetRequestContext();
  return state;
}

std::vector<ChannelFrame> SentToRenderer(CefRefPtr<CefBrowser> browser) {
  return browser ? RecordedFrames(browser->GetIdentifier(), false) : std::vector<ChannelFrame>();
}

std::vector<std::pair<std::string, CefRefPtr<CefListValue>>> MessagesSentToRenderer(CefRefPtr<CefBrowser> browser) {
  std::vector<std::pair<std::string, CefRefPtr<CefListValue>>> out;
  std::vector<ChannelFrame> frames = SentToRenderer(browser);
  if (browser) {
    std::vector<ChannelFrame> live = FramesToRenderer(browser->GetIdentifier(), false);
    frames.insert(frames.end(), live.begin(), live.end());
  }
  for (const ChannelFrame& frame : frames) {
    if (frame.type != FrameType::kProcessMessage)
      continue;
    const ValueData* args = frame.At(1);
    std::shared_ptr<ListData> data =
        args && args->type == VTYPE_LIST && args->list ? args->list : std::make_shared<ListData>();
    out.emplace_back(CefString(frame.StringAt(0)).ToString(), new ListValueImpl(data, false, true));
  }
  return out;
}

bool Inject(CefRefPtr<CefBrowser> browser, const std::string& name, CefRefPtr<CefListValue> args) {
  BrowserImpl* impl = ImplOf(browser);
  if (!impl || impl->IsDestroyed())
    return false;
  ValueData list;
  list.type = VTYPE_LIST;
  list.list = std::make_shared<ListData>();
  if (auto* impl = args ? dynamic_cast<ListValueImpl*>(args.get()) : nullptr) {
    list.list = impl->data();
    list = CopyValue(list);
  }
  ChannelFrame frame = MakeFrame(FrameType::kRendererMessage, browser->GetIdentifier(), 0,
                                 {MakeString(CefString(name).ToWString()), list});
  return WaitFor([&]() { return InjectRendererFrame(frame) || InjectIntoLiveLink(frame); }, kLinkWaitMs);
}

bool PageNavigate(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const std::wstring& url) {
  return OnUIWithBrowser(browser, [&](BrowserImpl* impl) {
    impl->Record("PageNavigate", FrameOf(impl, frame)->id(), {CefString(url).ToString()});
    NavigationRequest request;
    request.url = url;
    request.renderer_initiated = true;
    Navigate(impl, request);
  });
}

bool PageOpenWindow(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const std::wstring& url,
                    cef_window_open_disposition_t disposition, bool user_gesture, const std::wstring& frame_name,
                    const CefPopupFeatures& features) {
  return OnUIWithBrowser(browser, [&](BrowserImpl* impl) {
    PopupRequest request;
    request.url = url;
    request.frame_name = frame_name;
    request.disposition = disposition;
    request.user_gesture = user_gesture;
    request.features = features;
    (void)OpenPopup(impl, FrameOf(impl, frame), request);
  });
}

bool PageOpenFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const std::wstring& url,
                     cef_window_open_disposition_t disposition, bool user_gesture) {
  return OnUIWithBrowser(browser, [&](BrowserImpl* impl) {
    OpenUrlFromTab(impl, FrameOf(impl, frame), url, disposition, user_gesture);
  });
}

bool PageClose(CefRefPtr<CefBrowser> browser) {
  return OnUIWithBrowser(browser, [&](BrowserImpl* impl) {
    impl->Record("PageClose");
    impl->StartClose(false, true);
  });
}

bool PageSetTitle(CefRefPtr<CefBrowser> browser, const std::wstring& title) {
  return OnUIWithBrowser(browser, [&](BrowserImpl* impl) { impl->SetPageTitle(title); });
}

}  // namespace test
}  // namespace cefengine
