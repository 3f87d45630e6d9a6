#include "tests/browser/core/fake_root_window.h"

#include <atomic>
#include <utility>

#include "browser/main_message_loop.h"
#include "browser/window_util.h"
#include "testing/cefengine_testing.h"

namespace client {

// This test executable's factory, in place of the library's.
scoped_refptr<RootWindow> RootWindow::Create() { return new fake::FakeRootWindow(); }

}  // namespace client

namespace fake {

namespace {

std::mutex g_mutex;
std::vector<scoped_refptr<FakeRootWindow>> g_all;
std::vector<std::string> g_calls;
std::atomic<int> g_destroyed{0};

LRESULT CALLBACK FakeWndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

HWND CreateNativeWindow() {
  client::RegisterPlainWindowClass(L"FakeRootWindow", FakeWndProc);
  return CreateWindowExW(0, L"FakeRootWindow", L"fake root", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 300, 200, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Keeps its root window's browser up to date (CEF's UI thread).
class FakeClient : public CefClient, public CefLifeSpanHandler {
 public:
  explicit FakeClient(FakeRootWindow* root) : root_(root) {}
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    if (root_) root_->SetBrowser(browser);
  }
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override {
    if (root_) root_->SetBrowser(nullptr);
    root_ = nullptr;
  }

 private:
  // The fakes list keeps the root window alive past every browser (CEF shuts down first).
  FakeRootWindow* root_;
  IMPLEMENT_REFCOUNTING(FakeClient);
};

std::string Narrow(const CefString& text) { return text.ToString(); }

}  // namespace

Options& NextOptions() {
  static Options options;
  return options;
}

FakeRootWindow::FakeRootWindow() : options_(NextOptions()) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_all.push_back(this);
}

FakeRootWindow::~FakeRootWindow() {
  if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
  ++g_destroyed;
}

std::vector<scoped_refptr<FakeRootWindow>> FakeRootWindow::All() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_all;
}

void FakeRootWindow::Reset() {
  std::vector<scoped_refptr<FakeRootWindow>> all;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    all.swap(g_all);
    g_calls.clear();
  }
}

std::vector<std::string> FakeRootWindow::Calls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_calls;
}

void FakeRootWindow::ClearCalls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
}

int FakeRootWindow::Destroyed() { return g_destroyed.load(); }

void FakeRootWindow::Record(const std::string& call) {
  const bool main = client::MainMessageLoop::Get() && client::MainMessageLoop::Get()->RunsTasksOnCurrentThread();
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.push_back(std::to_string(GetWebViewId()) + ":" + call + (main ? "" : " off-main"));
}

void FakeRootWindow::Init(Delegate* delegate, std::unique_ptr<StartupSettings> settings,
                          const CefBrowserSettings& settings_browser) {
  delegate_ = delegate;
  settings_ = std::move(settings);
  browser_settings_ = settings_browser;
  init_on_main_thread_ = client::MainMessageLoop::Get()->RunsTasksOnCurrentThread();
  Record("Init(" + (settings_ ? settings_->url : std::string("no settings")) + ")");
  if (!options_.create_window) return;
  hwnd_ = CreateNativeWindow();
  if (!options_.create_browser || !hwnd_) return;
  CefWindowInfo info;
  info.SetAsChild(hwnd_, RECT{0, 0, 300, 200});
  CefBrowserHost::CreateBrowser(info, new FakeClient(this), settings_ ? settings_->url : std::string(),
                                browser_settings_, delegate_->GetRequestContext(this));
}

void FakeRootWindow::InitAsPopup(Delegate* delegate, bool with_controls, bool with_osr,
                                 const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                                 CefRefPtr<CefClient>& client, CefBrowserSettings& settings) {
  delegate_ = delegate;
  browser_settings_ = settings;
  init_on_main_thread_ = client::MainMessageLoop::Get()->RunsTasksOnCurrentThread();
  Record(std::string("InitAsPopup(") + (with_controls ? "controls" : "no controls") + "," + (with_osr ? "osr" : "std") +
         ")");
}

void FakeRootWindow::Show(ShowMode mode) { Record("Show(" + std::to_string(mode) + ")"); }

void FakeRootWindow::Hide() { Record("Hide()"); }

void FakeRootWindow::SetBounds(int x, int y, size_t width, size_t height) {
  Record("SetBounds(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
         std::to_string(height) + ")");
}

void FakeRootWindow::Close(bool force) {
  Record(std::string("Close(") + (force ? "true" : "false") + ")");
  if (force && options_.report_destroyed_on_force_close) {
    // As a destroyed native window does: the manager may drop its reference now.
    scoped_refptr<FakeRootWindow> self(this);
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    delegate_->OnRootWindowDestroyed(this);
  }
}

void FakeRootWindow::SetDeviceScaleFactor(float device_scale_factor) { Record("SetDeviceScaleFactor()"); }

CefRefPtr<CefBrowser> FakeRootWindow::GetBrowser() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return browser_;
}

void FakeRootWindow::SetBrowser(CefRefPtr<CefBrowser> browser) {
  std::lock_guard<std::mutex> lock(mutex_);
  browser_ = browser;
}

bool FakeRootWindow::WaitForBrowser() {
  return cefengine::test::WaitFor([this] { return GetBrowser() != nullptr; });
}

void FakeRootWindow::LoadUrl(const CefString& url) { Record("LoadUrl(" + Narrow(url) + ")"); }

void FakeRootWindow::Mute(bool mute) { Record(std::string("Mute(") + (mute ? "true" : "false") + ")"); }

void FakeRootWindow::SetReferrer(const CefString& referrer) { Record("SetReferrer(" + Narrow(referrer) + ")"); }

void FakeRootWindow::SetWorkArea(int x, int y, int width, int height) {
  Record("SetWorkArea(" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(width) + "," +
         std::to_string(height) + ")");
}

void FakeRootWindow::DestroyNativeWindow() { DestroyWindow(hwnd_); }

}  // namespace fake
