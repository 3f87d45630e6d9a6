#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cookie_test_support.h"
#include "page_test_client.h"
#include "tests/cef/probe_paths.h"

namespace {

using page_test::PageClient;
using page_test::PageFixture;
namespace test = cefengine::test;

std::vector<std::string> With(const std::vector<std::string>& events, const std::string& part) {
  std::vector<std::string> out;
  for (const std::string& e : events)
    if (e.find(part) != std::string::npos)
      out.push_back(e);
  return out;
}

// --- Context menu ---

TEST(ContextMenu, DefaultItemsAreOfferedAndAnEngineMenuOpens) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(test::PageContextMenu(f.browser, CM_TYPEFLAG_PAGE | CM_TYPEFLAG_LINK, 11, 22, L"http://x.test/l"));
  EXPECT_EQ(f.client->Count("OnBeforeContextMenu 11,22 flags=5 link=http://x.test/l frame"), 1);
  EXPECT_EQ(f.client->last_menu_commands(), (std::vector<int>{MENU_ID_BACK, MENU_ID_FORWARD, MENU_ID_RELOAD, -1,
                                                                MENU_ID_PRINT, MENU_ID_VIEW_SOURCE}));
  EXPECT_EQ(f.client->Count("RunContextMenu"), 1);
  EXPECT_EQ(test::OpenMenuCommands(f.browser).size(), 6u);
  EXPECT_FALSE(test::ChooseMenuCommand(f.browser, MENU_ID_USER_FIRST));  // not in the menu
  EXPECT_EQ(test::OpenMenuCommands(f.browser).size(), 6u);
  EXPECT_TRUE(test::ChooseMenuCommand(f.browser, -1));
  EXPECT_TRUE(test::OpenMenuCommands(f.browser).empty());
  EXPECT_EQ(f.client->Count("OnContextMenuDismissed"), 1);
  EXPECT_EQ(f.client->Count("OnContextMenuCommand"), 0);
}

TEST(ContextMenu, AnEmptiedModelShowsNothing) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->before_context_menu = [](CefRefPtr<CefMenuModel> model) {
    model->Clear();
    model->AddSeparator();
  };
  ASSERT_TRUE(test::PageContextMenu(f.browser, CM_TYPEFLAG_EDITABLE, 1, 1));
  EXPECT_EQ(f.client->Count("OnBeforeContextMenu 1,1 flags=32 link= editable"), 1);
  EXPECT_EQ(f.client->Count("RunContextMenu"), 0);
  EXPECT_TRUE(test::OpenMenuCommands(f.browser).empty());
  EXPECT_FALSE(test::ChooseMenuCommand(f.browser, -1));
  EXPECT_EQ(test::EntriesOf("ContextMenuSuppressed").size(), 1u);
}

TEST(ContextMenu, CommandFalseRunsTheEngineCommandTrueDoesNot) {
  for (bool handled : {false, true}) {
    PageFixture f;
    ASSERT_TRUE(f.ok());
    f.client->context_menu_command_result = handled;
    f.client->before_context_menu = [](CefRefPtr<CefMenuModel> model) {
      model->AddItem(MENU_ID_USER_FIRST, "Mine");
    };
    ASSERT_TRUE(test::PageContextMenu(f.browser, CM_TYPEFLAG_PAGE, 0, 0));
    ASSERT_TRUE(test::ChooseMenuCommand(f.browser, MENU_ID_STOPLOAD - 2));  // Reload
    EXPECT_EQ(With(f.client->Events(), "ContextMenu"),
              (std::vector<std::string>{"OnBeforeContextMenu 0,0 flags=1 link= frame", "RunContextMenu",
                                        "OnContextMenuCommand 102", "OnContextMenuDismissed"}));
    std::vector<test::JournalEntry> engine = test::EntriesOf("EngineMenuCommand");
    if (handled) {
      EXPECT_TRUE(engine.empty());
    } else {
      ASSERT_EQ(engine.size(), 1u);
      EXPECT_EQ(engine[0].args[0], "102");
    }
  }
}

TEST(ContextMenu, ClientMenuAnswersThroughItsCallback) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->run_context_menu_result = true;
  ASSERT_TRUE(test::PageContextMenu(f.browser, CM_TYPEFLAG_SELECTION, 2, 3));
  EXPECT_TRUE(test::OpenMenuCommands(f.browser).empty());  // the engine shows no menu of its own
  ASSERT_TRUE(f.client->kept_menu);
  f.client->kept_menu->Continue(MENU_ID_COPY, EVENTFLAG_NONE);
  f.client->kept_menu->Cancel();  // after an answer: nothing more
  ASSERT_TRUE(f.client->WaitEvent("OnContextMenuDismissed"));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("OnContextMenuCommand 113"), 1);
  EXPECT_EQ(f.client->Count("OnContextMenuDismissed"), 1);
  EXPECT_EQ(f.client->wrong_thread_calls(), 0);
}

// --- beforeunload ---

// A page with a beforeunload handler, a client that answers the question itself, and a close that asks it.
::testing::AssertionResult CloseGuardedPage(PageFixture& f) {
  if (!f.ok() || !f.SetDocument(L"page") || !test::PageBeforeUnload(f.browser, true))
    return ::testing::AssertionFailure() << "no page";
  f.client->before_unload_result = true;
  f.host()->CloseBrowser(false);
  if (!f.client->WaitEvent("OnBeforeUnloadDialog"))
    return ::testing::AssertionFailure() << "no OnBeforeUnloadDialog";
  return ::testing::AssertionSuccess();
}

TEST(BeforeUnload, ContinueFalseCancelsTheCloseAndTrueProceeds) {
  PageFixture f;
  ASSERT_TRUE(CloseGuardedPage(f));
  ASSERT_TRUE(f.client->kept_before_unload);
  f.client->kept_before_unload->Continue(false, CefString());
  f.client->kept_before_unload = nullptr;
  ASSERT_TRUE(f.client->WaitEvent("OnDialogClosed"));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(f.client->Count("DoClose"), 0);
  EXPECT_FALSE(test::BrowserInfo(f.browser).closed);

  f.host()->CloseBrowser(false);
  ASSERT_TRUE(f.client->WaitEvent("OnBeforeUnloadDialog", 2));
  f.client->kept_before_unload->Continue(true, CefString());
  f.client->kept_before_unload = nullptr;
  ASSERT_TRUE(f.client->WaitEvent("OnBeforeClose"));
  EXPECT_TRUE(test::ExpectOrder({"OnBeforeUnloadDialog", "BeforeUnloadAnswer", "DoClose", "OnBeforeClose"}));
}

TEST(BeforeUnload, HandlerFalseAcceptsAndPagesWithoutHandlerOrForcedClosesAskNothing) {
  struct Case {
    bool page_handler;
    bool force;
    bool client_answers;
    int expected_dialogs;
  } cases[] = {
      {true, false, false, 1},   // the engine accepts for the client
      {false, false, true, 0},   // no beforeunload handler on the page
      {true, true, true, 0},     // forced close
  };
  for (const Case& c : cases) {
    PageFixture f;
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f.SetDocument(L"page"));
    f.client->before_unload_result = c.client_answers;
    ASSERT_TRUE(test::PageBeforeUnload(f.browser, c.page_handler));
    f.host()->CloseBrowser(c.force);
    ASSERT_TRUE(f.client->WaitEvent("OnBeforeClose")) << "page " << c.page_handler << " force " << c.force;
    EXPECT_EQ(f.client->Count("OnBeforeUnloadDialog"), c.expected_dialogs);
    EXPECT_EQ(f.client->Count("OnDialogClosed"), 0);
  }
}

TEST(BeforeUnload, ACallbackReleasedUnansweredCancels) {
  PageFixture f;
  ASSERT_TRUE(CloseGuardedPage(f));
  f.client->kept_before_unload = nullptr;
  ASSERT_TRUE(test::WaitFor([]() { return !test::EntriesOf("BeforeUnloadAnswer").empty(); }));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(test::EntriesOf("BeforeUnloadAnswer")[0].args[0], "false");
  EXPECT_EQ(f.client->Count("DoClose"), 0);
}

// --- alert / confirm / prompt ---

TEST(JSDialogs, OutcomesFollowTheHandler) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  // Left to the engine: dismissed at once.
  int auto_id = test::PageAlert(f.browser, JSDIALOGTYPE_ALERT, L"hello");
  EXPECT_EQ(test::RequestOutcome(auto_id).outcome, test::Outcome::kAutoDismissed);
  EXPECT_EQ(f.client->Count("OnJSDialog 0 hello prompt= suppress-clear"), 1);

  f.client->js_dialog_suppress = true;
  int suppressed = test::PageAlert(f.browser, JSDIALOGTYPE_CONFIRM, L"sure?");
  EXPECT_EQ(test::RequestOutcome(suppressed).outcome, test::Outcome::kSuppressed);

  f.client->js_dialog_suppress = false;
  f.client->js_dialog_result = true;
  int prompt = test::PageAlert(f.browser, JSDIALOGTYPE_PROMPT, L"name?", L"anon");
  EXPECT_EQ(test::RequestOutcome(prompt).outcome, test::Outcome::kPending);
  ASSERT_TRUE(f.client->kept_dialog);
  f.client->kept_dialog->Continue(true, "Ada");
  {
    cookie_tests::MisuseCapture capture;
    f.client->kept_dialog->Continue(false, "again");  // only the first answer counts
    EXPECT_EQ(capture.reports.size(), 1u);
  }
  f.client->kept_dialog = nullptr;
  ASSERT_TRUE(test::WaitSettled(prompt));
  EXPECT_EQ(test::RequestOutcome(prompt).outcome, test::Outcome::kGranted);
  EXPECT_EQ(test::RequestOutcome(prompt).text, L"Ada");
  ASSERT_TRUE(f.client->WaitEvent("OnDialogClosed"));

  int dropped = test::PageAlert(f.browser, JSDIALOGTYPE_CONFIRM, L"drop me");
  f.client->kept_dialog = nullptr;
  ASSERT_TRUE(test::WaitSettled(dropped));
  EXPECT_EQ(test::RequestOutcome(dropped).outcome, test::Outcome::kDenied);
  EXPECT_EQ(test::RequestOutcome(12345).outcome, test::Outcome::kUnknown);
}

// --- Downloads ---

std::wstring TempPath(const wchar_t* leaf) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"cefengine-dl-" + std::to_wstring(GetCurrentProcessId()) + L"-" + leaf;
}

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "<missing>";
  char buffer[256];
  DWORD read = 0;
  std::string data;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    data.append(buffer, read);
  CloseHandle(file);
  return data;
}

TEST(Downloads, NothingIsWrittenWithoutContinue) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  int id = test::PageDownload(f.browser, L"http://x.test/f.bin", L"f.bin", "payload");
  ASSERT_TRUE(test::WaitSettled(id));
  EXPECT_EQ(test::RequestOutcome(id).outcome, test::Outcome::kDenied);
  ASSERT_TRUE(f.client->WaitEvent("OnDownloadUpdated"));
  EXPECT_EQ(With(f.client->Events(), "Download"),
            (std::vector<std::string>{"OnBeforeDownload f.bin http://x.test/f.bin 7", "OnDownloadUpdated cancelled 0"}));
}

TEST(Downloads, ContinueWritesTheFileAndReportsProgressThenCompletion) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  const std::wstring path = TempPath(L"written.bin");
  DeleteFileW(path.c_str());
  f.client->before_download = [path](CefRefPtr<CefBeforeDownloadCallback> callback) {
    callback->Continue(path, false);
  };
  const std::string bytes("line\r\n\0binary", 14);
  int id = test::PageDownload(f.browser, L"http://x.test/w", L"w.bin", bytes);
  ASSERT_TRUE(test::WaitSettled(id));
  EXPECT_EQ(test::RequestOutcome(id).outcome, test::Outcome::kGranted);
  EXPECT_EQ(test::RequestOutcome(id).text, path);
  EXPECT_EQ(ReadWholeFile(path), bytes);
  ASSERT_TRUE(f.client->WaitEvent("OnDownloadUpdated complete"));
  EXPECT_EQ(With(f.client->Events(), "OnDownloadUpdated"),
            (std::vector<std::string>{"OnDownloadUpdated in-progress 0", "OnDownloadUpdated complete 14"}));
  DeleteFileW(path.c_str());
}

TEST(Downloads, CancelWhileInProgressWritesNothing) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  const std::wstring path = TempPath(L"cancelled.bin");
  DeleteFileW(path.c_str());
  f.client->before_download = [path](CefRefPtr<CefBeforeDownloadCallback> callback) {
    callback->Continue(path, false);
  };
  f.client->download_updated = [](CefRefPtr<CefDownloadItem> item, CefRefPtr<CefDownloadItemCallback> callback) {
    if (item->IsInProgress())
      callback->Cancel();
  };
  int id = test::PageDownload(f.browser, L"http://x.test/c", L"c.bin", "data");
  ASSERT_TRUE(test::WaitSettled(id));
  EXPECT_EQ(test::RequestOutcome(id).outcome, test::Outcome::kDenied);
  EXPECT_EQ(ReadWholeFile(path), "<missing>");
  ASSERT_TRUE(f.client->WaitEvent("OnDownloadUpdated cancelled"));
}

TEST(Downloads, AnUnwritablePathEndsCancelled) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.client->before_download = [](CefRefPtr<CefBeforeDownloadCallback> callback) {
    callback->Continue(TempPath(L"no-such-folder\\x\\y.bin"), false);
  };
  int id = test::PageDownload(f.browser, L"http://x.test/u", L"u.bin", "data");
  ASSERT_TRUE(test::WaitSettled(id));
  EXPECT_EQ(test::RequestOutcome(id).outcome, test::Outcome::kDenied);
  ASSERT_TRUE(f.client->WaitEvent("OnDownloadUpdated cancelled"));
}

// --- Geolocation and quota ---

TEST(Permissions, GeolocationIsGrantedOnlyByContinueTrue) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  int refused = test::PageGeolocation(f.browser, L"http://maps.test/");
  EXPECT_EQ(test::RequestOutcome(refused).outcome, test::Outcome::kDenied);
  EXPECT_EQ(f.client->Count("OnRequestGeolocationPermission http://maps.test/ " + std::to_string(refused)), 1);

  f.client->geolocation_result = true;
  int granted = test::PageGeolocation(f.browser, L"http://maps.test/");
  EXPECT_EQ(test::RequestOutcome(granted).outcome, test::Outcome::kPending);
  f.client->kept_geolocation->Continue(true);
  f.client->kept_geolocation->Continue(false);  // too late
  EXPECT_EQ(test::RequestOutcome(granted).outcome, test::Outcome::kGranted);

  int unanswered = test::PageGeolocation(f.browser, L"http://maps.test/");
  f.client->kept_geolocation = nullptr;
  EXPECT_EQ(test::RequestOutcome(unanswered).outcome, test::Outcome::kDenied);
}

TEST(Permissions, QuotaIsAskedOnIOAndAnsweredThroughTheCallback) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  int refused = test::PageQuota(f.browser, L"http://q.test/", 1 << 20);
  ASSERT_TRUE(test::WaitSettled(refused));
  EXPECT_EQ(test::RequestOutcome(refused).outcome, test::Outcome::kDenied);

  f.client->quota_result = true;
  int granted = test::PageQuota(f.browser, L"http://q.test/", 5);
  ASSERT_TRUE(test::WaitFor([&]() { return f.client->kept_quota != nullptr; }));
  EXPECT_EQ(test::RequestOutcome(granted).outcome, test::Outcome::kPending);
  f.client->kept_quota->Continue(true);
  f.client->kept_quota = nullptr;
  EXPECT_EQ(test::RequestOutcome(granted).outcome, test::Outcome::kGranted);
  EXPECT_EQ(f.client->Count("OnQuotaRequest http://q.test/ 1048576"), 1);
  EXPECT_EQ(f.client->wrong_thread_calls(), 0);
  std::vector<test::JournalEntry> asked = test::EntriesOf("OnQuotaRequest");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].thread, "IO");
}

// --- Display ---

TEST(DisplayActions, TooltipConsoleAndFullscreenReachTheDisplayHandler) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(test::PageTooltip(f.browser, L"tip"));
  f.client->tooltip_result = true;
  ASSERT_TRUE(test::PageTooltip(f.browser, L"own"));
  std::vector<test::JournalEntry> shown = test::EntriesOf("TooltipShown");
  ASSERT_EQ(shown.size(), 1u);  // the client showed the second one itself
  EXPECT_EQ(shown[0].args[0], "tip (engine)");

  ASSERT_TRUE(test::PageConsole(f.browser, L"boom", L"http://x.test/a.js", 7));
  EXPECT_EQ(f.client->Count("OnConsoleMessage boom http://x.test/a.js:7"), 1);
  ASSERT_TRUE(test::PageFullscreen(f.browser, true));
  ASSERT_TRUE(test::PageFullscreen(f.browser, false));
  EXPECT_EQ(With(f.client->Events(), "Fullscreen"),
            (std::vector<std::string>{"OnFullscreenModeChange true", "OnFullscreenModeChange false"}));
  EXPECT_EQ(f.client->wrong_thread_calls(), 0);
}

TEST(DisplayActions, CursorChangesReachTheRenderHandlerUnlessDisabled) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(test::PageCursor(f.browser, CT_HAND));
  f.host()->SetMouseCursorChangeDisabled(true);
  ASSERT_TRUE(test::WaitFor([&]() { return f.host()->IsMouseCursorChangeDisabled(); }));
  ASSERT_TRUE(test::PageCursor(f.browser, CT_IBEAM));
  f.host()->SetMouseCursorChangeDisabled(false);
  ASSERT_TRUE(test::WaitFor([&]() { return !f.host()->IsMouseCursorChangeDisabled(); }));
  ASSERT_TRUE(test::PageCursor(f.browser, CT_WAIT));
  EXPECT_EQ(With(f.client->Events(), "OnCursorChange"),
            (std::vector<std::string>{"OnCursorChange 2 handle", "OnCursorChange 4 handle"}));
}

TEST(PageActions, ClosedBrowsersTakeNoActions) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  f.host()->CloseBrowser(true);
  ASSERT_TRUE(f.client->WaitEvent("OnBeforeClose"));
  EXPECT_FALSE(test::PageTooltip(f.browser, L"late"));
  EXPECT_FALSE(test::PageContextMenu(f.browser, CM_TYPEFLAG_PAGE, 0, 0));
  EXPECT_EQ(test::PageGeolocation(f.browser, L"http://late.test/"), 0);
  EXPECT_EQ(f.client->Count("OnTooltip"), 0);
}

TEST(PageCommit, NewDocumentDropsTheBeforeUnloadHandlerAndReportsItsRegions) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(f.SetDocument(L"page"));
  ASSERT_TRUE(test::PageBeforeUnload(f.browser, true));
  cefengine::ScannedDocument document;
  document.has_regions = true;
  document.regions.push_back(CefDraggableRegion(CefRect(1, 2, 3, 4), true));
  ASSERT_TRUE(f.CommitMain(document));
  EXPECT_EQ(f.client->Count("OnDraggableRegionsChanged 1,2,3x4+"), 1);
  f.host()->CloseBrowser(false);
  ASSERT_TRUE(f.client->WaitEvent("OnBeforeClose"));
  EXPECT_EQ(f.client->Count("OnBeforeUnloadDialog"), 0);
}

// --- Plugins ---

class PluginPolicyHandler : public CefRequestContextHandler {
 public:
  explicit PluginPolicyHandler(bool change, cef_plugin_policy_t to) : change_(change), to_(to) {}
  bool OnBeforePluginLoad(const CefString& mime_type, const CefString& plugin_url, const CefString& top_origin_url,
                          CefRefPtr<CefWebPluginInfo> plugin_info, PluginPolicy* plugin_policy) override {
    std::lock_guard<std::mutex> hold(lock_);
    seen_policy = *plugin_policy;
    on_io = CefCurrentlyOn(TID_IO);
    name = plugin_info->GetName().ToString();
    if (change_)
      *plugin_policy = to_;
    return change_;
  }
  std::mutex lock_;
  int seen_policy = -1;
  bool on_io = false;
  std::string name;

 private:
  const bool change_;
  const cef_plugin_policy_t to_;
  IMPLEMENT_REFCOUNTING(PluginPolicyHandler);
};

std::string LastPluginOutcome() {
  std::vector<test::JournalEntry> allowed = test::EntriesOf("PluginAllowed");
  std::vector<test::JournalEntry> blocked = test::EntriesOf("PluginBlocked");
  if (!allowed.empty() && (blocked.empty() || allowed.back().seq > blocked.back().seq))
    return "allowed";
  return blocked.empty() ? "none" : "blocked";
}

TEST(Plugins, StartPolicyBlocksPdfUnlessChanged) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(test::PageEmbedPlugin(f.browser, L"application/pdf", L"http://x.test/a.pdf"));
  EXPECT_EQ(LastPluginOutcome(), "blocked");
  ASSERT_TRUE(test::PageEmbedPlugin(f.browser, L"application/x-unknown", L"http://x.test/a.bin"));
  EXPECT_EQ(LastPluginOutcome(), "allowed");
  test::SetPluginPolicy(L"Application/PDF", PLUGIN_POLICY_ALLOW);
  ASSERT_TRUE(test::PageEmbedPlugin(f.browser, L"application/pdf", L"http://x.test/a.pdf"));
  EXPECT_EQ(LastPluginOutcome(), "allowed");
  std::vector<test::JournalEntry> asked = test::EntriesOf("OnBeforePluginLoad");
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].thread, "IO");
  EXPECT_EQ(asked[0].args[1], "http://x.test/a.pdf");
}

TEST(Plugins, ContextHandlerDecidesThePolicyOnIO) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  CefRefPtr<PluginPolicyHandler> handler = new PluginPolicyHandler(true, PLUGIN_POLICY_BLOCK);
  CefRefPtr<CefRequestContext> context = CefRequestContext::CreateContext(CefRequestContextSettings(), handler.get());
  ASSERT_TRUE(context);
  CefRefPtr<page_test::PageClient> client = new page_test::PageClient();
  CefWindowInfo info;
  info.SetAsWindowless(nullptr, false);
  ASSERT_TRUE(CefBrowserHost::CreateBrowser(info, client.get(), "", CefBrowserSettings(), context));
  ASSERT_TRUE(test::WaitFor([&]() { return client->browser() != nullptr; }));
  ASSERT_TRUE(test::PageEmbedPlugin(client->browser(), L"application/x-shockwave-flash", L"http://x.test/f.swf"));
  EXPECT_EQ(LastPluginOutcome(), "blocked");
  std::lock_guard<std::mutex> hold(handler->lock_);
  EXPECT_EQ(handler->seen_policy, PLUGIN_POLICY_ALLOW);
  EXPECT_TRUE(handler->on_io);
  EXPECT_EQ(handler->name, "Shockwave Flash");
}

// Adds the flash switches the way the application does before start-up.
class FlashApp : public CefApp {
 public:
  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> line) override {
    line->AppendSwitchWithValue("ppapi-flash-path", "C:\\plugins\\pepflash.dll");
    line->AppendSwitchWithValue("ppapi-flash-version", "20.0.0.1");
  }
  IMPLEMENT_REFCOUNTING(FlashApp);
};

TEST(Plugins, AllowedFlashStartsItsProcessOrReportsACrash) {
  for (bool launchable : {true, false}) {
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.windowless_rendering_enabled = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    CefString(&settings.browser_subprocess_path) =
        launchable ? probe_paths::SubprocessProbePath() : probe_paths::ExeDir() + L"no_such_probe.exe";
    test::EnableJournal();
    test::BrowserHarness harness(new FlashApp(), &settings);
    ASSERT_TRUE(harness.ok());
    CefRefPtr<page_test::PageClient> client = new page_test::PageClient();
    CefWindowInfo info;
    info.SetAsWindowless(nullptr, false);
    ASSERT_TRUE(CefBrowserHost::CreateBrowser(info, client.get(), "", CefBrowserSettings(), nullptr));
    ASSERT_TRUE(test::WaitFor([&]() { return client->browser() != nullptr; }));
    ASSERT_TRUE(test::PageEmbedPlugin(client->browser(), L"application/x-shockwave-flash", L"http://x.test/f.swf"));
    ASSERT_TRUE(test::WaitFor([]() { return !test::EntriesOf("PluginProcessLaunch").empty(); }));
    std::string line = test::EntriesOf("PluginProcessLaunch")[0].args[0];
    EXPECT_NE(line.find("--type=ppapi"), std::string::npos) << line;
    EXPECT_NE(line.find("--ppapi-flash-args"), std::string::npos) << line;
    EXPECT_NE(line.find("--ppapi-flash-path=C:\\plugins\\pepflash.dll"), std::string::npos) << line;
    EXPECT_NE(line.find("--ppapi-flash-version=20.0.0.1"), std::string::npos) << line;
    EXPECT_TRUE(test::ExpectOrder({"OnBeforePluginLoad", "OnBeforeChildProcessLaunch", "PluginProcessLaunch"}));
    if (launchable) {
      ASSERT_TRUE(test::Flush(TID_PROCESS_LAUNCHER));
      ASSERT_TRUE(test::Flush(TID_UI));
      EXPECT_EQ(client->Count("OnPluginCrashed"), 0);
    } else {
      ASSERT_TRUE(client->WaitEvent("OnPluginCrashed C:\\plugins\\pepflash.dll"));
    }
    harness.Shutdown();
  }
}

TEST(DisplayActions, WindowedBrowsersShowThePageCursorOnSetCursorUnlessDisabled) {
  PageFixture f(false);
  ASSERT_TRUE(f.ok());
  HWND window = test::BrowserInfo(f.browser).hwnd;
  ASSERT_TRUE(window);
  const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), hit);  // no page cursor yet
  ASSERT_TRUE(test::PageCursor(f.browser, CT_HAND));
  SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), hit);
  f.host()->SetMouseCursorChangeDisabled(true);
  ASSERT_TRUE(test::WaitFor([&]() { return f.host()->IsMouseCursorChangeDisabled(); }));
  SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), hit);
  std::vector<test::JournalEntry> shown = test::EntriesOf("WindowCursor");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].args[0], std::to_string(CT_HAND));
  EXPECT_EQ(shown[0].thread, "UI");
  EXPECT_EQ(f.client->Count("OnCursorChange"), 0);  // the render handler is for windowless browsers
}

}  // namespace

// --- With pages loaded from the network table ---

#include "testing/network_testing.h"

namespace {

using page_test::PageFixture;
namespace test = cefengine::test;

// Serves `url` as HTML with `head` inside <head>, loads it in the fixture's main frame and waits for its end.
::testing::AssertionResult Load(PageFixture& f, const std::string& url, const std::string& head) {
  test::SetHttpResponse(CefString(url).ToWString(), 200, L"text/html",
                        "<html><head>" + head + "</head><body>x</body></html>");
  int ends = f.client->Count("OnLoadEnd " + url);
  f.browser->GetMainFrame()->LoadURL(url);
  if (!f.client->WaitEvent("OnLoadEnd " + url, ends + 1))
    return ::testing::AssertionFailure() << url << " did not load";
  return ::testing::AssertionSuccess();
}

TEST(LoadedPages, MenuBackWithoutClientCommandGoesBack) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(Load(f, "http://one.test/", "<title>one</title>"));
  ASSERT_TRUE(Load(f, "http://two.test/", "<title>two</title>"));
  ASSERT_TRUE(test::PageContextMenu(f.browser, CM_TYPEFLAG_PAGE, 0, 0));
  ASSERT_TRUE(test::ChooseMenuCommand(f.browser, MENU_ID_BACK));
  ASSERT_TRUE(f.client->WaitEvent("OnLoadEnd http://one.test/", 2));
  EXPECT_EQ(test::BrowserInfo(f.browser).url, L"http://one.test/");
}

TEST(LoadedPages, BeforeUnloadGuardsNavigationsToo) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  ASSERT_TRUE(Load(f, "http://stay.test/", ""));
  ASSERT_TRUE(test::PageBeforeUnload(f.browser, true));
  f.client->before_unload_result = true;
  f.browser->GetMainFrame()->LoadURL("http://away.test/");
  ASSERT_TRUE(f.client->WaitEvent("OnBeforeUnloadDialog"));
  f.client->kept_before_unload->Continue(false, CefString());
  f.client->kept_before_unload = nullptr;
  ASSERT_TRUE(f.client->WaitEvent("OnDialogClosed"));
  ASSERT_TRUE(test::Flush(TID_UI));
  ASSERT_TRUE(test::Flush(TID_IO));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(test::BrowserInfo(f.browser).url, L"http://stay.test/");
  EXPECT_FALSE(test::BrowserInfo(f.browser).loading);
  EXPECT_EQ(f.client->Count("OnLoadEnd http://away.test/"), 0);

  f.browser->Reload();
  ASSERT_TRUE(f.client->WaitEvent("OnBeforeUnloadDialog reload"));
  f.client->kept_before_unload->Continue(true, CefString());
  f.client->kept_before_unload = nullptr;
  ASSERT_TRUE(f.client->WaitEvent("OnLoadEnd http://stay.test/", 2));
  // The new document has no handler: leaving it asks nothing.
  ASSERT_TRUE(Load(f, "http://away.test/", ""));
  EXPECT_EQ(f.client->Count("OnBeforeUnloadDialog"), 2);
}

TEST(LoadedPages, DocumentsReportTheirRegionsAndPlugins) {
  PageFixture f;
  ASSERT_TRUE(f.ok());
  test::SetHttpResponse(L"http://plug.test/", 200, L"text/html",
                        "<html><head><meta name=\"cefengine-regions\" content=\"0,0,100,20,1;90,0,10,20,0\"></head>"
                        "<body><embed type=\"application/pdf\" src=\"doc.pdf\"></body></html>");
  f.browser->GetMainFrame()->LoadURL("http://plug.test/");
  ASSERT_TRUE(f.client->WaitEvent("OnLoadEnd http://plug.test/"));
  ASSERT_TRUE(test::Flush(TID_IO));
  EXPECT_EQ(f.client->Count("OnDraggableRegionsChanged 0,0,100x20+ 90,0,10x20-"), 1);
  std::vector<test::JournalEntry> plugins = test::EntriesOf("OnBeforePluginLoad");
  ASSERT_EQ(plugins.size(), 1u);
  EXPECT_EQ(plugins[0].args[0], "application/pdf");
  EXPECT_EQ(plugins[0].args[1], "http://plug.test/doc.pdf");
  EXPECT_EQ(plugins[0].args[2], "http://plug.test/");
  EXPECT_EQ(test::EntriesOf("PluginBlocked").size(), 1u);
}

}  // namespace
