#include <string>
#include <vector>

#include "include/cef_task.h"
#include "tests/cef/cookie_test_support.h"

namespace {

using namespace cookie_tests;

// 2099-11-30 16:00:00 UTC, the expiry the product gives its cookies.
const time_t kFarFuture = 4099737600;

class CookieManager : public RunningEngine {};

std::string Text(const cef_string_t& s) {
  return CefString(&s).ToString();
}

TEST_F(CookieManager, SetCookieStoresOrRefusesByTheRules) {
  struct Case {
    const char* url;
    CookieFields cookie;
    int expected;  // 1 stored, 0 refused, -2 SetCookie false
    const char* stored_domain;
    const char* stored_path;
  };
  const Case cases[] = {
      {"http://www.example.com/a", {"n", "v"}, 1, "www.example.com", "/"},
      {"http://www.example.com/", {"", "x"}, 1, "www.example.com", "/"},
      {"https://www.example.com/", {"n", "v", "example.com"}, 1, "example.com", "/"},
      {"http://www.example.com/", {"n", "v", ".Example.com"}, 1, ".Example.com", "/"},
      {"http://www.example.com/", {"n", "v", "www.example.com", "/docs"}, 1, "www.example.com", "/docs"},
      {"http://www.example.com/", {"a;b", "v"}, 0},
      {"http://www.example.com/", {"n", "v;w"}, 0},
      {"http://www.example.com/", {"n", "v\x01"}, 0},
      {"http://www.example.com/", {"n\t", "v"}, 0},
      {"http://www.example.com/", {"n", "v\x7f"}, 0},
      {"http://www.example.com/", {"a=b", "v"}, 0},
      {"http://www.example.com/", {"n", "v", "other.com"}, 0},
      {"http://www.example.com/", {"n", "v", "ample.com"}, 0},
      {"http://www.example.com/", {"n", "v", "sub.www.example.com"}, 0},
      {"http://www.example.com/", {"n", "v", "."}, 0},
      {"http://www.example.com/", {"n", "v", "", "docs"}, 0},
      {"ftp://www.example.com/", {"n", "v"}, 0},
      {"zip://package/index.html", {"n", "v"}, 0},  // not cookieable until the scheme is added
      {"not a url", {"n", "v"}, -2},
      {"", {"n", "v"}, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.url) + " " + c.cookie.name + "=" + c.cookie.value + " domain=" + c.cookie.domain);
    test::ClearCookies();
    EXPECT_EQ(SetAndWait(manager_, c.url, c.cookie), c.expected);
    std::vector<test::CookieInfo> stored = test::Cookies();
    if (c.expected != 1) {
      EXPECT_TRUE(stored.empty());
      continue;
    }
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].name, c.cookie.name);
    EXPECT_EQ(stored[0].value, c.cookie.value);
    EXPECT_EQ(stored[0].domain, c.stored_domain);
    EXPECT_EQ(stored[0].path, c.stored_path);
    EXPECT_EQ(stored[0].host_only, c.cookie.domain.empty());
  }
}

// The cookies every matching case below draws on, in insertion order.
void SetMatchFixture(CefRefPtr<CefCookieManager> manager) {
  struct Entry {
    const char* url;
    CookieFields cookie;
  };
  const Entry entries[] = {
      {"http://www.example.com/", {"host", "1"}},
      {"http://www.example.com/", {"dom", "2", "example.com"}},
      {"http://www.example.com/", {"deep", "3", "", "/docs/api"}},
      {"http://www.example.com/", {"docs", "4", "", "/docs"}},
      {"https://www.example.com/", {"sec", "5", "", "", true}},
      {"http://www.example.com/", {"ho", "6", "", "", false, true}},
      {"http://api.example.com/", {"sub", "7"}},
      {"http://example.com/", {"pdot", "8", ".example.com", "", false, false, kFarFuture}},
  };
  for (const Entry& e : entries)
    ASSERT_EQ(SetAndWait(manager, e.url, e.cookie), 1) << e.cookie.name;
}

TEST_F(CookieManager, VisitUrlCookiesMatchesHostDomainPathSecureAndHttpOnlyInOrder) {
  SetMatchFixture(manager_);
  struct Case {
    const char* url;
    bool include_http_only;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"http://www.example.com/", false, {"host", "dom", "pdot"}},
      {"http://WWW.Example.COM/page", false, {"host", "dom", "pdot"}},
      {"ws://www.example.com/", false, {"host", "dom", "pdot"}},
      {"https://www.example.com/", true, {"host", "dom", "sec", "ho", "pdot"}},
      {"http://www.example.com/", true, {"host", "dom", "ho", "pdot"}},
      // Longer path first, then insertion.
      {"http://www.example.com/docs/api/x", false, {"deep", "docs", "host", "dom", "pdot"}},
      {"http://www.example.com/docs", false, {"docs", "host", "dom", "pdot"}},
      {"http://www.example.com/docs/", false, {"docs", "host", "dom", "pdot"}},
      // Paths match at a segment boundary only.
      {"http://www.example.com/docsx", false, {"host", "dom", "pdot"}},
      {"http://www.example.com/docs/apix", false, {"docs", "host", "dom", "pdot"}},
      // Host-only cookies stay on their host; domain cookies reach sub-domains.
      {"http://example.com/", false, {"dom", "pdot"}},
      {"http://api.example.com/", false, {"dom", "sub", "pdot"}},
      {"http://a.b.example.com/", false, {"dom", "pdot"}},
      {"http://notexample.com/", false, {}},
      {"http://www.example.com.evil.test/", false, {}},
      {"ftp://www.example.com/", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.url) + (c.include_http_only ? " with HttpOnly" : ""));
    EXPECT_EQ(VisitNames(manager_, c.url, c.include_http_only), c.expected);
  }

  // Everything, secure and HttpOnly included, longer path first.
  auto log = std::make_shared<VisitLog>();
  EXPECT_TRUE(manager_->VisitAllCookies(new RecordingVisitor(log)));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(log->Names(), (std::vector<std::string>{"deep", "docs", "host", "dom", "sec", "ho", "sub", "pdot"}));
}

// Holds the IO thread in one task until released, so that work posted meanwhile runs only
// after the test dropped its own references.
class IoGate {
 public:
  IoGate() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    class Wait : public CefTask {
     public:
      explicit Wait(HANDLE event) : event_(event) {}
      void Execute() override { WaitForSingleObject(event_, 10000); }
      HANDLE event_;
      IMPLEMENT_REFCOUNTING(Wait);
    };
    EXPECT_TRUE(CefPostTask(TID_IO, new Wait(event_)));
  }
  ~IoGate() {
    Open();
    EXPECT_TRUE(test::Flush(TID_IO));
    CloseHandle(event_);
  }
  void Open() { SetEvent(event_); }

 private:
  HANDLE event_;
};

TEST_F(CookieManager, VisitorRunsOnIoWithCountsAndIsReleasedThereEvenWithoutMatches) {
  for (const char* name : {"a", "b", "c"})
    ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {name, std::string("v") + name}), 1);

  auto log = std::make_shared<VisitLog>();
  auto none = std::make_shared<VisitLog>();
  {
    IoGate gate;
    EXPECT_TRUE(manager_->VisitUrlCookies("http://h.test/", false, new RecordingVisitor(log)));
    // No match: the visitor is never called, yet the call succeeds.
    EXPECT_TRUE(manager_->VisitUrlCookies("http://other.test/", true, new RecordingVisitor(none)));
    // Only the engine holds the visitors now; their last release must come on IO.
    EXPECT_EQ(log->destroyed_on, 0);
    gate.Open();
    ASSERT_TRUE(test::WaitFor([&] { return log->destroyed_on != 0 && none->destroyed_on != 0; }));
  }
  EXPECT_EQ(log->destroyed_on, 1);
  EXPECT_EQ(none->destroyed_on, 1);
  EXPECT_TRUE(none->calls.empty());
  ASSERT_EQ(log->calls.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(log->calls[i].count, i);
    EXPECT_EQ(log->calls[i].total, 3);
    EXPECT_TRUE(log->calls[i].on_io);
  }
  EXPECT_EQ(Text(log->calls[2].cookie.value), "vc");

  // An invalid URL fails at once.
  auto bad = std::make_shared<VisitLog>();
  EXPECT_FALSE(manager_->VisitUrlCookies("no url here", false, new RecordingVisitor(bad)));
  EXPECT_FALSE(manager_->VisitUrlCookies("", false, new RecordingVisitor(bad)));
  EXPECT_TRUE(bad->calls.empty());
}

TEST_F(CookieManager, VisitorDeletesFromInsideVisitAndStopsWhenItReturnsFalse) {
  for (const char* name : {"a", "b", "c", "d"})
    ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {name, "v"}), 1);

  // Deleting "b" mid-visit neither skips nor repeats a cookie.
  auto log = std::make_shared<VisitLog>();
  EXPECT_TRUE(manager_->VisitUrlCookies("http://h.test/", false, new RecordingVisitor(log, {"b"})));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(log->Names(), (std::vector<std::string>{"a", "b", "c", "d"}));
  std::vector<std::string> left;
  for (const test::CookieInfo& c : test::Cookies())
    left.push_back(c.name);
  EXPECT_EQ(left, (std::vector<std::string>{"a", "c", "d"}));

  // Returning false at count 1 ends the visit there; the cookie of that call is still deleted.
  auto stopped = std::make_shared<VisitLog>();
  EXPECT_TRUE(manager_->VisitAllCookies(new RecordingVisitor(stopped, {"c"}, 1)));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(stopped->Names(), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(stopped->calls[1].total, 3);
  EXPECT_EQ(VisitNames(manager_, "http://h.test/", false), (std::vector<std::string>{"a", "d"}));
}

// The engine holds no lock while the visitor runs, so the visitor may use the manager; the
// visit itself goes on over the snapshot it started with.
TEST_F(CookieManager, AVisitorMayUseTheManagerFromInsideVisit) {
  class ReentrantVisitor : public CefCookieVisitor {
   public:
    bool Visit(const CefCookie& cookie, int count, int total, bool& deleteCookie) override {
      CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
      std::string name = CefString(&cookie.name).ToString();
      seen += name;
      set_ok = set_ok && manager->SetCookie("http://h.test/", MakeCookie({name + name, "v"}), nullptr);
      delete_ok = delete_ok && manager->DeleteCookies("http://h.test/", name, nullptr);
      nested_visit_ok = nested_visit_ok && manager->VisitAllCookies(new RecordingVisitor(nested));
      return true;
    }
    std::string seen;
    bool set_ok = true, delete_ok = true, nested_visit_ok = true;
    std::shared_ptr<VisitLog> nested = std::make_shared<VisitLog>();
    IMPLEMENT_REFCOUNTING(ReentrantVisitor);
  };
  for (const char* name : {"a", "b"})
    ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {name, "v"}), 1);
  CefRefPtr<ReentrantVisitor> visitor = new ReentrantVisitor();
  ASSERT_TRUE(manager_->VisitUrlCookies("http://h.test/", false, visitor.get()));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(visitor->seen, "ab");
  EXPECT_TRUE(visitor->set_ok);
  EXPECT_TRUE(visitor->delete_ok);
  EXPECT_TRUE(visitor->nested_visit_ok);
  std::vector<std::string> left;
  for (const test::CookieInfo& c : test::Cookies())
    left.push_back(c.name);
  EXPECT_EQ(left, (std::vector<std::string>{"aa", "bb"}));
  // Nested visits started on IO ran inside the outer Visit calls, each over the store as it
  // was then: "b", "aa" after the first call; "aa", "bb" after the second.
  EXPECT_EQ(visitor->nested->Names(), (std::vector<std::string>{"b", "aa", "aa", "bb"}));
}

// Cookies set from several threads at once all arrive, and a visit running meanwhile sees a
// consistent snapshot (its total never changes within the visit).
TEST_F(CookieManager, CookiesSetFromManyThreadsAtOnceAreAllStored) {
  const int kThreads = 4, kEach = 50;
  struct Worker {
    static DWORD WINAPI Run(LPVOID param) {
      int index = static_cast<int>(reinterpret_cast<INT_PTR>(param));
      CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
      for (int i = 0; i < kEach; ++i) {
        std::string name = "t" + std::to_string(index) + "_" + std::to_string(i);
        if (!manager->SetCookie("http://h.test/", MakeCookie({name, "v"}), nullptr))
          return 1;
      }
      return 0;
    }
  };
  HANDLE threads[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    threads[t] = CreateThread(nullptr, 0, &Worker::Run, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(t)), 0, nullptr);
    ASSERT_TRUE(threads[t]);
  }
  std::vector<std::shared_ptr<VisitLog>> visits;
  for (int v = 0; v < 20; ++v) {
    visits.push_back(std::make_shared<VisitLog>());
    EXPECT_TRUE(manager_->VisitUrlCookies("http://h.test/", false, new RecordingVisitor(visits.back())));
  }
  ASSERT_EQ(WaitForMultipleObjects(kThreads, threads, TRUE, 10000), WAIT_OBJECT_0);
  for (HANDLE h : threads) {
    DWORD code = 99;
    GetExitCodeThread(h, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(h);
  }
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(test::Cookies().size(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(VisitNames(manager_, "http://h.test/", false).size(), static_cast<size_t>(kThreads * kEach));
  for (const auto& log : visits) {
    for (size_t i = 0; i < log->calls.size(); ++i) {
      EXPECT_EQ(log->calls[i].count, static_cast<int>(i));
      EXPECT_EQ(log->calls[i].total, static_cast<int>(log->calls.size()));
    }
  }
}

TEST_F(CookieManager, ReplacingKeepsThePlaceAndTimesAreKeptAsGiven) {
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"a", "1"}), 1);
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"b", "2"}), 1);
  CefCookie again = MakeCookie({"a", "new"});
  cef_time_from_timet(981173106, &again.creation);  // 2001-02-03 04:05:06
  cef_time_from_timet(981173107, &again.last_access);
  ASSERT_TRUE(manager_->SetCookie("http://h.test/", again, nullptr));

  auto log = std::make_shared<VisitLog>();
  ASSERT_TRUE(manager_->VisitUrlCookies("http://h.test/", false, new RecordingVisitor(log)));
  ASSERT_TRUE(test::Flush(TID_IO));
  ASSERT_EQ(log->Names(), (std::vector<std::string>{"a", "b"}));
  const CefCookie& a = log->calls[0].cookie;
  EXPECT_EQ(Text(a.value), "new");
  EXPECT_EQ(a.creation.year, 2001);
  EXPECT_EQ(a.creation.second, 6);
  EXPECT_EQ(a.last_access.second, 7);
  EXPECT_EQ(log->calls[1].cookie.creation.year, 0);  // zeros stay zeros

  // The same name on another path is another cookie.
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"a", "p", "", "/p"}), 1);
  EXPECT_EQ(test::Cookies().size(), 3u);
}

TEST_F(CookieManager, ExpiredCookiesAreNeverSeenAndAPastExpiryDeletes) {
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"keep", "1", "", "", false, false, kFarFuture}), 1);
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"drop", "1"}), 1);
  // A past expiry is accepted and removes the cookie of that name, domain and path.
  EXPECT_EQ(SetAndWait(manager_, "http://h.test/", {"drop", "2", "", "", false, false, 1000}), 1);
  EXPECT_EQ(SetAndWait(manager_, "http://h.test/", {"never", "2", "", "", false, false, 1000}), 1);
  EXPECT_EQ(VisitNames(manager_, "http://h.test/", true), (std::vector<std::string>{"keep"}));

  // A cookie that expires while stored disappears from visits.
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"brief", "1", "", "", false, false, time(nullptr) + 1}), 1);
  EXPECT_TRUE(test::WaitFor([] { return test::Cookies().size() == 1; }, 5000));
  EXPECT_EQ(VisitNames(manager_, "http://h.test/", true), (std::vector<std::string>{"keep"}));
}

// "name@domain/path", with "host:" before the domain of a host-only cookie.
std::string Label(const test::CookieInfo& c) {
  return c.name + "@" + (c.host_only ? "host:" : "") + c.domain + (c.path == "/" ? "" : c.path);
}

TEST_F(CookieManager, DeleteCookiesFollowsTheUrlAndNameRules) {
  struct Entry {
    const char* url;
    CookieFields cookie;
  };
  const Entry fixture[] = {
      {"http://www.example.com/", {"a", "1"}},                     // a@host:www.example.com
      {"http://www.example.com/", {"b", "1", "", "/x"}},           // b@host:www.example.com/x
      {"http://www.example.com/", {"a", "1", "example.com"}},      // a@example.com
      {"http://www.example.com/", {"a", "1", ".example.com"}},     // a@.example.com
      {"http://www.example.com/", {"c", "1", "www.example.com"}},  // c@www.example.com
      {"http://other.test/", {"a", "1"}},                          // a@host:other.test
  };
  const std::vector<std::string> all = {"a@host:www.example.com", "b@host:www.example.com/x", "a@example.com",
                                        "a@.example.com",         "c@www.example.com",         "a@host:other.test"};
  struct Case {
    const char* url;
    const char* name;
    bool returns;
    int deleted;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"", "", true, 6, {}},
      {"", "a", true, 6, {}},  // no url: every cookie, whatever the name
      // The host's own cookies, whatever their path; those of parent domains stay.
      {"http://www.example.com/any", "", true, 3, {"a@example.com", "a@.example.com", "a@host:other.test"}},
      {"http://example.com/", "", true, 1,
       {"a@host:www.example.com", "b@host:www.example.com/x", "a@.example.com", "c@www.example.com",
        "a@host:other.test"}},
      // With a name: every cookie of that name the host sees.
      {"http://www.example.com/", "a", true, 3, {"b@host:www.example.com/x", "c@www.example.com", "a@host:other.test"}},
      {"https://api.example.com/", "a", true, 2,
       {"a@host:www.example.com", "b@host:www.example.com/x", "c@www.example.com", "a@host:other.test"}},
      {"http://www.example.com/", "zzz", true, 0, all},
      {"no url", "", false, -1, all},
  };

  class DeleteResult : public CefDeleteCookiesCallback {
   public:
    void OnComplete(int num_deleted) override {
      on_io = CefCurrentlyOn(TID_IO);
      deleted = num_deleted;
    }
    std::atomic<int> deleted{-1};
    std::atomic<bool> on_io{false};
    IMPLEMENT_REFCOUNTING(DeleteResult);
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("url=\"") + c.url + "\" name=\"" + c.name + "\"");
    test::ClearCookies();
    for (const Entry& e : fixture)
      ASSERT_EQ(SetAndWait(manager_, e.url, e.cookie), 1);
    std::vector<std::string> before;
    for (const test::CookieInfo& info : test::Cookies())
      before.push_back(Label(info));
    ASSERT_EQ(before, all);

    CefRefPtr<DeleteResult> done = new DeleteResult();
    EXPECT_EQ(manager_->DeleteCookies(c.url, c.name, done.get()), c.returns);
    if (c.returns) {
      ASSERT_TRUE(test::WaitFor([&] { return done->deleted >= 0; }));
      EXPECT_EQ(done->deleted, c.deleted);
      EXPECT_TRUE(done->on_io);
    } else {
      ASSERT_TRUE(test::Flush(TID_IO));
      EXPECT_EQ(done->deleted, -1);
    }
    std::vector<std::string> left;
    for (const test::CookieInfo& info : test::Cookies())
      left.push_back(Label(info));
    EXPECT_EQ(left, c.left);
  }
}

TEST_F(CookieManager, SupportedSchemesAreKeptAsGivenAndDecideWhatIsStored) {
  EXPECT_EQ(SetAndWait(manager_, "zip://package/index.html", {"z", "1"}), 0);

  class Done : public CefCompletionCallback {
   public:
    void OnComplete() override { on_io = CefCurrentlyOn(TID_IO) ? 1 : 2; }
    std::atomic<int> on_io{0};
    IMPLEMENT_REFCOUNTING(Done);
  };
  CefRefPtr<Done> done = new Done();
  // The product splits "zip;file;" at ';': three entries, the last empty.
  manager_->SetSupportedSchemes({"zip", "file", ""}, done.get());
  EXPECT_EQ(test::CookieSchemes(), (std::vector<std::string>{"zip", "file", ""}));
  ASSERT_TRUE(test::WaitFor([&] { return done->on_io != 0; }));
  EXPECT_EQ(done->on_io, 1);

  // Non-standard URLs have no host: their cookies carry an empty domain and match every URL
  // without a host.
  ASSERT_EQ(SetAndWait(manager_, "zip://package/index.html", {"z", "1"}), 1);
  ASSERT_EQ(SetAndWait(manager_, "file:///C:/pages/a.html", {"f", "2"}), 1);
  std::vector<test::CookieInfo> stored = test::Cookies();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].domain, "");
  EXPECT_EQ(stored[0].path, "/");
  EXPECT_EQ(VisitNames(manager_, "zip://other/page.html", false), (std::vector<std::string>{"z", "f"}));
  EXPECT_EQ(VisitNames(manager_, "ZIP:relative", false), (std::vector<std::string>{"z", "f"}));
  EXPECT_EQ(VisitNames(manager_, "http://package/", false), std::vector<std::string>());
  // A domain cannot be given for a URL without a host.
  EXPECT_EQ(SetAndWait(manager_, "zip://package/index.html", {"z", "1", "package"}), 0);

  // The list replaces the previous one; the http family needs no entry.
  manager_->SetSupportedSchemes({}, nullptr);
  EXPECT_TRUE(test::CookieSchemes().empty());
  EXPECT_EQ(VisitNames(manager_, "zip://other/page.html", false), std::vector<std::string>());
  EXPECT_EQ(SetAndWait(manager_, "wss://h.test/", {"w", "1"}), 1);
}

// The product's road: schemes and cookies set on the main thread, then a task on the IO thread
// visits and sees them within its own call.
TEST_F(CookieManager, CookiesSetOnTheMainThreadAreVisibleToAnIoTaskAtOnce) {
  class VisitTask : public CefTask, public CefCookieVisitor {
   public:
    void Execute() override {
      visiting = true;
      CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
      accepted = manager && manager->VisitUrlCookies("zip://pkg/index.html", false, this);
      visiting = false;
      finished = true;
    }
    bool Visit(const CefCookie& cookie, int count, int total, bool& deleteCookie) override {
      text += CefString(&cookie.name).ToString() + "=" + CefString(&cookie.value).ToString() + ";";
      if (count == total - 1)
        answered_inside_call = visiting;
      return true;
    }
    std::string text;
    bool visiting = false, accepted = false, answered_inside_call = false;
    std::atomic<bool> finished{false};
    IMPLEMENT_REFCOUNTING(VisitTask);
  };

  CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
  manager->SetSupportedSchemes({"zip", "file", ""}, nullptr);
  for (const char* pair : {"a=1", "b=2", "c=3"}) {
    CefCookie cookie = MakeCookie({std::string(1, pair[0]), pair + 2, "", "/", false, false, kFarFuture});
    EXPECT_TRUE(manager->SetCookie("zip://pkg/index.html", cookie, nullptr));
  }
  CefRefPtr<VisitTask> task = new VisitTask();
  ASSERT_TRUE(CefPostTask(TID_IO, task.get()));
  ASSERT_TRUE(test::WaitFor([&] { return task->finished.load(); }));
  EXPECT_TRUE(task->accepted);
  EXPECT_TRUE(task->answered_inside_call);
  EXPECT_EQ(task->text, "a=1;b=2;c=3;");
}

TEST_F(CookieManager, CompletionCallbacksRunOnIoAfterTheOperation) {
  struct Seen {
    std::atomic<int> calls{0};
    std::atomic<int> off_io{0};
    void Hit() {
      if (!CefCurrentlyOn(TID_IO))
        ++off_io;
      ++calls;
    }
  };
  test::EnableJournal();
  auto seen = std::make_shared<Seen>();
  class Done : public CefCompletionCallback {
   public:
    explicit Done(std::shared_ptr<Seen> s, bool expect_cookie) : s_(std::move(s)), expect_cookie_(expect_cookie) {}
    void OnComplete() override {
      // The flush completes after the cookie set before it is in the store.
      if (expect_cookie_ && test::Cookies().empty())
        ++s_->off_io;
      s_->Hit();
    }
    std::shared_ptr<Seen> s_;
    bool expect_cookie_;
    IMPLEMENT_REFCOUNTING(Done);
  };

  EXPECT_TRUE(CefCookieManager::GetGlobalManager(new Done(seen, false)));
  EXPECT_TRUE(manager_->SetCookie("http://h.test/", MakeCookie({"a", "1"}), nullptr));
  EXPECT_TRUE(manager_->FlushStore(new Done(seen, true)));
  manager_->SetSupportedSchemes({"zip"}, new Done(seen, false));
  ASSERT_TRUE(test::WaitFor([&] { return seen->calls == 3; }));
  EXPECT_EQ(seen->off_io, 0);
  EXPECT_EQ(test::EntriesOf("OnComplete").size(), 3u);
  for (const auto& entry : test::EntriesOf("OnComplete"))
    EXPECT_EQ(entry.thread, "IO");
}

TEST_F(CookieManager, ChangesAndVisitsAreJournaledWhereTheyHappen) {
  test::EnableJournal();
  test::ClearJournal();
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/p", {"a", "1", "h.test", "/p"}), 1);
  EXPECT_EQ(SetAndWait(manager_, "http://h.test/", {"b;", "1"}), 0);
  ASSERT_EQ(VisitNames(manager_, "http://h.test/p", false), std::vector<std::string>{"a"});
  EXPECT_TRUE(manager_->DeleteCookies("http://h.test/", "a", nullptr));
  manager_->SetSupportedSchemes({"zip", ""}, nullptr);

  auto sets = test::EntriesOf("SetCookie");
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[0].thread, "main");
  EXPECT_EQ(sets[0].args, (std::vector<std::string>{"http://h.test/p", "a", "1", "h.test", "/p", "true"}));
  EXPECT_EQ(sets[1].args.back(), "false");
  auto visits = test::EntriesOf("Visit");
  ASSERT_EQ(visits.size(), 1u);
  EXPECT_EQ(visits[0].thread, "IO");
  EXPECT_EQ(visits[0].args, (std::vector<std::string>{"a", "0", "1"}));
  auto deletes = test::EntriesOf("DeleteCookies");
  ASSERT_EQ(deletes.size(), 1u);
  EXPECT_EQ(deletes[0].args, (std::vector<std::string>{"http://h.test/", "a", "1"}));
  auto schemes = test::EntriesOf("SetSupportedSchemes");
  ASSERT_EQ(schemes.size(), 1u);
  EXPECT_EQ(schemes[0].args, (std::vector<std::string>{"zip", ""}));
  EXPECT_TRUE(test::ExpectOrder({"SetCookie", "SetCookie", "VisitUrlCookies", "Visit", "DeleteCookies"}));
}

TEST_F(CookieManager, AfterShutdownThereIsNoManagerAndAKeptOneFails) {
  ASSERT_EQ(SetAndWait(manager_, "http://h.test/", {"a", "1"}), 1);
  manager_->SetSupportedSchemes({"zip"}, nullptr);
  CefRefPtr<CefCookieManager> kept = manager_;
  Stop();

  EXPECT_FALSE(CefCookieManager::GetGlobalManager(nullptr));
  // Using a kept manager is misuse: reported (fatal in strict mode), and every call fails.
  auto log = std::make_shared<VisitLog>();
  {
    MisuseCapture misuse;
    EXPECT_FALSE(kept->SetCookie("http://h.test/", MakeCookie({"b", "2"}), nullptr));
    EXPECT_FALSE(kept->VisitAllCookies(new RecordingVisitor(log)));
    EXPECT_FALSE(kept->VisitUrlCookies("http://h.test/", true, new RecordingVisitor(log)));
    EXPECT_FALSE(kept->DeleteCookies("", "", nullptr));
    EXPECT_FALSE(kept->FlushStore(nullptr));
    ASSERT_EQ(misuse.reports.size(), 5u);
    EXPECT_NE(misuse.reports[0].find("CefCookieManager::SetCookie after shutdown"), std::string::npos)
        << misuse.reports[0];
  }
  EXPECT_TRUE(log->calls.empty());
  EXPECT_TRUE(test::Cookies().empty());

  // A new start begins with an empty store and no extra schemes; the old manager stays dead.
  ASSERT_TRUE(Start());
  EXPECT_NE(manager_.get(), kept.get());
  EXPECT_TRUE(test::Cookies().empty());
  EXPECT_TRUE(test::CookieSchemes().empty());
  {
    MisuseCapture misuse;
    EXPECT_FALSE(kept->SetCookie("http://h.test/", MakeCookie({"b", "2"}), nullptr));
    EXPECT_EQ(misuse.reports.size(), 1u);
  }
  EXPECT_TRUE(test::Cookies().empty());
}

}  // namespace
