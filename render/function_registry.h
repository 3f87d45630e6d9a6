// The page functions and pending callbacks of every script context, by key: what the host can
// call in a renderer. Shared by the `external` delegate and each context's handler.
//
// A key is the name a page registered a function under, or a callback key (see
// render_sync_caller.h). Renderer main thread only.
#pragma once

#include <map>

#include "include/cef_v8.h"
#include "render/context_map.h"

namespace client {
namespace render_sync_call {

typedef std::map<CefString, CefRefPtr<CefV8Value>> FunctionMap;
typedef ContextMap<FunctionMap> FunctionRegistry;

// The key of a callback: its own function name, else "&" and the address of the value object in
// upper-case hexadecimal, 2 * sizeof(void*) digits.
CefString MakeCallbackKey(const CefRefPtr<CefV8Value>& callback);
// True for a key made from an address: it serves one call only.
bool IsOneShotKey(const CefString& key);

// A page registers a function under `key`: the key leaves every context that held it (each
// context keeps its other functions and callbacks; one left with nothing leaves the registry).
void RemoveExistRegisteredFunction(FunctionRegistry& registry, const CefString& key);
// Stores `callback` under `key` for `context`; a callback stored there before under the same key
// is replaced, so the answer reaches the callback given last.
void RegisterCallbackFunction(FunctionRegistry& registry, const CefRefPtr<CefV8Context>& context,
                              const CefString& key, const CefRefPtr<CefV8Value>& callback);
// Erases `key` of `context`; a context left with nothing leaves the registry.
void EraseFunction(FunctionRegistry& registry, const CefRefPtr<CefV8Context>& context, const CefString& key);

}  // namespace render_sync_call
}  // namespace client
