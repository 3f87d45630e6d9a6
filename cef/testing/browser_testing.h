// Test control of browsers: a harness that runs the engine with the renderer played by the test, state queries and
// the page actions of navigation, popups, closing and titles. Product code never includes this header.
//
// Every function may be called from the test's main thread; waits pump that thread's messages. Page actions run on
// the UI thread through the same paths a page would take and return once the engine handled them (false when the
// browser is unknown or closed, or the engine does not run).
#ifndef CEF_TESTING_BROWSER_TESTING_H_
#define CEF_TESTING_BROWSER_TESTING_H_

#include <windows.h>

#include <string>
#include <vector>

#include "engine/channel_frame.h"
#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_values.h"

namespace cefengine {
namespace test {

using cefengine::ChannelFrame;

// CefInitialize with the renderer played by the test (renderer links record what the browser sends; the test
// injects what a renderer would send). The destructor calls CefShutdown (browsers still open hear OnBeforeClose).
class BrowserHarness {
 public:
  // `settings` null: multi-threaded message loop, windowless rendering allowed, engine log off.
  explicit BrowserHarness(CefRefPtr<CefApp> app = nullptr, const CefSettings* settings = nullptr);
  ~BrowserHarness();
  BrowserHarness(const BrowserHarness&) = delete;
  BrowserHarness& operator=(const BrowserHarness&) = delete;

  // CefInitialize succeeded.
  bool ok() const { return ok_; }
  // CefShutdown now (the destructor then does nothing more than reset the test controls).
  void Shutdown();

  // Navigations wait for FrameReady(browser, frame) after each commit while set (as with a real renderer).
  void AwaitFrameReady(bool await);

  // What a renderer sends. Each waits (bounded) until the browser's renderer link exists, then hands the frame over
  // on the calling thread; the browser handles it on UI later. False when the browser has no open link.
  bool Inject(CefRefPtr<CefBrowser> browser, const std::string& name, CefRefPtr<CefListValue> args);
  bool InjectFrame(const ChannelFrame& frame);
  bool Hello(CefRefPtr<CefBrowser> browser, int process_id, const std::wstring& command_line);
  bool FrameReady(CefRefPtr<CefBrowser> browser, int64 frame_id);
  // A page action frame: `kind` and its argument list as the renderer would send them.
  bool PageAction(CefRefPtr<CefBrowser> browser, int64 frame_id, const std::wstring& kind,
                  std::vector<ValueData> args);
  // The renderer dies with `status`.
  bool Crash(CefRefPtr<CefBrowser> browser, cef_termination_status_t status);

  // Frames the browser sent to its renderer since the last call.
  std::vector<ChannelFrame> TakeSentToRenderer(CefRefPtr<CefBrowser> browser);

 private:
  bool ok_ = false;
};

// --- State ---

// Open browsers (not yet through OnBeforeClose), in creation order.
std::vector<CefRefPtr<CefBrowser>> Browsers();

struct BrowserState {
  bool known = false;  // false: not a browser of this engine
  int id = 0;
  std::wstring url;
  std::wstring title;
  bool loading = false;
  bool has_document = false;
  std::vector<std::wstring> history;
  int history_index = -1;
  HWND hwnd = nullptr;           // own window (windowed), null otherwise and after close
  HWND parent_window = nullptr;  // as given at creation
  bool windowless = false;
  bool hidden = false;
  int focus_state = 0;  // FocusState
  bool is_popup = false;
  bool is_devtools = false;
  int opener_id = 0;
  int devtools_id = 0;  // its open DevTools browser, 0 when none
  bool closing = false;
  bool closed = false;  // OnBeforeClose ran
  // Settings as given.
  cef_color_t background_color = 0;
  std::wstring accept_language;
  int windowless_frame_rate = 0;
  int minimum_font_size = 0;
  int minimum_logical_font_size = 0;
  CefRefPtr<CefRequestContext> request_context;
};
BrowserState BrowserInfo(CefRefPtr<CefBrowser> browser);

// Frames the browser sent to its renderer (kept; BrowserHarness::TakeSentToRenderer empties the record).
std::vector<ChannelFrame> SentToRenderer(CefRefPtr<CefBrowser> browser);
// The process messages among them, as (name, arguments) pairs; for a browser with a live renderer (a sub-process or
// an in-process thread), the process messages sent to it while the journal was on.
std::vector<std::pair<std::string, CefRefPtr<CefListValue>>> MessagesSentToRenderer(CefRefPtr<CefBrowser> browser);

// A renderer->browser process message (see BrowserHarness::Inject). With a live renderer, the browser side handles
// it as if that renderer had sent it (the renderer itself knows nothing of it).
bool Inject(CefRefPtr<CefBrowser> browser, const std::string& name, CefRefPtr<CefListValue> args);

// --- Page actions ---

// The page navigates `frame` (its main frame is what the engine navigates) to `url`.
bool PageNavigate(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const std::wstring& url);
// window.open(url, frame_name, features): OnBeforePopup, then the popup unless cancelled.
bool PageOpenWindow(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const std::wstring& url,
                    cef_window_open_disposition_t disposition, bool user_gesture,
                    const std::wstring& frame_name = std::wstring(), const CefPopupFeatures& features = CefPopupFeatures());
// A link the page opens in another tab: OnOpenURLFromTab; false navigates the browser itself.
bool PageOpenFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const std::wstring& url,
                     cef_window_open_disposition_t disposition, bool user_gesture);
// window.close().
bool PageClose(CefRefPtr<CefBrowser> browser);
// document.title = title.
bool PageSetTitle(CefRefPtr<CefBrowser> browser, const std::wstring& title);

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_BROWSER_TESTING_H_
