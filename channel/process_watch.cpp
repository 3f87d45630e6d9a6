#include "channel/process_watch.h"

#include "base/critical_section.h"
#include "base/log.h"
#include "browser/main_context.h"

namespace {

_BaseModule::CCriticalSection g_csWatch;
HANDLE g_hWatchWait = nullptr;
// The watched process; taken (exchanged to null) by whichever closes it: the callback or
// the cancellation.
HANDLE volatile g_hWatchedProcess = nullptr;

HANDLE TakeWatchedProcess() {
  return static_cast<HANDLE>(InterlockedExchangePointer(const_cast<PVOID volatile*>(&g_hWatchedProcess), nullptr));
}

}  // namespace

BOOL RegisterProcessWaitExit(HWND window) {
  LogInfoW(L"RegisterProcessWaitExit wnd:%d", static_cast<int>(reinterpret_cast<INT_PTR>(window)));
  if (!window) return FALSE;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  LogInfoW(L"RegisterProcessWaitExit process:%d", static_cast<int>(process_id));
  if (process_id == 0) return FALSE;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  if (!process) return FALSE;

  UnregisterProcessWaitExit();
  _BaseModule::CAutoLocker lock(&g_csWatch);
  g_hWatchedProcess = process;
  HANDLE wait = nullptr;
  if (!RegisterWaitForSingleObject(&wait, process, &OnParentProcessExit, process, INFINITE,
                                   WT_EXECUTEONLYONCE | WT_EXECUTELONGFUNCTION)) {
    if (HANDLE own = TakeWatchedProcess()) CloseHandle(own);
    return FALSE;
  }
  g_hWatchWait = wait;
  LogInfoW(L"RegisterProcessWaitExit_Start(%p, ProcessId=%d)", process, static_cast<int>(process_id));
  return TRUE;
}

void UnregisterProcessWaitExit() {
  _BaseModule::CAutoLocker lock(&g_csWatch);
  if (!g_hWatchWait) return;
  // Waits for a running callback, so the context it calls may be deleted afterwards.
  UnregisterWaitEx(g_hWatchWait, INVALID_HANDLE_VALUE);
  g_hWatchWait = nullptr;
  if (HANDLE process = TakeWatchedProcess()) CloseHandle(process);
}

VOID CALLBACK OnParentProcessExit(PVOID context, BOOLEAN timed_out) {
  if (!timed_out) {
    LogInfoW(L"parent wnd process exit, i will quit");
    if (client::MainContext* main_context = client::MainContext::Get()) main_context->Quit();
  }
  // Close the handle only when the cancellation has not taken it.
  HANDLE process = context;
  if (process && InterlockedCompareExchangePointer(const_cast<PVOID volatile*>(&g_hWatchedProcess), nullptr,
                                                   process) == process) {
    CloseHandle(process);
  }
  LogInfoW(L"RegisterProcessWaitExit_End(%p, %d)", context, timed_out ? 1 : 0);
}
