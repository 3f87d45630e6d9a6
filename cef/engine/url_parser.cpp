#include <string>

#include "engine/scheme_registry.h"
#include "engine/utf.h"
#include "include/cef_parser.h"

namespace {

using cefengine::AsciiLower;

bool IsSchemeChar(wchar_t c, bool first) {
  bool alpha = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
  if (first)
    return alpha;
  return alpha || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
}

std::wstring DefaultPort(const std::wstring& scheme) {
  if (scheme == L"http" || scheme == L"ws")
    return L"80";
  if (scheme == L"https" || scheme == L"wss")
    return L"443";
  if (scheme == L"ftp")
    return L"21";
  return std::wstring();
}

void Set(cef_string_t* field, const std::wstring& value) {
  cef_string_set(value.c_str(), value.size(), field, 1);
}

std::wstring Trim(const std::wstring& s) {
  size_t b = s.find_first_not_of(L" \t\r\n");
  if (b == std::wstring::npos)
    return std::wstring();
  size_t e = s.find_last_not_of(L" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

bool CefParseURL(const CefString& url, CefURLParts& parts) {
  std::wstring text = Trim(url.ToWString());
  size_t colon = text.find(L':');
  if (colon == std::wstring::npos || colon == 0)
    return false;
  for (size_t i = 0; i < colon; ++i)
    if (!IsSchemeChar(text[i], i == 0))
      return false;
  std::wstring scheme = AsciiLower(text.substr(0, colon));
  std::wstring rest = text.substr(colon + 1);
  std::wstring username, password, host, port, path, query, fragment;

  auto split_tail = [&](std::wstring& s) {
    size_t hash = s.find(L'#');
    if (hash != std::wstring::npos) {
      fragment = s.substr(hash);
      s.erase(hash);
    }
    size_t q = s.find(L'?');
    if (q != std::wstring::npos) {
      query = s.substr(q + 1);
      s.erase(q);
    }
  };

  const bool standard = cefengine::IsStandardScheme(scheme);
  std::wstring whole;
  std::wstring origin;
  if (standard) {
    size_t start = 0;
    while (start < rest.size() && start < 2 && (rest[start] == L'/' || rest[start] == L'\\'))
      ++start;
    rest = rest.substr(start);
    size_t end = rest.find_first_of(L"/\\?#");
    std::wstring authority = rest.substr(0, end);
    std::wstring tail = end == std::wstring::npos ? std::wstring() : rest.substr(end);
    size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) {
      std::wstring userinfo = authority.substr(0, at);
      authority = authority.substr(at + 1);
      size_t c = userinfo.find(L':');
      username = userinfo.substr(0, c);
      if (c != std::wstring::npos)
        password = userinfo.substr(c + 1);
    }
    size_t port_colon = authority.rfind(L':');
    if (port_colon != std::wstring::npos && authority.find(L']', port_colon) == std::wstring::npos) {
      port = authority.substr(port_colon + 1);
      authority.erase(port_colon);
      for (wchar_t c : port)
        if (c < L'0' || c > L'9')
          return false;
      if (port.size() > 5 || (!port.empty() && std::stoi(port) > 65535))
        return false;
      if (port == DefaultPort(scheme))
        port.clear();
    }
    host = AsciiLower(authority);
    if (host.empty() && scheme != L"file")
      return false;
    if (host.find_first_of(L" <>\"") != std::wstring::npos)
      return false;
    split_tail(tail);
    for (auto& c : tail)
      if (c == L'\\')
        c = L'/';
    path = tail.empty() ? L"/" : tail;
    std::wstring host_port = host + (port.empty() ? L"" : L":" + port);
    origin = scheme + L"://" + host_port + L"/";
    std::wstring userinfo = username.empty() && password.empty()
                                ? std::wstring()
                                : username + (password.empty() ? L"" : L":" + password) + L"@";
    whole = scheme + L"://" + userinfo + host_port + path + (query.empty() ? L"" : L"?" + query) + fragment;
  } else {
    std::wstring tail = rest;
    split_tail(tail);
    path = tail;
    whole = scheme + L":" + rest;
  }

  parts.Reset();
  Set(&parts.spec, whole);
  Set(&parts.scheme, scheme);
  Set(&parts.username, username);
  Set(&parts.password, password);
  Set(&parts.host, host);
  Set(&parts.port, port);
  Set(&parts.origin, origin);
  Set(&parts.path, path);
  Set(&parts.query, query);
  return true;
}

bool CefCreateURL(const CefURLParts& parts, CefString& url) {
  std::wstring whole = CefString(&parts.spec).ToWString();
  if (whole.empty()) {
    std::wstring scheme = CefString(&parts.scheme).ToWString();
    std::wstring host = CefString(&parts.host).ToWString();
    if (scheme.empty() || host.empty())
      return false;
    std::wstring user = CefString(&parts.username).ToWString();
    std::wstring pass = CefString(&parts.password).ToWString();
    std::wstring port = CefString(&parts.port).ToWString();
    std::wstring path = CefString(&parts.path).ToWString();
    std::wstring query = CefString(&parts.query).ToWString();
    whole = scheme + L"://";
    if (!user.empty() || !pass.empty())
      whole += user + (pass.empty() ? L"" : L":" + pass) + L"@";
    whole += host + (port.empty() ? L"" : L":" + port);
    whole += (path.empty() || path[0] != L'/') ? L"/" + path : path;
    if (!query.empty())
      whole += L"?" + query;
  }
  CefURLParts check;
  if (!CefParseURL(whole, check))
    return false;
  url = CefString(&check.spec);
  return true;
}
