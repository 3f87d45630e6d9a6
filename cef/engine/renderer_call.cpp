#include "engine/renderer_call.h"

#include "engine/utf.h"
#include "engine/v8_value.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

std::vector<std::wstring> SplitPath(const std::string& path) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    size_t dot = path.find('.', start);
    parts.push_back(Utf8ToWide(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start)));
    if (dot == std::string::npos)
      return parts;
    start = dot + 1;
  }
}

void Throw(RendererCallResult* result, const std::string& message) {
  result->threw = true;
  result->exception = message;
  result->type = "undefined";
  result->value.clear();
}

void Describe(RendererCallResult* result, CefRefPtr<CefV8Value> value) {
  result->type = TypeName(value);
  result->value = WideToUtf8(DisplayString(value));
}

// The current page of a context: entered for the lifetime of the object.
class EnteredContext {
 public:
  explicit EnteredContext(CefRefPtr<CefV8Context> context) : context_(context) {
    entered_ = context_ && context_->IsValid() && context_->Enter();
    if (!entered_)
      LOG(WARNING) << "page script for a context that is missing or released";
  }
  ~EnteredContext() {
    if (entered_)
      context_->Exit();
  }
  bool entered() const { return entered_; }

 private:
  CefRefPtr<CefV8Context> context_;
  bool entered_ = false;
};

// Reads `holder[key]` as script does: a non-object holder gives undefined. False, with the
// result set to the thrown error, when an accessor threw.
bool ReadProperty(CefRefPtr<CefV8Value> holder, const std::wstring& key, CefRefPtr<CefV8Value>* value,
                  RendererCallResult* result) {
  if (!holder->IsObject()) {
    *value = CefV8Value::CreateUndefined();
    return true;
  }
  *value = holder->GetValue(key);
  if (holder->HasException()) {
    Throw(result, holder->GetException()->GetMessage().ToString());
    return false;
  }
  if (!*value)
    *value = CefV8Value::CreateUndefined();
  return true;
}

// Walks `window.<path>` up to the object holding its last part. False, with the result set to
// the thrown error, when a step reads a property of undefined or null.
bool ResolveHolder(CefRefPtr<CefV8Context> context, const std::vector<std::wstring>& parts,
                   CefRefPtr<CefV8Value>* holder, RendererCallResult* result) {
  for (const auto& part : parts) {
    if (part.empty()) {
      Throw(result, "SyntaxError: Unexpected token .");
      return false;
    }
  }
  *holder = context->GetGlobal();
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    CefRefPtr<CefV8Value> next;
    if (!ReadProperty(*holder, parts[i], &next, result))
      return false;
    if (next->IsUndefined() || next->IsNull()) {
      Throw(result, "TypeError: Cannot read property '" + WideToUtf8(parts[i + 1]) + "' of " +
                        (next->IsNull() ? "null" : "undefined"));
      return false;
    }
    *holder = next;
  }
  return true;
}

}  // namespace

RendererCallResult CallInContext(CefRefPtr<CefV8Context> context, const std::string& path,
                                 const std::vector<PageValue>& args) {
  RendererCallResult result;
  EnteredContext entered(context);
  if (!entered.entered())
    return result;
  result.ran = true;
  std::vector<std::wstring> parts = SplitPath(path);
  CefRefPtr<CefV8Value> holder;
  CefRefPtr<CefV8Value> function;
  if (!ResolveHolder(context, parts, &holder, &result) || !ReadProperty(holder, parts.back(), &function, &result))
    return result;
  if (!function->IsFunction()) {
    Throw(&result, "TypeError: " + path + " is not a function");
    return result;
  }
  CefV8ValueList arguments;
  for (const auto& arg : args) {
    CefRefPtr<CefV8Value> made = MakePageValue(arg);
    arguments.push_back(made ? made : CefV8Value::CreateUndefined());
  }
  CefRefPtr<CefV8Value> returned = function->ExecuteFunction(holder, arguments);
  if (function->HasException()) {
    Throw(&result, function->GetException()->GetMessage().ToString());
    return result;
  }
  Describe(&result, returned ? returned : CefV8Value::CreateUndefined());
  return result;
}

RendererCallResult GetInContext(CefRefPtr<CefV8Context> context, const std::string& path) {
  RendererCallResult result;
  EnteredContext entered(context);
  if (!entered.entered())
    return result;
  result.ran = true;
  std::vector<std::wstring> parts = SplitPath(path);
  CefRefPtr<CefV8Value> holder;
  CefRefPtr<CefV8Value> value;
  if (!ResolveHolder(context, parts, &holder, &result) || !ReadProperty(holder, parts.back(), &value, &result))
    return result;
  Describe(&result, value);
  cef_v8_propertyattribute_t attribute = V8_PROPERTY_ATTRIBUTE_NONE;
  result.read_only = GetPropertyAttribute(holder, parts.back(), &attribute) &&
                     (attribute & V8_PROPERTY_ATTRIBUTE_READONLY) != 0;
  return result;
}

RendererCallResult AssignInContext(CefRefPtr<CefV8Context> context, const std::string& path,
                                   const PageValue& value) {
  RendererCallResult result;
  {
    EnteredContext entered(context);
    if (!entered.entered())
      return result;
    std::vector<std::wstring> parts = SplitPath(path);
    CefRefPtr<CefV8Value> holder;
    if (!ResolveHolder(context, parts, &holder, &result)) {
      result.ran = true;
      return result;
    }
    // Script ignores assignments to read-only properties and to properties of primitives.
    CefRefPtr<CefV8Value> made = MakePageValue(value);
    if (made && holder->IsObject())
      (void)PageAssign(holder, parts.back(), made);
  }
  return GetInContext(context, path);
}

}  // namespace cefengine
