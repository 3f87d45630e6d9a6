// Script contexts of the renderer: the registry the renderer runtime drives.
//
// A context is the script context of one document of one frame. The runtime creates it when a
// document commits (CreateFrameContext), hands it to the client (OnContextCreated ...) and
// releases it when the document goes (ReleaseFrameContext): the context and every value made in
// it become invalid at that moment (IsValid false, Enter false, HasValue false on its objects).
//
// Every function returns a NEW CefV8Context wrapper per call, as the API promises its clients;
// compare them with IsSame, or map them back to their id with ContextId.
//
// Threads: create, release and use a context on one thread, the renderer's main thread
// (TID_RENDERER; in tests a thread that adopted it). The lookups are safe from any thread, but
// the wrappers they return may only be used on the context's thread.
#ifndef CEF_ENGINE_V8_CONTEXT_H_
#define CEF_ENGINE_V8_CONTEXT_H_

#include <vector>

#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_v8.h"

namespace cefengine {

// Creates a live context with a new, empty global object. `context_id` names it for the lookups
// below and must not be 0 nor the id of a live context. `browser` and `frame` are what
// GetBrowser/GetFrame give back (either may be null); their identifiers are read once here for
// FindFrameContext. The context is not entered. Null (and an ERROR) when the id is 0 or taken, or
// when called on a thread that is not TID_RENDERER.
[[nodiscard]] CefRefPtr<CefV8Context> CreateFrameContext(int64 context_id, CefRefPtr<CefBrowser> browser,
                                                         CefRefPtr<CefFrame> frame);

// Releases a live context: it and every value made in it become invalid; objects made in it
// drop their properties, handlers, accessors and user data (the client's objects are released
// during this call, after the model is consistent). Wrappers the client still holds stay safe to
// call. A context that is still entered stays on the entered stack until its Exit. False when no
// live context has that id, or (with a misuse warning) when called off the context's thread.
bool ReleaseFrameContext(int64 context_id);

// The live context with that id, or null.
CefRefPtr<CefV8Context> FindContext(int64 context_id);
// The live context of frame `frame_id` of browser `browser_id` (the newest one if several), or null.
CefRefPtr<CefV8Context> FindFrameContext(int browser_id, int64 frame_id);
// Ids of the live contexts of `browser_id` (0: of every browser), in creation order.
std::vector<int64> LiveContextIds(int browser_id);
// The id `context` was created with (also after its release); 0 for null.
int64 ContextId(CefRefPtr<CefV8Context> context);

// Enters a context for the lifetime of the object and exits it again. Nothing is entered for a
// null or released context (entered() false). On the context's thread only.
class ScopedContextEntry {
 public:
  explicit ScopedContextEntry(CefRefPtr<CefV8Context> context)
      : context_(context), entered_(context && context->IsValid() && context->Enter()) {}
  ~ScopedContextEntry() {
    if (entered_)
      context_->Exit();
  }
  ScopedContextEntry(const ScopedContextEntry&) = delete;
  ScopedContextEntry& operator=(const ScopedContextEntry&) = delete;
  bool entered() const { return entered_; }

 private:
  CefRefPtr<CefV8Context> context_;
  const bool entered_;
};

}  // namespace cefengine

#endif  // CEF_ENGINE_V8_CONTEXT_H_
