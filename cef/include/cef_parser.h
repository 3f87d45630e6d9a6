#ifndef CEF_INCLUDE_CEF_PARSER_H_
#define CEF_INCLUDE_CEF_PARSER_H_

#include <vector>

#include "include/cef_base.h"
#include "include/cef_values.h"

// Pure helpers: work before start-up, after shutdown and on any thread.

// Splits `url`. The scheme is lower-cased. Standard schemes (http, https, file, ftp, ws, wss and
// custom schemes registered as standard) read "//[user[:pass]@]host[:port]path[?query][#ref]"
// with the host lower-cased, the path "/" when empty and the origin "scheme://host[:port]/";
// other schemes put the text after "scheme:" up to '?' or '#' in path. False without a scheme.
bool CefParseURL(const CefString& url, CefURLParts& parts);
// The reverse: needs at least spec, or scheme and host.
bool CefCreateURL(const CefURLParts& parts, CefString& url);

// MIME type of a file extension (no dot; case-insensitive); "" when unknown.
CefString CefGetMimeType(const CefString& extension);
void CefGetExtensionsForMimeType(const CefString& mime_type, std::vector<CefString>& extensions);

CefString CefBase64Encode(const void* data, size_t data_size);
// Null for text that is not Base64.
CefRefPtr<CefBinaryValue> CefBase64Decode(const CefString& data);

// %-escapes the UTF-8 bytes of `text`; letters, digits and -_.!~*'() stay, a blank becomes "+"
// (use_plus) or "%20".
CefString CefURIEncode(const CefString& text, bool use_plus);
// Undoes %XX escapes (as UTF-8, convert_to_utf8 true); `unescape_rule` is cef_uri_unescape_rule_t
// bits (UU_REPLACE_PLUS_WITH_SPACE turns '+' into a blank).
CefString CefURIDecode(const CefString& text, bool convert_to_utf8, cef_uri_unescape_rule_t unescape_rule);

// Reads a CSS colour: "#RGB", "#RRGGBB", "#AARRGGBB", "rgb(r,g,b)", "rgba(r,g,b,a)" (a from 0 to
// 1) or a colour name. Not strict also accepts hex digits without '#'. On failure returns false
// and leaves `color` unchanged.
bool CefParseCSSColor(const CefString& string, bool strict, cef_color_t& color);

#endif  // CEF_INCLUDE_CEF_PARSER_H_
