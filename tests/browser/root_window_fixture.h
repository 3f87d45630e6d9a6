// Real root windows inside a host window of the test, made by the real root-window manager of
// the real main context, with the host's end of the channel recording the events and the
// engine's record of what each browser sent its renderer.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browser/root_window_win.h"
#include "render/process_messages.h"
#include "tests/browser/context_host_fixture.h"
#include "tests/browser/rect_text.h"
#include "tests/browser/renderer_messages.h"
#include "tests/cef/browser_test_support.h"

namespace root_test {

namespace test = cefengine::test;
using host_test::HostEvent;
using host_test::Text;

const int kView = 0x0300;
const int kOtherView = 0x0400;

// The window's rectangle in its parent's client coordinates ("x,y wxh").
inline std::string PlaceInParent(HWND window) { return RectText(RectInParent(window)); }

// Brief vectors of texts for comparisons.
inline std::vector<std::string> S(std::initializer_list<std::string> items) { return items; }

// A task for CEF's UI thread: holds it until the event is set, so that a view's browser is
// not made before the test is ready for it.
inline void WaitForEvent(HANDLE event) { WaitForSingleObject(event, 10000); }

// The texts and numbers of an event's items, for comparisons ("s:text", "i:N").
inline std::vector<std::string> Items(const HostEvent& event) {
  std::vector<std::string> out;
  for (const client::PayloadItem& item : event.items) {
    if (!item.present) continue;
    out.push_back(item.kind == 's' ? "s:" + CefString(item.text).ToString()
                                   : std::string(1, item.kind) + ":" + std::to_string(item.number));
  }
  return out;
}

class RootWindowTest : public host_test::ContextFixture {
 protected:
  void SetUp() override {
    ContextFixture::SetUp();
    test::ResetNetwork();
    test::EnableJournal();
  }
  void TearDown() override {
    ContextFixture::TearDown();
    test::EnableJournal(false);
    for (const std::string& message : strict_.Messages()) ADD_FAILURE() << message;
  }

  // The settings of a view of the host window at (10, 20) 300 x 200.
  std::unique_ptr<StartupSettings> Settings(int view = kView) {
    std::unique_ptr<StartupSettings> settings(new StartupSettings());
    settings->url = "http://root.test/start.html";
    settings->parent_wnd = host_window_.hwnd();
    settings->tab_rect = CefRect(10, 20, 300, 200);
    settings->web_view_id = view;
    settings->class_name = L"BriveloRootTest";
    return settings;
  }

  // A view made as the host's create-view command makes it.
  scoped_refptr<client::RootWindow> CreateView(std::unique_ptr<StartupSettings> settings) {
    return manager()->CreateRootWindow(std::move(settings));
  }
  // ... and waited for until its browser exists and the host heard of it.
  scoped_refptr<client::RootWindow> CreateViewAndWait(std::unique_ptr<StartupSettings> settings) {
    const size_t created = host_->EventsOf(client::MsgToHostBrowserCreated).size();
    scoped_refptr<client::RootWindow> root = CreateView(std::move(settings));
    EXPECT_TRUE(test::WaitFor([&] { return root->GetBrowser() != nullptr; }));
    EXPECT_TRUE(host_->WaitFor(client::MsgToHostBrowserCreated, created + 1));
    return root;
  }

  // The events of one code for the view.
  std::vector<HostEvent> EventsOf(uint32_t code, uint32_t view = kView) {
    std::vector<HostEvent> out;
    for (const HostEvent& event : host_->EventsOf(code))
      if (event.view == view) out.push_back(event);
    return out;
  }

  // Closes every view in order (as when the host's process ends) and waits for the manager to
  // let go of them: no browser outlives the test's engine.
  void CloseAllViews() {
    if (!manager() || manager()->GetRootWindowCount() == 0) return;
    manager()->CloseAllWindows(false);
    EXPECT_TRUE(test::WaitFor([&] { return manager()->GetRootWindowCount() == 0; }, 10000));
  }

  // Runs body inside the main loop of a started context, then closes what is left. What the
  // engine still posts to the main thread runs before the engine shuts down.
  void Run(std::function<void()> body) {
    ASSERT_TRUE(Start());
    RunInLoop([&] {
      body();
      CloseAllViews();
      test::Quiesce();
      Settle(100);
    });
  }

  // Misuse of the engine and failed checks are collected instead of ending the process.
  browser_test::StrictScope strict_;
  browser_test::HostWindow host_window_;
};

}  // namespace root_test
