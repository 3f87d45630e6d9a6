#include "product/file_version.h"

#include <atomic>
#include <vector>

namespace {

typedef void(WINAPI* RtlGetNtVersionNumbersFunc)(DWORD* major, DWORD* minor, DWORD* build);
typedef void(WINAPI* GetNativeSystemInfoFunc)(SYSTEM_INFO* info);
// Declared here: older SDK headers lack it.
typedef BOOL(WINAPI* IsWow64Process2Func)(HANDLE process, USHORT* processMachine, USHORT* nativeMachine);

const USHORT kMachineArm64 = 0xAA64;

// -1 until probed; two threads probing at once store the same answer.
std::atomic<int> g_windows10(-1);
std::atomic<int> g_native64(-1);

bool ProbeWindows10() {
  HMODULE ntdll = LoadLibraryW(L"ntdll.dll");
  if (!ntdll) return false;
  bool result = false;
  auto get = reinterpret_cast<RtlGetNtVersionNumbersFunc>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
  if (get) {
    DWORD major = 0, minor = 0, build = 0;
    get(&major, &minor, &build);
    result = major >= 10 || (major == 6 && minor == 4);
  }
  FreeLibrary(ntdll);
  return result;
}

bool ProbeNative64() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return false;
  auto nativeInfo = reinterpret_cast<GetNativeSystemInfoFunc>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
  if (!nativeInfo) return false;
  SYSTEM_INFO info = {};
  nativeInfo(&info);
  switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
    case PROCESSOR_ARCHITECTURE_IA64:
    case PROCESSOR_ARCHITECTURE_ARM64:
      return true;
    default:
      break;
  }
  auto wow64 = reinterpret_cast<IsWow64Process2Func>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")));
  if (!wow64) return false;
  USHORT processMachine = 0, nativeMachine = 0;
  return wow64(GetCurrentProcess(), &processMachine, &nativeMachine) && nativeMachine == kMachineArm64;
}

bool Once(std::atomic<int>& flag, bool (*probe)()) {
  int value = flag.load();
  if (value < 0) {
    value = probe() ? 1 : 0;
    flag.store(value);
  }
  return value != 0;
}

// The FileVersion string of the first translation that has one, "," as "." and blanks removed.
// False when there is no translation table or no translation has the string.
bool StringVersion(const void* block, ATL::CStringW& text) {
  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* table = nullptr;
  UINT tableBytes = 0;
  if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&table), &tableBytes) ||
      !table)
    return false;
  for (UINT i = 0; i < tableBytes / sizeof(Translation); ++i) {
    wchar_t query[64] = {};
    _snwprintf(query, 63, L"\\StringFileInfo\\%04x%04x\\FileVersion", table[i].language, table[i].codePage);
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, query, reinterpret_cast<void**>(&value), &length) || !value) continue;
    // The reported length counts the terminator; the text ends at its first zero either way.
    UINT units = 0;
    while (units < length && value[units] != L'\0') ++units;
    ATL::CStringW found(value, static_cast<int>(units));
    found.Replace(L',', L'.');
    found.Replace(L" ", L"");
    text = found;
    return true;
  }
  return false;
}

bool FixedVersion(const void* block, ATL::CStringW& text) {
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return false;
  text.Format(L"%d.%d.%d.%d", static_cast<int>(HIWORD(info->dwFileVersionMS)),
              static_cast<int>(LOWORD(info->dwFileVersionMS)), static_cast<int>(HIWORD(info->dwFileVersionLS)),
              static_cast<int>(LOWORD(info->dwFileVersionLS)));
  return true;
}

}  // namespace

namespace file_version {

bool IsWindows10OrLater() { return Once(g_windows10, &ProbeWindows10); }

bool IsNative64Bit() { return Once(g_native64, &ProbeNative64); }

BOOL GetFileVersionStringFor(const ATL::CStringW& path, ATL::CStringW& text, bool windows10, bool native64) {
  DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  if (size == 0) return FALSE;
  std::vector<BYTE> block;
  try {
    block.resize(size);
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return FALSE;
  BOOL result = FALSE;
  if (windows10 && !native64 && StringVersion(block.data(), text)) {
    result = TRUE;
    if (!text.IsEmpty()) return result;
  }
  if (FixedVersion(block.data(), text)) result = TRUE;
  return result;
}

}  // namespace file_version

BOOL GetFileVersionString(const ATL::CStringW& path, ATL::CStringW& text) {
  // The machine fact matters only on Windows 10, so it is probed only there.
  bool windows10 = file_version::IsWindows10OrLater();
  bool native64 = windows10 && file_version::IsNative64Bit();
  return file_version::GetFileVersionStringFor(path, text, windows10, native64);
}

std::wstring GetModuleVersion() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  ATL::CStringW text;
  (void)GetFileVersionString(ATL::CStringW(path), text);
  return std::wstring(text.GetString());
}
