// The application object of a renderer process: it hands every render-process callback of CEF to
// its delegates (the message-router delegate and the delegate of the `external` object) and keeps
// the host window that the browser names for this renderer.
#pragma once

#include <set>

#include "include/cef_render_process_handler.h"
#include "render/client_app.h"

namespace client {

class ClientAppRenderer : public ClientApp, public CefRenderProcessHandler {
 public:
  // A renderer component. Each operation mirrors CefRenderProcessHandler's, with the application
  // first; the defaults do nothing and answer null or false. Called on the renderer's main thread.
  class Delegate : public virtual CefBase {
   public:
    virtual void OnRenderThreadCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefListValue> extra_info) {}
    virtual void OnWebKitInitialized(CefRefPtr<ClientAppRenderer> app) {}
    virtual void OnBrowserCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser) {}
    virtual void OnBrowserDestroyed(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser) {}
    virtual CefRefPtr<CefLoadHandler> GetLoadHandler(CefRefPtr<ClientAppRenderer> app) { return nullptr; }
    // True cancels the navigation.
    virtual bool OnBeforeNavigation(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                    CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                                    cef_navigation_type_t navigation_type, bool is_redirect) {
      return false;
    }
    virtual void OnContextCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                  CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context) {}
    virtual void OnContextReleased(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context) {}
    virtual void OnUncaughtException(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                     CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context,
                                     CefRefPtr<CefV8Exception> exception, CefRefPtr<CefV8StackTrace> stack_trace) {}
    // `node` is null when focus left every element.
    virtual void OnFocusedNodeChanged(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                      CefRefPtr<CefFrame> frame, CefRefPtr<CefDOMNode> node) {}
    // True when the delegate took the message; later delegates do not see it then.
    virtual bool OnProcessMessageReceived(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                          CefProcessId source_process, CefRefPtr<CefProcessMessage> message) {
      return false;
    }
  };

  // Visited in the order of the delegates' addresses; one reference each, for the application's life.
  typedef std::set<CefRefPtr<Delegate>> DelegateSet;

  // With the router delegate and the `external` delegate.
  ClientAppRenderer();

  // Called by the process entry once CefExecuteProcess returned, when CEF no longer calls in.
  // True when no host window is recorded or it is still a window; otherwise reports
  // "browser_non" (with the recorded class text) through the statistics and answers false.
  bool IsHostWindowValid();

  // CefApp
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return this; }

  // CefRenderProcessHandler: each visits the delegates in order. GetLoadHandler stops at the first
  // handler, OnBeforeNavigation and OnProcessMessageReceived at the first true.
  void OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) override;
  void OnWebKitInitialized() override;
  void OnBrowserCreated(CefRefPtr<CefBrowser> browser) override;
  void OnBrowserDestroyed(CefRefPtr<CefBrowser> browser) override;
  CefRefPtr<CefLoadHandler> GetLoadHandler() override;
  bool OnBeforeNavigation(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                          NavigationType navigation_type, bool is_redirect) override;
  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override;
  void OnContextReleased(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override;
  void OnUncaughtException(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefV8Context> context,
                           CefRefPtr<CefV8Exception> exception, CefRefPtr<CefV8StackTrace> stack_trace) override;
  void OnFocusedNodeChanged(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefDOMNode> node) override;
  // The delegates' answer; "Browser.Host.Window.Handle" is recorded afterwards whatever they said.
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override;

 protected:
  // With the given delegates in place of the standard two (tests of the fan-out).
  explicit ClientAppRenderer(const DelegateSet& delegates);

 private:
  // Inserts one router delegate and one `external` delegate.
  static void CreateDelegates(DelegateSet& delegates);
  // The browser or one of its documents went: the recorded window no longer counts.
  void ForgetHostWindow();

  DelegateSet delegates_;
  int host_window_handle_ = 0;  // 0: none
  CefString host_window_class_;

  IMPLEMENT_REFCOUNTING(ClientAppRenderer);
  DISALLOW_COPY_AND_ASSIGN(ClientAppRenderer);
};

}  // namespace client
