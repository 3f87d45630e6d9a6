// The browser end of the script bridge, played through the engine: messages a renderer sends
// become host events (queued from the UI thread), position requests move an off-screen view's
// window, drag areas go to the off-screen window, the rest goes to the message router.
#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/client_handler_osr.h"
#include "browser/client_handler_std.h"
#include "browser/drag_area_message.h"
#include "render/process_messages.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/channel/failing_allocation.h"
#include "tests/channel/log_capture.h"

using namespace browser_doubles;

namespace {

const int32 kViewId = 0x0300;

// A list of process-message arguments: ints and strings in order.
struct Arg {
  Arg(int v) : is_int(true), i(v) {}
  Arg(const char* v) : is_int(false), s(v) {}
  bool is_int;
  int i = 0;
  std::string s;
};
CefRefPtr<CefListValue> Args(const std::vector<Arg>& items) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].is_int)
      list->SetInt(i, items[i].i);
    else
      list->SetString(i, items[i].s);
  }
  return list;
}

// The decoded items of a host event, blank-separated.
std::string Describe(const std::vector<client::PayloadItem>& items) {
  std::string out;
  for (const client::PayloadItem& item : items) {
    if (!out.empty()) out += ' ';
    if (!item.present)
      out += '-';
    else if (item.kind == 's')
      out += '"' + CefString(item.text).ToString() + '"';
    else
      out += std::to_string(item.number);
  }
  return out;
}

// A borderless window of the test thread: what a position request moves, and the receiver of
// drag-area lists ("<null>" for a null list).
class TestWindow {
 public:
  TestWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &TestWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RelayTestWindow";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, L"RelayTestWindow", L"", WS_POPUP | WS_VISIBLE, 50, 60, 200, 150, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TestWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

  RECT Rect() const {
    RECT rect = {};
    GetWindowRect(hwnd_, &rect);
    return rect;
  }
  void Reset() { SetWindowPos(hwnd_, nullptr, 50, 60, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE); }
  std::vector<std::string> DragLists() {
    std::lock_guard<std::mutex> hold(mutex_);
    return drag_lists_;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == client::DragAreaListWindowMessage()) {
      auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      const wchar_t* text = reinterpret_cast<const wchar_t*>(lparam);
      std::lock_guard<std::mutex> hold(self->mutex_);
      self->drag_lists_.push_back(std::to_string(wparam) + " " + (text ? CefString(text).ToString() : "<null>"));
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;
  std::mutex mutex_;
  std::vector<std::string> drag_lists_;
};

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class RendererRelay : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    delegate_.web_view_id = kViewId;
    delegate_.parent_window = window_.hwnd();
  }
  void TearDown() override {
    engine_.ExpectNoMisuse();
  }

  // A windowless browser (its window is the test window) served by handler.
  CefRefPtr<CefBrowser> Create(CefRefPtr<client::ClientHandler> handler) {
    handler_ = handler;
    CefRefPtr<CefBrowser> browser =
        browser_test::CreateOnUI(browser_test::Windowless(window_.hwnd()), handler_.get());
    EXPECT_TRUE(browser);
    return browser;
  }
  CefRefPtr<CefBrowser> CreateOsr() {
    return Create(new client::ClientHandlerOsr(&delegate_, nullptr, "http://start.test/"));
  }
  CefRefPtr<CefBrowser> CreateStd() { return Create(new client::ClientHandlerStd(&delegate_, "http://start.test/")); }

  // Plays a renderer message and waits until the handler has taken it on UI.
  void Inject(CefRefPtr<CefBrowser> browser, const std::string& name, CefRefPtr<CefListValue> args) {
    const size_t before = JournalArgs("OnProcessMessageReceived", browser->GetIdentifier()).size();
    ASSERT_TRUE(engine_.harness().Inject(browser, name, args));
    ASSERT_TRUE(test::WaitFor(
        [&] { return JournalArgs("OnProcessMessageReceived", browser->GetIdentifier()).size() > before; }));
    ASSERT_TRUE(test::Flush(TID_UI));
  }
  // The one message sent to the host since the last call, as "<code> <items>".
  std::string TakeHostEvent() {
    std::vector<TestMainContext::Sent> sent = engine_.context().SentMessages();
    engine_.context().Clear();
    test::ClearJournal();
    if (sent.size() != 1) return "sent " + std::to_string(sent.size());
    const IPC::Message& m = sent[0].message;
    EXPECT_EQ(m.GetRouting(), kRoutingIdHost);
    EXPECT_EQ(m.GetFlags() & 0xFF, client::kHostMessagePriority);
    EXPECT_EQ(client::ViewOfType(m.GetType()), static_cast<uint32_t>(delegate_.web_view_id));
    EXPECT_FALSE(sent[0].sync);
    EXPECT_EQ(sent[0].thread, "UI");
    const client::HostEvent code = static_cast<client::HostEvent>(client::CodeOfType(m.GetType()));
    const client::ProtocolEntry* entry = client::FindHostEvent(code);
    if (!entry) return "unknown " + std::to_string(code);
    return std::to_string(code) + " " + Describe(client::DecodePayload(m, entry->layout));
  }

  RecordingHandlerDelegate delegate_;
  TestWindow window_;
  EngineFixture engine_;
  CefRefPtr<client::ClientHandler> handler_;
};

TEST_F(RendererRelay, ScriptCallsAndResultsBecomeHostEvents) {
  CefRefPtr<CefBrowser> browser = CreateStd();
  struct Case {
    const char* name;
    std::vector<Arg> args;
    const char* event;
  } cases[] = {
      {client::process_message::kCallHost, {7, "Pay", "cb1", "a1", "a2"}, "10 7 \"Pay\" \"cb1\" \"a1\" \"a2\""},
      {client::process_message::kCallHost, {0, "Notify", ""}, "10 0 \"Notify\" \"\""},
      {client::process_message::kCallHost, {-1, "Pay", "cb"}, "10 -1 \"Pay\" \"cb\""},
      // Mistyped arguments read as empty texts and 0.
      {client::process_message::kCallHost, {"7", 5, "cb", 9}, "10 0 \"\" \"cb\" \"\""},
      {client::process_message::kCallHost, {7, "Pay"}, "sent 0"},
      {client::process_message::kCallResult, {12, 2, "done"}, "11 12 2 \"done\""},
      {client::process_message::kCallResult, {-1, 0, "x"}, "11 -1 0 \"x\""},
      {client::process_message::kCallResult, {}, "11 0 0 \"\""},
      {client::process_message::kSetBrowserPos, {"{1,2,3,4}"}, "12 \"{1,2,3,4}\""},
      {client::process_message::kSetBrowserPos, {}, "12 \"\""},
  };
  for (const Case& c : cases) {
    Inject(browser, c.name, Args(c.args));
    EXPECT_EQ(TakeHostEvent(), c.event) << c.name << " with " << c.args.size() << " arguments";
    EXPECT_TRUE(JournalArgs("ProcessMessageUnhandled", browser->GetIdentifier()).empty());
  }
}

TEST_F(RendererRelay, AViewWithoutDelegateAddressesItsEventsToView0) {
  CefRefPtr<CefBrowser> browser = Create(new client::ClientHandlerStd(nullptr, "http://start.test/"));
  delegate_.web_view_id = 0;
  Inject(browser, client::process_message::kCallHost, Args({3, "m", "k"}));
  EXPECT_EQ(TakeHostEvent(), "10 3 \"m\" \"k\"");
}

TEST_F(RendererRelay, PositionRequestsOfAnOffScreenViewMoveItsWindow) {
  CefRefPtr<CefBrowser> browser = CreateOsr();
  struct Case {
    const char* text;
    RECT moved_to;
  } cases[] = {
      {"{10,20,110,220}", {10, 20, 110, 220}},
      {"{10,20,0,0}", {10, 20, 210, 170}},     // moved only
      {"{0,0,300,200}", {50, 60, 350, 260}},   // sized only: right and bottom are extents from 0
      {"{0,0,0,0}", {50, 60, 250, 210}},       // raised only
      {"10,20,110,220", {50, 60, 250, 210}},   // no braces: not read
      {"{10,20,110}", {50, 60, 250, 210}},
      {"", {50, 60, 250, 210}},
  };
  for (const Case& c : cases) {
    window_.Reset();
    Inject(browser, client::process_message::kSetBrowserPos, Args({c.text}));
    EXPECT_EQ(TakeHostEvent(), std::string("12 \"") + c.text + "\"");
    const RECT rect = window_.Rect();
    EXPECT_TRUE(SameRect(rect, c.moved_to)) << c.text << ": " << rect.left << "," << rect.top << "," << rect.right
                                            << "," << rect.bottom;
  }
}

TEST_F(RendererRelay, PositionRequestsOfAWindowedViewOnlyReachTheHost) {
  CefRefPtr<CefBrowser> browser = CreateStd();
  window_.Reset();
  Inject(browser, client::process_message::kSetBrowserPos, Args({"{10,20,110,220}"}));
  EXPECT_EQ(TakeHostEvent(), "12 \"{10,20,110,220}\"");
  EXPECT_TRUE(SameRect(window_.Rect(), RECT{50, 60, 250, 210}));
}

TEST_F(RendererRelay, DragAreasGoToTheOffScreenWindowOnly) {
  CefRefPtr<CefBrowser> osr = CreateOsr();
  Inject(osr, client::process_message::kDragAreaList, Args({"{1,2,3,4}+{5,6,7,8}"}));
  Inject(osr, client::process_message::kDragAreaList, Args({}));
  const std::string renderer = std::to_string(PID_RENDERER);
  EXPECT_EQ(window_.DragLists(), (std::vector<std::string>{renderer + " {1,2,3,4}+{5,6,7,8}", renderer + " <null>"}));
  EXPECT_TRUE(JournalArgs("ProcessMessageUnhandled", osr->GetIdentifier()).empty());

  CefRefPtr<CefBrowser> windowed = CreateStd();
  Inject(windowed, client::process_message::kDragAreaList, Args({"{9,9,9,9}"}));
  EXPECT_EQ(window_.DragLists().size(), 2u);
  EXPECT_TRUE(JournalArgs("ProcessMessageUnhandled", windowed->GetIdentifier()).empty());
  EXPECT_TRUE(engine_.context().SentMessages().empty());
}

TEST_F(RendererRelay, OtherNamesGoToTheRouterAndTheFocusNoticeIsKept) {
  CefRefPtr<CefBrowser> browser = CreateStd();
  // Names compare exactly: another letter case is not a bridge message.
  Inject(browser, "{acbf06d2-3dab-4359-8070-2f6de59a0e6a}", Args({7, "Pay", "cb"}));
  Inject(browser, "Unknown", Args({}));
  EXPECT_EQ(JournalArgs("ProcessMessageUnhandled", browser->GetIdentifier()),
            (std::vector<std::string>{"{acbf06d2-3dab-4359-8070-2f6de59a0e6a}", "Unknown"}));
  EXPECT_TRUE(engine_.context().SentMessages().empty());

  test::ClearJournal();
  CefRefPtr<CefListValue> editable = CefListValue::Create();
  editable->SetBool(0, true);
  Inject(browser, client::process_message::kFocusedNodeChanged, editable);
  EXPECT_TRUE(JournalArgs("ProcessMessageUnhandled", browser->GetIdentifier()).empty());
  bool focus = false;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { focus = handler_->focus_on_editable_field(); }));
  EXPECT_TRUE(focus);
}

// A text of `units` UTF-16 units.
std::string Text(size_t units) { return std::string(units, 'x'); }

// What a page puts into one message is limited: at the limit it is relayed, one unit above it is
// dropped with an ERROR line, and so is a message of many small texts; ordinary traffic goes on.
TEST_F(RendererRelay, MessagesCarryingMoreThanTheLimitAreDroppedAndLaterOnesStillGo) {
  CefRefPtr<CefBrowser> osr = CreateOsr();
  const size_t limit = client::ClientHandler::kMaxRelayedArgumentBytes;
  ASSERT_EQ(limit, 4u * 1024 * 1024);
  // As the host event holds the arguments: a number 8 bytes, a text 4 and 2 per unit.
  const size_t call_units = (limit - 8 - (4 + 6) - (4 + 4) - 4) / 2;  // beside 7, "Pay", "cb"
  const size_t result_units = (limit - 8 - 8 - 4) / 2;
  const size_t text_units = (limit - 4) / 2;
  struct Case {
    const char* name;
    std::vector<Arg> args;
    bool relayed;
  } cases[] = {
      {client::process_message::kCallHost, {7, "Pay", "cb", Text(call_units).c_str()}, true},
      {client::process_message::kCallHost, {7, "Pay", "cb", Text(call_units + 1).c_str()}, false},
      {client::process_message::kCallHost, {7, Text(text_units).c_str(), "cb"}, false},
      {client::process_message::kCallResult, {7, 0, Text(result_units).c_str()}, true},
      {client::process_message::kCallResult, {7, 0, Text(result_units + 1).c_str()}, false},
      {client::process_message::kSetBrowserPos, {Text(text_units).c_str()}, true},
      {client::process_message::kSetBrowserPos, {Text(text_units + 1).c_str()}, false},
      {client::process_message::kDragAreaList, {Text(text_units).c_str()}, true},
      {client::process_message::kDragAreaList, {Text(text_units + 1).c_str()}, false},
  };
  for (const Case& c : cases) {
    LogCapture log;
    const size_t drag_lists = window_.DragLists().size();
    Inject(osr, c.name, Args(c.args));
    const bool is_drag = std::string(c.name) == client::process_message::kDragAreaList;
    const size_t reached = is_drag ? window_.DragLists().size() - drag_lists : engine_.context().SentMessages().size();
    EXPECT_EQ(reached, c.relayed ? 1u : 0u) << c.name << " " << c.relayed;
    EXPECT_EQ(log.Count(L"[ERRO] ClientHandler::OnProcessMessageReceived " + CefString(c.name).ToWString() +
                        L" carries more than 4194304 bytes, dropped"),
              c.relayed ? 0u : 1u)
        << c.name;
    EXPECT_TRUE(JournalArgs("ProcessMessageUnhandled", osr->GetIdentifier()).empty());
    engine_.context().Clear();
    test::ClearJournal();
  }
  // Many small texts add up: 100,000 of 20 units each carry 4.4 MB.
  CefRefPtr<CefListValue> many = Args({7, "Pay", "cb"});
  for (size_t i = 3; i < 100003; ++i)
    many->SetString(i, Text(20));
  Inject(osr, client::process_message::kCallHost, many);
  EXPECT_TRUE(engine_.context().SentMessages().empty());

  // The page's ordinary calls still reach the host, position and drag areas their windows.
  window_.Reset();
  Inject(osr, client::process_message::kCallHost, Args({8, "Pay", "cb", "a"}));
  EXPECT_EQ(TakeHostEvent(), "10 8 \"Pay\" \"cb\" \"a\"");
  Inject(osr, client::process_message::kSetBrowserPos, Args({"{10,20,0,0}"}));
  EXPECT_EQ(TakeHostEvent(), "12 \"{10,20,0,0}\"");
  EXPECT_TRUE(SameRect(window_.Rect(), RECT{10, 20, 210, 170}));
  Inject(osr, client::process_message::kDragAreaList, Args({"{1,2,3,4}"}));
  EXPECT_EQ(window_.DragLists().back(), std::to_string(PID_RENDERER) + " {1,2,3,4}");
}

// While an instance lives, a pickle gets its first buffer (64 bytes) but can never grow.
class PickleGrowthFails {
 public:
  PickleGrowthFails() : previous_(Pickle::SetReallocFunction(&SmallOnly)) {}
  ~PickleGrowthFails() { Pickle::SetReallocFunction(previous_); }

 private:
  static void* SmallOnly(void* block, size_t bytes) { return bytes <= 64 ? realloc(block, bytes) : nullptr; }
  Pickle::ReallocFunction previous_;
};

// Running out of memory on the way to the host drops the message with an ERROR line, whether
// the event gets no buffer at all or cannot grow; the engine's thread goes on and later
// messages are relayed.
TEST_F(RendererRelay, AnEventThatCannotGetItsMemoryIsALoggedFailure) {
  CefRefPtr<CefBrowser> browser = CreateOsr();
  // Longer than the first buffer holds.
  const std::string text = Text(100);
  struct Case {
    const char* name;
    std::vector<Arg> args;
    std::string event;
  } cases[] = {
      {client::process_message::kCallHost, {7, "Pay", "cb", text.c_str()}, "10 7 \"Pay\" \"cb\" \"" + text + "\""},
      {client::process_message::kCallResult, {7, 0, text.c_str()}, "11 7 0 \"" + text + "\""},
      {client::process_message::kSetBrowserPos, {text.c_str()}, "12 \"" + text + "\""},
  };
  for (const Case& c : cases) {
    for (const bool first_buffer : {true, false}) {
      LogCapture log;
      if (first_buffer) {
        FailingPickleAllocations no_memory;
        Inject(browser, c.name, Args(c.args));
      } else {
        PickleGrowthFails no_growth;
        Inject(browser, c.name, Args(c.args));
      }
      EXPECT_TRUE(engine_.context().SentMessages().empty()) << c.name;
      EXPECT_EQ(log.Count(L"[ERRO] ClientHandler::OnProcessMessageReceived no memory for " +
                          CefString(c.name).ToWString() + L", dropped"),
                1u)
          << c.name << (first_buffer ? " without a first buffer" : " without growth");
      Inject(browser, c.name, Args(c.args));
      EXPECT_EQ(TakeHostEvent(), c.event);
    }
  }
}

}  // namespace
