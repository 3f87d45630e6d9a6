// Test control of what pages and users do inside a browser: context menus, keys, dialogs, beforeunload, downloads,
// geolocation, quota, tooltips, console, cursors, full screen, drags, draggable regions, the popup widget, plugins,
// and what windowless browsers painted. Product code never includes this header.
//
// Every function may be called from the test's main thread. Page actions run on the UI thread through the same paths
// a page would take and return once the engine handled them; they return false (or request id 0) when the browser
// is unknown or closed or the engine does not run. Answers the client gives later (through a callback) show in the
// request's outcome.
#ifndef CEF_TESTING_PAGE_TESTING_H_
#define CEF_TESTING_PAGE_TESTING_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_drag_data.h"

namespace cefengine {
namespace test {

// --- Display ---
bool PageFullscreen(CefRefPtr<CefBrowser> browser, bool fullscreen);
bool PageConsole(CefRefPtr<CefBrowser> browser, const std::wstring& message, const std::wstring& source, int line);
bool PageTooltip(CefRefPtr<CefBrowser> browser, const std::wstring& text);
bool PageCursor(CefRefPtr<CefBrowser> browser, cef_cursor_type_t type);

// --- Context menu ---
// A right click on a target of `type_flags` (cef_context_menu_type_flags_t) at (x, y).
bool PageContextMenu(CefRefPtr<CefBrowser> browser, int type_flags, int x, int y,
                     const std::wstring& link_url = std::wstring());
// Picks an item of the engine's open menu (-1 dismisses it). False when no menu is open or it lacks the item.
bool ChooseMenuCommand(CefRefPtr<CefBrowser> browser, int command_id);
// Command ids of the engine's open menu (-1 for separators); empty when none is open.
std::vector<int> OpenMenuCommands(CefRefPtr<CefBrowser> browser);

// --- Keys and drags ---
// A key the user types: OnPreKeyEvent, then OnKeyEvent unless consumed. Windowed browsers get it with a window
// message built from the event as the OS event.
bool UserKey(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event);
// An external drag entering the view (as CefBrowserHost::DragTargetDragEnter).
bool UserDragEnter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops,
                   int x = 0, int y = 0);
// The operation the page accepts in drags from now on (instead of the first allowed of COPY, LINK, MOVE); NONE makes
// the page refuse. ResetDropOperation restores the default choice.
void SetDropOperation(cef_drag_operations_mask_t operation);
void ResetDropOperation();
// The page starts dragging `data` (StartDragging of windowless browsers).
bool PageStartDrag(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops,
                   int x, int y);
bool PageDraggableRegions(CefRefPtr<CefBrowser> browser, const std::vector<CefDraggableRegion>& regions);

// --- Requests the client answers ---
enum class Outcome { kUnknown, kPending, kGranted, kDenied, kAutoDismissed, kSuppressed };
struct RequestResult {
  Outcome outcome = Outcome::kUnknown;
  std::wstring text;  // prompt input; the written path of a download
};
RequestResult RequestOutcome(int request_id);
// Waits (pumping) until the request is no longer pending. False on timeout.
bool WaitSettled(int request_id, int timeout_ms = 5000);

// Each returns the request id, 0 when nothing could be asked.
int PageGeolocation(CefRefPtr<CefBrowser> browser, const std::wstring& requesting_url);
// The request handler's OnQuotaRequest runs on IO; this returns once it was asked.
int PageQuota(CefRefPtr<CefBrowser> browser, const std::wstring& origin_url, int64 new_size);
int PageAlert(CefRefPtr<CefBrowser> browser, cef_jsdialog_type_t type, const std::wstring& message,
              const std::wstring& default_prompt = std::wstring());
// A download of `bytes` (served as `mime_type`) from `url`.
int PageDownload(CefRefPtr<CefBrowser> browser, const std::wstring& url, const std::wstring& suggested_name,
                 const std::string& bytes, const std::wstring& mime_type = L"application/octet-stream");
// The page installs (true) or removes (false) a beforeunload handler.
bool PageBeforeUnload(CefRefPtr<CefBrowser> browser, bool has_handler);

// --- Popup widget and plugins ---
bool PageShowPopupWidget(CefRefPtr<CefBrowser> browser, const CefRect& rect);
bool PageHidePopupWidget(CefRefPtr<CefBrowser> browser);
// An <embed>/<object> of `mime_type`; returns once OnBeforePluginLoad was asked on IO (a plugin process may still be
// starting).
bool PageEmbedPlugin(CefRefPtr<CefBrowser> browser, const std::wstring& mime_type, const std::wstring& url);
// The policy OnBeforePluginLoad starts from for `mime_type`.
void SetPluginPolicy(const std::wstring& mime_type, cef_plugin_policy_t policy);

// --- Painting ---
// Replaces the generated content of every paint: `pattern(x, y, width, height)` gives a premultiplied BGRA pixel
// (0xAARRGGBB). An empty function restores the generator.
void SetPaintPattern(std::function<uint32_t(int x, int y, int width, int height)> pattern);
// Invalidate / resize / show again the view of a windowless browser and return once its paint (if any) was made.
struct PaintInfo {
  bool painted = false;  // false: that element was never painted
  cef_paint_element_type_t type = PET_VIEW;
  int width = 0;
  int height = 0;
  std::vector<CefRect> dirty_rects;
  std::vector<uint32_t> pixels;  // copy of the last buffer, rows top to bottom
  int paint_count = 0;
};
PaintInfo LastPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type = PET_VIEW);

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_PAGE_TESTING_H_
