#include "engine/renderer_link.h"

#include <atomic>
#include <map>
#include <mutex>

#include "engine/journal.h"
#include "engine/logging.h"

namespace cefengine {

namespace {

std::atomic<RendererMode> g_mode{RendererMode::kRecording};

class RecordingLink;

struct RecordState {
  std::mutex mutex;
  std::map<int, std::vector<ChannelFrame>> frames;
  std::map<int, std::weak_ptr<RecordingLink>> open;
};

RecordState& Records() {
  static RecordState* state = new RecordState();
  return *state;
}

class RecordingLink : public RendererLink {
 public:
  RecordingLink(int browser_id, std::shared_ptr<RendererLinkEvents> events)
      : browser_id_(browser_id), events_(std::move(events)) {}

  bool Send(const ChannelFrame& frame) override {
    std::lock_guard<std::mutex> lock(Records().mutex);
    if (closed_)
      return false;
    Records().frames[browser_id_].push_back(frame);
    return true;
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(Records().mutex);
    closed_ = true;
    events_.reset();
    auto it = Records().open.find(browser_id_);
    if (it != Records().open.end() && it->second.lock().get() == this)
      Records().open.erase(it);
  }

  bool IsConnected() override { return true; }
  DWORD ProcessId() override { return 0; }

  // Takes the events out while holding the lock, so a frame is never delivered after Close().
  std::shared_ptr<RendererLinkEvents> Events(bool end) {
    std::lock_guard<std::mutex> lock(Records().mutex);
    std::shared_ptr<RendererLinkEvents> events = events_;
    if (end) {
      closed_ = true;
      events_.reset();
      Records().open.erase(browser_id_);
    }
    return events;
  }

 private:
  const int browser_id_;
  bool closed_ = false;  // guarded by Records().mutex
  std::shared_ptr<RendererLinkEvents> events_;
};

std::shared_ptr<RecordingLink> OpenLink(int browser_id) {
  std::lock_guard<std::mutex> lock(Records().mutex);
  auto it = Records().open.find(browser_id);
  return it == Records().open.end() ? nullptr : it->second.lock();
}

}  // namespace

void SetRendererMode(RendererMode mode) {
  g_mode = mode;
}

RendererMode GetRendererMode() {
  return g_mode;
}

std::shared_ptr<RendererLink> CreateRendererLink(int browser_id, std::shared_ptr<RendererLinkEvents> events) {
  if (g_mode != RendererMode::kRecording)
    LOG(WARNING) << "CreateRendererLink: renderer processes are not available; recording frames instead";
  auto link = std::make_shared<RecordingLink>(browser_id, std::move(events));
  std::lock_guard<std::mutex> lock(Records().mutex);
  Records().open[browser_id] = link;
  return link;
}

std::vector<ChannelFrame> RecordedFrames(int browser_id, bool take) {
  std::lock_guard<std::mutex> lock(Records().mutex);
  auto it = Records().frames.find(browser_id);
  if (it == Records().frames.end())
    return {};
  std::vector<ChannelFrame> frames = it->second;
  if (take)
    it->second.clear();
  return frames;
}

bool InjectRendererFrame(const ChannelFrame& frame) {
  std::shared_ptr<RecordingLink> link = OpenLink(frame.browser_id);
  std::shared_ptr<RendererLinkEvents> events = link ? link->Events(false) : nullptr;
  if (!events)
    return false;
  events->OnRendererFrame(frame);
  return true;
}

bool TerminateRecordedRenderer(int browser_id, cef_termination_status_t status) {
  std::shared_ptr<RecordingLink> link = OpenLink(browser_id);
  std::shared_ptr<RendererLinkEvents> events = link ? link->Events(true) : nullptr;
  if (!events)
    return false;
  events->OnRendererTerminated(status);
  return true;
}

void ResetRecordedLinks() {
  std::lock_guard<std::mutex> lock(Records().mutex);
  Records().frames.clear();
  Records().open.clear();
}

}  // namespace cefengine
