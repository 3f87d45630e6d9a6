#ifndef CEF_INCLUDE_CEF_COOKIE_H_
#define CEF_INCLUDE_CEF_COOKIE_H_

#include <vector>

#include "include/cef_base.h"
#include "include/cef_callback.h"

class CefCookieVisitor;
class CefDeleteCookiesCallback;
class CefSetCookieCallback;

// A cookie store. Setting and deleting may be called on any thread; visitors and completion
// callbacks run on the IO thread.
class CefCookieManager : public virtual CefBase {
 public:
  // The store shared by the global request context; null when the engine does not run.
  static CefRefPtr<CefCookieManager> GetGlobalManager(CefRefPtr<CefCompletionCallback> callback);

  // Schemes that may carry cookies besides http, https, ws and wss (the list replaces the
  // previous one, entries kept as given).
  virtual void SetSupportedSchemes(const std::vector<CefString>& schemes,
                                   CefRefPtr<CefCompletionCallback> callback) = 0;
  virtual bool VisitAllCookies(CefRefPtr<CefCookieVisitor> visitor) = 0;
  // False for an invalid URL. The visitor is not called when nothing matches.
  virtual bool VisitUrlCookies(const CefString& url, bool includeHttpOnly, CefRefPtr<CefCookieVisitor> visitor) = 0;
  virtual bool SetCookie(const CefString& url, const CefCookie& cookie, CefRefPtr<CefSetCookieCallback> callback) = 0;
  // url "" deletes all; url with name "" deletes the host's host-only cookies.
  virtual bool DeleteCookies(const CefString& url, const CefString& cookie_name,
                             CefRefPtr<CefDeleteCookiesCallback> callback) = 0;
  virtual bool FlushStore(CefRefPtr<CefCompletionCallback> callback) = 0;
};

// Visits cookies in order; IO thread.
class CefCookieVisitor : public virtual CefBase {
 public:
  // count runs from 0 to total - 1; set deleteCookie to delete this one; false stops.
  virtual bool Visit(const CefCookie& cookie, int count, int total, bool& deleteCookie) = 0;
};

class CefSetCookieCallback : public virtual CefBase {
 public:
  virtual void OnComplete(bool success) = 0;
};

class CefDeleteCookiesCallback : public virtual CefBase {
 public:
  virtual void OnComplete(int num_deleted) = 0;
};

#endif  // CEF_INCLUDE_CEF_COOKIE_H_
