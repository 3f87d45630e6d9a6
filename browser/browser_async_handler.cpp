#include "browser/browser_async_handler.h"

#include <algorithm>
#include <string>

namespace browser_aysnc_handler {

namespace {

const char kBindingTest[] = "BindingTest";
const size_t kBindingTestLength = sizeof(kBindingTest) - 1;
// The answer starts after the name and one more character (normally ":").
const size_t kAnswerOffset = kBindingTestLength + 1;

class BrowserAsyncHandler : public CefMessageRouterBrowserSide::Handler {
 public:
  BrowserAsyncHandler() {}

  // CEF's UI thread.
  bool OnQuery(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id, const CefString& request,
               bool persistent, CefRefPtr<Callback> callback) override {
    const std::string text = request.ToString();
    if (text.size() < kBindingTestLength || text.find(kBindingTest) != 0) return false;

    // "BindingTest" with nothing after it has nothing to reverse: an empty answer.
    std::string result = text.size() > kAnswerOffset ? text.substr(kAnswerOffset) : std::string();
    std::reverse(result.begin(), result.end());
    callback->Success(result);
    return true;
  }
};

}  // namespace

void CreateMessageHandlers(std::set<CefMessageRouterBrowserSide::Handler*>& handlers) {
  handlers.insert(new BrowserAsyncHandler());
}

}  // namespace browser_aysnc_handler
