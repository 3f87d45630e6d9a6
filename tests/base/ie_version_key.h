// The engine version the product reads lives in one machine-wide key (kPath under
// HKEY_LOCAL_MACHINE) in the 32-bit registry view. What a Wine prefix holds there differs from
// machine to machine (a prefix made where 32-bit code cannot run has no such key at all), so a
// test writes the values it needs and an IEVersionKey puts back what was there when it goes.
// Test processes run side by side: a lease lets one at a time change the key.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/base/named_lease.h"

class IEVersionKey {
 public:
  static constexpr const wchar_t* kPath = L"SOFTWARE\\Microsoft\\Internet Explorer";

  IEVersionKey() : lease_(L"Brivelo.Tests.IEVersionKey", "the engine-version key") {}
  ~IEVersionKey() {
    // Put back in reverse order, so a value changed twice ends as it first was; the lease goes after.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Restore(*it);
  }
  IEVersionKey(const IEVersionKey&) = delete;
  IEVersionKey& operator=(const IEVersionKey&) = delete;

  // Writes a text value (nullptr removes the value) in the view (KEY_WOW64_32KEY or _64KEY).
  void SetText(REGSAM view, const wchar_t* name, const wchar_t* text) {
    Write(view, name, REG_SZ, text, text ? (wcslen(text) + 1) * sizeof(wchar_t) : 0, text == nullptr);
  }
  void SetDword(REGSAM view, const wchar_t* name, DWORD value) {
    Write(view, name, REG_DWORD, &value, sizeof(value), false);
  }

 private:
  struct Saved {
    REGSAM view;
    std::wstring name;
    bool present;
    DWORD type;
    std::vector<BYTE> data;
  };

  void Write(REGSAM view, const wchar_t* name, DWORD type, const void* data, size_t size, bool remove) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | view,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    Saved saved{view, name, false, REG_NONE, std::vector<BYTE>(1024)};
    DWORD bytes = static_cast<DWORD>(saved.data.size());
    saved.present = RegQueryValueExW(key, name, nullptr, &saved.type, saved.data.data(), &bytes) == ERROR_SUCCESS;
    saved.data.resize(saved.present ? bytes : 0);
    saved_.push_back(saved);
    const LONG status = remove ? RegDeleteValueW(key, name)
                               : RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data),
                                                static_cast<DWORD>(size));
    RegCloseKey(key);
    EXPECT_TRUE(status == ERROR_SUCCESS || (remove && status == ERROR_FILE_NOT_FOUND)) << status;
  }

  static void Restore(const Saved& saved) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, KEY_SET_VALUE | saved.view, &key) != ERROR_SUCCESS) return;
    if (saved.present) {
      RegSetValueExW(key, saved.name.c_str(), 0, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
    } else {
      RegDeleteValueW(key, saved.name.c_str());
    }
    RegCloseKey(key);
  }

  NamedLease lease_;
  std::vector<Saved> saved_;
};
