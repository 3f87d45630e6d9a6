#include "base/text_operations.h"

#include <objbase.h>
#include <shlwapi.h>

#include <cstring>
#include <cwctype>

#include "base/file_util.h"
#include "base/smart_co_initialize.h"

namespace {

template <typename Text>
unsigned SplitInto(const Text& text, const Text& delimiters, std::vector<Text>* out) {
  unsigned count = 0;
  size_t start = 0;
  size_t found = delimiters.empty() ? Text::npos : text.find_first_of(delimiters, start);
  while (found != Text::npos) {
    out->push_back(text.substr(start, found - start));
    ++count;
    start = found + 1;
    found = start < text.size() ? text.find_first_of(delimiters, start) : Text::npos;
  }
  out->push_back(text.substr(start));
  return count + 1;
}

template <typename Char>
BOOL Wildcard(const Char* pattern, const Char* text) {
  static const Char kEmpty[1] = {0};
  const Char* p = pattern != nullptr ? pattern : kEmpty;
  const Char* t = text != nullptr ? text : kEmpty;
  while (*t != 0 && *p != Char('*')) {
    if (*p != *t && *p != Char('?')) return FALSE;
    ++p;
    ++t;
  }
  const Char* starPattern = nullptr;
  const Char* starText = nullptr;
  while (*t != 0) {
    if (*p == Char('*')) {
      if (*++p == 0) return TRUE;
      starPattern = p;
      starText = t + 1;
    } else if (*p == *t || *p == Char('?')) {
      ++p;
      ++t;
    } else if (starPattern != nullptr) {
      p = starPattern;
      t = starText++;
    } else {
      return FALSE;
    }
  }
  while (*p == Char('*')) ++p;
  return *p == 0 ? TRUE : FALSE;
}

BOOL CompareEnd(const ATL::CStringA& text, const ATL::CStringA& part, BOOL ignoreCase, bool atStart) {
  if (part.GetLength() > text.GetLength()) return FALSE;
  const char* from = text.GetString() + (atStart ? 0 : text.GetLength() - part.GetLength());
  const size_t length = size_t(part.GetLength());
  const int result = ignoreCase ? _strnicmp(from, part.GetString(), length) : strncmp(from, part.GetString(), length);
  return result == 0 ? TRUE : FALSE;
}

template <typename Pred>
void TrimLeftWhile(std::wstring& text, Pred pred) {
  size_t n = 0;
  while (n < text.size() && pred(text[n])) ++n;
  text.erase(0, n);
}

template <typename Pred>
void TrimRightWhile(std::wstring& text, Pred pred) {
  size_t n = text.size();
  while (n > 0 && pred(text[n - 1])) --n;
  text.resize(n);
}

bool IsSpace(wchar_t c) { return iswspace(c) != 0; }

bool OnlyOf(const std::wstring& text, wchar_t c) {
  return !text.empty() && text.find_first_not_of(c) == std::wstring::npos;
}

template <typename Change>
void ChangeLetters(std::wstring& text, Change change) {
  for (wchar_t& c : text) {
    if (c == 0xFEFF || c == 0xFFFE) continue;
    if (iswalpha(c)) c = wchar_t(change(c));
  }
}

// Selects the stock GUI font for the life of the scope.
class GuiFontSelection {
 public:
  explicit GuiFontSelection(HDC dc) : m_hDc(dc), m_hPrevious(SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT))) {}
  ~GuiFontSelection() {
    if (m_hPrevious != nullptr && m_hPrevious != HGDI_ERROR) SelectObject(m_hDc, m_hPrevious);
  }
  GuiFontSelection(const GuiFontSelection&) = delete;
  GuiFontSelection& operator=(const GuiFontSelection&) = delete;

 private:
  HDC m_hDc;
  HGDIOBJ m_hPrevious;
};

}  // namespace

namespace StringUtil {

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiters) {
  std::vector<std::wstring> pieces;
  SplitInto(text, delimiters, &pieces);
  return pieces;
}

std::vector<std::string> SplitA(const std::string& text, const std::string& delimiters) {
  std::vector<std::string> pieces;
  SplitInto(text, delimiters, &pieces);
  return pieces;
}

unsigned SplitAppend(const std::wstring& text, const std::wstring& delimiters, std::vector<std::wstring>* out) {
  return out != nullptr ? SplitInto(text, delimiters, out) : 0;
}

unsigned SplitByChar(const std::wstring& text, wchar_t separator, std::vector<std::wstring>* out) {
  return out != nullptr ? SplitInto(text, std::wstring(1, separator), out) : 0;
}

std::wstring Join(const std::vector<std::wstring>& parts, const std::wstring& separator) {
  std::wstring joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
}

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

bool Contains(const std::wstring& text, const wchar_t* part) {
  return part == nullptr || text.find(part) != std::wstring::npos;
}

bool ContainsChar(const std::wstring& text, wchar_t c) { return text.find(c) != std::wstring::npos; }

bool StartsWithChar(const std::wstring& text, wchar_t c) { return !text.empty() && text[0] == c; }

bool StartsWithAnyOf(const std::wstring& text, const wchar_t* characters) {
  return characters != nullptr && !text.empty() && text.find_first_of(characters) == 0;
}

BOOL StartsWithA(const ATL::CStringA& text, const ATL::CStringA& prefix, BOOL ignoreCase) {
  return CompareEnd(text, prefix, ignoreCase, true);
}

BOOL EndsWithA(const ATL::CStringA& text, const ATL::CStringA& suffix, BOOL ignoreCase) {
  return CompareEnd(text, suffix, ignoreCase, false);
}

BOOL WildcardMatch(const wchar_t* pattern, const wchar_t* text) { return Wildcard(pattern, text); }

BOOL WildcardMatchA(const char* pattern, const char* text) { return Wildcard(pattern, text); }

void Trim(std::wstring& text) {
  TrimRight(text);
  TrimLeft(text);
}

void TrimLeft(std::wstring& text) { TrimLeftWhile(text, IsSpace); }

void TrimRight(std::wstring& text) { TrimRightWhile(text, IsSpace); }

void TrimChar(std::wstring& text, wchar_t c) {
  if (OnlyOf(text, c)) return;
  TrimRightChar(text, c);
  TrimLeftChar(text, c);
}

void TrimLeftChar(std::wstring& text, wchar_t c) {
  if (!OnlyOf(text, c)) TrimLeftWhile(text, [c](wchar_t x) { return x == c; });
}

void TrimRightChar(std::wstring& text, wchar_t c) {
  if (!OnlyOf(text, c)) TrimRightWhile(text, [c](wchar_t x) { return x == c; });
}

void ToLower(std::wstring& text) { ChangeLetters(text, [](wchar_t c) { return towlower(c); }); }

void ToUpper(std::wstring& text) { ChangeLetters(text, [](wchar_t c) { return towupper(c); }); }

BOOL AppendQueryParam(std::wstring& url, const std::wstring& key, const std::wstring& value) {
  if (url.empty() || key.empty()) return FALSE;
  url += ContainsChar(url, L'?') ? L'&' : L'?';
  url += key;
  url += L'=';
  url += value;
  return TRUE;
}

std::wstring RemoveChars(const std::wstring& text, const std::wstring& characters) {
  std::wstring kept;
  kept.reserve(text.size());
  for (wchar_t c : text) {
    if (characters.find(c) == std::wstring::npos) kept += c;
  }
  return kept;
}

std::wstring MakeSafeFileName(const std::wstring& name, int maxLength) {
  const std::wstring cleaned = RemoveChars(name, L"<>:\"/\\|?*");
  const size_t limit = maxLength < 3 ? 3 : size_t(maxLength);
  if (cleaned.size() <= limit) return cleaned;
  const size_t dot = cleaned.rfind(L'.');
  if (dot == std::wstring::npos || dot == 0) return cleaned.substr(0, limit);
  std::wstring ext = cleaned.substr(dot + 1);
  std::wstring base = cleaned.substr(0, dot);
  if (ext.size() > limit - 2) ext.resize(limit - 2);
  // The joined name fits the limit: the base keeps what the dot and extension leave.
  if (base.size() > limit - 1 - ext.size()) base.resize(limit - 1 - ext.size());
  return base + L"." + ext;
}

std::string GetUrlFileName(const std::string& url) {
  const size_t slash = url.rfind('/');
  if (url.empty() || slash == std::string::npos) return std::string();
  size_t end = url.size();
  for (char mark : {'?', '#'}) {
    const size_t at = url.rfind(mark);
    if (at != std::string::npos && at > slash && at < end) end = at;
  }
  return url.substr(slash + 1, end - slash - 1);
}

std::wstring NewGuidText() {
  std::wstring text = L"{76F67576-1A90-48bf-AF79-61B7D7ABE76F}";
  CSmartCoInitialize com;
  GUID guid;
  if (SUCCEEDED(CoCreateGuid(&guid))) {
    wchar_t buffer[64] = {};
    if (StringFromGUID2(guid, buffer, 64) > 0) text = buffer;
  }
  return text;
}

ATL::CStringW NewGuidTextPlain() {
  GUID guid = {};
  (void)CoCreateGuid(&guid);  // a failure leaves the zero GUID
  ATL::CStringW text;
  text.Format(L"%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X", unsigned(guid.Data1), guid.Data2, guid.Data3,
              guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
              guid.Data4[6], guid.Data4[7]);
  return text;
}

std::wstring NewTempFilePath() {
  const ATL::CStringW folder = FileUtil::GetTempFolder();
  if (folder.IsEmpty()) return std::wstring();
  wchar_t path[MAX_PATH + 1] = {};
  if (GetTempFileNameW(folder, L"tmp", 0, path) == 0) return std::wstring();
  return path;
}

std::wstring CompactPath(HDC dc, const std::wstring& path, UINT width) {
  if (path.empty()) return std::wstring();
  wchar_t buffer[MAX_PATH] = {};
  wmemcpy(buffer, path.c_str(), path.size() < MAX_PATH ? path.size() : MAX_PATH - 1);
  GuiFontSelection font(dc);
  PathCompactPathW(dc, buffer, width);
  return buffer;
}

BOOL GetTextSize(HDC dc, const std::wstring& text, SIZE* out) {
  if (out == nullptr) return FALSE;
  GuiFontSelection font(dc);
  return GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), out);
}

}  // namespace StringUtil

namespace CommonUtil {

bool SplitString(const ATL::CStringW& text, const ATL::CStringW& delimiters, std::vector<ATL::CStringW>* out) {
  if (out == nullptr || delimiters.IsEmpty()) return false;
  const std::wstring all(text.GetString(), size_t(text.GetLength()));
  const std::wstring marks(delimiters.GetString(), size_t(delimiters.GetLength()));
  size_t start = all.find_first_not_of(marks);
  while (start != std::wstring::npos) {
    size_t end = all.find_first_of(marks, start);
    if (end == std::wstring::npos) end = all.size();
    ATL::CStringW token(all.c_str() + start, int(end - start));
    token.Trim();
    if (!token.IsEmpty()) out->push_back(token);
    start = end < all.size() ? all.find_first_not_of(marks, end + 1) : std::wstring::npos;
  }
  return !out->empty();
}

}  // namespace CommonUtil
