// A client for tests of painting, input and page actions: it records each callback it gets (noting calls off the UI
// thread, or off IO for the IO callbacks) and answers as the test sets it up.
#ifndef TESTS_CEF_PAGE_TEST_CLIENT_H_
#define TESTS_CEF_PAGE_TEST_CLIENT_H_

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "engine/browser_impl.h"
#include "engine/frame_impl.h"
#include "include/cef_request_context_handler.h"
#include "testing/browser_testing.h"
#include "testing/cefengine_testing.h"
#include "testing/page_testing.h"

namespace page_test {

namespace test = cefengine::test;

struct Paint {
  cef_paint_element_type_t type;
  int width;
  int height;
  std::vector<CefRect> dirty;
  std::vector<uint32_t> pixels;
};

class PageClient : public CefClient,
                   public CefLifeSpanHandler,
                   public CefLoadHandler,
                   public CefRenderHandler,
                   public CefDisplayHandler,
                   public CefKeyboardHandler,
                   public CefContextMenuHandler,
                   public CefDragHandler,
                   public CefDownloadHandler,
                   public CefGeolocationHandler,
                   public CefJSDialogHandler,
                   public CefRequestHandler {
 public:
  // --- Answers ---
  bool view_rect_result = true;
  CefRect view_rect = CefRect(0, 0, 64, 48);
  bool screen_info_result = false;
  float device_scale_factor = 1.0f;
  bool pre_key_result = false;
  bool pre_key_sets_shortcut = false;
  bool key_result = false;
  std::function<void(CefRefPtr<CefMenuModel>)> before_context_menu;
  bool context_menu_command_result = false;
  bool run_context_menu_result = false;
  bool drag_enter_result = false;
  bool start_dragging_result = false;
  // Download: called with the callback inside OnBeforeDownload; keep it in `kept_download` to answer later.
  std::function<void(CefRefPtr<CefBeforeDownloadCallback>)> before_download;
  std::function<void(CefRefPtr<CefDownloadItem>, CefRefPtr<CefDownloadItemCallback>)> download_updated;
  bool geolocation_result = false;
  CefRefPtr<CefGeolocationCallback> kept_geolocation;
  bool quota_result = false;
  CefRefPtr<CefRequestCallback> kept_quota;
  bool js_dialog_result = false;
  bool js_dialog_suppress = false;
  CefRefPtr<CefJSDialogCallback> kept_dialog;
  bool before_unload_result = false;
  CefRefPtr<CefJSDialogCallback> kept_before_unload;
  bool tooltip_result = false;
  bool console_result = false;
  bool do_close_result = false;

  // --- What happened ---
  std::vector<std::string> Events() {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  int Count(const std::string& prefix) {
    int n = 0;
    for (const std::string& e : Events())
      if (e.compare(0, prefix.size(), prefix) == 0)
        ++n;
    return n;
  }
  bool WaitEvent(const std::string& prefix, int count = 1) {
    return test::WaitFor([&]() { return Count(prefix) >= count; });
  }
  void ClearEvents() {
    std::lock_guard<std::mutex> hold(lock_);
    events_.clear();
    paints_.clear();
  }
  std::vector<Paint> Paints() {
    std::lock_guard<std::mutex> hold(lock_);
    return paints_;
  }
  int wrong_thread_calls() {
    std::lock_guard<std::mutex> hold(lock_);
    return wrong_thread_;
  }
  CefRefPtr<CefBrowser> browser() {
    std::lock_guard<std::mutex> hold(lock_);
    return browser_;
  }
  CefRefPtr<CefDragData> last_drag_data() {
    std::lock_guard<std::mutex> hold(lock_);
    return drag_data_;
  }
  std::vector<CefKeyEvent> KeyEvents() {
    std::lock_guard<std::mutex> hold(lock_);
    return keys_;
  }
  std::vector<int> last_menu_commands() {
    std::lock_guard<std::mutex> hold(lock_);
    return menu_commands_;
  }
  bool last_os_event_was_null() {
    std::lock_guard<std::mutex> hold(lock_);
    return os_event_null_;
  }
  UINT last_os_message() {
    std::lock_guard<std::mutex> hold(lock_);
    return os_message_;
  }

  // --- CefClient ---
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefDisplayHandler> GetDisplayHandler() override { return this; }
  CefRefPtr<CefKeyboardHandler> GetKeyboardHandler() override { return this; }
  CefRefPtr<CefContextMenuHandler> GetContextMenuHandler() override { return this; }
  CefRefPtr<CefDragHandler> GetDragHandler() override { return this; }
  CefRefPtr<CefDownloadHandler> GetDownloadHandler() override { return this; }
  CefRefPtr<CefGeolocationHandler> GetGeolocationHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  // --- CefLifeSpanHandler ---
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      browser_ = browser;
    }
    Add("OnAfterCreated");
  }
  bool DoClose(CefRefPtr<CefBrowser> browser) override {
    Add("DoClose");
    return do_close_result;
  }
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override { Add("OnBeforeClose"); }

  // --- CefLoadHandler ---
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int status) override {
    Add("OnLoadEnd " + frame->GetURL().ToString());
  }
  void OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, ErrorCode code, const CefString& text,
                   const CefString& url) override {
    Add("OnLoadError " + url.ToString() + " " + std::to_string(code));
  }

  // --- CefRenderHandler ---
  bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override {
    Add("GetViewRect");
    rect = view_rect;
    return view_rect_result;
  }
  bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& info) override {
    Add("GetScreenInfo " + std::to_string(info.device_scale_factor) + " " + std::to_string(info.depth) + " " +
        std::to_string(info.depth_per_component) + " " + std::to_string(info.rect.width) + "x" +
        std::to_string(info.rect.height));
    if (screen_info_result)
      info.device_scale_factor = device_scale_factor;
    return screen_info_result;
  }
  void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) override {
    Add(std::string("OnPopupShow ") + (show ? "true" : "false"));
  }
  void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) override {
    Add("OnPopupSize " + std::to_string(rect.x) + "," + std::to_string(rect.y) + "," + std::to_string(rect.width) +
        "x" + std::to_string(rect.height));
  }
  void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirty, const void* buffer,
               int width, int height) override {
    Paint paint{type, width, height, dirty, {}};
    const uint32_t* pixels = static_cast<const uint32_t*>(buffer);
    paint.pixels.assign(pixels, pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
    {
      std::lock_guard<std::mutex> hold(lock_);
      paints_.push_back(std::move(paint));
    }
    Add(std::string("OnPaint ") + (type == PET_POPUP ? "popup " : "view ") + std::to_string(width) + "x" +
        std::to_string(height));
  }
  void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, CursorType type,
                      const CefCursorInfo& info) override {
    Add("OnCursorChange " + std::to_string(type) + (cursor ? " handle" : " null"));
  }
  bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops,
                     int x, int y) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      drag_data_ = data;
    }
    Add("StartDragging " + std::to_string(allowed_ops) + " " + std::to_string(x) + "," + std::to_string(y));
    return start_dragging_result;
  }
  void UpdateDragCursor(CefRefPtr<CefBrowser> browser, DragOperation operation) override {
    Add("UpdateDragCursor " + std::to_string(operation));
  }

  // --- CefDisplayHandler ---
  void OnFullscreenModeChange(CefRefPtr<CefBrowser> browser, bool fullscreen) override {
    Add(std::string("OnFullscreenModeChange ") + (fullscreen ? "true" : "false"));
  }
  bool OnTooltip(CefRefPtr<CefBrowser> browser, CefString& text) override {
    Add("OnTooltip " + text.ToString());
    if (!tooltip_result)
      text = text.ToString() + " (engine)";
    return tooltip_result;
  }
  bool OnConsoleMessage(CefRefPtr<CefBrowser> browser, const CefString& message, const CefString& source,
                        int line) override {
    Add("OnConsoleMessage " + message.ToString() + " " + source.ToString() + ":" + std::to_string(line));
    return console_result;
  }

  // --- CefKeyboardHandler ---
  bool OnPreKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event,
                     bool* is_keyboard_shortcut) override {
    Add(std::string("OnPreKeyEvent ") + std::to_string(event.windows_key_code) +
        (*is_keyboard_shortcut ? " shortcut-set" : " shortcut-clear"));
    {
      std::lock_guard<std::mutex> hold(lock_);
      keys_.push_back(event);
      os_event_null_ = os_event == nullptr;
      os_message_ = os_event ? os_event->message : 0;
    }
    if (pre_key_sets_shortcut)
      *is_keyboard_shortcut = true;
    return pre_key_result;
  }
  bool OnKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event) override {
    Add("OnKeyEvent " + std::to_string(event.windows_key_code));
    return key_result;
  }

  // --- CefContextMenuHandler ---
  void OnBeforeContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                           CefRefPtr<CefContextMenuParams> params, CefRefPtr<CefMenuModel> model) override {
    Add("OnBeforeContextMenu " + std::to_string(params->GetXCoord()) + "," + std::to_string(params->GetYCoord()) +
        " flags=" + std::to_string(params->GetTypeFlags()) + " link=" + params->GetLinkUrl().ToString() +
        (params->IsEditable() ? " editable" : "") + (frame ? " frame" : " noframe"));
    std::vector<int> ids;
    for (int i = 0; i < model->GetCount(); ++i)
      ids.push_back(model->GetCommandIdAt(i));
    {
      std::lock_guard<std::mutex> hold(lock_);
      menu_commands_ = ids;
    }
    if (before_context_menu)
      before_context_menu(model);
  }
  bool RunContextMenu(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefContextMenuParams> params,
                      CefRefPtr<CefMenuModel> model, CefRefPtr<CefRunContextMenuCallback> callback) override {
    Add("RunContextMenu");
    if (run_context_menu_result)
      kept_menu = callback;
    return run_context_menu_result;
  }
  bool OnContextMenuCommand(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefContextMenuParams> params, int command_id, EventFlags flags) override {
    Add("OnContextMenuCommand " + std::to_string(command_id));
    return context_menu_command_result;
  }
  void OnContextMenuDismissed(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override {
    Add("OnContextMenuDismissed");
  }
  CefRefPtr<CefRunContextMenuCallback> kept_menu;

  // --- CefDragHandler ---
  bool OnDragEnter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t mask) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      drag_data_ = data;
    }
    Add("OnDragEnter " + std::to_string(mask) + (data->IsReadOnly() ? " ro" : " rw"));
    return drag_enter_result;
  }
  void OnDraggableRegionsChanged(CefRefPtr<CefBrowser> browser,
                                 const std::vector<CefDraggableRegion>& regions) override {
    std::string text = "OnDraggableRegionsChanged";
    for (const CefDraggableRegion& r : regions)
      text += " " + std::to_string(r.bounds.x) + "," + std::to_string(r.bounds.y) + "," +
              std::to_string(r.bounds.width) + "x" + std::to_string(r.bounds.height) + (r.draggable ? "+" : "-");
    Add(text);
  }

  // --- CefDownloadHandler ---
  void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> item, const CefString& suggested_name,
                        CefRefPtr<CefBeforeDownloadCallback> callback) override {
    Add("OnBeforeDownload " + suggested_name.ToString() + " " + item->GetURL().ToString() + " " +
        std::to_string(item->GetTotalBytes()));
    if (before_download)
      before_download(callback);
  }
  void OnDownloadUpdated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> item,
                         CefRefPtr<CefDownloadItemCallback> callback) override {
    Add(std::string("OnDownloadUpdated ") +
        (item->IsComplete() ? "complete" : item->IsCanceled() ? "cancelled" : "in-progress") + " " +
        std::to_string(item->GetReceivedBytes()));
    if (download_updated)
      download_updated(item, callback);
  }

  // --- CefGeolocationHandler ---
  bool OnRequestGeolocationPermission(CefRefPtr<CefBrowser> browser, const CefString& requesting_url, int request_id,
                                      CefRefPtr<CefGeolocationCallback> callback) override {
    Add("OnRequestGeolocationPermission " + requesting_url.ToString() + " " + std::to_string(request_id));
    if (geolocation_result)
      kept_geolocation = callback;
    return geolocation_result;
  }

  // --- CefJSDialogHandler ---
  bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString& origin_url, const CefString& accept_lang,
                  JSDialogType type, const CefString& message, const CefString& default_prompt,
                  CefRefPtr<CefJSDialogCallback> callback, bool& suppress_message) override {
    Add("OnJSDialog " + std::to_string(type) + " " + message.ToString() + " prompt=" + default_prompt.ToString() +
        (suppress_message ? " suppress-set" : " suppress-clear"));
    suppress_message = js_dialog_suppress;
    if (js_dialog_result)
      kept_dialog = callback;
    return js_dialog_result;
  }
  bool OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser, const CefString& message, bool is_reload,
                            CefRefPtr<CefJSDialogCallback> callback) override {
    Add(std::string("OnBeforeUnloadDialog") + (is_reload ? " reload" : ""));
    if (before_unload_result)
      kept_before_unload = callback;
    return before_unload_result;
  }
  void OnDialogClosed(CefRefPtr<CefBrowser> browser) override { Add("OnDialogClosed"); }

  // --- CefRequestHandler ---
  bool OnQuotaRequest(CefRefPtr<CefBrowser> browser, const CefString& origin_url, int64 new_size,
                      CefRefPtr<CefRequestCallback> callback) override {
    AddOn(TID_IO, "OnQuotaRequest " + origin_url.ToString() + " " + std::to_string(new_size));
    if (quota_result)
      kept_quota = callback;
    return quota_result;
  }
  void OnPluginCrashed(CefRefPtr<CefBrowser> browser, const CefString& plugin_path) override {
    Add("OnPluginCrashed " + plugin_path.ToString());
  }

 private:
  void Add(const std::string& text) { AddOn(TID_UI, text); }
  void AddOn(CefThreadId expected, const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!CefCurrentlyOn(expected))
      ++wrong_thread_;
    events_.push_back(text);
  }

  std::mutex lock_;
  std::vector<std::string> events_;
  std::vector<Paint> paints_;
  std::vector<CefKeyEvent> keys_;
  std::vector<int> menu_commands_;
  CefRefPtr<CefBrowser> browser_;
  CefRefPtr<CefDragData> drag_data_;
  int wrong_thread_ = 0;
  bool os_event_null_ = false;
  UINT os_message_ = 0;
  IMPLEMENT_REFCOUNTING(PageClient);
};

// A running engine with one browser of a PageClient (windowless unless asked otherwise).
class PageFixture {
 public:
  explicit PageFixture(bool windowless = true, bool transparent = false, cef_color_t background = 0)
      : client(new PageClient()) {
    test::EnableJournal();
    if (!harness.ok())
      return;
    CefWindowInfo info;
    CefBrowserSettings settings;
    settings.background_color = background;
    if (windowless) {
      info.SetAsWindowless(nullptr, transparent);
    } else {
      parent = CreateWindowExW(0, L"STATIC", L"page test host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
      RECT rect = {0, 0, 300, 200};
      info.SetAsChild(parent, rect);
    }
    if (CefBrowserHost::CreateBrowser(info, client.get(), "", settings, nullptr))
      test::WaitFor([this]() { return client->browser() != nullptr; });
    browser = client->browser();
  }
  ~PageFixture() {
    harness.Shutdown();
    if (parent)
      DestroyWindow(parent);
  }
  bool ok() const { return browser != nullptr; }
  // The page state a committed document leaves (no navigation needed): a document, its title and background.
  bool SetDocument(const std::wstring& title, bool has_background = false, cef_color_t background = 0) {
    auto* impl = static_cast<cefengine::BrowserImpl*>(browser.get());
    return test::RunOn(TID_UI, [&]() {
      impl->UpdatePage([&](cefengine::PageState& page) {
        page.has_document = true;
        page.title = title;
        page.has_background = has_background;
        page.background = background;
      });
    });
  }
  // Runs the engine's commit hook for the main frame with `document`, as the navigation does after a commit.
  bool CommitMain(const cefengine::ScannedDocument& document) {
    auto* impl = static_cast<cefengine::BrowserImpl*>(browser.get());
    return test::RunOn(TID_UI, [&]() {
      cefengine::GetBrowserExtras()->OnDocumentCommitted(impl, impl->main_frame().get(), document);
    });
  }
  CefRefPtr<CefBrowserHost> host() { return browser->GetHost(); }

  test::BrowserHarness harness;
  CefRefPtr<PageClient> client;
  CefRefPtr<CefBrowser> browser;
  HWND parent = nullptr;
};

}  // namespace page_test

#endif  // TESTS_CEF_PAGE_TEST_CLIENT_H_
