#include "product/machine_registry.h"

#include <vector>

#include "product/machine_platform.h"

const wchar_t kMachineStoreKey[] = L"SOFTWARE\\Harnstave";

bool ReadRegString(HKEY key, const wchar_t* name, size_t maxUnits, std::wstring* text) {
  std::vector<wchar_t> buffer(maxUnits + 1, L'\0');
  DWORD type = 0;
  DWORD size = static_cast<DWORD>(maxUnits * sizeof(wchar_t));
  if (MachinePlatform().QueryValue(key, name, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                   &size) != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  text->assign(buffer.data());  // the extra unit keeps it terminated
  return true;
}

HKEY OpenRegKey(HKEY root, const wchar_t* subkey, REGSAM access) {
  HKEY key = nullptr;
  if (MachinePlatform().OpenKey(root, subkey, access | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

void CloseRegKey(HKEY key) {
  if (key) MachinePlatform().CloseKey(key);
}

std::string WideToCodePage(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring CodePageToWide(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}
