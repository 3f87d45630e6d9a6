// The CEF application of the browser process.
#pragma once

#include "include/cef_app.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_print_handler.h"
#include "render/client_app.h"

namespace client {

// Made by the process entry when the process has no "type" switch and handed to CefInitialize.
// It adds the switches the browser process always runs with and, once the engine's context
// exists, serves the "zip" scheme and names the cookieable schemes to the global cookie manager.
// OnBeforeCommandLineProcessing runs on the thread that starts CEF, OnContextInitialized on CEF's
// UI thread; neither changes the object, so it takes no lock.
class ClientAppBrowser : public ClientApp, public CefBrowserProcessHandler {
 public:
  ClientAppBrowser();

  // CefApp. For the browser process only (empty process_type), in this order: the off-screen
  // switches when "off-screen-rendering-enabled" is present, the Flash plug-in's version and
  // path, "--disable-extensions" unless "enable-extensions" is present, "--lang" zh-CN.
  void OnBeforeCommandLineProcessing(const CefString& process_type,
                                     CefRefPtr<CefCommandLine> command_line) override;
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override;

  // CefBrowserProcessHandler. Registers one ClientSchemeHandlerFactory for "zip" and every
  // domain, and sets the global cookie manager's supported schemes to the cookieable ones.
  void OnContextInitialized() override;
  void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override;
  void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) override;
  // Always empty.
  CefRefPtr<CefPrintHandler> GetPrintHandler() override;

 private:
  CefRefPtr<CefPrintHandler> print_handler_;

  IMPLEMENT_REFCOUNTING(ClientAppBrowser);
  DISALLOW_COPY_AND_ASSIGN(ClientAppBrowser);
};

}  // namespace client
