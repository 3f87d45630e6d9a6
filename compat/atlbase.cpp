#include "compat/atlbase.h"

#include <cwchar>

namespace ATL {

namespace {
const REGSAM kViewBits = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
}

LONG CRegKey::Open(HKEY parent, const wchar_t* subKey, REGSAM access) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExW(parent, subKey, 0, access, &key);
  if (result == ERROR_SUCCESS) {
    Attach(key);
    m_samWOW64 = access & kViewBits;
  }
  return result;
}

LONG CRegKey::Create(HKEY parent, const wchar_t* subKey, wchar_t* keyClass, DWORD options,
                     REGSAM access, SECURITY_ATTRIBUTES* security, DWORD* disposition) {
  HKEY key = nullptr;
  DWORD created = 0;
  LONG result = RegCreateKeyExW(parent, subKey, 0, keyClass, options, access, security, &key,
                                &created);
  if (disposition) *disposition = created;
  if (result == ERROR_SUCCESS) {
    Attach(key);
    m_samWOW64 = access & kViewBits;
  }
  return result;
}

LONG CRegKey::Close() {
  LONG result = ERROR_SUCCESS;
  if (m_hKey) {
    result = RegCloseKey(m_hKey);
    m_hKey = nullptr;
  }
  m_samWOW64 = 0;
  return result;
}

void CRegKey::Attach(HKEY key) {
  if (key == m_hKey) return;
  if (m_hKey) RegCloseKey(m_hKey);
  m_hKey = key;
}

HKEY CRegKey::Detach() {
  HKEY key = m_hKey;
  m_hKey = nullptr;
  m_samWOW64 = 0;
  return key;
}

LONG CRegKey::QueryValue(const wchar_t* name, DWORD* type, void* data, ULONG* bytes) {
  return RegQueryValueExW(m_hKey, name, nullptr, type, static_cast<BYTE*>(data), bytes);
}

LONG CRegKey::QueryStringValue(const wchar_t* name, wchar_t* value, ULONG* chars) {
  if (!chars) return ERROR_INVALID_PARAMETER;
  ULONG bufferChars = value ? *chars : 0;
  DWORD type = 0;
  ULONG bytes = bufferChars * sizeof(wchar_t);
  LONG result = RegQueryValueExW(m_hKey, name, nullptr, &type,
                                 value ? reinterpret_cast<BYTE*>(value) : nullptr, &bytes);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  ULONG units = bytes / sizeof(wchar_t);
  // Stored strings may lack their terminator: room for one more unit is needed then.
  bool terminated = result == ERROR_SUCCESS && units > 0 && value && value[units - 1] == L'\0';
  ULONG needed = terminated ? units : units + 1;
  *chars = needed;
  if (result == ERROR_MORE_DATA || !value || needed > bufferChars) return ERROR_MORE_DATA;
  value[needed - 1] = L'\0';
  return ERROR_SUCCESS;
}

LONG CRegKey::QueryDWORDValue(const wchar_t* name, DWORD& value) {
  DWORD type = 0;
  DWORD data = 0;
  ULONG bytes = sizeof(data);
  LONG result = RegQueryValueExW(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return result;
  if (type != REG_DWORD || bytes != sizeof(DWORD)) return ERROR_INVALID_DATA;
  value = data;
  return ERROR_SUCCESS;
}

LONG CRegKey::SetStringValue(const wchar_t* name, const wchar_t* value, DWORD type) {
  if (!value) return ERROR_INVALID_PARAMETER;
  DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  return RegSetValueExW(m_hKey, name, 0, type, reinterpret_cast<const BYTE*>(value), bytes);
}

LONG CRegKey::SetDWORDValue(const wchar_t* name, DWORD value) {
  return RegSetValueExW(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof(value));
}

LONG CRegKey::DeleteValue(const wchar_t* name) { return RegDeleteValueW(m_hKey, name); }

LONG CRegKey::DeleteSubKey(const wchar_t* subKey) {
  return RegDeleteKeyExW(m_hKey, subKey, m_samWOW64, 0);
}

}  // namespace ATL
