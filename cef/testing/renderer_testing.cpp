#include "testing/renderer_testing.h"

#include <algorithm>

#include "engine/browser_impl.h"
#include "engine/browser_registry.h"
#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/renderer_launch.h"
#include "engine/renderer_link.h"
#include "engine/renderer_relay.h"
#include "engine/renderer_runtime.h"
#include "engine/values_impl.h"

namespace cefengine {
namespace test {

namespace {

const DWORD kHarnessWaitMs = 5000;
const DWORD kRendererCallWaitMs = 10000;

RendererCommand MakeCommand(RendererOp op, const std::string& path, std::vector<PageValue> args) {
  RendererCommand command;
  command.op = op;
  command.path = path;
  command.args = std::move(args);
  return command;
}

RendererCallResult CommandOverLink(int browser_id, int64 frame_id, const RendererCommand& command) {
  RendererCallResult result;
  ValueData answer;
  if (!RunRendererCommandOf(browser_id, frame_id, EncodeRendererCommand(command), &answer,
                            Paced(kRendererCallWaitMs)) ||
      !DecodeCallResult(answer, &result)) {
    LOG(WARNING) << "RendererCall: no answer from the renderer of browser " << browser_id;
    return RendererCallResult();
  }
  return result;
}

ValueData ListOf(CefRefPtr<CefListValue> list) {
  ValueData data;
  if (!ListDataOf(list, &data))
    data = MakeListValue({});
  return data;
}

std::wstring Wide(const std::string& text) {
  return CefString(text).ToWString();
}

SentMessage MessageOf(const ChannelFrame& frame) {
  SentMessage message;
  message.browser = frame.browser_id;
  message.name = CefString(frame.StringAt(0)).ToString();
  const ValueData* args = frame.At(1);
  std::shared_ptr<ListData> list =
      args && args->type == VTYPE_LIST && args->list ? CopyValue(*args).list : std::make_shared<ListData>();
  message.args = MakeList(list, true);
  return message;
}

}  // namespace

RendererHarness::RendererHarness(CefRefPtr<CefApp> app, CefRefPtr<CefListValue> extra_info)
    : outbox_(std::make_shared<Outbox>()) {
  std::weak_ptr<Outbox> outbox = outbox_;
  RendererRuntimeOptions options;
  options.exit_without_browsers = false;
  runtime_ = RendererRuntime::Create(
      app,
      [outbox](const ChannelFrame& frame) {
        std::shared_ptr<Outbox> box = outbox.lock();
        std::string bytes;
        size_t consumed = 0;
        ChannelFrame copy;
        if (!box || !EncodeFrame(frame, &bytes) ||
            DecodeFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &consumed, &copy) !=
                DecodeStatus::kFrame)
          return false;
        std::lock_guard<std::mutex> lock(box->mutex);
        if (box->fail_sends && copy.type == FrameType::kRendererMessage)
          return false;
        box->frames.push_back(std::move(copy));
        return true;
      },
      options);
  if (!StartRendererThread(runtime_, &thread_)) {
    LOG(ERROR) << "RendererHarness: the renderer thread did not start";
    runtime_ = nullptr;
    return;
  }
  if (!Send(MakeFrame(FrameType::kInit, 0, 0,
                      {ListOf(extra_info), MakeDictValue({{L"locale", MakeString(L"")}})})))
    LOG(ERROR) << "RendererHarness: Init was not handled";
}

RendererHarness::~RendererHarness() {
  if (runtime_)
    runtime_->Deliver(MakeFrame(FrameType::kShutdown, 0, 0));
  if (thread_) {
    if (WaitForSingleObject(thread_, Paced(kHarnessWaitMs)) != WAIT_OBJECT_0) {
      LOG(ERROR) << "RendererHarness: the renderer thread did not end; disconnecting it";
      runtime_->Disconnect();
      WaitForSingleObject(thread_, Paced(kHarnessWaitMs));
    }
    CloseHandle(thread_);
  }
}

bool RendererHarness::ok() const {
  return runtime_ && !runtime_->ended();
}

bool RendererHarness::RunOnRenderer(const std::function<void()>& fn) {
  if (!ok())
    return false;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // The event is closed only once the task ran or can no longer run.
  auto state = std::make_shared<std::pair<HANDLE, std::function<void()>>>(done, fn);
  bool posted = runtime_->RunOnRenderer([state] {
    if (state->second)
      state->second();
    SetEvent(state->first);
  });
  bool ran = posted && WaitForSingleObject(done, Paced(kHarnessWaitMs)) == WAIT_OBJECT_0;
  if (ran || !posted)
    CloseHandle(done);
  // A task that did not run in time keeps its (then leaked) event: closing it under the task would be unsafe.
  return ran;
}

bool RendererHarness::Send(const ChannelFrame& frame) {
  ChannelFrame copy;
  std::string bytes;
  size_t consumed = 0;
  if (!ok() || !EncodeFrame(frame, &bytes) ||
      DecodeFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &consumed, &copy) !=
          DecodeStatus::kFrame)
    return false;
  return runtime_->Deliver(copy) && RunOnRenderer(nullptr);
}

bool RendererHarness::AddBrowser(int browser_id, bool is_popup) {
  return Send(MakeFrame(FrameType::kBrowserCreated, browser_id, 0, {MakeBool(is_popup)}));
}

bool RendererHarness::Commit(int browser_id, const std::vector<CommitFrame>& frames) {
  return CommitFrames(browser_id, frames, false);
}

bool RendererHarness::Release(int64 frame_id) {
  return ReleaseFrame(frame_id, false);
}

bool RendererHarness::CommitNow(int browser_id, const std::vector<CommitFrame>& frames) {
  return CommitFrames(browser_id, frames, true);
}

bool RendererHarness::ReleaseNow(int64 frame_id) {
  return ReleaseFrame(frame_id, true);
}

bool RendererHarness::SendOrHandle(const ChannelFrame& frame, bool now) {
  if (!now)
    return Send(frame);
  return ok() && runtime_->HandleNested(frame);
}

bool RendererHarness::CommitFrames(int browser_id, const std::vector<CommitFrame>& frames, bool now) {
  int64 main_id = 0;
  for (const auto& item : main_frames_)
    if (item.first == browser_id)
      main_id = item.second;
  for (const CommitFrame& frame : frames) {
    if (frame.is_main) {
      main_id = frame.id;
      main_frames_.erase(std::remove_if(main_frames_.begin(), main_frames_.end(),
                                        [browser_id](const std::pair<int, int64>& item) {
                                          return item.first == browser_id;
                                        }),
                         main_frames_.end());
      main_frames_.emplace_back(browser_id, main_id);
    }
    int64 parent = frame.is_main ? 0 : (frame.parent ? frame.parent : main_id);
    frame_browsers_.emplace_back(frame.id, browser_id);
    if (!SendOrHandle(MakeFrame(FrameType::kCommit, browser_id, frame.id,
                                {MakeDouble(static_cast<double>(parent)), MakeString(Wide(frame.name)),
                                 MakeString(Wide(frame.url)), MakeBool(frame.is_main), MakeString(L""),
                                 MakeListValue({}), MakeInt(FOCUS_NONE)}),
                      now))
      return false;
  }
  return true;
}

bool RendererHarness::ReleaseFrame(int64 frame_id, bool now) {
  for (auto it = frame_browsers_.rbegin(); it != frame_browsers_.rend(); ++it)
    if (it->first == frame_id)
      return SendOrHandle(MakeFrame(FrameType::kFrameGone, it->second, frame_id), now);
  LOG(WARNING) << "RendererHarness::Release: frame " << frame_id << " was never committed";
  return false;
}

bool RendererHarness::Deliver(int browser_id, const std::string& name, CefRefPtr<CefListValue> args) {
  return Send(MakeFrame(FrameType::kProcessMessage, browser_id, 0, {MakeString(Wide(name)), ListOf(args)}));
}

bool RendererHarness::Focus(int browser_id, int64 frame_id, FocusState state) {
  return Send(MakeFrame(FrameType::kFocus, browser_id, frame_id, {MakeInt(state)}));
}

bool RendererHarness::ExecuteJavaScript(int browser_id, int64 frame_id, const std::string& code) {
  return Send(MakeFrame(FrameType::kExecuteJavaScript, browser_id, frame_id,
                        {MakeString(Wide(code)), MakeString(L""), MakeInt(0)}));
}

bool RendererHarness::DestroyBrowser(int browser_id) {
  return Send(MakeFrame(FrameType::kBrowserDestroyed, browser_id, 0));
}

RendererCallResult RendererHarness::Command(int browser_id, int64 frame_id, const RendererCommand& command) {
  int id = ++next_command_;
  RendererCallResult result;
  if (!Send(MakeFrame(FrameType::kTest, browser_id, frame_id, {MakeInt(id), EncodeRendererCommand(command)})))
    return result;
  std::lock_guard<std::mutex> lock(outbox_->mutex);
  for (auto it = outbox_->frames.begin(); it != outbox_->frames.end(); ++it) {
    if (it->type == FrameType::kTestResult && it->IntAt(0) == id) {
      const ValueData* answer = it->At(1);
      if (!answer || !DecodeCallResult(*answer, &result))
        result = RendererCallResult();
      outbox_->frames.erase(it);
      break;
    }
  }
  return result;
}

RendererCallResult RendererHarness::RendererCall(int browser_id, int64 frame_id, const std::string& path,
                                                 const std::vector<PageValue>& args) {
  return Command(browser_id, frame_id, MakeCommand(RendererOp::kCall, path, args));
}

RendererCallResult RendererHarness::RendererGet(int browser_id, int64 frame_id, const std::string& path) {
  return Command(browser_id, frame_id, MakeCommand(RendererOp::kGet, path, {}));
}

RendererCallResult RendererHarness::RendererAssign(int browser_id, int64 frame_id, const std::string& path,
                                                   const PageValue& value) {
  return Command(browser_id, frame_id, MakeCommand(RendererOp::kAssign, path, {value}));
}

std::vector<ChannelFrame> RendererHarness::TakeFrames() {
  std::lock_guard<std::mutex> lock(outbox_->mutex);
  std::vector<ChannelFrame> frames;
  frames.swap(outbox_->frames);
  return frames;
}

std::vector<SentMessage> RendererHarness::TakeSent() {
  std::vector<SentMessage> sent;
  std::lock_guard<std::mutex> lock(outbox_->mutex);
  std::vector<ChannelFrame> kept;
  for (ChannelFrame& frame : outbox_->frames) {
    if (frame.type == FrameType::kRendererMessage)
      sent.push_back(MessageOf(frame));
    else
      kept.push_back(std::move(frame));
  }
  outbox_->frames.swap(kept);
  return sent;
}

void RendererHarness::FailSends(bool fail) {
  std::lock_guard<std::mutex> lock(outbox_->mutex);
  outbox_->fail_sends = fail;
}

void SetInProcessRendererApp(CefRefPtr<CefApp> app) {
  if (app) {
    SetInProcessRendererApplication(app);
    SetRendererMode(RendererMode::kInProcess);
    return;
  }
  StopInProcessRenderer();
  SetInProcessRendererApplication(nullptr);
  if (GetRendererMode() == RendererMode::kInProcess)
    ResetRendererMode();
}

bool CrashRenderer(CefRefPtr<CefBrowser> browser) {
  return browser && CrashRenderer(browser->GetIdentifier());
}

bool CrashRenderer(int browser_id) {
  return CrashRendererOf(browser_id);
}

bool FocusNode(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, FocusState state) {
  if (!browser || !frame || state < FOCUS_NONE || state > FOCUS_PLAIN)
    return false;
  CefRefPtr<BrowserImpl> impl = FindBrowser(browser->GetIdentifier());
  if (!impl || !impl->relay())
    return false;
  // Only a frame the browser has now; the renderer would drop a change in a frame it does not know.
  CefRefPtr<CefFrame> own = impl->GetFrame(frame->GetIdentifier());
  if (!own || !own->IsValid())
    return false;
  return impl->relay()->Send(MakeFrame(FrameType::kFocus, browser->GetIdentifier(), frame->GetIdentifier(),
                                       {MakeInt(state)}));
}

DWORD RendererProcessId(CefRefPtr<CefBrowser> browser) {
  return browser ? RendererProcessId(browser->GetIdentifier()) : 0;
}

DWORD RendererProcessId(int browser_id) {
  return RendererProcessIdOf(browser_id);
}

std::vector<ChildProcess> ChildProcesses() {
  return ChildProcessRecords();
}

RendererCallResult RendererCallOverChannel(int browser_id, int64 frame_id, const std::string& path,
                                           const std::vector<PageValue>& args) {
  return CommandOverLink(browser_id, frame_id, MakeCommand(RendererOp::kCall, path, args));
}

RendererCallResult RendererGetOverChannel(int browser_id, int64 frame_id, const std::string& path) {
  return CommandOverLink(browser_id, frame_id, MakeCommand(RendererOp::kGet, path, {}));
}

RendererCallResult RendererAssignOverChannel(int browser_id, int64 frame_id, const std::string& path,
                                             const PageValue& value) {
  return CommandOverLink(browser_id, frame_id, MakeCommand(RendererOp::kAssign, path, {value}));
}

std::vector<int64_t> PingRenderer(int browser_id, int count) {
  std::vector<int64_t> round_trips;
  int64_t round_trip = 0;
  while (static_cast<int>(round_trips.size()) < count && PingRendererOf(browser_id, 5000, &round_trip))
    round_trips.push_back(round_trip);
  return round_trips;
}

std::vector<SentMessage> SentToBrowser(int browser_id) {
  std::vector<SentMessage> sent;
  for (const ChannelFrame& frame : FramesFromRenderer(browser_id, false))
    sent.push_back(MessageOf(frame));
  return sent;
}

void SetScriptHook(std::function<void(int browser_id, int64 frame_id, const std::string& code)> hook) {
  if (!hook) {
    cefengine::SetScriptHook(nullptr);
    return;
  }
  cefengine::SetScriptHook([hook](int browser_id, int64 frame_id, const std::wstring& code) {
    hook(browser_id, frame_id, CefString(code).ToString());
  });
}

}  // namespace test
}  // namespace cefengine
