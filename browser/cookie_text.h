// Text helpers of the host's cookie commands. Pure functions; any thread.
#pragma once

#include <string>
#include <vector>

// Appends to *out the pieces between separators, empty ones included; the text after the last
// separator is always the final piece ("a;;b" -> a,"",b; "a;" -> a,""; "" -> ""). The third
// argument is not used.
void SplitByChar(const std::wstring& text, wchar_t separator, int ignored, std::vector<std::wstring>* out);
// The text without leading and trailing wide white space.
std::wstring TrimWhitespace(const std::wstring& text);
bool ContainsChar(const std::wstring& text, wchar_t c);
// Only A-Z change.
std::wstring ToLowerCopy(const std::wstring& text);
