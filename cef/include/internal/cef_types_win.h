#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_WIN_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_WIN_H_

#include <windows.h>

#include "include/internal/cef_string_types.h"

extern "C" {

#define cef_cursor_handle_t HCURSOR
#define cef_event_handle_t MSG*
#define cef_window_handle_t HWND
#define kNullCursorHandle NULL
#define kNullEventHandle NULL
#define kNullWindowHandle NULL

typedef struct _cef_main_args_t {
  HINSTANCE instance;
} cef_main_args_t;

typedef struct _cef_window_info_t {
  // Standard parameters of CreateWindowEx().
  DWORD ex_style;
  cef_string_t window_name;
  DWORD style;
  int x;
  int y;
  int width;
  int height;
  cef_window_handle_t parent_window;
  HMENU menu;
  // Windowless browsers paint through CefRenderHandler; `parent_window` is their host window.
  int windowless_rendering_enabled;
  int transparent_painting_enabled;
  // Set by the engine: the browser's own window.
  cef_window_handle_t window;
} cef_window_info_t;
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_WIN_H_
