// Test API: page script played against a context. Build arguments with Str/Int/.../Obj/PageFn and
// run `RendererCall(context, "external.Execute", {...})` exactly as a line of page script would;
// page functions record each call in the journal (PageFnCalls).
//
// The Renderer* functions run on the context's thread (TID_RENDERER; in tests the thread that
// adopted it). The builders are plain data and may be used anywhere.
#ifndef CEF_TESTING_PAGE_SCRIPT_H_
#define CEF_TESTING_PAGE_SCRIPT_H_

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/journal.h"
#include "engine/page_function.h"
#include "engine/renderer_call.h"
#include "include/cef_v8.h"

namespace cefengine {
namespace test {

using cefengine::JournalEntry;
using cefengine::PageValue;
using CallResult = cefengine::RendererCallResult;

// --- Arguments ---
PageValue Str(const CefString& text);
PageValue Int(int32 value);
PageValue Double(double value);
PageValue Bool(bool value);
PageValue Null();
PageValue Undefined();
// An object with these members, in order: Obj({{"request", Str("x")}, {"persistent", Bool(true)}}).
PageValue Obj(const std::vector<std::pair<CefString, PageValue>>& members);
// Page functions: "" name = anonymous. Each call is journaled (PageFnCalls); the first returns
// undefined, the second `result` (made anew at each call), the third throws `message`.
PageValue PageFn(const CefString& name = CefString());
PageValue PageFnReturning(const CefString& name, const PageValue& result);
PageValue PageFnThrowing(const CefString& name, const CefString& message);

// --- Page script ---
// `path(args...)`, e.g. "external.Execute" or "cefQuery".
CallResult RendererCall(CefRefPtr<CefV8Context> context, const std::string& path,
                        const std::vector<PageValue>& args = {});
// Reads `path` (type, value, read_only).
CallResult RendererGet(CefRefPtr<CefV8Context> context, const std::string& path);
// `path = value` (ignored for read-only properties); the result describes the property afterwards.
CallResult RendererAssign(CefRefPtr<CefV8Context> context, const std::string& path, const PageValue& value);

// The same against the live context of frame `frame_id` of browser `browser_id` (ran false when
// it has none). On the renderer thread, e.g. inside RendererHarness::RunOnRenderer.
CallResult RendererCall(int browser_id, int64 frame_id, const std::string& path, const std::vector<PageValue>& args = {});
CallResult RendererGet(int browser_id, int64 frame_id, const std::string& path);
CallResult RendererAssign(int browser_id, int64 frame_id, const std::string& path, const PageValue& value);

// Page script inside client code's keyed property look-ups and stores (CefV8Value::HasValue and
// SetValue by key), as a page's proxy on an object's prototype chain runs it in a real engine:
// `trap` runs on the value's thread before the operation, with "HasValue" or "SetValue" and the
// key, and not again for the look-ups and stores it makes itself. Null removes it. Any thread.
void SetPropertyTrap(std::function<void(const std::string& operation, const CefString& key)> trap);

// Journal entries of calls of page functions named `name` ("" = anonymous ones), in order. Each
// entry's args are the function name followed by the arguments as page script prints them.
std::vector<JournalEntry> PageFnCalls(const std::string& name);

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_PAGE_SCRIPT_H_
