#ifndef CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
#define CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Keyboard events; UI thread.
class CefKeyboardHandler : public virtual CefBase {
 public:
  // Before the page sees the key; true consumes it. *is_keyboard_shortcut starts false.
  virtual bool OnPreKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event,
                             bool* is_keyboard_shortcut) {
    return false;
  }
  // After the page left the key unhandled.
  virtual bool OnKeyEvent(CefRefPtr<CefBrowser> browser, const CefKeyEvent& event, CefEventHandle os_event) {
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_KEYBOARD_HANDLER_H_
