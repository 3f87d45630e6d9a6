// Test helper: a child process that records how it was started. When the environment variable
// BRIVELO_ARGV_RECORD names a file, it writes there (UTF-8, one "name=value" line each):
//   cmdline  its whole command line
//   flags    the startup flags it was given (hexadecimal), show  the show command
//   stdout, stderr  the kind of its standard handles: pipe, disk, char, none
//   write    1 when a write to its standard output succeeded
//   probe    with BRIVELO_ARGV_PROBE_HANDLE (a handle value, decimal, of an unsignalled event of
//            the parent): 1 when that handle was inherited, 0 otherwise
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

const char* HandleKind(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  if (!handle || handle == INVALID_HANDLE_VALUE) return "none";
  switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE: return "pipe";
    case FILE_TYPE_DISK: return "disk";
    case FILE_TYPE_CHAR: return "char";
    default: return "none";
  }
}

std::string Utf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size_t(size) : 1, '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

int main() {
  wchar_t record[MAX_PATH + 1] = {};
  if (!GetEnvironmentVariableW(L"BRIVELO_ARGV_RECORD", record, MAX_PATH)) return 2;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  DWORD written = 0;
  const BOOL wrote = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "echo\n", 5, &written, nullptr);
  FILE* out = _wfopen(record, L"wb");
  if (!out) return 3;
  fprintf(out, "cmdline=%s\n", Utf8(GetCommandLineW()).c_str());
  fprintf(out, "flags=%lx\n", startup.dwFlags);
  fprintf(out, "show=%u\n", unsigned(startup.wShowWindow));
  fprintf(out, "stdout=%s\n", HandleKind(STD_OUTPUT_HANDLE));
  fprintf(out, "stderr=%s\n", HandleKind(STD_ERROR_HANDLE));
  fprintf(out, "write=%d\n", wrote && written == 5 ? 1 : 0);
  wchar_t probe[32] = {};
  if (GetEnvironmentVariableW(L"BRIVELO_ARGV_PROBE_HANDLE", probe, 32)) {
    HANDLE handle = reinterpret_cast<HANDLE>(uintptr_t(wcstoull(probe, nullptr, 10)));
    DWORD flags = 0;
    const bool inherited = GetHandleInformation(handle, &flags) && WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
    fprintf(out, "probe=%d\n", inherited ? 1 : 0);
  }
  fclose(out);
  return 0;
}
