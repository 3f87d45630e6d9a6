#include "product/registry_host_override_store.h"

#include <shlwapi.h>

#include <algorithm>
#include <new>
#include <vector>

#include "base/string_cipher.h"
#include "product/product_data.h"
#include "product/product_helper.h"

namespace {

HostOverrideKeys BuildKeys() {
  HostOverrideKeys keys;
  keys.keyText = BRIVELO_OVERRIDE_KEY;
  keys.morvaneFlagKey = L"SOFTWARE\\Morvane";
  keys.pelmaFlagKeyCipher = BRIVELO_OVERRIDE_PELMA_FLAG_PATH;
  keys.morvaneKeyCipher = BRIVELO_OVERRIDE_MORVANE_PATH;
  keys.pelmaKeyCipher = BRIVELO_OVERRIDE_PELMA_PATH;
  return keys;
}

HostOverrideKeys& Keys() {
  static HostOverrideKeys keys = BuildKeys();
  return keys;
}

ATL::CStringW Decipher(const std::wstring& cipher) {
  if (cipher.empty()) return ATL::CStringW();
  return StringCipher::DecryptString(cipher.c_str(), Keys().keyText.c_str());
}

}  // namespace

HostOverrideKeys GetHostOverrideKeys() { return Keys(); }

HostOverrideKeys SetHostOverrideKeys(const HostOverrideKeys& keys) {
  HostOverrideKeys previous = Keys();
  Keys() = keys;
  return previous;
}

ATL::CStringW ReplaceUrlHost(const ATL::CStringW& url, const ATL::CStringW& newHost) {
  int scheme = url.Find(L"://");
  if (scheme <= 0) return url;
  int start = scheme + 3;
  if (start >= url.GetLength()) return url;
  int end = url.Find(L'/', start);
  if (end < 0) end = url.GetLength();
  int colon = url.Mid(start, end - start).Find(L':');
  if (colon > 0) end = start + colon;
  if (end <= start) return url;
  return url.Left(start) + newHost + url.Mid(end);
}

DWORD ReadOemFlag(const wchar_t* flagKey) {
  if (!flagKey || !*flagKey) return 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, flagKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return 0;
  wchar_t text[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD bytes = MAX_PATH * sizeof(wchar_t);
  LONG status = RegQueryValueExW(key, L"oem_f", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return 0;
  return StrCmpIW(text, L"1") == 0 ? 1 : 0;
}

void LoadOverrideEntries(const wchar_t* keyPath, const ATL::CStringW& keyText,
                         std::map<std::wstring, std::wstring>* entries) {
  if (!keyPath || !*keyPath || !entries) return;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) return;
  DWORD maxName = 0, maxData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                       nullptr, nullptr) == ERROR_SUCCESS) {
    std::vector<wchar_t> name(maxName + 1);
    std::vector<wchar_t> data(maxData / sizeof(wchar_t) + 2);
    for (DWORD index = 0;; ++index) {
      std::fill(name.begin(), name.end(), L'\0');
      std::fill(data.begin(), data.end(), L'\0');
      DWORD nameUnits = static_cast<DWORD>(name.size());
      DWORD dataBytes = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
      DWORD type = 0;
      LONG status = RegEnumValueW(key, index, name.data(), &nameUnits, nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &dataBytes);
      if (status == ERROR_MORE_DATA) continue;  // grew meanwhile: leave that value out
      if (status != ERROR_SUCCESS) break;
      if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
      ATL::CStringW plainName = StringCipher::DecryptString(name.data(), keyText);
      ATL::CStringW plainValue = StringCipher::DecryptString(data.data(), keyText);
      if (plainName.IsEmpty() || plainValue.IsEmpty()) continue;
      (*entries)[plainName.GetString()] = plainValue.GetString();
    }
  }
  RegCloseKey(key);
}

RegistryHostOverrideStore::RegistryHostOverrideStore()
    : m_pRecord(new (std::nothrow) RegistryHostOverrideRecord()) {}

ATL::CStringW RegistryHostOverrideStore::RewriteUrl(const ATL::CStringW& name, const ATL::CStringW& url) const {
  if (!m_pRecord || m_pRecord->m_nOemFlag != 1) return url;
  auto found = m_pRecord->m_mapEntries.find(name.GetString());
  if (found == m_pRecord->m_mapEntries.end()) return url;
  return ReplaceUrlHost(url, found->second.c_str());
}

BOOL RegistryHostOverrideStore::LoadForProductLevel(int levelsUp) {
  if (!m_pRecord) return FALSE;
  return LoadForProduct(ProductHelper::GetProductId(levelsUp));
}

BOOL RegistryHostOverrideStore::LoadForProduct(const ATL::CStringW& product) {
  if (!m_pRecord) return FALSE;
  const HostOverrideKeys& keys = Keys();
  m_pRecord->m_strProduct = product.GetString();
  std::wstring flagKey;
  if (m_pRecord->m_strProduct == L"pelma") {
    m_pRecord->m_strKeyPath = Decipher(keys.pelmaKeyCipher).GetString();
    flagKey = Decipher(keys.pelmaFlagKeyCipher).GetString();
  } else if (m_pRecord->m_strProduct == L"morvane") {
    m_pRecord->m_strKeyPath = Decipher(keys.morvaneKeyCipher).GetString();
    flagKey = keys.morvaneFlagKey;
  }
  if (m_pRecord->m_strKeyPath.empty()) return FALSE;
  m_pRecord->m_nOemFlag = ReadOemFlag(flagKey.c_str());
  if (m_pRecord->m_nOemFlag == 1)
    LoadOverrideEntries(m_pRecord->m_strKeyPath.c_str(), keys.keyText.c_str(), &m_pRecord->m_mapEntries);
  return TRUE;
}

void RegistryHostOverrideStore::Release() {
  delete m_pRecord;
  m_pRecord = nullptr;
}
