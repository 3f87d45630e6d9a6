// Child process for the start-up tests: runs CefExecuteProcess with its own command line and
// reports through the exit code what happened.
//   -1 (as returned) : browser process, and the application was not called
//   77               : browser process, but the application was called (a fault)
//   100 + r          : sub-process returning r, the application saw the process type
//   50 + r           : sub-process returning r, the application saw another type
#include <windows.h>

#include "include/cef_app.h"

namespace {

class ProbeApp : public CefApp {
 public:
  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> cl) override {
    type = process_type;
    called = true;
  }
  CefString type;
  bool called = false;
  IMPLEMENT_REFCOUNTING(ProbeApp);
};

}  // namespace

int main() {
  CefRefPtr<ProbeApp> app = new ProbeApp();
  int result = CefExecuteProcess(CefMainArgs(GetModuleHandleW(nullptr)), app.get(), nullptr);
  if (result < 0)
    return app->called ? 77 : -1;
  CefString expected = CefCommandLine::GetGlobalCommandLine()->GetSwitchValue("type");
  return (app->type == expected ? 100 : 50) + result;
}
