#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "testing/cefengine_testing.h"

namespace test = cefengine::test;

namespace {

TEST(StrictMode, MisuseOnlyWarnsByDefaultAndIsFatalWhenStrict) {
  std::string fatal;
  test::SetFatalHandler([&](const std::string& message) { fatal = message; });
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();

  SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", nullptr);
  global->AppendSwitch("x");
  CefShutdown();  // without CefInitialize
  EXPECT_EQ(fatal, "");

  SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", L"1");
  global->AppendSwitch("x");
  EXPECT_NE(fatal.find("read-only"), std::string::npos) << fatal;
  fatal.clear();
  CefShutdown();
  EXPECT_NE(fatal.find("CefShutdown without CefInitialize"), std::string::npos) << fatal;

  SetEnvironmentVariableW(L"BRIVELO_CEF_STRICT", nullptr);
  test::SetFatalHandler(nullptr);
  EXPECT_FALSE(global->HasSwitch("x"));
}

}  // namespace
