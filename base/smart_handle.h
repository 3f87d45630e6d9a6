// Holders that own one operating-system resource each and release it exactly once: by
// Close, by assignment of a different value, or at destruction. Null means "nothing held";
// any other value (INVALID_HANDLE_VALUE included) is released. One thread per holder.
#pragma once

#include <windows.h>

#include <cstdio>

template <typename T, typename R, R (*Release)(T)>
class CSmartHolder {
 public:
  explicit CSmartHolder(T value = T()) : m_hValue(value) {}
  ~CSmartHolder() { Close(); }
  CSmartHolder(const CSmartHolder&) = delete;
  CSmartHolder& operator=(const CSmartHolder&) = delete;

  // The release call's result, or 0 when nothing was held.
  R Close() {
    if (!m_hValue) return R();
    R result = Release(m_hValue);
    m_hValue = T();
    return result;
  }

  // Assigning the value already held keeps it open.
  CSmartHolder& operator=(T value) {
    if (value != m_hValue) {
      Close();
      m_hValue = value;
    }
    return *this;
  }

  // The held value; ownership stays with the holder.
  operator T() const { return m_hValue; }  // NOLINT: implicit by design

  // For out-parameters (RegOpenKeyExW and the like). Does not release a value already held:
  // use it on an empty holder.
  T* operator&() { return &m_hValue; }

 private:
  T m_hValue;
};

namespace smart_handle_detail {
inline int CloseFile(FILE* f) { return fclose(f); }
inline BOOL CloseKernelHandle(HANDLE h) { return CloseHandle(h); }
inline LONG CloseRegKey(HKEY k) { return RegCloseKey(k); }
inline BOOL CloseModule(HMODULE m) { return FreeLibrary(m); }
}  // namespace smart_handle_detail

using CSmartFile = CSmartHolder<FILE*, int, smart_handle_detail::CloseFile>;
using CSmartHandle = CSmartHolder<HANDLE, BOOL, smart_handle_detail::CloseKernelHandle>;
using CSmartRegKey = CSmartHolder<HKEY, LONG, smart_handle_detail::CloseRegKey>;
using CSmartModule = CSmartHolder<HMODULE, BOOL, smart_handle_detail::CloseModule>;
