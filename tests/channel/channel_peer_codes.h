// Private message types spoken between the channel tests and their peer process.
#pragma once

#include <windows.h>

#include <cstdint>

namespace peer_codes {

constexpr uint32_t kHello = 0x10;       // peer -> test, sync: int process id
constexpr uint32_t kAck = 0x11;         // peer -> test: int listener, routing, type, in_send
constexpr uint32_t kStartBurst = 0x12;  // test -> peer: int count, int threads
constexpr uint32_t kBurstItem = 0x13;   // peer -> test: int thread, int sequence
constexpr uint32_t kBurstDone = 0x14;   // peer -> test: int total
constexpr uint32_t kEchoSync = 0x15;    // test -> peer: peer answers kEchoReply synchronously
constexpr uint32_t kEchoReply = 0x16;
constexpr uint32_t kQuit = 0x17;        // test -> peer: end the process
constexpr int kOtherRoutingId = 3;      // routing id of the peer's second listener
// Sent to the window of "channel_peer squat": answers the number of WM_COPYDATA it received.
constexpr UINT kSquatCount = WM_APP + 1;

}  // namespace peer_codes
