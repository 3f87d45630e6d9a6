// The root-window manager with fake root windows: lookup, registration from CEF's UI thread,
// closing from any thread, the end of the loop, request contexts, and the main-thread deleter.
#include "browser/root_window_manager.h"

#include <windows.h>

#include <ctime>
#include <thread>

#include "tests/browser/core/context_fixture.h"
#include "tests/channel/log_capture.h"

namespace core_test {
namespace {

using client::RootWindow;
using fake::FakeRootWindow;

class ManagerTest : public ContextTest {};

TEST_F(ManagerTest, CreatesRootWindowsOnTheMainThreadWithFilledBrowserSettings) {
  MakeContext(L"--off-screen-frame-rate=24");
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_browser = false;
    scoped_refptr<FakeRootWindow> root = CreateView(0x300, "http://example.test/");
    EXPECT_EQ(root->delegate(), static_cast<RootWindow::Delegate*>(manager()));
    ASSERT_NE(root->settings(), nullptr);
    EXPECT_EQ(root->settings()->url, "http://example.test/");
    EXPECT_TRUE(root->init_on_main_thread());
    EXPECT_EQ(root->browser_settings().windowless_frame_rate, 24);
    EXPECT_EQ(root->browser_settings().minimum_font_size, 6);
    EXPECT_EQ(root->browser_settings().minimum_logical_font_size, 6);
    EXPECT_EQ(CefString(&root->browser_settings().accept_language_list).ToString(), "zh-CN");
    EXPECT_EQ(manager()->GetRootWindowCount(), 1);
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(0x300).get(), root.get());
  });
}

TEST_F(ManagerTest, FindsTheLowestAddressAmongEqualViewIdsAndPopupsAtViewZero) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    scoped_refptr<FakeRootWindow> a = CreateView(0x100);
    scoped_refptr<FakeRootWindow> b = CreateView(0x100);
    scoped_refptr<FakeRootWindow> c = CreateView(0x200);
    FakeRootWindow* lowest = std::less<FakeRootWindow*>()(a.get(), b.get()) ? a.get() : b.get();
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(0x100).get(), lowest);
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(0x200).get(), c.get());
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(0x400).get(), nullptr);
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(0).get(), nullptr);

    // A developer-tools pop-up, made on CEF's UI thread, has no settings: view id 0. It joins
    // the set on the main thread.
    scoped_refptr<RootWindow> popup;
    CefBrowserSettings popup_settings;
    ASSERT_TRUE(test::RunOn(TID_UI, [&] {
      CefWindowInfo info;
      CefRefPtr<CefClient> client;
      popup = manager()->CreateRootWindowAsPopup(false, true, CefPopupFeatures(), info, client, popup_settings);
    }));
    auto* fake_popup = static_cast<FakeRootWindow*>(popup.get());
    EXPECT_FALSE(fake_popup->init_on_main_thread());
    EXPECT_EQ(popup_settings.minimum_font_size, 6);
    EXPECT_EQ(FakeRootWindow::Calls().back(), "0:InitAsPopup(no controls,osr) off-main");
    EXPECT_TRUE(test::WaitFor([&] { return manager()->GetRootWindowCount() == 4; }));
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(0).get(), popup.get());
  });
}

TEST_F(ManagerTest, FindsRootWindowsByBrowser) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    scoped_refptr<FakeRootWindow> a = CreateView(0x100);
    scoped_refptr<FakeRootWindow> b = CreateView(0x200);
    ASSERT_TRUE(a->WaitForBrowser());
    ASSERT_TRUE(b->WaitForBrowser());
    EXPECT_EQ(manager()->GetWindowForBrowser(b->GetBrowser()->GetIdentifier()).get(), b.get());
    EXPECT_EQ(RootWindow::GetForBrowser(a->GetBrowser()->GetIdentifier()).get(), a.get());
    EXPECT_EQ(manager()->GetWindowForBrowser(-5).get(), nullptr);
  });
}

TEST_F(ManagerTest, CloseAllWindowsFromAnotherThreadClosesOnTheMainThreadLater) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    CreateView(0x100);
    CreateView(0x200);
    FakeRootWindow::ClearCalls();
    std::thread([&] { manager()->CloseAllWindows(false); }).join();
    EXPECT_TRUE(FakeRootWindow::Calls().empty()) << "carried to the main thread, not run at once";
    EXPECT_TRUE(test::WaitFor([] { return FakeRootWindow::Calls().size() == 2; }));
    for (const std::string& call : FakeRootWindow::Calls()) EXPECT_EQ(call.substr(call.find(':')), ":Close(false)");
    // Without force the windows stay until they report their destruction.
    EXPECT_EQ(manager()->GetRootWindowCount(), 2);
  });
}

TEST_F(ManagerTest, ForcedCloseOfAllWindowsSurvivesWindowsLeavingTheSetDuringTheWalk) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_browser = false;
    for (int view = 1; view <= 5; ++view) CreateView(view << 8);
    FakeRootWindow::ClearCalls();
    // Each fake reports its destruction from inside Close(true), erasing itself from the set.
    manager()->CloseAllWindows(true);
    EXPECT_EQ(FakeRootWindow::Calls().size(), 5u);
    for (const std::string& call : FakeRootWindow::Calls()) EXPECT_EQ(call.substr(call.find(':')), ":Close(true)");
    EXPECT_EQ(manager()->GetRootWindowCount(), 0);
    EXPECT_EQ(loop_->quits.load(), 1);
  });
}

TEST_F(ManagerTest, TheLastDestroyedRootWindowQuitsTheLoopOnlyWhenAsked) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    scoped_refptr<FakeRootWindow> a = CreateView(0x100);
    scoped_refptr<FakeRootWindow> b = CreateView(0x200);
    RootWindow::Delegate* delegate = manager();
    delegate->OnRootWindowDestroyed(a.get());
    EXPECT_EQ(manager()->GetRootWindowCount(), 1);
    EXPECT_EQ(loop_->quits.load(), 0) << "a window is left";
    delegate->OnRootWindowDestroyed(a.get());  // unknown now: removes nothing
    EXPECT_EQ(loop_->quits.load(), 0);
    delegate->OnRootWindowDestroyed(b.get());
    EXPECT_EQ(manager()->GetRootWindowCount(), 0);
    EXPECT_EQ(loop_->quits.load(), 1);
    // An unknown root window with the set empty still quits.
    delegate->OnRootWindowDestroyed(a.get());
    EXPECT_EQ(loop_->quits.load(), 2);
  });

  // A manager told not to end the loop.
  client::RootWindowManager keeper(false);
  RootWindow::Delegate* delegate = &keeper;
  delegate->OnRootWindowDestroyed(nullptr);
  EXPECT_EQ(loop_->quits.load(), 2);
}

TEST_F(ManagerTest, OnExitClosesEveryWindow) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    fake::NextOptions().create_window = false;
    scoped_refptr<FakeRootWindow> a = CreateView(0x100);
    CreateView(0x200);
    FakeRootWindow::ClearCalls();
    RootWindow::Delegate* delegate = manager();
    delegate->OnTest(a.get(), 3);
    EXPECT_TRUE(FakeRootWindow::Calls().empty());
    delegate->OnExit(a.get());
    EXPECT_EQ(FakeRootWindow::Calls().size(), 2u);
    EXPECT_EQ(log.Count(L"RootWindowManager::OnExit: "), 1u);
  });
}

// Request contexts, by the switches on the engine's global command line.
TEST_F(ManagerTest, RequestContextsFollowTheSwitches) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::string cache = CefString(std::wstring(temp) + L"brivelo-rc-" + std::to_wstring(GetCurrentProcessId())).ToString();
  struct Row {
    bool per_browser;
    bool cache_path;
    bool shared_cache;
  } rows[] = {{false, false, false}, {false, true, false}, {true, false, false},
              {true, true, false},   {true, true, true},   {true, false, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.per_browser << row.cache_path << row.shared_cache);
    std::vector<std::pair<std::string, std::string>> switches;
    if (row.per_browser) switches.push_back({"request-context-per-browser", ""});
    if (row.cache_path) switches.push_back({"cache-path", cache});
    if (row.shared_cache) switches.push_back({"request-context-shared-cache", ""});
    test::BrowserHarness harness(new SwitchApp(switches));
    ASSERT_TRUE(harness.ok());
    client::RootWindowManager manager(true);
    RootWindow::Delegate* delegate = &manager;

    const long long before = static_cast<long long>(time(nullptr));
    CefRefPtr<CefRequestContext> first = delegate->GetRequestContext(nullptr);
    CefRefPtr<CefRequestContext> second = delegate->GetRequestContext(nullptr);
    const long long after = static_cast<long long>(time(nullptr));
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(first->IsGlobal());
    ASSERT_TRUE(first->GetHandler());
    if (!row.per_browser) {
      EXPECT_TRUE(first->IsSame(second)) << "one shared context";
      EXPECT_TRUE(first->IsSharingWith(CefRequestContext::GetGlobalContext()));
      continue;
    }
    EXPECT_FALSE(first->IsSame(second)) << "a new context for every browser";
    const std::string path = first->GetCachePath().ToString();
    if (!row.cache_path) {
      EXPECT_EQ(path, "");
    } else if (row.shared_cache) {
      EXPECT_EQ(path, cache);
      EXPECT_EQ(second->GetCachePath().ToString(), cache);
    } else {
      // The switch value directly followed by the creation second.
      ASSERT_EQ(path.compare(0, cache.size(), cache), 0);
      const long long seconds = std::stoll(path.substr(cache.size()));
      EXPECT_GE(seconds, before);
      EXPECT_LE(seconds, after);
      if (before == after) {
        EXPECT_EQ(second->GetCachePath().ToString(), path) << "same second, same path";
      }
    }
  }
}

TEST(ClientRequestContextHandler, LetsOnlyABlockedPdfLoad) {
  CefRefPtr<client::ClientRequestContextHandler> handler = new client::ClientRequestContextHandler();
  struct Row {
    const char* mime;
    cef_plugin_policy_t before;
    bool handled;
    cef_plugin_policy_t after;
  } rows[] = {
      {"application/pdf", PLUGIN_POLICY_BLOCK, true, PLUGIN_POLICY_ALLOW},
      {"application/pdf", PLUGIN_POLICY_DETECT_IMPORTANT, true, PLUGIN_POLICY_ALLOW},
      {"application/pdf", PLUGIN_POLICY_DISABLE, true, PLUGIN_POLICY_ALLOW},
      {"application/pdf", PLUGIN_POLICY_ALLOW, false, PLUGIN_POLICY_ALLOW},
      {"Application/PDF", PLUGIN_POLICY_BLOCK, false, PLUGIN_POLICY_BLOCK},
      {"application/x-shockwave-flash", PLUGIN_POLICY_BLOCK, false, PLUGIN_POLICY_BLOCK},
  };
  for (const Row& row : rows) {
    cef_plugin_policy_t policy = row.before;
    EXPECT_EQ(handler->OnBeforePluginLoad(row.mime, "", "", nullptr, &policy), row.handled) << row.mime;
    EXPECT_EQ(policy, row.after) << row.mime;
  }
}

// A root window whose deletion is observed.
class CountedRootWindow : public fake::FakeRootWindow {
 public:
  explicit CountedRootWindow(DWORD* deleting_thread) : deleting_thread_(deleting_thread) {}

 protected:
  ~CountedRootWindow() override { *deleting_thread_ = GetCurrentThreadId(); }

 private:
  DWORD* deleting_thread_;
};

TEST(DeleteOnMainThread, TheLastReleaseDeletesOnTheMainThread) {
  CountingLoop loop;
  fake::FakeRootWindow::Reset();
  DWORD deleted_on = 0;
  DWORD deleted_elsewhere_on = 0;
  loop.PostTask(new FunctionTask([&] {
    // Released on the main thread: deleted at once.
    {
      scoped_refptr<RootWindow> root(new CountedRootWindow(&deleted_on));
      fake::FakeRootWindow::Reset();  // the fakes list lets go; `root` holds the last reference
    }
    EXPECT_EQ(deleted_on, GetCurrentThreadId());

    // Released on another thread: deleted later, on the main thread.
    scoped_refptr<RootWindow> root(new CountedRootWindow(&deleted_elsewhere_on));
    fake::FakeRootWindow::Reset();
    std::thread([&] { root = nullptr; }).join();
    EXPECT_EQ(deleted_elsewhere_on, 0u);
    EXPECT_TRUE(test::WaitFor([&] { return deleted_elsewhere_on != 0; }));
    EXPECT_EQ(deleted_elsewhere_on, GetCurrentThreadId());
    loop.Quit();
  }));
  loop.Run();
}

}  // namespace
}  // namespace core_test
