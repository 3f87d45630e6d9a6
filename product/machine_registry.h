// Registry reads and writes of the machine identifiers, through the machine platform table.
// Every value of the identifiers lies in the 32-bit view, whatever the process's bitness.
#pragma once

#include <windows.h>

#include <string>

// The product's machine-wide key under HKEY_LOCAL_MACHINE.
extern const wchar_t kMachineStoreKey[];  // "SOFTWARE\Harnstave"

// A REG_SZ or REG_EXPAND_SZ value of an open key, at most maxUnits UTF-16 units with its
// terminator (a missing terminator is tolerated), cut at its first zero unit. False when the
// value is missing, has another type or is larger.
bool ReadRegString(HKEY key, const wchar_t* name, size_t maxUnits, std::wstring* text);

// Opens root\subkey with access | KEY_WOW64_32KEY; null on failure. Close with CloseRegKey.
HKEY OpenRegKey(HKEY root, const wchar_t* subkey, REGSAM access);
void CloseRegKey(HKEY key);

// Calls visit(subkey, name) for the subkeys of key with indexes 0 up to limit - 1, each opened
// with access (subkeys that do not open are passed over), stopping at the first index that
// does not enumerate or when visit returns false. The subkey is closed after visit.
template <typename Visit>
void ForEachSubkey(HKEY key, DWORD limit, REGSAM access, Visit visit);

// One subkey name by index (names under 260 characters); false when it does not enumerate.
bool EnumSubkeyName(HKEY key, DWORD index, std::wstring* name);

template <typename Visit>
void ForEachSubkey(HKEY key, DWORD limit, REGSAM access, Visit visit) {
  std::wstring name;
  for (DWORD index = 0; index < limit && EnumSubkeyName(key, index, &name); ++index) {
    HKEY subkey = OpenRegKey(key, name.c_str(), access);
    if (!subkey) continue;
    bool more = visit(subkey, name);
    CloseRegKey(subkey);
    if (!more) break;
  }
}
