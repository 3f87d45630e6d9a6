#include "bench/process_figures.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace bench {

namespace {

using QuerySystemInformation = NTSTATUS(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Handles and threads from the system's process list; false when it could not be read.
bool FromProcessList(DWORD pid, long* handles, long* threads) {
  static const QuerySystemInformation query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return false;
  std::vector<char> buffer(1 << 20);
  ULONG needed = 0;
  NTSTATUS status;
  while ((status = query(5 /* SystemProcessInformation */, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == static_cast<NTSTATUS>(0xC0000004L) /* length mismatch */ &&
         buffer.size() < (64u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (status != 0) return false;
  for (size_t offset = 0;;) {
    const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
    if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId)) == pid) {
      *handles = static_cast<long>(entry->HandleCount);
      *threads = static_cast<long>(entry->NumberOfThreads);
      return true;
    }
    if (entry->NextEntryOffset == 0) return false;
    offset += entry->NextEntryOffset;
  }
}

struct WindowCount {
  DWORD pid;
  long count;
};

BOOL CALLBACK CountChild(HWND window, LPARAM param) {
  auto* count = reinterpret_cast<WindowCount*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == count->pid) ++count->count;
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM param) {
  CountChild(window, param);
  // Children may belong to another process than their parent (a view inside a host's window).
  EnumChildWindows(window, CountChild, param);
  return TRUE;
}

long CountWindows(DWORD pid) {
  WindowCount count{pid, 0};
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
       window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
    CountChild(window, reinterpret_cast<LPARAM>(&count));
  }
  return count.count;
}

}  // namespace

ProcessFigures MeasureProcess(DWORD pid) {
  ProcessFigures figures;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
  if (!process) return figures;
  figures.alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
    figures.private_bytes = static_cast<double>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
  DWORD handles = 0;
  if (GetProcessHandleCount(process, &handles) && handles != 0) figures.handles = static_cast<long>(handles);
  long listed_handles = -1, threads = 0;
  if (FromProcessList(pid, &listed_handles, &threads)) {
    figures.threads = threads;
    if (figures.handles < 0 && listed_handles > 0) figures.handles = listed_handles;
  }
  const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
  const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
  // A process with windows has USER objects: zero for both means the system does not count them.
  if (gdi != 0 || user != 0) {
    figures.gdi_objects = static_cast<long>(gdi);
    figures.user_objects = static_cast<long>(user);
  }
  figures.windows = CountWindows(pid);
  CloseHandle(process);
  return figures;
}

}  // namespace bench
