#include "browser/cookie_text.h"

#include "base/text_operations.h"

void SplitByChar(const std::wstring& text, wchar_t separator, int ignored, std::vector<std::wstring>* out) {
  StringUtil::SplitByChar(text, separator, out);
}

std::wstring TrimWhitespace(const std::wstring& text) {
  std::wstring trimmed = text;
  StringUtil::Trim(trimmed);
  return trimmed;
}

bool ContainsChar(const std::wstring& text, wchar_t c) { return StringUtil::ContainsChar(text, c); }

std::wstring ToLowerCopy(const std::wstring& text) {
  // Only A-Z: StringUtil::ToLower folds every letter.
  std::wstring lower = text;
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower;
}
