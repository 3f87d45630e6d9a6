#include "browser/osr_window_win.h"

#include <GL/gl.h>

#include "browser/dpi_geometry.h"
#include "browser/draw_drag_areas.h"
#include "browser/main_message_loop.h"
#include "browser/user_click_monitor.h"
#include "browser/window_util.h"
#include "include/base/cef_bind.h"
#include "include/base/cef_logging.h"
#include "include/cef_command_line.h"
#include "include/wrapper/cef_closure_task.h"

namespace client {

namespace {

const wchar_t kWndClass[] = L"Client_OsrWindow";
// The executable's small icon resource; it carries none, so the class gets a null icon.
const int kSmallIconResource = 108;
// Rotation mode renders at most this often.
const int64 kRenderDelayMs = 33;

}  // namespace

OsrWindowWin::OsrWindowWin(Delegate* delegate, const OsrRendererSettings& settings)
    : delegate_(delegate),
      renderer_(settings),
      device_scale_factor_(GetDeviceScaleFactor()),
      disable_alt_f4_(CefCommandLine::GetGlobalCommandLine()->HasSwitch("disable-alt-f4")) {}

OsrWindowWin::~OsrWindowWin() {
  // Normally the child window went in OnBeforeClose. A window let go before its browser closed
  // never hears that (the handler forgot it first), so the child window, its drop target and the
  // OpenGL context go here: neither the window procedure nor OLE may reach this object any more.
  // Only the window's own thread can destroy it; without that thread the window is gone anyway.
  if (hwnd_ && GetWindowThreadProcessId(hwnd_, nullptr) == GetCurrentThreadId()) {
    SetWindowUserData(hwnd_, nullptr);
    Destroy();
  }
  // The painter frees its bitmap and device context.
  drag_areas_.clear();
  drop_target_ = nullptr;
  browser_ = nullptr;
}

void OsrWindowWin::CreateBrowser(HWND parent_hwnd, const RECT& rect, CefRefPtr<CefClient> handler,
                                 const CefBrowserSettings& settings, CefRefPtr<CefRequestContext> request_context,
                                 const std::string& startup_url) {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::CreateBrowser, this, parent_hwnd, rect, handler, settings,
                                   request_context, startup_url));
    return;
  }

  parent_hwnd_ = parent_hwnd;
  Create(parent_hwnd, rect);

  CefWindowInfo window_info;
  window_info.parent_window = hwnd_;
  window_info.windowless_rendering_enabled = 1;
  window_info.transparent_painting_enabled = renderer_.IsTransparent() ? 1 : 0;
  // The browser arrives through OnAfterCreated, or never; the result says nothing more.
  CefBrowserHost::CreateBrowser(window_info, handler, CefString(startup_url), settings, request_context);
}

void OsrWindowWin::ShowPopup(HWND parent_hwnd, int x, int y, size_t width, size_t height) {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::ShowPopup, this, parent_hwnd, x, y, width, height));
    return;
  }
  const RECT rect = {x, y, x + static_cast<int>(width), y + static_cast<int>(height)};
  Create(parent_hwnd, rect);
  if (browser_)
    browser_->GetHost()->WasResized();
  Show();
}

void OsrWindowWin::Show() {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::Show, this));
    return;
  }
  if (!browser_)
    return;
  if (hwnd_ && !IsWindowVisible(hwnd_))
    ShowWindow(hwnd_, SW_SHOW);
  if (hidden_) {
    browser_->GetHost()->WasHidden(false);
    hidden_ = false;
  }
  browser_->GetHost()->SendFocusEvent(true);
}

void OsrWindowWin::Hide() {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::Hide, this));
    return;
  }
  if (!browser_)
    return;
  browser_->GetHost()->SendFocusEvent(false);
  if (!hidden_) {
    browser_->GetHost()->WasHidden(true);
    hidden_ = true;
  }
}

void OsrWindowWin::SetBounds(int x, int y, size_t width, size_t height) {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::SetBounds, this, x, y, width, height));
    return;
  }
  // WM_SIZE takes the new client rectangle and tells the engine.
  if (hwnd_)
    SetWindowPos(hwnd_, nullptr, x, y, static_cast<int>(width), static_cast<int>(height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void OsrWindowWin::SetFocus() {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::SetFocus, this));
    return;
  }
  // WM_SETFOCUS gives the engine the focus.
  if (hwnd_)
    ::SetFocus(hwnd_);
}

void OsrWindowWin::SetDeviceScaleFactor(float device_scale_factor) {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::SetDeviceScaleFactor, this, device_scale_factor));
    return;
  }
  if (device_scale_factor == device_scale_factor_)
    return;
  device_scale_factor_ = device_scale_factor;
  if (browser_) {
    browser_->GetHost()->NotifyScreenInfoChanged();
    browser_->GetHost()->WasResized();
  }
}

void OsrWindowWin::RegisterOsrClass() {
  // Once per process; the class outlives every window and engine start.
  static bool registered = false;
  if (registered)
    return;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wcex = {};
  wcex.cbSize = sizeof(WNDCLASSEXW);
  wcex.style = CS_OWNDC;
  wcex.lpfnWndProc = &OsrWindowWin::OsrWndProc;
  wcex.hInstance = instance;
  wcex.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wcex.lpszClassName = kWndClass;
  wcex.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(kSmallIconResource));
  RegisterClassExW(&wcex);
  registered = true;
}

void OsrWindowWin::Create(HWND parent_hwnd, const RECT& rect) {
  CEF_REQUIRE_UI_THREAD();
  // From now on every frame goes to the root window.
  layered_painter_.SetTargetWindow(parent_hwnd);

  RegisterOsrClass();
  hwnd_ = CreateWindowExW(0, kWndClass, nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE,
                          rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent_hwnd, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
  CHECK(hwnd_);
  client_rect_ = rect;
  SetWindowUserData(hwnd_, this);

  drop_target_ = DropTargetWin::Create(this, hwnd_);
  // A window that cannot take drops still shows the page.
  RegisterDragDrop(hwnd_, drop_target_);

  NotifyNativeWindowCreated(hwnd_);
  // Left-button releases on this thread count as user clicks too.
  UserClickMonitor::GetInstance()->HookCurrentThread();
}

void OsrWindowWin::NotifyNativeWindowCreated(HWND hwnd) {
  if (!CurrentlyOnMainThread()) {
    MainMessageLoop::Get()->PostClosure(base::Bind(&OsrWindowWin::NotifyNativeWindowCreated, this, hwnd));
    return;
  }
  if (delegate_)
    delegate_->OnOsrNativeWindowCreated(hwnd);
}

void OsrWindowWin::Destroy() {
  CEF_REQUIRE_UI_THREAD();
  if (hwnd_)
    RevokeDragDrop(hwnd_);
  drop_target_ = nullptr;
  DisableGL();
  if (hwnd_) {
    // WM_NCDESTROY clears the user data and hwnd_.
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

void OsrWindowWin::EnableGL() {
  CEF_REQUIRE_UI_THREAD();
  // Without the child window there is no surface to draw on.
  if (!hwnd_)
    return;
  hdc_ = GetDC(hwnd_);
  if (!hdc_)
    return;
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = sizeof(pfd);
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 24;
  pfd.cDepthBits = 16;
  pfd.iLayerType = PFD_MAIN_PLANE;
  const int format = ChoosePixelFormat(hdc_, &pfd);
  SetPixelFormat(hdc_, format, &pfd);

  hrc_ = wglCreateContext(hdc_);
  if (!hrc_) {
    ReleaseDC(hwnd_, hdc_);
    hdc_ = nullptr;
    return;
  }
  wglMakeCurrent(hdc_, hrc_);
  renderer_.Initialize();
  wglMakeCurrent(nullptr, nullptr);
}

void OsrWindowWin::DisableGL() {
  CEF_REQUIRE_UI_THREAD();
  if (!hdc_)
    return;
  wglMakeCurrent(hdc_, hrc_);
  renderer_.Cleanup();
  wglMakeCurrent(nullptr, nullptr);
  if (IsWindow(hwnd_)) {
    wglDeleteContext(hrc_);
    ReleaseDC(hwnd_, hdc_);
  }
  hdc_ = nullptr;
  hrc_ = nullptr;
}

void OsrWindowWin::RequestRender() {
  CEF_REQUIRE_UI_THREAD();
  if (render_task_pending_)
    return;
  render_task_pending_ = true;
  CefPostDelayedTask(TID_UI, base::Bind(&OsrWindowWin::RenderTask, this), kRenderDelayMs);
}

void OsrWindowWin::RenderTask() {
  CEF_REQUIRE_UI_THREAD();
  render_task_pending_ = false;
  if (!hdc_)
    EnableGL();
  if (!hrc_)
    return;
  wglMakeCurrent(hdc_, hrc_);
  renderer_.Render();
  wglMakeCurrent(nullptr, nullptr);
  SwapBuffers(hdc_);
}

void OsrWindowWin::OnAfterCreated(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  browser_ = browser;
  // After the engine's callback has returned.
  if (hwnd_)
    CefPostTask(TID_UI, base::Bind(&OsrWindowWin::Show, this));
}

void OsrWindowWin::OnBeforeClose(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  // No render call of the client handler reaches this object any more.
  CefRefPtr<CefClient> client = browser->GetHost()->GetClient();
  if (ClientHandlerOsr* handler = dynamic_cast<ClientHandlerOsr*>(client.get()))
    handler->DetachOsrDelegate();
  browser_ = nullptr;
  Destroy();
}

bool OsrWindowWin::GetRootScreenRect(CefRefPtr<CefBrowser> browser, CefRect& rect) {
  CEF_REQUIRE_UI_THREAD();
  return false;
}

bool OsrWindowWin::GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) {
  CEF_REQUIRE_UI_THREAD();
  rect.x = 0;
  rect.y = 0;
  rect.width = DeviceToLogical(client_rect_.right - client_rect_.left, device_scale_factor_);
  rect.height = DeviceToLogical(client_rect_.bottom - client_rect_.top, device_scale_factor_);
  return true;
}

bool OsrWindowWin::GetScreenPoint(CefRefPtr<CefBrowser> browser, int viewX, int viewY, int& screenX,
                                  int& screenY) {
  CEF_REQUIRE_UI_THREAD();
  if (!IsWindow(hwnd_))
    return false;
  POINT screen_pt = {LogicalToDevice(viewX, device_scale_factor_), LogicalToDevice(viewY, device_scale_factor_)};
  ClientToScreen(hwnd_, &screen_pt);
  screenX = screen_pt.x;
  screenY = screen_pt.y;
  return true;
}

bool OsrWindowWin::GetScreenInfo(CefRefPtr<CefBrowser> browser, CefScreenInfo& screen_info) {
  CEF_REQUIRE_UI_THREAD();
  if (!IsWindow(hwnd_))
    return false;
  CefRect view_rect;
  GetViewRect(browser, view_rect);
  screen_info.device_scale_factor = device_scale_factor_;
  // The view serves as the screen; both rectangles in logical pixels.
  screen_info.rect = view_rect;
  screen_info.available_rect = view_rect;
  return true;
}

void OsrWindowWin::OnPopupShow(CefRefPtr<CefBrowser> browser, bool show) {
  CEF_REQUIRE_UI_THREAD();
  if (!show) {
    // Paint the view again without the pop-up (the paint may come before Invalidate returns).
    renderer_.ResetPopupRects();
    popup_frame_.clear();
    browser->GetHost()->Invalidate(PET_VIEW);
  }
  renderer_.OnPopupShow(browser, show);
}

void OsrWindowWin::OnPopupSize(CefRefPtr<CefBrowser> browser, const CefRect& rect) {
  CEF_REQUIRE_UI_THREAD();
  renderer_.OnPopupSize(browser, LogicalToDevice(rect, device_scale_factor_));
}

void OsrWindowWin::OnPaint(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
                           const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width,
                           int height) {
  CEF_REQUIRE_UI_THREAD();
  if (layered_painter_.target_window()) {
    PaintLayered(type, buffer, width, height);
    return;
  }
  PaintGl(browser, type, dirtyRects, buffer, width, height);
}

void OsrWindowWin::PaintLayered(cef_paint_element_type_t type, const void* buffer, int width, int height) {
  if (!buffer || width <= 0 || height <= 0)
    return;
  const uint32_t* pixels = static_cast<const uint32_t*>(buffer);
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (type == PET_VIEW) {
    view_frame_.assign(pixels, pixels + count);
    view_frame_width_ = width;
    view_frame_height_ = height;
    // Pop-ups are fitted into this view.
    renderer_.SetViewSize(width, height);
  } else if (type == PET_POPUP) {
    // Without its place in the view a pop-up frame is not shown at all.
    if (renderer_.popup_rect().IsEmpty())
      return;
    popup_frame_.assign(pixels, pixels + count);
    popup_frame_width_ = width;
    popup_frame_height_ = height;
  } else {
    return;
  }
  // A pop-up never replaces the page: it waits for a view frame to be shown in.
  if (view_frame_.empty())
    return;

  const std::vector<RECT>* areas = IsDrawDragAreasEnabled() ? &drag_areas_ : nullptr;
  if (popup_frame_.empty() || renderer_.popup_rect().IsEmpty()) {
    (void)layered_painter_.Paint(view_frame_.data(), view_frame_width_, view_frame_height_, areas);
    return;
  }
  std::vector<uint32_t> composed(view_frame_);
  CopyPopupIntoFrame(composed.data(), view_frame_width_, view_frame_height_, popup_frame_.data(),
                     popup_frame_width_, popup_frame_height_, renderer_.popup_rect());
  (void)layered_painter_.Paint(composed.data(), view_frame_width_, view_frame_height_, areas);
}

void OsrWindowWin::PaintGl(CefRefPtr<CefBrowser> browser, cef_paint_element_type_t type,
                           const CefRenderHandler::RectList& dirtyRects, const void* buffer, int width, int height) {
  if (painting_popup_) {
    // The pop-up paint asked for below; the context is current.
    renderer_.OnPaint(browser, type, dirtyRects, buffer, width, height);
    return;
  }
  if (!hdc_)
    EnableGL();
  if (!hrc_)
    return;
  wglMakeCurrent(hdc_, hrc_);
  renderer_.OnPaint(browser, type, dirtyRects, buffer, width, height);
  if (type == PET_VIEW && !renderer_.popup_rect().IsEmpty()) {
    painting_popup_ = true;
    browser->GetHost()->Invalidate(PET_POPUP);
    painting_popup_ = false;
  }
  renderer_.Render();
  wglMakeCurrent(nullptr, nullptr);
  SwapBuffers(hdc_);
}

void OsrWindowWin::OnCursorChange(CefRefPtr<CefBrowser> browser, CefCursorHandle cursor, cef_cursor_type_t type,
                                  const CefCursorInfo& custom_cursor_info) {
  CEF_REQUIRE_UI_THREAD();
  if (!IsWindow(hwnd_))
    return;
  // The class cursor keeps the window from falling back to the arrow on every move.
  SetClassLongPtrW(hwnd_, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
  ::SetCursor(cursor);
}

bool OsrWindowWin::StartDragging(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDragData> drag_data,
                                 cef_drag_operations_mask_t allowed_ops, int x, int y) {
  CEF_REQUIRE_UI_THREAD();
  if (!drop_target_)
    return false;
  // The drag loop pumps messages: the browser may close meanwhile.
  scoped_refptr<OsrWindowWin> self(this);
  CComPtr<DropTargetWin> drop_target(drop_target_);
  current_drag_op_ = DRAG_OPERATION_NONE;
  const cef_drag_operations_mask_t result = drop_target->StartDragging(browser, drag_data, allowed_ops, x, y);
  current_drag_op_ = DRAG_OPERATION_NONE;
  POINT pt = {};
  GetCursorPos(&pt);
  ScreenToClient(hwnd_, &pt);
  browser->GetHost()->DragSourceEndedAt(DeviceToLogical(pt.x, device_scale_factor_),
                                        DeviceToLogical(pt.y, device_scale_factor_), result);
  browser->GetHost()->DragSourceSystemDragEnded();
  return true;
}

void OsrWindowWin::UpdateDragCursor(CefRefPtr<CefBrowser> browser, cef_drag_operations_mask_t operation) {
  CEF_REQUIRE_UI_THREAD();
  current_drag_op_ = operation;
}

cef_drag_operations_mask_t OsrWindowWin::OnDragEnter(CefRefPtr<CefDragData> drag_data, CefMouseEvent ev,
                                                     cef_drag_operations_mask_t effect) {
  if (browser_) {
    DeviceToLogical(ev, device_scale_factor_);
    browser_->GetHost()->DragTargetDragEnter(drag_data, ev, effect);
    browser_->GetHost()->DragTargetDragOver(ev, effect);
  }
  return current_drag_op_;
}

cef_drag_operations_mask_t OsrWindowWin::OnDragOver(CefMouseEvent ev, cef_drag_operations_mask_t effect) {
  if (browser_) {
    DeviceToLogical(ev, device_scale_factor_);
    browser_->GetHost()->DragTargetDragOver(ev, effect);
  }
  return current_drag_op_;
}

void OsrWindowWin::OnDragLeave() {
  if (browser_)
    browser_->GetHost()->DragTargetDragLeave();
}

cef_drag_operations_mask_t OsrWindowWin::OnDrop(CefMouseEvent ev, cef_drag_operations_mask_t effect) {
  if (browser_) {
    DeviceToLogical(ev, device_scale_factor_);
    browser_->GetHost()->DragTargetDragOver(ev, effect);
    browser_->GetHost()->DragTargetDrop(ev);
  }
  return current_drag_op_;
}

}  // namespace client
