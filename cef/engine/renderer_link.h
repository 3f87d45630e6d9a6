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
#include "include/internal/cef_types.h"

namespace cefengine {

// What the renderer tells the browser side. Implemented by the browser engine.
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

// The mode for links created from now on. Any thread.
void SetRendererMode(RendererMode mode);
RendererMode GetRendererMode();

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

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_LINK_H_
