// ATL-shaped registry key (ATL::CRegKey); also brings in CComPtr as ATL's atlbase.h does.
//
// Every operation returns the Win32 error code (ERROR_SUCCESS on success) and never throws.
// A key object owns its handle; it is not copyable and is used by one thread at a time.
#pragma once

#include <windows.h>

#include "compat/atlcomcli.h"

namespace ATL {

class CRegKey {
 public:
  CRegKey() = default;
  explicit CRegKey(HKEY key) : m_hKey(key) {}
  CRegKey(CRegKey&& other) noexcept {
    m_samWOW64 = other.m_samWOW64;
    m_hKey = other.Detach();
  }
  CRegKey& operator=(CRegKey&& other) noexcept {
    if (&other != this) {
      m_samWOW64 = other.m_samWOW64;
      Attach(other.Detach());
    }
    return *this;
  }
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;
  ~CRegKey() { Close(); }

  operator HKEY() const { return m_hKey; }  // NOLINT: implicit as in ATL

  // RegOpenKeyExW. On success the key held so far is closed, the new one kept, and the
  // access's view bits (KEY_WOW64_32KEY / KEY_WOW64_64KEY) remembered for later operations.
  // On failure nothing changes.
  LONG Open(HKEY parent, const wchar_t* subKey, REGSAM access = KEY_READ | KEY_WRITE);
  // RegCreateKeyExW (opens the key when it exists); same ownership rules as Open.
  LONG Create(HKEY parent, const wchar_t* subKey, wchar_t* keyClass = nullptr,
              DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_READ | KEY_WRITE,
              SECURITY_ATTRIBUTES* security = nullptr, DWORD* disposition = nullptr);
  // Closes the held key; ERROR_SUCCESS when none is held.
  LONG Close();
  // Takes ownership of key (the held one is closed first).
  void Attach(HKEY key);
  // Gives up ownership of the held key without closing it.
  HKEY Detach();

  // Raw RegQueryValueExW.
  LONG QueryValue(const wchar_t* name, DWORD* type, void* data, ULONG* bytes);
  // REG_SZ or REG_EXPAND_SZ (unexpanded) into chars units, terminator included. *chars is
  // the buffer size in, the units stored or needed (with terminator) out. ERROR_MORE_DATA
  // when too small, ERROR_INVALID_DATA for another type.
  LONG QueryStringValue(const wchar_t* name, wchar_t* value, ULONG* chars);
  // REG_DWORD only (ERROR_INVALID_DATA otherwise).
  LONG QueryDWORDValue(const wchar_t* name, DWORD& value);
  LONG SetStringValue(const wchar_t* name, const wchar_t* value, DWORD type = REG_SZ);
  LONG SetDWORDValue(const wchar_t* name, DWORD value);
  LONG DeleteValue(const wchar_t* name);
  // Deletes an empty sub-key in the remembered view.
  LONG DeleteSubKey(const wchar_t* subKey);

  HKEY m_hKey = nullptr;
  REGSAM m_samWOW64 = 0;
};

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
