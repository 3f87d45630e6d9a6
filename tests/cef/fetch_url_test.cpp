#include <string>

#include <gtest/gtest.h>

#include "include/cef_scheme.h"
#include "include/wrapper/cef_stream_resource_handler.h"
#include "loader_fixture.h"

namespace {

namespace test = cefengine::test;

// Answers every request with the status, text and body it was made with.
class StatusFactory : public CefSchemeHandlerFactory {
 public:
  StatusFactory(int status, std::string text, std::string body)
      : status_(status), text_(std::move(text)), body_(std::move(body)) {}
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name, CefRefPtr<CefRequest> request) override {
    return new CefStreamResourceHandler(status_, text_, "text/plain", CefResponse::HeaderMap(),
                                        CefStreamReader::CreateForData(const_cast<char*>(body_.data()), body_.size()));
  }

 private:
  const int status_;
  const std::string text_;
  const std::string body_;
  IMPLEMENT_REFCOUNTING(StatusFactory);
};

TEST(FetchUrl, EndsAtOnceWhenTheEngineIsNotRunning) {
  const test::FetchResult result = test::FetchUrl(L"about:blank", 100);
  EXPECT_FALSE(result.ended);
}

class FetchUrlTest : public loader_test::EngineTest {};

TEST_F(FetchUrlTest, ReportsTheStatusTheServingHandlerSet) {
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("brivfetch", "", new StatusFactory(203, "Copied", "body bytes")));
  test::FetchResult custom = test::FetchUrl(L"brivfetch:anything");
  ASSERT_TRUE(custom.ended);
  EXPECT_EQ(ERR_NONE, custom.error);
  EXPECT_EQ(203, custom.status);
  EXPECT_EQ(L"Copied", custom.status_text);
  EXPECT_EQ(L"text/plain", custom.mime_type);
  EXPECT_EQ("body bytes", custom.body);

  test::SetHttpResponse(L"http://fetch.test/missing", 404, L"text/html", "<p>gone</p>");
  test::FetchResult http = test::FetchUrl(L"http://fetch.test/missing");
  ASSERT_TRUE(http.ended);
  EXPECT_EQ(ERR_NONE, http.error);
  EXPECT_EQ(404, http.status);
  EXPECT_EQ("<p>gone</p>", http.body);

  test::FetchResult unknown = test::FetchUrl(L"nobody-serves-this:x");
  ASSERT_TRUE(unknown.ended);
  EXPECT_EQ(ERR_UNKNOWN_URL_SCHEME, unknown.error);
  EXPECT_EQ(L"net::ERR_UNKNOWN_URL_SCHEME", unknown.error_text);
  EXPECT_EQ(0, unknown.status);
}

TEST_F(FetchUrlTest, CancelsALoadThatDoesNotEndInTime) {
  test::HoldLoads(true);
  const test::FetchResult held = test::FetchUrl(L"about:blank", 200);
  EXPECT_FALSE(held.ended);
  // The cancelled load leaves the held list (on IO, so a moment later).
  EXPECT_TRUE(test::WaitFor([] { return test::HeldLoads().empty(); }));
}

}  // namespace
