#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"

using namespace browser_test;

namespace {

TEST(BrowserShutdown, OpenBrowsersHearOnBeforeCloseWithoutDoClose) {
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HostWindow host;
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<CefBrowser> windowed = CreateOnUI(ChildOf(host.hwnd()), client.get());
  CefRefPtr<CefBrowser> windowless = CreateOnUI(Windowless(host.hwnd()), client.get());
  ASSERT_TRUE(windowed && windowless);
  HWND hwnd = windowed->GetHost()->GetWindowHandle();
  // Its renderer link is open before shutdown.
  ASSERT_TRUE(test::WaitFor([&]() { return !test::SentToRenderer(windowless).empty(); }));

  harness.Shutdown();
  EXPECT_EQ(client->Count("OnBeforeClose"), 2);
  EXPECT_EQ(client->Count("DoClose"), 0);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(IsWindow(host.hwnd()));
  EXPECT_TRUE(test::Browsers().empty());
  EXPECT_EQ(test::SentToRenderer(windowless).back().type, cefengine::FrameType::kBrowserDestroyed);
  EXPECT_EQ(client->off_ui_calls(), 0);
  // After shutdown the browsers refuse work.
  EXPECT_FALSE(windowless->SendProcessMessage(PID_RENDERER, CefProcessMessage::Create("x")));
}

}  // namespace
