#include <string>

#include <gtest/gtest.h>

#include "include/cef_parser.h"

namespace {

struct UrlCase {
  const char* url;
  bool ok;
  const char* scheme;
  const char* host;
  const char* port;
  const char* path;
  const char* query;
  const char* origin;
  const char* spec;
  const char* username;
  const char* password;
};

class ParseUrl : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ParseUrl, SplitsTheParts) {
  const UrlCase& c = GetParam();
  CefURLParts parts;
  ASSERT_EQ(CefParseURL(c.url, parts), c.ok) << c.url;
  if (!c.ok)
    return;
  EXPECT_EQ(CefString(&parts.scheme).ToString(), c.scheme);
  EXPECT_EQ(CefString(&parts.host).ToString(), c.host);
  EXPECT_EQ(CefString(&parts.port).ToString(), c.port);
  EXPECT_EQ(CefString(&parts.path).ToString(), c.path);
  EXPECT_EQ(CefString(&parts.query).ToString(), c.query);
  EXPECT_EQ(CefString(&parts.origin).ToString(), c.origin);
  EXPECT_EQ(CefString(&parts.spec).ToString(), c.spec);
  EXPECT_EQ(CefString(&parts.username).ToString(), c.username);
  EXPECT_EQ(CefString(&parts.password).ToString(), c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseUrl,
    ::testing::Values(
        UrlCase{"HTTP://User:Pw@Example.COM:8080/a/b?x=1#frag", true, "http", "example.com", "8080", "/a/b", "x=1",
                "http://example.com:8080/", "http://User:Pw@example.com:8080/a/b?x=1#frag", "User", "Pw"},
        UrlCase{"https://h.test", true, "https", "h.test", "", "/", "", "https://h.test/", "https://h.test/", "", ""},
        UrlCase{"https://h.test:443/p", true, "https", "h.test", "", "/p", "", "https://h.test/", "https://h.test/p", "",
                ""},
        UrlCase{"file:///C:/dir/page.html", true, "file", "", "", "/C:/dir/page.html", "", "file:///",
                "file:///C:/dir/page.html", "", ""},
        // Non-standard schemes keep everything after the colon as the path.
        UrlCase{"zip:Res/pack.zip?x#y", true, "zip", "", "", "Res/pack.zip", "x", "", "zip:Res/pack.zip?x#y", "", ""},
        UrlCase{"about:blank", true, "about", "", "", "blank", "", "", "about:blank", "", ""},
        UrlCase{"no scheme here", false}, UrlCase{"://x", false}, UrlCase{"http://", false},
        UrlCase{"http://h:99999/", false}, UrlCase{"http://h:8x/", false}, UrlCase{"", false}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return "Url" + std::to_string(info.index); });

TEST(UriEncode, EscapesUtf8BytesAndKeepsTheUnreservedSet) {
  EXPECT_EQ(CefURIEncode("a b", true).ToString(), "a+b");
  EXPECT_EQ(CefURIEncode("a b", false).ToString(), "a%20b");
  EXPECT_EQ(CefURIEncode("AZaz09-_.!~*'()", false).ToString(), "AZaz09-_.!~*'()");
  EXPECT_EQ(CefURIEncode("&=/?#%+", false).ToString(), "%26%3D%2F%3F%23%25%2B");
  EXPECT_EQ(CefURIEncode(L"\u00E9\u4E2D", false).ToString(), "%C3%A9%E4%B8%AD");

  // Decoding undoes it; a broken escape stays as written.
  CefString text = L"x \u00E9&%";
  EXPECT_EQ(CefURIDecode(CefURIEncode(text, true), true,
                         static_cast<cef_uri_unescape_rule_t>(UU_NORMAL | UU_REPLACE_PLUS_WITH_SPACE)),
            text);
  EXPECT_EQ(CefURIDecode("%4g%41+", true, UU_NORMAL).ToString(), "%4gA+");
  EXPECT_EQ(CefURIDecode("%41", true, UU_NONE).ToString(), "%41");
}

TEST(MimeType, LooksUpWithoutCaseAndGivesEmptyForUnknown) {
  EXPECT_EQ(CefGetMimeType("HTML").ToString(), "text/html");
  EXPECT_EQ(CefGetMimeType("Js").ToString(), CefGetMimeType("js").ToString());
  EXPECT_EQ(CefGetMimeType("jpeg").ToString(), CefGetMimeType("JPG").ToString());
  EXPECT_EQ(CefGetMimeType("png").ToString(), "image/png");
  EXPECT_FALSE(CefGetMimeType("woff2").empty());
  EXPECT_TRUE(CefGetMimeType("unknownext").empty());
  EXPECT_TRUE(CefGetMimeType(".html").empty());
  EXPECT_TRUE(CefGetMimeType("").empty());
}

TEST(Base64, RoundTripsEveryPaddingAndRefusesBrokenText) {
  const std::string samples[] = {"", "f", "fo", "foo", "foob", std::string("\0\xFF\x10", 3)};
  const char* encoded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "AP8Q"};
  for (size_t i = 0; i < 6; ++i) {
    CefString e = CefBase64Encode(samples[i].data(), samples[i].size());
    EXPECT_EQ(e.ToString(), encoded[i]);
    CefRefPtr<CefBinaryValue> d = CefBase64Decode(e);
    ASSERT_TRUE(d.get()) << encoded[i];
    std::string back(d->GetSize(), '\0');
    if (!back.empty())
      d->GetData(&back[0], back.size(), 0);
    EXPECT_EQ(back, samples[i]);
  }
  for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9v!A==", "=Zm9"})
    EXPECT_FALSE(CefBase64Decode(bad).get()) << bad;
}

}  // namespace
