// The URL form of the "zip" scheme: "zip://" key "|" package path "|/" entry path, with %XX escapes,
// for example zip://K|D:\pages\ui.pak|/html/index.html.
#pragma once

#include <cstddef>
#include <string>

namespace client {

// The longest unescaped URL the scheme accepts, in bytes (2084 with its terminator).
constexpr size_t kMaxZipUrlLength = 2083;

// Undoes %XX escapes (hex digits of either case) byte by byte; every other byte, "+" included,
// is copied. False, with *out empty, for a "%" not followed by two hex digits, for "%00", or for
// a result longer than kMaxZipUrlLength bytes. Any thread; running out of memory for *out raises
// std::bad_alloc.
[[nodiscard]] bool UnescapeZipUrl(const std::string& url, std::string* out);

// Splits unescaped UTF-8 text (read up to its first zero byte) exactly as a whole match of the
// ECMAScript expression ^(.*?)://(.*?)\|(.*?)\|/(.*?)$ would, "." matching neither CR nor LF:
// the scheme ends at the first "://", the key at the first "|" that a later "|/" still follows,
// the package path at the next "|/", and the entry path is the rest (it may hold "|" and "|/").
// Each part is converted from UTF-8 to UTF-16. False when the text does not match (the outputs
// are then unspecified). Linear time without recursion, so long URLs are safe on any thread.
// Running out of memory raises std::bad_alloc.
[[nodiscard]] bool ParseZipUrl(const std::string& url, std::wstring* scheme, std::wstring* key,
                               std::wstring* package_path, std::wstring* entry_path);

}  // namespace client
