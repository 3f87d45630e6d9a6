#ifndef CEF_INCLUDE_INTERNAL_CEF_WIN_H_
#define CEF_INCLUDE_INTERNAL_CEF_WIN_H_

#include "include/internal/cef_string.h"
#include "include/internal/cef_thread_internal.h"
#include "include/internal/cef_types_win.h"
#include "include/internal/cef_types_wrappers.h"

typedef HCURSOR CefCursorHandle;
typedef MSG* CefEventHandle;
typedef HWND CefWindowHandle;

class CefMainArgs : public cef_main_args_t {
 public:
  CefMainArgs() : cef_main_args_t{} {}
  CefMainArgs(const cef_main_args_t& r) : cef_main_args_t(r) {}
  explicit CefMainArgs(HINSTANCE hInstance) : cef_main_args_t{hInstance} {}
};

struct CefWindowInfoTraits {
  typedef cef_window_info_t struct_type;
  static void init(struct_type* s) {}
  static void clear(struct_type* s) { cef_string_clear(&s->window_name); }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target)
      return;
    target->ex_style = src->ex_style;
    cef_string_set(src->window_name.str, src->window_name.length, &target->window_name, copy);
    target->style = src->style;
    target->x = src->x;
    target->y = src->y;
    target->width = src->width;
    target->height = src->height;
    target->parent_window = src->parent_window;
    target->menu = src->menu;
    target->windowless_rendering_enabled = src->windowless_rendering_enabled;
    target->transparent_painting_enabled = src->transparent_painting_enabled;
    target->window = src->window;
  }
};

// How a browser's window is made: a child, a pop-up or none (windowless).
class CefWindowInfo : public CefStructBase<CefWindowInfoTraits> {
 public:
  typedef CefStructBase<CefWindowInfoTraits> parent;
  CefWindowInfo() : parent() {}
  CefWindowInfo(const cef_window_info_t& r) : parent(r) {}
  CefWindowInfo(const CefWindowInfo& r) : parent(r) {}
  CefWindowInfo& operator=(const CefWindowInfo& r) {
    parent::operator=(r);
    return *this;
  }

  void SetAsChild(CefWindowHandle parent_handle, RECT windowRect) {
    style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE;
    parent_window = parent_handle;
    x = windowRect.left;
    y = windowRect.top;
    width = windowRect.right - windowRect.left;
    height = windowRect.bottom - windowRect.top;
  }
  void SetAsPopup(CefWindowHandle parent_handle, const CefString& windowName) {
    style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
    parent_window = parent_handle;
    x = CW_USEDEFAULT;
    y = CW_USEDEFAULT;
    width = CW_USEDEFAULT;
    height = CW_USEDEFAULT;
    cef_string_set(windowName.c_str(), windowName.length(), &window_name, true);
  }
  void SetAsWindowless(CefWindowHandle parent_handle, bool transparent) {
    windowless_rendering_enabled = TRUE;
    parent_window = parent_handle;
    transparent_painting_enabled = transparent;
  }
};

#endif  // CEF_INCLUDE_INTERNAL_CEF_WIN_H_
