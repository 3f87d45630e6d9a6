#include "base/hook_engine.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr UINT32 kPatchAboveSize = kLongJumpSize + 2;

UINT32 ReadWord(const BYTE* p) {
  UINT32 value;
  std::memcpy(&value, p, sizeof(value));
  return value;
}

void WriteWord(BYTE* p, UINT32 value) {
  std::memcpy(p, &value, sizeof(value));
}

}  // namespace

class CHookEngine::CSpinLockHolder {
 public:
  explicit CSpinLockHolder(CHookEngine& engine) : m_engine(engine) { m_engine.EnterSpinLock(); }
  ~CSpinLockHolder() { m_engine.LeaveSpinLock(); }
  CSpinLockHolder(const CSpinLockHolder&) = delete;
  CSpinLockHolder& operator=(const CSpinLockHolder&) = delete;

 private:
  CHookEngine& m_engine;
};

CHookEngine::CHookEngine(IHookPlatform& platform) : m_platform(platform) {}

void CHookEngine::EnterSpinLock() {
  UINT nRetries = 0;
  while (InterlockedCompareExchange(&m_nLock, 1, 0) != 0) {
    Sleep(nRetries < 32 ? 0 : 1);
    ++nRetries;
  }
}

void CHookEngine::LeaveSpinLock() {
  InterlockedExchange(&m_nLock, 0);
}

MH_STATUS CHookEngine::Initialize() {
  CSpinLockHolder lock(*this);
  if (m_hHeap) return MH_ERROR_ALREADY_INITIALIZED;
  m_hHeap = HeapCreate(0, 0, 0);
  return m_hHeap ? MH_OK : MH_ERROR_MEMORY_ALLOC;
}

MH_STATUS CHookEngine::Uninitialize() {
  CSpinLockHolder lock(*this);
  if (!m_hHeap) return MH_ERROR_NOT_INITIALIZED;
  const MH_STATUS status = EnableAllHooks(false);
  if (status != MH_OK) return status;
  ReleaseAllBlocks();
  if (m_hooks.pItems) HeapFree(m_hHeap, 0, m_hooks.pItems);
  HeapDestroy(m_hHeap);
  m_hHeap = nullptr;
  m_hooks = HookTable{};
  return MH_OK;
}

MH_STATUS CHookEngine::CreateHook(UINT32 nTarget, UINT32 nDetour, UINT32* pnTrampoline) {
  CSpinLockHolder lock(*this);
  if (!m_hHeap) return MH_ERROR_NOT_INITIALIZED;
  if (!IsExecutableAddress(m_platform, nTarget) || !IsExecutableAddress(m_platform, nDetour)) {
    return MH_ERROR_NOT_EXECUTABLE;
  }
  if (FindHookEntry(nTarget) != kInvalidIndex) return MH_ERROR_ALREADY_CREATED;

  const UINT32 nSlot = AllocateTrampolineSlot();
  if (!nSlot) return MH_ERROR_MEMORY_ALLOC;

  TrampolineBuild build = {};
  build.nTarget = nTarget;
  build.nDetour = nDetour;
  build.nTrampoline = nSlot;
  if (!CreateTrampoline(m_platform, &build)) {
    FreeTrampolineSlot(nSlot);
    return MH_ERROR_UNSUPPORTED_FUNCTION;
  }

  HookEntry* pEntry = AddHookEntry();
  if (!pEntry) {
    FreeTrampolineSlot(nSlot);
    return MH_ERROR_MEMORY_ALLOC;
  }
  std::memset(pEntry, 0, sizeof(*pEntry));
  pEntry->nTarget = nTarget;
  pEntry->nDetour = nDetour;
  pEntry->nTrampoline = nSlot;
  pEntry->bPatchAbove = build.bPatchAbove ? 1 : 0;
  pEntry->nCount = build.nCount & 0x0F;
  std::memcpy(pEntry->oldOffsets, build.oldOffsets, sizeof(pEntry->oldOffsets));
  std::memcpy(pEntry->newOffsets, build.newOffsets, sizeof(pEntry->newOffsets));
  if (build.bPatchAbove) {
    std::memcpy(pEntry->backup, m_platform.CodeBytes(nTarget - kLongJumpSize), kPatchAboveSize);
  } else {
    std::memcpy(pEntry->backup, m_platform.CodeBytes(nTarget), kLongJumpSize);
  }
  if (pnTrampoline) *pnTrampoline = nSlot;
  return MH_OK;
}

MH_STATUS CHookEngine::CreateHookApi(LPCWSTR pszModule, LPCSTR pszFunction, UINT32 nDetour,
                                     UINT32* pnTrampoline, UINT32* pnTarget) {
  UINT32 nTarget = 0;
  const MH_STATUS status = m_platform.FindFunction(pszModule, pszFunction, &nTarget);
  if (status != MH_OK) return status;
  if (pnTarget) *pnTarget = nTarget;
  return CreateHook(nTarget, nDetour, pnTrampoline);
}

MH_STATUS CHookEngine::RemoveHook(UINT32 nTarget) {
  CSpinLockHolder lock(*this);
  if (!m_hHeap) return MH_ERROR_NOT_INITIALIZED;
  const UINT nIndex = FindHookEntry(nTarget);
  if (nIndex == kInvalidIndex) return MH_ERROR_NOT_CREATED;
  if (m_hooks.pItems[nIndex].bEnabled) {
    FrozenThreads threads = {};
    FreezeThreads(&threads, nIndex, kActionDisable);
    const MH_STATUS status = WriteHookPatch(nIndex, false);
    UnfreezeThreads(&threads);
    if (status != MH_OK) return status;
  }
  FreeTrampolineSlot(m_hooks.pItems[nIndex].nTrampoline);
  DeleteHookEntry(nIndex);
  return MH_OK;
}

MH_STATUS CHookEngine::EnableHook(UINT32 nTarget, bool bEnable) {
  CSpinLockHolder lock(*this);
  if (!m_hHeap) return MH_ERROR_NOT_INITIALIZED;
  return EnableHookLocked(nTarget, bEnable);
}

MH_STATUS CHookEngine::EnableHookLocked(UINT32 nTarget, bool bEnable) {
  if (nTarget == 0) return EnableAllHooks(bEnable);
  const UINT nIndex = FindHookEntry(nTarget);
  if (nIndex == kInvalidIndex) return MH_ERROR_NOT_CREATED;
  if (static_cast<bool>(m_hooks.pItems[nIndex].bEnabled) == bEnable) {
    return bEnable ? MH_ERROR_ENABLED : MH_ERROR_DISABLED;
  }
  // Both directions freeze as for enabling: a single disable moves no thread out of the
  // trampoline, which stays valid while the hook exists.
  FrozenThreads threads = {};
  FreezeThreads(&threads, nIndex, kActionEnable);
  const MH_STATUS status = WriteHookPatch(nIndex, bEnable);
  UnfreezeThreads(&threads);
  return status;
}

MH_STATUS CHookEngine::EnableAllHooks(bool bEnable) {
  UINT nFirst = 0;
  while (nFirst < m_hooks.nSize && static_cast<bool>(m_hooks.pItems[nFirst].bEnabled) == bEnable) ++nFirst;
  if (nFirst == m_hooks.nSize) return MH_OK;

  FrozenThreads threads = {};
  FreezeThreads(&threads, kAllHooks, bEnable ? kActionEnable : kActionDisable);
  MH_STATUS status = MH_OK;
  for (UINT i = nFirst; i < m_hooks.nSize; ++i) {
    if (static_cast<bool>(m_hooks.pItems[i].bEnabled) != bEnable) {
      status = WriteHookPatch(i, bEnable);
      if (status != MH_OK) break;
    }
  }
  UnfreezeThreads(&threads);
  return status;
}

MH_STATUS CHookEngine::QueueHook(UINT32 nTarget, bool bEnable) {
  CSpinLockHolder lock(*this);
  if (!m_hHeap) return MH_ERROR_NOT_INITIALIZED;
  if (nTarget == 0) {
    for (UINT i = 0; i < m_hooks.nSize; ++i) m_hooks.pItems[i].bQueueEnable = bEnable ? 1 : 0;
    return MH_OK;
  }
  const UINT nIndex = FindHookEntry(nTarget);
  if (nIndex == kInvalidIndex) return MH_ERROR_NOT_CREATED;
  m_hooks.pItems[nIndex].bQueueEnable = bEnable ? 1 : 0;
  return MH_OK;
}

MH_STATUS CHookEngine::ApplyQueued() {
  CSpinLockHolder lock(*this);
  if (!m_hHeap) return MH_ERROR_NOT_INITIALIZED;
  UINT nFirst = 0;
  while (nFirst < m_hooks.nSize && m_hooks.pItems[nFirst].bEnabled == m_hooks.pItems[nFirst].bQueueEnable) {
    ++nFirst;
  }
  if (nFirst == m_hooks.nSize) return MH_OK;

  FrozenThreads threads = {};
  FreezeThreads(&threads, kAllHooks, kActionApplyQueued);
  MH_STATUS status = MH_OK;
  for (UINT i = nFirst; i < m_hooks.nSize; ++i) {
    const HookEntry& entry = m_hooks.pItems[i];
    if (entry.bEnabled != entry.bQueueEnable) {
      status = WriteHookPatch(i, entry.bQueueEnable != 0);
      if (status != MH_OK) break;
    }
  }
  UnfreezeThreads(&threads);
  return status;
}

const HookEntry* CHookEngine::FindEntry(UINT32 nTarget) const {
  const UINT nIndex = FindHookEntry(nTarget);
  return nIndex == kInvalidIndex ? nullptr : &m_hooks.pItems[nIndex];
}

UINT CHookEngine::BlockCount() const {
  UINT nCount = 0;
  for (UINT32 nBlock = m_nBlocks; nBlock; nBlock = Block(nBlock)->nNext) ++nCount;
  return nCount;
}

UINT CHookEngine::FindHookEntry(UINT32 nTarget) const {
  for (UINT i = 0; i < m_hooks.nSize; ++i) {
    if (m_hooks.pItems[i].nTarget == nTarget) return i;
  }
  return kInvalidIndex;
}

HookEntry* CHookEngine::AddHookEntry() {
  if (!m_hooks.pItems) {
    void* p = HeapAlloc(m_hHeap, 0, kInitialHookCapacity * sizeof(HookEntry));
    if (!p) return nullptr;
    m_hooks.pItems = static_cast<HookEntry*>(p);
    m_hooks.nCapacity = kInitialHookCapacity;
  } else if (m_hooks.nSize >= m_hooks.nCapacity) {
    void* p = HeapReAlloc(m_hHeap, 0, m_hooks.pItems, m_hooks.nCapacity * 2 * sizeof(HookEntry));
    if (!p) return nullptr;
    m_hooks.pItems = static_cast<HookEntry*>(p);
    m_hooks.nCapacity *= 2;
  }
  return &m_hooks.pItems[m_hooks.nSize++];
}

void CHookEngine::DeleteHookEntry(UINT nIndex) {
  if (nIndex + 1 < m_hooks.nSize) m_hooks.pItems[nIndex] = m_hooks.pItems[m_hooks.nSize - 1];
  --m_hooks.nSize;
  const UINT nHalf = m_hooks.nCapacity / 2;
  if (nHalf >= kInitialHookCapacity && nHalf >= m_hooks.nSize) {
    void* p = HeapReAlloc(m_hHeap, 0, m_hooks.pItems, nHalf * sizeof(HookEntry));
    if (p) {  // otherwise keep the larger array
      m_hooks.pItems = static_cast<HookEntry*>(p);
      m_hooks.nCapacity = nHalf;
    }
  }
}

MH_STATUS CHookEngine::WriteHookPatch(UINT nIndex, bool bEnable) {
  HookEntry& entry = m_hooks.pItems[nIndex];
  const UINT32 nPatch = entry.bPatchAbove ? entry.nTarget - kLongJumpSize : entry.nTarget;
  const UINT32 nSize = entry.bPatchAbove ? kPatchAboveSize : kLongJumpSize;

  DWORD dwOldProtect = 0;
  if (!m_platform.ProtectCode(nPatch, nSize, PAGE_EXECUTE_READWRITE, &dwOldProtect)) {
    return MH_ERROR_MEMORY_PROTECT;
  }
  BYTE* p = m_platform.CodeBytes(nPatch);
  if (bEnable) {
    p[0] = 0xE9;
    WriteWord(p + 1, entry.nDetour - (nPatch + kLongJumpSize));
    if (entry.bPatchAbove) {
      p[5] = 0xEB;  // back to the long jump above
      p[6] = 0xF9;
    }
  } else {
    std::memcpy(p, entry.backup, nSize);
  }
  DWORD dwIgnored = 0;
  m_platform.ProtectCode(nPatch, nSize, dwOldProtect, &dwIgnored);
  m_platform.FlushCode(nPatch, nSize);
  entry.bEnabled = bEnable ? 1 : 0;
  entry.bQueueEnable = bEnable ? 1 : 0;
  return MH_OK;
}

void CHookEngine::FreezeThreads(FrozenThreads* pThreads, UINT nIndex, UINT nAction) {
  pThreads->nSize = 0;
  const DWORD dwProcessId = m_platform.CurrentProcessId();
  const DWORD dwSelf = m_platform.CurrentThreadId();
  const HANDLE hSnapshot = m_platform.CreateThreadSnapshot();
  if (hSnapshot != INVALID_HANDLE_VALUE) {
    THREADENTRY32 te;
    te.dwSize = sizeof(te);
    constexpr DWORD kOwnerCovered = offsetof(THREADENTRY32, th32OwnerProcessID) + sizeof(te.th32OwnerProcessID);
    bool bMore = m_platform.FirstThread(hSnapshot, &te);
    while (bMore) {
      if (te.dwSize >= kOwnerCovered && te.th32OwnerProcessID == dwProcessId && te.th32ThreadID != dwSelf) {
        if (!pThreads->pItems) {
          pThreads->pItems = static_cast<DWORD*>(HeapAlloc(m_hHeap, 0, kInitialThreadCapacity * sizeof(DWORD)));
          if (!pThreads->pItems) break;
          pThreads->nCapacity = kInitialThreadCapacity;
        } else if (pThreads->nSize >= pThreads->nCapacity) {
          void* p = HeapReAlloc(m_hHeap, 0, pThreads->pItems, pThreads->nCapacity * 2 * sizeof(DWORD));
          if (!p) break;  // go on with the threads gathered so far
          pThreads->pItems = static_cast<DWORD*>(p);
          pThreads->nCapacity *= 2;
        }
        pThreads->pItems[pThreads->nSize++] = te.th32ThreadID;
      }
      te.dwSize = sizeof(te);
      bMore = m_platform.NextThread(hSnapshot, &te);
    }
    m_platform.CloseSnapshot(hSnapshot);
  }

  for (UINT i = 0; i < pThreads->nSize; ++i) {
    const HANDLE hThread = m_platform.OpenThreadById(pThreads->pItems[i]);
    bool bSuspended = false;
    if (hThread) {
      bSuspended = m_platform.SuspendThread(hThread);
      if (bSuspended) MoveThreadIps(hThread, nIndex, nAction);
      m_platform.CloseThread(hThread);
    }
    // A thread this call did not suspend must not be resumed by it.
    if (!bSuspended) pThreads->pItems[i] = 0;
  }
}

void CHookEngine::UnfreezeThreads(FrozenThreads* pThreads) {
  for (UINT i = 0; i < pThreads->nSize; ++i) {
    if (pThreads->pItems[i] == 0) continue;
    const HANDLE hThread = m_platform.OpenThreadById(pThreads->pItems[i]);
    if (hThread) {
      m_platform.ResumeThread(hThread);
      m_platform.CloseThread(hThread);
    }
  }
  if (pThreads->pItems) HeapFree(m_hHeap, 0, pThreads->pItems);
  *pThreads = FrozenThreads{};
}

void CHookEngine::MoveThreadIps(HANDLE hThread, UINT nIndex, UINT nAction) {
  ThreadControlRegisters registers = {};
  if (!m_platform.GetControlRegisters(hThread, &registers)) return;

  const UINT nFirst = (nIndex == kAllHooks) ? 0 : nIndex;
  const UINT nEnd = (nIndex == kAllHooks) ? m_hooks.nSize : nIndex + 1;
  for (UINT i = nFirst; i < nEnd; ++i) {
    const HookEntry& entry = m_hooks.pItems[i];
    bool bWanted = false;
    switch (nAction) {
      case kActionDisable: bWanted = false; break;
      case kActionEnable: bWanted = true; break;
      default: bWanted = entry.bQueueEnable != 0; break;
    }
    if (static_cast<bool>(entry.bEnabled) == bWanted) continue;

    UINT32 nIp = 0;
    if (bWanted) {
      for (UINT j = 0; j < entry.nCount; ++j) {
        if (registers.Eip == entry.nTarget + entry.oldOffsets[j]) nIp = entry.nTrampoline + entry.newOffsets[j];
      }
    } else if (entry.bPatchAbove && registers.Eip == entry.nTarget - kLongJumpSize) {
      nIp = entry.nTarget;
    } else {
      for (UINT j = 0; j < entry.nCount; ++j) {
        if (registers.Eip == entry.nTrampoline + entry.newOffsets[j]) nIp = entry.nTarget + entry.oldOffsets[j];
      }
    }
    if (nIp) {
      registers.Eip = nIp;
      m_platform.SetControlRegisters(hThread, registers);
    }
  }
}

TrampolineBlock* CHookEngine::Block(UINT32 nBlock) const {
  return reinterpret_cast<TrampolineBlock*>(m_platform.CodeBytes(nBlock));
}

UINT32 CHookEngine::AllocateTrampolineSlot() {
  UINT32 nBlock = m_nBlocks;
  while (nBlock && !Block(nBlock)->nFreeSlots) nBlock = Block(nBlock)->nNext;
  if (!nBlock) {
    nBlock = m_platform.AllocateCodePage();
    if (!nBlock) return 0;
    TrampolineBlock* pBlock = Block(nBlock);
    pBlock->nNext = m_nBlocks;
    pBlock->nFreeSlots = 0;
    pBlock->nUsedCount = 0;
    // Threaded in address order, so the slot at the highest address is taken first.
    for (UINT32 nSlot = nBlock + kTrampolineSlotSize; nSlot < nBlock + kTrampolinePageSize;
         nSlot += kTrampolineSlotSize) {
      WriteWord(m_platform.CodeBytes(nSlot), pBlock->nFreeSlots);
      pBlock->nFreeSlots = nSlot;
    }
    m_nBlocks = nBlock;
  }
  TrampolineBlock* pBlock = Block(nBlock);
  const UINT32 nSlot = pBlock->nFreeSlots;
  pBlock->nFreeSlots = ReadWord(m_platform.CodeBytes(nSlot));
  ++pBlock->nUsedCount;
  return nSlot;
}

void CHookEngine::FreeTrampolineSlot(UINT32 nSlot) {
  const UINT32 nOwner = nSlot & ~(kTrampolinePageSize - 1);
  UINT32 nPrevious = 0;
  UINT32 nBlock = m_nBlocks;
  while (nBlock && nBlock != nOwner) {
    nPrevious = nBlock;
    nBlock = Block(nBlock)->nNext;
  }
  if (!nBlock) return;  // not a slot of this engine

  TrampolineBlock* pBlock = Block(nBlock);
  WriteWord(m_platform.CodeBytes(nSlot), pBlock->nFreeSlots);
  pBlock->nFreeSlots = nSlot;
  if (--pBlock->nUsedCount == 0) {
    if (nPrevious) {
      Block(nPrevious)->nNext = pBlock->nNext;
    } else {
      m_nBlocks = pBlock->nNext;
    }
    m_platform.FreeCodePage(nBlock);
  }
}

void CHookEngine::ReleaseAllBlocks() {
  UINT32 nBlock = m_nBlocks;
  while (nBlock) {
    const UINT32 nNext = Block(nBlock)->nNext;
    m_platform.FreeCodePage(nBlock);
    nBlock = nNext;
  }
  m_nBlocks = 0;
}
