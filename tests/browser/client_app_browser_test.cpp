#include "browser/client_app_browser.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/common_util.h"
#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "include/cef_scheme.h"
#include "testing/cefengine_testing.h"
#include "testing/cookie_testing.h"
#include "testing/network_testing.h"
#include "tests/browser/browser_app_engine.h"

namespace {

namespace test = cefengine::test;

// The plug-in's full path beside this executable: never a bare name that the library search
// path would resolve.
std::string FlashPath() { return CefString(CommonUtil::GetExeDir().GetString()).ToString() + "\\pepflashplayer.dll"; }

// The browser process's own switches as OnBeforeCommandLineProcessing adds them after the
// line's own, in order.
std::string FlashSwitches() { return " --ppapi-flash-version=24.0.0.221 --ppapi-flash-path=" + FlashPath(); }
const std::string kAlways = FlashSwitches() + " --disable-extensions --lang=zh-CN";

std::string Processed(const std::string& process_type, const std::string& line) {
  CefRefPtr<client::ClientAppBrowser> app = new client::ClientAppBrowser();
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(line);
  app->OnBeforeCommandLineProcessing(process_type, command_line);
  return command_line->GetCommandLineString().ToString();
}

TEST(ClientAppBrowserSwitches, FollowTheLineTheProcessWasStartedWith) {
  struct Case {
    std::string line;
    std::string added;
  } cases[] = {
      {"brivelo.exe", kAlways},
      {"brivelo.exe --off-screen-rendering-enabled",
       std::string(" --disable-surfaces --disable-gpu --disable-gpu-compositing --enable-begin-frame-scheduling") +
           kAlways},
      {"brivelo.exe --off-screen-rendering-enabled --enable-gpu",
       std::string(" --disable-surfaces --enable-begin-frame-scheduling") + kAlways},
      {"brivelo.exe --off-screen-rendering-enabled --disable-pdf-extension",
       std::string(" --disable-gpu --disable-gpu-compositing --enable-begin-frame-scheduling") + kAlways},
      // An existing switch keeps its place when added again.
      {"brivelo.exe --off-screen-rendering-enabled --disable-extensions",
       " --disable-gpu --disable-gpu-compositing --enable-begin-frame-scheduling" + FlashSwitches() + " --lang=zh-CN"},
      {"brivelo.exe --enable-gpu --disable-pdf-extension --disable-gpu", kAlways},
      {"brivelo.exe --enable-extensions", FlashSwitches() + " --lang=zh-CN"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.line + c.added, Processed("", c.line)) << c.line;
}

TEST(ClientAppBrowserSwitches, SubProcessLinesStayAsTheyAre) {
  for (const char* type : {"renderer", "gpu-process", "ppapi"}) {
    const std::string line = std::string("brivelo.exe --type=") + type + " --off-screen-rendering-enabled";
    EXPECT_EQ(line, Processed(type, line));
  }
}

TEST(ClientAppBrowserSwitches, ValuesReplaceThoseTheLineBrought) {
  CefRefPtr<client::ClientAppBrowser> app = new client::ClientAppBrowser();
  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->InitFromString("brivelo.exe --lang=en-US --ppapi-flash-path=C:\\flash.dll");
  app->OnBeforeCommandLineProcessing("", line);
  EXPECT_EQ("zh-CN", line->GetSwitchValue("lang").ToString());
  EXPECT_EQ(FlashPath(), line->GetSwitchValue("ppapi-flash-path").ToString());
  EXPECT_EQ("24.0.0.221", line->GetSwitchValue("ppapi-flash-version").ToString());
}

class RecordingRegistrar : public CefSchemeRegistrar {
 public:
  bool AddCustomScheme(const CefString& scheme_name, bool is_standard, bool is_local,
                       bool is_display_isolated) override {
    schemes.push_back(scheme_name.ToString() + (is_standard ? " standard" : "") + (is_local ? " local" : "") +
                      (is_display_isolated ? " isolated" : ""));
    return true;
  }
  std::vector<std::string> schemes;
  IMPLEMENT_REFCOUNTING(RecordingRegistrar);
};

TEST(ClientAppBrowser, IsItsOwnBrowserProcessHandlerWithoutPrintHandler) {
  CefRefPtr<client::ClientAppBrowser> app = new client::ClientAppBrowser();
  CefRefPtr<CefBrowserProcessHandler> handler = app->GetBrowserProcessHandler();
  EXPECT_EQ(static_cast<CefBrowserProcessHandler*>(app.get()), handler.get());
  EXPECT_TRUE(app->GetPrintHandler() == nullptr);
  EXPECT_TRUE(app->GetRenderProcessHandler() == nullptr);
  EXPECT_TRUE(app->GetResourceBundleHandler() == nullptr);
  CefRefPtr<RecordingRegistrar> registrar = new RecordingRegistrar();
  app->OnRegisterCustomSchemes(registrar.get());
  EXPECT_EQ((std::vector<std::string>{"zip local", "file local"}), registrar->schemes);
}

// The engine started with the application, as the browser process starts it.
TEST(ClientAppBrowser, StartedEngineServesZipAndKeepsCookiesOfZipAndFile) {
  test::EnableJournal();
  ASSERT_TRUE(browser_test::StartEngineWithBrowserApp());

  const std::vector<test::SchemeFactoryInfo> factories = test::SchemeFactories();
  ASSERT_EQ(1u, factories.size());
  EXPECT_EQ(L"zip", factories[0].scheme);
  EXPECT_EQ(L"", factories[0].domain);
  EXPECT_TRUE(factories[0].factory != nullptr);
  EXPECT_EQ((std::vector<std::string>{"zip", "file"}), test::CookieSchemes());

  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  EXPECT_EQ("24.0.0.221", global->GetSwitchValue("ppapi-flash-version").ToString());
  EXPECT_EQ(FlashPath(), global->GetSwitchValue("ppapi-flash-path").ToString());
  EXPECT_TRUE(global->HasSwitch("disable-extensions"));
  EXPECT_EQ("zh-CN", global->GetSwitchValue("lang").ToString());
  EXPECT_FALSE(global->HasSwitch("enable-begin-frame-scheduling"));
  EXPECT_EQ(1u, test::EntriesOf("OnBeforeCommandLineProcessing").size());
  EXPECT_TRUE(test::ExpectOrder({"OnBeforeCommandLineProcessing", "OnRegisterCustomSchemes", "OnContextInitialized"}));

  // A scheme the engine does not serve itself: without a package the factory answers nothing.
  const test::FetchResult missing = test::FetchUrl(L"zip://K|C:\\no-such-folder\\ui.pak|/index.html");
  EXPECT_TRUE(missing.ended);
  EXPECT_EQ(ERR_UNKNOWN_URL_SCHEME, missing.error);
  CefShutdown();
}

}  // namespace
