// The start-up switches of one view (web view), read from a command line: the process's own
// for the first view, the host's create-view text for later ones. The record is owned by one
// object at a time (its creator, then the view's root window) through a unique_ptr.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "include/cef_command_line.h"
#include "include/internal/cef_types.h"
#include "include/internal/cef_types_wrappers.h"

struct StartupSettings {
  std::string url;                       // "url" (UTF-8); "about:blank" when absent or empty
  HWND parent_wnd = nullptr;             // "parent_wnd", hexadecimal: the host window
  bool transparent_window = false;       // "transparent_window": off-screen, layered
  CefRect tab_rect;                      // "tab_rect" x,y,w,h
  CefRect workarea;                      // "workarea" x,y,w,h: drag limits
  std::wstring class_name = L"Brivelo";  // "class_name": the root window's class
  cef_color_t background_color = 0;      // "background-color", CSS colour
  std::wstring tab_ids;                  // "tab_ids": the channel id
  int32_t web_view_id = 0;               // "web_view_id", decimal: the view id of messages
  bool sc_init_hide = false;             // "sc_init_hide": start hidden
  std::wstring referrer;                 // "referrer"
  bool self_adaption_dpi = false;        // "self_adaption_dpi": scale host coordinates by DPI
  bool enable_setparent = false;         // "enable_setparent": off-screen view as a real child

  ~StartupSettings();

  // Fills the record from the switches present; a missing or unreadable value leaves the
  // field as it was, except url (about:blank) and tab_ids and referrer (empty when absent).
  // Always true.
  bool ParseCommandLine(CefRefPtr<CefCommandLine> command_line);
};

using StartupSettingsPtr = std::unique_ptr<StartupSettings>;
