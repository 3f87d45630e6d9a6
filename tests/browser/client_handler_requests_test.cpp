// The client handler's request policies through the engine's loading: the view's referrer on
// every request, pass-through of the resource manager, storage quota, the operating system's
// scheme, certificate errors, links into another tab and the reload after a renderer crash.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/client_handler_std.h"
#include "include/cef_scheme.h"
#include "include/cef_stream.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "browser/crash_reload_limit.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/channel/log_capture.h"

using namespace browser_doubles;

namespace {

const wchar_t kReferrer[] = L"http://referrer.example/from";

// Serves http://ref.test/ and records the referrer and thread of every request it serves.
class RecordingFactory : public CefSchemeHandlerFactory {
 public:
  struct Seen {
    std::string url;
    std::string referrer;
    int policy;
    std::string thread;
  };

  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override {
    const std::string url = request->GetURL().ToString();
    {
      std::lock_guard<std::mutex> hold(mutex_);
      seen_.push_back(Seen{url, request->GetReferrerURL().ToString(), request->GetReferrerPolicy(), ThreadTag()});
    }
    std::string body = "<html></html>";
    if (url == "http://ref.test/page.html")
      body = "<html><img src=\"/pic.png\"><iframe name=\"inner\" src=\"/frame.html\"></iframe></html>";
    else if (url == "http://ref.test/frame.html")
      body = "<html><img src=\"/inner.png\"></html>";
    CefRefPtr<CefStreamReader> stream =
        CefStreamReader::CreateForData(const_cast<char*>(body.data()), body.size());
    return new CefStreamResourceHandler("text/html", stream);
  }

  std::vector<Seen> Take() {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<Seen> out;
    out.swap(seen_);
    return out;
  }
  size_t Count() {
    std::lock_guard<std::mutex> hold(mutex_);
    return seen_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<Seen> seen_;
  IMPLEMENT_REFCOUNTING(RecordingFactory);
};

class RequestPolicies : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    handler_ = new client::ClientHandlerStd(&delegate_, "http://start.test/");
  }
  void TearDown() override {
    CefClearSchemeHandlerFactories();
    engine_.ExpectNoMisuse();
  }
  CefRefPtr<CefBrowser> Create(const std::string& url = std::string()) {
    CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler_.get(), url);
    EXPECT_TRUE(browser);
    EXPECT_TRUE(delegate_.WaitFor("OnBrowserCreated"));
    return browser;
  }
  void Load(CefRefPtr<CefBrowser> browser, const std::wstring& url) {
    const int before = delegate_.Count("OnSetLoadingState 0");
    browser->GetMainFrame()->LoadURL(url);
    EXPECT_TRUE(delegate_.WaitFor("OnSetLoadingState 0", before + 1));
  }

  RecordingHandlerDelegate delegate_;
  EngineFixture engine_;
  CefRefPtr<client::ClientHandler> handler_;
};

TEST_F(RequestPolicies, EveryRequestOfTheViewCarriesItsReferrer) {
  CefRefPtr<RecordingFactory> factory = new RecordingFactory();
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("http", "ref.test", factory.get()));
  CefRefPtr<CefBrowser> browser = Create();

  delegate_.referrer = kReferrer;
  Load(browser, L"http://ref.test/page.html");
  ASSERT_TRUE(test::WaitFor([&] { return factory->Count() >= 4; }));
  std::vector<RecordingFactory::Seen> seen = factory->Take();
  std::vector<std::string> urls;
  for (const RecordingFactory::Seen& s : seen) {
    urls.push_back(s.url);
    EXPECT_EQ(s.referrer, CefString(kReferrer).ToString()) << s.url;
    EXPECT_EQ(s.policy, 0) << s.url;
    EXPECT_EQ(s.thread, "IO") << s.url;
  }
  // The resource manager served none of them itself: each came to the scheme's factory.
  std::sort(urls.begin(), urls.end());
  EXPECT_EQ(urls, (std::vector<std::string>{"http://ref.test/frame.html", "http://ref.test/inner.png",
                                            "http://ref.test/page.html", "http://ref.test/pic.png"}));

  // Without a referrer the engine's own stays.
  delegate_.referrer.clear();
  Load(browser, L"http://ref.test/page.html");
  ASSERT_TRUE(test::WaitFor([&] { return factory->Count() >= 4; }));
  for (const RecordingFactory::Seen& s : factory->Take()) {
    EXPECT_EQ(s.referrer.find("referrer.example"), std::string::npos) << s.url;
    if (s.url == "http://ref.test/page.html") {
      EXPECT_EQ(s.referrer, "");
    }
  }
}

TEST_F(RequestPolicies, RequestsOfAViewWithoutDelegateAreUntouched) {
  CefRefPtr<RecordingFactory> factory = new RecordingFactory();
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("http", "ref.test", factory.get()));
  handler_ = new client::ClientHandlerStd(nullptr, "http://start.test/");
  CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler_.get(),
                                                           "http://ref.test/frame.html");
  ASSERT_TRUE(browser);
  ASSERT_TRUE(test::WaitFor([&] { return factory->Count() >= 2; }));
  for (const RecordingFactory::Seen& s : factory->Take())
    EXPECT_EQ(s.referrer.find("referrer.example"), std::string::npos) << s.url;
}

TEST_F(RequestPolicies, StorageIsGrantedUpToTwentyMebibytes) {
  CefRefPtr<CefBrowser> browser = Create();
  struct Case {
    int64 size;
    test::Outcome outcome;
  } cases[] = {
      {20971520, test::Outcome::kGranted},
      {20971521, test::Outcome::kDenied},
      {0, test::Outcome::kGranted},
      {-1, test::Outcome::kGranted},
      {INT64_MAX, test::Outcome::kDenied},
  };
  for (const Case& c : cases) {
    const int id = test::PageQuota(browser, L"http://quota.test/", c.size);
    ASSERT_NE(id, 0);
    ASSERT_TRUE(test::WaitSettled(id));
    EXPECT_EQ(test::RequestOutcome(id).outcome, c.outcome) << c.size;
  }
}

TEST_F(RequestPolicies, OnlyTheProductsSchemeIsHandedToTheOperatingSystem) {
  CefRefPtr<CefBrowser> browser = Create();
  for (const wchar_t* url : {L"vivodov:launch?id=7", L"othertool:launch", L"xvivodov:launch"})
    Load(browser, url);
  EXPECT_EQ(test::OsExecutions(), std::vector<std::wstring>{L"vivodov:launch?id=7"});
  // Only the handed-over one is not a load error for the view.
  EXPECT_EQ(delegate_.StartingWith("OnLoadError"),
            (std::vector<std::string>{"OnLoadError main -302 othertool:launch @main",
                                      "OnLoadError main -302 xvivodov:launch @main"}));
}

TEST_F(RequestPolicies, ACertificateErrorCancelsTheRequest) {
  test::SetHttpResponse(L"https://bad.test/", 200, L"text/html", "<html><title>Bad</title></html>",
                        CefResponse::HeaderMap(), ERR_CERT_DATE_INVALID);
  CefRefPtr<CefBrowser> browser = Create();
  Load(browser, L"https://bad.test/");
  EXPECT_EQ(JournalArgs("OnCertificateError", browser->GetIdentifier()).size(), 1u);
  EXPECT_EQ(delegate_.StartingWith("OnLoadError"),
            std::vector<std::string>{"OnLoadError main " + std::to_string(ERR_CERT_DATE_INVALID) +
                                     " https://bad.test/ @main"});
  EXPECT_EQ(delegate_.Count("OnSetTitle Bad"), 0);
}

TEST_F(RequestPolicies, ALinkIntoAnotherTabIsReportedAndOpensInTheViewItself) {
  test::SetHttpResponse(L"http://tab.test/next.html", 200, L"text/html", "<html></html>");
  CefRefPtr<CefBrowser> browser = Create();
  ASSERT_TRUE(test::PageOpenFromTab(browser, browser->GetMainFrame(), L"http://tab.test/next.html",
                                    WOD_NEW_BACKGROUND_TAB, true));
  ASSERT_TRUE(delegate_.WaitFor("OnOpenUrlFromTab"));
  EXPECT_EQ(delegate_.StartingWith("OnOpenUrlFromTab"),
            std::vector<std::string>{"OnOpenUrlFromTab http://tab.test/next.html " +
                                     std::to_string(WOD_NEW_BACKGROUND_TAB) + " gesture @main"});
  ASSERT_TRUE(delegate_.WaitFor("OnSetAddress http://tab.test/next.html"));
  EXPECT_EQ(test::Browsers().size(), 1u);
}

TEST(RequestPoliciesCrash, ARendererCrashReloadsThePageShownUnlessTheViewStartedOnACrash) {
  struct Case {
    const char* startup_url;
    const wchar_t* shown;  // null: nothing loaded
    std::vector<std::string> reloaded;
  } cases[] = {
      {"http://crash.test/start.html", L"http://crash.test/other.html", {"http://crash.test/other.html"}},
      {"", L"http://crash.test/other.html", {}},
      {"chrome://crash", L"http://crash.test/other.html", {}},
      {"http://crash.test/start.html", nullptr, {}},
  };
  for (const Case& c : cases) {
    RecordingHandlerDelegate delegate;
    EngineFixture engine;
    ASSERT_TRUE(engine.ok());
    test::SetHttpResponse(L"http://crash.test/other.html", 200, L"text/html", "<html></html>");
    CefRefPtr<client::ClientHandler> handler = new client::ClientHandlerStd(&delegate, c.startup_url);
    CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
    ASSERT_TRUE(browser);
    if (c.shown) {
      browser->GetMainFrame()->LoadURL(c.shown);
      ASSERT_TRUE(delegate.WaitFor("OnLoadEnd main"));
    }
    test::ClearJournal();
    ASSERT_TRUE(engine.harness().Crash(browser, TS_PROCESS_CRASHED));
    ASSERT_TRUE(test::WaitFor([&] { return !JournalArgs("OnRenderProcessTerminated", browser->GetIdentifier()).empty(); }));
    ASSERT_TRUE(test::Flush(TID_UI));
    EXPECT_EQ(JournalArgs("LoadURL", browser->GetIdentifier()), c.reloaded) << c.startup_url;
    EXPECT_TRUE(engine.StrictMessages().empty());
  }
}

// A renderer that crashes on load is reloaded at most three times a minute; the next crash
// within the minute leaves the view showing its crash, with one ERROR line.
TEST(RequestPoliciesCrash, ARendererCrashingAgainAndAgainIsReloadedAtMostThreeTimesAMinute) {
  RecordingHandlerDelegate delegate;
  EngineFixture engine;
  ASSERT_TRUE(engine.ok());
  test::SetHttpResponse(L"http://crash.test/other.html", 200, L"text/html", "<html></html>");
  CefRefPtr<client::ClientHandler> handler = new client::ClientHandlerStd(&delegate, "http://crash.test/start.html");
  CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
  ASSERT_TRUE(browser);
  browser->GetMainFrame()->LoadURL(L"http://crash.test/other.html");
  ASSERT_TRUE(delegate.WaitFor("OnLoadEnd main"));
  test::ClearJournal();
  LogCapture log;
  for (int crash = 1; crash <= 4; ++crash) {
    ASSERT_TRUE(engine.harness().Crash(browser, TS_PROCESS_CRASHED));
    ASSERT_TRUE(test::WaitFor(
        [&] { return JournalArgs("OnRenderProcessTerminated", browser->GetIdentifier()).size() == size_t(crash); }));
    ASSERT_TRUE(test::Flush(TID_UI));
  }
  EXPECT_EQ(JournalArgs("LoadURL", browser->GetIdentifier()),
            std::vector<std::string>(3, "http://crash.test/other.html"));
  EXPECT_EQ(log.Count(L"[ERRO] ClientHandler::OnRenderProcessTerminated "), 1u);
  // No renderer serves the view any more: it shows its crash.
  EXPECT_FALSE(engine.harness().Crash(browser, TS_PROCESS_CRASHED));
  EXPECT_TRUE(engine.StrictMessages().empty());
}

TEST(CrashReloadLimit, AllowsThreeReloadsInAnySixtySeconds) {
  struct Case {
    std::vector<uint64_t> crashes;  // milliseconds
    std::vector<bool> reloaded;
  } cases[] = {
      {{0, 1, 2, 3}, {true, true, true, false}},
      // The first reload leaves the window after 60 s: exactly then one more is allowed.
      {{0, 10, 20, 59999, 60000, 60001}, {true, true, true, false, true, false}},
      {{1000, 70000, 140000, 210000, 280000}, {true, true, true, true, true}},
      // A refused crash does not count as a reload.
      {{0, 1, 2, 3, 4, 60000, 60001, 60002}, {true, true, true, false, false, true, true, true}},
      // The tick count of a long-running machine.
      {{0xFFFFFFFF00000000ull, 0xFFFFFFFF00000001ull, 0xFFFFFFFF00000002ull, 0xFFFFFFFF00000003ull},
       {true, true, true, false}},
  };
  for (const Case& c : cases) {
    client::CrashReloadLimit limit;
    std::vector<bool> reloaded;
    for (uint64_t at : c.crashes)
      reloaded.push_back(limit.TryReload(at));
    EXPECT_EQ(reloaded, c.reloaded) << c.crashes.size() << " crashes";
  }
}

}  // namespace
