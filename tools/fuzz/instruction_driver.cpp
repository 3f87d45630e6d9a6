// Instruction decoder: random and prefix-heavy byte strings that end right before an
// inaccessible page. The decoder reads at most kMaxInstructionBytesRead bytes (a read past
// them faults, and the run ends with the case), reports a length of 1 to 15, and its bounded
// form reads only the bytes it is given and agrees with the unbounded one whenever it does
// not report a truncation.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/instruction_decoder.h"
#include "tools/fuzz/fuzz_drivers.h"

namespace fuzz {

namespace {

const uint8_t kInteresting[] = {0x66, 0x67, 0xF0, 0xF2, 0xF3, 0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x0F,
                                0x0F, 0x38, 0x3A, 0x8B, 0x84, 0x04, 0x05, 0x44, 0xC4, 0xC5, 0xE8, 0xE9,
                                0xEB, 0x80, 0xC7, 0xF6, 0xF7, 0xFF, 0xD8, 0xDF, 0x9A, 0xEA, 0xC8, 0x00};

uint64_t Next(uint64_t* state) {  // xorshift64*
  uint64_t x = *state;
  x ^= x >> 12;
  x ^= x << 25;
  x ^= x >> 27;
  *state = x;
  return x * 0x2545F4914F6CDD1DULL;
}

bool Same(const DecodedInstruction& a, const DecodedInstruction& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

uint64_t Run(uint64_t cases, uint64_t seed) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  uint8_t* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old = 0;
  if (!block || !VirtualProtect(block + page, page, PAGE_NOACCESS, &old)) return 1;
  uint8_t* const window = block + page - kMaxInstructionBytesRead;
  uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
  uint64_t violations = 0;
  uint8_t bytes[kMaxInstructionBytesRead];
  for (uint64_t n = 0; n < cases; ++n) {
    const uint64_t mode = Next(&state);
    for (unsigned i = 0; i < kMaxInstructionBytesRead; i += 8) {
      uint64_t bits = Next(&state);
      for (unsigned k = i; k < i + 8 && k < kMaxInstructionBytesRead; ++k, bits >>= 8) {
        // Most strings lead with prefixes and opcode bytes the decoder has cases for.
        const bool pick = (mode & 1) ? k < ((mode >> 1) & 15) : (bits & 3) == 0;
        bytes[k] = pick ? kInteresting[(bits >> 2) % sizeof(kInteresting)] : static_cast<uint8_t>(bits >> 2);
      }
    }
    std::memcpy(window, bytes, sizeof(bytes));
    DecodedInstruction whole, bounded;
    const unsigned length = DecodeInstruction(window, &whole);
    bool bad = length < 1 || length > kMaxInstructionLength || length != whole.length;
    // The same bytes again, cut to `available` and moved against the inaccessible page.
    const unsigned available = static_cast<unsigned>((mode >> 8) % (kMaxInstructionBytesRead + 1));
    uint8_t* const cut = block + page - available;
    std::memcpy(cut, bytes, available);
    DecodeInstruction(cut, available, &bounded);
    if (!(bounded.flags & INSN_ERROR_TRUNCATED) && !Same(bounded, whole)) bad = true;
    if (!(whole.flags & INSN_ERROR) && length <= available && (bounded.flags & INSN_ERROR_TRUNCATED)) bad = true;
    if (bad && violations++ < 10) {
      std::printf("fuzz: instruction case %llu:", static_cast<unsigned long long>(n));
      for (unsigned k = 0; k < kMaxInstructionBytesRead; ++k) std::printf(" %02X", bytes[k]);
      std::printf(" (length %u, available %u)\n", length, available);
    }
  }
  VirtualFree(block, 0, MEM_RELEASE);
  return violations;
}

}  // namespace

const Driver kInstructionDriver = {"instruction", 0, nullptr, nullptr, nullptr, &Run};

}  // namespace fuzz
