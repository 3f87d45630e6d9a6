// The browser side's connection to the renderer of one browser.
//
// The browser engine creates one link per browser and talks to it only through this interface, so the renderer may
// be a sub-process, a thread of this process, or (for tests of the browser side) nothing at all: a recording link
// keeps what was sent and lets tests play the renderer by injecting frames.
#ifndef CEF_ENGINE_RENDERER_LINK_H_
#define CEF_ENGINE_RENDERER_LINK_H_

#include <windows.h>

#include <memory>
#include <vector>

#include "engine/channel_frame.h"
#include "include/cef_app.h"
#include "include/internal/cef_types.h"

namespace cefengine {

// What the renderer tells the browser side. Implemented by the browser engine.
// Live links (sub-process, in-process) look at renderer->browser frames first: Hello is journaled
// ("ChildProcessStart" with the renderer's command line) and passed on; TestEvent frames (the renderer's journal
// entries) go into this journal as process 'R' entries and are not passed on; TestResult frames answering
// RunRendererCommandOf are consumed there, other TestResults are passed on.
// Init: when the first frame the owner sends is an Init, it is the renderer's Init (the owner asked the application
// for the extra info); otherwise a live link asks OnRenderProcessThreadCreated on IO and sends the Init itself before
// anything else.
class RendererLinkEvents {
 public:
  virtual ~RendererLinkEvents() = default;
  // Every renderer->browser frame, in arrival order, on the link's reader thread (or the injecting thread of a
  // recording link). Implementations hop to UI or IO themselves and must not block.
  virtual void OnRendererFrame(const ChannelFrame& frame) = 0;
  // The renderer is gone (crash, kill, broken pipe, never started). Called at most once, never after Close().
  virtual void OnRendererTerminated(cef_termination_status_t status) = 0;
};

class RendererLink {
 public:
  virtual ~RendererLink() = default;
  // Any thread. Frames leave in call order across all threads and are queued until the renderer connects.
  // False when the link was closed or the renderer is gone; the frame is then dropped.
  // A Crash frame ends the renderer as a crash: a sub-process ends itself when it reads it; an in-process link
  // cuts its browser off as CrashRendererOf does; a recording link records it. Each then reports TS_PROCESS_CRASHED
  // through OnRendererTerminated; the in-process and recording links do so from inside Send.
  [[nodiscard]] virtual bool Send(const ChannelFrame& frame) = 0;
  // Ends the link without further events. Frames sent before Close() are still delivered when possible.
  virtual void Close() = 0;
  // True once the renderer said Hello (a recording link is always connected).
  virtual bool IsConnected() = 0;
  // The renderer's process id; 0 when it runs in this process or not at all.
  virtual DWORD ProcessId() = 0;
};

enum class RendererMode {
  kRecording,   // no renderer: frames are recorded, tests inject the answers
  kSubProcess,  // the browser subprocess path (or this executable) started with --type=renderer
  kInProcess,   // a renderer thread in this process running the application set for it
};

// Which mode CreateRendererLink uses:
//   1. the mode set with SetRendererMode (tests, harnesses, SetInProcessRendererApp), until ResetRendererMode;
//   2. otherwise kSubProcess when some executable can serve renderers: this one, once it called CefExecuteProcess
//      (the product's entry point always does, before CefInitialize), or the one CefSettings.browser_subprocess_path
//      names;
//   3. otherwise kRecording: a test executable that offers no renderer entry never launches copies of itself.
// Any thread.
void SetRendererMode(RendererMode mode);
void ResetRendererMode();
RendererMode GetRendererMode();
// Called by CefExecuteProcess in the browser process: this executable can be started as a renderer.
void NoteRendererEntryPoint();
// The application the renderer threads of kInProcess links run (null: none). Any thread.
void SetInProcessRendererApplication(CefRefPtr<CefApp> app);
// Ends the in-process renderer thread, if one runs (its browsers get no further callbacks). Any thread but it.
void StopInProcessRenderer();

// Creates the link for `browser_id` in the current mode. `events` is kept until the link ends. Any thread.
std::shared_ptr<RendererLink> CreateRendererLink(int browser_id, std::shared_ptr<RendererLinkEvents> events);

// Recording links, for the test API. Frames a recording link was given for `browser_id`, in order; `take` empties
// the record.
std::vector<ChannelFrame> RecordedFrames(int browser_id, bool take);
// Delivers `frame` to the events of the recording link of `frame.browser_id` on the calling thread.
// False when no recording link of that browser is open.
[[nodiscard]] bool InjectRendererFrame(const ChannelFrame& frame);
// Ends the recording link of `browser_id` as a renderer death would. False when none is open.
[[nodiscard]] bool TerminateRecordedRenderer(int browser_id, cef_termination_status_t status);
// Forgets every record (engine shutdown).
void ResetRecordedLinks();

// Live (sub-process or in-process) links, for the test API.
// Ends the renderer of `browser_id` as a crash would: a sub-process is terminated with an access-violation exit
// code; an in-process renderer stops serving that browser and the link reports TS_PROCESS_CRASHED. False when no
// live link of that browser is open.
[[nodiscard]] bool CrashRendererOf(int browser_id);
// The renderer process id of `browser_id`'s live link; 0 when none, in-process, or not started yet.
DWORD RendererProcessIdOf(int browser_id);
// Renderer->browser process-message frames (kRendererMessage) of `browser_id`, in arrival order, recorded while the
// journal is on; `take` empties the record.
std::vector<ChannelFrame> FramesFromRenderer(int browser_id, bool take);
// Browser->renderer process-message frames (kProcessMessage) of `browser_id`'s live links, in send order, recorded
// while the journal is on; `take` empties the record.
std::vector<ChannelFrame> FramesToRenderer(int browser_id, bool take);
// Hands `frame` to the events of `frame.browser_id`'s live link on the calling thread, as if its renderer had sent
// it (recorded as such while the journal is on). False when no live link of that browser is open.
[[nodiscard]] bool InjectIntoLiveLink(const ChannelFrame& frame);
// Sends a page-script command (EncodeRendererCommand of engine/renderer_call.h) to frame `frame_id` of
// `browser_id`'s live renderer and waits at most `timeout_ms` for its answer (EncodeCallResult form). False when
// there is no live link or no answer came. Any thread but the one the link's events are delivered on.
[[nodiscard]] bool RunRendererCommandOf(int browser_id, int64 frame_id, const ValueData& command, ValueData* result,
                                        DWORD timeout_ms);
// One round trip between the browser and `browser_id`'s live renderer over the hops a process message takes each
// way: a Ping frame sent from here, answered on the renderer's thread, the Pong handled on the browser's UI thread.
// Its microseconds (from the send to the UI thread's handling) in *round_trip_us. False when there is no live link or
// no answer came within `timeout_ms`. Any thread but UI.
[[nodiscard]] bool PingRendererOf(int browser_id, DWORD timeout_ms, int64_t* round_trip_us);
// UI: the Pong of a PingRendererOf arrived (called by the browser's renderer relay).
void AnswerRendererPing(int request_id);

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_LINK_H_
