#include "browser/root_window_win.h"

#include <algorithm>
#include <list>
#include <utility>

#include "base/folder_paths.h"
#include "base/log.h"
#include "browser/browser_window_osr_win.h"
#include "browser/browser_window_std_win.h"
#include "browser/child_processes.h"
#include "browser/dpi_geometry.h"
#include "browser/drag_area_message.h"
#include "browser/host_protocol.h"
#include "browser/main_context.h"
#include "browser/main_message_loop.h"
#include "browser/osr_gl_renderer.h"
#include "browser/page_function_call.h"
#include "browser/root_window_manager.h"
#include "browser/temp_window_win.h"
#include "browser/user_click_monitor.h"
#include "browser/window_util.h"
#include "include/base/cef_bind.h"
#include "include/base/cef_logging.h"
#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "include/cef_parser.h"
#include "include/cef_process_message.h"
#include "product/kiv_statistic.h"
#include "product/volume_ctrl_module.h"
#include "render/process_messages.h"

namespace client {

namespace {

const wchar_t kDefaultClassName[] = L"Brivelo";
const wchar_t kWindowTitle[] = L"Brivelo";
// Windows keeps class names of at most 255 units.
const size_t kMaxClassNameUnits = 256;

const UINT_PTR kResizeTimerId = 301;
const UINT kResizeTimerPeriodMs = 200;

// Commands a window of another program may send (the window has no menu or controls).
const UINT kCommandTestFirst = 32700;
const UINT kCommandTestLast = 32715;
const UINT kCommandAbout = 104;
const UINT kCommandExit = 105;
const UINT kCommandBack = 200;
const UINT kCommandForward = 201;
const UINT kCommandReload = 202;
const UINT kCommandStop = 203;
const UINT kCommandReserved = 32501;

// Every process registers them at start, so that a message from any of them means the same.
const UINT g_quit_message = RegisterWindowMessageW(L"{25E2CC7B-4102-43DA-8233-FAEEC8701094}");
const UINT g_shell_hook_message = RegisterWindowMessageW(L"SHELLHOOK");

// The window's handle as it travels to the renderer: its 32 significant bits.
int WireHandle(HWND hwnd) { return static_cast<int>(HwndToWire(hwnd)); }

int RectWidth(const RECT& rect) { return rect.right - rect.left; }
int RectHeight(const RECT& rect) { return rect.bottom - rect.top; }

// One coordinate of the host's, in device pixels.
int ScaleValue(int value, float factor) {
  LogInfoW(L"ScaleValue: %lf", static_cast<double>(factor));
  return LogicalToDevice(value, factor);
}

}  // namespace

UINT RootWindowQuitMessage() { return g_quit_message; }
UINT ShellHookMessage() { return g_shell_hook_message; }

RootWindowWin::RootWindowWin()
    : delegate_(nullptr),
      with_osr_(false),
      is_popup_(false),
      start_rect_(),
      client_rect_(),
      initialized_(false),
      with_controls_(false),
      hwnd_(nullptr),
      parent_hwnd_(nullptr),
      load_failure_count_(0),
      closing_(false),
      window_destroyed_(false),
      browser_destroyed_(false),
      timer_id_(0),
      last_resize_check_(0) {}

RootWindowWin::~RootWindowWin() {
  // A window that outlives its object (its owner let go first) must not reach it any more.
  if (hwnd_ && IsWindow(hwnd_) && GetWindowUserData<RootWindowWin*>(hwnd_) == this) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    KillTimer(hwnd_, timer_id_);
    DeregisterShellHookWindow(hwnd_);
    DestroyWindow(hwnd_);
  }
}

// ---- Creation -------------------------------------------------------------------------------

void RootWindowWin::Init(RootWindow::Delegate* delegate, std::unique_ptr<StartupSettings> settings,
                         const CefBrowserSettings& settings_browser) {
  startup_settings_ = std::move(settings);
  delegate_ = delegate;
  if (startup_settings_) {
    with_osr_ = startup_settings_->transparent_window;
    parent_hwnd_ = startup_settings_->parent_wnd;
    const CefRect& tab = startup_settings_->tab_rect;
    start_rect_ = RECT{tab.x, tab.y, tab.x + tab.width, tab.y + tab.height};
  }

  CreateBrowserWindow(startup_settings_ ? startup_settings_->url : std::string());
  initialized_ = true;

  if (MainMessageLoop::Get()->RunsTasksOnCurrentThread()) {
    CreateRootWindow(settings_browser);
  } else {
    // The closure keeps this object alive until the window is made.
    MainMessageLoop::Get()->PostClosure(base::Bind(&RootWindowWin::CreateRootWindow, this, settings_browser));
  }
}

void RootWindowWin::InitAsPopup(RootWindow::Delegate* delegate, bool with_controls, bool with_osr,
                                const CefPopupFeatures& popupFeatures, CefWindowInfo& windowInfo,
                                CefRefPtr<CefClient>& client, CefBrowserSettings& settings) {
  delegate_ = delegate;
  with_controls_ = with_controls;
  with_osr_ = with_osr;
  is_popup_ = true;

  if (popupFeatures.xSet) start_rect_.left = popupFeatures.x;
  if (popupFeatures.ySet) start_rect_.top = popupFeatures.y;
  if (popupFeatures.widthSet) start_rect_.right = start_rect_.left + popupFeatures.width;
  if (popupFeatures.heightSet) start_rect_.bottom = start_rect_.top + popupFeatures.height;

  CreateBrowserWindow(std::string());
  initialized_ = true;

  // The browser is made by CEF under the temporary window; no native root window ever exists.
  browser_window_->GetPopupConfig(TempWindowWin::GetWindowHandle(), windowInfo, client, settings);
}

bool RootWindowWin::RegisterWindowClass(const std::wstring& class_name, bool transparent) {
  if (class_name.empty() || class_name.size() >= kMaxClassNameUnits) return false;
  HINSTANCE hInstance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(hInstance, class_name.c_str(), &existing)) return existing.lpfnWndProc == RootWndProc;

  WNDCLASSEXW wcex = {};
  wcex.cbSize = sizeof(wcex);
  wcex.style = CS_HREDRAW | CS_VREDRAW | (transparent ? CS_OWNDC : 0);
  wcex.lpfnWndProc = RootWndProc;
  wcex.hInstance = hInstance;
  wcex.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  // The class keeps its brush for the life of the process; a class made earlier keeps its
  // own, so the brush is made only here.
  if (!transparent) {
    const cef_color_t background = MainContext::Get()->GetBackgroundColor();
    wcex.hbrBackground =
        CreateSolidBrush(RGB(CefColorGetR(background), CefColorGetG(background), CefColorGetB(background)));
  }
  wcex.lpszClassName = class_name.c_str();
  if (RegisterClassExW(&wcex)) return true;
  if (wcex.hbrBackground) DeleteObject(wcex.hbrBackground);
  return false;
}

void RootWindowWin::CreateBrowserWindow(const std::string& startup_url) {
  if (with_osr_) {
    OsrRendererSettings osr_settings;
    MainContext::Get()->PopulateOsrSettings(&osr_settings);
    // The view is layered over what lies behind it, whatever the switches say.
    osr_settings.transparent = true;
    browser_window_.reset(new BrowserWindowOsrWin(this, startup_url, osr_settings, GetWebViewId()));
  } else {
    browser_window_.reset(new BrowserWindowStdWin(this, startup_url, GetWebViewId()));
  }

  if (startup_settings_) {
    browser_window_->SetReferrer(startup_settings_->referrer);
    browser_window_->SetWorkArea(startup_settings_->workarea);
  }
}

void RootWindowWin::CreateRootWindow(const CefBrowserSettings& settings) {
  DCHECK(!hwnd_);
  HINSTANCE hInstance = GetModuleHandleW(nullptr);
  const bool transparent = startup_settings_ && startup_settings_->transparent_window;
  const std::wstring class_name = startup_settings_ ? startup_settings_->class_name : kDefaultClassName;

  // A name that cannot be registered fails the window's creation below, with its check.
  (void)RegisterWindowClass(class_name, transparent);

  DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  if (!transparent && parent_hwnd_) style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  const DWORD ex_style = transparent ? (WS_EX_LAYERED | WS_EX_TOOLWINDOW) : 0;

  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  int width = CW_USEDEFAULT;
  int height = CW_USEDEFAULT;
  if (!IsRectEmpty(&start_rect_)) {
    RECT window_rect = start_rect_;
    if (!transparent) AdjustWindowRectEx(&window_rect, style, FALSE, 0);
    x = start_rect_.left;
    y = start_rect_.top;
    width = RectWidth(window_rect);
    height = RectHeight(window_rect);
  }

  hwnd_ = CreateWindowExW(ex_style, class_name.c_str(), kWindowTitle, style, x, y, width, height, parent_hwnd_,
                          nullptr, hInstance, nullptr);
  const DWORD create_error = GetLastError();

  if (hwnd_ && transparent && parent_hwnd_ && startup_settings_->enable_setparent) SetParent(hwnd_, parent_hwnd_);

  if (!hwnd_) {
    if (parent_hwnd_ && !IsWindow(parent_hwnd_)) {
      // The host's window went before the view could be made: the host is gone.
      ReportHostWindowMissing(L"parent_wnd_non");
      TerminateProcess(GetCurrentProcess(), 0);
    }
    CHECK(hwnd_) << create_error;
    return;  // only where a failed check does not end the process
  }

  timer_id_ = kResizeTimerId;
  SetTimer(hwnd_, kResizeTimerId, kResizeTimerPeriodMs, nullptr);

  SetWindowUserData(hwnd_, this);

  RECT rect = {};
  GetClientRect(hwnd_, &rect);
  SetMenu(hwnd_, nullptr);

  CefRefPtr<CefRequestContext> request_context = delegate_ ? delegate_->GetRequestContext(this) : nullptr;
  browser_window_->CreateBrowser(hwnd_, CefRect(rect.left, rect.top, RectWidth(rect), RectHeight(rect)), settings,
                                 request_context);

  if (!startup_settings_ || !startup_settings_->sc_init_hide) Show(ShowNormal);

  // Activation changes of the desktop reach the page (OnShellHook). Wine does not deliver them.
  RegisterShellHookWindow(hwnd_);
}

// ---- Window procedure ----------------------------------------------------------------------

LRESULT CALLBACK RootWindowWin::RootWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  RootWindowWin* window = GetWindowUserData<RootWindowWin*>(hWnd);
  if (!window) return DefWindowProcW(hWnd, message, wParam, lParam);
  // The window's destruction may hand the object its last release; it ends after the message.
  scoped_refptr<RootWindowWin> self(window);

  if (message == g_quit_message) {
    if (MainContext* context = MainContext::Get()) context->Quit();
    return 0;
  }
  if (message == g_shell_hook_message) {
    window->OnShellHook(wParam, lParam);
    return 0;
  }

  switch (message) {
    case WM_MOVE: {
      if (CefRefPtr<CefBrowser> browser = window->GetBrowser()) browser->GetHost()->NotifyMoveOrResizeStarted();
      return 0;
    }
    case WM_SIZE:
      window->OnSize(wParam == SIZE_MINIMIZED);
      break;
    case WM_SETFOCUS:
      if (window->browser_window_) window->browser_window_->SetFocus(true);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      if (window->OnClose()) return 0;  // the browser closes first
      break;
    case WM_QUERYENDSESSION:
    case WM_CUSTOM_QUERYENDSESSION:
      window->OnQueryEndSession();
      return 1;
    case WM_ERASEBKGND:
      if (window->GetBrowser()) return 0;  // the browser paints everything
      break;
    case WM_NCDESTROY:
      window->OnDestroyed();
      return 0;
    case WM_COMMAND:
      if (window->OnCommand(LOWORD(wParam))) return 0;
      break;
    case WM_TIMER:
      window->CheckResizeBrowser(wParam);
      return 0;
    case WM_ENTERMENULOOP:
      if (!wParam) CefSetOSModalLoop(true);  // a modal menu loop
      break;
    case WM_EXITMENULOOP:
      if (!wParam) CefSetOSModalLoop(false);
      break;
    case WM_MOVING:
      window->ClampToWorkArea(reinterpret_cast<RECT*>(lParam));
      return 1;
    case WM_FLASH_PLUGIN_MISSING:
      window->OnFlashPluginDllNotExist();
      break;
    default:
      break;
  }
  return DefWindowProcW(hWnd, message, wParam, lParam);
}

// ---- Placement ------------------------------------------------------------------------------

void RootWindowWin::OnSize(bool minimized) {
  if (minimized) {
    if (browser_window_) browser_window_->Hide();
    return;
  }
  if (browser_window_) browser_window_->Show();
  if (!hwnd_) return;
  GetClientRect(hwnd_, &client_rect_);
  if (browser_window_) {
    const int width = RectWidth(client_rect_);
    const int height = RectHeight(client_rect_);
    LogDebugW(L"RootWindowWin::OnSize, this=%p, size=%dx%d", this, width, height);
    browser_window_->SetBounds(0, 0, width, height);
  }
}

void RootWindowWin::CheckResizeBrowser(UINT_PTR timer_id) {
  if (timer_id != kResizeTimerId) return;
  const DWORD now = GetTickCount();
  if (now - last_resize_check_ < kResizeTimerPeriodMs) return;
  last_resize_check_ = now;

  CefRefPtr<CefBrowser> browser = GetBrowser();
  if (!browser) return;
  CefRefPtr<CefBrowserHost> host = browser->GetHost();
  if (!host) return;
  HWND browser_hwnd = host->GetWindowHandle();
  if (!browser_hwnd) return;

  // The browser's window drifted from the client area (it was moved behind our back).
  RECT browser_rect = {};
  GetWindowRect(browser_hwnd, &browser_rect);
  const int width = RectWidth(client_rect_);
  const int height = RectHeight(client_rect_);
  if (RectWidth(browser_rect) != width || RectHeight(browser_rect) != height) {
    LogDebugW(L"RootWindowWin::CheckResizeBrowser, this=%p, size=%dx%d", this, width, height);
    if (browser_window_) browser_window_->SetBounds(0, 0, width, height);
  }
}

void RootWindowWin::Show(ShowMode mode) {
  if (!hwnd_) return;
  int command = SW_SHOWNORMAL;
  if (mode == ShowMinimized) command = SW_SHOWMINIMIZED;
  if (mode == ShowMaximized) command = SW_SHOWMAXIMIZED;
  ShowWindow(hwnd_, command);
  UpdateWindow(hwnd_);
}

void RootWindowWin::Hide() {
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

void RootWindowWin::SetBounds(int x, int y, size_t width, size_t height) {
  int left = x;
  int top = y;
  int cx = static_cast<int>(width);
  int cy = static_cast<int>(height);
  if (startup_settings_ && startup_settings_->transparent_window && startup_settings_->self_adaption_dpi) {
    LogDebugW(L"RootWindowWin::self_adaption_dpi, this=%p, rect=%d,%d,%dx%d", this, left, top, cx, cy);
    const float factor = GetDeviceScaleFactor();
    cx = ScaleValue(cx, factor);
    cy = ScaleValue(cy, factor);
    left = ScaleValue(left, factor);
    top = ScaleValue(top, factor);
  }
  if (hwnd_) {
    LogDebugW(L"RootWindowWin::SetBounds, this=%p, rect=%d,%d,%dx%d", this, left, top, cx, cy);
    SetWindowPos(hwnd_, nullptr, left, top, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void RootWindowWin::SetWorkArea(int x, int y, int width, int height) {
  if (browser_window_) browser_window_->SetWorkArea(CefRect(x, y, width, height));
}

void RootWindowWin::ClampToWorkArea(RECT* rect) {
  if (!browser_window_ || !browser_window_->HasWorkArea() || !rect) return;
  CefRect area = browser_window_->GetWorkArea();
  const int area_right = area.x + area.width;

  const int width = RectWidth(*rect);
  const int height = RectHeight(*rect);
  if (width > area.width || height > area.height) {
    // A window larger than the area: the area grows to it and the window sticks to its
    // left and top edges.
    area.width = std::max(area.width, width);
    area.height = std::max(area.height, height);
    LogInfoW(L"adjust limitition workarea (%d, %d, %d, %d)", area.x, area.y, area.width, area.height);
    browser_window_->SetWorkArea(area);
  }

  if (rect->right > area_right) OffsetRect(rect, area_right - rect->right, 0);
  if (rect->left < area.x) OffsetRect(rect, area.x - rect->left, 0);
  if (rect->top < area.y) OffsetRect(rect, 0, area.y - rect->top);
  const int area_bottom = area.y + area.height;
  if (rect->bottom > area_bottom) OffsetRect(rect, 0, area_bottom - rect->bottom);
}

void RootWindowWin::SetDeviceScaleFactor(float device_scale_factor) {
  if (browser_window_) browser_window_->SetDeviceScaleFactor(device_scale_factor);
}

float RootWindowWin::GetDeviceScaleFactor() const {
  return browser_window_ ? browser_window_->GetDeviceScaleFactor() : client::GetDeviceScaleFactor();
}

CefRefPtr<CefBrowser> RootWindowWin::GetBrowser() const {
  return browser_window_ ? browser_window_->GetBrowser() : nullptr;
}

HWND RootWindowWin::GetWindowHandle() const { return hwnd_; }

// ---- Browser events to the host -------------------------------------------------------------

uint32_t RootWindowWin::EventView() { return static_cast<uint32_t>(GetWebViewId()); }

void RootWindowWin::SendToHost(IPC::Message message, bool sync) {
  if (MainContext* context = MainContext::Get()) context->SendToHost(message, sync);
}

void RootWindowWin::OnBrowserCreated(CefRefPtr<CefBrowser> browser) {
  if (!hwnd_) return;  // a pop-up root window
  // The host may act on this view while it handles the synchronous event.
  scoped_refptr<RootWindowWin> self(this);
  const HWND hwnd = hwnd_;

  OnSize(false);
  LogDebugW(L"RootWindowWin::OnBrowserCreated, this=%p", this);
  SendToHost(MakeBrowserCreatedEvent(EventView(), hwnd), true);

  // The renderer checks this window when it ends (a vanished host is reported).
  CefRefPtr<CefBrowser> current = GetBrowser();
  if (!current) return;
  CefRefPtr<CefProcessMessage> notice = CefProcessMessage::Create(process_message::kHostWindowHandle);
  if (!notice) return;
  CefRefPtr<CefListValue> args = notice->GetArgumentList();
  args->SetSize(process_message::kHostWindowHandleMinArgs);
  args->SetInt(process_message::kHostWindowHandleHwnd, WireHandle(hwnd));
  args->SetString(process_message::kHostWindowHandleClass,
                  startup_settings_ ? startup_settings_->class_name : std::wstring(kDefaultClassName));
  const bool sent = current->SendProcessMessage(PID_RENDERER, notice);
  LogInfoW(L"browser send Browser.Host.Window.Handle msg hwnd=0x%x, ret=%d", static_cast<unsigned>(WireHandle(hwnd)),
           sent ? 1 : 0);

  // A close that came while the browser was being made goes on now.
  if (closing_ && hwnd_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void RootWindowWin::OnBrowserClosing(CefRefPtr<CefBrowser> browser) {
  if (hwnd_) {
    // Only a close that the page started is news to the host.
    if (!closing_) SendToHost(MakeBrowserClosingEvent(EventView()));
    return;
  }
  // Developer tools: with full logging the developer decides whether the program ends.
  if (IsLogLevelEnabled(15)) {
    const int answer = MessageBoxW(nullptr, L"\u786E\u8BA4\u8981\u9000\u51FA\uFF1F", L"\u63D0\u9192",
                                   MB_YESNO | MB_ICONQUESTION);
    // By full path: a bare name is looked for in the executable's and the current folder first.
    const std::string taskkill = CommonUtil::SystemDirPathA("taskkill.exe");
    if (answer == IDYES && !taskkill.empty()) WinExec(("\"" + taskkill + "\" /f /im Brivelo.exe").c_str(), SW_HIDE);
  }
}

void RootWindowWin::OnBrowserWindowDestroyed() {
  // Destroying the window below may hand this object its last release.
  scoped_refptr<RootWindowWin> self(this);
  browser_window_.reset();
  // The usual order of a close: the browser went first, now the window follows.
  if (!window_destroyed_) Close(true);
  browser_destroyed_ = true;
  NotifyDestroyedIfDone();
}

void RootWindowWin::OnSetAddress(const std::string& url) {
  if (hwnd_) SendToHost(MakeAddressChangeEvent(EventView(), CefString(url).ToWString()));
}

void RootWindowWin::OnSetTitle(const std::string& title) {
  if (hwnd_) SendToHost(MakeTitleChangeEvent(EventView(), CefString(title).ToWString()));
}

void RootWindowWin::OnSetFullscreen(bool fullscreen) { SendToHost(MakeFullscreenEvent(EventView(), fullscreen)); }

void RootWindowWin::OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) {
  SendToHost(MakeLoadingStateEvent(EventView(), canGoBack, canGoForward, isLoading));
}

void RootWindowWin::OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) {
  LogInfoW(frame->IsMain() ? L"RootWindowWin::OnLoadStart:MainFrame" : L"RootWindowWin::OnLoadStart:Sub-frame");
}

void RootWindowWin::OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) {
  if (!hwnd_) return;
  const bool main_frame = frame->IsMain();
  const std::wstring url = frame->GetURL().ToWString();
  if (main_frame) {
    LogInfoW(L"RootWindowWin::OnLoadEnd:MainFrame:%d,StatusCode=%d,url:%s", load_failure_count_, httpStatusCode,
             url.c_str());
  } else {
    LogInfoW(L"RootWindowWin::OnLoadEnd:Sub-frame:StatusCode=%d", httpStatusCode);
  }

  // Status 0: a page that came without HTTP (a file, the "zip" scheme).
  if (load_failure_count_ == 0 && (httpStatusCode == 0 || httpStatusCode == 200)) {
    if (main_frame) {
      SendToHost(MakeLoadEndEvent(EventView(), url));
    } else {
      SendToHost(MakeSubFrameLoadEndEvent(EventView(), url, frame->GetIdentifier()));
    }
    return;
  }
  // Only the first failure since the host's load request is reported; then silence.
  if (++load_failure_count_ == 1) SendToHost(MakeLoadFailedEvent(EventView(), url, MakeStatusCodeDetail(httpStatusCode)));
}

void RootWindowWin::OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, cef_errorcode_t errorCode,
                                const CefString& errorText, const CefString& failedUrl) {
  if (!hwnd_) return;
  if (!frame->IsMain()) {
    LogInfoW(L"RootWindowWin::OnLoadError:Sub-frame:ErrorCode=%d", static_cast<int>(errorCode));
    return;
  }
  if (++load_failure_count_ == 1) {
    SendToHost(MakeLoadFailedEvent(EventView(), failedUrl.ToWString(),
                                   MakeErrorCodeDetail(static_cast<int>(errorCode), errorText.ToWString())));
  }
  LogInfoW(L"RootWindowWin::OnLoadError:MainFrame:%d,ErrorCode=%d", load_failure_count_, static_cast<int>(errorCode));
}

bool RootWindowWin::IsCloseRequested(CefRefPtr<CefBrowser> browser) { return closing_.load(); }

void RootWindowWin::OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                     const CefString& target_url, cef_window_open_disposition_t disposition,
                                     bool user_gesture) {
  LogInfoW(L"OnOpenUrlFromTab");
  if (!hwnd_) return;
  if (!UserClickMonitor::GetInstance()->IsNewWindowAllowed()) return;
  SendToHost(MakeNewWindowEvent(EventView(), target_url.ToWString(), false));
}

void RootWindowWin::OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                  const CefString& target_url, cef_window_open_disposition_t disposition,
                                  bool user_gesture) {
  LogInfoW(L"OnBeforePopup");
  if (!hwnd_) return;
  // Whether a window opens is the host's decision; the browser cancelled the pop-up itself.
  if (!UserClickMonitor::GetInstance()->IsNewWindowAllowed()) return;
  SendToHost(MakeNewWindowEvent(EventView(), target_url.ToWString(), true));
}

// ---- Commands -------------------------------------------------------------------------------

void RootWindowWin::LoadUrl(const CefString& url) {
  CefRefPtr<CefBrowser> browser = GetBrowser();
  if (!browser) return;
  // An off-screen view drops the drag areas of the page it leaves.
  if (HWND host_window = browser->GetHost()->GetWindowHandle())
    SendMessageW(host_window, DragAreaListWindowMessage(), 0, 0);
  load_failure_count_ = 0;
  browser->GetMainFrame()->LoadURL(url);
  g_flashNoticeWindow.store(hwnd_);
  LogInfoW(L"update last_root_wnd_handle, webview id : %d", GetWebViewId());
}

void RootWindowWin::Mute(bool mute) {
  // The library's answer changes nothing here: the renderer is told all the same.
  (void)VolumeCtrlModule::GetInstance()->MuteApp(mute);
  CefRefPtr<CefBrowser> browser = GetBrowser();
  if (!browser) return;
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(process_message::kMuteVolume);
  if (!message) return;
  message->GetArgumentList()->SetBool(0, mute);
  browser->SendProcessMessage(PID_RENDERER, message);
}

void RootWindowWin::SetReferrer(const CefString& referrer) {
  if (browser_window_) browser_window_->SetReferrer(referrer.ToWString());
}

const wchar_t* RootWindowWin::GetViewText() { return L""; }

int RootWindowWin::GetWebViewId() { return startup_settings_ ? startup_settings_->web_view_id : 0; }

bool RootWindowWin::OnCommand(UINT id) {
  if (id >= kCommandTestFirst && id <= kCommandTestLast) {
    if (delegate_) delegate_->OnTest(this, static_cast<int>(id));
    return true;
  }
  CefRefPtr<CefBrowser> browser = GetBrowser();
  switch (id) {
    case kCommandAbout:
    case kCommandReserved:
      return true;
    case kCommandExit:
      if (delegate_) delegate_->OnExit(this);
      return true;
    case kCommandBack:
      if (browser) browser->GoBack();
      return true;
    case kCommandForward:
      if (browser) browser->GoForward();
      return true;
    case kCommandReload:
      if (browser) browser->Reload();
      return true;
    case kCommandStop:
      if (browser) browser->StopLoad();
      return true;
    default:
      return false;
  }
}

void RootWindowWin::OnShellHook(WPARAM wParam, LPARAM lParam) {
  if ((wParam & 0x7FFF) != HSHELL_WINDOWACTIVATED) return;
  DWORD process_id = 0;
  if (HWND activated = reinterpret_cast<HWND>(lParam)) GetWindowThreadProcessId(activated, &process_id);

  const wchar_t* event = L"window_deactive";
  if (process_id == GetCurrentProcessId() || GetForegroundWindow() == hwnd_) event = L"window_active";

  CefRefPtr<CefBrowser> browser = GetBrowser();
  if (browser) CallPageFunction(browser, L"OnWinEventHandler", std::list<std::wstring>{event, L""});
}

void RootWindowWin::OnFlashPluginDllNotExist() {
  LogInfoW(L"OnFlashPluginDllNotExist, webview id : %d", GetWebViewId());
  SendToHost(MakeFlashPluginMissingEvent(EventView()));
}

// ---- Closing and the end of the process -----------------------------------------------------

bool RootWindowWin::OnClose() {
  if (browser_window_ && !browser_window_->IsClosing()) {
    CefRefPtr<CefBrowser> browser = GetBrowser();
    if (!browser) {
      // The browser is still being made inside this window, on CEF's UI thread: the window
      // stays until it exists (OnBrowserCreated closes it then), or nothing would ever close
      // the browser, and an off-screen view would lose the parent of its window.
      LogInfoW(L"RootWindowWin::OnClose : Cancel the close until the browser exists.");
      return true;
    }
    // The page's unload handlers run first; the window goes when the browser has gone.
    browser->GetHost()->CloseBrowser(false);
    LogInfoW(L"RootWindowWin::OnClose : Cancel the close.");
    return true;
  }
  LogInfoW(L"RootWindowWin::OnClose : Allow the close.");
  return false;
}

void RootWindowWin::Close(bool force) {
  closing_ = true;
  if (hwnd_) {
    if (force) {
      DestroyWindow(hwnd_);
    } else {
      PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
    return;
  }
  // The window went with the host's window tree (or never existed: developer tools): the
  // host is gone, and so is the reason to run.
  ReportHostWindowMissing(L"parent_pro_non");
  MainContext* context = MainContext::Get();
  RootWindowManager* manager = context ? context->GetRootWindowManager() : nullptr;
  LogInfoA("root wnd count: %d", manager ? manager->GetRootWindowCount() : 0xFFFFF);
  LogInfoA("Close StatisticException,so suicide");
  TerminateProcess(GetCurrentProcess(), 0);
}

void RootWindowWin::OnDestroyed() {
  DeregisterShellHookWindow(hwnd_);
  KillTimer(hwnd_, timer_id_);
  timer_id_ = 0;
  SetWindowUserData(hwnd_, nullptr);
  hwnd_ = nullptr;
  window_destroyed_ = true;
  NotifyDestroyedIfDone();
}

void RootWindowWin::NotifyDestroyedIfDone() {
  if (!window_destroyed_ || !browser_destroyed_) return;
  SendToHost(MakeWindowDestroyedEvent(EventView()));
  // Drops the manager's reference; the caller holds its own until it is done.
  if (delegate_) delegate_->OnRootWindowDestroyed(this);
}

void RootWindowWin::OnQueryEndSession() {
  LogInfoW(L"WM_QUERYENDSESSION");
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(GetCommandLineW());
  // As text: a command line may hold % signs.
  LogInfoW(L"%s", command_line->GetCommandLineString().ToWString().c_str());
  if (!command_line->HasSwitch("sc_terminate_end")) return;

  LogInfoW(L"sc_terminate_end");
  // A copy taken under the launch hook's lock: children may still be starting.
  for (HANDLE child : g_childProcesses.Snapshot()) {
    LogInfoW(L"sc_terminate_end sub %d", static_cast<int>(reinterpret_cast<INT_PTR>(child)));
    TerminateProcess(child, 0);
  }
  if (!TerminateProcess(GetCurrentProcess(), 0)) {
    LogInfoW(L"CefExecuteProcess TerminateProcess error:%d", static_cast<int>(GetLastError()));
    OnClose();
  }
}

void RootWindowWin::ReportHostWindowMissing(const wchar_t* action) {
  if (!startup_settings_) return;
  const std::wstring& class_name = startup_settings_->class_name;
  const std::wstring extra = L"&ex1=" + CefURIEncode(class_name, false).ToWString();
  if (CKivStatistic* statistic = GetKivStatistic()) statistic->Report(action, extra.c_str(), FALSE, nullptr, nullptr);
  LogErrorW(L"parent wnd NOT exists: hwd=0x%x, class=%s, terminate.", static_cast<unsigned>(WireHandle(parent_hwnd_)),
            class_name.c_str());
}

}  // namespace client
