// The hooking engine: a table of hooks, their trampolines in shared executable pages, and
// the patches written while the process's other threads are suspended. It works on the
// process an IHookPlatform stands for; the MH_* functions (base/api_hook.h) run one engine
// on the live 32-bit process.
//
// Every public method may be called from any thread: one spin lock serialises them. Nothing
// is logged; every failure is an MH_STATUS.
#pragma once

#include <windows.h>

#include "base/api_hook.h"
#include "base/hook_platform.h"
#include "base/hook_trampoline.h"

struct HookEntry {
  UINT32 nTarget;
  UINT32 nDetour;
  UINT32 nTrampoline;
  BYTE backup[8];         // the bytes the patch replaces: 5, or 7 with the patch above
  BYTE bPatchAbove : 1;   // long jump in the 5 bytes before the target, EB F9 at the target
  BYTE bEnabled : 1;
  BYTE bQueueEnable : 1;  // the state MH_ApplyQueued establishes
  BYTE nCount : 4;        // instruction boundaries recorded
  BYTE oldOffsets[kMaxTrampolineBoundaries];
  BYTE newOffsets[kMaxTrampolineBoundaries];
};

struct HookTable {
  HookEntry* pItems;  // in the engine's private heap
  UINT nCapacity;
  UINT nSize;
};

struct FrozenThreads {
  DWORD* pItems;  // thread ids, in the engine's private heap; 0 marks a thread left running
  UINT nCapacity;
  UINT nSize;
};

// Header of a trampoline page, held in its first slot. Free slots link through their first
// word.
struct TrampolineBlock {
  UINT32 nNext;       // next block's address, 0 at the end
  UINT32 nFreeSlots;  // first free slot's address, 0 when full
  UINT32 nUsedCount;
};

constexpr UINT32 kTrampolinePageSize = 4096;
constexpr UINT kInitialHookCapacity = 32;
constexpr UINT kInitialThreadCapacity = 128;

class CHookEngine {
 public:
  // The platform must outlive the engine.
  explicit CHookEngine(IHookPlatform& platform);
  // Leaves hooks and memory as they are: a live engine's patches must stay valid until the
  // process ends. Call Uninitialize to release everything.
  ~CHookEngine() = default;
  CHookEngine(const CHookEngine&) = delete;
  CHookEngine& operator=(const CHookEngine&) = delete;

  // The MH_* operations; a target of 0 stands for MH_ALL_HOOKS.
  [[nodiscard]] MH_STATUS Initialize();
  [[nodiscard]] MH_STATUS Uninitialize();
  [[nodiscard]] MH_STATUS CreateHook(UINT32 nTarget, UINT32 nDetour, UINT32* pnTrampoline);
  [[nodiscard]] MH_STATUS CreateHookApi(LPCWSTR pszModule, LPCSTR pszFunction, UINT32 nDetour,
                                        UINT32* pnTrampoline, UINT32* pnTarget);
  [[nodiscard]] MH_STATUS RemoveHook(UINT32 nTarget);
  [[nodiscard]] MH_STATUS EnableHook(UINT32 nTarget, bool bEnable);
  [[nodiscard]] MH_STATUS QueueHook(UINT32 nTarget, bool bEnable);
  [[nodiscard]] MH_STATUS ApplyQueued();

  // Observers, for diagnostics and tests; call while no other thread uses the engine.
  const HookEntry* FindEntry(UINT32 nTarget) const;
  UINT HookCapacity() const { return m_hooks.nCapacity; }
  UINT HookCount() const { return m_hooks.nSize; }
  UINT BlockCount() const;

 private:
  static constexpr UINT kAllHooks = 0xFFFFFFFF;
  static constexpr UINT kInvalidIndex = 0xFFFFFFFF;
  enum FreezeAction : UINT { kActionDisable = 0, kActionEnable = 1, kActionApplyQueued = 2 };

  class CSpinLockHolder;
  void EnterSpinLock();
  void LeaveSpinLock();

  UINT FindHookEntry(UINT32 nTarget) const;
  HookEntry* AddHookEntry();
  void DeleteHookEntry(UINT nIndex);
  MH_STATUS WriteHookPatch(UINT nIndex, bool bEnable);
  MH_STATUS EnableHookLocked(UINT32 nTarget, bool bEnable);
  MH_STATUS EnableAllHooks(bool bEnable);
  void FreezeThreads(FrozenThreads* pThreads, UINT nIndex, UINT nAction);
  void UnfreezeThreads(FrozenThreads* pThreads);
  void MoveThreadIps(HANDLE hThread, UINT nIndex, UINT nAction);
  UINT32 AllocateTrampolineSlot();
  void FreeTrampolineSlot(UINT32 nSlot);
  void ReleaseAllBlocks();
  TrampolineBlock* Block(UINT32 nBlock) const;

  IHookPlatform& m_platform;
  volatile LONG m_nLock = 0;
  HANDLE m_hHeap = nullptr;
  HookTable m_hooks = {};
  UINT32 m_nBlocks = 0;  // address of the first block
};
