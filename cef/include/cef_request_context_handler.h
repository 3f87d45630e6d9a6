#ifndef CEF_INCLUDE_CEF_REQUEST_CONTEXT_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_CONTEXT_HANDLER_H_

#include "include/cef_base.h"
#include "include/cef_cookie.h"
#include "include/cef_web_plugin.h"

// Per request context choices.
class CefRequestContextHandler : public virtual CefBase {
 public:
  typedef cef_plugin_policy_t PluginPolicy;

  // Null: the global store.
  virtual CefRefPtr<CefCookieManager> GetCookieManager() { return nullptr; }
  // IO thread, per plugin: true when *plugin_policy was changed.
  virtual bool OnBeforePluginLoad(const CefString& mime_type, const CefString& plugin_url,
                                  const CefString& top_origin_url, CefRefPtr<CefWebPluginInfo> plugin_info,
                                  PluginPolicy* plugin_policy) {
    return false;
  }
};

#endif  // CEF_INCLUDE_CEF_REQUEST_CONTEXT_HANDLER_H_
