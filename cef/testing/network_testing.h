// Test control of loading: canned http(s) answers, injected failures, held loads, files for file
// URLs, and the registered scheme handler factories. Product code never includes this header.
// Every function may be called on any thread.
#ifndef CEF_TESTING_NETWORK_TESTING_H_
#define CEF_TESTING_NETWORK_TESTING_H_

#include <string>
#include <vector>

#include "include/cef_response.h"
#include "include/cef_scheme.h"

namespace cefengine {
namespace test {

// Every later load of `url` (http or https; compared without case in scheme and host, without the
// fragment) is answered with this status, MIME type, body and headers instead of the network. A 3xx
// status with a "Location" header redirects. With `cert_error` (an ERR_CERT_* code) an https load
// first asks OnCertificateError.
void SetHttpResponse(const std::wstring& url, int status, const std::wstring& mime_type, const std::string& body,
                     const CefResponse::HeaderMap& headers = CefResponse::HeaderMap(),
                     cef_errorcode_t cert_error = ERR_NONE);
void ClearHttpResponses();

// The next load of `url` fails with `code` once OnBeforeResourceLoad let it through. Without a text
// the error text is the code's "net::ERR_..." name; a given text is passed on as it is, even empty.
void FailNextLoad(const std::wstring& url, cef_errorcode_t code);
void FailNextLoad(const std::wstring& url, cef_errorcode_t code, const std::wstring& text);

// While on, every load stops before its first request hook until released. Turning it off releases
// every held load.
void HoldLoads(bool hold);
// Releases the held loads of `url` (compared as the request wrote it). False when none was held.
bool ReleaseLoad(const std::wstring& url);
void ReleaseAll();
// The URLs of the loads held now, in the order they stopped.
std::vector<std::wstring> HeldLoads();

// Writes `bytes` to `path` (relative paths land in this process's test file folder, FileRoot()),
// creating folders, and returns the file URL that loads it. "" when the file cannot be written.
std::wstring AddFile(const std::wstring& path, const std::string& bytes);
// The file URL of a path (relative paths as for AddFile), whether or not the file exists.
std::wstring FileUrl(const std::wstring& path);
// The folder relative AddFile paths land in ("%TEMP%\cefengine-files-<pid>").
std::wstring FileRoot();
// Deletes FileRoot() and everything in it.
void RemoveFiles();

struct SchemeFactoryInfo {
  std::wstring scheme;
  std::wstring domain;
  CefRefPtr<CefSchemeHandlerFactory> factory;
};
// The registered factories, ordered by scheme then domain.
std::vector<SchemeFactoryInfo> SchemeFactories();

// One load as FetchUrl saw it.
struct FetchResult {
  bool ended = false;                // false: the engine is not running, or the load did not end in time
  cef_errorcode_t error = ERR_NONE;  // ERR_NONE: a response arrived
  std::wstring error_text;
  int status = 0;  // the status the response carried, for every scheme (a scheme handler's own 200); 0 on error
  std::wstring status_text;
  std::wstring mime_type;  // without parameters
  std::string body;
};
// Loads `url` as a sub-resource without a browser or client (so the registered scheme handler
// factories and the built-in schemes serve it) and waits up to `timeout_ms` for the end, pumping
// the calling thread's messages as WaitFor does; a load still running then is cancelled. Not on
// the engine's UI or IO thread (the load ends there).
FetchResult FetchUrl(const std::wstring& url, int timeout_ms = 10000);

// URLs the client let the OS open through OnProtocolExecution, in order.
std::vector<std::wstring> OsExecutions();

// Back to a clean network: no canned answers, no pending failures, nothing held, no OS executions.
void ResetNetwork();

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_NETWORK_TESTING_H_
