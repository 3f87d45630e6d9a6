#include "engine/scheme_registry.h"

#include <map>
#include <mutex>

#include "engine/logging.h"
#include "engine/utf.h"

namespace cefengine {

namespace {

struct CustomScheme {
  bool standard;
  bool local;
  bool display_isolated;
};

std::mutex g_mutex;
std::map<std::wstring, CustomScheme>& Schemes() {
  static auto* schemes = new std::map<std::wstring, CustomScheme>();
  return *schemes;
}

const wchar_t* const kBuiltIn[] = {L"http",  L"https", L"file", L"ftp",    L"about",          L"data",
                                   L"ws",    L"wss",   L"blob", L"chrome", L"chrome-devtools"};
const wchar_t* const kStandard[] = {L"http", L"https", L"file", L"ftp", L"ws", L"wss"};

bool ValidSchemeName(const std::wstring& s) {
  if (s.empty() || !((s[0] >= L'a' && s[0] <= L'z')))
    return false;
  for (wchar_t c : s)
    if (!((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.'))
      return false;
  return true;
}

}  // namespace

bool IsBuiltInScheme(const std::wstring& scheme) {
  for (const wchar_t* s : kBuiltIn)
    if (scheme == s)
      return true;
  return false;
}

bool IsStandardScheme(const std::wstring& scheme) {
  for (const wchar_t* s : kStandard)
    if (scheme == s)
      return true;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Schemes().find(scheme);
  return it != Schemes().end() && it->second.standard;
}

bool IsCustomScheme(const std::wstring& scheme) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Schemes().count(scheme) != 0;
}

bool SchemeRegistrarImpl::AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                                          bool is_display_isolated) {
  if (!valid_) {
    CEFENGINE_MISUSE("CefSchemeRegistrar::AddCustomScheme outside OnRegisterCustomSchemes ignored");
    return false;
  }
  std::wstring scheme = AsciiLower(scheme_name.ToWString());
  if (!ValidSchemeName(scheme) || IsBuiltInScheme(scheme))
    return false;
  std::lock_guard<std::mutex> lock(g_mutex);
  return Schemes().emplace(scheme, CustomScheme{is_standard, is_local, is_display_isolated}).second;
}

void ClearCustomSchemes() {
  std::lock_guard<std::mutex> lock(g_mutex);
  Schemes().clear();
}

}  // namespace cefengine
