#include "tools/hostsim/event_json.h"

#include <windows.h>

#include <cstdio>

#include "browser/host_protocol.h"

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof(buffer), "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string JsonString(const std::wstring& text) { return JsonString(ToUtf8(text)); }

namespace {

std::string MessageToJson(const IPC::Message& message, const char* key, bool event) {
  const uint32_t code = client::CodeOfType(message.GetType());
  const uint32_t view = client::ViewOfType(message.GetType());
  const client::ProtocolEntry* entry = event ? client::FindHostEvent(code) : client::FindHostCommand(code);
  std::string out = "{\"" + std::string(key) + "\":" + JsonString(std::string(entry ? entry->name : "unknown")) +
                    ",\"code\":" + std::to_string(code) + ",\"view\":" + std::to_string(view);
  if (!entry) return out + ",\"size\":" + std::to_string(message.GetPayloadSize()) + "}";
  bool in_list = false;
  for (const client::PayloadItem& item : client::DecodePayload(message, entry->layout)) {
    if (!item.present) continue;
    const bool list_item = std::string(entry->layout).find("*s:" + item.name) != std::string::npos;
    if (list_item) {
      out += in_list ? "," : ",\"" + item.name + "\":[";
      in_list = true;
      out += JsonString(item.text);
      continue;
    }
    out += ",\"" + item.name + "\":";
    out += item.kind == 's' ? JsonString(item.text) : std::to_string(item.number);
  }
  if (in_list) out += "]";
  // A call without arguments still shows its (empty) list.
  if (!in_list && std::string(entry->layout).find('*') != std::string::npos) {
    const std::string layout = entry->layout;
    out += ",\"" + layout.substr(layout.find('*') + 3) + "\":[]";
  }
  return out + "}";
}

}  // namespace

std::string EventToJson(const IPC::Message& message) { return MessageToJson(message, "event", true); }

std::string CommandToJson(const IPC::Message& message) { return MessageToJson(message, "command", false); }
