#include "base/hook_trampoline.h"

#include <cstring>

#include "base/instruction_decoder.h"

namespace {

constexpr UINT32 kHeadSize = kLongJumpSize;

void WriteRel32(BYTE* p, UINT32 nValue) {
  std::memcpy(p, &nValue, sizeof(nValue));
}

// A branch of `opcodeLength` opcode bytes at nAt to nDestination; returns its length.
UINT32 WriteBranch(BYTE* p, const BYTE* opcode, UINT32 opcodeLength, UINT32 nAt, UINT32 nDestination) {
  std::memcpy(p, opcode, opcodeLength);
  const UINT32 length = opcodeLength + 4;
  WriteRel32(p + opcodeLength, nDestination - (nAt + length));
  return length;
}

UINT32 SignExtend8(uint32_t value) {
  return static_cast<UINT32>(static_cast<INT32>(static_cast<INT8>(value & 0xFF)));
}

}  // namespace

bool IsCodePadding(IHookPlatform& platform, UINT32 nAddress, UINT32 nCount) {
  const UINT32 nRead = nCount > 0 ? nCount : 1;
  if (platform.ReadableBytes(nAddress, nRead) < nRead) return false;
  const BYTE* p = platform.CodeBytes(nAddress);
  if (p[0] != 0x00 && p[0] != 0x90 && p[0] != 0xCC) return false;
  for (UINT32 i = 1; i < nCount; ++i) {
    if (p[i] != p[0]) return false;
  }
  return true;
}

bool IsExecutableAddress(IHookPlatform& platform, UINT32 nAddress) {
  DWORD dwState = 0;
  DWORD dwProtect = 0;
  if (!platform.QueryRegion(nAddress, &dwState, &dwProtect)) return false;
  const DWORD kExecute = PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  return dwState == MEM_COMMIT && (dwProtect & kExecute) != 0;
}

bool CreateTrampoline(IHookPlatform& platform, TrampolineBuild* pBuild) {
  const UINT32 target = pBuild->nTarget;
  const UINT32 trampoline = pBuild->nTrampoline;
  BYTE* const slot = platform.CodeBytes(trampoline);
  pBuild->bPatchAbove = FALSE;
  pBuild->nCount = 0;

  UINT32 oldPos = 0;
  UINT32 newPos = 0;
  UINT32 jumpEnd = 0;  // offset of the furthest destination inside the head
  bool finished = false;
  do {
    const UINT32 address = target + oldPos;
    DecodedInstruction insn;
    // A short function at the end of its region: the decoder reads nothing past the region.
    DecodeInstruction(platform.CodeBytes(address), platform.ReadableBytes(address, kMaxInstructionBytesRead), &insn);
    if (insn.flags & INSN_ERROR) return false;

    BYTE piece[kMaxInstructionLength];
    UINT32 pieceLength = 0;
    const UINT32 pieceAt = trampoline + newPos;
    bool copy = false;

    if (oldPos >= kHeadSize) {
      static const BYTE kJmp[] = {0xE9};
      pieceLength = WriteBranch(piece, kJmp, 1, pieceAt, address);
      finished = true;
    } else if ((insn.flags & INSN_RELATIVE) && insn.operandSizePrefix) {
      // A branch that truncates the instruction pointer to 16 bits cannot be moved.
      return false;
    } else if (insn.flags & INSN_RELATIVE) {
      const bool rel8 = (insn.flags & INSN_IMM8) != 0;
      const UINT32 destination = address + insn.length + (rel8 ? SignExtend8(insn.immediate) : insn.immediate);
      const UINT32 destOffset = destination - target;
      const bool intoHead = destOffset < kHeadSize;
      const BYTE op = insn.opcode;
      if (op == 0xE8) {
        static const BYTE kCall[] = {0xE8};
        pieceLength = WriteBranch(piece, kCall, 1, pieceAt, destination);
      } else if (intoHead) {
        // Copied as it stands: the bytes between the jump and its destination must keep
        // their distance in the trampoline.
        if (destOffset > jumpEnd) jumpEnd = destOffset;
        if (destOffset < oldPos) {
          bool sameShift = false;
          for (UINT32 i = 0; i < pBuild->nCount; ++i) {
            if (pBuild->oldOffsets[i] == destOffset) {
              sameShift = pBuild->newOffsets[i] - pBuild->oldOffsets[i] ==
                          static_cast<int>(newPos) - static_cast<int>(oldPos);
            }
          }
          if (!sameShift) return false;
        }
        copy = true;
      } else if (op == 0xE9 || op == 0xEB) {
        static const BYTE kJmp[] = {0xE9};
        pieceLength = WriteBranch(piece, kJmp, 1, pieceAt, destination);
        finished = oldPos >= jumpEnd;
      } else if (op >= 0xE0 && op <= 0xE3) {
        // LOOP, LOOPE, LOOPNE and JECXZ have no long form.
        return false;
      } else {
        const BYTE condition = static_cast<BYTE>((op == 0x0F ? insn.opcode2 : op) & 0x0F);
        const BYTE kJcc[] = {0x0F, static_cast<BYTE>(0x80 | condition)};
        pieceLength = WriteBranch(piece, kJcc, 2, pieceAt, destination);
      }
    } else {
      if (insn.opcode == 0xC2 || insn.opcode == 0xC3) finished = oldPos >= jumpEnd;
      copy = true;
    }
    if (copy) {
      std::memcpy(piece, platform.CodeBytes(address), insn.length);
      pieceLength = insn.length;
    }

    if (oldPos < jumpEnd && pieceLength != insn.length) return false;
    if (newPos + pieceLength > kTrampolineSlotSize) return false;
    if (pBuild->nCount >= kMaxTrampolineBoundaries) return false;

    pBuild->oldOffsets[pBuild->nCount] = static_cast<BYTE>(oldPos);
    pBuild->newOffsets[pBuild->nCount] = static_cast<BYTE>(newPos);
    ++pBuild->nCount;
    std::memcpy(slot + newPos, piece, pieceLength);
    newPos += pieceLength;
    oldPos += insn.length;
  } while (!finished);

  if (oldPos >= kHeadSize || IsCodePadding(platform, target + oldPos, kHeadSize - oldPos)) return true;

  // Too short for the long jump: it goes into the padding above, reached by a short jump.
  if (oldPos < 2 && !IsCodePadding(platform, target + oldPos, 2 - oldPos)) return false;
  if (!IsExecutableAddress(platform, target - kLongJumpSize)) return false;
  if (!IsCodePadding(platform, target - kLongJumpSize, kLongJumpSize)) return false;
  pBuild->bPatchAbove = TRUE;
  return true;
}
