// A simulated 32-bit process for the hooking engine: flat memory with page states and
// protections, threads with control registers, and exported functions. Records what the
// engine did so tests can check it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/hook_platform.h"

class CSimulatedProcess : public IHookPlatform {
 public:
  static constexpr UINT32 kPage = 4096;
  static constexpr UINT32 kBase = 0x00400000;
  // 0x00400000: one read-only data page; 0x00401000 to 0x00410FFF: code; above: free pages
  // that AllocateCodePage hands out.
  static constexpr UINT32 kDataPage = kBase;
  static constexpr UINT32 kCode = kBase + kPage;
  static constexpr UINT32 kCodePages = 16;
  static constexpr UINT32 kFreeBase = kCode + kCodePages * kPage;
  static constexpr UINT32 kPages = 1 + kCodePages + 64;
  static constexpr DWORD kProcessId = 0x100;
  static constexpr DWORD kSelfThreadId = 0x10;

  struct Thread {
    DWORD dwId;
    DWORD dwOwnerProcessId;
    bool bOpenable;
    DWORD dwEntrySize;  // the size the snapshot reports for this entry
    int nSuspendCount;
    int nFailedOpens;   // opens that fail before this thread can be opened
    ThreadControlRegisters registers;
  };

  CSimulatedProcess() : m_memory(kPages * kPage, 0xCC), m_pages(kPages) {
    m_pages[0] = {MEM_COMMIT, PAGE_READONLY};
    for (UINT32 i = 1; i <= kCodePages; ++i) m_pages[i] = {MEM_COMMIT, PAGE_EXECUTE_READ};
    for (UINT32 i = kCodePages + 1; i < kPages; ++i) m_pages[i] = {MEM_FREE, 0};
    // The thread that calls the engine takes part in every snapshot.
    AddThread(kSelfThreadId, kProcessId, true, 0);
  }

  // Test set-up.
  void Write(UINT32 nAddress, const std::vector<BYTE>& bytes) {
    std::memcpy(CodeBytes(nAddress), bytes.data(), bytes.size());
  }
  std::vector<BYTE> Read(UINT32 nAddress, UINT32 nSize) {
    const BYTE* p = CodeBytes(nAddress);
    return std::vector<BYTE>(p, p + nSize);
  }
  Thread& AddThread(DWORD dwId, DWORD dwOwner, bool bOpenable, UINT32 nEip) {
    Thread thread = {dwId, dwOwner, bOpenable, static_cast<DWORD>(sizeof(THREADENTRY32)), 0, 0, {}};
    thread.registers.Eip = nEip;
    m_threads.push_back(thread);
    return m_threads.back();
  }
  Thread* FindThread(DWORD dwId) {
    for (Thread& thread : m_threads) {
      if (thread.dwId == dwId) return &thread;
    }
    return nullptr;
  }
  void AddFunction(const std::wstring& module, const std::string& name, UINT32 nAddress) {
    m_modules[module][name] = nAddress;
  }
  DWORD PageProtection(UINT32 nAddress) const { return m_pages[(nAddress - kBase) / kPage].dwProtect; }

  // What the engine did.
  bool m_bFailProtect = false;
  UINT m_nAllocatedPages = 0;
  std::vector<UINT32> m_freedPages;
  std::vector<std::pair<UINT32, UINT32>> m_flushes;
  int m_nOpenHandles = 0;
  int m_nSnapshots = 0;  // one per freeze
  // For each change to writable: the suspend count of every thread at that moment.
  std::vector<std::map<DWORD, int>> m_suspendedAtWrite;
  std::vector<Thread> m_threads;

  // IHookPlatform.
  BYTE* CodeBytes(UINT32 nAddress) override {
    if (nAddress < kBase || nAddress - kBase >= kPages * kPage) {
      ADD_FAILURE() << "access outside the simulated memory: " << std::hex << nAddress;
      static BYTE s_scratch[64];
      return s_scratch;
    }
    return &m_memory[nAddress - kBase];
  }

  UINT32 AllocateCodePage() override {
    for (UINT32 i = kCodePages + 1; i < kPages; ++i) {
      if (m_pages[i].dwState == MEM_FREE) {
        m_pages[i] = {MEM_COMMIT, PAGE_EXECUTE_READWRITE};
        ++m_nAllocatedPages;
        return kBase + i * kPage;
      }
    }
    return 0;
  }

  void FreeCodePage(UINT32 nPage) override {
    EXPECT_EQ(0u, nPage % kPage);
    m_pages[(nPage - kBase) / kPage] = {MEM_FREE, 0};
    m_freedPages.push_back(nPage);
  }

  UINT32 ReadableBytes(UINT32 nAddress, UINT32 nWanted) override {
    UINT32 nReadable = 0;
    while (nReadable < nWanted) {
      const UINT32 nAt = nAddress + nReadable;
      if (nAt < kBase || nAt - kBase >= kPages * kPage) break;
      const PageState& state = m_pages[(nAt - kBase) / kPage];
      if (state.dwState != MEM_COMMIT || state.dwProtect == 0 || (state.dwProtect & (PAGE_NOACCESS | PAGE_GUARD))) break;
      nReadable += kPage - (nAt - kBase) % kPage;
    }
    return nReadable < nWanted ? nReadable : nWanted;
  }

  bool QueryRegion(UINT32 nAddress, DWORD* pdwState, DWORD* pdwProtect) override {
    if (nAddress < kBase || nAddress - kBase >= kPages * kPage) return false;
    *pdwState = m_pages[(nAddress - kBase) / kPage].dwState;
    *pdwProtect = m_pages[(nAddress - kBase) / kPage].dwProtect;
    return true;
  }

  bool ProtectCode(UINT32 nAddress, UINT32 nSize, DWORD dwProtect, DWORD* pdwOldProtect) override {
    if (m_bFailProtect) return false;
    const UINT32 nFirst = (nAddress - kBase) / kPage;
    const UINT32 nLast = (nAddress + nSize - 1 - kBase) / kPage;
    *pdwOldProtect = m_pages[nFirst].dwProtect;
    for (UINT32 i = nFirst; i <= nLast; ++i) m_pages[i].dwProtect = dwProtect;
    if (dwProtect == PAGE_EXECUTE_READWRITE) {
      std::map<DWORD, int> counts;
      for (const Thread& thread : m_threads) counts[thread.dwId] = thread.nSuspendCount;
      m_suspendedAtWrite.push_back(counts);
    }
    return true;
  }

  void FlushCode(UINT32 nAddress, UINT32 nSize) override { m_flushes.emplace_back(nAddress, nSize); }

  HANDLE CreateThreadSnapshot() override {
    ++m_nSnapshots;
    m_nSnapshotAt = 0;
    return kSnapshot;
  }
  bool FirstThread(HANDLE hSnapshot, THREADENTRY32* pEntry) override {
    m_nSnapshotAt = 0;
    return NextThread(hSnapshot, pEntry);
  }
  bool NextThread(HANDLE hSnapshot, THREADENTRY32* pEntry) override {
    EXPECT_EQ(kSnapshot, hSnapshot);
    EXPECT_EQ(sizeof(THREADENTRY32), pEntry->dwSize);
    if (m_nSnapshotAt >= m_threads.size()) return false;
    const Thread& thread = m_threads[m_nSnapshotAt++];
    std::memset(pEntry, 0, sizeof(*pEntry));
    pEntry->dwSize = thread.dwEntrySize;
    pEntry->th32ThreadID = thread.dwId;
    pEntry->th32OwnerProcessID = thread.dwOwnerProcessId;
    return true;
  }
  void CloseSnapshot(HANDLE hSnapshot) override { EXPECT_EQ(kSnapshot, hSnapshot); }
  DWORD CurrentProcessId() override { return kProcessId; }
  DWORD CurrentThreadId() override { return kSelfThreadId; }

  HANDLE OpenThreadById(DWORD dwThreadId) override {
    Thread* thread = FindThread(dwThreadId);
    EXPECT_TRUE(thread && thread->dwOwnerProcessId == kProcessId) << "opened thread " << dwThreadId;
    if (!thread || !thread->bOpenable) return nullptr;
    if (thread->nFailedOpens > 0) {
      --thread->nFailedOpens;
      return nullptr;
    }
    ++m_nOpenHandles;
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x10000 + dwThreadId));
  }
  bool SuspendThread(HANDLE hThread) override {
    ++ThreadOf(hThread).nSuspendCount;
    return true;
  }
  void ResumeThread(HANDLE hThread) override { --ThreadOf(hThread).nSuspendCount; }
  void CloseThread(HANDLE hThread) override {
    ThreadOf(hThread);
    --m_nOpenHandles;
  }
  bool GetControlRegisters(HANDLE hThread, ThreadControlRegisters* pRegisters) override {
    const Thread& thread = ThreadOf(hThread);
    EXPECT_GT(thread.nSuspendCount, 0) << "context read from a running thread";
    *pRegisters = thread.registers;
    return true;
  }
  bool SetControlRegisters(HANDLE hThread, const ThreadControlRegisters& registers) override {
    Thread& thread = ThreadOf(hThread);
    EXPECT_GT(thread.nSuspendCount, 0) << "context written to a running thread";
    thread.registers = registers;
    return true;
  }

  MH_STATUS FindFunction(LPCWSTR pszModule, LPCSTR pszFunction, UINT32* pnAddress) override {
    const auto module = m_modules.find(pszModule);
    if (module == m_modules.end()) return MH_ERROR_MODULE_NOT_FOUND;
    const auto function = module->second.find(pszFunction);
    if (function == module->second.end()) return MH_ERROR_FUNCTION_NOT_FOUND;
    *pnAddress = function->second;
    return MH_OK;
  }

 private:
  struct PageState {
    DWORD dwState;
    DWORD dwProtect;
  };
  static inline const HANDLE kSnapshot = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x5A5A));

  Thread& ThreadOf(HANDLE hThread) {
    Thread* thread = FindThread(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(hThread) - 0x10000));
    if (!thread) {
      ADD_FAILURE() << "unknown thread handle";
      static Thread s_none = {};
      return s_none;
    }
    return *thread;
  }

  std::vector<BYTE> m_memory;
  std::vector<PageState> m_pages;
  std::map<std::wstring, std::map<std::string, UINT32>> m_modules;
  size_t m_nSnapshotAt = 0;
};
