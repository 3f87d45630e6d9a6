#include <windows.h>

#include <string>

#include "engine/utf.h"
#include "include/cef_parser.h"

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == '!' || c == '~' || c == '*' || c == '\'' || c == '(' || c == ')';
}

int Hex(wchar_t c) {
  if (c >= L'0' && c <= L'9')
    return c - L'0';
  if (c >= L'a' && c <= L'f')
    return c - L'a' + 10;
  if (c >= L'A' && c <= L'F')
    return c - L'A' + 10;
  return -1;
}

}  // namespace

CefString CefURIEncode(const CefString& text, bool use_plus) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string utf8 = text.ToString();
  std::string out;
  out.reserve(utf8.size() * 3);
  for (unsigned char c : utf8) {
    if (Unreserved(c)) {
      out.push_back(static_cast<char>(c));
    } else if (c == ' ' && use_plus) {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

CefString CefURIDecode(const CefString& text, bool convert_to_utf8, cef_uri_unescape_rule_t unescape_rule) {
  std::wstring in = text.ToWString();
  if (unescape_rule == UU_NONE)
    return in;
  // Bytes: escapes become their byte, other characters their UTF-8 form.
  std::string bytes;
  for (size_t i = 0; i < in.size(); ++i) {
    wchar_t c = in[i];
    if (c == L'%' && i + 2 < in.size() && Hex(in[i + 1]) >= 0 && Hex(in[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(Hex(in[i + 1]) * 16 + Hex(in[i + 2])));
      i += 2;
    } else if (c == L'+' && (unescape_rule & UU_REPLACE_PLUS_WITH_SPACE)) {
      bytes.push_back(' ');
    } else {
      // A surrogate pair is one character.
      size_t n = IS_HIGH_SURROGATE(c) && i + 1 < in.size() && IS_LOW_SURROGATE(in[i + 1]) ? 2 : 1;
      bytes += cefengine::WideToUtf8(&in[i], n);
      i += n - 1;
    }
  }
  if (convert_to_utf8)
    return cefengine::Utf8ToWide(bytes);
  std::wstring latin1;
  for (unsigned char b : bytes)
    latin1.push_back(b);
  return latin1;
}
