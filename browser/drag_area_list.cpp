#include "browser/drag_area_list.h"

#include <shlwapi.h>

#include <cwchar>
#include <new>
#include <string>

namespace client {

DragAreaListResult ParseDragAreaList(const wchar_t* text, std::vector<RECT>* areas) {
  areas->clear();
  if (!text)
    return DragAreaListResult::kOk;
  const size_t length = wcsnlen(text, kMaxDragAreaTextLength + 1);
  if (length > kMaxDragAreaTextLength)
    return DragAreaListResult::kTooLong;
  try {
    // Split, trim and read in a copy of our own: each "+" becomes the end of its piece.
    std::wstring copy(text, length);
    size_t begin = 0;
    while (begin < length) {
      size_t end = copy.find(L'+', begin);
      if (end == std::wstring::npos)
        end = length;
      if (end > begin) {
        if (end < length)
          copy[end] = L'\0';
        wchar_t* piece = &copy[begin];
        StrTrimW(piece, L" \t\n\r");
        RECT rect = {};
        if (swscanf(piece, L"{%ld,%ld,%ld,%ld}", &rect.left, &rect.top, &rect.right, &rect.bottom) < 4) {
          areas->clear();
          return DragAreaListResult::kMalformed;
        }
        if (areas->size() == kMaxDragAreaCount) {
          areas->clear();
          return DragAreaListResult::kTooMany;
        }
        areas->push_back(rect);
      }
      begin = end + 1;
    }
  } catch (const std::bad_alloc&) {
    areas->clear();
    return DragAreaListResult::kNoMemory;
  }
  return DragAreaListResult::kOk;
}

}  // namespace client
