#include "bench/page_control.h"

#include <memory>

namespace bench {

Json::Value ParseJson(const std::string& text, std::string* error) {
  Json::Value value;
  std::string errors;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
    if (error) *error = errors;
    return Json::Value();
  }
  return value;
}

bool PageControl::Connect(const std::wstring& pipe, int timeout_ms) { return client_.Connect(pipe, timeout_ms); }

bool PageControl::Call(const std::string& cmd, const Json::Value& args, Json::Value* result) {
  Json::Value ignored;
  error_.clear();
  if (client_.Call(cmd, args, result ? result : &ignored, &error_)) return true;
  error_ = cmd + ": " + error_;
  return false;
}

bool PageControl::CallJson(const std::string& cmd, const std::string& args, Json::Value* result) {
  std::string error;
  const Json::Value parsed = ParseJson(args, &error);
  if (parsed.isNull()) {
    error_ = cmd + ": bad arguments: " + error;
    return false;
  }
  return Call(cmd, parsed, result);
}

int PageControl::BrowserShowing(const std::string& url) {
  Json::Value browsers;
  if (!Call("browsers", Json::Value(), &browsers)) return 0;
  for (const Json::Value& browser : browsers) {
    if (browser["url"].asString() == url) return browser["id"].asInt();
  }
  return 0;
}

}  // namespace bench
