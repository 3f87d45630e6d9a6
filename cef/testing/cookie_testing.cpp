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
    static_cast<CookieAttributes&>(info) = c;
    info.name = WideToUtf8(c.name);
    info.value = WideToUtf8(c.value);
    info.domain = WideToUtf8(c.domain);
    info.path = WideToUtf8(c.path);
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
