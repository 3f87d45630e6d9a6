// The main context: start-up with and without CEF, the channel it opens, quitting from any
// thread, the settings it fills and the folders it names.
#include "browser/main_context_impl.h"

#include <direct.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <thread>

#include "base/string_util.h"
#include "browser/user_click_monitor.h"
#include "tests/browser/core/context_fixture.h"
#include "tests/browser/scoped_environment.h"
#include "tests/channel/log_capture.h"

namespace core_test {
namespace {

using fake::FakeRootWindow;

bool ChannelWindowExists(const std::wstring& id) {
  const std::wstring name = kBrowserChannelPrefix + id;
  return FindWindowW(name.c_str(), name.c_str()) != nullptr;
}

class MainContextTest : public ContextTest {};

TEST_F(MainContextTest, ChannelIsNamedByTabGroupIdsWhenGiven) {
  MakeContext(L"--tab_group_ids=group-" + std::to_wstring(GetCurrentProcessId()));
  const std::wstring group = L"group-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(Start(nullptr, group));
  EXPECT_TRUE(ChannelWindowExists(group));
  EXPECT_FALSE(ChannelWindowExists(channel_id_));
  RunInLoop([&] {
    // The host end named by the group reaches the context: a sync command with routing 1.
    IPC::Message message = Command(client::MsgToBrowserSetCookie, {Text(L"http://group.test/"), Text(L"g=1")});
    EXPECT_TRUE(host_->channel().Send(&message, false, true));
    EXPECT_EQ(test::Cookies().size(), 1u);
  });
  host_.reset();
  context_.reset();
  EXPECT_FALSE(ChannelWindowExists(group)) << "gone with the context";
}

TEST_F(MainContextTest, EmptyTabGroupIdsUsesTheGivenId) {
  MakeContext(L"--tab_group_ids=");
  ASSERT_TRUE(Start());
  EXPECT_TRUE(ChannelWindowExists(channel_id_));
  EXPECT_EQ(context_->GetRoutingId(), 1);
  RunInLoop([] {});
}

TEST_F(MainContextTest, ListensWithRoutingIdOneAndBroadcast) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    struct Row {
      int32_t routing;
      const wchar_t* cookie;
      bool reaches;
    } rows[] = {{kRoutingIdBrowser, L"one=1", true}, {kRoutingIdBroadcast, L"zero=0", true},
                {kRoutingIdHost, L"two=2", false}};
    for (const Row& row : rows) {
      IPC::Message message = Command(client::MsgToBrowserSetCookie, {Text(L"http://routing.test/"), Text(row.cookie)});
      message.SetHeaderValues(row.routing, client::MsgToBrowserSetCookie, client::kHostMessagePriority);
      EXPECT_TRUE(host_->channel().Send(&message, true, false));  // asynchronous, handled later
    }
    ASSERT_TRUE(test::WaitFor([] { return test::Cookies().size() >= 2; }));
    Settle();  // time for the third to arrive, were it handled
    std::vector<std::string> names;
    for (const auto& cookie : test::Cookies()) names.push_back(cookie.name);
    EXPECT_EQ(names, (std::vector<std::string>{"one", "zero"}));
  });
}

TEST_F(MainContextTest, SendsEventsToTheHostSynchronouslyOrQueued) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    IPC::Message created = client::MakeBrowserCreatedEvent(0x100, nullptr);
    context_->SendToHost(created, true);
    EXPECT_EQ(host_->EventsOf(client::MsgToHostBrowserCreated).size(), 1u) << "handled inside the send";
    IPC::Message title = client::MakeTitleChangeEvent(0x100, L"queued");
    context_->SendToHost(title, false);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostTitleChange, 1));
    EXPECT_EQ(host_->EventsOf(client::MsgToHostTitleChange)[0].items[0].text, L"queued");
  });
}

// Events go only to a channel window of the process that owns the host's window. With the
// desktop (another process's window) as the host window, this process's window of the host's
// channel name is an impostor and gets nothing; with a window of this process as the host
// window, what waited goes out.
TEST_F(MainContextTest, EventsGoOnlyToTheChannelWindowOfTheHostWindowsProcess) {
  ASSERT_TRUE(Start());
  HWND here = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(here, nullptr);
  RunInLoop([&] {
    context_->WatchHostProcess(GetDesktopWindow());
    IPC::Message created = client::MakeBrowserCreatedEvent(0x100, nullptr);
    context_->SendToHost(created, true);
    IPC::Message title = client::MakeTitleChangeEvent(0x100, L"waited");
    context_->SendToHost(title, false);
    Settle();
    EXPECT_TRUE(host_->Events().empty());

    context_->WatchHostProcess(here);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostTitleChange, 1));
    context_->SendToHost(created, true);
    EXPECT_EQ(host_->EventsOf(client::MsgToHostBrowserCreated).size(), 1u);
  });
  DestroyWindow(here);
}

TEST_F(MainContextTest, FailedCefStartCreatesNothing) {
  MakeContext();
  test::FailCefInitialize();
  EXPECT_FALSE(Start());
  EXPECT_EQ(context_->GetRootWindowManager(), nullptr);
  EXPECT_FALSE(ChannelWindowExists(channel_id_));
  LogCapture log;
  context_->Quit();  // nothing to close
  EXPECT_EQ(log.Count(L"MainContextImpl::Quiting"), 1u);
  // Cookie reads need a started context.
  Dispatch(client::MsgToBrowserGetCookies, {Text(L"http://a.test/"), Int(0)});
  // A later start works.
  context_.reset();
  MakeContext();
  ASSERT_TRUE(Start());
  RunInLoop([] {});
}

TEST_F(MainContextTest, QuitBeforeStartOnlyMarksAndLaterQuitsCloseNothing) {
  MakeContext();
  LogCapture log;
  context_->Quit();
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    CreateView(0x100);
    FakeRootWindow::ClearCalls();
    context_->Quit();
    context_->OnPeerProcessExit(true);
    Settle(200);
    EXPECT_TRUE(FakeRootWindow::Calls().empty());
    EXPECT_EQ(log.Count(L"MainContextImpl::Quiting"), 3u);
  });
}

TEST_F(MainContextTest, QuitFromAThreadPoolThreadClosesTheWindowsOnTheMainThreadOnce) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    fake::NextOptions().create_window = false;
    CreateView(0x100);
    CreateView(0x200);
    FakeRootWindow::ClearCalls();
    struct Pool {
      static DWORD WINAPI Work(void* context) {
        static_cast<client::MainContext*>(context)->Quit();
        return 0;
      }
    };
    ASSERT_TRUE(QueueUserWorkItem(&Pool::Work, context_.get(), WT_EXECUTEDEFAULT));
    ASSERT_TRUE(QueueUserWorkItem(&Pool::Work, context_.get(), WT_EXECUTEDEFAULT));
    ASSERT_TRUE(test::WaitFor([&] { return log.Count(L"MainContextImpl::Quiting") == 2; }));
    ASSERT_TRUE(test::WaitFor([] { return FakeRootWindow::Calls().size() == 2; }));
    Settle(200);
    std::vector<std::string> calls = FakeRootWindow::Calls();
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"256:Close(false)", "512:Close(false)"})) << "each once, on main";
  });
}

TEST_F(MainContextTest, PeerProcessExitQuits) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    CreateView(0x100);
    FakeRootWindow::ClearCalls();
    context_->OnPeerProcessExit(false);
    EXPECT_EQ(FakeRootWindow::Calls(), (std::vector<std::string>{"256:Close(false)"}));
  });
}

TEST_F(MainContextTest, PopulateSettingsAndTheClickMonitorSwitches) {
  MakeContext();
  UserClickMonitor* monitor = UserClickMonitor::GetInstance();
  CefSettings settings;
  monitor->SetEnabled(false);
  context_->PopulateSettings(CefString(), &settings);
  EXPECT_EQ(settings.multi_threaded_message_loop, 1);
  EXPECT_EQ(settings.background_color, 0xFFFFFFFFu);
  EXPECT_EQ(context_->GetBackgroundColor(), 0xFFFFFFFFu);
  EXPECT_EQ(CefString(&settings.cache_path).ToString(), context_->GetAppDataWorkingDirectory() + "cef_cache");
  EXPECT_EQ(CefString(&settings.log_file).ToString(), "disable.log");
  EXPECT_EQ(static_cast<int>(settings.log_severity), 99);

  struct Row {
    const wchar_t* cmd;
    bool before;
    bool after;
  } rows[] = {
      {L"--check_user_click", false, true},  {L"/quenlet_mode", false, true},
      {L"-a --quenlet_mode=1 b", false, true}, {L"--other --check", true, false},
      {L"quenlet_mode", true, false},        // a loose argument, not a switch
      {L"", true, true},                     {L"", false, false},  // no "cmd": unchanged
  };
  for (const Row& row : rows) {
    monitor->SetEnabled(row.before);
    CefSettings s;
    context_->PopulateSettings(CefString(row.cmd), &s);
    EXPECT_EQ(monitor->IsEnabled(), row.after) << row.cmd;
  }
  monitor->SetEnabled(false);
}

TEST_F(MainContextTest, BrowserAndOffScreenSettingsFromTheCommandLine) {
  struct Row {
    const wchar_t* switches;
    int frame_rate;
    bool transparent;
    bool show_update_rect;
  } rows[] = {
      {L"", 0, false, false},
      {L"--off-screen-frame-rate=30", 30, false, false},
      {L"--off-screen-frame-rate=abc", 0, false, false},
      {L"--transparent-painting-enabled --show-update-rect", 0, true, true},
      {L"--show-update-rect", 0, false, true},
  };
  for (const Row& row : rows) {
    MakeContext(row.switches);
    CefBrowserSettings browser;
    browser.windowless_frame_rate = 0;
    context_->PopulateBrowserSettings(&browser);
    EXPECT_EQ(browser.windowless_frame_rate, row.frame_rate) << row.switches;
    EXPECT_EQ(browser.minimum_font_size, 6);
    EXPECT_EQ(browser.minimum_logical_font_size, 6);
    EXPECT_EQ(CefString(&browser.accept_language_list).ToString(), "zh-CN");

    client::OsrRendererSettings osr;
    EXPECT_FALSE(osr.transparent);
    EXPECT_EQ(osr.background_color, 0xFFFFFFFFu);
    osr.background_color = 0;
    context_->PopulateOsrSettings(&osr);
    EXPECT_EQ(osr.transparent, row.transparent) << row.switches;
    EXPECT_EQ(osr.show_update_rect, row.show_update_rect) << row.switches;
    EXPECT_EQ(osr.background_color, 0xFFFFFFFFu);
  }
}

TEST_F(MainContextTest, FoldersComeBackAsUtf8WithOneTrailingBackslash) {
  MakeContext();
  // The product folder falls back to the temporary folder (no product information here),
  // which TMP names: a name outside every ANSI code page.
  const std::wstring temp = L"C:\\brivelo-\u00FC\u6F22\u5B57-\u0416\\";
  ScopedEnvironment tmp(L"TMP", temp);
  ScopedEnvironment temp_env(L"TEMP", temp);
  wchar_t expected_folder[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, expected_folder);
  ASSERT_EQ(std::wstring(expected_folder), temp);

  LogCapture log;
  const std::string directory = context_->GetAppDataWorkingDirectory();
  EXPECT_EQ(directory, StringUtil::WideToUtf8String(temp + L"Grallomix") + "\\");
  EXPECT_EQ(StringUtil::Utf8ToWString(directory), temp + L"Grallomix\\");
  EXPECT_EQ(context_->GetConsoleLogPath(), directory + "console.log");
  // Two lines per call, never cached (GetConsoleLogPath asked again).
  EXPECT_EQ(log.Count(L"Brivelo ProductId = "), 2u);
  EXPECT_EQ(log.Count(L"ProductAppDataPath = " + temp + L"Grallomix"), 2u);
  EXPECT_EQ(log.Count(L"GetAppDataWorkingDirectory = "), 2u);

  wchar_t documents[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents), S_OK);
  EXPECT_EQ(context_->GetDownloadPath(""), StringUtil::WideToUtf8String(documents) + "\\");
  EXPECT_EQ(context_->GetDownloadPath("f\xC3\xBC.zip"), StringUtil::WideToUtf8String(documents) + "\\f\xC3\xBC.zip");

  char cwd[MAX_PATH + 1] = {};
  ASSERT_NE(_getcwd(cwd, MAX_PATH), nullptr);
  EXPECT_EQ(context_->GetAppWorkingDirectory(), std::string(cwd) + "\\");
}

}  // namespace
}  // namespace core_test
