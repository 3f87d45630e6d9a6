// What the browser engine would see of one renderer link: the frames and terminations it is given, with bounded
// waits for the tests.
#ifndef TESTS_CEF_RENDERER_LINK_EVENTS_H_
#define TESTS_CEF_RENDERER_LINK_EVENTS_H_

#include <mutex>
#include <vector>

#include "engine/channel_frame.h"
#include "engine/renderer_link.h"
#include "testing/cefengine_testing.h"

namespace cefengine {

class LinkEvents : public RendererLinkEvents {
 public:
  static const int kWaitMs = 20000;

  void OnRendererFrame(const ChannelFrame& frame) override {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(frame);
  }
  void OnRendererTerminated(cef_termination_status_t status) override {
    std::lock_guard<std::mutex> lock(mutex_);
    statuses_.push_back(status);
  }

  std::vector<ChannelFrame> Of(FrameType type) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ChannelFrame> out;
    for (const auto& frame : frames_)
      if (frame.type == type)
        out.push_back(frame);
    return out;
  }
  bool WaitFor(FrameType type, size_t count) {
    return test::WaitFor([&] { return Of(type).size() >= count; }, kWaitMs);
  }
  std::vector<cef_termination_status_t> statuses() {
    std::lock_guard<std::mutex> lock(mutex_);
    return statuses_;
  }
  bool WaitTerminated() {
    return test::WaitFor([&] { return !statuses().empty(); }, kWaitMs);
  }

 private:
  std::mutex mutex_;
  std::vector<ChannelFrame> frames_;
  std::vector<cef_termination_status_t> statuses_;
};

}  // namespace cefengine

#endif  // TESTS_CEF_RENDERER_LINK_EVENTS_H_
