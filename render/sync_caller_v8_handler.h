// The native side of every function of a context's `external` object: the twelve built-in
// methods and the methods the host added. One handler serves one context's built-ins (and the
// added names the context got at its creation); a name added later gets one handler for all the
// contexts that receive it then.
#pragma once

#include <memory>

#include "include/cef_v8.h"
#include "render/function_registry.h"

namespace client {
namespace render_sync_call {

class SynCallerV8Handler : public CefV8Handler {
 public:
  // `registry` is the delegate's, shared for as long as script holds a function of this handler.
  explicit SynCallerV8Handler(std::shared_ptr<FunctionRegistry> registry);

  // Called by script on the renderer's main thread. False on every failure: the page then gets
  // undefined and no exception (`exception` only names the failure). True with `retval` or, for
  // methods without a result, without it.
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override;

 private:
  enum class Outcome { kServed, kInvalidArguments, kInvalidCallee, kFailed };

  Outcome Log(const CefV8ValueList& arguments);
  Outcome RegisterFunction(const CefV8ValueList& arguments);
  Outcome UnregisterAllFunction();
  Outcome UnregisterAllFunctionEx();
  Outcome ExecuteHostMethod(const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval);
  // RegisterDragAreaList and SetBrowserPos: one text, sent on unchanged as `message_name`.
  Outcome SendText(const char* message_name, const CefV8ValueList& arguments);
  // A method the host added: argument 0 may be a callback.
  Outcome CallAddedMethod(const CefString& name, const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval);

  std::shared_ptr<FunctionRegistry> registry_;

  IMPLEMENT_REFCOUNTING(SynCallerV8Handler);
  DISALLOW_COPY_AND_ASSIGN(SynCallerV8Handler);
};

// The next execute id of this process: 1 first, shared by every context, never reset (wraps as
// a signed 32-bit number). Any thread.
int TakeExecuteId();

}  // namespace render_sync_call
}  // namespace client
