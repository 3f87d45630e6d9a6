#include "browser/host_cookies.h"

#include <ctime>
#include <vector>

#include "browser/cookie_text.h"
#include "include/cef_parser.h"
#include "include/internal/cef_time.h"

namespace client {

namespace {

// 2099-11-30 16:00:00 UTC: the host's cookies outlive any session.
const time_t kCookieExpiry = 4099737600;

CefRefPtr<CefCookieManager> GlobalCookieManager() { return CefCookieManager::GetGlobalManager(nullptr); }

}  // namespace

int SetCookies(const std::wstring& url, const std::wstring& cookie_text) {
  if (cookie_text.empty()) return 0;

  std::vector<std::wstring> pieces;
  SplitByChar(cookie_text, L';', 0, &pieces);

  CefURLParts parts;
  std::wstring host;
  if (CefParseURL(url, parts)) host = CefString(&parts.host).ToWString();

  int count = 0;
  for (const std::wstring& piece : pieces) {
    if (!ContainsChar(piece, L'=')) continue;
    std::vector<std::wstring> name_value;
    SplitByChar(piece, L'=', 0, &name_value);

    CefCookie cookie;
    CefString(&cookie.name) = TrimWhitespace(name_value[0]);
    CefString(&cookie.value) = TrimWhitespace(name_value[1]);
    CefString(&cookie.domain) = host;
    CefString(&cookie.path) = L"/";
    cookie.secure = false;
    cookie.httponly = false;
    cookie.has_expires = true;
    cef_time_from_timet(kCookieExpiry, &cookie.expires);
    ++count;

    CefRefPtr<CefCookieManager> manager = GlobalCookieManager();
    if (manager) manager->SetCookie(url, cookie, nullptr);
  }
  return count;
}

void SetCookieSchemes(const std::wstring& list) {
  std::vector<std::wstring> pieces;
  SplitByChar(list, L';', 0, &pieces);
  std::vector<CefString> schemes(pieces.begin(), pieces.end());
  CefRefPtr<CefCookieManager> manager = GlobalCookieManager();
  if (manager) manager->SetSupportedSchemes(schemes, nullptr);
}

VisitCookieTask::VisitCookieTask() : include_http_only_(false) {}

void VisitCookieTask::SetCallback(const CookiesCallback& callback) { callback_ = callback; }

void VisitCookieTask::SetUrl(const std::wstring& url) { url_ = url; }

bool VisitCookieTask::SetIncludeHttpOnly(int flag) {
  include_http_only_ = flag != 0;
  return include_http_only_;
}

void VisitCookieTask::PostVisit(CefRefPtr<VisitCookieTask> task, const std::wstring& url, int include_http_only) {
  if (!task || url.empty()) return;
  task->SetUrl(url);
  task->SetIncludeHttpOnly(include_http_only);
  CefPostTask(TID_IO, task.get());
}

void VisitCookieTask::Execute() {
  if (url_.empty()) return;
  CefRefPtr<CefCookieManager> manager = GlobalCookieManager();
  if (manager) manager->VisitUrlCookies(url_, include_http_only_, this);
}

bool VisitCookieTask::Visit(const CefCookie& cookie, int count, int total, bool& deleteCookie) {
  cookies_ += CefString(&cookie.name).ToWString() + L"=" + CefString(&cookie.value).ToWString() + L";";
  if (count == total - 1) {
    if (!callback_.is_null()) callback_.Run(cookies_, url_);
    cookies_.clear();
  }
  deleteCookie = false;
  return true;
}

}  // namespace client
