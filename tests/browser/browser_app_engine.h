// The engine started with the browser application, as the process entry starts the browser
// process: shared by the tests that need the application's effects on a running engine.
#pragma once

#include <windows.h>

#include "browser/client_app_browser.h"
#include "include/cef_app.h"
#include "testing/cefengine_testing.h"

namespace browser_test {

// True once CefInitialize succeeded and the application's OnContextInitialized (the first UI
// task) registered its scheme factory. The caller ends the engine with CefShutdown.
inline bool StartEngineWithBrowserApp() {
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.no_sandbox = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  if (!CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, new client::ClientAppBrowser(), nullptr))
    return false;
  return cefengine::test::WaitFor([] { return !cefengine::test::SchemeFactories().empty(); });
}

}  // namespace browser_test
