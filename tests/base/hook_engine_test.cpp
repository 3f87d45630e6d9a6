#include "base/hook_engine.h"

#include <gtest/gtest.h>

#include <cstddef>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/base/simulated_process.h"

namespace {

using Bytes = std::vector<BYTE>;

const Bytes kPrologue = {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x83, 0xEC, 0x10};

class HookEngineTest : public testing::Test {
 protected:
  static constexpr UINT32 kTarget = CSimulatedProcess::kCode + 0x100;
  static constexpr UINT32 kDetour = CSimulatedProcess::kCode + 0x800;

  void SetUp() override {
    process_.Write(kTarget - 5, {0x90, 0x90, 0x90, 0x90, 0x90});
    process_.Write(kTarget, kPrologue);
    ASSERT_EQ(MH_OK, engine_.Initialize());
  }

  void TearDown() override {
    const MH_STATUS status = engine_.Uninitialize();
    EXPECT_TRUE(status == MH_OK || status == MH_ERROR_NOT_INITIALIZED) << MH_StatusToString(status);
  }

  // A function with the hot-patch prologue at the n-th place of the code pages.
  UINT32 AddFunction(UINT n) {
    const UINT32 at = CSimulatedProcess::kCode + 0x1000 + n * 16;
    process_.Write(at, {0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x5D, 0xC3, 0xCC});
    return at;
  }

  static Bytes JumpTo(UINT32 at, UINT32 to) {
    const UINT32 rel = to - (at + 5);
    return {0xE9, static_cast<BYTE>(rel), static_cast<BYTE>(rel >> 8), static_cast<BYTE>(rel >> 16),
            static_cast<BYTE>(rel >> 24)};
  }

  CSimulatedProcess process_;
  CHookEngine engine_{process_};
};

TEST_F(HookEngineTest, StatusSequence) {
  CSimulatedProcess other;
  CHookEngine fresh(other);
  UINT32 trampoline = 0;
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.CreateHook(kTarget, kDetour, &trampoline));
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.RemoveHook(kTarget));
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.EnableHook(kTarget, true));
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.EnableHook(0, false));
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.QueueHook(0, true));
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.ApplyQueued());
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, fresh.Uninitialize());

  EXPECT_EQ(MH_ERROR_ALREADY_INITIALIZED, engine_.Initialize());
  EXPECT_EQ(MH_ERROR_NOT_CREATED, engine_.EnableHook(kTarget, true));
  EXPECT_EQ(MH_ERROR_NOT_CREATED, engine_.QueueHook(kTarget, true));
  EXPECT_EQ(MH_ERROR_NOT_CREATED, engine_.RemoveHook(kTarget));
  EXPECT_EQ(MH_OK, engine_.CreateHook(kTarget, kDetour, &trampoline));
  EXPECT_NE(0u, trampoline);
  EXPECT_EQ(MH_ERROR_ALREADY_CREATED, engine_.CreateHook(kTarget, kDetour, nullptr));
  EXPECT_EQ(MH_ERROR_DISABLED, engine_.EnableHook(kTarget, false));
  EXPECT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  EXPECT_EQ(MH_ERROR_ENABLED, engine_.EnableHook(kTarget, true));
  EXPECT_EQ(MH_OK, engine_.EnableHook(0, true));  // all are enabled already
  EXPECT_EQ(MH_OK, engine_.EnableHook(kTarget, false));
  EXPECT_EQ(MH_ERROR_DISABLED, engine_.EnableHook(kTarget, false));
  EXPECT_EQ(MH_OK, engine_.EnableHook(0, false));
  EXPECT_EQ(MH_OK, engine_.ApplyQueued());
  EXPECT_EQ(MH_OK, engine_.Uninitialize());
  EXPECT_EQ(MH_ERROR_NOT_INITIALIZED, engine_.CreateHook(kTarget, kDetour, nullptr));
  EXPECT_EQ(MH_OK, engine_.Initialize());
}

TEST_F(HookEngineTest, RefusesTargetsItCannotHook) {
  UINT32 trampoline = 0x12345678;
  EXPECT_EQ(MH_ERROR_NOT_EXECUTABLE, engine_.CreateHook(CSimulatedProcess::kDataPage, kDetour, &trampoline));
  EXPECT_EQ(MH_ERROR_NOT_EXECUTABLE, engine_.CreateHook(kTarget, CSimulatedProcess::kDataPage, &trampoline));
  const UINT32 loop = CSimulatedProcess::kCode + 0x400;
  process_.Write(loop, {0xE2, 0x10, 0x8B, 0xFF, 0x55});
  EXPECT_EQ(MH_ERROR_UNSUPPORTED_FUNCTION, engine_.CreateHook(loop, kDetour, &trampoline));
  EXPECT_EQ(0x12345678u, trampoline);
  EXPECT_EQ(0u, engine_.HookCount());
  // The slot taken for the failed build went back, and with it the page.
  EXPECT_EQ(0u, engine_.BlockCount());
  EXPECT_EQ(1u, process_.m_freedPages.size());
}

TEST_F(HookEngineTest, EnableWritesJumpAndDisableRestores) {
  UINT32 trampoline = 0;
  ASSERT_EQ(MH_OK, engine_.CreateHook(kTarget, kDetour, &trampoline));
  EXPECT_EQ(kPrologue, process_.Read(kTarget, 8)) << "a new hook is disabled";
  const HookEntry* entry = engine_.FindEntry(kTarget);
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(Bytes(kPrologue.begin(), kPrologue.begin() + 5), Bytes(entry->backup, entry->backup + 5));

  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  Bytes expected = JumpTo(kTarget, kDetour);
  expected.insert(expected.end(), kPrologue.begin() + 5, kPrologue.end());
  EXPECT_EQ(expected, process_.Read(kTarget, 8));
  EXPECT_EQ(static_cast<DWORD>(PAGE_EXECUTE_READ), process_.PageProtection(kTarget)) << "protection restored";
  ASSERT_EQ(1u, process_.m_flushes.size());
  EXPECT_EQ(kTarget, process_.m_flushes[0].first);
  EXPECT_EQ(5u, process_.m_flushes[0].second);
  EXPECT_TRUE(entry->bEnabled);
  EXPECT_TRUE(entry->bQueueEnable);
  // The trampoline runs the original start, then continues behind the patch.
  Bytes start(kPrologue.begin(), kPrologue.begin() + 5);
  Bytes back = JumpTo(trampoline + 5, kTarget + 5);
  start.insert(start.end(), back.begin(), back.end());
  EXPECT_EQ(start, process_.Read(trampoline, 10));

  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, false));
  EXPECT_EQ(kPrologue, process_.Read(kTarget, 8));
  EXPECT_FALSE(entry->bEnabled);
}

TEST_F(HookEngineTest, ShortFunctionIsPatchedAbove) {
  const UINT32 target = CSimulatedProcess::kCode + 0x300;
  const Bytes above = {0x90, 0x90, 0x90, 0x90, 0x90};
  const Bytes code = {0xEB, 0x20, 0x8B, 0xFF, 0x55};
  process_.Write(target - 5, above);
  process_.Write(target, code);
  ASSERT_EQ(MH_OK, engine_.CreateHook(target, kDetour, nullptr));
  ASSERT_TRUE(engine_.FindEntry(target)->bPatchAbove);

  ASSERT_EQ(MH_OK, engine_.EnableHook(target, true));
  Bytes expected = JumpTo(target - 5, kDetour);
  expected.insert(expected.end(), {0xEB, 0xF9, 0x8B, 0xFF, 0x55});
  EXPECT_EQ(expected, process_.Read(target - 5, 10));
  EXPECT_EQ(target - 5, process_.m_flushes.back().first);
  EXPECT_EQ(7u, process_.m_flushes.back().second);

  ASSERT_EQ(MH_OK, engine_.EnableHook(target, false));
  Bytes original = above;
  original.insert(original.end(), code.begin(), code.end());
  EXPECT_EQ(original, process_.Read(target - 5, 10));
}

TEST_F(HookEngineTest, FailedProtectionLeavesHookAsItWas) {
  ASSERT_EQ(MH_OK, engine_.CreateHook(kTarget, kDetour, nullptr));
  process_.m_bFailProtect = true;
  EXPECT_EQ(MH_ERROR_MEMORY_PROTECT, engine_.EnableHook(kTarget, true));
  EXPECT_EQ(MH_ERROR_MEMORY_PROTECT, engine_.EnableHook(0, true));
  EXPECT_FALSE(engine_.FindEntry(kTarget)->bEnabled);
  EXPECT_EQ(kPrologue, process_.Read(kTarget, 8));
  process_.m_bFailProtect = false;

  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  process_.m_bFailProtect = true;
  EXPECT_EQ(MH_ERROR_MEMORY_PROTECT, engine_.RemoveHook(kTarget));
  EXPECT_EQ(MH_ERROR_MEMORY_PROTECT, engine_.Uninitialize());
  EXPECT_EQ(1u, engine_.HookCount()) << "a failed removal keeps the entry";
  process_.m_bFailProtect = false;
  EXPECT_EQ(MH_OK, engine_.RemoveHook(kTarget));
  EXPECT_EQ(kPrologue, process_.Read(kTarget, 8));
  for (const auto& thread : process_.m_threads) EXPECT_EQ(0, thread.nSuspendCount);
}

TEST_F(HookEngineTest, PatchesWhileOtherThreadsOfThisProcessAreSuspended) {
  process_.AddThread(0x21, CSimulatedProcess::kProcessId, true, 0);
  process_.AddThread(0x22, CSimulatedProcess::kProcessId, false, 0);  // cannot be opened
  process_.AddThread(0x23, CSimulatedProcess::kProcessId + 1, true, 0);  // another process
  process_.AddThread(0x24, CSimulatedProcess::kProcessId, true, 0).dwEntrySize =
      offsetof(THREADENTRY32, th32OwnerProcessID);  // entry without the owner
  // Enough threads to grow the list past its first allocation.
  for (DWORD id = 0x100; id < 0x100 + 200; ++id) process_.AddThread(id, CSimulatedProcess::kProcessId, true, 0);

  ASSERT_EQ(MH_OK, engine_.CreateHook(kTarget, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  ASSERT_EQ(MH_OK, engine_.RemoveHook(kTarget));

  ASSERT_EQ(2u, process_.m_suspendedAtWrite.size());
  for (const auto& counts : process_.m_suspendedAtWrite) {
    EXPECT_EQ(1, counts.at(0x21));
    EXPECT_EQ(1, counts.at(0x100 + 199));
    EXPECT_EQ(0, counts.at(CSimulatedProcess::kSelfThreadId));
    EXPECT_EQ(0, counts.at(0x22));
    EXPECT_EQ(0, counts.at(0x23));
    EXPECT_EQ(0, counts.at(0x24));
  }
  for (const auto& thread : process_.m_threads) EXPECT_EQ(0, thread.nSuspendCount) << thread.dwId;
  EXPECT_EQ(0, process_.m_nOpenHandles);
}

TEST_F(HookEngineTest, ResumesOnlyThreadsItSuspended) {
  // Cannot be opened while the engine freezes, can be when it resumes.
  process_.AddThread(0x25, CSimulatedProcess::kProcessId, true, 0).nFailedOpens = 1;
  process_.AddThread(0x26, CSimulatedProcess::kProcessId, true, 0).nSuspendCount = 1;  // suspended by its owner
  ASSERT_EQ(MH_OK, engine_.CreateHook(kTarget, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  ASSERT_EQ(1u, process_.m_suspendedAtWrite.size());
  EXPECT_EQ(0, process_.m_suspendedAtWrite[0].at(0x25));
  EXPECT_EQ(2, process_.m_suspendedAtWrite[0].at(0x26));
  EXPECT_EQ(0, process_.FindThread(0x25)->nSuspendCount);
  EXPECT_EQ(1, process_.FindThread(0x26)->nSuspendCount);
}

TEST_F(HookEngineTest, SerialisesCallsFromManyThreads) {
  constexpr UINT kThreads = 4;
  constexpr UINT kPerThread = 16;
  std::vector<UINT32> targets;
  for (UINT i = 0; i < kThreads * kPerThread; ++i) targets.push_back(AddFunction(i));
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (UINT t = 0; t < kThreads; ++t) {
    workers.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        for (UINT i = t * kPerThread; i < (t + 1) * kPerThread; ++i) {
          if (engine_.CreateHook(targets[i], kDetour, nullptr) != MH_OK) ++failures;
          if (engine_.EnableHook(targets[i], true) != MH_OK) ++failures;
        }
        for (UINT i = t * kPerThread; i < (t + 1) * kPerThread; ++i) {
          if (engine_.RemoveHook(targets[i]) != MH_OK) ++failures;
        }
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(0u, engine_.HookCount());
  EXPECT_EQ(0u, engine_.BlockCount());
  for (UINT32 target : targets) EXPECT_EQ(Bytes({0x8B, 0xFF, 0x55, 0x8B, 0xEC}), process_.Read(target, 5));
}

TEST_F(HookEngineTest, MovesThreadsBetweenTargetAndTrampoline) {
  UINT32 trampoline = 0;
  ASSERT_EQ(MH_OK, engine_.CreateHook(kTarget, kDetour, &trampoline));
  process_.AddThread(0x31, CSimulatedProcess::kProcessId, true, kTarget + 2);  // between instructions
  process_.AddThread(0x32, CSimulatedProcess::kProcessId, true, kTarget + 1);  // not a boundary
  process_.AddThread(0x33, CSimulatedProcess::kProcessId, true, kDetour);
  auto eip = [&](DWORD id) { return process_.FindThread(id)->registers.Eip; };

  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  EXPECT_EQ(trampoline + 2, eip(0x31));
  EXPECT_EQ(kTarget + 1, eip(0x32));
  EXPECT_EQ(kDetour, eip(0x33));

  // Disabling one hook leaves threads in the trampoline, which stays valid.
  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, false));
  EXPECT_EQ(trampoline + 2, eip(0x31));

  process_.FindThread(0x31)->registers.Eip = kTarget + 3;
  ASSERT_EQ(MH_OK, engine_.QueueHook(0, true));
  ASSERT_EQ(MH_OK, engine_.ApplyQueued());
  EXPECT_EQ(trampoline + 3, eip(0x31));

  // Disabling all hooks moves threads back to the target.
  ASSERT_EQ(MH_OK, engine_.EnableHook(0, false));
  EXPECT_EQ(kTarget + 3, eip(0x31));

  ASSERT_EQ(MH_OK, engine_.EnableHook(kTarget, true));
  EXPECT_EQ(trampoline + 3, eip(0x31));
  ASSERT_EQ(MH_OK, engine_.RemoveHook(kTarget));
  EXPECT_EQ(kTarget + 3, eip(0x31)) << "removal moves threads out of the freed slot";
  EXPECT_EQ(kTarget + 1, eip(0x32));
}

TEST_F(HookEngineTest, MovesThreadOffThePatchAbove) {
  const UINT32 target = CSimulatedProcess::kCode + 0x300;
  process_.Write(target - 5, {0x90, 0x90, 0x90, 0x90, 0x90});
  process_.Write(target, {0xEB, 0x20, 0x8B, 0xFF, 0x55});
  ASSERT_EQ(MH_OK, engine_.CreateHook(target, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.EnableHook(target, true));
  // Stopped on the long jump above, after taking EB F9.
  process_.AddThread(0x41, CSimulatedProcess::kProcessId, true, target - 5);
  ASSERT_EQ(MH_OK, engine_.EnableHook(0, false));
  EXPECT_EQ(target, process_.FindThread(0x41)->registers.Eip);
}

TEST_F(HookEngineTest, QueuedChangesApplyTogether) {
  const UINT32 a = AddFunction(0);
  const UINT32 b = AddFunction(1);
  ASSERT_EQ(MH_OK, engine_.CreateHook(a, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.CreateHook(b, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.QueueHook(0, true));
  EXPECT_FALSE(engine_.FindEntry(a)->bEnabled) << "queueing writes no code";
  EXPECT_EQ(0x8B, process_.Read(a, 1)[0]);
  ASSERT_EQ(MH_OK, engine_.ApplyQueued());
  EXPECT_EQ(JumpTo(a, kDetour), process_.Read(a, 5));
  EXPECT_EQ(JumpTo(b, kDetour), process_.Read(b, 5));
  EXPECT_EQ(2u, process_.m_suspendedAtWrite.size());
  EXPECT_EQ(1, process_.m_nSnapshots) << "one freeze for the whole batch";

  ASSERT_EQ(MH_OK, engine_.QueueHook(b, false));
  ASSERT_EQ(MH_OK, engine_.ApplyQueued());
  EXPECT_TRUE(engine_.FindEntry(a)->bEnabled);
  EXPECT_FALSE(engine_.FindEntry(b)->bEnabled);
  EXPECT_EQ(Bytes({0x8B, 0xFF, 0x55, 0x8B, 0xEC}), process_.Read(b, 5));
}

TEST_F(HookEngineTest, PagesAndTableGrowAndShrink) {
  std::vector<UINT32> targets;
  std::vector<UINT32> trampolines;
  for (UINT i = 0; i < 128; ++i) {
    targets.push_back(AddFunction(i));
    UINT32 trampoline = 0;
    ASSERT_EQ(MH_OK, engine_.CreateHook(targets.back(), kDetour, &trampoline)) << i;
    trampolines.push_back(trampoline);
    if (i == 31) {
      EXPECT_EQ(32u, engine_.HookCapacity());
    } else if (i == 32) {
      EXPECT_EQ(64u, engine_.HookCapacity());
    } else if (i == 126) {
      EXPECT_EQ(1u, engine_.BlockCount());
    }
  }
  EXPECT_EQ(2u, engine_.BlockCount()) << "the 128th hook opens a second page";
  EXPECT_EQ(128u, engine_.HookCapacity());
  // Slots are handed out from the top of a page down; the header slot is never used.
  const UINT32 firstPage = trampolines[0] & ~(kTrampolinePageSize - 1);
  EXPECT_EQ(firstPage + kTrampolinePageSize - kTrampolineSlotSize, trampolines[0]);
  EXPECT_EQ(firstPage + kTrampolineSlotSize, trampolines[126]);
  EXPECT_NE(firstPage, trampolines[127] & ~(kTrampolinePageSize - 1));

  ASSERT_EQ(MH_OK, engine_.RemoveHook(targets[127]));
  EXPECT_EQ(1u, engine_.BlockCount()) << "an emptied page is released";
  ASSERT_EQ(1u, process_.m_freedPages.size());
  EXPECT_EQ(trampolines[127] & ~(kTrampolinePageSize - 1), process_.m_freedPages[0]);

  for (UINT i = 126; i >= 32; --i) ASSERT_EQ(MH_OK, engine_.RemoveHook(targets[i])) << i;
  EXPECT_EQ(32u, engine_.HookCount());
  EXPECT_EQ(32u, engine_.HookCapacity()) << "halved on the way down";
  // The remaining hooks are intact after entries moved.
  for (UINT i = 0; i < 32; ++i) {
    const HookEntry* entry = engine_.FindEntry(targets[i]);
    ASSERT_NE(nullptr, entry) << i;
    EXPECT_EQ(trampolines[i], entry->nTrampoline);
  }
  // A freed slot is reused.
  const UINT32 again = AddFunction(200);
  UINT32 trampoline = 0;
  ASSERT_EQ(MH_OK, engine_.CreateHook(again, kDetour, &trampoline));
  EXPECT_EQ(trampolines[32], trampoline);

  ASSERT_EQ(MH_OK, engine_.Uninitialize());
  EXPECT_EQ(0u, engine_.BlockCount());
  EXPECT_EQ(2u, process_.m_freedPages.size());
}

TEST_F(HookEngineTest, UninitializeDisablesEveryHook) {
  const UINT32 a = AddFunction(0);
  const UINT32 b = AddFunction(1);
  ASSERT_EQ(MH_OK, engine_.CreateHook(a, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.CreateHook(b, kDetour, nullptr));
  ASSERT_EQ(MH_OK, engine_.EnableHook(b, true));
  ASSERT_EQ(MH_OK, engine_.Uninitialize());
  EXPECT_EQ(Bytes({0x8B, 0xFF, 0x55, 0x8B, 0xEC}), process_.Read(a, 5));
  EXPECT_EQ(Bytes({0x8B, 0xFF, 0x55, 0x8B, 0xEC}), process_.Read(b, 5));
  EXPECT_EQ(1u, process_.m_freedPages.size());
  EXPECT_EQ(0u, engine_.HookCount());
}

TEST_F(HookEngineTest, CreateHookApiLooksUpTheFunction) {
  process_.AddFunction(L"kernel32.dll", "CreateProcessW", kTarget);
  UINT32 trampoline = 0;
  UINT32 target = 0;
  EXPECT_EQ(MH_ERROR_MODULE_NOT_FOUND, engine_.CreateHookApi(L"missing.dll", "CreateProcessW", kDetour, &trampoline,
                                                             &target));
  EXPECT_EQ(MH_ERROR_FUNCTION_NOT_FOUND, engine_.CreateHookApi(L"kernel32.dll", "Missing", kDetour, &trampoline,
                                                               &target));
  EXPECT_EQ(0u, target);
  EXPECT_EQ(MH_OK, engine_.CreateHookApi(L"kernel32.dll", "CreateProcessW", kDetour, &trampoline, &target));
  EXPECT_EQ(kTarget, target);
  EXPECT_EQ(engine_.FindEntry(kTarget)->nTrampoline, trampoline);
}

}  // namespace
