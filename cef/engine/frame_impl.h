// The browser-process CefFrame. One object per frame: the main frame lives as long as its browser; a sub-frame lives
// until the next main document commits, after which the object stays but IsValid() is false and every action on it
// is refused.
#ifndef CEF_ENGINE_FRAME_IMPL_H_
#define CEF_ENGINE_FRAME_IMPL_H_

#include <mutex>
#include <string>

#include "include/cef_frame.h"

namespace cefengine {

class BrowserImpl;

class FrameImpl : public CefFrame {
 public:
  // `browser` is kept alive by the frame (a client holding a frame may still ask for its browser).
  FrameImpl(BrowserImpl* browser, int64 id, int64 parent_id, const std::wstring& name, bool is_main);

  // A process-wide frame identifier (1, 2, ...). Any thread.
  static int64 NextFrameId();

  // Any thread.
  int64 id() const { return id_; }
  int64 parent_id() const { return parent_id_; }
  bool is_main() const { return is_main_; }
  std::wstring name() const { return name_; }
  std::wstring url();
  BrowserImpl* browser_impl() const { return browser_; }

  // UI. The frame's URL (set at commit, and to the failed URL while a load error is reported).
  void SetURL(const std::wstring& url);
  // UI. The frame no longer exists in the page.
  void Invalidate();

  // --- CefFrame ---
  bool IsValid() override;
  void LoadRequest(CefRefPtr<CefRequest> request) override;
  void LoadURL(const CefString& url) override;
  void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) override;
  bool IsMain() override { return is_main_; }
  bool IsFocused() override;
  CefString GetName() override { return name_; }
  int64 GetIdentifier() override { return id_; }
  CefRefPtr<CefFrame> GetParent() override;
  CefString GetURL() override { return url(); }
  CefRefPtr<CefBrowser> GetBrowser() override;
  // Renderer-only calls: a WARNING (fatal when strict) and null / nothing here.
  CefRefPtr<CefV8Context> GetV8Context() override;
  void VisitDOM(CefRefPtr<CefDOMVisitor> visitor) override;

 private:
  // False (after a misuse report naming `what`) when the frame or its browser is gone.
  bool CheckUsable(const char* what);

  const CefRefPtr<BrowserImpl> browser_holder_;
  BrowserImpl* const browser_;
  const int64 id_;
  const int64 parent_id_;
  const std::wstring name_;
  const bool is_main_;

  std::mutex lock_;
  std::wstring url_;
  bool valid_ = true;

  IMPLEMENT_REFCOUNTING(FrameImpl);
};

}  // namespace cefengine

#endif  // CEF_ENGINE_FRAME_IMPL_H_
