#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "include/cef_parser.h"
#include "include/wrapper/cef_closure_task.h"
#include "testing/cefengine_testing.h"

namespace test = cefengine::test;

namespace {

class RecordingApp : public CefApp, public CefBrowserProcessHandler {
 public:
  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> cl) override {
    type_seen = process_type.ToString();
    cl->AppendSwitch("--from-app");
  }
  void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override {
    added_custom = registrar->AddCustomScheme("brivtest", true, false, false);
    added_builtin = registrar->AddCustomScheme("HTTP", true, false, false);
    added_twice = registrar->AddCustomScheme("brivtest", true, false, false);
    registrar_ = registrar;
  }
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  void OnContextInitialized() override { on_ui = CefCurrentlyOn(TID_UI); }

  std::string type_seen = "unset";
  bool added_custom = false, added_builtin = true, added_twice = true;
  volatile bool on_ui = false;
  CefRefPtr<CefSchemeRegistrar> registrar_;
  IMPLEMENT_REFCOUNTING(RecordingApp);
};

std::wstring TempFolder(const wchar_t* leaf) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"cefengine-" + std::to_wstring(GetCurrentProcessId()) + L"\\" + leaf;
}

TEST(EngineStartup, InitializeRunsTheAppHooksInOrderAndHonoursTheSettings) {
  test::EnableJournal();
  CefRefPtr<RecordingApp> app = new RecordingApp();
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  std::wstring cache = TempFolder(L"a\\cef_cache");
  CefString(&settings.cache_path) = cache;

  ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, app.get(), nullptr));
  EXPECT_EQ(app->type_seen, "");
  EXPECT_TRUE(app->added_custom);
  EXPECT_FALSE(app->added_builtin);
  EXPECT_FALSE(app->added_twice);
  // The registrar is dead once the hook returned.
  EXPECT_FALSE(app->registrar_->AddCustomScheme("late", true, false, false));

  // The global line is what the hook left, read-only.
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  EXPECT_TRUE(global->HasSwitch("from-app"));
  EXPECT_TRUE(global->IsReadOnly());

  // A custom standard scheme parses like one.
  CefURLParts parts;
  ASSERT_TRUE(CefParseURL("brivtest://Host/x", parts));
  EXPECT_EQ(CefString(&parts.host).ToString(), "host");

  EXPECT_TRUE(test::WaitFor([&] { return app->on_ui; }));
  EXPECT_TRUE(GetFileAttributesW(cache.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_NE(GetFileAttributesW(cache.c_str()), INVALID_FILE_ATTRIBUTES);

  // Twice fails and changes nothing.
  EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, app.get(), nullptr));
  EXPECT_TRUE(test::ExpectOrder({"CefInitialize", "OnBeforeCommandLineProcessing", "OnRegisterCustomSchemes",
                                 "OnContextInitialized"}));
  auto ctx = test::EntriesOf("OnContextInitialized");
  ASSERT_EQ(ctx.size(), 1u);
  EXPECT_EQ(ctx[0].thread, "UI");

  CefShutdown();
  EXPECT_FALSE(CefCommandLine::GetGlobalCommandLine()->HasSwitch("from-app"));
  EXPECT_FALSE(CefParseURL("brivtest://Host/x", parts) && CefString(&parts.host).ToString() == "host");
  // Remove what the test made: cache folder, its parent and the per-process folder.
  for (int i = 0; i < 3; ++i) {
    RemoveDirectoryW(cache.c_str());
    cache = cache.substr(0, cache.find_last_of(L'\\'));
  }
}

TEST(EngineStartup, InjectedFailureFailsOnceAndLeavesNothingRunning) {
  test::FailCefInitialize();
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  EXPECT_FALSE(CefPostTask(TID_UI, CefCreateClosureTask(base::Closure())));
  EXPECT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  CefShutdown();
}

TEST(EngineStartup, EnvironmentSwitchFailsEveryStartUpWhileSetAndOnlyWithOne) {
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  const CefMainArgs args(GetModuleHandleW(nullptr));
  SetEnvironmentVariableW(L"BRIVELO_CEF_FAIL_INITIALIZE", L"1");
  EXPECT_FALSE(CefInitialize(args, settings, nullptr, nullptr));
  EXPECT_FALSE(CefInitialize(args, settings, nullptr, nullptr));
  EXPECT_FALSE(CefPostTask(TID_UI, CefCreateClosureTask(base::Closure())));
  for (const wchar_t* other : {L"0", L"", L"11", L"yes"}) {
    SetEnvironmentVariableW(L"BRIVELO_CEF_FAIL_INITIALIZE", other);
    ASSERT_TRUE(CefInitialize(args, settings, nullptr, nullptr)) << "value \"" << CefString(other).ToString() << "\"";
    CefShutdown();
  }
  SetEnvironmentVariableW(L"BRIVELO_CEF_FAIL_INITIALIZE", nullptr);
}

TEST(EngineStartup, ExecuteProcessInTheBrowserProcessReturnsMinusOne) {
  CefRefPtr<RecordingApp> app = new RecordingApp();
  EXPECT_EQ(CefExecuteProcess(CefMainArgs(GetModuleHandleW(nullptr)), app.get(), nullptr), -1);
  EXPECT_EQ(app->type_seen, "unset");  // nothing else happens
}

TEST(EngineStartup, FailedCheckWritesTheConditionThroughTheFatalHandler) {
  std::string seen;
  test::SetFatalHandler([&](const std::string& message) { seen = message; });
  void* hwnd_ = nullptr;
  CHECK(hwnd_) << 1400;
  test::SetFatalHandler(nullptr);
  EXPECT_NE(seen.find(":FATAL:startup_test.cpp("), std::string::npos) << seen;
  EXPECT_NE(seen.find("] Check failed: hwnd_. 1400"), std::string::npos) << seen;
}

}  // namespace
