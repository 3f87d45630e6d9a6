#include "product/trusted_signer_list.h"

#include <urlmon.h>

#include <vector>

#include "base/embedded_key.h"
#include "base/file_util.h"
#include "base/json_helper.h"
#include "base/string_cipher.h"

namespace {

const int kMaxFailCount = 5;
const DWORD kLengthFieldSize = 4;

std::wstring ToWide(const std::string& text) { return StringCipher::CodePageToWide(text.c_str(), CP_UTF8); }
std::string ToUtf8(const wchar_t* text) { return StringCipher::WideToCodePage(text, CP_UTF8); }

// Only non-empty strings can name a signer; null, numbers, booleans, arrays and objects do not.
bool ElementNamesSigner(const Json::Value& element, const wchar_t* name) {
  if (!element.isString()) return false;
  std::wstring text = ToWide(element.asString());
  return !text.empty() && SignerNamesEqual(text.c_str(), name);
}

}  // namespace

bool SignerNamesEqual(const wchar_t* a, const wchar_t* b) {
  if (!a || !b) return false;
  for (;; ++a, ++b) {
    wchar_t ca = (*a >= L'A' && *a <= L'Z') ? wchar_t(*a + (L'a' - L'A')) : *a;
    wchar_t cb = (*b >= L'A' && *b <= L'Z') ? wchar_t(*b + (L'a' - L'A')) : *b;
    if (ca != cb) return false;
    if (!ca) return true;
  }
}

TrustedSignerList::TrustedSignerList(TrustedSignerStore store) : m_store(std::move(store)), m_hMapping(nullptr) {}

BOOL TrustedSignerList::Check(const wchar_t* name) {
  if (!name || !*name) return FALSE;
  m_strName = name;
  m_hMapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, m_store.sectionName.c_str());
  if (m_hMapping && CheckSharedMemory()) return TRUE;
  if (CheckRegistry()) return TRUE;
  return RefreshTrustedSignerList();
}

BOOL TrustedSignerList::MatchNames(const std::string& listText) const {
  if (listText.empty() || m_strName.IsEmpty()) return FALSE;
  CJsonHelper list;
  if (!list.Parse(listText)) return FALSE;
  const Json::Value& root = list.GetNode(std::string());
  if (!root.isArray()) return FALSE;
  for (Json::ArrayIndex i = 0; i < root.size(); ++i) {
    if (ElementNamesSigner(root[i], m_strName.GetString())) return TRUE;
  }
  return FALSE;
}

std::string TrustedSignerList::ReadSharedMemory() {
  if (!m_hMapping) m_hMapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, m_store.sectionName.c_str());
  if (!m_hMapping) return std::string();
  const BYTE* view = static_cast<const BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view) return std::string();
  std::string text;
  // The length field comes from any process of the logon: bound it by the view actually mapped.
  MEMORY_BASIC_INFORMATION region = {};
  SIZE_T viewSize = VirtualQuery(view, &region, sizeof(region)) ? region.RegionSize : 0;
  if (viewSize > m_store.sectionSize) viewSize = m_store.sectionSize;
  INT32 length = 0;
  if (viewSize >= kLengthFieldSize) memcpy(&length, view, sizeof(length));
  if (length > 0 && SIZE_T(length) <= viewSize - kLengthFieldSize) {
    text.assign(reinterpret_cast<const char*>(view + kLengthFieldSize), SIZE_T(length));
  }
  UnmapViewOfFile(view);
  return text;
}

BOOL TrustedSignerList::WriteSharedMemory(const std::string& text) {
  if (!m_hMapping) {
    m_hMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0, m_store.sectionSize,
                                    m_store.sectionName.c_str());
    if (!m_hMapping) return FALSE;
  }
  if (text.empty() || text.size() > m_store.sectionSize) return FALSE;
  const SIZE_T viewSize = text.size() + kLengthFieldSize + 1;
  BYTE* view = static_cast<BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, viewSize));
  if (!view) return FALSE;
  const INT32 length = INT32(text.size());
  memcpy(view, &length, sizeof(length));
  memcpy(view + kLengthFieldSize, text.data(), text.size());
  UnmapViewOfFile(view);
  return TRUE;
}

void TrustedSignerList::Publish(const std::string& version, const std::string& listText) {
  CJsonHelper document;
  document["CSVer"] = version;
  document["CSList"] = listText;
  document["CheckFailCnt"] = 0;
  std::string text;
  document.ToString(text);
  (void)WriteSharedMemory(text);
}

BOOL TrustedSignerList::CheckSharedMemory() {
  std::string text = ReadSharedMemory();
  if (text.empty()) return FALSE;
  CJsonHelper document;
  if (!document.Parse(text)) return FALSE;
  // A "CSList" that is not a string (an array, for instance) matches nothing.
  std::string list;
  document.GetString(list, "CSList", std::string());
  return MatchNames(list);
}

BOOL TrustedSignerList::CheckRegistry() {
  const ATL::CStringW subkey(m_store.registryKey.c_str());
  ATL::CStringW version = ReadRegistryText(m_store.registryRoot, subkey, L"CSVer");
  ATL::CStringW cipherList = ReadRegistryText(m_store.registryRoot, subkey, L"CSList");
  if (version.IsEmpty() || cipherList.IsEmpty()) return FALSE;
  ATL::CStringW list = StringCipher::DecryptString(cipherList, kEmbeddedCipherKey);
  if (list.IsEmpty()) return FALSE;
  const std::string listText = ToUtf8(list.GetString());
  if (!MatchNames(listText)) return FALSE;
  Publish(ToUtf8(version.GetString()), listText);
  return TRUE;
}

BOOL TrustedSignerList::RefreshTrustedSignerList() {
  bool matched = false;
  do {
    if (ReadFailCount() > kMaxFailCount) break;
    const std::wstring address = m_store.listAddress ? m_store.listAddress() : std::wstring();
    if (address.empty()) break;
    wchar_t cacheFile[MAX_PATH] = {};
    if (FAILED(URLDownloadToCacheFileW(nullptr, address.c_str(), cacheFile, MAX_PATH, 0, nullptr))) break;
    std::string bytes;
    if (!FileUtil::ReadFileToString(cacheFile, &bytes)) break;
    DeleteFileW(cacheFile);

    const std::wstring cipherText = ToWide(bytes);
    ATL::CStringW plain = StringCipher::DecryptString(ATL::CStringW(cipherText.c_str()), kEmbeddedCipherKey);
    const std::string plainText = ToUtf8(plain.GetString());
    if (plainText.empty()) break;
    CJsonHelper document;
    if (!document.Parse(plainText)) break;

    std::string version;
    document.GetString(version, "CSVer", std::string());
    Json::Value names;
    document.GetValue(names, "CSList");
    std::string listText;
    CJsonHelper(names).ToString(listText);
    if (!names.isArray()) break;
    for (Json::ArrayIndex i = 0; i < names.size() && !matched; ++i) {
      matched = ElementNamesSigner(names[i], m_strName.GetString());
    }
    if (!matched) break;

    Publish(version, listText);
    const ATL::CStringW subkey(m_store.registryKey.c_str());
    (void)WriteRegistryText(m_store.registryRoot, subkey, L"CSVer", ToWide(version).c_str());
    ATL::CStringW cipherList = StringCipher::EncryptString(ATL::CStringW(ToWide(listText).c_str()), kEmbeddedCipherKey);
    (void)WriteRegistryText(m_store.registryRoot, subkey, L"CSList", cipherList.GetString());
  } while (false);
  if (matched) return TRUE;
  IncrementFailCount();
  return FALSE;
}

void TrustedSignerList::IncrementFailCount() {
  std::string text = ReadSharedMemory();
  if (text.empty()) return;
  CJsonHelper document;
  if (!document.Parse(text) || !document.IsObject(std::string())) return;
  const int count = document.GetInt("CheckFailCnt", 0);
  // Saturates instead of wrapping past INT_MAX, which would reopen the downloads.
  document["CheckFailCnt"] = count < INT_MAX ? count + 1 : count;
  std::string updated;
  document.ToString(updated);
  (void)WriteSharedMemory(updated);
}

int TrustedSignerList::ReadFailCount() {
  std::string text = ReadSharedMemory();
  if (text.empty()) return 0;
  CJsonHelper document;
  if (!document.Parse(text)) return 0;
  return document.GetInt("CheckFailCnt", 0);
}

ATL::CStringW ReadRegistryText(HKEY root, const ATL::CStringW& subkey, const wchar_t* valueName) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.GetString(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return ATL::CStringW();
  ATL::CStringW text;
  DWORD size = 0;
  if (RegQueryValueExW(key, valueName, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    // Two zero units beyond the capacity handed to the registry keep the text terminated.
    std::vector<BYTE> buffer(size + 16 + sizeof(wchar_t), 0);
    DWORD capacity = size + 16;
    if (RegQueryValueExW(key, valueName, nullptr, nullptr, buffer.data(), &capacity) == ERROR_SUCCESS) {
      text = reinterpret_cast<const wchar_t*>(buffer.data());
    }
  }
  RegCloseKey(key);
  return text;
}

BOOL WriteRegistryText(HKEY root, const ATL::CStringW& subkey, const wchar_t* valueName, const wchar_t* text) {
  if (!text) return FALSE;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subkey.GetString(), 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return FALSE;
  const DWORD bytes = DWORD((wcslen(text) + 1) * sizeof(wchar_t));
  const LONG result = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}
