// Painting a window of another process into a picture.
//
// Under Wine, a window whose parent belongs to another process never reaches the screen (its
// drawing goes to a surface the other process owns), so a capture of the host window shows the
// host's background where a browser's window sits. A capture tool therefore asks such windows
// to paint themselves: windowed browsers' windows (browser_window.h) answer.
//
// Protocol: the requester creates a named section "Local\cefengine-print-<pid>-<n>" (its own
// process id and a number of its choosing) of 8 + width * height * 4 bytes, writes the window's
// client size as it sees it (uint32 width, uint32 height) at the start, and sends the window the
// registered message PrintWindowMessage() with wParam = pid and lParam = n. A window whose client
// area has exactly that size paints it into the section after the header as 0x00RRGGBB words,
// top row first, and answers kPrintAnswered; any other answer means nothing was written.
#ifndef CEF_ENGINE_WINDOW_PRINT_H_
#define CEF_ENGINE_WINDOW_PRINT_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cefengine {

constexpr LRESULT kPrintAnswered = 0x50524E54;  // "PRNT"
// Widths and heights above this are refused on both sides.
constexpr uint32_t kMaxPrintSide = 8192;

// The registered message ("cefengine.PrintWindow"); 0 when it could not be registered.
UINT PrintWindowMessage();
std::wstring PrintSectionName(DWORD requester, DWORD number);

// The window side, from its window procedure on PrintWindowMessage(): paints through `paint`
// (a DC holding a bitmap of the client size, and the client rectangle) into the requester's
// section. kPrintAnswered when it did, 0 when the section is missing, of another size or too
// large, or painting failed.
LRESULT AnswerPrintRequest(HWND window, WPARAM requester, LPARAM number,
                           const std::function<void(HDC, const RECT&)>& paint);

// The requester side: asks `window` (of any process) to paint its client area of width x height
// pixels, waiting at most timeout_ms. True with the pixels (0x00RRGGBB, top row first) when the
// window answered.
bool RequestPrint(HWND window, uint32_t width, uint32_t height, DWORD timeout_ms, std::vector<uint32_t>* pixels);

}  // namespace cefengine

#endif  // CEF_ENGINE_WINDOW_PRINT_H_
