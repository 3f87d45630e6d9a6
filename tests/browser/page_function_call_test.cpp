// Page-function calls from the browser: the message the renderer gets, what happens without a
// name, a browser or a message.
#include "browser/page_function_call.h"

#include <windows.h>

#include <list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/process_messages.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/renderer_messages.h"

using namespace browser_doubles;

namespace {

TEST(PageFunctionCall, TheRendererGetsIdZeroTheNameAndTheArgumentsInOrder) {
  EngineFixture engine;
  ASSERT_TRUE(engine.ok());
  browser_test::HostWindow host;
  CefRefPtr<browser_test::TestClient> client = new browser_test::TestClient();
  CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::ChildOf(host.hwnd()), client);
  ASSERT_TRUE(browser);

  client::CallPageFunction(browser, L"OnWinEventHandler", {L"window_active", L""});
  client::CallPageFunction(browser, L"NoArguments", {});
  client::CallPageFunction(browser, L"", {L"dropped"});  // no name: nothing
  client::CallPageFunction(browser, L"Cut", {std::wstring(L"ab\0cd", 5)});
  test::FailNextProcessMessageCreate();
  client::CallPageFunction(browser, L"NoMessage", {L"x"});
  client::CallPageFunction(nullptr, L"NoBrowser", {L"x"});  // made, never sent

  ASSERT_TRUE(test::Flush(TID_UI));
  const std::vector<std::vector<std::string>> expected = {
      {"int:0", "OnWinEventHandler", "window_active", ""},
      {"int:0", "NoArguments"},
      {"int:0", "Cut", "ab"},
  };
  EXPECT_EQ(RendererMessages(browser, client::process_message::kCallFunction), expected);

  // The host's calls share the message: their execute id goes first.
  CefRefPtr<CefProcessMessage> call = client::MakePageFunctionCallMessage(-7, L"Answer", {L"1", L"2"});
  ASSERT_TRUE(call);
  EXPECT_EQ(call->GetName().ToString(), client::process_message::kCallFunction);
  CefRefPtr<CefListValue> args = call->GetArgumentList();
  ASSERT_EQ(args->GetSize(), 4u);
  EXPECT_EQ(args->GetInt(0), -7);
  EXPECT_EQ(args->GetString(1).ToWString(), L"Answer");
  EXPECT_EQ(args->GetString(3).ToWString(), L"2");

  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(client->WaitEvent("OnBeforeClose"));
}

}  // namespace
