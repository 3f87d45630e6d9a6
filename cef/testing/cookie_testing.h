// Test-only view of the engine's cookies. Product code never includes this header.
// Every function reads or changes the global cookie store and may be called from any thread;
// while the engine does not run there is no store: reads are empty and ClearCookies does nothing.
#ifndef CEF_TESTING_COOKIE_TESTING_H_
#define CEF_TESTING_COOKIE_TESTING_H_

#include <string>
#include <vector>

#include "engine/cookie_store.h"

namespace cefengine {
namespace test {

// One stored cookie, strings in UTF-8. `domain` is as it was given, or the URL's host for a
// host-only cookie.
struct CookieInfo : CookieAttributes {
  std::string name;
  std::string value;
  std::string domain;
  std::string path;
};

// The unexpired cookies of the global store, in insertion order (a replaced cookie keeps its
// place).
std::vector<CookieInfo> Cookies();
// The extra cookieable schemes as last given to SetSupportedSchemes, empty entries included.
std::vector<std::string> CookieSchemes();
// Deletes every cookie of the global store (the scheme list stays).
void ClearCookies();

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_COOKIE_TESTING_H_
