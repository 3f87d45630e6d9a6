#include "testing/page_testing.h"

#include "engine/browser_impl.h"
#include "engine/browser_input.h"
#include "engine/browser_registry.h"
#include "engine/osr_painting.h"
#include "engine/page_actions.h"
#include "testing/cefengine_testing.h"

namespace cefengine {
namespace test {

namespace {

// Runs `fn` with the engine's browser object on UI and waits. False when the browser is unknown or closed, or UI
// does not run.
bool OnBrowser(CefRefPtr<CefBrowser> browser, const std::function<void(BrowserImpl*)>& fn) {
  if (!browser)
    return false;
  CefRefPtr<BrowserImpl> impl = FindBrowser(browser->GetIdentifier());
  if (!impl || impl->IsDestroyed())
    return false;
  bool ran = false;
  bool finished = RunOn(TID_UI, [&]() {
    if (impl->IsDestroyed())
      return;
    fn(impl.get());
    ran = true;
  });
  return finished && ran;
}

// As OnBrowser for actions that give a request id (0 when nothing ran).
int RequestOnBrowser(CefRefPtr<CefBrowser> browser, const std::function<int(BrowserImpl*)>& fn) {
  int id = 0;
  OnBrowser(browser, [&](BrowserImpl* impl) { id = fn(impl); });
  return id;
}

Outcome ToOutcome(RequestState state) {
  switch (state) {
    case RequestState::kPending: return Outcome::kPending;
    case RequestState::kGranted: return Outcome::kGranted;
    case RequestState::kDenied: return Outcome::kDenied;
    case RequestState::kAutoDismissed: return Outcome::kAutoDismissed;
    case RequestState::kSuppressed: return Outcome::kSuppressed;
    default: return Outcome::kUnknown;
  }
}

// The window message a key event stands for.
MSG MessageFor(BrowserImpl* browser, const CefKeyEvent& event) {
  MSG message = {};
  message.hwnd = browser->hwnd();
  switch (event.type) {
    case KEYEVENT_KEYUP:
      message.message = event.is_system_key ? WM_SYSKEYUP : WM_KEYUP;
      break;
    case KEYEVENT_CHAR:
      message.message = event.is_system_key ? WM_SYSCHAR : WM_CHAR;
      break;
    default:
      message.message = event.is_system_key ? WM_SYSKEYDOWN : WM_KEYDOWN;
      break;
  }
  message.wParam = static_cast<WPARAM>(event.type == KEYEVENT_CHAR ? event.character : event.windows_key_code);
  message.lParam = static_cast<LPARAM>(event.native_key_code);
  return message;
}

}  // namespace

bool PageFullscreen(CefRefPtr<CefBrowser> browser, bool fullscreen) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageFullscreen(b, fullscreen); });
}

bool PageConsole(CefRefPtr<CefBrowser> browser, const std::wstring& message, const std::wstring& source, int line) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageConsole(b, message, source, line); });
}

bool PageTooltip(CefRefPtr<CefBrowser> browser, const std::wstring& text) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageTooltip(b, text); });
}

bool PageCursor(CefRefPtr<CefBrowser> browser, cef_cursor_type_t type) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageCursor(b, type); });
}

bool PageContextMenu(CefRefPtr<CefBrowser> browser, int type_flags, int x, int y, const std::wstring& link_url) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageContextMenu(b, type_flags, x, y, link_url); });
}

bool ChooseMenuCommand(CefRefPtr<CefBrowser> browser, int command_id) {
  bool chosen = false;
  OnBrowser(browser, [&](BrowserImpl* b) { chosen = cefengine::ChooseMenuCommand(b, command_id); });
  return chosen;
}

std::vector<int> OpenMenuCommands(CefRefPtr<CefBrowser> browser) {
  std::vector<int> ids;
  std::vector<MenuItem> items;
  if (browser && OpenMenuItems(browser->GetIdentifier(), &items))
    for (const MenuItem& item : items)
      ids.push_back(item.command_id);
  return ids;
}

bool UserKey(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event) {
  return OnBrowser(browser, [&](BrowserImpl* b) {
    Record("UserKey", b->id(), 0, KeyEventArgs(event));
    if (b->windowless()) {
      RunKeyPath(b, event, nullptr);
      return;
    }
    MSG message = MessageFor(b, event);
    RunKeyPath(b, event, &message);
  });
}

bool UserDragEnter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops,
                   int x, int y) {
  CefMouseEvent event;
  event.x = x;
  event.y = y;
  return OnBrowser(browser, [&](BrowserImpl* b) { DragEnter(b, data, event, allowed_ops); });
}

void SetDropOperation(cef_drag_operations_mask_t operation) {
  SetDropOperationOverride(true, operation);
}

void ResetDropOperation() {
  SetDropOperationOverride(false, DRAG_OPERATION_NONE);
}

bool PageStartDrag(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops,
                   int x, int y) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageStartDrag(b, data, allowed_ops, x, y); });
}

bool PageDraggableRegions(CefRefPtr<CefBrowser> browser, const std::vector<CefDraggableRegion>& regions) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageDraggableRegions(b, regions); });
}

RequestResult RequestOutcome(int request_id) {
  cefengine::RequestOutcome outcome = PageRequestOutcome(request_id);
  RequestResult result;
  result.outcome = ToOutcome(outcome.state);
  result.text = outcome.text;
  return result;
}

bool WaitSettled(int request_id, int timeout_ms) {
  return WaitFor(
      [request_id]() {
        RequestState state = PageRequestOutcome(request_id).state;
        return state != RequestState::kPending;
      },
      timeout_ms);
}

int PageGeolocation(CefRefPtr<CefBrowser> browser, const std::wstring& requesting_url) {
  return RequestOnBrowser(browser, [&](BrowserImpl* b) { return cefengine::PageGeolocation(b, requesting_url); });
}

int PageQuota(CefRefPtr<CefBrowser> browser, const std::wstring& origin_url, int64 new_size) {
  int id = RequestOnBrowser(browser, [&](BrowserImpl* b) { return cefengine::PageQuota(b, origin_url, new_size); });
  if (id != 0)
    Flush(TID_IO);
  return id;
}

int PageAlert(CefRefPtr<CefBrowser> browser, cef_jsdialog_type_t type, const std::wstring& message,
              const std::wstring& default_prompt) {
  return RequestOnBrowser(browser,
                          [&](BrowserImpl* b) { return cefengine::PageAlert(b, type, message, default_prompt); });
}

int PageDownload(CefRefPtr<CefBrowser> browser, const std::wstring& url, const std::wstring& suggested_name,
                 const std::string& bytes, const std::wstring& mime_type) {
  return RequestOnBrowser(
      browser, [&](BrowserImpl* b) { return cefengine::PageDownload(b, url, suggested_name, bytes, mime_type); });
}

bool PageBeforeUnload(CefRefPtr<CefBrowser> browser, bool has_handler) {
  return OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageBeforeUnload(b, has_handler); });
}

bool PageShowPopupWidget(CefRefPtr<CefBrowser> browser, const CefRect& rect) {
  return OnBrowser(browser, [&](BrowserImpl* b) { ShowPopupWidget(b, rect); });
}

bool PageHidePopupWidget(CefRefPtr<CefBrowser> browser) {
  return OnBrowser(browser, [&](BrowserImpl* b) { HidePopupWidget(b); });
}

bool PageEmbedPlugin(CefRefPtr<CefBrowser> browser, const std::wstring& mime_type, const std::wstring& url) {
  bool ok = OnBrowser(browser, [&](BrowserImpl* b) { cefengine::PageEmbedPlugin(b, mime_type, url); });
  return ok && Flush(TID_IO);
}

void SetPluginPolicy(const std::wstring& mime_type, cef_plugin_policy_t policy) {
  SetPluginStartPolicy(mime_type, policy);
}

void SetPaintPattern(std::function<uint32_t(int x, int y, int width, int height)> pattern) {
  cefengine::SetPaintPattern(std::move(pattern));
}

PaintInfo LastPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type) {
  PaintInfo info;
  PaintRecord record;
  if (!browser || !cefengine::LastPaint(browser->GetIdentifier(), type, &record))
    return info;
  info.painted = true;
  info.type = record.type;
  info.width = record.width;
  info.height = record.height;
  info.dirty_rects = record.dirty_rects;
  info.pixels = std::move(record.pixels);
  info.paint_count = record.paint_count;
  return info;
}

}  // namespace test
}  // namespace cefengine
