#ifndef CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_

#include "include/cef_base.h"
#include "include/cef_command_line.h"
#include "include/cef_print_handler.h"
#include "include/cef_values.h"

// Browser-process events.
class CefBrowserProcessHandler : public virtual CefBase {
 public:
  // UI thread: the first task after CefInitialize started the engine.
  virtual void OnContextInitialized() {}
  // Before a child process starts; `command_line` may be changed.
  virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {}
  // IO thread, per renderer: `extra_info` (writable) reaches the renderer's
  // CefRenderProcessHandler::OnRenderThreadCreated.
  virtual void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) {}
  virtual CefRefPtr<CefPrintHandler> GetPrintHandler() { return nullptr; }
};

#endif  // CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
