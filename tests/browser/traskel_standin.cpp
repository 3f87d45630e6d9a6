// Stand-in of the crash-dump uploader "Traskel.exe". It writes traskel_record.txt beside itself
// ("name=value" lines): its parameters as given ("args") and each "--name=value" of them; the
// exception code read through --pep from the crashing process ("code", hexadecimal); whether
// that process was still running when it started ("alive_before") and again after a pause
// ("alive_after"), which shows that the crashing process waits for it; its own process id
// ("self"). With a file "traskel_hang" beside it, it then stays a minute before it ends, as an
// uploader that hangs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::wstring Parameter(const std::wstring& line, const std::wstring& name) {
  const std::wstring key = L"--" + name + L"=";
  size_t at = line.find(key);
  if (at == std::wstring::npos) return L"";
  at += key.size();
  size_t end = line.find(L' ', at);
  return line.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
}

bool Alive(HANDLE process) { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

}  // namespace

int wmain() {
  // Everything after the program name.
  const wchar_t* line = GetCommandLineW();
  if (*line == L'"') {
    line = wcschr(line + 1, L'"');
    line = line ? line + 1 : L"";
  } else {
    while (*line && *line != L' ') ++line;
  }
  while (*line == L' ') ++line;
  const std::wstring parameters = line;

  wchar_t path[MAX_PATH + 32] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  *(wcsrchr(path, L'\\') + 1) = L'\0';
  wcscat(path, L"traskel_record.txt");
  FILE* out = _wfopen(path, L"wb");
  if (!out) return 2;
  fprintf(out, "args=%ls\n", parameters.c_str());
  fprintf(out, "self=%lu\n", GetCurrentProcessId());
  for (const wchar_t* name : {L"pep", L"pid", L"tid", L"src", L"ver", L"rep"})
    fprintf(out, "%ls=%ls\n", name, Parameter(parameters, name).c_str());

  const DWORD pid = wcstoul(Parameter(parameters, L"pid").c_str(), nullptr, 10);
  HANDLE process = OpenProcess(PROCESS_VM_READ | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, pid);
  fprintf(out, "alive_before=%d\n", Alive(process) ? 1 : 0);
  // The parameter is 64-bit; a 32-bit crashing process sign-extended its address.
  const uintptr_t pointers = uintptr_t(_wcstoui64(Parameter(parameters, L"pep").c_str(), nullptr, 10));
  EXCEPTION_POINTERS remotePointers = {};
  EXCEPTION_RECORD remoteRecord = {};
  SIZE_T read = 0;
  if (process &&
      ReadProcessMemory(process, reinterpret_cast<void*>(pointers), &remotePointers, sizeof(remotePointers), &read) &&
      ReadProcessMemory(process, remotePointers.ExceptionRecord, &remoteRecord, sizeof(remoteRecord), &read)) {
    fprintf(out, "code=%08lX\n", remoteRecord.ExceptionCode);
  }
  fflush(out);
  Sleep(300);
  fprintf(out, "alive_after=%d\n", Alive(process) ? 1 : 0);
  fclose(out);
  if (process) CloseHandle(process);
  *(wcsrchr(path, L'\\') + 1) = L'\0';
  wcscat(path, L"traskel_hang");
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) Sleep(60 * 1000);
  return 0;
}
