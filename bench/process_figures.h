// What a process holds, read from outside while it runs: committed private memory, handles, threads, GDI and USER
// objects, and windows.
//
// Wine (8) does not report every figure as Windows does: PrivateUsage reads 0 (the commit charge, PagefileUsage,
// is the same figure on Windows and is what Wine fills in), GetProcessHandleCount reads 0 (the system's handle list
// is counted instead; its process list gives the handle table's size, which only doubles), and GetGuiResources
// reads 0 for GDI and USER objects. The windows the process owns
// (top-level, child and message-only) stand in for its USER objects; GDI objects have no stand-in there.
#pragma once

#include <windows.h>

#include <string>

namespace bench {

struct ProcessFigures {
  bool alive = false;
  double private_bytes = 0;  // commit charge
  long handles = -1;         // -1: not reported
  long threads = -1;
  long gdi_objects = -1;     // -1: not reported (GetGuiResources gave nothing)
  long user_objects = -1;
  long windows = 0;          // top-level, child and message-only windows of its threads
};

// The figures of process `pid` now.
ProcessFigures MeasureProcess(DWORD pid);

}  // namespace bench
