// Text operations: splitting and joining, trims, case changes, searches, wildcard matching,
// URL query building, safe file names, the file name of a URL, GUID texts, a fresh temporary
// file, the Latin initials of Chinese text, and text measured on a device context.
//
// Contracts:
// - White space is what the C run time's iswspace accepts. Characters are compared as UTF-16
//   units (bytes for 8-bit texts) and case matters unless said otherwise.
// - Operations taking a text by non-const reference change it in place; the others return new
//   objects. Failures give "" (or FALSE); nothing is logged and nothing throws.
// - Reentrant, any thread. NewGuidText initialises COM on the calling thread for the length of
//   the call (and balances only its own initialisation). The device-context operations select
//   the stock GUI font for the measurement and restore the previous font.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "compat/atlstr.h"

namespace StringUtil {

// The runs of text between any of the delimiter characters, empty runs included: always at
// least one piece ("" gives [""]; empty delimiters give the whole text).
std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiters);
std::vector<std::string> SplitA(const std::string& text, const std::string& delimiters);
// As Split, appended to *out (not cleared); returns the number of pieces appended.
unsigned SplitAppend(const std::wstring& text, const std::wstring& delimiters, std::vector<std::wstring>* out);
unsigned SplitByChar(const std::wstring& text, wchar_t separator, std::vector<std::wstring>* out);
// The parts with separator between them; "" for no parts.
std::wstring Join(const std::vector<std::wstring>& parts, const std::wstring& separator);

// An empty part is always contained.
bool Contains(const std::wstring& text, const std::wstring& part);
bool Contains(const std::wstring& text, const wchar_t* part);
bool ContainsChar(const std::wstring& text, wchar_t c);
// text is not empty and starts with c / with one of the characters.
bool StartsWithChar(const std::wstring& text, wchar_t c);
bool StartsWithAnyOf(const std::wstring& text, const wchar_t* characters);
// FALSE when the prefix (suffix) is longer than text; an empty one is TRUE. ignoreCase folds
// ASCII letters only.
BOOL StartsWithA(const ATL::CStringA& text, const ATL::CStringA& prefix, BOOL ignoreCase);
BOOL EndsWithA(const ATL::CStringA& text, const ATL::CStringA& suffix, BOOL ignoreCase);
// The whole text matches: '*' any run of characters (also none), '?' any one character.
// Null pointers count as empty texts.
BOOL WildcardMatch(const wchar_t* pattern, const wchar_t* text);
BOOL WildcardMatchA(const char* pattern, const char* text);

void Trim(std::wstring& text);
void TrimLeft(std::wstring& text);
void TrimRight(std::wstring& text);
// c removed from the ends; a text made only of c stays as it is.
void TrimChar(std::wstring& text, wchar_t c);
void TrimLeftChar(std::wstring& text, wchar_t c);
void TrimRightChar(std::wstring& text, wchar_t c);
// Letters (iswalpha) through towlower / towupper; the byte-order marks U+FEFF and U+FFFE stay.
void ToLower(std::wstring& text);
void ToUpper(std::wstring& text);
// Appends "?" (or "&" when url already holds a '?'), key, "=" and value, unescaped. FALSE and
// no change for an empty url or key.
BOOL AppendQueryParam(std::wstring& url, const std::wstring& key, const std::wstring& value);

std::wstring RemoveChars(const std::wstring& text, const std::wstring& characters);
// name without < > : " / \ | ? *, cut to maxLength characters (at least 3), keeping the part
// after the last dot (shortened to leave room for one character before the dot) when there is
// a dot after the first character.
std::wstring MakeSafeFileName(const std::wstring& name, int maxLength);
// The text after the last '/' up to a following '?' or '#'; "" without a '/'.
std::string GetUrlFileName(const std::string& url);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" of a new GUID; a fixed GUID text when none can be made.
std::wstring NewGuidText();
// "XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX": no braces, the third group in lower-case digits.
ATL::CStringW NewGuidTextPlain();
// A new empty file with a fresh name in the temporary folder; its path, or "".
std::wstring NewTempFilePath();
// Chinese characters of the GB2312 levels turned into the upper-case initial of their reading,
// other text kept; needs a Chinese ANSI code page (936). Characters outside the tables give
// "?" (a few second-level ones with no reading give "[").
ATL::CStringW GetPinyinInitials(const wchar_t* text);

// The path shortened with ellipses to fit width pixels (only its first 259 characters count).
std::wstring CompactPath(HDC dc, const std::wstring& path, UINT width);
BOOL GetTextSize(HDC dc, const std::wstring& text, SIZE* out);

}  // namespace StringUtil

namespace CommonUtil {

// The tokens between runs of delimiter characters, each trimmed of white space, appended to
// *out when not empty. Returns whether *out holds anything afterwards; false (out unchanged)
// for an empty delimiter set.
bool SplitString(const ATL::CStringW& text, const ATL::CStringW& delimiters, std::vector<ATL::CStringW>* out);

}  // namespace CommonUtil
