// The process's cookies: an in-memory store, the rules that decide which cookies a URL sees,
// and the header forms that http(s) fetches send and receive.
//
// Rules of the store:
// - A URL's scheme must be cookieable: http, https, ws, wss, plus the extra list given to
//   SetSupportedSchemes. Cookies of other schemes are neither stored nor seen.
// - A cookie set with an empty domain is host-only: it carries the URL's host as its domain and
//   matches that host alone. A given domain is kept as given (no dot added); it must equal the
//   URL's host or be a parent of it, and then matches the domain and its sub-domains (a leading
//   dot is ignored for matching). Non-standard schemes (zip) have an empty host, so their cookies
//   carry an empty domain and match every URL with an empty host.
// - A cookie's path matches a URL path that equals it or continues it after a '/'.
// - Secure cookies match only https and wss URLs; HttpOnly ones only when asked for; expired ones
//   never. Matches come longer path first, then in order of first insertion (a replaced cookie
//   keeps its place).
#ifndef CEF_ENGINE_COOKIE_STORE_H_
#define CEF_ENGINE_COOKIE_STORE_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "include/cef_cookie.h"

namespace cefengine {

// What a cookie is besides its texts.
struct CookieAttributes {
  bool host_only = false;  // set with an empty domain: matches its host alone
  bool secure = false;
  bool httponly = false;
  bool has_expires = false;
  cef_time_t expires = {};
  cef_time_t creation = {};
  cef_time_t last_access = {};
};

// One stored cookie. `domain` is as given, or the URL's host for a host-only cookie.
struct StoredCookie : CookieAttributes {
  uint64_t id = 0;  // unique within its store; grows with insertion
  std::wstring name;
  std::wstring value;
  std::wstring domain;
  std::wstring path;

  // The public form handed to visitors (a deep copy).
  CefCookie ToCefCookie() const;
};

// Thread-safe: every method may be called on any thread, and each call is applied at once under
// the store's lock, so a call that follows sees its effect. Methods never call client code.
class CookieStore {
 public:
  enum class SetResult {
    kInvalidUrl,  // the URL does not parse
    kRefused,     // scheme not cookieable, or a name, value, domain or path that is not allowed
    kStored,      // stored, replacing a cookie of the same name, domain and path
    kExpired,     // an expiry in the past: a cookie of the same name, domain and path is removed
  };

  CookieStore() = default;
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // Replaces the extra cookieable schemes. Entries are kept as given, empty ones included.
  void SetSupportedSchemes(const std::vector<std::wstring>& schemes);
  std::vector<std::wstring> SupportedSchemes() const;

  // Stores `cookie` for `url`: an empty path becomes "/"; creation and last-access times are
  // kept as given.
  [[nodiscard]] SetResult Set(const std::wstring& url, const CefCookie& cookie);

  // The cookies `url` sees, in matching order. False when the URL does not parse.
  [[nodiscard]] bool Match(const std::wstring& url, bool include_http_only, std::vector<StoredCookie>* out) const;
  // Every unexpired cookie, longer path first, then insertion order.
  std::vector<StoredCookie> All() const;
  // Every unexpired cookie in insertion order.
  std::vector<StoredCookie> InInsertionOrder() const;

  // Deletes by the cookie manager's rules: url "" deletes all; a url with an empty name deletes
  // the cookies whose domain is exactly the URL's host (host-only ones and those given that
  // host), not those of parent domains; url and name delete every cookie of that name the
  // host sees by domain (paths ignored). False, nothing deleted, for an unparsable non-empty url.
  [[nodiscard]] bool Delete(const std::wstring& url, const std::wstring& name, int* deleted);
  // Deletes the cookie with this id; false when it is gone already.
  bool DeleteById(uint64_t id);
  void Clear();

  // The value of the Cookie header of an http(s) request to `url` ("a=1; b=2"; a cookie with an
  // empty name is sent as its value alone). HttpOnly cookies are included. "" when none match.
  std::wstring CookieHeader(const std::wstring& url) const;
  // Applies one Set-Cookie header value received for `url` ("n=v; Path=/p; Domain=d; Secure;
  // HttpOnly; Expires=<date>; Max-Age=<s>"). Without Path the default is the directory of the
  // URL's path. True when it was stored or, for an expiry in the past, removed a cookie.
  [[nodiscard]] bool ApplySetCookieHeader(const std::wstring& url, const std::string& header);

  // After Close the store is empty and refuses every change.
  void Close();
  bool IsOpen() const;

 private:
  bool IsCookieable(const std::wstring& scheme) const;  // lock held
  void DropExpired();                                   // lock held

  mutable std::mutex mutex_;
  bool open_ = true;
  uint64_t next_id_ = 1;
  std::vector<std::wstring> schemes_;
  std::vector<StoredCookie> cookies_;  // insertion order
};

// Parses an HTTP cookie date ("Wed, 21 Oct 2015 07:28:00 GMT" and the older forms) into
// seconds since 1970. False when no day, month, year and time can be read.
[[nodiscard]] bool ParseCookieDate(const std::string& text, int64_t* seconds);

// --- The global store (the engine keeps one per browser process) ---

// Creates the global store and manager (CefInitialize) and closes them (CefShutdown); managers
// handed out before stay valid objects whose calls fail afterwards.
void OpenGlobalCookies();
void CloseGlobalCookies();
// The global store; null while the engine does not run. The pointer keeps the store object
// alive, but a closed store holds nothing.
std::shared_ptr<CookieStore> GlobalCookieStore();
// The global manager; null while the engine does not run. The same object between start-up and
// shutdown.
CefRefPtr<CefCookieManager> GlobalCookieManager();
// The store behind a manager the engine made; null for null or a manager the client implemented.
std::shared_ptr<CookieStore> StoreOfManager(CefRefPtr<CefCookieManager> manager);

}  // namespace cefengine

#endif  // CEF_ENGINE_COOKIE_STORE_H_
