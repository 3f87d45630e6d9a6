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

// Wide <-> 8-bit text in a code page (CP_ACP, CP_THREAD_ACP); empty for an empty text.
std::string WideToCodePage(const std::wstring& text, UINT codePage);
std::wstring CodePageToWide(const std::string& text, UINT codePage);
