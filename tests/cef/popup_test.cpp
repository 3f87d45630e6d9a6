#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"

using namespace browser_test;

namespace {

TEST(Popups, OnBeforePopupTrueCancelsAndReportsThePageRequest) {
  StrictScope strict;
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  CefRefPtr<TestClient> client = new TestClient();
  client->before_popup = [](const std::string&, CefWindowInfo&, CefRefPtr<CefClient>&, CefBrowserSettings&) {
    return true;
  };
  CefRefPtr<CefBrowser> opener = CreateOnUI(Windowless(nullptr), client.get());
  ASSERT_TRUE(opener);

  ASSERT_TRUE(test::PageOpenWindow(opener, opener->GetMainFrame(), L"brivtest://pop/a.html", WOD_NEW_POPUP, true,
                                   L"target"));
  // An empty URL (window.open("")) still asks the client.
  ASSERT_TRUE(test::PageOpenWindow(opener, opener->GetMainFrame(), L"", WOD_NEW_FOREGROUND_TAB, false));
  ASSERT_TRUE(test::Quiesce());
  std::vector<std::string> asked = client->EventsStartingWith("OnBeforePopup");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], "OnBeforePopup brivtest://pop/a.html name=target disp=" + std::to_string(WOD_NEW_POPUP) +
                          " gesture js sameclient noparent");
  EXPECT_EQ(asked[1], "OnBeforePopup  name= disp=" + std::to_string(WOD_NEW_FOREGROUND_TAB) +
                          " nogesture js sameclient noparent");
  EXPECT_EQ(client->Created().size(), 1u);
  EXPECT_EQ(test::Browsers().size(), 1u);
  EXPECT_EQ(client->off_ui_calls(), 0);
  EXPECT_TRUE(strict.Messages().empty());
}

struct PopupCase {
  const char* name;
  bool windowless;
  friend std::ostream& operator<<(std::ostream& out, const PopupCase& c) { return out << c.name; }
};

class PopupCreation : public ::testing::TestWithParam<PopupCase> {};

TEST_P(PopupCreation, FollowsTheWindowInfoClientAndSettingsOnBeforePopupLeft) {
  StrictScope strict;
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  HostWindow host;
  CefRefPtr<TestClient> opener_client = new TestClient();
  CefRefPtr<TestClient> popup_client = new TestClient();
  bool windowless = GetParam().windowless;
  opener_client->before_popup = [&](const std::string&, CefWindowInfo& info, CefRefPtr<CefClient>& client,
                                    CefBrowserSettings& settings) {
    if (windowless)
      info.SetAsWindowless(host.hwnd(), true);
    else
      info = ChildOf(host.hwnd());
    client = popup_client.get();
    settings.background_color = CefColorSetARGB(255, 1, 2, 3);
    return false;
  };
  CefRefPtr<CefBrowser> opener = CreateOnUI(Windowless(host.hwnd()), opener_client.get());
  ASSERT_TRUE(opener);

  ASSERT_TRUE(test::PageOpenWindow(opener, opener->GetMainFrame(), L"", WOD_NEW_POPUP, true));
  ASSERT_TRUE(popup_client->WaitCreated(1));
  CefRefPtr<CefBrowser> popup = popup_client->CreatedAt(0);
  EXPECT_EQ(opener_client->Created().size(), 1u);  // only the opener
  EXPECT_TRUE(popup->IsPopup());
  EXPECT_EQ(popup->GetHost()->GetClient().get(), static_cast<CefClient*>(popup_client.get()));
  test::BrowserState info = test::BrowserInfo(popup);
  EXPECT_EQ(info.windowless, windowless);
  EXPECT_EQ(info.parent_window, host.hwnd());
  EXPECT_EQ(info.background_color, CefColorSetARGB(255, 1, 2, 3));
  EXPECT_EQ(info.opener_id, opener->GetIdentifier());
  EXPECT_EQ(popup->GetHost()->GetOpenerWindowHandle(), opener->GetHost()->GetWindowHandle());
  if (windowless) {
    EXPECT_EQ(popup->GetHost()->GetWindowHandle(), host.hwnd());
  } else {
    EXPECT_EQ(GetParent(popup->GetHost()->GetWindowHandle()), host.hwnd());
  }
  EXPECT_EQ(test::Browsers().size(), 2u);
  EXPECT_TRUE(strict.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Popups, PopupCreation,
                         ::testing::Values(PopupCase{"Windowed", false}, PopupCase{"Windowless", true}),
                         [](const ::testing::TestParamInfo<PopupCase>& info) { return info.param.name; });

TEST(Popups, OpenUrlFromTabTrueCancelsAndFalseNavigatesTheSourceBrowser) {
  StrictScope strict;
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  CefRefPtr<TestClient> client = new TestClient();
  // Navigations are refused so this test needs nothing served.
  client->before_browse = [](CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest>, bool) {
    return true;
  };
  CefRefPtr<CefBrowser> browser = CreateOnUI(Windowless(nullptr), client.get());
  ASSERT_TRUE(browser);

  client->open_url_from_tab_result = true;
  ASSERT_TRUE(test::PageOpenFromTab(browser, browser->GetMainFrame(), L"brivtest://tab/one", WOD_NEW_BACKGROUND_TAB,
                                    true));
  client->open_url_from_tab_result = false;
  ASSERT_TRUE(test::PageOpenFromTab(browser, browser->GetMainFrame(), L"brivtest://tab/two", WOD_NEW_FOREGROUND_TAB,
                                    false));
  ASSERT_TRUE(test::Quiesce());
  std::vector<std::string> events = client->Events();
  int first = IndexOf(events, "OnOpenURLFromTab brivtest://tab/one disp=" + std::to_string(WOD_NEW_BACKGROUND_TAB) +
                                  " gesture");
  int second = IndexOf(events, "OnOpenURLFromTab brivtest://tab/two disp=" +
                                   std::to_string(WOD_NEW_FOREGROUND_TAB) + " nogesture");
  ASSERT_GE(first, 0);
  ASSERT_GT(second, first);
  // Only the refused-by-nobody one reached the source browser's main frame; no new browser either way.
  EXPECT_EQ(client->EventsStartingWith("OnBeforeBrowse"),
            std::vector<std::string>{"OnBeforeBrowse main brivtest://tab/two"});
  EXPECT_EQ(IndexOf(events, "OnBeforeBrowse"), second + 1);
  EXPECT_EQ(client->Count("OnBeforePopup"), 0);
  EXPECT_EQ(client->Created().size(), 1u);
  EXPECT_TRUE(strict.Messages().empty());
}

TEST(Popups, DevToolsIsMadeOnceAndClosedThroughItsOwnClient) {
  StrictScope strict;
  test::BrowserHarness harness;
  ASSERT_TRUE(harness.ok());
  CefRefPtr<TestClient> client = new TestClient();
  CefRefPtr<TestClient> tools_client = new TestClient();
  CefRefPtr<CefBrowser> browser = CreateOnUI(Windowless(nullptr), client.get());
  ASSERT_TRUE(browser);
  CefWindowInfo tools_info;
  tools_info.SetAsPopup(nullptr, "DevTools");

  browser->GetHost()->ShowDevTools(tools_info, tools_client.get(), CefBrowserSettings(), CefPoint());
  ASSERT_TRUE(tools_client->WaitCreated(1));
  browser->GetHost()->ShowDevTools(tools_info, tools_client.get(), CefBrowserSettings(), CefPoint(5, 5));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(tools_client->Created().size(), 1u);
  CefRefPtr<CefBrowser> tools = tools_client->CreatedAt(0);
  EXPECT_EQ(test::BrowserInfo(browser).devtools_id, tools->GetIdentifier());
  EXPECT_TRUE(test::BrowserInfo(tools).is_devtools);
  EXPECT_EQ(client->Created().size(), 1u);
  EXPECT_EQ(client->Count("OnBeforePopup"), 0);

  browser->GetHost()->CloseDevTools();
  ASSERT_TRUE(tools_client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(tools_client->Count("DoClose"), 1);
  EXPECT_EQ(test::BrowserInfo(browser).devtools_id, 0);
  EXPECT_EQ(client->Count("OnBeforeClose"), 0);

  // A new one may be opened afterwards, and it goes with the browser it inspects.
  browser->GetHost()->ShowDevTools(tools_info, tools_client.get(), CefBrowserSettings(), CefPoint());
  ASSERT_TRUE(tools_client->WaitCreated(2));
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(tools_client->Count("OnBeforeClose"), 2);
  EXPECT_TRUE(test::Browsers().empty());
  EXPECT_TRUE(strict.Messages().empty());
}

}  // namespace
