#include "engine/renderer_link.h"

#include <process.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

#include "engine/context.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/pipe_transport.h"
#include "engine/renderer_launch.h"
#include "engine/renderer_runtime.h"
#include "engine/task_threads.h"
#include "engine/utf.h"
#include "include/wrapper/cef_closure_task.h"

namespace cefengine {

namespace {

const int kAutomaticMode = -1;
std::atomic<int> g_mode{kAutomaticMode};
std::atomic<bool> g_entry_point{false};

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

// The frames recorded for `browser_id`; `take` empties the record.
std::vector<ChannelFrame> ReadFrameRecord(std::mutex& mutex, std::map<int, std::vector<ChannelFrame>>& record,
                                          int browser_id, bool take) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = record.find(browser_id);
  if (it == record.end())
    return {};
  std::vector<ChannelFrame> frames = it->second;
  if (take)
    it->second.clear();
  return frames;
}

class RecordingLink : public RendererLink {
 public:
  RecordingLink(int browser_id, std::shared_ptr<RendererLinkEvents> events)
      : browser_id_(browser_id), events_(std::move(events)) {}

  bool Send(const ChannelFrame& frame) override {
    {
      std::lock_guard<std::mutex> lock(Records().mutex);
      if (closed_)
        return false;
      Records().frames[browser_id_].push_back(frame);
      if (frame.type != FrameType::kCrash)
        return true;
    }
    // Nothing runs here to crash: the browser side sees the end a crashed renderer would give.
    if (std::shared_ptr<RendererLinkEvents> events = Events(true))
      events->OnRendererTerminated(TS_PROCESS_CRASHED);
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

// --- Live links: a renderer that really runs ---

// Runs `fn` on `id`, or on the calling thread when `id` does not run (an engine that was never started).
void RunStep(CefThreadId id, std::function<void()> fn) {
  if (!PostFunction(id, fn))
    fn();
}

// A copy of `frame` made the way the wire makes it, so both ends never share value data.
bool CopyThroughWire(const ChannelFrame& frame, ChannelFrame* copy) {
  std::string bytes;
  size_t consumed = 0;
  return EncodeFrame(frame, &bytes) &&
         DecodeFrame(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &consumed, copy) ==
             DecodeStatus::kFrame;
}

// The Init frame: the extra info the application filled in and the renderer settings.
ChannelFrame MakeInitFrame(CefRefPtr<CefListValue> extra) {
  ValueData extra_data;
  if (!ListDataOf(extra, &extra_data))
    extra_data = MakeListValue({});
  CefSettings settings = CurrentSettings();
  return MakeFrame(FrameType::kInit, 0, 0,
                   {extra_data, MakeDictValue({{L"locale", MakeString(CurrentLocale())},
                                               {L"uncaught_exception_stack_size",
                                                MakeInt(settings.uncaught_exception_stack_size)},
                                               {L"journal", MakeBool(JournalEnabled())}})});
}

// The owner's Init with this engine's renderer settings added: whether the renderer forwards its journal.
ChannelFrame CompletedInit(const ChannelFrame& init) {
  ChannelFrame frame = init;
  ValueData settings = frame.At(1) ? CopyValue(*frame.At(1)) : MakeDictValue({});
  if (settings.type != VTYPE_DICTIONARY || !settings.dict)
    settings = MakeDictValue({});
  settings.dict->items[L"journal"] = MakeBool(JournalEnabled());
  std::vector<ValueData> items = {frame.At(0) ? CopyValue(*frame.At(0)) : MakeListValue({}), settings};
  frame.payload = MakeListValue(std::move(items));
  return frame;
}

// Asks the application for the renderer's extra info (IO) and returns the Init frame carrying it.
ChannelFrame ExtraInfoInit(int browser_id) {
  CefRefPtr<CefListValue> extra = CefListValue::Create();
  CefRefPtr<CefBrowserProcessHandler> handler = BrowserProcessHandler();
  Record("OnRenderProcessThreadCreated", browser_id);
  if (handler)
    handler->OnRenderProcessThreadCreated(extra);
  return MakeInitFrame(extra);
}

struct FrameRecord {
  std::mutex mutex;
  std::map<int, std::vector<ChannelFrame>> frames;
};

FrameRecord& FromRenderer() {
  static FrameRecord* record = new FrameRecord();
  return *record;
}

FrameRecord& ToRenderer() {
  static FrameRecord* record = new FrameRecord();
  return *record;
}

// What every live link does with a browser->renderer frame: process messages are recorded while the journal is on.
void ObserveToRenderer(int browser_id, const ChannelFrame& frame) {
  if (frame.type != FrameType::kProcessMessage || !JournalEnabled())
    return;
  std::lock_guard<std::mutex> lock(ToRenderer().mutex);
  ToRenderer().frames[browser_id].push_back(frame);
}

struct PendingCommand {
  HANDLE done = nullptr;
  bool answered = false;
  ValueData result;
};

struct PendingCommands {
  std::mutex mutex;
  int next_id = 1 << 20;  // apart from the ids other users of test frames count from 1
  std::map<int, std::shared_ptr<PendingCommand>> pending;
};

PendingCommands& Commands() {
  static PendingCommands* commands = new PendingCommands();
  return *commands;
}

// Hands `result` (when given) to the waiter of request `id` and wakes it; false when no one waits for that id.
bool AnswerPending(int id, const ValueData* result) {
  std::lock_guard<std::mutex> lock(Commands().mutex);
  auto it = Commands().pending.find(id);
  if (it == Commands().pending.end())
    return false;
  if (result)
    it->second->result = *result;
  it->second->answered = true;
  SetEvent(it->second->done);
  Commands().pending.erase(it);
  return true;
}

// What every live link does with a renderer->browser frame before its events see it. True when the link consumed
// the frame: journal entries of the renderer, and answers to commands sent through RunRendererCommandOf.
bool ObserveFromRenderer(int browser_id, const ChannelFrame& frame) {
  if (frame.type == FrameType::kTestResult)
    return AnswerPending(frame.IntAt(0), frame.At(1));
  if (frame.type == FrameType::kTestEvent) {
    const ValueData* entry_value = frame.At(0);
    if (!entry_value || entry_value->type != VTYPE_DICTIONARY || !entry_value->dict)
      return true;
    const auto& items = entry_value->dict->items;
    auto text = [&items](const wchar_t* key) {
      auto it = items.find(key);
      return it != items.end() && it->second.type == VTYPE_STRING ? WideToUtf8(it->second.s) : std::string();
    };
    JournalEntry entry;
    entry.process = 'R';
    entry.thread = text(L"thread");
    entry.kind = text(L"kind");
    entry.browser = frame.browser_id;
    entry.frame = frame.frame_id;
    auto time = items.find(L"time");
    if (time != items.end() && time->second.type == VTYPE_DOUBLE)
      entry.time_us = static_cast<int64_t>(time->second.d);
    auto args = items.find(L"args");
    if (args != items.end() && args->second.type == VTYPE_LIST && args->second.list)
      for (const ValueData& arg : args->second.list->items)
        entry.args.push_back(arg.type == VTYPE_STRING ? WideToUtf8(arg.s) : std::string());
    AppendJournalEntry(std::move(entry));
    return true;
  }
  if (frame.type == FrameType::kRendererMessage && JournalEnabled()) {
    std::lock_guard<std::mutex> lock(FromRenderer().mutex);
    FromRenderer().frames[browser_id].push_back(frame);
  }
  return false;
}

class LiveLink : public RendererLink {
 public:
  explicit LiveLink(int browser_id, std::shared_ptr<RendererLinkEvents> events)
      : browser_id_(browser_id), events_(std::move(events)) {}

  int browser_id() const { return browser_id_; }
  virtual bool Crash() = 0;

  // A frame handed to the events as if the renderer had sent it. False once the link ended.
  bool Inject(const ChannelFrame& frame) {
    if (IsEnded())
      return false;
    Deliver(frame);
    return true;
  }

 protected:
  // The events while the link is open; null once closed or terminated.
  std::shared_ptr<RendererLinkEvents> Events() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return events_;
  }

  void Deliver(const ChannelFrame& frame) {
    if (ObserveFromRenderer(browser_id_, frame))
      return;
    if (std::shared_ptr<RendererLinkEvents> events = Events())
      events->OnRendererFrame(frame);
  }

  // Reports the end once, unless the link was closed first. True when this call ended the link.
  bool Terminate(cef_termination_status_t status) {
    std::shared_ptr<RendererLinkEvents> events;
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      if (ended_)
        return false;
      ended_ = true;
      events.swap(events_);
    }
    Record("RendererTerminated", browser_id_, 0, {std::to_string(static_cast<int>(status))});
    if (events)
      events->OnRendererTerminated(status);
    return true;
  }

  // Marks the link closed; false when Close() came before.
  bool MarkClosed() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    events_.reset();
    bool first = !closed_;
    ended_ = true;
    closed_ = true;
    return first;
  }

  bool IsEnded() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return ended_;
  }

  bool IsClosed() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return closed_;
  }

  const int browser_id_;
  std::mutex state_mutex_;
  bool ended_ = false;   // closed or terminated: no more events
  bool closed_ = false;  // Close() was called
  std::shared_ptr<RendererLinkEvents> events_;

  // Frames before the Init went out wait here, so Init is always the renderer's first frame.
  std::mutex send_mutex_;  // orders every send of the link; taken before state_mutex_ when both are needed
  bool init_sent_ = false;
  std::vector<ChannelFrame> pending_;
};

struct LiveRegistry {
  std::mutex mutex;
  std::map<int, std::weak_ptr<LiveLink>> links;
};

LiveRegistry& Live() {
  static LiveRegistry* registry = new LiveRegistry();
  return *registry;
}

void RegisterLive(const std::shared_ptr<LiveLink>& link) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  Live().links[link->browser_id()] = link;
}

void UnregisterLive(int browser_id, const LiveLink* link) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  auto it = Live().links.find(browser_id);
  if (it != Live().links.end()) {
    std::shared_ptr<LiveLink> current = it->second.lock();
    if (!current || current.get() == link)
      Live().links.erase(it);
  }
}

std::shared_ptr<LiveLink> FindLive(int browser_id) {
  std::lock_guard<std::mutex> lock(Live().mutex);
  auto it = Live().links.find(browser_id);
  return it == Live().links.end() ? nullptr : it->second.lock();
}

std::atomic<int> g_next_renderer{0};

// A renderer sub-process connected over a named pipe.
class SubProcessLink : public LiveLink,
                       public PipeTransport::Delegate,
                       public std::enable_shared_from_this<SubProcessLink> {
 public:
  SubProcessLink(int browser_id, std::shared_ptr<RendererLinkEvents> events)
      : LiveLink(browser_id, std::move(events)), renderer_id_(++g_next_renderer) {}

  ~SubProcessLink() override {
    if (transport_)
      transport_->Stop();
    if (process_)
      CloseHandle(process_);
    CloseHandle(pipe_closed_);
  }

  // Starts listening and the launch: UI (OnBeforeChildProcessLaunch) -> LAUNCHER (CreateProcessW) -> IO
  // (OnRenderProcessThreadCreated, Init).
  void Begin() {
    std::wstring channel = RendererPipeName(renderer_id_);
    transport_ = PipeTransport::Listen(channel);
    std::weak_ptr<SubProcessLink> weak = shared_from_this();
    if (!transport_ || !transport_->Start(weak)) {
      RunStep(TID_IO, [weak] {
        if (auto self = weak.lock())
          self->Terminate(TS_ABNORMAL_TERMINATION);
      });
      return;
    }
    RunStep(TID_UI, [weak, channel] {
      if (auto self = weak.lock())
        self->PrepareOnUi(channel);
    });
  }

  bool Send(const ChannelFrame& frame) override {
    std::lock_guard<std::mutex> send_lock(send_mutex_);
    if (IsEnded())
      return false;
    ObserveToRenderer(browser_id_, frame);
    if (frame.type == FrameType::kBrowserDestroyed || frame.type == FrameType::kShutdown) {
      std::lock_guard<std::mutex> lock(state_mutex_);
      told_to_end_ = true;  // the renderer may now end by itself
    }
    if (!init_sent_) {
      if (frame.type == FrameType::kInit && pending_.empty()) {
        // The owner asked the application for the extra info itself; its Init is the renderer's.
        init_sent_ = true;
        return transport_->Send(CompletedInit(frame));
      }
      pending_.push_back(frame);
      return true;
    }
    return transport_->Send(frame);
  }

  void Close() override {
    if (!MarkClosed())
      return;
    UnregisterLive(browser_id_, this);
    {
      // A renderer that still serves other work ends when told; frames sent earlier go first.
      std::lock_guard<std::mutex> send_lock(send_mutex_);
      if (init_sent_ && transport_)
        (void)transport_->Send(MakeFrame(FrameType::kShutdown, browser_id_, 0));
    }
    std::shared_ptr<SubProcessLink> self = shared_from_this();
    uintptr_t thread = _beginthreadex(nullptr, 0, &SubProcessLink::ReapMain, new std::shared_ptr<SubProcessLink>(self),
                                      0, nullptr);
    if (thread)
      CloseHandle(reinterpret_cast<HANDLE>(thread));
  }

  bool IsConnected() override {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return connected_ && !ended_;
  }

  DWORD ProcessId() override {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return pid_;
  }

  bool Crash() override {
    HANDLE process = ProcessHandle();
    if (!process || IsEnded())
      return false;
    return TerminateProcess(process, kRendererCrashExitCode) != FALSE;
  }

  // PipeTransport::Delegate
  void OnPipeFrame(const ChannelFrame& frame) override {
    if (frame.type == FrameType::kHello) {
      std::wstring line = frame.StringAt(1);
      {
        std::lock_guard<std::mutex> lock(state_mutex_);
        connected_ = true;
      }
      NoteChildHello(renderer_id_, static_cast<DWORD>(frame.IntAt(0)), line);
      Record("ChildProcessStart", browser_id_, 0, {WideToUtf8(line)});
    }
    Deliver(frame);
  }

  void OnPipeClosed(PipeTransport::CloseReason reason) override {
    SetEvent(pipe_closed_);  // every frame the renderer wrote was delivered
    HANDLE process = ProcessHandle();
    DWORD exit_code = STILL_ACTIVE;
    cef_termination_status_t status = TS_ABNORMAL_TERMINATION;
    if (process) {
      // A broken pipe usually means the process is ending; give it a moment to finish.
      DWORD wait = reason == PipeTransport::CloseReason::kBroken ? Paced(kRendererExitWaitMs) : 0;
      if (WaitForSingleObject(process, wait) != WAIT_OBJECT_0) {
        // Silent, hung or talking nonsense: it cannot be served any more.
        TerminateProcess(process, kRendererKilledExitCode);
        WaitForSingleObject(process, Paced(kRendererExitWaitMs));
        GetExitCodeProcess(process, &exit_code);
      } else {
        GetExitCodeProcess(process, &exit_code);
        status = TerminationStatusForExitCode(exit_code);
      }
      NoteChildEnded(renderer_id_, exit_code);
    }
    if (IsClosed())
      return;
    if (exit_code == 0 && ToldToEnd()) {
      // It ended as asked; the link ends without a termination report.
      MarkClosed();
      UnregisterLive(browser_id_, this);
      return;
    }
    LOG(WARNING) << "Renderer " << renderer_id_ << " of browser " << browser_id_ << " ended (exit code " << exit_code
                 << ")";
    Terminate(status);
    UnregisterLive(browser_id_, this);
  }

 private:
  HANDLE ProcessHandle() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return process_;
  }

  bool ToldToEnd() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return told_to_end_;
  }

  void PrepareOnUi(const std::wstring& channel) {
    if (IsEnded())
      return;
    CefRefPtr<CefCommandLine> line = BuildRendererCommandLine(channel, renderer_id_);
    CefRefPtr<CefBrowserProcessHandler> handler = BrowserProcessHandler();
    Record("OnBeforeChildProcessLaunch", browser_id_, 0, {line->GetCommandLineString().ToString()});
    if (handler)
      handler->OnBeforeChildProcessLaunch(line);
    std::wstring command_line = line->GetCommandLineString().ToWString();
    std::weak_ptr<SubProcessLink> weak = shared_from_this();
    RunStep(TID_PROCESS_LAUNCHER, [weak, command_line] {
      if (auto self = weak.lock())
        self->LaunchOnLauncher(command_line);
    });
  }

  void LaunchOnLauncher(const std::wstring& command_line) {
    if (IsEnded())
      return;
    DWORD pid = 0;
    HANDLE process = LaunchRendererProcess(command_line, &pid);
    Record("CreateProcess", browser_id_, 0, {WideToUtf8(command_line), std::to_string(pid)});
    if (!process) {
      Terminate(TS_ABNORMAL_TERMINATION);
      UnregisterLive(browser_id_, this);
      return;
    }
    NoteChildLaunched(browser_id_, renderer_id_, pid, command_line);
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      process_ = process;
      pid_ = pid;
    }
    transport_->SetConnectLimit(process, Paced(kRendererConnectTimeoutMs));
    if (IsClosed()) {
      // Closed while the process started: it gets no Init and is ended by the reaper.
      std::shared_ptr<SubProcessLink> self = shared_from_this();
      uintptr_t thread = _beginthreadex(nullptr, 0, &SubProcessLink::ReapMain,
                                        new std::shared_ptr<SubProcessLink>(self), 0, nullptr);
      if (thread)
        CloseHandle(reinterpret_cast<HANDLE>(thread));
      return;
    }
    std::weak_ptr<SubProcessLink> weak = shared_from_this();
    RunStep(TID_IO, [weak] {
      if (auto self = weak.lock())
        self->InitOnIo();
    });
  }

  void InitOnIo() {
    {
      std::lock_guard<std::mutex> send_lock(send_mutex_);
      if (init_sent_)
        return;
    }
    if (IsEnded())
      return;
    ChannelFrame init = ExtraInfoInit(browser_id_);
    std::lock_guard<std::mutex> send_lock(send_mutex_);
    if (init_sent_)
      return;
    bool ok = transport_->Send(init);
    for (const ChannelFrame& frame : pending_)
      ok = ok && transport_->Send(frame);
    pending_.clear();
    init_sent_ = true;
    if (!ok)
      LOG(WARNING) << "Renderer " << renderer_id_ << ": the channel broke before the renderer started";
  }

  // Waits for a closed renderer to end by itself, ends it otherwise, and lets the pipe go.
  static unsigned __stdcall ReapMain(void* param) {
    auto* holder = static_cast<std::shared_ptr<SubProcessLink>*>(param);
    std::shared_ptr<SubProcessLink> self = *holder;
    delete holder;
    HANDLE process = self->ProcessHandle();
    if (process) {
      if (WaitForSingleObject(process, Paced(kRendererExitWaitMs)) == WAIT_OBJECT_0) {
        // What it wrote before it ended (its last journal entries) may still wait in the pipe: the reader takes it
        // all before it sees the pipe break.
        WaitForSingleObject(self->pipe_closed_, Paced(kRendererExitWaitMs));
      } else {
        TerminateProcess(process, kRendererKilledExitCode);
        WaitForSingleObject(process, Paced(kRendererExitWaitMs));
      }
      DWORD exit_code = 0;
      GetExitCodeProcess(process, &exit_code);
      NoteChildEnded(self->renderer_id_, exit_code);
    }
    if (self->transport_)
      self->transport_->Stop();
    return 0;
  }

  const int renderer_id_;
  std::shared_ptr<PipeTransport> transport_;  // set in Begin(), before any other thread sees the link
  // Guarded by state_mutex_.
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  bool connected_ = false;
  bool told_to_end_ = false;  // BrowserDestroyed or Shutdown went out
  const HANDLE pipe_closed_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // set by OnPipeClosed
};

// The renderer thread of this process that every in-process link shares.
struct InProcessRenderer {
  std::mutex mutex;
  CefRefPtr<CefApp> app;
  std::shared_ptr<RendererRuntime> runtime;
  HANDLE thread = nullptr;
  bool init_sent = false;  // the runtime got its Init
  std::map<int, std::weak_ptr<LiveLink>> links;
};

InProcessRenderer& InProcess() {
  static InProcessRenderer* renderer = new InProcessRenderer();
  return *renderer;
}

bool RouteFromInProcessRenderer(const ChannelFrame& frame);

class InProcessLink : public LiveLink, public std::enable_shared_from_this<InProcessLink> {
 public:
  using LiveLink::LiveLink;

  void Begin() {
    std::weak_ptr<InProcessLink> weak = shared_from_this();
    RunStep(TID_IO, [weak] {
      if (auto self = weak.lock())
        self->StartOnIo();
    });
  }

  bool Send(const ChannelFrame& frame) override {
    std::lock_guard<std::mutex> send_lock(send_mutex_);
    if (IsEnded())
      return false;
    ObserveToRenderer(browser_id_, frame);
    if (frame.type == FrameType::kCrash)
      return Crash();  // the shared thread serves other browsers: only this one is cut off
    if (!init_sent_) {
      if (frame.type == FrameType::kInit && pending_.empty())
        owner_init_ = true;
      pending_.push_back(frame);
      return true;
    }
    if (frame.type == FrameType::kInit)
      return true;  // the shared renderer was initialised already
    return Forward(frame);
  }

  void Close() override {
    MarkClosed();
    UnregisterLive(browser_id_, this);
    std::lock_guard<std::mutex> lock(InProcess().mutex);
    auto it = InProcess().links.find(browser_id_);
    if (it != InProcess().links.end() && it->second.lock().get() == this)
      InProcess().links.erase(it);
  }

  bool IsConnected() override {
    std::lock_guard<std::mutex> lock(state_mutex_);
    return connected_ && !ended_;
  }

  DWORD ProcessId() override { return 0; }

  bool Crash() override {
    if (!Terminate(TS_PROCESS_CRASHED))
      return false;
    UnregisterLive(browser_id_, this);
    return true;
  }

  void FromRenderer(const ChannelFrame& frame) { Deliver(frame); }

 private:
  bool Forward(const ChannelFrame& frame) {
    ChannelFrame copy;
    if (!CopyThroughWire(frame, &copy))
      return false;
    std::shared_ptr<RendererRuntime> runtime;
    {
      std::lock_guard<std::mutex> lock(InProcess().mutex);
      runtime = InProcess().runtime;
    }
    return runtime && runtime->Deliver(copy);
  }

  // IO: starts the shared renderer thread when needed (its Init carries the application's extra info), then lets
  // this link's frames through and tells the browser side the renderer is there.
  void StartOnIo() {
    if (IsEnded())
      return;
    std::shared_ptr<InProcessLink> self = shared_from_this();
    bool started = false;
    bool need_init = false;
    {
      InProcessRenderer& renderer = InProcess();
      std::unique_lock<std::mutex> lock(renderer.mutex);
      if (!renderer.runtime || renderer.runtime->ended()) {
        if (renderer.thread) {
          CloseHandle(renderer.thread);
          renderer.thread = nullptr;
        }
        RendererRuntimeOptions options;
        options.exit_without_browsers = false;
        renderer.runtime = RendererRuntime::Create(renderer.app, &RouteFromInProcessRenderer, options);
        renderer.init_sent = false;
        std::shared_ptr<RendererRuntime> runtime = renderer.runtime;
        lock.unlock();
        HANDLE thread = nullptr;
        started = StartRendererThread(runtime, &thread);
        lock.lock();
        renderer.thread = thread;
        if (!started)
          renderer.runtime = nullptr;
      } else {
        started = true;
      }
      if (started) {
        renderer.links[browser_id_] = self;
        need_init = !renderer.init_sent;
        renderer.init_sent = true;
      }
    }
    if (!started) {
      Terminate(TS_ABNORMAL_TERMINATION);
      UnregisterLive(browser_id_, this);
      return;
    }
    bool owner_init;
    {
      std::lock_guard<std::mutex> send_lock(send_mutex_);
      owner_init = owner_init_;
    }
    // IO steps run one after another, so the first link's Init reaches the renderer before any other link's frames.
    if (need_init && !owner_init)
      Forward(ExtraInfoInit(browser_id_));
    {
      std::lock_guard<std::mutex> send_lock(send_mutex_);
      for (const ChannelFrame& frame : pending_)
        if (frame.type != FrameType::kInit || need_init)
          Forward(frame);
      pending_.clear();
      init_sent_ = true;
    }
    {
      std::lock_guard<std::mutex> lock(state_mutex_);
      connected_ = true;
    }
    Deliver(MakeFrame(FrameType::kHello, browser_id_, 0, {MakeInt(0), MakeString(L"")}));
  }

  bool connected_ = false;  // guarded by state_mutex_
  bool owner_init_ = false;  // guarded by send_mutex_: the owner's first frame was its own Init
};

bool RouteFromInProcessRenderer(const ChannelFrame& frame) {
  ChannelFrame copy;
  if (!CopyThroughWire(frame, &copy))
    return false;
  std::shared_ptr<LiveLink> link;
  {
    std::lock_guard<std::mutex> lock(InProcess().mutex);
    auto it = InProcess().links.find(frame.browser_id);
    if (it != InProcess().links.end())
      link = it->second.lock();
  }
  auto* in_process = dynamic_cast<InProcessLink*>(link.get());
  if (in_process)
    in_process->FromRenderer(copy);
  return in_process != nullptr;
}

std::shared_ptr<RendererLink> CreateSubProcessLink(int browser_id, std::shared_ptr<RendererLinkEvents> events) {
  auto link = std::make_shared<SubProcessLink>(browser_id, std::move(events));
  RegisterLive(link);
  link->Begin();
  return link;
}

std::shared_ptr<RendererLink> CreateInProcessLink(int browser_id, std::shared_ptr<RendererLinkEvents> events) {
  auto link = std::make_shared<InProcessLink>(browser_id, std::move(events));
  RegisterLive(link);
  link->Begin();
  return link;
}

}  // namespace

void SetRendererMode(RendererMode mode) {
  g_mode = static_cast<int>(mode);
}

void ResetRendererMode() {
  g_mode = kAutomaticMode;
}

RendererMode GetRendererMode() {
  int mode = g_mode.load();
  if (mode != kAutomaticMode)
    return static_cast<RendererMode>(mode);
  if (g_entry_point.load())
    return RendererMode::kSubProcess;
  if (IsInitialized()) {
    CefSettings settings = CurrentSettings();
    if (settings.browser_subprocess_path.length)
      return RendererMode::kSubProcess;
  }
  return RendererMode::kRecording;
}

void NoteRendererEntryPoint() {
  g_entry_point = true;
}

std::shared_ptr<RendererLink> CreateRendererLink(int browser_id, std::shared_ptr<RendererLinkEvents> events) {
  switch (GetRendererMode()) {
    case RendererMode::kSubProcess:
      return CreateSubProcessLink(browser_id, std::move(events));
    case RendererMode::kInProcess:
      return CreateInProcessLink(browser_id, std::move(events));
    case RendererMode::kRecording:
      break;
  }
  auto link = std::make_shared<RecordingLink>(browser_id, std::move(events));
  std::lock_guard<std::mutex> lock(Records().mutex);
  Records().open[browser_id] = link;
  return link;
}

std::vector<ChannelFrame> RecordedFrames(int browser_id, bool take) {
  return ReadFrameRecord(Records().mutex, Records().frames, browser_id, take);
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

namespace cefengine {

void SetInProcessRendererApplication(CefRefPtr<CefApp> app) {
  std::lock_guard<std::mutex> lock(InProcess().mutex);
  InProcess().app = app;
}

void StopInProcessRenderer() {
  std::shared_ptr<RendererRuntime> runtime;
  HANDLE thread = nullptr;
  {
    std::lock_guard<std::mutex> lock(InProcess().mutex);
    runtime.swap(InProcess().runtime);
    std::swap(thread, InProcess().thread);
    InProcess().links.clear();
    InProcess().init_sent = false;
  }
  if (runtime)
    runtime->Disconnect();
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

bool CrashRendererOf(int browser_id) {
  std::shared_ptr<LiveLink> link = FindLive(browser_id);
  return link && link->Crash();
}

DWORD RendererProcessIdOf(int browser_id) {
  std::shared_ptr<LiveLink> link = FindLive(browser_id);
  return link ? link->ProcessId() : 0;
}

// Sends `make(id)` for a new request id to `browser_id`'s live renderer and waits at most `timeout_ms` for
// AnswerPending of that id; its result in *result. False when there is no live link or no answer came.
static bool AwaitRenderer(int browser_id, const std::function<ChannelFrame(int id)>& make, DWORD timeout_ms,
                          ValueData* result) {
  std::shared_ptr<LiveLink> link = FindLive(browser_id);
  if (!link)
    return false;
  auto pending = std::make_shared<PendingCommand>();
  pending->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int id;
  {
    std::lock_guard<std::mutex> lock(Commands().mutex);
    id = Commands().next_id++;
    Commands().pending[id] = pending;
  }
  bool answered = link->Send(make(id)) && WaitForSingleObject(pending->done, timeout_ms) == WAIT_OBJECT_0;
  {
    std::lock_guard<std::mutex> lock(Commands().mutex);
    Commands().pending.erase(id);
    answered = pending->answered;
    if (answered)
      *result = pending->result;
  }
  CloseHandle(pending->done);
  return answered;
}

bool RunRendererCommandOf(int browser_id, int64 frame_id, const ValueData& command, ValueData* result,
                          DWORD timeout_ms) {
  return AwaitRenderer(
      browser_id,
      [&](int id) { return MakeFrame(FrameType::kTest, browser_id, frame_id, {MakeInt(id), command}); },
      timeout_ms, result);
}

bool PingRendererOf(int browser_id, DWORD timeout_ms, int64_t* round_trip_us) {
  const int64_t sent = JournalTimeUs();
  ValueData answered_at;
  if (!AwaitRenderer(
          browser_id, [&](int id) { return MakeFrame(FrameType::kPing, browser_id, 0, {MakeInt(id)}); }, timeout_ms,
          &answered_at))
    return false;
  *round_trip_us = static_cast<int64_t>(answered_at.d) - sent;
  return true;
}

void AnswerRendererPing(int request_id) {
  const ValueData now = MakeDouble(static_cast<double>(JournalTimeUs()));
  (void)AnswerPending(request_id, &now);
}

std::vector<ChannelFrame> FramesFromRenderer(int browser_id, bool take) {
  return ReadFrameRecord(FromRenderer().mutex, FromRenderer().frames, browser_id, take);
}

std::vector<ChannelFrame> FramesToRenderer(int browser_id, bool take) {
  return ReadFrameRecord(ToRenderer().mutex, ToRenderer().frames, browser_id, take);
}

bool InjectIntoLiveLink(const ChannelFrame& frame) {
  std::shared_ptr<LiveLink> link = FindLive(frame.browser_id);
  return link && link->Inject(frame);
}

}  // namespace cefengine
