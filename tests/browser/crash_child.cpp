// Test helper: sets up the crash hand-off as the browser process does, then crashes. Tests copy
// it into folder trees with stand-in uploaders. It prints "name=value" lines before crashing:
// always its "pid" and "main_thread", and what its mode adds.
//
//   crash_child crash      crashes on its main thread
//   crash_child thread     crashes on a second thread (prints its id as "thread")
//   crash_child override   prints the patched bytes ("patch", hexadecimal), in a 32-bit process
//                          how far one call of the patched function moved the stack pointer
//                          ("stack", bytes), and what a later
//                          SetUnhandledExceptionFilter returns ("previous": null or other), then
//                          crashes; a filter set that way would end the process with code 77
//   crash_child bounded    waits at most a second for the uploader, then crashes
//   crash_child restore    undoes the patch; exits 0 when SetUnhandledExceptionFilter then
//                          returns the hand-off's filter, 1 otherwise
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "browser/crash_handler.h"

namespace {

LONG WINAPI OtherFilter(EXCEPTION_POINTERS*) {
  ExitProcess(77);
  return EXCEPTION_CONTINUE_SEARCH;
}

#if defined(__i386__)
// Bytes the stack pointer moved over one call of the patched function with its one argument:
// 0 when the patch pops that argument as the function's __stdcall contract says, 4 when it
// leaves it behind (a caller's frame would then be off by one slot).
int StackDriftOfOneCall(LPTOP_LEVEL_EXCEPTION_FILTER(WINAPI* function)(LPTOP_LEVEL_EXCEPTION_FILTER)) {
  int drift = 0;
  void* target = reinterpret_cast<void*>(function);
  void* argument = reinterpret_cast<void*>(&OtherFilter);
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl %[argument]\n\t"
      "call *%[target]\n\t"
      "movl %%esi, %%ecx\n\t"
      "subl %%esp, %%ecx\n\t"
      "movl %%esi, %%esp\n\t"  // the stack as it was, whatever the callee did
      : "=&c"(drift), [target] "+a"(target), [argument] "+d"(argument)
      :
      : "esi", "memory", "cc");
  return drift;
}
#endif

void Crash() {
  // A volatile store through a pointer the compiler cannot see: a real access violation, not a
  // trap put in (nor a store left out) by the compiler.
  volatile int* volatile target = nullptr;
  *target = 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  CrashHandler* handler = new CrashHandler();
  handler->SetReportInfo(L"KivBrivelo", 0, nullptr);
  const wchar_t* mode = argv[1];
  printf("pid=%lu\nmain_thread=%lu\n", GetCurrentProcessId(), GetCurrentThreadId());

  if (wcscmp(mode, L"restore") == 0) {
    if (!CrashHandler::PatchSetUnhandledExceptionFilter(false)) return 3;
    return SetUnhandledExceptionFilter(&OtherFilter) == &CrashHandler::OnUnhandledException ? 0 : 1;
  }
  if (wcscmp(mode, L"override") == 0) {
    const unsigned char* code = reinterpret_cast<const unsigned char*>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetUnhandledExceptionFilter")));
    printf("patch=");
    for (int i = 0; i < 5; ++i) printf("%02X", code[i]);
    printf("\n");
#if defined(__i386__)
    using SetFilter = LPTOP_LEVEL_EXCEPTION_FILTER(WINAPI*)(LPTOP_LEVEL_EXCEPTION_FILTER);
    printf("stack=%d\n", StackDriftOfOneCall(reinterpret_cast<SetFilter>(reinterpret_cast<uintptr_t>(code))));
#endif
    LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(&OtherFilter);
    printf("previous=%s\n", previous ? "other" : "null");
  }
  if (wcscmp(mode, L"bounded") == 0) crash_handoff::SetUploaderWait(1000);
  if (wcscmp(mode, L"thread") == 0) {
    std::thread crasher([] {
      printf("thread=%lu\n", GetCurrentThreadId());
      fflush(stdout);
      Crash();
    });
    crasher.join();
    return 4;
  }
  fflush(stdout);
  Crash();
  return 5;
}
