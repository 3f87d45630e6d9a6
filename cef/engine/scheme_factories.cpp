#include "engine/scheme_factories.h"

#include <map>
#include <mutex>
#include <utility>

#include "engine/context.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/scheme_registry.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

typedef std::pair<std::wstring, std::wstring> Key;

std::mutex g_mutex;
std::map<Key, CefRefPtr<CefSchemeHandlerFactory>>& Factories() {
  static auto* factories = new std::map<Key, CefRefPtr<CefSchemeHandlerFactory>>();
  return *factories;
}

bool ValidScheme(const std::wstring& scheme) {
  if (scheme.empty() || !(scheme[0] >= L'a' && scheme[0] <= L'z'))
    return false;
  for (wchar_t c : scheme)
    if (!((c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.'))
      return false;
  return true;
}

}  // namespace

bool RegisterSchemeFactory(const std::wstring& scheme_name, const std::wstring& domain_name,
                           CefRefPtr<CefSchemeHandlerFactory> factory) {
  std::wstring scheme = AsciiLower(scheme_name);
  if (!ValidScheme(scheme))
    return false;
  std::wstring domain = IsStandardScheme(scheme) ? AsciiLower(domain_name) : std::wstring();
  // Released outside the lock: a factory's destructor is client code.
  CefRefPtr<CefSchemeHandlerFactory> old;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = Factories().find(Key(scheme, domain));
    if (it != Factories().end()) {
      old = it->second;
      if (factory)
        it->second = factory;
      else
        Factories().erase(it);
    } else if (factory) {
      Factories()[Key(scheme, domain)] = factory;
    }
  }
  return true;
}

void ClearSchemeFactories() {
  std::map<Key, CefRefPtr<CefSchemeHandlerFactory>> old;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    old.swap(Factories());
  }
}

CefRefPtr<CefSchemeHandlerFactory> FindSchemeFactory(const std::wstring& scheme, const std::wstring& host) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& factories = Factories();
  if (!host.empty()) {
    auto it = factories.find(Key(scheme, host));
    if (it != factories.end())
      return it->second;
  }
  auto it = factories.find(Key(scheme, std::wstring()));
  return it == factories.end() ? nullptr : it->second;
}

bool HasSchemeFactory(const std::wstring& scheme) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = Factories().lower_bound(Key(scheme, std::wstring()));
  return it != Factories().end() && it->first.first == scheme;
}

std::vector<SchemeFactoryEntry> SchemeFactoryEntries() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<SchemeFactoryEntry> out;
  for (const auto& it : Factories())
    out.push_back(SchemeFactoryEntry{it.first.first, it.first.second, it.second});
  return out;
}

}  // namespace cefengine

using namespace cefengine;

bool CefRegisterSchemeHandlerFactory(const CefString& scheme_name, const CefString& domain_name,
                                     CefRefPtr<CefSchemeHandlerFactory> factory) {
  Record("CefRegisterSchemeHandlerFactory", 0, 0,
         {scheme_name.ToString(), domain_name.ToString(), factory ? "factory" : "null"});
  if (!IsInitialized()) {
    CEFENGINE_MISUSE("CefRegisterSchemeHandlerFactory before CefInitialize or after CefShutdown");
    return false;
  }
  if (!RegisterSchemeFactory(scheme_name.ToWString(), domain_name.ToWString(), factory)) {
    LOG(WARNING) << "CefRegisterSchemeHandlerFactory: invalid scheme name \"" << scheme_name.ToString() << "\"";
    return false;
  }
  return true;
}

bool CefClearSchemeHandlerFactories() {
  Record("CefClearSchemeHandlerFactories");
  if (!IsInitialized())
    return false;
  ClearSchemeFactories();
  return true;
}
