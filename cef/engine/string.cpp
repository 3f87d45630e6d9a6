#include <cstdlib>
#include <cstring>
#include <new>

#include "engine/utf.h"
#include "include/internal/cef_string.h"

namespace {
void FreeOwned(char16* str) {
  delete[] str;
}
}  // namespace

extern "C" {

int cef_string_set(const char16* src, size_t len, cef_string_t* output, int copy) {
  if (!output)
    return 0;
  if (output->str == src && src)
    return 1;  // setting a string to itself
  cef_string_clear(output);
  if (!src || len == 0)
    return 1;
  if (copy) {
    char16* buffer = new (std::nothrow) char16[len + 1];
    if (!buffer)
      return 0;
    memcpy(buffer, src, len * sizeof(char16));
    buffer[len] = 0;
    output->str = buffer;
    output->dtor = FreeOwned;
  } else {
    output->str = const_cast<char16*>(src);
    output->dtor = nullptr;
  }
  output->length = len;
  return 1;
}

void cef_string_clear(cef_string_t* str) {
  if (!str)
    return;
  if (str->dtor && str->str)
    str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

int cef_string_cmp(const cef_string_t* str1, const cef_string_t* str2) {
  size_t len1 = str1 ? str1->length : 0;
  size_t len2 = str2 ? str2->length : 0;
  size_t n = len1 < len2 ? len1 : len2;
  for (size_t i = 0; i < n; ++i) {
    char16_t a = static_cast<char16_t>(str1->str[i]);
    char16_t b = static_cast<char16_t>(str2->str[i]);
    if (a != b)
      return a < b ? -1 : 1;
  }
  if (len1 == len2)
    return 0;
  return len1 < len2 ? -1 : 1;
}

int cef_string_from_utf8(const char* src, size_t src_len, cef_string_t* output) {
  std::wstring wide = cefengine::Utf8ToWide(src ? src : "", src ? src_len : 0);
  return cef_string_set(wide.c_str(), wide.length(), output, 1);
}

int cef_string_from_ascii(const char* src, size_t src_len, cef_string_t* output) {
  std::wstring wide;
  for (size_t i = 0; src && i < src_len; ++i)
    wide.push_back(static_cast<unsigned char>(src[i]));
  return cef_string_set(wide.c_str(), wide.length(), output, 1);
}

int cef_string_from_wide(const wchar_t* src, size_t src_len, cef_string_t* output) {
  return cef_string_set(src, src_len, output, 1);
}

cef_string_userfree_t cef_string_userfree_alloc() {
  return new (std::nothrow) cef_string_t{nullptr, 0, nullptr};
}

void cef_string_userfree_free(cef_string_userfree_t str) {
  if (!str)
    return;
  cef_string_clear(str);
  delete str;
}

}  // extern "C"

CefString::CefString(CefString&& str) noexcept : string_(str.string_), owner_(str.owner_) {
  if (!owner_) {
    // An attached string stays attached to its structure; copy the value instead.
    string_ = nullptr;
    FromString(str.c_str(), str.length(), true);
  } else {
    str.string_ = nullptr;
    str.owner_ = false;
  }
}

CefString& CefString::operator=(CefString&& str) noexcept {
  if (this == &str)
    return *this;
  if (owner_ && str.owner_) {
    ClearAndFree();
    string_ = str.string_;
    owner_ = true;
    str.string_ = nullptr;
    str.owner_ = false;
  } else {
    FromString(str.c_str(), str.length(), true);
  }
  return *this;
}

int CefString::compare(const CefString& str) const {
  return cef_string_cmp(string_, str.string_);
}

void CefString::swap(CefString& str) {
  std::swap(string_, str.string_);
  std::swap(owner_, str.owner_);
}

bool CefString::FromString(const char16* src, size_t src_len, bool copy) {
  if (!src || src_len == 0) {
    clear();
    return true;
  }
  AllocIfNeeded();
  return cef_string_set(src, src_len, string_, copy) != 0;
}

cef_string_userfree_t CefString::DetachToUserFree() {
  cef_string_userfree_t str = cef_string_userfree_alloc();
  if (!str)
    return nullptr;
  cef_string_set(c_str(), length(), str, 1);
  clear();
  return str;
}

void CefString::ClearAndFree() {
  if (owner_ && string_) {
    cef_string_clear(string_);
    delete string_;
  }
  string_ = nullptr;
  owner_ = false;
}

void CefString::AllocIfNeeded() {
  if (!string_) {
    string_ = new cef_string_t{nullptr, 0, nullptr};
    owner_ = true;
  }
}

std::string CefString::ToString() const {
  return cefengine::WideToUtf8(c_str(), length());
}

bool CefString::FromString(const std::string& str) {
  if (str.empty()) {
    clear();
    return true;
  }
  AllocIfNeeded();
  return cef_string_from_utf8(str.data(), str.size(), string_) != 0;
}

std::u16string CefString::ToString16() const {
  return std::u16string(reinterpret_cast<const char16_t*>(c_str()), length());
}

bool CefString::FromString16(const std::u16string& str) {
  return FromString(reinterpret_cast<const char16*>(str.data()), str.size(), true);
}

bool CefString::FromASCII(const char* str) {
  if (!str || !*str) {
    clear();
    return true;
  }
  AllocIfNeeded();
  return cef_string_from_ascii(str, strlen(str), string_) != 0;
}
