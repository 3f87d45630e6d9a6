// The native side of an off-screen (transparent) view: a small child window of class
// "Client_OsrWindow" inside the view's layered root window, parent of the windowless browser.
// It answers the engine's render-handler questions (geometry, screen), puts each painted frame
// on the root window (UpdateLayeredWindow with per-pixel alpha; the root window takes the frame's
// size), and turns the child window's mouse, keyboard, focus and OLE drag-and-drop traffic into
// engine input, the page's click events and caption drags of the root window.
//
// Threads: constructed on the main thread by the off-screen browser window, which then calls the
// public operations there; each of them (except GetParentWindow) moves itself to the engine's UI
// thread, holding a reference, and takes effect there (at once when called on UI). Everything
// else runs on the UI thread: the child window and its procedure, the render handler calls, the
// drop target, painting and OpenGL. The last reference deletes the object on the UI thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "browser/client_handler_osr.h"
#include "browser/layered_window_painter.h"
#include "browser/osr_dragdrop_win.h"
#include "browser/osr_gl_renderer.h"
#include "include/base/cef_ref_counted.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_request_context.h"
#include "include/wrapper/cef_helpers.h"

namespace client {

class OsrWindowWin : public base::RefCountedThreadSafe<OsrWindowWin, CefDeleteOnUIThread>,
                     public ClientHandlerOsr::OsrDelegate,
                     public OsrDragEvents {
 public:
  // What the off-screen browser window hears. Main thread.
  class Delegate {
   public:
    // The child window exists (it stays until the browser has closed).
    virtual void OnOsrNativeWindowCreated(HWND hwnd) = 0;

    virtual ~Delegate() {}
  };

  // Main thread. delegate: the browser window, not owned; it must call DetachDelegate before it
  // goes. The scale factor starts as the screen's; "disable-alt-f4" on the process command line
  // makes the view swallow Alt+F4.
  OsrWindowWin(Delegate* delegate, const OsrRendererSettings& settings);

  // Creates the child window inside parent (at rect, client coordinates of parent), registers it
  // for drops and starts the windowless browser with the client, settings, request context and
  // start URL (UTF-8). The browser arrives later through OnAfterCreated.
  void CreateBrowser(HWND parent_hwnd, const RECT& rect, CefRefPtr<CefClient> handler,
                     const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context,
                     const std::string& startup_url);
  // For a browser that already exists: its child window inside parent_hwnd at (x, y), then
  // WasResized and Show. Caption drags never move such a view.
  void ShowPopup(HWND parent_hwnd, int x, int y, size_t width, size_t height);
  // Shows a hidden child window, tells the engine the view is shown (once per change) and gives
  // it the focus. Nothing without a browser.
  void Show();
  // Takes the focus away and tells the engine the view is hidden (once per change); the child
  // window stays visible. Nothing without a browser.
  void Hide();
  void SetBounds(int x, int y, size_t width, size_t height);
  void SetFocus();
  // A new factor makes the engine ask for the screen and the view again.
  void SetDeviceScaleFactor(float device_scale_factor);

  // The parent given to CreateBrowser (the root window); null before and for pop-up views. Any
  // thread.
  HWND GetParentWindow() const { return parent_hwnd_; }

  // Main thread: no later OnOsrNativeWindowCreated reaches the delegate.
  void DetachDelegate() { delegate_ = nullptr; }

  // ClientHandlerOsr::OsrDelegate (engine UI thread)
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override;
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override;
  // Always false.
  bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
  // The child window's client size in logical pixels (rounded up).
  bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override;
  bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX, int& screenY) override;
  bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) override;
  void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) override;
  // rect in logical pixels.
  void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) override;
  // A pop-up widget's frame is shown inside the last view frame at its fitted place, never alone.
  void OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
               const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width, int height) override;
  void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, cef_cursor_type_t type,
                      const CefCursorInfo& custom_cursor_info) override;
  // Runs the modal OLE drag, then tells the engine where and how it ended.
  bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                     cef_drag_operations_mask_t allowed_ops, int x, int y) override;
  void UpdateDragCursor(CefRefPtr<CefBrowser> browser, cef_drag_operations_mask_t operation) override;

  // OsrDragEvents (engine UI thread): forwarded to the browser in logical pixels; each answers the
  // operation the engine last reported through UpdateDragCursor.
  cef_drag_operations_mask_t OnDragEnter(CefRefPtr<CefDragData> drag_data, CefMouseEvent ev,
                                         cef_drag_operations_mask_t effect) override;
  cef_drag_operations_mask_t OnDragOver(CefMouseEvent ev, cef_drag_operations_mask_t effect) override;
  void OnDragLeave() override;
  cef_drag_operations_mask_t OnDrop(CefMouseEvent ev, cef_drag_operations_mask_t effect) override;

  // Engine UI thread: HTCAPTION for a client point (device pixels) inside a drag area of the
  // page, else HTCLIENT. A left press at HTCAPTION starts a caption drag; the window itself does
  // not answer WM_NCHITTEST with it.
  int HitTest(int x, int y) const;

  // For inspection on the engine's UI thread.
  HWND hwnd() const { return hwnd_; }
  float device_scale_factor() const { return device_scale_factor_; }
  const std::vector<RECT>& drag_areas() const { return drag_areas_; }
  const LayeredWindowPainter& layered_painter() const { return layered_painter_; }
  const OsrGlRenderer& renderer() const { return renderer_; }
  bool IsHidden() const { return hidden_; }
  bool IsCaptionDragActive() const { return caption_drag_active_ != 0; }
  bool IsInRotationMode() const { return rotation_mode_; }
  int last_click_count() const { return last_click_count_; }

 protected:
  friend class base::RefCountedThreadSafe<OsrWindowWin, CefDeleteOnUIThread>;
  friend struct CefDeleteOnThread<TID_UI>;
  // Engine UI thread (or the calling thread once the engine is gone). A child window still
  // there (the browser never closed through this object) is destroyed with its drop target.
  ~OsrWindowWin() override;

 private:
  // Window.
  void Create(HWND parent_hwnd, const RECT& rect);
  void Destroy();
  void NotifyNativeWindowCreated(HWND hwnd);
  static void RegisterOsrClass();
  static LRESULT CALLBACK OsrWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  // Input (osr_window_input.cpp).
  void OnDragAreaList(LPARAM lParam);
  void NotifyPageClick(UINT message, LPARAM lParam);
  // True when the message belonged to a caption drag (and must go no further).
  bool HandleCaptionDrag(UINT message, WPARAM wParam, LPARAM lParam);
  void OnMouseEvent(UINT message, WPARAM wParam, LPARAM lParam);
  // True when the key was swallowed.
  bool OnKeyEvent(UINT message, WPARAM wParam, LPARAM lParam);
  void OnSize();
  void OnFocus(bool setFocus);
  void OnCaptureLost();
  void OnPaintMessage();
  bool OnEraseBkgnd();
  bool IsOverPopupWidget(int x, int y) const;
  int GetPopupXOffset() const;
  int GetPopupYOffset() const;
  void ApplyPopupOffset(int& x, int& y) const;
  // The engine's event for a client point (device pixels) of the view: the pop-up offset applied,
  // in logical pixels, with the modifiers of wParam's key state.
  CefMouseEvent ViewMouseEvent(int x, int y, WPARAM wParam) const;

  // Painting.
  void PaintLayered(cef_paint_element_type_t type, const void* buffer, int width, int height);
  void PaintGl(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
               const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width, int height);
  void EnableGL();
  void DisableGL();
  // At most one render pending, 33 ms later.
  void RequestRender();
  void RenderTask();

  // Main thread only.
  Delegate* delegate_;
  OsrGlRenderer renderer_;
  HWND hwnd_ = nullptr;
  std::atomic<HWND> parent_hwnd_{nullptr};
  HDC hdc_ = nullptr;
  HGLRC hrc_ = nullptr;
  RECT client_rect_ = {};
  float device_scale_factor_;
  CefRefPtr<CefBrowser> browser_;
  CComPtr<DropTargetWin> drop_target_;
  cef_drag_operations_mask_t current_drag_op_ = DRAG_OPERATION_NONE;
  bool painting_popup_ = false;
  bool render_task_pending_ = false;
  bool hidden_ = false;

  // Input state.
  POINT last_mouse_pos_ = {};
  POINT current_mouse_pos_ = {};
  bool rotation_mode_ = false;
  bool mouse_tracking_ = false;
  int last_click_x_ = 0;
  int last_click_y_ = 0;
  CefBrowserHost::MouseButtonType last_click_button_ = MBT_LEFT;
  int last_click_count_ = 0;
  double last_click_time_ = 0;
  bool last_mouse_down_on_view_ = false;
  int caption_drag_active_ = 0;
  int caption_drag_last_x_ = 0;
  int caption_drag_last_y_ = 0;

  // Client coordinates of the child window, device pixels.
  std::vector<RECT> drag_areas_;
  LayeredWindowPainter layered_painter_;
  // The last view frame and the shown pop-up widget's frame, from which a layered image with the
  // pop-up is composed (premultiplied BGRA, rows top to bottom).
  std::vector<uint32_t> view_frame_;
  int view_frame_width_ = 0;
  int view_frame_height_ = 0;
  std::vector<uint32_t> popup_frame_;
  int popup_frame_width_ = 0;
  int popup_frame_height_ = 0;
  const bool disable_alt_f4_;

  DISALLOW_COPY_AND_ASSIGN(OsrWindowWin);
};

}  // namespace client
