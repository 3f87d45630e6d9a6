#ifndef CEF_INCLUDE_CEF_DRAG_HANDLER_H_
#define CEF_INCLUDE_CEF_DRAG_HANDLER_H_

#include <vector>

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_drag_data.h"

// Drags into a browser; UI thread.
class CefDragHandler : public virtual CefBase {
 public:
  typedef cef_drag_operations_mask_t DragOperationsMask;

  // True refuses the drag.
  virtual bool OnDragEnter(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> dragData, DragOperationsMask mask) {
    return false;
  }
  virtual void OnDraggableRegionsChanged(CefRefPtr<CefBrowser> browser,
                                         const std::vector<CefDraggableRegion>& regions) {}
};

#endif  // CEF_INCLUDE_CEF_DRAG_HANDLER_H_
