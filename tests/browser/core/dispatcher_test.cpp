// The host-command dispatcher, fed real encoded host messages through OnMessageReceived: every
// command reaches its view (or nothing), command 7's statuses with the CEF layer's faults, the
// browser's own script runs, new views, closing, navigation.
#include <windows.h>

#include <string>
#include <vector>

#include "browser/draw_drag_areas.h"
#include "tests/browser/core/context_fixture.h"
#include "tests/browser/renderer_messages.h"
#include "tests/channel/log_capture.h"

namespace core_test {
namespace {

using client::PayloadItem;
using fake::FakeRootWindow;

const char kCallPageFunction[] = "{1EA24BB9-47AC-4505-B934-4FC8C3E19412}";
const char kRegisterFunction[] = "{A1335F60-4F6C-4A79-BF73-1AB59FDFA174}";

class DispatcherTest : public ContextTest {
 protected:
  // The calls and registrations the renderer got, each as its name and its arguments in text.
  static std::vector<std::pair<std::string, std::vector<std::string>>> SentMessages(CefRefPtr<CefBrowser> browser) {
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    for (const auto& message : test::MessagesSentToRenderer(browser)) {
      if (message.first == kCallPageFunction || message.first == kRegisterFunction)
        out.push_back({message.first, ArgumentTexts(message.second)});
    }
    return out;
  }
};

TEST_F(DispatcherTest, EveryCommandReachesOnlyItsViewAndUnknownCodesNothing) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    fake::NextOptions().create_browser = false;
    CreateView(0x100);
    CreateView(0x200);
    struct Row {
      const char* name;
      uint32_t code;
      std::vector<PayloadItem> items;
      std::string call;  // what the view hears; "" for nothing
    } rows[] = {
        {"load", client::MsgToBrowserLoadUrl, {Text(L"http://load.test/"), Text(L"")}, "LoadUrl(http://load.test/)"},
        {"bounds", client::MsgToBrowserSetBounds, {Int(1), Int(-2), Int(300), Int(40)}, "SetBounds(1,-2,300,40)"},
        {"bounds without items", client::MsgToBrowserSetBounds, {}, "SetBounds(0,0,0,0)"},
        {"show", client::MsgToBrowserShow, {Int(1)}, "Show(0)"},
        {"show 7", client::MsgToBrowserShow, {Int(7)}, "Show(0)"},
        {"hide", client::MsgToBrowserShow, {Int(0)}, "Hide()"},
        {"mute", client::MsgToBrowserMute, {Bool(true)}, "Mute(true)"},
        {"unmute", client::MsgToBrowserMute, {Bool(false)}, "Mute(false)"},
        {"referrer", client::MsgToBrowserSetReferer, {Text(L"http://ref.test/")}, "SetReferrer(http://ref.test/)"},
        {"work area", client::MsgToBrowserSetWorkArea, {Int(5), Int(6), Int(7), Int(8)}, "SetWorkArea(5,6,7,8)"},
        {"close", client::MsgToBrowserClose, {}, "Close(false)"},
        {"code 0", 0, {Text(L"x")}, ""},
        {"code 8", 8, {Text(L"x")}, ""},
        {"code 11", 11, {Text(L"x")}, ""},
        {"code 12", 12, {Text(L"x")}, ""},
        {"code 23", 23, {Text(L"x")}, ""},
        {"code 255", 255, {Text(L"x")}, ""},
    };
    for (const Row& row : rows) {
      // View 0x200 through a type with bits above 15 set (ignored); 0x100 untouched; 0x300 absent.
      for (uint32_t type : {0x00070200u | row.code, 0x300u | row.code}) {
        FakeRootWindow::ClearCalls();
        Dispatch(type, row.items);
        if ((type & 0xFF00u) == 0x200u && !row.call.empty()) {
          EXPECT_EQ(FakeRootWindow::Calls(), (std::vector<std::string>{"512:" + row.call})) << row.name;
        } else {
          EXPECT_TRUE(FakeRootWindow::Calls().empty()) << row.name << " " << std::hex << type;
        }
      }
    }
    EXPECT_EQ(log.Count(L"MainContextImpl::rootWin->Close: valid="), 1u);
    EXPECT_EQ(log.Count(L"MainContextImpl::OnMsgToBrowserSetBounds, this="), 4u);  // logged before the lookup
    EXPECT_EQ(log.Count(L"MainContextImpl::OnMsgToBrowserLoadUrl, web_view_id=200,this="), 1u);
    EXPECT_EQ(log.Count(L"MainContextImpl::OnMsgToBrowserSetReferer, web_view_id=300,this="), 1u);
    EXPECT_EQ(log.Count(L", workarea=(5,6,7,8)"), 2u);
    Settle();
    EXPECT_TRUE(host_->Events().empty()) << "no command but 7 and 9 answers";
  });
}

TEST_F(DispatcherTest, LoadUrlStoresCookiesEvenForAMissingView) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_browser = false;
    CreateView(0x100);
    Dispatch(0x500 | client::MsgToBrowserLoadUrl, {Text(L"http://nobody.test/page"), Text(L"k=v")});
    const auto cookies = test::Cookies();
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(cookies[0].name, "k");
    EXPECT_EQ(cookies[0].domain, "nobody.test");
    EXPECT_TRUE(FakeRootWindow::Calls().size() == 1) << "only the view's Init";
  });
}

TEST_F(DispatcherTest, CallFunctionStatusTable) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    scoped_refptr<FakeRootWindow> with_browser = CreateView(0x100);
    fake::NextOptions().create_browser = false;
    CreateView(0x200);
    ASSERT_TRUE(with_browser->WaitForBrowser());
    CefRefPtr<CefBrowser> browser = with_browser->GetBrowser();
    const int64_t big_id = 0x123456789ABLL;
    const bool flag_before = client::IsDrawDragAreasEnabled();

    struct Row {
      const char* name;
      uint32_t view;
      std::wstring function;
      std::vector<std::wstring> args;
      std::function<void()> fault;
      int32_t status;
      std::wstring result;
    } rows[] = {
        {"no view", 0x300, L"fn", {}, nullptr, client::kCallNoWebView, L""},
        {"no browser", 0x200, L"fn", {}, nullptr, client::kCallNoBrowser, L""},
        {"no browser, browser command", 0x200, L"", {L"DrawDragAreaList"}, nullptr, client::kCallNoBrowser, L""},
        {"message not created", 0x100, L"fn", {L"a"}, [] { test::FailNextProcessMessageCreate(); },
         client::kCallCreateMessageFailed, L""},
        {"send refused", 0x100, L"fn", {L"a"}, [&] { test::SetSendToRendererFails(browser->GetIdentifier(), true); },
         client::kCallSendFailed, L""},
        {"draw drag areas on", 0x100, L"", {L"DrawDragAreaList"}, nullptr, client::kCallBrowserCommand,
         flag_before ? L"false" : L"true"},
        {"draw drag areas off", 0x100, L"", {L"DrawDragAreaList", L"ignored"}, nullptr, client::kCallBrowserCommand,
         flag_before ? L"true" : L"false"},
        {"command in lower case", 0x100, L"", {L"drawdragarealist"}, nullptr, client::kCallBrowserCommand, L""},
        {"no command", 0x100, L"", {}, nullptr, client::kCallBrowserCommand, L""},
    };
    for (const Row& row : rows) {
      host_->Clear();
      if (row.fault) row.fault();
      std::vector<PayloadItem> items{Int64(big_id), Text(row.function)};
      for (const std::wstring& arg : row.args) items.push_back(Text(arg));
      Dispatch(row.view | client::MsgToBrowserCallFunction, items);
      test::SetSendToRendererFails(browser->GetIdentifier(), false);
      ASSERT_TRUE(host_->WaitFor(client::MsgToHostCallResult, 1)) << row.name;
      Settle();
      const std::vector<HostEvent> answers = host_->EventsOf(client::MsgToHostCallResult);
      ASSERT_EQ(answers.size(), 1u) << row.name;
      EXPECT_EQ(answers[0].view, row.view) << row.name;
      EXPECT_EQ(answers[0].items[0].number, big_id) << row.name << ": the id as received, all 64 bits";
      EXPECT_EQ(answers[0].items[1].number, row.status) << row.name;
      EXPECT_EQ(answers[0].items[2].text, row.result) << row.name;
    }
    EXPECT_EQ(client::IsDrawDragAreasEnabled(), flag_before) << "toggled twice";
    EXPECT_TRUE(SentMessages(browser).empty()) << "nothing reached the renderer";
  });
}

TEST_F(DispatcherTest, ForwardedCallsCarryTheLowIdBitsTheNameAndTheArguments) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    scoped_refptr<FakeRootWindow> root = CreateView(0x100);
    ASSERT_TRUE(root->WaitForBrowser());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    Dispatch(0x100 | client::MsgToBrowserCallFunction,
             {Int64(0x700000005LL), Text(L"pageFn"), Text(L"first"), Text(L""), Text(std::wstring(L"cut\0off", 7))});
    Dispatch(0x100 | client::MsgToBrowserCallFunction, {Int64(0xFFFFFFFFLL), Text(L"other")});
    // "ExecuteJavaScript" without an argument is an ordinary page function.
    Dispatch(0x100 | client::MsgToBrowserCallFunction, {Int64(9), Text(L"ExecuteJavaScript")});
    ASSERT_TRUE(test::WaitFor([&] { return SentMessages(browser).size() == 3; }));
    const auto sent = SentMessages(browser);
    EXPECT_EQ(sent[0].first, kCallPageFunction);
    EXPECT_EQ(sent[0].second, (std::vector<std::string>{"int:5", "pageFn", "first", "", "cut"}));
    EXPECT_EQ(sent[1].second, (std::vector<std::string>{"int:-1", "other"}));
    EXPECT_EQ(sent[2].second, (std::vector<std::string>{"int:9", "ExecuteJavaScript"}));
    Settle();
    EXPECT_TRUE(host_->EventsOf(client::MsgToHostCallResult).empty()) << "the renderer answers these";
  });
}

TEST_F(DispatcherTest, ExecuteJavaScriptRunsInTheChosenFrameAndNeverAnswers) {
  test::SetHttpResponse(L"http://frames.test/", 200, L"text/html",
                        "<html><head><title>t</title></head><body><iframe src=\"http://frames.test/sub\"></iframe>"
                        "</body></html>");
  test::SetHttpResponse(L"http://frames.test/sub", 200, L"text/html", "<html><body>sub</body></html>");
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    scoped_refptr<FakeRootWindow> root = CreateView(0x100, "http://frames.test/");
    ASSERT_TRUE(root->WaitForBrowser());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    ASSERT_TRUE(test::WaitFor([&] { return browser->GetFrameCount() == 2 && !browser->IsLoading(); }));
    std::vector<int64> ids;
    browser->GetFrameIdentifiers(ids);
    const int64 main_id = browser->GetMainFrame()->GetIdentifier();
    int64 sub_id = 0;
    for (int64 id : ids)
      if (id != main_id) sub_id = id;
    ASSERT_NE(sub_id, 0);

    test::EnableJournal();
    auto run = [&](std::vector<std::wstring> args) {
      std::vector<PayloadItem> items{Int64(77), Text(L"ExecuteJavaScript")};
      for (const std::wstring& arg : args) items.push_back(Text(arg));
      Dispatch(0x100 | client::MsgToBrowserCallFunction, items);
    };
    run({L"one()"});
    run({L"two()", L"http://script.test/two.js"});
    run({L"three()", L"ignored", std::to_wstring(sub_id)});
    run({L"four()", L"", L"42"});
    run({L"five()", L"", L"abc"});
    ASSERT_TRUE(test::WaitFor([] { return test::EntriesOf("ExecuteJavaScript").size() == 3; }));
    Settle();
    const auto runs = test::EntriesOf("ExecuteJavaScript");
    ASSERT_EQ(runs.size(), 3u) << "frames 42 and 0 do not exist";
    EXPECT_EQ(runs[0].frame, main_id);
    EXPECT_EQ(runs[0].args, (std::vector<std::string>{"one()", "http://frames.test/", "0"}));
    EXPECT_EQ(runs[1].frame, main_id);
    EXPECT_EQ(runs[1].args, (std::vector<std::string>{"two()", "http://script.test/two.js", "0"}));
    EXPECT_EQ(runs[2].frame, sub_id);
    EXPECT_EQ(runs[2].args, (std::vector<std::string>{"three()", "http://frames.test/sub", "0"}));

    EXPECT_EQ(log.Count(L"ExecuteJavaScript http://script.test/two.js on http://frames.test/"), 1u);
    EXPECT_EQ(log.Count(L"ExecuteJavaScript frame: " + std::to_wstring(sub_id)), 1u);
    EXPECT_EQ(log.Count(L"ExecuteJavaScript frame: three()"), 1u);
    EXPECT_EQ(log.Count(L"ExecuteJavaScript frame: 42"), 1u);
    EXPECT_EQ(log.Count(L"ExecuteJavaScript frame: 0"), 1u);
    EXPECT_EQ(log.Count(L"ExecuteJavaScript frame is nullptr"), 2u);
    for (const wchar_t* code : {L"one()", L"two()", L"three()", L"four()", L"five()"})
      EXPECT_EQ(log.Count(std::wstring(L"ExecuteJavaScript ") + code), 1u) << code;
    EXPECT_TRUE(host_->Events().empty());
    EXPECT_TRUE(SentMessages(browser).empty());
  });
}

TEST_F(DispatcherTest, CreateWebViewTakesItsIdFromItsOwnSwitches) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    fake::NextOptions().create_browser = false;
    Dispatch(0x0700 | client::MsgToBrowserCreateWebView,
             {Text(L"--web_view_id=512 --url=http://new.test/ --class_name=HostClass --sc_init_hide")});
    const auto all = FakeRootWindow::All();
    ASSERT_EQ(all.size(), 1u);
    const StartupSettings* settings = all[0]->settings();
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->web_view_id, 512);
    EXPECT_EQ(settings->url, "http://new.test/");
    EXPECT_EQ(settings->class_name, L"HostClass");
    EXPECT_TRUE(settings->sc_init_hide);
    EXPECT_EQ(log.Count(L"MainContextImpl recv create web view: cmd= --programe-placement --web_view_id=512 "
                        L"--url=http://new.test/"),
              1u);
    FakeRootWindow::ClearCalls();
    Dispatch(0x0200 | client::MsgToBrowserShow, {Int(0)});
    Dispatch(0x0700 | client::MsgToBrowserShow, {Int(0)});
    EXPECT_EQ(FakeRootWindow::Calls(), (std::vector<std::string>{"512:Hide()"}));

    // Defaults for what the text leaves out.
    Dispatch(client::MsgToBrowserCreateWebView, {Text(L"")});
    ASSERT_EQ(FakeRootWindow::All().size(), 2u);
    EXPECT_EQ(FakeRootWindow::All()[1]->settings()->url, "about:blank");
    EXPECT_EQ(FakeRootWindow::All()[1]->settings()->class_name, L"Brivelo");
  });
}

// A create-view command that would misroute later commands, end the process or make a view
// that never closes is refused: a view id in use (no answer: it would read as the first
// view's), a class name that no root window can have (event 2 for the id asked for).
TEST_F(DispatcherTest, CreateWebViewRefusesAViewIdInUseAndAClassNoRootWindowCanHave) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    fake::NextOptions().create_browser = false;
    CreateView(0x100);
    const std::wstring longest(255, L'L');
    struct Row {
      const char* name;
      uint32_t view;
      std::wstring switches;
      bool made;
    } rows[] = {
        {"a new id", 0x200, L"--class_name=DispatcherViews", true},
        {"the id of the first view", 0x100, L"--class_name=Other", false},
        {"the id of a view made by a command", 0x200, L"--url=http://second.test/", false},
        {"a class of 256 units", 0x300, L"--class_name=" + longest + L"L", false},
        {"a class of 255 units", 0x400, L"--class_name=" + longest, true},
        {"a system class", 0x500, L"--class_name=Edit", false},
        {"a system class in other letter case", 0x600, L"--class_name=bUTTON", false},
        {"the main loop's class", 0x700, L"--class_name=Client_MessageWindow", false},
        {"a class of the root windows", 0x800, L"--class_name=dispatcherviews", true},
        {"the default class", 0x900, L"", true},
    };
    size_t views = 1;
    for (const Row& row : rows) {
      SCOPED_TRACE(row.name);
      host_->Clear();
      const size_t in_use = log.Count(L"in use, view not created");
      const size_t unusable = log.Count(L"unusable, view not created");
      Dispatch(client::MsgToBrowserCreateWebView,
               {Text(L"--web_view_id=" + std::to_wstring(row.view) + L" " + row.switches)});
      if (row.made) ++views;
      EXPECT_EQ(FakeRootWindow::All().size(), views);
      const bool duplicate = !row.made && (row.view == 0x100 || row.view == 0x200);
      EXPECT_EQ(log.Count(L"in use, view not created"), in_use + (duplicate ? 1 : 0));
      EXPECT_EQ(log.Count(L"unusable, view not created"), unusable + (row.made || duplicate ? 0 : 1));
      if (!row.made && !duplicate) {
        ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 1));
        ASSERT_EQ(host_->Events().size(), 1u);
        EXPECT_EQ(host_->Events()[0].view, row.view);
      } else {
        Settle(100);
        EXPECT_TRUE(host_->Events().empty());
      }
    }
    // The names in the log lines: the id, and the head of an overlong class with its length.
    EXPECT_EQ(log.Count(L"MainContextImpl::OnMsgToBrowserCreateWebView, web_view_id=200 in use, view not created"), 1u);
    EXPECT_EQ(log.Count(L"web_view_id=300, class_name=" + std::wstring(64, L'L') + L" (256 units) unusable"), 1u);
    EXPECT_EQ(log.Count(L"web_view_id=500, class_name=Edit (4 units) unusable"), 1u);

    // Later commands reach the views that were made first.
    FakeRootWindow::ClearCalls();
    Dispatch(0x100 | client::MsgToBrowserShow, {Int(0)});
    Dispatch(0x200 | client::MsgToBrowserShow, {Int(0)});
    Dispatch(0x500 | client::MsgToBrowserShow, {Int(0)});
    EXPECT_EQ(FakeRootWindow::Calls(), (std::vector<std::string>{"256:Hide()", "512:Hide()"}));
    EXPECT_EQ(FakeRootWindow::All()[1]->settings()->class_name, L"DispatcherViews");
  });
}

TEST_F(DispatcherTest, CloseOfAViewWhoseWindowIsGoneQuitsOnlyWhenItIsTheLast) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    fake::NextOptions().create_browser = false;
    {
      LogCapture log;
      std::vector<scoped_refptr<FakeRootWindow>> views{CreateView(0x100), CreateView(0x200), CreateView(0x300)};
      views[1]->DestroyNativeWindow();
      FakeRootWindow::ClearCalls();
      Dispatch(0x200 | client::MsgToBrowserClose);
      EXPECT_EQ(log.Count(L"root window invalid\uFF0C root wnd count: 3"), 1u);
      EXPECT_EQ(log.Count(L"root wndu invalid ,quit"), 0u);
      EXPECT_EQ(log.Count(L"MainContextImpl::Quiting"), 0u);
      EXPECT_TRUE(FakeRootWindow::Calls().empty());
      manager()->CloseAllWindows(true);  // empties the set
    }
    LogCapture log;
    scoped_refptr<FakeRootWindow> last = CreateView(0x400);
    last->DestroyNativeWindow();
    FakeRootWindow::ClearCalls();
    Dispatch(0x400 | client::MsgToBrowserClose);
    const size_t count_line = log.Find(L"root window invalid\uFF0C root wnd count: 1");
    const size_t quit_line = log.Find(L"root wndu invalid ,quit");
    const size_t quitting = log.Find(L"MainContextImpl::Quiting");
    ASSERT_NE(count_line, std::wstring::npos);
    EXPECT_LT(count_line, quit_line);
    EXPECT_LT(quit_line, quitting);
    // The context's quit closes what is left, through the manager.
    EXPECT_EQ(FakeRootWindow::Calls(), (std::vector<std::string>{"1024:Close(false)"}));
  });
}

TEST_F(DispatcherTest, NavigationAndRegistrationNeedABrowser) {
  ASSERT_TRUE(Start());
  RunInLoop([&] {
    LogCapture log;
    scoped_refptr<FakeRootWindow> root = CreateView(0x100);
    fake::NextOptions().create_browser = false;
    CreateView(0x200);
    ASSERT_TRUE(root->WaitForBrowser());
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    test::EnableJournal();
    test::ClearJournal();

    const uint32_t codes[] = {client::MsgToBrowserGoBack, client::MsgToBrowserGoForward, client::MsgToBrowserReload,
                              client::MsgToBrowserReloadIgnoreCache, client::MsgToBrowserStopLoad};
    for (uint32_t view : {0x200u, 0x300u}) {
      for (uint32_t code : codes) Dispatch(view | code);
      Dispatch(view | client::MsgToBrowserRegisterFunction, {Text(L"hostFn")});
    }
    Settle();
    EXPECT_TRUE(test::EntriesOf("GoBack").empty());
    EXPECT_TRUE(SentMessages(browser).empty());
    EXPECT_EQ(log.Count(L"browser send msg to render to register"), 0u);

    for (uint32_t code : codes) Dispatch(0x100 | code);
    Dispatch(0x100 | client::MsgToBrowserRegisterFunction, {Text(L"")});
    Dispatch(0x100 | client::MsgToBrowserRegisterFunction, {Text(L"hostFn")});
    std::vector<std::string> kinds;
    for (const auto& entry : test::Journal()) {
      if (entry.browser == browser->GetIdentifier() &&
          (entry.kind == "GoBack" || entry.kind == "GoForward" || entry.kind == "Reload" ||
           entry.kind == "ReloadIgnoreCache" || entry.kind == "StopLoad"))
        kinds.push_back(entry.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"GoBack", "GoForward", "Reload", "ReloadIgnoreCache", "StopLoad"}));
    ASSERT_TRUE(test::WaitFor([&] { return SentMessages(browser).size() == 1; }));
    EXPECT_EQ(SentMessages(browser)[0].first, kRegisterFunction);
    EXPECT_EQ(SentMessages(browser)[0].second, (std::vector<std::string>{"hostFn"}));
    EXPECT_EQ(log.Count(L"browser send msg to render to register: hostFn"), 1u);
    Settle();
    EXPECT_TRUE(host_->Events().empty());
  });
}

}  // namespace
}  // namespace core_test
