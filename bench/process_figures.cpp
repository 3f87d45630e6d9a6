#include "bench/process_figures.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace bench {

namespace {

using QuerySystemInformation = NTSTATUS(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// One class of the system's information into `buffer`, grown as it asks; false when it could not be read.
bool QuerySystem(ULONG information_class, std::vector<char>* buffer) {
  static const QuerySystemInformation query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return false;
  buffer->resize(1 << 20);
  ULONG needed = 0;
  NTSTATUS status;
  while ((status = query(information_class, buffer->data(), static_cast<ULONG>(buffer->size()), &needed)) ==
             static_cast<NTSTATUS>(0xC0000004L) /* length mismatch */ &&
         buffer->size() < (256u << 20)) {
    buffer->resize(buffer->size() * 2);
  }
  return status == 0;
}

// The threads of `pid` from the system's process list; -1 when it could not be read.
long ThreadsFromProcessList(DWORD pid) {
  std::vector<char> buffer;
  if (!QuerySystem(5 /* SystemProcessInformation */, &buffer)) return -1;
  for (size_t offset = 0;;) {
    const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
    if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId)) == pid)
      return static_cast<long>(entry->NumberOfThreads);
    if (entry->NextEntryOffset == 0) return -1;
    offset += entry->NextEntryOffset;
  }
}

// The handles of `pid` from the system's handle list (the process list's count is, under Wine, the size of the
// handle table, which only doubles); -1 when it could not be read.
long HandlesFromHandleList(DWORD pid) {
  struct Handle {
    ULONG owner;
    BYTE type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  std::vector<char> buffer;
  if (!QuerySystem(16 /* SystemHandleInformation */, &buffer)) return -1;
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  // The entries follow the count at the alignment of a pointer.
  const size_t first = sizeof(void*);
  if (count > (buffer.size() - first) / sizeof(Handle)) return -1;
  const auto* handles = reinterpret_cast<const Handle*>(buffer.data() + first);
  long owned = 0;
  for (ULONG i = 0; i < count; ++i) {
    if (handles[i].owner == pid) ++owned;
  }
  return owned;
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
  figures.handles = GetProcessHandleCount(process, &handles) && handles != 0 ? static_cast<long>(handles)
                                                                              : HandlesFromHandleList(pid);
  figures.threads = ThreadsFromProcessList(pid);
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
