#include "base/opcode_table.h"

namespace {

constexpr uint8_t M = OPA_MODRM;
constexpr uint8_t I8 = OPA_IMM8;
constexpr uint8_t I16 = OPA_IMM16;
constexpr uint8_t IZ = OPA_IMM_OP;
constexpr uint8_t R8 = OPA_REL8;
constexpr uint8_t RZ = OPA_IMM_OP | OPA_REL32;
constexpr uint8_t U = OPA_UNDEFINED;
constexpr uint8_t MI8 = M | I8;
constexpr uint8_t MIZ = M | IZ;
constexpr uint8_t G(uint8_t index) { return OPA_GROUP | index; }

constexpr uint16_t Group(uint8_t attributes, uint8_t undefinedRegs) {
  return static_cast<uint16_t>(attributes | (undefinedRegs << 8));
}

// Prefix sets that leave an SSE opcode undefined.
constexpr uint8_t NP = OPP_NONE;
constexpr uint8_t F2 = OPP_F2;
constexpr uint8_t F3 = OPP_F3;
constexpr uint8_t P66 = OPP_66;
constexpr uint8_t MMX = F2 | F3;  // no prefix (MMX) or 66 (SSE2) only

}  // namespace

const OpcodeTable kOpcodeTable = {
    // One-byte opcodes. Prefix bytes are 0 (not undefined): sixteen prefixes in a row make
    // the last one the opcode.
    {
        /* 00 */ M, M, M, M, I8, IZ, 0, 0, M, M, M, M, I8, IZ, 0, 0,
        /* 10 */ M, M, M, M, I8, IZ, 0, 0, M, M, M, M, I8, IZ, 0, 0,
        /* 20 */ M, M, M, M, I8, IZ, 0, 0, M, M, M, M, I8, IZ, 0, 0,
        /* 30 */ M, M, M, M, I8, IZ, 0, 0, M, M, M, M, I8, IZ, 0, 0,
        /* 40 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 50 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 60 */ 0, 0, M, M, 0, 0, 0, 0, IZ, MIZ, I8, MI8, 0, 0, 0, 0,
        /* 70 */ R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8, R8,
        /* 80 */ MI8, MIZ, MI8, MI8, M, M, M, M, M, M, M, M, M, M, M, G(0),
        /* 90 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, IZ | I16, 0, 0, 0, 0, 0,
        // A0 to A3: the offset's size follows the address size (the decoder swaps 66 for 67).
        /* A0 */ IZ, IZ, IZ, IZ, 0, 0, 0, 0, I8, IZ, 0, 0, 0, 0, 0, 0,
        /* B0 */ I8, I8, I8, I8, I8, I8, I8, I8, IZ, IZ, IZ, IZ, IZ, IZ, IZ, IZ,
        /* C0 */ G(1), G(1), I16, 0, M, M, G(2), G(3), I16 | I8, 0, I16, 0, 0, I8, 0, 0,
        /* D0 */ G(4), G(4), G(4), G(4), I8, I8, U, 0, M, M, M, M, M, M, M, M,
        /* E0 */ R8, R8, R8, R8, I8, I8, I8, I8, RZ, RZ, IZ | I16, R8, 0, 0, 0, 0,
        /* F0 */ 0, 0, 0, 0, 0, 0, M, M, 0, 0, 0, 0, 0, 0, G(5), G(6),
    },
    // Two-byte opcodes 0F xx. 0F 38 and 0F 3A lead to three-byte maps this decoder does not
    // cover; they are reported undefined so that no caller trusts their length.
    {
        /* 00 */ G(0), M, M, M, U, 0, 0, 0, 0, 0, U, U, U, M, 0, MI8,
        /* 10 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* 20 */ M, M, M, M, U, U, U, U, M, M, M, M, M, M, M, M,
        /* 30 */ 0, 0, 0, 0, 0, 0, U, 0, U, U, U, U, U, U, U, U,
        /* 40 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* 50 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* 60 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* 70 */ MI8, G(1), G(1), G(2), M, M, M, 0, M, M, U, U, M, M, M, M,
        /* 80 */ RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ, RZ,
        /* 90 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* A0 */ 0, 0, 0, M, MI8, M, U, U, 0, 0, 0, M, MI8, M, M, M,
        /* B0 */ M, M, M, M, M, M, M, M, M, U, G(3), M, M, M, M, M,
        /* C0 */ M, M, MI8, M, MI8, MI8, MI8, G(4), 0, 0, 0, 0, 0, 0, 0, 0,
        /* D0 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* E0 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, M,
        /* F0 */ M, M, M, M, M, M, M, M, M, M, M, M, M, M, M, U,
    },
    // One-byte groups.
    {
        Group(M, 0x7F),         // 0: 8F, POP Ev is /0 only
        Group(MI8, 0x02),       // 1: C0 C1, shifts; /6 is undefined
        Group(MI8, 0x7E),       // 2: C6, MOV Eb,Ib /0 and XABORT /7
        Group(MIZ, 0x7E),       // 3: C7, MOV Ev,Iz /0 and XBEGIN /7
        Group(M, 0x02),         // 4: D0 to D3, shifts by 1 or CL
        Group(M, 0x3F),         // 5: FE, INC /0 and DEC /1
        Group(M, 0x01),         // 6: FF, /7 is undefined
    },
    // Two-byte groups.
    {
        Group(M, 0x03),         // 0: 0F 00, /6 and /7 are undefined
        Group(MI8, 0xD5),       // 1: 0F 71, 0F 72: shifts /2, /4, /6
        Group(MI8, 0xCC),       // 2: 0F 73: shifts /2, /3, /6, /7
        Group(MI8, 0xF0),       // 3: 0F BA: BT, BTS, BTR, BTC are /4 to /7
        Group(M, 0xA0),         // 4: 0F C7: /0 and /2 are undefined
    },
    // Two-byte prefix masks.
    {
        /* 00 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 10 */ 0, 0, 0, MMX, MMX, MMX, F2, MMX, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 20 */ 0, 0, 0, 0, 0, 0, 0, 0, MMX, MMX, 0, MMX, 0, 0, MMX, MMX,
        /* 30 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 40 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 50 */ MMX, 0, F2 | P66, F2 | P66, MMX, MMX, MMX, MMX, 0, 0, 0, F2, 0, 0, 0, 0,
        /* 60 */ MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX,
                 NP | F2 | F3, NP | F2 | F3, MMX, F2,
        /* 70 */ 0, MMX, MMX, MMX, MMX, MMX, MMX, F2 | F3 | P66, 0, 0, 0, 0,
                 NP | F3, NP | F3, F2, F2,
        /* 80 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* 90 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* A0 */ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* B0 */ 0, 0, 0, 0, 0, 0, 0, 0, NP | F2, 0, 0, 0, 0, 0, 0, 0,
        /* C0 */ 0, 0, 0, F2 | F3 | P66, MMX, MMX, MMX, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        /* D0 */ NP | F3, MMX, MMX, MMX, MMX, MMX, NP, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX,
        /* E0 */ MMX, MMX, MMX, MMX, MMX, MMX, NP, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX,
        /* F0 */ NP | F3 | P66, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, MMX, 0,
    },
    // x87 with a memory operand: D9 /1, DB /4 /6, DD /5 are undefined.
    {0x40, 0x00, 0x0A, 0x00, 0x04, 0x00, 0x00},
    // x87 with a register operand, per reg.
    {
        /* D9 */ {0x00, 0x00, 0x7F, 0xFF, 0x33, 0x01, 0x00, 0x00},
        /* DA */ {0x00, 0x00, 0x00, 0x00, 0xFF, 0xBF, 0xFF, 0xFF},
        /* DB */ {0x00, 0x00, 0x00, 0x00, 0xCF, 0x00, 0x00, 0xFF},
        /* DC */ {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00},
        /* DD */ {0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF},
        /* DE */ {0x00, 0x00, 0xFF, 0xBF, 0x00, 0x00, 0x00, 0x00},
        /* DF */ {0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0xFF},
    },
    // One-byte opcodes that accept LOCK (with a memory operand).
    {
        {0x00, 0x00}, {0x08, 0x00}, {0x10, 0x00}, {0x18, 0x00},
        {0x20, 0x00}, {0x28, 0x00}, {0x30, 0x00},
        {0x80, 0x01},  // not CMP
        {0x82, 0x01},
        {0x86, 0x00},  // XCHG
        {0xF6, 0xCF},  // NOT, NEG
        {0xFE, 0x3F},  // INC, DEC
    },
    // Two-byte opcodes that accept LOCK.
    {
        {0xAB, 0x00}, {0xB3, 0x00}, {0xBB, 0x00},
        {0xBA, 0xF8},  // BTS, BTR, BTC
        {0xB0, 0x00}, {0xB1, 0x00}, {0xC0, 0x00}, {0xC1, 0x00},
        {0xC7, 0xBF},  // CMPXCHG8B
    },
    // One-byte forms that need a memory operand.
    {
        {0x62, OPP_ANY, 0x00},  // BOUND
        {0x8D, OPP_ANY, 0x00},  // LEA
        {0xC4, OPP_ANY, 0x00},  // LES
        {0xC5, OPP_ANY, 0x00},  // LDS
        {0xFF, OPP_ANY, 0xEB},  // far CALL /3 and far JMP /5
    },
    // Two-byte forms that need a memory operand.
    {
        {0x12, OPP_66, 0x00},   // MOVLPD load
        {0x13, OPP_ANY, 0x00},  // MOVLPS, MOVLPD store
        {0x16, OPP_66, 0x00},   // MOVHPD load
        {0x17, OPP_ANY, 0x00},  // MOVHPS, MOVHPD store
        {0x2B, OPP_ANY, 0x00},  // MOVNTPS, MOVNTPD
        {0xAE, OPP_ANY, 0x07},  // FXSAVE to XRSTOR; the fences /5 to /7 take mod 3
        {0xB2, OPP_ANY, 0x00},  // LSS
        {0xB4, OPP_ANY, 0x00},  // LFS
        {0xB5, OPP_ANY, 0x00},  // LGS
        {0xC3, OPP_ANY, 0x00},  // MOVNTI
        {0xC7, OPP_ANY, 0x03},  // CMPXCHG8B and the XSAVE forms; RDRAND /6 and RDSEED /7 take mod 3
        {0xE7, OPP_ANY, 0x00},  // MOVNTQ, MOVNTDQ
        {0xF0, OPP_ANY, 0x00},  // LDDQU
    },
};
