// The browser side of one browser's renderer channel: builds the browser->renderer frames and handles the
// renderer->browser frames (engine/channel_frame.h has the payload layouts).
//
// The link (engine/renderer_link.h) is made on UI when the browser starts and starts its renderer (Init is the link's
// own first frame); BrowserCreated is the first frame about the browser, and frames sent while no link exists wait
// here, in order. Incoming frames are handled on UI in arrival order and dropped once the browser is destroyed:
//   Hello           journaled ("Hello": process id, command line), then OnRenderViewReady
//   FrameReady      the navigation's wait for that frame ends
//   RendererMessage OnProcessMessageReceived(browser, PID_RENDERER, read-only message), in order
//   PageAction      kinds below; others go to BrowserExtras::OnPageAction
//   TestResult/TestEvent  to the sink set with SetRendererTestSink
// A renderer death while the browser lives gives OnRenderProcessTerminated (a navigation waiting for that death ends
// just before it, engine/navigation.h); sends then fail until the next navigation starts a new renderer.
#ifndef CEF_ENGINE_RENDERER_RELAY_H_
#define CEF_ENGINE_RENDERER_RELAY_H_

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/channel_frame.h"
#include "engine/renderer_link.h"
#include "include/cef_process_message.h"

namespace cefengine {

class BrowserImpl;

// Page-action kinds (kPageAction payload [0]) handled by the browser core. Arguments ([1], a list):
//   "open-window"  [0] url, [1] target frame name, [2] disposition (int), [3] user gesture (bool)
//   "open-url"     [0] url, [1] disposition (int), [2] user gesture (bool)   (a link into another tab)
//   "navigate"     [0] url
//   "close"        []
//   "title"        [0] title
// The frame's id travels in the frame header.
extern const wchar_t kPageActionOpenWindow[];
extern const wchar_t kPageActionOpenUrl[];
extern const wchar_t kPageActionNavigate[];
extern const wchar_t kPageActionClose[];
extern const wchar_t kPageActionTitle[];

class RendererRelay : public std::enable_shared_from_this<RendererRelay> {
 public:
  explicit RendererRelay(int browser_id);

  // UI. Starts the renderer link of `browser` and tells it BrowserCreated. `browser` must outlive Close().
  void Start(BrowserImpl* browser);
  // UI. A navigation is about to commit: starts a new renderer when the last one died.
  void EnsureRenderer();
  // Any thread. Queues `frame` for the renderer. False when the relay is closed or its renderer died.
  [[nodiscard]] bool Send(const ChannelFrame& frame);
  // Any thread. SendProcessMessage: false when the renderer died, the relay closed or a test fault is set.
  [[nodiscard]] bool SendProcessMessage(CefRefPtr<CefProcessMessage> message);
  // Any thread. Asks the renderer to end as a crash would ("chrome://crash"); its end then comes as a termination
  // (TS_PROCESS_CRASHED) like any other. False when the relay is closed or its renderer is gone already.
  [[nodiscard]] bool CrashRenderer();
  // UI. Tells the renderer the browser is gone and ends the link. Nothing more is handled afterwards.
  void Close();
  // Any thread.
  bool IsTerminated();
  // Any thread. The renderer answered Hello.
  bool IsConnected();
  // Any thread. Whether the navigation should wait for FrameReady after a commit: the renderer runs as a process or
  // thread, or a test asked for it (SetAwaitFrameReady).
  bool AwaitsFrameReady();

  // From the link made for `generation` (link threads); events of an older link are dropped.
  void OnLinkFrame(int generation, const ChannelFrame& frame);
  void OnLinkTerminated(int generation, cef_termination_status_t status);

 private:
  void StartLink();  // UI
  void HandleFrame(const ChannelFrame& frame);  // UI
  void HandleTermination(int generation, cef_termination_status_t status);  // UI
  void HandlePageAction(const ChannelFrame& frame);  // UI

  const int browser_id_;
  BrowserImpl* browser_ = nullptr;  // set by Start, cleared by Close (UI)

  std::mutex lock_;  // guards the fields below; never held while calling out
  std::shared_ptr<RendererLink> link_;
  std::deque<ChannelFrame> waiting_;  // frames sent before the link exists
  bool closed_ = false;
  bool terminated_ = false;
  bool connected_ = false;
  int generation_ = 0;  // of the current link
};

// Test control: whether navigations wait for the renderer's FrameReady even though the link only records. Any
// thread.
void SetAwaitFrameReady(bool await);

// Receives renderer TestResult / TestEvent frames (any thread is fine; called on UI). Null: they are journaled as
// "RendererTestFrame".
void SetRendererTestSink(std::function<void(const ChannelFrame& frame)> sink);

}  // namespace cefengine

#endif  // CEF_ENGINE_RENDERER_RELAY_H_
