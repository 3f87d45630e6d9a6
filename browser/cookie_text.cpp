#include "browser/cookie_text.h"

#include <cwctype>

void SplitByChar(const std::wstring& text, wchar_t separator, int ignored, std::vector<std::wstring>* out) {
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    if (end == std::wstring::npos) {
      out->push_back(text.substr(start));
      return;
    }
    out->push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

std::wstring TrimWhitespace(const std::wstring& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && iswspace(text[first])) ++first;
  while (last > first && iswspace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool ContainsChar(const std::wstring& text, wchar_t c) { return text.find(c) != std::wstring::npos; }

std::wstring ToLowerCopy(const std::wstring& text) {
  std::wstring lower = text;
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower;
}
