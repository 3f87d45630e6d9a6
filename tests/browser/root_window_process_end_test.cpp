// The ways a root window ends the whole process, each played by root_window_child.exe: a host
// window that is gone (at creation, or when the view is closed), a pop-up root window closed, the
// end of the session with and without "sc_terminate_end"; and the view's mute through the
// volume-control library.
// winsock2.h must come before windows.h.
#include "tests/product/loopback_http_server.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/channel/log_capture.h"
#include "tests/product/child_process.h"
#include "tests/product/volume_standin_files.h"

namespace {

class RootWindowChild : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    temp_ = temp;
    log_ = temp_ + L"root_window_child_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(log_.c_str());
  }
  void TearDown() override { DeleteFileW(log_.c_str()); }

  // Runs the child program with a mode, the log and the statistics server; its exit code.
  DWORD RunChild(const std::wstring& mode, const std::wstring& more = L"",
                 const std::wstring& program = L"root_window_child.exe") {
    const std::wstring stats = server_.Base() + L"/s.gif?a={action}";
    return RunChildForExitCode(L"\"" + program + L"\" " + mode + L" \"" + log_ + L"\" \"" + stats + L"\" " + more);
  }
  std::wstring Log() const { return LogCapture::ReadText(log_); }
  bool Logged(const std::wstring& text) const { return Log().find(text) != std::wstring::npos; }

  // A child that sleeps until it is ended.
  PROCESS_INFORMATION StartSleeper() {
    std::wstring command = L"root_window_child.exe sleep - -";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    return process;
  }

  std::wstring temp_;
  std::wstring log_;
  LoopbackHttpServer server_;
};

TEST_F(RootWindowChild, AHostWindowGoneBeforeTheViewIsMadeEndsTheProcessWithAReport) {
  EXPECT_EQ(RunChild(L"host_gone_at_creation"), 0u);
  EXPECT_EQ(server_.Targets(), std::vector<std::string>({"/s.gif?a=parent_wnd_non&ex1=Host%20Class%2F1"}));
  EXPECT_TRUE(Logged(L"parent wnd NOT exists: hwd=0x")) << Log();
  EXPECT_TRUE(Logged(L", class=Host Class/1, terminate.")) << Log();
}

TEST_F(RootWindowChild, AViewWhoseWindowWentWithTheHostEndsTheProcessWhenClosed) {
  EXPECT_EQ(RunChild(L"host_gone_at_close"), 0u);
  EXPECT_EQ(server_.Targets(), std::vector<std::string>({"/s.gif?a=parent_pro_non&ex1=Host%20Class%2F1"}));
  EXPECT_TRUE(Logged(L"root wnd count: 1")) << Log();
  EXPECT_TRUE(Logged(L"Close StatisticException,so suicide")) << Log();
  EXPECT_TRUE(Logged(L", class=Host Class/1, terminate.")) << Log();
}

TEST_F(RootWindowChild, ClosingAPopUpRootWindowEndsTheProcessWithoutAReport) {
  EXPECT_EQ(RunChild(L"popup_close"), 0u);
  EXPECT_TRUE(server_.Targets().empty());
  EXPECT_TRUE(Logged(L"root wnd count: 1")) << Log();
  EXPECT_TRUE(Logged(L"Close StatisticException,so suicide")) << Log();
  EXPECT_FALSE(Logged(L"parent wnd NOT exists")) << Log();
}

TEST_F(RootWindowChild, TheEndOfTheSessionEndsTheRecordedChildrenAndTheProcessOnlyWithTheSwitch) {
  PROCESS_INFORMATION sleeper = StartSleeper();
  ASSERT_TRUE(sleeper.hProcess);
  const std::wstring pid = std::to_wstring(sleeper.dwProcessId);

  // Without the switch: logged (the command line as text, % signs and all) and answered 1.
  EXPECT_EQ(RunChild(L"end_session", pid + L" 100%s%n"), 41u);
  EXPECT_TRUE(Logged(L"WM_QUERYENDSESSION")) << Log();
  EXPECT_TRUE(Logged(L"100%s%n")) << Log();
  EXPECT_FALSE(Logged(L"sc_terminate_end")) << Log();
  EXPECT_EQ(WaitForSingleObject(sleeper.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // With it: the recorded child ends, then the process itself, both with exit code 0.
  DeleteFileW(log_.c_str());
  EXPECT_EQ(RunChild(L"end_session", pid + L" --sc_terminate_end"), 0u);
  EXPECT_EQ(WaitForSingleObject(sleeper.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1;
  GetExitCodeProcess(sleeper.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(Logged(L"sc_terminate_end sub ")) << Log();
  EXPECT_TRUE(server_.Targets().empty());

  TerminateProcess(sleeper.hProcess, 1);
  CloseHandle(sleeper.hThread);
  CloseHandle(sleeper.hProcess);
}

TEST_F(RootWindowChild, MuteGoesThroughTheVolumeLibraryOfTheProcess) {
  const std::wstring folder = temp_ + L"brivelo_root_mute_" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring program = folder + L"\\root_window_child.exe";
  ASSERT_TRUE(CopyFileW((volume_standin::BuildFolder() + L"\\root_window_child.exe").c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(volume_standin::Trusted().c_str(), (folder + L"\\VolumeCtrl.dll").c_str(), FALSE));

  EXPECT_EQ(RunChild(L"mute", L"", program), 50u);
  EXPECT_EQ(volume_standin::Calls(folder), std::vector<std::string>({"Init", "MuteApp 1", "MuteApp 0"}));

  for (const wchar_t* file : {L"root_window_child.exe", L"VolumeCtrl.dll", L"volume_calls.log"})
    DeleteFileW((folder + L"\\" + file).c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
