#include <windows.h>

#include <gtest/gtest.h>

#include "browser_test_support.h"
#include "engine/resource_loader.h"
#include "include/cef_scheme.h"
#include "include/cef_stream.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "testing/network_testing.h"

using namespace browser_test;
using cefengine::ChannelFrame;
using cefengine::FrameType;

namespace {

const char kIndex[] =
    "<html><head><title>Hello  &amp; welcome</title></head><body>"
    "<iframe name=\"a\" src=\"a.html\"></iframe><iframe name=\"b\" src=\"http://nav.test/b.html\"></iframe>"
    "</body></html>";
const char kFrameA[] = "<html><body><iframe src=\"c.html\"></iframe></body></html>";

// Serves "brivtest://..." documents from memory, as an application's archive scheme would.
class MemoryFactory : public CefSchemeHandlerFactory {
 public:
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override {
    static const char kPage[] = "<html><title>Archive page</title></html>";
    CefRefPtr<CefStreamReader> reader =
        CefStreamReader::CreateForData(const_cast<char*>(kPage), sizeof(kPage) - 1);
    return new CefStreamResourceHandler("text/html", reader);
  }
  IMPLEMENT_REFCOUNTING(MemoryFactory);
};

class NavigationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(harness_.ok());
    test::ResetNetwork();
    client_ = new TestClient();
  }
  void TearDown() override {
    test::ResetNetwork();
    EXPECT_TRUE(strict_.Messages().empty()) << strict_.Messages().front();
  }

  void Serve(const std::string& url, int status, const std::string& body) {
    test::SetHttpResponse(CefString(url).ToWString(), status, L"text/html", body);
  }
  // A windowless browser with nothing loaded yet.
  CefRefPtr<CefBrowser> Browser() { return CreateOnUI(Windowless(nullptr), client_.get()); }
  // Loads `url` in `browser` and waits until loading ended.
  bool LoadAndWait(CefRefPtr<CefBrowser> browser, const std::string& url) {
    int before = client_->Count("OnLoadingStateChange false");
    browser->GetMainFrame()->LoadURL(url);
    return client_->WaitEvent("OnLoadingStateChange false", before + 1);
  }

  StrictScope strict_;  // every navigation here uses the API as documented
  test::BrowserHarness harness_;
  CefRefPtr<TestClient> client_;
};

TEST_F(NavigationTest, SuccessfulLoadReportsFramesDepthFirstBeforeTheMainFrameEnds) {
  Serve("http://nav.test/index.html", 200, kIndex);
  Serve("http://nav.test/a.html", 200, kFrameA);
  Serve("http://nav.test/c.html", 200, "<html><title>c</title></html>");
  Serve("http://nav.test/b.html", 500, "<html>server error</html>");
  ASSERT_TRUE(CefBrowserHost::CreateBrowser(Windowless(nullptr), client_.get(), "http://nav.test/index.html",
                                            CefBrowserSettings(), nullptr));
  ASSERT_TRUE(client_->WaitEvent("OnLoadingStateChange false"));
  CefRefPtr<CefBrowser> browser = client_->CreatedAt(0);
  std::vector<std::string> expected = {
      "OnAfterCreated " + std::to_string(browser->GetIdentifier()),
      "OnBeforeBrowse main http://nav.test/index.html",
      "OnLoadingStateChange true",
      "OnAddressChange main http://nav.test/index.html",
      "OnLoadStart main",
      "OnTitleChange Hello & welcome",
      "OnBeforeBrowse sub:a http://nav.test/a.html",
      "OnAddressChange sub:a http://nav.test/a.html",
      "OnLoadStart sub:a",
      "OnBeforeBrowse sub: http://nav.test/c.html",
      "OnAddressChange sub: http://nav.test/c.html",
      "OnLoadStart sub:",
      "OnLoadEnd sub: 200",
      "OnLoadEnd sub:a 200",
      "OnBeforeBrowse sub:b http://nav.test/b.html",
      "OnAddressChange sub:b http://nav.test/b.html",
      "OnLoadStart sub:b",
      "OnLoadEnd sub:b 500",
      "OnLoadEnd main 200",
      "OnLoadingStateChange false",
  };
  EXPECT_EQ(client_->Events(), expected);
  EXPECT_EQ(client_->off_ui_calls(), 0);

  // The frame tree as the client sees it.
  EXPECT_TRUE(browser->HasDocument());
  EXPECT_FALSE(browser->IsLoading());
  EXPECT_EQ(browser->GetFrameCount(), 4u);
  CefRefPtr<CefFrame> a = browser->GetFrame("a");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->GetURL().ToString(), "http://nav.test/a.html");
  EXPECT_TRUE(a->GetParent()->IsMain());
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "http://nav.test/index.html");
  EXPECT_EQ(test::BrowserInfo(browser).title, L"Hello & welcome");

  // The renderer heard a commit for each frame, parents first.
  std::vector<ChannelFrame> commits;
  for (const auto& frame : test::SentToRenderer(browser))
    if (frame.type == FrameType::kCommit)
      commits.push_back(frame);
  ASSERT_EQ(commits.size(), 4u);
  EXPECT_EQ(commits[0].frame_id, browser->GetMainFrame()->GetIdentifier());
  EXPECT_EQ(commits[0].DoubleAt(0), 0.0);
  EXPECT_EQ(commits[0].StringAt(2), L"http://nav.test/index.html");
  EXPECT_TRUE(commits[0].BoolAt(3));
  EXPECT_EQ(commits[0].StringAt(4), L"Hello & welcome");
  EXPECT_EQ(commits[1].frame_id, a->GetIdentifier());
  EXPECT_EQ(commits[1].DoubleAt(0), static_cast<double>(browser->GetMainFrame()->GetIdentifier()));
  EXPECT_EQ(commits[1].StringAt(1), L"a");
  EXPECT_FALSE(commits[1].BoolAt(3));
  EXPECT_EQ(commits[2].DoubleAt(0), static_cast<double>(a->GetIdentifier()));

  // The next document replaces the frames: the old ones are invalid and the renderer hears they went.
  Serve("http://nav.test/next.html", 200, "<html></html>");
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/next.html"));
  EXPECT_FALSE(a->IsValid());
  EXPECT_FALSE(browser->GetFrame(a->GetIdentifier()));
  EXPECT_EQ(browser->GetFrameCount(), 1u);
  EXPECT_TRUE(browser->GetMainFrame()->IsValid());
  int gone = 0;
  for (const auto& frame : test::SentToRenderer(browser))
    gone += frame.type == FrameType::kFrameGone ? 1 : 0;
  EXPECT_EQ(gone, 3);
  // Without a <title> the title is the URL.
  EXPECT_EQ(test::BrowserInfo(browser).title, L"http://nav.test/next.html");
}

struct StatusCase {
  const char* name;
  const char* url;
  int status;
  const char* title;
  friend std::ostream& operator<<(std::ostream& out, const StatusCase& c) { return out << c.name; }
};

class NavigationStatus : public NavigationTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(NavigationStatus, MainFrameEndsWithTheSchemesStatus) {
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("brivtest", "", new MemoryFactory()));
  Serve("http://nav.test/missing.html", 404, "<html><title>Not here</title></html>");
  CefRefPtr<CefBrowser> browser = Browser();
  ASSERT_TRUE(LoadAndWait(browser, GetParam().url));
  EXPECT_EQ(client_->EventsStartingWith("OnLoadEnd"),
            std::vector<std::string>{"OnLoadEnd main " + std::to_string(GetParam().status)});
  EXPECT_EQ(client_->EventsStartingWith("OnTitleChange"),
            std::vector<std::string>{std::string("OnTitleChange ") + GetParam().title});
  EXPECT_EQ(client_->Count("OnLoadError"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Navigation, NavigationStatus,
    ::testing::Values(StatusCase{"CustomScheme", "brivtest://archive/page.html", 0, "Archive page"},
                      StatusCase{"HttpNotFound", "http://nav.test/missing.html", 404, "Not here"},
                      StatusCase{"AboutBlank", "about:blank", 0, "about:blank"}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return info.param.name; });

struct FailureCase {
  const char* name;
  const char* url;
  cef_errorcode_t code;
  friend std::ostream& operator<<(std::ostream& out, const FailureCase& c) { return out << c.name; }
};

class NavigationFailure : public NavigationTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(NavigationFailure, ReportsTheErrorWithTheFailedUrlAndNoLoadStartOrEnd) {
  CefRefPtr<CefBrowser> browser = Browser();
  client_->ClearEvents();
  std::string url = GetParam().url;
  ASSERT_TRUE(LoadAndWait(browser, url));
  std::string code = std::to_string(GetParam().code);
  std::vector<std::string> events = client_->Events();
  std::vector<std::string> expected = {
      "OnBeforeBrowse main " + url,
      "OnLoadingStateChange true",
      "OnAddressChange main " + url,
      // During the call the frame shows the failed URL.
      "OnLoadError main " + code + " " + CefString(cefengine::ErrorCodeText(GetParam().code)).ToString() + " " +
          url + " frame-url=" + url,
      "OnLoadingStateChange false",
  };
  EXPECT_EQ(events, expected);
  EXPECT_FALSE(browser->HasDocument());
}

INSTANTIATE_TEST_SUITE_P(
    Navigation, NavigationFailure,
    ::testing::Values(FailureCase{"Offline", "http://unknown.nav.test/", ERR_NAME_NOT_RESOLVED},
                      FailureCase{"UnknownScheme", "vivodov:open", ERR_UNKNOWN_URL_SCHEME},
                      FailureCase{"MissingFile", "file:///C:/no/such/file.html", ERR_FILE_NOT_FOUND}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(NavigationTest, OnBeforeBrowseTrueCancelsSilently) {
  Serve("http://nav.test/blocked.html", 200, "<html></html>");
  client_->before_browse = [](CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest>, bool) {
    return true;
  };
  CefRefPtr<CefBrowser> browser = Browser();
  client_->ClearEvents();
  browser->GetMainFrame()->LoadURL("http://nav.test/blocked.html");
  ASSERT_TRUE(client_->WaitEvent("OnBeforeBrowse"));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client_->Events(), std::vector<std::string>{"OnBeforeBrowse main http://nav.test/blocked.html"});
  EXPECT_FALSE(browser->IsLoading());
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "");
}

TEST_F(NavigationTest, RedirectsAskOnBeforeBrowseAgain) {
  CefResponse::HeaderMap moved;
  moved.insert(std::make_pair(CefString("Location"), CefString("http://nav.test/new.html")));
  test::SetHttpResponse(L"http://nav.test/old.html", 302, L"text/html", "", moved);
  Serve("http://nav.test/new.html", 200, "<html><title>new</title></html>");
  CefRefPtr<CefBrowser> browser = Browser();

  // Allowed: the document is the redirect's target.
  client_->ClearEvents();
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/old.html"));
  std::vector<std::string> events = client_->Events();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0], "OnBeforeBrowse main http://nav.test/old.html");
  EXPECT_EQ(events[1], "OnLoadingStateChange true");
  EXPECT_EQ(events[2], "OnBeforeBrowse main http://nav.test/new.html redirect");
  EXPECT_EQ(events[3], "OnAddressChange main http://nav.test/new.html");
  EXPECT_EQ(test::BrowserInfo(browser).history, std::vector<std::wstring>{L"http://nav.test/new.html"});

  // Refused: the load ends without a document or an error.
  client_->before_browse = [](CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest>, bool redirect) {
    return redirect;
  };
  client_->ClearEvents();
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/old.html"));
  EXPECT_EQ(client_->Events(), (std::vector<std::string>{
                                   "OnBeforeBrowse main http://nav.test/old.html",
                                   "OnLoadingStateChange true",
                                   "OnBeforeBrowse main http://nav.test/new.html redirect",
                                   "OnLoadingStateChange false",
                               }));
  EXPECT_EQ(test::BrowserInfo(browser).history.size(), 1u);
}

TEST_F(NavigationTest, StopLoadAndANewNavigationAbortThePendingOne) {
  Serve("http://nav.test/1.html", 200, "<html></html>");
  Serve("http://nav.test/2.html", 200, "<html></html>");
  Serve("http://nav.test/3.html", 200, "<html><title>three</title></html>");
  CefRefPtr<CefBrowser> browser = Browser();
  test::HoldLoads(true);
  client_->ClearEvents();
  std::string aborted = std::to_string(ERR_ABORTED) + " net::ERR_ABORTED ";

  browser->GetMainFrame()->LoadURL("http://nav.test/1.html");
  ASSERT_TRUE(test::WaitFor([] { return test::HeldLoads().size() == 1; }));
  EXPECT_TRUE(browser->IsLoading());
  browser->StopLoad();
  ASSERT_TRUE(client_->WaitEvent("OnLoadingStateChange false"));
  EXPECT_EQ(client_->Events(), (std::vector<std::string>{
                                   "OnBeforeBrowse main http://nav.test/1.html",
                                   "OnLoadingStateChange true",
                                   "OnLoadError main " + aborted + "http://nav.test/1.html frame-url=http://nav.test/1.html",
                                   "OnLoadingStateChange false",
                               }));
  // The page did not change.
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "");
  test::ReleaseAll();
  test::HoldLoads(true);
  client_->ClearEvents();

  browser->GetMainFrame()->LoadURL("http://nav.test/2.html");
  ASSERT_TRUE(test::WaitFor([] { return test::HeldLoads().size() == 1; }));
  browser->GetMainFrame()->LoadURL("http://nav.test/3.html");
  ASSERT_TRUE(client_->WaitEvent("OnLoadError"));
  test::HoldLoads(false);
  ASSERT_TRUE(client_->WaitEvent("OnLoadingStateChange false"));
  std::vector<std::string> events = client_->Events();
  EXPECT_EQ(events, (std::vector<std::string>{
                        "OnBeforeBrowse main http://nav.test/2.html",
                        "OnLoadingStateChange true",
                        "OnBeforeBrowse main http://nav.test/3.html",
                        "OnLoadError main " + aborted + "http://nav.test/2.html frame-url=http://nav.test/2.html",
                        "OnAddressChange main http://nav.test/3.html",
                        "OnLoadStart main",
                        "OnTitleChange three",
                        "OnLoadEnd main 200",
                        "OnLoadingStateChange false",
                    }));
}

TEST_F(NavigationTest, HistoryGoesBackAndForwardAndForgetsForwardEntriesOnANewLoad) {
  for (const char* page : {"http://nav.test/p1", "http://nav.test/p2", "http://nav.test/p3", "http://nav.test/p4"})
    Serve(page, 200, "<html></html>");
  CefRefPtr<CefBrowser> browser = Browser();
  EXPECT_FALSE(browser->CanGoBack());
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/p1"));
  EXPECT_FALSE(browser->CanGoBack());
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/p2"));
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/p3"));
  EXPECT_TRUE(browser->CanGoBack());
  EXPECT_FALSE(browser->CanGoForward());

  auto step = [&](bool back) {
    int before = client_->Count("OnLoadingStateChange false");
    if (back)
      browser->GoBack();
    else
      browser->GoForward();
    return client_->WaitEvent("OnLoadingStateChange false", before + 1);
  };
  ASSERT_TRUE(step(true));
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "http://nav.test/p2");
  EXPECT_TRUE(browser->CanGoBack());
  EXPECT_TRUE(browser->CanGoForward());
  EXPECT_EQ(client_->Events().back(), "OnLoadingStateChange false back forward");
  ASSERT_TRUE(step(false));
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "http://nav.test/p3");
  ASSERT_TRUE(step(true));
  ASSERT_TRUE(step(true));
  EXPECT_EQ(browser->GetMainFrame()->GetURL().ToString(), "http://nav.test/p1");
  EXPECT_FALSE(browser->CanGoBack());
  EXPECT_TRUE(browser->CanGoForward());

  // Going back at the first entry does nothing.
  int loads = client_->Count("OnBeforeBrowse");
  browser->GoBack();
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client_->Count("OnBeforeBrowse"), loads);

  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/p4"));
  EXPECT_TRUE(browser->CanGoBack());
  EXPECT_FALSE(browser->CanGoForward());
  test::BrowserState info = test::BrowserInfo(browser);
  EXPECT_EQ(info.history, (std::vector<std::wstring>{L"http://nav.test/p1", L"http://nav.test/p4"}));
  EXPECT_EQ(info.history_index, 1);

  // Reload keeps the entry.
  int before = client_->Count("OnLoadingStateChange false");
  browser->Reload();
  ASSERT_TRUE(client_->WaitEvent("OnLoadingStateChange false", before + 1));
  EXPECT_EQ(test::BrowserInfo(browser).history.size(), 2u);
}

TEST_F(NavigationTest, LoadWaitsForTheRendererAndDeliversItsMessagesFirst) {
  harness_.AwaitFrameReady(true);
  Serve("http://nav.test/outer.html", 200, "<html><iframe src=\"inner.html\"></iframe></html>");
  Serve("http://nav.test/inner.html", 200, "<html></html>");
  CefRefPtr<CefBrowser> browser = Browser();
  int64 main_id = browser->GetMainFrame()->GetIdentifier();
  browser->GetMainFrame()->LoadURL("http://nav.test/outer.html");
  ASSERT_TRUE(client_->WaitEvent("OnLoadStart main"));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client_->Count("OnBeforeBrowse sub:"), 0);  // nothing goes on before the main frame is set up

  // A message the page sends while its context is set up reaches the client before the load ends.
  ASSERT_TRUE(harness_.Inject(browser, "FromPage", CefListValue::Create()));
  ASSERT_TRUE(client_->WaitEvent("Message FromPage"));
  ASSERT_TRUE(harness_.FrameReady(browser, main_id));
  ASSERT_TRUE(client_->WaitEvent("OnLoadStart sub:"));
  ASSERT_TRUE(test::Quiesce());
  EXPECT_EQ(client_->Count("OnLoadEnd"), 0);

  std::vector<int64> ids;
  browser->GetFrameIdentifiers(ids);
  ASSERT_EQ(ids.size(), 2u);
  ASSERT_TRUE(harness_.FrameReady(browser, ids[1]));
  ASSERT_TRUE(client_->WaitEvent("OnLoadingStateChange false"));
  std::vector<std::string> events = client_->Events();
  EXPECT_LT(IndexOf(events, "Message FromPage"), IndexOf(events, "OnLoadEnd main"));
  EXPECT_LT(IndexOf(events, "OnLoadEnd sub:"), IndexOf(events, "OnLoadEnd main"));
}

TEST_F(NavigationTest, ARendererThatDiesDuringSetUpDoesNotStopTheLoad) {
  harness_.AwaitFrameReady(true);
  Serve("http://nav.test/crash.html", 200, "<html><title>crash</title></html>");
  CefRefPtr<CefBrowser> browser = Browser();
  browser->GetMainFrame()->LoadURL("http://nav.test/crash.html");
  ASSERT_TRUE(client_->WaitEvent("OnLoadStart main"));
  ASSERT_TRUE(harness_.Crash(browser, TS_PROCESS_CRASHED));
  ASSERT_TRUE(client_->WaitEvent("OnLoadingStateChange false"));
  std::vector<std::string> events = client_->Events();
  int terminated = IndexOf(events, "OnRenderProcessTerminated " + std::to_string(TS_PROCESS_CRASHED));
  ASSERT_GE(terminated, 0);
  EXPECT_LT(terminated, IndexOf(events, "OnLoadEnd main 200"));

  // The next navigation gets a new renderer, which hears of the browser first.
  harness_.AwaitFrameReady(false);
  size_t before = test::SentToRenderer(browser).size();
  ASSERT_TRUE(LoadAndWait(browser, "http://nav.test/crash.html"));
  std::vector<ChannelFrame> sent = test::SentToRenderer(browser);
  ASSERT_GT(sent.size(), before);
  EXPECT_EQ(sent[before].type, FrameType::kBrowserCreated);
}

}  // namespace
