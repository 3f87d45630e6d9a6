// Engine-wide state between CefInitialize and CefShutdown.
#ifndef CEF_ENGINE_CONTEXT_H_
#define CEF_ENGINE_CONTEXT_H_

#include <string>

#include "include/cef_app.h"

namespace cefengine {

// True between a successful CefInitialize and CefShutdown.
bool IsInitialized();
// The settings CefInitialize was given (meaningful while initialized). Any thread.
CefSettings CurrentSettings();
// The locale handed to renderers: CefSettings.locale, else the "lang" switch.
std::wstring CurrentLocale();
CefRefPtr<CefApp> CurrentApp();
// Asked once at start-up and kept.
CefRefPtr<CefBrowserProcessHandler> BrowserProcessHandler();

// Makes the next CefInitialize fail (once); a test fault.
void FailNextInitialize();

// Entered by CefExecuteProcess for "--type=renderer" with a channel; returns the exit code.
int RunRendererProcess(const CefMainArgs& args, CefRefPtr<CefApp> app, const std::wstring& channel);

}  // namespace cefengine

#endif  // CEF_ENGINE_CONTEXT_H_
