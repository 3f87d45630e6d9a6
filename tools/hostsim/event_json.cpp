#include "tools/hostsim/event_json.h"

#include "browser/host_protocol.h"
#include "tools/json_text.h"

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
