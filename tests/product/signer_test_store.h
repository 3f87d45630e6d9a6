// A private trusted-signer store for one test: its own section name, its own registry key under
// HKCU (created here, deleted afterwards) and a settable list address, so tests running in
// parallel never see each other's lists nor the product family's own.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/embedded_key.h"
#include "base/string_cipher.h"
#include "product/trusted_signer_list.h"

class TestSignerStore {
 public:
  TestSignerStore() : m_address(std::make_shared<std::wstring>()) {
    static std::atomic<int> counter{0};
    m_suffix = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(counter++) + L"_" +
               std::to_wstring(GetTickCount());
    m_keyPath = L"Software\\BriveloTest\\Signers_" + m_suffix;
  }
  ~TestSignerStore() {
    RegDeleteTreeW(HKEY_CURRENT_USER, m_keyPath.c_str());
    for (HANDLE h : m_handles)
      if (h) CloseHandle(h);
  }
  TestSignerStore(const TestSignerStore&) = delete;
  TestSignerStore& operator=(const TestSignerStore&) = delete;

  TrustedSignerStore Store() const {
    TrustedSignerStore store;
    store.sectionName = SectionName();
    store.sectionSize = 0x500000;
    store.registryRoot = HKEY_CURRENT_USER;
    store.registryKey = m_keyPath;
    std::shared_ptr<std::wstring> address = m_address;
    store.listAddress = [address] { return *address; };
    return store;
  }
  std::wstring SectionName() const { return L"BriveloTestSigners_" + m_suffix; }
  std::wstring KeyPath() const { return m_keyPath; }
  void SetAddress(const std::wstring& address) { *m_address = address; }

  void CreateKey() {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (key) RegCloseKey(key);
  }
  void SetValue(const wchar_t* name, const std::wstring& text) {
    CreateKey();
    RegSetKeyValueW(HKEY_CURRENT_USER, m_keyPath.c_str(), name, REG_SZ, text.c_str(),
                    DWORD((text.size() + 1) * sizeof(wchar_t)));
  }
  // "CSVer" plain and "CSList" enciphered, as the product family stores them.
  void SetRegistryList(const std::wstring& version, const std::wstring& arrayText) {
    SetValue(L"CSVer", version);
    SetValue(L"CSList", StringCipher::EncryptString(arrayText.c_str(), kEmbeddedCipherKey).GetString());
  }
  std::wstring GetValue(const wchar_t* name) const {
    wchar_t buffer[4096] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, m_keyPath.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
      return L"<none>";
    return buffer;
  }

  // Creates the section (kept until the store goes) and writes raw bytes at its start.
  void WriteSectionBytes(const std::string& bytes) {
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE, 0, 0x500000,
                                        SectionName().c_str());
    if (!section) return;
    Keep(section);
    void* view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!view) return;
    memcpy(view, bytes.data(), bytes.size());
    UnmapViewOfFile(view);
  }
  // A length field and that text.
  void WriteSectionText(const std::string& text) {
    INT32 length = INT32(text.size());
    WriteSectionBytes(std::string(reinterpret_cast<const char*>(&length), 4) + text);
  }
  // The text the section holds, "<none>" without a section.
  std::string ReadSectionText() const {
    HANDLE section = OpenFileMappingW(FILE_MAP_READ, FALSE, SectionName().c_str());
    if (!section) return "<none>";
    std::string text;
    if (const char* view = static_cast<const char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0))) {
      INT32 length = 0;
      memcpy(&length, view, 4);
      if (length > 0 && length < 0x10000) text.assign(view + 4, size_t(length));
      UnmapViewOfFile(view);
    }
    CloseHandle(section);
    return text;
  }

 private:
  void Keep(HANDLE h) {
    if (m_handleCount < 4) m_handles[m_handleCount++] = h;
    else CloseHandle(h);
  }

  std::shared_ptr<std::wstring> m_address;
  std::wstring m_suffix;
  std::wstring m_keyPath;
  HANDLE m_handles[4] = {};
  int m_handleCount = 0;
};
