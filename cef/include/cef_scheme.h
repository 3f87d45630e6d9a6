#ifndef CEF_INCLUDE_CEF_SCHEME_H_
#define CEF_INCLUDE_CEF_SCHEME_H_

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"
#include "include/cef_resource_handler.h"
#include "include/cef_response.h"

class CefSchemeHandlerFactory;

// Serves requests of `scheme_name` (and `domain_name` for standard schemes; "" = every host)
// with `factory`, replacing an earlier registration; a null factory removes it. False for an
// empty scheme or when the engine does not run. Any thread.
bool CefRegisterSchemeHandlerFactory(const CefString& scheme_name, const CefString& domain_name,
                                     CefRefPtr<CefSchemeHandlerFactory> factory);
bool CefClearSchemeHandlerFactories();

// Declares custom schemes; valid only during CefApp::OnRegisterCustomSchemes.
class CefSchemeRegistrar : public virtual CefBase {
 public:
  // False for a built-in scheme, a duplicate, or outside OnRegisterCustomSchemes.
  virtual bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                               bool is_display_isolated) = 0;
};

// Makes the handler of one request of its scheme. Called on the IO thread; browser and frame are
// null for requests that no browser made.
class CefSchemeHandlerFactory : public virtual CefBase {
 public:
  virtual CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                               const CefString& scheme_name, CefRefPtr<CefRequest> request) = 0;
};

#endif  // CEF_INCLUDE_CEF_SCHEME_H_
