// Conversions between OLE drag data (data objects from any process) and the engine's drag data,
// for the off-screen views' drag and drop.
//
// Read path: CF_UNICODETEXT, CF_TEXT (ANSI code page; never over text from CF_UNICODETEXT),
// "text/x-moz-url", "HTML Format" (CF_HTML) and CF_HDROP, each read only within its memory
// block. Write path: CF_UNICODETEXT, "text/x-moz-url", "HTML Format", and
// "FileGroupDescriptorW" with "FileContents" for a file's contents.
//
// Threads: any, but data objects are called on the thread that got them (OLE's rules).
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "browser/osr_dragdrop_win.h"
#include "include/cef_drag_data.h"

namespace client {

// The size of the file descriptor block written for a dragged file's contents.
constexpr size_t kFileGroupDescriptorSize = 596;
// The longest file name the descriptor carries, in UTF-16 units (without the terminator).
constexpr size_t kMaxDescriptorFileName = 259;

// A new drag data from what data_object offers in the formats above; empty (never null) when it
// offers nothing usable. Formats whose data cannot be fetched, locked or read are skipped.
CefRefPtr<CefDragData> ReadDragDataFromDataObject(IDataObject* data_object);

// A new data object (one reference, in data_object) with the formats that drag_data fills, in
// the order text, link, HTML, file descriptor, file contents; possibly none. Always true.
bool BuildDataObjectFromDragData(CefRefPtr<CefDragData> drag_data, CComPtr<DataObjectWin>& data_object);

// CF_HTML of html (UTF-8) with an optional "SourceURL:" line; empty for an empty html.
std::string WrapHtmlAsCfHtml(const std::string& html, const std::string& base_url);

// Reads a CF_HTML text. base_url (when given) receives the text after "SourceURL:" up to the next
// line feed (a carriage return before it stays); html_start (when given) the position of the first
// "<html", or npos. fragment_start and fragment_end receive byte positions, always within
// [0, cf_html.size()], or are left unchanged when the text does not give them: after "<html" from
// the fragment comments, else from the "StartFragment:" and "EndFragment:" numbers.
void ParseCfHtml(const std::string& cf_html, std::string* base_url, size_t* html_start, size_t* fragment_start,
                 size_t* fragment_end);

// The fragment a CF_HTML text holds: empty unless both ends were found and start <= end.
std::string FragmentOfCfHtml(const std::string& cf_html, std::string* base_url);

// A mouse event at the screen point in hwnd's client coordinates (device pixels, not scaled)
// with the modifiers of the OLE key state.
CefMouseEvent MakeDragMouseEvent(POINTL screen_point, DWORD key_state, HWND hwnd);

}  // namespace client
