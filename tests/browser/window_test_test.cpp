// The window-test query handler: which pages it answers, how it reads positions, and the window
// operations it posts to the main thread on a real top-level window.
#include "browser/window_test.h"

#include <windows.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/rect_text.h"

using namespace browser_doubles;

namespace {

TEST(WindowTestBounds, WindowsAreKeptInsideTheWorkAreaAndAtLeastAHundredPixels) {
  struct Case {
    CefRect display;
    CefRect window;
    const char* fitted;
  };
  const Case cases[] = {
      {CefRect(0, 0, 1280, 1024), CefRect(10, 20, 300, 200), "10,20 300x200"},
      {CefRect(0, 0, 1280, 1024), CefRect(10, 20, 50, 40), "10,20 100x100"},
      {CefRect(0, 0, 1280, 1024), CefRect(10, 20, 2000, 1024), "0,0 1280x1024"},  // as wide as the area: its left edge
      {CefRect(0, 40, 1280, 984), CefRect(0, 0, 300, 200), "0,40 300x200"},
      {CefRect(0, 0, 1280, 1024), CefRect(-50, -60, 300, 200), "0,0 300x200"},
      {CefRect(0, 0, 1280, 1024), CefRect(1200, 900, 300, 200), "980,824 300x200"},
      {CefRect(100, 0, 80, 60), CefRect(0, 0, 50, 50), "80,-40 100x100"},  // narrower than 100: still 100
  };
  for (const Case& c : cases) {
    CefRect window = c.window;
    client::window_test::ModifyBounds(c.display, window);
    EXPECT_EQ(RectText(window), c.fitted) << RectText(c.window) << " in " << RectText(c.display);
  }
}

// Records the query's answer.
class RecordingCallback : public CefMessageRouterBrowserSide::Callback {
 public:
  void Success(const CefString& response) override { answers.push_back("success:" + response.ToString()); }
  void Failure(int error_code, const CefString& error_message) override { answers.push_back("failure"); }
  std::vector<std::string> answers;
  IMPLEMENT_REFCOUNTING(RecordingCallback);
};

class WindowTestHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    test::SetHttpResponse(L"http://tests/window.html", 200, L"text/html", "<html></html>");
    test::SetHttpResponse(L"http://other.test/window.html", 200, L"text/html", "<html></html>");
    client::window_test::CreateMessageHandlers(handlers_);
    ASSERT_EQ(handlers_.size(), 1u);
    handler_.reset(*handlers_.begin());
    client_ = new browser_test::TestClient();
    browser_ = browser_test::CreateOnUI(browser_test::ChildOf(host_.hwnd()), client_, "http://tests/window.html");
    ASSERT_TRUE(browser_);
    ASSERT_TRUE(test::WaitFor([&] { return test::BrowserInfo(browser_).url == L"http://tests/window.html"; }));
  }
  void TearDown() override {
    if (browser_) {
      browser_->GetHost()->CloseBrowser(true);
      EXPECT_TRUE(client_->WaitEvent("OnBeforeClose"));
    }
  }

  // The handler's answer to request from the browser's main frame; then the main thread runs
  // what it posted.
  bool Query(const std::string& request, RecordingCallback* callback) {
    bool taken = false;
    EXPECT_TRUE(test::RunOn(TID_UI, [&] {
      taken = handler_->OnQuery(browser_, browser_->GetMainFrame(), 1, request, false, callback);
    }));
    engine_.loop().Drain();
    return taken;
  }
  RECT Rect() const {
    RECT rect = {};
    GetWindowRect(host_.hwnd(), &rect);
    return rect;
  }

  EngineFixture engine_;
  browser_test::HostWindow host_;
  std::set<CefMessageRouterBrowserSide::Handler*> handlers_;
  std::unique_ptr<CefMessageRouterBrowserSide::Handler> handler_;
  CefRefPtr<browser_test::TestClient> client_;
  CefRefPtr<CefBrowser> browser_;
};

TEST_F(WindowTestHandler, PositionsOfFourNumbersMoveTheRootWindowAndEveryQueryOfTheTestPagesSucceeds) {
  EXPECT_EQ(client::window_test::GetRootHwnd(browser_), host_.hwnd());
  struct Case {
    const char* request;
    const char* rect;  // afterwards
  };
  const Case cases[] = {
      {"WindowTest.Position:10,20,300,200", "10,20 300x200"},
      {"WindowTest.Position:11,21,301", "10,20 300x200"},
      {"WindowTest.Position:11,21,301,201,5", "10,20 300x200"},
      {"WindowTest.Position 30 40 350 250", "30,40 350x250"},
      {"WindowTest.Position:-20,5,400,250", "0,5 400x250"},
      {"WindowTest.Position", "0,5 400x250"},  // no parameters
      {"WindowTest.Position:", "0,5 400x250"},
      {"WindowTest.Unknown", "0,5 400x250"},
      {"WindowTest.MinimizeNow", "0,5 400x250"},
  };
  for (const Case& c : cases) {
    CefRefPtr<RecordingCallback> callback = new RecordingCallback();
    EXPECT_TRUE(Query(c.request, callback));
    EXPECT_EQ(callback->answers, std::vector<std::string>{"success:"}) << c.request;
    EXPECT_EQ(RectText(Rect()), c.rect) << c.request;
    EXPECT_FALSE(IsIconic(host_.hwnd()));
  }
}

TEST_F(WindowTestHandler, PagesOutsideTheTestPagesAreLeftToOtherHandlers) {
  test::SetHttpResponse(L"http://other.test/window.html", 200, L"text/html", "<html></html>");
  browser_->GetMainFrame()->LoadURL("http://other.test/window.html");
  ASSERT_TRUE(test::WaitFor([&] { return test::BrowserInfo(browser_).url == L"http://other.test/window.html"; }));
  CefRefPtr<RecordingCallback> callback = new RecordingCallback();
  EXPECT_FALSE(Query("WindowTest.Minimize", callback));
  EXPECT_TRUE(callback->answers.empty());
  EXPECT_FALSE(IsIconic(host_.hwnd()));
}

TEST_F(WindowTestHandler, MinimiseMaximiseAndRestoreToggleTheRootWindow) {
  CefRefPtr<RecordingCallback> callback = new RecordingCallback();
  ASSERT_TRUE(Query("WindowTest.Minimize", callback));
  EXPECT_TRUE(test::WaitFor([&] { return IsIconic(host_.hwnd()) != FALSE; }));
  // Minimised, the same query restores it (the system reports it as shown minimised).
  ASSERT_TRUE(Query("WindowTest.Minimize", callback));
  EXPECT_TRUE(test::WaitFor([&] { return !IsIconic(host_.hwnd()); }));

  ASSERT_TRUE(Query("WindowTest.Maximize", callback));
  EXPECT_TRUE(test::WaitFor([&] { return IsZoomed(host_.hwnd()) != FALSE; }));
  ASSERT_TRUE(Query("WindowTest.Maximize", callback));
  EXPECT_TRUE(test::WaitFor([&] { return !IsZoomed(host_.hwnd()); }));

  ASSERT_TRUE(Query("WindowTest.Maximize", callback));
  EXPECT_TRUE(test::WaitFor([&] { return IsZoomed(host_.hwnd()) != FALSE; }));
  ASSERT_TRUE(Query("WindowTest.Restore", callback));
  EXPECT_TRUE(test::WaitFor([&] { return !IsZoomed(host_.hwnd()) && !IsIconic(host_.hwnd()); }));

  // A minimised window given a position comes back at it.
  ASSERT_TRUE(Query("WindowTest.Minimize", callback));
  EXPECT_TRUE(test::WaitFor([&] { return IsIconic(host_.hwnd()) != FALSE; }));
  ASSERT_TRUE(Query("WindowTest.Position:50,60,320,240", callback));
  EXPECT_TRUE(test::WaitFor([&] { return !IsIconic(host_.hwnd()); }));
  EXPECT_EQ(RectText(Rect()), "50,60 320x240");
  EXPECT_EQ(callback->answers.size(), 8u);
}

}  // namespace
