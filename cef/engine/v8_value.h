// The script value model behind CefV8Value and CefV8Context. There is no script engine: page
// script is played by the engine and the test API (page_function.h, renderer_call.h), which call
// into these objects exactly as script would.
//
// Shared state and wrappers: a value or a context is a shared state object; every object handed
// to client code is a new wrapper over it (compare them with IsSame). Each value belongs to the
// context that was entered when it was made; when that context is released the value is invalid
// (IsValid false, getters give defaults, GetValue null). Values made outside any context stay
// valid. The model is not locked: every call belongs on the thread that made the value or context
// (the renderer's main thread); other threads get the failure value and a misuse warning.
#ifndef CEF_ENGINE_V8_VALUE_H_
#define CEF_ENGINE_V8_VALUE_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_v8.h"

namespace cefengine {

struct ContextState;
struct ValueState;

// What running a function body gave.
struct CallOutcome {
  bool threw = false;
  std::wstring exception;         // the thrown message when `threw`
  CefRefPtr<CefV8Value> value;    // null: undefined
};

// The body of a function made by the engine itself rather than from a CefV8Handler (page
// functions of the test API). Runs on the context's thread with the function's context entered.
class FunctionBody {
 public:
  virtual ~FunctionBody() = default;
  virtual CallOutcome Run(const std::wstring& name, CefRefPtr<CefV8Value> receiver,
                          const CefV8ValueList& arguments) = 0;
};

// Values as page script makes them (IsUserCreated false). Null outside an entered context.
CefRefPtr<CefV8Value> CreatePageObject();
CefRefPtr<CefV8Value> CreatePageFunction(const std::wstring& name, std::shared_ptr<FunctionBody> body);

// Page-script assignment `object[key] = value`: an existing property keeps its attributes, a new
// one gets none; a read-only property stays unchanged (false). Accessor properties call the
// object's accessor.
[[nodiscard]] bool PageAssign(CefRefPtr<CefV8Value> object, const std::wstring& key, CefRefPtr<CefV8Value> value);

// The attributes of own property `key`; false when there is none (or `object` is no object).
[[nodiscard]] bool GetPropertyAttribute(CefRefPtr<CefV8Value> object, const std::wstring& key,
                                        cef_v8_propertyattribute_t* attribute);

// The value as page script's String(value) shows it ("undefined", "null", "true", "1.5",
// "[object Object]", array elements joined with ","...). "" for null pointers and invalid values.
std::wstring DisplayString(CefRefPtr<CefV8Value> value);
// "undefined", "null", "bool", "int", "uint", "double", "date", "string", "object", "array",
// "function"; "invalid" for a value whose context was released, "" for a null pointer. A number
// is "int" when it is an int32, "uint" when only a uint32, "double" otherwise.
std::string TypeName(CefRefPtr<CefV8Value> value);

// A script exception with `message` (v8_exception.cpp).
CefRefPtr<CefV8Exception> CreateV8Exception(const std::wstring& message);
// A stack trace of functions with these names, innermost first (v8_exception.cpp).
CefRefPtr<CefV8StackTrace> CreateV8StackTrace(std::vector<std::wstring> innermost_first);

// --- Shared state (for the model's own files) ---

enum class ValueKind { kUndefined, kNull, kBool, kNumber, kDate, kString, kObject, kArray, kFunction };

struct Property {
  std::wstring key;
  std::shared_ptr<ValueState> value;  // null for accessor properties
  cef_v8_propertyattribute_t attribute = V8_PROPERTY_ATTRIBUTE_NONE;
  bool accessor = false;
};

struct ValueState {
  ValueKind kind = ValueKind::kUndefined;
  bool boolean = false;
  double number = 0;
  CefTime date;
  std::wstring string;
  bool user_created = false;
  // Made inside `context`: valid only while it lives.
  bool in_context = false;
  std::weak_ptr<ContextState> context;
  DWORD thread = 0;
  // Objects, arrays and functions.
  std::vector<Property> properties;                   // insertion order
  std::vector<std::shared_ptr<ValueState>> elements;  // arrays; null entries are holes
  CefRefPtr<CefV8Accessor> accessor;
  CefRefPtr<CefBase> user_data;
  // Functions.
  std::wstring function_name;
  CefRefPtr<CefV8Handler> handler;
  std::shared_ptr<FunctionBody> body;
};

struct ContextState {
  int64 id = 0;
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefFrame> frame;
  int browser_id = 0;
  int64 frame_id = 0;
  bool valid = true;
  DWORD thread = 0;
  std::shared_ptr<ValueState> global;
  // Every object, array and function made in the context, so that releasing it can drop their
  // contents (properties, handlers, user data) and with them any reference cycles.
  std::vector<std::weak_ptr<ValueState>> objects;
  size_t prune_at = 64;  // `objects` drops expired entries when it reaches this size
};

// A new wrapper over `state` (null for null).
CefRefPtr<CefV8Value> WrapValue(std::shared_ptr<ValueState> state);
// The state behind a wrapper made here; null for null pointers.
std::shared_ptr<ValueState> StateOf(CefRefPtr<CefV8Value> value);
// The global object of a new context: an object of that context, not user-created.
std::shared_ptr<ValueState> NewGlobalObject(const std::shared_ptr<ContextState>& context);
// Marks the context released and drops the contents of everything made in it. The dropped client
// objects (handlers, accessors, user data) are released after the model is consistent again.
void InvalidateContext(const std::shared_ptr<ContextState>& context);

// A new wrapper over a context state; its state (v8_context.cpp).
CefRefPtr<CefV8Context> WrapContext(std::shared_ptr<ContextState> state);
std::shared_ptr<ContextState> ContextStateOf(CefRefPtr<CefV8Context> context);

// The calling thread's stack of entered contexts (v8_context.cpp).
void PushEnteredContext(std::shared_ptr<ContextState> context);
// False when `context` is not the innermost entered one (nothing is popped then).
[[nodiscard]] bool PopEnteredContext(const std::shared_ptr<ContextState>& context);
// The innermost entered context of the calling thread, or null.
std::shared_ptr<ContextState> InnermostContext();

// The calling thread's stack of running functions (v8_value.cpp), innermost last.
std::vector<std::wstring> RunningFunctionNames();

// Test API: page script that runs inside a keyed property look-up or store of client code
// (CefV8Value::HasValue and SetValue by key), as a page's proxy on an object's prototype chain
// runs it in a real engine. Called on the value's thread before the operation, with "HasValue" or
// "SetValue" and the key; not again for the look-ups and stores that the trap itself makes. An
// empty function removes the trap. Any thread.
using PropertyTrap = std::function<void(const char* operation, const std::wstring& key)>;
void SetPropertyTrap(PropertyTrap trap);

}  // namespace cefengine

#endif  // CEF_ENGINE_V8_VALUE_H_
