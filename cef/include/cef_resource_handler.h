#ifndef CEF_INCLUDE_CEF_RESOURCE_HANDLER_H_
#define CEF_INCLUDE_CEF_RESOURCE_HANDLER_H_

#include "include/cef_base.h"
#include "include/cef_callback.h"
#include "include/cef_cookie.h"
#include "include/cef_request.h"
#include "include/cef_response.h"

// Serves one request; every method on the IO thread.
// ProcessRequest (true: callback->Continue when the head is ready, false: cancel) ->
// GetResponseHeaders -> ReadResponse until it returns false.
class CefResourceHandler : public virtual CefBase {
 public:
  virtual bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) = 0;
  // response_length -1 when unknown; a non-empty redirectUrl redirects.
  virtual void GetResponseHeaders(CefRefPtr<CefResponse> response, int64& response_length,
                                  CefString& redirectUrl) = 0;
  // True with bytes_read > 0: data; true with 0: call callback->Continue later; false: done.
  virtual bool ReadResponse(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefCallback> callback) = 0;
  virtual bool CanGetCookie(const CefCookie& cookie) { return true; }
  virtual bool CanSetCookie(const CefCookie& cookie) { return true; }
  virtual void Cancel() = 0;
};

#endif  // CEF_INCLUDE_CEF_RESOURCE_HANDLER_H_
