#include "browser/browser_window.h"

namespace client {

BrowserWindow::BrowserWindow(Delegate* delegate, int32 web_view_id)
    : delegate_(delegate), web_view_id_(web_view_id) {}

BrowserWindow::~BrowserWindow() {
  // A browser that outlives its window (the root window went first) reports to nobody.
  DetachClientHandler();
  client_handler_ = nullptr;
  browser_ = nullptr;
}

void BrowserWindow::DetachClientHandler() {
  if (client_handler_)
    client_handler_->DetachDelegate();
}

void BrowserWindow::OnBrowserCreated(CefRefPtr<CefBrowser> browser) {
  browser_ = browser;
  delegate_->OnBrowserCreated(browser);
}

void BrowserWindow::OnBrowserClosing(CefRefPtr<CefBrowser> browser) {
  delegate_->OnBrowserClosing(browser);
}

void BrowserWindow::OnBrowserClosed(CefRefPtr<CefBrowser> browser) {
  browser_ = nullptr;
  // No later event of the handler reaches this object.
  if (client_handler_)
    client_handler_->DetachDelegate();
  client_handler_ = nullptr;
  delegate_->OnBrowserWindowDestroyed();
}

void BrowserWindow::OnSetAddress(const std::string& url) {
  delegate_->OnSetAddress(url);
}

void BrowserWindow::OnSetTitle(const std::string& title) {
  delegate_->OnSetTitle(title);
}

void BrowserWindow::OnSetFullscreen(bool fullscreen) {
  delegate_->OnSetFullscreen(fullscreen);
}

void BrowserWindow::OnSetLoadingState(bool isLoading, bool canGoBack, bool canGoForward) {
  delegate_->OnSetLoadingState(isLoading, canGoBack, canGoForward);
}

void BrowserWindow::OnLoadStart(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) {
  if (frame->IsMain())
    delegate_->OnLoadStart(browser, frame);
}

void BrowserWindow::OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int httpStatusCode) {
  delegate_->OnLoadEnd(browser, frame, httpStatusCode);
}

void BrowserWindow::OnLoadError(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                cef_errorcode_t errorCode, const CefString& errorText, const CefString& failedUrl) {
  if (frame->IsMain())
    delegate_->OnLoadError(browser, frame, errorCode, errorText, failedUrl);
}

void BrowserWindow::OnOpenUrlFromTab(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                     const CefString& targetUrl, cef_window_open_disposition_t disposition,
                                     bool userGesture) {
  delegate_->OnOpenUrlFromTab(browser, frame, targetUrl, disposition, userGesture);
}

void BrowserWindow::OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                  const CefString& targetUrl, cef_window_open_disposition_t disposition,
                                  bool userGesture) {
  delegate_->OnBeforePopup(browser, frame, targetUrl, disposition, userGesture);
}

bool BrowserWindow::OnBrowserDoClose(CefRefPtr<CefBrowser> browser) {
  if (!delegate_)
    return true;
  const bool requested = delegate_->IsCloseRequested(browser);
  if (requested)
    is_closing_ = true;
  return requested;
}

std::wstring BrowserWindow::GetReferrer() {
  base::AutoLock hold(lock_);
  return referrer_;
}

bool BrowserWindow::HasWorkArea() {
  base::AutoLock hold(lock_);
  return has_work_area_;
}

CefRect BrowserWindow::GetWorkArea() {
  base::AutoLock hold(lock_);
  return work_area_;
}

void BrowserWindow::SetReferrer(const std::wstring& referrer) {
  base::AutoLock hold(lock_);
  referrer_ = referrer;
}

void BrowserWindow::SetWorkArea(const CefRect& work_area) {
  base::AutoLock hold(lock_);
  work_area_ = work_area;
  has_work_area_ = work_area.width > 0 || work_area.height > 0;
}

}  // namespace client
