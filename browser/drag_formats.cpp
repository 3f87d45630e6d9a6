#include "browser/drag_formats.h"

namespace client {

namespace {

DragFormats RegisterAll() {
  DragFormats formats;
  formats.file_contents = RegisterClipboardFormatW(L"FileContents");
  formats.file_descriptor = RegisterClipboardFormatW(L"FileGroupDescriptorW");
  formats.html = RegisterClipboardFormatW(L"HTML Format");
  formats.moz_url = RegisterClipboardFormatW(L"text/x-moz-url");
  return formats;
}

// Registered during static initialisation, before any thread of ours runs.
[[maybe_unused]] const DragFormats& g_registered_at_start = RegisteredDragFormats();

}  // namespace

const DragFormats& RegisteredDragFormats() {
  static const DragFormats formats = RegisterAll();
  return formats;
}

}  // namespace client
