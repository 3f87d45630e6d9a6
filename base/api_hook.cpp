#include "base/api_hook.h"

#include "base/hook_engine.h"

namespace {

#if defined(__i386__) || defined(_M_IX86)

BYTE* Pointer(UINT32 nAddress) {
  return reinterpret_cast<BYTE*>(static_cast<UINT_PTR>(nAddress));
}

UINT32 Address(const void* p) {
  return static_cast<UINT32>(reinterpret_cast<UINT_PTR>(p));
}

// The running 32-bit process.
class CLiveHookPlatform : public IHookPlatform {
 public:
  BYTE* CodeBytes(UINT32 nAddress) override { return Pointer(nAddress); }

  UINT32 AllocateCodePage() override {
    return Address(VirtualAlloc(nullptr, kTrampolinePageSize, MEM_RESERVE | MEM_COMMIT, PAGE_EXECUTE_READWRITE));
  }

  void FreeCodePage(UINT32 nPage) override { VirtualFree(Pointer(nPage), 0, MEM_RELEASE); }

  UINT32 ReadableBytes(UINT32 nAddress, UINT32 nWanted) override {
    UINT32 nReadable = 0;
    while (nReadable < nWanted) {
      MEMORY_BASIC_INFORMATION mbi = {};
      if (VirtualQuery(Pointer(nAddress + nReadable), &mbi, sizeof(mbi)) == 0) break;
      if (mbi.State != MEM_COMMIT || (mbi.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || mbi.Protect == 0) break;
      const UINT32 nEnd = Address(mbi.BaseAddress) + static_cast<UINT32>(mbi.RegionSize);
      if (nEnd <= nAddress + nReadable) break;  // the address space ends here
      nReadable = nEnd - nAddress;
    }
    return nReadable < nWanted ? nReadable : nWanted;
  }

  bool QueryRegion(UINT32 nAddress, DWORD* pdwState, DWORD* pdwProtect) override {
    MEMORY_BASIC_INFORMATION mbi = {};
    if (VirtualQuery(Pointer(nAddress), &mbi, sizeof(mbi)) == 0) return false;
    *pdwState = mbi.State;
    *pdwProtect = mbi.Protect;
    return true;
  }

  bool ProtectCode(UINT32 nAddress, UINT32 nSize, DWORD dwProtect, DWORD* pdwOldProtect) override {
    return VirtualProtect(Pointer(nAddress), nSize, dwProtect, pdwOldProtect) != FALSE;
  }

  void FlushCode(UINT32 nAddress, UINT32 nSize) override {
    FlushInstructionCache(GetCurrentProcess(), Pointer(nAddress), nSize);
  }

  HANDLE CreateThreadSnapshot() override { return CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0); }
  bool FirstThread(HANDLE hSnapshot, THREADENTRY32* pEntry) override {
    return Thread32First(hSnapshot, pEntry) != FALSE;
  }
  bool NextThread(HANDLE hSnapshot, THREADENTRY32* pEntry) override {
    return Thread32Next(hSnapshot, pEntry) != FALSE;
  }
  void CloseSnapshot(HANDLE hSnapshot) override { CloseHandle(hSnapshot); }
  DWORD CurrentProcessId() override { return GetCurrentProcessId(); }
  DWORD CurrentThreadId() override { return GetCurrentThreadId(); }

  HANDLE OpenThreadById(DWORD dwThreadId) override {
    return OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_SET_CONTEXT | THREAD_QUERY_INFORMATION,
                      FALSE, dwThreadId);
  }
  bool SuspendThread(HANDLE hThread) override { return ::SuspendThread(hThread) != static_cast<DWORD>(-1); }
  void ResumeThread(HANDLE hThread) override { ::ResumeThread(hThread); }
  void CloseThread(HANDLE hThread) override { CloseHandle(hThread); }

  bool GetControlRegisters(HANDLE hThread, ThreadControlRegisters* pRegisters) override {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    if (!GetThreadContext(hThread, &context)) return false;
    pRegisters->Ebp = context.Ebp;
    pRegisters->Eip = context.Eip;
    pRegisters->SegCs = context.SegCs;
    pRegisters->EFlags = context.EFlags;
    pRegisters->Esp = context.Esp;
    pRegisters->SegSs = context.SegSs;
    return true;
  }

  bool SetControlRegisters(HANDLE hThread, const ThreadControlRegisters& registers) override {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    context.Ebp = registers.Ebp;
    context.Eip = registers.Eip;
    context.SegCs = registers.SegCs;
    context.EFlags = registers.EFlags;
    context.Esp = registers.Esp;
    context.SegSs = registers.SegSs;
    return SetThreadContext(hThread, &context) != FALSE;
  }

  MH_STATUS FindFunction(LPCWSTR pszModule, LPCSTR pszFunction, UINT32* pnAddress) override {
    const HMODULE hModule = GetModuleHandleW(pszModule);
    if (!hModule) return MH_ERROR_MODULE_NOT_FOUND;
    const FARPROC pfn = GetProcAddress(hModule, pszFunction);
    if (!pfn) return MH_ERROR_FUNCTION_NOT_FOUND;
    *pnAddress = Address(reinterpret_cast<const void*>(pfn));
    return MH_OK;
  }
};

// The process-wide engine. Never destroyed: enabled hooks stay in place until the process ends.
CHookEngine& Engine() {
  static CLiveHookPlatform* s_pPlatform = new CLiveHookPlatform();
  static CHookEngine* s_pEngine = new CHookEngine(*s_pPlatform);
  return *s_pEngine;
}

void StoreAddress(LPVOID* ppOut, UINT32 nAddress) {
  if (ppOut) *ppOut = Pointer(nAddress);
}

#endif

}  // namespace

#if defined(__i386__) || defined(_M_IX86)

MH_STATUS MH_Initialize() { return Engine().Initialize(); }
MH_STATUS MH_Uninitialize() { return Engine().Uninitialize(); }

MH_STATUS MH_CreateHook(LPVOID pTarget, LPVOID pDetour, LPVOID* ppOriginal) {
  UINT32 nTrampoline = 0;
  const MH_STATUS status = Engine().CreateHook(Address(pTarget), Address(pDetour), &nTrampoline);
  if (status == MH_OK) StoreAddress(ppOriginal, nTrampoline);
  return status;
}

MH_STATUS MH_CreateHookApiEx(LPCWSTR pszModule, LPCSTR pszProcName, LPVOID pDetour, LPVOID* ppOriginal,
                             LPVOID* ppTarget) {
  UINT32 nTrampoline = 0;
  UINT32 nTarget = 0;
  const MH_STATUS status = Engine().CreateHookApi(pszModule, pszProcName, Address(pDetour), &nTrampoline, &nTarget);
  if (nTarget) StoreAddress(ppTarget, nTarget);
  if (status == MH_OK) StoreAddress(ppOriginal, nTrampoline);
  return status;
}

MH_STATUS MH_RemoveHook(LPVOID pTarget) { return Engine().RemoveHook(Address(pTarget)); }
MH_STATUS MH_EnableHook(LPVOID pTarget) { return Engine().EnableHook(Address(pTarget), true); }
MH_STATUS MH_DisableHook(LPVOID pTarget) { return Engine().EnableHook(Address(pTarget), false); }
MH_STATUS MH_QueueEnableHook(LPVOID pTarget) { return Engine().QueueHook(Address(pTarget), true); }
MH_STATUS MH_QueueDisableHook(LPVOID pTarget) { return Engine().QueueHook(Address(pTarget), false); }
MH_STATUS MH_ApplyQueued() { return Engine().ApplyQueued(); }

#else

// The engine writes 32-bit x86 code; other builds offer the calls without an engine.
MH_STATUS MH_Initialize() { return MH_ERROR_UNSUPPORTED_FUNCTION; }
MH_STATUS MH_Uninitialize() { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_CreateHook(LPVOID, LPVOID, LPVOID*) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_CreateHookApiEx(LPCWSTR, LPCSTR, LPVOID, LPVOID*, LPVOID*) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_RemoveHook(LPVOID) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_EnableHook(LPVOID) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_DisableHook(LPVOID) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_QueueEnableHook(LPVOID) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_QueueDisableHook(LPVOID) { return MH_ERROR_NOT_INITIALIZED; }
MH_STATUS MH_ApplyQueued() { return MH_ERROR_NOT_INITIALIZED; }

#endif

MH_STATUS MH_CreateHookApi(LPCWSTR pszModule, LPCSTR pszProcName, LPVOID pDetour, LPVOID* ppOriginal) {
  return MH_CreateHookApiEx(pszModule, pszProcName, pDetour, ppOriginal, nullptr);
}

const char* MH_StatusToString(MH_STATUS status) {
  switch (status) {
    case MH_UNKNOWN: return "MH_UNKNOWN";
    case MH_OK: return "MH_OK";
    case MH_ERROR_ALREADY_INITIALIZED: return "MH_ERROR_ALREADY_INITIALIZED";
    case MH_ERROR_NOT_INITIALIZED: return "MH_ERROR_NOT_INITIALIZED";
    case MH_ERROR_ALREADY_CREATED: return "MH_ERROR_ALREADY_CREATED";
    case MH_ERROR_NOT_CREATED: return "MH_ERROR_NOT_CREATED";
    case MH_ERROR_ENABLED: return "MH_ERROR_ENABLED";
    case MH_ERROR_DISABLED: return "MH_ERROR_DISABLED";
    case MH_ERROR_NOT_EXECUTABLE: return "MH_ERROR_NOT_EXECUTABLE";
    case MH_ERROR_UNSUPPORTED_FUNCTION: return "MH_ERROR_UNSUPPORTED_FUNCTION";
    case MH_ERROR_MEMORY_ALLOC: return "MH_ERROR_MEMORY_ALLOC";
    case MH_ERROR_MEMORY_PROTECT: return "MH_ERROR_MEMORY_PROTECT";
    case MH_ERROR_MODULE_NOT_FOUND: return "MH_ERROR_MODULE_NOT_FOUND";
    case MH_ERROR_FUNCTION_NOT_FOUND: return "MH_ERROR_FUNCTION_NOT_FOUND";
  }
  return "(unknown)";
}
