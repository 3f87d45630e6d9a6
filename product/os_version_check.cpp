#include "product/os_version_check.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef LONG(WINAPI* RtlGetVersionFn)(OSVERSIONINFOEXW*);
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, BOOL*);

template <typename Fn>
Fn LookUp(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  if (!handle) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

// The product version (most significant part, least significant part) of a file's version
// resource, read as a data file.
bool ReadKernelProductVersion(const wchar_t* path, DWORD* ms, DWORD* ls) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  bool ok = false;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  DWORD size = resource ? SizeofResource(module, resource) : 0;
  if (data && size) {
    // VerQueryValueW needs a writable copy.
    std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (VerQueryValueW(copy.data(), L"\\", reinterpret_cast<void**>(&info), &length) && info &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
      *ms = info->dwProductVersionMS;
      *ls = info->dwProductVersionLS;
      ok = true;
    }
  }
  FreeLibrary(module);
  return ok;
}

}  // namespace

BOOL IsRunningUnderWow64() {
  IsWow64ProcessFn fn = LookUp<IsWow64ProcessFn>(L"kernel32", "IsWow64Process");
  BOOL wow64 = FALSE;
  if (!fn || !fn(GetCurrentProcess(), &wow64)) return FALSE;
  return wow64;
}

COSVersionCheck::COSVersionCheck() : m_nSource(-1) {
  memset(&m_osVersion, 0, sizeof(m_osVersion));
  (void)ReadVersion(&m_osVersion);
}

COSVersionCheck::~COSVersionCheck() = default;

BOOL COSVersionCheck::ReadVersion(OSVERSIONINFOEXW* record) {
  memset(record, 0, sizeof(*record));
  record->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(record));
#pragma GCC diagnostic pop
  if (record->dwMajorVersion == 5 && IsRunningUnderWow64()) {
    m_nSource = 0;
    return TRUE;
  }

  RtlGetVersionFn rtlGetVersion = LookUp<RtlGetVersionFn>(L"ntdll", "RtlGetVersion");
  if (rtlGetVersion) {
    OSVERSIONINFOEXW second = {};
    second.dwOSVersionInfoSize = sizeof(second);
    if (rtlGetVersion(&second) == 0 &&
        second.dwMajorVersion * 10 + second.dwMinorVersion >
            record->dwMajorVersion * 10 + record->dwMinorVersion) {
      *record = second;
    }
  }

  wchar_t path[MAX_PATH] = {};
  UINT n = GetSystemWindowsDirectoryW(path, MAX_PATH);
  if (n < 1 || n > MAX_PATH - 1) {
    m_nSource = 0;
    return TRUE;
  }
  std::wstring kernel(path);
  if (kernel.back() != L'\\') kernel += L'\\';
  kernel += IsRunningUnderWow64() ? L"SysNative\\ntoskrnl.exe" : L"System32\\ntoskrnl.exe";

  DWORD ms = 0, ls = 0;
  m_nSource = 0;
  if (ReadKernelProductVersion(kernel.c_str(), &ms, &ls)) {
    DWORD major = HIWORD(ms), minor = LOWORD(ms);
    if (major * 10 + minor > record->dwMajorVersion * 10 + record->dwMinorVersion) {
      record->dwMajorVersion = major;
      record->dwMinorVersion = minor;
      record->dwBuildNumber = HIWORD(ls);
      m_nSource = 1;
    }
  }
  return TRUE;
}
