// A registry key that one test owns: a name unique to the process and the test, created on
// demand and deleted with everything below it when the object goes.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

class OwnedRegistryKey {
 public:
  // root\Software\BriveloTest\<tag>_<pid>_<test name>; view is added to every access.
  OwnedRegistryKey(HKEY root, const std::wstring& tag, REGSAM view = 0) : m_hRoot(root), m_view(view) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "none";
    for (char& c : name) {
      if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    m_strPath = L"Software\\BriveloTest\\" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::wstring(name.begin(), name.end());
    Remove();
  }
  ~OwnedRegistryKey() { Remove(); }
  OwnedRegistryKey(const OwnedRegistryKey&) = delete;
  OwnedRegistryKey& operator=(const OwnedRegistryKey&) = delete;

  HKEY Root() const { return m_hRoot; }
  const std::wstring& Path() const { return m_strPath; }
  std::wstring Sub(const std::wstring& relative) const { return m_strPath + L"\\" + relative; }

  void SetString(const std::wstring& relative, const wchar_t* name, const std::wstring& value) const {
    HKEY key = Create(relative);
    ASSERT_TRUE(key);
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  void SetDword(const std::wstring& relative, const wchar_t* name, DWORD value) const {
    HKEY key = Create(relative);
    ASSERT_TRUE(key);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
  }
  // The text of a REG_SZ value, or "<missing>".
  std::wstring GetString(const std::wstring& relative, const wchar_t* name) const {
    wchar_t buffer[512] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    std::wstring path = relative.empty() ? m_strPath : Sub(relative);
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_hRoot, path.c_str(), 0, KEY_READ | m_view, &key) != ERROR_SUCCESS) return L"<missing>";
    LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return L"<missing>";
    return buffer;
  }
  bool Exists() const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_hRoot, m_strPath.c_str(), 0, KEY_READ | m_view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  HKEY Create(const std::wstring& relative) const {
    std::wstring path = relative.empty() ? m_strPath : Sub(relative);
    HKEY key = nullptr;
    if (RegCreateKeyExW(m_hRoot, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return nullptr;
    return key;
  }

 private:
  void Remove() const {
    HKEY parent = nullptr;
    if (RegOpenKeyExW(m_hRoot, L"Software\\BriveloTest", 0, KEY_ALL_ACCESS | m_view, &parent) != ERROR_SUCCESS) return;
    std::wstring leaf = m_strPath.substr(m_strPath.rfind(L'\\') + 1);
    RegDeleteTreeW(parent, leaf.c_str());
    RegDeleteKeyW(parent, leaf.c_str());
    RegCloseKey(parent);
  }

  HKEY m_hRoot;
  REGSAM m_view;
  std::wstring m_strPath;
};
