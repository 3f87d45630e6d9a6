// Cookies for the host: the cookie text stored cookie by cookie, deletion and schemes passed
// through, and reads answered as event 0x0D from CEF's IO thread, overlapping reads included.
#include "browser/host_cookies.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/browser/core/context_fixture.h"

namespace core_test {
namespace {

using client::SetCookies;

class HostCookiesTest : public ContextTest {
 protected:
  static std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& cookie : test::Cookies()) names.push_back(cookie.name + "=" + cookie.value);
    return names;
  }
  static void SetHttpOnlyCookie(const std::wstring& url, const std::wstring& name, const std::wstring& value) {
    CefCookie cookie;
    CefString(&cookie.name) = name;
    CefString(&cookie.value) = value;
    CefString(&cookie.path) = L"/";
    cookie.httponly = true;
    CefCookieManager::GetGlobalManager(nullptr)->SetCookie(url, cookie, nullptr);
  }
  void GetCookies(uint32_t view, const std::wstring& url, int include_http_only) {
    Dispatch(view | client::MsgToBrowserGetCookies, {Text(url), Int(include_http_only)});
  }
};

TEST_F(HostCookiesTest, CookieTextBecomesOneCookiePerNameValuePiece) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    EXPECT_EQ(SetCookies(L"https://shop.example.test/cart?x=1", L"a=1; b = 2 ;c"), 2);
    const auto cookies = test::Cookies();
    ASSERT_EQ(cookies.size(), 2u);
    for (const auto& cookie : cookies) {
      EXPECT_EQ(cookie.domain, "shop.example.test");
      EXPECT_EQ(cookie.path, "/");
      EXPECT_FALSE(cookie.secure) << "not secure, even for https";
      EXPECT_FALSE(cookie.httponly);
      ASSERT_TRUE(cookie.has_expires);
      EXPECT_EQ(cookie.expires.year, 2099);
      EXPECT_EQ(cookie.expires.month, 11);
      EXPECT_EQ(cookie.expires.day_of_month, 30);
      EXPECT_EQ(cookie.expires.hour, 16);
      EXPECT_EQ(cookie.expires.minute, 0);
      EXPECT_EQ(cookie.expires.second, 0);
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"a=1", "b=2"}));

    struct Row {
      const wchar_t* text;
      int count;
      std::vector<std::string> stored;
    } rows[] = {
        {L"", 0, {}},
        {L";;", 0, {}},
        {L"=x", 1, {"=x"}},              // an empty name
        {L"a=b=c", 1, {"a=b"}},          // cut at the second "=", as the host has always had it
        {L" k = \t v ; k2=", 2, {"k=v", "k2="}},
    };
    for (const Row& row : rows) {
      test::ClearCookies();
      EXPECT_EQ(SetCookies(L"http://rows.test/", row.text), row.count) << row.text;
      EXPECT_EQ(Names(), row.stored) << row.text;
    }
    // A URL that does not parse: the piece still counts; the cookie manager refuses the URL.
    test::ClearCookies();
    EXPECT_EQ(SetCookies(L"not a url", L"n=1"), 1);
    EXPECT_TRUE(Names().empty());
  });
}

TEST_F(HostCookiesTest, CommandsSetDeleteAndChooseSchemes) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    test::EnableJournal();
    Dispatch(client::MsgToBrowserSetCookie, {Text(L"http://one.test/"), Text(L"a=1;b=2")});
    Dispatch(client::MsgToBrowserSetCookie, {Text(L"http://two.test/"), Text(L"c=3")});
    EXPECT_EQ(Names(), (std::vector<std::string>{"a=1", "b=2", "c=3"}));

    Dispatch(client::MsgToBrowserDeleteCookies, {Text(L"http://one.test/"), Text(L"b")});
    EXPECT_EQ(Names(), (std::vector<std::string>{"a=1", "c=3"}));
    Dispatch(client::MsgToBrowserDeleteCookies, {Text(L""), Text(L"")});
    EXPECT_TRUE(Names().empty());
    const auto deletions = test::EntriesOf("DeleteCookies");
    ASSERT_EQ(deletions.size(), 2u);
    EXPECT_EQ(deletions[0].args[0], "http://one.test/");
    EXPECT_EQ(deletions[0].args[1], "b");
    EXPECT_EQ(deletions[1].args[0], "") << "passed on as received";
    EXPECT_EQ(deletions[1].args[1], "");

    Dispatch(client::MsgToBrowserSetCookieSchemes, {Text(L"zip;file;")});
    EXPECT_EQ(test::CookieSchemes(), (std::vector<std::string>{"zip", "file", ""}));
    Dispatch(client::MsgToBrowserSetCookieSchemes, {Text(L" zip ")});
    EXPECT_EQ(test::CookieSchemes(), (std::vector<std::string>{" zip "})) << "not trimmed";
  });
}

TEST_F(HostCookiesTest, ReadsAreAnsweredOnceWithTheWholeText) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    SetCookies(L"http://read.test/", L"a=1;b=2;c=3");
    SetHttpOnlyCookie(L"http://read.test/", L"h", L"secret");
    SetCookies(L"http://other.test/", L"z=9");

    GetCookies(0x300, L"http://read.test/", 0);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostCookies, 1));
    Settle();
    auto answers = host_->EventsOf(client::MsgToHostCookies);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].view, 0x300u);
    EXPECT_EQ(answers[0].items[0].text, L"http://read.test/");
    EXPECT_EQ(answers[0].items[1].text, L"a=1;b=2;c=3;");

    host_->Clear();
    GetCookies(0x100, L"http://read.test/", 1);  // HttpOnly ones too
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostCookies, 1));
    answers = host_->EventsOf(client::MsgToHostCookies);
    EXPECT_EQ(answers[0].view, 0x100u);
    EXPECT_EQ(answers[0].items[1].text, L"a=1;b=2;c=3;h=secret;");

    host_->Clear();
    GetCookies(0x100, L"http://none.test/", 1);  // no cookies: no answer
    GetCookies(0x100, L"", 1);                   // no url: no answer
    Settle();
    test::Flush(TID_IO);
    Settle();
    EXPECT_TRUE(host_->Events().empty());
  });
}

TEST_F(HostCookiesTest, OverlappingReadsKeepTheirOwnAnswers) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    SetCookies(L"http://first.test/", L"f1=1;f2=2");
    SetCookies(L"http://second.test/", L"s1=1");
    SetHttpOnlyCookie(L"http://second.test/", L"s2", L"2");

    // Both requests wait behind a blocked IO thread, so the second arrives while the first is
    // still pending.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CefPostTask(TID_IO, new FunctionTask([release] { WaitForSingleObject(release, 10000); })));
    GetCookies(0x100, L"http://first.test/", 0);
    GetCookies(0x200, L"http://second.test/", 1);
    SetEvent(release);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostCookies, 2));
    Settle();
    CloseHandle(release);

    auto answers = host_->EventsOf(client::MsgToHostCookies);
    ASSERT_EQ(answers.size(), 2u);
    std::sort(answers.begin(), answers.end(), [](const HostEvent& a, const HostEvent& b) { return a.view < b.view; });
    EXPECT_EQ(answers[0].view, 0x100u);
    EXPECT_EQ(answers[0].items[0].text, L"http://first.test/");
    EXPECT_EQ(answers[0].items[1].text, L"f1=1;f2=2;");
    EXPECT_EQ(answers[1].view, 0x200u);
    EXPECT_EQ(answers[1].items[0].text, L"http://second.test/");
    EXPECT_EQ(answers[1].items[1].text, L"s1=1;s2=2;");
  });
}

}  // namespace
}  // namespace core_test
