#include <winsock2.h>

#include "product/machine_platform.h"

#include <iphlpapi.h>

#include <cpuid.h>

#include "product/os_version_check.h"

namespace {

CMachinePlatform g_systemPlatform;
CMachinePlatform* volatile g_pPlatform = nullptr;
volatile LONG g_nGeneration = 0;

// The binding of Netbios: loaded once from the system folder, never freed.
typedef UCHAR(APIENTRY* NetbiosFn)(PNCB);
NetbiosFn volatile g_pfnNetbios = nullptr;
constexpr UCHAR kNetbiosUnbound = 0x40;  // any non-zero return code is a failure

NetbiosFn BindNetbios() {
  if (g_pfnNetbios) return g_pfnNetbios;
  wchar_t path[MAX_PATH] = {};
  UINT n = GetSystemDirectoryW(path, MAX_PATH);
  static const wchar_t kFile[] = L"\\Netapi32.dll";
  // The whole path must stay below MAX_PATH characters.
  if (n == 0 || n + (sizeof(kFile) / sizeof(wchar_t) - 1) >= MAX_PATH) return nullptr;
  lstrcatW(path, kFile);
  HMODULE module = LoadLibraryW(path);
  if (!module) return nullptr;
  NetbiosFn fn = reinterpret_cast<NetbiosFn>(reinterpret_cast<void*>(GetProcAddress(module, "Netbios")));
  if (fn) g_pfnNetbios = fn;
  return fn;
}

}  // namespace

UCHAR CallNetbios(NCB* ncb) {
  NetbiosFn fn = BindNetbios();
  if (!fn) return kNetbiosUnbound;
  return fn(ncb);
}

LSTATUS CMachinePlatform::OpenKey(HKEY root, const wchar_t* subkey, REGSAM access, HKEY* key) {
  return RegOpenKeyExW(root, subkey, 0, access, key);
}

LSTATUS CMachinePlatform::CreateKey(HKEY root, const wchar_t* subkey, REGSAM access, HKEY* key) {
  return RegCreateKeyExW(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key,
                         nullptr);
}

LSTATUS CMachinePlatform::QueryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data,
                                     DWORD* size) {
  return RegQueryValueExW(key, name, nullptr, type, data, size);
}

LSTATUS CMachinePlatform::SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data,
                                   DWORD size) {
  return RegSetValueExW(key, name, 0, type, data, size);
}

LSTATUS CMachinePlatform::EnumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameChars) {
  return RegEnumKeyExW(key, index, name, nameChars, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS CMachinePlatform::CloseKey(HKEY key) { return RegCloseKey(key); }

HANDLE CMachinePlatform::OpenDevice(const wchar_t* path, DWORD access, DWORD share) {
  return CreateFileW(path, access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL CMachinePlatform::IoControl(HANDLE device, DWORD code, const void* in, DWORD inSize,
                                 void* out, DWORD outSize, DWORD* returned) {
  return DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize, returned,
                         nullptr);
}

void CMachinePlatform::CloseDevice(HANDLE device) { CloseHandle(device); }

ULONG CMachinePlatform::GetAdaptersInfo(IP_ADAPTER_INFO* list, ULONG* size) {
  return ::GetAdaptersInfo(list, size);
}

UCHAR CMachinePlatform::Netbios(NCB* ncb) { return CallNetbios(ncb); }

bool CMachinePlatform::Cpuid(unsigned leaf, unsigned regs[4]) {
  // GCC has no structured-exception guard; none is needed: __get_cpuid first checks that the
  // processor has CPUID at all (on i686 through the EFLAGS ID bit) and that the leaf is within
  // the reported range, so the instruction is never run where it could fault.
  return __get_cpuid(leaf, &regs[0], &regs[1], &regs[2], &regs[3]) != 0;
}

BOOL CMachinePlatform::QueryTokenElevation(BOOL* elevated) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return FALSE;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
  CloseHandle(token);
  if (!ok) return FALSE;
  *elevated = elevation.TokenIsElevated ? TRUE : FALSE;
  return TRUE;
}

void CMachinePlatform::GetOsVersion(DWORD* major, DWORD* minor) {
  const COSVersionCheck* check = COSVersionCheck::Instance();
  *major = check ? check->Version().dwMajorVersion : 0;
  *minor = check ? check->Version().dwMinorVersion : 0;
}

HRESULT CMachinePlatform::CreateGuid(GUID* guid) { return CoCreateGuid(guid); }

void CMachinePlatform::Wait(DWORD milliseconds) { Sleep(milliseconds); }

CMachinePlatform& MachinePlatform() {
  CMachinePlatform* platform = g_pPlatform;
  return platform ? *platform : g_systemPlatform;
}

CMachinePlatform* SetMachinePlatform(CMachinePlatform* platform) {
  CMachinePlatform* previous = g_pPlatform;
  g_pPlatform = platform;
  InterlockedIncrement(&g_nGeneration);
  return previous;
}

LONG MachinePlatformGeneration() { return InterlockedCompareExchange(&g_nGeneration, 0, 0); }
