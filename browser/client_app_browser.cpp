#include "browser/client_app_browser.h"

#include "browser/client_scheme_handler_factory.h"
#include "browser/process_launch_hook.h"
#include "include/cef_cookie.h"
#include "include/cef_scheme.h"

namespace client {

ClientAppBrowser::ClientAppBrowser() {}

void ClientAppBrowser::OnBeforeCommandLineProcessing(const CefString& process_type,
                                                     CefRefPtr<CefCommandLine> command_line) {
  if (!process_type.empty())
    return;
  // Off-screen views render in software and are driven by the view's own frame timing.
  if (command_line->HasSwitch("off-screen-rendering-enabled")) {
    if (!command_line->HasSwitch("disable-extensions") && !command_line->HasSwitch("disable-pdf-extension"))
      command_line->AppendSwitch("disable-surfaces");
    if (!command_line->HasSwitch("enable-gpu")) {
      command_line->AppendSwitch("disable-gpu");
      command_line->AppendSwitch("disable-gpu-compositing");
    }
    command_line->AppendSwitch("enable-begin-frame-scheduling");
  }
  // The plug-in beside the executable, by its full path so that no other folder of the library
  // search path can supply it; the launch hook checks that it is there.
  command_line->AppendSwitchWithValue("ppapi-flash-version", "24.0.0.221");
  command_line->AppendSwitchWithValue("ppapi-flash-path", ProcessLaunchHook::FlashPluginPath().GetString());
  if (!command_line->HasSwitch("enable-extensions"))
    command_line->AppendSwitch("--disable-extensions");
  command_line->AppendSwitchWithValue("--lang", "zh-CN");
}

CefRefPtr<CefBrowserProcessHandler> ClientAppBrowser::GetBrowserProcessHandler() {
  return this;
}

void ClientAppBrowser::OnContextInitialized() {
  // The factory, with its package cache, stays registered for the rest of the process.
  CefRegisterSchemeHandlerFactory("zip", "", new ClientSchemeHandlerFactory());
  // The host may replace the list later with its own.
  CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
  if (manager)
    manager->SetSupportedSchemes(cookieable_schemes_, nullptr);
}

void ClientAppBrowser::OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {}

void ClientAppBrowser::OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) {}

CefRefPtr<CefPrintHandler> ClientAppBrowser::GetPrintHandler() {
  return print_handler_;
}

}  // namespace client
