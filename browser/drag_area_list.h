// The drag areas a page registers for its off-screen view: "{left,top,right,bottom}" pieces
// joined by "+", in client coordinates of the view's window in device pixels.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

namespace client {

// Bounds on one list, far above what a page uses (a caption bar and a few handles): the list is
// hit-tested on every mouse message, and its text is copied on the way in.
const size_t kMaxDragAreaCount = 1024;
// UTF-16 units without the terminating zero; room for the largest list written with numbers of
// up to ten digits.
const size_t kMaxDragAreaTextLength = 32768;

enum class DragAreaListResult {
  kOk,
  // A piece is not a rectangle.
  kMalformed,
  // Longer than kMaxDragAreaTextLength.
  kTooLong,
  // More than kMaxDragAreaCount rectangles.
  kTooMany,
  // The copy of the text could not be made.
  kNoMemory,
};

// Replaces *areas with the rectangles of text (zero-terminated; read no further than one unit
// past kMaxDragAreaTextLength), null meaning none. Pieces may carry blanks, tabs and line
// breaks at either end; empty pieces between plus signs are skipped. Any result but kOk leaves
// the list empty. Throws nothing; any thread.
[[nodiscard]] DragAreaListResult ParseDragAreaList(const wchar_t* text, std::vector<RECT>* areas);

}  // namespace client
