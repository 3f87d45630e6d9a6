#include "browser/process_launch_hook.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "browser/child_processes.h"
#include "tests/channel/log_capture.h"
#include "tests/product/product_info_fixture.h"

namespace {

using product_fixture::ExeDir;
using product_fixture::ScratchTree;
using product_fixture::Utf8;
using Record = std::map<std::string, std::string>;

const wchar_t* const kWithSwitch = L"brivelo.exe --sc_terminate_quit --url=about:blank";
const wchar_t* const kWithoutSwitch = L"brivelo.exe --url=about:blank";

std::wstring EchoChild() { return ExeDir() + L"\\argv_echo_child.exe"; }

bool PluginPresent() { return true; }
bool PluginMissing() { return false; }

// One launch through the hook's body with the real CreateProcessW / CreateProcessA.
struct Launch {
  BOOL ret = FALSE;
  DWORD error = 0;
  PROCESS_INFORMATION info;
  Record record;  // what the child recorded about itself; empty when none started
};

class LaunchBody : public ::testing::Test {
 protected:
  ProcessLaunchHook::LaunchContext Context(const wchar_t* ownLine, bool (*pluginExists)() = &PluginMissing,
                                           HWND window = nullptr) {
    return ProcessLaunchHook::LaunchContext{ownLine, pluginExists, window, &m_children};
  }

  std::wstring NextRecordPath() { return m_tree.Path(L"record_" + std::to_wstring(m_nRecords++) + L".txt"); }

  template <typename Char, typename StartupInfo, typename Run>
  Launch Start(const Run& run, const Char* application, const std::basic_string<Char>* commandLine,
               StartupInfo& startup) {
    const std::wstring recordPath = NextRecordPath();
    SetEnvironmentVariableW(L"BRIVELO_ARGV_RECORD", recordPath.c_str());
    std::basic_string<Char> buffer = commandLine ? *commandLine : std::basic_string<Char>();
    Launch launch;
    memset(&launch.info, 0xCC, sizeof(launch.info));
    launch.ret = run(application, commandLine ? &buffer[0] : nullptr, &startup, &launch.info);
    launch.error = GetLastError();
    if (commandLine) {
      EXPECT_EQ(*commandLine, buffer) << "the caller's command line is never written";
    }
    if (launch.ret) {
      EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(launch.info.hProcess, 30000));
      m_handles.push_back(launch.info.hProcess);
      CloseHandle(launch.info.hThread);
      launch.record = product_fixture::ReadAnswers(recordPath);
    }
    return launch;
  }

  Launch StartW(const ProcessLaunchHook::LaunchContext& context, const wchar_t* application,
                const std::wstring* commandLine, STARTUPINFOW* startupInfo = nullptr) {
    STARTUPINFOW local = {};
    local.cb = sizeof(local);
    STARTUPINFOW& startup = startupInfo ? *startupInfo : local;
    return Start<wchar_t>(
        [&](LPCWSTR app, LPWSTR line, LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi) {
          return ProcessLaunchHook::LaunchW(&CreateProcessW, context, app, line, nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, si, pi);
        },
        application, commandLine, startup);
  }

  Launch StartA(const ProcessLaunchHook::LaunchContext& context, const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return Start<char>(
        [&](LPCSTR app, LPSTR line, LPSTARTUPINFOA si, LPPROCESS_INFORMATION pi) {
          return ProcessLaunchHook::LaunchA(&CreateProcessA, context, app, line, nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, si, pi);
        },
        static_cast<const char*>(nullptr), &commandLine, startup);
  }

  void TearDown() override {
    for (HANDLE handle : m_handles) CloseHandle(handle);
  }

  ScratchTree m_tree;
  ChildProcessList m_children;
  std::vector<HANDLE> m_handles;
  int m_nRecords = 0;
};

TEST_F(LaunchBody, TerminateQuitIsAppendedOnlyWhenThisProcessHasTheSwitch) {
  const struct {
    const wchar_t* ownLine;
    bool appended;
  } cases[] = {
      {kWithSwitch, true},
      {L"brivelo.exe --type=renderer -sc_terminate_quit", true},
      {kWithoutSwitch, false},
      {L"brivelo.exe --cmd=sc_terminate_quit", false},  // a value, not the switch
  };
  const std::wstring wide = L"\"" + EchoChild() + L"\" alpha \"b c\"";
  const std::string narrow = Utf8(wide);
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.ownLine));
    const std::string expected = narrow + (c.appended ? " --sc_terminate_quit" : "");
    Launch w = StartW(Context(c.ownLine), nullptr, &wide);
    ASSERT_TRUE(w.ret);
    EXPECT_EQ(expected, w.record["cmdline"]);
    Launch a = StartA(Context(c.ownLine), narrow);
    ASSERT_TRUE(a.ret);
    EXPECT_EQ(expected, a.record["cmdline"]);
  }
}

TEST_F(LaunchBody, EchoNotSandboxedStartsHiddenIntoAPipeWithoutTheSwitch) {
  const std::wstring commandLine = L"\"" + EchoChild() + L"\" /c echo NOT SANDBOXED";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
  startup.wShowWindow = SW_SHOWMAXIMIZED;
  Launch launch = StartW(Context(kWithSwitch), nullptr, &commandLine, &startup);
  ASSERT_TRUE(launch.ret);
  // The caller's startup information, as the hook changed it.
  EXPECT_EQ(DWORD(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES), startup.dwFlags);
  EXPECT_EQ(SW_HIDE, startup.wShowWindow);
  EXPECT_NE(nullptr, startup.hStdOutput);
  EXPECT_EQ(startup.hStdOutput, startup.hStdError);
  // The child's view.
  EXPECT_EQ(Utf8(commandLine), launch.record["cmdline"]);
  EXPECT_EQ("101", launch.record["flags"]);
  EXPECT_EQ("0", launch.record["show"]);
  EXPECT_EQ("pipe", launch.record["stdout"]);
  EXPECT_EQ("pipe", launch.record["stderr"]);
  EXPECT_EQ("1", launch.record["write"]) << "the pipe takes the child's output";

  // The text is matched with its letter case: this one is an ordinary child.
  const std::wstring lower = L"\"" + EchoChild() + L"\" /c echo not sandboxed";
  STARTUPINFOW other = {};
  other.cb = sizeof(other);
  Launch ordinary = StartW(Context(kWithSwitch), nullptr, &lower, &other);
  ASSERT_TRUE(ordinary.ret);
  EXPECT_EQ(Utf8(lower) + " --sc_terminate_quit", ordinary.record["cmdline"]);
  EXPECT_EQ(0u, other.dwFlags);
  EXPECT_EQ(nullptr, other.hStdOutput);
}

// The hidden child's pipe is the one handle it inherits (an ordinary child that inherits gets
// every inheritable handle), and this process keeps no end of that pipe once the child is gone.
TEST_F(LaunchBody, TheHiddenChildInheritsOnlyItsPipeWhichClosesWhenItEnds) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE event = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  SetEnvironmentVariableW(L"BRIVELO_ARGV_PROBE_HANDLE", std::to_wstring(uintptr_t(event)).c_str());
  // The pipe handles this process holds (handle values are small multiples of four).
  auto pipeHandles = [] {
    std::vector<uintptr_t> pipes;
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
      DWORD flags = 0;
      HANDLE handle = reinterpret_cast<HANDLE>(value);
      if (GetHandleInformation(handle, &flags) && GetFileType(handle) == FILE_TYPE_PIPE) pipes.push_back(value);
    }
    return pipes;
  };

  const std::wstring ordinary = L"\"" + EchoChild() + L"\" ordinary";
  Launch plain = StartW(Context(kWithoutSwitch), nullptr, &ordinary);
  ASSERT_TRUE(plain.ret);
  EXPECT_EQ("1", plain.record["probe"]);

  const std::vector<uintptr_t> before = pipeHandles();
  const std::wstring echo = L"\"" + EchoChild() + L"\" /c echo NOT SANDBOXED";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  Launch hidden = StartW(Context(kWithoutSwitch), nullptr, &echo, &startup);
  ASSERT_TRUE(hidden.ret);
  EXPECT_EQ("0", hidden.record["probe"]) << "only the pipe was passed on";
  EXPECT_EQ("1", hidden.record["write"]) << "the pipe was open while the child wrote";
  // The read end goes when the child has ended (a wait of the thread pool closes it).
  std::vector<uintptr_t> after = pipeHandles();
  for (int i = 0; i < 200 && after != before; ++i) {
    Sleep(25);
    after = pipeHandles();
  }
  EXPECT_EQ(before, after);
  SetEnvironmentVariableW(L"BRIVELO_ARGV_PROBE_HANDLE", nullptr);
  CloseHandle(event);
}

// A stand-in for CreateProcessW that keeps the hidden child's pipe end from being closed, so that
// what the launch left of it can be looked at; it starts nothing.
HANDLE g_hKeptWriteEnd = nullptr;
BOOL WINAPI KeepWriteEndStartNothing(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                     LPVOID, LPCWSTR, LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION) {
  g_hKeptWriteEnd = startupInfo->hStdOutput;
  SetHandleInformation(g_hKeptWriteEnd, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

// The pipe's write end is inheritable only while its own launch runs under the lock that every
// inheriting launch takes: the next one may start as soon as the lock is let go, before the end
// is closed.
TEST_F(LaunchBody, ThePipesWriteEndStopsBeingInheritableWhenItsLaunchIsOver) {
  std::wstring line = L"\"" + EchoChild() + L"\" /c echo NOT SANDBOXED";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  EXPECT_FALSE(ProcessLaunchHook::LaunchW(&KeepWriteEndStartNothing, Context(kWithoutSwitch), nullptr, &line[0],
                                          nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ASSERT_NE(nullptr, g_hKeptWriteEnd);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(g_hKeptWriteEnd, &flags));
  EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
  SetHandleInformation(g_hKeptWriteEnd, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
  EXPECT_TRUE(CloseHandle(g_hKeptWriteEnd));
}

int g_nPluginChecks = 0;
bool CountedPluginMissing() {
  ++g_nPluginChecks;
  return false;
}

TEST_F(LaunchBody, FlashPluginLaunchIsRefusedOnlyWhenMissingAfterALoad) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, window);
  const std::wstring flash = L"\"" + EchoChild() + L"\" --type=ppapi --ppapi-flash-args=--x";
  const struct {
    bool pluginExists;
    bool windowSet;
  } cases[] = {{true, true}, {true, false}, {false, false}, {false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("plugin ") + (c.pluginExists ? "present" : "missing") + ", window " +
                 (c.windowSet ? "set" : "null"));
    const size_t childrenBefore = m_children.Snapshot().size();
    Launch launch = StartW(Context(kWithoutSwitch, c.pluginExists ? &PluginPresent : &PluginMissing,
                                   c.windowSet ? window : nullptr),
                           nullptr, &flash);
    MSG message = {};
    const bool noticed = PeekMessageW(&message, window, 0, 0, PM_REMOVE) != FALSE;
    if (!c.pluginExists && c.windowSet) {
      EXPECT_FALSE(launch.ret);
      EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), launch.error);
      const PROCESS_INFORMATION zero = {};
      EXPECT_EQ(0, memcmp(&zero, &launch.info, sizeof(zero))) << "no handles to misuse";
      ASSERT_TRUE(noticed);
      EXPECT_EQ(WM_FLASH_PLUGIN_MISSING, message.message);
      EXPECT_EQ(0u, message.wParam);
      EXPECT_EQ(0, message.lParam);
      EXPECT_EQ(childrenBefore, m_children.Snapshot().size());
    } else {
      EXPECT_TRUE(launch.ret);
      EXPECT_EQ(Utf8(flash), launch.record["cmdline"]);
      EXPECT_FALSE(noticed);
      EXPECT_EQ(childrenBefore + 1, m_children.Snapshot().size());
    }
  }
  // The plug-in file is looked for only for a Flash launch.
  const std::wstring plain = L"\"" + EchoChild() + L"\" plain";
  Launch launch = StartW(Context(kWithoutSwitch, &CountedPluginMissing, window), nullptr, &plain);
  EXPECT_TRUE(launch.ret);
  EXPECT_EQ(0, g_nPluginChecks);
  DestroyWindow(window);
}

TEST_F(LaunchBody, NullCommandLineStaysNullUnlessTheSwitchIsAppended) {
  const std::wstring child = EchoChild();
  Launch plain = StartW(Context(kWithoutSwitch), child.c_str(), nullptr);
  ASSERT_TRUE(plain.ret);
  // The system made the command line from the application name.
  EXPECT_NE(std::string::npos, plain.record["cmdline"].find("argv_echo_child.exe"));
  EXPECT_EQ(std::string::npos, plain.record["cmdline"].find("--"));

  Launch appended = StartW(Context(kWithSwitch), child.c_str(), nullptr);
  ASSERT_TRUE(appended.ret);
  EXPECT_EQ("\"" + Utf8(child) + "\" --sc_terminate_quit", appended.record["cmdline"]);
  EXPECT_EQ(2u, m_children.Snapshot().size());
}

TEST_F(LaunchBody, StartedChildrenAreRecordedInOrderAndFailuresKeepTheirError) {
  LogCapture log;
  const std::wstring first = L"\"" + EchoChild() + L"\" first";
  const std::wstring missing = L"\"" + m_tree.Path(L"missing.exe") + L"\" x";
  const std::wstring second = L"\"" + EchoChild() + L"\" second";

  // What the system itself says about the missing program.
  std::wstring direct = missing;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_FALSE(CreateProcessW(nullptr, &direct[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  const DWORD systemError = GetLastError();

  Launch a = StartW(Context(kWithoutSwitch), nullptr, &first);
  Launch failed = StartW(Context(kWithoutSwitch), nullptr, &missing);
  Launch b = StartW(Context(kWithoutSwitch), nullptr, &second);
  ASSERT_TRUE(a.ret);
  ASSERT_FALSE(failed.ret);
  ASSERT_TRUE(b.ret);
  EXPECT_EQ(systemError, failed.error) << "logging must not replace the launch's error";
  EXPECT_EQ((std::vector<HANDLE>{a.info.hProcess, b.info.hProcess}), m_children.Snapshot());

  EXPECT_EQ(3u, log.Count(L"CreateProcessW("));
  EXPECT_NE(std::wstring::npos, log.Find(L"CreateProcessW((null), " + first + L"): ret=1, pid=" +
                                         std::to_wstring(a.info.dwProcessId) + L", error="));
  EXPECT_NE(std::wstring::npos, log.Find(L"CreateProcessW((null), " + missing + L"): ret=0, pid=0, error=" +
                                         std::to_wstring(systemError)));
  EXPECT_EQ(3u, log.Count(kWithoutSwitch)) << "the own command line, once per launch";
}

TEST(ProcessLaunchHook, InstallMatchesThisBuild) {
  const size_t before = g_childProcesses.Snapshot().size();
#if defined(__i386__) || defined(_M_IX86)
  ASSERT_EQ(MH_OK, ProcessLaunchHook::Install());
  EXPECT_EQ(MH_ERROR_ALREADY_INITIALIZED, ProcessLaunchHook::Install());
  const size_t expected = before + 1;
#else
  // No hooking engine: the process goes on and its children start unhooked.
  EXPECT_EQ(MH_ERROR_UNSUPPORTED_FUNCTION, ProcessLaunchHook::Install());
  const size_t expected = before;
#endif
  ScratchTree tree;
  SetEnvironmentVariableW(L"BRIVELO_ARGV_RECORD", tree.Path(L"record.txt").c_str());
  std::wstring commandLine = L"\"" + EchoChild() + L"\" direct";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(info.hProcess, 30000));
  EXPECT_EQ(expected, g_childProcesses.Snapshot().size());
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

// The detours installed in a process of their own, as the process entry installs them.
TEST(ProcessLaunchHook, DetoursInAHookedProcess) {
#if !defined(__i386__) && !defined(_M_IX86)
  GTEST_SKIP() << "32-bit x86 only; this build is x86_64";
#else
  ScratchTree tree;
  const struct {
    const char* name;
    bool terminateQuit;
    bool pluginBeside;
  } cases[] = {{"switch, no plug-in", true, false}, {"no switch, plug-in", false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring folder = tree.Folder(c.terminateQuit ? L"switch" : L"plugin");
    const std::wstring records = tree.Folder(c.terminateQuit ? L"switch_records" : L"plugin_records");
    if (c.pluginBeside) product_fixture::Touch(folder + L"\\pepflashplayer.dll");
    const std::wstring probe = product_fixture::PlaceProbe(folder, L"launch_hook_probe.exe");
    std::map<std::string, std::string> out = product_fixture::RunProbe(
        probe, L"\"" + EchoChild() + L"\" \"" + records + L"\"" + (c.terminateQuit ? L" --sc_terminate_quit" : L""));
    ASSERT_EQ("MH_OK", out["install"]);
    auto record = [&](const wchar_t* name) { return product_fixture::ReadAnswers(records + L"\\" + name + L".txt"); };
    const std::string child = "\"" + Utf8(EchoChild()) + "\" ";
    const std::string suffix = c.terminateQuit ? " --sc_terminate_quit" : "";
    EXPECT_EQ(child + "plain-w" + suffix, record(L"w")["cmdline"]);
    EXPECT_EQ(child + "plain-a" + suffix, record(L"a")["cmdline"]);
    EXPECT_EQ(child + "echo NOT SANDBOXED", record(L"echo")["cmdline"]);
    EXPECT_EQ("pipe", record(L"echo")["stdout"]);
    EXPECT_EQ("1", out["flash_early"]) << "before any load the plug-in starts as asked";
    if (c.pluginBeside) {
      EXPECT_EQ("1", out["flash_w"]);
      EXPECT_EQ("1", out["flash_a"]);
      EXPECT_EQ("0", out["flash_w.notice"]);
    } else {
      EXPECT_EQ("0", out["flash_w"]);
      EXPECT_EQ("2", out["flash_w.error"]);
      EXPECT_EQ("0", out["flash_w.info"]);
      EXPECT_EQ("1", out["flash_w.notice"]);
      EXPECT_EQ("0", out["flash_a"]);
      EXPECT_EQ("0", out["flash_a.info"]);
      EXPECT_EQ("1", out["flash_a.notice"]);
      EXPECT_TRUE(record(L"flash_w").empty());
    }
    EXPECT_EQ("0", out["missing"]);
    EXPECT_FALSE(out["started"].empty());
    EXPECT_EQ(out["started"], out["recorded"]) << "every started child recorded, in order, and only those";
  }
#endif
}

}  // namespace
