#include "testing/cookie_testing.h"

#include "engine/cookie_store.h"
#include "engine/utf.h"

namespace cefengine {
namespace test {

std::vector<CookieInfo> Cookies() {
  std::vector<CookieInfo> out;
  std::shared_ptr<CookieStore> store = GlobalCookieStore();
  if (!store)
    return out;
  for (const StoredCookie& c : store->InInsertionOrder()) {
    CookieInfo info;
    info.name = WideToUtf8(c.name);
    info.value = WideToUtf8(c.value);
    info.domain = WideToUtf8(c.domain);
    info.path = WideToUtf8(c.path);
    info.host_only = c.host_only;
    info.secure = c.secure;
    info.httponly = c.httponly;
    info.has_expires = c.has_expires;
    info.expires = c.expires;
    info.creation = c.creation;
    info.last_access = c.last_access;
    out.push_back(info);
  }
  return out;
}

std::vector<std::string> CookieSchemes() {
  std::vector<std::string> out;
  std::shared_ptr<CookieStore> store = GlobalCookieStore();
  if (store)
    for (const std::wstring& s : store->SupportedSchemes())
      out.push_back(WideToUtf8(s));
  return out;
}

void ClearCookies() {
  std::shared_ptr<CookieStore> store = GlobalCookieStore();
  if (store)
    store->Clear();
}

}  // namespace test
}  // namespace cefengine
