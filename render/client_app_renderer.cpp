#include "render/client_app_renderer.h"

#include <windows.h>

#include <string>

#include "base/log.h"
#include "include/cef_parser.h"
#include "product/kiv_statistic.h"
#include "render/client_renderer.h"
#include "render/process_messages.h"
#include "render/render_sync_caller.h"

namespace client {

ClientAppRenderer::ClientAppRenderer() {
  CreateDelegates(delegates_);
}

ClientAppRenderer::ClientAppRenderer(const DelegateSet& delegates) : delegates_(delegates) {}

void ClientAppRenderer::CreateDelegates(DelegateSet& delegates) {
  renderer::CreateDelegates(delegates);
  render_sync_call::CreateDelegates(delegates);
}

bool ClientAppRenderer::IsHostWindowValid() {
  if (host_window_handle_ == 0)
    return true;
  // The handle travels as its 32 significant bits; widen it the way 64-bit Windows expects.
  if (IsWindow(reinterpret_cast<HWND>(static_cast<LONG_PTR>(host_window_handle_))))
    return true;
  const std::wstring extra = L"&ex1=" + CefURIEncode(host_window_class_, false).ToWString();
  if (CKivStatistic* statistic = GetKivStatistic())
    statistic->Report(L"browser_non", extra.c_str(), FALSE, nullptr, nullptr);
  return false;
}

void ClientAppRenderer::ForgetHostWindow() {
  host_window_handle_ = 0;
  LogInfoA("render recv browser destory");
}

void ClientAppRenderer::OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) {
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnRenderThreadCreated(this, extra_info);
}

void ClientAppRenderer::OnWebKitInitialized() {
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnWebKitInitialized(this);
}

void ClientAppRenderer::OnBrowserCreated(CefRefPtr<CefBrowser> browser) {
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnBrowserCreated(this, browser);
}

void ClientAppRenderer::OnBrowserDestroyed(CefRefPtr<CefBrowser> browser) {
  ForgetHostWindow();
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnBrowserDestroyed(this, browser);
}

CefRefPtr<CefLoadHandler> ClientAppRenderer::GetLoadHandler() {
  for (const CefRefPtr<Delegate>& delegate : delegates_) {
    CefRefPtr<CefLoadHandler> handler = delegate->GetLoadHandler(this);
    if (handler)
      return handler;
  }
  return nullptr;
}

bool ClientAppRenderer::OnBeforeNavigation(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                           CefRefPtr<CefRequest> request, NavigationType navigation_type,
                                           bool is_redirect) {
  for (const CefRefPtr<Delegate>& delegate : delegates_) {
    if (delegate->OnBeforeNavigation(this, browser, frame, request, navigation_type, is_redirect))
      return true;
  }
  return false;
}

void ClientAppRenderer::OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                         CefRefPtr<CefV8Context> context) {
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnContextCreated(this, browser, frame, context);
}

void ClientAppRenderer::OnContextReleased(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                          CefRefPtr<CefV8Context> context) {
  // Any released document, of any frame, clears the record: the end-of-process check then passes
  // until the browser names a window again.
  ForgetHostWindow();
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnContextReleased(this, browser, frame, context);
}

void ClientAppRenderer::OnUncaughtException(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                            CefRefPtr<CefV8Context> context, CefRefPtr<CefV8Exception> exception,
                                            CefRefPtr<CefV8StackTrace> stack_trace) {
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnUncaughtException(this, browser, frame, context, exception, stack_trace);
}

void ClientAppRenderer::OnFocusedNodeChanged(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                             CefRefPtr<CefDOMNode> node) {
  for (const CefRefPtr<Delegate>& delegate : delegates_)
    delegate->OnFocusedNodeChanged(this, browser, frame, node);
}

bool ClientAppRenderer::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                                 CefRefPtr<CefProcessMessage> message) {
  bool handled = false;
  for (const CefRefPtr<Delegate>& delegate : delegates_) {
    handled = delegate->OnProcessMessageReceived(this, browser, source_process, message);
    if (handled)
      break;
  }

  if (message && message->GetName() == process_message::kHostWindowHandle) {
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    if (args && args->GetSize() >= process_message::kHostWindowHandleMinArgs) {
      host_window_handle_ = args->GetInt(process_message::kHostWindowHandleHwnd);
      host_window_class_ = args->GetString(process_message::kHostWindowHandleClass);
      LogInfoW(L"render recv browser_host_window_handle:0x%x, value=%d, class=%s", host_window_handle_,
               host_window_handle_, host_window_class_.ToWString().c_str());
    }
  }
  return handled;
}

}  // namespace client
