// The client handler's load and display callbacks, with its own tooltip control.
#include "browser/client_handler.h"

#include <windows.h>
#include <commctrl.h>

#include "include/wrapper/cef_helpers.h"

namespace client {

namespace {

// The tooltip class is registered by the common-controls library on request. The library is loaded here, on the
// first tooltip, not with the executable: loading it costs a view's start tens of milliseconds. The manifest's
// activation context makes this the version 6 library, as an import would.
void EnsureTooltipClass() {
  static const bool registered = [] {
    typedef BOOL(WINAPI * InitFunction)(const INITCOMMONCONTROLSEX*);
    HMODULE library = LoadLibraryW(L"comctl32.dll");
    const FARPROC found = library ? GetProcAddress(library, "InitCommonControlsEx") : nullptr;
    InitFunction init = reinterpret_cast<InitFunction>(reinterpret_cast<void*>(found));
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    return init && init(&controls) != FALSE;
  }();
  (void)registered;
}

}  // namespace

std::string FormatConsoleMessage(const std::string& message, const std::string& source, int line) {
  return "Message: " + message + "\r\nSource: " + source + "\r\nLine: " + std::to_string(line) +
         "\r\n-----------------------\r\n";
}

void ClientHandler::OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool canGoBack,
                                         bool canGoForward) {
  CEF_REQUIRE_UI_THREAD();
  NotifyLoadingState(isLoading, canGoBack, canGoForward);
}

void ClientHandler::OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) {
  CEF_REQUIRE_UI_THREAD();
  NotifyLoadStart(browser, frame);
}

void ClientHandler::OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) {
  CEF_REQUIRE_UI_THREAD();
  NotifyLoadEnd(browser, frame, httpStatusCode);
}

void ClientHandler::OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                cef_errorcode_t errorCode, const CefString& errorText, const CefString& failedUrl) {
  CEF_REQUIRE_UI_THREAD();
  if (errorCode == ERR_ABORTED)
    return;
  // That scheme went to the operating system (OnProtocolExecution); its failure is expected.
  if (errorCode == ERR_UNKNOWN_URL_SCHEME && IsOsProtocolUrl(frame->GetURL().ToString()))
    return;
  NotifyLoadError(browser, frame, errorCode, errorText, failedUrl);
}

void ClientHandler::OnAddressChange(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                    const CefString& url) {
  CEF_REQUIRE_UI_THREAD();
  if (frame->IsMain())
    NotifyAddress(url);
}

void ClientHandler::OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) {
  CEF_REQUIRE_UI_THREAD();
  NotifyTitle(title);
}

void ClientHandler::OnFullscreenModeChange(CefRefPtr<CefBrowser> browser, bool fullscreen) {
  CEF_REQUIRE_UI_THREAD();
  NotifyFullscreen(fullscreen);
}

bool ClientHandler::OnConsoleMessage(CefRefPtr<CefBrowser> browser, const CefString& message,
                                     const CefString& source, int line) {
  CEF_REQUIRE_UI_THREAD();
  OutputDebugStringA(FormatConsoleMessage(message.ToString(), source.ToString(), line).c_str());
  return false;  // the engine logs it as well
}

bool ClientHandler::OnTooltip(CefRefPtr<CefBrowser> browser, CefString& text) {
  CEF_REQUIRE_UI_THREAD();
  HWND owner = browser->GetHost()->GetWindowHandle();
  const std::wstring tip = text.ToWString();
  if (tip.empty()) {
    if (tooltip_hwnd_)
      SendMessageW(tooltip_hwnd_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tooltip_info_));
    tooltip_text_.clear();
    return true;
  }
  if (tip == tooltip_text_.ToWString())
    return true;

  tooltip_text_ = tip;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  tooltip_info_ = TOOLINFOW{};
  tooltip_info_.cbSize = sizeof(tooltip_info_);
  tooltip_info_.uFlags = TTF_IDISHWND;
  tooltip_info_.hwnd = owner;
  tooltip_info_.uId = reinterpret_cast<UINT_PTR>(owner);
  tooltip_info_.hinst = instance;
  // tooltip_text_ keeps the characters alive until the next change.
  tooltip_info_.lpszText = const_cast<wchar_t*>(tooltip_text_.c_str());

  if (!tooltip_hwnd_) {
    EnsureTooltipClass();
    tooltip_hwnd_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                    CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr,
                                    instance, nullptr);
    if (!tooltip_hwnd_)
      return true;
    SendMessageW(tooltip_hwnd_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tooltip_info_));
  }
  SendMessageW(tooltip_hwnd_, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tooltip_info_));
  SendMessageW(tooltip_hwnd_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tooltip_info_));
  return true;  // the engine shows no tooltip of its own
}

}  // namespace client
