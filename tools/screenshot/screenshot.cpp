// screenshot: saves what the screen shows of a window as a PNG file. Under Xvfb there is no
// compositor, so the screen holds every window as drawn; the window should not be covered. Wine
// never puts a child window of another process on the screen (the browser's view inside the
// host's window): such children that paint on request (the CEF layer's browser windows, see
// cef/engine/window_print.h) are painted in at their places, except where a top-level window of
// their own process lies above the captured one (a transparent view), which the screen shows.
//
//   screenshot --out=FILE.png (--hwnd=HEX | --title=TEXT) [--wait-ms=N] [--client]
//
// --hwnd takes the handle in hexadecimal (with or without 0x); --title finds a top-level window
// by its exact title, waiting up to --wait-ms (default 5000) for it to appear. --client saves
// the client area only, otherwise the whole window. On success it prints one JSON line
// {"screenshot":"FILE.png","width":W,"height":H} and exits 0; usage errors exit 2, a window that
// is not there 3, a failed capture 4, a file that cannot be written 5.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/window_print.h"
#include "tools/json_text.h"
#include "tools/option_value.h"
#include "tools/screenshot/png_writer.h"

namespace {

struct Options {
  std::wstring out;
  std::wstring title;
  HWND window = nullptr;
  DWORD wait_ms = 5000;
  bool client = false;
};

bool ParseOptions(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    std::wstring value;
    if (OptionValue(arg, L"--out=", &value)) {
      options->out = value;
    } else if (OptionValue(arg, L"--title=", &value)) {
      options->title = value;
    } else if (OptionValue(arg, L"--hwnd=", &value)) {
      wchar_t* end = nullptr;
      const unsigned long long handle = wcstoull(value.c_str(), &end, 16);
      if (value.empty() || *end) return false;
      options->window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle));
    } else if (OptionValue(arg, L"--wait-ms=", &value)) {
      options->wait_ms = wcstoul(value.c_str(), nullptr, 10);
    } else if (arg == L"--client") {
      options->client = true;
    } else {
      return false;
    }
  }
  return !options->out.empty() && (options->window != nullptr) != !options->title.empty();
}

HWND FindByTitle(const std::wstring& title, DWORD wait_ms) {
  const ULONGLONG end = GetTickCount64() + wait_ms;
  for (;;) {
    if (HWND window = FindWindowW(nullptr, title.c_str())) return window;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(50);
  }
}

// The window's area on the screen, cut to the virtual screen.
bool CaptureRect(HWND window, bool client, RECT* rect) {
  if (client) {
    RECT area;
    if (!GetClientRect(window, &area)) return false;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    OffsetRect(&area, origin.x, origin.y);
    *rect = area;
  } else if (!GetWindowRect(window, rect)) {
    return false;
  }
  const RECT screen = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                       GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                       GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  return IntersectRect(rect, rect, &screen) != FALSE;
}

// The screen's pixels in `rect`, top row first, as 0x00RRGGBB words.
bool CaptureScreen(const RECT& rect, std::vector<uint32_t>* pixels) {
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  bool ok = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT) != FALSE;
    GdiFlush();
    if (ok) {
      const uint32_t* words = static_cast<const uint32_t*>(bits);
      pixels->assign(words, words + static_cast<size_t>(width) * static_cast<size_t>(height));
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  if (memory) DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

// The part of child's client area that its ancestors up to `top` leave visible, on the screen.
bool VisibleClientRect(HWND child, HWND top, RECT* visible) {
  if (!GetClientRect(child, visible)) return false;
  MapWindowPoints(child, nullptr, reinterpret_cast<POINT*>(visible), 2);
  for (HWND parent = GetParent(child); parent; parent = GetParent(parent)) {
    RECT area;
    if (!GetClientRect(parent, &area)) return false;
    MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&area), 2);
    if (!IntersectRect(visible, visible, &area)) return false;
    if (parent == top) break;
  }
  return true;
}

// A visible top-level window above the captured one, and its process.
struct WindowAbove {
  RECT area;
  DWORD process;
};

std::vector<WindowAbove> WindowsAbove(HWND top) {
  std::vector<WindowAbove> above;
  HWND root = GetAncestor(top, GA_ROOT);
  for (HWND w = root ? GetWindow(root, GW_HWNDPREV) : nullptr; w; w = GetWindow(w, GW_HWNDPREV)) {
    WindowAbove window = {};
    if (IsWindowVisible(w) && GetWindowRect(w, &window.area) && !IsRectEmpty(&window.area)) {
      GetWindowThreadProcessId(w, &window.process);
      above.push_back(window);
    }
  }
  return above;
}

// Whether a window of `process` above the captured one covers the screen point.
bool Covered(const std::vector<WindowAbove>& above, DWORD process, LONG x, LONG y) {
  const POINT point = {x, y};
  for (const WindowAbove& window : above) {
    if (window.process == process && PtInRect(&window.area, point)) return true;
  }
  return false;
}

// Asks one child of another process for its picture and copies what of it shows into pixels,
// the capture of rect.
void PaintInChild(HWND child, DWORD process, HWND top, const RECT& rect, const std::vector<WindowAbove>& above,
                  std::vector<uint32_t>* pixels) {
  RECT client;
  RECT visible;
  if (!GetClientRect(child, &client) || client.right <= 0 || client.bottom <= 0 ||
      !VisibleClientRect(child, top, &visible) || !IntersectRect(&visible, &visible, &rect))
    return;
  std::vector<uint32_t> picture;
  const uint32_t width = static_cast<uint32_t>(client.right);
  const uint32_t height = static_cast<uint32_t>(client.bottom);
  if (!cefengine::RequestPrint(child, width, height, 2000, &picture)) return;
  POINT origin = {0, 0};
  ClientToScreen(child, &origin);
  const LONG capture_width = rect.right - rect.left;
  for (LONG y = visible.top; y < visible.bottom; ++y) {
    for (LONG x = visible.left; x < visible.right; ++x) {
      if (Covered(above, process, x, y)) continue;
      (*pixels)[static_cast<size_t>(y - rect.top) * capture_width + (x - rect.left)] =
          picture[static_cast<size_t>(y - origin.y) * width + (x - origin.x)];
    }
  }
}

// Visits the visible descendants of parent from the bottom of the Z order up, each before its
// own children, so that later pictures cover earlier ones as the windows do.
void PaintInForeignChildren(HWND parent, HWND top, DWORD owner, const RECT& rect,
                            const std::vector<WindowAbove>& above, std::vector<uint32_t>* pixels) {
  HWND first = GetWindow(parent, GW_CHILD);
  for (HWND child = first ? GetWindow(first, GW_HWNDLAST) : nullptr; child; child = GetWindow(child, GW_HWNDPREV)) {
    if (!IsWindowVisible(child)) continue;
    DWORD process = 0;
    GetWindowThreadProcessId(child, &process);
    if (process != owner) PaintInChild(child, process, top, rect, above, pixels);
    PaintInForeignChildren(child, top, owner, rect, above, pixels);
  }
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: screenshot --out=FILE.png (--hwnd=HEX | --title=TEXT) [--wait-ms=N] [--client]\n");
    return 2;
  }
  HWND window = options.window ? options.window : FindByTitle(options.title, options.wait_ms);
  if (!window || !IsWindow(window)) {
    std::fprintf(stderr, "screenshot: no such window\n");
    return 3;
  }
  RECT rect;
  std::vector<uint32_t> pixels;
  if (!CaptureRect(window, options.client, &rect) || !CaptureScreen(rect, &pixels)) {
    std::fprintf(stderr, "screenshot: the window's area could not be captured\n");
    return 4;
  }
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  PaintInForeignChildren(window, window, owner, rect, WindowsAbove(window), &pixels);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  std::string png;
  if (!screenshot::EncodePng(pixels.data(), width, height, width, &png) || !WriteWholeFile(options.out, png)) {
    std::fprintf(stderr, "screenshot: cannot write the picture\n");
    return 5;
  }
  std::printf("{\"screenshot\":%s,\"width\":%d,\"height\":%d}\n", JsonString(options.out).c_str(), width, height);
  return 0;
}
