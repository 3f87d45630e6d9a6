// Test helper: installs the launch hook in this process as the process entry does, then starts
// children through the hooked CreateProcessW and CreateProcessA and prints what happened as
// "name=value" lines. Tests start it with or without "--sc_terminate_quit" and copy it into
// folders with or without "pepflashplayer.dll".
//
//   launch_hook_probe <argv_echo_child path> <record folder> [--sc_terminate_quit]
//
// Each child records itself into <record folder>\<name>.txt (argv_echo_child.cpp):
//   w, a            plain launches through CreateProcessW and CreateProcessA
//   echo            "echo NOT SANDBOXED" in the command line
//   flash_early     a Flash plug-in launch before any root window loaded a URL
//   flash_w, flash_a  the same after one did (g_flashNoticeWindow set)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "browser/child_processes.h"
#include "browser/process_launch_hook.h"

namespace {

std::wstring g_child;
std::wstring g_records;
std::vector<DWORD> g_started;

void Record(const wchar_t* name) {
  SetEnvironmentVariableW(L"BRIVELO_ARGV_RECORD", (g_records + L"\\" + name + L".txt").c_str());
}

void Finish(const char* name, BOOL ret, const PROCESS_INFORMATION& process) {
  const DWORD error = GetLastError();
  printf("%s=%d\n", name, ret ? 1 : 0);
  printf("%s.error=%lu\n", name, ret ? 0ul : error);
  printf("%s.info=%d\n", name, process.hProcess || process.hThread || process.dwProcessId ? 1 : 0);
  if (!ret) return;
  g_started.push_back(process.dwProcessId);
  WaitForSingleObject(process.hProcess, 30000);
  CloseHandle(process.hThread);
}

void StartW(const char* name, const wchar_t* record, const std::wstring& arguments,
            const std::wstring& program = g_child) {
  Record(record);
  std::wstring commandLine = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  memset(&process, 0xCC, sizeof(process));
  const BOOL ret = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &process);
  Finish(name, ret, process);
}

void StartA(const char* name, const wchar_t* record, const std::string& arguments) {
  Record(record);
  char child[MAX_PATH + 1] = {};
  WideCharToMultiByte(CP_ACP, 0, g_child.c_str(), -1, child, MAX_PATH, nullptr, nullptr);
  std::string commandLine = std::string("\"") + child + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  memset(&process, 0xCC, sizeof(process));
  const BOOL ret = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &process);
  Finish(name, ret, process);
}

bool NoticeArrived(HWND window) {
  MSG message;
  return PeekMessageW(&message, window, WM_FLASH_PLUGIN_MISSING, WM_FLASH_PLUGIN_MISSING, PM_REMOVE) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  g_child = argv[1];
  g_records = argv[2];
  printf("install=%s\n", MH_StatusToString(ProcessLaunchHook::Install()));

  StartW("w", L"w", L"plain-w");
  StartA("a", L"a", "plain-a");
  StartW("echo", L"echo", L"echo NOT SANDBOXED");
  StartW("flash_early", L"flash_early", L"--ppapi-flash-args=1");

  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  g_flashNoticeWindow = window;
  StartW("flash_w", L"flash_w", L"--ppapi-flash-args=1");
  printf("flash_w.notice=%d\n", NoticeArrived(window) ? 1 : 0);
  StartA("flash_a", L"flash_a", "--ppapi-flash-args=1");
  printf("flash_a.notice=%d\n", NoticeArrived(window) ? 1 : 0);

  StartW("missing", L"missing", L"x", g_records + L"\\missing.exe");

  std::string started, recorded;
  for (DWORD pid : g_started) started += std::to_string(pid) + " ";
  for (HANDLE process : g_childProcesses.Snapshot()) recorded += std::to_string(GetProcessId(process)) + " ";
  printf("started=%s\n", started.c_str());
  printf("recorded=%s\n", recorded.c_str());
  fflush(stdout);
  return 0;
}
