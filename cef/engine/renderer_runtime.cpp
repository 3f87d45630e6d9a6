#include "engine/renderer_runtime.h"

#include <process.h>

#include <mutex>

#include "engine/dom_node.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/process_message_impl.h"
#include "engine/renderer_call.h"
#include "engine/renderer_launch.h"
#include "engine/task_threads.h"
#include "include/wrapper/cef_closure_task.h"
#include "engine/utf.h"
#include "engine/v8_context.h"


namespace cefengine {

namespace {

std::mutex g_hook_mutex;
ScriptHook* g_hook = nullptr;  // guarded by g_hook_mutex

// A list payload position as its own list data (empty when absent or of another type).
std::shared_ptr<ListData> ListAt(const ChannelFrame& frame, size_t index) {
  const ValueData* v = frame.At(index);
  if (v && v->type == VTYPE_LIST && v->list)
    return CopyValue(*v).list;
  return std::make_shared<ListData>();
}

ValueData JournalEntryValue(const JournalEntry& entry) {
  std::vector<ValueData> args;
  for (const std::string& arg : entry.args)
    args.push_back(MakeString(CefString(arg).ToWString()));
  return MakeDictValue({{L"seq", MakeDouble(static_cast<double>(entry.seq))},
                        {L"thread", MakeString(CefString(entry.thread).ToWString())},
                        {L"kind", MakeString(CefString(entry.kind).ToWString())},
                        {L"frame", MakeDouble(static_cast<double>(entry.frame))},
                        {L"args", MakeListValue(std::move(args))},
                        {L"time", MakeDouble(static_cast<double>(entry.time_us))}});
}

}  // namespace

std::shared_ptr<RendererRuntime> RendererRuntime::Create(CefRefPtr<CefApp> app, Sender sender,
                                                         RendererRuntimeOptions options) {
  return std::shared_ptr<RendererRuntime>(new RendererRuntime(app, std::move(sender), options));
}

RendererRuntime::RendererRuntime(CefRefPtr<CefApp> app, Sender sender, RendererRuntimeOptions options)
    : app_(app), sender_(std::move(sender)), options_(options) {}

bool RendererRuntime::Attach() {
  if (!AdoptCurrentThread(TID_RENDERER)) {
    LOG(ERROR) << "RendererRuntime::Attach: another thread serves the renderer already";
    return false;
  }
  SetJournalProcessForThread('R');
  handler_ = app_ ? app_->GetRenderProcessHandler() : nullptr;
  attached_ = true;
  return true;
}

int RendererRuntime::Run() {
  if (!attached_ || !CurrentlyOn(TID_RENDERER)) {
    LOG(ERROR) << "RendererRuntime::Run called off its attached thread";
    return 1;
  }
  MSG msg;
  while (!ended_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0)
      break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  ended_ = true;
  if (!disconnected_)
    ForwardJournal();
  for (auto& item : browsers_)
    item.second->Invalidate();
  browsers_.clear();
  StopThread(TID_RENDERER, 0);
  SetJournalProcessForThread('\0');
  handler_ = nullptr;
  return disconnected_ ? 0 : exit_code_;
}

bool RendererRuntime::Deliver(const ChannelFrame& frame) {
  std::weak_ptr<RendererRuntime> weak = shared_from_this();
  return RunOnRenderer([weak, frame] {
    if (std::shared_ptr<RendererRuntime> self = weak.lock())
      self->Handle(frame);
  });
}

bool RendererRuntime::RunOnRenderer(std::function<void()> fn) {
  if (!attached_ || ended_)
    return false;
  std::weak_ptr<RendererRuntime> weak = shared_from_this();
  return PostFunction(TID_RENDERER, [weak, fn] {
    std::shared_ptr<RendererRuntime> self = weak.lock();
    if (self && !self->ended_)
      fn();
  });
}

bool RendererRuntime::HandleNested(const ChannelFrame& frame) {
  if (!attached_ || ended_ || !CurrentlyOn(TID_RENDERER) ||
      (frame.type != FrameType::kCommit && frame.type != FrameType::kFrameGone)) {
    LOG(WARNING) << "RendererRuntime: nested " << FrameTypeName(frame.type) << " refused";
    return false;
  }
  Handle(frame);
  return true;
}

void RendererRuntime::Disconnect() {
  disconnected_ = true;
  ended_ = true;
  // Wakes the loop so it sees the end.
  PostFunction(TID_RENDERER, [] {});
}

bool RendererRuntime::SendToBrowser(const ChannelFrame& frame) {
  if (disconnected_)
    return false;
  ForwardJournal();
  if (!sender_ || !sender_(frame)) {
    LOG(WARNING) << "RendererRuntime: the browser is gone; " << FrameTypeName(frame.type) << " not sent";
    return false;
  }
  return true;
}

void RendererRuntime::ForwardJournal() {
  if (!options_.forward_journal || !JournalEnabled() || !sender_)
    return;
  for (const JournalEntry& entry : TakeJournal())
    sender_(MakeFrame(FrameType::kTestEvent, entry.browser, entry.frame, {JournalEntryValue(entry)}));
}

void RendererRuntime::End(int exit_code) {
  exit_code_ = exit_code;
  ended_ = true;
}

void RendererRuntime::Handle(const ChannelFrame& frame) {
  if (ended_)
    return;
  switch (frame.type) {
    case FrameType::kInit:
      OnInit(frame);
      break;
    case FrameType::kBrowserCreated:
      OnBrowserCreated(frame);
      break;
    case FrameType::kShutdown:
      End(0);
      break;
    case FrameType::kTest:
      OnTest(frame);
      break;
    case FrameType::kCrash:
      OnCrash();
      break;
    case FrameType::kPing:
      // Answered from the renderer's thread, as a process message would be.
      SendToBrowser(MakeFrame(FrameType::kPong, frame.browser_id, 0, {MakeInt(frame.IntAt(0))}));
      break;
    case FrameType::kCommit:
    case FrameType::kFrameGone:
    case FrameType::kProcessMessage:
    case FrameType::kExecuteJavaScript:
    case FrameType::kFocus:
    case FrameType::kBrowserDestroyed: {
      auto it = browsers_.find(frame.browser_id);
      if (it == browsers_.end()) {
        LOG(WARNING) << "RendererRuntime: " << FrameTypeName(frame.type) << " for unknown browser "
                     << frame.browser_id << " dropped";
        break;
      }
      CefRefPtr<RendererBrowser> browser = it->second;
      if (frame.type == FrameType::kCommit)
        OnCommit(browser, frame);
      else if (frame.type == FrameType::kFrameGone)
        OnFrameGone(browser, frame);
      else if (frame.type == FrameType::kProcessMessage)
        OnProcessMessage(browser, frame);
      else if (frame.type == FrameType::kExecuteJavaScript)
        OnExecuteJavaScript(browser, frame);
      else if (frame.type == FrameType::kFocus)
        OnFocus(browser, frame);
      else
        OnBrowserDestroyed(browser);
      break;
    }
    default:
      LOG(WARNING) << "RendererRuntime: unexpected " << FrameTypeName(frame.type) << " frame dropped";
      break;
  }
  if (!disconnected_)
    ForwardJournal();
}

void RendererRuntime::OnCrash() {
  Record("RendererCrash");
  if (!options_.crash_ends_process) {
    LOG(WARNING) << "RendererRuntime: Crash ignored by a renderer that does not own its process";
    return;
  }
  ForwardJournal();
  TerminateProcess(GetCurrentProcess(), kRendererCrashExitCode);
}

void RendererRuntime::OnInit(const ChannelFrame& frame) {
  if (initialized_) {
    LOG(WARNING) << "RendererRuntime: second Init ignored";
    return;
  }
  initialized_ = true;
  const ValueData* settings = frame.At(1);
  if (settings && settings->type == VTYPE_DICTIONARY && settings->dict) {
    auto journal = settings->dict->items.find(L"journal");
    if (options_.forward_journal && journal != settings->dict->items.end() && journal->second.type == VTYPE_BOOL)
      EnableJournal(journal->second.b);
  }
  CefRefPtr<CefListValue> extra = MakeList(ListAt(frame, 0), true);
  Record("OnRenderThreadCreated");
  if (handler_)
    handler_->OnRenderThreadCreated(extra);
  Record("OnWebKitInitialized");
  if (handler_)
    handler_->OnWebKitInitialized();
}

void RendererRuntime::OnBrowserCreated(const ChannelFrame& frame) {
  if (browsers_.count(frame.browser_id)) {
    LOG(WARNING) << "RendererRuntime: browser " << frame.browser_id << " exists already";
    return;
  }
  CefRefPtr<RendererBrowser> browser = new RendererBrowser(frame.browser_id, frame.BoolAt(0), shared_from_this());
  browsers_[frame.browser_id] = browser;
  Record("OnBrowserCreated", frame.browser_id);
  if (handler_)
    handler_->OnBrowserCreated(browser.get());
}

void RendererRuntime::OnCommit(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame) {
  int64 frame_id = frame.frame_id;
  bool is_main = frame.BoolAt(3);
  // A new main document replaces every frame of the browser; a sub-frame's, the frame and the frames below it.
  std::vector<CefRefPtr<RendererFrame>> replaced;
  if (is_main) {
    replaced = browser->AllFrames();
  } else if (browser->FindFrame(frame_id)) {
    replaced = browser->Subtree(frame_id);
  }
  ReleaseContexts(browser, replaced);
  for (const auto& old : replaced)
    if (old->GetIdentifier() != frame_id)
      browser->RemoveFrame(old->GetIdentifier());

  CefRefPtr<RendererFrame> target = browser->FrameFor(frame_id);
  int64 parent_id = is_main ? 0 : static_cast<int64>(frame.DoubleAt(0));
  target->Update(parent_id, frame.StringAt(1), frame.StringAt(2), is_main);
  if (frame.IntAt(6) != FOCUS_NONE)
    browser->SetFocusedFrame(frame_id);

  std::vector<std::wstring> scripts;
  if (const ValueData* list = frame.At(5)) {
    if (list->type == VTYPE_LIST && list->list)
      for (const ValueData& item : list->list->items)
        if (item.type == VTYPE_STRING)
          scripts.push_back(item.s);
  }
  CreateContext(browser, target, scripts);
  if (ended_)
    return;
  SendToBrowser(MakeFrame(FrameType::kFrameReady, browser->GetIdentifier(), frame_id));
}

void RendererRuntime::OnFrameGone(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame) {
  std::vector<CefRefPtr<RendererFrame>> gone = browser->Subtree(frame.frame_id);
  ReleaseContexts(browser, gone);
  for (const auto& old : gone)
    browser->RemoveFrame(old->GetIdentifier());
}

void RendererRuntime::ReleaseContexts(CefRefPtr<RendererBrowser> browser,
                                      const std::vector<CefRefPtr<RendererFrame>>& frames) {
  for (const auto& frame : frames) {
    int64 context_id = frame->context_id();
    if (!context_id)
      continue;
    frame->set_context_id(0);
    CefRefPtr<CefV8Context> context = FindContext(context_id);
    Record("OnContextReleased", browser->GetIdentifier(), frame->GetIdentifier());
    if (handler_ && context)
      handler_->OnContextReleased(browser.get(), frame.get(), context);
    ReleaseFrameContext(context_id);
  }
}

void RendererRuntime::CreateContext(CefRefPtr<RendererBrowser> browser, CefRefPtr<RendererFrame> frame,
                                    const std::vector<std::wstring>& scripts) {
  int64 context_id = ++next_context_id_;
  CefRefPtr<CefV8Context> context = CreateFrameContext(context_id, browser.get(), frame.get());
  if (!context) {
    LOG(ERROR) << "RendererRuntime: no script context for frame " << frame->GetIdentifier();
    return;
  }
  frame->set_context_id(context_id);
  context->Enter();
  Record("OnContextCreated", browser->GetIdentifier(), frame->GetIdentifier(), {WideToUtf8(frame->GetURL())});
  if (handler_)
    handler_->OnContextCreated(browser.get(), frame.get(), context);
  for (const std::wstring& script : scripts)
    Record("RunScript", browser->GetIdentifier(), frame->GetIdentifier(), {WideToUtf8(script)});
  context->Exit();
}

void RendererRuntime::OnProcessMessage(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame) {
  std::wstring name = frame.StringAt(0);
  CefRefPtr<CefProcessMessage> message = new ProcessMessageImpl(name, ListAt(frame, 1), true);
  Record("OnProcessMessageReceived", browser->GetIdentifier(), 0, {WideToUtf8(name)});
  bool handled = handler_ && handler_->OnProcessMessageReceived(browser.get(), PID_BROWSER, message);
  if (!handled)
    Record("ProcessMessageUnhandled", browser->GetIdentifier(), 0, {WideToUtf8(name)});
}

void RendererRuntime::OnExecuteJavaScript(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame) {
  RunScriptRequest(browser->GetIdentifier(), frame.frame_id, frame.StringAt(0), frame.StringAt(1), frame.IntAt(2));
}

void RendererRuntime::OnFocus(CefRefPtr<RendererBrowser> browser, const ChannelFrame& frame) {
  CefRefPtr<RendererFrame> target = browser->FindFrame(frame.frame_id);
  if (!target) {
    LOG(WARNING) << "RendererRuntime: focus change in unknown frame " << frame.frame_id << " dropped";
    return;
  }
  int state = frame.IntAt(0);
  browser->SetFocusedFrame(frame.frame_id);
  CefRefPtr<CefDOMNode> node;
  if (state != FOCUS_NONE)
    node = CreateFocusedNode(state == FOCUS_EDITABLE);
  Record("OnFocusedNodeChanged", browser->GetIdentifier(), frame.frame_id,
         {state == FOCUS_NONE ? "none" : state == FOCUS_EDITABLE ? "editable" : "plain"});
  if (handler_)
    handler_->OnFocusedNodeChanged(browser.get(), target.get(), node);
}

void RendererRuntime::OnBrowserDestroyed(CefRefPtr<RendererBrowser> browser) {
  ReleaseContexts(browser, browser->AllFrames());
  browsers_.erase(browser->GetIdentifier());
  browser->Invalidate();
  Record("OnBrowserDestroyed", browser->GetIdentifier());
  if (handler_)
    handler_->OnBrowserDestroyed(browser.get());
  if (browsers_.empty() && options_.exit_without_browsers)
    End(0);
}

void RendererRuntime::OnTest(const ChannelFrame& frame) {
  // Page script played by a test: runs in the frame's current context and always answers, so a waiting browser
  // never stalls (a command that cannot run answers "did not run").
  RendererCallResult result;
  RendererCommand command;
  const ValueData* encoded = frame.At(1);
  if (encoded && DecodeRendererCommand(*encoded, &command))
    result = RunRendererCommand(FindFrameContext(frame.browser_id, frame.frame_id), command);
  else
    LOG(WARNING) << "RendererRuntime: malformed test command dropped";
  SendToBrowser(MakeFrame(FrameType::kTestResult, frame.browser_id, frame.frame_id,
                          {MakeInt(frame.IntAt(0)), EncodeCallResult(result)}));
}

void SetScriptHook(ScriptHook hook) {
  std::lock_guard<std::mutex> lock(g_hook_mutex);
  delete g_hook;
  g_hook = hook ? new ScriptHook(std::move(hook)) : nullptr;
}

void RunScriptRequest(int browser_id, int64 frame_id, const std::wstring& code, const std::wstring& url, int line) {
  Record("ExecuteJavaScript", browser_id, frame_id, {WideToUtf8(code), WideToUtf8(url), std::to_string(line)});
  ScriptHook hook;
  {
    std::lock_guard<std::mutex> lock(g_hook_mutex);
    if (g_hook)
      hook = *g_hook;
  }
  if (hook)
    hook(browser_id, frame_id, code);
}

namespace {

struct ThreadStart {
  std::shared_ptr<RendererRuntime> runtime;
  HANDLE attached;
  bool ok = false;
};

unsigned __stdcall RendererThreadMain(void* param) {
  auto* start = static_cast<ThreadStart*>(param);
  std::shared_ptr<RendererRuntime> runtime = start->runtime;
  bool ok = runtime->Attach();
  start->ok = ok;
  SetEvent(start->attached);  // `start` is gone after this
  if (ok)
    runtime->Run();
  return 0;
}

}  // namespace

bool StartRendererThread(std::shared_ptr<RendererRuntime> runtime, HANDLE* thread) {
  *thread = nullptr;
  ThreadStart start;
  start.runtime = runtime;
  start.attached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  uintptr_t handle = _beginthreadex(nullptr, 0, &RendererThreadMain, &start, 0, nullptr);
  if (!handle) {
    CloseHandle(start.attached);
    LOG(ERROR) << "StartRendererThread: no thread";
    return false;
  }
  WaitForSingleObject(start.attached, INFINITE);
  CloseHandle(start.attached);
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  if (!start.ok) {
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    return false;
  }
  *thread = h;
  return true;
}

}  // namespace cefengine
