// The MD5 of the first machine identifier. Its finalisation keeps the context (count and
// buffer stay as they are), so finalising twice continues the digest; stored identifiers
// depend on exactly that, so this must not be replaced by a library MD5.
#pragma once

#include <cstddef>
#include <cstdint>

struct Md5V1Context {
  uint32_t count[2];  // bit count, low word first
  uint32_t state[4];
  unsigned char buffer[64];
  unsigned char digest[16];
};

void Md5V1Init(Md5V1Context* context);
void Md5V1Update(Md5V1Context* context, const unsigned char* data, size_t length);
// Pads through Md5V1Update (so the count grows by the padding), compresses the buffer's first
// 56 bytes with the bit count saved before padding, and stores the state in digest.
void Md5V1Final(Md5V1Context* context);
