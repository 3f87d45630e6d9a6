// Page script played by the engine: values described as data (PageValue) and turned into script
// values inside a context, and page functions that return a value, return undefined or throw.
// Every call of a page function is journaled (kPageFunctionCallKind), which is how tests see a
// callback the product invoked.
#ifndef CEF_ENGINE_PAGE_FUNCTION_H_
#define CEF_ENGINE_PAGE_FUNCTION_H_

#include <memory>
#include <string>
#include <vector>

#include "include/cef_v8.h"

namespace cefengine {

struct PageValue;

// What a page function does when called.
struct PageFunctionPlan {
  enum class Outcome { kUndefined, kValue, kThrow };
  std::wstring name;  // "" for an anonymous function
  Outcome outcome = Outcome::kUndefined;
  std::vector<PageValue> result;  // one entry for kValue (made anew in the context at each call)
  std::wstring exception;         // the thrown message for kThrow
  // Page script each of the function's first `then_times` calls runs, after the call is journaled and before the
  // outcome: `then_path(then_args...)` in the same context, as `function cb() { external.Execute(...); }` does.
  // Each function made from the plan counts its own calls.
  std::string then_path;  // UTF-8; empty: none
  std::vector<PageValue> then_args;
  int then_times = 0;
};

// A script value as data. Objects list their members in order.
struct PageValue {
  // kGlobal: the global property named string_value of the context the value is made in (undefined when missing).
  enum class Kind { kUndefined, kNull, kBool, kInt, kDouble, kString, kObject, kFunction, kGlobal };
  Kind kind = Kind::kUndefined;
  bool bool_value = false;
  int32 int_value = 0;
  double double_value = 0;
  std::wstring string_value;
  std::vector<std::wstring> member_names;  // kObject
  std::vector<PageValue> member_values;    // kObject, same length as member_names
  std::shared_ptr<const PageFunctionPlan> function;  // kFunction
};

// Makes `value` a script value of the innermost entered context, as page script would (objects
// and functions are not user-created). Null for objects and functions outside an entered context.
// Renderer thread only.
CefRefPtr<CefV8Value> MakePageValue(const PageValue& value);

// Journal kind of a page function call. Args: the function's name ("" when anonymous), then each
// argument as page script's String() shows it. Browser and frame: those of the function's context.
extern const char kPageFunctionCallKind[];

}  // namespace cefengine

#endif  // CEF_ENGINE_PAGE_FUNCTION_H_
