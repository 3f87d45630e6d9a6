#include "base/blowfish_cipher.h"

#include <cstring>

namespace {

#include "base/blowfish_tables.inc"

uint32_t LoadBigEndian(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void StoreBigEndian(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Longest input whose padded length still fits 32 bits.
constexpr uint32_t kMaxLength = 0xFFFFFFF0u;

uint32_t RoundUpTo8(uint32_t n) {
  return (n + 7u) & ~7u;
}

}  // namespace

BlowfishCipher::BlowfishCipher() {
  memcpy(m_arrP, kInitialP, sizeof(m_arrP));
  memcpy(m_arrS, kInitialS, sizeof(m_arrS));
}

BlowfishCipher::~BlowfishCipher() {
  // The schedule is derived from the key; do not leave it behind on the stack.
  volatile uint8_t* p = reinterpret_cast<volatile uint8_t*>(m_arrP);
  for (size_t i = 0; i < sizeof(m_arrP); ++i) p[i] = 0;
  p = reinterpret_cast<volatile uint8_t*>(m_arrS);
  for (size_t i = 0; i < sizeof(m_arrS); ++i) p[i] = 0;
}

std::string BlowfishCipher::ScheduleBytes(const uint8_t* key, int length) {
  std::string bytes;
  if (key == nullptr || length < 1) return bytes;
  // The schedule below reads key byte (4 * i + k) % length for word i, byte k.
  bytes.resize(sizeof(m_arrP));
  for (size_t n = 0; n < bytes.size(); ++n) bytes[n] = static_cast<char>(key[n % static_cast<size_t>(length)]);
  return bytes;
}

bool BlowfishCipher::SetKey(const uint8_t* key, int length, int mode) {
  m_bKeyed = false;
  m_nMode = mode;
  // The key index below is taken modulo the length: an empty key has no schedule.
  if (key == nullptr || length < 1) return false;

  memcpy(m_arrP, kInitialP, sizeof(m_arrP));
  memcpy(m_arrS, kInitialS, sizeof(m_arrS));

  int j = 0;
  for (int i = 0; i < 18; ++i) {
    uint32_t word = 0;
    for (int k = 0; k < 4; ++k) word = (word << 8) | key[(j + k) % length];
    m_arrP[i] ^= word;
    j = (j + 4) % length;
  }

  uint32_t left = 0, right = 0;
  for (int i = 0; i < 18; i += 2) {
    EncryptBlock(&left, &right);
    m_arrP[i] = left;
    m_arrP[i + 1] = right;
  }
  for (int box = 0; box < 4; ++box) {
    for (int i = 0; i < 256; i += 2) {
      EncryptBlock(&left, &right);
      m_arrS[box][i] = left;
      m_arrS[box][i + 1] = right;
    }
  }
  m_bKeyed = true;
  return true;
}

uint32_t BlowfishCipher::F(uint32_t x) const {
  return ((m_arrS[0][x >> 24] + m_arrS[1][(x >> 16) & 0xFF]) ^ m_arrS[2][(x >> 8) & 0xFF]) +
         m_arrS[3][x & 0xFF];
}

// The rounds unrolled: the loop's counter and the subkey index otherwise take registers that the
// 32-bit build lacks.
void BlowfishCipher::EncryptBlock(uint32_t* left, uint32_t* right) const {
  uint32_t l = *left, r = *right;
#pragma GCC unroll 8
  for (int i = 0; i < 16; i += 2) {
    l ^= m_arrP[i];
    r ^= F(l);
    r ^= m_arrP[i + 1];
    l ^= F(r);
  }
  l ^= m_arrP[16];
  r ^= m_arrP[17];
  *left = r;
  *right = l;
}

void BlowfishCipher::DecryptBlock(uint32_t* left, uint32_t* right) const {
  uint32_t l = *left, r = *right;
#pragma GCC unroll 8
  for (int i = 17; i > 1; i -= 2) {
    l ^= m_arrP[i];
    r ^= F(l);
    r ^= m_arrP[i - 1];
    l ^= F(r);
  }
  l ^= m_arrP[1];
  r ^= m_arrP[0];
  *left = r;
  *right = l;
}

uint32_t BlowfishCipher::GetOutputLength(uint32_t length) const {
  if (m_nMode == kModeCbc) return RoundUpTo8(length + 1);
  return RoundUpTo8(length);
}

uint32_t BlowfishCipher::Encrypt(const uint8_t* in, uint8_t* out, uint32_t length) {
  if (!m_bKeyed || out == nullptr || (in == nullptr && length != 0)) return 0;
  if (length > kMaxLength) return 0;
  if (in != out && length != 0) memmove(out, in, length);

  const uint32_t total = GetOutputLength(length);
  const uint8_t pad = (m_nMode == kModeCbc) ? uint8_t(total - length) : 0;
  for (uint32_t i = length; i < total; ++i) out[i] = pad;
  if (total == 0) return 0;

  uint8_t previous[8] = {};
  for (uint32_t offset = 0; offset < total; offset += 8) {
    uint8_t* block = out + offset;
    if (m_nMode == kModeCbc) {
      for (int k = 0; k < 8; ++k) block[k] ^= previous[k];
    }
    uint32_t l = LoadBigEndian(block), r = LoadBigEndian(block + 4);
    EncryptBlock(&l, &r);
    StoreBigEndian(block, l);
    StoreBigEndian(block + 4, r);
    if (m_nMode == kModeCbc) memcpy(previous, block, 8);
  }
  return total;
}

uint32_t BlowfishCipher::Decrypt(const uint8_t* in, uint8_t* out, uint32_t length) {
  if (!m_bKeyed || out == nullptr || in == nullptr) return 0;
  if (length > kMaxLength) return 0;
  if (length == 0) return 0;

  const uint32_t total = RoundUpTo8(length);
  const uint32_t whole = length & ~7u;
  if (m_nMode != kModeCbc) {
    // Block by block from in to out: a block is read whole before it is written.
    for (uint32_t offset = 0; offset < whole; offset += 8) {
      uint32_t l = LoadBigEndian(in + offset), r = LoadBigEndian(in + offset + 4);
      DecryptBlock(&l, &r);
      StoreBigEndian(out + offset, l);
      StoreBigEndian(out + offset + 4, r);
    }
    if (whole < total) {
      // The partial last block: its bytes in out, and whatever out holds after them.
      if (in != out) memmove(out + whole, in + whole, length - whole);
      uint32_t l = LoadBigEndian(out + whole), r = LoadBigEndian(out + whole + 4);
      DecryptBlock(&l, &r);
      StoreBigEndian(out + whole, l);
      StoreBigEndian(out + whole + 4, r);
    }
    return total;
  }

  if (in != out) memmove(out, in, length);
  uint8_t previous[8] = {};
  for (uint32_t offset = 0; offset < total; offset += 8) {
    uint8_t* block = out + offset;
    uint8_t cipher[8];
    memcpy(cipher, block, 8);
    uint32_t l = LoadBigEndian(block), r = LoadBigEndian(block + 4);
    DecryptBlock(&l, &r);
    StoreBigEndian(block, l);
    StoreBigEndian(block + 4, r);
    for (int k = 0; k < 8; ++k) block[k] ^= previous[k];
    memcpy(previous, cipher, 8);
  }

  const uint8_t pad = out[total - 1];
  if (pad >= 1 && pad <= 8 && out[total - pad] == pad) {
    out[total - pad] = 0;
    return total - pad;
  }
  return total;
}
