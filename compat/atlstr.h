// ATL-shaped string classes: ATL::CStringW (UTF-16) and ATL::CStringA (8-bit).
//
// Contracts:
// - Construction from the other width converts with the thread's ANSI code page
//   (CP_THREAD_ACP); a null pointer gives the empty string, a failed conversion too.
// - Format / AppendFormat follow Microsoft's printf rules (the CRT's _vsnwprintf /
//   _vsnprintf family): in the wide forms "%s" takes a wide string. A format the run time
//   rejects leaves Format's result empty and AppendFormat's target unchanged; nothing throws.
// - The pointer from GetBuffer stays valid until the next call that changes the string; after
//   writing into it call ReleaseBuffer. The pointer from the const conversion stays valid
//   until the string changes or dies.
// - Objects are not thread-safe; copies are independent.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

namespace ATL {

// Width-dependent operations, implemented on top of the C run time and Win32.
template <typename T>
struct ChTraits;

template <>
struct ChTraits<wchar_t> {
  using XChar = wchar_t;
  using YChar = char;
  static int Length(const wchar_t* s);
  // Characters the formatted text needs (without terminator), or -1 when the format fails.
  static int FormatLength(const wchar_t* format, va_list args);
  // _vsnwprintf: count written, -1 on overflow or failure.
  static int FormatInto(wchar_t* buffer, size_t count, const wchar_t* format, va_list args);
  // Converts count units of the other width (-1: up to its terminator) into out.
  static void Convert(const char* source, int count, std::wstring& out);
  static void Lower(wchar_t* s, size_t length);
  static void Upper(wchar_t* s, size_t length);
  static bool IsSpace(wchar_t c);
  static int Compare(const wchar_t* a, const wchar_t* b);
  static int CompareNoCase(const wchar_t* a, const wchar_t* b);
};

template <>
struct ChTraits<char> {
  using XChar = char;
  using YChar = wchar_t;
  static int Length(const char* s);
  static int FormatLength(const char* format, va_list args);
  static int FormatInto(char* buffer, size_t count, const char* format, va_list args);
  static void Convert(const wchar_t* source, int count, std::string& out);
  static void Lower(char* s, size_t length);
  static void Upper(char* s, size_t length);
  static bool IsSpace(char c);
  static int Compare(const char* a, const char* b);
  static int CompareNoCase(const char* a, const char* b);
};

template <typename T>
class CStringT {
 public:
  using XCHAR = T;
  using PXSTR = T*;
  using PCXSTR = const T*;
  using YCHAR = typename ChTraits<T>::YChar;
  using PCYSTR = const YCHAR*;
  using Traits = ChTraits<T>;

  CStringT() = default;
  CStringT(const CStringT&) = default;
  CStringT(CStringT&&) noexcept = default;
  CStringT(PCXSTR s) {  // NOLINT: implicit as in ATL
    if (s) m_str.assign(s, static_cast<size_t>(Traits::Length(s)));
  }
  CStringT(PCXSTR s, int length) {
    if (s && length > 0) m_str.assign(s, static_cast<size_t>(length));
  }
  CStringT(PCYSTR s) {  // NOLINT: converts with the thread's ANSI code page
    if (s) Traits::Convert(s, -1, m_str);
  }
  CStringT(PCYSTR s, int length) {
    if (s && length > 0) Traits::Convert(s, length, m_str);
  }
  CStringT(const CStringT<YCHAR>& other) {  // NOLINT
    Traits::Convert(other.GetString(), other.GetLength(), m_str);
  }
  explicit CStringT(T ch, int repeat = 1) {
    if (repeat > 0) m_str.assign(static_cast<size_t>(repeat), ch);
  }

  CStringT& operator=(const CStringT&) = default;
  CStringT& operator=(CStringT&&) noexcept = default;
  CStringT& operator=(PCXSTR s) {
    if (s)
      m_str.assign(s, static_cast<size_t>(Traits::Length(s)));  // s may point into m_str
    else
      m_str.clear();
    return *this;
  }
  CStringT& operator=(PCYSTR s) {
    std::basic_string<T> converted;
    if (s) Traits::Convert(s, -1, converted);
    m_str.swap(converted);
    return *this;
  }
  CStringT& operator=(const CStringT<YCHAR>& other) { return *this = CStringT(other); }
  CStringT& operator=(T ch) {
    m_str.assign(1, ch);
    return *this;
  }

  CStringT& operator+=(const CStringT& s) {
    m_str += s.m_str;
    return *this;
  }
  CStringT& operator+=(PCXSTR s) {
    if (s) m_str.append(s, static_cast<size_t>(Traits::Length(s)));
    return *this;
  }
  CStringT& operator+=(T ch) {
    m_str.push_back(ch);
    return *this;
  }
  void Append(PCXSTR s) { *this += s; }
  void Append(PCXSTR s, int length) {
    if (s && length > 0) m_str.append(s, static_cast<size_t>(length));
  }
  void AppendChar(T ch) { m_str.push_back(ch); }

  int GetLength() const { return static_cast<int>(m_str.size()); }
  bool IsEmpty() const { return m_str.empty(); }
  void Empty() { m_str.clear(); }
  PCXSTR GetString() const { return m_str.c_str(); }
  operator PCXSTR() const { return m_str.c_str(); }  // NOLINT: implicit as in ATL
  T GetAt(int index) const { return m_str[static_cast<size_t>(index)]; }
  T operator[](int index) const { return m_str[static_cast<size_t>(index)]; }
  void SetAt(int index, T ch) { m_str[static_cast<size_t>(index)] = ch; }

  // A writable buffer of at least minLength characters plus a terminator; the current text
  // is kept at its start.
  PXSTR GetBuffer(int minLength = 0) {
    if (minLength > GetLength()) m_str.resize(static_cast<size_t>(minLength));
    return &m_str[0];
  }
  // As GetBuffer, with the length set to length at once.
  PXSTR GetBufferSetLength(int length) {
    m_str.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return &m_str[0];
  }
  // Fixes the length after writing into the buffer: newLength, or (-1) up to the first zero.
  void ReleaseBuffer(int newLength = -1) {
    size_t n = 0;
    if (newLength < 0) {
      while (n < m_str.size() && m_str[n] != T(0)) ++n;
    } else {
      n = static_cast<size_t>(newLength) < m_str.size() ? static_cast<size_t>(newLength) : m_str.size();
    }
    m_str.resize(n);
  }

  int Find(T ch, int start = 0) const {
    if (start < 0 || start >= GetLength()) return -1;
    size_t pos = m_str.find(ch, static_cast<size_t>(start));
    return pos == std::basic_string<T>::npos ? -1 : static_cast<int>(pos);
  }
  int Find(PCXSTR sub, int start = 0) const {
    if (!sub || start < 0 || start > GetLength()) return -1;
    size_t pos = m_str.find(sub, static_cast<size_t>(start));
    return pos == std::basic_string<T>::npos ? -1 : static_cast<int>(pos);
  }
  int ReverseFind(T ch) const {
    size_t pos = m_str.rfind(ch);
    return pos == std::basic_string<T>::npos ? -1 : static_cast<int>(pos);
  }
  int FindOneOf(PCXSTR chars) const {
    if (!chars) return -1;
    size_t pos = m_str.find_first_of(chars);
    return pos == std::basic_string<T>::npos ? -1 : static_cast<int>(pos);
  }

  // Out-of-range arguments are clamped, as ATL does.
  CStringT Mid(int first) const { return Mid(first, GetLength()); }
  CStringT Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first > GetLength()) first = GetLength();
    if (count > GetLength() - first) count = GetLength() - first;
    return CStringT(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
  }
  CStringT Left(int count) const { return Mid(0, count); }
  CStringT Right(int count) const {
    if (count < 0) count = 0;
    if (count > GetLength()) count = GetLength();
    return Mid(GetLength() - count, count);
  }

  CStringT& MakeLower() {
    if (!m_str.empty()) Traits::Lower(&m_str[0], m_str.size());
    return *this;
  }
  CStringT& MakeUpper() {
    if (!m_str.empty()) Traits::Upper(&m_str[0], m_str.size());
    return *this;
  }

  // White space is what the C run time's isspace / iswspace accepts.
  CStringT& Trim() { return TrimRight().TrimLeft(); }
  CStringT& Trim(T ch) { return TrimRight(ch).TrimLeft(ch); }
  CStringT& Trim(PCXSTR chars) { return TrimRight(chars).TrimLeft(chars); }
  CStringT& TrimLeft() { return TrimLeftIf([](T c) { return Traits::IsSpace(c); }); }
  CStringT& TrimLeft(T ch) { return TrimLeftIf([ch](T c) { return c == ch; }); }
  CStringT& TrimLeft(PCXSTR chars) { return TrimLeftIf([chars](T c) { return InSet(chars, c); }); }
  CStringT& TrimRight() { return TrimRightIf([](T c) { return Traits::IsSpace(c); }); }
  CStringT& TrimRight(T ch) { return TrimRightIf([ch](T c) { return c == ch; }); }
  CStringT& TrimRight(PCXSTR chars) { return TrimRightIf([chars](T c) { return InSet(chars, c); }); }

  // Replaces every occurrence; returns how many were replaced.
  int Replace(T oldCh, T newCh) {
    int n = 0;
    for (T& c : m_str) {
      if (c == oldCh) {
        c = newCh;
        ++n;
      }
    }
    return n;
  }
  int Replace(PCXSTR oldText, PCXSTR newText) {
    if (!oldText || !*oldText) return 0;
    std::basic_string<T> from(oldText), to(newText ? newText : EmptyText()), out;
    int n = 0;
    size_t pos = 0, hit;
    while ((hit = m_str.find(from, pos)) != std::basic_string<T>::npos) {
      out.append(m_str, pos, hit - pos).append(to);
      pos = hit + from.size();
      ++n;
    }
    if (n) {
      out.append(m_str, pos, std::basic_string<T>::npos);
      m_str.swap(out);
    }
    return n;
  }

  // Ordinal comparisons through the C run time (wcscmp / strcmp, _wcsicmp / _stricmp).
  int Compare(PCXSTR s) const { return Traits::Compare(GetString(), s ? s : EmptyText()); }
  int CompareNoCase(PCXSTR s) const {
    return Traits::CompareNoCase(GetString(), s ? s : EmptyText());
  }

  void __cdecl Format(PCXSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
  }
  void __cdecl AppendFormat(PCXSTR format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
  }
  void FormatV(PCXSTR format, va_list args) {
    m_str.clear();
    AppendFormatV(format, args);
  }
  void AppendFormatV(PCXSTR format, va_list args) {
    if (!format) return;
    va_list copy;
    va_copy(copy, args);
    int needed = Traits::FormatLength(format, copy);
    va_end(copy);
    if (needed < 0) return;
    size_t old = m_str.size();
    m_str.resize(old + static_cast<size_t>(needed) + 1);
    va_copy(copy, args);
    int written = Traits::FormatInto(&m_str[old], static_cast<size_t>(needed) + 1, format, copy);
    va_end(copy);
    m_str.resize(written < 0 ? old : old + static_cast<size_t>(written));
  }

  friend CStringT operator+(const CStringT& a, const CStringT& b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(const CStringT& a, PCXSTR b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(PCXSTR a, const CStringT& b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(const CStringT& a, T b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(T a, const CStringT& b) {
    CStringT r(a);
    r += b;
    return r;
  }

  friend bool operator==(const CStringT& a, const CStringT& b) { return a.Compare(b) == 0; }
  friend bool operator==(const CStringT& a, PCXSTR b) { return a.Compare(b) == 0; }
  friend bool operator==(PCXSTR a, const CStringT& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CStringT& a, const CStringT& b) { return a.Compare(b) != 0; }
  friend bool operator!=(const CStringT& a, PCXSTR b) { return a.Compare(b) != 0; }
  friend bool operator!=(PCXSTR a, const CStringT& b) { return b.Compare(a) != 0; }
  friend bool operator<(const CStringT& a, const CStringT& b) { return a.Compare(b) < 0; }
  friend bool operator>(const CStringT& a, const CStringT& b) { return a.Compare(b) > 0; }
  friend bool operator<=(const CStringT& a, const CStringT& b) { return a.Compare(b) <= 0; }
  friend bool operator>=(const CStringT& a, const CStringT& b) { return a.Compare(b) >= 0; }

 private:
  explicit CStringT(std::basic_string<T>&& s) : m_str(std::move(s)) {}

  static PCXSTR EmptyText() {
    static const T empty[1] = {T(0)};
    return empty;
  }
  static bool InSet(PCXSTR chars, T c) {
    if (!chars) return false;
    for (; *chars; ++chars)
      if (*chars == c) return true;
    return false;
  }
  template <typename Pred>
  CStringT& TrimLeftIf(Pred pred) {
    size_t n = 0;
    while (n < m_str.size() && pred(m_str[n])) ++n;
    m_str.erase(0, n);
    return *this;
  }
  template <typename Pred>
  CStringT& TrimRightIf(Pred pred) {
    size_t n = m_str.size();
    while (n > 0 && pred(m_str[n - 1])) --n;
    m_str.resize(n);
    return *this;
  }

  std::basic_string<T> m_str;
};

using CStringW = CStringT<wchar_t>;
using CStringA = CStringT<char>;

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;  // as ATL's own headers do
#endif
