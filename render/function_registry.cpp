#include "render/function_registry.h"

#include <cstdint>
#include <string>

#include "base/log.h"

namespace client {
namespace render_sync_call {

CefString MakeCallbackKey(const CefRefPtr<CefV8Value>& callback) {
  const CefString name = callback->GetFunctionName();
  if (!name.empty())
    return name;
  // By hand: the C++ runtime prints "%p" in lower case, and the host expects upper case.
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  uintptr_t address = reinterpret_cast<uintptr_t>(callback.get());
  std::wstring key(1 + 2 * sizeof(void*), L'0');
  key[0] = L'&';
  for (size_t i = key.size() - 1; i > 0; --i, address >>= 4)
    key[i] = kDigits[address & 0xF];
  return key;
}

bool IsOneShotKey(const CefString& key) {
  return !key.empty() && key.ToString()[0] == '&';
}

void RemoveExistRegisteredFunction(FunctionRegistry& registry, const CefString& key) {
  registry.EraseIf([&key](FunctionRegistry::Entry& entry) {
    if (entry.value.erase(key) == 0)
      return false;
    LogInfoW(L"RemoveExistRegisteredFunction(), Register function exists, function name=%s",
             key.ToWString().c_str());
    return entry.value.empty();
  });
}

void RegisterCallbackFunction(FunctionRegistry& registry, const CefRefPtr<CefV8Context>& context,
                              const CefString& key, const CefRefPtr<CefV8Value>& callback) {
  CefRefPtr<CefV8Value>& stored = registry.Get(context)[key];
  if (stored)
    LogInfoW(L"external.RegisterCallbackFunction() replaces the callback of %s", key.ToWString().c_str());
  stored = callback;
}

void EraseFunction(FunctionRegistry& registry, const CefRefPtr<CefV8Context>& context, const CefString& key) {
  FunctionMap* functions = registry.Find(context);
  if (!functions)
    return;
  functions->erase(key);
  if (functions->empty())
    registry.Erase(context);
}

}  // namespace render_sync_call
}  // namespace client
