// Items of host messages, built as the host encodes them, for tests that make such messages.
#pragma once

#include <cstdint>
#include <string>

#include "browser/host_protocol.h"

namespace payload_items {

inline client::PayloadItem Text(const std::wstring& text) {
  client::PayloadItem item;
  item.kind = 's';
  item.present = true;
  item.text = text;
  return item;
}
inline client::PayloadItem Int(int64_t value) {
  client::PayloadItem item;
  item.kind = 'i';
  item.present = true;
  item.number = value;
  return item;
}
inline client::PayloadItem Int64(int64_t value) {
  client::PayloadItem item = Int(value);
  item.kind = 'l';
  return item;
}
inline client::PayloadItem Bool(bool value) {
  client::PayloadItem item = Int(value ? 1 : 0);
  item.kind = 'b';
  return item;
}

}  // namespace payload_items
