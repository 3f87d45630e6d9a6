// The language spoken over the host channel: command codes (host to browser), event codes
// (browser to host), call-result statuses, the item layout of every payload, and builders and
// readers for them. The browser process and the host simulator both use this one header, so
// the two sides cannot drift apart.
//
// Addressing: type = view id (a multiple of 256 below 65536) OR code. The receiver takes the
// code from bits 0-7 and the view from bits 8-15 and ignores bits 16-31. Commands travel with
// routing kRoutingIdBrowser (or kRoutingIdBroadcast), events with kRoutingIdHost, priority 2.
//
// Reading rule: items are read in order; a missing or malformed item leaves its default (0,
// false, empty text); extra items are ignored, except where a layout ends in "*" (the rest of
// the payload is a list of texts).
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "channel/ipc_message.h"
#include "channel/pickle.h"

namespace client {

enum HostCommand : uint32_t {
  MsgToBrowserLoadUrl = 1,
  MsgToBrowserSetCookie = 2,
  MsgToBrowserSetBounds = 3,
  MsgToBrowserShow = 4,
  MsgToBrowserClose = 5,
  MsgToBrowserMute = 6,
  MsgToBrowserCallFunction = 7,
  MsgToBrowserGetCookies = 9,
  MsgToBrowserRegisterFunction = 10,
  MsgToBrowserCreateWebView = 13,
  MsgToBrowserSetCookieSchemes = 14,
  MsgToBrowserDeleteCookies = 15,
  MsgToBrowserGoBack = 16,
  MsgToBrowserGoForward = 17,
  MsgToBrowserReload = 18,
  MsgToBrowserReloadIgnoreCache = 19,
  MsgToBrowserStopLoad = 20,
  MsgToBrowserSetReferer = 21,
  MsgToBrowserSetWorkArea = 22,
};

enum HostEvent : uint32_t {
  MsgToHostBrowserCreated = 0x01,
  MsgToHostWindowDestroyed = 0x02,
  MsgToHostBrowserClosing = 0x03,
  MsgToHostLoadFailed = 0x04,
  MsgToHostLoadEnd = 0x05,
  MsgToHostAddressChange = 0x06,
  MsgToHostTitleChange = 0x07,
  MsgToHostNewWindow = 0x08,
  MsgToHostCallHost = 0x0A,
  MsgToHostCallResult = 0x0B,
  MsgToHostSetBrowserPos = 0x0C,
  MsgToHostCookies = 0x0D,
  MsgToHostFullscreen = 0x0F,
  MsgToHostLoadingState = 0x10,
  MsgToHostFlashPluginMissing = 0x11,
  MsgToHostSubFrameLoadEnd = 0x12,
};

// Status of MsgToHostCallResult.
enum CallStatus : int32_t {
  kCallOk = 0,                    // renderer: the page function returned a value
  kCallBrowserCommand = 1,        // browser: a browser command was handled
  kCallFunctionNotFound = 2,      // renderer
  kCallNoReturnValue = 3,         // renderer
  kCallNoWebView = 4,             // browser: no root window has the view id
  kCallNoBrowser = 5,             // browser: the view has no browser yet
  kCallCreateMessageFailed = 6,   // browser
  kCallSendFailed = 7,            // browser
  kCallEmptyName = 8,             // renderer
};

constexpr uint32_t kHostMessagePriority = 2;

inline constexpr uint32_t CodeOfType(uint32_t type) { return type & 0xFFu; }
inline constexpr uint32_t ViewOfType(uint32_t type) { return type & 0xFF00u; }
// No masking: a view id with low bits set is the host's fault and mixes into the code.
inline constexpr uint32_t MakeMessageType(uint32_t view, uint32_t code) { return view | code; }

// Window handles travel as int64 holding the handle's 32 significant bits zero-extended.
inline int64_t HwndToWire(HWND hwnd) {
  return static_cast<int64_t>(static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(hwnd)));
}
// Back to a handle of this process's bitness (sign-extended, as 64-bit Windows expects).
inline HWND HwndFromWire(int64_t value) {
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<int32_t>(static_cast<uint32_t>(value))));
}

// Execute ids: the renderer carries only the low 32 bits, as a signed int, and answers with
// that int sign-extended.
inline int32_t ExecuteIdToRenderer(int64_t id) { return static_cast<int32_t>(static_cast<uint32_t>(id)); }
inline int64_t ExecuteIdFromRenderer(int32_t id) { return static_cast<int64_t>(id); }

// ---- Payload layouts ---------------------------------------------------------------------
// A layout lists the items as "kind:name" words: i int32, l int64, b bool (a 4-byte slot;
// written as int32 0 or 1), s wstring. A final "*s:name" stands for the texts up to the end.

struct ProtocolEntry {
  uint32_t code;
  const char* name;
  const char* layout;
};

inline constexpr ProtocolEntry kHostCommands[] = {
    {MsgToBrowserLoadUrl, "MsgToBrowserLoadUrl", "s:url s:cookie"},
    {MsgToBrowserSetCookie, "MsgToBrowserSetCookie", "s:url s:cookie"},
    {MsgToBrowserSetBounds, "MsgToBrowserSetBounds", "i:x i:y i:width i:height"},
    {MsgToBrowserShow, "MsgToBrowserShow", "i:show"},
    {MsgToBrowserClose, "MsgToBrowserClose", ""},
    {MsgToBrowserMute, "MsgToBrowserMute", "b:mute"},
    {MsgToBrowserCallFunction, "MsgToBrowserCallFunction", "l:id s:function *s:args"},
    {MsgToBrowserGetCookies, "MsgToBrowserGetCookies", "s:url i:includeHttpOnly"},
    {MsgToBrowserRegisterFunction, "MsgToBrowserRegisterFunction", "s:name"},
    {MsgToBrowserCreateWebView, "MsgToBrowserCreateWebView", "s:switches"},
    {MsgToBrowserSetCookieSchemes, "MsgToBrowserSetCookieSchemes", "s:schemes"},
    {MsgToBrowserDeleteCookies, "MsgToBrowserDeleteCookies", "s:url s:name"},
    {MsgToBrowserGoBack, "MsgToBrowserGoBack", ""},
    {MsgToBrowserGoForward, "MsgToBrowserGoForward", ""},
    {MsgToBrowserReload, "MsgToBrowserReload", ""},
    {MsgToBrowserReloadIgnoreCache, "MsgToBrowserReloadIgnoreCache", ""},
    {MsgToBrowserStopLoad, "MsgToBrowserStopLoad", ""},
    {MsgToBrowserSetReferer, "MsgToBrowserSetReferer", "s:referrer"},
    {MsgToBrowserSetWorkArea, "MsgToBrowserSetWorkArea", "i:x i:y i:width i:height"},
};

inline constexpr ProtocolEntry kHostEvents[] = {
    {MsgToHostBrowserCreated, "MsgToHostBrowserCreated", "l:hwnd"},
    {MsgToHostWindowDestroyed, "MsgToHostWindowDestroyed", ""},
    {MsgToHostBrowserClosing, "MsgToHostBrowserClosing", ""},
    {MsgToHostLoadFailed, "MsgToHostLoadFailed", "s:url s:detail"},
    {MsgToHostLoadEnd, "MsgToHostLoadEnd", "s:url"},
    {MsgToHostAddressChange, "MsgToHostAddressChange", "s:url"},
    {MsgToHostTitleChange, "MsgToHostTitleChange", "s:title"},
    {MsgToHostNewWindow, "MsgToHostNewWindow", "s:url i:popup"},
    {MsgToHostCallHost, "MsgToHostCallHost", "l:id s:method s:callback *s:args"},
    {MsgToHostCallResult, "MsgToHostCallResult", "l:id i:status s:result"},
    {MsgToHostSetBrowserPos, "MsgToHostSetBrowserPos", "s:rect"},
    {MsgToHostCookies, "MsgToHostCookies", "s:url s:cookies"},
    {MsgToHostFullscreen, "MsgToHostFullscreen", "i:fullscreen"},
    {MsgToHostLoadingState, "MsgToHostLoadingState", "i:canGoBack i:canGoForward i:isLoading"},
    {MsgToHostFlashPluginMissing, "MsgToHostFlashPluginMissing", ""},
    {MsgToHostSubFrameLoadEnd, "MsgToHostSubFrameLoadEnd", "s:url l:frameId"},
};

// Null for a code outside the table (a code the receiver ignores).
template <size_t N>
inline const ProtocolEntry* FindProtocolEntry(const ProtocolEntry (&table)[N], uint32_t code) {
  for (const ProtocolEntry& entry : table) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}
inline const ProtocolEntry* FindHostCommand(uint32_t code) { return FindProtocolEntry(kHostCommands, code); }
inline const ProtocolEntry* FindHostEvent(uint32_t code) { return FindProtocolEntry(kHostEvents, code); }

// One decoded or to-be-written item.
struct PayloadItem {
  char kind = 's';        // 'i', 'l', 'b' or 's'
  std::string name;       // from the layout ("args" for every text of a "*" list)
  bool present = false;   // read from the payload (false: the default stands in)
  int64_t number = 0;     // i, l, b
  std::wstring text;      // s
};

// One word of a layout.
struct LayoutWord {
  char kind;
  bool rest;
  std::string name;
};

inline std::vector<LayoutWord> SplitLayout(const char* layout) {
  std::vector<LayoutWord> words;
  const char* p = layout;
  while (*p) {
    while (*p == ' ') ++p;
    if (!*p) break;
    LayoutWord word{0, false, std::string()};
    if (*p == '*') {
      word.rest = true;
      ++p;
    }
    word.kind = *p++;
    if (*p == ':') ++p;
    while (*p && *p != ' ') word.name += *p++;
    words.push_back(word);
  }
  return words;
}

// Reads the items of a layout from a message by the reading rule. Every fixed item appears in
// the result (present or not); a "*" list adds one item per text found.
inline std::vector<PayloadItem> DecodePayload(const IPC::Message& message, const char* layout) {
  std::vector<PayloadItem> items;
  PickleReader reader(message);
  for (const LayoutWord& word : SplitLayout(layout)) {
    if (word.rest) {
      for (;;) {
        PayloadItem item;
        item.kind = 's';
        item.name = word.name;
        if (!reader.ReadString16(&item.text)) break;
        item.present = true;
        items.push_back(item);
      }
      break;
    }
    PayloadItem item;
    item.kind = word.kind;
    item.name = word.name;
    switch (word.kind) {
      case 'i': {
        int value = 0;
        item.present = reader.ReadInt(&value);
        if (item.present) item.number = value;
        break;
      }
      case 'l': {
        int64_t value = 0;
        item.present = reader.ReadInt64(&value);
        if (item.present) item.number = value;
        break;
      }
      case 'b': {
        bool value = false;
        item.present = reader.ReadBool(&value);
        if (item.present) item.number = value ? 1 : 0;
        break;
      }
      default: {
        std::wstring value;
        item.present = reader.ReadString16(&value);
        if (item.present) item.text = value;
        break;
      }
    }
    items.push_back(item);
  }
  return items;
}

// Appends the items in the order given, each by its own kind (bool as int32 0 or 1). Items
// that are not present are not written. False when the message cannot grow.
[[nodiscard]] inline bool EncodePayload(IPC::Message* message, const std::vector<PayloadItem>& items) {
  for (const PayloadItem& item : items) {
    if (!item.present) continue;
    bool ok = true;
    switch (item.kind) {
      case 'i': ok = message->WriteInt(static_cast<int32_t>(item.number)); break;
      case 'b': ok = message->WriteInt(item.number ? 1 : 0); break;
      case 'l': ok = message->WriteInt64(item.number); break;
      default: ok = message->WriteString16(item.text); break;
    }
    if (!ok) return false;
  }
  return true;
}

// ---- Builders of events (browser side) --------------------------------------------------
// Each returns a complete message: routing kRoutingIdHost, priority 2, type = view | code.
// A write can only fail when memory runs out; the message is then marked as missing items and
// the channel refuses to send it (with a log line).

namespace protocol_detail {

inline IPC::Message NewEvent(uint32_t view, HostEvent code) {
  return IPC::Message(kRoutingIdHost, MakeMessageType(view, code), kHostMessagePriority);
}
inline void Put(IPC::Message& m, int32_t value) { (void)m.WriteInt(value); }
inline void Put64(IPC::Message& m, int64_t value) { (void)m.WriteInt64(value); }
inline void Put(IPC::Message& m, const std::wstring& value) { (void)m.WriteString16(value); }

}  // namespace protocol_detail

inline IPC::Message MakeBrowserCreatedEvent(uint32_t view, HWND root_window) {
  IPC::Message m = protocol_detail::NewEvent(view, MsgToHostBrowserCreated);
  protocol_detail::Put64(m, HwndToWire(root_window));
  return m;
}
inline IPC::Message MakeWindowDestroyedEvent(uint32_t view) {
  return protocol_detail::NewEvent(view, MsgToHostWindowDestroyed);
}
inline IPC::Message MakeBrowserClosingEvent(uint32_t view) {
  return protocol_detail::NewEvent(view, MsgToHostBrowserClosing);
}
inline IPC::Message MakeLoadFailedEvent(uint32_t view, const std::wstring& url, const std::wstring& detail) {
  IPC::Message m = protocol_detail::NewEvent(view, MsgToHostLoadFailed);
  protocol_detail::Put(m, url);
  protocol_detail::Put(m, detail);
  return m;
}
inline IPC::Message MakeTextEvent(uint32_t view, HostEvent code, const std::wstring& text) {
  IPC::Message m = protocol_detail::NewEvent(view, code);
  protocol_detail::Put(m, text);
  return m;
}
inline IPC::Message MakeLoadEndEvent(uint32_t view, const std::wstring& url) {
  return MakeTextEvent(view, MsgToHostLoadEnd, url);
}
inline IPC::Message MakeAddressChangeEvent(uint32_t view, const std::wstring& url) {
  return MakeTextEvent(view, MsgToHostAddressChange, url);
}
inline IPC::Message MakeTitleChangeEvent(uint32_t view, const std::wstring& title) {
  return MakeTextEvent(view, MsgToHostTitleChange, title);
}
// The second item (1) is written only for a request that came from a pop-up.
inline IPC::Message MakeNewWindowEvent(uint32_t view, const std::wstring& url, bool from_popup) {
  IPC::Message m = MakeTextEvent(view, MsgToHostNewWindow, url);
  if (from_popup) protocol_detail::Put(m, 1);
  return m;
}
// Checked writers of the events relayed from the renderer: each appends its event's items to a
// message made with NewHostEvent and answers false when the message could not hold them (it must
// not be sent then).
inline IPC::Message NewHostEvent(uint32_t view, HostEvent code) { return protocol_detail::NewEvent(view, code); }
[[nodiscard]] inline bool WriteCallHostItems(IPC::Message* m, int64_t execute_id, const std::wstring& method,
                                             const std::wstring& callback_key, const std::vector<std::wstring>& args) {
  if (!m->WriteInt64(execute_id) || !m->WriteString16(method) || !m->WriteString16(callback_key)) return false;
  for (const std::wstring& arg : args) {
    if (!m->WriteString16(arg)) return false;
  }
  return true;
}
[[nodiscard]] inline bool WriteCallResultItems(IPC::Message* m, int64_t execute_id, int32_t status,
                                               const std::wstring& result) {
  return m->WriteInt64(execute_id) && m->WriteInt(status) && m->WriteString16(result);
}
[[nodiscard]] inline bool WriteSetBrowserPosItems(IPC::Message* m, const std::wstring& rect_text) {
  return m->WriteString16(rect_text);
}

inline IPC::Message MakeCallHostEvent(uint32_t view, int64_t execute_id, const std::wstring& method,
                                      const std::wstring& callback_key, const std::vector<std::wstring>& args) {
  IPC::Message m = NewHostEvent(view, MsgToHostCallHost);
  (void)WriteCallHostItems(&m, execute_id, method, callback_key, args);
  return m;
}
inline IPC::Message MakeCallResultEvent(uint32_t view, int64_t execute_id, int32_t status,
                                        const std::wstring& result) {
  IPC::Message m = NewHostEvent(view, MsgToHostCallResult);
  (void)WriteCallResultItems(&m, execute_id, status, result);
  return m;
}
inline IPC::Message MakeSetBrowserPosEvent(uint32_t view, const std::wstring& rect_text) {
  IPC::Message m = NewHostEvent(view, MsgToHostSetBrowserPos);
  (void)WriteSetBrowserPosItems(&m, rect_text);
  return m;
}
inline IPC::Message MakeCookiesEvent(uint32_t view, const std::wstring& url, const std::wstring& cookies) {
  IPC::Message m = MakeTextEvent(view, MsgToHostCookies, url);
  protocol_detail::Put(m, cookies);
  return m;
}
inline IPC::Message MakeFullscreenEvent(uint32_t view, bool fullscreen) {
  IPC::Message m = protocol_detail::NewEvent(view, MsgToHostFullscreen);
  protocol_detail::Put(m, fullscreen ? 1 : 0);
  return m;
}
inline IPC::Message MakeLoadingStateEvent(uint32_t view, bool can_go_back, bool can_go_forward, bool is_loading) {
  IPC::Message m = protocol_detail::NewEvent(view, MsgToHostLoadingState);
  protocol_detail::Put(m, can_go_back ? 1 : 0);
  protocol_detail::Put(m, can_go_forward ? 1 : 0);
  protocol_detail::Put(m, is_loading ? 1 : 0);
  return m;
}
inline IPC::Message MakeFlashPluginMissingEvent(uint32_t view) {
  return protocol_detail::NewEvent(view, MsgToHostFlashPluginMissing);
}
inline IPC::Message MakeSubFrameLoadEndEvent(uint32_t view, const std::wstring& url, int64_t frame_id) {
  IPC::Message m = MakeTextEvent(view, MsgToHostSubFrameLoadEnd, url);
  protocol_detail::Put64(m, frame_id);
  return m;
}

// Detail texts of MsgToHostLoadFailed. The code part is formatted into 64 units (at most 63
// characters); the error text is appended whole.
inline std::wstring MakeStatusCodeDetail(int status) {
  wchar_t buffer[64] = {};
  _snwprintf(buffer, 63, L"@StatusCode=%d", status);
  return buffer;
}
inline std::wstring MakeErrorCodeDetail(int error_code, const std::wstring& error_text) {
  wchar_t buffer[64] = {};
  _snwprintf(buffer, 63, L"@ErrorCode=%d", error_code);
  std::wstring detail = buffer;
  if (!error_text.empty()) detail += L", " + error_text;
  return detail;
}

// ---- Builders of commands (host side) ---------------------------------------------------

// A command with the given items (see SplitLayout for their kinds). Routing kRoutingIdBrowser, priority 2.
[[nodiscard]] inline bool MakeCommand(uint32_t view, HostCommand code, const std::vector<PayloadItem>& items,
                                      IPC::Message* out) {
  *out = IPC::Message(kRoutingIdBrowser, MakeMessageType(view, code), kHostMessagePriority);
  return EncodePayload(out, items);
}

}  // namespace client
