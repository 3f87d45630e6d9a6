// The client handler's own contract, through the engine's real browsers: the hop of every view
// event to the main thread, pop-ups, closing, the message router's life, load-error filtering,
// address changes, the tooltip control and console output.
#include "browser/client_handler.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/client_handler_std.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/channel/log_capture.h"

using namespace browser_doubles;
using browser_test::HostWindow;
using browser_test::IndexOf;

namespace {

const char kStartUrl[] = "http://start.test/";
const wchar_t kFramedPage[] = L"http://hop.test/framed.html";
const wchar_t kSubFramePage[] = L"http://hop.test/sub.html";

class ClientHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine_.ok());
    handler_ = new client::ClientHandlerStd(&delegate_, kStartUrl);
    test::SetHttpResponse(kFramedPage, 200, L"text/html",
                          "<html><title>Framed</title><iframe name=\"side\" src=\"sub.html\"></iframe></html>");
    test::SetHttpResponse(kSubFramePage, 200, L"text/html", "<html><title>Sub</title></html>");
  }
  void TearDown() override {
    engine_.ExpectNoMisuse();
  }

  // A browser of the handler, reported to the delegate.
  CefRefPtr<CefBrowser> Create(const CefWindowInfo& info, const std::string& url = std::string()) {
    const int before = delegate_.Count("OnBrowserCreated");
    CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(info, handler_.get(), url);
    EXPECT_TRUE(browser);
    EXPECT_TRUE(delegate_.WaitFor("OnBrowserCreated", before + 1));
    return browser;
  }
  // Loads url in the main frame and waits until the delegate heard the end of the loading.
  void Load(CefRefPtr<CefBrowser> browser, const std::wstring& url) {
    const int before = delegate_.Count("OnSetLoadingState 0");
    browser->GetMainFrame()->LoadURL(url);
    EXPECT_TRUE(delegate_.WaitFor("OnSetLoadingState 0", before + 1));
  }

  RecordingHandlerDelegate delegate_;  // outlives the posted events
  EngineFixture engine_;
  CefRefPtr<client::ClientHandler> handler_;
};

TEST_F(ClientHandlerTest, EngineEventsReachTheDelegateOnTheMainThreadInOrder) {
  CefRefPtr<CefBrowser> browser = Create(browser_test::Windowless(nullptr));
  Load(browser, kFramedPage);
  ASSERT_TRUE(test::PageSetTitle(browser, L"\u00e9t\u00e9"));
  ASSERT_TRUE(test::PageFullscreen(browser, true));
  ASSERT_TRUE(delegate_.WaitFor("OnSetFullscreen"));

  std::vector<std::string> events = delegate_.Events();
  for (const std::string& e : events)
    EXPECT_EQ(e.substr(e.size() - 6), " @main") << e;
  const int created = IndexOf(events, "OnBrowserCreated");
  const int loading = IndexOf(events, "OnSetLoadingState 100");
  const int start = IndexOf(events, "OnLoadStart main");
  const int address = IndexOf(events, "OnSetAddress http://hop.test/framed.html");
  const int title = IndexOf(events, "OnSetTitle Framed");
  const int end = IndexOf(events, "OnLoadEnd main 200");
  const int utf8 = IndexOf(events, "OnSetTitle \xC3\xA9t\xC3\xA9");
  const int fullscreen = IndexOf(events, "OnSetFullscreen true");
  EXPECT_EQ(created, 0);
  EXPECT_LT(created, loading);
  EXPECT_LT(loading, start);
  EXPECT_LT(loading, address);
  EXPECT_LT(address, end);
  EXPECT_LT(start, title);
  EXPECT_LT(end, utf8);
  EXPECT_LT(utf8, fullscreen);
  // Sub-frames: their load ends reach the delegate, their addresses do not.
  EXPECT_EQ(delegate_.Count("OnLoadEnd sub:side 200"), 1);
  EXPECT_EQ(delegate_.Count("OnSetAddress"), 1);
}

TEST_F(ClientHandlerTest, AfterDetachDelegateEventsArePostedAndDropped) {
  CefRefPtr<CefBrowser> browser = Create(browser_test::Windowless(nullptr));
  // Detached from the UI thread: events raised before the detach still arrive, later ones not.
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    handler_->OnTitleChange(browser, "before");
    handler_->DetachDelegate();
    handler_->OnTitleChange(browser, "after");
  }));
  ASSERT_TRUE(engine_.loop().Drain());
  EXPECT_EQ(delegate_.StartingWith("OnSetTitle"), std::vector<std::string>{"OnSetTitle before @main"});

  ASSERT_TRUE(test::PageSetTitle(browser, L"later"));
  ASSERT_TRUE(test::Flush(TID_UI));
  ASSERT_TRUE(engine_.loop().Drain());
  EXPECT_EQ(delegate_.Count("OnSetTitle"), 1);
}

// A delegate whose next engine-thread question (the referrer, the view id) is held: the call
// waits inside the delegate until the main thread starts detaching, then watches for a while
// whether the detach returns under it, which would let the main thread destroy the delegate
// while the call still runs in it.
class HeldDelegate : public RecordingHandlerDelegate {
 public:
  HeldDelegate() {
    for (HANDLE* event : {&entered, &detaching, &detached, &returned})
      *event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~HeldDelegate() override {
    for (HANDLE event : {entered, detaching, detached, returned})
      CloseHandle(event);
  }
  std::wstring GetReferrer() override {
    Hold();
    return referrer;
  }
  int32 GetWebViewId() override {
    Hold();
    return web_view_id;
  }

  std::atomic<bool> armed{false};
  std::atomic<bool> detached_during_call{false};
  HANDLE entered, detaching, detached, returned;

 private:
  void Hold() {
    if (!armed.exchange(false))
      return;
    SetEvent(entered);
    WaitForSingleObject(detaching, 5000);
    // A detach that does not wait for this call returns at once: it has this long to show.
    detached_during_call = WaitForSingleObject(detached, 300) == WAIT_OBJECT_0;
    SetEvent(returned);
  }
};

// The browser window may go (and its delegate with it) once DetachDelegate returned on the main
// thread; an engine thread that is asking the delegate something at that moment finishes first.
TEST_F(ClientHandlerTest, DetachDelegateWaitsForAnEngineThreadsCallIntoTheDelegate) {
  test::SetHttpResponse(L"http://held.test/", 200, L"text/html", "<html></html>");
  struct Case {
    const char* reader;
    std::function<void(CefRefPtr<CefBrowser>)> ask;
  } cases[] = {
      {"the referrer of a request (IO)",
       [](CefRefPtr<CefBrowser> browser) { browser->GetMainFrame()->LoadURL(L"http://held.test/"); }},
      {"the view id of a renderer message (UI)",
       [this](CefRefPtr<CefBrowser> browser) {
         CefRefPtr<CefListValue> args = CefListValue::Create();
         args->SetInt(0, 1);
         args->SetString(1, "Pay");
         args->SetString(2, "cb");
         ASSERT_TRUE(engine_.harness().Inject(browser, "{ACBF06D2-3DAB-4359-8070-2F6DE59A0E6A}", args));
       }},
  };
  for (const Case& c : cases) {
    HeldDelegate delegate;
    CefRefPtr<client::ClientHandler> handler = new client::ClientHandlerStd(&delegate, kStartUrl);
    CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
    ASSERT_TRUE(browser);
    ASSERT_TRUE(delegate.WaitFor("OnBrowserCreated"));
    delegate.armed = true;
    c.ask(browser);
    ASSERT_EQ(WaitForSingleObject(delegate.entered, 5000), WAIT_OBJECT_0) << c.reader;
    SetEvent(delegate.detaching);
    handler->DetachDelegate();
    SetEvent(delegate.detached);
    ASSERT_EQ(WaitForSingleObject(delegate.returned, 5000), WAIT_OBJECT_0) << c.reader;
    EXPECT_FALSE(delegate.detached_during_call) << c.reader;
  }
}

TEST_F(ClientHandlerTest, PagePopupsAreCancelledAndReportedExceptEmptyOnes) {
  LogCapture log;
  CefRefPtr<CefBrowser> browser = Create(browser_test::Windowless(nullptr));
  Load(browser, kFramedPage);
  CefRefPtr<CefFrame> side = browser->GetFrame("side");
  ASSERT_TRUE(side);

  struct Case {
    CefRefPtr<CefFrame> frame;
    const wchar_t* url;
    cef_window_open_disposition_t disposition;
    bool gesture;
    const char* reported;  // null: nothing reaches the delegate
  } cases[] = {
      {browser->GetMainFrame(), L"http://other.test/new.html", WOD_NEW_POPUP, true,
       "OnBeforePopup http://other.test/new.html gesture"},
      // Without its two slashes the developer-tools prefix is an ordinary pop-up.
      {side, L"chrome-devtools:x", WOD_NEW_FOREGROUND_TAB, false, "OnBeforePopup chrome-devtools:x nogesture"},
      {browser->GetMainFrame(), L"", WOD_NEW_POPUP, true, nullptr},
      {side, L"", WOD_NEW_WINDOW, false, nullptr},
  };
  for (const Case& c : cases) {
    delegate_.Clear();
    test::ClearJournal();
    ASSERT_TRUE(test::PageOpenWindow(browser, c.frame, c.url, c.disposition, c.gesture));
    ASSERT_TRUE(test::Flush(TID_UI));
    ASSERT_TRUE(engine_.loop().Drain());
    EXPECT_EQ(JournalArgs("PopupCancelled", browser->GetIdentifier()).size(), 1u) << CefString(c.url).ToString();
    if (c.reported) {
      std::string expected = c.reported;
      expected.insert(expected.rfind(' '), " " + std::to_string(c.disposition));
      EXPECT_EQ(delegate_.Events(), std::vector<std::string>{expected + " @main"});
    }
    else
      EXPECT_TRUE(delegate_.Events().empty()) << delegate_.Events().front();
  }
  EXPECT_EQ(test::Browsers().size(), 1u);
  // One from the unnamed main frame, one from the sub-frame.
  EXPECT_EQ(log.Count(L"open url null: frame:"), 2u);
  EXPECT_EQ(log.Count(L"open url null: frame:side"), 1u);
  // The hop logs the notification once on each thread.
  EXPECT_EQ(log.Count(L"ClientHandler::NotifyBeforePopup"), 4u);
  EXPECT_EQ(log.Count(L"ClientHandler::OnBeforePopup"), 4u);
}

// The state of a browser window when the engine's close message reaches it.
struct CloseSnapshot {
  bool seen = false;
  bool visible = false;
  HWND parent = nullptr;
  LONG style = 0;
};
CloseSnapshot g_close_snapshot;
WNDPROC g_browser_window_proc = nullptr;

LRESULT CALLBACK SnapshotOnClose(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE && !g_close_snapshot.seen) {
    g_close_snapshot.seen = true;
    g_close_snapshot.visible = IsWindowVisible(hwnd) != FALSE;
    g_close_snapshot.parent = GetAncestor(hwnd, GA_PARENT);
    g_close_snapshot.style = GetWindowLongW(hwnd, GWL_STYLE);
  }
  return CallWindowProcW(g_browser_window_proc, hwnd, message, wparam, lparam);
}

TEST_F(ClientHandlerTest, AViewThatDidNotAskForTheCloseKeepsItsBrowser) {
  HostWindow host;
  CefRefPtr<CefBrowser> browser = Create(browser_test::ChildOf(host.hwnd()));
  HWND window = browser->GetHost()->GetWindowHandle();
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  delegate_.do_close_answer = false;
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(delegate_.WaitFor("OnBrowserClosing"));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(delegate_.StartingWith("OnBrowserDoClose"), std::vector<std::string>{"OnBrowserDoClose @UI"});
  EXPECT_EQ(GetAncestor(window, GA_PARENT), host.hwnd());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE), style);
  EXPECT_FALSE(test::BrowserInfo(browser).closed);
  EXPECT_EQ(delegate_.Count("OnBrowserClosed"), 0);
}

TEST_F(ClientHandlerTest, ARequestedCloseDetachesAndHidesTheBrowserWindowFirst) {
  for (bool with_delegate : {true, false}) {
    HostWindow host;
    if (!with_delegate) handler_ = new client::ClientHandlerStd(nullptr, kStartUrl);
    CefRefPtr<CefBrowser> browser = with_delegate ? Create(browser_test::ChildOf(host.hwnd()))
                                                  : browser_test::CreateOnUI(browser_test::ChildOf(host.hwnd()),
                                                                             handler_.get());
    ASSERT_TRUE(browser);
    HWND window = browser->GetHost()->GetWindowHandle();
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    g_close_snapshot = CloseSnapshot();
    ASSERT_TRUE(test::RunOn(TID_UI, [&] {
      g_browser_window_proc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SnapshotOnClose)));
    }));
    test::ClearJournal();
    browser->GetHost()->CloseBrowser(true);
    ASSERT_TRUE(test::WaitFor([&] { return test::BrowserInfo(browser).closed; }));
    // The close message went to the browser window itself, never to the host's window.
    EXPECT_EQ(JournalArgs("PostCloseToRoot", browser->GetIdentifier()), std::vector<std::string>{"self"});
    ASSERT_TRUE(g_close_snapshot.seen);
    EXPECT_FALSE(g_close_snapshot.visible);
    EXPECT_EQ(g_close_snapshot.parent, GetDesktopWindow());
    // Read after hiding, so without WS_VISIBLE.
    EXPECT_EQ(static_cast<DWORD>(g_close_snapshot.style), (static_cast<DWORD>(style) & ~WS_VISIBLE & 0x3FFFFFFFu) | WS_POPUP);
    EXPECT_TRUE(IsWindow(host.hwnd()));
    if (with_delegate) {
      ASSERT_TRUE(delegate_.WaitFor("OnBrowserClosed"));
      std::vector<std::string> events = delegate_.Events();
      EXPECT_LT(IndexOf(events, "OnBrowserClosing"), IndexOf(events, "OnBrowserClosed"));
      EXPECT_EQ(delegate_.Count("OnBrowserDoClose @UI"), 1);
    }
  }
}

// True when the browser's router answered a binding-test query through the handler's query
// handler (waits for the answer).
bool RouterAnswers(test::BrowserHarness& harness, CefRefPtr<CefBrowser> browser, int request_id) {
  if (!harness.Inject(browser, "cefQueryMsg", RouterQueryArgs(browser, request_id, "BindingTest:abc")))
    return false;
  bool answered = false;
  test::WaitFor([&] {
    for (const auto& sent : test::MessagesSentToRenderer(browser)) {
      // [context, request id, success, response]
      if (sent.first == "cefQueryMsg" && sent.second->GetInt(1) == request_id) {
        answered = sent.second->GetBool(2) && sent.second->GetString(3).ToString() == "cba";
        return true;
      }
    }
    return false;
  });
  return answered;
}

int BrowserCount(CefRefPtr<client::ClientHandler> handler) {
  int count = -1;
  test::RunOn(TID_UI, [&] { count = handler->GetBrowserCount(); });
  return count;
}

TEST_F(ClientHandlerTest, TheMessageRouterLivesFromTheFirstBrowserToTheLastClose) {
  test::BrowserHarness& harness = engine_.harness();
  CefRefPtr<CefBrowser> first = Create(browser_test::Windowless(nullptr));
  CefRefPtr<CefBrowser> second = Create(browser_test::Windowless(nullptr));
  EXPECT_EQ(BrowserCount(handler_), 2);
  EXPECT_TRUE(RouterAnswers(harness, first, 1));
  EXPECT_TRUE(RouterAnswers(harness, second, 2));

  first->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(delegate_.WaitFor("OnBrowserClosed"));
  EXPECT_EQ(BrowserCount(handler_), 1);
  EXPECT_TRUE(RouterAnswers(harness, second, 3));

  second->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(delegate_.WaitFor("OnBrowserClosed", 2));
  EXPECT_EQ(BrowserCount(handler_), 0);

  // A later browser gets a router again.
  CefRefPtr<CefBrowser> third = Create(browser_test::Windowless(nullptr));
  EXPECT_TRUE(RouterAnswers(harness, third, 4));
  EXPECT_FALSE(third->GetHost()->IsMouseCursorChangeDisabled());
}

TEST(ClientHandlerCursor, TheCursorSwitchDisablesCursorChangesOfEveryBrowser) {
  RecordingHandlerDelegate delegate;
  EngineFixture engine(new SwitchApp("mouse-cursor-change-disabled"));
  ASSERT_TRUE(engine.ok());
  CefRefPtr<client::ClientHandler> handler = new client::ClientHandlerStd(&delegate, kStartUrl);
  CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
  ASSERT_TRUE(browser);
  EXPECT_TRUE(browser->GetHost()->IsMouseCursorChangeDisabled());
  EXPECT_TRUE(engine.StrictMessages().empty());
}

TEST_F(ClientHandlerTest, AbortsAndTheOperatingSystemsSchemeRaiseNoLoadError) {
  CefRefPtr<CefBrowser> browser = Create(browser_test::Windowless(nullptr));
  struct Case {
    const wchar_t* url;
    cef_errorcode_t fail_with;  // ERR_NONE: as the engine loads it
    bool reported;
  } cases[] = {
      {L"http://fail.test/aborted", ERR_ABORTED, false},
      {L"vivodov:open?game=1", ERR_NONE, false},
      {L"unknownscheme:x", ERR_NONE, true},
      {L"http://fail.test/refused", ERR_CONNECTION_REFUSED, true},
  };
  for (const Case& c : cases) {
    delegate_.Clear();
    test::ClearJournal();
    if (c.fail_with != ERR_NONE) test::FailNextLoad(c.url, c.fail_with);
    browser->GetMainFrame()->LoadURL(c.url);
    ASSERT_TRUE(test::WaitFor([&] { return !JournalArgs("OnLoadError", browser->GetIdentifier()).empty(); }));
    ASSERT_TRUE(delegate_.WaitFor("OnSetLoadingState 0"));
    const std::string url = CefString(c.url).ToString();
    if (c.reported) {
      const int code = c.fail_with != ERR_NONE ? c.fail_with : ERR_UNKNOWN_URL_SCHEME;
      EXPECT_EQ(delegate_.StartingWith("OnLoadError"),
                std::vector<std::string>{"OnLoadError main " + std::to_string(code) + " " + url + " @main"});
    } else {
      EXPECT_EQ(delegate_.Count("OnLoadError"), 0) << url;
    }
  }
  EXPECT_EQ(test::OsExecutions(), std::vector<std::wstring>{L"vivodov:open?game=1"});
}

// Window messages the tooltip control got from the handler.
std::vector<std::pair<UINT, WPARAM>> g_tooltip_messages;
WNDPROC g_tooltip_proc = nullptr;

LRESULT CALLBACK RecordTooltipMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == TTM_ADDTOOLW || message == TTM_SETTOOLINFOW || message == TTM_TRACKACTIVATE)
    g_tooltip_messages.push_back({message, wparam});
  return CallWindowProcW(g_tooltip_proc, hwnd, message, wparam, lparam);
}

struct TooltipSearch {
  HWND owner;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTooltip(HWND hwnd, LPARAM lparam) {
  auto* search = reinterpret_cast<TooltipSearch*>(lparam);
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  // A pop-up's owner is the top-level window of the window it was given.
  if (wcscmp(name, TOOLTIPS_CLASSW) == 0 && GetWindow(hwnd, GW_OWNER) == GetAncestor(search->owner, GA_ROOT))
    search->found.push_back(hwnd);
  return TRUE;
}

// The tooltip controls the UI thread made for owner.
std::vector<HWND> TooltipsOf(HWND owner) {
  TooltipSearch search{owner, {}};
  test::RunOn(TID_UI, [&] { EnumThreadWindows(GetCurrentThreadId(), &CollectTooltip, reinterpret_cast<LPARAM>(&search)); });
  return search.found;
}

TEST_F(ClientHandlerTest, TheHandlerDrivesOneTooltipControlOfItsOwn) {
  HostWindow host;
  CefRefPtr<CefBrowser> browser = Create(browser_test::ChildOf(host.hwnd()));
  HWND owner = browser->GetHost()->GetWindowHandle();
  ASSERT_TRUE(test::PageTooltip(browser, L"first"));
  std::vector<HWND> tooltips = TooltipsOf(owner);
  ASSERT_EQ(tooltips.size(), 1u);
  HWND tooltip = tooltips[0];
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(tooltip, GWL_STYLE)) & (WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP),
            static_cast<DWORD>(WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP));
  ASSERT_TRUE(test::RunOn(TID_UI, [&] {
    g_tooltip_messages.clear();
    g_tooltip_proc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(tooltip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordTooltipMessage)));
  }));

  using Messages = std::vector<std::pair<UINT, WPARAM>>;
  ASSERT_TRUE(test::PageTooltip(browser, L"first"));  // the same text: no message
  EXPECT_EQ(g_tooltip_messages, Messages{});
  ASSERT_TRUE(test::PageTooltip(browser, L""));
  EXPECT_EQ(g_tooltip_messages, (Messages{{TTM_TRACKACTIVATE, FALSE}}));
  g_tooltip_messages.clear();
  ASSERT_TRUE(test::PageTooltip(browser, L"first"));  // shown again after the empty text
  ASSERT_TRUE(test::PageTooltip(browser, L"second"));
  EXPECT_EQ(g_tooltip_messages, (Messages{{TTM_SETTOOLINFOW, 0}, {TTM_TRACKACTIVATE, TRUE}, {TTM_SETTOOLINFOW, 0},
                                          {TTM_TRACKACTIVATE, TRUE}}));
  EXPECT_EQ(TooltipsOf(owner), tooltips);

  TOOLINFOW info = {};
  info.cbSize = sizeof(info);
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(owner);
  wchar_t text[64] = {};
  info.lpszText = text;
  ASSERT_TRUE(test::RunOn(TID_UI, [&] { SendMessageW(tooltip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&info)); }));
  EXPECT_STREQ(text, L"second");
  // The engine showed none of its own.
  EXPECT_TRUE(JournalArgs("TooltipShown", browser->GetIdentifier()).empty());
}

TEST(ClientHandlerConsole, TheConsoleTextNamesMessageSourceAndLine) {
  EXPECT_EQ(client::FormatConsoleMessage("m", "s", 0), "Message: m\r\nSource: s\r\nLine: 0\r\n-----------------------\r\n");
  EXPECT_EQ(client::FormatConsoleMessage("", "http://x/a.js", -12),
            "Message: \r\nSource: http://x/a.js\r\nLine: -12\r\n-----------------------\r\n");
}

TEST_F(ClientHandlerTest, ConsoleOutputIsLeftToTheEngineAsWell) {
  CefRefPtr<CefBrowser> browser = Create(browser_test::Windowless(nullptr));
  ASSERT_TRUE(test::PageConsole(browser, L"hello", L"http://x/a.js", 0));
  EXPECT_EQ(JournalArgs("OnConsoleMessage", browser->GetIdentifier()),
            std::vector<std::string>{"hello http://x/a.js 0 false"});
}

}  // namespace
