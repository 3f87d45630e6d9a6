// Every browser of the process, by identifier and by window.
#ifndef CEF_ENGINE_BROWSER_REGISTRY_H_
#define CEF_ENGINE_BROWSER_REGISTRY_H_

#include <windows.h>

#include <vector>

#include "engine/browser_impl.h"

namespace cefengine {

// The next browser identifier (1, 2, ... for the life of the process). Any thread.
int NextBrowserId();

// UI. A browser enters the registry once created and leaves it when OnBeforeClose ran.
void RegisterBrowser(CefRefPtr<BrowserImpl> browser);
void UnregisterBrowser(int browser_id);

// Any thread. Null when no open browser has that identifier.
CefRefPtr<BrowserImpl> FindBrowser(int browser_id);
// Any thread. Open browsers in creation order.
std::vector<CefRefPtr<BrowserImpl>> AllBrowsers();

// CefShutdown (the thread that called CefInitialize, UI still running): destroys every open browser without DoClose,
// each with OnBeforeClose, and waits for that while pumping the calling thread's messages.
void DestroyAllBrowsersForShutdown();

}  // namespace cefengine

#endif  // CEF_ENGINE_BROWSER_REGISTRY_H_
