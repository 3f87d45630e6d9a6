#include "base/common_util.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "product/product_helper.h"
#include "product/signer_verification.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace CommonUtil {
namespace {

const DWORD kMaxVersionBlock = 8191;
const DWORD kRegTextBytes = 1024;

ATL::CStringW AppDataDirFromProduct(int levelsUp) { return ProductHelper::GetAppDataDir(levelsUp); }

ATL::CStringW ProductIdFromProduct(int levelsUp) { return ProductHelper::GetProductId(levelsUp); }

BOOL SignerCheckFromProduct(const wchar_t* path) { return VerifyFileSigner(path); }

constexpr ProductServices kDefaultServices = {&AppDataDirFromProduct, &ProductIdFromProduct,
                                              &SignerCheckFromProduct};
ProductServices g_services = kDefaultServices;

ATL::CStringW ModuleFile(HMODULE module, bool folderOnly) {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetModuleFileNameW(module, buffer, MAX_PATH);
  if (folderOnly) PathRemoveFileSpecW(buffer);
  return ATL::CStringW(buffer);
}

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

ATL::CStringW FirstProductAnswer(ATL::CStringW (*ask)(int), int levels) {
  for (int level = 0; level < levels; ++level) {
    ATL::CStringW answer = ask ? ask(level) : ATL::CStringW();
    if (!answer.IsEmpty()) return answer;
  }
  return ATL::CStringW();
}

// Replaces each non-overlapping pair of `ch` by one, left to right.
void CollapsePairs(ATL::CStringW& text, wchar_t ch) {
  const wchar_t pair[3] = {ch, ch, L'\0'};
  const wchar_t single[2] = {ch, L'\0'};
  text.Replace(pair, single);
}

}  // namespace

ProductServices SetProductServices(const ProductServices& services) {
  ProductServices previous = g_services;
  g_services = services;
  return previous;
}

ProductServices DefaultProductServices() { return kDefaultServices; }

ATL::CStringW GetExeDir() { return ModuleFile(nullptr, true); }

ATL::CStringW GetExePath() { return ModuleFile(nullptr, false); }

ATL::CStringW GetModuleDir() { return ModuleFile(ThisModule(), true); }

ATL::CStringW GetModulePath() { return ModuleFile(ThisModule(), false); }

BOOL QueryFileVersion(const wchar_t* path, DWORD* ms, DWORD* ls, wchar_t* text, BOOL fileVersion) {
  if (!path) return FALSE;
  DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  if (size == 0 || size > kMaxVersionBlock) return FALSE;
  std::vector<BYTE> block(kMaxVersionBlock + 1, 0);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return FALSE;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return FALSE;
  DWORD high = fileVersion ? info->dwFileVersionMS : info->dwProductVersionMS;
  DWORD low = fileVersion ? info->dwFileVersionLS : info->dwProductVersionLS;
  if (ms) *ms = high;
  if (ls) *ls = low;
  if (text) {
    wchar_t printed[MAX_PATH] = {};
    _snwprintf(printed, MAX_PATH - 1, L"%d.%d.%d.%d", static_cast<int>(high >> 16),
               static_cast<int>(high & 0xFFFF), static_cast<int>(low >> 16), static_cast<int>(low & 0xFFFF));
    lstrcpynW(text, printed, MAX_PATH);
  }
  return TRUE;
}

ATL::CStringW GetFileVersion(const ATL::CStringW& path, BOOL checkSigner) {
  if (checkSigner && !FileExists(path, TRUE)) return ATL::CStringW();
  wchar_t text[MAX_PATH + 1] = {};
  if (!QueryFileVersion(path, nullptr, nullptr, text, TRUE)) return ATL::CStringW();
  return ATL::CStringW(text);
}

ATL::CStringW GetModuleVersion() {
  wchar_t text[MAX_PATH + 1] = {};
  if (!QueryFileVersion(GetModulePath(), nullptr, nullptr, text, TRUE)) return ATL::CStringW();
  return ATL::CStringW(text);
}

BOOL ParseVersion(const wchar_t* text, DWORD* ms, DWORD* ls) {
  if (ms) *ms = 0;
  if (ls) *ls = 0;
  if (!text) return FALSE;
  DWORD parts[4] = {};
  const wchar_t* cursor = text;
  for (int i = 0; i < 4; ++i) {
    parts[i] = static_cast<DWORD>(_wtoi(cursor)) & 0xFFFF;
    const wchar_t* dot = wcschr(cursor, L'.');
    if (!dot) break;
    cursor = dot + 1;
  }
  if (ms) *ms = (parts[0] << 16) | parts[1];
  if (ls) *ls = (parts[2] << 16) | parts[3];
  return TRUE;
}

int CompareVersion(const wchar_t* a, const wchar_t* b) {
  DWORD msA = 0, lsA = 0, msB = 0, lsB = 0;
  ParseVersion(a, &msA, &lsA);
  ParseVersion(b, &msB, &lsB);
  if (msA != msB) return msA < msB ? -1 : 1;
  if (lsA != lsB) return lsA < lsB ? -1 : 1;
  return 0;
}

ATL::CStringW GetProductAppDataPath() {
  ATL::CStringW answer = FirstProductAnswer(g_services.getAppDataDir, 3);
  if (!answer.IsEmpty()) return answer;
  wchar_t buffer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, buffer);
  PathAppendW(buffer, L"Grallomix");
  return ATL::CStringW(buffer);
}

ATL::CStringW GetProductId() {
  ATL::CStringW answer = FirstProductAnswer(g_services.getProductId, 3);
  return answer.IsEmpty() ? ATL::CStringW(L"KIVVireDaredo") : answer;
}

ATL::CStringW GetProductIdNear() {
  ATL::CStringW answer = FirstProductAnswer(g_services.getProductId, 2);
  return answer.IsEmpty() ? ATL::CStringW(L"KIVVireDaredo") : answer;
}

BOOL FileExists(const wchar_t* path, BOOL checkSigner) {
  if (!path || !PathFileExistsW(path)) return FALSE;
  if (!checkSigner) return TRUE;
  return g_services.verifyFileSigner && g_services.verifyFileSigner(path);
}

ATL::CStringW CanonicalizePath(const ATL::CStringW& path) {
  ATL::CStringW text(path);
  CollapsePairs(text, L'\\');
  CollapsePairs(text, L'/');
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!PathCanonicalizeW(buffer, text)) return text;
  return ATL::CStringW(buffer);
}

LSTATUS GetRegValue32(HKEY root, const wchar_t* subKey, const wchar_t* valueName, DWORD* type, void* data,
                      DWORD* bytes) {
  HKEY key = nullptr;
  const LSTATUS status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key);
  if (status != ERROR_SUCCESS) return status;
  const LSTATUS result = SHQueryValueExW(key, valueName, nullptr, type, data, bytes);
  RegCloseKey(key);
  return result;
}

ATL::CStringW GetRegString(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                           const wchar_t* defaultValue) {
  ATL::CStringW fallback(defaultValue ? defaultValue : L"");
  if (!root || !subKey || !valueName) return fallback;
  // Two spare zero bytes keep an unterminated value of exactly 1024 bytes inside the buffer.
  BYTE buffer[kRegTextBytes + 2] = {};
  DWORD type = REG_SZ;
  DWORD size = kRegTextBytes;
  if (GetRegValue32(root, subKey, valueName, &type, buffer, &size) != ERROR_SUCCESS) return fallback;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return fallback;
  if (size > kRegTextBytes) size = kRegTextBytes;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer);
  int units = static_cast<int>(size / sizeof(wchar_t));
  int length = 0;
  while (length < units && text[length] != L'\0') ++length;
  return ATL::CStringW(text, length);
}

}  // namespace CommonUtil
