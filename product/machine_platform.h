// The machine-facing calls behind both machine identifiers: registry, devices, the adapter
// list, Netbios, the processor, token elevation, the operating-system version, GUIDs and
// waiting. The system implementation calls Windows; tests install their own table to play a
// canned machine. Every call keeps the contract of the Windows function it stands for.
#pragma once

#include <windows.h>
#include <iptypes.h>
#include <nb30.h>

class CMachinePlatform {
 public:
  virtual ~CMachinePlatform() = default;

  // Registry, as RegOpenKeyExW / RegCreateKeyExW (non-volatile) / RegQueryValueExW /
  // RegSetValueExW / RegEnumKeyExW (name only) / RegCloseKey.
  virtual LSTATUS OpenKey(HKEY root, const wchar_t* subkey, REGSAM access, HKEY* key);
  virtual LSTATUS CreateKey(HKEY root, const wchar_t* subkey, REGSAM access, HKEY* key);
  virtual LSTATUS QueryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size);
  virtual LSTATUS SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size);
  virtual LSTATUS EnumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameChars);
  virtual LSTATUS CloseKey(HKEY key);

  // Devices: CreateFileW(path, access, share, OPEN_EXISTING) with INVALID_HANDLE_VALUE on
  // failure, DeviceIoControl, CloseHandle.
  virtual HANDLE OpenDevice(const wchar_t* path, DWORD access, DWORD share);
  virtual BOOL IoControl(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned);
  virtual void CloseDevice(HANDLE device);

  // iphlpapi's GetAdaptersInfo; Netbios (bound from the system folder on first use).
  virtual ULONG GetAdaptersInfo(IP_ADAPTER_INFO* list, ULONG* size);
  virtual UCHAR Netbios(NCB* ncb);

  // CPUID of one leaf into eax, ebx, ecx, edx; false when the leaf cannot be asked.
  virtual bool Cpuid(unsigned leaf, unsigned regs[4]);

  // TokenElevation of the process token: FALSE when the token cannot be opened or queried.
  virtual BOOL QueryTokenElevation(BOOL* elevated);
  // The operating-system version as COSVersionCheck reads it.
  virtual void GetOsVersion(DWORD* major, DWORD* minor);

  virtual HRESULT CreateGuid(GUID* guid);
  virtual void Wait(DWORD milliseconds);
};

// The table in force: the system one unless a test installed another. The reference stays
// valid until the next SetMachinePlatform.
CMachinePlatform& MachinePlatform();

// Installs a table (null: the system one again) and returns the previous one (null for the
// system one). The caller keeps ownership. Answers cached from the previous table (the
// processor texts) are dropped. Not for use while an identifier is being computed.
CMachinePlatform* SetMachinePlatform(CMachinePlatform* platform);

// Netbios from Netapi32.dll of the system folder, bound on first success and kept for the life
// of the process; 0x40 (a failure) when it cannot be bound.
UCHAR CallNetbios(NCB* ncb);

// Changes whenever SetMachinePlatform runs; caches compare it to see that they are stale.
LONG MachinePlatformGeneration();
