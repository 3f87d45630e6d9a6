#include "engine/v8_value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/task_threads.h"
#include "engine/utf.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

// Larger arrays are refused instead of allocated (a runaway index must not exhaust memory).
const size_t kMaxArrayLength = 1u << 20;

// One running function call of this thread; a rethrown exception lands in its caller's frame.
struct CallFrame {
  std::wstring name;
  bool rethrown = false;
  std::wstring rethrown_message;
};
thread_local std::vector<CallFrame*>* t_calls = nullptr;

std::mutex g_property_trap_mutex;
std::shared_ptr<PropertyTrap> g_property_trap;  // under the mutex
// The trap does not run again for what it does itself.
thread_local bool t_in_property_trap = false;

void RunPropertyTrap(const char* operation, const std::wstring& key) {
  if (t_in_property_trap)
    return;
  std::shared_ptr<PropertyTrap> trap;
  {
    std::lock_guard<std::mutex> lock(g_property_trap_mutex);
    trap = g_property_trap;
  }
  if (!trap)
    return;
  t_in_property_trap = true;
  (*trap)(operation, key);
  t_in_property_trap = false;
}

bool IsObjectKind(ValueKind kind) {
  return kind == ValueKind::kObject || kind == ValueKind::kArray || kind == ValueKind::kFunction;
}

bool Alive(const ValueState& value) {
  if (!value.in_context)
    return true;
  std::shared_ptr<ContextState> context = value.context.lock();
  return context && context->valid;
}

// The innermost entered context when it still lives; values made now belong to it.
std::shared_ptr<ContextState> LiveInnermostContext() {
  std::shared_ptr<ContextState> context = InnermostContext();
  return context && context->valid ? context : nullptr;
}

void Track(ContextState& context, const std::shared_ptr<ValueState>& value) {
  if (context.objects.size() >= context.prune_at) {
    std::vector<std::weak_ptr<ValueState>> kept;
    for (auto& weak : context.objects) {
      if (!weak.expired())
        kept.push_back(std::move(weak));
    }
    context.objects.swap(kept);
    context.prune_at = std::max<size_t>(64, context.objects.size() * 2);
  }
  context.objects.push_back(value);
}

std::shared_ptr<ValueState> NewState(ValueKind kind) {
  auto state = std::make_shared<ValueState>();
  state->kind = kind;
  state->thread = GetCurrentThreadId();
  if (std::shared_ptr<ContextState> context = LiveInnermostContext()) {
    state->in_context = true;
    state->context = context;
    if (IsObjectKind(kind))
      Track(*context, state);
  }
  return state;
}

// Primitive values may be made anywhere on the renderer thread, or inside an entered context.
bool CanCreatePrimitive(const char* method) {
  if (CurrentlyOn(TID_RENDERER) || InnermostContext())
    return true;
  CEFENGINE_MISUSE(std::string("CefV8Value::") + method + " called off the renderer thread");
  return false;
}

// Objects need a live entered context. Ordinary code reaches this without one (a walk over
// released contexts), so it is a warning and a null result, never fatal.
bool CanCreateObject(const char* method) {
  if (LiveInnermostContext())
    return true;
  if (!CurrentlyOn(TID_RENDERER) && !InnermostContext()) {
    CEFENGINE_MISUSE(std::string("CefV8Value::") + method + " called off the renderer thread");
    return false;
  }
  LOG(WARNING) << "CefV8Value::" << method << " called outside an entered context";
  return false;
}

// "0", "1", ... up to 2^32-2 without leading zeros: an array element, not a named property.
bool ArrayIndex(const std::wstring& key, uint32_t* index) {
  if (key.empty() || key.size() > 10 || (key.size() > 1 && key[0] == L'0'))
    return false;
  uint64_t n = 0;
  for (wchar_t c : key) {
    if (c < L'0' || c > L'9')
      return false;
    n = n * 10 + static_cast<uint64_t>(c - L'0');
  }
  if (n >= 0xFFFFFFFFull)
    return false;
  *index = static_cast<uint32_t>(n);
  return true;
}

Property* FindProperty(ValueState& object, const std::wstring& key) {
  for (Property& p : object.properties) {
    if (p.key == key)
      return &p;
  }
  return nullptr;
}

bool IsNegativeZero(double d) {
  return d == 0 && std::signbit(d);
}

bool IsIntegral(double d) {
  return std::isfinite(d) && std::trunc(d) == d && !IsNegativeZero(d);
}

// Script's ToUint32: the number truncated, modulo 2^32 (NaN and infinities give 0).
uint32_t ToUint32(double d) {
  if (!std::isfinite(d))
    return 0;
  double m = std::fmod(std::trunc(d), 4294967296.0);
  if (m < 0)
    m += 4294967296.0;
  return static_cast<uint32_t>(m);
}

// Shortest digits that read back as `d` (positive, finite), and the decimal point position.
void ShortestDigits(double d, std::string* digits, int* point) {
  char buffer[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof(buffer), "%.*e", precision - 1, d);
    if (std::strtod(buffer, nullptr) == d)
      break;
  }
  std::string text(buffer);
  size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  int exponent = std::atoi(text.c_str() + e + 1);
  digits->clear();
  for (char c : mantissa) {
    if (c >= '0' && c <= '9')
      digits->push_back(c);
  }
  while (digits->size() > 1 && digits->back() == '0')
    digits->pop_back();
  *point = exponent + 1;
}

// Number to text the way script prints numbers.
std::wstring NumberText(double d) {
  if (std::isnan(d))
    return L"NaN";
  if (std::isinf(d))
    return d < 0 ? L"-Infinity" : L"Infinity";
  if (d == 0)
    return L"0";
  std::string sign = d < 0 ? "-" : "";
  std::string digits;
  int n = 0;
  ShortestDigits(std::fabs(d), &digits, &n);
  int k = static_cast<int>(digits.size());
  std::string out;
  if (k <= n && n <= 21) {
    out = digits + std::string(static_cast<size_t>(n - k), '0');
  } else if (0 < n && n <= 21) {
    out = digits.substr(0, static_cast<size_t>(n)) + "." + digits.substr(static_cast<size_t>(n));
  } else if (-6 < n && n <= 0) {
    out = "0." + std::string(static_cast<size_t>(-n), '0') + digits;
  } else {
    int e = n - 1;
    out = digits.substr(0, 1);
    if (k > 1)
      out += "." + digits.substr(1);
    out += e < 0 ? "e-" : "e+";
    out += std::to_string(e < 0 ? -e : e);
  }
  return Utf8ToWide(sign + out);
}

std::wstring DateText(const CefTime& t) {
  wchar_t buffer[64];
  _snwprintf(buffer, 64, L"%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.year, t.month, t.day_of_month, t.hour,
             t.minute, t.second, t.millisecond);
  buffer[63] = L'\0';
  return buffer;
}

std::wstring Display(const std::shared_ptr<ValueState>& value, std::set<const ValueState*>* open_arrays) {
  if (!value || !Alive(*value))
    return L"";
  switch (value->kind) {
    case ValueKind::kUndefined:
      return L"undefined";
    case ValueKind::kNull:
      return L"null";
    case ValueKind::kBool:
      return value->boolean ? L"true" : L"false";
    case ValueKind::kNumber:
      return NumberText(value->number);
    case ValueKind::kDate:
      return DateText(value->date);
    case ValueKind::kString:
      return value->string;
    case ValueKind::kObject:
      return L"[object Object]";
    case ValueKind::kFunction:
      return L"function " + value->function_name + L"() { [native code] }";
    case ValueKind::kArray: {
      // Script prints an array that contains itself as "" at the inner place.
      if (!open_arrays->insert(value.get()).second)
        return L"";
      std::wstring out;
      for (size_t i = 0; i < value->elements.size(); ++i) {
        if (i)
          out += L",";
        const auto& element = value->elements[i];
        if (element && element->kind != ValueKind::kUndefined && element->kind != ValueKind::kNull)
          out += Display(element, open_arrays);
      }
      open_arrays->erase(value.get());
      return out;
    }
  }
  return L"";
}

// Reads own property `key` of `object` (an object kind, alive). Null for an absent property or a
// failed accessor; `exception` is set when the accessor threw.
std::shared_ptr<ValueState> LoadProperty(const std::shared_ptr<ValueState>& object, const std::wstring& key,
                                         std::wstring* exception, bool* found) {
  *found = false;
  uint32_t index = 0;
  if (object->kind == ValueKind::kArray && ArrayIndex(key, &index)) {
    if (index < object->elements.size() && object->elements[index]) {
      *found = true;
      return object->elements[index];
    }
    return nullptr;
  }
  Property* property = FindProperty(*object, key);
  if (!property)
    return nullptr;
  *found = true;
  if (!property->accessor)
    return property->value;
  CefRefPtr<CefV8Accessor> accessor = object->accessor;
  if (!accessor)
    return nullptr;
  CefRefPtr<CefV8Value> retval;
  CefString thrown;
  bool handled = accessor->Get(key, WrapValue(object), retval, thrown);
  if (handled && !thrown.empty()) {
    *exception = thrown.ToWString();
    return nullptr;
  }
  return handled ? StateOf(retval) : nullptr;
}

// Writes own property `key` of `object` (an object kind, alive). `attribute` null keeps an
// existing property's attributes (page assignment). False when the property is read-only, the
// array would grow too far, or an accessor threw (`exception` set).
bool StoreProperty(const std::shared_ptr<ValueState>& object, const std::wstring& key,
                   const std::shared_ptr<ValueState>& value, const cef_v8_propertyattribute_t* attribute,
                   std::wstring* exception) {
  uint32_t index = 0;
  if (object->kind == ValueKind::kArray && ArrayIndex(key, &index)) {
    if (index >= kMaxArrayLength) {
      LOG(WARNING) << "CefV8Value::SetValue: array index " << index << " is beyond the engine's limit";
      return false;
    }
    if (index >= object->elements.size())
      object->elements.resize(index + 1);
    object->elements[index] = value;
    return true;
  }
  Property* property = FindProperty(*object, key);
  if (property && (property->attribute & V8_PROPERTY_ATTRIBUTE_READONLY))
    return false;
  if (property && property->accessor) {
    CefRefPtr<CefV8Accessor> accessor = object->accessor;
    if (!accessor)
      return false;
    CefString thrown;
    accessor->Set(key, WrapValue(object), WrapValue(value), thrown);
    if (!thrown.empty()) {
      *exception = thrown.ToWString();
      return false;
    }
    return true;
  }
  if (property) {
    property->value = value;
    if (attribute)
      property->attribute = *attribute;
    return true;
  }
  Property added;
  added.key = key;
  added.value = value;
  added.attribute = attribute ? *attribute : V8_PROPERTY_ATTRIBUTE_NONE;
  object->properties.push_back(std::move(added));
  return true;
}

CallOutcome RunHandler(CefRefPtr<CefV8Handler> handler, const std::wstring& name, CefRefPtr<CefV8Value> receiver,
                       const CefV8ValueList& arguments) {
  if (JournalEnabled()) {
    std::vector<std::string> args{WideToUtf8(name)};
    for (const auto& argument : arguments)
      args.push_back(WideToUtf8(DisplayString(argument)));
    std::shared_ptr<ContextState> context = InnermostContext();
    Record("Execute", context ? context->browser_id : 0, context ? context->frame_id : 0, std::move(args));
  }
  CefRefPtr<CefV8Value> retval;
  CefString exception;
  CallOutcome outcome;
  // False means "not handled": undefined, and whatever was put into `exception` is ignored.
  if (!handler->Execute(name, receiver, arguments, retval, exception))
    return outcome;
  if (!exception.empty()) {
    outcome.threw = true;
    outcome.exception = exception.ToWString();
    return outcome;
  }
  outcome.value = retval;
  return outcome;
}

class V8ValueImpl : public CefV8Value {
 public:
  explicit V8ValueImpl(std::shared_ptr<ValueState> state) : state_(std::move(state)) {}
  const std::shared_ptr<ValueState>& state() const { return state_; }

  bool IsValid() override { return OnThread("IsValid") && Alive(*state_); }
  bool IsUndefined() override { return Is(ValueKind::kUndefined); }
  bool IsNull() override { return Is(ValueKind::kNull); }
  bool IsBool() override { return Is(ValueKind::kBool); }
  bool IsInt() override {
    return Is(ValueKind::kNumber) && IsIntegral(state_->number) && state_->number >= -2147483648.0 &&
           state_->number <= 2147483647.0;
  }
  bool IsUInt() override {
    return Is(ValueKind::kNumber) && IsIntegral(state_->number) && state_->number >= 0 &&
           state_->number <= 4294967295.0;
  }
  bool IsDouble() override { return Is(ValueKind::kNumber); }
  bool IsDate() override { return Is(ValueKind::kDate); }
  bool IsString() override { return Is(ValueKind::kString); }
  bool IsObject() override { return Usable("IsObject") && IsObjectKind(state_->kind); }
  bool IsArray() override { return Is(ValueKind::kArray); }
  bool IsFunction() override { return Is(ValueKind::kFunction); }
  bool IsSame(CefRefPtr<CefV8Value> that) override {
    std::shared_ptr<ValueState> other = StateOf(that);
    if (!other || !Usable("IsSame") || !Alive(*other))
      return false;
    if (other == state_)
      return true;
    // Primitives compare by value (script's SameValue); objects only by identity.
    if (other->kind != state_->kind || IsObjectKind(state_->kind))
      return false;
    switch (state_->kind) {
      case ValueKind::kBool:
        return other->boolean == state_->boolean;
      case ValueKind::kNumber:
        if (std::isnan(other->number) && std::isnan(state_->number))
          return true;
        return other->number == state_->number && std::signbit(other->number) == std::signbit(state_->number);
      case ValueKind::kDate:
        return false;  // dates are objects in script
      case ValueKind::kString:
        return other->string == state_->string;
      default:
        return true;  // undefined, null
    }
  }
  bool GetBoolValue() override { return Is(ValueKind::kBool) && state_->boolean; }
  int32 GetIntValue() override {
    return Is(ValueKind::kNumber) ? static_cast<int32>(ToUint32(state_->number)) : 0;
  }
  uint32 GetUIntValue() override { return Is(ValueKind::kNumber) ? ToUint32(state_->number) : 0; }
  double GetDoubleValue() override { return Is(ValueKind::kNumber) ? state_->number : 0; }
  CefTime GetDateValue() override { return Is(ValueKind::kDate) ? state_->date : CefTime(); }
  CefString GetStringValue() override { return Is(ValueKind::kString) ? CefString(state_->string) : CefString(); }

  bool IsUserCreated() override { return Usable("IsUserCreated") && IsObjectKind(state_->kind) && state_->user_created; }
  bool HasException() override { return exception_ != nullptr; }
  CefRefPtr<CefV8Exception> GetException() override { return exception_; }
  bool ClearException() override {
    exception_ = nullptr;
    return true;
  }
  bool WillRethrowExceptions() override { return rethrow_; }
  bool SetRethrowExceptions(bool rethrow) override {
    rethrow_ = rethrow;
    return true;
  }

  bool HasValue(const CefString& key) override {
    if (!ObjectUsable("HasValue"))
      return false;
    const std::wstring name = key.ToWString();
    RunPropertyTrap("HasValue", name);
    // The trap may have released the object's context.
    return Usable("HasValue") && HasOwn(name);
  }
  bool HasValue(int index) override {
    if (!ObjectUsable("HasValue") || index < 0)
      return false;
    return HasOwn(std::to_wstring(index));
  }
  bool DeleteValue(const CefString& key) override {
    if (!ObjectUsable("DeleteValue"))
      return false;
    return DeleteOwn(key.ToWString());
  }
  bool DeleteValue(int index) override {
    if (!ObjectUsable("DeleteValue") || index < 0)
      return false;
    return DeleteOwn(std::to_wstring(index));
  }
  CefRefPtr<CefV8Value> GetValue(const CefString& key) override {
    if (!ObjectUsable("GetValue"))
      return nullptr;
    return Load(key.ToWString());
  }
  CefRefPtr<CefV8Value> GetValue(int index) override {
    if (!ObjectUsable("GetValue") || index < 0)
      return nullptr;
    return Load(std::to_wstring(index));
  }
  bool SetValue(const CefString& key, CefRefPtr<CefV8Value> value, PropertyAttribute attribute) override {
    if (!ObjectUsable("SetValue"))
      return false;
    const std::wstring name = key.ToWString();
    RunPropertyTrap("SetValue", name);
    return Usable("SetValue") && Store(name, value, attribute);
  }
  bool SetValue(int index, CefRefPtr<CefV8Value> value) override {
    if (!ObjectUsable("SetValue"))
      return false;
    if (index < 0) {
      CEFENGINE_MISUSE("CefV8Value::SetValue with a negative index");
      return false;
    }
    return Store(std::to_wstring(index), value, V8_PROPERTY_ATTRIBUTE_NONE);
  }
  bool SetValue(const CefString& key, AccessControl settings, PropertyAttribute attribute) override {
    if (!ObjectUsable("SetValue"))
      return false;
    if (!state_->accessor) {
      CEFENGINE_MISUSE("CefV8Value::SetValue with access control on an object made without an accessor");
      return false;
    }
    std::wstring name = key.ToWString();
    Property* property = FindProperty(*state_, name);
    if (property && (property->attribute & V8_PROPERTY_ATTRIBUTE_READONLY))
      return false;
    if (!property) {
      state_->properties.push_back(Property());
      property = &state_->properties.back();
      property->key = name;
    }
    property->value = nullptr;
    property->accessor = true;
    property->attribute = attribute;
    return true;
  }
  bool GetKeys(std::vector<CefString>& keys) override {
    if (!ObjectUsable("GetKeys"))
      return false;
    for (size_t i = 0; i < state_->elements.size(); ++i) {
      if (state_->elements[i])
        keys.push_back(std::to_wstring(i));
    }
    for (const Property& p : state_->properties) {
      if (!(p.attribute & V8_PROPERTY_ATTRIBUTE_DONTENUM))
        keys.push_back(p.key);
    }
    return true;
  }
  bool SetUserData(CefRefPtr<CefBase> user_data) override {
    if (!ObjectUsable("SetUserData"))
      return false;
    state_->user_data = user_data;
    return true;
  }
  CefRefPtr<CefBase> GetUserData() override { return ObjectUsable("GetUserData") ? state_->user_data : nullptr; }
  int GetArrayLength() override {
    if (!Usable("GetArrayLength"))
      return 0;
    if (state_->kind != ValueKind::kArray) {
      CEFENGINE_MISUSE("CefV8Value::GetArrayLength called on a value that is not an array");
      return 0;
    }
    return static_cast<int>(state_->elements.size());
  }
  CefString GetFunctionName() override {
    return Is(ValueKind::kFunction) ? CefString(state_->function_name) : CefString();
  }
  CefRefPtr<CefV8Handler> GetFunctionHandler() override {
    return Is(ValueKind::kFunction) ? state_->handler : nullptr;
  }
  CefRefPtr<CefV8Value> ExecuteFunction(CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments) override {
    exception_ = nullptr;
    if (!FunctionUsable("ExecuteFunction"))
      return nullptr;
    // A function runs in the context it was made in.
    return Call(state_->context.lock(), object, arguments);
  }
  CefRefPtr<CefV8Value> ExecuteFunctionWithContext(CefRefPtr<CefV8Context> context, CefRefPtr<CefV8Value> object,
                                                   const CefV8ValueList& arguments) override {
    exception_ = nullptr;
    if (!FunctionUsable("ExecuteFunctionWithContext"))
      return nullptr;
    std::shared_ptr<ContextState> target = ContextStateOf(context);
    if (!target) {
      CEFENGINE_MISUSE("CefV8Value::ExecuteFunctionWithContext without a context");
      return nullptr;
    }
    return Call(target, object, arguments);
  }

 private:
  bool OnThread(const char* method) const {
    if (GetCurrentThreadId() == state_->thread)
      return true;
    CEFENGINE_MISUSE(std::string("CefV8Value::") + method + " called off the value's thread");
    return false;
  }
  // Released values answer with defaults, silently: ordinary code meets them.
  bool Usable(const char* method) const { return OnThread(method) && Alive(*state_); }
  bool Is(ValueKind kind) const { return Usable("Is") && state_->kind == kind; }
  bool ObjectUsable(const char* method) const {
    if (!Usable(method))
      return false;
    if (IsObjectKind(state_->kind))
      return true;
    CEFENGINE_MISUSE(std::string("CefV8Value::") + method + " called on a value that is not an object");
    return false;
  }
  bool FunctionUsable(const char* method) const {
    if (!OnThread(method))
      return false;
    if (!Alive(*state_)) {
      LOG(WARNING) << "CefV8Value::" << method << " on a function whose context was released";
      return false;
    }
    if (state_->kind != ValueKind::kFunction) {
      CEFENGINE_MISUSE(std::string("CefV8Value::") + method + " called on a value that is not a function");
      return false;
    }
    return true;
  }

  bool HasOwn(const std::wstring& key) {
    uint32_t index = 0;
    if (state_->kind == ValueKind::kArray && ArrayIndex(key, &index))
      return index < state_->elements.size() && state_->elements[index];
    return FindProperty(*state_, key) != nullptr;
  }
  bool DeleteOwn(const std::wstring& key) {
    uint32_t index = 0;
    if (state_->kind == ValueKind::kArray && ArrayIndex(key, &index)) {
      if (index < state_->elements.size())
        state_->elements[index] = nullptr;
      return true;
    }
    for (auto it = state_->properties.begin(); it != state_->properties.end(); ++it) {
      if (it->key != key)
        continue;
      if (it->attribute & V8_PROPERTY_ATTRIBUTE_DONTDELETE)
        return false;
      Property gone = std::move(*it);
      state_->properties.erase(it);
      return true;
    }
    return true;  // deleting what is not there succeeds, as in script
  }
  CefRefPtr<CefV8Value> Load(const std::wstring& key) {
    std::wstring thrown;
    bool found = false;
    std::shared_ptr<ValueState> value = LoadProperty(state_, key, &thrown, &found);
    if (!thrown.empty()) {
      exception_ = CreateV8Exception(thrown);
      return nullptr;
    }
    // A missing property reads as undefined, as in script.
    return WrapValue(value ? value : NewState(ValueKind::kUndefined));
  }
  bool Store(const std::wstring& key, CefRefPtr<CefV8Value> value, PropertyAttribute attribute) {
    std::shared_ptr<ValueState> stored = StateOf(value);
    if (!stored) {
      CEFENGINE_MISUSE("CefV8Value::SetValue without a value");
      return false;
    }
    std::wstring thrown;
    bool ok = StoreProperty(state_, key, stored, &attribute, &thrown);
    if (!thrown.empty())
      exception_ = CreateV8Exception(thrown);
    return ok;
  }

  CefRefPtr<CefV8Value> Call(std::shared_ptr<ContextState> context, CefRefPtr<CefV8Value> object,
                             const CefV8ValueList& arguments) {
    if (!context || !context->valid) {
      LOG(WARNING) << "CefV8Value::ExecuteFunction in a released context";
      return nullptr;
    }
    if (context->thread != GetCurrentThreadId()) {
      CEFENGINE_MISUSE("CefV8Value::ExecuteFunction with a context of another thread");
      return nullptr;
    }
    std::shared_ptr<ValueState> receiver = object ? StateOf(object) : context->global;
    if (!receiver) {
      CEFENGINE_MISUSE("CefV8Value::ExecuteFunction with a receiver this engine did not make");
      return nullptr;
    }
    // Copies: the context may be released during the call, which empties the function.
    CefRefPtr<CefV8Handler> handler = state_->handler;
    std::shared_ptr<FunctionBody> body = state_->body;
    std::wstring name = state_->function_name;

    PushEnteredContext(context);
    CallFrame frame;
    frame.name = name;
    if (!t_calls)
      t_calls = new std::vector<CallFrame*>();
    t_calls->push_back(&frame);

    // The callee gets wrappers of its own; a missing argument is script's undefined.
    CefV8ValueList delivered;
    delivered.reserve(arguments.size());
    for (const auto& argument : arguments) {
      std::shared_ptr<ValueState> s = StateOf(argument);
      delivered.push_back(WrapValue(s ? s : NewState(ValueKind::kUndefined)));
    }
    CallOutcome outcome;
    if (handler)
      outcome = RunHandler(handler, name, WrapValue(receiver), delivered);
    else if (body)
      outcome = body->Run(name, WrapValue(receiver), delivered);

    t_calls->pop_back();
    CallFrame* caller = t_calls->empty() ? nullptr : t_calls->back();
    if (t_calls->empty()) {
      delete t_calls;
      t_calls = nullptr;
    }
    if (!PopEnteredContext(context))
      CEFENGINE_MISUSE("a function call left a context entered");

    if (frame.rethrown) {
      outcome.threw = true;
      outcome.exception = frame.rethrown_message;
    }
    if (outcome.threw) {
      if (rethrow_ && caller) {
        caller->rethrown = true;
        caller->rethrown_message = outcome.exception;
      } else {
        exception_ = CreateV8Exception(outcome.exception);
      }
      return nullptr;
    }
    std::shared_ptr<ValueState> result = StateOf(outcome.value);
    return WrapValue(result ? result : NewState(ValueKind::kUndefined));
  }

  std::shared_ptr<ValueState> state_;
  // Per wrapper, as the API keeps them.
  CefRefPtr<CefV8Exception> exception_;
  bool rethrow_ = false;
  IMPLEMENT_REFCOUNTING(V8ValueImpl);
};

CefRefPtr<CefV8Value> NewPrimitive(const char* method, ValueKind kind) {
  if (!CanCreatePrimitive(method))
    return nullptr;
  return WrapValue(NewState(kind));
}

}  // namespace

CefRefPtr<CefV8Value> WrapValue(std::shared_ptr<ValueState> state) {
  if (!state)
    return nullptr;
  return new V8ValueImpl(std::move(state));
}

std::shared_ptr<ValueState> StateOf(CefRefPtr<CefV8Value> value) {
  auto* impl = dynamic_cast<V8ValueImpl*>(value.get());
  return impl ? impl->state() : nullptr;
}

std::shared_ptr<ValueState> NewGlobalObject(const std::shared_ptr<ContextState>& context) {
  auto state = std::make_shared<ValueState>();
  state->kind = ValueKind::kObject;
  state->thread = context->thread;
  state->in_context = true;
  state->context = context;
  Track(*context, state);
  return state;
}

void InvalidateContext(const std::shared_ptr<ContextState>& context) {
  context->valid = false;
  // Everything dropped is kept here until the end, so client destructors that run when their
  // objects go see a model that is already consistent.
  std::vector<CefRefPtr<CefBase>> client_objects;
  std::vector<std::vector<Property>> properties;
  std::vector<std::vector<std::shared_ptr<ValueState>>> elements;
  std::vector<std::shared_ptr<FunctionBody>> bodies;
  std::vector<std::weak_ptr<ValueState>> objects;
  objects.swap(context->objects);
  for (auto& weak : objects) {
    std::shared_ptr<ValueState> object = weak.lock();
    if (!object)
      continue;
    properties.push_back(std::move(object->properties));
    object->properties.clear();
    elements.push_back(std::move(object->elements));
    object->elements.clear();
    if (object->accessor)
      client_objects.push_back(object->accessor.get());
    if (object->user_data)
      client_objects.push_back(object->user_data);
    if (object->handler)
      client_objects.push_back(object->handler.get());
    object->accessor = nullptr;
    object->user_data = nullptr;
    object->handler = nullptr;
    bodies.push_back(std::move(object->body));
    object->body = nullptr;
  }
}

CefRefPtr<CefV8Value> CreatePageObject() {
  if (!CanCreateObject("CreateObject"))
    return nullptr;
  return WrapValue(NewState(ValueKind::kObject));
}

CefRefPtr<CefV8Value> CreatePageFunction(const std::wstring& name, std::shared_ptr<FunctionBody> body) {
  if (!body || !CanCreateObject("CreateFunction"))
    return nullptr;
  std::shared_ptr<ValueState> state = NewState(ValueKind::kFunction);
  state->function_name = name;
  state->body = std::move(body);
  return WrapValue(state);
}

bool PageAssign(CefRefPtr<CefV8Value> object, const std::wstring& key, CefRefPtr<CefV8Value> value) {
  std::shared_ptr<ValueState> target = StateOf(object);
  std::shared_ptr<ValueState> stored = StateOf(value);
  if (!target || !stored || target->thread != GetCurrentThreadId() || !Alive(*target) ||
      !IsObjectKind(target->kind))
    return false;
  std::wstring thrown;
  return StoreProperty(target, key, stored, nullptr, &thrown);
}

bool GetPropertyAttribute(CefRefPtr<CefV8Value> object, const std::wstring& key,
                          cef_v8_propertyattribute_t* attribute) {
  std::shared_ptr<ValueState> target = StateOf(object);
  if (!target || target->thread != GetCurrentThreadId() || !Alive(*target) || !IsObjectKind(target->kind))
    return false;
  uint32_t index = 0;
  if (target->kind == ValueKind::kArray && ArrayIndex(key, &index)) {
    if (index >= target->elements.size() || !target->elements[index])
      return false;
    *attribute = V8_PROPERTY_ATTRIBUTE_NONE;
    return true;
  }
  Property* property = FindProperty(*target, key);
  if (!property)
    return false;
  *attribute = property->attribute;
  return true;
}

std::wstring DisplayString(CefRefPtr<CefV8Value> value) {
  std::shared_ptr<ValueState> state = StateOf(value);
  if (!state || state->thread != GetCurrentThreadId())
    return std::wstring();
  std::set<const ValueState*> open_arrays;
  return Display(state, &open_arrays);
}

std::string TypeName(CefRefPtr<CefV8Value> value) {
  std::shared_ptr<ValueState> state = StateOf(value);
  if (!state)
    return std::string();
  if (state->thread != GetCurrentThreadId() || !Alive(*state))
    return "invalid";
  switch (state->kind) {
    case ValueKind::kUndefined:
      return "undefined";
    case ValueKind::kNull:
      return "null";
    case ValueKind::kBool:
      return "bool";
    case ValueKind::kNumber:
      if (value->IsInt())
        return "int";
      return value->IsUInt() ? "uint" : "double";
    case ValueKind::kDate:
      return "date";
    case ValueKind::kString:
      return "string";
    case ValueKind::kObject:
      return "object";
    case ValueKind::kArray:
      return "array";
    case ValueKind::kFunction:
      return "function";
  }
  return std::string();
}

void SetPropertyTrap(PropertyTrap trap) {
  std::lock_guard<std::mutex> lock(g_property_trap_mutex);
  g_property_trap = trap ? std::make_shared<PropertyTrap>(std::move(trap)) : nullptr;
}

std::vector<std::wstring> RunningFunctionNames() {
  std::vector<std::wstring> names;
  if (t_calls) {
    for (const CallFrame* frame : *t_calls)
      names.push_back(frame->name);
  }
  return names;
}

}  // namespace cefengine

using cefengine::NewPrimitive;
using cefengine::NewState;
using cefengine::ValueKind;
using cefengine::WrapValue;

// static
CefRefPtr<CefV8Value> CefV8Value::CreateUndefined() {
  return NewPrimitive("CreateUndefined", ValueKind::kUndefined);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateNull() {
  return NewPrimitive("CreateNull", ValueKind::kNull);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateBool(bool value) {
  if (!cefengine::CanCreatePrimitive("CreateBool"))
    return nullptr;
  auto state = NewState(ValueKind::kBool);
  state->boolean = value;
  return WrapValue(state);
}

namespace {
CefRefPtr<CefV8Value> NewNumber(const char* method, double value) {
  if (!cefengine::CanCreatePrimitive(method))
    return nullptr;
  auto state = NewState(ValueKind::kNumber);
  state->number = value;
  return WrapValue(state);
}
}  // namespace

// static
CefRefPtr<CefV8Value> CefV8Value::CreateInt(int32 value) {
  return NewNumber("CreateInt", value);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateUInt(uint32 value) {
  return NewNumber("CreateUInt", value);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateDouble(double value) {
  return NewNumber("CreateDouble", value);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateDate(const CefTime& date) {
  if (!cefengine::CanCreatePrimitive("CreateDate"))
    return nullptr;
  auto state = NewState(ValueKind::kDate);
  state->date = date;
  return WrapValue(state);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateString(const CefString& value) {
  if (!cefengine::CanCreatePrimitive("CreateString"))
    return nullptr;
  auto state = NewState(ValueKind::kString);
  state->string = value.ToWString();
  return WrapValue(state);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateObject(CefRefPtr<CefV8Accessor> accessor) {
  if (!cefengine::CanCreateObject("CreateObject"))
    return nullptr;
  auto state = NewState(ValueKind::kObject);
  state->user_created = true;
  state->accessor = accessor;
  return WrapValue(state);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateArray(int length) {
  if (!cefengine::CanCreateObject("CreateArray"))
    return nullptr;
  if (length < 0 || static_cast<size_t>(length) > cefengine::kMaxArrayLength) {
    CEFENGINE_MISUSE("CefV8Value::CreateArray with length " + std::to_string(length));
    return nullptr;
  }
  auto state = NewState(ValueKind::kArray);
  state->user_created = true;
  state->elements.resize(static_cast<size_t>(length));
  return WrapValue(state);
}

// static
CefRefPtr<CefV8Value> CefV8Value::CreateFunction(const CefString& name, CefRefPtr<CefV8Handler> handler) {
  if (!handler) {
    CEFENGINE_MISUSE("CefV8Value::CreateFunction without a handler");
    return nullptr;
  }
  if (!cefengine::CanCreateObject("CreateFunction"))
    return nullptr;
  auto state = NewState(ValueKind::kFunction);
  state->user_created = true;
  state->function_name = name.ToWString();
  state->handler = handler;
  return WrapValue(state);
}
