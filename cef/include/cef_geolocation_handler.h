#ifndef CEF_INCLUDE_CEF_GEOLOCATION_HANDLER_H_
#define CEF_INCLUDE_CEF_GEOLOCATION_HANDLER_H_

#include "include/cef_base.h"
#include "include/cef_browser.h"

// Answers a geolocation permission request.
class CefGeolocationCallback : public virtual CefBase {
 public:
  virtual void Continue(bool allow) = 0;
};

// Geolocation permissions; UI thread.
class CefGeolocationHandler : public virtual CefBase {
 public:
  // True: the callback will answer; false denies.
  virtual bool OnRequestGeolocationPermission(CefRefPtr<CefBrowser> browser, const CefString& requesting_url,
                                              int request_id, CefRefPtr<CefGeolocationCallback> callback) {
    return false;
  }
  virtual void OnCancelGeolocationPermission(CefRefPtr<CefBrowser> browser, int request_id) {}
};

#endif  // CEF_INCLUDE_CEF_GEOLOCATION_HANDLER_H_
