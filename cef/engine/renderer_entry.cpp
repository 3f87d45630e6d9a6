// The renderer process: connects to the browser's pipe, says Hello and serves the runtime on this thread.
#include "engine/context.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/pipe_transport.h"
#include "engine/renderer_launch.h"
#include "engine/renderer_runtime.h"

namespace cefengine {

namespace {

// Hands what the pipe reads to the runtime's thread.
class PipeToRuntime : public PipeTransport::Delegate {
 public:
  explicit PipeToRuntime(std::weak_ptr<RendererRuntime> runtime) : runtime_(std::move(runtime)) {}

  void OnPipeFrame(const ChannelFrame& frame) override {
    if (std::shared_ptr<RendererRuntime> runtime = runtime_.lock())
      runtime->Deliver(frame);
  }

  void OnPipeClosed(PipeTransport::CloseReason reason) override {
    if (std::shared_ptr<RendererRuntime> runtime = runtime_.lock())
      runtime->Disconnect();
  }

 private:
  std::weak_ptr<RendererRuntime> runtime_;
};

}  // namespace

int RunRendererProcess(const CefMainArgs& args, CefRefPtr<CefApp> app, const std::wstring& channel) {
  SetJournalProcess('R');
  std::shared_ptr<PipeTransport> transport = PipeTransport::Connect(channel, Paced(kRendererConnectTimeoutMs));
  if (!transport) {
    LOG(ERROR) << "CefExecuteProcess: the renderer cannot reach its browser";
    return 1;
  }
  RendererRuntimeOptions options;
  options.exit_without_browsers = true;
  options.forward_journal = true;
  options.crash_ends_process = true;
  std::weak_ptr<PipeTransport> weak_transport = transport;
  std::shared_ptr<RendererRuntime> runtime = RendererRuntime::Create(
      app,
      [weak_transport](const ChannelFrame& frame) {
        std::shared_ptr<PipeTransport> pipe = weak_transport.lock();
        return pipe && pipe->Send(frame);
      },
      options);
  if (!runtime->Attach()) {
    transport->Stop();
    return 1;
  }
  // Hello is the first frame the browser reads from this renderer.
  if (!transport->Send(MakeFrame(FrameType::kHello, 0, 0,
                                 {MakeInt(static_cast<int>(GetCurrentProcessId())), MakeString(GetCommandLineW())}))) {
    LOG(ERROR) << "CefExecuteProcess: the browser's channel closed at once";
  }
  auto delegate = std::make_shared<PipeToRuntime>(runtime);
  if (!transport->Start(delegate)) {
    transport->Stop();
    runtime->Disconnect();
  }
  int exit_code = runtime->Run();
  transport->Stop();
  return exit_code;
}

}  // namespace cefengine
