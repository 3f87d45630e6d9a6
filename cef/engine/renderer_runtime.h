// The renderer side of the browser<->renderer channel: turns browser->renderer frames into the calls of the
// application's CefRenderProcessHandler and carries what the renderer sends back.
//
// One runtime serves one renderer: a renderer sub-process (engine/renderer_entry.cpp), a renderer thread inside the
// browser process, or a test harness. It runs on the thread that attaches it, which becomes TID_RENDERER; every
// client callback runs there, one frame at a time, in the order the frames were delivered:
//   Init             -> OnRenderThreadCreated(extra info) -> OnWebKitInitialized
//   BrowserCreated   -> OnBrowserCreated (a renderer-side browser with the same id, GetHost() null)
//   Commit           -> OnContextReleased for every context the new document replaces, then the frame's new context
//                       is entered, OnContextCreated runs, the inline scripts are journaled, the context is left,
//                       and FrameReady goes back to the browser
//   FrameGone        -> OnContextReleased for the frame and the frames below it
//   ProcessMessage   -> OnProcessMessageReceived(browser, PID_BROWSER, read-only copy); unhandled: journaled, dropped
//   ExecuteJavaScript-> journaled, and handed to the script hook when one is set
//   Focus            -> OnFocusedNodeChanged with a node (IsEditable as given) or null
//   BrowserDestroyed -> OnContextReleased for all its contexts -> OnBrowserDestroyed; with no browser left the
//                       runtime ends (when asked to) with exit code 0
//   Shutdown         -> ends with 0
//   Crash            -> a runtime that owns its process ends it at once with an access violation's exit code,
//                       as a crash would (no exception is raised, so no debugger or crash dialog starts); other
//                       runtimes ignore it (their links end the browser's renderer themselves)
// A broken connection (Disconnect) ends the runtime at once, with 0 and without further callbacks.
#ifndef CEF_ENGINE_RENDERER_RUNTIME_H_
#define CEF_ENGINE_RENDERER_RUNTIME_H_

#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "engine/channel_frame.h"
#include "engine/renderer_browser.h"
#include "include/cef_app.h"

namespace cefengine {

struct RendererRuntimeOptions {
  // End Run() once the last browser was destroyed (a renderer process does; a harness does not).
  bool exit_without_browsers = true;
  // Send journal entries to the browser as TestEvent frames (a separate process; in the browser process the
  // runtime thread records into the shared journal with process letter 'R' instead).
  bool forward_journal = false;
  // The runtime is its process's renderer: a Crash frame ends the process.
  bool crash_ends_process = false;
};

class RendererRuntime : public std::enable_shared_from_this<RendererRuntime> {
 public:
  // Sends one renderer->browser frame; false when the connection is gone. Called on TID_RENDERER.
  using Sender = std::function<bool(const ChannelFrame&)>;

  static std::shared_ptr<RendererRuntime> Create(CefRefPtr<CefApp> app, Sender sender,
                                                 RendererRuntimeOptions options);

  // The calling thread becomes TID_RENDERER and asks the application for its render process handler. False when
  // another thread of this process serves TID_RENDERER already.
  [[nodiscard]] bool Attach();
  // On the attached thread: serves frames and posted tasks until the runtime ends; returns the exit code and
  // gives TID_RENDERER up.
  int Run();

  // Any thread: queues a browser->renderer frame. False before Attach() or once the runtime ended.
  bool Deliver(const ChannelFrame& frame);
  // Any thread: queues `fn` to run on TID_RENDERER between frames. False before Attach() or once ended.
  bool RunOnRenderer(std::function<void()> fn);
  // TID_RENDERER, inside a running callback: handles a Commit or FrameGone frame at once, nested in that call, as
  // page script that adds or removes a frame does. False for other frames, other threads or an ended runtime.
  bool HandleNested(const ChannelFrame& frame);
  // Any thread: the browser is gone. Run() returns 0 at once; queued frames are dropped, no more callbacks.
  void Disconnect();
  bool ended() const { return ended_.load(); }
  bool disconnected() const { return disconnected_.load(); }

  // TID_RENDERER: sends `frame` to the browser, after the journal entries recorded so far when they are forwarded.
  // False after Disconnect() or when the sender fails.
  bool SendToBrowser(const ChannelFrame& frame);

 private:
  RendererRuntime(CefRefPtr<CefApp> app, Sender sender, RendererRuntimeOptions options);

  void Handle(const ChannelFrame& frame);
  void OnInit(const ChannelFrame& frame);
  void OnBrowserCreated(const ChannelFrame& frame);
  void OnCommit(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame);
  void OnFrameGone(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame);
  void OnProcessMessage(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame);
  void OnExecuteJavaScript(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame);
  void OnFocus(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame);
  void OnBrowserDestroyed(CefRefPtr<RendererBrowser> browser);
  void OnTest(const ChannelFrame& frame);
  void OnCrash();
  // Releases the script context of each frame (OnContextReleased first), in the given order.
  void ReleaseContexts(CefRefPtr<RendererBrowser> browser, const std::vector<CefRefPtr<RendererFrame>>& frames);
  void CreateContext(CefRefPtr<RendererBrowser> browser, CefRefPtr<RendererFrame> frame,
                     const std::vector<std::wstring>& scripts);
  void End(int exit_code);
  void ForwardJournal();

  CefRefPtr<CefApp> app_;
  Sender sender_;
  const RendererRuntimeOptions options_;
  CefRefPtr<CefRenderProcessHandler> handler_;
  std::atomic<bool> attached_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> disconnected_{false};
  int exit_code_ = 0;
  bool initialized_ = false;
  int64 next_context_id_ = 0;
  std::map<int, CefRefPtr<RendererBrowser>> browsers_;  // TID_RENDERER only
};

// Called with every script the browser asks a frame to run (TID_RENDERER). An empty function removes the hook.
using ScriptHook = std::function<void(int browser_id, int64 frame_id, const std::wstring& code)>;
void SetScriptHook(ScriptHook hook);
// Journals a script run request for `frame` and hands it to the hook (TID_RENDERER).
void RunScriptRequest(int browser_id, int64 frame_id, const std::wstring& code, const std::wstring& url, int line);

// A thread of this process that attaches `runtime` and runs it. Waits until the runtime attached; false (thread
// ended, *thread null) when it could not. The caller owns the returned thread handle.
[[nodiscard]] bool StartRendererThread(std::shared_ptr<RendererRuntime> runtime, HANDLE* thread);

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_RUNTIME_H_
