// Query/response routing between page script (window.cefQuery / window.cefQueryCancel) and
// browser-side handlers, carried by process messages.
#ifndef CEF_INCLUDE_WRAPPER_CEF_MESSAGE_ROUTER_H_
#define CEF_INCLUDE_WRAPPER_CEF_MESSAGE_ROUTER_H_

#include "include/base/cef_ref_counted.h"
#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_process_message.h"
#include "include/cef_v8.h"

struct CefMessageRouterConfig {
  CefMessageRouterConfig() : js_query_function("cefQuery"), js_cancel_function("cefQueryCancel") {}

  // Names of the page functions; the process messages are named after them plus "Msg".
  CefString js_query_function;
  CefString js_cancel_function;
};

// Browser side; UI thread unless noted.
class CefMessageRouterBrowserSide : public base::RefCountedThreadSafe<CefMessageRouterBrowserSide> {
 public:
  // Answers one query; any thread, once (repeatedly while the query is persistent).
  class Callback : public CefBase {
   public:
    virtual void Success(const CefString& response) = 0;
    virtual void Failure(int error_code, const CefString& error_message) = 0;
  };

  class Handler {
   public:
    typedef CefMessageRouterBrowserSide::Callback Callback;

    // True: will answer through `callback`; false: the next handler is asked.
    virtual bool OnQuery(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id,
                         const CefString& request, bool persistent, CefRefPtr<Callback> callback) {
      return false;
    }
    virtual void OnQueryCanceled(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int64 query_id) {}
    virtual ~Handler() {}
  };

  static CefRefPtr<CefMessageRouterBrowserSide> Create(const CefMessageRouterConfig& config);

  // `first` puts the handler before the others. The handler must outlive its registration.
  virtual bool AddHandler(Handler* handler, bool first) = 0;
  // Cancels the handler's pending queries.
  virtual bool RemoveHandler(Handler* handler) = 0;
  // Null browser / handler: all.
  virtual void CancelPending(CefRefPtr<CefBrowser> browser, Handler* handler) = 0;
  virtual int GetPendingCount(CefRefPtr<CefBrowser> browser, Handler* handler) = 0;

  // Calls the client must forward.
  virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) = 0;
  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser) = 0;
  virtual void OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) = 0;
  // True when the message was the router's.
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                        CefRefPtr<CefProcessMessage> message) = 0;

 protected:
  friend class base::RefCountedThreadSafe<CefMessageRouterBrowserSide>;
  virtual ~CefMessageRouterBrowserSide() {}
};

// Renderer side; TID_RENDERER.
class CefMessageRouterRendererSide : public base::RefCountedThreadSafe<CefMessageRouterRendererSide> {
 public:
  static CefRefPtr<CefMessageRouterRendererSide> Create(const CefMessageRouterConfig& config);

  // The queries still pending (sent and neither ended nor cancelled; a persistent query stays
  // pending until it fails or is cancelled) of `browser` and of `context`; a null browser or
  // context narrows nothing, so both null count every query of the router.
  virtual int GetPendingCount(CefRefPtr<CefBrowser> browser, CefRefPtr<CefV8Context> context) = 0;

  virtual void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                CefRefPtr<CefV8Context> context) = 0;
  virtual void OnContextReleased(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                 CefRefPtr<CefV8Context> context) = 0;
  virtual bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                        CefRefPtr<CefProcessMessage> message) = 0;

 protected:
  friend class base::RefCountedThreadSafe<CefMessageRouterRendererSide>;
  virtual ~CefMessageRouterRendererSide() {}
};

#endif  // CEF_INCLUDE_WRAPPER_CEF_MESSAGE_ROUTER_H_
