// What other programs of the desktop and a careless host can send the executable, driven as a
// host drives it: messages posted to the main loop's window by another process, and create-view
// commands that would misroute later commands, end the browser or make a view that never
// closes. The browser lives on, its views answer their own commands, and it ends in order.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/browser/entry/browser_session.h"
#include "tests/browser/entry/brivelo_installation.h"
#include "tests/product/child_process.h"

namespace {

using entry_test::BriveloInstallation;
using entry_test::kRunMs;
using entry_test::Occurrences;
using entry_test::ProcessOfWindow;
using entry_test::Session;
using hostsim::HostsimRunner;

// The main loop's message window of process `pid`; null when it has none.
HWND LoopWindowOf(DWORD pid) {
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"Client_MessageWindow", nullptr); window;
       window = FindWindowExW(HWND_MESSAGE, window, L"Client_MessageWindow", nullptr)) {
    if (ProcessOfWindow(window) == pid) return window;
  }
  return nullptr;
}

// Event lines of `name` for `view` that hostsim printed so far.
size_t EventCount(Session& session, const std::string& name, int view) {
  size_t count = 0;
  for (const std::string& text : session.run().Lines()) {
    Json::Value line;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (reader->parse(text.data(), text.data() + text.size(), &line, &errors) && line.isObject() &&
        line["event"] == "MsgToHost" + name && line["view"] == view)
      ++count;
  }
  return count;
}

// Closes the views, then the browser ends in order with exit code 0.
void CloseAndExpectAnOrderlyEnd(Session& session, const std::vector<int>& views) {
  for (int view : views) {
    session.Send("close " + std::to_string(view));
    session.WaitFor("WindowDestroyed", view);
  }
  int code = -1;
  ASSERT_TRUE(session.run().WaitForBrowserExit(kRunMs, &code)) << session.run().Transcript();
  EXPECT_EQ(0, code);
}

// The task message carries nothing the loop trusts: another program posting it with addresses
// of its choice (and closes of the window among them) runs nothing and ends nothing.
TEST(UntrustedInput, TaskMessagesAnotherProgramPostsToTheMainLoopRunNothing) {
  BriveloInstallation installation;
  Session session(installation, {L"--url=about:blank"});
  ASSERT_TRUE(session.Start());
  session.WaitFor("LoadEnd", 256, "url", "about:blank");
  const HWND loop = LoopWindowOf(session.browser_pid());
  ASSERT_NE(nullptr, loop);

  wchar_t handle[32];
  swprintf(handle, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(loop)));
  // 16: WM_CLOSE.
  EXPECT_EQ(0u, RunChildForExitCode(L"window_message_poster.exe " + std::wstring(handle) +
                                    L" 200 Client_CustomTask 16"));

  // The main thread still serves the host: a load, then the close and the end in order.
  session.Send("load 256 \"about:blank#after\"");
  session.WaitFor("LoadEnd", 256, "url", "about:blank#after");
  EXPECT_EQ(loop, LoopWindowOf(session.browser_pid()));
  CloseAndExpectAnOrderlyEnd(session, {256});
}

TEST(UntrustedInput, CreateViewCommandsThatCannotMakeASoundViewAreRefusedAndTheOthersKeepTheirCommands) {
  BriveloInstallation installation;
  Session session(installation, {L"--url=about:blank"});
  ASSERT_TRUE(session.Start());
  session.WaitFor("LoadEnd", 256, "url", "about:blank");
  const std::string placed = " --parent_wnd={parent} --tab_rect=0,0,320,200";
  session.Send("create \"--url=about:blank --web_view_id=512 --class_name=RoadViews" + placed + "\"");
  const HWND second = HostsimRunner::WindowOfEvent(session.WaitFor("BrowserCreated", 512));
  ASSERT_TRUE(IsWindow(second));

  // An id in use, with a class of its own: no view, no answer.
  session.Send("create \"--url=about:blank#duplicate --web_view_id=512 --class_name=RoadOther" + placed + "\"");
  // Classes no root window can have: Windows keeps no name of 256 units; "Edit" has a window
  // procedure of its own. The host hears that these views are gone.
  session.Send("create \"--url=about:blank --web_view_id=768 --class_name=" + std::string(256, 'C') + placed + "\"");
  session.WaitFor("WindowDestroyed", 768);
  session.Send("create \"--url=about:blank --web_view_id=1024 --class_name=Edit" + placed + "\"");
  session.WaitFor("WindowDestroyed", 1024);
  // A class the views already have is theirs to share.
  session.Send("create \"--url=about:blank --web_view_id=1280 --class_name=roadviews" + placed + "\"");
  session.WaitFor("BrowserCreated", 1280);

  // Each view hears its own commands.
  session.Send("load 512 \"about:blank#second\"");
  session.WaitFor("LoadEnd", 512, "url", "about:blank#second");
  session.Send("load 256 \"about:blank#first\"");
  session.WaitFor("LoadEnd", 256, "url", "about:blank#first");
  EXPECT_EQ(3u, session.Page("browsers").size()) << session.Page("browsers").toStyledString();
  EXPECT_EQ(0, session.BrowserShowing("about:blank#duplicate"));
  EXPECT_NE(0, session.BrowserShowing("about:blank#second"));
  for (int view : {768, 1024}) EXPECT_EQ(0u, EventCount(session, "BrowserCreated", view)) << view;

  CloseAndExpectAnOrderlyEnd(session, {512, 1280, 256});
  EXPECT_EQ(1u, EventCount(session, "BrowserCreated", 512));
  EXPECT_EQ(1u, EventCount(session, "WindowDestroyed", 512));
  const std::string log = installation.Log(L"browser");
  EXPECT_EQ(1u, Occurrences(log, "OnMsgToBrowserCreateWebView, web_view_id=200 in use, view not created")) << log;
  EXPECT_EQ(1u, Occurrences(log, "web_view_id=300, class_name=" + std::string(64, 'C') + " (256 units) unusable"));
  EXPECT_EQ(1u, Occurrences(log, "web_view_id=400, class_name=Edit (4 units) unusable"));
}

}  // namespace
