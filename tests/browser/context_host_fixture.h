// The browser process as the host sees it: the real main context (CEF started through it, its
// channel, its root-window manager), a main loop on the test thread and a host end of the
// channel that records the events it gets. Root windows are whatever RootWindow::Create of the
// test executable makes.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/host_protocol.h"
#include "browser/main_context_impl.h"
#include "browser/main_message_loop_multithreaded_win.h"
#include "browser/root_window_manager.h"
#include "channel/channel.h"
#include "include/cef_app.h"
#include "testing/cefengine_testing.h"
#include "tests/browser/function_task.h"
#include "tests/browser/payload_items.h"
#include "tests/browser/switch_app.h"

namespace host_test {

namespace test = cefengine::test;

using ::FunctionTask;
using ::SwitchApp;

// The main loop, counting the requests to quit.
class CountingLoop : public client::MainMessageLoopMultithreadedWin {
 public:
  void Quit() override {
    ++quits;
    MainMessageLoopMultithreadedWin::Quit();
  }
  std::atomic<int> quits{0};
};

// One event the host end received.
struct HostEvent {
  uint32_t view = 0;
  uint32_t code = 0;
  std::vector<client::PayloadItem> items;
};

// The host's end of the channel, on the test thread.
class HostEnd : public IChannelListener {
 public:
  explicit HostEnd(const std::wstring& id) {
    channel_.InitStub(id.c_str());
    channel_.AddListener(this);
  }
  ~HostEnd() override { channel_.Unit(); }

  void OnMessageReceived(const IPC::Message& message) override {
    HostEvent event;
    event.view = client::ViewOfType(message.GetType());
    event.code = client::CodeOfType(message.GetType());
    if (const client::ProtocolEntry* entry = client::FindHostEvent(event.code))
      event.items = client::DecodePayload(message, entry->layout);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(event);
    }
    if (on_event) on_event(event);
  }
  int GetRoutingId() override { return kRoutingIdHost; }

  // Runs on the test thread after each event is recorded; inside the browser's send for a
  // synchronous event. Set it before the events come.
  std::function<void(const HostEvent&)> on_event;

  std::vector<HostEvent> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<HostEvent> EventsOf(uint32_t code) {
    std::vector<HostEvent> out;
    for (const HostEvent& e : Events())
      if (e.code == code) out.push_back(e);
    return out;
  }
  bool WaitFor(uint32_t code, size_t count, int timeout_ms = 5000) {
    return test::WaitFor([&] { return EventsOf(code).size() >= count; }, timeout_ms);
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }
  CChannel& channel() { return channel_; }

 private:
  CChannel channel_;
  std::mutex mutex_;
  std::vector<HostEvent> events_;
};

class ContextFixture : public ::testing::Test {
 protected:
  void SetUp() override { loop_.reset(new CountingLoop()); }

  void TearDown() override {
    host_.reset();
    context_.reset();
    loop_.reset();
    test::ResetNetwork();
  }

  // The context over a process command line holding `switches` ("--a=1 --b").
  void MakeContext(const std::wstring& switches = L"") {
    command_line_ = CefCommandLine::CreateCommandLine();
    command_line_->InitFromString(L"brivelo.exe " + switches);
    context_.reset(new client::MainContextImpl(command_line_, true));
  }

  // Initialises the context (CEF included) with a channel id of this test; the host end then
  // connects to the channel name the context chose.
  bool Start(CefRefPtr<CefApp> app = nullptr, const std::wstring& channel_name = L"") {
    if (!context_) MakeContext();
    static int counter = 0;
    channel_id_ = L"core-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    CefSettings settings;
    context_->PopulateSettings(CefString(), &settings);
    CefString(&settings.cache_path) = "";  // keep the engine off the disk
    started_ = context_->Initialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, app, nullptr, channel_id_);
    if (started_) host_.reset(new HostEnd(channel_name.empty() ? channel_id_ : channel_name));
    return started_;
  }

  // Runs body on the main thread inside the main loop (waits there pump the loop's tasks);
  // then the context shuts down, inside the loop, and the loop ends.
  void RunInLoop(std::function<void()> body) {
    loop_->PostTask(new FunctionTask([&] {
      body();
      if (started_) context_->Shutdown();
      started_ = false;
      loop_->MainMessageLoopMultithreadedWin::Quit();
    }));
    loop_->Run();
  }

  client::RootWindowManager* manager() { return context_->GetRootWindowManager(); }

  // Time for an event or answer that must not come (pumping meanwhile).
  static void Settle(int ms = 300) { test::WaitFor([] { return false; }, ms); }

  // A host command as the host encodes it.
  static IPC::Message Command(uint32_t type, const std::vector<client::PayloadItem>& items = {}) {
    IPC::Message message;
    EXPECT_TRUE(client::MakeCommand(type & 0xFF00u, static_cast<client::HostCommand>(type & 0xFFu), items, &message));
    message.SetHeaderValues(kRoutingIdBrowser, type, client::kHostMessagePriority);
    return message;
  }
  void Dispatch(uint32_t type, const std::vector<client::PayloadItem>& items = {}) {
    context_->OnMessageReceived(Command(type, items));
  }

  std::unique_ptr<CountingLoop> loop_;
  CefRefPtr<CefCommandLine> command_line_;
  std::unique_ptr<client::MainContextImpl> context_;
  std::unique_ptr<HostEnd> host_;
  std::wstring channel_id_;
  bool started_ = false;
};

// Items for commands.
using payload_items::Bool;
using payload_items::Int;
using payload_items::Int64;
using payload_items::Text;

}  // namespace host_test
