// Test API of the renderer side: a harness that runs an application's render process handler on a renderer thread
// of the test process, the in-process renderer switch, and the renderer processes of live browsers.
// Product code never includes this header.
#ifndef CEF_TESTING_RENDERER_TESTING_H_
#define CEF_TESTING_RENDERER_TESTING_H_

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/channel_frame.h"
#include "engine/page_function.h"
#include "engine/renderer_launch.h"
#include "engine/renderer_call.h"
#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_values.h"

namespace cefengine {

class RendererRuntime;

namespace test {

// A process message the renderer sent to the browser: a read-only copy of its arguments.
struct SentMessage {
  int browser = 0;
  std::string name;
  CefRefPtr<CefListValue> args;
};

// One frame of a document commit.
struct CommitFrame {
  int64 id = 0;
  std::string name;
  bool is_main = false;
  std::string url;
  int64 parent = 0;  // sub-frames: 0 means the main frame of the same commit (or of the browser)
};

// A renderer thread in the test process running `app`'s render process handler, with the test playing the browser.
// Every call sends the frame the browser would send, over the same byte form, and returns once the renderer handled
// it (false when it did not within 5 s or the harness is not running). Only one harness (or in-process renderer)
// can run at a time: the renderer thread is the process's TID_RENDERER. Use from one test thread.
class RendererHarness {
 public:
  // Starts the renderer thread; OnRenderThreadCreated gets a copy of `extra_info` (empty when null).
  explicit RendererHarness(CefRefPtr<CefApp> app, CefRefPtr<CefListValue> extra_info = nullptr);
  // Tells the renderer to shut down and waits for its thread.
  ~RendererHarness();
  RendererHarness(const RendererHarness&) = delete;
  RendererHarness& operator=(const RendererHarness&) = delete;

  // True when the renderer thread runs.
  bool ok() const;
  [[nodiscard]] bool AddBrowser(int browser_id, bool is_popup = false);
  // Commits the frames in order; a main frame replaces the browser's document, a sub-frame its own.
  [[nodiscard]] bool Commit(int browser_id, const std::vector<CommitFrame>& frames);
  // The frame (and those below it) went away.
  [[nodiscard]] bool Release(int64 frame_id);
  // The same two from page script: on the renderer thread only, inside a running callback (a property trap of
  // engine/v8_value.h, a page function), handled at once and nested in that call, as a page that adds or removes
  // a frame has it handled. The harness's frame records are not locked: the test thread waits meanwhile.
  [[nodiscard]] bool CommitNow(int browser_id, const std::vector<CommitFrame>& frames);
  [[nodiscard]] bool ReleaseNow(int64 frame_id);
  // A browser->renderer process message; `args` is copied (null: no arguments).
  [[nodiscard]] bool Deliver(int browser_id, const std::string& name, CefRefPtr<CefListValue> args = nullptr);
  // Focus moved to a node of `frame_id`: FOCUS_NONE, FOCUS_EDITABLE or FOCUS_PLAIN.
  [[nodiscard]] bool Focus(int browser_id, int64 frame_id, FocusState state);
  [[nodiscard]] bool ExecuteJavaScript(int browser_id, int64 frame_id, const std::string& code);
  [[nodiscard]] bool DestroyBrowser(int browser_id);
  // Runs `fn` on the renderer thread and waits for it.
  [[nodiscard]] bool RunOnRenderer(const std::function<void()>& fn);
  // Page script in the current document of `frame_id` (testing/page_script.h builds the arguments): the same
  // command a browser sends over the channel. A result with ran == false when the frame has no live context.
  RendererCallResult RendererCall(int browser_id, int64 frame_id, const std::string& path,
                                  const std::vector<PageValue>& args = {});
  RendererCallResult RendererGet(int browser_id, int64 frame_id, const std::string& path);
  RendererCallResult RendererAssign(int browser_id, int64 frame_id, const std::string& path, const PageValue& value);
  // Messages the renderer sent to the browser since the last call, in send order.
  std::vector<SentMessage> TakeSent();
  // While on, the renderer's CefBrowser::SendProcessMessage is refused (false) and nothing reaches the browser; other
  // frames still go through. Any thread.
  void FailSends(bool fail);
  // Every renderer->browser frame since the last call (FrameReady, messages, ...), in order.
  std::vector<ChannelFrame> TakeFrames();

 private:
  bool Send(const ChannelFrame& frame);
  // Send, or with `now` handled at once on the calling renderer thread.
  bool SendOrHandle(const ChannelFrame& frame, bool now);
  bool CommitFrames(int browser_id, const std::vector<CommitFrame>& frames, bool now);
  bool ReleaseFrame(int64 frame_id, bool now);
  RendererCallResult Command(int browser_id, int64 frame_id, const RendererCommand& command);

  std::shared_ptr<RendererRuntime> runtime_;
  HANDLE thread_ = nullptr;
  struct Outbox {
    std::mutex mutex;
    std::vector<ChannelFrame> frames;
    bool fail_sends = false;  // under `mutex`
  };
  std::shared_ptr<Outbox> outbox_;
  std::vector<std::pair<int64, int>> frame_browsers_;  // frame id -> browser id
  std::vector<std::pair<int, int64>> main_frames_;     // browser id -> main frame id
  int next_command_ = 0;
};

// Full stack in one process: browsers created from now on get a renderer thread running `app` (null: back to the
// default renderer mode, ending that thread).
void SetInProcessRendererApp(CefRefPtr<CefApp> app);

// Ends the renderer of `browser` as a crash: a sub-process is terminated with an access-violation code (the browser
// sees TS_PROCESS_CRASHED); an in-process one stops serving it. False when it has no running renderer.
bool CrashRenderer(CefRefPtr<CefBrowser> browser);
bool CrashRenderer(int browser_id);
// Process id of `browser`'s renderer; 0 when none, in-process, or not started yet.
DWORD RendererProcessId(CefRefPtr<CefBrowser> browser);
DWORD RendererProcessId(int browser_id);

// browser_id, renderer_id, pid, command_line (as the renderer saw it in its Hello, else as it was started),
// connected, ended, exit_code.
using ChildProcess = ChildProcessRecord;
// Renderer processes started so far, in launch order.
std::vector<ChildProcess> ChildProcesses();

// Page script in frame `frame_id` of a live browser's renderer (a sub-process or the in-process renderer), sent over
// its channel; waits at most 10 s. A result with ran == false when nothing answered or the frame has no context.
// Call from the test thread, never from the renderer thread.
// (RendererCall of testing/page_script.h runs on the renderer thread of this process instead.)
RendererCallResult RendererCallOverChannel(int browser_id, int64 frame_id, const std::string& path,
                                           const std::vector<PageValue>& args = {});
RendererCallResult RendererGetOverChannel(int browser_id, int64 frame_id, const std::string& path);
RendererCallResult RendererAssignOverChannel(int browser_id, int64 frame_id, const std::string& path,
                                             const PageValue& value);

// The focus moves to a node of `frame` in a live browser (FOCUS_NONE: off any node; FOCUS_EDITABLE / FOCUS_PLAIN: an
// editable or other node): its renderer calls OnFocusedNodeChanged, journaled there as "OnFocusedNodeChanged" with
// "none", "editable" or "plain". Returns once the change was queued for the renderer; false when the browser is
// unknown or closed, the frame is not one of its frames, or its renderer is gone. Any thread.
bool FocusNode(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, FocusState state);

// Round trips between the browser and the live renderer of `browser_id` over the hops of a process message each way
// (engine/renderer_link.h PingRendererOf), one after the other: the microseconds of each. It stops at the first that
// is not answered within 5 s, so fewer than `count` means the renderer stopped answering. Not on UI.
std::vector<int64_t> PingRenderer(int browser_id, int count);

// Process messages the renderer of `browser_id` sent to the browser (recorded while the journal is on).
std::vector<SentMessage> SentToBrowser(int browser_id);

// Called on the renderer thread with every script a frame is asked to run (CefFrame::ExecuteJavaScript). An empty
// function removes the hook. Only renderers of this process see it.
void SetScriptHook(std::function<void(int browser_id, int64 frame_id, const std::string& code)> hook);

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_RENDERER_TESTING_H_
