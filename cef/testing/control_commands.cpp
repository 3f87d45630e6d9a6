#include "testing/control_commands.h"

#include "engine/control_pipe.h"
#include "engine/utf.h"
#include "testing/browser_testing.h"

namespace cefengine {

ControlArgs::ControlArgs(std::string command, const Json::Value& args)
    : command_(std::move(command)), args_(args.isObject() ? args : Json::Value(Json::objectValue)) {
  if (!args.isObject() && !args.isNull())
    Fail("arguments must be an object");
}

void ControlArgs::Fail(const std::string& what) {
  if (error_.empty())
    error_ = command_ + ": " + what;
}

bool ControlArgs::Has(const char* name) const {
  return args_.isMember(name);
}

const Json::Value& ControlArgs::Raw(const char* name) const {
  return args_[name];
}

const Json::Value* ControlArgs::Get(const char* name, bool required) {
  if (!args_.isMember(name)) {
    if (required)
      Fail(std::string("needs ") + name);
    return nullptr;
  }
  return &args_[name];
}

CefRefPtr<CefBrowser> ControlArgs::Browser() {
  const Json::Value* value = Get("browser", true);
  if (!value)
    return nullptr;
  if (!value->isInt()) {
    Fail("browser must be a browser id");
    return nullptr;
  }
  int id = value->asInt();
  for (const CefRefPtr<CefBrowser>& browser : test::Browsers())
    if (browser->GetIdentifier() == id)
      return browser;
  Fail("no browser " + std::to_string(id));
  return nullptr;
}

int64 ControlArgs::FrameId(CefRefPtr<CefBrowser> browser) {
  if (Has("frame"))
    return Int64("frame");
  CefRefPtr<CefFrame> main = browser ? browser->GetMainFrame() : nullptr;
  return main ? main->GetIdentifier() : 0;
}

std::wstring ControlArgs::Text(const char* name) {
  return Utf8ToWide(Utf8(name));
}

std::wstring ControlArgs::Text(const char* name, const std::wstring& fallback) {
  return Has(name) ? Text(name) : fallback;
}

std::string ControlArgs::Utf8(const char* name) {
  const Json::Value* value = Get(name, true);
  if (value && !value->isString())
    Fail(std::string(name) + " must be a string");
  return value && value->isString() ? value->asString() : std::string();
}

std::string ControlArgs::Utf8(const char* name, const std::string& fallback) {
  return Has(name) ? Utf8(name) : fallback;
}

int ControlArgs::Int(const char* name) {
  const Json::Value* value = Get(name, true);
  if (value && !value->isInt())
    Fail(std::string(name) + " must be a 32-bit integer");
  return value && value->isInt() ? value->asInt() : 0;
}

int ControlArgs::Int(const char* name, int fallback) {
  return Has(name) ? Int(name) : fallback;
}

int64 ControlArgs::Int64(const char* name) {
  const Json::Value* value = Get(name, true);
  if (value && !value->isInt64())
    Fail(std::string(name) + " must be a 64-bit integer");
  return value && value->isInt64() ? value->asInt64() : 0;
}

bool ControlArgs::Bool(const char* name) {
  const Json::Value* value = Get(name, true);
  if (value && !value->isBool())
    Fail(std::string(name) + " must be true or false");
  return value && value->isBool() && value->asBool();
}

bool ControlArgs::Bool(const char* name, bool fallback) {
  return Has(name) ? Bool(name) : fallback;
}

void RegisterControlActions(const ControlActionTable& table) {
  for (const auto& entry : table) {
    std::string name = entry.first;
    ControlAction action = entry.second;
    RegisterControlCommand(name, [name, action](const Json::Value& args, Json::Value* result, std::string* error) {
      ControlArgs in(name, args);
      Json::Value answer = in.ok() ? action(in) : Json::Value();
      if (!in.ok()) {
        *error = in.error();
        return false;
      }
      *result = answer;
      return true;
    });
  }
}

}  // namespace cefengine
