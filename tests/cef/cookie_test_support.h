// Shared pieces of the cookie and request-context tests: a running engine, cookie builders and
// a visitor that records what it saw and on which thread it ran and died.
#ifndef TESTS_CEF_COOKIE_TEST_SUPPORT_H_
#define TESTS_CEF_COOKIE_TEST_SUPPORT_H_

#include <windows.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "include/cef_cookie.h"
#include "testing/cefengine_testing.h"
#include "testing/cookie_testing.h"

namespace cookie_tests {

namespace test = cefengine::test;

// Starts the engine for each test and shuts it down afterwards (unless the test did).
class RunningEngine : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Start()); }
  void TearDown() override {
    manager_ = nullptr;
    if (running_)
      CefShutdown();
  }
  bool Start(const std::wstring& cache_path = std::wstring()) {
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    if (!cache_path.empty())
      CefString(&settings.cache_path) = cache_path;
    running_ = CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr);
    manager_ = running_ ? CefCookieManager::GetGlobalManager(nullptr) : nullptr;
    return running_ && manager_;
  }
  void Stop() {
    CefShutdown();
    running_ = false;
  }

  CefRefPtr<CefCookieManager> manager_;
  bool running_ = false;
};

// While alive, misuse is fatal (strict mode) and the fatal reports are collected instead of
// ending the process; restores both afterwards.
class MisuseCapture {
 public:
  MisuseCapture() {
    had_strict_ = GetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", previous_, 8) > 0;
    SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", L"1");
    test::SetFatalHandler([this](const std::string& message) { reports.push_back(message); });
  }
  ~MisuseCapture() {
    test::SetFatalHandler(nullptr);
    SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", had_strict_ ? previous_ : nullptr);
  }
  MisuseCapture(const MisuseCapture&) = delete;
  MisuseCapture& operator=(const MisuseCapture&) = delete;

  std::vector<std::string> reports;

 private:
  wchar_t previous_[8] = L"";
  bool had_strict_ = false;
};

struct CookieFields {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
  bool secure = false;
  bool httponly = false;
  time_t expires = 0;  // 0: a session cookie
};

inline CefCookie MakeCookie(const CookieFields& fields) {
  CefCookie cookie;
  CefString(&cookie.name) = fields.name;
  CefString(&cookie.value) = fields.value;
  CefString(&cookie.domain) = fields.domain;
  CefString(&cookie.path) = fields.path;
  cookie.secure = fields.secure;
  cookie.httponly = fields.httponly;
  if (fields.expires) {
    cookie.has_expires = 1;
    cef_time_from_timet(fields.expires, &cookie.expires);
  }
  return cookie;
}

// What a visitor saw. Written on the IO thread; read by the test after a Flush(TID_IO).
struct VisitLog {
  struct Call {
    CefCookie cookie;
    int count;
    int total;
    bool on_io;
  };
  std::mutex mutex;
  std::vector<Call> calls;
  std::atomic<int> destroyed_on{0};  // 0 alive, 1 on IO, 2 elsewhere

  std::vector<std::string> Names() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::string> names;
    for (const Call& c : calls)
      names.push_back(CefString(&c.cookie.name).ToString());
    return names;
  }
};

class RecordingVisitor : public CefCookieVisitor {
 public:
  explicit RecordingVisitor(std::shared_ptr<VisitLog> log, std::set<std::string> delete_names = {},
                            int stop_at = -1)
      : log_(std::move(log)), delete_names_(std::move(delete_names)), stop_at_(stop_at) {}
  ~RecordingVisitor() override { log_->destroyed_on = CefCurrentlyOn(TID_IO) ? 1 : 2; }

  bool Visit(const CefCookie& cookie, int count, int total, bool& deleteCookie) override {
    {
      std::lock_guard<std::mutex> lock(log_->mutex);
      log_->calls.push_back({cookie, count, total, CefCurrentlyOn(TID_IO)});
    }
    deleteCookie = delete_names_.count(CefString(&cookie.name).ToString()) != 0;
    return count != stop_at_;
  }

 private:
  std::shared_ptr<VisitLog> log_;
  std::set<std::string> delete_names_;
  int stop_at_;
  IMPLEMENT_REFCOUNTING(RecordingVisitor);
};

// Visits `url` and waits until the visit ran; the names seen, in order.
inline std::vector<std::string> VisitNames(CefRefPtr<CefCookieManager> manager, const std::string& url,
                                           bool include_http_only) {
  auto log = std::make_shared<VisitLog>();
  EXPECT_TRUE(manager->VisitUrlCookies(url, include_http_only, new RecordingVisitor(log)));
  EXPECT_TRUE(test::Flush(TID_IO));
  return log->Names();
}

// Records a SetCookie completion and the thread it came on.
class SetCookieResult : public CefSetCookieCallback {
 public:
  void OnComplete(bool success) override {
    on_io = CefCurrentlyOn(TID_IO);
    result = success ? 1 : 0;
  }
  std::atomic<int> result{-1};
  std::atomic<bool> on_io{false};
  IMPLEMENT_REFCOUNTING(SetCookieResult);
};

// Sets a cookie and waits for its completion: 1 stored, 0 refused, -2 when SetCookie returned
// false, -1 when no completion came.
inline int SetAndWait(CefRefPtr<CefCookieManager> manager, const std::string& url, const CookieFields& fields) {
  CefRefPtr<SetCookieResult> done = new SetCookieResult();
  if (!manager->SetCookie(url, MakeCookie(fields), done.get()))
    return -2;
  if (!test::WaitFor([&] { return done->result >= 0; }))
    return -1;
  EXPECT_TRUE(done->on_io);
  return done->result;
}

}  // namespace cookie_tests

#endif  // TESTS_CEF_COOKIE_TEST_SUPPORT_H_
