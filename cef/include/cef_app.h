#ifndef CEF_INCLUDE_CEF_APP_H_
#define CEF_INCLUDE_CEF_APP_H_

#include "include/cef_base.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_command_line.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_resource_bundle_handler.h"
#include "include/cef_scheme.h"

class CefApp;

// Runs a sub-process: returns -1 in the browser process (no "type" switch; nothing else
// happens), else runs the sub-process to its end and returns its exit code.
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info);

// Starts the engine in the browser process (call on the main thread). False when it already
// runs, in a sub-process, or when start-up failed.
bool CefInitialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application,
                   void* windows_sandbox_info);

// Stops the engine (same thread as CefInitialize): open browsers are closed, threads stop and
// queued tasks are released unrun. Afterwards API calls fail.
void CefShutdown();

// Single-threaded loop only (multi_threaded_message_loop 0): one pass over the UI work.
void CefDoMessageLoopWork();
// Single-threaded loop only: runs the UI work until CefQuitMessageLoop.
void CefRunMessageLoop();
void CefQuitMessageLoop();
// Tells the engine a modal loop (menu, dialog) runs on the UI thread.
void CefSetOSModalLoop(bool osModalLoop);
// Makes the process DPI aware; call before any window exists.
void CefEnableHighDPISupport();

// The application's hooks into process start-up. Asked on the thread that calls CefInitialize
// or CefExecuteProcess.
class CefApp : public virtual CefBase {
 public:
  // First call of the process: `command_line` may be changed during the call and becomes the
  // global command line. process_type is "" in the browser process.
  virtual void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> command_line) {}
  // Once per process, right after the above; `registrar` is valid only during the call.
  virtual void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) {}
  virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }
  virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }
  virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

#endif  // CEF_INCLUDE_CEF_APP_H_
