#include "channel/process_watch.h"

#include <windows.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "base/log.h"
#include "browser/main_context.h"
#include "tests/channel/log_capture.h"
#include "tests/channel/peer_process.h"

namespace {

class FakeContext : public client::MainContext {
 public:
  void Quit() override {
    LogInfoW(L"FakeContext::Quit");
    InterlockedIncrement(&m_nQuits);
  }
  volatile LONG m_nQuits = 0;

  // The watch only quits; the rest of the context is not reached here.
  std::string GetConsoleLogPath() override { return {}; }
  std::string GetDownloadPath(const std::string&) override { return {}; }
  std::string GetAppWorkingDirectory() override { return {}; }
  std::string GetAppDataWorkingDirectory() override { return {}; }
  cef_color_t GetBackgroundColor() override { return 0; }
  void PopulateSettings(const CefString&, CefSettings*) override {}
  void PopulateBrowserSettings(CefBrowserSettings*) override {}
  void PopulateOsrSettings(client::OsrRendererSettings*) override {}
  client::RootWindowManager* GetRootWindowManager() override { return nullptr; }
  void SendToHost(IPC::Message&, bool) override {}
};

bool WaitUntil(const std::function<bool()>& done, DWORD timeout_ms = 10000) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (!done()) {
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
  return true;
}

// A host stand-in: another process that owns a window.
class HostProcess : public PeerProcess {
 public:
  HostProcess() : PeerProcess(L"hold", Title()), m_strTitle(Title()) {
    WaitUntil([&] { return (m_hWnd = FindWindowW(nullptr, m_strTitle.c_str())) != nullptr; });
  }
  static std::wstring Title() { return L"watched host " + std::to_wstring(GetCurrentProcessId()); }
  std::wstring m_strTitle;
  HWND m_hWnd = nullptr;
};

TEST(ProcessWatch, HostExitQuitsTheContextOnce) {
  LogCapture log;
  FakeContext context;
  HostProcess host;
  ASSERT_NE(host.m_hWnd, nullptr);
  ASSERT_TRUE(RegisterProcessWaitExit(host.m_hWnd));
  host.Kill();
  ASSERT_TRUE(WaitUntil([&] { return log.Count(L"RegisterProcessWaitExit_End(") == 1; }));
  Sleep(200);
  EXPECT_EQ(context.m_nQuits, 1);
  EXPECT_EQ(log.Count(L"RegisterProcessWaitExit process:" + std::to_wstring(host.m_nProcessId)), 1u);
  EXPECT_EQ(log.Count(L"RegisterProcessWaitExit_Start("), 1u);
  const size_t exit_line = log.Find(L"parent wnd process exit, i will quit");
  const size_t quit = log.Find(L"FakeContext::Quit");
  const size_t end = log.Find(L"RegisterProcessWaitExit_End(");
  ASSERT_NE(exit_line, std::wstring::npos);
  EXPECT_LT(exit_line, quit);
  EXPECT_LT(quit, end);
  EXPECT_NE(log.Text().find(L", 0)", end), std::wstring::npos) << "satisfied, not timed out";
  UnregisterProcessWaitExit();  // after firing: releases the wait, closes nothing twice
}

TEST(ProcessWatch, CancelledWatchNeverFires) {
  LogCapture log;
  FakeContext context;
  HostProcess host;
  ASSERT_TRUE(RegisterProcessWaitExit(host.m_hWnd));
  UnregisterProcessWaitExit();
  UnregisterProcessWaitExit();
  host.Kill();
  Sleep(1000);
  EXPECT_EQ(context.m_nQuits, 0);
  EXPECT_EQ(log.Count(L"i will quit"), 0u);
}

TEST(ProcessWatch, RegisteringAgainReplacesTheWatch) {
  FakeContext context;
  HostProcess first;
  ASSERT_TRUE(RegisterProcessWaitExit(first.m_hWnd));
  const std::wstring second_title = L"second watched host " + std::to_wstring(GetCurrentProcessId());
  PeerProcess second(L"hold", second_title);
  HWND second_window = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (second_window = FindWindowW(nullptr, second_title.c_str())) != nullptr; }));
  ASSERT_TRUE(RegisterProcessWaitExit(second_window));
  first.Kill();
  Sleep(500);
  EXPECT_EQ(context.m_nQuits, 0);
  second.Kill();
  EXPECT_TRUE(WaitUntil([&] { return context.m_nQuits == 1; }));
  UnregisterProcessWaitExit();
}

TEST(ProcessWatch, HostExitAfterTheContextIsGoneCallsNothing) {
  LogCapture log;
  HostProcess host;
  LONG quits = 0;
  {
    FakeContext context;
    ASSERT_TRUE(RegisterProcessWaitExit(host.m_hWnd));
    quits = context.m_nQuits;
  }
  ASSERT_EQ(client::MainContext::Get(), nullptr);
  host.Kill();
  ASSERT_TRUE(WaitUntil([&] { return log.Count(L"RegisterProcessWaitExit_End(") == 1; }));
  EXPECT_EQ(quits, 0);
  EXPECT_EQ(log.Count(L"FakeContext::Quit"), 0u);
  UnregisterProcessWaitExit();
}

TEST(ProcessWatch, SetupFailuresReturnFalse) {
  LogCapture log;
  EXPECT_FALSE(RegisterProcessWaitExit(nullptr));
  EXPECT_EQ(log.Count(L"RegisterProcessWaitExit wnd:0"), 1u);
  EXPECT_EQ(log.Count(L"RegisterProcessWaitExit process:"), 0u);
  EXPECT_FALSE(RegisterProcessWaitExit(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x3FFFFF0))));
  EXPECT_EQ(log.Count(L"RegisterProcessWaitExit process:0"), 1u);
  EXPECT_EQ(log.Count(L"RegisterProcessWaitExit_Start"), 0u);
}

}  // namespace
