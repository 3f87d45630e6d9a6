// The browser end of the script bridge: messages of the renderer relayed to the host, to the
// off-screen window and to the message router.
#include "browser/client_handler.h"

#include <cstdint>
#include <cwchar>

#include "browser/host_protocol.h"
#include "browser/main_context.h"
#include "browser/drag_area_message.h"
#include "render/process_messages.h"
#include "include/wrapper/cef_helpers.h"

namespace client {

namespace {

// Queued for the channel's sender thread.
void SendToHost(IPC::Message message) {
  if (MainContext* context = MainContext::Get())
    context->SendToHost(message, false);
}

// The difference without signed overflow (wraps like the window system's own arithmetic).
int Extent(int from, int to) {
  return static_cast<int>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

}  // namespace

bool ClientHandler::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                             CefRefPtr<CefProcessMessage> message) {
  CEF_REQUIRE_UI_THREAD();
  const std::string name = message->GetName().ToString();
  const int32 web_view_id = AskDelegate(0, [](Delegate* delegate) { return delegate->GetWebViewId(); });
  const uint32_t view = static_cast<uint32_t>(web_view_id);
  // Missing or mistyped arguments read as 0, false or "".
  CefRefPtr<CefListValue> args = message->GetArgumentList();

  if (name == process_message::kDragAreaList) {
    RelayDragAreas(browser, source_process, args);
    return true;
  }
  if (name == process_message::kSetBrowserPos) {
    RelayBrowserPosition(web_view_id, args);
    return true;
  }
  if (name == process_message::kCallResult) {
    SendToHost(MakeCallResultEvent(view, ExecuteIdFromRenderer(args->GetInt(0)), args->GetInt(1),
                                   args->GetString(2).ToWString()));
    return true;
  }
  if (name == process_message::kCallHost) {
    // A call without its callback key is dropped; the page already has its execute id.
    const size_t count = args->GetSize();
    if (count >= 3) {
      std::vector<std::wstring> rest;
      for (size_t i = 3; i < count; ++i)
        rest.push_back(args->GetString(i).ToWString());
      SendToHost(MakeCallHostEvent(view, ExecuteIdFromRenderer(args->GetInt(0)), args->GetString(1).ToWString(),
                                   args->GetString(2).ToWString(), rest));
    }
    return true;
  }
  if (message_router_ && message_router_->OnProcessMessageReceived(browser, source_process, message))
    return true;
  if (name == process_message::kFocusedNodeChanged) {
    focus_on_editable_field_ = args->GetBool(0);
    return true;
  }
  return false;
}

void ClientHandler::RelayDragAreas(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                   CefRefPtr<CefListValue> args) {
  // A windowless browser's window is its off-screen window, which keeps the list.
  HWND window = browser->GetHost()->GetWindowHandle();
  if (!is_osr_ || !window)
    return;
  const bool has_text = args->GetType(0) == VTYPE_STRING;
  const std::wstring text = args->GetString(0).ToWString();
  // The window copies the text before it releases this call.
  SendMessageW(window, DragAreaListWindowMessage(), static_cast<WPARAM>(source_process),
               has_text ? reinterpret_cast<LPARAM>(text.c_str()) : 0);
}

void ClientHandler::RelayBrowserPosition(int32 web_view_id, CefRefPtr<CefListValue> args) {
  HWND window = AskDelegate<HWND>(nullptr, [](Delegate* delegate) { return delegate->GetParentWindowHandle(); });
  const std::wstring text = args->GetString(0).ToWString();
  if (window && is_osr_ && !text.empty()) {
    int left = 0, top = 0, right = 0, bottom = 0;
    if (swscanf(text.c_str(), L"{%d,%d,%d,%d}", &left, &top, &right, &bottom) == 4) {
      UINT flags = 0;
      if (left == 0 && top == 0)
        flags |= SWP_NOMOVE;
      if (right == 0 && bottom == 0)
        flags |= SWP_NOSIZE;
      // All zeros only raises the window.
      if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE))
        flags |= SWP_NOZORDER;
      SetWindowPos(window, HWND_TOP, left, top, Extent(left, right), Extent(top, bottom), flags);
    }
  }
  // The host hears every request, moved or not.
  SendToHost(MakeSetBrowserPosEvent(static_cast<uint32_t>(web_view_id), text));
}

}  // namespace client
