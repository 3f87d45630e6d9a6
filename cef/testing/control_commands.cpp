#include "testing/control_commands.h"

#include "engine/browser_impl.h"
#include "engine/browser_registry.h"
#include "engine/control_pipe.h"
#include "engine/utf.h"

namespace cefengine {

ControlArgs::ControlArgs(std::string command, const Json::Value& args)
    : command_(std::move(command)), args_(args.isObject() ? args : Json::Value(Json::objectValue)) {}

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

const Json::Value* ControlArgs::Typed(const char* name, bool (Json::Value::*is)() const, const char* what) {
  if (!args_.isMember(name)) {
    Fail(std::string("needs ") + name);
    return nullptr;
  }
  const Json::Value& value = args_[name];
  if (!(value.*is)()) {
    Fail(std::string(name) + " must be " + what);
    return nullptr;
  }
  return &value;
}

CefRefPtr<CefBrowser> ControlArgs::Browser() {
  const Json::Value* value = Typed("browser", &Json::Value::isInt, "a browser id");
  if (!value)
    return nullptr;
  int id = value->asInt();
  CefRefPtr<BrowserImpl> browser = FindBrowser(id);
  if (browser && !browser->IsDestroyed())
    return browser.get();
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
  const Json::Value* value = Typed(name, &Json::Value::isString, "a string");
  return value ? value->asString() : std::string();
}

std::string ControlArgs::Utf8(const char* name, const std::string& fallback) {
  return Has(name) ? Utf8(name) : fallback;
}

int ControlArgs::Int(const char* name) {
  const Json::Value* value = Typed(name, &Json::Value::isInt, "a 32-bit integer");
  return value ? value->asInt() : 0;
}

int ControlArgs::Int(const char* name, int fallback) {
  return Has(name) ? Int(name) : fallback;
}

int64 ControlArgs::Int64(const char* name) {
  const Json::Value* value = Typed(name, &Json::Value::isInt64, "a 64-bit integer");
  return value ? value->asInt64() : 0;
}

bool ControlArgs::Bool(const char* name) {
  const Json::Value* value = Typed(name, &Json::Value::isBool, "true or false");
  return value && value->asBool();
}

bool ControlArgs::Bool(const char* name, bool fallback) {
  return Has(name) ? Bool(name) : fallback;
}

int ControlArgs::TimeoutMs(int fallback) {
  int timeout_ms = Int("timeout_ms", fallback);
  if (timeout_ms < 0 || timeout_ms > kMaxControlWaitMs) {
    Fail("timeout_ms must be 0-" + std::to_string(kMaxControlWaitMs));
    return 0;
  }
  return timeout_ms;
}

void RegisterControlActions(const ControlActionTable& table) {
  for (const auto& entry : table) {
    std::string name = entry.first;
    ControlAction action = entry.second;
    RegisterControlCommand(name, [name, action](const Json::Value& args, Json::Value* result, std::string* error) {
      ControlArgs in(name, args);
      Json::Value answer = action(in);
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
