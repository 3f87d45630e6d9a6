#include <windows.h>

#include "base/instruction_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

struct DecodeRow {
  const char* name;
  std::vector<uint8_t> bytes;
  unsigned length;
  uint32_t flags;
  uint32_t immediate;
  uint32_t displacement;
};

void PrintTo(const DecodeRow& row, std::ostream* os) {
  *os << row.name;
}

std::string RowName(const testing::TestParamInfo<DecodeRow>& info) {
  return info.param.name;
}

// Decodes from a buffer padded with bytes that would lengthen the instruction if the
// decoder read past its end.
DecodedInstruction Decode(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> buffer(bytes);
  buffer.resize(bytes.size() + kMaxInstructionBytesRead, 0x66);
  DecodedInstruction insn;
  std::memset(&insn, 0xA5, sizeof(insn));
  const unsigned length = DecodeInstruction(buffer.data(), &insn);
  EXPECT_EQ(length, insn.length);
  return insn;
}

class DecodeInstructionTable : public testing::TestWithParam<DecodeRow> {};

TEST_P(DecodeInstructionTable, LengthFlagsAndOperands) {
  const DecodeRow& row = GetParam();
  const DecodedInstruction insn = Decode(row.bytes);
  EXPECT_EQ(row.length, insn.length);
  EXPECT_EQ(row.flags, insn.flags) << std::hex << "expected 0x" << row.flags << " got 0x" << insn.flags;
  EXPECT_EQ(row.immediate, insn.immediate);
  EXPECT_EQ(row.displacement, insn.displacement);
}

// The published cases.
INSTANTIATE_TEST_SUITE_P(
    Reference, DecodeInstructionTable,
    testing::Values(
        DecodeRow{"Push", {0x55}, 1, 0, 0, 0},
        DecodeRow{"MovEdiEdi", {0x8B, 0xFF}, 2, INSN_MODRM, 0, 0},
        DecodeRow{"SibDisp8", {0x8B, 0x44, 0x24, 0x08}, 4, INSN_MODRM | INSN_SIB | INSN_DISP8, 0, 8},
        DecodeRow{"JmpIndirectDisp32", {0xFF, 0x25, 0x78, 0x56, 0x34, 0x12}, 6, INSN_MODRM | INSN_DISP32, 0,
                  0x12345678},
        DecodeRow{"CallRel32", {0xE8, 0x78, 0x56, 0x34, 0x12}, 5, INSN_IMM32 | INSN_RELATIVE, 0x12345678, 0},
        DecodeRow{"JeRel8", {0x74, 0x05}, 2, INSN_IMM8 | INSN_RELATIVE, 5, 0},
        DecodeRow{"JeRel32", {0x0F, 0x84, 0xFC, 0xFF, 0xFF, 0xFF}, 6, INSN_IMM32 | INSN_RELATIVE, 0xFFFFFFFC, 0},
        DecodeRow{"JmpRel16", {0x66, 0xE9, 0x34, 0x12}, 4, INSN_IMM16 | INSN_RELATIVE | INSN_PREFIX_66, 0x1234, 0},
        DecodeRow{"RetImm16", {0xC2, 0x08, 0x00}, 3, INSN_IMM16, 8, 0},
        DecodeRow{"Enter", {0xC8, 0x10, 0x00, 0x01}, 4, INSN_IMM16 | INSN_IMM8, 0x10, 1},
        DecodeRow{"TestImm32", {0xF7, 0xC0, 0x78, 0x56, 0x34, 0x12}, 6, INSN_MODRM | INSN_IMM32, 0x12345678, 0},
        DecodeRow{"CallFar", {0x9A, 0x78, 0x56, 0x34, 0x12, 0x10, 0x00}, 7, INSN_IMM32 | INSN_IMM16, 0x12345678,
                  0x10},
        DecodeRow{"MovMoffs32", {0xA1, 0x78, 0x56, 0x34, 0x12}, 5, INSN_IMM32, 0x12345678, 0},
        DecodeRow{"MovMoffs16", {0x67, 0xA1, 0x34, 0x12}, 4, INSN_IMM16 | INSN_PREFIX_67, 0x1234, 0},
        DecodeRow{"LockRegister", {0xF0, 0x01, 0xC0}, 3,
                  INSN_MODRM | INSN_ERROR | INSN_ERROR_LOCK | INSN_PREFIX_LOCK, 0, 0},
        DecodeRow{"Ud2", {0x0F, 0x0B}, 2, INSN_ERROR | INSN_ERROR_OPCODE, 0, 0},
        DecodeRow{"SixteenPrefixes",
                  {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66,
                   0x66, 0x90},
                  15, INSN_ERROR | INSN_ERROR_LENGTH | INSN_PREFIX_66, 0, 0},
        DecodeRow{"Psadbw", {0x0F, 0xF6, 0xC1}, 3, INSN_MODRM, 0, 0}),
    RowName);

constexpr uint32_t kOpcodeError = INSN_ERROR | INSN_ERROR_OPCODE;
constexpr uint32_t kLockError = INSN_ERROR | INSN_ERROR_LOCK;
constexpr uint32_t kOperandError = INSN_ERROR | INSN_ERROR_OPERAND;

// Encodings the processor does not define, and the lengths reported for them.
INSTANTIATE_TEST_SUITE_P(
    Errors, DecodeInstructionTable,
    testing::Values(
        DecodeRow{"PopGroupReg1", {0x8F, 0xC8}, 2, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"IncDecGroupReg2", {0xFE, 0x10}, 2, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"FfGroupReg7", {0xFF, 0x38}, 2, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"BtGroupReg0", {0x0F, 0xBA, 0xC0, 0x01}, 4, INSN_MODRM | INSN_IMM8 | kOpcodeError, 1, 0},
        DecodeRow{"X87MemoryReg1", {0xD9, 0x08}, 2, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"X87RegisterHole", {0xD9, 0xE2}, 2, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"X87Fucompp", {0xDA, 0xE9}, 2, INSN_MODRM, 0, 0},
        DecodeRow{"X87NextToFucompp", {0xDA, 0xEA}, 2, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"LockOnMov", {0xF0, 0x89, 0x08}, 3, INSN_MODRM | kLockError | INSN_PREFIX_LOCK, 0, 0},
        DecodeRow{"LockOnCmp", {0xF0, 0x83, 0x38, 0x01}, 4,
                  INSN_MODRM | INSN_IMM8 | kLockError | INSN_PREFIX_LOCK, 1, 0},
        DecodeRow{"LockOnAdd", {0xF0, 0x83, 0x00, 0x01}, 4, INSN_MODRM | INSN_IMM8 | INSN_PREFIX_LOCK, 1, 0},
        DecodeRow{"LockOnTest", {0xF0, 0xF6, 0x00, 0x01}, 4,
                  INSN_MODRM | INSN_IMM8 | kLockError | INSN_PREFIX_LOCK, 1, 0},
        DecodeRow{"LockWithoutModrm", {0xF0, 0x90}, 2, kLockError | INSN_PREFIX_LOCK, 0, 0},
        DecodeRow{"LockOnCmpxchg8bRegister", {0xF0, 0x0F, 0xC7, 0xC8}, 4,
                  INSN_MODRM | kLockError | kOperandError | INSN_PREFIX_LOCK, 0, 0},
        DecodeRow{"MovFromSegment6", {0x8C, 0xF0}, 2, INSN_MODRM | kOperandError, 0, 0},
        DecodeRow{"MovToCs", {0x8E, 0xC8}, 2, INSN_MODRM | kOperandError, 0, 0},
        DecodeRow{"MovFromCr1", {0x0F, 0x20, 0xC8}, 3, INSN_MODRM | kOperandError, 0, 0},
        DecodeRow{"MovCrIgnoresMod", {0x0F, 0x20, 0x05}, 3, INSN_MODRM, 0, 0},
        DecodeRow{"MovFromDr4", {0x0F, 0x21, 0xE0}, 3, INSN_MODRM | kOperandError, 0, 0},
        DecodeRow{"LeaRegister", {0x8D, 0xC0}, 2, INSN_MODRM | kOperandError, 0, 0},
        DecodeRow{"FarCallRegister", {0xFF, 0xD8}, 2, INSN_MODRM | kOperandError, 0, 0},
        DecodeRow{"NearCallRegister", {0xFF, 0xD0}, 2, INSN_MODRM, 0, 0},
        DecodeRow{"PextrwMemory", {0x0F, 0xC5, 0x00, 0x01}, 4, INSN_MODRM | INSN_IMM8 | kOperandError, 1, 0},
        DecodeRow{"Movq2dqMemory", {0xF3, 0x0F, 0xD6, 0x00}, 4,
                  INSN_MODRM | kOperandError | INSN_PREFIX_F3, 0, 0},
        DecodeRow{"MovlpdRegister", {0x66, 0x0F, 0x12, 0xC1}, 4,
                  INSN_MODRM | kOperandError | INSN_PREFIX_66, 0, 0},
        DecodeRow{"MovhlpsRegister", {0x0F, 0x12, 0xC1}, 3, INSN_MODRM, 0, 0},
        DecodeRow{"PunpcklqdqWithoutPrefix", {0x0F, 0x6C, 0xC1}, 3, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"MovqD6WithoutPrefix", {0x0F, 0xD6, 0xC1}, 3, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"TestRegisterMoveKeepsModrm", {0x0F, 0x24, 0xC0}, 3, INSN_MODRM | kOpcodeError, 0, 0},
        DecodeRow{"ThreeByteMapIsNotDecoded", {0x0F, 0x38, 0x00, 0xC1}, 2, kOpcodeError, 0, 0},
        DecodeRow{"Addr16Disp8", {0x67, 0x8B, 0x46, 0x12}, 4, INSN_MODRM | INSN_DISP8 | INSN_PREFIX_67, 0, 0x12},
        DecodeRow{"Addr16Direct", {0x67, 0x8B, 0x06, 0x34, 0x12}, 5, INSN_MODRM | INSN_DISP16 | INSN_PREFIX_67, 0,
                  0x1234},
        DecodeRow{"SibBaseFiveDisp32", {0x8B, 0x04, 0x85, 0x78, 0x56, 0x34, 0x12}, 7,
                  INSN_MODRM | INSN_SIB | INSN_DISP32, 0, 0x12345678},
        DecodeRow{"OperandSizeMoffsIgnored", {0x66, 0xA1, 0x78, 0x56, 0x34, 0x12}, 6, INSN_IMM32 | INSN_PREFIX_66,
                  0x12345678, 0},
        DecodeRow{"FarCall16", {0x66, 0x9A, 0x34, 0x12, 0x10, 0x00}, 6,
                  INSN_IMM16 | INSN_SECOND_IMM16 | INSN_PREFIX_66, 0x1234, 0x10},
        DecodeRow{"FifteenBytes",
                  {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00},
                  15, INSN_MODRM | INSN_SIB | INSN_DISP32 | INSN_PREFIX_66 | INSN_PREFIX_SEGMENT, 0, 0},
        DecodeRow{"SixteenBytes",
                  {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00},
                  15,
                  INSN_MODRM | INSN_SIB | INSN_DISP32 | INSN_ERROR | INSN_ERROR_LENGTH | INSN_PREFIX_66 |
                      INSN_PREFIX_SEGMENT,
                  0, 0}),
    RowName);

TEST(DecodeInstruction, RecordsEachPrefix) {
  // rep, repne (last wins), lock, segment (last wins), operand and address size.
  const DecodedInstruction insn =
      Decode({0xF3, 0xF2, 0x2E, 0x64, 0x66, 0x67, 0xF0, 0x0F, 0xB1, 0x0C, 0x24});
  EXPECT_EQ(0xF2, insn.repPrefix);
  EXPECT_EQ(0xF0, insn.lockPrefix);
  EXPECT_EQ(0x64, insn.segmentPrefix);
  EXPECT_EQ(0x66, insn.operandSizePrefix);
  EXPECT_EQ(0x67, insn.addressSizePrefix);
  EXPECT_EQ(0x0F, insn.opcode);
  EXPECT_EQ(0xB1, insn.opcode2);
  EXPECT_EQ(0x0C, insn.modrm);
  EXPECT_EQ(0u, insn.mod);
  EXPECT_EQ(1u, insn.reg);
  EXPECT_EQ(4u, insn.rm);
  // With 67 there is no SIB: rm 4 is [si], and 24 is the next instruction.
  EXPECT_EQ(0u, insn.flags & INSN_SIB);
  EXPECT_EQ(10u, insn.length);
  EXPECT_EQ(INSN_PREFIX_F2 | INSN_PREFIX_F3 | INSN_PREFIX_SEGMENT | INSN_PREFIX_66 | INSN_PREFIX_67 |
                INSN_PREFIX_LOCK,
            insn.flags & 0x3F000000u);

  const DecodedInstruction sib = Decode({0x8B, 0x8C, 0x9D, 0x78, 0x56, 0x34, 0x12});
  EXPECT_EQ(0x9D, sib.sib);
  EXPECT_EQ(2u, sib.scale);
  EXPECT_EQ(3u, sib.index);
  EXPECT_EQ(5u, sib.base);
  EXPECT_EQ(7u, sib.length);
}

// The encodings that trampolines rewrite: opcode bytes, length, and a relative immediate of
// the right width.
struct BranchRow {
  std::vector<uint8_t> bytes;
  unsigned length;
  uint32_t immediateFlag;
};

std::vector<BranchRow> BranchRows() {
  std::vector<BranchRow> rows = {
      {{0xE8, 0x00, 0x01, 0x00, 0x00}, 5, INSN_IMM32},
      {{0xE9, 0x00, 0x01, 0x00, 0x00}, 5, INSN_IMM32},
      {{0xEB, 0xFE}, 2, INSN_IMM8},
      {{0x66, 0xE9, 0x00, 0x01}, 4, INSN_IMM16},
      {{0x66, 0xE8, 0x00, 0x01}, 4, INSN_IMM16},
  };
  for (uint8_t c = 0x70; c <= 0x7F; ++c) rows.push_back({{c, 0x10}, 2, INSN_IMM8});
  for (uint8_t c = 0x80; c <= 0x8F; ++c) rows.push_back({{0x0F, c, 0x10, 0x00, 0x00, 0x00}, 6, INSN_IMM32});
  for (uint8_t c = 0xE0; c <= 0xE3; ++c) rows.push_back({{c, 0x10}, 2, INSN_IMM8});
  return rows;
}

TEST(DecodeInstruction, BranchesAreRelative) {
  for (const BranchRow& row : BranchRows()) {
    char hex[8];
    std::snprintf(hex, sizeof(hex), "%02X %02X", row.bytes[0], row.bytes[1]);
    SCOPED_TRACE(hex);
    const DecodedInstruction insn = Decode(row.bytes);
    EXPECT_EQ(row.length, insn.length);
    EXPECT_EQ(row.immediateFlag | INSN_RELATIVE,
              insn.flags & (INSN_IMM8 | INSN_IMM16 | INSN_IMM32 | INSN_RELATIVE | INSN_ERROR));
    const bool prefixed = row.bytes[0] == 0x66;
    EXPECT_EQ(row.bytes[prefixed ? 1 : 0], insn.opcode);
    EXPECT_EQ(row.bytes[0] == 0x0F ? row.bytes[1] : 0, insn.opcode2);
  }
}

TEST(DecodeInstruction, ReturnsAreNotRelative) {
  const DecodedInstruction ret = Decode({0xC3});
  EXPECT_EQ(1u, ret.length);
  EXPECT_EQ(0u, ret.flags);
  EXPECT_EQ(0xC3, ret.opcode);
  const DecodedInstruction retn = Decode({0xC2, 0x0C, 0x00});
  EXPECT_EQ(3u, retn.length);
  EXPECT_EQ(INSN_IMM16, retn.flags);
  EXPECT_EQ(0xC2, retn.opcode);
  EXPECT_EQ(12u, retn.immediate);
}

// Built from instruction_corpus.s by the 32-bit assembler: length byte, text, bytes.
const uint8_t kCorpus[] = {
#include "instruction_corpus.inc"
};

TEST(DecodeInstruction, MatchesAssemblerLengths) {
  std::vector<uint8_t> corpus(std::begin(kCorpus), std::end(kCorpus));
  corpus.resize(corpus.size() + kMaxInstructionBytesRead, 0x66);
  size_t at = 0;
  size_t count = 0;
  while (at < sizeof(kCorpus)) {
    const unsigned expected = corpus[at++];
    if (expected == 0) break;
    const char* text = reinterpret_cast<const char*>(&corpus[at]);
    at += std::strlen(text) + 1;
    ASSERT_LE(at + expected, sizeof(kCorpus)) << "corpus malformed after " << text;
    DecodedInstruction insn;
    const unsigned length = DecodeInstruction(&corpus[at], &insn);
    EXPECT_EQ(expected, length) << text;
    EXPECT_EQ(0u, insn.flags & INSN_ERROR) << text << std::hex << " flags 0x" << insn.flags;
    // Bounded to exactly its bytes it decodes alike; one byte short it reads no further and
    // says the instruction is truncated.
    DecodedInstruction bounded;
    EXPECT_EQ(expected, DecodeInstruction(&corpus[at], expected, &bounded)) << text;
    EXPECT_EQ(0, std::memcmp(&insn, &bounded, sizeof(insn))) << text;
    DecodeInstruction(&corpus[at], expected - 1, &bounded);
    EXPECT_EQ(INSN_ERROR | INSN_ERROR_TRUNCATED, bounded.flags & (INSN_ERROR | INSN_ERROR_TRUNCATED)) << text;
    at += expected;
    ++count;
  }
  EXPECT_GT(count, 400u);
}

// Instructions that end (or claim to run on) at the last bytes before an inaccessible page:
// the bounded decoder reads only what it was given.
TEST(DecodeInstruction, BoundedReadsStopAtTheEndOfTheRegion) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  uint8_t* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(block, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(block + page, page, PAGE_NOACCESS, &old));
  const struct {
    std::vector<uint8_t> bytes;
    bool truncated;
  } cases[] = {
      {{0xC3}, false},                    // ret: complete
      {{0xE8, 0x01, 0x02}, true},         // call rel32 cut after two bytes
      {{0x66, 0x66, 0x66}, true},         // prefixes only
      {{0x8B, 0x84}, true},               // ModR/M that announces a SIB and a displacement
      {{0x0F}, true},                     // escape byte alone
  };
  for (const auto& c : cases) {
    uint8_t* at = block + page - c.bytes.size();
    std::memcpy(at, c.bytes.data(), c.bytes.size());
    DecodedInstruction insn;
    DecodeInstruction(at, c.bytes.size(), &insn);
    EXPECT_EQ(c.truncated, (insn.flags & INSN_ERROR_TRUNCATED) != 0) << int(c.bytes[0]);
  }
  DecodedInstruction none;
  DecodeInstruction(block + page, 0, &none);
  EXPECT_NE(0u, none.flags & INSN_ERROR_TRUNCATED);
  VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace
