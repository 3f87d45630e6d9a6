// UTF-8 <-> UTF-16 conversion used across the engine. Invalid input becomes U+FFFD.
#ifndef CEF_ENGINE_UTF_H_
#define CEF_ENGINE_UTF_H_

#include <string>

namespace cefengine {

std::wstring Utf8ToWide(const char* data, size_t length);
inline std::wstring Utf8ToWide(const std::string& s) { return Utf8ToWide(s.data(), s.size()); }
std::string WideToUtf8(const wchar_t* data, size_t length);
inline std::string WideToUtf8(const std::wstring& s) { return WideToUtf8(s.data(), s.size()); }

// ASCII-only lower-casing (other characters unchanged).
std::wstring AsciiLower(std::wstring s);
std::string AsciiLower(std::string s);

}  // namespace cefengine

#endif  // CEF_ENGINE_UTF_H_
