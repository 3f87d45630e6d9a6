// The renderer application: how it hands CEF's callbacks to its delegates, and the host window it
// records and checks at the end of the renderer process.
// Sockets before <windows.h>: the loopback server needs winsock2.
#include <winsock2.h>

#include "render/client_app_renderer.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "product/kiv_statistic.h"
#include "tests/channel/log_capture.h"
#include "tests/product/loopback_http_server.h"

namespace {

using client::ClientAppRenderer;

// Records each call as "<label> <operation>" and answers as configured.
class FakeDelegate : public ClientAppRenderer::Delegate {
 public:
  FakeDelegate(std::string label, std::vector<std::string>* calls, const LogCapture* log = nullptr)
      : label_(std::move(label)), calls_(calls), log_(log) {}

  CefRefPtr<CefLoadHandler> load_handler;
  bool navigation_answer = false;
  bool message_answer = false;
  ClientAppRenderer* seen_app = nullptr;
  // The number of "render recv browser destory" lines in the log when each release reached us.
  std::vector<size_t> destroy_lines_seen;

  void OnRenderThreadCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefListValue> extra_info) override {
    Note(app, "OnRenderThreadCreated");
  }
  void OnWebKitInitialized(CefRefPtr<ClientAppRenderer> app) override { Note(app, "OnWebKitInitialized"); }
  void OnBrowserCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser) override {
    Note(app, "OnBrowserCreated");
  }
  void OnBrowserDestroyed(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser) override {
    Note(app, "OnBrowserDestroyed");
    SeeDestroyLines();
  }
  CefRefPtr<CefLoadHandler> GetLoadHandler(CefRefPtr<ClientAppRenderer> app) override {
    Note(app, "GetLoadHandler");
    return load_handler;
  }
  bool OnBeforeNavigation(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                          CefRefPtr<CefRequest> request, cef_navigation_type_t navigation_type,
                          bool is_redirect) override {
    Note(app, "OnBeforeNavigation");
    return navigation_answer;
  }
  void OnContextCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    Note(app, "OnContextCreated");
  }
  void OnContextReleased(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override {
    Note(app, "OnContextReleased");
    SeeDestroyLines();
  }
  void OnUncaughtException(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                           CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context,
                           CefRefPtr<CefV8Exception> exception, CefRefPtr<CefV8StackTrace> stack_trace) override {
    Note(app, "OnUncaughtException");
  }
  void OnFocusedNodeChanged(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                            CefRefPtr<CefFrame> frame, CefRefPtr<CefDOMNode> node) override {
    Note(app, "OnFocusedNodeChanged");
  }
  bool OnProcessMessageReceived(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                CefProcessId source_process, CefRefPtr<CefProcessMessage> message) override {
    Note(app, "OnProcessMessageReceived");
    return message_answer;
  }

 private:
  void Note(CefRefPtr<ClientAppRenderer> app, const char* operation) {
    seen_app = app.get();
    calls_->push_back(label_ + " " + operation);
  }
  void SeeDestroyLines() {
    if (log_)
      destroy_lines_seen.push_back(log_->Count(L"render recv browser destory"));
  }

  std::string label_;
  std::vector<std::string>* calls_;
  const LogCapture* log_;
  IMPLEMENT_REFCOUNTING(FakeDelegate);
};

class FakeLoadHandler : public CefLoadHandler {
  IMPLEMENT_REFCOUNTING(FakeLoadHandler);
};

// A renderer application with two recording delegates in place of the product's.
class TwoFakes : public ClientAppRenderer {
 public:
  TwoFakes(CefRefPtr<FakeDelegate> a, CefRefPtr<FakeDelegate> b) : ClientAppRenderer(Set(a, b)) {
    // The order the application visits them in: by address.
    for (const CefRefPtr<Delegate>& delegate : Set(a, b))
      order.push_back(static_cast<FakeDelegate*>(delegate.get()));
  }
  std::vector<FakeDelegate*> order;

 private:
  static DelegateSet Set(CefRefPtr<FakeDelegate> a, CefRefPtr<FakeDelegate> b) {
    DelegateSet set;
    set.insert(a.get());
    set.insert(b.get());
    return set;
  }
};

CefRefPtr<CefProcessMessage> Message(const std::string& name, const std::vector<int>& ints = {},
                                     const std::vector<std::string>& texts = {}) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
  CefRefPtr<CefListValue> list = message->GetArgumentList();
  size_t index = 0;
  for (int value : ints)
    list->SetInt(index++, value);
  for (const std::string& text : texts)
    list->SetString(index++, text);
  return message;
}

class Fanout : public ::testing::Test {
 protected:
  std::vector<std::string> calls_;
  CefRefPtr<FakeDelegate> a_ = new FakeDelegate("a", &calls_);
  CefRefPtr<FakeDelegate> b_ = new FakeDelegate("b", &calls_);
  CefRefPtr<TwoFakes> app_ = new TwoFakes(a_, b_);

  std::string First() const { return app_->order[0] == a_.get() ? "a" : "b"; }
  std::string Second() const { return app_->order[0] == a_.get() ? "b" : "a"; }
  FakeDelegate* FirstDelegate() const { return app_->order[0]; }
  FakeDelegate* SecondDelegate() const { return app_->order[1]; }
};

TEST_F(Fanout, EveryNotificationReachesEachDelegateInOrderWithTheApplicationFirst) {
  app_->OnRenderThreadCreated(CefListValue::Create());
  app_->OnWebKitInitialized();
  app_->OnBrowserCreated(nullptr);
  app_->OnContextCreated(nullptr, nullptr, nullptr);
  app_->OnUncaughtException(nullptr, nullptr, nullptr, nullptr, nullptr);
  app_->OnFocusedNodeChanged(nullptr, nullptr, nullptr);
  app_->OnContextReleased(nullptr, nullptr, nullptr);
  app_->OnBrowserDestroyed(nullptr);
  std::vector<std::string> expected;
  for (const char* operation : {"OnRenderThreadCreated", "OnWebKitInitialized", "OnBrowserCreated", "OnContextCreated",
                                "OnUncaughtException", "OnFocusedNodeChanged", "OnContextReleased",
                                "OnBrowserDestroyed"}) {
    expected.push_back(First() + " " + operation);
    expected.push_back(Second() + " " + operation);
  }
  EXPECT_EQ(calls_, expected);
  EXPECT_EQ(a_->seen_app, app_.get());
  EXPECT_EQ(b_->seen_app, app_.get());
  EXPECT_EQ(app_->GetRenderProcessHandler().get(), app_.get());
}

TEST_F(Fanout, AskingStopsAtTheFirstAnswer) {
  CefRefPtr<CefLoadHandler> first_handler = new FakeLoadHandler();
  CefRefPtr<CefLoadHandler> second_handler = new FakeLoadHandler();
  struct Case {
    bool first_answers, second_answers;
  } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
  for (const Case& c : cases) {
    FirstDelegate()->load_handler = c.first_answers ? first_handler : nullptr;
    SecondDelegate()->load_handler = c.second_answers ? second_handler : nullptr;
    FirstDelegate()->navigation_answer = FirstDelegate()->message_answer = c.first_answers;
    SecondDelegate()->navigation_answer = SecondDelegate()->message_answer = c.second_answers;
    const bool any = c.first_answers || c.second_answers;
    calls_.clear();
    CefRefPtr<CefLoadHandler> handler = app_->GetLoadHandler();
    EXPECT_EQ(handler.get(), c.first_answers ? first_handler.get() : c.second_answers ? second_handler.get() : nullptr);
    EXPECT_EQ(app_->OnBeforeNavigation(nullptr, nullptr, nullptr, NAVIGATION_LINK_CLICKED, false), any);
    EXPECT_EQ(app_->OnProcessMessageReceived(nullptr, PID_BROWSER, Message("Any.Message")), any);
    std::vector<std::string> expected;
    for (const char* operation : {"GetLoadHandler", "OnBeforeNavigation", "OnProcessMessageReceived"}) {
      expected.push_back(First() + " " + operation);
      if (!c.first_answers)
        expected.push_back(Second() + " " + operation);
    }
    EXPECT_EQ(calls_, expected) << c.first_answers << c.second_answers;
  }
}

TEST(RendererDelegates, TheProductsTwoNeitherLoadNorStopNavigation) {
  CefRefPtr<ClientAppRenderer> app = new ClientAppRenderer();
  EXPECT_FALSE(app->GetLoadHandler());
  EXPECT_FALSE(app->OnBeforeNavigation(nullptr, nullptr, nullptr, NAVIGATION_OTHER, true));
  EXPECT_FALSE(app->OnProcessMessageReceived(nullptr, PID_BROWSER, Message("Unknown.Message")));
}

// A window whose handle stays invalid after the test destroys it.
HWND NewWindow() {
  return CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, GetModuleHandleW(nullptr),
                         nullptr);
}
int WireHandle(HWND window) {
  return static_cast<int>(reinterpret_cast<INT_PTR>(window));
}

class HostWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = NewWindow();
    HWND doomed = NewWindow();
    ASSERT_TRUE(live_ && doomed);
    gone_ = WireHandle(doomed);
    DestroyWindow(doomed);
    CKivStatistic* statistic = GetKivStatistic();
    ASSERT_NE(statistic, nullptr);
    ASSERT_TRUE(statistic->Init(0, L"brivelo", (server_.Base() + L"/s.gif?a={action}").c_str()));
    ASSERT_TRUE(statistic->Impl());
    ASSERT_LE(statistic->Impl()->GetBucket(), 100u) << "a stored bucket above 100 suppresses every report";
  }
  void TearDown() override { DestroyWindow(live_); }

  // The host window message reaches the application.
  bool Receive(CefRefPtr<ClientAppRenderer> app, const std::vector<int>& ints, const std::vector<std::string>& texts) {
    return app->OnProcessMessageReceived(nullptr, PID_BROWSER, Message("Browser.Host.Window.Handle", ints, texts));
  }

  HWND live_ = nullptr;
  int gone_ = 0;
  LoopbackHttpServer server_;
};

TEST_F(HostWindow, TheCheckPassesWithoutARecordOrWithALiveWindowAndReportsAGoneOne) {
  LogCapture log;
  struct Case {
    std::vector<int> ints;
    std::vector<std::string> texts;
    bool valid;
    const char* report;  // the request the statistics server sees, or null
  } cases[] = {
      {{}, {}, true, nullptr},                             // nothing received
      {{gone_}, {}, true, nullptr},                        // one entry: ignored
      {{WireHandle(live_)}, {"Brivelo"}, true, nullptr},
      {{0}, {"Brivelo"}, true, nullptr},                   // the browser named no window
      {{gone_}, {"a b", "extra"}, false, "/s.gif?a=browser_non&ex1=a%20b"},
      {{gone_}, {""}, false, "/s.gif?a=browser_non&ex1="},
      {{gone_}, {"K-1_.!~*'()"}, false, "/s.gif?a=browser_non&ex1=K-1_.!~*'()"},
  };
  for (const Case& c : cases) {
    CefRefPtr<ClientAppRenderer> app = new ClientAppRenderer();
    const size_t before = server_.Targets().size();
    if (!c.ints.empty()) {
      EXPECT_FALSE(Receive(app, c.ints, c.texts));
    }
    EXPECT_EQ(app->IsHostWindowValid(), c.valid) << c.texts.size();
    std::vector<std::string> targets = server_.Targets();
    ASSERT_EQ(targets.size(), before + (c.report ? 1 : 0));
    if (c.report) {
      EXPECT_EQ(targets.back(), c.report);
    }
  }
  EXPECT_EQ(log.Count(L"render recv browser_host_window_handle:"), 5u);
  wchar_t line[96];
  _snwprintf(line, 95, L"render recv browser_host_window_handle:0x%x, value=%d, class=a b", gone_, gone_);
  EXPECT_EQ(log.Count(line), 1u);
}

TEST_F(HostWindow, TheRecordIsKeptWhenADelegateTookTheMessage) {
  std::vector<std::string> calls;
  CefRefPtr<FakeDelegate> a = new FakeDelegate("a", &calls);
  CefRefPtr<FakeDelegate> b = new FakeDelegate("b", &calls);
  a->message_answer = b->message_answer = true;
  CefRefPtr<TwoFakes> app = new TwoFakes(a, b);
  EXPECT_TRUE(Receive(app.get(), {gone_}, {"cls"}));
  EXPECT_FALSE(app->IsHostWindowValid());
  EXPECT_EQ(server_.Targets(), std::vector<std::string>{"/s.gif?a=browser_non&ex1=cls"});
}

TEST_F(HostWindow, AReleasedContextOrBrowserClearsTheRecordBeforeTheDelegatesRun) {
  LogCapture log;
  std::vector<std::string> calls;
  CefRefPtr<FakeDelegate> a = new FakeDelegate("a", &calls, &log);
  CefRefPtr<FakeDelegate> b = new FakeDelegate("b", &calls, &log);
  CefRefPtr<TwoFakes> app = new TwoFakes(a, b);
  Receive(app.get(), {gone_}, {"cls"});
  app->OnContextReleased(nullptr, nullptr, nullptr);
  EXPECT_TRUE(app->IsHostWindowValid());
  Receive(app.get(), {gone_}, {"cls"});
  app->OnBrowserDestroyed(nullptr);
  EXPECT_TRUE(app->IsHostWindowValid());
  // A later message records the window again.
  Receive(app.get(), {gone_}, {"cls"});
  EXPECT_FALSE(app->IsHostWindowValid());
  EXPECT_EQ(server_.Targets().size(), 1u);
  // One line per call, written before either delegate heard of it.
  EXPECT_EQ(a->destroy_lines_seen, (std::vector<size_t>{1, 2}));
  EXPECT_EQ(b->destroy_lines_seen, (std::vector<size_t>{1, 2}));
}

}  // namespace
