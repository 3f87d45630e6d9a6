#include "engine/renderer_call.h"

#include <memory>
#include <mutex>

#include "engine/channel_frame.h"
#include "engine/utf.h"
#include "engine/v8_context.h"
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

// `window.<path>`: the object holding the last part, and the value found there.
struct Located {
  std::vector<std::wstring> parts;
  CefRefPtr<CefV8Value> holder;
  CefRefPtr<CefV8Value> value;
};

bool Locate(CefRefPtr<CefV8Context> context, const std::string& path, Located* at, RendererCallResult* result) {
  at->parts = SplitPath(path);
  return ResolveHolder(context, at->parts, &at->holder, result) &&
         ReadProperty(at->holder, at->parts.back(), &at->value, result);
}

// Reads `path` into `result`: its type and value, and whether it is read-only.
void ReadBack(CefRefPtr<CefV8Context> context, const std::string& path, RendererCallResult* result) {
  Located at;
  if (!Locate(context, path, &at, result))
    return;
  Describe(result, at.value);
  cef_v8_propertyattribute_t attribute = V8_PROPERTY_ATTRIBUTE_NONE;
  result->read_only = GetPropertyAttribute(at.holder, at.parts.back(), &attribute) &&
                      (attribute & V8_PROPERTY_ATTRIBUTE_READONLY) != 0;
}

std::mutex g_observer_mutex;
UncaughtExceptionObserver* g_observer = nullptr;

// Runs `body(result, trace)` as one piece of page script in the entered context. Whatever it
// throws is uncaught: the observer hears of it while the context is still entered. The body puts
// the name of a function that threw into `trace`.
template <typename Body>
RendererCallResult RunAsPageScript(CefRefPtr<CefV8Context> context, Body body) {
  RendererCallResult result;
  ScopedContextEntry entry(context);
  if (!entry.entered()) {
    LOG(WARNING) << "page script for a context that is missing or released";
    return result;
  }
  result.ran = true;
  std::vector<std::wstring> trace;
  body(&result, &trace);
  if (result.threw) {
    UncaughtExceptionObserver observer;
    {
      std::lock_guard<std::mutex> lock(g_observer_mutex);
      if (g_observer)
        observer = *g_observer;
    }
    if (observer)
      observer(context, CreateV8Exception(Utf8ToWide(result.exception)), CreateV8StackTrace(std::move(trace)));
  }
  return result;
}

// Page values nested deeper than this come from a broken peer.
const int kMaxPageValueDepth = 32;

// A page value travels as a list: [kind, payload...] with the payload per kind:
// bool/int/double/string/global: the value (the global's name); object: [names], [values]; function: name, outcome,
// [result], exception, then path, [then args], then times.
ValueData EncodePageValue(const PageValue& value) {
  std::vector<ValueData> items{MakeInt(static_cast<int>(value.kind))};
  switch (value.kind) {
    case PageValue::Kind::kUndefined:
    case PageValue::Kind::kNull:
      break;
    case PageValue::Kind::kBool:
      items.push_back(MakeBool(value.bool_value));
      break;
    case PageValue::Kind::kInt:
      items.push_back(MakeInt(value.int_value));
      break;
    case PageValue::Kind::kDouble:
      items.push_back(MakeDouble(value.double_value));
      break;
    case PageValue::Kind::kString:
    case PageValue::Kind::kGlobal:
      items.push_back(MakeString(value.string_value));
      break;
    case PageValue::Kind::kObject: {
      std::vector<ValueData> names, values;
      for (size_t i = 0; i < value.member_names.size() && i < value.member_values.size(); ++i) {
        names.push_back(MakeString(value.member_names[i]));
        values.push_back(EncodePageValue(value.member_values[i]));
      }
      items.push_back(MakeListValue(std::move(names)));
      items.push_back(MakeListValue(std::move(values)));
      break;
    }
    case PageValue::Kind::kFunction: {
      PageFunctionPlan anonymous;
      const PageFunctionPlan& plan = value.function ? *value.function : anonymous;
      std::vector<ValueData> result;
      for (const auto& r : plan.result)
        result.push_back(EncodePageValue(r));
      items.push_back(MakeString(plan.name));
      items.push_back(MakeInt(static_cast<int>(plan.outcome)));
      items.push_back(MakeListValue(std::move(result)));
      items.push_back(MakeString(plan.exception));
      std::vector<ValueData> then_args;
      for (const auto& arg : plan.then_args)
        then_args.push_back(EncodePageValue(arg));
      items.push_back(MakeString(CefString(plan.then_path).ToWString()));
      items.push_back(MakeListValue(std::move(then_args)));
      items.push_back(MakeInt(plan.then_times));
      break;
    }
  }
  return MakeListValue(std::move(items));
}

const std::vector<ValueData>* ListOf(const ValueData& data) {
  return data.type == VTYPE_LIST && data.list ? &data.list->items : nullptr;
}

bool DecodePageValues(const std::vector<ValueData>& list, int depth, std::vector<PageValue>* values);

bool DecodePageValue(const ValueData& data, int depth, PageValue* value) {
  const std::vector<ValueData>* items = ListOf(data);
  if (!items || items->empty() || (*items)[0].type != VTYPE_INT || depth > kMaxPageValueDepth)
    return false;
  auto has = [items](size_t index, cef_value_type_t type) {
    return items->size() > index && (*items)[index].type == type;
  };
  *value = PageValue();
  switch ((*items)[0].i) {
    case static_cast<int>(PageValue::Kind::kUndefined):
      return true;
    case static_cast<int>(PageValue::Kind::kNull):
      value->kind = PageValue::Kind::kNull;
      return true;
    case static_cast<int>(PageValue::Kind::kBool):
      value->kind = PageValue::Kind::kBool;
      value->bool_value = has(1, VTYPE_BOOL) && (*items)[1].b;
      return has(1, VTYPE_BOOL);
    case static_cast<int>(PageValue::Kind::kInt):
      value->kind = PageValue::Kind::kInt;
      value->int_value = has(1, VTYPE_INT) ? (*items)[1].i : 0;
      return has(1, VTYPE_INT);
    case static_cast<int>(PageValue::Kind::kDouble):
      value->kind = PageValue::Kind::kDouble;
      value->double_value = has(1, VTYPE_DOUBLE) ? (*items)[1].d : 0;
      return has(1, VTYPE_DOUBLE);
    case static_cast<int>(PageValue::Kind::kString):
    case static_cast<int>(PageValue::Kind::kGlobal):
      value->kind = static_cast<PageValue::Kind>((*items)[0].i);
      if (!has(1, VTYPE_STRING))
        return false;
      value->string_value = (*items)[1].s;
      return true;
    case static_cast<int>(PageValue::Kind::kObject): {
      value->kind = PageValue::Kind::kObject;
      const std::vector<ValueData>* names = items->size() > 2 ? ListOf((*items)[1]) : nullptr;
      const std::vector<ValueData>* values = items->size() > 2 ? ListOf((*items)[2]) : nullptr;
      if (!names || !values || names->size() != values->size())
        return false;
      for (size_t i = 0; i < names->size(); ++i) {
        PageValue member;
        if ((*names)[i].type != VTYPE_STRING || !DecodePageValue((*values)[i], depth + 1, &member))
          return false;
        value->member_names.push_back((*names)[i].s);
        value->member_values.push_back(std::move(member));
      }
      return true;
    }
    case static_cast<int>(PageValue::Kind::kFunction): {
      value->kind = PageValue::Kind::kFunction;
      const std::vector<ValueData>* result = items->size() > 3 ? ListOf((*items)[3]) : nullptr;
      if (!has(1, VTYPE_STRING) || !has(2, VTYPE_INT) || !result || !has(4, VTYPE_STRING) || result->size() > 1)
        return false;
      auto plan = std::make_shared<PageFunctionPlan>();
      plan->name = (*items)[1].s;
      int outcome = (*items)[2].i;
      if (outcome < static_cast<int>(PageFunctionPlan::Outcome::kUndefined) ||
          outcome > static_cast<int>(PageFunctionPlan::Outcome::kThrow))
        return false;
      plan->outcome = static_cast<PageFunctionPlan::Outcome>(outcome);
      if (!DecodePageValues(*result, depth + 1, &plan->result))
        return false;
      plan->exception = (*items)[4].s;
      const std::vector<ValueData>* then_args = items->size() > 6 ? ListOf((*items)[6]) : nullptr;
      if (!has(5, VTYPE_STRING) || !then_args || !has(7, VTYPE_INT) || (*items)[7].i < 0)
        return false;
      plan->then_path = CefString((*items)[5].s).ToString();
      if (!DecodePageValues(*then_args, depth + 1, &plan->then_args))
        return false;
      plan->then_times = (*items)[7].i;
      value->function = plan;
      return true;
    }
    default:
      return false;
  }
}

// Appends each value of `list` decoded at `depth`; false at the first that does not decode.
bool DecodePageValues(const std::vector<ValueData>& list, int depth, std::vector<PageValue>* values) {
  for (const auto& item : list) {
    PageValue made;
    if (!DecodePageValue(item, depth, &made))
      return false;
    values->push_back(std::move(made));
  }
  return true;
}

const ValueData* Member(const ValueData& dict, const wchar_t* key, cef_value_type_t type) {
  if (dict.type != VTYPE_DICTIONARY || !dict.dict)
    return nullptr;
  auto it = dict.dict->items.find(key);
  return it != dict.dict->items.end() && it->second.type == type ? &it->second : nullptr;
}

}  // namespace

void SetUncaughtExceptionObserver(UncaughtExceptionObserver observer) {
  std::lock_guard<std::mutex> lock(g_observer_mutex);
  delete g_observer;
  g_observer = observer ? new UncaughtExceptionObserver(std::move(observer)) : nullptr;
}

RendererCallResult CallInContext(CefRefPtr<CefV8Context> context, const std::string& path,
                                 const std::vector<PageValue>& args) {
  return RunAsPageScript(context, [&](RendererCallResult* result, std::vector<std::wstring>* trace) {
    Located at;
    if (!Locate(context, path, &at, result))
      return;
    CefRefPtr<CefV8Value> function = at.value;
    if (!function->IsFunction()) {
      Throw(result, "TypeError: " + path + " is not a function");
      return;
    }
    CefV8ValueList arguments;
    for (const auto& arg : args) {
      CefRefPtr<CefV8Value> made = MakePageValue(arg);
      arguments.push_back(made ? made : CefV8Value::CreateUndefined());
    }
    CefRefPtr<CefV8Value> returned = function->ExecuteFunction(at.holder, arguments);
    if (function->HasException()) {
      Throw(result, function->GetException()->GetMessage().ToString());
      trace->push_back(function->GetFunctionName().ToWString());
      return;
    }
    Describe(result, returned ? returned : CefV8Value::CreateUndefined());
  });
}

RendererCallResult GetInContext(CefRefPtr<CefV8Context> context, const std::string& path) {
  return RunAsPageScript(context, [&](RendererCallResult* result, std::vector<std::wstring>*) { ReadBack(context, path, result); });
}

RendererCallResult AssignInContext(CefRefPtr<CefV8Context> context, const std::string& path,
                                   const PageValue& value) {
  return RunAsPageScript(context, [&](RendererCallResult* result, std::vector<std::wstring>*) {
    std::vector<std::wstring> parts = SplitPath(path);
    CefRefPtr<CefV8Value> holder;
    if (!ResolveHolder(context, parts, &holder, result))
      return;
    // Script ignores assignments to read-only properties and to properties of primitives.
    CefRefPtr<CefV8Value> made = MakePageValue(value);
    if (made && holder->IsObject())
      (void)PageAssign(holder, parts.back(), made);
    ReadBack(context, path, result);
  });
}

ValueData EncodeRendererCommand(const RendererCommand& command) {
  std::vector<ValueData> args;
  for (const auto& arg : command.args)
    args.push_back(EncodePageValue(arg));
  return MakeDictValue({{L"op", MakeInt(static_cast<int>(command.op))},
                        {L"path", MakeString(Utf8ToWide(command.path))},
                        {L"args", MakeListValue(std::move(args))}});
}

bool DecodeRendererCommand(const ValueData& data, RendererCommand* command) {
  const ValueData* op = Member(data, L"op", VTYPE_INT);
  const ValueData* path = Member(data, L"path", VTYPE_STRING);
  const ValueData* args = Member(data, L"args", VTYPE_LIST);
  if (!op || !path || !args || !args->list || op->i < static_cast<int>(RendererOp::kCall) ||
      op->i > static_cast<int>(RendererOp::kAssign))
    return false;
  command->op = static_cast<RendererOp>(op->i);
  command->path = WideToUtf8(path->s);
  command->args.clear();
  if (!DecodePageValues(args->list->items, 0, &command->args))
    return false;
  return command->op != RendererOp::kAssign || command->args.size() == 1;
}

RendererCallResult RunRendererCommand(CefRefPtr<CefV8Context> context, const RendererCommand& command) {
  switch (command.op) {
    case RendererOp::kCall:
      return CallInContext(context, command.path, command.args);
    case RendererOp::kGet:
      return GetInContext(context, command.path);
    case RendererOp::kAssign:
      return AssignInContext(context, command.path, command.args.empty() ? PageValue() : command.args[0]);
  }
  return RendererCallResult();
}

ValueData EncodeCallResult(const RendererCallResult& result) {
  return MakeDictValue({{L"ran", MakeBool(result.ran)},
                        {L"threw", MakeBool(result.threw)},
                        {L"exception", MakeString(Utf8ToWide(result.exception))},
                        {L"type", MakeString(Utf8ToWide(result.type))},
                        {L"value", MakeString(Utf8ToWide(result.value))},
                        {L"read_only", MakeBool(result.read_only)}});
}

bool DecodeCallResult(const ValueData& data, RendererCallResult* result) {
  const ValueData* ran = Member(data, L"ran", VTYPE_BOOL);
  const ValueData* threw = Member(data, L"threw", VTYPE_BOOL);
  const ValueData* exception = Member(data, L"exception", VTYPE_STRING);
  const ValueData* type = Member(data, L"type", VTYPE_STRING);
  const ValueData* value = Member(data, L"value", VTYPE_STRING);
  const ValueData* read_only = Member(data, L"read_only", VTYPE_BOOL);
  if (!ran || !threw || !exception || !type || !value || !read_only)
    return false;
  result->ran = ran->b;
  result->threw = threw->b;
  result->exception = WideToUtf8(exception->s);
  result->type = WideToUtf8(type->s);
  result->value = WideToUtf8(value->s);
  result->read_only = read_only->b;
  return true;
}

}  // namespace cefengine
