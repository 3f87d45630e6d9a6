// The browser end of the script bridge: messages of the renderer relayed to the host, to the
// off-screen window and to the message router.
//
// A page decides how much its messages carry and how often it sends them, so every relayed
// message is held to kMaxRelayedArgumentBytes, each text is copied once, and every copy on the
// way fails softly: an ERROR line and the message is dropped, never an abort or an exception
// into the engine's UI thread.
#include "browser/client_handler.h"

#include <cstdint>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "base/log.h"
#include "browser/drag_area_message.h"
#include "browser/host_protocol.h"
#include "browser/main_context.h"
#include "include/wrapper/cef_helpers.h"
#include "render/process_messages.h"

namespace client {

namespace {

// Queued for the channel's sender thread.
void SendToHost(IPC::Message& message) {
  if (MainContext* context = MainContext::Get())
    context->SendToHost(message, false);
}

// The difference without signed overflow (wraps like the window system's own arithmetic).
int Extent(int from, int to) {
  return static_cast<int>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

void LogTooLarge(const char* name) {
  LogErrorA("ClientHandler::OnProcessMessageReceived %s carries more than %u bytes, dropped", name,
            static_cast<unsigned>(ClientHandler::kMaxRelayedArgumentBytes));
}

void LogNoMemory(const char* name) {
  LogErrorA("ClientHandler::OnProcessMessageReceived no memory for %s, dropped", name);
}

}  // namespace

// Reads the arguments of one renderer message for the relay and adds up what they carry, as the
// host event holds them: a text its 4-byte count and 2 bytes per UTF-16 unit, a number 8 bytes.
// Missing or mistyped arguments read as 0 or "".
class RelayedArguments {
 public:
  explicit RelayedArguments(CefRefPtr<CefListValue> args) : args_(args) {}

  size_t size() const { return args_->GetSize(); }
  bool IsText(size_t index) const { return args_->GetType(index) == VTYPE_STRING; }
  int32 Int(size_t index) {
    Count(8);
    return args_->GetInt(index);
  }
  // False (out unchanged, nothing copied) once the message carries more than the limit.
  // Running out of memory raises std::bad_alloc.
  [[nodiscard]] bool Text(size_t index, std::wstring* out) {
    const CefString text = args_->GetString(index);
    Count(4 + 2 * static_cast<uint64_t>(text.length()));
    if (too_large())
      return false;
    out->assign(text.c_str(), text.length());
    return true;
  }

  bool too_large() const { return bytes_ > ClientHandler::kMaxRelayedArgumentBytes; }
  // Enough payload for the event: the bytes counted and the padding after each item.
  uint32_t EventPayloadBytes() const { return static_cast<uint32_t>(bytes_ + 4 * items_); }

 private:
  void Count(uint64_t bytes) {
    bytes_ += bytes;
    ++items_;
  }

  CefRefPtr<CefListValue> args_;
  uint64_t bytes_ = 0;
  uint64_t items_ = 0;
};

bool ClientHandler::OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                             CefRefPtr<CefProcessMessage> message) {
  CEF_REQUIRE_UI_THREAD();
  const std::string name = message->GetName().ToString();
  const int32 web_view_id = AskDelegate(0, [](Delegate* delegate) { return delegate->GetWebViewId(); });
  CefRefPtr<CefListValue> args = message->GetArgumentList();

  if (name == process_message::kDragAreaList || name == process_message::kSetBrowserPos ||
      name == process_message::kCallResult || name == process_message::kCallHost) {
    // Every bridge message counts as taken, relayed or dropped.
    try {
      if (!Relay(name, browser, source_process, static_cast<uint32_t>(web_view_id), args))
        LogTooLarge(name.c_str());
    } catch (const std::bad_alloc&) {
      LogNoMemory(name.c_str());
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

template <typename Write>
void ClientHandler::SendHostEvent(const std::string& name, uint32_t view, HostEvent code,
                                  const RelayedArguments& read, Write write) {
  // One allocation of the whole event, then its items.
  IPC::Message event = NewHostEvent(view, code);
  if (!event.IsUsable() || !event.Resize(event.GetHeaderSize() + read.EventPayloadBytes()) || !write(&event)) {
    LogNoMemory(name.c_str());
    return;
  }
  SendToHost(event);
}

bool ClientHandler::Relay(const std::string& name, CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                          uint32_t view, CefRefPtr<CefListValue> args) {
  RelayedArguments read(args);
  if (name == process_message::kDragAreaList)
    return RelayDragAreas(browser, source_process, &read);
  if (name == process_message::kSetBrowserPos)
    return RelayBrowserPosition(view, &read);

  if (name == process_message::kCallResult) {
    const int64_t execute_id = ExecuteIdFromRenderer(read.Int(0));
    const int32 status = read.Int(1);
    std::wstring result;
    if (!read.Text(2, &result))
      return false;
    SendHostEvent(name, view, MsgToHostCallResult, read, [&](IPC::Message* event) {
      return WriteCallResultItems(event, execute_id, status, result);
    });
    return true;
  }

  // A call without its callback key is dropped; the page already has its execute id.
  if (read.size() < 3)
    return true;
  const int64_t execute_id = ExecuteIdFromRenderer(read.Int(0));
  std::wstring method, key;
  if (!read.Text(1, &method) || !read.Text(2, &key))
    return false;
  std::vector<std::wstring> rest;
  for (size_t i = 3; i < read.size(); ++i) {
    rest.emplace_back();
    if (!read.Text(i, &rest.back()))
      return false;
  }
  SendHostEvent(name, view, MsgToHostCallHost, read, [&](IPC::Message* event) {
    return WriteCallHostItems(event, execute_id, method, key, rest);
  });
  return true;
}

bool ClientHandler::RelayDragAreas(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                   RelayedArguments* read) {
  // A windowless browser's window is its off-screen window, which keeps the list.
  HWND window = browser->GetHost()->GetWindowHandle();
  if (!is_osr_ || !window)
    return true;
  const bool has_text = read->IsText(0);
  std::wstring text;
  if (!read->Text(0, &text))
    return false;
  // The window copies the text before it releases this call.
  SendDragAreaList(window, static_cast<WPARAM>(source_process), has_text ? text.c_str() : nullptr);
  return true;
}

bool ClientHandler::RelayBrowserPosition(uint32_t view, RelayedArguments* read) {
  std::wstring text;
  if (!read->Text(0, &text))
    return false;
  HWND window = AskDelegate<HWND>(nullptr, [](Delegate* delegate) { return delegate->GetParentWindowHandle(); });
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
  SendHostEvent(process_message::kSetBrowserPos, view, MsgToHostSetBrowserPos, *read,
                [&](IPC::Message* event) { return WriteSetBrowserPosItems(event, text); });
  return true;
}

}  // namespace client
