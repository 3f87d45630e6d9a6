#include "base/zip_crc.h"

#include <cpuid.h>
#include <immintrin.h>
#include <zlib.h>

namespace {

// x^n mod P for the folding distances, bit-reflected as the reflected CRC needs them: 4 x 128 bits
// (k1, k2), 128 bits (k3, k4), 64 bits (k5); then P itself and floor(x^64 / P) for the final
// Barrett reduction.
constexpr int64_t kK1 = 0x154442bd4;
constexpr int64_t kK2 = 0x1c6e41596;
constexpr int64_t kK3 = 0x1751997d0;
constexpr int64_t kK4 = 0x0ccaa009e;
constexpr int64_t kK5 = 0x163cd6124;
constexpr int64_t kPolynomial = 0x1db710641;
constexpr int64_t kMu = 0x1f7011641;

bool HasCarrylessMultiply() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
  }();
  return has;
}

#define CRC_TARGET __attribute__((target("pclmul,sse4.1")))

// The 128 bits of x moved forward by the distance of k's pair, added to next.
CRC_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

CRC_TARGET inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The CRC register (not complemented) after length bytes, length a multiple of 16 of at least 64.
// The 32-bit stack of i686 Windows is aligned to 4 bytes only: realign it for spilled vectors.
CRC_TARGET __attribute__((force_align_arg_pointer)) uint32_t FoldBlocks(uint32_t state, const uint8_t* p,
                                                                       size_t length) {
  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(int(state)));
  __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
  p += 64;
  length -= 64;
  const __m128i k12 = _mm_set_epi64x(kK2, kK1);
  for (; length >= 64; p += 64, length -= 64) {
    x0 = Fold(x0, k12, Load(p));
    x1 = Fold(x1, k12, Load(p + 16));
    x2 = Fold(x2, k12, Load(p + 32));
    x3 = Fold(x3, k12, Load(p + 48));
  }
  const __m128i k34 = _mm_set_epi64x(kK4, kK3);
  x0 = Fold(Fold(Fold(x0, k34, x1), k34, x2), k34, x3);
  for (; length >= 16; p += 16, length -= 16) x0 = Fold(x0, k34, Load(p));

  // 128 bits to 64 (with the 32 zero bits the CRC appends), then to 32 bits of remainder.
  const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(x0, k34, 0x10), _mm_srli_si128(x0, 8));
  x0 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x0, low32), _mm_set_epi64x(0, kK5), 0x00),
                     _mm_srli_si128(x0, 4));
  const __m128i barrett = _mm_set_epi64x(kMu, kPolynomial);
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x0, low32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
  return uint32_t(_mm_extract_epi32(_mm_xor_si128(x0, t), 1));
}

uint32_t TableCrc(uint32_t crc, const uint8_t* data, size_t length) {
  // zlib counts in uInt.
  while (length > 0) {
    const uInt step = length > 0x40000000u ? 0x40000000u : uInt(length);
    crc = uint32_t(crc32(crc, data, step));
    data += step;
    length -= step;
  }
  return crc;
}

}  // namespace

uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t length) {
  if (length < 64 || !HasCarrylessMultiply()) return TableCrc(crc, data, length);
  const size_t blocks = length & ~size_t(15);
  crc = ~FoldBlocks(~crc, data, blocks);
  return TableCrc(crc, data + blocks, length - blocks);
}
