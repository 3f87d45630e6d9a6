// The store's header forms, as http(s) fetches use them. No engine needs to run.
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/cookie_store.h"
#include "engine/utf.h"

namespace {

using cefengine::CookieStore;

TEST(CookieStoreHeaders, SetCookieHeadersAreAppliedAndSentBackByTheMatchingRules) {
  struct Step {
    const char* url;
    const char* set_cookie;
    bool applied;
  };
  const Step steps[] = {
      {"http://www.h.test/app/page", "sid=abc; Path=/; HttpOnly", true},
      {"http://www.h.test/docs/page.html", "pref=1", true},  // default path: /docs
      {"https://www.h.test/", "tok=s; Secure", true},
      {"http://www.h.test/", "wide=1; Domain=.h.test", true},
      {"http://www.h.test/", "bad=1; Domain=other.test", false},
      {"http://www.h.test/", "lone", true},  // no '=': a value without a name
      {"http://www.h.test/", " spaced = v 1 ; path=/x ; max-age=3600", true},
      {"http://www.h.test/", "rel=1; Path=relative", true},  // not absolute: the default path
      {"ftp://www.h.test/", "f=1", false},
      {"not a url", "n=1", false},
  };
  CookieStore store;
  for (const Step& s : steps)
    EXPECT_EQ(store.ApplySetCookieHeader(cefengine::Utf8ToWide(s.url), s.set_cookie), s.applied) << s.set_cookie;

  struct Case {
    const wchar_t* url;
    const wchar_t* header;
  };
  const Case cases[] = {
      {L"http://www.h.test/", L"sid=abc; wide=1; lone; rel=1"},
      {L"https://www.h.test/", L"sid=abc; tok=s; wide=1; lone; rel=1"},
      {L"http://www.h.test/docs/x", L"pref=1; sid=abc; wide=1; lone; rel=1"},
      {L"http://www.h.test/docsx", L"sid=abc; wide=1; lone; rel=1"},
      {L"http://www.h.test/x/y", L"spaced=v 1; sid=abc; wide=1; lone; rel=1"},
      {L"http://api.h.test/", L"wide=1"},
      {L"http://other.test/", L""},
      {L"bogus", L""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(store.CookieHeader(c.url), c.header) << std::wstring(c.url);
}

TEST(CookieStoreHeaders, MaxAgeAndExpiresDecideTheLifetime) {
  CookieStore store;
  const std::wstring url = L"http://h.test/";
  ASSERT_TRUE(store.ApplySetCookieHeader(url, "a=1"));
  ASSERT_TRUE(store.ApplySetCookieHeader(url, "b=1"));
  ASSERT_TRUE(store.ApplySetCookieHeader(url, "c=1; Expires=Thu, 01 Jan 2099 00:00:00 GMT"));
  ASSERT_TRUE(store.ApplySetCookieHeader(url, "d=1; Max-Age=600; Expires=Wed, 21 Oct 2015 07:28:00 GMT"));
  ASSERT_TRUE(store.ApplySetCookieHeader(url, "e=1; Expires=not a date"));  // ignored: a session cookie
  EXPECT_EQ(store.CookieHeader(url), L"a=1; b=1; c=1; d=1; e=1");

  // Expiry in the past removes; Max-Age wins over Expires.
  EXPECT_TRUE(store.ApplySetCookieHeader(url, "a=gone; Max-Age=0"));
  EXPECT_TRUE(store.ApplySetCookieHeader(url, "b=gone; Expires=Wed, 21 Oct 2015 07:28:00 GMT"));
  EXPECT_TRUE(store.ApplySetCookieHeader(url, "c=gone; Max-Age=-1; Expires=Thu, 01 Jan 2099 00:00:00 GMT"));
  EXPECT_EQ(store.CookieHeader(url), L"d=1; e=1");

  std::vector<cefengine::StoredCookie> all = store.All();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_TRUE(all[0].has_expires);
  time_t d_expiry;
  ASSERT_TRUE(cef_time_to_timet(&all[0].expires, &d_expiry));
  EXPECT_GT(d_expiry, time(nullptr) + 500);
  EXPECT_FALSE(all[1].has_expires);
}

TEST(CookieStoreHeaders, CookieDatesInTheUsualForms) {
  struct Case {
    const char* text;
    bool ok;
    int64_t seconds;
  };
  const Case cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},
      {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},
      {"Sun Nov  6 08:49:37 1994", true, 784111777},
      {"Thu, 01 Jan 2099 00:00:00 GMT", true, 4070908800LL},
      {"Mon, 30-Nov-2099 16:00:00 GMT", true, 4099737600LL},
      {"Wed, 31 Feb 2015 07:28:00 GMT", false, 0},
      {"Wed, 21 Foo 2015 07:28:00 GMT", false, 0},
      {"Wed, 21 Oct 2015 25:28:00 GMT", false, 0},
      {"Wed, 21 Oct 2015", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    int64_t seconds = -1;
    EXPECT_EQ(cefengine::ParseCookieDate(c.text, &seconds), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(seconds, c.seconds) << c.text;
    }
  }
}

TEST(CookieStoreHeaders, AClosedStoreHoldsNothingAndRefusesChanges) {
  CookieStore store;
  ASSERT_TRUE(store.ApplySetCookieHeader(L"http://h.test/", "a=1"));
  store.Close();
  EXPECT_FALSE(store.IsOpen());
  EXPECT_EQ(store.CookieHeader(L"http://h.test/"), L"");
  EXPECT_FALSE(store.ApplySetCookieHeader(L"http://h.test/", "b=1"));
  EXPECT_TRUE(store.All().empty());
}

}  // namespace
