#include "base/hook_trampoline.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/base/simulated_process.h"

namespace {

constexpr UINT32 kTarget = CSimulatedProcess::kCode + 0x10;
constexpr UINT32 kSlot = CSimulatedProcess::kFreeBase + 0x40;

using Bytes = std::vector<BYTE>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Rel32(UINT32 value) {
  return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
          static_cast<BYTE>(value >> 24)};
}

// E9 or E8 at `at` to `to`.
Bytes Branch(BYTE opcode, UINT32 at, UINT32 to) {
  return Cat({{opcode}, Rel32(to - (at + 5))});
}

Bytes Jcc(BYTE condition, UINT32 at, UINT32 to) {
  return Cat({{0x0F, static_cast<BYTE>(0x80 | condition)}, Rel32(to - (at + 6))});
}

const Bytes kPadding = {0x90, 0x90, 0x90, 0x90, 0x90};
const Bytes kInt3s = {0xCC, 0xCC, 0xCC, 0xCC, 0xCC};
const Bytes kCodeAbove = {0x55, 0x8B, 0xEC, 0x5D, 0xC3};

struct TrampolineRow {
  std::string name;
  Bytes above;  // the 5 bytes before the target
  Bytes code;
  bool ok;
  bool patchAbove;
  Bytes trampoline;
  Bytes oldOffsets;
  Bytes newOffsets;
};

void PrintTo(const TrampolineRow& row, std::ostream* os) {
  *os << row.name;
}

std::vector<TrampolineRow> Rows() {
  const UINT32 T = kTarget;
  const UINT32 S = kSlot;
  return {
      {"HotPatchPrologue", kInt3s, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10}, true, false,
       Cat({{0x8B, 0xFF, 0x55, 0x8B, 0xEC}, Branch(0xE9, S + 5, T + 5)}), {0, 2, 3, 5}, {0, 2, 3, 5}},
      {"CallReaimed", kInt3s, {0xE8, 0x00, 0x01, 0x00, 0x00, 0x55}, true, false,
       Cat({Branch(0xE8, S, T + 0x105), Branch(0xE9, S + 5, T + 5)}), {0, 5}, {0, 5}},
      {"ShortJccWidened", kInt3s, {0x74, 0x10, 0x8B, 0xFF, 0x55}, true, false,
       Cat({Jcc(4, S, T + 0x12), {0x8B, 0xFF, 0x55}, Branch(0xE9, S + 9, T + 5)}), {0, 2, 4, 5}, {0, 6, 8, 9}},
      {"LongJccReaimed", kInt3s, {0x0F, 0x85, 0x00, 0x02, 0x00, 0x00}, true, false,
       Cat({Jcc(5, S, T + 0x206), Branch(0xE9, S + 6, T + 6)}), {0, 6}, {0, 6}},
      {"JumpAtStartReaimed", kInt3s, {0xE9, 0x00, 0x10, 0x00, 0x00}, true, false, Branch(0xE9, S, T + 0x1005), {0},
       {0}},
      {"LoopOutOfHead", kInt3s, {0xE2, 0x10, 0x8B, 0xFF, 0x55}, false, false, {}, {}, {}},
      {"JecxzOutOfHead", kInt3s, {0xE3, 0x10, 0x8B, 0xFF, 0x55}, false, false, {}, {}, {}},
      {"LoopeIntoHeadCopied", kInt3s, {0xE1, 0x02, 0x90, 0x90, 0x90, 0xC3}, true, false,
       Cat({{0xE1, 0x02, 0x90, 0x90, 0x90}, Branch(0xE9, S + 5, T + 5)}), {0, 2, 3, 4, 5}, {0, 2, 3, 4, 5}},
      {"ReturnPatchedInPlace", kInt3s, {0xC3, 0xCC, 0xCC, 0xCC, 0xCC}, true, false, {0xC3}, {0}, {0}},
      {"ShortJumpPatchedAbove", kPadding, {0xEB, 0x10, 0x8B, 0xFF, 0x55}, true, true, Branch(0xE9, S, T + 0x12),
       {0}, {0}},
      {"ShortJumpWithCodeAbove", kCodeAbove, {0xEB, 0x10, 0x8B, 0xFF, 0x55}, false, false, {}, {}, {}},
      {"ReturnFollowedByCode", kPadding, {0xC3, 0x8B, 0xFF}, false, false, {}, {}, {}},
      {"ReturnAndOnePaddingPatchedAbove", kPadding, {0xC3, 0xCC, 0x8B, 0xFF, 0x55}, true, true, {0xC3}, {0}, {0}},
      {"InternalJumpCopied", kInt3s, {0xEB, 0x01, 0x90, 0xC3, 0xCC}, true, false, {0xEB, 0x01, 0x90, 0xC3},
       {0, 2, 3}, {0, 2, 3}},
      {"WidenedInsideInternalJump", kInt3s, {0x74, 0x02, 0x74, 0x10, 0x90}, false, false, {}, {}, {}},
      {"BackwardJumpOverWidened", kInt3s, {0x74, 0x10, 0xEB, 0xFC, 0x90}, false, false, {}, {}, {}},
      {"BackwardJumpKeepsDistance", kInt3s, {0x90, 0xEB, 0xFD, 0x90, 0x90, 0x90}, true, false,
       Cat({{0x90, 0xEB, 0xFD, 0x90, 0x90}, Branch(0xE9, S + 5, T + 5)}), {0, 1, 3, 4, 5}, {0, 1, 3, 4, 5}},
      // Two widened branches and a 15-byte instruction: the longest copy fills the slot.
      {"LongestCopyFillsSlot", kInt3s,
       {0x74, 0x10, 0x75, 0x10, 0x2E, 0x2E, 0x2E, 0x2E, 0x81, 0x84, 0x80, 0x78, 0x56, 0x34, 0x12, 0x01, 0x00, 0x00,
        0x00},
       true, false,
       Cat({Jcc(4, S, T + 0x12), Jcc(5, S + 6, T + 0x14),
            {0x2E, 0x2E, 0x2E, 0x2E, 0x81, 0x84, 0x80, 0x78, 0x56, 0x34, 0x12, 0x01, 0x00, 0x00, 0x00},
            Branch(0xE9, S + 27, T + 19)}),
       {0, 2, 4, 19}, {0, 6, 12, 27}},
      {"UndefinedInstruction", kInt3s, {0x0F, 0x0B, 0x90, 0x90, 0x90}, false, false, {}, {}, {}},
      {"SixteenBitJump", kInt3s, {0x66, 0xE9, 0x00, 0x01, 0x90}, false, false, {}, {}, {}},
  };
}

class CreateTrampolineTable : public testing::TestWithParam<TrampolineRow> {};

TEST_P(CreateTrampolineTable, CopiesAndReaims) {
  const TrampolineRow& row = GetParam();
  CSimulatedProcess process;
  process.Write(kTarget - 5, row.above);
  process.Write(kTarget, row.code);

  TrampolineBuild build = {};
  build.nTarget = kTarget;
  build.nDetour = CSimulatedProcess::kCode + 0x800;
  build.nTrampoline = kSlot;
  const bool ok = CreateTrampoline(process, &build);
  ASSERT_EQ(row.ok, ok);
  if (!ok) return;
  ASSERT_LE(row.trampoline.size(), kTrampolineSlotSize);
  EXPECT_EQ(row.patchAbove, build.bPatchAbove != FALSE);
  EXPECT_EQ(row.trampoline, process.Read(kSlot, static_cast<UINT32>(row.trampoline.size())));
  EXPECT_EQ(row.oldOffsets, Bytes(build.oldOffsets, build.oldOffsets + build.nCount));
  EXPECT_EQ(row.newOffsets, Bytes(build.newOffsets, build.newOffsets + build.nCount));
  // The target itself is left alone.
  EXPECT_EQ(row.code, process.Read(kTarget, static_cast<UINT32>(row.code.size())));
}

INSTANTIATE_TEST_SUITE_P(Targets, CreateTrampolineTable, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<TrampolineRow>& info) { return info.param.name; });

TEST(CreateTrampoline, PatchAboveNeedsExecutablePadding) {
  // Padding before the target that lies in a page without execute access.
  CSimulatedProcess process;
  const UINT32 target = CSimulatedProcess::kCode;  // first byte of the code; above it the data page
  process.Write(target - 5, kPadding);
  process.Write(target, {0xEB, 0x10, 0x8B, 0xFF, 0x55});
  TrampolineBuild build = {};
  build.nTarget = target;
  build.nTrampoline = kSlot;
  EXPECT_FALSE(CreateTrampoline(process, &build));
}

// Short functions in the last bytes of the code region, before uncommitted memory that would
// read as padding: neither the decoder nor the padding check looks past the region, so the
// function is refused instead of patched across the region's end.
TEST(CreateTrampoline, FunctionsAtTheEndOfTheRegionReadNothingBeyondIt) {
  const UINT32 end = CSimulatedProcess::kFreeBase;
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"RetThenRegionEnd", {0xC3}},
      {"CallCutByRegionEnd", {0x90, 0xE8, 0x01, 0x02}},
      {"PushThenRetThenEnd", {0x55, 0xC3}},
  };
  for (const auto& c : cases) {
    CSimulatedProcess process;
    process.Write(end - UINT32(c.bytes.size()) - 5, {0x8B, 0xFF, 0x8B, 0xFF, 0x55});  // no padding above
    process.Write(end - UINT32(c.bytes.size()), c.bytes);
    TrampolineBuild build = {};
    build.nTarget = end - UINT32(c.bytes.size());
    build.nTrampoline = kSlot;
    EXPECT_FALSE(CreateTrampoline(process, &build)) << c.name;
  }
  CSimulatedProcess process;
  EXPECT_FALSE(IsCodePadding(process, end - 2, 5)) << "the uncommitted bytes are no padding";
  EXPECT_TRUE(IsCodePadding(process, end - 5, 5));
}

TEST(IsCodePadding, NeedsOnePaddingByteRepeated) {
  CSimulatedProcess process;
  const UINT32 at = CSimulatedProcess::kCode + 0x200;
  const struct {
    Bytes bytes;
    bool padding;
  } cases[] = {
      {{0x90, 0x90, 0x90}, true}, {{0xCC, 0xCC, 0xCC}, true}, {{0x00, 0x00, 0x00}, true},
      {{0x90, 0xCC, 0x90}, false}, {{0xC3, 0xC3, 0xC3}, false}, {{0x90, 0x90, 0x00}, false},
  };
  for (const auto& c : cases) {
    process.Write(at, c.bytes);
    EXPECT_EQ(c.padding, IsCodePadding(process, at, 3)) << int(c.bytes[0]) << " " << int(c.bytes[2]);
  }
}

TEST(IsExecutableAddress, NeedsCommittedExecutableMemory) {
  CSimulatedProcess process;
  EXPECT_TRUE(IsExecutableAddress(process, CSimulatedProcess::kCode + 0x123));
  EXPECT_FALSE(IsExecutableAddress(process, CSimulatedProcess::kDataPage + 0x10));
  EXPECT_FALSE(IsExecutableAddress(process, CSimulatedProcess::kFreeBase));  // not committed
  EXPECT_FALSE(IsExecutableAddress(process, 0x1000));                        // query fails
}

}  // namespace
