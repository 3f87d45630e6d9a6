#include "render/client_renderer.h"

#include "include/wrapper/cef_message_router.h"
#include "render/process_messages.h"

namespace client {
namespace renderer {

namespace {

class ClientRenderDelegate : public ClientAppRenderer::Delegate {
 public:
  ClientRenderDelegate() {}

  void OnWebKitInitialized(CefRefPtr<ClientAppRenderer> app) override {
    // Default names on both sides, so the browser's router knows the page functions and messages.
    CefMessageRouterConfig config;
    message_router_ = CefMessageRouterRendererSide::Create(config);
  }

  void OnContextCreated(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    if (message_router_)
      message_router_->OnContextCreated(browser, frame, context);
  }

  void OnContextReleased(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override {
    if (message_router_)
      message_router_->OnContextReleased(browser, frame, context);
  }

  void OnFocusedNodeChanged(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                            CefRefPtr<CefFrame> frame, CefRefPtr<CefDOMNode> node) override {
    const bool is_editable = node && node->IsEditable();
    if (is_editable == last_node_is_editable_)
      return;
    last_node_is_editable_ = is_editable;
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(process_message::kFocusedNodeChanged);
    if (!message || !browser)
      return;
    message->GetArgumentList()->SetBool(0, is_editable);
    // The browser only keeps the flag for its key handling; a refused send changes nothing here.
    browser->SendProcessMessage(PID_BROWSER, message);
  }

  bool OnProcessMessageReceived(CefRefPtr<ClientAppRenderer> app, CefRefPtr<CefBrowser> browser,
                                CefProcessId source_process, CefRefPtr<CefProcessMessage> message) override {
    return message_router_ && message_router_->OnProcessMessageReceived(browser, source_process, message);
  }

 private:
  // Last editability reported to the browser, for every browser and frame of the process; the
  // first report goes out when an editable element first gets focus.
  bool last_node_is_editable_ = false;
  CefRefPtr<CefMessageRouterRendererSide> message_router_;

  IMPLEMENT_REFCOUNTING(ClientRenderDelegate);
  DISALLOW_COPY_AND_ASSIGN(ClientRenderDelegate);
};

}  // namespace

void CreateDelegates(ClientAppRenderer::DelegateSet& delegates) {
  delegates.insert(new ClientRenderDelegate);
}

}  // namespace renderer
}  // namespace client
