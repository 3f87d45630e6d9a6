// The renderer application in a real renderer child process (render_probe.exe), with this test
// process as the browser: a page calls the host, the browser hands the host's answer to the
// page's callback, and the callback's value comes back.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_app.h"
#include "product/host_product_info.h"
#include "renderer_fixture.h"
#include "tests/cef/browser_test_support.h"
#include "tests/cef/probe_paths.h"
#include "tests/product/volume_standin_files.h"
#include "testing/network_testing.h"
#include "testing/page_script.h"
#include "testing/renderer_testing.h"

namespace {

namespace test = cefengine::test;
using browser_test::TestClient;
using render_test::kCallFunction;
using render_test::kCallHost;
using render_test::kCallResult;

// Renderer launches under Wine take up to a second, far more on a loaded machine.
const int kWaitMs = 20000;
const wchar_t kPageUrl[] = L"http://bridge.test/page.html";

// The messages the renderer of `browser_id` sent under `name`, as their argument items.
std::vector<std::vector<std::string>> SentUnder(int browser_id, const std::string& name) {
  std::vector<std::vector<std::string>> out;
  for (const test::SentMessage& message : test::SentToBrowser(browser_id)) {
    if (message.name == name)
      out.push_back(render_test::Items(message.args));
  }
  return out;
}

class RendererSubprocess : public ::testing::Test {
 protected:
  void SetUp() override {
    test::EnableJournal();
    test::ResetNetwork();
    test::SetHttpResponse(kPageUrl, 200, L"text/html", "<html><head><title>Bridge</title></head><body></body></html>");
    CefSettings settings;
    settings.multi_threaded_message_loop = 1;
    settings.windowless_rendering_enabled = 1;
    settings.log_severity = LOGSEVERITY_DISABLE;
    CefString(&settings.browser_subprocess_path) = RendererProgram();
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
    client_ = new TestClient();
    ASSERT_TRUE(CefBrowserHost::CreateBrowser(browser_test::Windowless(nullptr), client_.get(), kPageUrl,
                                              CefBrowserSettings(), nullptr));
    ASSERT_TRUE(test::WaitFor([this] { return client_->Count("OnLoadingStateChange false") > 0; }, kWaitMs));
    browser_ = client_->CreatedAt(0);
    ASSERT_TRUE(browser_);
    ASSERT_NE(test::RendererProcessId(browser_), 0u);
  }

  void TearDown() override {
    browser_ = nullptr;
    EXPECT_TRUE(probe_paths::CloseBrowsersAndShutdown(kWaitMs));
    test::ResetNetwork();
  }

  // The executable the engine starts as renderer.
  virtual std::wstring RendererProgram() { return probe_paths::ExeDir() + L"render_probe.exe"; }

  test::CallResult PageCall(const std::string& path, const std::vector<cefengine::PageValue>& args = {}) {
    return test::RendererCallOverChannel(browser_->GetIdentifier(), browser_->GetMainFrame()->GetIdentifier(), path,
                                         args);
  }

  CefRefPtr<TestClient> client_;
  CefRefPtr<CefBrowser> browser_;
};

TEST_F(RendererSubprocess, APageCallReachesTheBrowserAndTheHostsAnswerReachesTheCallback) {
  const int id = browser_->GetIdentifier();
  // The first id the new renderer process gives out is 1.
  test::CallResult call = PageCall("external.Execute", {test::Str("GetUser"),
                                                        test::PageFnReturning("onUser", test::Str("alice")),
                                                        test::Str("who")});
  ASSERT_TRUE(call.ran);
  EXPECT_EQ(call.type, "string");
  EXPECT_EQ(call.value, "1");
  ASSERT_TRUE(test::WaitFor([&] { return !SentUnder(id, kCallHost).empty(); }, kWaitMs));
  EXPECT_EQ(SentUnder(id, kCallHost),
            (std::vector<std::vector<std::string>>{{"i:1", "s:GetUser", "s:onUser", "s:who"}}));

  // The host answers through the browser: the callback runs in the child and its value returns.
  CefRefPtr<CefProcessMessage> answer = CefProcessMessage::Create(kCallFunction);
  answer->GetArgumentList()->SetInt(0, 5);
  answer->GetArgumentList()->SetString(1, "onUser");
  answer->GetArgumentList()->SetString(2, "{\"name\":\"alice\"}");
  ASSERT_TRUE(browser_->SendProcessMessage(PID_RENDERER, answer));
  ASSERT_TRUE(test::WaitFor([&] { return !SentUnder(id, kCallResult).empty(); }, kWaitMs));
  EXPECT_EQ(SentUnder(id, kCallResult), (std::vector<std::vector<std::string>>{{"i:5", "i:0", "s:alice"}}));
  std::vector<cefengine::JournalEntry> calls = test::PageFnCalls("onUser");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].process, 'R');
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"onUser", "{\"name\":\"alice\"}"}));
}

TEST_F(RendererSubprocess, TheChildAnswersFromItsOwnExecutableAndTheProductServices) {
  EXPECT_EQ(PageCall("external.GetKernelVersion").value, "4.3.2.1");
  EXPECT_EQ(PageCall("external.GetKernelType").value, "cef");
  // The child sits beside this test, so it sees the same installation.
  EXPECT_EQ(PageCall("external.GetChannel").value,
            CefString(HostProductInfo::GetChannel(L"..\\").GetString()).ToString());
  EXPECT_EQ(test::RendererGetOverChannel(browser_->GetIdentifier(), browser_->GetMainFrame()->GetIdentifier(),
                                        "cefQuery")
                .type,
            "function");
}

// The probe copied into a folder of its own with a trusted volume-control stand-in beside it.
class MutedRenderer : public RendererSubprocess {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"brivelo_mute_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((probe_paths::ExeDir() + L"render_probe.exe").c_str(), RendererProgram().c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(volume_standin::Trusted().c_str(), (folder_ + L"\\VolumeCtrl.dll").c_str(), FALSE));
    RendererSubprocess::SetUp();
  }
  void TearDown() override {
    RendererSubprocess::TearDown();
    for (const wchar_t* file : {L"render_probe.exe", L"VolumeCtrl.dll", L"volume_calls.log"})
      DeleteFileW((folder_ + L"\\" + file).c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  std::wstring RendererProgram() override { return folder_ + L"\\render_probe.exe"; }

  // The browser sends "MuteVolume", with the flag unless null.
  void Mute(const bool* flag) {
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create("MuteVolume");
    if (flag)
      message->GetArgumentList()->SetBool(0, *flag);
    ASSERT_TRUE(browser_->SendProcessMessage(PID_RENDERER, message));
  }
  std::vector<std::string> Calls() { return volume_standin::Calls(folder_); }

  std::wstring folder_;
};

TEST_F(MutedRenderer, MuteVolumeMutesAndUnmutesTheRendererThroughTheLibrary) {
  const bool on = true, off = false;
  Mute(&on);
  ASSERT_TRUE(test::WaitFor([&] { return Calls().size() >= 2; }, kWaitMs));
  Mute(nullptr);  // no flag: nothing changes
  Mute(&off);
  ASSERT_TRUE(test::WaitFor([&] { return Calls().size() >= 3; }, kWaitMs));
  // The renderer still serves the page afterwards, so the empty message was not left behind.
  EXPECT_EQ(PageCall("external.GetKernelType").value, "cef");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"Init", "MuteApp 1", "MuteApp 0"}));
  // Every call came from the renderer child.
  for (const std::string& line : volume_standin::Calls(folder_, true))
    EXPECT_EQ(line.substr(0, line.find(' ')), std::to_string(test::RendererProcessId(browser_)));
  EXPECT_TRUE(test::EntriesOf("ProcessMessageUnhandled").empty());
}

}  // namespace
