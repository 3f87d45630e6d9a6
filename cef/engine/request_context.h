// Request contexts: the global one made at start-up, and the ones the client creates.
//
// Every context uses the process's one cookie store unless its handler's GetCookieManager
// returns a manager of its own. Contexts share "storage" (IsSharingWith) when one was created
// from the other, or when they name the same non-empty cache path (the global context's is
// CefSettings.cache_path); an empty cache path gives storage of its own.
#ifndef CEF_ENGINE_REQUEST_CONTEXT_H_
#define CEF_ENGINE_REQUEST_CONTEXT_H_

#include <memory>
#include <string>

#include "engine/cookie_store.h"
#include "include/cef_request_context.h"

namespace cefengine {

// Called by CefInitialize (after the engine threads started): opens the global cookie store and
// creates the global context with the process cache path. Main thread.
void StartRequestContexts(const std::wstring& cache_path);
// Called by CefShutdown: drops the global context and closes the global cookie store. Contexts
// the client still holds stay valid objects; their cookie managers' calls fail.
void StopRequestContexts();

// The context a browser uses: `context`, or the global one when it is null. Null when the
// engine does not run. Any thread.
CefRefPtr<CefRequestContext> ResolveRequestContext(CefRefPtr<CefRequestContext> context);

// The cookie store that requests of `context` (null: the global context) use:
// - the handler's manager's store when its GetCookieManager returns a manager of this engine;
// - the global store when the handler returns null (or there is no handler);
// - null when the handler returns a manager the client implemented itself (such requests carry
//   no cookies), or when the engine does not run.
// Calls the handler's GetCookieManager on the calling thread (fetches call it on IO) without
// holding an engine lock.
std::shared_ptr<CookieStore> CookieStoreFor(CefRefPtr<CefRequestContext> context);

}  // namespace cefengine

#endif  // CEF_ENGINE_REQUEST_CONTEXT_H_
