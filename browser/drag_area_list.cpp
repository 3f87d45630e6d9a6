#include "browser/drag_area_list.h"

#include <shlwapi.h>

#include <cwchar>
#include <string>

namespace client {

bool ParseDragAreaList(const wchar_t* text, std::vector<RECT>* areas) {
  areas->clear();
  if (!text)
    return true;
  // Split, trim and read in a copy of our own.
  std::wstring copy(text);
  size_t begin = 0;
  while (begin < copy.size()) {
    size_t end = copy.find(L'+', begin);
    if (end == std::wstring::npos)
      end = copy.size();
    if (end > begin) {
      std::wstring piece = copy.substr(begin, end - begin);
      StrTrimW(&piece[0], L" \t\n\r");
      RECT rect = {};
      if (swscanf(piece.c_str(), L"{%ld,%ld,%ld,%ld}", &rect.left, &rect.top, &rect.right, &rect.bottom) < 4) {
        areas->clear();
        return false;
      }
      areas->push_back(rect);
    }
    begin = end + 1;
  }
  return true;
}

}  // namespace client
