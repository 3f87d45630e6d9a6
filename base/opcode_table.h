// Attributes of the IA-32 opcodes, the table that drives DecodeInstruction.
#pragma once

#include <cstdint>

// One attribute byte per opcode.
enum : uint8_t {
  OPA_MODRM = 0x01,   // a ModR/M byte follows
  OPA_IMM8 = 0x02,
  OPA_IMM16 = 0x04,
  OPA_IMM_OP = 0x10,  // immediate of operand size: 16 bits with 66, else 32
  OPA_REL8 = 0x20,
  OPA_REL32 = 0x40,   // 16 bits with 66 when OPA_IMM_OP is set too
  OPA_GROUP = 0x80,   // low 7 bits index the group words of the same opcode map
  OPA_UNDEFINED = 0xFF,
};

// Prefix set bits, as the decoder collects them.
enum : uint8_t {
  OPP_NONE = 0x01,
  OPP_F2 = 0x02,
  OPP_F3 = 0x04,
  OPP_66 = 0x08,
  OPP_67 = 0x10,
  OPP_LOCK = 0x20,
  OPP_SEGMENT = 0x40,
  OPP_ANY = 0x7F,
};

// A mask marks the 3-bit field value v when bit 7 - v is set.
constexpr bool MaskMarks(uint8_t mask, unsigned value) {
  return ((mask << value) & 0x80) != 0;
}

struct OpcodeTable {
  uint8_t oneByte[256];
  uint8_t twoByte[256];
  // Group words: low byte the attributes, high byte a mask of the undefined reg values.
  uint16_t oneByteGroups[7];
  uint16_t twoByteGroups[5];
  // Two-byte opcodes: prefix sets under which the opcode is undefined.
  uint8_t twoBytePrefixMasks[256];
  // x87 escapes D9 to DF: undefined reg values with a memory operand, and undefined rm
  // values per reg with a register operand.
  uint8_t x87MemoryRegMasks[7];
  uint8_t x87RegisterRmMasks[7][8];
  // (opcode, mask of the reg values that refuse LOCK); one-byte opcodes with bit 0 clear.
  uint8_t oneByteLock[12][2];
  uint8_t twoByteLock[9][2];
  // (opcode, prefix set, mask of the reg values allowed a register operand): forms that
  // need a memory operand.
  uint8_t oneByteMemoryOnly[5][3];
  uint8_t twoByteMemoryOnly[13][3];
};

extern const OpcodeTable kOpcodeTable;
