#ifndef CEF_INCLUDE_WRAPPER_CEF_STREAM_RESOURCE_HANDLER_H_
#define CEF_INCLUDE_WRAPPER_CEF_STREAM_RESOURCE_HANDLER_H_

#include <memory>

#include "include/base/cef_macros.h"
#include "include/cef_resource_handler.h"
#include "include/cef_response.h"
#include "include/cef_stream.h"

// Serves a response body from a stream: status 200 "OK" (or as given), the given MIME type and
// headers. A null stream serves an empty body. IO thread. A stream that may block is read on the
// FILE thread, ReadResponse answering "later" meanwhile.
class CefStreamResourceHandler : public CefResourceHandler {
 public:
  CefStreamResourceHandler(const CefString& mime_type, CefRefPtr<CefStreamReader> stream);
  CefStreamResourceHandler(int status_code, const CefString& status_text, const CefString& mime_type,
                           CefResponse::HeaderMap header_map, CefRefPtr<CefStreamReader> stream);

  bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) OVERRIDE;
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64& response_length, CefString& redirectUrl) OVERRIDE;
  bool ReadResponse(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefCallback> callback) OVERRIDE;
  void Cancel() OVERRIDE;

  struct FileRead;  // implementation detail: a read running on the FILE thread and its bytes

 private:
  const int status_code_;
  const CefString status_text_;
  const CefString mime_type_;
  const CefResponse::HeaderMap header_map_;
  const CefRefPtr<CefStreamReader> stream_;
  const std::shared_ptr<FileRead> file_read_;

  IMPLEMENT_REFCOUNTING(CefStreamResourceHandler);
  DISALLOW_COPY_AND_ASSIGN(CefStreamResourceHandler);
};

#endif  // CEF_INCLUDE_WRAPPER_CEF_STREAM_RESOURCE_HANDLER_H_
