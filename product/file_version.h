// Version text of a file as the product services report it.
//
// On 32-bit Windows 10 and later the text is the FileVersion string of the version block (its
// first translation that has one), with "," turned into "." and blanks removed; everywhere else,
// and when that string is missing or blank, it is "%d.%d.%d.%d" of the fixed file version.
//
// Contracts: any thread; nothing is logged. The two system facts (Windows 10 or later, native
// 64-bit machine) are probed once per process.
#pragma once

#include <windows.h>

#include <string>

#include "compat/atlstr.h"

// FALSE, with text untouched, when the file has no readable version block; TRUE once a text was
// made.
[[nodiscard]] BOOL GetFileVersionString(const ATL::CStringW& path, ATL::CStringW& text);
// GetFileVersionString of the running executable, or "".
std::wstring GetModuleVersion();

namespace file_version {

// The system facts GetFileVersionString decides by.
bool IsWindows10OrLater();
bool IsNative64Bit();
// GetFileVersionString with the facts given, so every branch can be checked on any machine.
[[nodiscard]] BOOL GetFileVersionStringFor(const ATL::CStringW& path, ATL::CStringW& text, bool windows10,
                                           bool native64);

}  // namespace file_version
