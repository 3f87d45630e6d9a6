// The drag areas a page registers for its off-screen view: "{left,top,right,bottom}" pieces
// joined by "+", in client coordinates of the view's window in device pixels.
#pragma once

#include <windows.h>

#include <vector>

namespace client {

// Replaces *areas with the rectangles of text. Pieces may carry blanks, tabs and line breaks at
// either end; empty pieces between plus signs are skipped. One malformed piece empties the list
// and gives false. Pure; any thread.
bool ParseDragAreaList(const wchar_t* text, std::vector<RECT>* areas);

}  // namespace client
