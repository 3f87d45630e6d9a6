#include "engine/builtin_schemes.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <mutex>

#include "engine/scheme_factories.h"
#include "engine/scheme_registry.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"
#include "include/cef_parser.h"

namespace cefengine {

namespace {

const char kDevToolsPage[] = "<html><head><title>DevTools</title></head><body></body></html>";

// %XX escapes become bytes; other characters are written as UTF-8.
std::string PercentDecodeToBytes(const std::wstring& text) {
  std::wstring latin1 = CefURIDecode(text, false, UU_NORMAL).ToWString();
  std::string out;
  out.reserve(latin1.size());
  for (wchar_t c : latin1)
    out.push_back(static_cast<char>(c));
  return out;
}

std::wstring StripFragment(const std::wstring& url) {
  size_t hash = url.find(L'#');
  return hash == std::wstring::npos ? url : url.substr(0, hash);
}

std::wstring Extension(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
    return std::wstring();
  return path.substr(dot + 1);
}

BuiltinResponse Error(cef_errorcode_t code) {
  BuiltinResponse r;
  r.error = code;
  r.status = 0;
  r.status_text.clear();
  return r;
}

BuiltinResponse Page(const std::wstring& mime, std::string body) {
  BuiltinResponse r;
  r.mime_type = mime;
  r.body = std::move(body);
  r.headers.insert(std::make_pair(CefString("Content-Type"), CefString(mime)));
  return r;
}

BuiltinResponse ServeData(const std::wstring& url) {
  // data:[<type>][;param...][;base64],<payload>
  std::wstring rest = StripFragment(url).substr(5);
  size_t comma = rest.find(L',');
  if (comma == std::wstring::npos)
    return Error(ERR_INVALID_URL);
  std::wstring header = rest.substr(0, comma);
  std::string payload = PercentDecodeToBytes(rest.substr(comma + 1));
  bool base64 = false;
  std::wstring mime;
  size_t start = 0;
  for (int index = 0;; ++index) {
    size_t semi = header.find(L';', start);
    std::wstring part = header.substr(start, semi == std::wstring::npos ? std::wstring::npos : semi - start);
    if (index == 0)
      mime = BareMimeType(part);
    else if (AsciiLower(part) == L"base64")
      base64 = true;
    if (semi == std::wstring::npos)
      break;
    start = semi + 1;
  }
  if (mime.empty() || mime.find(L'/') == std::wstring::npos)
    mime = L"text/plain";
  if (base64) {
    std::string compact;
    for (char c : payload)
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f')
        compact.push_back(c);
    while (compact.size() % 4 != 0)
      compact.push_back('=');
    if (compact.empty())
      return Page(mime, std::string());
    CefRefPtr<CefBinaryValue> bytes = CefBase64Decode(compact);
    if (!bytes)
      return Error(ERR_INVALID_URL);
    payload.assign(bytes->GetSize(), '\0');
    if (!payload.empty())
      bytes->GetData(&payload[0], payload.size(), 0);
  }
  return Page(mime, std::move(payload));
}

BuiltinResponse ServeFile(const std::wstring& url) {
  std::wstring path;
  if (!FilePathFromUrl(url, &path))
    return Error(ERR_INVALID_URL);
  DWORD attrs = GetFileAttributesW(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY))
    return Error(ERR_FILE_NOT_FOUND);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return Error(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? ERR_ACCESS_DENIED
                                                                                  : ERR_FILE_NOT_FOUND);
  }
  std::string body;
  char chunk[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, chunk, sizeof(chunk), &got, nullptr) != FALSE) && got > 0)
    body.append(chunk, got);
  CloseHandle(file);
  if (!ok)
    return Error(ERR_FAILED);
  return Page(CefGetMimeType(Extension(path)).ToWString(), std::move(body));
}

struct TestTable {
  std::mutex mutex;
  std::map<std::wstring, TestHttpResponse> entries;
};

TestTable& Table() {
  static TestTable* table = new TestTable();
  return *table;
}

}  // namespace

SchemeKind ClassifyScheme(const std::wstring& scheme) {
  if (scheme == L"about" || scheme == L"data" || scheme == L"file" || scheme == L"chrome" ||
      scheme == L"chrome-devtools")
    return SchemeKind::kServedBuiltIn;
  if (scheme == L"http" || scheme == L"https")
    return SchemeKind::kHttp;
  if (IsBuiltInScheme(scheme))
    return SchemeKind::kUnservedBuiltIn;
  if (IsCustomScheme(scheme) || HasSchemeFactory(scheme))
    return SchemeKind::kCustom;
  return SchemeKind::kUnknown;
}

BuiltinResponse ServeBuiltin(const std::wstring& url) {
  CefURLParts parts;
  if (!CefParseURL(url, parts))
    return Error(ERR_INVALID_URL);
  std::wstring scheme = CefString(&parts.scheme).ToWString();
  if (scheme == L"data")
    return ServeData(url);
  if (scheme == L"file")
    return ServeFile(url);
  if (scheme == L"about") {
    if (AsciiLower(CefString(&parts.path).ToWString()) == L"blank")
      return Page(L"text/html", std::string());
    return Error(ERR_INVALID_URL);
  }
  if (scheme == L"chrome-devtools") {
    // The scheme does not parse as standard here, so the host is still part of the path.
    std::wstring path = AsciiLower(CefString(&parts.path).ToWString());
    if (path == L"//devtools" || path.compare(0, 11, L"//devtools/") == 0)
      return Page(L"text/html", kDevToolsPage);
  }
  return Error(ERR_INVALID_URL);
}

bool IsRendererCrashUrl(const std::wstring& url) {
  CefURLParts parts;
  if (!CefParseURL(url, parts) || CefString(&parts.scheme).ToWString() != L"chrome")
    return false;
  // "chrome" does not parse as standard, so the host is still part of the path.
  std::wstring path = AsciiLower(CefString(&parts.path).ToWString());
  return path == L"//crash" || path.compare(0, 8, L"//crash/") == 0;
}

bool FilePathFromUrl(const std::wstring& url, std::wstring* path) {
  CefURLParts parts;
  if (!CefParseURL(url, parts) || CefString(&parts.scheme).ToWString() != L"file")
    return false;
  std::wstring host = CefString(&parts.host).ToWString();
  std::wstring decoded = Utf8ToWide(PercentDecodeToBytes(CefString(&parts.path).ToWString()));
  if (decoded.empty() || decoded == L"/")
    return false;
  // "/C:/x" -> "C:/x"; a host names a share.
  if (host.empty() && decoded.size() >= 3 && decoded[0] == L'/' && decoded[2] == L':')
    decoded.erase(0, 1);
  else if (!host.empty())
    decoded = L"//" + host + decoded;
  for (wchar_t& c : decoded)
    if (c == L'/')
      c = L'\\';
  *path = decoded;
  return true;
}

std::wstring FileUrlFromPath(const std::wstring& path) {
  std::wstring p = path;
  for (wchar_t& c : p)
    if (c == L'\\')
      c = L'/';
  std::wstring prefix = L"file:///";
  if (p.size() > 2 && p[0] == L'/' && p[1] == L'/') {
    prefix = L"file://";
    p.erase(0, 2);
  }
  std::string utf8 = WideToUtf8(p);
  std::wstring out = prefix;
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : utf8) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                strchr("-_.~/:!$&'()*+,;=@", c) != nullptr;
    if (keep && c != 0) {
      out.push_back(static_cast<wchar_t>(c));
    } else {
      out.push_back(L'%');
      out.push_back(static_cast<wchar_t>(kHex[c >> 4]));
      out.push_back(static_cast<wchar_t>(kHex[c & 15]));
    }
  }
  return out;
}

void SetTestHttpResponse(const std::wstring& url, const TestHttpResponse& response) {
  std::lock_guard<std::mutex> lock(Table().mutex);
  Table().entries[NormalizedUrl(url)] = response;
}

bool FindTestHttpResponse(const std::wstring& url, TestHttpResponse* response) {
  std::wstring key = NormalizedUrl(url);
  std::lock_guard<std::mutex> lock(Table().mutex);
  auto it = Table().entries.find(key);
  if (it == Table().entries.end())
    return false;
  *response = it->second;
  return true;
}

void ClearTestHttpResponses() {
  std::lock_guard<std::mutex> lock(Table().mutex);
  Table().entries.clear();
}

std::wstring NormalizedUrl(const std::wstring& url) {
  CefURLParts parts;
  return StripFragment(CefParseURL(url, parts) ? CefString(&parts.spec).ToWString() : url);
}

std::wstring BareMimeType(const std::wstring& content_type) {
  std::wstring mime = content_type.substr(0, content_type.find(L';'));
  size_t b = mime.find_first_not_of(L" \t");
  if (b == std::wstring::npos)
    return std::wstring();
  size_t e = mime.find_last_not_of(L" \t");
  return AsciiLower(mime.substr(b, e - b + 1));
}

}  // namespace cefengine
