// One HTTP(S) exchange through WinINet, for the loads the test network table does not answer.
// Redirects are not followed (the loader follows them with its hooks), WinINet's own cookies and
// cache are off (the engine keeps cookies itself), and no proxy is used.
#ifndef CEF_ENGINE_HTTP_FETCH_H_
#define CEF_ENGINE_HTTP_FETCH_H_

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "include/internal/cef_types.h"

namespace cefengine {

typedef std::vector<std::pair<std::wstring, std::wstring>> HttpHeaderList;

struct HttpFetchRequest {
  std::wstring url;            // http:// or https://
  std::wstring method = L"GET";
  std::string body;            // sent as it is (POST and friends)
  HttpHeaderList headers;      // sent as given, in order
  bool ignore_certificate_errors = false;
  DWORD timeout_ms = 15000;    // per connect, send and receive step
};

struct HttpFetchResult {
  cef_errorcode_t error = ERR_NONE;  // ERR_NONE: an answer arrived, whatever its status
  int status = 0;
  std::wstring status_text;
  std::wstring mime_type;  // Content-Type without parameters, lower-case; "" when absent
  HttpHeaderList headers;  // as received, in order
  std::string body;
};

// Blocks until the answer is complete or fails. Any thread, but not one whose queue others wait on
// (the loader calls it on a worker thread of its own).
[[nodiscard]] HttpFetchResult HttpFetch(const HttpFetchRequest& request);

// The error code of a WinINet failure (ERROR_INTERNET_*), ERR_FAILED for others.
cef_errorcode_t ErrorFromWinInet(DWORD error);

}  // namespace cefengine

#endif  // CEF_ENGINE_HTTP_FETCH_H_
