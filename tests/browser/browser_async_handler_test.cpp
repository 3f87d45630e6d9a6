// The binding-test query handler, through the set the client handler gets.
#include "browser/browser_async_handler.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

class RecordingCallback : public CefMessageRouterBrowserSide::Callback {
 public:
  void Success(const CefString& response) override {
    ++successes;
    answer = response.ToWString();
  }
  void Failure(int error_code, const CefString& error_message) override { ++failures; }
  int successes = 0;
  int failures = 0;
  std::wstring answer;

 private:
  IMPLEMENT_REFCOUNTING(RecordingCallback);
};

TEST(BrowserAsyncHandler, AnswersOnlyTheBindingTest) {
  std::set<CefMessageRouterBrowserSide::Handler*> handlers;
  browser_aysnc_handler::CreateMessageHandlers(handlers);
  ASSERT_EQ(handlers.size(), 1u);
  std::unique_ptr<CefMessageRouterBrowserSide::Handler> handler(*handlers.begin());

  struct Case {
    std::wstring request;
    bool handled;
    std::wstring answer;
  } cases[] = {
      {L"BindingTest:abc", true, L"cba"},
      {L"BindingTest:", true, L""},
      {L"BindingTestXabc", true, L"cba"},  // the character after the name is skipped, whatever it is
      {L"BindingTest", true, L""},         // nothing after the name: an empty answer
      {L"BindingTest:a", true, L"a"},
      {L"xBindingTest:abc", false, L""},
      {L"bindingtest:abc", false, L""},
      {L"Binding", false, L""},
      {L"", false, L""},
  };
  for (const Case& c : cases) {
    CefRefPtr<RecordingCallback> callback = new RecordingCallback();
    EXPECT_EQ(handler->OnQuery(nullptr, nullptr, 1, c.request, false, callback.get()), c.handled) << c.request;
    EXPECT_EQ(callback->successes, c.handled ? 1 : 0) << c.request;
    EXPECT_EQ(callback->failures, 0) << c.request;
    EXPECT_EQ(callback->answer, c.answer) << c.request;
  }
}

}  // namespace
