// The click counting of off-screen views, kept apart from the window so that its rule can be
// checked without waiting on the clock. Pure; any thread.
#pragma once

#include <cstdlib>

namespace client {

// Whether the previous click (at last_x, last_y, message time last_time in milliseconds) no
// longer counts toward a multiple click at (x, y) and time now: the pointer moved more than half
// the double-click rectangle (each half an integer division) either way, or more than the
// double-click time passed.
inline bool IsClickCancelled(int last_x, int last_y, double last_time, int x, int y, double now,
                             int double_click_width, int double_click_height, double double_click_time) {
  return std::abs(last_x - x) > double_click_width / 2 || std::abs(last_y - y) > double_click_height / 2 ||
         (now - last_time) > double_click_time;
}

// The count of a press: one more than the last when the last click still counts and was made
// with the same button, else 1.
inline int NextClickCount(bool cancelled, bool same_button, int last_count) {
  return !cancelled && same_button ? last_count + 1 : 1;
}

}  // namespace client
