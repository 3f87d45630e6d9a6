#include "base/string_util.h"

#include <shlwapi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace StringUtil {
namespace {

// Whole zero-terminated input to UTF-16, terminator included in the platform's count.
// Returns the text up to its first zero; "" on failure.
std::wstring ToWide(const char* text, UINT codePage) {
  if (!text || !*text) return std::wstring();
  int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  int written = MultiByteToWideChar(codePage, 0, text, -1, buffer.data(), length);
  if (written <= 0) return std::wstring();
  buffer[static_cast<size_t>(written)] = L'\0';
  return std::wstring(buffer.data());
}

std::string ToMb(const wchar_t* text, UINT codePage) {
  if (!text || !*text) return std::string();
  int length = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
  int written = WideCharToMultiByte(codePage, 0, text, -1, buffer.data(), length, nullptr, nullptr);
  if (written <= 0) return std::string();
  buffer[static_cast<size_t>(written)] = '\0';
  return std::string(buffer.data());
}

// One step of the two-step conversions: the whole input with its terminator into a zeroed
// array of length + 1 units. Empty vector when the step yields nothing.
std::vector<wchar_t> StepToWide(const char* text, UINT codePage) {
  int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (length <= 0) return {};
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  if (MultiByteToWideChar(codePage, 0, text, -1, buffer.data(), length) <= 0) return {};
  return buffer;
}

// Second step: UTF-16 (zero-terminated) to a zeroed new[] array. Returns the count the
// platform reports (terminator included), 0 on failure with *out left null.
int StepToMbBuffer(const wchar_t* text, UINT codePage, char** out) {
  int length = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return 0;
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(length) + 1]());
  int written = WideCharToMultiByte(codePage, 0, text, -1, buffer.get(), length, nullptr, nullptr);
  if (written <= 0) return 0;
  *out = buffer.release();
  return written;
}

// Conversion of the characters without the terminator into a zeroed new[] array.
BOOL WideToMbBufferExact(const wchar_t* text, UINT codePage, char** out) {
  if (!out) return FALSE;
  *out = nullptr;
  if (!text) return FALSE;
  int count = static_cast<int>(wcslen(text));
  int length = WideCharToMultiByte(codePage, 0, text, count, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return FALSE;
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(length) + 1]());
  if (WideCharToMultiByte(codePage, 0, text, count, buffer.get(), length, nullptr, nullptr) <= 0)
    return FALSE;
  *out = buffer.release();
  return TRUE;
}

}  // namespace

ATL::CStringW MbToWide(const char* text, UINT codePage) {
  return ATL::CStringW(ToWide(text, codePage).c_str());
}

ATL::CStringA WideToMb(const wchar_t* text, UINT codePage) {
  return ATL::CStringA(ToMb(text, codePage).c_str());
}

ATL::CStringA MbToUtf8(const char* text, UINT codePage) {
  return WideToMb(MbToWide(text, codePage), CP_UTF8);
}

ATL::CStringA Utf8ToMb(const char* utf8, UINT codePage) {
  return WideToMb(MbToWide(utf8, CP_UTF8), codePage);
}

ATL::CStringW Utf8ToWide(const char* utf8) { return MbToWide(utf8, CP_UTF8); }

ATL::CStringA WideToUtf8(const wchar_t* text) { return WideToMb(text, CP_UTF8); }

std::wstring MbToWString(const char* text, UINT codePage) { return ToWide(text, codePage); }

std::wstring MbToWString(const std::string& text, UINT codePage) {
  return ToWide(text.c_str(), codePage);
}

std::wstring Utf8ToWString(const std::string& utf8) { return ToWide(utf8.c_str(), CP_UTF8); }

std::wstring Utf8ToWString(const char* utf8) { return ToWide(utf8, CP_UTF8); }

std::string WideToMbString(const wchar_t* text, UINT codePage) { return ToMb(text, codePage); }

std::string WideToMbString(const std::wstring& text, UINT codePage) {
  return ToMb(text.c_str(), codePage);
}

std::string WideToUtf8String(const std::wstring& text) { return ToMb(text.c_str(), CP_UTF8); }

std::string WideToUtf8String(const wchar_t* text) { return ToMb(text, CP_UTF8); }

std::wstring DecodeUtf8(const char* utf8) {
  if (!utf8) return std::wstring();
  std::vector<wchar_t> wide = StepToWide(utf8, CP_UTF8);
  return wide.empty() ? std::wstring() : std::wstring(wide.data());
}

std::string EncodeUtf8(const wchar_t* text) {
  char* buffer = nullptr;
  if (!text || !*text || !WideToMbBufferExact(text, CP_UTF8, &buffer)) return std::string();
  std::string result(buffer);
  delete[] buffer;
  return result;
}

std::string AnsiToUtf8String(const char* ansi) {
  char* buffer = nullptr;
  if (!AnsiToUtf8Buffer(ansi, &buffer)) return std::string();
  std::string result(buffer);
  delete[] buffer;
  return result;
}

std::string Utf8ToAnsiString(const char* utf8) {
  char* buffer = nullptr;
  if (!Utf8ToAnsiBuffer(utf8, &buffer)) return std::string();
  std::string result(buffer);
  delete[] buffer;
  return result;
}

int AnsiToUtf8Buffer(const char* ansi, char** out) {
  if (!out) return 0;
  *out = nullptr;
  if (!ansi) return 0;
  std::vector<wchar_t> wide = StepToWide(ansi, CP_ACP);
  if (wide.empty()) return 0;
  return StepToMbBuffer(wide.data(), CP_UTF8, out);
}

BOOL Utf8ToAnsiBuffer(const char* utf8, char** out) {
  if (!out) return FALSE;
  *out = nullptr;
  if (!utf8) return FALSE;
  std::vector<wchar_t> wide = StepToWide(utf8, CP_UTF8);
  if (wide.empty()) return FALSE;
  return StepToMbBuffer(wide.data(), CP_ACP, out) > 0;
}

BOOL Utf8ToWideBuffer(const char* utf8, wchar_t** out) {
  if (!out) return FALSE;
  *out = nullptr;
  if (!utf8) return FALSE;
  std::vector<wchar_t> wide = StepToWide(utf8, CP_UTF8);
  if (wide.empty()) return FALSE;
  wchar_t* buffer = new wchar_t[wide.size()];
  std::memcpy(buffer, wide.data(), wide.size() * sizeof(wchar_t));
  *out = buffer;
  return TRUE;
}

BOOL WideToAnsiBuffer(const wchar_t* text, char** out) {
  return WideToMbBufferExact(text, CP_ACP, out);
}

BOOL WideToUtf8Buffer(const wchar_t* text, char** out) {
  return WideToMbBufferExact(text, CP_UTF8, out);
}

std::string IntToString(int value) { return std::to_string(value); }

std::wstring IntToWString(int value) { return std::to_wstring(value); }

std::wstring UIntToWString(unsigned value) { return std::to_wstring(value); }

std::string Int64ToString(__int64 value) { return std::to_string(static_cast<long long>(value)); }

std::wstring DoubleToWString(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  if (decimals > 10) decimals = 10;
  // 10^29 and more (and NaN or infinity) do not fit the digit buffer.
  if (!(std::fabs(value) < 1e29)) return std::wstring();
  char digits[40] = {};
  int point = 0;
  int sign = 0;
  if (_fcvt_s(digits, sizeof(digits), value, 10, &point, &sign) != 0) return std::wstring();
  std::string text(digits);
  // Below 1 the point lies at or before the first digit: lead with zeros so that there is one
  // digit before the point.
  if (point <= 0) {
    text.insert(0, static_cast<size_t>(1 - point), '0');
    point = 1;
  }
  size_t keep = static_cast<size_t>(point + decimals);
  if (keep < text.size()) text.resize(keep);
  if (decimals != 0 && static_cast<size_t>(point) <= text.size())
    text.insert(static_cast<size_t>(point), 1, '.');
  return std::wstring(text.begin(), text.end());
}

std::wstring FormatSize(__int64 bytes, int decimals) {
  const __int64 kKilo = 1024;
  const __int64 kMega = kKilo * 1024;
  const __int64 kGiga = kMega * 1024;
  if (bytes >= kGiga) return DoubleToWString(static_cast<double>(bytes >> 20) / 1024, decimals) + L"GB";
  if (bytes >= kMega) return DoubleToWString(static_cast<double>(bytes >> 10) / 1024, decimals) + L"MB";
  if (bytes >= kKilo) return DoubleToWString(static_cast<double>(bytes) / 1024, decimals) + L"KB";
  return std::to_wstring(static_cast<int>(static_cast<unsigned>(bytes & 0xFFFFFFFF))) + L"B";
}

std::wstring GetFileName(const std::wstring& path, bool withExtension) {
  const wchar_t* name = PathFindFileNameW(path.c_str());
  if (withExtension) return std::wstring(name);
  const wchar_t* extension = PathFindExtensionW(name);
  return std::wstring(name, static_cast<size_t>(extension - name));
}

std::string GetFileNameA(const std::string& path, bool withExtension) {
  const char* name = PathFindFileNameA(path.c_str());
  if (withExtension) return std::string(name);
  const char* extension = PathFindExtensionA(name);
  return std::string(name, static_cast<size_t>(extension - name));
}

std::wstring GetFileExt(const std::wstring& path) {
  return std::wstring(PathFindExtensionW(path.c_str()));
}

std::string GetFileExtA(const std::string& path) {
  return std::string(PathFindExtensionA(path.c_str()));
}

ATL::CStringW GetParentDir(ATL::CStringW path) {
  wchar_t buffer[MAX_PATH + 1] = {};
  lstrcpynW(buffer, path.GetString(), MAX_PATH + 1);
  PathRemoveFileSpecW(buffer);
  return ATL::CStringW(buffer);
}

void RemoveTrailingBackslash(std::string& path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
}

}  // namespace StringUtil
