// Length decoder for 32-bit x86 (IA-32) machine code.
//
// DecodeInstruction reads one instruction and reports its length, prefixes, opcode bytes,
// ModR/M and SIB fields, displacement and immediate, plus flags for encodings the processor
// does not define. It decodes IA-32 bytes whatever the bitness of the running build, so it
// can inspect 32-bit code held in any buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// Bits of DecodedInstruction::flags.
enum : uint32_t {
  INSN_MODRM = 0x1,
  INSN_SIB = 0x2,
  INSN_IMM8 = 0x4,
  INSN_IMM16 = 0x8,
  INSN_IMM32 = 0x10,
  INSN_DISP8 = 0x20,
  INSN_DISP16 = 0x40,
  INSN_DISP32 = 0x80,
  INSN_RELATIVE = 0x100,         // the immediate is a branch displacement
  INSN_SECOND_IMM16 = 0x800,     // a second 16-bit immediate, held in `displacement`
  INSN_ERROR = 0x1000,           // set together with each of the five below
  INSN_ERROR_OPCODE = 0x2000,    // undefined opcode
  INSN_ERROR_LENGTH = 0x4000,    // longer than 15 bytes
  INSN_ERROR_LOCK = 0x8000,      // LOCK not allowed here
  INSN_ERROR_OPERAND = 0x10000,  // operand form not allowed
  INSN_ERROR_TRUNCATED = 0x20000,  // runs past the bytes the caller said were readable
  INSN_PREFIX_F2 = 0x1000000,
  INSN_PREFIX_F3 = 0x2000000,
  INSN_PREFIX_66 = 0x4000000,
  INSN_PREFIX_67 = 0x8000000,
  INSN_PREFIX_LOCK = 0x10000000,
  INSN_PREFIX_SEGMENT = 0x20000000,
};

// The longest instruction the processor accepts.
constexpr unsigned kMaxInstructionLength = 15;
// The most bytes DecodeInstruction may read from `code`, even for a malformed instruction
// (15 prefixes, two opcode bytes, ModR/M, SIB, a 32-bit displacement and a 32-bit immediate).
constexpr unsigned kMaxInstructionBytesRead = 27;

struct DecodedInstruction {
  uint8_t length;
  uint8_t repPrefix;          // F2 or F3, the last one seen; else 0
  uint8_t lockPrefix;         // F0 or 0
  uint8_t segmentPrefix;      // the last of 26, 2E, 36, 3E, 64, 65 seen; else 0
  uint8_t operandSizePrefix;  // 66 or 0
  uint8_t addressSizePrefix;  // 67 or 0
  uint8_t opcode;             // first opcode byte (0F for a two-byte opcode)
  uint8_t opcode2;            // second byte of a two-byte opcode, else 0
  uint8_t modrm, mod, reg, rm;
  uint8_t sib, scale, index, base;
  // An 8-, 16- or 32-bit value as the INSN_IMM* flags say, zero-extended.
  uint32_t immediate;
  // The displacement, zero-extended; also holds the second immediate of the instructions
  // that carry two (far pointers' selector, ENTER's nesting level).
  uint32_t displacement;
  uint32_t flags;
};

// Decodes the instruction at `code` into *out and returns its length (1 to 15). Never fails:
// problems are reported in out->flags, and the length of an erroneous instruction is the
// number of bytes consumed, capped at 15. Reads at most kMaxInstructionBytesRead bytes and
// writes only *out; safe to call from any thread.
unsigned DecodeInstruction(const void* code, DecodedInstruction* out);
// The same, reading at most `available` bytes from `code` (the readable rest of its region):
// an instruction that needs more is decoded as if zeros followed and carries
// INSN_ERROR | INSN_ERROR_TRUNCATED.
unsigned DecodeInstruction(const void* code, size_t available, DecodedInstruction* out);
