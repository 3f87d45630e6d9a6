// The scheme handler factories registered with CefRegisterSchemeHandlerFactory.
// Keys are (scheme, domain), both lower-case; a scheme that does not parse as standard ignores the
// domain (it has no host), so its factory is kept under (scheme, ""). Every function may be called on
// any thread; none calls client code.
#ifndef CEF_ENGINE_SCHEME_FACTORIES_H_
#define CEF_ENGINE_SCHEME_FACTORIES_H_

#include <string>
#include <vector>

#include "include/cef_scheme.h"

namespace cefengine {

// Stores, replaces (same key) or with a null factory removes a registration. False for an empty or
// malformed scheme name.
[[nodiscard]] bool RegisterSchemeFactory(const std::wstring& scheme, const std::wstring& domain,
                                         CefRefPtr<CefSchemeHandlerFactory> factory);
void ClearSchemeFactories();

// The factory for a request to (scheme, host): the (scheme, host) entry, else (scheme, ""). Null when
// none. `scheme` and `host` lower-case, as CefParseURL gives them.
CefRefPtr<CefSchemeHandlerFactory> FindSchemeFactory(const std::wstring& scheme, const std::wstring& host);
// Whether any factory is registered for `scheme` (any domain).
bool HasSchemeFactory(const std::wstring& scheme);

struct SchemeFactoryEntry {
  std::wstring scheme;
  std::wstring domain;
  CefRefPtr<CefSchemeHandlerFactory> factory;
};
// Every registration, ordered by scheme then domain.
std::vector<SchemeFactoryEntry> SchemeFactoryEntries();

}  // namespace cefengine

#endif  // CEF_ENGINE_SCHEME_FACTORIES_H_
