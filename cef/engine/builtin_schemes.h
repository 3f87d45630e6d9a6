// The schemes the engine serves itself (about, data, file, chrome-devtools) and the test table of
// http(s) answers. All functions may be called on any thread; ServeBuiltin may block on file reads,
// so the loader calls it on IO only for small local files (see resource_loader.cpp).
#ifndef CEF_ENGINE_BUILTIN_SCHEMES_H_
#define CEF_ENGINE_BUILTIN_SCHEMES_H_

#include <string>
#include <vector>

#include "include/cef_response.h"

namespace cefengine {

// How the engine treats a URL scheme when neither the client nor a factory serves it.
enum class SchemeKind {
  kServedBuiltIn,     // about, data, file, chrome, chrome-devtools: ServeBuiltin answers
  kHttp,              // http, https: the test table, else a real fetch
  kUnservedBuiltIn,   // ftp, ws, wss, blob: known, but nothing loads them here
  kCustom,            // declared in OnRegisterCustomSchemes or given a factory, but nothing served it
  kUnknown,           // nobody registered it: the OS may be asked to handle it
};
// `scheme` lower-case.
SchemeKind ClassifyScheme(const std::wstring& scheme);

struct BuiltinResponse {
  cef_errorcode_t error = ERR_NONE;
  int status = 200;
  std::wstring status_text = L"OK";
  std::wstring mime_type;  // without parameters
  CefResponse::HeaderMap headers;
  std::string body;
};

// Answers a URL of a kServedBuiltIn scheme: "about:blank" (an empty HTML page), "data:" (base64 or
// %-encoded), "file:" (the file's bytes, MIME type by extension; missing or a folder ->
// ERR_FILE_NOT_FOUND), "chrome-devtools://devtools/..." (a blank page titled "DevTools"). Other
// about: and chrome: URLs give ERR_INVALID_URL, "chrome://crash" too: it serves nothing (see below).
BuiltinResponse ServeBuiltin(const std::wstring& url);

// True for "chrome://crash" (any case, any path or query after the host). A main-frame navigation to it
// ends the browser's renderer as a crash instead of loading anything (engine/navigation.h).
bool IsRendererCrashUrl(const std::wstring& url);

// "file:///C:/a%20b/x.html" -> "C:\a b\x.html"; "file://server/share/x" -> "\\server\share\x".
// False when `url` is not a file URL with a path.
[[nodiscard]] bool FilePathFromUrl(const std::wstring& url, std::wstring* path);
// The reverse for an absolute path ("C:\a b\x.html" -> "file:///C:/a%20b/x.html").
std::wstring FileUrlFromPath(const std::wstring& path);

// --- The test table of http(s) answers ---
struct TestHttpResponse {
  int status = 200;
  std::wstring mime_type;
  std::string body;
  CefResponse::HeaderMap headers;       // a 3xx status with "Location" redirects
  cef_errorcode_t cert_error = ERR_NONE;  // https only: the certificate fails with this error
};
// Keys compare as CefParseURL normalises them (scheme and host case, default port, empty path), without
// the fragment. An entry answers every later load of its URL until cleared.
void SetTestHttpResponse(const std::wstring& url, const TestHttpResponse& response);
[[nodiscard]] bool FindTestHttpResponse(const std::wstring& url, TestHttpResponse* response);
void ClearTestHttpResponses();

// The MIME type without parameters, lower-case ("Text/HTML; charset=x" -> "text/html").
std::wstring BareMimeType(const std::wstring& content_type);

// `url` as CefParseURL writes it (as given when it does not parse), without its fragment: the key under which test
// answers and injected failures are kept.
std::wstring NormalizedUrl(const std::wstring& url);

}  // namespace cefengine

#endif  // CEF_ENGINE_BUILTIN_SCHEMES_H_
