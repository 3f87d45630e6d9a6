// Page script's reach into a context: call a function found by a dotted path from the global
// object ("external.Execute"), read a property, assign one. The renderer runtime and the test API
// run these for a frame's context; they behave as the same line of page script would, including
// the TypeError a missing object gives.
//
// Every function runs on the context's thread (TID_RENDERER) and leaves the entered-context stack
// as it found it.
#ifndef CEF_ENGINE_RENDERER_CALL_H_
#define CEF_ENGINE_RENDERER_CALL_H_

#include <functional>
#include <string>
#include <vector>

#include "engine/page_function.h"
#include "engine/values_impl.h"
#include "include/cef_v8.h"

namespace cefengine {

// What the script line gave. Texts are UTF-8.
struct RendererCallResult {
  // False when the context is null or released: nothing ran, the rest is empty.
  bool ran = false;
  bool threw = false;
  std::string exception;  // the thrown message when `threw`
  // Of the call's result, the property read, or the property after the assignment (TypeName()
  // and DisplayString() of v8_value.h); "undefined"/"" when it threw.
  std::string type;
  std::string value;
  bool read_only = false;  // RendererGet / RendererAssign: the property is read-only
};

// `path(args...)`: the receiver is the object holding the function (the global object for a
// one-part path); the arguments are made in the context first.
RendererCallResult CallInContext(CefRefPtr<CefV8Context> context, const std::string& path,
                                 const std::vector<PageValue>& args);
// `path` read as a value (a missing property is undefined).
RendererCallResult GetInContext(CefRefPtr<CefV8Context> context, const std::string& path);
// `path = value`; ignored (no error) for a read-only property, as sloppy-mode script does.
RendererCallResult AssignInContext(CefRefPtr<CefV8Context> context, const std::string& path,
                                   const PageValue& value);

// Told of every exception page script run here does not catch (a call, read or assignment above
// that threw), on the context's thread while the context is still entered. `trace` names the
// function that threw (no frames when the script failed before calling one). One observer per
// process; an empty function removes it. The renderer runtime turns this into
// CefRenderProcessHandler::OnUncaughtException.
typedef std::function<void(CefRefPtr<CefV8Context> context, CefRefPtr<CefV8Exception> exception,
                           CefRefPtr<CefV8StackTrace> trace)>
    UncaughtExceptionObserver;
void SetUncaughtExceptionObserver(UncaughtExceptionObserver observer);

// --- The same requests carried between processes ---
// The browser side encodes a command, the renderer decodes it, finds the frame's context and runs
// it; the result travels back the same way. Encoded forms are channel payload values.

enum class RendererOp { kCall = 0, kGet = 1, kAssign = 2 };

struct RendererCommand {
  RendererOp op = RendererOp::kCall;
  std::string path;             // UTF-8
  std::vector<PageValue> args;  // kCall: the arguments; kAssign: args[0] is the value
};

ValueData EncodeRendererCommand(const RendererCommand& command);
// False for anything that is not a well-formed command (unknown op or kind, wrong types, nesting
// deeper than the engine accepts); `command` is then unspecified.
[[nodiscard]] bool DecodeRendererCommand(const ValueData& data, RendererCommand* command);
// Runs `command` in `context` (CallInContext / GetInContext / AssignInContext).
RendererCallResult RunRendererCommand(CefRefPtr<CefV8Context> context, const RendererCommand& command);

ValueData EncodeCallResult(const RendererCallResult& result);
[[nodiscard]] bool DecodeCallResult(const ValueData& data, RendererCallResult* result);

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_CALL_H_
