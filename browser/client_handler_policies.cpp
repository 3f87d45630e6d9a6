// How a view behaves towards the user: no context menus, developer tools on fixed commands, two
// keys kept from the page, F10 for full screen, no link drags, no downloads, geolocation
// granted, leaving a page never asked about.
#include "browser/client_handler.h"

#include "include/cef_command_line.h"
#include "include/wrapper/cef_helpers.h"

namespace client {

namespace {

enum DevToolsCommand {
  kShowDevTools = MENU_ID_USER_FIRST,
  kCloseDevTools = MENU_ID_USER_FIRST + 1,
  kInspectElement = MENU_ID_USER_FIRST + 2,
};

bool KeyboardFilterDisabled() {
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  return command_line && command_line->HasSwitch("disable_keyboard_filter");
}

}  // namespace

void FillPopupWindowInfo(CefWindowInfo& info, HWND parent, const char* name) {
  info.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
  info.parent_window = parent;
  CefString(&info.window_name) = name;
  info.x = CW_USEDEFAULT;
  info.y = CW_USEDEFAULT;
  info.width = 1280;
  info.height = 720;
}

void ClientHandler::OnBeforeContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                        CefRefPtr<CefContextMenuParams> params, CefRefPtr<CefMenuModel> model) {
  CEF_REQUIRE_UI_THREAD();
  // An empty model opens no menu.
  if (params->GetTypeFlags() & (CM_TYPEFLAG_PAGE | CM_TYPEFLAG_FRAME))
    model->Clear();
}

bool ClientHandler::OnContextMenuCommand(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                         CefRefPtr<CefContextMenuParams> params, int command_id,
                                         cef_event_flags_t event_flags) {
  CEF_REQUIRE_UI_THREAD();
  switch (command_id) {
    case kShowDevTools:
      ShowDevTools(browser, CefPoint());
      return true;
    case kCloseDevTools:
      CloseDevToolsOf(browser);
      return true;
    case kInspectElement:
      ShowDevTools(browser, CefPoint(params->GetXCoord(), params->GetYCoord()));
      return true;
    default:
      return false;  // the engine's own command
  }
}

void ClientHandler::ShowDevTools(CefRefPtr<CefBrowser> browser, const CefPoint& inspect_element_at) {
  CefWindowInfo window_info;
  FillPopupWindowInfo(window_info, nullptr, "ShowDevTools");
  CefRefPtr<CefClient> client;
  CefBrowserSettings settings;
  CefPopupFeatures features;
  if (CreatePopupWindow(browser, true, features, window_info, client, settings))
    browser->GetHost()->ShowDevTools(window_info, client, settings, inspect_element_at);
}

bool ClientHandler::OnPreKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event,
                                  bool* is_keyboard_shortcut) {
  CEF_REQUIRE_UI_THREAD();
  if (event.focus_on_editable_field)
    return false;
  const bool raw_key_down = event.type == KEYEVENT_RAWKEYDOWN;
  // No scrolling by the space bar, no history navigation by Backspace.
  if (raw_key_down && (event.windows_key_code == VK_SPACE || event.windows_key_code == VK_BACK) &&
      !KeyboardFilterDisabled())
    return true;
  // F10 only ever asks for full screen.
  if (raw_key_down && event.windows_key_code == VK_F10) {
    OnFullscreenModeChange(nullptr, true);
    return true;
  }
  return false;
}

bool ClientHandler::OnDragEnter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> dragData,
                                cef_drag_operations_mask_t mask) {
  CEF_REQUIRE_UI_THREAD();
  return (mask & DRAG_OPERATION_LINK) != 0;  // true refuses
}

void ClientHandler::OnDraggableRegionsChanged(CefRefPtr<CefBrowser> browser,
                                              const std::vector<CefDraggableRegion>& regions) {
  CEF_REQUIRE_UI_THREAD();
  NotifyDraggableRegions(regions);
}

void ClientHandler::OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                                     const CefString& suggested_name,
                                     CefRefPtr<CefBeforeDownloadCallback> callback) {
  // Not continued: the view downloads nothing.
}

void ClientHandler::OnDownloadUpdated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                                      CefRefPtr<CefDownloadItemCallback> callback) {}

bool ClientHandler::OnRequestGeolocationPermission(CefRefPtr<CefBrowser> browser, const CefString& requesting_url,
                                                   int request_id, CefRefPtr<CefGeolocationCallback> callback) {
  CEF_REQUIRE_UI_THREAD();
  callback->Continue(true);
  return true;
}

bool ClientHandler::OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString& message_text,
                                         bool is_reload, CefRefPtr<CefJSDialogCallback> callback) {
  CEF_REQUIRE_UI_THREAD();
  callback->Continue(true, CefString());  // leave without asking
  return true;
}

}  // namespace client
