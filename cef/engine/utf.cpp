#include "engine/utf.h"

namespace cefengine {

namespace {
const char32_t kReplacement = 0xFFFD;

void AppendUtf16(std::wstring& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(cp));
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
}  // namespace

std::wstring Utf8ToWide(const char* data, size_t length) {
  std::wstring out;
  out.reserve(length);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(data);
  size_t i = 0;
  while (i < length) {
    unsigned char c = s[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
      min = 0x10000;
    } else {
      AppendUtf16(out, kReplacement);
      ++i;
      continue;
    }
    size_t j = 1;
    for (; j <= static_cast<size_t>(extra); ++j) {
      if (i + j >= length || (s[i + j] & 0xC0) != 0x80)
        break;
      cp = (cp << 6) | (s[i + j] & 0x3F);
    }
    if (j <= static_cast<size_t>(extra)) {
      // Truncated sequence: one replacement, continue at the offending byte.
      AppendUtf16(out, kReplacement);
      i += j;
      continue;
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      cp = kReplacement;
    AppendUtf16(out, cp);
    i += extra + 1;
  }
  return out;
}

std::string WideToUtf8(const wchar_t* data, size_t length) {
  std::string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    char32_t c = static_cast<char16_t>(data[i]);
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < length) {
        char32_t d = static_cast<char16_t>(data[i + 1]);
        if (d >= 0xDC00 && d <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00));
          ++i;
          continue;
        }
      }
      c = kReplacement;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring AsciiLower(std::wstring s) {
  for (auto& c : s)
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
}

std::string AsciiLower(std::string s) {
  for (auto& c : s)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace cefengine
