#include "product/signer_verification.h"

#include <shlwapi.h>
#include <softpub.h>

#include <string>

#include "base/md5.h"
#include "base/string_cipher.h"
#include "product/authenticode_reader.h"
#include "product/trusted_signer_digests.h"

namespace {

const DWORD kSignerNameChars = 512;
const DWORD kProviderFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;

BOOL WINAPI ReadNtVersionFromNtdll(DWORD* major, DWORD* minor, DWORD* build) {
  typedef void(WINAPI * RtlGetNtVersionNumbersFunc)(DWORD*, DWORD*, DWORD*);
  HMODULE ntdll = LoadLibraryW(L"ntdll.dll");
  if (!ntdll) return FALSE;
  auto getVersion =
      reinterpret_cast<RtlGetNtVersionNumbersFunc>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
  if (getVersion) getVersion(major, minor, build);
  FreeLibrary(ntdll);
  return getVersion != nullptr;
}

LONG WINAPI VerifyTrustWithWintrust(HWND window, GUID* action, LPVOID data) { return WinVerifyTrust(window, action, data); }

const SignerCheckPlatform kPlatform = {&ReadNtVersionFromNtdll, &VerifyTrustWithWintrust, &WTHelperProvDataFromStateData,
                                       &CertGetNameStringW};

CSignerCheck& ProcessSignerCheck() {
  static CSignerCheck check;
  return check;
}

}  // namespace

const SignerCheckPlatform& DefaultSignerCheckPlatform() { return kPlatform; }

CSignerCheck::CSignerCheck(const SignerCheckPlatform& platform, TrustedSignerStore store)
    : m_platform(platform), m_store(std::move(store)), m_nProbePending(1), m_nCheckActive(0) {}

bool CSignerCheck::IsCheckActive() {
  if (m_nProbePending) {
    DWORD major = 0, minor = 0, build = 0;
    if (m_platform.ReadNtVersion(&major, &minor, &build)) {
      m_nCheckActive = (major > 6 || (major == 6 && minor >= 2)) ? 1 : 0;
    }
    m_nProbePending = 0;
  }
  return m_nCheckActive != 0;
}

CSignerCheck::SignerReadResult CSignerCheck::ReadVerifiedSignerName(const wchar_t* path, wchar_t* name) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = kProviderFlags;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG trust = m_platform.VerifyTrust(nullptr, &action, &data);

  SignerReadResult result = kSignerRefused;
  const bool verified = trust == 0 || trust == LONG(CERT_E_EXPIRED);
  if (verified) {
    // An expired but otherwise valid signature still lets the name decide.
    CRYPT_PROVIDER_DATA* provider = m_platform.ProviderData(data.hWVTStateData);
    const CRYPT_PROVIDER_SGNR* signer = provider && provider->csSigners > 0 ? provider->pasSigners : nullptr;
    const CERT_CHAIN_CONTEXT* chain = signer ? signer->pChainContext : nullptr;
    const CERT_SIMPLE_CHAIN* simple = chain && chain->cChain > 0 && chain->rgpChain ? chain->rgpChain[0] : nullptr;
    const CERT_CHAIN_ELEMENT* element =
        simple && simple->cElement > 0 && simple->rgpElement ? simple->rgpElement[0] : nullptr;
    if (element && element->pCertContext) {
      ZeroMemory(name, kSignerNameChars * sizeof(wchar_t));
      const DWORD count = m_platform.GetCertName(element->pCertContext, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                                                 name, kSignerNameChars);
      if (count >= 1 && count <= kSignerNameChars - 1) result = kSignerNameRead;
    }
  }
  // A refused file's verification state is released as well.
  if (verified || data.hWVTStateData) {
    WINTRUST_DATA close = {};
    close.cbStruct = sizeof(close);
    close.hWVTStateData = data.hWVTStateData;
    close.dwStateAction = WTD_STATEACTION_CLOSE;
    m_platform.VerifyTrust(nullptr, &action, &close);
  }
  return result;
}

BOOL CSignerCheck::VerifyFileSigner(const wchar_t* path) {
  if (!path || !PathFileExistsW(path)) return FALSE;
  if (!IsCheckActive()) return TRUE;
  wchar_t name[kSignerNameChars];
  if (ReadVerifiedSignerName(path, name) != kSignerNameRead) return FALSE;
  return IsTrustedSignerName(name);
}

BOOL CSignerCheck::IsTrustedSignerName(const wchar_t* name) {
  if (!name || !*name) return FALSE;
  std::wstring lower(name);
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = wchar_t(c + (L'a' - L'A'));
  }
  const std::string utf8 = StringCipher::WideToCodePage(lower.c_str(), CP_UTF8);
  wchar_t digest[MAX_PATH] = {};
  if (GetBufferMd5Hex(reinterpret_cast<const BYTE*>(utf8.data()), int(utf8.size()), digest, MAX_PATH)) {
    for (const wchar_t* trusted : TrustedSignerDigests) {
      if (SignerNamesEqual(digest, trusted)) return TRUE;
    }
  }
  TrustedSignerList list(m_store);
  return list.Check(name);
}

BOOL CSignerCheck::VerifyFileSignerName(const wchar_t* path, const wchar_t* expectedName) {
  if (!expectedName) return TRUE;
  if (!path || !PathFileExistsW(path)) return FALSE;
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExW(&version) && version.dwMajorVersion < 6) return TRUE;
#pragma GCC diagnostic pop
  wchar_t name[kSignerNameChars];
  if (ReadVerifiedSignerName(path, name) != kSignerNameRead) return FALSE;
  return SignerNamesEqual(name, expectedName) ? TRUE : FALSE;
}

HMODULE CSignerCheck::LoadVerifiedLibrary(const wchar_t* path, DWORD flags) {
  if (!path) return nullptr;
  // Held from before the check until the image is mapped (which then keeps it from writes).
  HANDLE held = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (held == INVALID_HANDLE_VALUE) return nullptr;
  HMODULE module = VerifyFileSigner(path) ? LoadLibraryExW(path, nullptr, flags) : nullptr;
  const DWORD error = GetLastError();
  CloseHandle(held);
  SetLastError(error);
  return module;
}

BOOL VerifyFileSigner(const wchar_t* path) { return ProcessSignerCheck().VerifyFileSigner(path); }

BOOL IsTrustedSignerName(const wchar_t* name) { return ProcessSignerCheck().IsTrustedSignerName(name); }

BOOL VerifyFileSignerName(const wchar_t* path, const wchar_t* expectedName) {
  return ProcessSignerCheck().VerifyFileSignerName(path, expectedName);
}

bool VerifyFileEmbeddedSigner(const wchar_t* path) {
  std::string subject, thumbprint, issuer;
  if (ReadFileSignInfo(path, subject, thumbprint, issuer) != 0) return false;
  const std::wstring name = StringCipher::CodePageToWide(subject.c_str(), CP_UTF8);
  return IsTrustedSignerName(name.c_str()) != FALSE;
}

HMODULE SafeLoadLibrary(const wchar_t* path) { return ProcessSignerCheck().LoadVerifiedLibrary(path); }

HMODULE SafeLoadLibraryEx(const wchar_t* path, HANDLE reserved, DWORD flags) {
  if (reserved) {  // must be NULL, as for LoadLibraryExW
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return ProcessSignerCheck().LoadVerifiedLibrary(path, flags);
}

BOOL SafeShellExecuteEx(SHELLEXECUTEINFOW* info) {
  if (!info || !VerifyFileSigner(info->lpFile)) return FALSE;
  return ShellExecuteExW(info);
}

HINSTANCE SafeShellExecute(HWND window, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                           const wchar_t* directory, INT showCommand) {
  if (!VerifyFileSigner(file)) return nullptr;
  return ShellExecuteW(window, verb, file, parameters, directory, showCommand);
}
