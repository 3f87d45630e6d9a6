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

bool EnumSubkeyName(HKEY key, DWORD index, std::wstring* name) {
  wchar_t buffer[260] = {};
  DWORD chars = 260;
  if (MachinePlatform().EnumKey(key, index, buffer, &chars) != ERROR_SUCCESS) return false;
  name->assign(buffer);
  return true;
}
