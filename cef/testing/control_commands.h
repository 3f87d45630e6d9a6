// The server's command sets (testing/control_pipe.cpp registers them) and the argument reader they share. Internal to
// the control pipe; everything here runs on the pipe thread.
#ifndef CEF_TESTING_CONTROL_COMMANDS_H_
#define CEF_TESTING_CONTROL_COMMANDS_H_

#include <json/json.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "include/cef_browser.h"

namespace cefengine {

// Longest wait a command accepts (the pipe serves nothing else meanwhile).
const int kMaxControlWaitMs = 60000;

// Reads the arguments of one command. A missing or mistyped argument fails the reader: the value read is then a
// harmless default and the first failure becomes the command's error ("<command>: <name> must be ...").
class ControlArgs {
 public:
  // `args` is an object or null (the server refuses other arguments before any command runs).
  ControlArgs(std::string command, const Json::Value& args);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  // Records a failure of the command (the first one counts).
  void Fail(const std::string& what);

  bool Has(const char* name) const;
  const Json::Value& Raw(const char* name) const;

  // "browser": the id of an open browser; null (and failed) when there is none with that id.
  CefRefPtr<CefBrowser> Browser();
  // "frame": a frame id of `browser`, by default its main frame's; 0 when `browser` is null.
  int64 FrameId(CefRefPtr<CefBrowser> browser);

  // Required arguments.
  std::wstring Text(const char* name);
  std::string Utf8(const char* name);
  int Int(const char* name);
  int64 Int64(const char* name);
  bool Bool(const char* name);
  // Optional arguments: `fallback` when absent (a present argument of another type still fails).
  std::wstring Text(const char* name, const std::wstring& fallback);
  std::string Utf8(const char* name, const std::string& fallback);
  int Int(const char* name, int fallback);
  bool Bool(const char* name, bool fallback);
  // "timeout_ms": 0 to kMaxControlWaitMs, `fallback` when absent.
  int TimeoutMs(int fallback);

 private:
  // The argument when present and of the type `is` accepts (failing with "<name> must be <what>" otherwise).
  const Json::Value* Typed(const char* name, bool (Json::Value::*is)() const, const char* what);

  const std::string command_;
  const Json::Value args_;  // an object (null arguments read as an empty object)
  std::string error_;
};

// A command written against ControlArgs: reads its arguments, then acts only when the reader is still ok. Its
// return value is the answer; a failed reader makes the command fail with the reader's error.
using ControlAction = std::function<Json::Value(ControlArgs& in)>;
using ControlActionTable = std::vector<std::pair<const char*, ControlAction>>;
void RegisterControlActions(const ControlActionTable& table);

// Page actions (testing/control_commands_page.cpp) and renderer calls (testing/control_commands_renderer.cpp).
void RegisterPageControlCommands();
void RegisterRendererControlCommands();

}  // namespace cefengine

#endif  // CEF_TESTING_CONTROL_COMMANDS_H_
