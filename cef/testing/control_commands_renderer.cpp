// Renderer-side commands served over the control pipe: page script run in a frame of a live browser's renderer
// (over the browser's channel, as testing/renderer_testing.h does it), and the renderer processes themselves. Page
// values and results travel in the JSON forms of testing/control_json.h; the arguments are listed in
// engine/control_pipe.h.
#include <string>
#include <vector>

#include "engine/utf.h"
#include "testing/browser_testing.h"
#include "testing/control_commands.h"
#include "testing/control_json.h"
#include "testing/renderer_testing.h"

namespace cefengine {

namespace {

// The most round trips one renderer_ping measures (each may wait up to 5 s; the pipe serves nothing else meanwhile).
const int kMaxRendererPings = 10000;

// A page value argument; refuses the command (naming the place and the fault) when it is malformed.
PageValue ValueArg(ControlArgs& in, const char* name) {
  PageValue value;
  std::string error;
  if (!in.Has(name))
    in.Fail(std::string("needs ") + name);
  else if (!PageValueFromJson(in.Raw(name), name, &value, &error))
    in.Fail(error);
  return value;
}

// "args": an array of page values, none by default.
std::vector<PageValue> ValueListArg(ControlArgs& in) {
  std::vector<PageValue> values;
  if (!in.Has("args"))
    return values;
  const Json::Value& list = in.Raw("args");
  if (!list.isArray()) {
    in.Fail("args must be an array of page values");
    return values;
  }
  for (Json::ArrayIndex i = 0; i < list.size() && in.ok(); ++i) {
    PageValue value;
    std::string error;
    if (PageValueFromJson(list[i], "args[" + std::to_string(i) + "]", &value, &error))
      values.push_back(std::move(value));
    else
      in.Fail(error);
  }
  return values;
}

Json::Value ChildProcessToJson(const test::ChildProcess& child) {
  Json::Value v;
  v["browser"] = child.browser_id;
  v["renderer_id"] = child.renderer_id;
  v["pid"] = Json::UInt(child.pid);
  v["command_line"] = WideToUtf8(child.command_line);
  v["connected"] = child.connected;
  v["ended"] = child.ended;
  v["exit_code"] = Json::UInt(child.exit_code);
  return v;
}

}  // namespace

void RegisterRendererControlCommands() {
  RegisterControlActions({
      {"renderer_call",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int64 frame = in.FrameId(browser);
         std::string path = in.Utf8("path");
         std::vector<PageValue> args = ValueListArg(in);
         if (!in.ok())
           return Json::Value();
         return CallResultToJson(test::RendererCallOverChannel(browser->GetIdentifier(), frame, path, args));
       }},
      {"renderer_get",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int64 frame = in.FrameId(browser);
         std::string path = in.Utf8("path");
         if (!in.ok())
           return Json::Value();
         return CallResultToJson(test::RendererGetOverChannel(browser->GetIdentifier(), frame, path));
       }},
      {"renderer_assign",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int64 frame = in.FrameId(browser);
         std::string path = in.Utf8("path");
         PageValue value = ValueArg(in, "value");
         if (!in.ok())
           return Json::Value();
         return CallResultToJson(test::RendererAssignOverChannel(browser->GetIdentifier(), frame, path, value));
       }},
      {"focus_node",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         int64 frame = in.FrameId(browser);
         std::string state = in.Utf8("state");
         FocusState focus = state == "editable" ? FOCUS_EDITABLE : state == "plain" ? FOCUS_PLAIN : FOCUS_NONE;
         if (in.ok() && state != "none" && focus == FOCUS_NONE)
           in.Fail("state must be \"none\", \"editable\" or \"plain\"");
         return in.ok() && test::FocusNode(browser, browser->GetFrame(frame), focus);
       }},
      {"crash_renderer",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         return in.ok() && test::CrashRenderer(browser);
       }},
      {"renderer_ping",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         const int count = in.Int("count", 1);
         if (count < 1 || count > kMaxRendererPings)
           in.Fail("count must be 1 to " + std::to_string(kMaxRendererPings));
         Json::Value round_trips(Json::arrayValue);
         if (in.ok()) {
           for (int64_t round_trip : test::PingRenderer(browser->GetIdentifier(), count))
             round_trips.append(Json::Int64(round_trip));
         }
         return round_trips;
       }},
      {"renderer_process",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         return in.ok() ? Json::UInt(test::RendererProcessId(browser)) : 0u;
       }},
      {"child_processes",
       [](ControlArgs&) -> Json::Value {
         Json::Value children(Json::arrayValue);
         for (const test::ChildProcess& child : test::ChildProcesses())
           children.append(ChildProcessToJson(child));
         return children;
       }},
      {"send_to_browser",
       // As if the browser's renderer had sent it: the browser side handles it, the renderer knows nothing of it.
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         std::string name = in.Utf8("name");
         CefRefPtr<CefListValue> args = CefListValue::Create();
         std::string error;
         if (in.Has("args") && !ListValueFromJson(in.Raw("args"), "args", &args, &error))
           in.Fail(error);
         return in.ok() && test::Inject(browser, name, args);
       }},
      {"sent_to_renderer",
       [](ControlArgs& in) -> Json::Value {
         CefRefPtr<CefBrowser> browser = in.Browser();
         Json::Value messages(Json::arrayValue);
         if (!in.ok())
           return messages;
         for (const auto& sent : test::MessagesSentToRenderer(browser)) {
           Json::Value message;
           message["name"] = sent.first;
           message["args"] = ListValueToJson(sent.second);
           messages.append(message);
         }
         return messages;
       }},
      {"sent_to_browser",
       // Also for browsers already closed: what their renderers sent stays on record.
       [](ControlArgs& in) -> Json::Value {
         int browser = in.Int("browser");
         Json::Value messages(Json::arrayValue);
         if (!in.ok())
           return messages;
         for (const test::SentMessage& sent : test::SentToBrowser(browser)) {
           Json::Value message;
           message["name"] = sent.name;
           message["args"] = ListValueToJson(sent.args);
           messages.append(message);
         }
         return messages;
       }},
  });
}

}  // namespace cefengine
