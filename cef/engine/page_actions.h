// What a page (or the user inside it) does to the client: context menus, keys, dialogs, beforeunload, downloads,
// geolocation, quota, tooltips, console messages, cursors, full screen, drags, draggable regions, the popup widget
// and plugins. Each action runs the same client callbacks a real page would cause, in the documented order and on
// the documented thread.
//
// The engine's browser extras (CreatePageExtras) tie these to the browser: painting on commit and on the host's
// calls, input, the beforeunload question before a close or navigation, keys reaching a browser window, the page
// cursor, and page actions the renderer reports ("console" [message, source, line], "beforeunload" [present]).
//
// Page actions run on the UI thread unless noted and do nothing for a destroyed browser. Client callbacks are never
// made while an engine lock is held.
#ifndef CEF_ENGINE_PAGE_ACTIONS_H_
#define CEF_ENGINE_PAGE_ACTIONS_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/browser_impl.h"
#include "engine/menu_model_impl.h"
#include "include/cef_drag_data.h"

namespace cefengine {

// The engine's browser extras; the engine installs them at start-up.
std::shared_ptr<BrowserExtras> CreatePageExtras();

// --- Requests the client answers (dialogs, geolocation, quota, downloads) ---
// Each request gets an identifier (1, 2, ... across kinds) and ends in one outcome; the first answer counts.
enum class RequestState {
  kUnknown,        // no such request
  kPending,        // asked, not answered yet
  kGranted,        // allowed / accepted / download complete
  kDenied,         // refused / cancelled / unanswered and released / download cancelled
  kAutoDismissed,  // a dialog the client left to the engine: dismissed at once
  kSuppressed,     // a dialog the client suppressed
};
struct RequestOutcome {
  RequestState state = RequestState::kUnknown;
  std::wstring text;  // prompt input; download path
};
// Any thread.
RequestOutcome PageRequestOutcome(int request_id);
// Any thread: a new pending request / its end (ignored unless still pending). For the request kinds of this area.
int NewPageRequest();
bool SettlePageRequest(int request_id, RequestState state, const std::wstring& text = std::wstring());

// --- Display ---
// OnFullscreenModeChange.
void PageFullscreen(BrowserImpl* browser, bool fullscreen);
// OnConsoleMessage; false also writes the message to the engine log.
void PageConsole(BrowserImpl* browser, const std::wstring& message, const std::wstring& source, int line);
// OnTooltip; false lets the engine show the (possibly changed) text, journaled as "TooltipShown".
void PageTooltip(BrowserImpl* browser, const std::wstring& text);
// The page's cursor. Windowless: OnCursorChange unless cursor changes are disabled. Windowed: used on WM_SETCURSOR.
void PageCursor(BrowserImpl* browser, cef_cursor_type_t type);
// A system cursor for `type` (the arrow for types without one). Any thread.
HCURSOR CursorForType(cef_cursor_type_t type);

// --- Context menu ---
// OnBeforeContextMenu with the default items for `type_flags`; an emptied model shows nothing. Then RunContextMenu
// (true: the client shows its own menu and answers through the callback), else the engine's menu stays open until
// ChooseMenuCommand. `link_url` fills the parameters of a link target.
void PageContextMenu(BrowserImpl* browser, int type_flags, int x, int y, const std::wstring& link_url);
// Picks an item of the open engine menu: OnContextMenuCommand (false: the engine runs its own command: back,
// forward, reload, reload without cache, stop; others are only journaled as "EngineMenuCommand"), then
// OnContextMenuDismissed. -1 dismisses the menu without a command. False when no engine menu is open or it has no
// such item (the menu stays open).
bool ChooseMenuCommand(BrowserImpl* browser, int command_id);
// The items of the open engine menu; false when none is open. Any thread.
bool OpenMenuItems(int browser_id, std::vector<MenuItem>* items);

// --- Drags ---
// The page starts dragging `data` (windowless browsers): StartDragging with a read-only copy; false ends the drag
// at once ("DragSourceEnded").
void PageStartDrag(BrowserImpl* browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops, int x,
                   int y);
// OnDraggableRegionsChanged.
void PageDraggableRegions(BrowserImpl* browser, const std::vector<CefDraggableRegion>& regions);

// --- Permission requests ---
// OnRequestGeolocationPermission; false, no handler, Continue(false) or a callback released unanswered deny.
// Returns the request identifier.
int PageGeolocation(BrowserImpl* browser, const std::wstring& requesting_url);
// Any thread; the request handler's OnQuotaRequest runs on IO. false or no handler deny; true waits for
// Continue(allow) or Cancel(). Returns the request identifier.
int PageQuota(BrowserImpl* browser, const std::wstring& origin_url, int64 new_size);

// --- Dialogs ---
// alert / confirm / prompt: OnJSDialog. true: the client answers through the callback (then OnDialogClosed); false
// with suppress_message: suppressed; false: the engine's dialog is dismissed at once. Returns the request
// identifier.
int PageAlert(BrowserImpl* browser, cef_jsdialog_type_t type, const std::wstring& message,
              const std::wstring& default_prompt);
// The document has (or no longer has) a beforeunload handler. A new document starts without one.
void PageBeforeUnload(BrowserImpl* browser, bool has_handler);
// Before a close or a navigation away: with a beforeunload handler present, OnBeforeUnloadDialog; Continue(true)
// proceeds, Continue(false) or a callback released unanswered cancels; a handler returning false (or none) lets the
// engine accept at once. `done` runs on UI, once.
void RunBeforeUnload(BrowserImpl* browser, bool is_reload, std::function<void(bool proceed)> done);

// --- Downloads (engine/download_item_impl.cpp) ---
// The page downloads `bytes` from `url`: OnBeforeDownload once; nothing is written until callback->Continue(path,
// show_dialog) ("" path: the suggested name in the temporary folder). Then OnDownloadUpdated in progress (the
// item callback may Cancel) and, once the file is written, complete. A callback released without Continue, or a
// file that cannot be written, ends in OnDownloadUpdated cancelled. Returns the request identifier; the outcome text
// is the written path.
int PageDownload(BrowserImpl* browser, const std::wstring& url, const std::wstring& suggested_name,
                 const std::string& bytes, const std::wstring& mime_type);

// --- Plugins ---
// Any thread; runs on IO. The request context handler's OnBeforePluginLoad with the start policy for `mime_type`;
// an allowed "application/x-shockwave-flash" with a "ppapi-flash-path" switch starts the plugin process
// ("<subprocess> --type=ppapi --ppapi-flash-args --ppapi-flash-path=... --ppapi-flash-version=...") after
// OnBeforeChildProcessLaunch; when no process comes of it, OnPluginCrashed (UI).
void PageEmbedPlugin(BrowserImpl* browser, const std::wstring& mime_type, const std::wstring& url);
// The policy OnBeforePluginLoad starts from: BLOCK for "application/pdf", ALLOW otherwise, unless set here. Any
// thread.
void SetPluginStartPolicy(const std::wstring& mime_type, cef_plugin_policy_t policy);
cef_plugin_policy_t PluginStartPolicy(const std::wstring& mime_type);

}  // namespace cefengine

#endif  // CEF_ENGINE_PAGE_ACTIONS_H_
