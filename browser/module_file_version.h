// The fixed file version of a file as "%d.%d.%d.%d" (major and minor from the high and low
// words of the most significant half, build and revision from the least significant half), for
// the crash hand-off's --ver.
//
// Contracts: any thread; nothing is logged. Version information of up to 16383 bytes is read
// (CommonUtil::QueryFileVersion, with its own smaller limit, is a separate function).
#pragma once

#include <windows.h>

#include <cstdint>

// False, with out untouched, for a null file or out, a capacity of 0, a file without version
// information or information larger than 16383 bytes. Otherwise out is cleared and holds the
// text, cut to capacity - 1 characters.
[[nodiscard]] bool GetModuleFileVersion(const wchar_t* file, wchar_t* out, uint32_t capacity);
