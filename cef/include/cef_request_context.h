#ifndef CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
#define CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_

#include "include/cef_callback.h"
#include "include/cef_cookie.h"
#include "include/cef_request_context_handler.h"

class CefSchemeHandlerFactory;

// A set of browsers that share cookies, cache path and scheme factories.
class CefRequestContext : public virtual CefBase {
 public:
  // Null when the engine does not run.
  static CefRefPtr<CefRequestContext> GetGlobalContext();
  static CefRefPtr<CefRequestContext> CreateContext(const CefRequestContextSettings& settings,
                                                    CefRefPtr<CefRequestContextHandler> handler);
  // Shares the storage of `other`.
  static CefRefPtr<CefRequestContext> CreateContext(CefRefPtr<CefRequestContext> other,
                                                    CefRefPtr<CefRequestContextHandler> handler);

  virtual bool IsSame(CefRefPtr<CefRequestContext> other) = 0;
  virtual bool IsSharingWith(CefRefPtr<CefRequestContext> other) = 0;
  virtual bool IsGlobal() = 0;
  virtual CefRefPtr<CefRequestContextHandler> GetHandler() = 0;
  virtual CefString GetCachePath() = 0;
  virtual CefRefPtr<CefCookieManager> GetDefaultCookieManager(CefRefPtr<CefCompletionCallback> callback) = 0;
  virtual bool RegisterSchemeHandlerFactory(const CefString& scheme_name, const CefString& domain_name,
                                            CefRefPtr<CefSchemeHandlerFactory> factory) = 0;
  virtual bool ClearSchemeHandlerFactories() = 0;
};

#endif  // CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
