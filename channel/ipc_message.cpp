#include "channel/ipc_message.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace IPC {

namespace {

std::atomic<uint32_t> g_nMessageCounter{0};

uint32_t NextReferenceNumber() {
  const uint32_t n = g_nMessageCounter.fetch_add(1) + 1;
  return ((static_cast<uint32_t>(GetCurrentProcessId()) << 14) | (n & 0x3FFFu)) << 8;
}

}  // namespace

Message::Message(int32_t routing, uint32_t type, uint32_t priority) : Pickle(kHeaderSize) {
  SetHeaderValues(routing, type, priority | NextReferenceNumber());
}

Message::Message() : Pickle(kHeaderSize) { SetHeaderValues(0, 0, NextReferenceNumber()); }

Message::Message(const char* data, int length) : Pickle(data, length) {}

void Message::SetHeaderValues(int32_t routing, uint32_t type, uint32_t flags) {
  char* header = MutableHeader();
  if (!header || IsReadOnly()) return;  // a message without a buffer stays unusable
  std::memcpy(header + 4, &routing, sizeof(routing));
  std::memcpy(header + 8, &type, sizeof(type));
  std::memcpy(header + 12, &flags, sizeof(flags));
}

}  // namespace IPC
