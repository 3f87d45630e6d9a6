// A browser process for the control-pipe tests: starts the engine (which serves the pipe named by
// BRIVELO_CEF_CONTROL) and runs until a client sends "quit". Exit code 0 after an orderly shutdown, 2 when
// CefInitialize failed, 3 when nobody said "quit" within a minute. It adds "create_browser" {url}: a windowless
// browser (no client) loading that URL, created on UI; the answer comes before the browser exists.
#include <windows.h>

#include "engine/control_pipe.h"
#include "include/cef_app.h"
#include "include/cef_browser.h"

namespace {

class ProbeApp : public CefApp, public CefBrowserProcessHandler {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  IMPLEMENT_REFCOUNTING(ProbeApp);
};

}  // namespace

int main() {
  HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  cefengine::RegisterControlCommand("quit", [quit](const Json::Value&, Json::Value* result, std::string*) {
    SetEvent(quit);
    *result = true;
    return true;
  });
  cefengine::RegisterControlCommand("create_browser", [](const Json::Value& args, Json::Value* result,
                                                         std::string*) {
    CefWindowInfo info;
    info.SetAsWindowless(nullptr, false);
    *result = CefBrowserHost::CreateBrowser(info, nullptr, args["url"].asString(), CefBrowserSettings(), nullptr);
    return true;
  });
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  if (!CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, new ProbeApp(), nullptr))
    return 2;
  bool asked = WaitForSingleObject(quit, 60000) == WAIT_OBJECT_0;
  CefShutdown();
  return asked ? 0 : 3;
}
