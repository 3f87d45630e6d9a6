// Code-page conversions, decimal texts of numbers, size texts and file-name parts of paths.
//
// Contracts:
// - Every conversion reads its input up to the first zero; a null input is the same as an
//   empty one. A result is the converted text up to its first zero; failure is reported only by
//   an empty result (or 0 / FALSE for the Buffer forms). Nothing is logged.
// - The Buffer forms allocate their output with new[] and hand it over through `out`, which is
//   set to null first and stays null on failure; the caller releases it with delete[].
// - ANSI is the process's ANSI code page (CP_ACP); UTF-8 is 65001.
// - All functions are reentrant and may run on any thread.
#pragma once

#include <windows.h>

#include <string>

#include "compat/atlstr.h"

namespace StringUtil {

// Conversions into string objects.
ATL::CStringW MbToWide(const char* text, UINT codePage);
ATL::CStringA WideToMb(const wchar_t* text, UINT codePage);
ATL::CStringA MbToUtf8(const char* text, UINT codePage);
ATL::CStringA Utf8ToMb(const char* utf8, UINT codePage);
ATL::CStringW Utf8ToWide(const char* utf8);
ATL::CStringA WideToUtf8(const wchar_t* text);
std::wstring MbToWString(const char* text, UINT codePage);
std::wstring MbToWString(const std::string& text, UINT codePage);
std::wstring Utf8ToWString(const std::string& utf8);
std::wstring Utf8ToWString(const char* utf8);
std::string WideToMbString(const wchar_t* text, UINT codePage);
std::string WideToMbString(const std::wstring& text, UINT codePage);
std::string WideToUtf8String(const std::wstring& text);
std::string WideToUtf8String(const wchar_t* text);
std::wstring DecodeUtf8(const char* utf8);
std::string EncodeUtf8(const wchar_t* text);
std::string AnsiToUtf8String(const char* ansi);
std::string Utf8ToAnsiString(const char* utf8);

// Conversions into new[] arrays (see the contract above).
// Returns the UTF-8 bytes written including the terminating zero, 0 on failure.
int AnsiToUtf8Buffer(const char* ansi, char** out);
BOOL Utf8ToAnsiBuffer(const char* utf8, char** out);
BOOL Utf8ToWideBuffer(const char* utf8, wchar_t** out);
// An empty text is a failure for these two.
BOOL WideToAnsiBuffer(const wchar_t* text, char** out);
BOOL WideToUtf8Buffer(const wchar_t* text, char** out);

// Decimal texts.
std::string IntToString(int value);
std::wstring IntToWString(int value);
std::wstring UIntToWString(unsigned value);
std::string Int64ToString(__int64 value);
// Fixed-point digits of |value| with `decimals` (0 to 10) digits after the point, cut rather
// than rounded beyond the tenth decimal. The sign is not written. Values below 1 get a leading
// "0"; a value too large for the digit buffer (10^29 or more) gives "".
std::wstring DoubleToWString(double value, int decimals);
// "1023B", "1.50KB", "1.0MB", "3GB": no blank between number and unit. Negative counts take
// the byte form.
std::wstring FormatSize(__int64 bytes, int decimals);

// File-name parts (separators as the shell's path functions know them).
std::wstring GetFileName(const std::wstring& path, bool withExtension);
std::string GetFileNameA(const std::string& path, bool withExtension);
std::wstring GetFileExt(const std::wstring& path);
std::string GetFileExtA(const std::string& path);
// The path without its last element; "" for a bare name. Only the first 260 units are used.
ATL::CStringW GetParentDir(ATL::CStringW path);
// Removes one final backslash, when there is one.
void RemoveTrailingBackslash(std::string& path);

}  // namespace StringUtil
