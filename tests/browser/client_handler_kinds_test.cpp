// The two concrete client handlers: reference counting on any thread, the off-screen handler's
// forwarding of the engine's render calls to the off-screen window, the order of its life-span
// calls, and what a navigation does to pending page queries of each kind.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/client_handler_osr.h"
#include "browser/client_handler_std.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/cef/wrapper_fakes.h"

using namespace browser_doubles;

namespace {

// The off-screen window as the handler sees it: records each call ("<slot> <browser id>
// @<thread>") and answers with fixed values.
class RecordingOsrDelegate : public client::ClientHandlerOsr::OsrDelegate, public EventLog {
 public:
  // Whose browser count OnAfterCreated and OnBeforeClose record.
  client::ClientHandler* handler = nullptr;

  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    Add(Call("OnAfterCreated", browser) + " count=" + std::to_string(handler ? handler->GetBrowserCount() : -1));
  }
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override {
    Add(Call("OnBeforeClose", browser) + " count=" + std::to_string(handler ? handler->GetBrowserCount() : -1));
  }
  bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override {
    Add(Call("GetRootScreenRect", browser));
    rect = CefRect(1, 2, 300, 400);
    return true;
  }
  bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override {
    Add(Call("GetViewRect", browser));
    rect = CefRect(0, 0, 120, 60);
    return true;
  }
  bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX, int& screenY) override {
    Add(Call("GetScreenPoint", browser) + " " + std::to_string(viewX) + "," + std::to_string(viewY));
    screenX = viewX + 1000;
    screenY = viewY + 2000;
    return true;
  }
  bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) override {
    Add(Call("GetScreenInfo", browser));
    screen_info.device_scale_factor = 2.0f;
    return true;
  }
  void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) override {
    Add(Call("OnPopupShow", browser) + (show ? " true" : " false"));
  }
  void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) override {
    Add(Call("OnPopupSize", browser) + " " + std::to_string(rect.width));
  }
  void OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
               const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width, int height) override {
    Add(Call("OnPaint", browser) + " " + std::to_string(type) + " " + std::to_string(width) + "x" +
        std::to_string(height) + (buffer ? "" : " null"));
  }
  void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, cef_cursor_type_t type,
                      const CefCursorInfo& custom_cursor_info) override {
    Add(Call("OnCursorChange", browser) + " " + std::to_string(type));
  }
  bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                     cef_drag_operations_mask_t allowed_ops, int x, int y) override {
    Add(Call("StartDragging", browser) + " " + std::to_string(allowed_ops) + " " + std::to_string(x) + "," +
        std::to_string(y));
    return true;
  }
  void UpdateDragCursor(CefRefPtr<CefBrowser> browser, cef_drag_operations_mask_t operation) override {
    Add(Call("UpdateDragCursor", browser) + " " + std::to_string(operation));
  }

 private:
  static std::string Call(const char* slot, CefRefPtr<CefBrowser> browser) {
    return std::string(slot) + " " + std::to_string(browser ? browser->GetIdentifier() : 0) + " @" + ThreadTag();
  }
};

// Calls every render-handler operation once with fixed arguments; the answers as text.
std::string CallEveryRenderOperation(CefRefPtr<CefRenderHandler> render, CefRefPtr<CefBrowser> browser) {
  std::string answers;
  auto flag = [&](bool value) { answers += value ? "T" : "F"; };
  CefRect rect;
  flag(render->GetRootScreenRect(browser, rect));
  answers += std::to_string(rect.y) + " ";
  rect = CefRect();
  flag(render->GetViewRect(browser, rect));
  answers += std::to_string(rect.width) + " ";
  int sx = -1, sy = -1;
  flag(render->GetScreenPoint(browser, 3, 4, sx, sy));
  answers += std::to_string(sx) + "," + std::to_string(sy) + " ";
  CefScreenInfo info;
  flag(render->GetScreenInfo(browser, info));
  answers += std::to_string(static_cast<int>(info.device_scale_factor)) + " ";
  render->OnPopupShow(browser, true);
  render->OnPopupSize(browser, CefRect(0, 0, 33, 44));
  const uint32_t pixel = 0;
  render->OnPaint(browser, PET_POPUP, CefRenderHandler::RectList{CefRect(0, 0, 1, 1)}, &pixel, 1, 1);
  render->OnCursorChange(browser, nullptr, CT_HAND, CefCursorInfo());
  flag(render->StartDragging(browser, CefDragData::Create(), DRAG_OPERATION_COPY, 5, 6));
  render->UpdateDragCursor(browser, DRAG_OPERATION_MOVE);
  return answers;
}

class HandlerKinds : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(engine_.ok()); }
  void TearDown() override {
    engine_.ExpectNoMisuse();
  }

  RecordingHandlerDelegate delegate_;
  RecordingOsrDelegate osr_delegate_;
  EngineFixture engine_;
};

TEST_F(HandlerKinds, TheOffScreenHandlerForwardsEveryRenderCallWhileItsWindowIsAttached) {
  CefRefPtr<client::ClientHandlerOsr> handler =
      new client::ClientHandlerOsr(&delegate_, &osr_delegate_, "http://start.test/");
  CefRefPtr<wrapper_fakes::FakeBrowser> browser = new wrapper_fakes::FakeBrowser(77, 770);
  std::string answers;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { answers = CallEveryRenderOperation(handler.get(), browser.get()); }));
  EXPECT_EQ(answers, "T2 T120 T1003,2004 T2 T");
  EXPECT_EQ(osr_delegate_.Events(),
            (std::vector<std::string>{"GetRootScreenRect 77 @UI", "GetViewRect 77 @UI", "GetScreenPoint 77 @UI 3,4",
                                      "GetScreenInfo 77 @UI", "OnPopupShow 77 @UI true", "OnPopupSize 77 @UI 33",
                                      "OnPaint 77 @UI 1 1x1", "OnCursorChange 77 @UI " + std::to_string(CT_HAND),
                                      "StartDragging 77 @UI " + std::to_string(DRAG_OPERATION_COPY) + " 5,6",
                                      "UpdateDragCursor 77 @UI " + std::to_string(DRAG_OPERATION_MOVE)}));

  // Detached on UI: at once, and nothing reaches the window any more.
  osr_delegate_.Clear();
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    handler->DetachOsrDelegate();
    answers = CallEveryRenderOperation(handler.get(), browser.get());
  }));
  EXPECT_EQ(answers, "F0 F0 F-1,-1 F0 F");
  EXPECT_TRUE(osr_delegate_.Events().empty());
}

TEST_F(HandlerKinds, DetachingFromTheMainThreadTakesEffectWhenTheUIThreadGetsToIt) {
  CefRefPtr<client::ClientHandlerOsr> handler =
      new client::ClientHandlerOsr(&delegate_, &osr_delegate_, "http://start.test/");
  CefRefPtr<wrapper_fakes::FakeBrowser> browser = new wrapper_fakes::FakeBrowser(5, 50);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<int> before{-1};
  std::atomic<int> after{-1};
  // A UI task queued before the detach still finds the window attached.
  struct Probe {
    static void Run(HANDLE release, CefRefPtr<client::ClientHandlerOsr> handler, CefRefPtr<CefBrowser> browser,
                    std::atomic<int>* seen) {
      WaitForSingleObject(release, 5000);
      CefRect rect;
      *seen = handler->GetViewRect(browser, rect) ? 1 : 0;
    }
  };
  ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&Probe::Run, release, handler, CefRefPtr<CefBrowser>(browser.get()),
                                             &before)));
  handler->DetachOsrDelegate();  // the test thread is the main thread
  SetEvent(release);
  ASSERT_TRUE(test::Flush(TID_UI));
  ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&Probe::Run, release, handler, CefRefPtr<CefBrowser>(browser.get()),
                                             &after)));
  ASSERT_TRUE(test::Flush(TID_UI));
  CloseHandle(release);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 0);
}

TEST_F(HandlerKinds, TheOffScreenWindowHearsCreationAndCloseBeforeTheSharedHandling) {
  CefRefPtr<client::ClientHandlerOsr> handler =
      new client::ClientHandlerOsr(&delegate_, &osr_delegate_, "http://start.test/");
  osr_delegate_.handler = handler.get();
  CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
  ASSERT_TRUE(browser);
  ASSERT_TRUE(delegate_.WaitFor("OnBrowserCreated"));
  // The engine asks a windowless browser's render handler for its geometry and paints through it.
  EXPECT_EQ(browser->GetHost()->GetClient()->GetRenderHandler().get(), static_cast<CefRenderHandler*>(handler.get()));
  browser->GetMainFrame()->LoadURL("about:blank");
  ASSERT_TRUE(delegate_.WaitFor("OnLoadEnd"));
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser).painted; }));
  // The view rect and scale factor came from the off-screen window.
  EXPECT_EQ(test::LastPaint(browser).width, 240);
  EXPECT_EQ(test::LastPaint(browser).height, 120);

  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(delegate_.WaitFor("OnBrowserClosed"));
  const std::string id = std::to_string(browser->GetIdentifier());
  EXPECT_EQ(osr_delegate_.StartingWith("OnAfterCreated"), std::vector<std::string>{"OnAfterCreated " + id + " @UI count=0"});
  EXPECT_EQ(osr_delegate_.StartingWith("OnBeforeClose"), std::vector<std::string>{"OnBeforeClose " + id + " @UI count=1"});
  EXPECT_GE(osr_delegate_.Count("GetViewRect " + id + " @UI"), 1);
  EXPECT_GE(osr_delegate_.Count("OnPaint " + id + " @UI 0 240x120"), 1);
  EXPECT_EQ(handler->GetBrowserCount(), 0);
}

// Records the thread its last reference went on (when given where to).
template <typename Handler>
class TrackedHandler : public Handler {
 public:
  template <typename... Args>
  explicit TrackedHandler(std::string* destroyed_on, Args... args) : Handler(args...), destroyed_on_(destroyed_on) {}
  using Handler::message_router;

 protected:
  ~TrackedHandler() override {
    if (destroyed_on_) *destroyed_on_ = ThreadTag();
  }

 private:
  std::string* destroyed_on_;
};

TEST_F(HandlerKinds, TheLastReferenceDeletesTheHandlerOnWhicheverThreadDropsIt) {
  std::string std_destroyed, osr_destroyed;
  CefRefPtr<client::ClientHandler> windowed =
      new TrackedHandler<client::ClientHandlerStd>(&std_destroyed, &delegate_, std::string("http://a.test/"));
  CefRefPtr<client::ClientHandler> offscreen = new TrackedHandler<client::ClientHandlerOsr>(
      &osr_destroyed, &delegate_, &osr_delegate_, std::string("http://a.test/"));
  EXPECT_FALSE(windowed->GetRenderHandler());
  EXPECT_EQ(offscreen->GetRenderHandler().get(), static_cast<CefRenderHandler*>(
                                                      static_cast<client::ClientHandlerOsr*>(offscreen.get())));
  // GetRenderHandler's reference is gone again.
  EXPECT_TRUE(windowed->HasOneRef());
  EXPECT_TRUE(offscreen->HasOneRef());
  CefRefPtr<client::ClientHandler> second = windowed;
  EXPECT_FALSE(windowed->HasOneRef());
  second = nullptr;

  ASSERT_TRUE(test::RunOn(TID_IO, [&] {
    windowed = nullptr;
    offscreen = nullptr;
  }));
  EXPECT_EQ(std_destroyed, "IO");
  EXPECT_EQ(osr_destroyed, "IO");
}

// Holds every query it gets and notes its cancellation.
class HoldingQueryHandler : public CefMessageRouterBrowserSide::Handler {
 public:
  bool OnQuery(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id, const CefString& request,
               bool persistent, CefRefPtr<Callback> callback) override {
    ++held;
    return true;
  }
  void OnQueryCanceled(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id) override {
    ++canceled;
  }
  std::atomic<int> held{0};
  std::atomic<int> canceled{0};
};

template <typename Handler, typename... Args>
int CancelledByNavigation(EngineFixture& engine, RecordingHandlerDelegate& delegate, Args... args) {
  // The engine keeps the handler until its browser closes, after this function.
  CefRefPtr<TrackedHandler<Handler>> handler = new TrackedHandler<Handler>(nullptr, args...);
  CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
  EXPECT_TRUE(browser);
  HoldingQueryHandler holder;
  EXPECT_TRUE(test::RunOn(TID_UI, [&] { handler->message_router()->AddHandler(&holder, true); }));
  EXPECT_TRUE(engine.harness().Inject(browser, "cefQueryMsg", RouterQueryArgs(browser, 1, "wait")));
  EXPECT_TRUE(test::WaitFor([&] { return holder.held == 1; }));

  const int before = delegate.Count("OnLoadEnd main");
  browser->GetMainFrame()->LoadURL("about:blank");
  EXPECT_TRUE(delegate.WaitFor("OnLoadEnd main", before + 1));
  const int canceled = holder.canceled;
  EXPECT_TRUE(test::RunOn(TID_UI, [&] { handler->message_router()->RemoveHandler(&holder); }));
  return canceled;
}

TEST_F(HandlerKinds, ANavigationEndsPendingPageQueriesOfWindowedViewsOnly) {
  EXPECT_EQ(CancelledByNavigation<client::ClientHandlerStd>(engine_, delegate_, &delegate_,
                                                            std::string("http://a.test/")),
            1);
  EXPECT_EQ(CancelledByNavigation<client::ClientHandlerOsr>(engine_, delegate_, &delegate_, &osr_delegate_,
                                                            std::string("http://a.test/")),
            0);
}

}  // namespace
