// The window procedure of "Client_OsrWindow": input to the windowless browser, the page's click
// events, caption drags and the drag-area list. Engine UI thread only.
#include "browser/osr_window_win.h"

#include <windowsx.h>
// After windows.h: it redefines some of its functions as deprecated.
#include <strsafe.h>

#include <list>
#include <string>

#include "base/log.h"
#include "browser/dpi_geometry.h"
#include "browser/drag_area_list.h"
#include "browser/drag_area_message.h"
#include "browser/osr_click_counting.h"
#include "browser/page_function_call.h"
#include "browser/window_util.h"

namespace client {

namespace {

// The drag-area text is checked for readability this far before it is copied.
const UINT_PTR kDragAreaTextCheck = 260;

// The key as the log may show it: keys that type a character, and character messages, are
// written as 0 so that typed text (passwords) never reaches the log.
int LoggedKey(UINT message, WPARAM wParam) {
  if (message == WM_CHAR || message == WM_SYSCHAR)
    return 0;
  const UINT key = LOWORD(wParam);
  if (MapVirtualKeyW(key, MAPVK_VK_TO_CHAR) != 0)
    return 0;
  return static_cast<int>(key);
}

bool IsKeyMessage(UINT message) {
  return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR || message == WM_SYSKEYDOWN ||
         message == WM_SYSKEYUP || message == WM_SYSCHAR;
}

bool IsMouseMessage(UINT message) {
  return message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP ||
         message == WM_RBUTTONDOWN || message == WM_RBUTTONUP || message == WM_MBUTTONDOWN ||
         message == WM_MBUTTONUP || message == WM_MOUSEWHEEL || message == WM_MOUSELEAVE;
}

CefBrowserHost::MouseButtonType ButtonOf(UINT message) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      return MBT_LEFT;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return MBT_RIGHT;
    default:
      return MBT_MIDDLE;
  }
}

}  // namespace

LRESULT CALLBACK OsrWindowWin::OsrWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  OsrWindowWin* self = GetWindowUserData<OsrWindowWin*>(hWnd);
  if (!self)
    return DefWindowProcW(hWnd, message, wParam, lParam);

  if (message == DragAreaListWindowMessage()) {
    self->OnDragAreaList(lParam);
    return 0;
  }

  // Every release tells the page, whether it then reaches the engine or ends a caption drag.
  if (self->browser_ && (message == WM_LBUTTONUP || message == WM_RBUTTONUP))
    self->NotifyPageClick(message, lParam);

  if (self->HandleCaptionDrag(message, wParam, lParam))
    return 0;

  switch (message) {
    case WM_SIZE:
      self->OnSize();
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      self->OnFocus(message == WM_SETFOCUS);
      break;
    case WM_PAINT:
      self->OnPaintMessage();
      return 0;
    case WM_ERASEBKGND:
      if (self->OnEraseBkgnd())
        return 0;
      break;
    case WM_NCDESTROY:
      SetWindowUserData(hWnd, nullptr);
      self->hwnd_ = nullptr;
      break;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
      self->OnCaptureLost();
      break;
    default:
      if (IsKeyMessage(message)) {
        if (self->OnKeyEvent(message, wParam, lParam))
          return 0;
      } else if (IsMouseMessage(message)) {
        self->OnMouseEvent(message, wParam, lParam);
      }
      break;
  }
  return DefWindowProcW(hWnd, message, wParam, lParam);
}

void OsrWindowWin::OnDragAreaList(LPARAM lParam) {
  const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
  // The message is registered under a public name, so anyone may send or post it. A text address
  // means something only to the client handler's relay, which sends it on this very thread; from
  // another thread or process, or posted (which looks like this thread's own), only the clearing
  // form (no text, as the root window sends it) counts.
  if (text && (InSendMessageEx(nullptr) != ISMEX_NOSEND || !IsDragAreaListBeingSent(text))) {
    LogWarnW(L"OsrWindowWin::OnDragAreaList : a drag-area text not sent by this thread's relay is ignored");
    return;
  }
  drag_areas_.clear();
  if (!text || IsBadStringPtrW(text, kDragAreaTextCheck))
    return;
  switch (ParseDragAreaList(text, &drag_areas_)) {
    case DragAreaListResult::kTooLong:
      LogErrorW(L"OsrWindowWin::OnDragAreaList : drag-area text longer than %u units refused",
                static_cast<unsigned>(kMaxDragAreaTextLength));
      break;
    case DragAreaListResult::kTooMany:
      LogErrorW(L"OsrWindowWin::OnDragAreaList : drag-area list of more than %u areas refused",
                static_cast<unsigned>(kMaxDragAreaCount));
      break;
    case DragAreaListResult::kNoMemory:
      LogErrorW(L"OsrWindowWin::OnDragAreaList : no memory for the drag-area text");
      break;
    case DragAreaListResult::kOk:
    case DragAreaListResult::kMalformed:
      // A malformed list leaves the view without drag areas, as it always has.
      break;
  }
}

void OsrWindowWin::NotifyPageClick(UINT message, LPARAM lParam) {
  // Client coordinates in device pixels, negative when released outside during a capture.
  wchar_t position[64];
  StringCchPrintfW(position, 64, L"%d,%d", GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  CallPageFunction(browser_, L"OnWinEventHandler",
                   {message == WM_LBUTTONUP ? L"window_lclick" : L"window_rclick", position});
}

bool OsrWindowWin::HandleCaptionDrag(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN: {
      // Pop-up views (no parent given) are never moved.
      if (!parent_hwnd_ || HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)) != HTCAPTION)
        return false;
      if (!caption_drag_active_)
        SetCapture(hwnd_);
      const DWORD pos = GetMessagePos();
      caption_drag_last_x_ = GET_X_LPARAM(pos);
      caption_drag_last_y_ = GET_Y_LPARAM(pos);
      caption_drag_active_ = 1;
      return true;
    }
    case WM_LBUTTONUP:
      if (!caption_drag_active_)
        return false;
      caption_drag_active_ = 0;
      ReleaseCapture();
      return true;
    case WM_MOUSEMOVE: {
      if (!caption_drag_active_ || !(wParam & MK_LBUTTON))
        return false;
      const DWORD pos = GetMessagePos();
      const int x = GET_X_LPARAM(pos);
      const int y = GET_Y_LPARAM(pos);
      const HWND parent = parent_hwnd_;
      RECT rect = {};
      GetWindowRect(parent, &rect);
      SetWindowPos(parent, nullptr, x - caption_drag_last_x_ + rect.left, y - caption_drag_last_y_ + rect.top, 0,
                   0, SWP_NOSIZE | SWP_NOZORDER);
      caption_drag_last_x_ = x;
      caption_drag_last_y_ = y;
      return true;
    }
    default:
      return false;
  }
}

void OsrWindowWin::OnMouseEvent(UINT message, WPARAM wParam, LPARAM lParam) {
  CefRefPtr<CefBrowserHost> browser_host;
  if (browser_)
    browser_host = browser_->GetHost();

  int x = GET_X_LPARAM(lParam);
  int y = GET_Y_LPARAM(lParam);

  bool cancel_previous_click = false;
  if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN ||
      message == WM_MOUSEMOVE || message == WM_MOUSELEAVE) {
    const double current_time = static_cast<double>(GetMessageTime());
    cancel_previous_click =
        IsClickCancelled(last_click_x_, last_click_y_, last_click_time_, x, y, current_time,
                         GetSystemMetrics(SM_CXDOUBLECLK), GetSystemMetrics(SM_CYDOUBLECLK), GetDoubleClickTime());
    if (cancel_previous_click && (message == WM_MOUSEMOVE || message == WM_MOUSELEAVE)) {
      last_click_count_ = 0;
      last_click_x_ = 0;
      last_click_y_ = 0;
      last_click_time_ = 0;
    }
  }

  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
      SetCapture(hwnd_);
      ::SetFocus(hwnd_);
      if (wParam & MK_SHIFT) {
        // Rotation mode: the drag turns the drawn view; nothing reaches the page.
        rotation_mode_ = true;
        last_mouse_pos_.x = current_mouse_pos_.x = x;
        last_mouse_pos_.y = current_mouse_pos_.y = y;
        break;
      }
      const CefBrowserHost::MouseButtonType button = ButtonOf(message);
      const bool same_button = button == last_click_button_;
      last_click_count_ = NextClickCount(cancel_previous_click, same_button, last_click_count_);
      if (cancel_previous_click || !same_button) {
        last_click_x_ = x;
        last_click_y_ = y;
      }
      last_click_time_ = static_cast<double>(GetMessageTime());
      last_click_button_ = button;

      if (browser_host) {
        last_mouse_down_on_view_ = !IsOverPopupWidget(x, y);
        browser_host->SendMouseClickEvent(ViewMouseEvent(x, y, wParam), button, false, last_click_count_);
      }
      break;
    }

    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      if (GetCapture() == hwnd_)
        ReleaseCapture();
      if (rotation_mode_) {
        rotation_mode_ = false;
        renderer_.SetRotation(0, 0);
        RequestRender();
        break;
      }
      const CefBrowserHost::MouseButtonType button = ButtonOf(message);
      if (browser_host) {
        // A press on the view released over a displaced pop-up belongs to neither.
        if (last_mouse_down_on_view_ && IsOverPopupWidget(x, y) && (GetPopupXOffset() || GetPopupYOffset()))
          break;
        browser_host->SendMouseClickEvent(ViewMouseEvent(x, y, wParam), button, true, last_click_count_);
      }
      break;
    }

    case WM_MOUSEMOVE: {
      if (rotation_mode_) {
        current_mouse_pos_.x = x;
        current_mouse_pos_.y = y;
        renderer_.AddRotation(static_cast<float>(current_mouse_pos_.x - last_mouse_pos_.x),
                              static_cast<float>(current_mouse_pos_.y - last_mouse_pos_.y));
        last_mouse_pos_ = current_mouse_pos_;
        RequestRender();
        break;
      }
      if (!mouse_tracking_) {
        // Ask for WM_MOUSELEAVE when the cursor leaves.
        TRACKMOUSEEVENT tme = {};
        tme.cbSize = sizeof(TRACKMOUSEEVENT);
        tme.dwFlags = TME_LEAVE;
        tme.hwndTrack = hwnd_;
        TrackMouseEvent(&tme);
        mouse_tracking_ = true;
      }
      if (browser_host)
        browser_host->SendMouseMoveEvent(ViewMouseEvent(x, y, wParam), false);
      break;
    }

    case WM_MOUSELEAVE: {
      mouse_tracking_ = false;
      if (browser_host) {
        POINT p = {};
        GetCursorPos(&p);
        ScreenToClient(hwnd_, &p);
        CefMouseEvent mouse_event;
        mouse_event.x = p.x;
        mouse_event.y = p.y;
        DeviceToLogical(mouse_event, device_scale_factor_);
        mouse_event.modifiers = GetMouseModifierFlags(wParam);
        browser_host->SendMouseMoveEvent(mouse_event, true);
      }
      break;
    }

    case WM_MOUSEWHEEL:
      if (browser_host) {
        // Screen coordinates; only a wheel over this very window counts.
        POINT screen_point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (WindowFromPoint(screen_point) != hwnd_)
          break;
        ScreenToClient(hwnd_, &screen_point);
        const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        const CefMouseEvent mouse_event = ViewMouseEvent(screen_point.x, screen_point.y, wParam);
        if (IsKeyPressed(VK_SHIFT))
          browser_host->SendMouseWheelEvent(mouse_event, delta, 0);
        else
          browser_host->SendMouseWheelEvent(mouse_event, 0, delta);
      }
      break;

    default:
      break;
  }
}

bool OsrWindowWin::OnKeyEvent(UINT message, WPARAM wParam, LPARAM lParam) {
  LogInfoW(L"disable_alt_f4:%d,message:%d,key:%d", disable_alt_f4_ ? 1 : 0, static_cast<int>(message),
           LoggedKey(message, wParam));
  if (disable_alt_f4_ && message == WM_SYSKEYDOWN && LOWORD(wParam) == VK_F4) {
    LogInfoW(L"OnFiltrationKeyEvent,message:%d,key:%d", static_cast<int>(message), static_cast<int>(LOWORD(wParam)));
    return true;
  }
  if (!browser_)
    return false;

  CefKeyEvent event;
  event.windows_key_code = static_cast<int>(wParam);
  event.native_key_code = static_cast<int>(lParam);
  event.is_system_key = message == WM_SYSCHAR || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)
    event.type = KEYEVENT_RAWKEYDOWN;
  else if (message == WM_KEYUP || message == WM_SYSKEYUP)
    event.type = KEYEVENT_KEYUP;
  else
    event.type = KEYEVENT_CHAR;
  event.modifiers = GetKeyboardModifierFlags(wParam, lParam);
  browser_->GetHost()->SendKeyEvent(event);
  return false;
}

void OsrWindowWin::OnSize() {
  // The rectangle counts even before the browser exists.
  GetClientRect(hwnd_, &client_rect_);
  if (browser_)
    browser_->GetHost()->WasResized();
}

void OsrWindowWin::OnFocus(bool setFocus) {
  if (browser_)
    browser_->GetHost()->SendFocusEvent(setFocus);
}

void OsrWindowWin::OnCaptureLost() {
  // Leaving rotation mode releases the capture itself; the page never had it.
  if (rotation_mode_)
    return;
  if (browser_)
    browser_->GetHost()->SendCaptureLostEvent();
}

void OsrWindowWin::OnPaintMessage() {
  PAINTSTRUCT ps;
  BeginPaint(hwnd_, &ps);
  EndPaint(hwnd_, &ps);
  if (browser_)
    browser_->GetHost()->Invalidate(PET_VIEW);
}

bool OsrWindowWin::OnEraseBkgnd() {
  // Erasing would show through the layered image; with a browser nothing is erased.
  return browser_ != nullptr;
}

int OsrWindowWin::HitTest(int x, int y) const {
  const POINT point = {x, y};
  for (const RECT& area : drag_areas_)
    if (PtInRect(&area, point))
      return HTCAPTION;
  return HTCLIENT;
}

bool OsrWindowWin::IsOverPopupWidget(int x, int y) const {
  return RectContains(renderer_.popup_rect(), x, y);
}

int OsrWindowWin::GetPopupXOffset() const {
  return renderer_.original_popup_rect().x - renderer_.popup_rect().x;
}

int OsrWindowWin::GetPopupYOffset() const {
  return renderer_.original_popup_rect().y - renderer_.popup_rect().y;
}

CefMouseEvent OsrWindowWin::ViewMouseEvent(int x, int y, WPARAM wParam) const {
  CefMouseEvent mouse_event;
  mouse_event.x = x;
  mouse_event.y = y;
  ApplyPopupOffset(mouse_event.x, mouse_event.y);
  DeviceToLogical(mouse_event, device_scale_factor_);
  mouse_event.modifiers = GetMouseModifierFlags(wParam);
  return mouse_event;
}

void OsrWindowWin::ApplyPopupOffset(int& x, int& y) const {
  if (IsOverPopupWidget(x, y)) {
    x += GetPopupXOffset();
    y += GetPopupYOffset();
  }
}

}  // namespace client
