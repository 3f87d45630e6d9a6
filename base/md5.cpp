#include "base/md5.h"

#include <cstring>

namespace {

// T[i] = floor(|sin(i + 1)| * 2^32).
const uint32_t kSine[64] = {
    0xD76AA478u, 0xE8C7B756u, 0x242070DBu, 0xC1BDCEEEu,
    0xF57C0FAFu, 0x4787C62Au, 0xA8304613u, 0xFD469501u,
    0x698098D8u, 0x8B44F7AFu, 0xFFFF5BB1u, 0x895CD7BEu,
    0x6B901122u, 0xFD987193u, 0xA679438Eu, 0x49B40821u,
    0xF61E2562u, 0xC040B340u, 0x265E5A51u, 0xE9B6C7AAu,
    0xD62F105Du, 0x02441453u, 0xD8A1E681u, 0xE7D3FBC8u,
    0x21E1CDE6u, 0xC33707D6u, 0xF4D50D87u, 0x455A14EDu,
    0xA9E3E905u, 0xFCEFA3F8u, 0x676F02D9u, 0x8D2A4C8Au,
    0xFFFA3942u, 0x8771F681u, 0x6D9D6122u, 0xFDE5380Cu,
    0xA4BEEA44u, 0x4BDECFA9u, 0xF6BB4B60u, 0xBEBFBC70u,
    0x289B7EC6u, 0xEAA127FAu, 0xD4EF3085u, 0x04881D05u,
    0xD9D4D039u, 0xE6DB99E5u, 0x1FA27CF8u, 0xC4AC5665u,
    0xF4292244u, 0x432AFF97u, 0xAB9423A7u, 0xFC93A039u,
    0x655B59C3u, 0x8F0CCC92u, 0xFFEFF47Du, 0x85845DD1u,
    0x6FA87E4Fu, 0xFE2CE6E0u, 0xA3014314u, 0x4E0811A1u,
    0xF7537E82u, 0xBD3AF235u, 0x2AD7D2BBu, 0xEB86D391u,
};

const uint8_t kPadding[64] = {0x80};

// Message-word order and shift amounts of the four rounds.
const uint8_t kWordIndex[64] = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    1, 6, 11, 0, 5, 10, 15, 4, 9, 14, 3, 8, 13, 2, 7, 12,
    5, 8, 11, 14, 1, 4, 7, 10, 13, 0, 3, 6, 9, 12, 15, 2,
    0, 7, 14, 5, 12, 3, 10, 1, 8, 15, 6, 13, 4, 11, 2, 9};
const uint8_t kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Bytes of one file view.
constexpr uint64_t kViewSize = 0x400000;

inline uint32_t RotateLeft(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void LoadWords(const uint8_t* bytes, uint32_t* words, int count) {
  for (int i = 0; i < count; ++i) {
    words[i] = uint32_t(bytes[4 * i]) | (uint32_t(bytes[4 * i + 1]) << 8) |
               (uint32_t(bytes[4 * i + 2]) << 16) | (uint32_t(bytes[4 * i + 3]) << 24);
  }
}

// 32 upper-case digits and a terminator into out (33 characters).
void WriteHex(const uint8_t digest[16], char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 15];
  }
  out[32] = '\0';
}

void CopyWide(const char* hex, wchar_t* out) {
  for (int i = 0; i <= 32; ++i) out[i] = wchar_t(static_cast<unsigned char>(hex[i]));
}

// Digest of the file at path into digest; false unless every byte was hashed.
bool DigestFile(const wchar_t* path, uint8_t digest[16]) {
  HANDLE file = CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_READONLY, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;

  Md5Context context;
  memset(&context, 0, sizeof(context));
  Md5Init(&context, 0);
  bool ok = false;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size)) {
    const uint64_t total = uint64_t(size.QuadPart);
    if (total == 0) {
      ok = true;
    } else if (HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
      uint64_t offset = 0;
      ok = true;
      while (offset < total) {
        const uint64_t left = total - offset;
        const SIZE_T chunk = SIZE_T(left < kViewSize ? left : kViewSize);
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, DWORD(offset >> 32), DWORD(offset), chunk);
        if (view == nullptr) {
          ok = false;
          break;
        }
        Md5Update(&context, view, uint32_t(chunk));
        UnmapViewOfFile(view);
        offset += kViewSize;
      }
      CloseHandle(mapping);
    }
  }
  CloseHandle(file);
  if (!ok) return false;
  Md5Final(&context);
  memcpy(digest, context.digest, 16);
  return true;
}

}  // namespace

void Md5Init(Md5Context* context, uint32_t seed) {
  context->count[0] = context->count[1] = 0;
  context->state[0] = 0x67452301u + seed * 11u;
  context->state[1] = 0xEFCDAB89u + seed * 71u;
  context->state[2] = 0x98BADCFEu + seed * 37u;
  context->state[3] = 0x10325476u + seed * 97u;
}

void Md5Update(Md5Context* context, const void* data, uint32_t length) {
  if (length == 0) return;
  uint32_t index = (context->count[0] >> 3) & 63;
  const uint32_t bits = length << 3;
  context->count[0] += bits;
  if (context->count[0] < bits) ++context->count[1];
  context->count[1] += length >> 29;

  const uint8_t* in = static_cast<const uint8_t*>(data);
  // Fill the pending block, then hash whole blocks straight from the input.
  uint32_t i = 0;
  if (index != 0) {
    const uint32_t room = 64 - index;
    const uint32_t take = length < room ? length : room;
    memcpy(context->buffer + index, in, take);
    i = take;
    index += take;
    if (index < 64) return;
    uint32_t block[16];
    LoadWords(context->buffer, block, 16);
    Md5Transform(context->state, block);
  }
  for (; i + 64 <= length; i += 64) {
    uint32_t block[16];
    LoadWords(in + i, block, 16);
    Md5Transform(context->state, block);
  }
  if (i < length) memcpy(context->buffer, in + i, length - i);
}

void Md5Final(Md5Context* context) {
  const uint32_t saved[2] = {context->count[0], context->count[1]};
  const uint32_t index = (context->count[0] >> 3) & 63;
  Md5Update(context, kPadding, index < 56 ? 56 - index : 120 - index);

  uint32_t block[16];
  LoadWords(context->buffer, block, 14);
  block[14] = saved[0];
  block[15] = saved[1];
  Md5Transform(context->state, block);

  for (int i = 0; i < 4; ++i) {
    context->digest[4 * i] = uint8_t(context->state[i]);
    context->digest[4 * i + 1] = uint8_t(context->state[i] >> 8);
    context->digest[4 * i + 2] = uint8_t(context->state[i] >> 16);
    context->digest[4 * i + 3] = uint8_t(context->state[i] >> 24);
  }
}

void Md5Transform(uint32_t state[4], const uint32_t block[16]) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int step = 0; step < 64; ++step) {
    const int round = step / 16;
    uint32_t f;
    switch (round) {
      case 0: f = (b & c) | (~b & d); break;
      case 1: f = (b & d) | (c & ~d); break;
      case 2: f = b ^ c ^ d; break;
      default: f = c ^ (b | ~d); break;
    }
    const uint32_t rotated = RotateLeft(a + f + block[kWordIndex[step]] + kSine[step], kShift[round][step % 4]);
    a = d;
    d = c;
    c = b;
    b = b + rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void Md5DigestString(const char* text, uint8_t out[16]) {
  if (text == nullptr || out == nullptr) return;
  Md5Context context;
  memset(&context, 0, sizeof(context));
  Md5Init(&context, 0);
  Md5Update(&context, text, uint32_t(strlen(text)));
  Md5Final(&context);
  memcpy(out, context.digest, 16);
}

BOOL GetBufferMd5HexA(const BYTE* data, int length, char* out, int outSize) {
  if (data == nullptr || length < 1 || out == nullptr || outSize < 33) return FALSE;
  memset(out, 0, size_t(outSize));
  Md5Context context;
  memset(&context, 0, sizeof(context));
  Md5Init(&context, 0);
  Md5Update(&context, data, uint32_t(length));
  Md5Final(&context);
  WriteHex(context.digest, out);
  return TRUE;
}

BOOL GetBufferMd5Hex(const BYTE* data, int length, wchar_t* out, int outChars) {
  if (data == nullptr || length < 1 || out == nullptr || outChars < 33) return FALSE;
  char hex[33] = {};
  if (!GetBufferMd5HexA(data, length, hex, sizeof(hex))) return FALSE;
  CopyWide(hex, out);
  return TRUE;
}

BOOL GetFileMd5HexA(const wchar_t* path, char* out, int outSize) {
  if (path == nullptr || out == nullptr || outSize < 33) return FALSE;
  memset(out, 0, size_t(outSize));
  uint8_t digest[16];
  if (!DigestFile(path, digest)) return FALSE;
  WriteHex(digest, out);
  return TRUE;
}

BOOL GetFileMd5Hex(const wchar_t* path, wchar_t* out, int outChars) {
  if (path == nullptr || out == nullptr || outChars < 33) return FALSE;
  char hex[33] = {};
  if (!GetFileMd5HexA(path, hex, sizeof(hex))) return FALSE;
  CopyWide(hex, out);
  return TRUE;
}
