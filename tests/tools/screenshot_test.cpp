// The capture tool: PNG files that an independent decoder (the system's imaging component) reads
// back pixel for pixel, and a window of known colours saved from the screen.
#include <windows.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/png_decode.h"
#include "tests/tools/test_files.h"
#include "tools/screenshot/png_writer.h"

namespace {

using png_decode::Decode;
using png_decode::Image;
using screenshot::EncodePng;

std::string ReadWholeFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PngWriter, WritesWhatAnIndependentDecoderReadsBackExactly) {
  // Two rows of three pixels in a buffer four pixels wide; the fourth (and the top bytes) are not part of the image.
  const std::vector<uint32_t> pixels = {0x00FF0000, 0xFF00FF00, 0x000000FF, 0x12345678,
                                        0x00FFFFFF, 0x00000000, 0xAA808080, 0x87654321};
  std::string png;
  ASSERT_TRUE(EncodePng(pixels.data(), 3, 2, 4, &png));
  ASSERT_GE(png.size(), 8u + 25u);
  EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
  EXPECT_EQ(std::string("\0\0\0\x0dIHDR\0\0\0\x03\0\0\0\x02\x08\x02\0\0\0", 21), png.substr(8, 21));
  Image image = Decode(png);
  ASSERT_TRUE(image.ok);
  ASSERT_EQ(3u, image.width);
  ASSERT_EQ(2u, image.height);
  EXPECT_EQ((std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080}),
            (std::vector<uint32_t>{image.At(0, 0), image.At(1, 0), image.At(2, 0), image.At(0, 1), image.At(1, 1),
                                   image.At(2, 1)}));

  // A larger picture with every row different.
  const int width = 301;
  const int height = 157;
  std::vector<uint32_t> gradient(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) gradient[static_cast<size_t>(y) * width + x] = (x * 0x10307u) ^ (y * 0x70103u);
  ASSERT_TRUE(EncodePng(gradient.data(), width, height, width, &png));
  image = Decode(png);
  ASSERT_TRUE(image.ok);
  ASSERT_EQ(static_cast<UINT>(width), image.width);
  ASSERT_EQ(static_cast<UINT>(height), image.height);
  size_t differing = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) differing += image.At(x, y) != (gradient[static_cast<size_t>(y) * width + x] & 0xFFFFFF);
  EXPECT_EQ(0u, differing);
}

TEST(PngWriter, RefusesSizesItCannotWriteAndLeavesTheOutputAlone) {
  const uint32_t pixel = 0;
  std::string png = "untouched";
  EXPECT_FALSE(EncodePng(&pixel, 0, 1, 1, &png));
  EXPECT_FALSE(EncodePng(&pixel, 1, 0, 1, &png));
  EXPECT_FALSE(EncodePng(&pixel, -1, 1, 1, &png));
  EXPECT_FALSE(EncodePng(&pixel, screenshot::kMaxPngExtent + 1, 1, screenshot::kMaxPngExtent + 1, &png));
  EXPECT_FALSE(EncodePng(&pixel, 2, 1, 1, &png));
  EXPECT_FALSE(EncodePng(nullptr, 1, 1, 1, &png));
  EXPECT_FALSE(EncodePng(&pixel, 1, 1, 1, nullptr));
  EXPECT_EQ("untouched", png);
}

// A top-level window in three colours: red left half, blue right half, a green band along the bottom.
constexpr int kWidth = 200;
constexpr int kHeight = 120;
constexpr int kBand = 20;

LRESULT CALLBACK ColourWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    const struct {
      RECT rect;
      COLORREF colour;
    } parts[] = {{{0, 0, kWidth / 2, kHeight - kBand}, RGB(255, 0, 0)},
                 {{kWidth / 2, 0, kWidth, kHeight - kBand}, RGB(0, 0, 255)},
                 {{0, kHeight - kBand, kWidth, kHeight}, RGB(0, 255, 0)}};
    for (const auto& part : parts) {
      HBRUSH brush = CreateSolidBrush(part.colour);
      FillRect(dc, &part.rect, brush);
      DeleteObject(brush);
    }
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateColourWindow(const std::wstring& title) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ColourWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ScreenshotTestColours";
  RegisterClassW(&wc);
  // Topmost, and away from the corner where other tests' windows appear (tests share the display).
  HWND window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, title.c_str(), WS_POPUP | WS_VISIBLE, 1010, 830,
                                kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
  if (window) UpdateWindow(window);
  return window;
}

void Pump(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  } while (GetTickCount64() < end);
}

// Runs the tool to its end while this thread keeps serving its windows; its exit code (100: it did not start).
DWORD RunTool(const std::wstring& args) {
  std::wstring command = L"\"" + ExeDir() + L"screenshot.exe\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 100;
  const ULONGLONG end = GetTickCount64() + 60000;
  while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0 &&
         GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  DWORD code = 101;
  if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  else TerminateProcess(pi.hProcess, 101);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

TEST(Screenshot, SavesAWindowOfKnownColoursFromTheScreen) {
  const std::wstring title = L"screenshot test " + std::to_wstring(GetCurrentProcessId());
  HWND window = CreateColourWindow(title);
  ASSERT_NE(nullptr, window);
  Pump(300);

  wchar_t handle[32];
  swprintf(handle, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  const std::wstring by_handle = TempFile(L"by_handle.png");
  const std::wstring by_title = TempFile(L"by_title.png");
  ASSERT_EQ(0u, RunTool(L"--hwnd=" + std::wstring(handle) + L" \"--out=" + by_handle + L"\""));
  ASSERT_EQ(0u, RunTool(L"\"--title=" + title + L"\" --client \"--out=" + by_title + L"\""));

  for (const std::wstring& path : {by_handle, by_title}) {
    Image image = Decode(ReadWholeFile(path));
    ASSERT_TRUE(image.ok);
    // A borderless window: its window and client areas are the same.
    ASSERT_EQ(static_cast<UINT>(kWidth), image.width);
    ASSERT_EQ(static_cast<UINT>(kHeight), image.height);
    EXPECT_EQ(0xFF0000u, image.At(0, 0));
    EXPECT_EQ(0xFF0000u, image.At(kWidth / 2 - 1, kHeight - kBand - 1));
    EXPECT_EQ(0x0000FFu, image.At(kWidth / 2, 0));
    EXPECT_EQ(0x0000FFu, image.At(kWidth - 1, kHeight - kBand - 1));
    EXPECT_EQ(0x00FF00u, image.At(0, kHeight - kBand));
    EXPECT_EQ(0x00FF00u, image.At(kWidth - 1, kHeight - 1));
    DeleteFileW(path.c_str());
  }
  DestroyWindow(window);
}

TEST(Screenshot, ExitCodesSayWhatWentWrong) {
  const std::wstring out = TempFile(L"never.png");
  EXPECT_EQ(2u, RunTool(L"--title=x"));                                  // no --out
  EXPECT_EQ(2u, RunTool(L"--out=a.png --title=x --hwnd=1"));              // two ways to find the window
  EXPECT_EQ(2u, RunTool(L"--out=a.png --hwnd=12G"));                      // not hexadecimal
  EXPECT_EQ(3u, RunTool(L"\"--out=" + out + L"\" \"--title=no such window title\" --wait-ms=100"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(out.c_str()));

  HWND window = CreateColourWindow(L"screenshot unwritable");
  ASSERT_NE(nullptr, window);
  Pump(100);
  wchar_t handle[32];
  swprintf(handle, 32, L"%llX", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  EXPECT_EQ(5u, RunTool(L"--hwnd=" + std::wstring(handle) + L" \"--out=" + TempFile(L"no-such-folder") + L"\\x.png\""));
  DestroyWindow(window);
}

}  // namespace
