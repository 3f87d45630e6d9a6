// The root window's native window: where and how it is made inside the host's window, the
// browser it carries, bounds, show (normal, minimised, maximised) and hide, moves, focus and
// erasing before and after the browser exists, the work-area clamp of a moved window and the
// repair of a browser whose size drifted.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "browser/osr_window_win.h"
#include "browser/window_util.h"
#include "include/base/cef_bind.h"
#include "tests/browser/browser_test_doubles.h"
#include "tests/browser/root_window_fixture.h"
#include "tests/channel/log_capture.h"

namespace root_test {
namespace {

using browser_doubles::JournalArgs;
using host_test::Int;

DWORD Style(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }
DWORD ExStyle(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)); }
std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

TEST_F(RootWindowTest, TheViewIsAChildOfTheHostAtTheTabRectangleWithTheBrowserFillingIt) {
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    HWND hwnd = root->GetWindowHandle();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(GetAncestor(hwnd, GA_PARENT), host_window_.hwnd());
    EXPECT_EQ(Style(hwnd) & ~WS_VISIBLE, 0x46000000u);
    EXPECT_EQ(ExStyle(hwnd) & ~WS_EX_NOPARENTNOTIFY, 0u);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(PlaceInParent(hwnd), "10,20 300x200");
    EXPECT_EQ(ClassOf(hwnd), L"BriveloRootTest");
    EXPECT_EQ(GetClassLongW(hwnd, GCL_STYLE), static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW));
    wchar_t title[32] = {};
    GetWindowTextW(hwnd, title, 32);
    EXPECT_STREQ(title, L"Brivelo");

    // The browser is a child of the root window filling its client area.
    CefRefPtr<CefBrowser> browser = root->GetBrowser();
    test::BrowserState state = test::BrowserInfo(browser);
    EXPECT_EQ(state.parent_window, hwnd);
    ASSERT_TRUE(state.hwnd);
    EXPECT_EQ(GetAncestor(state.hwnd, GA_PARENT), hwnd);
    EXPECT_EQ(PlaceInParent(state.hwnd), "0,0 300x200");
    // The manager's shared request context, the start URL.
    EXPECT_TRUE(state.request_context);
    EXPECT_TRUE(test::WaitFor([&] { return test::BrowserInfo(browser).url == L"http://root.test/start.html"; }));
    EXPECT_EQ(manager()->GetRootWindowByWebViewId(kView), root);
    EXPECT_EQ(root->GetWebViewId(), kView);
    EXPECT_STREQ(root->GetViewText(), L"");
  });
}

TEST_F(RootWindowTest, WindowKindsFollowTransparencyParentAndSetParent) {
  struct Case {
    bool transparent;
    bool parent;
    bool set_parent;
    DWORD style;
    DWORD ex_style;
    bool child_of_host;  // GetAncestor(GA_PARENT) is the host
    int owned_by_host;   // GetWindow(GW_OWNER) is the host (-1: either; SetParent may keep the owner)
    DWORD class_style;
    const wchar_t* class_name;
  } cases[] = {
      {false, true, false, 0x46000000u, 0, true, 0, 0x3, L"KindChild"},
      {false, false, false, 0x86000000u, 0, false, 0, 0x3, L"KindPopup"},
      {true, true, false, 0x86000000u, 0x80080u, false, 1, 0x23, L"KindLayered"},
      {true, true, true, 0x86000000u, 0x80080u, true, -1, 0x23, L"KindLayeredChild"},
  };
  Run([&] {
    for (const Case& c : cases) {
      std::unique_ptr<StartupSettings> settings = Settings();
      settings->transparent_window = c.transparent;
      if (!c.parent) settings->parent_wnd = nullptr;
      settings->enable_setparent = c.set_parent;
      settings->class_name = c.class_name;
      settings->sc_init_hide = true;
      scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
      HWND hwnd = root->GetWindowHandle();
      ASSERT_TRUE(hwnd) << CefString(c.class_name).ToString();
      // An off-screen view's browser is windowless, painted into the root window.
      EXPECT_EQ(test::BrowserInfo(root->GetBrowser()).windowless, c.transparent);
      EXPECT_EQ(test::BrowserInfo(root->GetBrowser()).parent_window == hwnd, !c.transparent);
      EXPECT_EQ(Style(hwnd), c.style) << CefString(c.class_name).ToString();
      EXPECT_EQ(ExStyle(hwnd) & ~WS_EX_NOPARENTNOTIFY, c.ex_style) << CefString(c.class_name).ToString();
      EXPECT_EQ(GetAncestor(hwnd, GA_PARENT) == host_window_.hwnd(), c.child_of_host)
          << CefString(c.class_name).ToString();
      if (c.owned_by_host >= 0) {
        EXPECT_EQ(GetWindow(hwnd, GW_OWNER) == host_window_.hwnd(), c.owned_by_host == 1)
            << CefString(c.class_name).ToString();
      }
      EXPECT_EQ(GetClassLongW(hwnd, GCL_STYLE), c.class_style) << CefString(c.class_name).ToString();
      EXPECT_FALSE(IsWindowVisible(hwnd));
      // At the tab rectangle, in the parent's client area or on the screen.
      EXPECT_EQ(PlaceInParent(hwnd), "10,20 300x200") << CefString(c.class_name).ToString();
    }
    EXPECT_EQ(manager()->GetRootWindowCount(), 4);
  });
}

TEST_F(RootWindowTest, InitOnAnotherThreadMakesTheWindowOnTheMainThread) {
  Run([&] {
    scoped_refptr<client::RootWindow> root = client::RootWindow::Create();
    std::unique_ptr<StartupSettings> settings = Settings();
    std::thread worker([&] { root->Init(manager(), std::move(settings), CefBrowserSettings()); });
    worker.join();
    EXPECT_EQ(root->GetWindowHandle(), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return root->GetBrowser() != nullptr; }));
    EXPECT_EQ(GetWindowThreadProcessId(root->GetWindowHandle(), nullptr), GetCurrentThreadId());
    EXPECT_EQ(PlaceInParent(root->GetWindowHandle()), "10,20 300x200");
    // Not one of the manager's windows: closed here, its end reported all the same.
    root->Close(false);
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostWindowDestroyed, 1));
    EXPECT_EQ(root->GetWindowHandle(), nullptr);
  });
}

TEST_F(RootWindowTest, AnEmptyTabRectangleGivesADefaultPlaceAndStartHiddenStillMakesTheBrowser) {
  Run([&] {
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->tab_rect = CefRect();
    settings->sc_init_hide = true;
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
    HWND hwnd = root->GetWindowHandle();
    // A child window made at the default place has no size until the host sets bounds.
    EXPECT_EQ(PlaceInParent(hwnd), "0,0 0x0");
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(root->GetBrowser());

    // The host shows it and gives it bounds; the browser follows the client area.
    Dispatch(kView | client::MsgToBrowserShow, {Int(1)});
    EXPECT_TRUE(IsWindowVisible(hwnd));
    Dispatch(kView | client::MsgToBrowserSetBounds, {Int(5), Int(6), Int(120), Int(80)});
    EXPECT_EQ(PlaceInParent(hwnd), "5,6 120x80");
    HWND browser_hwnd = test::BrowserInfo(root->GetBrowser()).hwnd;
    EXPECT_TRUE(test::WaitFor([&] { return PlaceInParent(browser_hwnd) == "0,0 120x80"; }));
    Dispatch(kView | client::MsgToBrowserShow, {Int(0)});
    EXPECT_FALSE(IsWindowVisible(hwnd));

    // Minimized, the browser window shrinks away; restored, it fills the client area again.
    root->Show(client::RootWindow::ShowNormal);
    SendMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(PlaceInParent(browser_hwnd), "0,0 0x0");
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(120, 80));
    EXPECT_EQ(PlaceInParent(browser_hwnd), "0,0 120x80");
  });
}

// What WM_ERASEBKGND does to a device context painted in a colour of the test: the message's
// result, and whether the context then holds the views' background (white) instead.
struct Erased {
  LRESULT result;
  bool background;
};
Erased EraseInto(HWND hwnd) {
  const COLORREF kMarker = RGB(0x12, 0x34, 0x56);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 8);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap);
  RECT all = {0, 0, 8, 8};
  HBRUSH marker = CreateSolidBrush(kMarker);
  FillRect(dc, &all, marker);
  DeleteObject(marker);
  Erased erased;
  erased.result = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  const COLORREF pixel = GetPixel(dc, 4, 4);
  EXPECT_TRUE(pixel == kMarker || pixel == RGB(255, 255, 255)) << std::hex << pixel;
  erased.background = pixel == RGB(255, 255, 255);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return erased;
}

// Before its browser exists the view's window paints the views' background and its moves and
// focus reach nobody; once the browser is there, it paints everything itself, hears every move
// of the window (its pop-ups follow) and takes the focus the window gets.
TEST_F(RootWindowTest, MovesFocusAndErasingReachTheBrowserOnceItExists) {
  Run([&] {
    // CEF's UI thread, which makes the browser, waits until the window has been tried.
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(CefPostTask(TID_UI, base::Bind(&WaitForEvent, go)));
    scoped_refptr<client::RootWindow> root = CreateView(Settings());
    const HWND hwnd = root->GetWindowHandle();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_FALSE(root->GetBrowser());
    test::ClearJournal();
    Erased erased = EraseInto(hwnd);
    EXPECT_NE(erased.result, 0);
    EXPECT_TRUE(erased.background);
    Dispatch(kView | client::MsgToBrowserSetBounds, {Int(30), Int(40), Int(300), Int(200)});
    EXPECT_EQ(PlaceInParent(hwnd), "30,40 300x200");
    SetFocus(host_window_.hwnd());
    SetFocus(hwnd);
    EXPECT_EQ(GetFocus(), hwnd);
    SetEvent(go);
    CloseHandle(go);
    ASSERT_TRUE(test::WaitFor([&] { return root->GetBrowser() != nullptr; }));
    ASSERT_TRUE(host_->WaitFor(client::MsgToHostBrowserCreated, 1));
    const int id = root->GetBrowser()->GetIdentifier();
    EXPECT_TRUE(JournalArgs("NotifyMoveOrResizeStarted", id).empty());
    EXPECT_TRUE(JournalArgs("SetFocus", id).empty());

    test::ClearJournal();
    erased = EraseInto(hwnd);
    EXPECT_EQ(erased.result, 0);
    EXPECT_FALSE(erased.background);
    Dispatch(kView | client::MsgToBrowserSetBounds, {Int(50), Int(60), Int(300), Int(200)});
    EXPECT_EQ(JournalArgs("NotifyMoveOrResizeStarted", id).size(), 1u);
    SetWindowPos(hwnd, nullptr, 70, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(JournalArgs("NotifyMoveOrResizeStarted", id).size(), 2u);
    SetFocus(host_window_.hwnd());
    EXPECT_TRUE(JournalArgs("SetFocus", id).empty());
    SetFocus(hwnd);
    EXPECT_EQ(JournalArgs("SetFocus", id), std::vector<std::string>{"true"});
  });
}

// The view shown minimised, maximised and normal, and hidden; the browser follows the client
// area each time (none while minimised).
TEST_F(RootWindowTest, ShowMinimisedOrMaximisedAndHideChangeTheWindowAndTheBrowserFollows) {
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    const HWND hwnd = root->GetWindowHandle();
    const HWND browser_hwnd = test::BrowserInfo(root->GetBrowser()).hwnd;
    ASSERT_TRUE(browser_hwnd);
    auto fills_client = [&] {
      RECT client = {};
      GetClientRect(hwnd, &client);
      return test::WaitFor([&] { return PlaceInParent(browser_hwnd) == RectText(client); });
    };

    root->Show(client::RootWindow::ShowMinimized);
    EXPECT_TRUE(IsIconic(hwnd));
    EXPECT_FALSE(IsZoomed(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(test::WaitFor([&] { return PlaceInParent(browser_hwnd) == "0,0 0x0"; }));

    root->Show(client::RootWindow::ShowMaximized);
    EXPECT_TRUE(IsZoomed(hwnd));
    EXPECT_FALSE(IsIconic(hwnd));
    RECT host_client = {};
    GetClientRect(host_window_.hwnd(), &host_client);
    RECT placed = RectInParent(hwnd);
    EXPECT_TRUE(placed.left <= 0 && placed.top <= 0 && placed.right >= host_client.right &&
                placed.bottom >= host_client.bottom)
        << PlaceInParent(hwnd) << " in " << RectText(host_client);
    EXPECT_TRUE(fills_client()) << PlaceInParent(browser_hwnd);

    root->Hide();
    EXPECT_FALSE(IsWindowVisible(hwnd));

    root->Show(client::RootWindow::ShowNormal);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_FALSE(IsZoomed(hwnd) || IsIconic(hwnd));
    EXPECT_EQ(PlaceInParent(hwnd), "10,20 300x200");
    EXPECT_TRUE(test::WaitFor([&] { return PlaceInParent(browser_hwnd) == "0,0 300x200"; }));
  });
}

TEST_F(RootWindowTest, AClassRegisteredBeforeIsUsedAsItIs) {
  Run([&] {
    std::unique_ptr<StartupSettings> first = Settings();
    first->class_name = L"BriveloSharedClass";
    scoped_refptr<client::RootWindow> a = CreateViewAndWait(std::move(first));
    // The second view would register its class with CS_OWNDC.
    std::unique_ptr<StartupSettings> second = Settings(kOtherView);
    second->class_name = L"BriveloSharedClass";
    second->transparent_window = true;
    scoped_refptr<client::RootWindow> b = CreateViewAndWait(std::move(second));
    ASSERT_TRUE(a->GetWindowHandle() && b->GetWindowHandle());
    EXPECT_EQ(ClassOf(b->GetWindowHandle()), L"BriveloSharedClass");
    EXPECT_EQ(GetClassLongW(b->GetWindowHandle(), GCL_STYLE), static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_TRUE(GetClassLongPtrW(b->GetWindowHandle(), GCLP_HBRBACKGROUND));
  });
}

TEST_F(RootWindowTest, AWindowThatCannotBeMadeFailsTheCheckWithTheErrorNumber) {
  std::string fatal;
  Run([&] {
    test::SetFatalHandler([&](const std::string& message) {
      fatal = message;
      throw std::runtime_error(message);
    });
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->class_name = L"";  // no class can have this name
    EXPECT_THROW(CreateView(std::move(settings)), std::runtime_error);
    strict_.CollectFatals();  // later failed checks are reported, not fatal
  });
  // The error Windows gave for the creation, in decimal (1411: no such class).
  EXPECT_TRUE(std::regex_search(fatal, std::regex("Check failed: hwnd_\\. 14[0-9][0-9]"))) << fatal;
}

TEST_F(RootWindowTest, WorkAreaClampOfAMovedWindow) {
  Run([&] {
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->parent_wnd = nullptr;
    settings->sc_init_hide = true;
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
    HWND hwnd = root->GetWindowHandle();
    auto moving = [&](RECT rect) {
      LRESULT result = SendMessageW(hwnd, WM_MOVING, WMSZ_LEFT, reinterpret_cast<LPARAM>(&rect));
      EXPECT_EQ(result, 1);
      return std::to_string(rect.left) + "," + std::to_string(rect.top) + "-" + std::to_string(rect.right) + "," +
             std::to_string(rect.bottom);
    };

    // No work area: unchanged.
    EXPECT_EQ(moving(RECT{700, -50, 1000, 150}), "700,-50-1000,150");

    Dispatch(kView | client::MsgToBrowserSetWorkArea, {Int(0), Int(0), Int(800), Int(600)});
    EXPECT_EQ(moving(RECT{700, -50, 1000, 150}), "500,0-800,200");
    EXPECT_EQ(moving(RECT{-10, 590, 290, 790}), "0,400-300,600");
    EXPECT_EQ(moving(RECT{0, 0, 800, 600}), "0,0-800,600");  // exact edges
    EXPECT_EQ(moving(RECT{100, 50, 400, 250}), "100,50-400,250");
    // Taller than the area: the area grows to the window, which sticks to the top.
    EXPECT_EQ(moving(RECT{100, 100, 400, 800}), "100,0-400,700");
    EXPECT_EQ(moving(RECT{100, 300, 400, 400}), "100,300-400,400");  // the grown area holds
    EXPECT_EQ(moving(RECT{100, 650, 400, 750}), "100,600-400,700");
    // Wider than the area: it sticks to the left edge, and the area grows.
    EXPECT_EQ(moving(RECT{100, 0, 1100, 100}), "0,0-1000,100");
    EXPECT_EQ(moving(RECT{950, 0, 1050, 100}), "900,0-1000,100");

    // An area with an origin of its own.
    root->SetWorkArea(100, 50, 400, 300);
    EXPECT_EQ(moving(RECT{0, 0, 100, 100}), "100,50-200,150");
    EXPECT_EQ(moving(RECT{450, 300, 550, 400}), "400,250-500,350");
  });
}

TEST_F(RootWindowTest, BoundsArePassedUnscaledForAWindowedView) {
  Run([&] {
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->self_adaption_dpi = true;  // scales transparent views only
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
    root->SetDeviceScaleFactor(1.5f);  // a windowed browser keeps 1.0
    EXPECT_EQ(root->GetDeviceScaleFactor(), 1.0f);
    root->SetBounds(10, 10, 101, 50);
    EXPECT_EQ(PlaceInParent(root->GetWindowHandle()), "10,10 101x50");
  });
}

TEST_F(RootWindowTest, ATransparentViewScalesTheHostsBoundsWhenAskedTo) {
  LogCapture log;
  Run([&] {
    std::unique_ptr<StartupSettings> settings = Settings();
    settings->transparent_window = true;
    settings->self_adaption_dpi = true;
    scoped_refptr<client::RootWindow> scaled = CreateViewAndWait(std::move(settings));
    settings = Settings(kOtherView);
    settings->transparent_window = true;
    scoped_refptr<client::RootWindow> plain = CreateViewAndWait(std::move(settings));

    for (client::RootWindow* root : {scaled.get(), plain.get()}) {
      root->SetDeviceScaleFactor(1.5f);  // through the off-screen browser window
      EXPECT_EQ(root->GetDeviceScaleFactor(), 1.5f);
    }
    // The place each view is moved to (a layered view's size then follows its painted frames,
    // which the engine makes in its own time).
    auto moved_to = [&](scoped_refptr<client::RootWindow> root) {
      wchar_t text[64] = {};
      _snwprintf(text, 63, L"RootWindowWin::SetBounds, this=%p, rect=", static_cast<void*>(root.get()));
      const std::wstring all = log.Text();
      const size_t at = all.rfind(text);
      if (at == std::wstring::npos) return std::string();
      const size_t from = at + wcslen(text);
      return CefString(all.substr(from, all.find_first_of(L"\r\n", from) - from)).ToString();
    };
    // Screen coordinates of a layered pop-up; each value rounded up.
    scaled->SetBounds(10, 10, 101, 50);
    EXPECT_EQ(moved_to(scaled), "15,15,152x75");
    EXPECT_EQ(log.Count(L"ScaleValue: 1.500000"), 4u);
    plain->SetBounds(10, 10, 101, 50);
    EXPECT_EQ(moved_to(plain), "10,10,101x50");
    EXPECT_EQ(log.Count(L"ScaleValue: "), 4u);
    scaled->SetDeviceScaleFactor(1.0f);
    scaled->SetBounds(10, 10, 101, 50);
    EXPECT_EQ(moved_to(scaled), "10,10,101x50");
    EXPECT_EQ(log.Count(L"ScaleValue: 1.000000"), 4u);
  });
}

TEST_F(RootWindowTest, ABrowserWhoseSizeDriftedIsPutBackByTheTimer) {
  Run([&] {
    scoped_refptr<client::RootWindow> root = CreateViewAndWait(Settings());
    HWND hwnd = root->GetWindowHandle();
    HWND browser_hwnd = test::BrowserInfo(root->GetBrowser()).hwnd;
    ASSERT_EQ(PlaceInParent(browser_hwnd), "0,0 300x200");

    // Shrunk behind the root window's back: the next size check restores it.
    SetWindowPos(browser_hwnd, nullptr, 0, 0, 100, 50, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    EXPECT_TRUE(test::WaitFor([&] { return PlaceInParent(browser_hwnd) == "0,0 300x200"; }, 2000));

    // Without pumping, so that no timer message comes between: a foreign timer id is
    // ignored, the root window's own one (200 ms after the last check) repairs.
    SetWindowPos(browser_hwnd, nullptr, 0, 0, 100, 50, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    Sleep(250);
    SendMessageW(hwnd, WM_TIMER, 999, 0);
    EXPECT_EQ(PlaceInParent(browser_hwnd), "0,0 100x50");
    SendMessageW(hwnd, WM_TIMER, 301, 0);
    EXPECT_EQ(PlaceInParent(browser_hwnd), "0,0 300x200");
    // Checked just now: a second check within 200 ms does nothing.
    SetWindowPos(browser_hwnd, nullptr, 0, 0, 100, 50, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    SendMessageW(hwnd, WM_TIMER, 301, 0);
    EXPECT_EQ(PlaceInParent(browser_hwnd), "0,0 100x50");
  });
}

// The painting settings of the off-screen window inside a transparent view's root window, as
// "transparent,show_update_rect,background" ("" without an off-screen window). Engine UI thread.
std::string OsrSettingsOf(HWND root_hwnd) {
  HWND osr_hwnd = FindWindowExW(root_hwnd, nullptr, L"Client_OsrWindow", nullptr);
  client::OsrWindowWin* osr = osr_hwnd ? client::GetWindowUserData<client::OsrWindowWin*>(osr_hwnd) : nullptr;
  if (!osr) return std::string();
  const client::OsrRendererSettings& settings = osr->renderer().settings();
  char text[64] = {};
  snprintf(text, sizeof(text), "%d,%d,%08X", settings.transparent ? 1 : 0, settings.show_update_rect ? 1 : 0,
           static_cast<unsigned>(settings.background_color));
  return text;
}

// A transparent view paints transparent whatever the switches say; the update outline and the
// background come from the process's switches and the context.
class OsrSettingsTest : public RootWindowTest {
 protected:
  std::string SettingsOfATransparentView() {
    std::string seen;
    Run([&] {
      std::unique_ptr<StartupSettings> settings = Settings();
      settings->transparent_window = true;
      scoped_refptr<client::RootWindow> root = CreateViewAndWait(std::move(settings));
      HWND hwnd = root->GetWindowHandle();
      // The off-screen window is made there before the browser.
      EXPECT_TRUE(test::RunOn(TID_UI, [&] { seen = OsrSettingsOf(hwnd); }));
    });
    return seen;
  }
};

TEST_F(OsrSettingsTest, ATransparentViewPaintsTransparentWithoutTheSwitch) {
  MakeContext(L"");
  EXPECT_EQ(SettingsOfATransparentView(), "1,0,FFFFFFFF");
}

TEST_F(OsrSettingsTest, TheUpdateOutlineFollowsItsSwitch) {
  MakeContext(L"--show-update-rect");
  EXPECT_EQ(SettingsOfATransparentView(), "1,1,FFFFFFFF");
}

}  // namespace
}  // namespace root_test
