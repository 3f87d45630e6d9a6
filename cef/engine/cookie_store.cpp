#include "engine/cookie_store.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "engine/utf.h"
#include "include/cef_parser.h"

namespace cefengine {

namespace {

struct UrlInfo {
  std::wstring scheme;
  std::wstring host;
  std::wstring path;
};

bool ParseUrl(const std::wstring& url, UrlInfo* info) {
  CefURLParts parts;
  if (url.empty() || !CefParseURL(url, parts))
    return false;
  info->scheme = CefString(&parts.scheme).ToWString();
  info->host = CefString(&parts.host).ToWString();
  info->path = CefString(&parts.path).ToWString();
  // Paths of non-standard URLs need not start with '/'; they count as the root.
  if (info->path.empty() || info->path[0] != L'/')
    info->path = L"/";
  return true;
}

double NowSeconds() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  long long ticks = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<double>(ticks - 116444736000000000LL) / 1e7;
}

// An expiry that does not convert (for instance all zeros) makes a session cookie.
bool ExpiresAt(const StoredCookie& c, double* when) {
  return c.has_expires && cef_time_to_doublet(&c.expires, when) != 0;
}

bool IsExpired(const StoredCookie& c, double now) {
  double when;
  return ExpiresAt(c, &when) && when <= now;
}

// Cookie text may not hold ';' (it ends a cookie in headers) nor control characters.
bool IsCookieText(const std::wstring& s) {
  for (wchar_t c : s)
    if (c == L';' || c < 0x20 || c == 0x7F)
      return false;
  return true;
}

std::wstring WithoutLeadingDot(const std::wstring& domain) {
  return !domain.empty() && domain[0] == L'.' ? domain.substr(1) : domain;
}

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// `host` is lower-case (the URL parser lower-cases it).
bool DomainMatches(const StoredCookie& c, const std::wstring& host) {
  std::wstring domain = AsciiLower(c.domain);
  if (c.host_only)
    return host == domain;
  domain = WithoutLeadingDot(domain);
  return host == domain || EndsWith(host, L"." + domain);
}

bool PathMatches(const std::wstring& cookie_path, const std::wstring& url_path) {
  if (url_path.compare(0, cookie_path.size(), cookie_path) != 0)
    return false;
  return url_path.size() == cookie_path.size() || cookie_path.back() == L'/' || url_path[cookie_path.size()] == L'/';
}

bool SameKey(const StoredCookie& a, const StoredCookie& b) {
  return a.name == b.name && a.path == b.path && a.host_only == b.host_only &&
         AsciiLower(a.domain) == AsciiLower(b.domain);
}

void SortForMatching(std::vector<StoredCookie>* cookies) {
  std::stable_sort(cookies->begin(), cookies->end(), [](const StoredCookie& a, const StoredCookie& b) {
    return a.path.size() > b.path.size();
  });
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos)
    return std::string();
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// RFC 6265 default path: the URL path up to, not including, its last '/'; "/" when that is empty.
std::wstring DefaultPath(const std::wstring& url_path) {
  size_t slash = url_path.rfind(L'/');
  if (slash == std::wstring::npos || slash == 0)
    return L"/";
  return url_path.substr(0, slash);
}

void SetString(cef_string_t* field, const std::wstring& value) {
  cef_string_set(value.c_str(), value.size(), field, 1);
}

}  // namespace

CefCookie StoredCookie::ToCefCookie() const {
  CefCookie cookie;
  SetString(&cookie.name, name);
  SetString(&cookie.value, value);
  SetString(&cookie.domain, domain);
  SetString(&cookie.path, path);
  cookie.secure = secure;
  cookie.httponly = httponly;
  cookie.creation = creation;
  cookie.last_access = last_access;
  cookie.has_expires = has_expires;
  cookie.expires = expires;
  return cookie;
}

void CookieStore::SetSupportedSchemes(const std::vector<std::wstring>& schemes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_)
    schemes_ = schemes;
}

std::vector<std::wstring> CookieStore::SupportedSchemes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return schemes_;
}

bool CookieStore::IsCookieable(const std::wstring& scheme) const {
  if (scheme == L"http" || scheme == L"https" || scheme == L"ws" || scheme == L"wss")
    return true;
  for (const std::wstring& s : schemes_)
    if (!s.empty() && AsciiLower(s) == scheme)
      return true;
  return false;
}

void CookieStore::DropExpired() {
  double now = NowSeconds();
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [now](const StoredCookie& c) { return IsExpired(c, now); }),
                 cookies_.end());
}

CookieStore::SetResult CookieStore::Set(const std::wstring& url, const CefCookie& cookie) {
  UrlInfo info;
  if (!ParseUrl(url, &info))
    return SetResult::kInvalidUrl;
  StoredCookie c;
  c.name = CefString(&cookie.name).ToWString();
  c.value = CefString(&cookie.value).ToWString();
  c.domain = CefString(&cookie.domain).ToWString();
  c.path = CefString(&cookie.path).ToWString();
  c.secure = cookie.secure != 0;
  c.httponly = cookie.httponly != 0;
  c.has_expires = cookie.has_expires != 0;
  c.expires = cookie.expires;
  c.creation = cookie.creation;
  c.last_access = cookie.last_access;

  // '=' in a name would read back as a different name and value.
  if (!IsCookieText(c.name) || c.name.find(L'=') != std::wstring::npos || !IsCookieText(c.value))
    return SetResult::kRefused;
  if (c.domain.empty()) {
    c.host_only = true;
    c.domain = info.host;
  } else {
    std::wstring bare = AsciiLower(WithoutLeadingDot(c.domain));
    if (bare.empty() || !IsCookieText(c.domain) || !(info.host == bare || EndsWith(info.host, L"." + bare)))
      return SetResult::kRefused;
  }
  if (c.path.empty())
    c.path = L"/";
  if (c.path[0] != L'/' || !IsCookieText(c.path))
    return SetResult::kRefused;

  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || !IsCookieable(info.scheme))
    return SetResult::kRefused;
  DropExpired();
  auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const StoredCookie& o) { return SameKey(o, c); });
  if (IsExpired(c, NowSeconds())) {
    if (same != cookies_.end())
      cookies_.erase(same);
    return SetResult::kExpired;
  }
  if (same != cookies_.end()) {
    c.id = same->id;
    *same = c;
  } else {
    c.id = next_id_++;
    cookies_.push_back(c);
  }
  return SetResult::kStored;
}

bool CookieStore::Match(const std::wstring& url, bool include_http_only, std::vector<StoredCookie>* out) const {
  out->clear();
  UrlInfo info;
  if (!ParseUrl(url, &info))
    return false;
  const bool secure_url = info.scheme == L"https" || info.scheme == L"wss";
  double now = NowSeconds();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_ || !IsCookieable(info.scheme))
    return true;
  for (const StoredCookie& c : cookies_) {
    if (IsExpired(c, now) || (c.secure && !secure_url) || (c.httponly && !include_http_only))
      continue;
    if (DomainMatches(c, info.host) && PathMatches(c.path, info.path))
      out->push_back(c);
  }
  SortForMatching(out);
  return true;
}

std::vector<StoredCookie> CookieStore::InInsertionOrder() const {
  double now = NowSeconds();
  std::vector<StoredCookie> out;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const StoredCookie& c : cookies_)
    if (!IsExpired(c, now))
      out.push_back(c);
  return out;
}

std::vector<StoredCookie> CookieStore::All() const {
  std::vector<StoredCookie> out = InInsertionOrder();
  SortForMatching(&out);
  return out;
}

bool CookieStore::Delete(const std::wstring& url, const std::wstring& name, int* deleted) {
  *deleted = 0;
  UrlInfo info;
  if (!url.empty() && !ParseUrl(url, &info))
    return false;
  std::lock_guard<std::mutex> lock(mutex_);
  size_t before = cookies_.size();
  cookies_.erase(std::remove_if(cookies_.begin(), cookies_.end(),
                                [&](const StoredCookie& c) {
                                  if (url.empty())
                                    return true;
                                  if (name.empty())
                                    return AsciiLower(c.domain) == info.host;
                                  return c.name == name && DomainMatches(c, info.host);
                                }),
                 cookies_.end());
  *deleted = static_cast<int>(before - cookies_.size());
  return true;
}

bool CookieStore::DeleteById(uint64_t id) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(cookies_.begin(), cookies_.end(), [id](const StoredCookie& c) { return c.id == id; });
  if (it == cookies_.end())
    return false;
  cookies_.erase(it);
  return true;
}

void CookieStore::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  cookies_.clear();
}

std::wstring CookieStore::CookieHeader(const std::wstring& url) const {
  std::vector<StoredCookie> matches;
  if (!Match(url, true, &matches))
    return std::wstring();
  std::wstring header;
  for (const StoredCookie& c : matches) {
    if (!header.empty())
      header += L"; ";
    header += c.name.empty() ? c.value : c.name + L"=" + c.value;
  }
  return header;
}

bool CookieStore::ApplySetCookieHeader(const std::wstring& url, const std::string& header) {
  UrlInfo info;
  if (!ParseUrl(url, &info))
    return false;
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t semi = header.find(';', start);
    pieces.push_back(header.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos)
      break;
    start = semi + 1;
  }
  CefCookie cookie;
  const std::string& pair = pieces[0];
  size_t eq = pair.find('=');
  // A pair without '=' is a value with an empty name, as browsers read it.
  std::string name = eq == std::string::npos ? std::string() : Trim(pair.substr(0, eq));
  std::string value = Trim(eq == std::string::npos ? pair : pair.substr(eq + 1));
  CefString(&cookie.name).FromString(name);
  CefString(&cookie.value).FromString(value);

  bool have_max_age = false;
  int64_t max_age = 0;
  bool have_expires = false;
  int64_t expires = 0;
  std::wstring path;
  for (size_t i = 1; i < pieces.size(); ++i) {
    size_t aeq = pieces[i].find('=');
    std::string attr = AsciiLower(Trim(pieces[i].substr(0, aeq)));
    std::string aval = aeq == std::string::npos ? std::string() : Trim(pieces[i].substr(aeq + 1));
    if (attr == "secure") {
      cookie.secure = 1;
    } else if (attr == "httponly") {
      cookie.httponly = 1;
    } else if (attr == "domain") {
      CefString(&cookie.domain).FromString(aval);
    } else if (attr == "path") {
      // A path that is not absolute falls back to the default.
      if (!aval.empty() && aval[0] == '/')
        path = Utf8ToWide(aval);
    } else if (attr == "max-age") {
      char* end = nullptr;
      long long n = strtoll(aval.c_str(), &end, 10);
      if (!aval.empty() && end && *end == '\0') {
        have_max_age = true;
        max_age = n;
      }
    } else if (attr == "expires") {
      have_expires = ParseCookieDate(aval, &expires);
    }
  }
  CefString(&cookie.path) = path.empty() ? DefaultPath(info.path) : path;
  if (have_max_age || have_expires) {
    // Max-Age wins over Expires; zero or less expires the cookie now.
    double when = have_max_age ? (max_age <= 0 ? 0.0 : NowSeconds() + static_cast<double>(max_age))
                               : static_cast<double>(expires);
    cookie.has_expires = 1;
    if (!cef_time_from_doublet(when, &cookie.expires))
      cef_time_from_timet(0, &cookie.expires);  // out of range: treat as long past
  }
  SetResult result = Set(url, cookie);
  return result == SetResult::kStored || result == SetResult::kExpired;
}

void CookieStore::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  cookies_.clear();
  schemes_.clear();
}

bool CookieStore::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

bool ParseCookieDate(const std::string& text, int64_t* seconds) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  int day = -1, month = -1, year = -1, hour = -1, minute = -1, second = -1;
  // Tokens are runs of letters, digits and ':'; everything else delimits.
  std::vector<std::string> tokens;
  std::string current;
  for (char ch : text + " ") {
    if (isalnum(static_cast<unsigned char>(ch)) || ch == ':') {
      current += ch;
    } else if (!current.empty()) {
      tokens.push_back(current);
      current.clear();
    }
  }
  for (const std::string& t : tokens) {
    if (hour < 0 && t.find(':') != std::string::npos) {
      int h, m, s;
      if (sscanf(t.c_str(), "%d:%d:%d", &h, &m, &s) == 3) {
        hour = h;
        minute = m;
        second = s;
        continue;
      }
    }
    bool digits = std::all_of(t.begin(), t.end(), [](char c) { return isdigit(static_cast<unsigned char>(c)); });
    if (digits && day < 0 && t.size() <= 2) {
      day = atoi(t.c_str());
      continue;
    }
    if (digits && year < 0 && (t.size() == 2 || t.size() == 4)) {
      year = atoi(t.c_str());
      continue;
    }
    if (month < 0 && t.size() >= 3 && !digits) {
      std::string head = AsciiLower(t.substr(0, 3));
      for (int i = 0; i < 12; ++i)
        if (head == kMonths[i])
          month = i + 1;
    }
  }
  if (year >= 0 && year < 70)
    year += 2000;
  else if (year >= 70 && year < 100)
    year += 1900;
  if (day < 1 || day > 31 || month < 1 || year < 1601 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return false;
  cef_time_t t = {};
  t.year = year;
  t.month = month;
  t.day_of_month = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  time_t result;
  if (!cef_time_to_timet(&t, &result))
    return false;
  *seconds = static_cast<int64_t>(result);
  return true;
}

}  // namespace cefengine
