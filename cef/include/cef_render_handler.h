#ifndef CEF_INCLUDE_CEF_RENDER_HANDLER_H_
#define CEF_INCLUDE_CEF_RENDER_HANDLER_H_

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_drag_data.h"

// Painting and screen questions of windowless browsers; UI thread.
class CefRenderHandler : public virtual CefBase {
 public:
  typedef cef_cursor_type_t CursorType;
  typedef cef_drag_operations_mask_t DragOperation;
  typedef cef_drag_operations_mask_t DragOperationsMask;
  typedef cef_paint_element_type_t PaintElementType;
  typedef std::vector<CefRect> RectList;

  virtual bool GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) { return false; }
  // The view in screen-independent pixels; false or empty: nothing is painted.
  virtual bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) = 0;
  virtual bool GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX, int& screenY) {
    return false;
  }
  // `screen_info` arrives pre-filled with defaults.
  virtual bool GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) { return false; }
  virtual void OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) {}
  virtual void OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) {}
  // `buffer`: width * height BGRA pixels, premultiplied alpha, top row first; valid only during
  // the call.
  virtual void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirtyRects,
                       const void* buffer, int width, int height) = 0;
  virtual void OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, CursorType type,
                              const CefCursorInfo& custom_cursor_info) {}
  // The page starts a drag; false ends it at once.
  virtual bool StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                             DragOperationsMask allowed_ops, int x, int y) {
    return false;
  }
  virtual void UpdateDragCursor(CefRefPtr<CefBrowser> browser, DragOperation operation) {}
  virtual void OnScrollOffsetChanged(CefRefPtr<CefBrowser> browser, double x, double y) {}
};

#endif  // CEF_INCLUDE_CEF_RENDER_HANDLER_H_
