// Pop-up root windows that the client handler asks the real root-window manager for: the page's
// developer-tools pop-ups (with controls) and the developer tools of the context menu (without),
// windowed or off-screen as the handler is.
#include <windows.h>

#include <string>
#include <vector>

#include "browser/client_handler_osr.h"
#include "browser/client_handler_std.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/core/context_fixture.h"

namespace core_test {
namespace {

using browser_doubles::JournalArgs;
using browser_doubles::RecordingHandlerDelegate;
using fake::FakeRootWindow;

class HandlerPopupTest : public ContextTest {
 protected:
  // In the loop: a windowless browser of handler, then what the manager was asked for when the
  // page opened a developer-tools page and when the menu opened the developer tools.
  std::vector<std::string> PopupsAskedFor(CefRefPtr<client::ClientHandler> handler) {
    CefRefPtr<CefBrowser> browser = browser_test::CreateOnUI(browser_test::Windowless(nullptr), handler.get());
    EXPECT_TRUE(browser);
    FakeRootWindow::ClearCalls();
    EXPECT_TRUE(test::PageOpenWindow(browser, browser->GetMainFrame(), L"CHROME-DEVTOOLS://devtools/page.html",
                                     WOD_NEW_POPUP, true));
    // Allowed: the engine made the pop-up.
    EXPECT_TRUE(JournalArgs("PopupCancelled", browser->GetIdentifier()).empty());
    EXPECT_TRUE(test::WaitFor([] { return test::Browsers().size() == 2; }));
    EXPECT_TRUE(test::RunOn(TID_UI, [&] { handler->ShowDevTools(browser, CefPoint(3, 4)); }));
    EXPECT_EQ(JournalArgs("ShowDevTools", browser->GetIdentifier()), std::vector<std::string>{"3 4"});
    // Registered with the manager on the main thread.
    EXPECT_TRUE(test::WaitFor([&] { return manager()->GetRootWindowCount() == 2; }));
    return FakeRootWindow::Calls();
  }
  RecordingHandlerDelegate delegate_;
};

TEST_F(HandlerPopupTest, AWindowedViewAsksForWindowedPopUps) {
  ASSERT_TRUE(Start());
  test::EnableJournal();
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    fake::NextOptions().create_browser = false;
    EXPECT_EQ(PopupsAskedFor(new client::ClientHandlerStd(&delegate_, "http://start.test/")),
              (std::vector<std::string>{"0:InitAsPopup(controls,std) off-main", "0:InitAsPopup(no controls,std) off-main"}));
  });
}

TEST_F(HandlerPopupTest, AnOffScreenViewAsksForOffScreenPopUps) {
  ASSERT_TRUE(Start());
  test::EnableJournal();
  RunInLoop([&] {
    fake::NextOptions().create_window = false;
    fake::NextOptions().create_browser = false;
    EXPECT_EQ(PopupsAskedFor(new client::ClientHandlerOsr(&delegate_, nullptr, "http://start.test/")),
              (std::vector<std::string>{"0:InitAsPopup(controls,osr) off-main", "0:InitAsPopup(no controls,osr) off-main"}));
  });
}

}  // namespace
}  // namespace core_test
