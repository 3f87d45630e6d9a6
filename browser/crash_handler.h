// The crash hand-off of the browser process: an exception that nothing handles starts the
// product family's crash-dump uploader "Traskel.exe" (hidden), which is told which process,
// thread and exception record to look at; the crashing thread waits until the uploader ends, or
// at most kUploaderWaitMilliseconds (an uploader that hangs must not keep a crashed process
// alive), and then the process ends.
//
// The uploader is the first "Traskel.exe" found (readable) in: the executable's folder, its
// "Utils" subfolder, the parent folder, the parent's "Utils" subfolder, the grandparent folder;
// when there is none, the last of these is tried (and the process simply ends). Its parameters:
//   --pep=<EXCEPTION_POINTERS address> --pid=<process id> --tid=<thread id>
//   --src=<source name> --ver=<version text> --rep=<report flag>
// A 32-bit process sign-extends the address to 64 bits; a 64-bit process passes it unchanged.
//
// Set-up installs the filter and then patches the start of kernel32's
// SetUnhandledExceptionFilter to return null at once, so that later calls change nothing and
// this filter stays the last one set.
//
// Contracts: the state is process-wide. Set it up once, on the main thread, before other
// threads exist; the filter and the patch last for the life of the process. The filter runs on
// the crashing thread and allocates nothing of its own.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

class CrashHandler {
 public:
  // Installs the filter, then applies the patch. The report info stays as it was (flag 0 and
  // empty texts at first) until SetReportInfo.
  CrashHandler();
  // The same, then SetReportInfo(source, 0, version).
  CrashHandler(const wchar_t* source, const wchar_t* version);
  // The same, then SetReportInfo(source, report, version).
  CrashHandler(const wchar_t* source, int report, const wchar_t* version);
  // Nothing: the filter and the patch stay.
  ~CrashHandler() = default;
  CrashHandler(const CrashHandler&) = delete;
  CrashHandler& operator=(const CrashHandler&) = delete;

  // Stores the report flag and clears both texts; then the version text becomes a copy of
  // version, or with a null version the executable's file version; the source name a copy of
  // source when it is not null. A text of 260 units or more leaves its field empty.
  static void SetReportInfo(const wchar_t* source, int report, const wchar_t* version);

  // The filter: hands the crash to the uploader and waits for it, within the bound below;
  // EXCEPTION_EXECUTE_HANDLER.
  static LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info);

  // true: saves the start of SetUnhandledExceptionFilter and writes the patch over it (once;
  // later calls change nothing). false: writes the saved bytes back. False when the function
  // cannot be found, read or written.
  static bool PatchSetUnhandledExceptionFilter(bool patch);

  // Copies size bytes over code at target: makes it writable (PAGE_EXECUTE_READWRITE), copies,
  // restores the earlier protection and flushes the instruction cache. False for a null target
  // or bytes, size 0, source bytes that are not readable, or a failed protection change.
  static bool WriteCode(void* target, const void* bytes, uint32_t size);
};

namespace crash_handoff {

// How long a crashed process waits for its uploader at most: time enough to read the crashed
// process's memory for a dump.
constexpr DWORD kUploaderWaitMilliseconds = 60 * 1000;
// Sets that bound for this process (tests shorten it). Before the crash, like the set-up.
void SetUploaderWait(DWORD milliseconds);

// The patch for this build's architecture: xor eax,eax; ret 4 (33 C0 C2 04 00) for 32-bit x86,
// xor eax,eax; ret (33 C0 C3) for x86_64. The bytes are static.
const uint8_t* FilterPatch(size_t* size);

// A 32-bit address widened with its top bit repeated: 0x80001000 gives 0xFFFFFFFF80001000.
constexpr uint64_t SignExtendAddress32(uint32_t address) {
  return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(address)));
}
// The --pep value of an address in this process.
uint64_t ExceptionPointersValue(const void* address);

// The uploader's parameters into out (capacity units, terminated). False when they do not fit.
[[nodiscard]] bool FormatUploaderParameters(wchar_t* out, size_t capacity, uint64_t pep, DWORD pid, DWORD tid,
                                            const wchar_t* source, const wchar_t* version, int report);

// The uploader to start for an executable in exeDir: the first readable candidate, else the
// last one. out holds MAX_PATH + 1 units; false when the paths do not fit.
[[nodiscard]] bool FindUploader(const wchar_t* exeDir, wchar_t* out);

}  // namespace crash_handoff
