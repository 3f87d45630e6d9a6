#include "engine/http_fetch.h"

#include <wininet.h>

#include <memory>

#include "engine/builtin_schemes.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

struct InternetHandleCloser {
  void operator()(void* handle) const {
    if (handle)
      InternetCloseHandle(static_cast<HINTERNET>(handle));
  }
};
typedef std::unique_ptr<void, InternetHandleCloser> InternetHandle;

HttpFetchResult Failed(cef_errorcode_t code) {
  HttpFetchResult result;
  result.error = code;
  return result;
}

// Reads a header query into text; "" when absent.
std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD size = 0;
  HttpQueryInfoW(request, what, nullptr, &size, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
    return std::wstring();
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (!HttpQueryInfoW(request, what, &text[0], &size, nullptr))
    return std::wstring();
  text.resize(size / sizeof(wchar_t));
  return text;
}

// "HTTP/1.1 200 OK\r\nName: value\r\n..." -> headers (the status line skipped).
HttpHeaderList ParseRawHeaders(const std::wstring& raw) {
  HttpHeaderList headers;
  size_t start = raw.find(L"\r\n");
  while (start != std::wstring::npos && start + 2 < raw.size()) {
    start += 2;
    size_t end = raw.find(L"\r\n", start);
    std::wstring line = raw.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    size_t colon = line.find(L':');
    if (colon != std::wstring::npos && colon > 0) {
      size_t v = line.find_first_not_of(L" \t", colon + 1);
      headers.emplace_back(line.substr(0, colon), v == std::wstring::npos ? std::wstring() : line.substr(v));
    }
    start = end;
  }
  return headers;
}

}  // namespace

cef_errorcode_t ErrorFromWinInet(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return ERR_NAME_NOT_RESOLVED;
    case ERROR_INTERNET_CANNOT_CONNECT:
      return ERR_CONNECTION_REFUSED;
    case ERROR_INTERNET_TIMEOUT:
      return ERR_TIMED_OUT;
    case ERROR_INTERNET_CONNECTION_RESET:
      return ERR_CONNECTION_RESET;
    case ERROR_INTERNET_CONNECTION_ABORTED:
      return ERR_CONNECTION_ABORTED;
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
      return ERR_CERT_COMMON_NAME_INVALID;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
      return ERR_CERT_DATE_INVALID;
    case ERROR_INTERNET_INVALID_CA:
      return ERR_CERT_AUTHORITY_INVALID;
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return ERR_CERT_REVOKED;
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return ERR_CERT_INVALID;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return ERR_SSL_PROTOCOL_ERROR;
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return ERR_INVALID_URL;
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return ERR_INVALID_RESPONSE;
    case ERROR_INTERNET_DISCONNECTED:
      return ERR_INTERNET_DISCONNECTED;
    default:
      return ERR_FAILED;
  }
}

HttpFetchResult HttpFetch(const HttpFetchRequest& request) {
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  wchar_t host[256] = {}, path[4096] = {}, extra[4096] = {};
  parts.lpszHostName = host;
  parts.dwHostNameLength = ARRAYSIZE(host);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = ARRAYSIZE(path);
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = ARRAYSIZE(extra);
  if (!InternetCrackUrlW(request.url.c_str(), static_cast<DWORD>(request.url.size()), 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    LOG(WARNING) << "HttpFetch: not an http(s) URL: " << WideToUtf8(request.url);
    return Failed(ERR_INVALID_URL);
  }
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  // The fragment never goes on the wire.
  std::wstring target = std::wstring(path) + extra;
  target = target.substr(0, target.find(L'#'));
  if (target.empty())
    target = L"/";

  InternetHandle session(InternetOpenW(L"cefengine", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session)
    return Failed(ErrorFromWinInet(GetLastError()));
  DWORD timeout = request.timeout_ms;
  InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof(timeout));
  InternetSetOptionW(session.get(), INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
  InternetSetOptionW(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));

  InternetHandle connection(
      InternetConnectW(session.get(), host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection)
    return Failed(ErrorFromWinInet(GetLastError()));

  DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                INTERNET_FLAG_NO_AUTH;
  if (secure) {
    flags |= INTERNET_FLAG_SECURE;
    if (request.ignore_certificate_errors)
      flags |= INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
  }
  const wchar_t* accept[] = {L"*/*", nullptr};
  std::wstring method = request.method.empty() ? L"GET" : request.method;
  InternetHandle http(HttpOpenRequestW(connection.get(), method.c_str(), target.c_str(), nullptr, nullptr, accept,
                                       flags, 0));
  if (!http)
    return Failed(ErrorFromWinInet(GetLastError()));
  if (secure && request.ignore_certificate_errors) {
    DWORD security = 0;
    DWORD size = sizeof(security);
    InternetQueryOptionW(http.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
    security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_REVOCATION;
    InternetSetOptionW(http.get(), INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof(security));
  }

  std::wstring header_text;
  for (const auto& h : request.headers)
    header_text += h.first + L": " + h.second + L"\r\n";
  BOOL sent = HttpSendRequestW(http.get(), header_text.empty() ? nullptr : header_text.c_str(),
                               static_cast<DWORD>(header_text.size()),
                               request.body.empty() ? nullptr : const_cast<char*>(request.body.data()),
                               static_cast<DWORD>(request.body.size()));
  if (!sent)
    return Failed(ErrorFromWinInet(GetLastError()));

  HttpFetchResult result;
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!HttpQueryInfoW(http.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    return Failed(ERR_INVALID_RESPONSE);
  result.status = static_cast<int>(status);
  result.status_text = QueryText(http.get(), HTTP_QUERY_STATUS_TEXT);
  result.headers = ParseRawHeaders(QueryText(http.get(), HTTP_QUERY_RAW_HEADERS_CRLF));
  for (const auto& h : result.headers)
    if (AsciiLower(h.first) == L"content-type")
      result.mime_type = BareMimeType(h.second);

  char chunk[16384];
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(http.get(), chunk, sizeof(chunk), &got))
      return Failed(ErrorFromWinInet(GetLastError()));
    if (got == 0)
      break;
    result.body.append(chunk, got);
  }
  return result;
}

}  // namespace cefengine
