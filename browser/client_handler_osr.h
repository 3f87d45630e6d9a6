// The client handler of a windowless (off-screen) browser: the shared handler, plus the
// engine's render handler, whose every call it forwards to the view's off-screen window.
#pragma once

#include <string>

#include "browser/client_handler.h"
#include "browser/interlocked_ref_count.h"
#include "include/cef_render_handler.h"

namespace client {

class ClientHandlerOsr : public ClientHandler, public CefRenderHandler {
 public:
  // The off-screen window as the handler sees it. Every call comes on the engine's UI thread,
  // the browser first; results mean what they mean to the engine's render handler.
  class OsrDelegate {
   public:
    virtual void OnAfterCreated(CefRefPtr<CefBrowser> browser) = 0;
    // The off-screen window calls DetachOsrDelegate here.
    virtual void OnBeforeClose(CefRefPtr<CefBrowser> browser) = 0;
    virtual bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
    virtual bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
    virtual bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX,
                                int& screenY) = 0;
    virtual bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) = 0;
    virtual void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) = 0;
    virtual void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) = 0;
    // buffer: width * height BGRA pixels, valid only during the call.
    virtual void OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
                         const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width,
                         int height) = 0;
    virtual void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, cef_cursor_type_t type,
                                const CefCursorInfo& custom_cursor_info) = 0;
    virtual bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                               cef_drag_operations_mask_t allowed_ops, int x, int y) = 0;
    virtual void UpdateDragCursor(CefRefPtr<CefBrowser> browser, cef_drag_operations_mask_t operation) = 0;

    virtual ~OsrDelegate() {}
  };

  // Main thread. delegate: the browser window; osr_delegate: the off-screen window. Neither is
  // owned.
  ClientHandlerOsr(Delegate* delegate, OsrDelegate* osr_delegate, const std::string& startup_url);

  // Engine UI thread: forgets the off-screen window at once; from any other thread the
  // forgetting is posted to the UI thread (render calls until then still reach the window, which
  // must live until the forgetting has run).
  void DetachOsrDelegate();

  // Any thread; the last Release deletes the handler on the releasing thread.
  void AddRef() const override { ref_count_.AddRef(); }
  bool Release() const override;
  bool HasOneRef() const override { return ref_count_.HasOneRef(); }

  // CefClient
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override;

  // CefLifeSpanHandler: the off-screen window hears these before the shared handling.
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;

  // CefRequestHandler: navigations of an off-screen view leave its page queries alone.
  bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, CefRefPtr<CefRequest> request,
                      bool is_redirect) override;

  // CefRenderHandler, forwarded while the off-screen window is attached (otherwise false, or
  // nothing).
  bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
  bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
  bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX, int& screenY) override;
  bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) override;
  void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) override;
  void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) override;
  void OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type, const RectList& dirtyRects,
               const void* buffer, int width, int height) override;
  void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, cef_cursor_type_t type,
                      const CefCursorInfo& custom_cursor_info) override;
  bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                     cef_drag_operations_mask_t allowed_ops, int x, int y) override;
  void UpdateDragCursor(CefRefPtr<CefBrowser> browser, cef_drag_operations_mask_t operation) override;

 protected:
  ~ClientHandlerOsr() override {}

 private:
  // Touched only on the engine's UI thread (and by the constructor).
  OsrDelegate* osr_delegate_;
  InterlockedRefCount ref_count_;
};

}  // namespace client
