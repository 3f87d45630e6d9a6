#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/document_model.h"
#include "include/cef_parser.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "loader_fixture.h"

namespace {

using cefengine::LoadOutcome;
using loader_test::CountOf;
using loader_test::FunctionClient;
using loader_test::Load;
using loader_test::ScriptedHandler;
using loader_test::StartLoad;
namespace test = cefengine::test;

std::string U8(const std::wstring& s) {
  return cefengine::WideToUtf8(s);
}

// Declares "brivcustom" (not standard) and "brivstd" (standard) as the product does at start-up.
class SchemeApp : public CefApp {
 public:
  void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override {
    registrar->AddCustomScheme("brivcustom", false, false, false);
    registrar->AddCustomScheme("brivstd", true, false, false);
  }
  IMPLEMENT_REFCOUNTING(SchemeApp);
};

class ResourceLoader : public loader_test::EngineTest {
 protected:
  CefRefPtr<CefApp> App() override { return new SchemeApp(); }
};

TEST_F(ResourceLoader, BuiltInSchemesServeOrFailByTheirRules) {
  std::wstring page = test::AddFile(L"site\\page.HTML", "<html><title>File</title></html>");
  std::wstring image = test::AddFile(L"site\\a b\\pic.png", std::string("\x89PNG", 4));
  std::wstring odd = test::AddFile(L"site\\data.unknownext", "?");
  ASSERT_FALSE(page.empty());
  test::SetHttpResponse(L"http://table.test/doc", 200, L"text/html; charset=utf-8", "<title>T</title>");
  test::SetHttpResponse(L"https://table.test/missing", 404, L"text/plain", "gone");

  const struct {
    std::wstring url;
    cef_errorcode_t error;
    int status;
    std::wstring mime;
    std::string body;
  } cases[] = {
      {L"about:blank", ERR_NONE, 0, L"text/html", ""},
      {L"ABOUT:Blank#x", ERR_NONE, 0, L"text/html", ""},
      {L"about:version", ERR_INVALID_URL, 0, L"", ""},
      {L"data:text/html;base64,PGI+aGk8L2I+", ERR_NONE, 0, L"text/html", "<b>hi</b>"},
      {L"data:text/plain;charset=utf-8;base64,YWJj ZA", ERR_NONE, 0, L"text/plain", "abcd"},
      {L"data:,a%20b%2C%e2%82%ac", ERR_NONE, 0, L"text/plain", "a b,\xE2\x82\xAC"},
      {L"data:image/png,%00%01", ERR_NONE, 0, L"image/png", std::string("\0\1", 2)},
      {L"data:,\xD83D\xDE00%F0%9F%98%80", ERR_NONE, 0, L"text/plain", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
      {L"data:text/html;base64,!!!", ERR_INVALID_URL, 0, L"", ""},
      {L"data:no-comma", ERR_INVALID_URL, 0, L"", ""},
      {page, ERR_NONE, 0, CefGetMimeType("html").ToWString(), "<html><title>File</title></html>"},
      {image, ERR_NONE, 0, CefGetMimeType("png").ToWString(), std::string("\x89PNG", 4)},
      {odd, ERR_NONE, 0, L"", "?"},
      {test::FileUrl(L"site\\absent.html"), ERR_FILE_NOT_FOUND, 0, L"", ""},
      {test::FileUrl(L"site"), ERR_FILE_NOT_FOUND, 0, L"", ""},
      {L"http://TABLE.test/doc#frag", ERR_NONE, 200, L"text/html", "<title>T</title>"},
      {L"https://table.test/missing", ERR_NONE, 404, L"text/plain", "gone"},
      {L"chrome-devtools://devtools/devtools.html", ERR_NONE, 0, L"text/html",
       "<html><head><title>DevTools</title></head><body></body></html>"},
      {L"ftp://files.test/x", ERR_UNKNOWN_URL_SCHEME, 0, L"", ""},
  };
  for (const auto& c : cases) {
    LoadOutcome outcome = Load(c.url);
    EXPECT_EQ(outcome.error, c.error) << U8(c.url);
    EXPECT_EQ(outcome.status, c.status) << U8(c.url);
    EXPECT_EQ(outcome.mime_type, c.mime) << U8(c.url);
    EXPECT_EQ(outcome.body, c.body) << U8(c.url);
    EXPECT_EQ(outcome.final_url, c.url) << U8(c.url);
    if (c.error != ERR_NONE) {
      EXPECT_EQ(outcome.error_text, cefengine::ErrorCodeText(c.error)) << U8(c.url);
    }
  }
  EXPECT_EQ(test::OsExecutions().size(), 0u);
}

TEST_F(ResourceLoader, EveryRequestIsJournaledOnIoWithItsHooksInOrder) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  LoadOutcome outcome = Load(L"data:text/plain,x", client.get());
  EXPECT_EQ(outcome.body, "x");
  EXPECT_TRUE(test::ExpectOrder({"Request", "OnBeforeResourceLoad", "GetResourceHandler", "OnResourceResponse",
                                 "OnResourceLoadComplete"}));
  for (const char* kind : {"Request", "OnBeforeResourceLoad", "GetResourceHandler", "OnResourceLoadComplete"}) {
    auto entries = test::EntriesOf(kind);
    ASSERT_EQ(entries.size(), 1u) << kind;
    EXPECT_EQ(entries[0].thread, "IO") << kind;
    EXPECT_EQ(entries[0].args[0], "data:text/plain,x") << kind;
  }
  auto request = test::EntriesOf("Request")[0];
  ASSERT_GE(request.args.size(), 3u);
  EXPECT_EQ(request.args[2], std::to_string(static_cast<int>(RT_MAIN_FRAME)));
}

TEST_F(ResourceLoader, SchemesNobodyServesFailAndOnlyUnregisteredOnesAskTheOs) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  std::vector<std::string> asked;
  client->protocol_execution = [&](const CefString& url, bool& allow) {
    EXPECT_FALSE(allow);  // starts false
    asked.push_back(url.ToString());
    allow = url.ToString().find("allow") != std::string::npos;
  };

  LoadOutcome custom = Load(L"brivcustom:thing", client.get());
  EXPECT_EQ(custom.error, ERR_UNKNOWN_URL_SCHEME);
  EXPECT_TRUE(asked.empty());

  LoadOutcome unknown = Load(L"vivodov:do-something", client.get());
  EXPECT_EQ(unknown.error, ERR_UNKNOWN_URL_SCHEME);
  EXPECT_EQ(unknown.error_text, L"net::ERR_UNKNOWN_URL_SCHEME");
  EXPECT_EQ(unknown.final_url, L"vivodov:do-something");
  ASSERT_EQ(asked, std::vector<std::string>{"vivodov:do-something"});
  EXPECT_TRUE(client->protocol_on_ui);
  EXPECT_TRUE(test::OsExecutions().empty());

  EXPECT_EQ(Load(L"mailto:allow@x.test", client.get()).error, ERR_UNKNOWN_URL_SCHEME);
  EXPECT_EQ(test::OsExecutions(), std::vector<std::wstring>{L"mailto:allow@x.test"});
  EXPECT_EQ(test::EntriesOf("OnProtocolExecution").back().thread, "UI");
}

TEST_F(ResourceLoader, BeforeResourceLoadCancelsContinuesAndWaitsForTheCallback) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  client->before_load = [](CefRefPtr<CefRequest> request, CefRefPtr<CefRequestCallback> callback) {
    std::string url = request->GetURL().ToString();
    EXPECT_FALSE(request->IsReadOnly());  // the hook may change the request
    if (url.find("cancel") != std::string::npos)
      return RV_CANCEL;
    if (url.find("later-yes") != std::string::npos || url.find("later-no") != std::string::npos) {
      bool allow = url.find("yes") != std::string::npos;
      std::thread([callback, allow] {
        Sleep(30);
        callback->Continue(allow);
        callback->Continue(!allow);  // only the first answer counts
      }).detach();
      return RV_CONTINUE_ASYNC;
    }
    if (url.find("rewrite") != std::string::npos)
      request->SetURL("data:text/plain,rewritten");
    return RV_CONTINUE;
  };
  client->resource_handler = [](CefRefPtr<CefRequest> request) -> CefRefPtr<CefResourceHandler> {
    EXPECT_TRUE(request->IsReadOnly());
    return nullptr;
  };

  LoadOutcome cancelled = Load(L"data:text/plain,cancel", client.get());
  EXPECT_EQ(cancelled.error, ERR_ABORTED);
  EXPECT_EQ(CountOf("GetResourceHandler"), 0u);

  LoadOutcome yes = Load(L"data:text/plain,later-yes", client.get());
  EXPECT_EQ(yes.error, ERR_NONE);
  EXPECT_EQ(yes.body, "later-yes");

  LoadOutcome no = Load(L"data:text/plain,later-no", client.get());
  EXPECT_EQ(no.error, ERR_ABORTED);

  LoadOutcome rewritten = Load(L"data:text/plain,rewrite", client.get());
  EXPECT_EQ(rewritten.body, "rewritten");
  EXPECT_EQ(rewritten.final_url, L"data:text/plain,rewritten");
}

TEST_F(ResourceLoader, HandlerFromTheClientServesInChunksWithStatusZeroOutsideHttp) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  CefRefPtr<ScriptedHandler> handler = new ScriptedHandler();
  handler->head_answer = ScriptedHandler::Answer::kFromOtherThread;
  handler->pause_after_first_chunk = true;
  handler->status = 404;
  handler->chunk = 4;
  client->resource_handler = [&](CefRefPtr<CefRequest>) -> CefRefPtr<CefResourceHandler> { return handler.get(); };

  LoadOutcome outcome = Load(L"brivcustom:served", client.get());
  EXPECT_EQ(outcome.error, ERR_NONE);
  EXPECT_EQ(outcome.status, 0);  // not http: no status reported
  EXPECT_EQ(outcome.body, handler->body);
  EXPECT_EQ(outcome.mime_type, L"text/html");
  EXPECT_GE(handler->pauses, 1);
  EXPECT_TRUE(handler->all_on_io);
  EXPECT_EQ(handler->cancels, 0);
}

TEST_F(ResourceLoader, HttpStatusOfAHandlerIsReportedAndZeroCountsAsOk) {
  const struct {
    int handler_status;
    int reported;
  } cases[] = {{404, 404}, {0, 200}, {500, 500}};
  for (const auto& c : cases) {
    CefRefPtr<FunctionClient> client = new FunctionClient();
    CefRefPtr<ScriptedHandler> handler = new ScriptedHandler();
    handler->status = c.handler_status;
    client->resource_handler = [&](CefRefPtr<CefRequest>) -> CefRefPtr<CefResourceHandler> { return handler.get(); };
    LoadOutcome outcome = Load(L"http://served.test/", client.get());
    EXPECT_EQ(outcome.error, ERR_NONE);
    EXPECT_EQ(outcome.status, c.reported) << c.handler_status;
  }
}

TEST_F(ResourceLoader, HandlerLengthLimitsTheBody) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  CefRefPtr<ScriptedHandler> handler = new ScriptedHandler();
  handler->body = "0123456789";
  handler->length = 6;
  client->resource_handler = [&](CefRefPtr<CefRequest>) -> CefRefPtr<CefResourceHandler> { return handler.get(); };
  EXPECT_EQ(Load(L"brivcustom:x", client.get()).body, "012345");
}

TEST_F(ResourceLoader, ProcessRequestFalseOrCallbackCancelAbortTheLoad) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  CefRefPtr<ScriptedHandler> refusing = new ScriptedHandler();
  refusing->process_result = false;
  client->resource_handler = [&](CefRefPtr<CefRequest>) -> CefRefPtr<CefResourceHandler> { return refusing.get(); };
  LoadOutcome refused = Load(L"brivcustom:refused", client.get());
  EXPECT_EQ(refused.error, ERR_ABORTED);
  EXPECT_EQ(refused.error_text, L"net::ERR_ABORTED");
  EXPECT_EQ(refusing->cancels, 0);

  class CancellingHandler : public ScriptedHandler {
   public:
    bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) override {
      std::thread([callback] { callback->Cancel(); }).detach();
      return true;
    }
  };
  CefRefPtr<CancellingHandler> cancelling = new CancellingHandler();
  client->resource_handler = [&](CefRefPtr<CefRequest>) -> CefRefPtr<CefResourceHandler> { return cancelling.get(); };
  EXPECT_EQ(Load(L"brivcustom:cancelled", client.get()).error, ERR_ABORTED);
}

TEST_F(ResourceLoader, CancelReachesTheRunningHandlerOnIoAndSilencesTheObserver) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  CefRefPtr<ScriptedHandler> handler = new ScriptedHandler();
  handler->head_answer = ScriptedHandler::Answer::kNever;
  client->resource_handler = [&](CefRefPtr<CefRequest>) -> CefRefPtr<CefResourceHandler> { return handler.get(); };
  loader_test::Started s = StartLoad(L"brivcustom:hangs", client.get());
  ASSERT_TRUE(s.load);
  ASSERT_TRUE(test::WaitFor([&] { return CountOf("ProcessRequest") == 1; }));
  s.load->Cancel();
  s.load->Cancel();  // twice is harmless
  ASSERT_TRUE(test::WaitFor([&] { return handler->cancels.load() == 1; }));
  EXPECT_TRUE(handler->cancel_on_io);
  EXPECT_TRUE(test::Quiesce());
  EXPECT_EQ(handler->cancels, 1);
  EXPECT_EQ(s.observer->Completions(), 0);
  EXPECT_EQ(CountOf("OnResourceLoadComplete"), 0u);
}

TEST_F(ResourceLoader, HandlerRedirectAsksTheObserverWhichMayStopTheLoad) {
  CefRefPtr<FunctionClient> client = new FunctionClient();
  client->resource_handler = [](CefRefPtr<CefRequest> request) -> CefRefPtr<CefResourceHandler> {
    CefRefPtr<ScriptedHandler> handler = new ScriptedHandler();
    if (request->GetURL().ToString() == "http://r.test/dir/start")
      handler->redirect = L"next?x=1";  // relative to the request
    return handler.get();
  };
  std::vector<std::string> hook_urls;
  client->resource_redirect = [&](CefRefPtr<CefRequest> request, CefString& new_url) {
    hook_urls.push_back(request->GetURL().ToString() + " -> " + new_url.ToString());
  };

  loader_test::Started followed = StartLoad(L"http://r.test/dir/start", client.get());
  ASSERT_TRUE(test::WaitFor([&] { return followed.observer->Completions() == 1; }));
  EXPECT_EQ(followed.observer->Redirects(), std::vector<std::wstring>{L"http://r.test/dir/next?x=1"});
  EXPECT_TRUE(followed.observer->RedirectsOnUi());
  EXPECT_EQ(followed.observer->Outcome().final_url, L"http://r.test/dir/next?x=1");
  EXPECT_EQ(followed.request->GetURL().ToString(), "http://r.test/dir/next?x=1");
  EXPECT_EQ(hook_urls, std::vector<std::string>{"http://r.test/dir/start -> http://r.test/dir/next?x=1"});
  EXPECT_EQ(CountOf("OnBeforeResourceLoad"), 2u);  // asked again for the new URL

  loader_test::Started stopped = StartLoad(L"http://r.test/dir/start", client.get(), false);
  ASSERT_TRUE(test::WaitFor([&] { return stopped.observer->Redirects().size() == 1; }));
  EXPECT_TRUE(test::Quiesce());
  EXPECT_EQ(stopped.observer->Completions(), 0);
}

TEST_F(ResourceLoader, TwentyRedirectsAreFollowedAndTheTwentyFirstFails) {
  // /hop/N redirects to /hop/N+1 up to `last`, which serves the page.
  for (int last : {20, 21}) {
    std::wstring base = L"http://hops" + std::to_wstring(last) + L".test/hop/";
    for (int i = 0; i < last; ++i) {
      CefResponse::HeaderMap headers;
      headers.insert(std::make_pair(CefString("Location"), CefString(std::to_wstring(i + 1))));
      test::SetHttpResponse(base + std::to_wstring(i), i % 2 ? 302 : 301, L"text/html", "", headers);
    }
    test::SetHttpResponse(base + std::to_wstring(last), 200, L"text/html", "end");
    loader_test::Started s = StartLoad(base + L"0");
    ASSERT_TRUE(test::WaitFor([&] { return s.observer->Completions() == 1; }, 15000)) << last;
    LoadOutcome outcome = s.observer->Outcome();
    if (last == 20) {
      EXPECT_EQ(outcome.error, ERR_NONE);
      EXPECT_EQ(outcome.body, "end");
      EXPECT_EQ(s.observer->Redirects().size(), 20u);
    } else {
      EXPECT_EQ(outcome.error, ERR_TOO_MANY_REDIRECTS);
      EXPECT_EQ(outcome.error_text, L"net::ERR_TOO_MANY_REDIRECTS");
      EXPECT_EQ(outcome.final_url, base + L"20");
    }
  }
}

TEST_F(ResourceLoader, CertificateErrorIsRefusedUnlessTheClientAccepts) {
  test::SetHttpResponse(L"https://bad.test/", 200, L"text/html", "<title>secure</title>", CefResponse::HeaderMap(),
                        ERR_CERT_AUTHORITY_INVALID);
  // Without a handler and with one that says false: the error at once.
  EXPECT_EQ(Load(L"https://bad.test/").error, ERR_CERT_AUTHORITY_INVALID);
  CefRefPtr<FunctionClient> client = new FunctionClient();
  LoadOutcome refused = Load(L"https://bad.test/", client.get());
  EXPECT_EQ(refused.error, ERR_CERT_AUTHORITY_INVALID);
  EXPECT_EQ(refused.error_text, L"net::ERR_CERT_AUTHORITY_INVALID");
  EXPECT_TRUE(client->certificate_on_ui);
  EXPECT_TRUE(client->certificate_had_info);

  std::string seen_url;
  client->certificate_error = [&](cef_errorcode_t code, const CefString& url, CefRefPtr<CefRequestCallback> cb) {
    EXPECT_EQ(code, ERR_CERT_AUTHORITY_INVALID);
    seen_url = url.ToString();
    std::thread([cb] {
      Sleep(20);
      cb->Continue(true);
    }).detach();
    return true;
  };
  LoadOutcome accepted = Load(L"https://bad.test/", client.get());
  EXPECT_EQ(accepted.error, ERR_NONE);
  EXPECT_EQ(accepted.status, 200);
  EXPECT_EQ(accepted.body, "<title>secure</title>");
  EXPECT_EQ(seen_url, "https://bad.test/");

  client->certificate_error = [](cef_errorcode_t, const CefString&, CefRefPtr<CefRequestCallback> cb) {
    cb->Cancel();
    return true;
  };
  EXPECT_EQ(Load(L"https://bad.test/", client.get()).error, ERR_CERT_AUTHORITY_INVALID);
  // Plain http ignores a certificate error in the table.
  test::SetHttpResponse(L"http://bad.test/", 200, L"text/html", "plain", CefResponse::HeaderMap(),
                        ERR_CERT_DATE_INVALID);
  EXPECT_EQ(Load(L"http://bad.test/", client.get()).body, "plain");
}

TEST_F(ResourceLoader, FailNextLoadFailsOnceWithTheGivenOrDefaultText) {
  test::SetHttpResponse(L"http://flaky.test/", 200, L"text/html", "fine");
  test::FailNextLoad(L"http://flaky.test/", ERR_NAME_NOT_RESOLVED, L"");
  test::FailNextLoad(L"http://FLAKY.test/#x", ERR_CONNECTION_REFUSED);
  LoadOutcome first = Load(L"http://flaky.test/");
  EXPECT_EQ(first.error, ERR_NAME_NOT_RESOLVED);
  EXPECT_EQ(first.error_text, L"");
  LoadOutcome second = Load(L"http://flaky.test/");
  EXPECT_EQ(second.error, ERR_CONNECTION_REFUSED);
  EXPECT_EQ(second.error_text, L"net::ERR_CONNECTION_REFUSED");
  EXPECT_EQ(Load(L"http://flaky.test/").body, "fine");
}

TEST_F(ResourceLoader, HeldLoadsWaitUntilReleasedOneByOneOrAll) {
  test::HoldLoads(true);
  loader_test::Started a = StartLoad(L"data:,a");
  loader_test::Started b = StartLoad(L"data:,b");
  loader_test::Started c = StartLoad(L"data:,c");
  ASSERT_TRUE(test::WaitFor([] { return test::HeldLoads().size() == 3; }));
  EXPECT_EQ(test::HeldLoads(), (std::vector<std::wstring>{L"data:,a", L"data:,b", L"data:,c"}));
  EXPECT_EQ(CountOf("OnBeforeResourceLoad"), 0u);
  EXPECT_FALSE(test::ReleaseLoad(L"data:,zzz"));

  EXPECT_TRUE(test::ReleaseLoad(L"data:,b"));
  ASSERT_TRUE(test::WaitFor([&] { return b.observer->Completions() == 1; }));
  EXPECT_EQ(b.observer->Outcome().body, "b");
  EXPECT_EQ(a.observer->Completions(), 0);
  EXPECT_EQ(c.observer->Completions(), 0);

  c.load->Cancel();  // a cancelled load leaves the held list
  ASSERT_TRUE(test::WaitFor([] { return test::HeldLoads().size() == 1; }));
  test::ReleaseAll();
  ASSERT_TRUE(test::WaitFor([&] { return a.observer->Completions() == 1; }));
  EXPECT_TRUE(test::Quiesce());
  EXPECT_EQ(c.observer->Completions(), 0);

  // Holding still applies to new loads until turned off, which releases them.
  loader_test::Started d = StartLoad(L"data:,d");
  ASSERT_TRUE(test::WaitFor([] { return test::HeldLoads().size() == 1; }));
  test::HoldLoads(false);
  ASSERT_TRUE(test::WaitFor([&] { return d.observer->Completions() == 1; }));
}

TEST_F(ResourceLoader, StreamResourceHandlerServesFileAndDataStreams) {
  std::string big(100000, 'q');
  ASSERT_FALSE(test::AddFile(L"big.txt", big).empty());
  CefRefPtr<FunctionClient> client = new FunctionClient();
  client->resource_handler = [](CefRefPtr<CefRequest> request) -> CefRefPtr<CefResourceHandler> {
    if (request->GetURL().ToString() == "brivcustom:file")
      return new CefStreamResourceHandler("text/plain", CefStreamReader::CreateForFile(test::FileRoot() + L"\\big.txt"));
    if (request->GetURL().ToString() == "brivcustom:empty")
      return new CefStreamResourceHandler("text/plain", CefStreamReader::CreateForData(nullptr, 0));
    return new CefStreamResourceHandler("text/html", nullptr);
  };
  LoadOutcome file = Load(L"brivcustom:file", client.get());
  EXPECT_EQ(file.error, ERR_NONE);
  EXPECT_EQ(file.body.size(), big.size());
  EXPECT_EQ(file.mime_type, L"text/plain");
  LoadOutcome empty = Load(L"brivcustom:empty", client.get());
  EXPECT_EQ(empty.error, ERR_NONE);
  EXPECT_EQ(empty.body, "");
  LoadOutcome null_stream = Load(L"brivcustom:null", client.get());
  EXPECT_EQ(null_stream.error, ERR_NONE);
  EXPECT_EQ(null_stream.body, "");
}

TEST_F(ResourceLoader, NothingStartsWhenTheEngineIsDown) {
  CefShutdown();
  CefRefPtr<CefRequest> request = cefengine::MakeRequest(L"about:blank", L"GET", L"", RT_MAIN_FRAME, TT_EXPLICIT);
  cefengine::LoadParams params;
  params.request = request;
  EXPECT_FALSE(cefengine::StartResourceLoad(params, std::make_shared<loader_test::RecordingObserver>()));
  // TearDown shuts down again; start the engine so that it has something to stop.
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
}

TEST_F(ResourceLoader, RelativeReferencesResolveAgainstCustomStandardSchemes) {
  EXPECT_EQ(cefengine::ResolveUrl(L"brivstd://host/a/b.html", L"c.html"), L"brivstd://host/a/c.html");
  EXPECT_EQ(cefengine::ResolveUrl(L"brivcustom:a/b.html", L"c.html"), L"");
}

}  // namespace
