// The browser side of real renderer processes: links in sub-process mode launch cef_subprocess_probe.exe (beside
// the test executable) as the renderer and talk to it over the pipe.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/channel_frame.h"
#include "engine/renderer_launch.h"
#include "engine/renderer_link.h"
#include "engine/values_impl.h"
#include "include/cef_app.h"
#include "include/cef_browser_process_handler.h"
#include "testing/cefengine_testing.h"
#include "testing/page_script.h"
#include "testing/renderer_testing.h"
#include "tests/cef/probe_paths.h"
#include "tests/cef/renderer_link_events.h"

namespace cefengine {
namespace {

const int kWaitMs = 20000;

class LaunchHandler : public CefBrowserProcessHandler {
 public:
  void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) override {
    on_ui = CefCurrentlyOn(TID_UI);
    command_line->AppendSwitch("probe-marker");
    if (!replacement_program.empty())
      command_line->SetProgram(replacement_program);
    if (no_connect)
      command_line->AppendSwitch("probe-exit-at-once");
  }
  void OnRenderProcessThreadCreated(CefRefPtr<CefListValue> extra_info) override {
    on_io = CefCurrentlyOn(TID_IO);
    ++extra_calls;
    extra_info->SetString(0, "extra-text");
    extra_info->SetInt(1, 42);
  }
  std::wstring replacement_program;
  bool no_connect = false;
  int extra_calls = 0;
  bool on_ui = false;
  bool on_io = false;
  IMPLEMENT_REFCOUNTING(LaunchHandler);
};

class BrowserApp : public CefApp {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return handler; }
  CefRefPtr<LaunchHandler> handler = new LaunchHandler();
  IMPLEMENT_REFCOUNTING(BrowserApp);
};

ChannelFrame Message(int browser, const std::wstring& name, std::vector<ValueData> args) {
  return MakeFrame(FrameType::kProcessMessage, browser, 0, {MakeString(name), MakeListValue(std::move(args))});
}

ChannelFrame MainCommit(int browser, int64 frame, const std::wstring& url) {
  return MakeFrame(FrameType::kCommit, browser, frame,
                   {MakeDouble(0), MakeString(L""), MakeString(url), MakeBool(true), MakeString(L"title"),
                    MakeListValue({MakeString(L"var inline = 1;")}), MakeInt(FOCUS_NONE)});
}

class RendererProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnableJournal();
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    CefString(&settings.browser_subprocess_path) = probe_paths::SubprocessProbePath();
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, app_.get(), nullptr));
  }

  void TearDown() override {
    for (auto& link : links_)
      link->Close();
    links_.clear();
    // Every renderer this test started has ended before the next test runs.
    EXPECT_TRUE(test::WaitFor(probe_paths::AllChildrenEnded, kWaitMs));
    CefShutdown();
  }

  std::shared_ptr<RendererLink> Open(int browser, std::shared_ptr<LinkEvents> events) {
    std::shared_ptr<RendererLink> link = CreateRendererLink(browser, events);
    links_.push_back(link);
    return link;
  }

  // A renderer that said Hello and knows browser `browser` with a committed main frame.
  std::shared_ptr<RendererLink> Started(int browser, std::shared_ptr<LinkEvents> events) {
    std::shared_ptr<RendererLink> link = Open(browser, events);
    EXPECT_TRUE(link->Send(MakeFrame(FrameType::kBrowserCreated, browser, 11, {MakeBool(false)})));
    EXPECT_TRUE(link->Send(MainCommit(browser, 11, L"http://page.test/")));
    EXPECT_TRUE(events->WaitFor(FrameType::kFrameReady, 1));
    return link;
  }

  CefRefPtr<BrowserApp> app_ = new BrowserApp();
  std::vector<std::shared_ptr<RendererLink>> links_;
};

TEST_F(RendererProcess, ModeIsSubProcessWhenAnExecutableServesRenderers) {
  EXPECT_EQ(GetRendererMode(), RendererMode::kSubProcess);
  SetRendererMode(RendererMode::kRecording);
  EXPECT_EQ(GetRendererMode(), RendererMode::kRecording);
  ResetRendererMode();
  EXPECT_EQ(GetRendererMode(), RendererMode::kSubProcess);
}

TEST_F(RendererProcess, ChildRunsTheRenderCallbacksInOrder) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Started(5, events);
  EXPECT_TRUE(app_->handler->on_ui);
  EXPECT_TRUE(app_->handler->on_io);

  // The renderer is another process, started with the launch line the application changed.
  ASSERT_TRUE(events->WaitFor(FrameType::kHello, 1));
  DWORD pid = static_cast<DWORD>(events->Of(FrameType::kHello)[0].IntAt(0));
  EXPECT_NE(pid, 0u);
  EXPECT_NE(pid, GetCurrentProcessId());
  EXPECT_EQ(link->ProcessId(), pid);
  EXPECT_EQ(test::RendererProcessId(5), pid);
  EXPECT_TRUE(link->IsConnected());
  std::vector<test::ChildProcess> children = test::ChildProcesses();
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].pid, pid);
  EXPECT_NE(children[0].command_line.find(L"--type=renderer"), std::wstring::npos);
  EXPECT_NE(children[0].command_line.find(L"--probe-marker"), std::wstring::npos);
  EXPECT_NE(children[0].command_line.find(L"--cefengine-channel=\\\\.\\pipe\\cefengine-"), std::wstring::npos);

  // The child's callbacks reach this journal as renderer entries, in the order they ran.
  std::vector<std::string> kinds;
  for (const auto& entry : test::Journal())
    if (entry.process == 'R')
      kinds.push_back(entry.kind);
  std::vector<std::string> expected = {"OnRenderThreadCreated", "OnWebKitInitialized", "OnBrowserCreated",
                                       "OnContextCreated"};
  std::vector<std::string> seen;
  for (const auto& kind : kinds)
    if (std::find(expected.begin(), expected.end(), kind) != expected.end())
      seen.push_back(kind);
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(test::ExpectOrder({"OnBeforeChildProcessLaunch", "CreateProcess", "ChildProcessStart",
                                 "OnRenderThreadCreated", "OnContextCreated", "RunScript"}));
  for (const auto& entry : test::EntriesOf("OnContextCreated")) {
    EXPECT_EQ(entry.process, 'R');
    EXPECT_EQ(entry.thread, "RENDERER");
    EXPECT_EQ(entry.browser, 5);
    EXPECT_EQ(entry.frame, 11);
  }
}

TEST_F(RendererProcess, ExtraInfoAndFramesReachTheRenderer) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Started(6, events);
  ASSERT_TRUE(link->Send(Message(6, L"extra", {})));
  ASSERT_TRUE(link->Send(Message(6, L"frames", {})));
  ASSERT_TRUE(events->WaitFor(FrameType::kRendererMessage, 2));
  std::vector<ChannelFrame> replies = events->Of(FrameType::kRendererMessage);
  EXPECT_EQ(replies[0].StringAt(0), L"extra-reply");
  const ValueData* extra = replies[0].At(1);
  ASSERT_TRUE(extra && extra->type == VTYPE_LIST);
  EXPECT_TRUE(EqualValues(extra->list->items.at(0), MakeListValue({MakeString(L"extra-text"), MakeInt(42)})));
  EXPECT_EQ(replies[1].StringAt(0), L"frames-reply");
  EXPECT_TRUE(EqualValues(*replies[1].At(1), MakeListValue({MakeInt(6), MakeString(L"http://page.test/"), MakeInt(1),
                                                             MakeBool(true)})));
}

TEST_F(RendererProcess, OwnersInitIsTheRenderersInit) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Open(14, events);
  // As the browser engine does: it asked the application for the extra info and sends Init first.
  ASSERT_TRUE(link->Send(MakeFrame(FrameType::kInit, 0, 0,
                                   {MakeListValue({MakeString(L"owner")}), MakeDictValue({})})));
  ASSERT_TRUE(link->Send(MakeFrame(FrameType::kBrowserCreated, 14, 1, {MakeBool(false)})));
  ASSERT_TRUE(link->Send(Message(14, L"extra", {})));
  ASSERT_TRUE(events->WaitFor(FrameType::kRendererMessage, 1));
  const ValueData* extra = events->Of(FrameType::kRendererMessage)[0].At(1);
  ASSERT_TRUE(extra && extra->type == VTYPE_LIST);
  EXPECT_TRUE(EqualValues(extra->list->items.at(0), MakeListValue({MakeString(L"owner")})));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(app_->handler->extra_calls, 0);
  EXPECT_EQ(test::EntriesOf("OnRenderThreadCreated").size(), 1u);
}

TEST_F(RendererProcess, PageScriptRunsInTheChildsContexts) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Started(15, events);
  test::CallResult count = test::RendererCallOverChannel(15, 11, "probeCount", {test::Str("a"), test::Int(2), test::Null()});
  EXPECT_TRUE(count.ran);
  EXPECT_FALSE(count.threw);
  EXPECT_EQ(count.value, "3");
  test::CallResult url = test::RendererAssignOverChannel(15, 11, "probeUrl", test::Str("changed"));
  EXPECT_TRUE(url.read_only);
  EXPECT_EQ(url.value, "http://page.test/");
  test::CallResult missing = test::RendererCallOverChannel(15, 11, "noSuchFunction");
  EXPECT_TRUE(missing.threw);
  // Only the answers' frames were taken; the browser side saw none of them.
  EXPECT_TRUE(events->Of(FrameType::kTestResult).empty());
  // A frame the renderer does not know answers, but ran nothing.
  EXPECT_FALSE(test::RendererCallOverChannel(15, 999, "probeCount").ran);
}

TEST_F(RendererProcess, MessageRoundTripKeepsTypesAndOrder) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Open(7, events);
  // Sent before the renderer even started: they wait for it, in order.
  ASSERT_TRUE(link->Send(MakeFrame(FrameType::kBrowserCreated, 7, 1, {MakeBool(false)})));
  ValueData binary;
  binary.type = VTYPE_BINARY;
  binary.binary = std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t>{0, 1, 2, 255});
  ValueData null_value;
  std::vector<std::vector<ValueData>> sent;
  const int kMessages = 30;
  for (int i = 0; i < kMessages; ++i) {
    std::vector<ValueData> args = {MakeInt(i),
                                   MakeBool(i % 2 == 0),
                                   MakeDouble(i + 0.25),
                                   MakeString(L"n\u00e4me " + std::to_wstring(i)),
                                   null_value,
                                   binary,
                                   MakeListValue({MakeInt(-i), MakeListValue({MakeString(L"deep")})}),
                                   MakeDictValue({{L"k", MakeInt(i)}, {L"s", MakeString(L"")}})};
    sent.push_back(args);
    ASSERT_TRUE(link->Send(Message(7, L"echo", args)));
  }
  ASSERT_TRUE(events->WaitFor(FrameType::kRendererMessage, kMessages));
  std::vector<ChannelFrame> replies = events->Of(FrameType::kRendererMessage);
  ASSERT_EQ(replies.size(), static_cast<size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) {
    EXPECT_EQ(replies[i].StringAt(0), L"echo-reply");
    EXPECT_TRUE(EqualValues(*replies[i].At(1), MakeListValue(sent[i]))) << "message " << i;
  }
  // The test API keeps what the renderer sent.
  std::vector<test::SentMessage> recorded = test::SentToBrowser(7);
  ASSERT_EQ(recorded.size(), static_cast<size_t>(kMessages));
  EXPECT_EQ(recorded[3].name, "echo-reply");
  EXPECT_EQ(recorded[3].args->GetInt(0), 3);
  EXPECT_TRUE(recorded[3].args->IsReadOnly());
}

TEST_F(RendererProcess, UnhandledMessageIsJournaledAndDropped) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Started(8, events);
  ASSERT_TRUE(link->Send(Message(8, L"nobody-listens", {MakeInt(1)})));
  ASSERT_TRUE(link->Send(Message(8, L"echo", {MakeInt(2)})));
  ASSERT_TRUE(events->WaitFor(FrameType::kRendererMessage, 1));
  ASSERT_TRUE(test::WaitFor([] { return !test::EntriesOf("ProcessMessageUnhandled").empty(); }, kWaitMs));
  std::vector<JournalEntry> unhandled = test::EntriesOf("ProcessMessageUnhandled");
  ASSERT_EQ(unhandled.size(), 1u);
  EXPECT_EQ(unhandled[0].args.at(0), "nobody-listens");
  EXPECT_EQ(unhandled[0].process, 'R');
}

TEST_F(RendererProcess, DestroyingTheLastBrowserEndsTheRendererWithoutTermination) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Started(9, events);
  ASSERT_TRUE(link->Send(MakeFrame(FrameType::kBrowserDestroyed, 9, 0)));
  ASSERT_TRUE(test::WaitFor(
      [] {
        auto children = test::ChildProcesses();
        return !children.empty() && children[0].ended;
      },
      kWaitMs));
  EXPECT_EQ(test::ChildProcesses()[0].exit_code, 0u);
  EXPECT_TRUE(test::ExpectOrder({"OnContextReleased", "OnBrowserDestroyed"}));
  EXPECT_TRUE(events->statuses().empty());
  EXPECT_FALSE(link->Send(Message(9, L"echo", {})));
}

struct EndCase {
  const char* name;
  int how;  // 0: CrashRenderer, 1: killed by someone with exit code 1, 2: the renderer exits with code 3
  cef_termination_status_t status;
};

class RendererEnd : public RendererProcess, public ::testing::WithParamInterface<EndCase> {};

TEST_P(RendererEnd, TerminationCarriesTheStatusOfTheExit) {
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Started(12, events);
  DWORD pid = link->ProcessId();
  ASSERT_NE(pid, 0u);
  switch (GetParam().how) {
    case 0:
      ASSERT_TRUE(test::CrashRenderer(12));
      break;
    case 1: {
      HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
      ASSERT_TRUE(process);
      ASSERT_TRUE(TerminateProcess(process, 1));
      CloseHandle(process);
      break;
    }
    default:
      ASSERT_TRUE(link->Send(Message(12, L"exit", {MakeInt(3)})));
      break;
  }
  ASSERT_TRUE(events->WaitTerminated());
  EXPECT_EQ(events->statuses(), std::vector<cef_termination_status_t>{GetParam().status});
  EXPECT_FALSE(link->Send(Message(12, L"echo", {})));
  EXPECT_FALSE(link->IsConnected());
  EXPECT_FALSE(test::CrashRenderer(12));
}

INSTANTIATE_TEST_SUITE_P(Exits, RendererEnd,
                         ::testing::Values(EndCase{"Crash", 0, TS_PROCESS_CRASHED},
                                           EndCase{"Killed", 1, TS_PROCESS_WAS_KILLED},
                                           EndCase{"OwnExit", 2, TS_ABNORMAL_TERMINATION}),
                         [](const ::testing::TestParamInfo<EndCase>& info) { return info.param.name; });

struct NoRendererCase {
  const char* name;
  const wchar_t* program;  // relative to the test executable's folder; null: the probe
  bool no_connect;
};

class RendererNeverStarts : public RendererProcess, public ::testing::WithParamInterface<NoRendererCase> {};

TEST_P(RendererNeverStarts, LinkReportsAbnormalTermination) {
  if (GetParam().program)
    app_->handler->replacement_program = probe_paths::ExeDir() + GetParam().program;
  app_->handler->no_connect = GetParam().no_connect;
  auto events = std::make_shared<LinkEvents>();
  std::shared_ptr<RendererLink> link = Open(13, events);
  // Refused when the launch has failed already (it runs on other threads); queued otherwise.
  (void)link->Send(MakeFrame(FrameType::kBrowserCreated, 13, 1, {MakeBool(false)}));
  ASSERT_TRUE(events->WaitTerminated());
  EXPECT_EQ(events->statuses(), std::vector<cef_termination_status_t>{TS_ABNORMAL_TERMINATION});
  EXPECT_FALSE(link->Send(MakeFrame(FrameType::kBrowserCreated, 13, 1, {MakeBool(false)})));
  EXPECT_TRUE(events->Of(FrameType::kHello).empty());
  EXPECT_FALSE(link->IsConnected());
}

INSTANTIATE_TEST_SUITE_P(
    Launches, RendererNeverStarts,
    ::testing::Values(
        // CreateProcessW fails.
        NoRendererCase{"MissingExecutable", L"no-such-renderer.exe", false},
        // A process starts but ends without ever connecting.
        NoRendererCase{"ProcessThatNeverConnects", nullptr, true}),
    [](const ::testing::TestParamInfo<NoRendererCase>& info) { return info.param.name; });

struct ExitCodeCase {
  DWORD exit_code;
  cef_termination_status_t status;
};

class ExitCodeStatus : public ::testing::TestWithParam<ExitCodeCase> {};

TEST_P(ExitCodeStatus, Classifies) {
  EXPECT_EQ(TerminationStatusForExitCode(GetParam().exit_code), GetParam().status) << std::hex << GetParam().exit_code;
}

INSTANTIATE_TEST_SUITE_P(Codes, ExitCodeStatus,
                         ::testing::Values(ExitCodeCase{0xC0000005, TS_PROCESS_CRASHED},
                                           ExitCodeCase{0xC0000409, TS_PROCESS_CRASHED},
                                           ExitCodeCase{0xC0000000, TS_PROCESS_CRASHED},
                                           ExitCodeCase{0xBFFFFFFF, TS_ABNORMAL_TERMINATION},
                                           ExitCodeCase{1, TS_PROCESS_WAS_KILLED},
                                           ExitCodeCase{0xC000013A, TS_PROCESS_WAS_KILLED},
                                           ExitCodeCase{0x40010004, TS_PROCESS_WAS_KILLED},
                                           ExitCodeCase{0, TS_ABNORMAL_TERMINATION},
                                           ExitCodeCase{3, TS_ABNORMAL_TERMINATION}),
                         [](const ::testing::TestParamInfo<ExitCodeCase>& info) {
                           char name[16];
                           snprintf(name, sizeof(name), "X%08lX", static_cast<unsigned long>(info.param.exit_code));
                           return std::string(name);
                         });

}  // namespace
}  // namespace cefengine
