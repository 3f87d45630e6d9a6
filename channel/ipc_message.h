// One message of the host channel: a 16-byte header followed by a pickle payload.
//
//   offset 0  u32 payload_size   (last item without its padding)
//   offset 4  i32 routing        kRoutingIdBroadcast / kRoutingIdBrowser / kRoutingIdHost
//   offset 8  u32 type           view id (multiple of 256) OR a code in the low 8 bits
//   offset 12 u32 flags          bits 0-7 priority, bits 8-31 reference number
//
// The reference number is ((process id << 14) | (n & 0x3FFF)) << 8 in 32 bits, n being a
// process-wide counter that every message built with a header advances by 1 (first n is 1).
#pragma once

#include <cstdint>
#include <cstring>

#include "channel/pickle.h"

// Routing ids of the host channel.
enum : int32_t {
  kRoutingIdBroadcast = 0,  // every listener of the receiving end
  kRoutingIdBrowser = 1,    // the browser process's context
  kRoutingIdHost = 2,       // the host application
};

namespace IPC {

class Message : public Pickle {
 public:
  static constexpr int kHeaderSize = 16;

  // Unusable (see Pickle) when its first buffer cannot be allocated; it still counts.
  Message(int32_t routing, uint32_t type, uint32_t priority);
  Message();  // routing 0, type 0, flags = the reference number alone
  // Read-only view of a received block; the bytes are borrowed (see Pickle). The header
  // fields read as 0 unless the view IsUsable() and holds at least kHeaderSize bytes.
  Message(const char* data, int length);
  Message(const Message& other) = default;
  Message& operator=(const Message& other) = default;
  ~Message() override = default;

  // Owned messages only; nothing for an unusable one.
  void SetHeaderValues(int32_t routing, uint32_t type, uint32_t flags);

  int32_t GetRouting() const { return ReadHeaderField<int32_t>(4); }
  uint32_t GetType() const { return ReadHeaderField<uint32_t>(8); }
  uint32_t GetFlags() const { return ReadHeaderField<uint32_t>(12); }

 private:
  template <typename T>
  T ReadHeaderField(int offset) const;
};

template <typename T>
T Message::ReadHeaderField(int offset) const {
  T value = 0;
  if (GetSize() >= kHeaderSize) std::memcpy(&value, GetData() + offset, sizeof(value));
  return value;
}

}  // namespace IPC
