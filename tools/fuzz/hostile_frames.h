// Hostile renderer frames, for the frame driver and the frame tests: bytes as a broken or
// malicious renderer could send them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/channel_frame.h"
#include "engine/value_codec.h"

namespace hostile_frames {

inline void PutCount(std::string* out, uint32_t n) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(n >> (8 * i)));
}

// A renderer message frame around the given payload bytes.
inline std::string Frame(const std::string& payload) {
  std::string wire;
  PutCount(&wire, static_cast<uint32_t>(cefengine::kFrameHeaderSize - 4 + payload.size()));
  wire.push_back(static_cast<char>(cefengine::FrameType::kRendererMessage));
  wire.append(cefengine::kFrameHeaderSize - 5, '\0');
  return wire + payload;
}

// `size` payload bytes of lists nested as deep as allowed, each announcing as many items as
// bytes remain, the rest nulls.
inline std::string NestedLists(size_t size) {
  std::string lists;
  for (int depth = 0; depth < cefengine::kMaxValueDepth; ++depth) {
    lists.push_back(static_cast<char>(VTYPE_LIST));
    PutCount(&lists, static_cast<uint32_t>(size - lists.size() - 4));
  }
  lists.resize(size, static_cast<char>(VTYPE_NULL));
  return lists;
}

// A list holding one dict that announces `count` entries; the rest of `size` bytes are zeros.
inline std::string AnnouncedDict(size_t size, uint32_t count) {
  std::string dict(1, static_cast<char>(VTYPE_LIST));
  PutCount(&dict, 1);
  dict.push_back(static_cast<char>(VTYPE_DICTIONARY));
  PutCount(&dict, count);
  dict.resize(size, '\0');
  return dict;
}

}  // namespace hostile_frames
