// Stand-in of the product family's volume-control library. Every call is appended as one line
// "<process id> <entry point>[ <argument>]" to volume_calls.log beside the library, so tests
// see the calls of every process that loads it. KivVolumeCtrl_MuteApp answers the value of the
// environment variable BRIVELO_VOLUME_MUTE_RESULT (decimal), 1 when it is not set.
// Built with STANDIN_MUTE_ONLY it exports KivVolumeCtrl_MuteApp alone.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static HMODULE g_module;

static void Record(const char* call, int argument, int withArgument) {
  wchar_t path[MAX_PATH + 32];
  DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  while (length > 0 && path[length - 1] != L'\\') --length;
  lstrcpyW(path + length, L"volume_calls.log");
  char line[96];
  int size = withArgument ? snprintf(line, sizeof(line), "%lu %s %d\n", GetCurrentProcessId(), call, argument)
                          : snprintf(line, sizeof(line), "%lu %s\n", GetCurrentProcessId(), call);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, (DWORD)size, &written, NULL);
  CloseHandle(file);
}

#ifndef STANDIN_MUTE_ONLY
__declspec(dllexport) int WINAPI KivVolumeCtrl_Init(void) {
  Record("Init", 0, 0);
  return 1;
}

__declspec(dllexport) int WINAPI KivVolumeCtrl_Uninit(void) {
  Record("Uninit", 0, 0);
  return 1;
}

__declspec(dllexport) int WINAPI KivVolumeCtrl_IsAppMuted(void) {
  Record("IsAppMuted", 0, 0);
  return 0;
}
#endif

__declspec(dllexport) int WINAPI KivVolumeCtrl_MuteApp(int mute) {
  Record("MuteApp", mute, 1);
  char value[32];
  DWORD length = GetEnvironmentVariableA("BRIVELO_VOLUME_MUTE_RESULT", value, sizeof(value));
  return length > 0 && length < sizeof(value) ? atoi(value) : 1;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}
