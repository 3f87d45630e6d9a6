// The host's cookie commands over CEF's global cookie manager: cookies set from the host's
// "name=value; ..." text, the cookieable schemes, and the visit that reads a URL's cookies back
// on CEF's IO thread. Every call fetches the global manager afresh and does nothing without it.
#pragma once

#include <string>

#include "include/base/cef_callback.h"
#include "include/cef_cookie.h"
#include "include/cef_task.h"

namespace client {

// Main thread. Stores one cookie for url's host per "name=value" piece of cookie_text (";"
// separated; pieces without "=" are skipped; name and value trimmed; anything after a second
// "=" is dropped). Each cookie: path "/", not secure, not HttpOnly, expiring 2099-11-30
// 16:00:00 UTC. Returns the number of cookies made (0 for an empty text).
int SetCookies(const std::wstring& url, const std::wstring& cookie_text);

// Main thread. The ";" separated schemes, untrimmed and empty ones included, become the cookie
// manager's supported schemes.
void SetCookieSchemes(const std::wstring& list);

// Collects the cookies of one URL on CEF's IO thread and hands them, as one "name=value;..."
// text, to its callback there. One task per request: a request never shares its URL, flag,
// callback or text with another.
class VisitCookieTask : public CefTask, public CefCookieVisitor {
 public:
  // (cookies text, url); runs on CEF's IO thread.
  typedef base::Callback<void(const std::wstring&, const std::wstring&)> CookiesCallback;

  VisitCookieTask();

  // Set before the task is posted.
  void SetCallback(const CookiesCallback& callback);
  void SetUrl(const std::wstring& url);
  // Returns whether HttpOnly cookies are now included (flag != 0).
  bool SetIncludeHttpOnly(int flag);

  // Any thread. Nothing for a null task or an empty url; otherwise sets the url and the flag
  // and posts the task to CEF's IO thread.
  static void PostVisit(CefRefPtr<VisitCookieTask> task, const std::wstring& url, int include_http_only);

  // CefTask (IO thread): starts the visit. A URL without cookies is never answered.
  void Execute() override;
  // CefCookieVisitor (IO thread): collects; the last cookie calls the callback.
  bool Visit(const CefCookie& cookie, int count, int total, bool& deleteCookie) override;

 private:
  std::wstring url_;
  std::wstring cookies_;
  CookiesCallback callback_;
  bool include_http_only_;

  IMPLEMENT_REFCOUNTING(VisitCookieTask);
};

}  // namespace client
