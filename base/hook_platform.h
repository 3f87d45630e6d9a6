// What the hooking engine needs of the process it patches. The engine addresses that
// process's memory with 32-bit addresses; the live implementation is the running 32-bit
// process itself, and tests supply a simulated one.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include "base/api_hook.h"

// The control registers of a 32-bit x86 thread.
struct ThreadControlRegisters {
  DWORD Ebp;
  DWORD Eip;
  DWORD SegCs;
  DWORD EFlags;
  DWORD Esp;
  DWORD SegSs;
};

class IHookPlatform {
 public:
  virtual ~IHookPlatform() = default;

  // Where the bytes at nAddress can be read (and, while made writable, written). Valid while
  // the memory stays allocated.
  virtual BYTE* CodeBytes(UINT32 nAddress) = 0;
  // One 4,096-byte page, readable, writable and executable; 0 on failure.
  virtual UINT32 AllocateCodePage() = 0;
  virtual void FreeCodePage(UINT32 nPage) = 0;
  // How many of the nWanted bytes from nAddress on can be read (committed and accessible,
  // across adjoining regions): reads of code are bounded by it.
  virtual UINT32 ReadableBytes(UINT32 nAddress, UINT32 nWanted) = 0;
  // State (MEM_COMMIT ...) and protection of the region holding nAddress.
  virtual bool QueryRegion(UINT32 nAddress, DWORD* pdwState, DWORD* pdwProtect) = 0;
  virtual bool ProtectCode(UINT32 nAddress, UINT32 nSize, DWORD dwProtect, DWORD* pdwOldProtect) = 0;
  virtual void FlushCode(UINT32 nAddress, UINT32 nSize) = 0;

  // A snapshot of the system's threads, walked like Thread32First/Thread32Next.
  virtual HANDLE CreateThreadSnapshot() = 0;  // INVALID_HANDLE_VALUE on failure
  virtual bool FirstThread(HANDLE hSnapshot, THREADENTRY32* pEntry) = 0;
  virtual bool NextThread(HANDLE hSnapshot, THREADENTRY32* pEntry) = 0;
  virtual void CloseSnapshot(HANDLE hSnapshot) = 0;
  virtual DWORD CurrentProcessId() = 0;
  virtual DWORD CurrentThreadId() = 0;

  // Opened with the rights to suspend, resume, get and set the context; null on failure.
  virtual HANDLE OpenThreadById(DWORD dwThreadId) = 0;
  virtual bool SuspendThread(HANDLE hThread) = 0;  // false when the thread was not suspended
  virtual void ResumeThread(HANDLE hThread) = 0;
  virtual void CloseThread(HANDLE hThread) = 0;
  virtual bool GetControlRegisters(HANDLE hThread, ThreadControlRegisters* pRegisters) = 0;
  virtual bool SetControlRegisters(HANDLE hThread, const ThreadControlRegisters& registers) = 0;

  // The address of an exported function of an already loaded module:
  // MH_OK, MH_ERROR_MODULE_NOT_FOUND or MH_ERROR_FUNCTION_NOT_FOUND.
  virtual MH_STATUS FindFunction(LPCWSTR pszModule, LPCSTR pszFunction, UINT32* pnAddress) = 0;
};
