#include "product/md5_v1.h"

#include <cstring>

#include "base/md5.h"

namespace {

// The compression function is standard MD5's; only the finalisation differs.
void Transform(uint32_t state[4], const unsigned char block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = uint32_t(block[i * 4]) | (uint32_t(block[i * 4 + 1]) << 8) |
           (uint32_t(block[i * 4 + 2]) << 16) | (uint32_t(block[i * 4 + 3]) << 24);
  }
  Md5Transform(state, m);
}

void EncodeWords(unsigned char* out, const uint32_t* words, int count) {
  for (int i = 0; i < count; ++i) {
    out[i * 4] = static_cast<unsigned char>(words[i]);
    out[i * 4 + 1] = static_cast<unsigned char>(words[i] >> 8);
    out[i * 4 + 2] = static_cast<unsigned char>(words[i] >> 16);
    out[i * 4 + 3] = static_cast<unsigned char>(words[i] >> 24);
  }
}

}  // namespace

void Md5V1Init(Md5V1Context* context) {
  memset(context, 0, sizeof(*context));
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
}

void Md5V1Update(Md5V1Context* context, const unsigned char* data, size_t length) {
  size_t index = (context->count[0] >> 3) & 0x3F;
  uint32_t bits = static_cast<uint32_t>(length << 3);
  context->count[0] += bits;
  if (context->count[0] < bits) ++context->count[1];
  context->count[1] += static_cast<uint32_t>(length >> 29);

  size_t room = 64 - index;
  size_t i = 0;
  if (length >= room) {
    memcpy(&context->buffer[index], data, room);
    Transform(context->state, context->buffer);
    for (i = room; i + 63 < length; i += 64) Transform(context->state, data + i);
    index = 0;
  }
  memcpy(&context->buffer[index], data + i, length - i);
}

void Md5V1Final(Md5V1Context* context) {
  static const unsigned char kPadding[64] = {0x80};
  unsigned char bits[8];
  EncodeWords(bits, context->count, 2);
  size_t index = (context->count[0] >> 3) & 0x3F;
  size_t padLength = index < 56 ? 56 - index : 120 - index;
  Md5V1Update(context, kPadding, padLength);
  unsigned char block[64];
  memcpy(block, context->buffer, 56);
  memcpy(block + 56, bits, 8);
  Transform(context->state, block);
  EncodeWords(context->digest, context->state, 4);
}
