// Shared by the loading tests: an engine started for one test, and a load run to its end.
#pragma once

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/resource_loader.h"
#include "include/cef_client.h"
#include "include/cef_request_handler.h"
#include "include/cef_resource_handler.h"
#include "engine/utf.h"
#include "include/cef_app.h"
#include "testing/cefengine_testing.h"
#include "testing/network_testing.h"

namespace loader_test {

namespace test = cefengine::test;

// Starts the engine (journal on) for one test and stops it again.
class EngineTest : public ::testing::Test {
 protected:
  // The application handed to CefInitialize (custom schemes); none by default.
  virtual CefRefPtr<CefApp> App() { return nullptr; }

  void SetUp() override {
    test::EnableJournal();
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.no_sandbox = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, App(), nullptr));
  }
  void TearDown() override {
    test::ResetNetwork();
    CefShutdown();
    test::RemoveFiles();
  }
};

// Records what the loader tells; answers redirects with `follow`.
class RecordingObserver : public cefengine::ResourceLoadObserver {
 public:
  bool OnRedirect(const std::wstring& new_url) override {
    std::lock_guard<std::mutex> lock(mutex_);
    redirects_.push_back(new_url);
    redirect_on_ui_ = redirect_on_ui_ && CefCurrentlyOn(TID_UI);
    return follow;
  }
  void OnComplete(const cefengine::LoadOutcome& outcome) override {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = outcome;
    complete_on_ui_ = CefCurrentlyOn(TID_UI);
    ++completions_;
  }
  int Completions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return completions_;
  }
  cefengine::LoadOutcome Outcome() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
  }
  std::vector<std::wstring> Redirects() {
    std::lock_guard<std::mutex> lock(mutex_);
    return redirects_;
  }
  bool CompleteOnUi() {
    std::lock_guard<std::mutex> lock(mutex_);
    return complete_on_ui_;
  }
  bool RedirectsOnUi() {
    std::lock_guard<std::mutex> lock(mutex_);
    return redirect_on_ui_;
  }

  std::atomic<bool> follow{true};

 private:
  std::mutex mutex_;
  int completions_ = 0;
  cefengine::LoadOutcome outcome_;
  std::vector<std::wstring> redirects_;
  bool complete_on_ui_ = false;
  bool redirect_on_ui_ = true;
};

struct Started {
  std::shared_ptr<cefengine::ResourceLoad> load;
  std::shared_ptr<RecordingObserver> observer;
  CefRefPtr<CefRequest> request;
};

inline Started StartLoad(const std::wstring& url, CefRefPtr<CefClient> client = nullptr,
                         bool follow_redirects = true) {
  Started s;
  s.observer = std::make_shared<RecordingObserver>();
  s.observer->follow = follow_redirects;
  s.request = cefengine::MakeRequest(url, L"GET", L"", RT_MAIN_FRAME, TT_EXPLICIT);
  cefengine::LoadParams params;
  params.client = client;
  params.request = s.request;
  s.load = cefengine::StartResourceLoad(params, s.observer);
  return s;
}

// Loads `url` and waits (bounded) for the outcome; a load that never ends fails the test.
inline cefengine::LoadOutcome Load(const std::wstring& url, CefRefPtr<CefClient> client = nullptr) {
  Started s = StartLoad(url, client);
  EXPECT_TRUE(s.load != nullptr);
  EXPECT_TRUE(test::WaitFor([&] { return s.observer->Completions() > 0; }, 10000)) << "load of " << cefengine::WideToUtf8(url) << " did not end";
  EXPECT_TRUE(s.observer->CompleteOnUi());
  return s.observer->Outcome();
}

// A resource handler whose every step a test chooses; it records the threads it was called on.
class ScriptedHandler : public CefResourceHandler {
 public:
  enum class Answer { kInside, kFromOtherThread, kNever };

  bool process_result = true;
  Answer head_answer = Answer::kInside;
  int status = 200;
  std::wstring mime = L"text/html";
  std::string body = "<html><title>Scripted</title></html>";
  int64 length = -1;                 // reported length; -1 unknown
  std::wstring redirect;             // non-empty: GetResponseHeaders redirects
  bool pause_after_first_chunk = false;  // then "true with 0 bytes", Continue from another thread
  size_t chunk = 5;

  bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) override {
    Note();
    if (!process_result)
      return false;
    if (head_answer == Answer::kInside)
      callback->Continue();
    else if (head_answer == Answer::kFromOtherThread)
      ContinueFromOtherThread(callback);
    return true;
  }
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64& response_length, CefString& redirectUrl) override {
    Note();
    response->SetStatus(status);
    response->SetMimeType(mime);
    response_length = length;
    redirectUrl = redirect;
  }
  bool ReadResponse(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefCallback> callback) override {
    Note();
    bytes_read = 0;
    if (pause_after_first_chunk && sent_ > 0 && !paused_) {
      paused_ = true;
      ++pauses;
      ContinueFromOtherThread(callback);
      return true;
    }
    size_t n = std::min({chunk, body.size() - sent_, static_cast<size_t>(bytes_to_read)});
    if (n == 0)
      return false;
    memcpy(data_out, body.data() + sent_, n);
    sent_ += n;
    paused_ = false;
    bytes_read = static_cast<int>(n);
    return true;
  }
  void Cancel() override {
    Note();
    cancels++;
    cancel_on_io = CefCurrentlyOn(TID_IO);
  }

  std::atomic<int> cancels{0};
  std::atomic<bool> cancel_on_io{false};
  std::atomic<bool> all_on_io{true};
  std::atomic<int> calls{0};
  int pauses = 0;

 private:
  void Note() {
    ++calls;
    if (!CefCurrentlyOn(TID_IO))
      all_on_io = false;
  }
  static void ContinueFromOtherThread(CefRefPtr<CefCallback> callback) {
    std::thread([callback] {
      Sleep(20);
      callback->Continue();
    }).detach();
  }

  size_t sent_ = 0;
  bool paused_ = false;
  IMPLEMENT_REFCOUNTING(ScriptedHandler);
};

// A client whose request handler runs the test's functions (each null: default behaviour).
class FunctionClient : public CefClient, public CefRequestHandler {
 public:
  std::function<ReturnValue(CefRefPtr<CefRequest>, CefRefPtr<CefRequestCallback>)> before_load;
  std::function<CefRefPtr<CefResourceHandler>(CefRefPtr<CefRequest>)> resource_handler;
  std::function<void(const CefString&, bool&)> protocol_execution;
  std::function<bool(cef_errorcode_t, const CefString&, CefRefPtr<CefRequestCallback>)> certificate_error;
  std::function<void(CefRefPtr<CefRequest>, CefString&)> resource_redirect;

  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request, CefRefPtr<CefRequestCallback> callback) override {
    return before_load ? before_load(request, callback) : RV_CONTINUE;
  }
  CefRefPtr<CefResourceHandler> GetResourceHandler(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                   CefRefPtr<CefRequest> request) override {
    return resource_handler ? resource_handler(request) : nullptr;
  }
  void OnResourceRedirect(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                          CefString& new_url) override {
    if (resource_redirect)
      resource_redirect(request, new_url);
  }
  void OnProtocolExecution(CefRefPtr<CefBrowser> browser, const CefString& url, bool& allow_os_execution) override {
    protocol_on_ui = CefCurrentlyOn(TID_UI);
    if (protocol_execution)
      protocol_execution(url, allow_os_execution);
  }
  bool OnCertificateError(CefRefPtr<CefBrowser> browser, cef_errorcode_t cert_error, const CefString& request_url,
                          CefRefPtr<CefSSLInfo> ssl_info, CefRefPtr<CefRequestCallback> callback) override {
    certificate_on_ui = CefCurrentlyOn(TID_UI);
    certificate_had_info = ssl_info != nullptr;
    return certificate_error ? certificate_error(cert_error, request_url, callback) : false;
  }

  std::atomic<bool> protocol_on_ui{false};
  std::atomic<bool> certificate_on_ui{false};
  std::atomic<bool> certificate_had_info{false};
  IMPLEMENT_REFCOUNTING(FunctionClient);
};

// Journal entries of one kind whose first argument is `arg0`.
inline size_t CountOf(const std::string& kind, const std::string& arg0 = std::string()) {
  size_t n = 0;
  for (const auto& e : test::EntriesOf(kind))
    if (arg0.empty() || (!e.args.empty() && e.args[0] == arg0))
      ++n;
  return n;
}

}  // namespace loader_test
