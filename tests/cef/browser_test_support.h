// A client for browser tests: it records every callback it gets (with the thread it came on) and answers as the test
// configures it.
#ifndef TESTS_CEF_BROWSER_TEST_SUPPORT_H_
#define TESTS_CEF_BROWSER_TEST_SUPPORT_H_

#include <windows.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "testing/browser_testing.h"
#include "testing/cefengine_testing.h"

namespace browser_test {

namespace test = cefengine::test;

inline std::string Narrow(const CefString& text) {
  return text.ToString();
}

class TestClient : public CefClient,
                   public CefLifeSpanHandler,
                   public CefLoadHandler,
                   public CefDisplayHandler,
                   public CefRequestHandler {
 public:
  // Answers.
  bool do_close_result = false;
  std::function<bool(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, CefRefPtr<CefRequest>, bool)> before_browse;
  std::function<bool(const std::string& url, CefWindowInfo&, CefRefPtr<CefClient>&, CefBrowserSettings&)> before_popup;
  bool open_url_from_tab_result = false;
  bool process_message_result = true;
  std::function<void(CefRefPtr<CefBrowser>)> after_created;
  std::function<void(CefRefPtr<CefBrowser>)> before_close;
  std::function<void(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame>, int)> load_end;

  // What happened.
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // Events whose text starts with `prefix`.
  std::vector<std::string> EventsStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : Events())
      if (e.compare(0, prefix.size(), prefix) == 0)
        out.push_back(e);
    return out;
  }
  int Count(const std::string& prefix) { return static_cast<int>(EventsStartingWith(prefix).size()); }
  void ClearEvents() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }
  int off_ui_calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return off_ui_;
  }
  std::vector<CefRefPtr<CefBrowser>> Created() {
    std::lock_guard<std::mutex> lock(mutex_);
    return created_;
  }
  CefRefPtr<CefBrowser> CreatedAt(size_t index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < created_.size() ? created_[index] : nullptr;
  }
  bool WaitCreated(size_t count) {
    return test::WaitFor([&]() { return Created().size() >= count; });
  }
  bool WaitEvent(const std::string& prefix, int count = 1) {
    return test::WaitFor([&]() { return Count(prefix) >= count; });
  }

  // CefClient
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    std::string text = "Message " + Narrow(message->GetName());
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    for (size_t i = 0; i < args->GetSize(); ++i)
      text += " " + (args->GetType(i) == VTYPE_INT ? std::to_string(args->GetInt(i)) : Narrow(args->GetString(i)));
    text += source_process == PID_RENDERER ? " from-renderer" : " from-?";
    text += message->IsReadOnly() ? " ro" : " rw";
    Add(text);
    return process_message_result;
  }

  // CefLifeSpanHandler
  bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                     const CefString& target_frame_name, cef_window_open_disposition_t target_disposition, bool user_gesture,
                     const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo, CefRefPtr<CefClient>& client,
                     CefBrowserSettings& settings, bool* no_javascript_access) override {
    Add("OnBeforePopup " + Narrow(target_url) + " name=" + Narrow(target_frame_name) +
        " disp=" + std::to_string(target_disposition) + (user_gesture ? " gesture" : " nogesture") +
        (*no_javascript_access ? " nojs" : " js") + (client.get() == this ? " sameclient" : " otherclient") +
        (windowInfo.parent_window ? " parent" : " noparent"));
    return before_popup ? before_popup(Narrow(target_url), windowInfo, client, settings) : false;
  }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      created_.push_back(browser);
    }
    Add("OnAfterCreated " + std::to_string(browser->GetIdentifier()));
    if (after_created)
      after_created(browser);
  }
  bool DoClose(CefRefPtr<CefBrowser> browser) override {
    Add("DoClose " + std::to_string(browser->GetIdentifier()));
    return do_close_result;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override {
    HWND hwnd = browser->GetHost()->GetWindowHandle();
    Add("OnBeforeClose " + std::to_string(browser->GetIdentifier()) + (hwnd ? " hwnd" : " nohwnd"));
    if (before_close)
      before_close(browser);
  }

  // CefLoadHandler
  void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack,
                            bool canGoForward) override {
    Add(std::string("OnLoadingStateChange ") + (isLoading ? "true" : "false") + (canGoBack ? " back" : "") +
        (canGoForward ? " forward" : ""));
  }
  void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override {
    Add("OnLoadStart " + FrameTag(frame));
  }
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override {
    Add("OnLoadEnd " + FrameTag(frame) + " " + std::to_string(httpStatusCode));
    if (load_end)
      load_end(browser, frame, httpStatusCode);
  }
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode errorCode,
                   const CefString& errorText, const CefString& failedUrl) override {
    Add("OnLoadError " + FrameTag(frame) + " " + std::to_string(errorCode) + " " + Narrow(errorText) + " " +
        Narrow(failedUrl) + " frame-url=" + Narrow(frame->GetURL()));
  }

  // CefDisplayHandler
  void OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& url) override {
    Add("OnAddressChange " + FrameTag(frame) + " " + Narrow(url));
  }
  void OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) override {
    Add("OnTitleChange " + Narrow(title));
  }

  // CefRequestHandler
  bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                      bool is_redirect) override {
    Add("OnBeforeBrowse " + FrameTag(frame) + " " + Narrow(request->GetURL()) + (is_redirect ? " redirect" : ""));
    return before_browse ? before_browse(browser, frame, request, is_redirect) : false;
  }
  bool OnOpenURLFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                        cef_window_open_disposition_t target_disposition, bool user_gesture) override {
    Add("OnOpenURLFromTab " + Narrow(target_url) + " disp=" + std::to_string(target_disposition) +
        (user_gesture ? " gesture" : " nogesture"));
    return open_url_from_tab_result;
  }
  void OnRenderViewReady(CefRefPtr<CefBrowser> browser) override { Add("OnRenderViewReady"); }
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser, TerminationStatus status) override {
    Add("OnRenderProcessTerminated " + std::to_string(status));
  }

 protected:
  void Add(const std::string& text) {
    bool on_ui = CefCurrentlyOn(TID_UI);
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(text);
    if (!on_ui)
      ++off_ui_;
  }
  static std::string FrameTag(CefRefPtr<CefFrame> frame) {
    if (!frame)
      return "null";
    return frame->IsMain() ? "main" : "sub:" + Narrow(frame->GetName());
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
  std::vector<CefRefPtr<CefBrowser>> created_;
  int off_ui_ = 0;
  IMPLEMENT_REFCOUNTING(TestClient);
};

// Misuse of the API is fatal while this lives; the fatal messages are collected instead of ending the process.
class StrictScope {
 public:
  StrictScope() {
    SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", L"1");
    CollectFatals();
  }
  // (Re)installs the collecting handler, for a test that put a handler of its own in between.
  void CollectFatals() {
    test::SetFatalHandler([this](const std::string& message) {
      std::lock_guard<std::mutex> lock(mutex_);
      messages_.push_back(message);
    });
  }
  ~StrictScope() {
    test::SetFatalHandler(nullptr);
    SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", nullptr);
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> messages_;
};

// Index of the first event starting with `prefix`, -1 when none.
inline int IndexOf(const std::vector<std::string>& events, const std::string& prefix, int from = 0) {
  for (int i = std::max(from, 0); i < static_cast<int>(events.size()); ++i)
    if (events[i].compare(0, prefix.size(), prefix) == 0)
      return i;
  return -1;
}

// A visible top-level window owned by the test's main thread, to parent browsers.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrowserTestHost";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, L"BrowserTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 400, 300,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~HostWindow() {
    if (IsWindow(hwnd_))
      DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

inline CefWindowInfo ChildOf(HWND parent) {
  CefWindowInfo info;
  RECT rect = {0, 0, 200, 100};
  info.SetAsChild(parent, rect);
  return info;
}

inline CefWindowInfo Windowless(HWND parent) {
  CefWindowInfo info;
  info.SetAsWindowless(parent, false);
  return info;
}

// Creates a browser on UI (CreateBrowserSync) and returns it; null when creation failed.
inline CefRefPtr<CefBrowser> CreateOnUI(const CefWindowInfo& info, CefRefPtr<CefClient> client,
                                        const std::string& url = std::string(),
                                        const CefBrowserSettings& settings = CefBrowserSettings()) {
  CefRefPtr<CefBrowser> browser;
  test::RunOn(TID_UI, [&]() { browser = CefBrowserHost::CreateBrowserSync(info, client, url, settings, nullptr); });
  return browser;
}

}  // namespace browser_test

#endif  // TESTS_CEF_BROWSER_TEST_SUPPORT_H_
