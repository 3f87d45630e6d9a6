#include "browser/crash_handler.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <io.h>

#include "browser/module_file_version.h"

namespace {

const size_t kTextUnits = MAX_PATH;  // 259 characters and the terminator

int g_nReport = 0;
wchar_t g_szSource[kTextUnits] = {};
wchar_t g_szVersion[kTextUnits] = {};
uint8_t g_savedCode[8] = {};
bool g_bPatched = false;
DWORD g_dwUploaderWait = crash_handoff::kUploaderWaitMilliseconds;

#if defined(__i386__) || defined(_M_IX86)
const uint8_t kFilterPatch[] = {0x33, 0xC0, 0xC2, 0x04, 0x00};  // xor eax,eax; ret 4
#else
const uint8_t kFilterPatch[] = {0x33, 0xC0, 0xC3};  // xor eax,eax; ret
#endif
static_assert(sizeof(kFilterPatch) <= sizeof(g_savedCode), "the saved code holds the patched bytes");

// Copies text when it fits; otherwise leaves field empty.
void CopyText(wchar_t* field, const wchar_t* text) {
  field[0] = L'\0';
  if (wcslen(text) < kTextUnits) wcscpy(field, text);
}

bool IsReadable(const void* address, size_t size) {
  const uint8_t* cursor = static_cast<const uint8_t*>(address);
  const uint8_t* end = cursor + size;
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  while (cursor < end) {
    MEMORY_BASIC_INFORMATION region = {};
    if (VirtualQuery(cursor, &region, sizeof(region)) == 0) return false;
    if (region.State != MEM_COMMIT || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) || !(region.Protect & readable))
      return false;
    cursor = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize;
  }
  return true;
}

void* SetFilterFunction() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(kernel, "SetUnhandledExceptionFilter"));
}

}  // namespace

CrashHandler::CrashHandler() {
  // The filter first, then the patch: this filter is the last one ever set.
  SetUnhandledExceptionFilter(&CrashHandler::OnUnhandledException);
  PatchSetUnhandledExceptionFilter(true);
}

CrashHandler::CrashHandler(const wchar_t* source, const wchar_t* version) : CrashHandler() {
  SetReportInfo(source, 0, version);
}

CrashHandler::CrashHandler(const wchar_t* source, int report, const wchar_t* version) : CrashHandler() {
  SetReportInfo(source, report, version);
}

void CrashHandler::SetReportInfo(const wchar_t* source, int report, const wchar_t* version) {
  g_nReport = report;
  g_szSource[0] = L'\0';
  g_szVersion[0] = L'\0';
  if (version) {
    CopyText(g_szVersion, version);
  } else {
    // Without version information the text stays empty.
    wchar_t exePath[MAX_PATH + 1] = {};
    if (GetModuleFileNameW(nullptr, exePath, MAX_PATH))
      (void)GetModuleFileVersion(exePath, g_szVersion, static_cast<uint32_t>(kTextUnits));
  }
  if (source) CopyText(g_szSource, source);
}

LONG WINAPI CrashHandler::OnUnhandledException(EXCEPTION_POINTERS* info) {
  wchar_t exeDir[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, exeDir, MAX_PATH);
  PathRemoveFileSpecW(exeDir);
  wchar_t uploader[MAX_PATH + 1] = {};
  wchar_t parameters[1024] = {};
  if (crash_handoff::FindUploader(exeDir, uploader) &&
      crash_handoff::FormatUploaderParameters(parameters, 1024, crash_handoff::ExceptionPointersValue(info),
                                              GetCurrentProcessId(), GetCurrentThreadId(), g_szSource, g_szVersion,
                                              g_nReport)) {
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = uploader;
    execute.lpParameters = parameters;
    execute.nShow = SW_HIDE;
    if (ShellExecuteExW(&execute) && execute.hProcess) {
      WaitForSingleObject(execute.hProcess, g_dwUploaderWait);
      CloseHandle(execute.hProcess);
    }
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

bool CrashHandler::PatchSetUnhandledExceptionFilter(bool patch) {
  void* target = SetFilterFunction();
  size_t size = 0;
  const uint8_t* bytes = crash_handoff::FilterPatch(&size);
  if (!target || !IsReadable(target, size)) return false;
  if (patch) {
    if (g_bPatched) return true;  // the saved bytes must stay the original ones
    memcpy(g_savedCode, target, size);
    g_bPatched = WriteCode(target, bytes, static_cast<uint32_t>(size));
    return g_bPatched;
  }
  if (!g_bPatched) return true;
  if (!WriteCode(target, g_savedCode, static_cast<uint32_t>(size))) return false;
  g_bPatched = false;
  return true;
}

bool CrashHandler::WriteCode(void* target, const void* bytes, uint32_t size) {
  if (!target || !bytes || size == 0 || !IsReadable(bytes, size)) return false;
  DWORD previous = 0;
  if (!VirtualProtect(target, size, PAGE_EXECUTE_READWRITE, &previous)) return false;
  memcpy(target, bytes, size);
  DWORD ignored = 0;
  const bool restored = VirtualProtect(target, size, previous, &ignored) != FALSE;
  FlushInstructionCache(GetCurrentProcess(), target, size);
  return restored;
}

namespace crash_handoff {

void SetUploaderWait(DWORD milliseconds) { g_dwUploaderWait = milliseconds; }

const uint8_t* FilterPatch(size_t* size) {
  if (size) *size = sizeof(kFilterPatch);
  return kFilterPatch;
}

uint64_t ExceptionPointersValue(const void* address) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(address);
  if (sizeof(value) == 4) return SignExtendAddress32(static_cast<uint32_t>(value));
  return static_cast<uint64_t>(value);
}

bool FormatUploaderParameters(wchar_t* out, size_t capacity, uint64_t pep, DWORD pid, DWORD tid,
                              const wchar_t* source, const wchar_t* version, int report) {
  if (!out || capacity == 0) return false;
  // %I64u: the 64-bit conversion that every Windows C runtime reads the same way.
  const int written = _snwprintf(out, capacity, L"--pep=%I64u --pid=%lu --tid=%lu --src=%s --ver=%s --rep=%d", pep,
                                 static_cast<unsigned long>(pid), static_cast<unsigned long>(tid),
                                 source ? source : L"", version ? version : L"", report);
  if (written < 0 || static_cast<size_t>(written) >= capacity) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

bool FindUploader(const wchar_t* exeDir, wchar_t* out) {
  if (!exeDir || !out || wcslen(exeDir) > MAX_PATH) return false;
  wchar_t parent[MAX_PATH + 1] = {};
  wcscpy(parent, exeDir);
  PathRemoveFileSpecW(parent);
  wchar_t grandparent[MAX_PATH + 1] = {};
  wcscpy(grandparent, parent);
  PathRemoveFileSpecW(grandparent);
  const struct {
    const wchar_t* folder;
    const wchar_t* file;
  } candidates[] = {
      {exeDir, L"Traskel.exe"},      {exeDir, L"Utils\\Traskel.exe"}, {parent, L"Traskel.exe"},
      {parent, L"Utils\\Traskel.exe"}, {grandparent, L"Traskel.exe"},
  };
  for (const auto& candidate : candidates) {
    wchar_t path[MAX_PATH + 1] = {};
    wcscpy(path, candidate.folder);
    if (!PathAppendW(path, candidate.file)) return false;
    wcscpy(out, path);
    if (_waccess(path, 4) == 0) return true;
  }
  return true;  // none readable: the last candidate
}

}  // namespace crash_handoff
