// Process-wide values shared by the child-process launch hook (browser/process_launch_hook.h)
// and the root windows: the record of started child processes and the window told when the
// Flash plug-in cannot start.
#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

#include "base/critical_section.h"

// Posted, with wParam 0 and lParam 0, to g_flashNoticeWindow when a Flash plug-in process was
// refused because "pepflashplayer.dll" is missing beside the executable.
constexpr UINT WM_FLASH_PLUGIN_MISSING = WM_USER + 1024;  // 0x800

// The handles of the child processes this process started, in start order. Entries are never
// removed and the handles are never closed: they stay valid until the process ends.
// Any thread; every access takes the list's own lock, which is never held while calling out.
class ChildProcessList {
 public:
  ChildProcessList() = default;
  ChildProcessList(const ChildProcessList&) = delete;
  ChildProcessList& operator=(const ChildProcessList&) = delete;

  // False, recording nothing, for a null handle or when memory runs out.
  [[nodiscard]] bool Append(HANDLE process);
  // A copy of the handles, in start order.
  std::vector<HANDLE> Snapshot() const;

 private:
  mutable _BaseModule::CCriticalSection m_lock;
  std::vector<HANDLE> m_vecHandles;
};

// Appended by the launch hook on whatever thread starts a child; read by a root window on the
// main thread (to end every child when the session ends). Lives until static destruction.
extern ChildProcessList g_childProcesses;

// The root window that last received a load command; null until then. Written by the root
// windows on the main thread, read by the launch hook on any thread.
extern std::atomic<HWND> g_flashNoticeWindow;
