#include "testing/control_json.h"

#include <memory>

namespace cefengine {

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
