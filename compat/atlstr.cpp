#include "compat/atlstr.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace ATL {

// Only the _vsn*printf / _vsc*printf family: with g++ the plain swprintf family follows
// MinGW's own rules, where "%s" in a wide format reads a narrow string.

int ChTraits<wchar_t>::Length(const wchar_t* s) { return static_cast<int>(wcslen(s)); }

int ChTraits<wchar_t>::FormatLength(const wchar_t* format, va_list args) {
  return _vscwprintf(format, args);
}

int ChTraits<wchar_t>::FormatInto(wchar_t* buffer, size_t count, const wchar_t* format,
                                  va_list args) {
  return _vsnwprintf(buffer, count, format, args);
}

void ChTraits<wchar_t>::Convert(const char* source, int count, std::wstring& out) {
  out.clear();
  if (count == 0 || (count < 0 && !*source)) return;
  int needed = MultiByteToWideChar(CP_THREAD_ACP, 0, source, count, nullptr, 0);
  if (needed <= 0) return;
  std::wstring converted(static_cast<size_t>(needed), L'\0');
  int written = MultiByteToWideChar(CP_THREAD_ACP, 0, source, count, &converted[0], needed);
  if (written <= 0) return;
  converted.resize(static_cast<size_t>(written));
  if (count < 0 && !converted.empty() && converted.back() == L'\0') converted.pop_back();
  out.swap(converted);
}

void ChTraits<wchar_t>::Lower(wchar_t* s, size_t length) {
  for (size_t i = 0; i < length; ++i) s[i] = static_cast<wchar_t>(towlower(s[i]));
}

void ChTraits<wchar_t>::Upper(wchar_t* s, size_t length) {
  for (size_t i = 0; i < length; ++i) s[i] = static_cast<wchar_t>(towupper(s[i]));
}

bool ChTraits<wchar_t>::IsSpace(wchar_t c) { return iswspace(c) != 0; }

int ChTraits<wchar_t>::Compare(const wchar_t* a, const wchar_t* b) { return wcscmp(a, b); }

int ChTraits<wchar_t>::CompareNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b); }

int ChTraits<char>::Length(const char* s) { return static_cast<int>(strlen(s)); }

int ChTraits<char>::FormatLength(const char* format, va_list args) {
  return _vscprintf(format, args);
}

int ChTraits<char>::FormatInto(char* buffer, size_t count, const char* format, va_list args) {
  return _vsnprintf(buffer, count, format, args);
}

void ChTraits<char>::Convert(const wchar_t* source, int count, std::string& out) {
  out.clear();
  if (count == 0 || (count < 0 && !*source)) return;
  int needed = WideCharToMultiByte(CP_THREAD_ACP, 0, source, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return;
  std::string converted(static_cast<size_t>(needed), '\0');
  int written = WideCharToMultiByte(CP_THREAD_ACP, 0, source, count, &converted[0], needed,
                                    nullptr, nullptr);
  if (written <= 0) return;
  converted.resize(static_cast<size_t>(written));
  if (count < 0 && !converted.empty() && converted.back() == '\0') converted.pop_back();
  out.swap(converted);
}

void ChTraits<char>::Lower(char* s, size_t length) {
  for (size_t i = 0; i < length; ++i)
    s[i] = static_cast<char>(tolower(static_cast<unsigned char>(s[i])));
}

void ChTraits<char>::Upper(char* s, size_t length) {
  for (size_t i = 0; i < length; ++i)
    s[i] = static_cast<char>(toupper(static_cast<unsigned char>(s[i])));
}

bool ChTraits<char>::IsSpace(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

int ChTraits<char>::Compare(const char* a, const char* b) { return strcmp(a, b); }

int ChTraits<char>::CompareNoCase(const char* a, const char* b) { return _stricmp(a, b); }

}  // namespace ATL
