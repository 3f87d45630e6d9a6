// The Authenticode check that every companion library must pass before it is loaded: the file's
// embedded signature must verify through the system trust provider, and the display name of the
// signing certificate must be trusted (a built-in digest, else the trusted-signer list).
//
// On Windows older than 6.2, or where ntdll offers no RtlGetNtVersionNumbers, every existing
// file passes without a check (the product family's older installations rely on this). The
// version is probed once per check object, at the first call whose file exists.
//
// Contracts:
// - Nothing here logs; a refused caller logs in its own words. Results are TRUE or FALSE only.
// - Any thread may call. The probe words are set without a lock; racing probes agree.
// - An empty signer name is never trusted.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "product/trusted_signer_list.h"

// The platform calls behind the check. Tests replace some of them to reach results that the
// platform they run on cannot give.
struct SignerCheckPlatform {
  // Major, minor and build number of the running system; FALSE when they cannot be read.
  BOOL(WINAPI* ReadNtVersion)(DWORD* major, DWORD* minor, DWORD* build);
  LONG(WINAPI* VerifyTrust)(HWND window, GUID* action, LPVOID data);
  CRYPT_PROVIDER_DATA*(WINAPI* ProviderData)(HANDLE stateData);
  DWORD(WINAPI* GetCertName)(PCCERT_CONTEXT certificate, DWORD type, DWORD flags, void* typeParameter, LPWSTR name,
                       DWORD chars);
};

// ntdll's RtlGetNtVersionNumbers, WinVerifyTrust, WTHelperProvDataFromStateData, CertGetNameStringW.
const SignerCheckPlatform& DefaultSignerCheckPlatform();

class CSignerCheck {
 public:
  explicit CSignerCheck(const SignerCheckPlatform& platform = DefaultSignerCheckPlatform(),
                        TrustedSignerStore store = DefaultTrustedSignerStore());
  CSignerCheck(const CSignerCheck&) = delete;
  CSignerCheck& operator=(const CSignerCheck&) = delete;

  // TRUE when the file may be loaded. A null path or a missing file: FALSE on every system.
  [[nodiscard]] BOOL VerifyFileSigner(const wchar_t* path);
  // TRUE when the display name's digest is built in or the trusted-signer list names it.
  [[nodiscard]] BOOL IsTrustedSignerName(const wchar_t* name);
  // TRUE when the signature verifies and its signer is expectedName (case of A-Z aside); TRUE
  // for a null expectedName and on systems before version 6.
  [[nodiscard]] BOOL VerifyFileSignerName(const wchar_t* path, const wchar_t* expectedName);
  // LoadLibraryExW(path, nullptr, flags) when the file passes VerifyFileSigner, else NULL. The
  // file is held open from before the check until after the load, sharing only reads, so it
  // cannot be rewritten, replaced or deleted in between; a file that another process already
  // holds open for writing is not loaded. The caller owns the module.
  [[nodiscard]] HMODULE LoadVerifiedLibrary(const wchar_t* path, DWORD flags = 0);

 private:
  enum SignerReadResult { kSignerRefused, kSignerNameRead };
  // Verifies the signature and copies the signer display name into name (512 units).
  SignerReadResult ReadVerifiedSignerName(const wchar_t* path, wchar_t* name);
  bool IsCheckActive();

  SignerCheckPlatform m_platform;
  TrustedSignerStore m_store;
  volatile LONG m_nProbePending;
  volatile LONG m_nCheckActive;
};

// The process-wide check with the platform's own calls and the product family's list.
[[nodiscard]] BOOL VerifyFileSigner(const wchar_t* path);
[[nodiscard]] BOOL IsTrustedSignerName(const wchar_t* name);
[[nodiscard]] BOOL VerifyFileSignerName(const wchar_t* path, const wchar_t* expectedName);
// Reads the signer from the file's own certificate table (no trust provider) and asks
// IsTrustedSignerName of its subject name.
[[nodiscard]] bool VerifyFileEmbeddedSigner(const wchar_t* path);

// Loaders that refuse a file failing VerifyFileSigner (NULL / FALSE), else call the platform.
// The two library loaders load the very file that was checked (LoadVerifiedLibrary).
HMODULE SafeLoadLibrary(const wchar_t* path);
HMODULE SafeLoadLibraryEx(const wchar_t* path, HANDLE reserved, DWORD flags);
BOOL SafeShellExecuteEx(SHELLEXECUTEINFOW* info);
HINSTANCE SafeShellExecute(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                           const wchar_t* directory, INT showCommand);
