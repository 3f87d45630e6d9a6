#include "testing/control_json.h"

#include <memory>

#include "engine/utf.h"
#include "include/cef_parser.h"

namespace cefengine {

namespace {

bool Refuse(const std::string& where, const std::string& what, std::string* error) {
  *error = where + ": " + what;
  return false;
}

bool FunctionFromJson(const Json::Value& json, const std::string& where, int depth, PageValue* value,
                      std::string* error);

bool PageValueAt(const Json::Value& json, const std::string& where, int depth, PageValue* value, std::string* error) {
  if (depth > kMaxJsonPageValueDepth)
    return Refuse(where, "nested deeper than " + std::to_string(kMaxJsonPageValueDepth) + " levels", error);
  if (!json.isObject() || json.size() != 1)
    return Refuse(where,
                  "a page value is an object with one key (str, int, double, bool, null, undefined, obj, fn, global)",
                  error);
  const std::string kind = json.getMemberNames().front();
  const Json::Value& body = json[kind];
  const std::string at = where + "." + kind;
  *value = PageValue();
  if (kind == "str") {
    if (!body.isString())
      return Refuse(at, "must be a string", error);
    value->kind = PageValue::Kind::kString;
    value->string_value = Utf8ToWide(body.asString());
  } else if (kind == "int") {
    if (!body.isInt())
      return Refuse(at, "must be a 32-bit integer", error);
    value->kind = PageValue::Kind::kInt;
    value->int_value = body.asInt();
  } else if (kind == "double") {
    if (!body.isNumeric())
      return Refuse(at, "must be a number", error);
    value->kind = PageValue::Kind::kDouble;
    value->double_value = body.asDouble();
  } else if (kind == "bool") {
    if (!body.isBool())
      return Refuse(at, "must be true or false", error);
    value->kind = PageValue::Kind::kBool;
    value->bool_value = body.asBool();
  } else if (kind == "null" || kind == "undefined") {
    if (!body.isBool() || !body.asBool())
      return Refuse(at, "must be true", error);
    value->kind = kind == "null" ? PageValue::Kind::kNull : PageValue::Kind::kUndefined;
  } else if (kind == "obj") {
    if (!body.isArray())
      return Refuse(at, "must be an array of [name, value] members", error);
    value->kind = PageValue::Kind::kObject;
    for (Json::ArrayIndex i = 0; i < body.size(); ++i) {
      const Json::Value& member = body[i];
      const std::string member_at = at + "[" + std::to_string(i) + "]";
      if (!member.isArray() || member.size() != 2 || !member[0].isString())
        return Refuse(member_at, "a member is [name, value] with a string name", error);
      PageValue member_value;
      if (!PageValueAt(member[1], member_at, depth + 1, &member_value, error))
        return false;
      value->member_names.push_back(Utf8ToWide(member[0].asString()));
      value->member_values.push_back(std::move(member_value));
    }
  } else if (kind == "fn") {
    return FunctionFromJson(body, at, depth, value, error);
  } else if (kind == "global") {
    if (!body.isString())
      return Refuse(at, "must be a string", error);
    value->kind = PageValue::Kind::kGlobal;
    value->string_value = Utf8ToWide(body.asString());
  } else {
    return Refuse(where, "unknown page value kind \"" + kind + "\"", error);
  }
  return true;
}

bool FunctionFromJson(const Json::Value& json, const std::string& where, int depth, PageValue* value,
                      std::string* error) {
  if (!json.isObject())
    return Refuse(where, "must be an object {name?, returns? | throws?, then?}", error);
  for (const std::string& key : json.getMemberNames())
    if (key != "name" && key != "returns" && key != "throws" && key != "then")
      return Refuse(where, "unknown field \"" + key + "\"", error);
  auto plan = std::make_shared<PageFunctionPlan>();
  if (json.isMember("name")) {
    if (!json["name"].isString())
      return Refuse(where + ".name", "must be a string", error);
    plan->name = Utf8ToWide(json["name"].asString());
  }
  if (json.isMember("returns") && json.isMember("throws"))
    return Refuse(where, "a function either returns or throws", error);
  if (json.isMember("returns")) {
    PageValue result;
    if (!PageValueAt(json["returns"], where + ".returns", depth + 1, &result, error))
      return false;
    plan->outcome = PageFunctionPlan::Outcome::kValue;
    plan->result.push_back(std::move(result));
  } else if (json.isMember("throws")) {
    if (!json["throws"].isString())
      return Refuse(where + ".throws", "must be a string", error);
    plan->outcome = PageFunctionPlan::Outcome::kThrow;
    plan->exception = Utf8ToWide(json["throws"].asString());
  }
  if (json.isMember("then")) {
    const Json::Value& then = json["then"];
    const std::string then_at = where + ".then";
    if (!then.isObject() || !then["path"].isString() || then["path"].asString().empty() || !then["times"].isInt() ||
        then["times"].asInt() < 0)
      return Refuse(then_at, "must be an object {path, args?, times} with a path and times of at least 0", error);
    for (const std::string& key : then.getMemberNames())
      if (key != "path" && key != "args" && key != "times")
        return Refuse(then_at, "unknown field \"" + key + "\"", error);
    const Json::Value& args = then["args"];
    if (!args.isNull() && !args.isArray())
      return Refuse(then_at + ".args", "must be an array of page values", error);
    for (Json::ArrayIndex i = 0; args.isArray() && i < args.size(); ++i) {
      PageValue arg;
      if (!PageValueAt(args[i], then_at + ".args[" + std::to_string(i) + "]", depth + 1, &arg, error))
        return false;
      plan->then_args.push_back(std::move(arg));
    }
    plan->then_path = then["path"].asString();
    plan->then_times = then["times"].asInt();
  }
  value->kind = PageValue::Kind::kFunction;
  value->function = std::move(plan);
  return true;
}

Json::Value ValueToJson(CefRefPtr<CefValue> value) {
  Json::Value v(Json::objectValue);
  switch (value ? value->GetType() : VTYPE_NULL) {
    case VTYPE_BOOL:
      v["bool"] = value->GetBool();
      break;
    case VTYPE_INT:
      v["int"] = value->GetInt();
      break;
    case VTYPE_DOUBLE:
      v["double"] = value->GetDouble();
      break;
    case VTYPE_STRING:
      v["str"] = value->GetString().ToString();
      break;
    case VTYPE_BINARY: {
      CefRefPtr<CefBinaryValue> binary = value->GetBinary();
      std::string bytes(binary ? binary->GetSize() : 0, '\0');
      if (!bytes.empty())
        binary->GetData(&bytes[0], bytes.size(), 0);
      v["binary"] = CefBase64Encode(bytes.data(), bytes.size()).ToString();
      break;
    }
    case VTYPE_DICTIONARY: {
      Json::Value members(Json::objectValue);
      CefRefPtr<CefDictionaryValue> dict = value->GetDictionary();
      CefDictionaryValue::KeyList keys;
      if (dict && dict->GetKeys(keys))
        for (const CefString& key : keys)
          members[key.ToString()] = ValueToJson(dict->GetValue(key));
      v["dict"] = members;
      break;
    }
    case VTYPE_LIST:
      v["list"] = ListValueToJson(value->GetList());
      break;
    default:
      v["null"] = true;
      break;
  }
  return v;
}

bool ListAt(const Json::Value& json, const std::string& where, int depth, CefRefPtr<CefListValue>* list,
            std::string* error);

// One typed value of a process message list (the forms ValueToJson writes).
bool ValueAt(const Json::Value& json, const std::string& where, int depth, CefRefPtr<CefValue>* out,
             std::string* error) {
  if (depth > kMaxJsonPageValueDepth)
    return Refuse(where, "nested deeper than " + std::to_string(kMaxJsonPageValueDepth) + " levels", error);
  if (!json.isObject() || json.size() != 1)
    return Refuse(where, "a typed value is an object with one key (null, bool, int, double, str, binary, dict, list)",
                  error);
  const std::string kind = json.getMemberNames().front();
  const Json::Value& body = json[kind];
  const std::string at = where + "." + kind;
  CefRefPtr<CefValue> value = CefValue::Create();
  if (kind == "null") {
    if (!body.isBool() || !body.asBool())
      return Refuse(at, "must be true", error);
    value->SetNull();
  } else if (kind == "bool") {
    if (!body.isBool())
      return Refuse(at, "must be true or false", error);
    value->SetBool(body.asBool());
  } else if (kind == "int") {
    if (!body.isInt())
      return Refuse(at, "must be a 32-bit integer", error);
    value->SetInt(body.asInt());
  } else if (kind == "double") {
    if (!body.isNumeric())
      return Refuse(at, "must be a number", error);
    value->SetDouble(body.asDouble());
  } else if (kind == "str") {
    if (!body.isString())
      return Refuse(at, "must be a string", error);
    value->SetString(body.asString());
  } else if (kind == "binary") {
    CefRefPtr<CefBinaryValue> binary = body.isString() ? CefBase64Decode(body.asString()) : nullptr;
    if (!binary)
      return Refuse(at, "must be Base64 text", error);
    value->SetBinary(binary);
  } else if (kind == "dict") {
    if (!body.isObject())
      return Refuse(at, "must be an object of typed values", error);
    CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
    for (const std::string& key : body.getMemberNames()) {
      CefRefPtr<CefValue> member;
      if (!ValueAt(body[key], at + "." + key, depth + 1, &member, error))
        return false;
      dict->SetValue(key, member);
    }
    value->SetDictionary(dict);
  } else if (kind == "list") {
    CefRefPtr<CefListValue> list;
    if (!ListAt(body, at, depth + 1, &list, error))
      return false;
    value->SetList(list);
  } else {
    return Refuse(where, "unknown typed value kind \"" + kind + "\"", error);
  }
  *out = value;
  return true;
}

bool ListAt(const Json::Value& json, const std::string& where, int depth, CefRefPtr<CefListValue>* list,
            std::string* error) {
  if (!json.isArray())
    return Refuse(where, "must be an array of typed values", error);
  CefRefPtr<CefListValue> items = CefListValue::Create();
  for (Json::ArrayIndex i = 0; i < json.size(); ++i) {
    CefRefPtr<CefValue> item;
    if (!ValueAt(json[i], where + "[" + std::to_string(i) + "]", depth, &item, error))
      return false;
    items->SetValue(i, item);
  }
  *list = items;
  return true;
}

}  // namespace

bool ListValueFromJson(const Json::Value& json, const std::string& where, CefRefPtr<CefListValue>* list,
                       std::string* error) {
  return ListAt(json, where, 0, list, error);
}

bool PageValueFromJson(const Json::Value& json, const std::string& where, PageValue* value, std::string* error) {
  return PageValueAt(json, where, 0, value, error);
}

Json::Value CallResultToJson(const RendererCallResult& result) {
  Json::Value v;
  v["ran"] = result.ran;
  v["threw"] = result.threw;
  v["exception"] = result.exception;
  v["type"] = result.type;
  v["value"] = result.value;
  v["read_only"] = result.read_only;
  return v;
}

Json::Value ListValueToJson(CefRefPtr<CefListValue> list) {
  Json::Value items(Json::arrayValue);
  for (size_t i = 0; list && i < list->GetSize(); ++i)
    items.append(ValueToJson(list->GetValue(i)));
  return items;
}

Json::Value JournalEntryToJson(const JournalEntry& entry) {
  Json::Value v;
  v["seq"] = Json::UInt64(entry.seq);
  v["process"] = std::string(1, entry.process);
  v["thread"] = entry.thread;
  v["kind"] = entry.kind;
  v["browser"] = entry.browser;
  v["frame"] = Json::Int64(entry.frame);
  v["args"] = Json::Value(Json::arrayValue);
  for (const std::string& arg : entry.args)
    v["args"].append(arg);
  v["time_us"] = Json::Int64(entry.time_us);
  return v;
}

JournalEntry JournalEntryFromJson(const Json::Value& v) {
  JournalEntry entry;
  if (!v.isObject())
    return entry;
  if (v["seq"].isUInt64())
    entry.seq = v["seq"].asUInt64();
  if (v["process"].isString() && !v["process"].asString().empty())
    entry.process = v["process"].asString()[0];
  if (v["thread"].isString())
    entry.thread = v["thread"].asString();
  if (v["kind"].isString())
    entry.kind = v["kind"].asString();
  if (v["browser"].isInt())
    entry.browser = v["browser"].asInt();
  if (v["frame"].isInt64())
    entry.frame = v["frame"].asInt64();
  if (v["args"].isArray())
    for (const Json::Value& arg : v["args"])
      entry.args.push_back(arg.isString() ? arg.asString() : std::string());
  if (v["time_us"].isInt64())
    entry.time_us = v["time_us"].asInt64();
  return entry;
}

bool ParseJsonLine(const std::string& line, Json::Value* out, std::string* error) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    if (!reader->parse(line.data(), line.data() + line.size(), out, &errors)) {
      *error = errors.empty() ? "malformed JSON" : errors;
      return false;
    }
  } catch (const std::exception& e) {  // nesting limits throw
    *error = e.what();
    return false;
  }
  return true;
}

std::string WriteJsonLine(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value) + "\n";
}

}  // namespace cefengine
