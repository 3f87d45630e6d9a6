#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/cookie_store.h"
#include "engine/http_fetch.h"
#include "loader_fixture.h"
#include "tests/product/loopback_http_server.h"

namespace {

using cefengine::HttpFetch;
using cefengine::HttpFetchRequest;
using cefengine::HttpFetchResult;
using loader_test::Load;
namespace test = cefengine::test;

std::wstring HeaderOf(const HttpFetchResult& result, const std::wstring& name) {
  for (const auto& h : result.headers)
    if (cefengine::AsciiLower(h.first) == cefengine::AsciiLower(name))
      return h.second;
  return std::wstring();
}

// A loopback port that nobody listens on.
int ClosedPort() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  int length = sizeof(address);
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(s);
  WSACleanup();
  return ntohs(address.sin_port);
}

TEST(HttpFetchLoopback, GetSendsTheHeadersAndReadsStatusTypeHeadersAndBody) {
  LoopbackHttpServer server;
  ASSERT_NE(server.Port(), 0);
  server.SetAnswer(200, "OK", "text/html; charset=utf-8", "X-Answer: yes\r\n");
  server.SetBody("<title>loopback</title>");
  HttpFetchRequest request;
  request.url = server.Base() + L"/dir/page.html?q=1#fragment";
  request.headers = {{L"X-Test", L"one"}, {L"Accept-Language", L"de-DE"}};
  HttpFetchResult result = HttpFetch(request);
  EXPECT_EQ(result.error, ERR_NONE);
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.status_text, L"OK");
  EXPECT_EQ(result.mime_type, L"text/html");
  EXPECT_EQ(HeaderOf(result, L"x-answer"), L"yes");
  EXPECT_EQ(result.body, "<title>loopback</title>");
  ASSERT_EQ(server.Targets(), std::vector<std::string>{"/dir/page.html?q=1"});
  std::string raw = server.RawRequests()[0];
  EXPECT_EQ(raw.compare(0, 4, "GET "), 0);
  EXPECT_NE(raw.find("X-Test: one\r\n"), std::string::npos);
  EXPECT_NE(raw.find("Accept-Language: de-DE\r\n"), std::string::npos);
}

TEST(HttpFetchLoopback, PostSendsTheBodyAndRedirectsAreNotFollowed) {
  LoopbackHttpServer server;
  ASSERT_NE(server.Port(), 0);
  server.SetAnswer(302, "Found", "text/plain", "Location: /elsewhere\r\n");
  server.SetBody("");
  HttpFetchRequest request;
  request.url = server.Base() + L"/form";
  request.method = L"POST";
  request.body = "a=1&b=two";
  request.headers = {{L"Content-Type", L"application/x-www-form-urlencoded"}};
  HttpFetchResult result = HttpFetch(request);
  EXPECT_EQ(result.error, ERR_NONE);
  EXPECT_EQ(result.status, 302);
  EXPECT_EQ(HeaderOf(result, L"Location"), L"/elsewhere");
  ASSERT_EQ(server.Requests(), 1);  // WinINet left the redirect to the caller
  std::string raw = server.RawRequests()[0];
  EXPECT_EQ(raw.compare(0, 5, "POST "), 0);
  EXPECT_EQ(raw.substr(raw.size() - 9), "a=1&b=two");
}

TEST(HttpFetchLoopback, FailuresMapToNetworkErrorCodes) {
  HttpFetchRequest refused;
  refused.url = L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/";
  refused.timeout_ms = 3000;
  EXPECT_EQ(HttpFetch(refused).error, ERR_CONNECTION_REFUSED);

  HttpFetchRequest not_http;
  not_http.url = L"ftp://127.0.0.1/x";
  EXPECT_EQ(HttpFetch(not_http).error, ERR_INVALID_URL);

  const struct {
    DWORD win;
    cef_errorcode_t code;
  } table[] = {
      {ERROR_INTERNET_NAME_NOT_RESOLVED, ERR_NAME_NOT_RESOLVED},
      {ERROR_INTERNET_TIMEOUT, ERR_TIMED_OUT},
      {ERROR_INTERNET_INVALID_CA, ERR_CERT_AUTHORITY_INVALID},
      {ERROR_INTERNET_SEC_CERT_CN_INVALID, ERR_CERT_COMMON_NAME_INVALID},
      {ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERR_CERT_DATE_INVALID},
      {ERROR_FILE_NOT_FOUND, ERR_FAILED},
  };
  for (const auto& t : table)
    EXPECT_EQ(cefengine::ErrorFromWinInet(t.win), t.code) << t.win;
}

class LoaderOverWinInet : public loader_test::EngineTest {};

TEST_F(LoaderOverWinInet, UnlistedHttpUrlIsFetchedWithTheRequestsHeadersAndBody) {
  LoopbackHttpServer server;
  ASSERT_NE(server.Port(), 0);
  server.SetAnswer(404, "Not Found", "text/html", "");
  server.SetBody("<title>missing</title>");

  CefRefPtr<CefRequest> request =
      cefengine::MakeRequest(server.Base() + L"/submit", L"POST", L"http://referrer.test/", RT_MAIN_FRAME, TT_LINK);
  CefRefPtr<CefPostData> body = CefPostData::Create();
  CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
  element->SetToBytes(5, "x=y&z");
  body->AddElement(element);
  request->SetPostData(body);
  CefRequest::HeaderMap headers;
  headers.insert(std::make_pair(CefString("X-From-Request"), CefString("1")));
  request->SetHeaderMap(headers);

  auto observer = std::make_shared<loader_test::RecordingObserver>();
  cefengine::LoadParams params;
  params.request = request;
  params.accept_language = L"fr-FR";
  auto load = cefengine::StartResourceLoad(params, observer);
  ASSERT_TRUE(load);
  ASSERT_TRUE(test::WaitFor([&] { return observer->Completions() == 1; }, 20000));
  cefengine::LoadOutcome outcome = observer->Outcome();
  EXPECT_EQ(outcome.error, ERR_NONE);
  EXPECT_EQ(outcome.status, 404);  // an http error status still delivers its page
  EXPECT_EQ(outcome.status_text, L"Not Found");
  EXPECT_EQ(outcome.mime_type, L"text/html");
  EXPECT_EQ(outcome.body, "<title>missing</title>");

  ASSERT_EQ(server.Requests(), 1);
  std::string raw = server.RawRequests()[0];
  EXPECT_EQ(raw.compare(0, 13, "POST /submit "), 0);
  EXPECT_NE(raw.find("X-From-Request: 1\r\n"), std::string::npos);
  EXPECT_NE(raw.find("Referer: http://referrer.test/\r\n"), std::string::npos);
  EXPECT_NE(raw.find("Accept-Language: fr-FR\r\n"), std::string::npos);
  EXPECT_EQ(raw.substr(raw.size() - 5), "x=y&z");
}

TEST_F(LoaderOverWinInet, TableEntryWinsOverTheNetworkAndRefusedConnectionsFail) {
  LoopbackHttpServer server;
  ASSERT_NE(server.Port(), 0);
  test::SetHttpResponse(server.Base() + L"/listed", 200, L"text/plain", "from the table");
  EXPECT_EQ(Load(server.Base() + L"/listed").body, "from the table");
  EXPECT_EQ(server.Requests(), 0);
  EXPECT_EQ(Load(server.Base() + L"/unlisted").body, "ok");
  EXPECT_EQ(server.Requests(), 1);

  cefengine::LoadOutcome refused = Load(L"http://127.0.0.1:" + std::to_wstring(ClosedPort()) + L"/");
  EXPECT_EQ(refused.error, ERR_CONNECTION_REFUSED);
  EXPECT_EQ(refused.error_text, L"net::ERR_CONNECTION_REFUSED");
}

TEST_F(LoaderOverWinInet, CookiesAreSentAndSetCookieAnswersAreStored) {
  LoopbackHttpServer server;
  ASSERT_NE(server.Port(), 0);
  std::shared_ptr<cefengine::CookieStore> store = cefengine::GlobalCookieStore();
  ASSERT_TRUE(store);
  CefCookie cookie;
  CefString(&cookie.name) = "sent";
  CefString(&cookie.value) = "1";
  ASSERT_EQ(store->Set(server.Base() + L"/", cookie), cefengine::CookieStore::SetResult::kStored);
  server.SetAnswer(200, "OK", "text/plain", "Set-Cookie: fromnet=2; Path=/\r\n");

  EXPECT_EQ(Load(server.Base() + L"/page").error, ERR_NONE);
  ASSERT_EQ(server.Requests(), 1);
  EXPECT_NE(server.RawRequests()[0].find("Cookie: sent=1\r\n"), std::string::npos);
  EXPECT_EQ(store->CookieHeader(server.Base() + L"/other"), L"sent=1; fromnet=2");
  auto sent = test::EntriesOf("Cookie");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].args[1], "sent=1");

  // Canned answers set cookies the same way, redirects included.
  CefResponse::HeaderMap headers;
  headers.insert(std::make_pair(CefString("Set-Cookie"), CefString("hop=3")));
  headers.insert(std::make_pair(CefString("Location"), CefString("/landed")));
  test::SetHttpResponse(L"http://cookies.test/start", 302, L"text/html", "", headers);
  test::SetHttpResponse(L"http://cookies.test/landed", 200, L"text/html", "here");
  EXPECT_EQ(Load(L"http://cookies.test/start").body, "here");
  EXPECT_EQ(store->CookieHeader(L"http://cookies.test/landed"), L"hop=3");
  EXPECT_EQ(test::EntriesOf("Cookie").back().args[0], "http://cookies.test/landed");
}

}  // namespace
