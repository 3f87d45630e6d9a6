// Doubles for the browser-process tests: a main message loop whose tasks run on the test's own
// thread (whenever that thread pumps messages, as the engine test API's waits do), a main
// context that records what would go to the host, and recording delegates of the client
// handler and of the browser window. Events are kept as short texts tagged with the thread
// they came on ("main" for the loop's thread).
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/browser_window.h"
#include "browser/client_handler.h"
#include "browser/host_protocol.h"
#include "browser/main_context.h"
#include "browser/main_message_loop.h"
#include "include/cef_task.h"
#include "testing/page_testing.h"
#include "tests/browser/switch_app.h"
#include "tests/cef/browser_test_support.h"

namespace browser_doubles {

namespace test = cefengine::test;

using ::SwitchApp;

// "main", "UI", "IO" or "other".
inline std::string ThreadTag() {
  if (client::MainMessageLoop::Get() && client::CurrentlyOnMainThread()) return "main";
  if (CefCurrentlyOn(TID_UI)) return "UI";
  if (CefCurrentlyOn(TID_IO)) return "IO";
  return "other";
}

inline std::string FrameTag(CefRefPtr<CefFrame> frame) {
  if (!frame) return "null";
  return frame->IsMain() ? "main" : "sub:" + frame->GetName().ToString();
}

// Collects texts from any thread.
class EventLog {
 public:
  void Add(const std::string& text) {
    std::lock_guard<std::mutex> hold(mutex_);
    events_.push_back(text);
  }
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> hold(mutex_);
    return events_;
  }
  std::vector<std::string> StartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : Events())
      if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
    return out;
  }
  int Count(const std::string& prefix) { return static_cast<int>(StartingWith(prefix).size()); }
  bool WaitFor(const std::string& prefix, int count = 1) {
    return test::WaitFor([&] { return Count(prefix) >= count; });
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    events_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> events_;
};

// Posted tasks run one per window message on the thread that made the loop.
class TestMainMessageLoop : public client::MainMessageLoop {
 public:
  TestMainMessageLoop() : thread_id_(GetCurrentThreadId()) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &TestMainMessageLoop::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TestMainMessageLoop";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, L"TestMainMessageLoop", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TestMainMessageLoop() override {
    DestroyWindow(window_);
    std::deque<CefRefPtr<CefTask>> dropped;
    std::lock_guard<std::mutex> hold(mutex_);
    dropped.swap(tasks_);
  }

  int Run() override {
    MSG msg;
    while (!quit_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return 0;
  }
  void Quit() override {
    quit_ = true;
    PostMessageW(window_, WM_NULL, 0, 0);
  }
  void PostTask(CefRefPtr<CefTask> task) override {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      tasks_.push_back(task);
    }
    PostMessageW(window_, kRunTask, 0, 0);
  }
  bool RunsTasksOnCurrentThread() const override { return GetCurrentThreadId() == thread_id_; }
  void SetCurrentModelessDialog(HWND hwnd_dialog) override {}

  // Pumps until everything posted so far has run.
  bool Drain() {
    return test::WaitFor([this] {
      std::lock_guard<std::mutex> hold(mutex_);
      return tasks_.empty();
    });
  }

 private:
  static const UINT kRunTask = WM_APP + 1;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kRunTask) {
      auto* self = reinterpret_cast<TestMainMessageLoop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      CefRefPtr<CefTask> task;
      if (self) {
        std::lock_guard<std::mutex> hold(self->mutex_);
        if (!self->tasks_.empty()) {
          task = self->tasks_.front();
          self->tasks_.pop_front();
        }
      }
      if (task) task->Execute();
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  const DWORD thread_id_;
  HWND window_ = nullptr;
  bool quit_ = false;
  std::mutex mutex_;
  std::deque<CefRefPtr<CefTask>> tasks_;
};

// Records every message for the host, with the thread it was sent from.
class TestMainContext : public client::MainContext {
 public:
  struct Sent {
    IPC::Message message;
    bool sync;
    std::string thread;
  };

  std::vector<Sent> SentMessages() {
    std::lock_guard<std::mutex> hold(mutex_);
    return sent_;
  }
  // The items of the sent messages with this code, decoded by the protocol's layout.
  std::vector<std::vector<client::PayloadItem>> Payloads(client::HostEvent code) {
    std::vector<std::vector<client::PayloadItem>> out;
    for (const Sent& s : SentMessages())
      if (client::CodeOfType(s.message.GetType()) == code)
        out.push_back(client::DecodePayload(s.message, client::FindHostEvent(code)->layout));
    return out;
  }
  bool WaitSent(size_t count) {
    return test::WaitFor([&] { return SentMessages().size() >= count; });
  }
  void Clear() {
    std::lock_guard<std::mutex> hold(mutex_);
    sent_.clear();
  }

  void Quit() override {}
  std::string GetConsoleLogPath() override { return std::string(); }
  std::string GetDownloadPath(const std::string& file_name) override { return std::string(); }
  std::string GetAppWorkingDirectory() override { return std::string(); }
  std::string GetAppDataWorkingDirectory() override { return std::string(); }
  cef_color_t GetBackgroundColor() override { return 0xFFFFFFFF; }
  void PopulateSettings(const CefString& cmd, CefSettings* settings) override {}
  void PopulateBrowserSettings(CefBrowserSettings* settings) override {}
  void PopulateOsrSettings(client::OsrRendererSettings* settings) override {}
  client::RootWindowManager* GetRootWindowManager() override { return nullptr; }
  void SendToHost(IPC::Message& message, bool sync) override {
    std::lock_guard<std::mutex> hold(mutex_);
    sent_.push_back(Sent{message, sync, ThreadTag()});
  }

 private:
  std::mutex mutex_;
  std::vector<Sent> sent_;
};

// The view events that the client handler's delegate and the root window share, recorded as
// "<Slot> <args> @<thread>".
template <typename Interface>
class RecordingViewEvents : public Interface, public EventLog {
 public:
  void OnSetAddress(const std::string& url) override { Add("OnSetAddress " + url + At()); }
  void OnSetTitle(const std::string& title) override { Add("OnSetTitle " + title + At()); }
  void OnSetFullscreen(bool fullscreen) override {
    Add(std::string("OnSetFullscreen ") + (fullscreen ? "true" : "false") + At());
  }
  void OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) override {
    Add(std::string("OnSetLoadingState ") + (isLoading ? "1" : "0") + (canGoBack ? "1" : "0") +
        (canGoForward ? "1" : "0") + At());
  }
  void OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override {
    Add("OnLoadStart " + FrameTag(frame) + At());
  }
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) override {
    Add("OnLoadEnd " + FrameTag(frame) + " " + std::to_string(httpStatusCode) + At());
  }
  void OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                        cef_window_open_disposition_t disposition, bool userGesture) override {
    Add("OnOpenUrlFromTab " + targetUrl.ToString() + " " + std::to_string(disposition) +
        (userGesture ? " gesture" : " nogesture") + At());
  }
  void OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& targetUrl,
                     cef_window_open_disposition_t disposition, bool userGesture) override {
    Add("OnBeforePopup " + targetUrl.ToString() + " " + std::to_string(disposition) +
        (userGesture ? " gesture" : " nogesture") + At());
  }

 protected:
  static std::string At() { return " @" + ThreadTag(); }
};

// A client-handler delegate that records each event.
class RecordingHandlerDelegate : public RecordingViewEvents<client::ClientHandler::Delegate> {
 public:
  // Answers.
  bool do_close_answer = true;
  HWND parent_window = nullptr;
  int32 web_view_id = 0;
  std::wstring referrer;

  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override {
    Add("OnBrowserCreated " + std::to_string(browser->GetIdentifier()) + At());
  }
  void OnBrowserClosing(CefRefPtr<CefBrowser> browser) override {
    Add("OnBrowserClosing " + std::to_string(browser->GetIdentifier()) + At());
  }
  void OnBrowserClosed(CefRefPtr<CefBrowser> browser) override {
    Add("OnBrowserClosed " + std::to_string(browser->GetIdentifier()) + At());
  }
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                   const CefString& errorText, const CefString& failedUrl) override {
    Add("OnLoadError " + FrameTag(frame) + " " + std::to_string(errorCode) + " " + failedUrl.ToString() + At());
  }
  bool OnBrowserDoClose(CefRefPtr<CefBrowser> browser) override {
    Add("OnBrowserDoClose" + At());
    return do_close_answer;
  }
  HWND GetParentWindowHandle() override { return parent_window; }
  int32 GetWebViewId() override { return web_view_id; }
  std::wstring GetReferrer() override { return referrer; }
  bool HasWorkArea() override { return false; }
  CefRect GetWorkArea() override { return CefRect(); }
};

// The root window as its browser window sees it.
class RecordingRootWindow : public RecordingViewEvents<client::BrowserWindow::Delegate> {
 public:
  bool close_requested = false;
  // Runs on OnBrowserWindowDestroyed (the root window deletes its browser window there).
  std::function<void()> on_destroyed;

  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override { Add("OnBrowserCreated" + At()); }
  void OnBrowserClosing(CefRefPtr<CefBrowser> browser) override { Add("OnBrowserClosing" + At()); }
  void OnBrowserWindowDestroyed() override {
    Add("OnBrowserWindowDestroyed" + At());
    if (on_destroyed) on_destroyed();
  }
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                   const CefString& errorText, const CefString& failedUrl) override {
    Add("OnLoadError " + FrameTag(frame) + " " + std::to_string(errorCode) + At());
  }
  bool IsCloseRequested(CefRefPtr<CefBrowser> browser) override {
    Add("IsCloseRequested" + At());
    return close_requested;
  }
};

// The engine with the renderer played by the test, a main loop on the test thread and a
// recording main context; misuse of the engine API fails the test.
class EngineFixture {
 public:
  explicit EngineFixture(CefRefPtr<CefApp> app = nullptr) : harness_(app) {
    test::ResetNetwork();
    test::EnableJournal();
  }
  ~EngineFixture() {
    loop_.Drain();
    harness_.Shutdown();
    test::ResetNetwork();
    test::EnableJournal(false);
  }
  bool ok() const { return harness_.ok(); }
  test::BrowserHarness& harness() { return harness_; }
  TestMainMessageLoop& loop() { return loop_; }
  TestMainContext& context() { return context_; }
  std::vector<std::string> StrictMessages() { return strict_.Messages(); }
  // For a test's TearDown: runs what is still posted to the main loop, then fails the test with
  // the first misuse of the engine API, if any.
  void ExpectNoMisuse() {
    loop_.Drain();
    std::vector<std::string> strict = StrictMessages();
    EXPECT_TRUE(strict.empty()) << strict.front();
  }

 private:
  browser_test::StrictScope strict_;
  TestMainMessageLoop loop_;
  TestMainContext context_;
  test::BrowserHarness harness_;
};

// The arguments of the query a renderer's message router sends for a page's cefQuery from the
// main frame: [context 1, request id, request, not persistent, frame id low, frame id high].
inline CefRefPtr<CefListValue> RouterQueryArgs(CefRefPtr<CefBrowser> browser, int request_id,
                                               const std::string& request) {
  CefRefPtr<CefListValue> args = CefListValue::Create();
  const int64 frame = browser->GetMainFrame()->GetIdentifier();
  args->SetInt(0, 1);
  args->SetInt(1, request_id);
  args->SetString(2, request);
  args->SetBool(3, false);
  args->SetInt(4, static_cast<int>(frame & 0xFFFFFFFF));
  args->SetInt(5, static_cast<int>(frame >> 32));
  return args;
}

// Journal entries of one kind for one browser, as "arg arg ...".
inline std::vector<std::string> JournalArgs(const std::string& kind, int browser_id) {
  std::vector<std::string> out;
  for (const cefengine::JournalEntry& e : test::EntriesOf(kind)) {
    if (e.browser != browser_id) continue;
    std::string text;
    for (const std::string& a : e.args) text += (text.empty() ? "" : " ") + a;
    out.push_back(text);
  }
  return out;
}

}  // namespace browser_doubles
