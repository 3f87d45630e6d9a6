#include "browser/process_launch_hook.h"

#include <atomic>
#include <new>
#include <string>
#include <memory>

#include "base/common_util.h"
#include "base/critical_section.h"
#include "base/log.h"
#include "browser/child_processes.h"
#include "include/cef_command_line.h"

namespace ProcessLaunchHook {
namespace {

CreateProcessWFunction g_pfnCreateProcessW = nullptr;  // trampolines, set before the hooks are enabled
CreateProcessAFunction g_pfnCreateProcessA = nullptr;

// The texts and log lines of one character width.
template <typename Char>
struct Launcher;

template <>
struct Launcher<wchar_t> {
  static const wchar_t* EchoNotSandboxed() { return L"echo NOT SANDBOXED"; }
  static const wchar_t* FlashArguments() { return L"--ppapi-flash-args"; }
  static const wchar_t* TerminateQuitSwitch() { return L" --sc_terminate_quit"; }
  static const wchar_t* Quote() { return L"\""; }
  static const wchar_t* OrNull(const wchar_t* text) { return text ? text : L"(null)"; }
  static void LogEcho(const wchar_t* commandLine) {
    LogInfoW(L"CreateProcessW(%s): echo NOT SANDBOXED", commandLine);
  }
  static void LogPipeFailure(DWORD error) { LogErrorW(L"CreateProcessW: CreatePipe error=%d", int(error)); }
  static void LogFlashRefused(const wchar_t* commandLine) {
    LogInfoW(L"CreateProcessW(%s): pepflashplayer.dll missing, not started", commandLine);
  }
  static void LogResult(const wchar_t* application, const wchar_t* commandLine, BOOL ret, DWORD pid, DWORD error) {
    LogInfoW(L"CreateProcessW(%s, %s): ret=%d, pid=%d, error=%d", OrNull(application), OrNull(commandLine), ret,
             int(pid), int(error));
  }
};

template <>
struct Launcher<char> {
  static const char* EchoNotSandboxed() { return "echo NOT SANDBOXED"; }
  static const char* FlashArguments() { return "--ppapi-flash-args"; }
  static const char* TerminateQuitSwitch() { return " --sc_terminate_quit"; }
  static const char* Quote() { return "\""; }
  static const char* OrNull(const char* text) { return text ? text : "(null)"; }
  static void LogEcho(const char* commandLine) { LogInfoA("CreateProcessA(%s): echo NOT SANDBOXED", commandLine); }
  static void LogPipeFailure(DWORD error) { LogErrorA("CreateProcessA: CreatePipe error=%d", int(error)); }
  static void LogFlashRefused(const char* commandLine) {
    LogInfoA("CreateProcessA(%s): pepflashplayer.dll missing, not started", commandLine);
  }
  static void LogResult(const char* application, const char* commandLine, BOOL ret, DWORD pid, DWORD error) {
    LogInfoA("CreateProcessA(%s, %s): ret=%d, pid=%d, error=%d", OrNull(application), OrNull(commandLine), ret,
             int(pid), int(error));
  }
};

// Held while a handle of this process is inheritable for one launch only, and by every launch
// that inherits handles: no other child of this process can pick that handle up meanwhile.
_BaseModule::CCriticalSection& InheritanceLock() {
  static _BaseModule::CCriticalSection s_lock;
  return s_lock;
}

// The read end of a hidden child's output pipe stays open while the child runs (so its writes
// succeed) and is closed when it ends. Whichever of the registration and the wait's callback
// comes second releases the wait and the record.
struct OutputPipeWatch {
  HANDLE readEnd = nullptr;
  HANDLE process = nullptr;
  HANDLE wait = nullptr;
  std::atomic<int> parties{2};

  void Arrive() {
    if (--parties != 0) return;
    UnregisterWait(wait);
    CloseHandle(process);
    delete this;
  }
  static void CALLBACK OnChildEnded(PVOID context, BOOLEAN) {
    OutputPipeWatch* watch = static_cast<OutputPipeWatch*>(context);
    CloseHandle(watch->readEnd);
    watch->Arrive();
  }
};

void CloseReadEndWhenChildEnds(HANDLE readEnd, HANDLE child) {
  OutputPipeWatch* watch = new (std::nothrow) OutputPipeWatch();
  if (watch && DuplicateHandle(GetCurrentProcess(), child, GetCurrentProcess(), &watch->process, SYNCHRONIZE, FALSE, 0)) {
    watch->readEnd = readEnd;
    HANDLE wait = nullptr;
    if (RegisterWaitForSingleObject(&wait, watch->process, &OutputPipeWatch::OnChildEnded, watch, INFINITE,
                                    WT_EXECUTEONLYONCE)) {
      watch->wait = wait;
      watch->Arrive();
      return;
    }
    CloseHandle(watch->process);
  }
  delete watch;
  CloseHandle(readEnd);  // nothing would ever close it later; the child's writes may fail
}

template <typename StartupInfo>
struct ExtendedStartupInfo;
template <>
struct ExtendedStartupInfo<STARTUPINFOW> {
  using Type = STARTUPINFOEXW;
};
template <>
struct ExtendedStartupInfo<STARTUPINFOA> {
  using Type = STARTUPINFOEXA;
};

// Calls original with `handle` as the one handle the child inherits (the caller's startup
// information extended with a handle list). A caller that inherits nothing, or brings an
// extended startup information of its own, is called as it asked.
template <typename Char, typename StartupInfo, typename Function>
BOOL CallPassingOnly(HANDLE handle, Function original, const Char* applicationName, Char* commandLine,
                     LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                     BOOL inheritHandles, DWORD creationFlags, LPVOID environment, const Char* currentDirectory,
                     StartupInfo* startupInfo, LPPROCESS_INFORMATION processInformation) {
  _BaseModule::CAutoLocker locker(&InheritanceLock());
  // Inheritable only until the lock is let go: the next inheriting launch may start at once,
  // before the caller has closed the handle. Keeps the launch's last error.
  struct InheritableForThisLaunch {
    HANDLE handle;
    ~InheritableForThisLaunch() {
      const DWORD error = GetLastError();
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
      SetLastError(error);
    }
  } inheritable{handle};
  SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  typename ExtendedStartupInfo<StartupInfo>::Type extended = {};
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::unique_ptr<ULONGLONG[]> attributes;
  if (inheritHandles && startupInfo && !(creationFlags & EXTENDED_STARTUPINFO_PRESENT) && size != 0)
    attributes.reset(new (std::nothrow) ULONGLONG[(size + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG)]);
  const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.get());
  if (list && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
    extended.StartupInfo = *startupInfo;
    extended.StartupInfo.cb = sizeof(extended);
    extended.lpAttributeList = list;
    if (UpdateProcThreadAttribute(extended.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &handle,
                                  sizeof(handle), nullptr, nullptr)) {
      const BOOL ret = original(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                                creationFlags | EXTENDED_STARTUPINFO_PRESENT, environment, currentDirectory,
                                &extended.StartupInfo, processInformation);
      const DWORD error = GetLastError();
      DeleteProcThreadAttributeList(extended.lpAttributeList);
      SetLastError(error);
      return ret;
    }
    DeleteProcThreadAttributeList(extended.lpAttributeList);
  }
  return original(applicationName, commandLine, processAttributes, threadAttributes, inheritHandles, creationFlags,
                  environment, currentDirectory, startupInfo, processInformation);
}

// Whether this process's own command line asks for its children to carry "sc_terminate_quit".
bool OwnLineHasTerminateQuit(const wchar_t* ownCommandLine) {
  CefRefPtr<CefCommandLine> own = CefCommandLine::CreateCommandLine();
  own->InitFromString(ownCommandLine ? ownCommandLine : L"");
  LogInfoW(L"%s", own->GetCommandLineString().ToWString().c_str());
  return own->HasSwitch("sc_terminate_quit");
}

// A refused launch: nothing started, nothing to read in the process information.
BOOL Refuse(LPPROCESS_INFORMATION processInformation, DWORD error) {
  if (processInformation) ZeroMemory(processInformation, sizeof(*processInformation));
  SetLastError(error);
  return FALSE;
}

template <typename Char, typename StartupInfo, typename Function>
BOOL Launch(Function original, const LaunchContext& context, const Char* applicationName, Char* commandLine,
            LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
            DWORD creationFlags, LPVOID environment, const Char* currentDirectory, StartupInfo* startupInfo,
            LPPROCESS_INFORMATION processInformation) {
  using Text = Launcher<Char>;
  using String = std::basic_string<Char>;
  // A caller's null command line stays null unless something is appended: the real function
  // then takes the application name as the command line.
  bool hasCommandLine = commandLine != nullptr;
  String cmd = hasCommandLine ? String(commandLine) : String();
  HANDLE pipeWriteEnd = nullptr;
  HANDLE pipeReadEnd = nullptr;

  if (hasCommandLine && cmd.find(Text::EchoNotSandboxed()) != String::npos) {
    Text::LogEcho(commandLine);
    if (startupInfo) {
      // Neither end is inheritable: the write end becomes so only for this child's launch. The
      // child only writes; the read end stays open here, unread, while the child runs, so that
      // its writes never fail, and this process keeps no copy of the write end once the child
      // has its own.
      if (!CreatePipe(&pipeReadEnd, &pipeWriteEnd, nullptr, 0)) {
        const DWORD error = GetLastError();
        Text::LogPipeFailure(error);
        return Refuse(processInformation, error);
      }
      startupInfo->dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
      startupInfo->wShowWindow = SW_HIDE;
      startupInfo->hStdOutput = pipeWriteEnd;
      startupInfo->hStdError = pipeWriteEnd;
    }
  } else if (OwnLineHasTerminateQuit(context.ownCommandLine)) {
    if (!hasCommandLine && applicationName) {
      cmd = String(Text::Quote()) + applicationName + Text::Quote();
      hasCommandLine = true;
    }
    if (hasCommandLine) cmd += Text::TerminateQuitSwitch();
  }

  if (hasCommandLine && cmd.find(Text::FlashArguments()) != String::npos && context.flashNoticeWindow &&
      !(context.flashPluginExists && context.flashPluginExists())) {
    if (pipeWriteEnd) {
      CloseHandle(pipeWriteEnd);
      CloseHandle(pipeReadEnd);
    }
    PostMessageW(context.flashNoticeWindow, WM_FLASH_PLUGIN_MISSING, 0, 0);
    Text::LogFlashRefused(cmd.c_str());
    return Refuse(processInformation, ERROR_FILE_NOT_FOUND);
  }

  Char* const line = hasCommandLine ? &cmd[0] : nullptr;
  BOOL ret = FALSE;
  if (pipeWriteEnd) {
    ret = CallPassingOnly(pipeWriteEnd, original, applicationName, line, processAttributes, threadAttributes,
                          inheritHandles, creationFlags, environment, currentDirectory, startupInfo,
                          processInformation);
  } else if (inheritHandles) {
    _BaseModule::CAutoLocker locker(&InheritanceLock());
    ret = original(applicationName, line, processAttributes, threadAttributes, inheritHandles, creationFlags,
                   environment, currentDirectory, startupInfo, processInformation);
  } else {
    ret = original(applicationName, line, processAttributes, threadAttributes, inheritHandles, creationFlags,
                   environment, currentDirectory, startupInfo, processInformation);
  }
  const DWORD error = GetLastError();
  const bool started = ret && processInformation;
  if (pipeWriteEnd) {
    CloseHandle(pipeWriteEnd);
    if (started) {
      CloseReadEndWhenChildEnds(pipeReadEnd, processInformation->hProcess);
    } else {
      CloseHandle(pipeReadEnd);
    }
  }
  Text::LogResult(applicationName, hasCommandLine ? cmd.c_str() : nullptr, ret,
                  started ? processInformation->dwProcessId : 0, error);
  if (started && context.children && !context.children->Append(processInformation->hProcess)) {
    LogErrorW(L"ProcessLaunchHook: child %d not recorded", int(processInformation->dwProcessId));
  }
  // The log may have changed it; the caller reads the launch's own.
  SetLastError(error);
  return ret;
}

template <typename Function>
MH_STATUS CreateHook(const char* name, LPVOID detour, Function* original, LPVOID* target) {
  MH_STATUS status =
      MH_CreateHookApiEx(L"kernel32.dll", name, detour, reinterpret_cast<LPVOID*>(original), target);
  if (status != MH_OK) LogErrorA("ProcessLaunchHook::Install MH_CreateHook(%s): %s", name, MH_StatusToString(status));
  return status;
}

MH_STATUS QueueHook(const char* name, LPVOID target) {
  MH_STATUS status = MH_QueueEnableHook(target);
  if (status != MH_OK)
    LogErrorA("ProcessLaunchHook::Install MH_QueueEnableHook(%s): %s", name, MH_StatusToString(status));
  return status;
}

}  // namespace

LaunchContext CurrentContext() {
  return LaunchContext{GetCommandLineW(), &FlashPluginExists, g_flashNoticeWindow.load(), &g_childProcesses};
}

BOOL LaunchW(CreateProcessWFunction original, const LaunchContext& context, LPCWSTR applicationName,
             LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
             BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
             LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation) {
  return Launch(original, context, applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                creationFlags, environment, currentDirectory, startupInfo, processInformation);
}

BOOL LaunchA(CreateProcessAFunction original, const LaunchContext& context, LPCSTR applicationName, LPSTR commandLine,
             LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
             DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
             LPPROCESS_INFORMATION processInformation) {
  return Launch(original, context, applicationName, commandLine, processAttributes, threadAttributes, inheritHandles,
                creationFlags, environment, currentDirectory, startupInfo, processInformation);
}

MH_STATUS Install() {
  const MH_STATUS initialized = MH_Initialize();
  if (initialized != MH_OK) {
    LogWarnA("ProcessLaunchHook::Install MH_Initialize: %s, children start unhooked", MH_StatusToString(initialized));
    return initialized;
  }
  LPVOID targetW = nullptr;
  LPVOID targetA = nullptr;
  const MH_STATUS createdW =
      CreateHook("CreateProcessW", reinterpret_cast<LPVOID>(&CreateProcessWDetour), &g_pfnCreateProcessW, &targetW);
  const MH_STATUS createdA =
      CreateHook("CreateProcessA", reinterpret_cast<LPVOID>(&CreateProcessADetour), &g_pfnCreateProcessA, &targetA);
  const MH_STATUS queuedW = createdW == MH_OK ? QueueHook("CreateProcessW", targetW) : createdW;
  const MH_STATUS queuedA = createdA == MH_OK ? QueueHook("CreateProcessA", targetA) : createdA;
  if (queuedW != MH_OK && queuedA != MH_OK) return queuedW;
  const MH_STATUS applied = MH_ApplyQueued();
  if (applied != MH_OK) LogErrorA("ProcessLaunchHook::Install MH_ApplyQueued: %s", MH_StatusToString(applied));
  return queuedW != MH_OK ? queuedW : queuedA != MH_OK ? queuedA : applied;
}

BOOL WINAPI CreateProcessWDetour(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                 LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo,
                                 LPPROCESS_INFORMATION processInformation) {
  return LaunchW(g_pfnCreateProcessW, CurrentContext(), applicationName, commandLine, processAttributes,
                 threadAttributes, inheritHandles, creationFlags, environment, currentDirectory, startupInfo,
                 processInformation);
}

BOOL WINAPI CreateProcessADetour(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                                 LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                                 LPPROCESS_INFORMATION processInformation) {
  return LaunchA(g_pfnCreateProcessA, CurrentContext(), applicationName, commandLine, processAttributes,
                 threadAttributes, inheritHandles, creationFlags, environment, currentDirectory, startupInfo,
                 processInformation);
}

ATL::CStringW FlashPluginPath() { return CommonUtil::GetExeDir() + L"\\pepflashplayer.dll"; }

bool FlashPluginExists() {
  const DWORD attributes = GetFileAttributesW(FlashPluginPath());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace ProcessLaunchHook
