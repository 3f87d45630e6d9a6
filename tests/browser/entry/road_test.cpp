// The whole road, as a host application lives with the browser: the host simulator starts
// Brivelo.exe inside its window and drives it over the channel, while the test plays the page's
// script through the CEF layer's control pipe of the browser process.
// Sockets before <windows.h>: the statistics server needs winsock2.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "testing/cefengine_testing.h"
#include "tests/browser/entry/browser_session.h"
#include "tests/browser/entry/brivelo_installation.h"
#include "tests/product/loopback_http_server.h"
#include "tests/tools/png_decode.h"
#include "tools/pkgmaker/package_builder.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

using entry_test::BriveloInstallation;
using entry_test::kRunMs;
using entry_test::Occurrences;
using entry_test::ParseJson;
using entry_test::ProcessOfWindow;
using entry_test::Session;
using entry_test::Utf8;
using hostsim::HostsimRunner;

const bool kLaunchHookWorks = sizeof(void*) == 4;

// A page package made as the package maker makes it, in the installation's folder.
std::string PackageUrl(const BriveloInstallation& installation, const std::string& page) {
  ZipBuildEntry entry;
  entry.name = "index.html";
  entry.data = page;
  std::string package;
  EXPECT_TRUE(BuildPlainPackage(BuildZipArchive({entry}), "road-key", &package));
  const std::wstring path = installation.Bin() + L"\\ui.pak";
  EXPECT_TRUE(StringCipher::WriteFileData(path.c_str(), package));
  return "zip://road-key|" + Utf8(path) + "|/index.html";
}

TEST(Road, AHostDrivesTheBrowserFromItsStartToItsEnd) {
  BriveloInstallation installation;
  const std::string url =
      PackageUrl(installation, "<html><head><title>Road page</title></head><body>road</body></html>");
  Session session(installation, {L"--url=about:blank"});
  ASSERT_TRUE(session.Start());

  // Event 1 came synchronously, with the root window: a window of the browser process, which is
  // not the host's.
  EXPECT_TRUE(session.created()["sync"].asBool()) << session.created().toStyledString();
  const HWND root = HostsimRunner::WindowOfEvent(session.created());
  EXPECT_TRUE(IsWindow(root));
  ASSERT_NE(0u, session.browser_pid());
  EXPECT_NE(session.run().hostsim_pid(), session.browser_pid());

  // The packaged page loads on the host's command.
  session.Send("load 256 \"" + url + "\"");
  session.WaitFor("AddressChange", 256, "url", url);
  session.WaitFor("TitleChange", 256, "title", "Road page");
  session.WaitFor("LoadEnd", 256, "url", url);
  const int browser = session.BrowserShowing(url);
  ASSERT_NE(0, browser) << session.Page("browsers").toStyledString();

  // Page script calls a host method with a callback; the host answers the callback.
  Json::Value args;
  args["browser"] = browser;
  args["path"] = "external.Execute";
  args["args"] = ParseJson(R"([{"str": "hostMethod"}, {"fn": {"name": "onAnswer", "returns": {"str": "thanks"}}},
                               {"str": "a1"}, {"str": "a 2"}])");
  const Json::Value execute = session.Page("renderer_call", args);
  ASSERT_TRUE(execute["ran"].asBool()) << execute.toStyledString();
  ASSERT_FALSE(execute["threw"].asBool()) << execute["exception"].asString();
  const Json::Value call = session.WaitFor("CallHost", 256, "method", "hostMethod");
  EXPECT_EQ(execute["value"].asString(), std::to_string(call["id"].asInt64()));
  EXPECT_EQ("onAnswer", call["callback"].asString());
  EXPECT_EQ(ParseJson(R"(["a1", "a 2"])"), call["args"]);
  const std::string id = std::to_string(call["id"].asInt64());
  session.Send("call 256 " + id + " onAnswer \"host says\"");
  EXPECT_EQ((std::vector<std::string>{"onAnswer", "host says"}), session.PageFunctionCall("onAnswer"));
  // The callback's value comes back under the call's id.
  Json::Value result = session.WaitFor("CallResult", 256, "id", id);
  EXPECT_EQ(0, result["status"].asInt());
  EXPECT_EQ("thanks", result["result"].asString());

  // The page registers a function; the host calls it.
  args["path"] = "external.RegisterFunction";
  args["args"] = ParseJson(R"([{"fn": {"name": "pageSum", "returns": {"str": "42"}}}])");
  ASSERT_TRUE(session.Page("renderer_call", args)["ran"].asBool());
  session.Send("call 256 77 pageSum 40 2");
  result = session.WaitFor("CallResult", 256, "id", "77");
  EXPECT_EQ(0, result["status"].asInt());
  EXPECT_EQ("42", result["result"].asString());
  EXPECT_EQ((std::vector<std::string>{"pageSum", "40", "2"}), session.PageFunctionCall("pageSum"));

  // Cookies set by the host are read back by the host.
  session.Send("cookies set http://road.test/ \"a=1; b=2\"");
  session.Send("cookies get 256 http://road.test/");
  const Json::Value cookies = session.WaitFor("Cookies", 256, "url", "http://road.test/");
  EXPECT_EQ("a=1;b=2;", cookies["cookies"].asString());

  // A second view inside another host window.
  session.Send("create \"--url=about:blank --parent_wnd={parent} --web_view_id=512 --tab_rect=0,0,320,200\"");
  const Json::Value second = session.WaitFor("BrowserCreated", 512);
  EXPECT_TRUE(second["sync"].asBool());
  EXPECT_EQ(session.browser_pid(), ProcessOfWindow(HostsimRunner::WindowOfEvent(second)));
  EXPECT_NE(root, HostsimRunner::WindowOfEvent(second));

  // Both views closed: each reports its end, and the last one ends the process in order.
  session.Send("close 512");
  session.WaitFor("WindowDestroyed", 512);
  session.Send("close 256");
  session.WaitFor("WindowDestroyed", 256);
  int code = -1;
  ASSERT_TRUE(session.run().WaitForBrowserExit(kRunMs, &code)) << session.run().Transcript();
  EXPECT_EQ(0, code);
  EXPECT_TRUE(session.run().WaitForTreeEnd(kRunMs)) << ::testing::PrintToString(session.run().LiveProcesses());
  const std::string log = installation.Log(L"browser");
  EXPECT_EQ(1u, Occurrences(log, "Main : Shutdown.")) << log;
  EXPECT_EQ(0u, Occurrences(log, "Main : TerminateProcess.")) << log;
  EXPECT_EQ(1u, Occurrences(log, "Main : exit with exitCode = 0")) << log;
  // The renderers heard their browsers go before their pipes closed: they returned in order.
  const std::string render_log = installation.Log(L"render");
  EXPECT_EQ(0u, Occurrences(render_log, "CefExecuteProcess : TerminateProcess.")) << render_log;
  EXPECT_LE(1u, Occurrences(render_log, "Main : exit with exitCode")) << render_log;
}

TEST(Road, ARendererWhoseBrowserDiedReportsTheGoneWindowAndEndsItself) {
  for (bool terminate_quit : {false, true}) {
    SCOPED_TRACE(terminate_quit ? "with sc_terminate_quit" : "plain");
    LoopbackHttpServer statistics;
    BriveloInstallation installation;
    installation.InstallProduct(statistics.Base());
    std::vector<std::wstring> args = {L"--url=about:blank"};
    if (terminate_quit) args.push_back(L"--switch=--sc_terminate_quit");
    Session session(installation, args);
    ASSERT_TRUE(session.Start());
    session.WaitFor("LoadEnd", 256, "url", "about:blank");
    const Json::Value renderers = session.Renderers();
    ASSERT_EQ(1u, renderers.size());
    HANDLE renderer =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, renderers[0]["pid"].asUInt());
    ASSERT_NE(nullptr, renderer);
    // The launch hook hands the switch on where it can hook (32-bit processes).
    const bool renderer_has_switch = terminate_quit && kLaunchHookWorks;

    // The browser ends abruptly, its windows with it; its renderer sees its pipe close.
    HANDLE browser = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, session.browser_pid());
    ASSERT_NE(nullptr, browser);
    ASSERT_TRUE(TerminateProcess(browser, 77));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(browser, kRunMs));
    CloseHandle(browser);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(renderer, kRunMs));
    DWORD code = 99;
    GetExitCodeProcess(renderer, &code);
    CloseHandle(renderer);
    // It ended itself (exit code 0). Without the switch it first reported the window it knew, by
    // its class; with the switch it did not even look at that window.
    EXPECT_EQ(0u, code);
    if (renderer_has_switch) {
      EXPECT_TRUE(statistics.Targets().empty()) << ::testing::PrintToString(statistics.Targets());
    } else {
      EXPECT_EQ(std::vector<std::string>{"/s.gif?a=browser_non&t=brivelo&p=chan7&ex1=Brivelo"},
                statistics.Targets());
    }
    const std::string log = installation.Log(L"render");
    EXPECT_EQ(1u, Occurrences(log, "CefExecuteProcess : TerminateProcess.")) << log;
    EXPECT_EQ(0u, Occurrences(log, "Main : exit with exitCode")) << log;
  }
}

// Runs the capture tool on `window` (as ./dev demo does); the picture, not ok when it failed.
png_decode::Image Picture(HWND window, const std::wstring& path) {
  wchar_t handle[32];
  swprintf(handle, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  std::wstring command = L"\"" + product_fixture::ExeDir() + L"\\screenshot.exe\" --hwnd=" + handle + L" \"--out=" +
                         path + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process))
    return png_decode::Image();
  WaitForSingleObject(process.hProcess, kRunMs);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return png_decode::Decode(log_test::ReadBytes(path));
}

TEST(Road, ThePageShowsInsideTheHostWindowAsAUserSeesIt) {
  BriveloInstallation installation;
  const std::string url = PackageUrl(
      installation, "<html><head><title>Shown</title><meta name=\"cefengine-background\" content=\"#1E5AA8\"></head></html>");
  Session session(installation, {L"--url=" + std::wstring(url.begin(), url.end()), L"--rect=20,30,300,200"});
  ASSERT_TRUE(session.Start());
  session.WaitFor("LoadEnd", 256, "url", url);
  const HWND host = session.HostWindow();
  ASSERT_TRUE(IsWindow(host));
  // Above the windows of tests running meanwhile on the same display.
  SetWindowPos(host, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  const png_decode::Image image = Picture(host, installation.Bin() + L"\\host.png");
  ASSERT_TRUE(image.ok);
  RECT frame;
  ASSERT_TRUE(GetWindowRect(host, &frame));
  POINT client = {0, 0};
  ClientToScreen(host, &client);
  // The view's rectangle in the picture: the tab rectangle within the host's client area.
  const UINT left = static_cast<UINT>(client.x - frame.left + 20);
  const UINT top = static_cast<UINT>(client.y - frame.top + 30);
  ASSERT_GE(image.width, left + 300);
  ASSERT_GE(image.height, top + 200);
  // Inside: the page's background (its title and address are drawn in its top left corner).
  EXPECT_EQ(0x1E5AA8u, image.At(left + 299, top + 199));
  EXPECT_EQ(0x1E5AA8u, image.At(left + 150, top + 150));
  // Around it: the host window's own background.
  const uint32_t host_background = image.At(left - 1, top + 100);
  EXPECT_NE(0x1E5AA8u, host_background);
  EXPECT_EQ(host_background, image.At(left + 300, top + 100));
  EXPECT_EQ(host_background, image.At(left + 150, top + 200));
}

TEST(Road, WhenTheHostDiesTheBrowserEndsWithinASecondAndLeavesNoChildren) {
  BriveloInstallation installation;
  Session session(installation, {L"--url=about:blank"});
  ASSERT_TRUE(session.Start());
  session.WaitFor("LoadEnd", 256, "url", "about:blank");
  // The renderer runs.
  ASSERT_EQ(1u, session.Renderers().size());
  HANDLE browser = OpenProcess(SYNCHRONIZE, FALSE, session.browser_pid());
  ASSERT_NE(nullptr, browser);

  session.Send("kill-self");
  DWORD hostsim_code = 0;
  ASSERT_TRUE(session.run().WaitForExit(kRunMs, &hostsim_code));
  const ULONGLONG host_gone = GetTickCount64();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(browser, 5000));
  const ULONGLONG took = GetTickCount64() - host_gone;
  CloseHandle(browser);
  EXPECT_LE(took, 1000u);
  // Its renderer does not outlive it.
  EXPECT_TRUE(session.run().WaitForTreeEnd(5000)) << ::testing::PrintToString(session.run().LiveProcesses());
}

TEST(Road, ScMuteAppMutesTheBrowserAndTheRendererItStarts) {
  BriveloInstallation installation(true);
  Session session(installation, {L"--url=about:blank", L"--switch=--sc_mute_app"}, {{L"__sc_mute_app", L""}});
  ASSERT_TRUE(session.Start());
  session.WaitFor("LoadEnd", 256, "url", "about:blank");
  const Json::Value renderers = session.Renderers();
  ASSERT_EQ(1u, renderers.size());
  const std::string renderer_pid = std::to_string(renderers[0]["pid"].asUInt());
  // The renderer has no switch of its own: the environment told it.
  EXPECT_EQ(std::string::npos, renderers[0]["command_line"].asString().find("sc_mute_app"));
  const std::string browser_pid = std::to_string(session.browser_pid());

  session.Send("close 256");
  int code = -1;
  ASSERT_TRUE(session.run().WaitForBrowserExit(kRunMs, &code));
  ASSERT_TRUE(session.run().WaitForTreeEnd(kRunMs));
  const std::vector<std::string> calls = installation.VolumeCalls();
  for (const std::string& pid : {browser_pid, renderer_pid}) {
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), pid + " MuteApp 1")) << pid << "\n"
                                                                             << ::testing::PrintToString(calls);
  }
  EXPECT_EQ(1u, Occurrences(installation.Log(L"browser"), "sc_mute_app: ret = 1, process_type = 0"));
  EXPECT_EQ(1u, Occurrences(installation.Log(L"render"), "sc_mute_app: ret = 1, process_type = 1"));
}

TEST(Road, ScTerminateQuitEndsTheBrowserThroughTerminateProcessAndItsRenderersWithIt) {
  BriveloInstallation installation;
  Session session(installation, {L"--url=about:blank", L"--switch=--sc_terminate_quit"});
  ASSERT_TRUE(session.Start());
  session.WaitFor("LoadEnd", 256, "url", "about:blank");
  const Json::Value renderers = session.Renderers();
  ASSERT_EQ(1u, renderers.size());
  // The launch hook hands the switch on where it can hook (32-bit processes).
  EXPECT_EQ(kLaunchHookWorks,
            renderers[0]["command_line"].asString().find(" --sc_terminate_quit") != std::string::npos)
      << renderers[0]["command_line"].asString();

  session.Send("close 256");
  session.WaitFor("WindowDestroyed", 256);
  int code = -1;
  ASSERT_TRUE(session.run().WaitForBrowserExit(kRunMs, &code));
  EXPECT_EQ(0, code);
  EXPECT_TRUE(session.run().WaitForTreeEnd(kRunMs)) << ::testing::PrintToString(session.run().LiveProcesses());
  const std::string log = installation.Log(L"browser");
  EXPECT_EQ(1u, Occurrences(log, "Main : TerminateProcess.")) << log;
  // CEF is not shut down, and Main never returns.
  EXPECT_EQ(0u, Occurrences(log, "Main : Shutdown.")) << log;
  EXPECT_EQ(0u, Occurrences(log, "Main : exit with exitCode")) << log;
  // A renderer with the switch ends itself once its browser is gone.
  EXPECT_EQ(kLaunchHookWorks ? 1u : 0u, Occurrences(installation.Log(L"render"), "CefExecuteProcess : TerminateProcess."));
}

TEST(Road, TheChannelWindowIsNamedByTabGroupIdsElseByTabIds) {
  BriveloInstallation installation;
  const std::wstring prefix = L"KivVireDaredo.Browser.MsgClass.";
  {
    Session session(installation, {L"--url=about:blank"});
    ASSERT_TRUE(session.Start());
    const std::wstring name = prefix + session.run().id();
    const HWND channel = FindWindowW(name.c_str(), name.c_str());
    ASSERT_NE(nullptr, channel);
    EXPECT_EQ(session.browser_pid(), ProcessOfWindow(channel));
  }
  // The host's own stub is named by tab_ids, so this browser's events reach nobody: the window
  // is looked for directly.
  const std::wstring group = L"road.group." + std::to_wstring(GetCurrentProcessId());
  Session session(installation, {L"--url=about:blank", L"--switch=--tab_group_ids=" + group});
  ASSERT_TRUE(session.Launch());
  const std::wstring name = prefix + group;
  HWND channel = nullptr;
  cefengine::test::WaitFor([&] { return (channel = FindWindowW(name.c_str(), name.c_str())) != nullptr; }, kRunMs);
  EXPECT_NE(nullptr, channel) << session.run().Transcript();
  const std::wstring by_id = prefix + session.run().id();
  EXPECT_EQ(nullptr, FindWindowW(by_id.c_str(), by_id.c_str()));
}

TEST(Road, CachePathNamesCefsCacheFolderAndWithoutItTheProductFolderHoldsIt) {
  BriveloInstallation installation;
  const std::wstring own = installation.Bin() + L"\\own cache";
  const std::wstring standard = installation.AppData() + L"\\cef_cache";
  {
    Session session(installation, {L"--url=about:blank", L"--switch=--cache_path=\"" + own + L"\""});
    ASSERT_TRUE(session.Start());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(own.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(standard.c_str()));
  }
  Session session(installation, {L"--url=about:blank", L"--switch=--cache_path="});
  ASSERT_TRUE(session.Start());
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(standard.c_str()));
}

}  // namespace
