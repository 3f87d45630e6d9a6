// The renderer's view of a browser and its frames: the CefBrowser and CefFrame objects handed to the
// CefRenderProcessHandler. One object per browser and per frame, kept for their whole life.
//
// The renderer runtime creates and updates them on TID_RENDERER. Their getters may be called from any thread (the
// state is locked); SendProcessMessage only on TID_RENDERER. In the renderer there is no browser host: GetHost() is
// null, and the navigation calls (GoBack, Reload, LoadURL, ...) do nothing.
#ifndef CEF_ENGINE_RENDERER_BROWSER_H_
#define CEF_ENGINE_RENDERER_BROWSER_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_frame.h"

namespace cefengine {

class RendererRuntime;
class RendererBrowser;

class RendererFrame : public CefFrame {
 public:
  RendererFrame(CefRefPtr<RendererBrowser> browser, int64 id);

  // Runtime side (TID_RENDERER).
  void Update(int64 parent_id, const std::wstring& name, const std::wstring& url, bool is_main);
  void Invalidate();
  int64 parent_id();
  int64 context_id();
  void set_context_id(int64 id);

  // CefFrame
  bool IsValid() override;
  void LoadRequest(CefRefPtr<CefRequest> request) override;
  void LoadURL(const CefString& url) override;
  void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) override;
  bool IsMain() override;
  bool IsFocused() override;
  CefString GetName() override;
  int64 GetIdentifier() override { return id_; }
  CefRefPtr<CefFrame> GetParent() override;
  CefString GetURL() override;
  CefRefPtr<CefBrowser> GetBrowser() override;
  CefRefPtr<CefV8Context> GetV8Context() override;
  void VisitDOM(CefRefPtr<CefDOMVisitor> visitor) override;

 private:
  CefRefPtr<RendererBrowser> browser_;
  const int64 id_;
  std::mutex mutex_;
  int64 parent_id_ = 0;
  std::wstring name_;
  std::wstring url_;
  bool is_main_ = false;
  bool valid_ = true;
  int64 context_id_ = 0;  // the live script context of the current document, 0 when none
  IMPLEMENT_REFCOUNTING(RendererFrame);
};

class RendererBrowser : public CefBrowser {
 public:
  RendererBrowser(int id, bool is_popup, std::weak_ptr<RendererRuntime> runtime);

  // Runtime side (TID_RENDERER).
  // The frame with `id`, created when new. Never null.
  CefRefPtr<RendererFrame> FrameFor(int64 id);
  // The frame with `id` or null.
  CefRefPtr<RendererFrame> FindFrame(int64 id);
  // The frame and every frame below it (deepest last is not promised: parents come before their children).
  std::vector<CefRefPtr<RendererFrame>> Subtree(int64 id);
  // Every frame, in the order they appeared.
  std::vector<CefRefPtr<RendererFrame>> AllFrames();
  // Forgets the frame (it becomes invalid).
  void RemoveFrame(int64 id);
  void SetFocusedFrame(int64 id);
  int64 FocusedFrameId();
  // The browser was destroyed: frames invalid, messages refused.
  void Invalidate();
  bool valid();

  // CefBrowser
  CefRefPtr<CefBrowserHost> GetHost() override { return nullptr; }
  bool CanGoBack() override { return false; }
  void GoBack() override {}
  bool CanGoForward() override { return false; }
  void GoForward() override {}
  bool IsLoading() override { return false; }
  void Reload() override {}
  void ReloadIgnoreCache() override {}
  void StopLoad() override {}
  int GetIdentifier() override { return id_; }
  bool IsSame(CefRefPtr<CefBrowser> that) override { return that.get() == this; }
  bool IsPopup() override { return is_popup_; }
  bool HasDocument() override;
  CefRefPtr<CefFrame> GetMainFrame() override;
  CefRefPtr<CefFrame> GetFocusedFrame() override;
  CefRefPtr<CefFrame> GetFrame(int64 identifier) override;
  CefRefPtr<CefFrame> GetFrame(const CefString& name) override;
  size_t GetFrameCount() override;
  void GetFrameIdentifiers(std::vector<int64>& identifiers) override;
  void GetFrameNames(std::vector<CefString>& names) override;
  bool SendProcessMessage(CefProcessId target_process, CefRefPtr<CefProcessMessage> message) override;

 private:
  CefRefPtr<RendererFrame> FindLocked(int64 id);  // with mutex_ held

  const int id_;
  const bool is_popup_;
  const std::weak_ptr<RendererRuntime> runtime_;
  std::mutex mutex_;
  bool valid_ = true;
  int64 focused_frame_ = 0;
  std::vector<CefRefPtr<RendererFrame>> frames_;  // in order of appearance
  IMPLEMENT_REFCOUNTING(RendererBrowser);
};

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_BROWSER_H_
