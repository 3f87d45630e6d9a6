// Navigation of a browser's main frame and the frames of its document, with the load events the client sees.
//
// Main frame, success (UI; the fetch runs on IO through engine/resource_loader.h):
//   OnBeforeBrowse (true: stop, no events) -> OnLoadingStateChange(true) unless already loading -> fetch
//   (redirects: OnBeforeBrowse(is_redirect) again) -> commit: OnAddressChange, OnLoadStart, OnTitleChange, the
//   renderer gets Commit (and waits, when a renderer answers, for its FrameReady) -> sub-resources in document order
//   (journaled only) -> each <iframe>/<frame> depth-first: OnBeforeBrowse, fetch, OnAddressChange, OnLoadStart,
//   ..., OnLoadEnd or OnLoadError -> OnLoadEnd(main, status) -> OnLoadingStateChange(false).
// Failure: frame URL := failed URL, OnAddressChange, OnLoadError(code, "net::ERR_...", url),
//   OnLoadingStateChange(false); no OnLoadStart/OnLoadEnd; the previous document stays.
// A new main-frame navigation, or StopLoad, aborts a pending one with OnLoadError(ERR_ABORTED); StopLoad then ends
// the loading state.
// "chrome://crash" (when neither the client nor a factory serves it): OnBeforeBrowse -> OnLoadingStateChange(true)
//   -> the request hooks -> nothing commits and no error is reported; the browser's renderer is told to crash, and
//   once its end is known OnLoadingStateChange(false) ends the navigation, just before OnRenderProcessTerminated.
//   The frame keeps the previous document's URL; the next navigation starts a new renderer.
#ifndef CEF_ENGINE_NAVIGATION_H_
#define CEF_ENGINE_NAVIGATION_H_

#include <memory>
#include <string>

#include "include/cef_request.h"

namespace cefengine {

class BrowserImpl;

enum class NavigationKind {
  kLoad,         // a new entry (LoadURL, the first URL, page navigation)
  kHistory,      // GoBack / GoForward: `history_index` is the entry to show
  kReload,       // the current entry again
};

struct NavigationRequest {
  std::wstring url;
  NavigationKind kind = NavigationKind::kLoad;
  int history_index = -1;
  bool renderer_initiated = false;
  CefRefPtr<CefRequest> request;  // LoadRequest: the client's request (method, headers); null: a GET of `url`
};

// UI. Starts a main-frame navigation of `browser` (see the header comment).
void Navigate(BrowserImpl* browser, const NavigationRequest& request);
// UI. StopLoad: aborts the pending navigation with OnLoadError(ERR_ABORTED), then OnLoadingStateChange(false).
void StopNavigation(BrowserImpl* browser);
// UI. The browser is being destroyed: the pending navigation ends without any callback.
void AbandonNavigation(BrowserImpl* browser);
// UI. The renderer finished setting up `frame_id` after a commit.
void OnFrameReady(BrowserImpl* browser, int64 frame_id);
// UI. The renderer died: nobody will answer FrameReady any more.
void OnRendererGone(BrowserImpl* browser);
// UI. The renderer's end is known, before the client hears of it: a navigation waiting for the renderer it asked to
// crash ends here (OnLoadingStateChange(false)). Nothing happens for other navigations.
void FinishCrashNavigation(BrowserImpl* browser);

// The navigation state a browser owns (opaque outside navigation.cpp).
class Navigation {
 public:
  virtual ~Navigation() = default;
};

}  // namespace cefengine

#endif  // CEF_ENGINE_NAVIGATION_H_
