// The clipboard formats of the off-screen views' drag and drop that have no fixed id: registered
// by name once per process.
#pragma once

#include <windows.h>

namespace client {

struct DragFormats {
  // "FileContents": the bytes of one dragged file.
  UINT file_contents;
  // "FileGroupDescriptorW": a FILEGROUPDESCRIPTORW naming that file.
  UINT file_descriptor;
  // "HTML Format": 8-bit CF_HTML text.
  UINT html;
  // "text/x-moz-url": UTF-16 link URL, line feed, link title.
  UINT moz_url;
};

// Registered while the program starts (an id is 0 when its registration failed). Any thread;
// the reference stays valid for the life of the process.
const DragFormats& RegisteredDragFormats();

}  // namespace client
