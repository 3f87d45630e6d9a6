#include "browser/zip_url.h"

#include "base/string_cipher.h"

namespace client {

namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::wstring Utf8ToWide(const std::string& text) {
  return StringCipher::CodePageToWide(text.c_str(), CP_UTF8);
}

}  // namespace

bool UnescapeZipUrl(const std::string& url, std::string* out) {
  out->clear();
  // Room for the longest accepted URL and its terminator, as the scheme has always read it.
  char buffer[kMaxZipUrlLength + 1];
  size_t length = 0;
  for (size_t i = 0; i < url.size(); ++i) {
    char c = url[i];
    if (c == '%') {
      if (url.size() - i < 3)
        return false;
      const int high = HexDigitValue(url[i + 1]);
      const int low = HexDigitValue(url[i + 2]);
      if (high < 0 || low < 0 || (high == 0 && low == 0))
        return false;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (length == kMaxZipUrlLength)
      return false;
    buffer[length++] = c;
  }
  out->assign(buffer, length);
  return true;
}

bool ParseZipUrl(const std::string& url, std::wstring* scheme, std::wstring* key, std::wstring* package_path,
                 std::wstring* entry_path) {
  const std::string text = url.substr(0, url.find('\0'));
  // Every character has to be taken by "." or a literal, and "." takes no line terminator.
  if (text.find_first_of("\r\n") != std::string::npos)
    return false;
  const size_t scheme_end = text.find("://");
  if (scheme_end == std::string::npos)
    return false;
  // A later "://" leaves only a tail of this rest, which cannot match where this one failed.
  const size_t key_start = scheme_end + 3;
  const size_t last_separator = text.rfind("|/");
  if (last_separator == std::string::npos || last_separator < key_start)
    return false;
  // The first "|" is the key's end when some "|/" starts after it.
  const size_t key_end = text.find('|', key_start);
  if (key_end >= last_separator)
    return false;
  const size_t path_end = text.find("|/", key_end + 1);
  *scheme = Utf8ToWide(text.substr(0, scheme_end));
  *key = Utf8ToWide(text.substr(key_start, key_end - key_start));
  *package_path = Utf8ToWide(text.substr(key_end + 1, path_end - key_end - 1));
  *entry_path = Utf8ToWide(text.substr(path_end + 2));
  return true;
}

}  // namespace client
