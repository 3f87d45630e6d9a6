#include <string>

#include "engine/utf.h"
#include "include/cef_parser.h"

namespace {

struct MimeEntry {
  const wchar_t* extension;
  const wchar_t* mime_type;
};

const MimeEntry kMimeTypes[] = {
    {L"html", L"text/html"},
    {L"htm", L"text/html"},
    {L"shtml", L"text/html"},
    {L"css", L"text/css"},
    {L"js", L"application/javascript"},
    {L"json", L"application/json"},
    {L"xml", L"text/xml"},
    {L"txt", L"text/plain"},
    {L"png", L"image/png"},
    {L"jpg", L"image/jpeg"},
    {L"jpeg", L"image/jpeg"},
    {L"gif", L"image/gif"},
    {L"bmp", L"image/bmp"},
    {L"ico", L"image/x-icon"},
    {L"svg", L"image/svg+xml"},
    {L"webp", L"image/webp"},
    {L"swf", L"application/x-shockwave-flash"},
    {L"pdf", L"application/pdf"},
    {L"mp3", L"audio/mpeg"},
    {L"wav", L"audio/wav"},
    {L"mp4", L"video/mp4"},
    {L"woff", L"application/font-woff"},
    {L"woff2", L"font/woff2"},
    {L"zip", L"application/zip"},
};

}  // namespace

CefString CefGetMimeType(const CefString& extension) {
  std::wstring ext = cefengine::AsciiLower(extension.ToWString());
  for (const auto& entry : kMimeTypes)
    if (ext == entry.extension)
      return entry.mime_type;
  return CefString();
}

void CefGetExtensionsForMimeType(const CefString& mime_type, std::vector<CefString>& extensions) {
  std::wstring type = cefengine::AsciiLower(mime_type.ToWString());
  for (const auto& entry : kMimeTypes)
    if (type == entry.mime_type)
      extensions.push_back(entry.extension);
}
