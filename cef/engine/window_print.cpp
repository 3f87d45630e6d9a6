#include "engine/window_print.h"

#include <atomic>
#include <cstring>

namespace cefengine {

namespace {

const size_t kHeaderBytes = 8;

bool SizeAllowed(uint32_t width, uint32_t height) {
  return width > 0 && height > 0 && width <= kMaxPrintSide && height <= kMaxPrintSide;
}

size_t SectionBytes(uint32_t width, uint32_t height) {
  return kHeaderBytes + static_cast<size_t>(width) * height * 4;
}

// A mapped view of a whole section; unmapped and closed at the end.
class MappedSection {
 public:
  explicit MappedSection(HANDLE section) : section_(section) {
    if (section_) view_ = static_cast<uint8_t*>(MapViewOfFile(section_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    MEMORY_BASIC_INFORMATION info = {};
    if (view_ && VirtualQuery(view_, &info, sizeof(info)) == sizeof(info)) size_ = info.RegionSize;
  }
  ~MappedSection() {
    if (view_) UnmapViewOfFile(view_);
    if (section_) CloseHandle(section_);
  }
  MappedSection(const MappedSection&) = delete;
  MappedSection& operator=(const MappedSection&) = delete;

  uint8_t* view() const { return view_; }
  // Bytes that may be touched (whole pages).
  size_t size() const { return size_; }

 private:
  HANDLE section_;
  uint8_t* view_ = nullptr;
  size_t size_ = 0;
};

}  // namespace

UINT PrintWindowMessage() {
  static const UINT message = RegisterWindowMessageW(L"cefengine.PrintWindow");
  return message;
}

std::wstring PrintSectionName(DWORD requester, DWORD number) {
  return L"Local\\cefengine-print-" + std::to_wstring(requester) + L"-" + std::to_wstring(number);
}

LRESULT AnswerPrintRequest(HWND window, WPARAM requester, LPARAM number,
                           const std::function<void(HDC, const RECT&)>& paint) {
  const std::wstring name = PrintSectionName(static_cast<DWORD>(requester), static_cast<DWORD>(number));
  MappedSection section(OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name.c_str()));
  if (!section.view() || section.size() < kHeaderBytes)
    return 0;
  uint32_t width = 0;
  uint32_t height = 0;
  std::memcpy(&width, section.view(), 4);
  std::memcpy(&height, section.view() + 4, 4);
  RECT client = {};
  if (!GetClientRect(window, &client) || !SizeAllowed(width, height) ||
      static_cast<LONG>(width) != client.right || static_cast<LONG>(height) != client.bottom ||
      section.size() < SectionBytes(width, height))
    return 0;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(width);
  info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  LRESULT answer = 0;
  if (bitmap) {
    HGDIOBJ old = SelectObject(dc, bitmap);
    paint(dc, client);
    GdiFlush();
    const uint32_t* from = static_cast<const uint32_t*>(bits);
    uint8_t* to = section.view() + kHeaderBytes;
    const size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; ++i) {
      const uint32_t pixel = from[i] & 0xFFFFFF;
      std::memcpy(to + i * 4, &pixel, 4);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    answer = kPrintAnswered;
  }
  if (dc) DeleteDC(dc);
  return answer;
}

bool RequestPrint(HWND window, uint32_t width, uint32_t height, DWORD timeout_ms, std::vector<uint32_t>* pixels) {
  if (!SizeAllowed(width, height) || !PrintWindowMessage())
    return false;
  static std::atomic<DWORD> s_next_number{0};
  const DWORD number = ++s_next_number;
  const std::wstring name = PrintSectionName(GetCurrentProcessId(), number);
  const uint64_t bytes = SectionBytes(width, height);
  MappedSection section(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                           static_cast<DWORD>(bytes >> 32), static_cast<DWORD>(bytes), name.c_str()));
  if (!section.view() || section.size() < bytes)
    return false;
  std::memcpy(section.view(), &width, 4);
  std::memcpy(section.view() + 4, &height, 4);
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(window, PrintWindowMessage(), static_cast<WPARAM>(GetCurrentProcessId()),
                           static_cast<LPARAM>(number), SMTO_ABORTIFHUNG, timeout_ms, &answer) ||
      static_cast<LRESULT>(answer) != kPrintAnswered)
    return false;
  const size_t count = static_cast<size_t>(width) * height;
  pixels->resize(count);
  std::memcpy(pixels->data(), section.view() + kHeaderBytes, count * 4);
  return true;
}

}  // namespace cefengine
