// CefString: the C++ face of cef_string_t. UTF-16 inside; converts from and to UTF-8 std::string
// and std::wstring.
#ifndef CEF_INCLUDE_INTERNAL_CEF_STRING_H_
#define CEF_INCLUDE_INTERNAL_CEF_STRING_H_

#include <ostream>
#include <string>

#include "include/internal/cef_string_types.h"

// Either owns its cef_string_t or is attached to one that belongs to a structure
// (CefString(&settings.cache_path) = L"..." writes straight into the structure's field).
// Not thread-safe; copies are deep.
class CefString {
 public:
  typedef char16 char_type;
  typedef cef_string_t struct_type;

  CefString() : string_(nullptr), owner_(false) {}
  CefString(const CefString& str) : string_(nullptr), owner_(false) { FromString(str.c_str(), str.length(), true); }
  CefString(CefString&& str) noexcept;
  CefString(const std::wstring& src) : string_(nullptr), owner_(false) { FromWString(src); }
  CefString(const wchar_t* src) : string_(nullptr), owner_(false) {
    if (src)
      FromWString(std::wstring(src));
  }
  CefString(const std::string& src) : string_(nullptr), owner_(false) { FromString(src); }
  CefString(const char* src) : string_(nullptr), owner_(false) {
    if (src)
      FromString(std::string(src));
  }
  CefString(const char16* src, size_t length, bool copy) : string_(nullptr), owner_(false) {
    FromString(src, length, copy);
  }
  // Attaches to `src` without copying: writes through this object change `*src`, and the
  // structure keeps ownership of its buffer. `src` must outlive this object.
  CefString(const struct_type* src) : string_(const_cast<struct_type*>(src)), owner_(false) {}
  ~CefString() { ClearAndFree(); }

  // Plain accessors. c_str() is never null; the pointer stays valid until the next change.
  const char16* c_str() const { return (string_ && string_->str) ? string_->str : L""; }
  size_t length() const { return string_ ? string_->length : 0; }
  size_t size() const { return length(); }
  bool empty() const { return length() == 0; }
  int compare(const CefString& str) const;

  void clear() {
    if (string_)
      cef_string_clear(string_);
  }
  void swap(CefString& str);
  bool IsOwner() const { return owner_; }
  const struct_type* GetStruct() const { return string_; }
  struct_type* GetWritableStruct() {
    AllocIfNeeded();
    return string_;
  }
  // Sets the value from a buffer; copy false borrows it (it must outlive the use).
  bool FromString(const char16* src, size_t src_len, bool copy);
  // Gives the buffer to the caller (who frees it with cef_string_userfree_free) and empties this.
  cef_string_userfree_t DetachToUserFree();
  void ClearAndFree();
  void Attach(struct_type* str, bool owner) {
    ClearAndFree();
    string_ = str;
    owner_ = owner;
  }

  std::string ToString() const;  // UTF-8
  bool FromString(const std::string& str);  // from UTF-8
  std::wstring ToWString() const { return std::wstring(c_str(), length()); }
  bool FromWString(const std::wstring& str) { return FromString(str.c_str(), str.length(), true); }
  std::u16string ToString16() const;
  bool FromString16(const std::u16string& str);
  bool FromASCII(const char* str);

  operator std::string() const { return ToString(); }
  operator std::wstring() const { return ToWString(); }

  CefString& operator=(const CefString& str) {
    if (this != &str)
      FromString(str.c_str(), str.length(), true);
    return *this;
  }
  CefString& operator=(CefString&& str) noexcept;
  CefString& operator=(const std::string& str) {
    FromString(str);
    return *this;
  }
  CefString& operator=(const char* str) {
    FromString(std::string(str ? str : ""));
    return *this;
  }
  CefString& operator=(const std::wstring& str) {
    FromWString(str);
    return *this;
  }
  CefString& operator=(const wchar_t* str) {
    FromWString(std::wstring(str ? str : L""));
    return *this;
  }

  friend bool operator<(const CefString& a, const CefString& b) { return a.compare(b) < 0; }
  friend bool operator<=(const CefString& a, const CefString& b) { return a.compare(b) <= 0; }
  friend bool operator>(const CefString& a, const CefString& b) { return a.compare(b) > 0; }
  friend bool operator>=(const CefString& a, const CefString& b) { return a.compare(b) >= 0; }
  friend bool operator==(const CefString& a, const CefString& b) { return a.compare(b) == 0; }
  friend bool operator!=(const CefString& a, const CefString& b) { return a.compare(b) != 0; }

 private:
  void AllocIfNeeded();

  struct_type* string_;
  bool owner_;
};

typedef CefString CefStringUTF16;

// Writes the UTF-8 form.
inline std::ostream& operator<<(std::ostream& s, const CefString& str) {
  return s << str.ToString();
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_STRING_H_
