#ifndef CEF_INCLUDE_CEF_FRAME_H_
#define CEF_INCLUDE_CEF_FRAME_H_

#include "include/cef_base.h"
#include "include/cef_dom.h"
#include "include/cef_request.h"
#include "include/cef_stream.h"

class CefBrowser;
class CefV8Context;

// One frame of a browser's page. The engine hands out one object per frame; a frame replaced by
// navigation stays an object but is no longer valid.
class CefFrame : public virtual CefBase {
 public:
  virtual bool IsValid() = 0;
  virtual void LoadRequest(CefRefPtr<CefRequest> request) = 0;
  virtual void LoadURL(const CefString& url) = 0;
  virtual void ExecuteJavaScript(const CefString& code, const CefString& script_url, int start_line) = 0;
  virtual bool IsMain() = 0;
  virtual bool IsFocused() = 0;
  // The frame's name attribute; "" for the main frame and unnamed frames.
  virtual CefString GetName() = 0;
  virtual int64 GetIdentifier() = 0;
  virtual CefRefPtr<CefFrame> GetParent() = 0;
  virtual CefString GetURL() = 0;
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
  // Renderer process only (TID_RENDERER).
  virtual CefRefPtr<CefV8Context> GetV8Context() = 0;
  virtual void VisitDOM(CefRefPtr<CefDOMVisitor> visitor) = 0;
};

#endif  // CEF_INCLUDE_CEF_FRAME_H_
