// Custom schemes declared through CefSchemeRegistrar, and which schemes parse as standard URLs.
#ifndef CEF_ENGINE_SCHEME_REGISTRY_H_
#define CEF_ENGINE_SCHEME_REGISTRY_H_

#include <string>

#include "include/cef_scheme.h"

namespace cefengine {

// http, https, file, ftp, ws, wss, and custom schemes registered as standard. `scheme` must be
// lower-case. Any thread.
bool IsStandardScheme(const std::wstring& scheme);
// Built into the engine: never registrable as custom.
bool IsBuiltInScheme(const std::wstring& scheme);
// A custom scheme declared during OnRegisterCustomSchemes.
bool IsCustomScheme(const std::wstring& scheme);

// The registrar handed to CefApp::OnRegisterCustomSchemes; it accepts schemes only until
// Invalidate() (called when the callback returns).
class SchemeRegistrarImpl : public CefSchemeRegistrar {
 public:
  bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                       bool is_display_isolated) override;
  void Invalidate() { valid_ = false; }

 private:
  bool valid_ = true;
  IMPLEMENT_REFCOUNTING(SchemeRegistrarImpl);
};

// Forgets every custom scheme (at shutdown).
void ClearCustomSchemes();

}  // namespace cefengine

#endif  // CEF_ENGINE_SCHEME_REGISTRY_H_
