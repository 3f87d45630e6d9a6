// The off-screen window of a transparent view in a stand-in layered root window: what it paints
// into the root window (exact premultiplied pixels, row order, size, pop-ups, drag areas), the
// drag-area list it is sent, its geometry answers, its moves to the engine's UI thread, and its
// end.
#include "browser/osr_window_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/drag_area_list.h"
#include "browser/drag_area_message.h"
#include "browser/draw_drag_areas.h"
#include "render/process_messages.h"
#include "tests/browser/osr_test_support.h"
#include "tests/browser/rect_text.h"
#include "tests/channel/log_capture.h"
#include "tests/product/child_process.h"

using namespace osr_test;

namespace {

std::string Describe(const std::vector<RECT>& rects) {
  std::string text;
  for (const RECT& r : rects)
    text += (text.empty() ? "" : " ") + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
            std::to_string(r.right) + "," + std::to_string(r.bottom);
  return text;
}

// An off-screen window's drag areas, read on its thread.
std::string DragAreasOf(const scoped_refptr<client::OsrWindowWin>& osr) {
  std::string text;
  EXPECT_TRUE(test::RunOn(TID_UI, [&] { text = Describe(osr->drag_areas()); }));
  return text;
}

using OsrWindow = OsrViewTest;

TEST_F(OsrWindow, EachFrameGoesUprightAndPremultipliedIntoTheRootWindowWhichTakesItsSize) {
  Open(RECT{0, 0, 200, 100});
  // The windowless browser's window is the off-screen window, a visible child of the root window.
  ASSERT_TRUE(child_);
  EXPECT_EQ(test::BrowserInfo(browser_).parent_window, child_);
  EXPECT_TRUE(test::BrowserInfo(browser_).windowless);
  EXPECT_EQ(GetAncestor(child_, GA_PARENT), host_.hwnd());
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(child_, GWL_STYLE)) & ~WS_DISABLED,
            static_cast<DWORD>(WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE));
  wchar_t class_name[64] = {};
  GetClassNameW(child_, class_name, 64);
  EXPECT_STREQ(class_name, L"Client_OsrWindow");
  EXPECT_EQ(window_delegate_.Events(), std::vector<std::string>{"OnOsrNativeWindowCreated @main"});

  const test::PaintInfo paint = test::LastPaint(browser_);
  ASSERT_EQ(paint.width, 200);
  ASSERT_EQ(paint.height, 100);
  // The root window took the frame's size (it was 320 x 240).
  EXPECT_EQ(RectText(host_.WindowRect()), "480,40 200x100");

  OnUI([&] {
    const client::LayeredWindowPainter& painter = osr_->layered_painter();
    ASSERT_EQ(painter.width(), 200);
    ASSERT_EQ(painter.height(), 100);
    // Bottom-up rows: the frame's top row is the bitmap's last row in memory.
    const uint32_t* bits = static_cast<const uint32_t*>(painter.bits());
    EXPECT_EQ(bits[99 * 200 + 0], PlacePixel(0, 0, 200, 100));
    EXPECT_EQ(bits[0], PlacePixel(0, 99, 200, 100));
    for (int y : {0, 1, 50, 99})
      for (int x : {0, 7, 120, 199}) EXPECT_EQ(DibPixel(painter, x, y), PlacePixel(x, y, 200, 100)) << x << "," << y;
  });
}

TEST_F(OsrWindow, AFrameOfTheSameSizeReusesTheBitmapAndANewSizeReplacesItAndResizesTheRootWindow) {
  Open(RECT{0, 0, 200, 100});
  HBITMAP first = nullptr;
  OnUI([&] { first = osr_->layered_painter().bitmap(); });
  const int paints = test::LastPaint(browser_).paint_count;

  browser_->GetHost()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_).paint_count > paints; }));
  OnUI([&] { EXPECT_EQ(osr_->layered_painter().bitmap(), first); });

  osr_->SetBounds(0, 0, 150, 60);
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_).width == 150; }));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(Journal("WasResized", browser_).size(), 1u);
  OnUI([&] {
    const client::LayeredWindowPainter& painter = osr_->layered_painter();
    EXPECT_EQ(painter.width(), 150);
    EXPECT_EQ(painter.height(), 60);
    EXPECT_EQ(DibPixel(painter, 149, 59), PlacePixel(149, 59, 150, 60));
  });
  EXPECT_TRUE(test::WaitFor([&] { return RectText(host_.WindowRect()) == "480,40 150x60"; }))
      << RectText(host_.WindowRect());
}

TEST_F(OsrWindow, APopUpWidgetIsComposedIntoThePageAtItsFittedPlaceAndGoesWithItsHiding) {
  Open(RECT{0, 0, 200, 100});
  // A list running past the right edge is moved left to end there.
  ASSERT_TRUE(test::PageShowPopupWidget(browser_, CefRect(170, 20, 50, 30)));
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_, PET_POPUP).painted; }));
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_EQ(RectText(host_.WindowRect()), "480,40 200x100");  // never the pop-up's size

  OnUI([&] {
    EXPECT_EQ(osr_->renderer().popup_rect(), CefRect(150, 20, 50, 30));
    EXPECT_EQ(osr_->renderer().original_popup_rect(), CefRect(170, 20, 50, 30));
    const client::LayeredWindowPainter& painter = osr_->layered_painter();
    ASSERT_EQ(painter.width(), 200);
    // Inside the fitted rectangle the pop-up's own pixels, around it the page's.
    EXPECT_EQ(DibPixel(painter, 150, 20), PlacePixel(0, 0, 50, 30));
    EXPECT_EQ(DibPixel(painter, 199, 49), PlacePixel(49, 29, 50, 30));
    EXPECT_EQ(DibPixel(painter, 149, 20), PlacePixel(149, 20, 200, 100));
    EXPECT_EQ(DibPixel(painter, 150, 50), PlacePixel(150, 50, 200, 100));
    EXPECT_EQ(DibPixel(painter, 0, 0), PlacePixel(0, 0, 200, 100));
  });

  // A new page frame keeps the open pop-up on top.
  const int paints = test::LastPaint(browser_).paint_count;
  browser_->GetHost()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_).paint_count > paints; }));
  OnUI([&] { EXPECT_EQ(DibPixel(osr_->layered_painter(), 160, 30), PlacePixel(10, 10, 50, 30)); });

  test::ClearJournal();
  ASSERT_TRUE(test::PageHidePopupWidget(browser_));
  ASSERT_TRUE(test::Flush(TID_UI));
  OnUI([&] {
    EXPECT_TRUE(osr_->renderer().popup_rect().IsEmpty());
    EXPECT_EQ(DibPixel(osr_->layered_painter(), 160, 30), PlacePixel(160, 30, 200, 100));
  });
  // The view asked for a page frame without the pop-up.
  EXPECT_EQ(Journal("Invalidate", browser_), std::vector<std::string>{std::to_string(PET_VIEW)});
}

TEST_F(OsrWindow, DragAreasShowAsBlackOutlinesWhileTheFlagIsOn) {
  Open(RECT{0, 0, 200, 100});
  RelayDragAreas(child_, L"{10,10,50,40}+{60,5,70,15}");
  ASSERT_FALSE(client::IsDrawDragAreasEnabled());
  ASSERT_TRUE(client::ToggleDrawDragAreas());
  int paints = test::LastPaint(browser_).paint_count;
  browser_->GetHost()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_).paint_count > paints; }));
  OnUI([&] {
    const client::LayeredWindowPainter& painter = osr_->layered_painter();
    // GDI writes the outline with alpha 0: black, and see-through on the layered window.
    for (POINT p : {POINT{10, 10}, POINT{49, 10}, POINT{10, 39}, POINT{49, 39}, POINT{30, 10}, POINT{60, 5},
                    POINT{69, 14}})
      EXPECT_EQ(DibPixel(painter, p.x, p.y), 0u) << p.x << "," << p.y;
    EXPECT_EQ(DibPixel(painter, 30, 25), PlacePixel(30, 25, 200, 100));  // inside: untouched
    EXPECT_EQ(DibPixel(painter, 50, 10), PlacePixel(50, 10, 200, 100));  // right edge exclusive
  });

  EXPECT_FALSE(client::ToggleDrawDragAreas());
  paints = test::LastPaint(browser_).paint_count;
  browser_->GetHost()->Invalidate(PET_VIEW);
  ASSERT_TRUE(test::WaitFor([&] { return test::LastPaint(browser_).paint_count > paints; }));
  OnUI([&] { EXPECT_EQ(DibPixel(osr_->layered_painter(), 10, 10), PlacePixel(10, 10, 200, 100)); });
}

// A list of count pieces "{i,0,i+1,1}" joined by "+".
std::wstring ListOf(size_t count) {
  std::wstring text;
  for (size_t i = 0; i < count; ++i)
    text += (i ? L"+{" : L"{") + std::to_wstring(i) + L",0," + std::to_wstring(i + 1) + L",1}";
  return text;
}

TEST(DragAreaList, PiecesJoinedByPlusEachARectangleOrNothingAtAll) {
  using Result = client::DragAreaListResult;
  struct Case {
    const wchar_t* text;
    Result result;
    const char* areas;
  };
  const Case cases[] = {
      {L"{1,2,3,4}+{5,6,7,8}", Result::kOk, "1,2,3,4 5,6,7,8"},
      {L" \t{1,2,3,4}\r\n+\n{ 5, 6, 7,8}  ", Result::kOk, "1,2,3,4 5,6,7,8"},
      {L"{1,2 ,3,4}", Result::kMalformed, ""},  // blanks before a comma do not read
      {L"{-5,-6,30,40}", Result::kOk, "-5,-6,30,40"},
      {L"{1,2,3,4}++{5,6,7,8}+", Result::kOk, "1,2,3,4 5,6,7,8"},  // empty pieces are skipped
      {L"{1,2,3,4}+[5,6,7,8]", Result::kMalformed, ""},
      {L"{1,2,3,4}+{5,6,7}", Result::kMalformed, ""},
      {L"{1,2,3,4}+   ", Result::kMalformed, ""},  // a blank piece is malformed
      {L"", Result::kOk, ""},
  };
  for (const Case& c : cases) {
    std::vector<RECT> areas = {RECT{9, 9, 9, 9}};
    EXPECT_EQ(client::ParseDragAreaList(c.text, &areas), c.result) << c.text;
    EXPECT_EQ(Describe(areas), c.areas) << c.text;
  }
  std::vector<RECT> areas = {RECT{9, 9, 9, 9}};
  EXPECT_EQ(client::ParseDragAreaList(nullptr, &areas), Result::kOk);
  EXPECT_TRUE(areas.empty());
}

TEST(DragAreaList, AListOverItsCountOrLengthIsRefusedWhole) {
  using Result = client::DragAreaListResult;
  std::vector<RECT> areas;
  EXPECT_EQ(client::ParseDragAreaList(ListOf(client::kMaxDragAreaCount).c_str(), &areas), Result::kOk);
  ASSERT_EQ(areas.size(), client::kMaxDragAreaCount);
  EXPECT_EQ(Describe({areas.back()}), "1023,0,1024,1");
  EXPECT_EQ(client::ParseDragAreaList(ListOf(client::kMaxDragAreaCount + 1).c_str(), &areas), Result::kTooMany);
  EXPECT_TRUE(areas.empty());
  // Empty pieces are no areas and do not count.
  EXPECT_EQ(client::ParseDragAreaList((ListOf(client::kMaxDragAreaCount) + L"++").c_str(), &areas), Result::kOk);

  // Blanks count towards the length like anything else.
  std::wstring longest = L"{1,2,3,4}";
  longest.resize(client::kMaxDragAreaTextLength, L' ');
  EXPECT_EQ(client::ParseDragAreaList(longest.c_str(), &areas), Result::kOk);
  EXPECT_EQ(Describe(areas), "1,2,3,4");
  EXPECT_EQ(client::ParseDragAreaList((longest + L" ").c_str(), &areas), Result::kTooLong);
  EXPECT_TRUE(areas.empty());
}

TEST_F(OsrWindow, TheDragAreaListCountsFromTheWindowsOwnThreadAndFromAnyOtherOnlyItsClearing) {
  Open();
  // As the client handler relays it, on the window's thread: the text dies right after the send.
  {
    std::wstring text = L"{1,2,3,4}+{5,6,7,8}";
    RelayDragAreas(child_, text.c_str());
    text.assign(text.size(), L'x');
  }
  EXPECT_EQ(DragAreasOf(osr_), "1,2,3,4 5,6,7,8");

  // From another thread a text is not taken; the list stays.
  const std::wstring elsewhere = L"{9,9,10,10}";
  SendMessageW(child_, client::DragAreaListWindowMessage(), PID_RENDERER, reinterpret_cast<LPARAM>(elsewhere.c_str()));
  EXPECT_EQ(DragAreasOf(osr_), "1,2,3,4 5,6,7,8");

  // Longer than the readability check still counts whole.
  RelayDragAreas(child_, ListOf(30).c_str());
  OnUI([&] { EXPECT_EQ(osr_->drag_areas().size(), 30u); });
  ASSERT_GT(ListOf(30).size(), 260u);

  RelayDragAreas(child_, L"{1,2,3,4}+oops");
  EXPECT_EQ(DragAreasOf(osr_), "");
  RelayDragAreas(child_, L"{1,2,3,4}");
  EXPECT_EQ(DragAreasOf(osr_), "1,2,3,4");
  OnUI([&] {
    EXPECT_EQ(osr_->HitTest(1, 2), HTCAPTION);
    EXPECT_EQ(osr_->HitTest(3, 2), HTCLIENT);  // right edge exclusive
  });
  // An unreadable text clears it.
  RelayDragAreas(child_, reinterpret_cast<const wchar_t*>(0x10));
  EXPECT_EQ(DragAreasOf(osr_), "");

  // A load clears the list from the main thread this way.
  RelayDragAreas(child_, L"{1,2,3,4}");
  SendMessageW(child_, client::DragAreaListWindowMessage(), 0, 0);
  EXPECT_EQ(DragAreasOf(osr_), "");
  OnUI([&] { EXPECT_EQ(osr_->HitTest(1, 2), HTCLIENT); });
}

TEST_F(OsrWindow, APagesListRelayedFromItsRendererReachesTheOffScreenWindow) {
  Open();
  CefRefPtr<CefListValue> args = CefListValue::Create();
  args->SetString(0, "{1,2,3,4}+{5,6,7,8}");
  ASSERT_TRUE(engine_.harness().Inject(browser_, client::process_message::kDragAreaList, args));
  EXPECT_TRUE(test::WaitFor([&] { return !DragAreasOf(osr_).empty(); }));
  EXPECT_EQ(DragAreasOf(osr_), "1,2,3,4 5,6,7,8");
}

TEST_F(OsrWindow, AnotherProcessCanOnlyClearTheDragAreas) {
  Open();
  auto hex = [](ULONG_PTR value) {
    wchar_t text[32];
    swprintf(text, 32, L"%llx", static_cast<unsigned long long>(value));
    return std::wstring(text);
  };
  // Readable in this process at the address the other one names.
  static const wchar_t kHere[] = L"{5,6,7,8}";
  struct Case {
    LPARAM lparam;
    bool posted;
    const char* areas;
  };
  const Case cases[] = {
      {0x10, false, "1,2,3,4"},                            // unreadable
      {reinterpret_cast<LPARAM>(kHere), false, "1,2,3,4"},  // readable, still not taken
      // Posted, the message reaches the window procedure as if it came from its own thread.
      {0x10, true, "1,2,3,4"},
      {reinterpret_cast<LPARAM>(kHere), true, "1,2,3,4"},
      {0, true, ""},   // the clearing form counts
      {0, false, ""},  // the clearing form counts
  };
  const UINT message = client::DragAreaListWindowMessage();
  for (const Case& c : cases) {
    RelayDragAreas(child_, L"{1,2,3,4}");
    EXPECT_EQ(RunChildForExitCode(L"drag_area_sender.exe " + hex(reinterpret_cast<ULONG_PTR>(child_)) + L" " +
                                  hex(static_cast<ULONG_PTR>(c.lparam)) + (c.posted ? L" post" : L"")),
              0u);
    // A posted message waits in the UI thread's queue: dispatched here at the latest.
    OnUI([&] {
      MSG msg;
      while (PeekMessageW(&msg, child_, message, message, PM_REMOVE)) DispatchMessageW(&msg);
    });
    EXPECT_EQ(DragAreasOf(osr_), c.areas) << c.lparam << (c.posted ? " posted" : " sent");
  }
  // The view lives on and takes its page's list as before.
  RelayDragAreas(child_, L"{1,1,2,2}");
  EXPECT_EQ(DragAreasOf(osr_), "1,1,2,2");
}

TEST_F(OsrWindow, AListOverItsBoundsIsRefusedWithAnErrorAndALaterOrdinaryListStillCounts) {
  LogCapture log;
  Open();
  auto area_count = [&] {
    size_t count = 0;
    OnUI([&] { count = osr_->drag_areas().size(); });
    return count;
  };
  RelayDragAreas(child_, L"{1,2,3,4}");
  RelayDragAreas(child_, ListOf(client::kMaxDragAreaCount + 1).c_str());
  EXPECT_EQ(area_count(), 0u);
  EXPECT_EQ(log.Count(L"[ERRO] OsrWindowWin::OnDragAreaList : drag-area list of more than 1024 areas refused"), 1u);

  RelayDragAreas(child_, L"{1,2,3,4}");
  std::wstring too_long = L"{1,2,3,4}";
  too_long.resize(client::kMaxDragAreaTextLength + 1, L' ');
  RelayDragAreas(child_, too_long.c_str());
  EXPECT_EQ(area_count(), 0u);
  EXPECT_EQ(log.Count(L"[ERRO] OsrWindowWin::OnDragAreaList : drag-area text longer than 32768 units refused"), 1u);

  RelayDragAreas(child_, L"{1,2,3,4}+{5,6,7,8}");
  EXPECT_EQ(area_count(), 2u);
  RelayDragAreas(child_, ListOf(client::kMaxDragAreaCount).c_str());
  EXPECT_EQ(area_count(), client::kMaxDragAreaCount);
  EXPECT_EQ(log.Count(L"[ERRO]"), 2u);
}

TEST_F(OsrWindow, CallsFromTheMainThreadTakeEffectOnTheUIThreadAndEachChangeOfVisibilityIsToldOnce) {
  Open();
  test::ClearJournal();
  {
    // While the UI thread is held, a call from the main thread waits for it.
    UiThreadHold hold;
    osr_->Hide();
    osr_->Hide();
    EXPECT_TRUE(Journal("SendFocusEvent", browser_).empty());
  }
  EXPECT_EQ(Journal("WasHidden", browser_), std::vector<std::string>{"true"});
  EXPECT_EQ(Journal("SendFocusEvent", browser_), (std::vector<std::string>{"false", "false"}));

  // On the UI thread at once.
  test::ClearJournal();
  OnUI([&] {
    osr_->Show();
    EXPECT_EQ(Journal("WasHidden", browser_), std::vector<std::string>{"false"});
    osr_->Show();
  });
  EXPECT_EQ(Journal("WasHidden", browser_), std::vector<std::string>{"false"});
  EXPECT_EQ(Journal("SendFocusEvent", browser_), (std::vector<std::string>{"true", "true"}));
  // Shown again, the view painted again.
  EXPECT_EQ(Journal("OnPaint", browser_).size(), 1u);
}

TEST_F(OsrWindow, GeometryIsAnsweredInLogicalPixelsFromTheWindowsDevicePixels) {
  Open(RECT{10, 20, 210, 120});
  OnUI([&] {
    CefRect rect;
    EXPECT_TRUE(osr_->GetViewRect(browser_, rect));
    EXPECT_EQ(rect, CefRect(0, 0, 200, 100));
    EXPECT_FALSE(osr_->GetRootScreenRect(browser_, rect));

    test::ClearJournal();
    osr_->SetDeviceScaleFactor(osr_->device_scale_factor());  // the same: nothing
    EXPECT_TRUE(test::Journal().empty());
    osr_->SetDeviceScaleFactor(1.5f);
    EXPECT_TRUE(test::ExpectOrder({"NotifyScreenInfoChanged", "WasResized"}));

    EXPECT_TRUE(osr_->GetViewRect(browser_, rect));
    EXPECT_EQ(rect, CefRect(0, 0, 134, 67));  // 133.3 and 66.7 rounded up

    CefScreenInfo info;
    info.depth = 24;
    EXPECT_TRUE(osr_->GetScreenInfo(browser_, info));
    EXPECT_EQ(info.device_scale_factor, 1.5f);
    EXPECT_EQ(CefRect(info.rect), CefRect(0, 0, 134, 67));
    EXPECT_EQ(CefRect(info.available_rect), CefRect(0, 0, 134, 67));
    EXPECT_EQ(info.depth, 24);  // left as given

    POINT origin = {0, 0};
    ClientToScreen(child_, &origin);
    int sx = 0, sy = 0;
    EXPECT_TRUE(osr_->GetScreenPoint(browser_, 10, 3, sx, sy));
    EXPECT_EQ(sx, origin.x + 15);
    EXPECT_EQ(sy, origin.y + 5);  // 4.5 rounded up
  });
  // The engine painted at the new factor: ceil(134 * 1.5) x ceil(67 * 1.5).
  EXPECT_EQ(test::LastPaint(browser_).width, 201);
  EXPECT_EQ(test::LastPaint(browser_).height, 101);

  // Without its window the view knows no screen.
  scoped_refptr<client::OsrWindowWin> bare = new client::OsrWindowWin(nullptr, client::OsrRendererSettings());
  OnUI([&] {
    CefScreenInfo info;
    int sx = 0, sy = 0;
    EXPECT_FALSE(bare->GetScreenInfo(browser_, info));
    EXPECT_FALSE(bare->GetScreenPoint(browser_, 1, 1, sx, sy));
    CefRect rect(1, 1, 1, 1);
    EXPECT_TRUE(bare->GetViewRect(browser_, rect));
    EXPECT_EQ(rect, CefRect(0, 0, 0, 0));
  });
}

// Records the thread its last reference went on.
class TrackedOsrWindow : public client::OsrWindowWin {
 public:
  TrackedOsrWindow(Delegate* delegate, std::string* destroyed_on)
      : client::OsrWindowWin(delegate, client::OsrRendererSettings()), destroyed_on_(destroyed_on) {}

 protected:
  ~TrackedOsrWindow() override { *destroyed_on_ = ThreadTag(); }

 private:
  std::string* destroyed_on_;
};

TEST_F(OsrWindow, AtTheEndTheHandlerLetsGoTheWindowGoesAndTheObjectDiesOnTheUIThread) {
  std::string destroyed_on;
  osr_ = new TrackedOsrWindow(&window_delegate_, &destroyed_on);
  handler_ = new client::ClientHandlerOsr(&handler_delegate_, osr_.get(), kUrl);
  osr_->CreateBrowser(host_.hwnd(), RECT{0, 0, 100, 50}, handler_.get(), CefBrowserSettings(), nullptr, kUrl);
  ASSERT_TRUE(handler_delegate_.WaitFor("OnBrowserCreated"));
  ASSERT_TRUE(window_delegate_.WaitFor("OnOsrNativeWindowCreated"));
  browser_ = test::Browsers().back();
  HWND child = window_delegate_.hwnd();
  ASSERT_TRUE(IsWindow(child));

  browser_->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(handler_delegate_.WaitFor("OnBrowserClosed"));
  CefRefPtr<CefBrowser> closed = browser_;
  browser_ = nullptr;
  ASSERT_TRUE(test::Flush(TID_UI));
  EXPECT_FALSE(IsWindow(child));
  OnUI([&] {
    EXPECT_EQ(osr_->hwnd(), nullptr);
    // The handler no longer asks the window.
    CefRect rect;
    EXPECT_FALSE(handler_->GetViewRect(closed, rect));
  });

  // The last reference goes on the main thread; the object dies on the UI thread.
  osr_ = nullptr;
  ASSERT_TRUE(test::WaitFor([&] { return !destroyed_on.empty(); }));
  EXPECT_EQ(destroyed_on, "UI");
}

TEST_F(OsrWindow, ADetachedDelegateHearsNothingOfTheNativeWindow) {
  osr_ = new client::OsrWindowWin(&window_delegate_, client::OsrRendererSettings());
  handler_ = new client::ClientHandlerOsr(&handler_delegate_, osr_.get(), kUrl);
  osr_->DetachDelegate();
  osr_->CreateBrowser(host_.hwnd(), RECT{0, 0, 100, 50}, handler_.get(), CefBrowserSettings(), nullptr, kUrl);
  ASSERT_TRUE(handler_delegate_.WaitFor("OnBrowserCreated"));
  browser_ = test::Browsers().back();
  engine_.loop().Drain();
  EXPECT_TRUE(window_delegate_.Events().empty());
  OnUI([&] { EXPECT_TRUE(IsWindow(osr_->hwnd())); });
}

TEST(LayeredWindowPainter, RefusesWhatItCannotPaint) {
  LayeredHost host;
  client::LayeredWindowPainter painter;
  const uint32_t pixels[4] = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0x80808080u};
  EXPECT_EQ(painter.Paint(pixels, 2, 2, nullptr), E_INVALIDARG);  // no target
  painter.SetTargetWindow(host.hwnd());
  EXPECT_EQ(painter.Paint(nullptr, 2, 2, nullptr), E_INVALIDARG);
  EXPECT_EQ(painter.Paint(pixels, 0, 2, nullptr), E_INVALIDARG);
  EXPECT_EQ(painter.Paint(pixels, 2, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(painter.bits(), nullptr);
  EXPECT_EQ(painter.Paint(pixels, 2, 2, nullptr), S_OK);
  EXPECT_EQ(DibPixel(painter, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(DibPixel(painter, 1, 1), 0x80808080u);
  RECT rect = host.WindowRect();
  EXPECT_EQ(rect.right - rect.left, 2);
  // A window that is not layered refuses the image.
  browser_test::HostWindow plain;
  client::LayeredWindowPainter refused;
  refused.SetTargetWindow(plain.hwnd());
  EXPECT_EQ(refused.Paint(pixels, 2, 2, nullptr), E_FAIL);
}

TEST(LayeredWindowPainter, APopUpIsCopiedIntoTheFrameClippedToIt) {
  std::vector<uint32_t> frame(6 * 4, 1u);
  const std::vector<uint32_t> popup = {10, 11, 12, 13, 14, 15};  // 3 x 2
  client::CopyPopupIntoFrame(frame.data(), 6, 4, popup.data(), 3, 2, CefRect(4, 3, 3, 2));
  std::vector<uint32_t> expected(6 * 4, 1u);
  expected[3 * 6 + 4] = 10;
  expected[3 * 6 + 5] = 11;
  EXPECT_EQ(frame, expected);

  frame.assign(6 * 4, 1u);
  client::CopyPopupIntoFrame(frame.data(), 6, 4, popup.data(), 3, 2, CefRect(-1, -1, 3, 2));
  expected.assign(6 * 4, 1u);
  expected[0] = 14;
  expected[1] = 15;
  EXPECT_EQ(frame, expected);

  frame.assign(6 * 4, 1u);
  client::CopyPopupIntoFrame(frame.data(), 6, 4, popup.data(), 3, 2, CefRect(6, 0, 3, 2));  // outside
  EXPECT_EQ(frame, std::vector<uint32_t>(6 * 4, 1u));
}

}  // namespace

namespace {

// An opaque window of one colour, behind the view.
class Backdrop {
 public:
  Backdrop(int x, int y, int width, int height, COLORREF colour) : brush_(CreateSolidBrush(colour)) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = brush_;
    wc.lpszClassName = L"OsrTestBackdrop";
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, x, y, width,
                            height, nullptr, nullptr, wc.hInstance, nullptr);
    UpdateWindow(hwnd_);
  }
  ~Backdrop() {
    DestroyWindow(hwnd_);
    DeleteObject(brush_);
  }

 private:
  HBRUSH brush_;
  HWND hwnd_ = nullptr;
};

// The screen's pixel as 0x00RRGGBB.
uint32_t ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return (static_cast<uint32_t>(GetRValue(colour)) << 16) | (static_cast<uint32_t>(GetGValue(colour)) << 8) |
         GetBValue(colour);
}

uint32_t HalfOpaqueHalfClear(int x, int y, int width, int height) {
  return x < width / 2 ? 0xFF0000FFu : 0x00000000u;
}

TEST_F(OsrWindow, OnTheScreenOpaquePixelsShowThePageAndClearOnesWhatLiesBehind) {
  const int left = 860, top = 600;
  Backdrop backdrop(left, top, 200, 100, RGB(255, 0, 0));
  host_.MoveTo(left, top);
  SetWindowPos(host_.hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  test::SetPaintPattern(&HalfOpaqueHalfClear);
  Open(RECT{0, 0, 200, 100});
  // The screen shows it once the display server has composed it.
  EXPECT_TRUE(test::WaitFor([&] { return ScreenPixel(left + 20, top + 50) == 0x0000FFu; })) << std::hex
                                                                                            << ScreenPixel(left + 20, top + 50);
  EXPECT_TRUE(test::WaitFor([&] { return ScreenPixel(left + 180, top + 50) == 0xFF0000u; })) << std::hex
                                                                                             << ScreenPixel(left + 180, top + 50);
  EXPECT_EQ(ScreenPixel(left + 99, top + 99), 0x0000FFu);
}

}  // namespace
