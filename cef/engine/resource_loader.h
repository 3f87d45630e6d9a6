// Loading one resource on the IO thread: the request handler's hooks, the registered scheme handler factories, the
// built-in schemes (about, data, file, http/https through the test table or WinINet, chrome, chrome-devtools) and
// the resource-handler protocol, with redirects and certificate errors.
//
// Order for one request (IO unless noted):
//   OnBeforeResourceLoad (RV_CANCEL -> ERR_ABORTED; RV_CONTINUE_ASYNC waits for the callback, any thread)
//   -> GetResourceHandler -> scheme factory ((scheme, host) then (scheme, "")) -> built-in
//   -> ProcessRequest / GetResponseHeaders / ReadResponse until the end
//   redirect: OnResourceRedirect, then ResourceLoadObserver::OnRedirect on UI (false cancels), at most 20
//   a scheme nobody registered: OnProtocolExecution on UI, then ERR_UNKNOWN_URL_SCHEME
//   "chrome://crash" as a main frame's document (when neither the client nor a factory served it): nothing is
//   served; the load ends with ERR_ABORTED and `renderer_crash` set (other requests for it fail: ERR_INVALID_URL)
//   https with a test certificate error: OnCertificateError on UI (false -> that error; true waits for the callback)
//   OnResourceResponse after headers, OnResourceLoadComplete at the end.
#ifndef CEF_ENGINE_RESOURCE_LOADER_H_
#define CEF_ENGINE_RESOURCE_LOADER_H_

#include <memory>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"
#include "include/cef_request_context.h"
#include "include/cef_response.h"

namespace cefengine {

struct LoadParams {
  CefRefPtr<CefBrowser> browser;  // null for requests without a browser
  CefRefPtr<CefFrame> frame;      // null with the browser
  CefRefPtr<CefClient> client;    // its request handler is asked at each use; null: defaults
  CefRefPtr<CefRequestContext> request_context;  // null: the global context (cookies)
  CefRefPtr<CefRequest> request;  // made with MakeRequest; the loader may change its URL on redirects
  std::wstring accept_language;   // Accept-Language of http(s) fetches; empty: none
};

struct LoadOutcome {
  cef_errorcode_t error = ERR_NONE;  // ERR_NONE: a response arrived (any HTTP status)
  std::wstring error_text;           // "net::ERR_..." for errors, or the text a test gave
  int status = 0;                    // HTTP status for http/https, 0 for every other scheme
  int response_status = 0;           // the status the response carried whatever the scheme (a resource
                                     // handler's own); 0 on error
  std::wstring status_text;
  std::wstring mime_type;            // without parameters; may be empty
  CefResponse::HeaderMap headers;
  std::string body;                  // the whole body
  std::wstring final_url;            // the URL that answered (after redirects); the failed URL on error
  bool renderer_crash = false;       // a main-frame load of "chrome://crash": the browser's renderer is to crash
};

// Told about one load. Calls never overlap and never come after ResourceLoad::Cancel() returned.
class ResourceLoadObserver {
 public:
  virtual ~ResourceLoadObserver() = default;
  // UI: the load wants to follow a redirect to `new_url` (the request already carries it). False stops the load
  // silently (no OnComplete).
  virtual bool OnRedirect(const std::wstring& new_url) = 0;
  // UI: the load ended. Called once unless the load was cancelled or a redirect was refused.
  virtual void OnComplete(const LoadOutcome& outcome) = 0;
};

class ResourceLoad {
 public:
  virtual ~ResourceLoad() = default;
  // Any thread. Aborts the load: a running resource handler gets Cancel() (on IO), a resource manager provider its
  // cancel notice; the observer hears nothing more. Safe to call more than once and after the end.
  virtual void Cancel() = 0;
};

// Starts loading `params.request` (any thread; the work runs on IO). Null when the engine is not running.
std::shared_ptr<ResourceLoad> StartResourceLoad(const LoadParams& params,
                                                std::shared_ptr<ResourceLoadObserver> observer);

// A writable request with a fresh identifier.
CefRefPtr<CefRequest> MakeRequest(const std::wstring& url, const std::wstring& method, const std::wstring& referrer,
                                  cef_resource_type_t resource_type, cef_transition_type_t transition);

// "net::ERR_ABORTED" and friends for an error code; "net::ERR_FAILED" for codes without a name.
std::wstring ErrorCodeText(cef_errorcode_t code);

// --- Controls for the test API (any thread) ---
// While held, every load stops before its first hook until released; turning holding off releases
// every held load.
void SetLoadsHeld(bool held);
// Releases the held loads of `url` (compared as written); false when none was held.
bool ReleaseHeldLoad(const std::wstring& url);
void ReleaseAllHeldLoads();
// The URLs of the loads held now, in the order they stopped.
std::vector<std::wstring> HeldLoadUrls();
// The next load of `url` fails with `code` and `text` (as given, even empty) once the request
// hooks let it through.
void FailNextLoadOf(const std::wstring& url, cef_errorcode_t code, const std::wstring& text);
// URLs the client allowed the OS to open (OnProtocolExecution), in order.
std::vector<std::wstring> OsExecutionUrls();
// Forgets pending failures, held loads (released) and OS executions.
void ResetLoadControls();

}  // namespace cefengine

#endif  // CEF_ENGINE_RESOURCE_LOADER_H_
