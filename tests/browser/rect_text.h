// Rectangles as the window tests compare them: "x,y wxh".
#pragma once

#include <windows.h>

#include <string>

#include "include/internal/cef_types_wrappers.h"

inline std::string RectText(int x, int y, int width, int height) {
  return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(width) + "x" + std::to_string(height);
}
inline std::string RectText(const RECT& r) { return RectText(r.left, r.top, r.right - r.left, r.bottom - r.top); }
inline std::string RectText(const CefRect& r) { return RectText(r.x, r.y, r.width, r.height); }

// The window's rectangle in its parent's client coordinates.
inline RECT RectInParent(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}
