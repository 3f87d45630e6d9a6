// Small stand-ins for the public interfaces the wrapper library talks to: a request, a frame
// whose validity the test switches, and a browser that records what it sends. They let the
// wrapper tests run without the browser engine. Every member may be called on any thread.
#ifndef TESTS_CEF_WRAPPER_FAKES_H_
#define TESTS_CEF_WRAPPER_FAKES_H_

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_process_message.h"
#include "include/cef_request.h"
#include "include/cef_task.h"

namespace wrapper_fakes {

// Starts the engine's threads for a test (no log file); the test ends them with CefShutdown.
inline bool StartEngine() {
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  return CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr);
}

class FakeRequest : public CefRequest {
 public:
  FakeRequest(const std::string& url, uint64 identifier) : url_(url), identifier_(identifier) {}

  // Writable while its OnBeforeResourceLoad answer is pending, as the engine hands it out; read-only once the load
  // ended.
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  bool IsReadOnly() override { return read_only_; }
  CefString GetURL() override { return url_; }
  void SetURL(const CefString& url) override {}
  CefString GetMethod() override { return "GET"; }
  void SetMethod(const CefString& method) override {}
  void SetReferrer(const CefString& referrer_url, ReferrerPolicy policy) override {}
  CefString GetReferrerURL() override { return CefString(); }
  ReferrerPolicy GetReferrerPolicy() override { return REFERRER_POLICY_ALWAYS; }
  CefRefPtr<CefPostData> GetPostData() override { return nullptr; }
  void GetHeaderMap(HeaderMap& headerMap) override { headerMap.clear(); }
  void SetHeaderMap(const HeaderMap& headerMap) override {}
  int GetFlags() override { return 0; }
  ResourceType GetResourceType() override { return RT_MAIN_FRAME; }
  TransitionType GetTransitionType() override { return static_cast<TransitionType>(0); }
  uint64 GetIdentifier() override { return identifier_; }

 private:
  const std::string url_;
  const uint64 identifier_;
  std::atomic<bool> read_only_{false};
  IMPLEMENT_REFCOUNTING(FakeRequest);
};

class FakeBrowser;

class FakeFrame : public CefFrame {
 public:
  FakeFrame(int64 identifier, bool is_main) : identifier_(identifier), is_main_(is_main) {}

  void Invalidate() { valid_ = false; }
  void SetBrowser(CefBrowser* browser) { browser_ = browser; }

  bool IsValid() override { return valid_; }
  void LoadRequest(CefRefPtr<CefRequest> request) override {}
  void LoadURL(const CefString& url) override {}
  void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) override {}
  bool IsMain() override { return is_main_; }
  bool IsFocused() override { return false; }
  CefString GetName() override { return CefString(); }
  int64 GetIdentifier() override { return identifier_; }
  CefRefPtr<CefFrame> GetParent() override { return nullptr; }
  CefString GetURL() override { return CefString(); }
  CefRefPtr<CefBrowser> GetBrowser() override { return browser_; }
  CefRefPtr<CefV8Context> GetV8Context() override { return nullptr; }
  void VisitDOM(CefRefPtr<CefDOMVisitor> visitor) override {}

 private:
  const int64 identifier_;
  const bool is_main_;
  std::atomic<bool> valid_{true};
  CefBrowser* browser_ = nullptr;  // the browser owns its frames
  IMPLEMENT_REFCOUNTING(FakeFrame);
};

// A sent process message, copied out of the message so later changes cannot alter it.
struct SentMessage {
  CefProcessId target;
  std::string name;
  CefRefPtr<CefListValue> args;
  bool on_ui;  // sent on TID_UI
};

class FakeBrowser : public CefBrowser {
 public:
  // The main frame gets `main_frame_id`; AddFrame adds sub-frames.
  FakeBrowser(int identifier, int64 main_frame_id) : identifier_(identifier) { main_ = AddFrame(main_frame_id, true); }

  CefRefPtr<FakeFrame> AddFrame(int64 identifier, bool is_main = false) {
    CefRefPtr<FakeFrame> frame = new FakeFrame(identifier, is_main);
    frame->SetBrowser(this);
    std::lock_guard<std::mutex> hold(lock_);
    frames_[identifier] = frame;
    return frame;
  }
  CefRefPtr<FakeFrame> Frame(int64 identifier) {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = frames_.find(identifier);
    return it == frames_.end() ? nullptr : it->second;
  }
  void FailSends(bool fail) { fail_sends_ = fail; }
  std::vector<SentMessage> TakeSent() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<SentMessage> sent;
    sent.swap(sent_);
    return sent;
  }
  size_t SentCount() {
    std::lock_guard<std::mutex> hold(lock_);
    return sent_.size();
  }

  CefRefPtr<CefBrowserHost> GetHost() override { return nullptr; }
  bool CanGoBack() override { return false; }
  void GoBack() override {}
  bool CanGoForward() override { return false; }
  void GoForward() override {}
  bool IsLoading() override { return false; }
  void Reload() override {}
  void ReloadIgnoreCache() override {}
  void StopLoad() override {}
  int GetIdentifier() override { return identifier_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override { return that && that->GetIdentifier() == identifier_; }
  bool IsPopup() override { return false; }
  bool HasDocument() override { return true; }
  CefRefPtr<CefFrame> GetMainFrame() override { return main_.get(); }
  CefRefPtr<CefFrame> GetFocusedFrame() override { return main_.get(); }
  CefRefPtr<CefFrame> GetFrame(int64 identifier) override { return Frame(identifier).get(); }
  CefRefPtr<CefFrame> GetFrame(const CefString& name) override { return nullptr; }
  size_t GetFrameCount() override {
    std::lock_guard<std::mutex> hold(lock_);
    return frames_.size();
  }
  void GetFrameIdentifiers(std::vector<int64>& identifiers) override {
    std::lock_guard<std::mutex> hold(lock_);
    identifiers.clear();
    for (auto& kv : frames_)
      identifiers.push_back(kv.first);
  }
  void GetFrameNames(std::vector<CefString>& names) override { names.clear(); }
  bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) override {
    if (fail_sends_ || !message)
      return false;
    std::lock_guard<std::mutex> hold(lock_);
    sent_.push_back(SentMessage{target_process, message->GetName().ToString(), message->GetArgumentList()->Copy(),
                                CefCurrentlyOn(TID_UI)});
    return true;
  }

 private:
  const int identifier_;
  std::mutex lock_;
  std::map<int64, CefRefPtr<FakeFrame>> frames_;
  CefRefPtr<FakeFrame> main_;
  std::atomic<bool> fail_sends_{false};
  std::vector<SentMessage> sent_;
  IMPLEMENT_REFCOUNTING(FakeBrowser);
};

}  // namespace wrapper_fakes

#endif  // TESTS_CEF_WRAPPER_FAKES_H_
