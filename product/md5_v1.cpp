#include "product/md5_v1.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

const uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                         5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                         4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                         6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

void Transform(uint32_t state[4], const unsigned char block[64]) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = uint32_t(block[i * 4]) | (uint32_t(block[i * 4 + 1]) << 8) |
           (uint32_t(block[i * 4 + 2]) << 16) | (uint32_t(block[i * 4 + 3]) << 24);
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t next = b + Rotl(a + f + kSines[i] + m[g], kShifts[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
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
