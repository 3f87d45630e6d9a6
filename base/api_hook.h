// In-process API hooking: redirects functions of this process (32-bit x86 code) to detours
// while their original code stays callable through a trampoline.
//
// Every call may come from any thread; one engine-wide lock serialises them. A hook is
// created disabled. The engine runs only in 32-bit x86 builds: elsewhere MH_Initialize
// returns MH_ERROR_UNSUPPORTED_FUNCTION and the engine stays uninitialised, so every other
// call returns MH_ERROR_NOT_INITIALIZED.
#pragma once

#include <windows.h>

enum MH_STATUS : int {
  MH_UNKNOWN = -1,
  MH_OK = 0,
  MH_ERROR_ALREADY_INITIALIZED,
  MH_ERROR_NOT_INITIALIZED,
  MH_ERROR_ALREADY_CREATED,
  MH_ERROR_NOT_CREATED,
  MH_ERROR_ENABLED,
  MH_ERROR_DISABLED,
  MH_ERROR_NOT_EXECUTABLE,
  MH_ERROR_UNSUPPORTED_FUNCTION,
  MH_ERROR_MEMORY_ALLOC,
  MH_ERROR_MEMORY_PROTECT,
  MH_ERROR_MODULE_NOT_FOUND,
  MH_ERROR_FUNCTION_NOT_FOUND,
};

// Selects every hook in MH_EnableHook, MH_DisableHook and the queue calls.
#define MH_ALL_HOOKS nullptr

[[nodiscard]] MH_STATUS MH_Initialize();
// Disables every hook, then frees all the engine's memory. Trampolines become invalid.
[[nodiscard]] MH_STATUS MH_Uninitialize();
// Builds the trampoline of pTarget and adds a disabled hook. *ppOriginal (when given)
// receives the trampoline: calling it runs the target as it was, for as long as the hook
// exists.
[[nodiscard]] MH_STATUS MH_CreateHook(LPVOID pTarget, LPVOID pDetour, LPVOID* ppOriginal);
// The same for a function of an already loaded module.
[[nodiscard]] MH_STATUS MH_CreateHookApi(LPCWSTR pszModule, LPCSTR pszProcName, LPVOID pDetour,
                                         LPVOID* ppOriginal);
// As MH_CreateHookApi; *ppTarget (when given) receives the function's address.
[[nodiscard]] MH_STATUS MH_CreateHookApiEx(LPCWSTR pszModule, LPCSTR pszProcName, LPVOID pDetour,
                                           LPVOID* ppOriginal, LPVOID* ppTarget);
[[nodiscard]] MH_STATUS MH_RemoveHook(LPVOID pTarget);
[[nodiscard]] MH_STATUS MH_EnableHook(LPVOID pTarget);
[[nodiscard]] MH_STATUS MH_DisableHook(LPVOID pTarget);
[[nodiscard]] MH_STATUS MH_QueueEnableHook(LPVOID pTarget);
[[nodiscard]] MH_STATUS MH_QueueDisableHook(LPVOID pTarget);
[[nodiscard]] MH_STATUS MH_ApplyQueued();
// The status's name ("MH_OK" ...), or "(unknown)". The text is static.
const char* MH_StatusToString(MH_STATUS status);
