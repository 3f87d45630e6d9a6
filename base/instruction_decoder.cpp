#include "base/instruction_decoder.h"

#include <cstring>

#include "base/opcode_table.h"

namespace {

constexpr uint32_t kOpcodeError = INSN_ERROR | INSN_ERROR_OPCODE;
constexpr uint32_t kLockError = INSN_ERROR | INSN_ERROR_LOCK;
constexpr uint32_t kOperandError = INSN_ERROR | INSN_ERROR_OPERAND;
constexpr unsigned kPrefixFlagsShift = 23;

uint16_t Read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Prefix-set bit of a prefix byte, 0 for any other byte.
uint8_t PrefixBit(uint8_t byte) {
  switch (byte) {
    case 0xF2: return OPP_F2;
    case 0xF3: return OPP_F3;
    case 0x66: return OPP_66;
    case 0x67: return OPP_67;
    case 0xF0: return OPP_LOCK;
    case 0x26: case 0x2E: case 0x36: case 0x3E: case 0x64: case 0x65: return OPP_SEGMENT;
    default: return 0;
  }
}

// Whether LOCK is accepted by opcode `c` with the given reg field.
template <size_t N>
bool AcceptsLock(const uint8_t (&pairs)[N][2], uint8_t c, uint8_t reg) {
  for (const auto& pair : pairs) {
    if (pair[0] == c) return !MaskMarks(pair[1], reg);
  }
  return false;
}

// The memory-only form of opcode `c`, if any.
template <size_t N>
const uint8_t* FindMemoryOnly(const uint8_t (&triples)[N][3], uint8_t c) {
  for (const auto& triple : triples) {
    if (triple[0] == c) return triple;
  }
  return nullptr;
}

// Decodes at start; *consumed gets the bytes read, before the length is capped at 15.
unsigned Decode(const uint8_t* start, DecodedInstruction* out, unsigned* consumed) {
  const OpcodeTable& table = kOpcodeTable;
  const uint8_t* p = start;
  std::memset(out, 0, sizeof(*out));

  uint8_t prefixes = 0;
  uint8_t c = 0;
  for (int i = 0; i < 16; ++i) {
    c = *p++;
    const uint8_t bit = PrefixBit(c);
    if (bit == 0) break;
    prefixes |= bit;
    switch (bit) {
      case OPP_F2: case OPP_F3: out->repPrefix = c; break;
      case OPP_LOCK: out->lockPrefix = c; break;
      case OPP_SEGMENT: out->segmentPrefix = c; break;
      case OPP_66: out->operandSizePrefix = c; break;
      case OPP_67: out->addressSizePrefix = c; break;
    }
    // After sixteen prefixes the last one stands as the opcode.
  }

  uint32_t flags = static_cast<uint32_t>(prefixes) << kPrefixFlagsShift;
  if (prefixes == 0) prefixes = OPP_NONE;

  out->opcode = c;
  const bool twoByte = (c == 0x0F);
  const uint8_t* attributeMap = table.oneByte;
  const uint16_t* groups = table.oneByteGroups;
  if (twoByte) {
    out->opcode2 = c = *p++;
    attributeMap = table.twoByte;
    groups = table.twoByteGroups;
  } else if (c >= 0xA0 && c <= 0xA3) {
    // The memory offset of these moves has the address size.
    if (prefixes & OPP_67) {
      prefixes |= OPP_66;
    } else {
      prefixes &= static_cast<uint8_t>(~OPP_66);
    }
  }

  uint8_t attributes = attributeMap[c];
  uint8_t undefinedRegs = 0;
  if (attributes == OPA_UNDEFINED) {
    flags |= kOpcodeError;
    // 0F 24 and 0F 26 (the old test-register moves) still carry a ModR/M byte.
    attributes = ((c & 0xFD) == 0x24) ? OPA_MODRM : 0;
  }
  if (attributes & OPA_GROUP) {
    const uint16_t word = groups[attributes & 0x7F];
    attributes = static_cast<uint8_t>(word & 0xFF);
    undefinedRegs = static_cast<uint8_t>(word >> 8);
  }
  if (twoByte && (table.twoBytePrefixMasks[c] & prefixes)) flags |= kOpcodeError;

  if (attributes & OPA_MODRM) {
    flags |= INSN_MODRM;
    const uint8_t modrm = *p++;
    out->modrm = modrm;
    uint8_t mod = out->mod = modrm >> 6;
    const uint8_t reg = out->reg = (modrm >> 3) & 7;
    const uint8_t rm = out->rm = modrm & 7;

    if (MaskMarks(undefinedRegs, reg)) flags |= kOpcodeError;

    if (!twoByte && c >= 0xD9 && c <= 0xDF) {
      const unsigned x87 = c - 0xD9;
      const bool undefined = (mod == 3) ? MaskMarks(table.x87RegisterRmMasks[x87][reg], rm)
                                        : MaskMarks(table.x87MemoryRegMasks[x87], reg);
      if (undefined) flags |= kOpcodeError;
    }

    if (prefixes & OPP_LOCK) {
      const bool accepted =
          mod != 3 && (twoByte ? AcceptsLock(table.twoByteLock, c, reg)
                               : AcceptsLock(table.oneByteLock, static_cast<uint8_t>(c & 0xFE), reg));
      if (!accepted) flags |= kLockError;
    }

    if (twoByte && (c == 0x20 || c == 0x22)) {
      // Control-register moves always address a register.
      mod = 3;
      if (reg == 1 || reg > 4) flags |= kOperandError;
    } else if (twoByte && (c == 0x21 || c == 0x23)) {
      mod = 3;
      if (reg == 4 || reg == 5) flags |= kOperandError;
    } else if (!twoByte && c == 0x8C) {
      if (reg > 5) flags |= kOperandError;
    } else if (!twoByte && c == 0x8E) {
      if (reg == 1 || reg > 5) flags |= kOperandError;
    } else if (mod == 3) {
      const uint8_t* form = twoByte ? FindMemoryOnly(table.twoByteMemoryOnly, c)
                                    : FindMemoryOnly(table.oneByteMemoryOnly, c);
      if (form && (form[1] & prefixes) && !MaskMarks(form[2], reg)) flags |= kOperandError;
    } else if (twoByte) {
      // Forms that need a register operand.
      bool registerOnly = false;
      switch (c) {
        case 0x50: case 0xD7: case 0xF7: registerOnly = (prefixes & (OPP_NONE | OPP_66)) != 0; break;
        case 0xD6: registerOnly = (prefixes & (OPP_F2 | OPP_F3)) != 0; break;
        case 0xC5: registerOnly = true; break;
      }
      if (registerOnly) flags |= kOperandError;
    }

    // TEST (/0 and its alias /1) is the only member of group 3 with an immediate.
    if (!twoByte && (c == 0xF6 || c == 0xF7) && reg <= 1) {
      attributes |= (c == 0xF6) ? OPA_IMM8 : OPA_IMM_OP;
    }

    const bool address16 = (prefixes & OPP_67) != 0;
    unsigned displacementSize = 0;
    switch (mod) {
      case 0:
        if (address16) {
          displacementSize = (rm == 6) ? 2 : 0;
        } else {
          displacementSize = (rm == 5) ? 4 : 0;
        }
        break;
      case 1: displacementSize = 1; break;
      case 2: displacementSize = address16 ? 2 : 4; break;
      default: break;
    }

    if (mod != 3 && rm == 4 && !address16) {
      flags |= INSN_SIB;
      const uint8_t sib = *p++;
      out->sib = sib;
      out->scale = sib >> 6;
      out->index = (sib >> 3) & 7;
      out->base = sib & 7;
      if (out->base == 5 && (mod == 0 || mod == 2)) displacementSize = 4;
    }

    switch (displacementSize) {
      case 1: flags |= INSN_DISP8; out->displacement = *p; break;
      case 2: flags |= INSN_DISP16; out->displacement = Read16(p); break;
      case 4: flags |= INSN_DISP32; out->displacement = Read32(p); break;
      default: break;
    }
    p += displacementSize;
  } else if (prefixes & OPP_LOCK) {
    flags |= kLockError;
  }

  bool done = false;
  if (attributes & OPA_IMM_OP) {
    if (attributes & OPA_REL32) {
      if (prefixes & OPP_66) {
        flags |= INSN_IMM16 | INSN_RELATIVE;
        out->immediate = Read16(p);
        p += 2;
        done = true;
      }
      // Otherwise the 32-bit relative immediate below.
    } else if (prefixes & OPP_66) {
      flags |= INSN_IMM16;
      out->immediate = Read16(p);
      p += 2;
    } else {
      flags |= INSN_IMM32;
      out->immediate = Read32(p);
      p += 4;
    }
  }
  if (!done && (attributes & OPA_IMM16)) {
    if (flags & INSN_IMM32) {
      flags |= INSN_IMM16;
      out->displacement = Read16(p);
    } else if (flags & INSN_IMM16) {
      flags |= INSN_SECOND_IMM16;
      out->displacement = Read16(p);
    } else {
      flags |= INSN_IMM16;
      out->immediate = Read16(p);
    }
    p += 2;
  }
  if (!done && (attributes & OPA_IMM8)) {
    // ENTER's second immediate goes beside its first.
    if (flags & (INSN_IMM16 | INSN_IMM32)) {
      out->displacement = *p;
    } else {
      out->immediate = *p;
    }
    flags |= INSN_IMM8;
    ++p;
  }
  if (!done && (attributes & OPA_REL32)) {
    flags |= INSN_IMM32 | INSN_RELATIVE;
    out->immediate = Read32(p);
    p += 4;
  } else if (!done && (attributes & OPA_REL8)) {
    flags |= INSN_IMM8 | INSN_RELATIVE;
    out->immediate = *p;
    ++p;
  }

  unsigned length = static_cast<unsigned>(p - start);
  *consumed = length;
  if (length > kMaxInstructionLength) {
    length = kMaxInstructionLength;
    flags |= INSN_ERROR | INSN_ERROR_LENGTH;
  }
  out->length = static_cast<uint8_t>(length);
  out->flags = flags;
  return length;
}

}  // namespace

unsigned DecodeInstruction(const void* code, DecodedInstruction* out) {
  unsigned consumed = 0;
  return Decode(static_cast<const uint8_t*>(code), out, &consumed);
}

unsigned DecodeInstruction(const void* code, size_t available, DecodedInstruction* out) {
  // Decoded from a copy of the readable bytes: whatever the instruction claims, nothing past
  // `available` is touched. Bytes it would need beyond them read as zero, and the result is
  // marked truncated.
  uint8_t window[kMaxInstructionBytesRead] = {};
  const size_t readable = available < sizeof(window) ? available : sizeof(window);
  if (readable > 0) std::memcpy(window, code, readable);
  unsigned consumed = 0;
  const unsigned length = Decode(window, out, &consumed);
  if (consumed > readable) out->flags |= INSN_ERROR | INSN_ERROR_TRUNCATED;
  return length;
}
