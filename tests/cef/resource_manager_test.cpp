#include <windows.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_parser.h"
#include "include/cef_request_handler.h"
#include "include/cef_response.h"
#include "include/wrapper/cef_resource_manager.h"
#include "testing/cefengine_testing.h"
#include "wrapper_fakes.h"

namespace test = cefengine::test;
using wrapper_fakes::FakeBrowser;
using wrapper_fakes::FakeFrame;
using wrapper_fakes::FakeRequest;

namespace {

// What the providers of one test did, in order; "name:event[:detail]".
class EventLog {
 public:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(event);
    if (!CefCurrentlyOn(TID_IO))
      off_io_.push_back(event);
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  bool Has(const std::string& event) {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto& e : events_) {
      if (e == event)
        return true;
    }
    return false;
  }
  std::vector<std::string> OffIO() {
    std::lock_guard<std::mutex> hold(lock_);
    return off_io_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> events_;
  std::vector<std::string> off_io_;
};

// A provider that declines, or takes the request and keeps it for the test to answer.
class TestProvider : public CefResourceManager::Provider {
 public:
  TestProvider(const std::string& name, bool take, EventLog* log) : name_(name), take_(take), log_(log) {}
  ~TestProvider() override { log_->Add(name_ + ":deleted"); }

  bool OnRequest(scoped_refptr<CefResourceManager::Request> request) override {
    log_->Add(name_ + ":request:" + request->url());
    if (!take_)
      return false;
    std::lock_guard<std::mutex> hold(lock_);
    held_ = request;
    return true;
  }
  void OnRequestCanceled(scoped_refptr<CefResourceManager::Request> request) override {
    log_->Add(name_ + ":canceled:" + request->url());
  }
  scoped_refptr<CefResourceManager::Request> Held() {
    std::lock_guard<std::mutex> hold(lock_);
    return held_;
  }

 private:
  const std::string name_;
  const bool take_;
  EventLog* log_;
  std::mutex lock_;
  scoped_refptr<CefResourceManager::Request> held_;
};

class TestCallback : public CefRequestCallback {
 public:
  void Continue(bool allow) override {
    allowed_ = allow;
    on_io_ = CefCurrentlyOn(TID_IO);
    ++continued_;
  }
  void Cancel() override { ++canceled_; }

  std::atomic<int> continued_{0};
  std::atomic<int> canceled_{0};
  std::atomic<bool> allowed_{false};
  std::atomic<bool> on_io_{false};
  IMPLEMENT_REFCOUNTING(TestCallback);
};

class NullHandler : public CefResourceHandler {
 public:
  bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) override { return false; }
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64& response_length, CefString& redirectUrl) override {}
  bool ReadResponse(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefCallback> callback) override {
    return false;
  }
  void Cancel() override {}
  IMPLEMENT_REFCOUNTING(NullHandler);
};

class TestResponse : public CefResponse {
 public:
  bool IsReadOnly() override { return false; }
  int GetStatus() override { return status_; }
  void SetStatus(int status) override { status_ = status; }
  CefString GetStatusText() override { return status_text_; }
  void SetStatusText(const CefString& text) override { status_text_ = text; }
  CefString GetMimeType() override { return mime_type_; }
  void SetMimeType(const CefString& mime_type) override { mime_type_ = mime_type; }
  CefString GetHeader(const CefString& name) override { return CefString(); }
  void GetHeaderMap(HeaderMap& headers) override { headers.clear(); }
  void SetHeaderMap(const HeaderMap& headers) override {}

  int status_ = 0;
  CefString status_text_;
  CefString mime_type_;
  IMPLEMENT_REFCOUNTING(TestResponse);
};

class TestCefCallback : public CefCallback {
 public:
  void Continue() override { ++continued_; }
  void Cancel() override {}
  int continued_ = 0;
  IMPLEMENT_REFCOUNTING(TestCefCallback);
};

class ResourceManager : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(wrapper_fakes::StartEngine());
    manager_ = new CefResourceManager();
    browser_ = new FakeBrowser(1, 10);
  }
  void TearDown() override {
    manager_ = nullptr;
    CefShutdown();
  }

  TestProvider* Add(const std::string& name, bool take, int order) {
    TestProvider* provider = new TestProvider(name, take, &log_);
    manager_->AddProvider(provider, order, name);
    return provider;
  }

  // Offers a request on IO; the result of OnBeforeResourceLoad.
  cef_return_value_t Load(const std::string& url, uint64 id, CefRefPtr<TestCallback> callback,
                          CefRefPtr<CefFrame> frame = nullptr) {
    cef_return_value_t rv = RV_CANCEL;
    CefRefPtr<CefRequest> request = new FakeRequest(url, id);
    if (!frame)
      frame = browser_->GetMainFrame();
    EXPECT_TRUE(test::RunOn(TID_IO, [&] { rv = manager_->OnBeforeResourceLoad(browser_.get(), frame, request, callback); }));
    return rv;
  }

  CefRefPtr<CefResourceHandler> Handler(uint64 id) {
    CefRefPtr<CefResourceHandler> handler;
    CefRefPtr<CefRequest> request = new FakeRequest("http://any/", id);
    EXPECT_TRUE(test::RunOn(TID_IO, [&] {
      handler = manager_->GetResourceHandler(browser_.get(), browser_->GetMainFrame(), request);
    }));
    return handler;
  }

  scoped_refptr<CefResourceManager> manager_;
  CefRefPtr<FakeBrowser> browser_;
  EventLog log_;
};

TEST_F(ResourceManager, ProvidersAreAskedOnIOByOrderThenByInsertion) {
  Add("a", false, 10);
  Add("b", false, 0);
  Add("c", false, 10);
  Add("d", false, -5);
  // Added on IO itself: inserted at once, after the earlier ones of its order.
  ASSERT_TRUE(test::RunOn(TID_IO, [&] { manager_->AddProvider(new TestProvider("e", false, &log_), 0, "e"); }));

  CefRefPtr<TestCallback> callback = new TestCallback();
  EXPECT_EQ(Load("http://h/x.html", 1, callback), RV_CONTINUE_ASYNC);
  EXPECT_EQ(log_.Events(), (std::vector<std::string>{"d:request:http://h/x.html", "b:request:http://h/x.html",
                                                     "e:request:http://h/x.html", "a:request:http://h/x.html",
                                                     "c:request:http://h/x.html"}));
  EXPECT_TRUE(log_.OffIO().empty());
  // Nobody served it: the load goes on without a handler.
  EXPECT_EQ(callback->continued_, 1);
  EXPECT_TRUE(callback->allowed_);
  EXPECT_TRUE(callback->on_io_);
  EXPECT_FALSE(Handler(1));
}

TEST_F(ResourceManager, WithoutProvidersTheLoadStillContinuesAsynchronously) {
  CefRefPtr<TestCallback> callback = new TestCallback();
  EXPECT_EQ(Load("http://h/", 3, callback), RV_CONTINUE_ASYNC);
  EXPECT_EQ(callback->continued_, 1);
  EXPECT_FALSE(Handler(3));
}

// The first provider takes the request and answers from another thread; what happens next.
TEST_F(ResourceManager, AnswersOfTheHoldingProviderDecideTheSearch) {
  enum Answer { kHandler, kNextProvider, kStop };
  struct Case {
    const char* name;
    Answer answer;
    bool second_asked;
    bool served;
  } cases[] = {
      {"handler", kHandler, false, true},
      {"null handler", kNextProvider, true, false},
      {"stop", kStop, false, false},
  };
  uint64 id = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    manager_->RemoveAllProviders();
    TestProvider* first = Add(std::string("first-") + c.name, true, 0);
    Add(std::string("second-") + c.name, false, 1);
    CefRefPtr<TestCallback> callback = new TestCallback();
    ++id;
    ASSERT_EQ(Load("http://h/p", id, callback), RV_CONTINUE_ASYNC);
    ASSERT_TRUE(first->Held());
    EXPECT_EQ(callback->continued_, 0);  // waits for the provider

    CefRefPtr<CefResourceHandler> handler = new NullHandler();
    if (c.answer == kHandler)
      first->Held()->Continue(handler);
    else if (c.answer == kNextProvider)
      first->Held()->Continue(nullptr);
    else
      first->Held()->Stop();
    // A second answer is ignored.
    first->Held()->Continue(new NullHandler());
    ASSERT_TRUE(test::WaitFor([&] { return callback->continued_ > 0; }));
    ASSERT_TRUE(test::Flush(TID_IO));

    EXPECT_EQ(callback->continued_, 1);
    EXPECT_TRUE(callback->allowed_);
    EXPECT_TRUE(callback->on_io_);
    EXPECT_EQ(log_.Has(std::string("second-") + c.name + ":request:http://h/p"), c.second_asked);
    CefRefPtr<CefResourceHandler> served = Handler(id);
    EXPECT_EQ(served.get(), c.served ? handler.get() : nullptr);
    EXPECT_FALSE(Handler(id));  // handed out once
  }
  EXPECT_TRUE(log_.OffIO().empty());
}

TEST_F(ResourceManager, UrlFilterAndMimeTypeResolverTable) {
  TestProvider* probe = Add("probe", true, 0);
  struct Case {
    const char* url;
    const char* filtered;
  } urls[] = {
      {"http://h/a.html?x=1#f", "http://h/a.html"},
      {"http://h/a#b?c", "http://h/a"},
      {"http://h/plain", "http://h/plain"},
      {"zip://pkg/dir/y.js?", "zip://pkg/dir/y.js"},
      {"http://h/?only#", "http://h/"},
  };
  uint64 id = 0;
  for (const Case& c : urls) {
    SCOPED_TRACE(c.url);
    CefRefPtr<TestCallback> callback = new TestCallback();
    Load(c.url, ++id, callback);
    ASSERT_TRUE(probe->Held());
    EXPECT_EQ(probe->Held()->url(), c.filtered);
    EXPECT_EQ(probe->Held()->request()->GetURL().ToString(), c.url);  // the request itself is untouched
    EXPECT_EQ(probe->Held()->url_filter().Run(c.url), c.filtered);
    probe->Held()->Stop();
  }

  const CefResourceManager::MimeTypeResolver& resolver = probe->Held()->mime_type_resolver();
  EXPECT_EQ(resolver.Run("http://h/a.PNG?x=1"), CefGetMimeType("png").ToString());
  EXPECT_EQ(resolver.Run("http://h/app.js"), CefGetMimeType("js").ToString());
  EXPECT_EQ(resolver.Run("http://h/dir.v2/file"), "");
  EXPECT_EQ(resolver.Run("http://h/"), "");
  EXPECT_FALSE(CefGetMimeType("png").empty());

  // Own filter and resolver apply to later requests; null puts the defaults back.
  manager_->SetUrlFilter(CefResourceManager::UrlFilter([](const std::string& url) { return "f:" + url; }));
  manager_->SetMimeTypeResolver(CefResourceManager::MimeTypeResolver([](const std::string&) { return "x/y"; }));
  CefRefPtr<TestCallback> callback = new TestCallback();
  Load("http://h/a?q", ++id, callback);
  EXPECT_EQ(probe->Held()->url(), "f:http://h/a?q");
  EXPECT_EQ(probe->Held()->mime_type_resolver().Run("a.png"), "x/y");
  probe->Held()->Stop();
  manager_->SetUrlFilter(CefResourceManager::UrlFilter());
  Load("http://h/a?q", ++id, callback);
  EXPECT_EQ(probe->Held()->url(), "http://h/a");
  probe->Held()->Stop();
}

TEST_F(ResourceManager, ContentProviderServesItsBodyForItsUrlOnly) {
  const std::string body = "<html><title>x</title>0123456789</html>";
  manager_->AddContentProvider("http://h/page.html", body, "", 0, "content");
  manager_->AddContentProvider("http://h/data", "{}", "application/json", 0, "content");

  CefRefPtr<TestCallback> other = new TestCallback();
  Load("http://h/other.html", 1, other);
  EXPECT_EQ(other->continued_, 1);
  EXPECT_FALSE(Handler(1));

  CefRefPtr<TestCallback> callback = new TestCallback();
  Load("http://h/page.html?cache=1", 2, callback);
  ASSERT_TRUE(test::WaitFor([&] { return callback->continued_ > 0; }));
  CefRefPtr<CefResourceHandler> handler = Handler(2);
  ASSERT_TRUE(handler);

  std::string read;
  CefRefPtr<TestResponse> response = new TestResponse();
  int64 length = -1;
  ASSERT_TRUE(test::RunOn(TID_IO, [&] {
    CefRefPtr<TestCefCallback> cb = new TestCefCallback();
    ASSERT_TRUE(handler->ProcessRequest(new FakeRequest("http://h/page.html", 2), cb.get()));
    EXPECT_EQ(cb->continued_, 1);
    CefString redirect;
    handler->GetResponseHeaders(response.get(), length, redirect);
    EXPECT_TRUE(redirect.empty());
    char buffer[16];
    int n = 0;
    while (handler->ReadResponse(buffer, sizeof(buffer), n, cb.get())) {
      ASSERT_GT(n, 0);
      ASSERT_LE(n, 16);
      read.append(buffer, static_cast<size_t>(n));
    }
  }));
  EXPECT_EQ(read, body);
  EXPECT_EQ(length, static_cast<int64>(body.size()));
  EXPECT_EQ(response->status_, 200);
  EXPECT_EQ(response->mime_type_.ToString(), CefGetMimeType("html").ToString());

  CefRefPtr<TestCallback> json = new TestCallback();
  Load("http://h/data", 3, json);
  ASSERT_TRUE(test::WaitFor([&] { return json->continued_ > 0; }));
  CefRefPtr<CefResourceHandler> json_handler = Handler(3);
  ASSERT_TRUE(json_handler);
  ASSERT_TRUE(test::RunOn(TID_IO, [&] {
    int64 len = 0;
    CefString redirect;
    json_handler->GetResponseHeaders(response.get(), len, redirect);
    EXPECT_EQ(len, 2);
  }));
  EXPECT_EQ(response->mime_type_.ToString(), "application/json");
}

TEST_F(ResourceManager, RemovedProviderHearsOfItsRequestAndTheNextOneIsAsked) {
  TestProvider* holder = Add("holder", true, 0);
  Add("next", false, 5);
  Add("other", false, 7);
  CefRefPtr<TestCallback> callback = new TestCallback();
  Load("http://h/r", 1, callback);
  scoped_refptr<CefResourceManager::Request> held = holder->Held();
  ASSERT_TRUE(held);

  manager_->RemoveProviders("holder");
  ASSERT_TRUE(test::WaitFor([&] { return callback->continued_ > 0; }));
  EXPECT_EQ(log_.Events(), (std::vector<std::string>{"holder:request:http://h/r", "holder:canceled:http://h/r",
                                                     "holder:deleted", "next:request:http://h/r",
                                                     "other:request:http://h/r"}));
  EXPECT_TRUE(log_.OffIO().empty());
  // The removed provider's late answer changes nothing.
  held->Continue(new NullHandler());
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_FALSE(Handler(1));
  EXPECT_EQ(callback->continued_, 1);

  // Removing every provider while one holds a request lets the load through.
  TestProvider* second = Add("second", true, 0);
  CefRefPtr<TestCallback> callback2 = new TestCallback();
  Load("http://h/s", 2, callback2);
  ASSERT_TRUE(second->Held());
  manager_->RemoveAllProviders();
  ASSERT_TRUE(test::WaitFor([&] { return callback2->continued_ > 0; }));
  EXPECT_TRUE(log_.Has("second:canceled:http://h/s"));
  EXPECT_TRUE(log_.Has("next:deleted"));
  EXPECT_TRUE(log_.OffIO().empty());
}

TEST_F(ResourceManager, LoadThatWentAwayCancelsTheHolderAndDropsItsHandler) {
  TestProvider* holder = Add("holder", true, 0);
  CefRefPtr<FakeFrame> sub = browser_->AddFrame(11);
  CefRefPtr<TestCallback> callback = new TestCallback();
  Load("http://h/gone", 1, callback, sub.get());
  scoped_refptr<CefResourceManager::Request> held = holder->Held();
  ASSERT_TRUE(held);

  sub->Invalidate();  // the frame navigated away or its browser closed
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:canceled:http://h/gone"); }));
  held->Continue(new NullHandler());
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(callback->continued_, 0);  // nobody waits for it any more
  EXPECT_FALSE(Handler(1));

  // The engine ended the load (its request turned read-only) before the holder answered.
  CefRefPtr<FakeRequest> ended = new FakeRequest("http://h/ended", 6);
  CefRefPtr<TestCallback> ended_callback = new TestCallback();
  ASSERT_TRUE(test::RunOn(TID_IO, [&] {
    manager_->OnBeforeResourceLoad(browser_.get(), browser_->GetMainFrame(), ended.get(), ended_callback.get());
  }));
  scoped_refptr<CefResourceManager::Request> held_ended = holder->Held();
  ended->SetReadOnly(true);
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:canceled:http://h/ended"); }));
  held_ended->Continue(new NullHandler());
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(ended_callback->continued_, 0);
  EXPECT_FALSE(Handler(6));

  // Only the manager holds the load's callback (engines need not keep it): the request stays
  // the provider's.
  CefRefPtr<TestCallback> unheld = new TestCallback();
  Load("http://h/unheld", 4, unheld);
  unheld = nullptr;
  Load("http://h/next", 5, new TestCallback());  // a later request checks the pending ones
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_FALSE(log_.Has("holder:canceled:http://h/unheld"));

  // The same request offered again: the first offer is stale.
  CefRefPtr<TestCallback> first = new TestCallback();
  CefRefPtr<TestCallback> again = new TestCallback();
  Load("http://h/twice", 2, first);
  Load("http://h/twice", 2, again);
  EXPECT_TRUE(log_.Has("holder:canceled:http://h/twice"));
  holder->Held()->Continue(new NullHandler());
  ASSERT_TRUE(test::WaitFor([&] { return again->continued_ > 0; }));
  EXPECT_EQ(first->continued_, 0);
  EXPECT_TRUE(Handler(2));

  // A handler found for a frame that goes away before it is collected is dropped.
  CefRefPtr<FakeFrame> sub2 = browser_->AddFrame(12);
  CefRefPtr<TestCallback> late = new TestCallback();
  Load("http://h/late", 3, late, sub2.get());
  holder->Held()->Continue(new NullHandler());
  ASSERT_TRUE(test::WaitFor([&] { return late->continued_ > 0; }));
  sub2->Invalidate();
  EXPECT_FALSE(Handler(3));
}

// A client that sends its loads through a resource manager, the way an application wires one in.
class ManagedClient : public CefClient, public CefRequestHandler {
 public:
  explicit ManagedClient(scoped_refptr<CefResourceManager> manager) : manager_(manager) {}
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request, CefRefPtr<CefRequestCallback> callback) override {
    return manager_->OnBeforeResourceLoad(browser, frame, request, callback);
  }
  CefRefPtr<CefResourceHandler> GetResourceHandler(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                   CefRefPtr<CefRequest> request) override {
    return manager_->GetResourceHandler(browser, frame, request);
  }

 private:
  scoped_refptr<CefResourceManager> manager_;
  IMPLEMENT_REFCOUNTING(ManagedClient);
};

TEST_F(ResourceManager, LoadsTheEngineAbortsCancelTheirHolder) {
  TestProvider* holder = Add("holder", true, 0);
  for (const wchar_t* page : {L"http://pages.test/stopped", L"http://pages.test/replaced", L"http://pages.test/next"})
    test::SetHttpResponse(page, 200, L"text/html", "<html></html>");
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  CefRefPtr<CefBrowser> browser;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    browser = CefBrowserHost::CreateBrowserSync(info, new ManagedClient(manager_), "http://pages.test/stopped",
                                                CefBrowserSettings(), nullptr);
  }));
  ASSERT_TRUE(browser);

  // Stopped while the provider holds the main document.
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:request:http://pages.test/stopped"); }));
  scoped_refptr<CefResourceManager::Request> stopped = holder->Held();
  browser->StopLoad();
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:canceled:http://pages.test/stopped"); }));
  stopped->Continue(nullptr);  // a late answer changes nothing

  // Replaced by another navigation: only the replaced load is cancelled, the new one is offered.
  browser->GetMainFrame()->LoadURL("http://pages.test/replaced");
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:request:http://pages.test/replaced"); }));
  browser->GetMainFrame()->LoadURL("http://pages.test/next");
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:canceled:http://pages.test/replaced"); }));
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("holder:request:http://pages.test/next"); }));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_FALSE(log_.Has("holder:canceled:http://pages.test/next"));

  // Answered, the load goes on to the engine's own answer for the page.
  holder->Held()->Continue(nullptr);
  ASSERT_TRUE(test::WaitFor([&] { return !browser->IsLoading(); }));
  EXPECT_EQ("http://pages.test/next", browser->GetMainFrame()->GetURL().ToString());
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(test::WaitFor([] { return test::Browsers().empty(); }));
}

TEST_F(ResourceManager, LastReleaseDeletesOnIOAndLetsPendingLoadsThrough) {
  TestProvider* holder = Add("holder", true, 0);
  Add("idle", false, 1);
  CefRefPtr<TestCallback> callback = new TestCallback();
  Load("http://h/pending", 1, callback);
  scoped_refptr<CefResourceManager::Request> held = holder->Held();
  ASSERT_TRUE(held);

  manager_ = nullptr;  // the last reference goes on the test's thread
  ASSERT_TRUE(test::WaitFor([&] { return log_.Has("idle:deleted"); }));
  EXPECT_EQ(log_.Events(), (std::vector<std::string>{"holder:request:http://h/pending",
                                                     "holder:canceled:http://h/pending", "holder:deleted",
                                                     "idle:deleted"}));
  EXPECT_TRUE(log_.OffIO().empty());
  EXPECT_EQ(callback->continued_, 1);
  EXPECT_TRUE(callback->allowed_);
  // The request outlives the manager; answering it is harmless.
  held->Continue(new NullHandler());
  EXPECT_EQ(held->url(), "http://h/pending");
  ASSERT_TRUE(test::Flush(TID_IO));
}

}  // namespace
