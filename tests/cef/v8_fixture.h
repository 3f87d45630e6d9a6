// Shared pieces of the script value tests: the test thread plays the renderer's main thread.
#ifndef TESTS_CEF_V8_FIXTURE_H_
#define TESTS_CEF_V8_FIXTURE_H_

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/task_threads.h"
#include "engine/v8_context.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_v8.h"
#include "testing/cefengine_testing.h"

namespace v8test {

// A CefV8Handler whose behaviour the test gives as a function; counts its calls.
class ScriptedHandler : public CefV8Handler {
 public:
  typedef std::function<bool(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
                             CefRefPtr<CefV8Value>& retval, CefString& exception)>
      Body;
  explicit ScriptedHandler(Body body, int* destroyed = nullptr) : body_(std::move(body)), destroyed_(destroyed) {}
  ~ScriptedHandler() override {
    if (destroyed_)
      ++*destroyed_;
  }
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    ++calls;
    return body_ ? body_(name, object, arguments, retval, exception) : false;
  }
  int calls = 0;

 private:
  Body body_;
  int* destroyed_;
  IMPLEMENT_REFCOUNTING(ScriptedHandler);
};

// The test's thread serves TID_RENDERER; contexts left over are released at the end.
class RendererThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cefengine::AdoptCurrentThread(TID_RENDERER));
    cefengine::test::EnableJournal();
  }
  void TearDown() override {
    for (int64 id : cefengine::LiveContextIds(0))
      cefengine::ReleaseFrameContext(id);
    cefengine::StopThread(TID_RENDERER, 1000);
    cefengine::test::EnableJournal(false);
  }
  CefRefPtr<CefV8Context> NewContext(CefRefPtr<CefBrowser> browser = nullptr, CefRefPtr<CefFrame> frame = nullptr) {
    CefRefPtr<CefV8Context> context = cefengine::CreateFrameContext(next_id_++, browser, frame);
    EXPECT_TRUE(context);
    return context;
  }

 private:
  int64 next_id_ = 100;
};

// Keeps a context entered for a scope.
class Entered : public cefengine::ScopedContextEntry {
 public:
  using cefengine::ScopedContextEntry::ScopedContextEntry;
  bool ok() const { return entered(); }
};

}  // namespace v8test

#endif  // TESTS_CEF_V8_FIXTURE_H_
