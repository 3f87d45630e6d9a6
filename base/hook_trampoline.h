// Trampolines: the first instructions of a hooked function, copied into a slot with their
// relative branches re-aimed, followed by a jump back into the function. Built over the
// memory an IHookPlatform gives, so the builder runs on any byte buffer that stands for
// 32-bit code at known addresses.
#pragma once

#include <windows.h>

#include "base/hook_platform.h"

// Bytes of one trampoline slot.
constexpr UINT32 kTrampolineSlotSize = 32;
// Instruction boundaries recorded per trampoline.
constexpr UINT32 kMaxTrampolineBoundaries = 8;
// Bytes of the long jump that a hook writes over its target.
constexpr UINT32 kLongJumpSize = 5;

struct TrampolineBuild {
  // Inputs: addresses in the platform's memory.
  UINT32 nTarget;
  UINT32 nDetour;
  UINT32 nTrampoline;  // a slot of kTrampolineSlotSize writable bytes
  // Outputs.
  BOOL bPatchAbove;    // the long jump goes in the 5 padding bytes before the target
  UINT32 nCount;       // boundaries recorded
  BYTE oldOffsets[kMaxTrampolineBoundaries];  // instruction offsets in the target...
  BYTE newOffsets[kMaxTrampolineBoundaries];  // ...and where each landed in the trampoline
};

// Copies whole instructions of the target into the trampoline until the long jump fits, then
// appends the jump back. Returns false when the target cannot be hooked safely (undefined
// instruction, a loop or counter-register jump that leaves the copied bytes, a branch with a
// 16-bit instruction pointer, no room for the patch); the slot may then hold partial bytes.
[[nodiscard]] bool CreateTrampoline(IHookPlatform& platform, TrampolineBuild* pBuild);

// Whether the nCount bytes at nAddress are all 0x00, all 0x90 or all 0xCC.
bool IsCodePadding(IHookPlatform& platform, UINT32 nAddress, UINT32 nCount);

// Whether nAddress lies in committed memory with execute access.
bool IsExecutableAddress(IHookPlatform& platform, UINT32 nAddress);
